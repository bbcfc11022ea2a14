#pragma once

// JPEG decoding of stored thumbnails into an Rgba8 image.

#include <cstddef>
#include <cstdint>

namespace lakra {

struct ImagePyramid;

// The most JPEG bytes a decode takes: the limit of a stored thumbnail.
inline constexpr size_t kJpegDecodeBytes = 49152;
// A header claiming a larger side is refused before the library allocates for it.
inline constexpr int32_t kJpegMaxDecodeSide = 4096;

// Decodes an RGB or greyscale JPEG of at most kJpegDecodeBytes bytes into
// level 0 of an Rgba8 target, top down, alpha 255; pixels outside the target
// are dropped. Corrupt, truncated, oversized or other-coloured data abandons
// the image (false); the target's pixels may then be partly written.
[[nodiscard]] bool jpegDecode(const uint8_t* jpeg, size_t bytes, ImagePyramid* target);

} // namespace lakra
