// PNG files read and written with libpng directly, so that the common PNG
// needs no image module. Reading, the picture and the records come out as
// OpenImageIO gives them for the same file (it reads through the same
// libpng), except the fields it decodes from an ICC profile's header, which
// no writer keeps; writing, the file is byte for byte the one OpenImageIO
// writes, through the same libpng calls. A file or an image with anything
// this code does not reproduce (Exif, XMP, chunks it does not know, floats,
// metadata of other kinds) or that libpng refuses is left to the module,
// which handles it, or says why not, as before.

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
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <zlib.h>

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

// One encoding, its state where libpng's jump back cannot disturb it.
struct PngEncode {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    const HostImage* image = nullptr;
    std::vector<png_text> texts;
    std::vector<std::string> keys; // the texts' keys, as renamed
    std::vector<uint8_t> row;
};

// A record's string, when it is one well-formed string.
const char* stringOf(const MetadataRecord& record) {
    if (record.type != "string" || record.valueCount != 1 || record.bytes.empty() ||
        record.bytes.back() != 0 ||
        std::find(record.bytes.begin(), record.bytes.end() - 1, uint8_t{0}) !=
            record.bytes.end() - 1) {
        return nullptr;
    }
    return reinterpret_cast<const char*>(record.bytes.data());
}

bool floatOf(const MetadataRecord& record, float* value) {
    if (record.type != "float" || record.valueCount != 1 || record.bytes.size() != sizeof *value) {
        return false;
    }
    std::memcpy(value, record.bytes.data(), sizeof *value);
    return true;
}

// A key libpng writes as given: 1 to 79 printable characters, no spaces at
// either end or two in a row.
bool plainKeyword(const std::string& key) {
    if (key.empty() || key.size() > 79 || key.front() == ' ' || key.back() == ' ' ||
        key.find("  ") != std::string::npos) {
        return false;
    }
    return std::all_of(key.begin(), key.end(), [](char c) { return c >= 32 && c <= 126; });
}

// "YYYY:MM:DD hh:mm:ss", each field in its range.
bool parseDateTime(const char* text, png_time* time) {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int end = 0;
    if (std::strlen(text) != 19 ||
        std::sscanf(text, "%4d:%2d:%2d %2d:%2d:%2d%n", &year, &month, &day, &hour, &minute, &second,
                    &end) != 6 ||
        end != 19 || text[4] != ':' || text[7] != ':' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':' || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 59 || year < 1 || hour < 0 || minute < 0 || second < 0) {
        return false;
    }
    time->year = static_cast<png_uint_16>(year);
    time->month = static_cast<png_byte>(month);
    time->day = static_cast<png_byte>(day);
    time->hour = static_cast<png_byte>(hour);
    time->minute = static_cast<png_byte>(minute);
    time->second = static_cast<png_byte>(second);
    return true;
}

// What OpenImageIO's PNG writer makes of the records: the colour space's
// chunks, the ICC profile, the resolution, the time and one text chunk per
// string, in the records' order. False for records it treats otherwise.
struct PngHeader {
    const char* colourSpace = nullptr;
    const MetadataRecord* profile = nullptr;
    bool haveGamma = false;
    float gamma = 1.0f;
    const char* unit = nullptr;
    float xResolution = 0.0f;
    float yResolution = 0.0f;
    float aspect = 0.0f;
    bool haveTime = false;
    png_time time = {};
    std::vector<std::pair<std::string, const char*>> texts;
};

// The ICC profile, the gamma and the resolutions, which the writer takes as
// values. False when `record` is none of them; `*malformed` when it is one
// in a shape the writer does not take.
bool valueRecord(const MetadataRecord& record, PngHeader* header, bool* malformed) {
    const std::string& name = record.name;
    if (name == "ICCProfile") {
        header->profile = &record;
        *malformed = record.valueCount != 1 || record.bytes.empty() ||
                     record.type != "uint8[" + std::to_string(record.bytes.size()) + "]";
        return true;
    }
    float* value = name == "oiio:Gamma"         ? &header->gamma
                   : name == "XResolution"      ? &header->xResolution
                   : name == "YResolution"      ? &header->yResolution
                   : name == "PixelAspectRatio" ? &header->aspect
                                                : nullptr;
    if (value == nullptr) {
        return false;
    }
    *malformed = !floatOf(record, value);
    header->haveGamma = header->haveGamma || name == "oiio:Gamma";
    return true;
}

