#include "export/psdDocument.h"

#include "blend/glueModes.h"

#include <cstring>

namespace lakra {

namespace {

// clang-format off
// The colour mode data of 32-bit documents: "hdrt", version 3, the toning
// preset "Default" in UTF-16.
constexpr uint8_t kHdrToningBlock[74] = {
    0x68, 0x64, 0x72, 0x74, 0x00, 0x00, 0x00, 0x03, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02,
    0x00, 0x00, 0x00, 0x08, 0x00, 0x44, 0x00, 0x65, 0x00, 0x66, 0x00, 0x61, 0x00, 0x75, 0x00, 0x6C,
    0x00, 0x74, 0x00, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF,
    0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x41, 0x80, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x80, 0x00, 0x00};

constexpr uint8_t kPrintRecord[120] = {
    0x00, 0x28, 0x00, 0x00, 0x00, 0x48, 0x00, 0x48, 0x00, 0x00, 0x00, 0x00, 0x02, 0xE7, 0x02, 0x52,
    0xFF, 0xF7, 0xFF, 0xF7, 0x03, 0x0F, 0x02, 0x5B, 0x20, 0x02, 0x05, 0x28, 0x03, 0xFC, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x68, 0x01, 0x68, 0x00, 0x00, 0x00, 0x00, 0x0E, 0x83, 0x0B, 0x9A, 0x01, 0x74,
    0x00, 0x32, 0x0B, 0x9A, 0x48, 0xA8, 0x00, 0x4B, 0x00, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x01,
    0x27, 0x0F, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x64, 0x03, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x20, 0xB1, 0x04, 0x00, 0x12, 0x00, 0x03, 0x00,
    0x45, 0x00, 0x00, 0x00, 0x36, 0x44, 0x61, 0x20};

// Colour space 0, colour 65535/0/0/0, opacity 50, flag 128, padded to 16.
constexpr uint8_t kLayerMaskDefaults[16] = {
    0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x32, 0x80, 0x00, 0x00, 0x00};
// clang-format on

constexpr uint32_t kMaxLayers = 0x7FFF; // the layer count field is signed
constexpr int64_t kMaxLength = 0xFFFFFFFF;
constexpr size_t kMaxNameChars = 255;
constexpr uint16_t kRgbMode = 3;
constexpr uint32_t kMaskLayerId = 12;
constexpr int32_t kChannelOrder[4] = {3, 0, 1, 2}; // alpha, red, green, blue (ids -1, 0, 1, 2)

// Bytes `body` writes, counted by running it on a sizing writer.
template <typename Body>
int64_t sizeOf(Body body) {
    FileWriter sizing = fileSizingWriter();
    body(&sizing);
    return sizing.bytes;
}

// A 32-bit length, then what it counts.
template <typename Body>
void writeCounted(FileWriter* writer, Body body) {
    writeU32BE(writer, static_cast<uint32_t>(sizeOf(body)));
    body(writer);
}

void writeKey(FileWriter* writer, const char* key) {
    writeText(writer, "8BIM");
    writeText(writer, key);
}

// "8BIM", the id, an empty name, the data length and the data; a pad byte
// after data of odd length when asked (counted by the section, not the data).
template <typename Data>
void writeResource(FileWriter* writer, uint16_t id, bool padOdd, Data data) {
    const int64_t bytes = sizeOf(data);
    writeText(writer, "8BIM");
    writeU16BE(writer, id);
    writeU16BE(writer, 0);
    writeU32BE(writer, static_cast<uint32_t>(bytes));
    data(writer);
    if (padOdd && (bytes & 1) != 0) {
        writeU8(writer, 0);
    }
}

bool descIsValid(const PsdExportDesc& desc) {
    const uint32_t bps = desc.bytesPerSample;
    return desc.channelCount == 4 && desc.layerCount >= 1 && desc.layerCount <= kMaxLayers &&
           (bps == 1 || bps == 2 || bps == 4) && desc.width >= 1 && desc.height >= 1;
}

int64_t channelBytes(const PsdExportDesc& desc) {
    return 2 + int64_t{desc.bytesPerSample} * desc.width * desc.height;
}

// Store samples as written: the byte, the 16-bit sample held to full scale
// (32768), or the float's bits. channel: 0 red .. 3 alpha.
uint32_t storedSample(const ImagePyramid* image, int32_t x, int32_t y, int32_t channel) {
    switch (image->format) {
    case PixelFormat::Rgba8:
        return (readRgba8(x, y, image, 0) >> (24 - 8 * channel)) & 0xFFu;
    case PixelFormat::Rgba16: {
        uint16_t values[4];
        readRgba16(x, y, image, 0, values);
        return values[channel] < kRgba16Scale ? values[channel] : uint32_t{kRgba16Scale};
    }
    case PixelFormat::RgbaFloat:
    default: {
        float values[4];
        readRgbaFloat(x, y, image, 0, values);
        uint32_t bits = 0;
        std::memcpy(&bits, &values[channel], sizeof bits);
        return bits;
    }
    }
}

// 0..32768 onto 0..65535.
uint32_t widen16(uint32_t sample) {
    return sample >= uint32_t{kRgba16Scale} ? 0xFFFFu : 2 * sample;
}

uint32_t layerSample(const ImagePyramid* image, int32_t x, int32_t y, int32_t channel) {
    const uint32_t sample = storedSample(image, x, y, channel);
    return image->format == PixelFormat::Rgba16 ? widen16(sample) : sample;
}

// Merged planes 0..2 are red, green and blue over the checkerboard of 8 x 8
// squares, plane 3 the alpha over it (16-bit: full), plane 4 full. Floats are
// written as they are.
uint32_t mergedSample(const ImagePyramid* image, int32_t x, int32_t y, int32_t plane) {
    const bool light = ((x ^ y) & 8) == 0;
    switch (image->format) {
    case PixelFormat::Rgba8: {
        const uint32_t alpha = storedSample(image, x, y, 3);
        const uint32_t colour = plane == 3 ? alpha : storedSample(image, x, y, plane);
        const uint32_t background = light ? 255 : 204;
        return (background * (255 - alpha) + colour * alpha) / 255;
    }
    case PixelFormat::Rgba16: {
        if (plane >= 3) {
            return 0xFFFF;
        }
        const uint32_t alpha = storedSample(image, x, y, 3);
        const uint32_t colour = storedSample(image, x, y, plane);
        const uint32_t background = light ? 32640 : 26112;
        return widen16((colour * alpha + background * (kRgba16Scale - alpha)) >> 15);
    }
    case PixelFormat::RgbaFloat:
    default:
        return storedSample(image, x, y, plane);
    }
}

// One plane of width x height samples, top row first, through the 400-byte
// buffer. A sizing writer only counts it.
template <typename Sample>
void writePlane(FileWriter* writer, const PsdExportDesc& desc, Sample sample) {
    const int32_t bytes = static_cast<int32_t>(desc.bytesPerSample);
    if (writer->sizing) {
        writer->bytes += channelBytes(desc) - 2;
        return;
    }
    FileWriteBuffer buffer;
    writeBufferStart(&buffer, writer);
    const auto width = static_cast<int32_t>(desc.width);
    const auto height = static_cast<int32_t>(desc.height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t value = sample(x, y);
            for (int32_t shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
                writeBufferPutU8(&buffer, static_cast<uint8_t>(value >> shift));
            }
        }
    }
    writeBufferFlush(&buffer);
}

void writeHeader(FileWriter* writer, const PsdExportDesc& desc) {
    writeText(writer, "8BPS");
    writeU16BE(writer, 1);
    writeZeros(writer, 6);
    // Readers take the fourth merged plane of 16-bit documents as alpha.
    writeU16BE(writer, desc.bytesPerSample == 2 ? 4 : 3);
    writeU32BE(writer, desc.height);
    writeU32BE(writer, desc.width);
    writeU16BE(writer, static_cast<uint16_t>(8 * desc.bytesPerSample));
    writeU16BE(writer, kRgbMode);
}

void writeResources(FileWriter* writer, const PsdExportDesc& desc, const PsdDocumentParts& parts,
                    const IptcBlock& iptc, const ExifBlock& exif) {
    const bool hdr = desc.bytesPerSample == 4;
    writeResource(writer, 1001, false,
                  [](FileWriter* w) { writeBytes(w, kPrintRecord, sizeof kPrintRecord); });
    writeResource(writer, 1005, false, [](FileWriter* w) {
        for (int i = 0; i < 2; ++i) { // horizontal, then vertical: 72.0 per inch
            writeU32BE(w, 72u << 16);
            writeU16BE(w, 1);
            writeU16BE(w, 1);
        }
    });
    writeResource(writer, 1011, true, [](FileWriter* w) {
        writeZeros(w, 8);
        writeU8(w, 1);
    });
    writeResource(writer, 1016, false, [](FileWriter* w) {
        for (int function = 0; function < 4; ++function) {
            writeU16BE(w, 0);
            for (int i = 0; i < 11; ++i) {
                writeU16BE(w, 0xFFFF);
            }
            writeU16BE(w, 1000);
            writeU16BE(w, 0); // no override
        }
    });
    writeResource(writer, 1035, true, [](FileWriter* w) { writeText(w, kMakerUrl); });
    if (parts.iccProfile != nullptr) {
        writeResource(writer, 1039, false, [&parts](FileWriter* w) {
            writeBytes(w, parts.iccProfile, parts.iccProfileBytes);
        });
    }
    writeBytes(writer, iptc.data, static_cast<size_t>(iptc.length)); // a whole resource
    writeResource(writer, 1058, false, [&exif](FileWriter* w) {
        writeBytes(w, exif.data, static_cast<size_t>(exif.length));
    });
    if (hdr) {
        writeResource(writer, 1069, false, [](FileWriter* w) {
            writeU16BE(w, 1);
            writeU32BE(w, kMaskLayerId);
        });
        writeResource(writer, 1072, true, [&desc](FileWriter* w) {
            for (uint32_t i = 0; i < desc.layerCount; ++i) {
                writeU8(w, 1);
            }
        });
    }
    writeResource(writer, 1024, false, [&desc](FileWriter* w) {
        writeU16BE(w, static_cast<uint16_t>(desc.layerCount));
    });
    writeResource(writer, 1026, false,
                  [&desc](FileWriter* w) { writeZeros(w, int64_t{2} * desc.layerCount); });
}

void writeLayerRecord(FileWriter* writer, const PsdExportDesc& desc, const char* name) {
    const auto channelLength = static_cast<uint32_t>(channelBytes(desc));
    writeU32BE(writer, 0); // top, left, bottom, right
    writeU32BE(writer, 0);
    writeU32BE(writer, desc.height);
    writeU32BE(writer, desc.width);
    writeU16BE(writer, static_cast<uint16_t>(desc.channelCount));
    for (uint32_t channel = 0; channel < desc.channelCount; ++channel) {
        writeU16BE(writer, static_cast<uint16_t>(channel - 1)); // -1 is the alpha
        writeU32BE(writer, channelLength);
    }
    writeKey(writer, "norm");
    writeU8(writer, 255); // opacity
    writeU8(writer, 0);   // clipping
    writeU8(writer, desc.bytesPerSample == 4 ? 0x08 : 0x28);
    writeU8(writer, 0);
    writeCounted(writer, [name](FileWriter* w) {
        writeU32BE(w, 0); // no layer mask
        writeCounted(w, [](FileWriter* ranges) {
            for (int i = 0; i < 10; ++i) { // grey and four channels: source, then destination
                writeU32BE(ranges, 0x0000FFFF);
            }
        });
        const size_t length = strnlen(name, kMaxNameChars);
        writeU8(w, static_cast<uint8_t>(length));
        writeBytes(w, name, length);
        writeZeros(w, 3 - static_cast<int64_t>(length % 4));
    });
}

void writeLayerInfo(FileWriter* writer, const PsdExportDesc& desc, const ImagePyramid* image,
                    int32_t* layersDone) {
    writeU16BE(writer, static_cast<uint16_t>(desc.layerCount));
    for (uint32_t layer = 0; layer < desc.layerCount; ++layer) {
        writeLayerRecord(writer, desc, kPsdLayerName);
    }
    for (uint32_t layer = 0; layer < desc.layerCount; ++layer) {
        for (const int32_t channel : kChannelOrder) {
            writeU16BE(writer, 0); // raw
            writePlane(writer, desc, [image, channel](int32_t x, int32_t y) {
                return layerSample(image, x, y, channel);
            });
        }
        if (layersDone != nullptr && !writer->sizing) {
            ++*layersDone;
        }
    }
}

// Everything after the section's own length.
void writeLayerSectionBody(FileWriter* writer, const PsdExportDesc& desc, const ImagePyramid* image,
                           int32_t* layersDone) {
    const auto info = [&desc, image, layersDone](FileWriter* w) {
        writeLayerInfo(w, desc, image, layersDone);
    };
    if (desc.bytesPerSample == 1) {
        writeCounted(writer, info);
        writeU32BE(writer, 0); // no global layer mask
        return;
    }
    const bool hdr = desc.bytesPerSample == 4;
    writeU32BE(writer, 0); // the plain layer info stays empty
    writeU32BE(writer, 0); // no global layer mask
    writeKey(writer, hdr ? "Mt32" : "Mt16");
    writeU32BE(writer, 0);
    writeKey(writer, hdr ? "Lr32" : "Lr16");
    const int64_t start = writer->bytes;
    writeCounted(writer, info);
    const int64_t written = writer->bytes - start;
    writeZeros(writer, ((written + 3) & ~int64_t{3}) - written);
    if (hdr) {
        writeKey(writer, "LMsk");
        writeU32BE(writer, 14);
        writeBytes(writer, kLayerMaskDefaults, sizeof kLayerMaskDefaults);
        writeKey(writer, "Pat3");
        writeU32BE(writer, 0);
    }
}

void writeMergedImage(FileWriter* writer, const PsdExportDesc& desc, const ImagePyramid* image) {
    writeU16BE(writer, 0); // raw
    const int32_t planes = desc.bytesPerSample == 2 ? 5 : 4;
    for (int32_t plane = 0; plane < planes; ++plane) {
        writePlane(writer, desc, [image, plane](int32_t x, int32_t y) {
            return mergedSample(image, x, y, plane);
        });
    }
}

void buildMetadata(const PsdExportDesc& desc, const PsdDocumentParts& parts, IptcBlock* iptc,
                   ExifBlock* exif) {
    if (desc.bytesPerSample == 4) {
        (void)iptcAddKeyword(iptc, "HDR");
        (void)iptcAddKeyword(iptc, "high dynamic range");
    }
    if (parts.glue != 1) {
        (void)iptcAddKeyword(iptc, glueName(parts.glue)); // an unknown glue's empty name is refused
    }
    (void)iptcBuild(iptc, false, parts.date != nullptr ? *parts.date : utcToday());
    (void)exifBuild(exif, false);
}

} // namespace

