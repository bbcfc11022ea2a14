// TIFF files read and written with libtiff directly, so that the common TIFF
// needs no image module.
//
// Reading, the pixels are those OpenImageIO reads through the same libtiff,
// turned upright by the file's orientation; the records stay pending: the
// module reads them from the file when someone asks for them
// (resolveMetadata). A file with anything this code does not follow (several
// images, planes stored apart, a palette, CMYK, YCbCr, JPEG coding, unusual
// depths, associated or unspecified extra samples, anything libtiff warns
// about) is left to the module.
//
// Writing, the file is the one OpenImageIO's TIFF writer makes: the same
// tags, deflate with the same predictor and level, 32 rows per strip, the
// directory checkpointed first, and the strips encoded by the same calls
// (OpenImageIO deflates whole strips itself when its thread pool has more
// than one thread, and otherwise hands libtiff a row at a time). Images with
// records it would write go to the module.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <tiffio.h>
#include <utility>
#include <vector>
#include <zlib.h>

namespace lakra {

namespace {

// OpenImageIO's TIFF layout: rows per strip and the deflate level.
constexpr uint32_t kRowsPerStrip = 32;
constexpr int kZipLevel = 6;
// The rows the module hands its writer per call (its strip of conversion).
constexpr int32_t kModuleRows = 64;
// Beyond this many bytes of pixels OpenImageIO switches to BigTIFF.
constexpr uint64_t kBigTiffBytes = 4000ull * 1024ull * 1024ull;

// The tags of a file that holds nothing but its pixels' layout (and a
// DateTime): the records OpenImageIO reads from it are its DateTime and
// those describing the encoding, which writers drop.
constexpr uint16_t kLayoutTags[] = {
    TIFFTAG_SUBFILETYPE,     TIFFTAG_IMAGEWIDTH,     TIFFTAG_IMAGELENGTH,     TIFFTAG_BITSPERSAMPLE,
    TIFFTAG_COMPRESSION,     TIFFTAG_PHOTOMETRIC,    TIFFTAG_STRIPOFFSETS,    TIFFTAG_ORIENTATION,
    TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_ROWSPERSTRIP,   TIFFTAG_STRIPBYTECOUNTS, TIFFTAG_PLANARCONFIG,
    TIFFTAG_DATETIME,        TIFFTAG_PREDICTOR,      TIFFTAG_TILEWIDTH,       TIFFTAG_TILELENGTH,
    TIFFTAG_TILEOFFSETS,     TIFFTAG_TILEBYTECOUNTS, TIFFTAG_EXTRASAMPLES,    TIFFTAG_SAMPLEFORMAT};

// libtiff's messages: a warning while reading sends the file to the module.
struct TiffMessages {
    bool warned = false;
};

int noteWarning(TIFF* /*tif*/, void* user, const char* /*module*/, const char* /*format*/,
                va_list /*args*/) {
    static_cast<TiffMessages*>(user)->warned = true;
    return 1;
}

int ignoreError(TIFF* /*tif*/, void* /*user*/, const char* /*module*/, const char* /*format*/,
                va_list /*args*/) {
    return 1;
}

TIFF* openTiff(const std::string& path, const char* mode, TiffMessages* messages) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, ignoreError, messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, noteWarning, messages);
    TIFF* tif = TIFFOpenExt(path.c_str(), mode, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

struct TiffCloser {
    TIFF* tif = nullptr;
    TiffCloser(const TiffCloser&) = delete;
    TiffCloser& operator=(const TiffCloser&) = delete;

    explicit TiffCloser(TIFF* opened) : tif(opened) {}

    ~TiffCloser() {
        if (tif != nullptr) {
            TIFFClose(tif);
        }
    }
};

// ---- Reading ----

// The layout of a file this code reads.
struct TiffLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t channels = 0;
    uint16_t bits = 0;
    int orientation = 1;
    bool tiled = false;
    uint32_t tileWidth = 0;
    uint32_t tileHeight = 0;
    uint32_t rowsPerStrip = 0;
};

uint16_t fieldOr(TIFF* tif, uint32_t tag, uint16_t fallback) {
    uint16_t value = fallback;
    return TIFFGetField(tif, tag, &value) == 1 ? value : fallback;
}

bool readLayout(TIFF* tif, TiffLayout* layout) {
    if (TIFFIsTiled(tif) != 0) {
        layout->tiled = true;
        if (TIFFGetField(tif, TIFFTAG_TILEWIDTH, &layout->tileWidth) != 1 ||
            TIFFGetField(tif, TIFFTAG_TILELENGTH, &layout->tileHeight) != 1 ||
            layout->tileWidth == 0 || layout->tileHeight == 0) {
            return false;
        }
    }
    uint16_t photometric = 0;
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &layout->width) != 1 ||
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &layout->height) != 1 ||
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 1) {
        return false;
    }
    layout->channels = fieldOr(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    layout->bits = fieldOr(tif, TIFFTAG_BITSPERSAMPLE, 1);
    layout->orientation = fieldOr(tif, TIFFTAG_ORIENTATION, 1);
    const uint16_t sampleFormat = fieldOr(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    const uint16_t compression = fieldOr(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    const uint16_t planar = fieldOr(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    const uint16_t colourChannels = photometric == PHOTOMETRIC_RGB ? 3 : 1;
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) != 1) {
        extraCount = 0;
    }
    const bool depthOk =
        ((layout->bits == 8 || layout->bits == 16) && sampleFormat == SAMPLEFORMAT_UINT) ||
        (layout->bits == 32 && sampleFormat == SAMPLEFORMAT_IEEEFP);
    const bool compressionOk = compression == COMPRESSION_NONE || compression == COMPRESSION_LZW ||
                               compression == COMPRESSION_ADOBE_DEFLATE ||
                               compression == COMPRESSION_DEFLATE ||
                               compression == COMPRESSION_PACKBITS;
    // Grey or RGB, alone or with one unassociated transparency channel.
    const bool channelsOk =
        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_RGB) &&
        (layout->channels == colourChannels ||
         (layout->channels == colourChannels + 1 && extraCount == 1 &&
          extra[0] == EXTRASAMPLE_UNASSALPHA)) &&
        (extraCount == 0 || layout->channels == colourChannels + 1);
    const bool stripsOk = layout->tiled || (TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP,
                                                                  &layout->rowsPerStrip) == 1 &&
                                            layout->rowsPerStrip > 0);
    return depthOk && compressionOk && channelsOk && stripsOk && planar == PLANARCONFIG_CONTIG &&
           layout->orientation >= 1 && layout->orientation <= 8 && layout->width > 0 &&
           layout->height > 0;
}

