#pragma once

// Putting the image of one pyramid into another: pixel by pixel when both
// have the same size, through the filtered sampler when they do not, then
// rebuilding the destination's levels.

#include "platform/rect.h"
#include "platform/result.h"

#include <cstdint>

namespace lakra {

struct ImagePyramid;

// Copies level 0 when the sizes match (converting the format), resamples the
// whole source into the whole destination otherwise, and rebuilds the
// destination's levels either way. Returns the level build's result.
[[nodiscard]] Result copyPyramidImage(const ImagePyramid* source, ImagePyramid* destination,
                                      int32_t processors = 0);

// Copies the overlap of source level `sourceLevel` and destination level
// `destinationLevel` (both start at (0, 0)) through normalised floats, so
// Rgba8 255 becomes Rgba16 32768. Values outside 0..1 are clamped into an
// integer destination. Does nothing for a level outside a record or a record
// without tiles.
void copyLevelPixels(const ImagePyramid* source, ImagePyramid* destination, int32_t sourceLevel,
                     int32_t destinationLevel);

// The level and fraction a reduction from sourceWidth to destinationWidth
// samples at: log2 of the ratio less the bias, clamped to 0..maxLevel.
struct LevelOfDetail {
    int32_t level;
    float fraction;
};

[[nodiscard]] LevelOfDetail resampleLevelOfDetail(int64_t sourceWidth, int64_t destinationWidth,
                                                  double bias, int32_t maxLevel);

// Fills destinationRect of destination level 0 with a filtered view of the
// whole source image (its levels built), choosing the level from the width
// ratio of the two rectangles, then rebuilds the destination's levels.
// Channels are clamped to 0..1 (colour 0..65535 for a float destination).
[[nodiscard]] Result resamplePyramid(const ImagePyramid* source, ImagePyramid* destination,
                                     const PixelRect& sourceRect, const PixelRect& destinationRect,
                                     double bias, int32_t processors = 0);

} // namespace lakra