// The key of a string record's text chunk: PNG's own names for the author,
// title and description. False for a name OpenImageIO treats otherwise (one
// of those spelt in other letter cases, or one libpng would change).
bool textKey(const std::string& name, std::string* key) {
    static constexpr std::pair<std::string_view, std::string_view> kRenamed[] = {
        {"Artist", "Author"}, {"DocumentName", "Title"}, {"ImageDescription", "Description"}};
    static constexpr std::string_view kSpecial[] = {"planarconfig", "compression", "ResolutionUnit",
                                                    "XResolution",  "YResolution", "DateTime",
                                                    "name",         "description"};
    *key = name;
    for (const auto& [from, to] : kRenamed) {
        if (name == from) {
            *key = to;
        } else if (equalsIgnoringCase(name, from)) {
            return false;
        }
    }
    for (const std::string_view special : kSpecial) {
        if (equalsIgnoringCase(name, special)) {
            return false;
        }
    }
    return plainKeyword(*key);
}

bool headerFromRecords(const HostImage& image, PngHeader* header) {
    for (const MetadataRecord& record : image.metadata.records) {
        if (describesEncoding(record.name)) {
            continue;
        }
        bool malformed = false;
        if (valueRecord(record, header, &malformed)) {
            if (malformed) {
                return false;
            }
            continue;
        }
        const char* text = stringOf(record);
        if (text == nullptr) {
            return false; // Exif numbers, lists: the module's
        }
        if (record.name == "ResolutionUnit") {
            header->unit = text;
            continue;
        }
        if (record.name == "DateTime") {
            if (!parseDateTime(text, &header->time)) {
                return false;
            }
            header->haveTime = true;
            continue;
        }
        if (record.name == "oiio:ColorSpace") {
            header->colourSpace = text;
        }
        std::string key;
        if (!textKey(record.name, &key)) {
            return false;
        }
        header->texts.emplace_back(key, text);
    }
    return true;
}

// The gamma OpenImageIO writes for its colour space name, or false for a name
// it reads otherwise. Unnamed spaces write no gamma.
bool gammaForColourSpace(const PngHeader& header, bool* srgb, double* gamma) {
    *srgb = false;
    *gamma = 0.0;
    if (header.colourSpace == nullptr) {
        return true;
    }
    const std::string_view name = header.colourSpace;
    if (equalsIgnoringCase(name, "Linear")) {
        *gamma = 1.0;
        return true;
    }
    if (startsIgnoringCase(name, "Gamma")) {
        // "Gamma2.2": the number, where it is a plain one.
        const std::string number(name.substr(5));
        char* end = nullptr;
        const float parsed = std::strtof(number.c_str(), &end);
        if (number.empty() || end != number.c_str() + number.size() ||
            number.find_first_not_of("0123456789.") != std::string::npos) {
            return false;
        }
        float exponent = header.haveGamma ? header.gamma : 1.0f;
        if (parsed >= 0.01f && parsed <= 10.0f) {
            exponent = parsed;
        }
        *gamma = static_cast<double>(1.0f / exponent);
        return true;
    }
    *srgb = equalsIgnoringCase(name, "sRGB");
    return true;
}

// The resolution chunk as OpenImageIO derives it from the records.
void setResolution(png_structp png, png_infop info, const PngHeader& header) {
    const std::string_view unitName = header.unit != nullptr ? header.unit : "";
    float xResolution = header.xResolution;
    float yResolution = header.yResolution;
    const float aspect = header.aspect;
    if (xResolution == 0.0f && yResolution == 0.0f && aspect == 0.0f && unitName.empty()) {
        return;
    }
    int unit = PNG_RESOLUTION_UNKNOWN;
    float scale = 1.0f;
    if (equalsIgnoringCase(unitName, "meter") || equalsIgnoringCase(unitName, "m")) {
        unit = PNG_RESOLUTION_METER;
    } else if (equalsIgnoringCase(unitName, "cm")) {
        unit = PNG_RESOLUTION_METER;
        scale = 100.0f;
    } else if (equalsIgnoringCase(unitName, "inch") || equalsIgnoringCase(unitName, "in")) {
        unit = PNG_RESOLUTION_METER;
        scale = static_cast<float>(100.0 / 2.54);
    }
    if (aspect != 0.0f) {
        // An aspect ratio replaces one of the two resolutions.
        if (xResolution != 0.0f) {
            yResolution = 0.0f;
        } else {
            xResolution = 0.0f;
        }
    }
    const float ratio = aspect != 0.0f ? aspect : 1.0f;
    if (xResolution == 0.0f && yResolution == 0.0f) {
        xResolution = 100.0f;
        yResolution = xResolution * ratio;
    } else if (xResolution == 0.0f) {
        xResolution = yResolution / ratio;
    } else if (yResolution == 0.0f) {
        yResolution = xResolution * ratio;
    }
    png_set_pHYs(png, info, static_cast<png_uint_32>(xResolution * scale),
                 static_cast<png_uint_32>(yResolution * scale), unit);
}