// The tags of the first directory, read from the file: whether they are
// all layout tags (and the file has no further directory).
bool onlyLayoutTags(const std::string& path, TIFF* tif) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    const bool big = TIFFIsBigTIFF(tif) != 0;
    const bool swapped = TIFFIsByteSwapped(tif) != 0;
    const auto swap16 = [swapped](uint16_t value) {
        return swapped ? static_cast<uint16_t>((value >> 8) | (value << 8)) : value;
    };
    bool plain = false;
    const auto offset = static_cast<long>(TIFFCurrentDirOffset(tif));
    uint64_t count = 0;
    if (offset > 0 && std::fseek(file, offset, SEEK_SET) == 0) {
        if (big) {
            uint64_t count64 = 0;
            plain = std::fread(&count64, 8, 1, file) == 1;
            if (swapped) {
                TIFFSwabLong8(&count64);
            }
            count = count64;
        } else {
            uint16_t count16 = 0;
            plain = std::fread(&count16, 2, 1, file) == 1;
            count = swap16(count16);
        }
    }
    const size_t entryBytes = big ? 20 : 12;
    plain = plain && count > 0 && count < 4096;
    std::vector<uint8_t> entries(plain ? count * entryBytes : 0);
    plain = plain && std::fread(entries.data(), 1, entries.size(), file) == entries.size();
    (void)std::fclose(file);
    for (size_t i = 0; plain && i < count; ++i) {
        uint16_t tag = 0;
        std::memcpy(&tag, &entries[i * entryBytes], 2);
        tag = swap16(tag);
        plain =
            std::find(std::begin(kLayoutTags), std::end(kLayoutTags), tag) != std::end(kLayoutTags);
    }
    return plain;
}

