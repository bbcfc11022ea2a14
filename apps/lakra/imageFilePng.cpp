// PNG files read with libpng directly, so that the common PNG needs no image
// module. The picture and the records come out as OpenImageIO gives them for
// the same file (it reads through the same libpng), except the fields it
// decodes from an ICC profile's header, which no writer keeps. A file with
// anything this reader does not reproduce (Exif, XMP, chunks it does not
// know) or that libpng refuses is left to the module, which reads it, or
// says why not, as before.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <png.h>
#include <string_view>
#include <utility>
#include <vector>

namespace lakra {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The chunks that may come before the pixels. OpenImageIO reports what
// libpng makes of each, or nothing; any other chunk sends the file to it.
constexpr std::string_view kKnownChunks[] = {"IHDR", "PLTE", "tRNS", "gAMA", "sRGB", "cHRM",
                                             "bKGD", "sBIT", "pHYs", "tIME", "tEXt", "zTXt",
                                             "iTXt", "iCCP", "oFFs", "IDAT"};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool startsIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

uint32_t bigEndian32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
           uint32_t{bytes[3]};
}

// Walks the chunks up to the first IDAT: true when every one is known.
bool onlyKnownChunks(std::FILE* file) {
    uint8_t signature[8] = {};
    if (std::fread(signature, 1, sizeof signature, file) != sizeof signature ||
        std::memcmp(signature, kPngSignature, sizeof signature) != 0) {
        return false;
    }
    for (;;) {
        uint8_t header[8] = {};
        if (std::fread(header, 1, sizeof header, file) != sizeof header) {
            return false;
        }
        const std::string_view type(reinterpret_cast<const char*>(header + 4), 4);
        if (std::find(std::begin(kKnownChunks), std::end(kKnownChunks), type) ==
            std::end(kKnownChunks)) {
            return false;
        }
        if (type == "IDAT") {
            return true;
        }
        // The data and the CRC.
        const long skip = static_cast<long>(bigEndian32(header)) + 4;
        if (skip < 4 || std::fseek(file, skip, SEEK_CUR) != 0) {
            return false;
        }
    }
}

[[noreturn]] void stopOnError(png_structp png, png_const_charp /*message*/) {
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// Sets a record as OpenImageIO's attribute() does: a name already present
// keeps its place and takes the new value.
void setRecord(ImageMetadata* metadata, MetadataRecord record) {
    for (MetadataRecord& existing : metadata->records) {
        if (existing.name == record.name) {
            existing = std::move(record);
            return;
        }
    }
    metadata->records.push_back(std::move(record));
}

void setString(ImageMetadata* metadata, const std::string& name, const char* text) {
    MetadataRecord record{name, "string", 1, {}};
    record.bytes.assign(text, text + std::strlen(text) + 1);
    setRecord(metadata, std::move(record));
}

template <typename Value>
void setValue(ImageMetadata* metadata, const std::string& name, const char* type, Value value) {
    MetadataRecord record{name, type, 1, std::vector<uint8_t>(sizeof value)};
    std::memcpy(record.bytes.data(), &value, sizeof value);
    setRecord(metadata, std::move(record));
}

// The name OpenImageIO gives a text chunk's key, or "" for a key whose text
// it decodes (Exif, XMP) or that would stand for the ICC profile. (The keys
// it writes itself, "oiio:ColorSpace" or "Exif:ImageHistory", read back as
// text under their own names.)
std::string textRecordName(const char* key) {
    if (equalsIgnoringCase(key, "Description")) {
        return "ImageDescription";
    }
    if (equalsIgnoringCase(key, "Author")) {
        return "Artist";
    }
    if (equalsIgnoringCase(key, "Title")) {
        return "DocumentName";
    }
    if (startsIgnoringCase(key, "XML:") || startsIgnoringCase(key, "Raw profile") ||
        startsIgnoringCase(key, "ICCProfile")) {
        return "";
    }
    return key;
}

// The records OpenImageIO makes of the header, in its order. False for a file
// it reads differently.
bool headerRecords(png_structp png, png_infop info, ImageMetadata* metadata) {
    // sRGB unless a gamma without an sRGB chunk says otherwise.
    int intent = 0;
    double gamma = 0.0;
    const bool gammaOnly = png_get_sRGB(png, info, &intent) == 0 &&
                           png_get_gAMA(png, info, &gamma) != 0 && gamma > 0.0;
    if (gammaOnly) {
        // Rounded to hundredths: 2.2, not 2.19998.
        float exponent = static_cast<float>(1.0 / gamma);
        exponent = std::round(100.0f * exponent) / 100.0f;
        setValue(metadata, "oiio:Gamma", "float", exponent);
        char name[32] = {};
        (void)std::snprintf(name, sizeof name, "Gamma%.2g", static_cast<double>(exponent));
        setString(metadata, "oiio:ColorSpace", exponent == 1.0f ? "linear" : name);
    } else {
        setString(metadata, "oiio:ColorSpace", "sRGB");
    }
    if (png_get_valid(png, info, PNG_INFO_iCCP) != 0) {
        png_charp profileName = nullptr;
        png_bytep profile = nullptr;
        png_uint_32 profileBytes = 0;
        int compression = 0;
        png_get_iCCP(png, info, &profileName, &compression, &profile, &profileBytes);
        if (profileBytes != 0 && profile != nullptr) {
            setRecord(metadata, {"ICCProfile", "uint8[" + std::to_string(profileBytes) + "]", 1,
                                 std::vector<uint8_t>(profile, profile + profileBytes)});
        }
    }
    png_timep time = nullptr;
    if (png_get_tIME(png, info, &time) != 0 && time != nullptr) {
        char date[64] = {};
        (void)std::snprintf(date, sizeof date, "%4d:%02d:%02d %02d:%02d:%02d", time->year,
                            time->month, time->day, time->hour, time->minute, time->second);
        setString(metadata, "DateTime", date);
    }
    png_textp texts = nullptr;
    const int textCount = png_get_text(png, info, &texts, nullptr);
    for (int i = 0; i < textCount; ++i) {
        const std::string name = textRecordName(texts[i].key);
        if (name.empty()) {
            return false;
        }
        for (const MetadataRecord& record : metadata->records) {
            if (record.name != name && equalsIgnoringCase(record.name, name)) {
                return false; // names that differ in case only
            }
        }
        setString(metadata, name, texts[i].text != nullptr ? texts[i].text : "");
    }
    png_uint_32 xResolution = 0;
    png_uint_32 yResolution = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &xResolution, &yResolution, &unit) != 0) {
        // Per metre in the file, per inch in the records.
        float scale = 1.0f;
        if (unit == PNG_RESOLUTION_METER) {
            scale = static_cast<float>(2.54 / 100.0);
            setString(metadata, "ResolutionUnit", "inch");
        } else {
            setString(metadata, "ResolutionUnit", "none");
        }
        setValue(metadata, "XResolution", "float", static_cast<float>(xResolution) * scale);
        setValue(metadata, "YResolution", "float", static_cast<float>(yResolution) * scale);
    }
    const float aspect = png_get_pixel_aspect_ratio(png, info);
    if (aspect != 0.0f && aspect != 1.0f) {
        setValue(metadata, "PixelAspectRatio", "float", aspect);
    }
    setValue(metadata, "oiio:UnassociatedAlpha", "int", int32_t{1});
    return true;
}

