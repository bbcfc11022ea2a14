// PNG, JPEG, TIFF and OpenEXR (and whatever else it reads) through
// OpenImageIO: the image module, liblakra_oiio.so. Its types stay in this
// file; metadata crosses over as MetadataRecord lists.

#include "apps/lakra/hostSample.h"
#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"
#include "apps/lakra/imageFileModule.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>
#include <algorithm>
#include <cstring>
#include <exception>
#include <string_view>
#include <utility>

namespace lakra {

namespace {

namespace oiio = OIIO;

// Rows converted per write call for 16-bit images, whose samples need mapping.
constexpr int32_t kStripRows = 64;

int32_t hostDepthFor(const oiio::TypeDesc& format) {
    switch (format.basetype) {
    case oiio::TypeDesc::UINT8:
    case oiio::TypeDesc::INT8:
        return 8;
    case oiio::TypeDesc::UINT16:
    case oiio::TypeDesc::INT16:
        return 16;
    default:
        return 32; // half, float, double and wider integers
    }
}

oiio::TypeDesc hostType(int32_t depth) {
    return depth == 8    ? oiio::TypeDesc::UINT8
           : depth == 16 ? oiio::TypeDesc::UINT16
                         : oiio::TypeDesc::FLOAT;
}

bool isAlphaName(std::string_view name) {
    return name == "A" || name == "a" || name == "Alpha" || name == "alpha";
}

// The host takes grey or RGB, each with an optional transparency plane last.
bool checkChannels(const oiio::ImageSpec& imageSpec, const std::string& path, std::string* error) {
    const int channels = imageSpec.nchannels;
    if (imageSpec.alpha_channel >= 0 && imageSpec.alpha_channel != channels - 1) {
        return fail(error, path, "cannot read: the transparency channel is not the last one");
    }
    const bool lastIsAlpha = imageSpec.alpha_channel == channels - 1 ||
                             isAlphaName(imageSpec.channel_name(channels - 1));
    if ((channels == 2 || channels == 4) && !lastIsAlpha) {
        return fail(error, path,
                    "cannot read: " + std::to_string(channels) +
                        " channels without transparency (a multichannel image); the host takes "
                        "grey or RGB");
    }
    if (channels == 3 && lastIsAlpha) {
        return fail(error, path,
                    "cannot read: two colour channels and transparency (a multichannel image)");
    }
    return true;
}

MetadataRecord recordFromParam(const oiio::ParamValue& param) {
    MetadataRecord record;
    record.name = param.name().string();
    record.type = param.type().c_str();
    record.valueCount = param.nvalues();
    if (param.type().basetype == oiio::TypeDesc::STRING) {
        const size_t count = static_cast<size_t>(param.nvalues()) * param.type().numelements();
        const auto* strings = static_cast<const oiio::ustring*>(param.data());
        for (size_t i = 0; i < count; ++i) {
            record.bytes.insert(record.bytes.end(), strings[i].begin(), strings[i].end());
            record.bytes.push_back(0);
        }
    } else {
        const auto* bytes = static_cast<const uint8_t*>(param.data());
        record.bytes.assign(bytes, bytes + param.datasize());
    }
    return record;
}

// Records a reader filled, back into an image description; malformed ones are skipped.
void addRecord(const MetadataRecord& record, oiio::ImageSpec* imageSpec) {
    const oiio::TypeDesc type(record.type);
    const bool plain = type.basetype != oiio::TypeDesc::UNKNOWN &&
                       type.basetype != oiio::TypeDesc::NONE &&
                       type.basetype != oiio::TypeDesc::PTR;
    if (!plain || record.valueCount < 1) {
        return;
    }
    if (type.basetype != oiio::TypeDesc::STRING) {
        if (record.bytes.size() == type.size() * static_cast<size_t>(record.valueCount)) {
            imageSpec->extra_attribs.add_or_replace(
                oiio::ParamValue(record.name, type, record.valueCount, record.bytes.data()));
        }
        return;
    }
    // A string value copies its characters; the pointers only need to live
    // through the call.
    std::vector<const char*> strings;
    const auto* text = reinterpret_cast<const char*>(record.bytes.data());
    for (size_t start = 0; start < record.bytes.size();) {
        const size_t end = std::find(record.bytes.begin() + static_cast<std::ptrdiff_t>(start),
                                     record.bytes.end(), uint8_t{0}) -
                           record.bytes.begin();
        if (end == record.bytes.size()) {
            return; // not terminated
        }
        strings.push_back(text + start);
        start = end + 1;
    }
    if (strings.size() == static_cast<size_t>(record.valueCount) * type.numelements()) {
        imageSpec->extra_attribs.add_or_replace(
            oiio::ParamValue(record.name, type, record.valueCount, strings.data()));
    }
}

void addRecordsOf(const oiio::ImageSpec& imageSpec, ImageMetadata* metadata) {
    for (const oiio::ParamValue& param : imageSpec.extra_attribs) {
        if (param.type().basetype != oiio::TypeDesc::PTR) {
            metadata->records.push_back(recordFromParam(param));
        }
    }
}

void mapSamplesToHost16(HostImage* image) {
    for (size_t i = 0; i + 1 < image->pixels.size(); i += 2) {
        uint16_t sample = 0;
        std::memcpy(&sample, &image->pixels[i], 2);
        sample = hostFromFile16(sample);
        std::memcpy(&image->pixels[i], &sample, 2);
    }
}

oiio::TypeDesc fileTypeFor(FileFormat format, int32_t depth) {
    switch (format) {
    case FileFormat::Jpeg:
        return oiio::TypeDesc::UINT8;
    case FileFormat::Png:
        return depth == 8 ? oiio::TypeDesc::UINT8 : oiio::TypeDesc::UINT16;
    case FileFormat::Exr:
        return depth == 8 ? oiio::TypeDesc::HALF : oiio::TypeDesc::FLOAT;
    default:
        return hostType(depth);
    }
}

// Host 16-bit rows as the writer takes them: file-scaled integers, or floats
// at 1/32768 per step when the file holds floats.
void convertStrip16(const HostImage& image, int32_t y0, int32_t y1, int32_t channels, bool toFloat,
                    std::vector<uint8_t>* strip) {
    const size_t samples = static_cast<size_t>(image.width) * static_cast<size_t>(channels);
    strip->resize(samples * static_cast<size_t>(y1 - y0) * (toFloat ? 4 : 2));
    uint8_t* out = strip->data();
    for (int32_t y = y0; y < y1; ++y) {
        const uint8_t* row = image.pixels.data() + static_cast<size_t>(y) * hostRowBytes(image);
        for (int32_t x = 0; x < image.width; ++x) {
            for (int32_t c = 0; c < channels; ++c) {
                const uint8_t* sample = row + (static_cast<size_t>(x) * image.planes + c) * 2;
                if (toFloat) {
                    const float value = hostSampleUnit(sample, 16);
                    std::memcpy(out, &value, 4);
                    out += 4;
                } else {
                    uint16_t host = 0;
                    std::memcpy(&host, sample, 2);
                    const uint16_t file = fileFromHost16(host);
                    std::memcpy(out, &file, 2);
                    out += 2;
                }
            }
        }
    }
}

bool writePixels(oiio::ImageOutput* out, const HostImage& image, int32_t channels,
                 const oiio::TypeDesc& fileType) {
    const bool toFloat = fileType.is_floating_point();
    const size_t rowBytes = hostRowBytes(image);
    std::vector<uint8_t> strip;
    for (int32_t y0 = 0; y0 < image.height; y0 += kStripRows) {
        const int32_t y1 = std::min(image.height, y0 + kStripRows);
        bool ok = false;
        if (image.depth == 16) {
            convertStrip16(image, y0, y1, channels, toFloat, &strip);
            ok = out->write_scanlines(
                y0, y1, 0, toFloat ? oiio::TypeDesc::FLOAT : oiio::TypeDesc::UINT16, strip.data());
        } else {
            // Unused planes (a dropped alpha) are stepped over by the stride.
            const auto pixelBytes = static_cast<oiio::stride_t>(image.planes * image.depth / 8);
            ok = out->write_scanlines(y0, y1, 0, hostType(image.depth),
                                      image.pixels.data() + static_cast<size_t>(y0) * rowBytes,
                                      pixelBytes, static_cast<oiio::stride_t>(rowBytes));
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool readThroughOiio(const std::string& path, HostImage* image, std::string* error) {
    // Leave unassociated transparency (PNG, most TIFF) as stored: the host's
    // layers are unassociated too.
    oiio::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = oiio::ImageInput::open(path, &config);
    if (!in) {
        return fail(error, path, "cannot read: " + oiio::geterror());
    }
    const oiio::ImageSpec& imageSpec = in->spec();
    const int32_t depth = hostDepthFor(imageSpec.format);
    const int orientation = imageSpec.get_int_attribute("Orientation", 1);
    const bool turned = orientation >= 5 && orientation <= 8;
    if (imageSpec.deep) {
        return fail(error, path, "cannot read: deep images are not supported");
    }
    if (imageSpec.depth > 1) {
        return fail(error, path, "cannot read: volume images are not supported");
    }
    if (!checkImageShape(path, "cannot read", imageSpec.width, imageSpec.height,
                         imageSpec.nchannels, depth, error) ||
        (turned && !checkImageShape(path, "cannot read", imageSpec.height, imageSpec.width,
                                    imageSpec.nchannels, depth, error)) ||
        !checkChannels(imageSpec, path, error)) {
        return false;
    }
    HostImage result;
    result.width = imageSpec.width;
    result.height = imageSpec.height;
    result.planes = imageSpec.nchannels;
    result.depth = depth;
    result.alpha = result.planes == 2 || result.planes == 4;
    if (!allocatePixels(&result, path, error)) {
        return false;
    }
    if (!in->read_image(0, 0, 0, imageSpec.nchannels, hostType(depth), result.pixels.data())) {
        return fail(error, path, "cannot read: " + in->geterror());
    }
    result.metadata.formatName = in->format_name();
    addRecordsOf(imageSpec, &result.metadata);
    if (orientation >= 2 && orientation <= 8) {
        if (!applyOrientation(orientation, &result, path, error)) {
            return false;
        }
        uprightMetadata(orientation, &result.metadata);
    }
    if (depth == 16) {
        mapSamplesToHost16(&result);
    }
    *image = std::move(result);
    return true;
}

// OpenImageIO's JPEG reader on a file's header alone: its records are those
// of the whole file, as nothing it reports comes from the scans.
bool jpegHeaderRecords(ImageMetadata* metadata, std::string* error) {
    oiio::Filesystem::IOMemReader reader(metadata->pendingJpegHeader.data(),
                                         metadata->pendingJpegHeader.size());
    oiio::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    // The reader takes the proxy from its configuration, too.
    void* proxy = &reader;
    config.attribute("oiio:ioproxy", oiio::TypeDesc::PTR, &proxy);
    auto in = oiio::ImageInput::open("header.jpg", &config, &reader);
    if (!in) {
        return fail(error, "the JPEG header", "cannot read the metadata: " + oiio::geterror());
    }
    ImageMetadata resolved;
    resolved.formatName = metadata->formatName;
    addRecordsOf(in->spec(), &resolved);
    if (metadata->pendingOrientation >= 2 && metadata->pendingOrientation <= 8) {
        uprightMetadata(metadata->pendingOrientation, &resolved);
    }
    *metadata = std::move(resolved);
    return true;
}

// OpenImageIO's TIFF reader opened on the file: the records come from its
// directories alone, no pixels are read.
bool fileRecordsThroughOiio(ImageMetadata* metadata, std::string* error) {
    const std::string& path = metadata->pendingFile;
    oiio::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = oiio::ImageInput::open(path, &config);
    if (!in) {
        return fail(error, path, "cannot read the metadata: " + oiio::geterror());
    }
    ImageMetadata resolved;
    resolved.formatName = metadata->formatName;
    addRecordsOf(in->spec(), &resolved);
    if (metadata->pendingOrientation >= 2 && metadata->pendingOrientation <= 8) {
        uprightMetadata(metadata->pendingOrientation, &resolved);
    }
    *metadata = std::move(resolved);
    return true;
}

bool writeThroughOiio(const std::string& ioPath, FileFormat format, const HostImage& image,
                      const std::string& shownPath, std::string* error) {
    // Beyond libjpeg's limit OpenImageIO 2.4's JPEG writer ends the process
    // through libjpeg's default error exit instead of returning an error.
    if (format == FileFormat::Jpeg && (image.width > kMaxJpegSide || image.height > kMaxJpegSide)) {
        return fail(error, shownPath,
                    "cannot write: JPEG holds at most " + std::to_string(kMaxJpegSide) +
                        " pixels per side");
    }
    auto out = oiio::ImageOutput::create(ioPath);
    if (!out) {
        return fail(error, shownPath, "cannot write: " + oiio::geterror());
    }
    const bool keepAlpha = image.alpha && out->supports("alpha") != 0;
    const int32_t channels = image.planes - (image.alpha && !keepAlpha ? 1 : 0);
    const oiio::TypeDesc fileType = fileTypeFor(format, image.depth);
    oiio::ImageSpec imageSpec(image.width, image.height, channels, fileType);
    if (channels <= 2) {
        imageSpec.channelnames = {"Y", "A"};
        imageSpec.channelnames.resize(static_cast<size_t>(channels));
    }
    imageSpec.alpha_channel = keepAlpha ? channels - 1 : -1;
    for (const MetadataRecord& record : image.metadata.records) {
        if (!describesEncoding(record.name)) {
            addRecord(record, &imageSpec);
        }
    }
    if (keepAlpha && format != FileFormat::Exr) {
        imageSpec.attribute("oiio:UnassociatedAlpha", 1);
    }
    if (!out->open(ioPath, imageSpec) || !writePixels(out.get(), image, channels, fileType)) {
        std::string reason = out->geterror();
        (void)out->close();
        return fail(error, shownPath, "cannot write: " + reason);
    }
    if (!out->close()) {
        return fail(error, shownPath, "cannot write: " + out->geterror());
    }
    return true;
}

} // namespace

} // namespace lakra

// The entry points. OpenImageIO reports failures as messages, but its
// libraries may throw (std::bad_alloc, fmt's format errors): that becomes a
// message here, so nothing thrown reaches lakra.

int32_t lakraImageModuleVersion() {
    return lakra::kImageModuleVersion;
}

bool lakraImageModuleRead(const char* path, lakra::HostImage* image, std::string* error) {
    try {
        return lakra::readThroughOiio(path, image, error);
    } catch (const std::exception& thrown) {
        return lakra::fail(error, path, std::string("cannot read: ") + thrown.what());
    } catch (...) {
        return lakra::fail(error, path, "cannot read: an unknown failure in OpenImageIO");
    }
}

bool lakraImageModuleJpegRecords(lakra::ImageMetadata* metadata, std::string* error) {
    try {
        return lakra::jpegHeaderRecords(metadata, error);
    } catch (const std::exception& thrown) {
        return lakra::fail(error, "the JPEG header",
                           std::string("cannot read the metadata: ") + thrown.what());
    } catch (...) {
        return lakra::fail(error, "the JPEG header",
                           "cannot read the metadata: an unknown failure in OpenImageIO");
    }
}

bool lakraImageModuleFileRecords(lakra::ImageMetadata* metadata, std::string* error) {
    try {
        return lakra::fileRecordsThroughOiio(metadata, error);
    } catch (const std::exception& thrown) {
        return lakra::fail(error, metadata->pendingFile,
                           std::string("cannot read the metadata: ") + thrown.what());
    } catch (...) {
        return lakra::fail(error, metadata->pendingFile,
                           "cannot read the metadata: an unknown failure in OpenImageIO");
    }
}

bool lakraImageModuleWrite(const char* ioPath, int32_t format, const lakra::HostImage* image,
                           const char* shownPath, std::string* error) {
    try {
        return lakra::writeThroughOiio(ioPath, static_cast<lakra::FileFormat>(format), *image,
                                       shownPath, error);
    } catch (const std::exception& thrown) {
        return lakra::fail(error, shownPath, std::string("cannot write: ") + thrown.what());
    } catch (...) {
        return lakra::fail(error, shownPath, "cannot write: an unknown failure in OpenImageIO");
    }
}