bool readPixels(TIFF* tif, const TiffLayout& layout, HostImage* image) {
    const size_t pixelBytes = static_cast<size_t>(layout.channels) * layout.bits / 8;
    const size_t rowBytes = hostRowBytes(*image);
    if (!layout.tiled) {
        const tmsize_t stripSize = TIFFStripSize(tif);
        if (stripSize <= 0 || static_cast<size_t>(stripSize) <
                                  rowBytes * std::min(layout.rowsPerStrip, layout.height)) {
            return false;
        }
        std::vector<uint8_t> strip(static_cast<size_t>(stripSize));
        for (uint32_t y = 0; y < layout.height; y += layout.rowsPerStrip) {
            const uint32_t rows = std::min(layout.rowsPerStrip, layout.height - y);
            const tmsize_t want = static_cast<tmsize_t>(rowBytes * rows);
            if (TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y, 0), strip.data(), want) !=
                want) {
                return false;
            }
            std::memcpy(image->pixels.data() + y * rowBytes, strip.data(), rowBytes * rows);
        }
        return true;
    }
    const tmsize_t tileSize = TIFFTileSize(tif);
    const size_t tileRowBytes = pixelBytes * layout.tileWidth;
    if (tileSize <= 0 || static_cast<size_t>(tileSize) < tileRowBytes * layout.tileHeight) {
        return false;
    }
    std::vector<uint8_t> tile(static_cast<size_t>(tileSize));
    for (uint32_t y = 0; y < layout.height; y += layout.tileHeight) {
        for (uint32_t x = 0; x < layout.width; x += layout.tileWidth) {
            if (TIFFReadEncodedTile(tif, TIFFComputeTile(tif, x, y, 0, 0), tile.data(), tileSize) !=
                tileSize) {
                return false;
            }
            const uint32_t rows = std::min(layout.tileHeight, layout.height - y);
            const size_t bytes = pixelBytes * std::min(layout.tileWidth, layout.width - x);
            for (uint32_t row = 0; row < rows; ++row) {
                std::memcpy(image->pixels.data() + (y + row) * rowBytes + x * pixelBytes,
                            tile.data() + row * tileRowBytes, bytes);
            }
        }
    }
    return true;
}

// Whether the file's coded strips or tiles could hold the pixels it states:
// no coding here expands its data more than kMostExpansion times, so a file
// that states more is damaged or hostile and goes to the module before
// anything is allocated for it.
bool plausibleSize(TIFF* tif, const TiffLayout& layout, size_t pixelBytes) {
    constexpr uint64_t kMostExpansion = 4096;
    constexpr uint64_t kSlack = uint64_t{1} << 20;
    uint64_t* counts = nullptr;
    const uint32_t tag = layout.tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS;
    const uint32_t pieces = layout.tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    if (TIFFGetField(tif, tag, &counts) != 1 || counts == nullptr || pieces == 0) {
        return false;
    }
    uint64_t coded = 0;
    for (uint32_t i = 0; i < pieces; ++i) {
        coded += std::min<uint64_t>(counts[i], uint64_t{1} << 40);
    }
    return static_cast<uint64_t>(pixelBytes) <= coded * kMostExpansion + kSlack;
}

void mapSamplesToHost16(HostImage* image) {
    for (size_t i = 0; i + 1 < image->pixels.size(); i += 2) {
        uint16_t sample = 0;
        std::memcpy(&sample, &image->pixels[i], 2);
        sample = hostFromFile16(sample);
        std::memcpy(&image->pixels[i], &sample, 2);
    }
}

// ---- Writing ----

// The threads in OpenImageIO's pool: its workers less the caller.
size_t oiioPoolThreads() {
    return oiioWorkers() - 1;
}

// The image's rows y0..y1 as the file holds them: 16-bit samples on the
// file's scale, the rest as they are.
void fileRows(const HostImage& image, int32_t y0, int32_t y1, std::vector<uint8_t>* rows) {
    const size_t rowBytes = hostRowBytes(image);
    const uint8_t* from = image.pixels.data() + static_cast<size_t>(y0) * rowBytes;
    rows->assign(from, from + static_cast<size_t>(y1 - y0) * rowBytes);
    if (image.depth == 16) {
        for (size_t i = 0; i + 1 < rows->size(); i += 2) {
            uint16_t sample = 0;
            std::memcpy(&sample, &(*rows)[i], 2);
            sample = fileFromHost16(sample);
            std::memcpy(&(*rows)[i], &sample, 2);
        }
    }
}

