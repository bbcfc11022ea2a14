// OpenEXR files read and written with OpenEXR's own library directly, so
// that the common OpenEXR file needs no image module.
//
// Reading, a scanline file of half or float R, G, B (A) or Y (A) channels
// comes out as floats, as OpenImageIO reads it; the records stay pending:
// the module reads them from the file when someone asks for them
// (resolveMetadata). Anything else is left to the module.
//
// The file is the one OpenImageIO's OpenEXR writer makes: a scanline file,
// zip coded, the default header with the time of writing as its capDate,
// channels R, G, B (A) or Y (A), 8-bit samples as half floats (sample / 255),
// 16-bit ones as floats (sample / 32768), floats as they are. Images with
// records it would write go to the module; an image read from a file that
// holds nothing but the default header and a capDate is written with that
// capDate, as the module writes it.
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
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <OpenEXR/ImfTestFile.h>
#include <OpenEXR/ImfThreading.h>
#include <algorithm>
#include <cstring>
#include <exception>
#include <string_view>
#include <utility>
#include <vector>

namespace lakra {

namespace {

// The rows the module hands its writer per call.
constexpr int32_t kModuleRows = 64;

// OpenEXR's library codes blocks of rows on as many threads as OpenImageIO
// gives it (the file's bytes do not depend on them).
void shareWork() {
    static const bool shared = [] {
        Imf::setGlobalThreadCount(static_cast<int>(oiioWorkers()));
        return true;
    }();
    (void)shared;
}

// The attributes of OpenEXR's default header, at their defaults, and a
// capDate: the records OpenImageIO reads from such a file are its DateTime
// and those the module writes back as that same header.
bool onlyDefaultHeader(const Imf::Header& header) {
    static constexpr std::string_view kNames[] = {
        "channels",         "compression",        "dataWindow",        "displayWindow", "lineOrder",
        "pixelAspectRatio", "screenWindowCenter", "screenWindowWidth", "capDate"};
    for (auto at = header.begin(); at != header.end(); ++at) {
        if (std::find(std::begin(kNames), std::end(kNames), std::string_view(at.name())) ==
            std::end(kNames)) {
            return false;
        }
    }
    return header.pixelAspectRatio() == 1.0f && header.screenWindowWidth() == 1.0f &&
           header.screenWindowCenter() == Imath::V2f(0.0f, 0.0f) &&
           header.lineOrder() == Imf::INCREASING_Y;
}

// The channels in the host's order, or none when the file has others.
std::vector<const char*> hostChannels(const Imf::ChannelList& channels, Imf::PixelType* type) {
    static const std::vector<std::vector<const char*>> kLayouts = {
        {"Y"}, {"Y", "A"}, {"R", "G", "B"}, {"R", "G", "B", "A"}};
    size_t count = 0;
    bool first = true;
    for (auto at = channels.begin(); at != channels.end(); ++at, ++count) {
        const Imf::Channel& channel = at.channel();
        if ((channel.type != Imf::HALF && channel.type != Imf::FLOAT) ||
            (!first && channel.type != *type) || channel.xSampling != 1 || channel.ySampling != 1) {
            return {};
        }
        *type = channel.type;
        first = false;
    }
    for (const std::vector<const char*>& layout : kLayouts) {
        if (layout.size() == count &&
            std::all_of(layout.begin(), layout.end(),
                        [&channels](const char* name) { return channels.findChannel(name); })) {
            return layout;
        }
    }
    return {};
}

bool readExr(const std::string& path, HostImage* image) {
    bool tiled = false;
    bool deep = false;
    bool multiPart = false;
    if (!Imf::isOpenExrFile(path.c_str(), tiled, deep, multiPart) || tiled || deep || multiPart) {
        return false;
    }
    shareWork();
    Imf::InputFile file(path.c_str());
    const Imf::Header& header = file.header();
    const Imath::Box2i window = header.dataWindow();
    Imf::PixelType type = Imf::HALF;
    const std::vector<const char*> names = hostChannels(header.channels(), &type);
    if (names.empty() || window != header.displayWindow() || window.min != Imath::V2i(0, 0)) {
        return false;
    }
    const int64_t width = int64_t{window.max.x} + 1;
    const int64_t height = int64_t{window.max.y} + 1;
    const auto planes = static_cast<int32_t>(names.size());
    if (!checkImageShape(path, "cannot read", width, height, planes, 32, nullptr)) {
        return false;
    }
    HostImage result;
    result.width = static_cast<int32_t>(width);
    result.height = static_cast<int32_t>(height);
    result.planes = planes;
    result.depth = 32;
    result.alpha = planes == 2 || planes == 4;
    if (!allocatePixels(&result, path, nullptr)) {
        return false;
    }
    const size_t xStride = sizeof(float) * static_cast<size_t>(planes);
    const size_t yStride = xStride * static_cast<size_t>(width);
    Imf::FrameBuffer frame;
    for (int32_t c = 0; c < planes; ++c) {
        frame.insert(names[static_cast<size_t>(c)],
                     Imf::Slice(Imf::FLOAT,
                                reinterpret_cast<char*>(result.pixels.data()) + c * sizeof(float),
                                xStride, yStride));
    }
    file.setFrameBuffer(frame);
    file.readPixels(0, result.height - 1);
    if (!file.isComplete()) {
        return false;
    }
    ImageMetadata& metadata = result.metadata;
    metadata.formatName = "openexr";
    metadata.pendingFilePlain = onlyDefaultHeader(header);
    if (Imf::hasCapDate(header)) {
        metadata.pendingDateTime = Imf::capDate(header);
        metadata.pendingFilePlain = metadata.pendingFilePlain && !metadata.pendingDateTime.empty();
    }
    metadata.pendingFile = path;
    *image = std::move(result);
    return true;
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

void writeExr(const std::string& ioPath, const HostImage& image, const std::string& capDate) {
    const bool half = image.depth == 8;
    const Imf::PixelType type = half ? Imf::HALF : Imf::FLOAT;
    Imf::Header header(image.width, image.height);
    header.compression() = Imf::ZIP_COMPRESSION;
    Imf::addCapDate(header, capDate);
    const char* const grey[] = {"Y", "A"};
    const char* const colour[] = {"R", "G", "B", "A"};
    const char* const* names = image.planes <= 2 ? grey : colour;
    for (int32_t c = 0; c < image.planes; ++c) {
        header.channels().insert(names[c], Imf::Channel(type));
    }
    shareWork();
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

bool readImageExr(const std::string& path, HostImage* image) {
    uint64_t size = 0;
    int64_t time = 0;
    if (!fileStamp(path, &size, &time)) {
        return false;
    }
    try {
        HostImage result;
        if (!readExr(path, &result)) {
            return false;
        }
        result.metadata.pendingFileSize = size;
        result.metadata.pendingFileTime = time;
        *image = std::move(result);
        return true;
    } catch (const std::exception&) {
        return false;
    } catch (...) {
        return false;
    }
}

bool writeExrFile(const std::string& ioPath, const HostImage& image) {
    std::string capDate;
    if (!dateToWrite(image.metadata, "openexr", &capDate)) {
        return false;
    }
    try {
        writeExr(ioPath, image, capDate);
        return true;
    } catch (const std::exception&) {
        return false;
    } catch (...) {
        return false;
    }
}

} // namespace lakra
