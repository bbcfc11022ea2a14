#pragma once

// Layered Photoshop documents (version 1, "8BPS"): RGB colour, one layer
// "layer 1" holding the rendered result with its alpha, and a merged image, in
// 8, 16 or 32 bits per channel. The document is written in one forward pass:
// every length field is counted first by the same writer functions in sizing
// mode.

#include "export/metadata.h"
#include "files/files.h"
#include "platform/result.h"
#include "pyramid/pyramid.h"

#include <cstdint>

namespace lakra {

// The working image cannot be allocated.
inline constexpr Result kPsdNoWorkingImage = -99;
// The document's 32-bit lengths cannot describe its channel data (a 16- or
// 32-bit document near 30000 x 30000): refused before anything is written.
inline constexpr Result kPsdTooLarge = -98;

inline constexpr char kPsdLayerName[] = "layer 1";
// The largest side a version-1 document may have.
inline constexpr uint32_t kPsdMaxSide = 30000;

// Filled fresh for every export.
struct PsdExportDesc {
    uint32_t channelCount; // 4: red, green, blue, alpha
    uint32_t layerCount;   // 1
    uint32_t width;        // of the document
    uint32_t height;
    uint32_t firstLayerNumber; // 1
    uint32_t exportKind;       // kExportPsd or kExportGalleryImage
    uint32_t bytesPerSample;   // 1, 2 or 4
};

// 1 for 8-bit host images, 2 for 16-bit, 4 for 32-bit, 1 otherwise.
uint32_t psdBytesPerSample(int32_t hostDepth);
// Rgba8, Rgba16 or RgbaFloat for 1, 2 or 4 bytes per sample.
PixelFormat psdWorkingFormat(uint32_t bytesPerSample);

// Bytes of one layer record: 82 + 6 x channels + the padded name (114 for
// "layer 1" with 4 channels).
int64_t psdLayerRecordBytes(const char* name, uint32_t channelCount);

// False when a length of the document would not fit its 32-bit field (the
// layer section of a 16- or 32-bit document near 30000 x 30000), or a side is
// above kPsdMaxSide. Counted without pixels.
bool psdLengthsFit(const PsdExportDesc& desc);

// What the document carries besides the pixels.
struct PsdDocumentParts {
    int32_t glue = 1;                    // named as an IPTC keyword when not 1 (normal)
    const uint8_t* iccProfile = nullptr; // the host's profile, written as resource 1039
    uint32_t iccProfileBytes = 0;
    const UtcDate* date = nullptr; // of the IPTC block; nullptr: today
};

// Writes the whole document with `image` (desc.width x desc.height, in the
// working format of desc.bytesPerSample) as every layer's pixels and as the
// merged image. In sizing mode only the byte count grows, and image may be
// nullptr. *layersDone, when given, rises by one after each layer's channel
// data. Returns the writer's first error, or without writing anything
// filterBadParameters (a description other than 4 channels, 1..32767 layers,
// 1, 2 or 4 bytes per sample and a size of at least 1 x 1; a missing or
// mismatched image) or kPsdTooLarge.
[[nodiscard]] Result psdWriteDocument(FileWriter* writer, const PsdExportDesc& desc,
                                      const ImagePyramid* image, const PsdDocumentParts& parts,
                                      int32_t* layersDone = nullptr);

} // namespace lakra
