#pragma once

// Host images as the command line hands them to the filter's code: the
// plug-in interface's view of a read image, and an image pyramid of the
// host's pixels.

#include "apps/lakra/protocolHost.h"
#include "pyramid/pyramid.h"

#include <cstdint>

namespace lakra {

struct HostImage;

// The image's pixels as the plug-in interface describes them; no copy, the
// image keeps them.
[[nodiscard]] HostPixels hostPixelsOf(HostImage& image);

// A pyramid of `format` holding the host's pixels on level 0 (grey spread over
// red, green and blue; the transparency plane as alpha, opaque without one)
// and its coarser levels built on `processors` workers (0: all of them). A
// sample becomes hostSampleUnit's float and then the format's stored value,
// so a pyramid of the host's depth holds the same samples as the plug-in's
// own source built tile by tile. Null when memory runs out.
[[nodiscard]] ImagePyramid* pyramidOfHostPixels(const HostPixels& image, PixelFormat format,
                                                int32_t processors);

} // namespace lakra