bool encode(PngEncode* e, const PngHeader& header) {
    if (setjmp(png_jmpbuf(e->png)) != 0) {
        return false;
    }
    const HostImage& image = *e->image;
    png_init_io(e->png, e->file);
    png_set_compression_level(e->png, 6);
    png_set_compression_strategy(e->png, Z_DEFAULT_STRATEGY);
    static constexpr int kColourTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                           PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(e->png, e->info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), image.depth,
                 kColourTypes[image.planes - 1], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_oFFs(e->png, e->info, 0, 0, PNG_OFFSET_PIXEL);
    bool srgb = false;
    double gamma = 0.0;
    (void)gammaForColourSpace(header, &srgb, &gamma); // checked before
    if (srgb) {
        png_set_sRGB_gAMA_and_cHRM(e->png, e->info, PNG_sRGB_INTENT_ABSOLUTE);
    } else if (gamma != 0.0) {
        png_set_gAMA(e->png, e->info, gamma);
    }
    if (header.profile != nullptr) {
        png_set_iCCP(e->png, e->info, "Embedded Profile", 0, header.profile->bytes.data(),
                     static_cast<png_uint_32>(header.profile->bytes.size()));
    }
    setResolution(e->png, e->info, header);
    if (header.haveTime) {
        png_set_tIME(e->png, e->info, &header.time);
    }
    for (const auto& [key, text] : header.texts) {
        png_text chunk = {};
        chunk.compression = PNG_TEXT_COMPRESSION_NONE;
        chunk.key = const_cast<png_charp>(key.c_str());
        chunk.text = const_cast<png_charp>(text);
        e->texts.push_back(chunk);
    }
    if (!e->texts.empty()) {
        png_set_text(e->png, e->info, e->texts.data(), static_cast<int>(e->texts.size()));
    }
    png_write_info(e->png, e->info);
    // 16-bit rows: the host's samples on the file's scale, big-endian.
    const size_t rowBytes = hostRowBytes(image);
    e->row.resize(rowBytes);
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = image.pixels.data() + static_cast<size_t>(y) * rowBytes;
        if (image.depth == 16) {
            for (size_t i = 0; i + 1 < rowBytes; i += 2) {
                uint16_t host = 0;
                std::memcpy(&host, row + i, 2);
                const uint16_t file = fileFromHost16(host);
                e->row[i] = static_cast<uint8_t>(file >> 8);
                e->row[i + 1] = static_cast<uint8_t>(file & 0xFF);
            }
            row = e->row.data();
        }
        png_write_row(e->png, row);
    }
    png_write_end(e->png, e->info);
    return true;
}

} // namespace

bool writePngFile(const std::string& ioPath, const HostImage& image) {
    PngHeader header;
    bool srgb = false;
    double gamma = 0.0;
    if ((image.depth != 8 && image.depth != 16) || !headerFromRecords(image, &header) ||
        !gammaForColourSpace(header, &srgb, &gamma)) {
        return false;
    }
    PngEncode e;
    e.image = &image;
    e.file = std::fopen(ioPath.c_str(), "wb");
    if (e.file == nullptr) {
        return false;
    }
    e.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, stopOnError, ignoreWarning);
    e.info = e.png != nullptr ? png_create_info_struct(e.png) : nullptr;
    bool written = e.info != nullptr && encode(&e, header);
    if (e.png != nullptr) {
        png_destroy_write_struct(&e.png, e.info != nullptr ? &e.info : nullptr);
    }
    written = std::fclose(e.file) == 0 && written;
    return written;
}

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
