// OpenEXR files written with OpenEXR's own library directly, so that an
// image without metadata needs no image module.
//
// The file is the one OpenImageIO's OpenEXR writer makes: a scanline file,
// zip coded, the default header with the time of writing as its capDate,
// channels R, G, B (A) or Y (A), 8-bit samples as half floats (sample / 255),
// 16-bit ones as floats (sample / 32768), floats as they are. Images with
// records it would write go to the module.
//
// OpenEXR's library reports failures by throwing; the entry point here turns
// anything thrown into a false return, so nothing thrown leaves this file.

#include "apps/lakra/hostSample.h"
#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <vector>

namespace lakra {

namespace {

// The rows the module hands its writer per call.
constexpr int32_t kModuleRows = 64;

std::string localDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    (void)localtime_r(&now, &local);
    char text[96] = {};
    (void)std::snprintf(text, sizeof text, "%4d:%02d:%02d %02d:%02d:%02d", local.tm_year + 1900,
                        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

bool writesNoRecords(const ImageMetadata& metadata) {
    if (hasPendingRecords(metadata)) {
        return false;
    }
    return std::all_of(metadata.records.begin(), metadata.records.end(),
                       [](const MetadataRecord& record) { return describesEncoding(record.name); });
}

// Rows y0..y1 of the image as the file holds them, channel by channel.
void fileRows(const HostImage& image, int32_t y0, int32_t y1, std::vector<Imath::half>* halves,
              std::vector<float>* floats) {
    const size_t samples = static_cast<size_t>(y1 - y0) * static_cast<size_t>(image.width) *
                           static_cast<size_t>(image.planes);
    const uint8_t* from = image.pixels.data() + static_cast<size_t>(y0) * hostRowBytes(image);
    if (image.depth == 8) {
        halves->resize(samples);
        for (size_t i = 0; i < samples; ++i) {
            (*halves)[i] = Imath::half(static_cast<float>(from[i]) * (1.0f / 255.0f));
        }
        return;
    }
    floats->resize(samples);
    for (size_t i = 0; i < samples; ++i) {
        (*floats)[i] = hostSampleUnit(from + i * static_cast<size_t>(image.depth / 8), image.depth);
    }
}

void writeExr(const std::string& ioPath, const HostImage& image) {
    const bool half = image.depth == 8;
    const Imf::PixelType type = half ? Imf::HALF : Imf::FLOAT;
    Imf::Header header(image.width, image.height);
    header.compression() = Imf::ZIP_COMPRESSION;
    Imf::addCapDate(header, localDateTime());
    const char* const grey[] = {"Y", "A"};
    const char* const colour[] = {"R", "G", "B", "A"};
    const char* const* names = image.planes <= 2 ? grey : colour;
    for (int32_t c = 0; c < image.planes; ++c) {
        header.channels().insert(names[c], Imf::Channel(type));
    }
    Imf::OutputFile file(ioPath.c_str(), header);
    std::vector<Imath::half> halves;
    std::vector<float> floats;
    const size_t sampleBytes = half ? sizeof(Imath::half) : sizeof(float);
    const size_t xStride = sampleBytes * static_cast<size_t>(image.planes);
    const size_t yStride = xStride * static_cast<size_t>(image.width);
    for (int32_t y0 = 0; y0 < image.height; y0 += kModuleRows) {
        const int32_t y1 = std::min(image.height, y0 + kModuleRows);
        fileRows(image, y0, y1, &halves, &floats);
        char* rows =
            half ? reinterpret_cast<char*>(halves.data()) : reinterpret_cast<char*>(floats.data());
        // The frame buffer addresses pixel (x, y) as base + x * xStride + y * yStride.
        char* base = rows - static_cast<ptrdiff_t>(static_cast<size_t>(y0) * yStride);
        Imf::FrameBuffer frame;
        for (int32_t c = 0; c < image.planes; ++c) {
            frame.insert(names[c], Imf::Slice(type, base + static_cast<size_t>(c) * sampleBytes,
                                              xStride, yStride));
        }
        file.setFrameBuffer(frame);
        file.writePixels(y1 - y0);
    }
}

} // namespace

bool writeExrFile(const std::string& ioPath, const HostImage& image) {
    if (!writesNoRecords(image.metadata)) {
        return false;
    }
    try {
        writeExr(ioPath, image);
        return true;
    } catch (const std::exception&) {
        return false;
    } catch (...) {
        return false;
    }
}

} // namespace lakra