// Horizontal differencing, in place, as the TIFF predictor 2 encodes.
template <typename Sample>
void differenceRows(uint8_t* bytes, int32_t channels, int32_t width, int32_t rows) {
    for (int32_t y = 0; y < rows; ++y) {
        uint8_t* row = bytes + static_cast<size_t>(y) * width * channels * sizeof(Sample);
        for (int32_t x = width - 1; x >= 1; --x) {
            for (int32_t c = 0; c < channels; ++c) {
                Sample here = 0;
                Sample left = 0;
                std::memcpy(&here, row + (static_cast<size_t>(x) * channels + c) * sizeof(Sample),
                            sizeof(Sample));
                std::memcpy(&left,
                            row + (static_cast<size_t>(x - 1) * channels + c) * sizeof(Sample),
                            sizeof(Sample));
                here = static_cast<Sample>(here - left);
                std::memcpy(row + (static_cast<size_t>(x) * channels + c) * sizeof(Sample), &here,
                            sizeof(Sample));
            }
        }
    }
}

bool writeRowsOneByOne(TIFF* tif, const HostImage& image, const std::vector<uint8_t>& rows,
                       int32_t y0, int32_t y1, int32_t firstRow) {
    const size_t rowBytes = hostRowBytes(image);
    std::vector<uint8_t> scratch(rowBytes); // the predictor works in place
    for (int32_t y = firstRow; y < y1; ++y) {
        std::memcpy(scratch.data(), rows.data() + static_cast<size_t>(y - y0) * rowBytes, rowBytes);
        if (TIFFWriteScanline(tif, scratch.data(), static_cast<uint32_t>(y), 0) < 0) {
            return false;
        }
    }
    return true;
}

// Whole strips deflated here and written raw, the rows after the last whole
// strip one by one.
bool writeRowsAsStrips(TIFF* tif, const HostImage& image, std::vector<uint8_t>* rows, int32_t y0,
                       int32_t y1) {
    const size_t rowBytes = hostRowBytes(image);
    const size_t stripBytes = rowBytes * kRowsPerStrip;
    std::vector<uint8_t> compressed(compressBound(static_cast<uLong>(stripBytes)));
    int32_t y = y0;
    for (; y + static_cast<int32_t>(kRowsPerStrip) <= y1; y += kRowsPerStrip) {
        uint8_t* strip = rows->data() + static_cast<size_t>(y - y0) * rowBytes;
        if (image.depth == 8) {
            differenceRows<uint8_t>(strip, image.planes, image.width, kRowsPerStrip);
        } else {
            differenceRows<uint16_t>(strip, image.planes, image.width, kRowsPerStrip);
        }
        uLongf size = static_cast<uLongf>(compressed.size());
        if (compress2(compressed.data(), &size, strip, static_cast<uLong>(stripBytes), kZipLevel) !=
                Z_OK ||
            TIFFWriteRawStrip(tif, static_cast<uint32_t>(y) / kRowsPerStrip, compressed.data(),
                              static_cast<tmsize_t>(size)) < 0) {
            return false;
        }
    }
    return writeRowsOneByOne(tif, image, *rows, y0, y1, y);
}

bool writePixels(TIFF* tif, const HostImage& image) {
    // OpenImageIO deflates strips itself for 8 and 16 bits when a call
    // covers more than one strip and its pool has threads to share them.
    const bool ownDeflate = image.depth != 32 && oiioPoolThreads() > 1;
    std::vector<uint8_t> rows;
    for (int32_t y0 = 0; y0 < image.height; y0 += kModuleRows) {
        const int32_t y1 = std::min(image.height, y0 + kModuleRows);
        fileRows(image, y0, y1, &rows);
        const bool strips = ownDeflate && y1 - y0 > static_cast<int32_t>(kRowsPerStrip);
        if (!(strips ? writeRowsAsStrips(tif, image, &rows, y0, y1)
                     : writeRowsOneByOne(tif, image, rows, y0, y1, y0))) {
            return false;
        }
    }
    return true;
}

} // namespace

