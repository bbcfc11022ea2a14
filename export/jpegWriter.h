#pragma once

// JPEG encoding of an image's level 0 through libjpeg, with our COM, EXIF and
// IPTC markers, into memory and then into a file, optionally inside a
// thumbnail record (present, width, height, byte count, bytes).

#include "files/files.h"
#include "platform/result.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

struct ImagePyramid;
struct IptcBlock;
struct ExifBlock;

inline constexpr Result kJpegNoImage = 1;
inline constexpr Result kJpegNoPixels = 2;
inline constexpr Result kJpegNoAllocator = 3;   // kept for callers; our records always allocate
inline constexpr Result kJpegLibraryFailed = 4; // libjpeg reported a fatal error
inline constexpr int32_t kJpegMinSide = 16;     // smaller images repeat their last row/column

// Quality clamped to 0..99; the level (quality / 10) picks tables and sampling.
int32_t jpegQualityLevel(int32_t quality);

// Quantisation tables of level 8, natural (row-major) order.
extern const unsigned int kLevel8Luminance[64];
extern const unsigned int kLevel8Chrominance[64];

struct JpegData {
    uint8_t* bytes = nullptr; // std::malloc'd; jpegDataFree releases
    size_t length = 0;
    int32_t width = 0; // as encoded: at least 16
    int32_t height = 0;
};

void jpegDataFree(JpegData* data);

// Encodes level 0 of the image. Blocks, when given, must be built with their
// JPEG prefixes. 0, kJpegNoImage, kJpegNoPixels, -108, kJpegLibraryFailed.
[[nodiscard]] Result jpegEncode(const ImagePyramid* image, int32_t quality, const IptcBlock* iptc,
                                const ExifBlock* exif, JpegData* out);

// Encodes and writes the JPEG bytes. With framing, the bytes go inside a
// thumbnail record, and an image that cannot be encoded leaves a lone
// present = 0 so the file stays readable. Returns the write result, or the
// encoding failure (nothing written without framing).
Result jpegWrite(const ImagePyramid* image, FileWriter* writer, bool framing, int32_t quality,
                 const IptcBlock* iptc, const ExifBlock* exif);

// A gallery picture: fresh IPTC and EXIF blocks, quality 80, no framing;
// closeFile cuts the file at its end and closes it.
Result jpegWriteGalleryPicture(const ImagePyramid* image, FileWriter* writer, bool closeFile);

} // namespace lakra