uint32_t psdBytesPerSample(int32_t hostDepth) {
    switch (hostDepth) {
    case 16:
        return 2;
    case 32:
        return 4;
    case 8:
    default:
        return 1;
    }
}

PixelFormat psdWorkingFormat(uint32_t bytesPerSample) {
    return bytesPerSample == 2   ? PixelFormat::Rgba16
           : bytesPerSample == 4 ? PixelFormat::RgbaFloat
                                 : PixelFormat::Rgba8;
}

int64_t psdLayerRecordBytes(const char* name, uint32_t channelCount) {
    PsdExportDesc desc{};
    desc.channelCount = channelCount;
    desc.bytesPerSample = 1;
    return sizeOf([&desc, name](FileWriter* w) { writeLayerRecord(w, desc, name); });
}

bool psdLengthsFit(const PsdExportDesc& desc) {
    if (!descIsValid(desc) || desc.width > kPsdMaxSide || desc.height > kPsdMaxSide) {
        return false;
    }
    // The layer section holds every other length of the layers.
    const int64_t section =
        sizeOf([&desc](FileWriter* w) { writeLayerSectionBody(w, desc, nullptr, nullptr); });
    return channelBytes(desc) <= kMaxLength && section <= kMaxLength;
}

Result psdWriteDocument(FileWriter* writer, const PsdExportDesc& desc, const ImagePyramid* image,
                        const PsdDocumentParts& parts, int32_t* layersDone) {
    if (writer == nullptr || !descIsValid(desc)) {
        return failWith(filterBadParameters);
    }
    if (!psdLengthsFit(desc)) {
        return failWith(kPsdTooLarge);
    }
    if (!writer->sizing && (image == nullptr || image->tiles == nullptr ||
                            image->width[0] != static_cast<int32_t>(desc.width) ||
                            image->height[0] != static_cast<int32_t>(desc.height) ||
                            image->format != psdWorkingFormat(desc.bytesPerSample))) {
        return failWith(filterBadParameters);
    }
    IptcBlock iptc;
    ExifBlock exif;
    buildMetadata(desc, parts, &iptc, &exif);
    const auto resources = [&](FileWriter* w) { writeResources(w, desc, parts, iptc, exif); };
    if (sizeOf(resources) > kMaxLength) {
        return failWith(kPsdTooLarge); // a profile of nearly 4 GiB
    }

    writeHeader(writer, desc);
    writeCounted(writer, [&desc](FileWriter* w) {
        if (desc.bytesPerSample == 4) {
            writeBytes(w, kHdrToningBlock, sizeof kHdrToningBlock);
        }
    });
    writeCounted(writer, resources);
    writeCounted(writer, [&desc, image, layersDone](FileWriter* w) {
        writeLayerSectionBody(w, desc, image, layersDone);
    });
    writeMergedImage(writer, desc, image);
    return writer->error;
}

} // namespace lakra