bool readImageTiff(const std::string& path, HostImage* image) {
    uint64_t size = 0;
    int64_t time = 0;
    if (!fileStamp(path, &size, &time)) {
        return false;
    }
    TiffMessages messages;
    TiffCloser file(openTiff(path, "r", &messages));
    if (file.tif == nullptr) {
        return false;
    }
    TIFF* tif = file.tif;
    TiffLayout layout;
    uint16_t subIfdCount = 0;
    uint64_t* subIfds = nullptr;
    if (!readLayout(tif, &layout) ||
        TIFFGetField(tif, TIFFTAG_SUBIFD, &subIfdCount, &subIfds) == 1 ||
        TIFFLastDirectory(tif) == 0) {
        return false;
    }
    const int32_t depth = layout.bits;
    const bool turned = layout.orientation >= 5;
    if (!checkImageShape(path, "cannot read", layout.width, layout.height, layout.channels, depth,
                         nullptr) ||
        !plausibleSize(tif, layout,
                       size_t{layout.width} * layout.height * layout.channels * (depth / 8)) ||
        (turned && !checkImageShape(path, "cannot read", layout.height, layout.width,
                                    layout.channels, depth, nullptr))) {
        return false;
    }
    HostImage result;
    result.width = static_cast<int32_t>(layout.width);
    result.height = static_cast<int32_t>(layout.height);
    result.planes = layout.channels;
    result.depth = depth;
    result.alpha = result.planes == 2 || result.planes == 4;
    if (!allocatePixels(&result, path, nullptr) || !readPixels(tif, layout, &result) ||
        messages.warned) {
        return false;
    }
    ImageMetadata& metadata = result.metadata;
    metadata.pendingFilePlain = onlyLayoutTags(path, tif);
    const char* dateTime = nullptr;
    if (TIFFGetField(tif, TIFFTAG_DATETIME, &dateTime) == 1 && dateTime != nullptr) {
        metadata.pendingDateTime = dateTime;
        metadata.pendingFilePlain = metadata.pendingFilePlain && *dateTime != 0;
    }
    if (layout.orientation >= 2 && !applyOrientation(layout.orientation, &result, path, nullptr)) {
        return false;
    }
    if (depth == 16) {
        mapSamplesToHost16(&result);
    }
    metadata.formatName = "tiff";
    metadata.pendingFile = path;
    metadata.pendingFileSize = size;
    metadata.pendingFileTime = time;
    metadata.pendingOrientation = layout.orientation;
    *image = std::move(result);
    return true;
}

std::string localDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    (void)localtime_r(&now, &local);
    char text[96] = {};
    (void)std::snprintf(text, sizeof text, "%4d:%02d:%02d %02d:%02d:%02d", local.tm_year + 1900,
                        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

bool dateToWrite(const ImageMetadata& metadata, std::string_view formatName, std::string* date) {
    if (!metadata.pendingJpegHeader.empty()) {
        return false;
    }
    if (!metadata.pendingFile.empty()) {
        if (!metadata.pendingFilePlain || metadata.formatName != formatName) {
            return false;
        }
        *date = metadata.pendingDateTime.empty() ? localDateTime() : metadata.pendingDateTime;
        return true;
    }
    for (const MetadataRecord& record : metadata.records) {
        if (!describesEncoding(record.name)) {
            return false;
        }
    }
    *date = localDateTime();
    return true;
}

bool writeTiffFile(const std::string& ioPath, const HostImage& image) {
    std::string dateTime;
    if (!dateToWrite(image.metadata, "tiff", &dateTime) || image.pixels.size() > kBigTiffBytes) {
        return false;
    }
    TiffMessages messages;
    TiffCloser file(openTiff(ioPath, "w", &messages));
    TIFF* tif = file.tif;
    if (tif == nullptr) {
        return false;
    }
    const bool floats = image.depth == 32;
    std::vector<uint16_t> extra = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(image.planes));
    TIFFSetField(tif, TIFFTAG_ORIENTATION, static_cast<uint16_t>(ORIENTATION_TOPLEFT));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(image.depth));
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT,
                 static_cast<uint16_t>(floats ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, static_cast<uint16_t>(COMPRESSION_ADOBE_DEFLATE));
    TIFFSetField(tif, TIFFTAG_PREDICTOR,
                 static_cast<uint16_t>(floats ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL));
    TIFFSetField(tif, TIFFTAG_ZIPQUALITY, kZipLevel);
    TIFFSetField(
        tif, TIFFTAG_PHOTOMETRIC,
        static_cast<uint16_t>(image.planes >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK));
    if (image.alpha) {
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(1), extra.data());
    }
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, static_cast<uint16_t>(PLANARCONFIG_CONTIG));
    TIFFSetField(tif, TIFFTAG_DATETIME, dateTime.c_str());
    // The directory goes out first and is written over in place at the end.
    if (TIFFCheckpointDirectory(tif) != 1 || !writePixels(tif, image) ||
        TIFFWriteDirectory(tif) != 1) {
        return false;
    }
    TIFFClose(tif);
    file.tif = nullptr;
    return !messages.warned;
}

} // namespace lakra
