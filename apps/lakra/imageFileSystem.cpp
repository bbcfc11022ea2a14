// PNG, JPEG and TIFF through the operating system's codecs, for the build
// without OpenImageIO (Windows). Metadata is not carried.
#include "apps/lakra/hostSample.h"
#include "apps/lakra/imageFileInternal.h"
#include "platform/imageCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lakra {
namespace {

// The container by the file's first two bytes.
std::string containerName(const uint8_t* magic, size_t bytes) {
    if (bytes >= 2 && magic[0] == 0x89 && magic[1] == 'P') {
        return "png";
    }
    if (bytes >= 2 && magic[0] == 0xFF && magic[1] == 0xD8) {
        return "jpeg";
    }
    if (bytes >= 2 &&
        ((magic[0] == 'I' && magic[1] == 'I') || (magic[0] == 'M' && magic[1] == 'M'))) {
        return "tiff";
    }
    return "image";
}

// One host sample as a file sample of `depth` bits (8 or 16).
uint16_t fileSample(const uint8_t* sample, int32_t hostDepth, int32_t fileDepth) {
    if (hostDepth == 8 && fileDepth == 8) {
        return *sample;
    }
    if (hostDepth == 16 && fileDepth == 16) {
        uint16_t host = 0;
        std::memcpy(&host, sample, 2);
        return fileFromHost16(host);
    }
    const float unit = hostSampleUnit(sample, hostDepth);
    const float full = fileDepth == 8 ? 255.0f : 65535.0f;
    if (!(unit > 0.0f)) {
        return 0; // NaN too
    }
    return static_cast<uint16_t>(std::lround(std::min(unit, 1.0f) * full));
}

} // namespace

bool readImageSystem(const std::string& path, const uint8_t* magic, size_t magicBytes,
                     HostImage* image, std::string* error) {
    CodecImage decoded;
    std::string reason;
    if (!systemCodecRead(path, &decoded, &reason)) {
        return fail(error, path, "cannot read: " + reason);
    }
    if (!checkImageShape(path, "cannot read", decoded.width, decoded.height, decoded.channels,
                         decoded.depth, error)) {
        return false;
    }
    HostImage read;
    read.width = decoded.width;
    read.height = decoded.height;
    read.planes = decoded.channels;
    read.depth = decoded.depth;
    read.alpha = decoded.channels == 2 || decoded.channels == 4;
    read.metadata.formatName = containerName(magic, magicBytes);
    if (!allocatePixels(&read, path, error)) {
        return false;
    }
    if (read.depth == 8) {
        read.pixels = std::move(decoded.pixels);
    } else {
        const size_t samples = read.pixels.size() / 2;
        for (size_t i = 0; i < samples; ++i) {
            uint16_t file = 0;
            std::memcpy(&file, decoded.pixels.data() + i * 2, 2);
            const uint16_t host = hostFromFile16(file);
            std::memcpy(read.pixels.data() + i * 2, &host, 2);
        }
    }
    *image = std::move(read);
    return true;
}

bool writeSystemFile(const std::string& ioPath, FileFormat format, const HostImage& image,
                     const std::string& shownPath, std::string* error) {
    if (format == FileFormat::Exr) {
        return fail(error, shownPath, "cannot write: this build writes no OpenEXR files");
    }
    const bool jpeg = format == FileFormat::Jpeg;
    CodecImage out;
    out.width = image.width;
    out.height = image.height;
    // JPEG holds no transparency and 8 bits only; PNG and TIFF keep the
    // layout, floats becoming 16 bits.
    out.channels = jpeg && image.alpha ? image.planes - 1 : image.planes;
    out.depth = jpeg || image.depth == 8 ? 8 : 16;
    const size_t hostBytes = static_cast<size_t>(image.depth / 8);
    const size_t outBytes = static_cast<size_t>(out.depth / 8);
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    out.pixels.resize(pixels * static_cast<size_t>(out.channels) * outBytes);
    uint8_t* to = out.pixels.data();
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* from =
            image.pixels.data() + i * static_cast<size_t>(image.planes) * hostBytes;
        for (int32_t c = 0; c < out.channels; ++c) {
            const uint16_t value =
                fileSample(from + static_cast<size_t>(c) * hostBytes, image.depth, out.depth);
            if (out.depth == 8) {
                *to++ = static_cast<uint8_t>(value);
            } else {
                std::memcpy(to, &value, 2);
                to += 2;
            }
        }
    }
    const CodecContainer container = jpeg                        ? CodecContainer::Jpeg
                                     : format == FileFormat::Png ? CodecContainer::Png
                                                                 : CodecContainer::Tiff;
    std::string reason;
    if (!systemCodecWrite(ioPath, container, out, &reason)) {
        return fail(error, shownPath, "cannot write: " + reason);
    }
    return true;
}

} // namespace lakra
