#pragma once

// Preset thumbnails: the JPEG record a preset file carries, the blank
// thumbnail, and a preset's thumbnail at a given size. The current thumbnail
// is a 128 x 128 Rgba8 image held by the plug-in state; a record without
// pixels disables every operation on it.

#include "files/files.h"
#include "presets/presetFile.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

struct ImagePyramid;

inline constexpr int32_t kThumbnailQuality = 80;
inline constexpr int32_t kMemoryDotThumbnailSide = 88;

// Grey 255 - y in row y, alpha 255.
void thumbnailFillBlank(ImagePyramid* thumbnail);

// Writes the thumbnail as a 128 x 128 JPEG record at quality 80, encoded again
// at lower levels while it exceeds kThumbnailJpegBytes, so every stored
// thumbnail reads back; a lone present = 0 when it has no pixels or cannot be
// encoded.
void thumbnailWriteRecord(const ImagePyramid* thumbnail, FileWriter* writer);
// The same with another byte limit for the stored JPEG.
void thumbnailWriteRecordWithin(const ImagePyramid* thumbnail, FileWriter* writer,
                                size_t limitBytes);

// Decodes a record's JPEG (width and height already clamped to 0..128) and
// copies it, resampled to the thumbnail's size, into the thumbnail. False,
// with the thumbnail unchanged, for corrupt data or a zero side.
bool thumbnailDecodeRecord(ImagePyramid* thumbnail, int32_t width, int32_t height,
                           const uint8_t* jpeg, size_t bytes);

// The two preset hooks over `thumbnail` (installTexture left empty).
PresetHooks thumbnailPresetHooks(ImagePyramid* thumbnail);

// Resets the thumbnail to blank, reads the preset's thumbnail record through
// the installed hooks and, when one was taken, creates an n x n Rgba8 image
// of it in *target (pyramidDestroy frees it). False when no thumbnail was taken
// or the image cannot be made.
[[nodiscard]] bool presetThumbnailAtSize(const FileSpec& preset, ImagePyramid* thumbnail,
                                         int32_t side, ImagePyramid** target);

} // namespace lakra