// One decoding, its state where libpng's jump back cannot disturb it.
struct PngDecode {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    const std::string* path = nullptr;
    HostImage image;
    std::vector<png_bytep> rows;
};

// Everything that calls into libpng, under its jump back on errors.
bool decode(PngDecode* d) {
    if (setjmp(png_jmpbuf(d->png)) != 0) {
        return false;
    }
    png_init_io(d->png, d->file);
    png_read_info(d->png, d->info);
    // Palettes become RGB, fewer than 8 bits 8, transparency alpha;
    // 16-bit samples come in native order.
    png_set_expand(d->png);
    if (std::endian::native == std::endian::little) {
        png_set_swap(d->png);
    }
    (void)png_set_interlace_handling(d->png);
    png_read_update_info(d->png, d->info);
    const int channels = png_get_channels(d->png, d->info);
    const int32_t depth = png_get_bit_depth(d->png, d->info) == 16 ? 16 : 8;
    const int64_t width = png_get_image_width(d->png, d->info);
    const int64_t height = png_get_image_height(d->png, d->info);
    if (!checkImageShape(*d->path, "cannot read", width, height, channels, depth, nullptr) ||
        !headerRecords(d->png, d->info, &d->image.metadata)) {
        return false;
    }
    d->image.width = static_cast<int32_t>(width);
    d->image.height = static_cast<int32_t>(height);
    d->image.planes = channels;
    d->image.depth = depth;
    d->image.alpha = channels == 2 || channels == 4;
    if (png_get_rowbytes(d->png, d->info) != hostRowBytes(d->image) ||
        !allocatePixels(&d->image, *d->path, nullptr)) {
        return false;
    }
    d->rows.resize(static_cast<size_t>(height));
    for (size_t y = 0; y < d->rows.size(); ++y) {
        d->rows[y] = d->image.pixels.data() + y * hostRowBytes(d->image);
    }
    png_read_image(d->png, d->rows.data());
    png_read_end(d->png, nullptr);
    return true;
}

} // namespace

bool readImagePng(const std::string& path, HostImage* image) {
    PngDecode d;
    d.path = &path;
    d.file = std::fopen(path.c_str(), "rb");
    if (d.file == nullptr) {
        return false;
    }
    bool read = onlyKnownChunks(d.file) && std::fseek(d.file, 0, SEEK_SET) == 0;
    if (read) {
        d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, stopOnError, ignoreWarning);
        d.info = d.png != nullptr ? png_create_info_struct(d.png) : nullptr;
        read = d.info != nullptr && decode(&d);
    }
    if (d.png != nullptr) {
        png_destroy_read_struct(&d.png, d.info != nullptr ? &d.info : nullptr, nullptr);
    }
    (void)std::fclose(d.file);
    if (!read) {
        return false;
    }
    if (d.image.depth == 16) {
        for (size_t i = 0; i + 1 < d.image.pixels.size(); i += 2) {
            uint16_t sample = 0;
            std::memcpy(&sample, &d.image.pixels[i], 2);
            sample = hostFromFile16(sample);
            std::memcpy(&d.image.pixels[i], &sample, 2);
        }
    }
    d.image.metadata.formatName = "png";
    *image = std::move(d.image);
    return true;
}

} // namespace lakra
