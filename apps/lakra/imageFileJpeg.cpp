// JPEG files read and written with libjpeg-turbo directly, so that the
// common JPEG needs no image module.
//
// Reading, the pixels are those OpenImageIO decodes through the same
// libjpeg, turned upright by the Exif orientation; the records stay pending
// as the file's header, which the module parses only when someone asks for
// them (resolveMetadata). A file with anything this code does not follow
// (CMYK, arithmetic or lossless coding, an odd Exif block, an orientation in
// XMP, anything libjpeg warns about) is left to the module.
//
// Writing, the pixels are encoded byte for byte as OpenImageIO encodes them:
// the same encoder settings, and 16-bit and float samples brought to 8 bits
// with the same arithmetic. An image without metadata gets the same empty
// Exif block, so the whole file is the module's. An image read from a JPEG
// by the code here carries that file's metadata segments verbatim (the Exif
// edited where the pixels were turned or resized), which keeps more than the
// module's writer does. Anything else goes to the module.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

// libjpeg's header needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace lakra {

namespace {

// OpenImageIO's default quality.
constexpr int kJpegQuality = 98;

// The Exif block OpenImageIO writes for an image without Exif records: a
// little-endian TIFF header and an empty first directory.
constexpr uint8_t kEmptyExif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0,
                                  8,   0,   0,   0,   0, 0, 0,   0,   0,  0};

// The Exif block OpenImageIO writes for a JPEG read without one and with no
// other metadata it turns into Exif: the colour space sRGB, in an Exif
// directory with the version fields it adds.
constexpr uint8_t kSrgbExif[] = {
    'E', 'x', 'i', 'f', 0, 0,    'I',  'I', 42,  0,   8, 0,    0,   0,   1,   0,   0x69, 0x87,
    4,   0,   1,   0,   0, 0,    0x1A, 0,   0,   0,   0, 0,    0,   0,   4,   0,   0,    0x90,
    7,   0,   4,   0,   0, 0,    '0',  '2', '3', '0', 1, 0x91, 7,   0,   4,   0,   0,    0,
    1,   2,   3,   0,   0, 0xA0, 7,    0,   4,   0,   0, 0,    '0', '1', '0', '0', 1,    0xA0,
    3,   0,   1,   0,   0, 0,    1,    0,   0,   0,   0, 0,    0,   0};

// libjpeg's errors jump back here instead of ending the process.
struct JpegErrors {
    jpeg_error_mgr manager = {};
    std::jmp_buf jump = {};
};

[[noreturn]] void jumpOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void ignoreMessage(j_common_ptr /*info*/) {}

// One encoding, its state where the jump back cannot disturb it.
struct JpegEncode {
    std::FILE* file = nullptr;
    jpeg_compress_struct info = {};
    JpegErrors errors;
    const HostImage* image = nullptr;
    int32_t channels = 0;
    // The JFIF density, and the segments written after the JFIF header.
    uint8_t densityUnit = 0;
    uint16_t xDensity = 1;
    uint16_t yDensity = 1;
    std::vector<std::pair<int, std::vector<uint8_t>>> segments;
    std::vector<float> unit; // a row of samples on 0..1, for 16 bits and floats
    std::vector<uint8_t> row;
};

// A float sample to 8 bits as OpenImageIO converts a run of samples: four at
// a time rounded half away from zero, the rest of the run with half added and
// the fraction dropped; clipped to 0..255, NaN as 0.
uint8_t roundedInRun(float value, bool inGroupOfFour) {
    float scaled = value * 255.0f;
    scaled = inGroupOfFour ? std::round(scaled) : scaled + (scaled < 0.0f ? -0.5f : 0.5f);
    if (!(scaled >= 0.0f)) {
        return 0;
    }
    return static_cast<uint8_t>(scaled > 255.0f ? 255.0f : scaled);
}

void eightBitsFromRun(const float* run, size_t count, uint8_t* out) {
    const size_t grouped = count / 4 * 4;
    for (size_t i = 0; i < count; ++i) {
        out[i] = roundedInRun(run[i], i < grouped);
    }
}

// A row of samples as OpenImageIO brings it to 8 bits: cut into two runs per
// thread, each converted alone.
void eightBitsFromRow(const float* row, size_t count, uint8_t* out) {
    static const size_t workers = oiioWorkers();
    const size_t run = std::max<size_t>(1, count / (2 * workers));
    for (size_t start = 0; start < count; start += run) {
        eightBitsFromRun(row + start, std::min(run, count - start), out + start);
    }
}

// Row y of the image as the encoder takes it: the first `channels` planes at
// 8 bits. OpenImageIO takes the rows one at a time, packs them (stepping over
// a dropped alpha), turns 16-bit samples (the module hands them on the
// file's scale) into floats and floats into 8 bits.
const uint8_t* encoderRow(JpegEncode* e, int32_t y) {
    const HostImage& image = *e->image;
    const auto width = static_cast<size_t>(image.width);
    const auto planes = static_cast<size_t>(image.planes);
    const auto channels = static_cast<size_t>(e->channels);
    const uint8_t* row = image.pixels.data() + static_cast<size_t>(y) * hostRowBytes(image);
    if (image.depth == 8) {
        if (channels == planes) {
            return row;
        }
        for (size_t x = 0; x < width; ++x) {
            std::memcpy(&e->row[x * channels], row + x * planes, channels);
        }
        return e->row.data();
    }
    for (size_t x = 0; x < width; ++x) {
        for (size_t c = 0; c < channels; ++c) {
            const uint8_t* sample = row + (x * planes + c) * static_cast<size_t>(image.depth / 8);
            float value = 0.0f;
            if (image.depth == 16) {
                uint16_t host = 0;
                std::memcpy(&host, sample, sizeof host);
                value = static_cast<float>(fileFromHost16(host)) * (1.0f / 65535.0f);
            } else {
                std::memcpy(&value, sample, sizeof value);
            }
            e->unit[x * channels + c] = value;
        }
    }
    eightBitsFromRow(e->unit.data(), width * channels, e->row.data());
    return e->row.data();
}

bool encode(JpegEncode* e) {
    if (setjmp(e->errors.jump) != 0) {
        return false;
    }
    const HostImage& image = *e->image;
    jpeg_create_compress(&e->info);
    jpeg_stdio_dest(&e->info, e->file);
    e->info.image_width = static_cast<JDIMENSION>(image.width);
    e->info.image_height = static_cast<JDIMENSION>(image.height);
    e->info.input_components = e->channels;
    e->info.in_color_space = e->channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&e->info);
    jpeg_set_quality(&e->info, kJpegQuality, TRUE);
    e->info.density_unit = e->densityUnit;
    e->info.X_density = e->xDensity;
    e->info.Y_density = e->yDensity;
    jpeg_start_compress(&e->info, TRUE);
    for (const auto& [marker, bytes] : e->segments) {
        jpeg_write_marker(&e->info, marker, bytes.data(), static_cast<unsigned int>(bytes.size()));
    }
    const size_t rowSamples = static_cast<size_t>(image.width) * static_cast<size_t>(e->channels);
    e->row.resize(rowSamples);
    e->unit.resize(rowSamples);
    for (int32_t y = 0; y < image.height; ++y) {
        auto* row = const_cast<JSAMPLE*>(encoderRow(e, y));
        (void)jpeg_write_scanlines(&e->info, &row, 1);
    }
    jpeg_finish_compress(&e->info);
    return true;
}

// Records the module's writer leaves out of a JPEG: those that describe the
// old file's encoding.
bool writesNoRecords(const HostImage& image) {
    for (const MetadataRecord& record : image.metadata.records) {
        if (!describesEncoding(record.name)) {
            return false;
        }
    }
    return true;
}

// The pieces of a JPEG file before its first scan.
struct JpegHeader {
    size_t end = 0;                                  // just past the first scan's header
    std::vector<std::pair<size_t, size_t>> segments; // APPn and COM: marker offset, bytes in all
    int orientation = 1;
};

uint16_t bigEndian16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

// A TIFF structure (an Exif block's body) read with bounds checks.
struct TiffView {
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool little = true;

    bool read16(size_t at, uint16_t* value) const {
        if (at > size || size - at < 2) {
            return false;
        }
        *value =
            little ? static_cast<uint16_t>(data[at] | data[at + 1] << 8) : bigEndian16(data + at);
        return true;
    }

    bool read32(size_t at, uint32_t* value) const {
        uint16_t first = 0;
        uint16_t second = 0;
        if (!read16(at, &first) || !read16(at + 2, &second)) {
            return false;
        }
        *value = little ? uint32_t{second} << 16 | first : uint32_t{first} << 16 | second;
        return true;
    }
};

// The same, writable: values go in the structure's byte order.
struct TiffEdit {
    TiffView view;
    uint8_t* data = nullptr;

    bool write16(size_t at, uint16_t value) const {
        uint16_t old = 0;
        if (!view.read16(at, &old)) {
            return false;
        }
        data[at + (view.little ? 0 : 1)] = static_cast<uint8_t>(value & 0xFF);
        data[at + (view.little ? 1 : 0)] = static_cast<uint8_t>(value >> 8);
        return true;
    }

    bool write32(size_t at, uint32_t value) const {
        const auto low = static_cast<uint16_t>(value & 0xFFFF);
        const auto high = static_cast<uint16_t>(value >> 16);
        return write16(at, view.little ? low : high) && write16(at + 2, view.little ? high : low);
    }
};

// The signatures of the Exif and XMP segments; sizeof counts their closing 0.
constexpr char kExifSignature[] = "Exif\0";
constexpr char kXmpSignature[] = "http://ns.adobe.com/xap/1.0/";

bool startsWith(const uint8_t* bytes, size_t size, const char* text, size_t length) {
    return size >= length && std::memcmp(bytes, text, length) == 0;
}

// A TIFF body's header: its byte order and first directory.
bool openTiff(const uint8_t* data, size_t size, TiffView* tiff, uint32_t* firstDirectory) {
    if (size < 8 || !((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'))) {
        return false;
    }
    *tiff = {data, size, data[0] == 'I'};
    uint16_t magic = 0;
    return tiff->read16(2, &magic) && magic == 42 && tiff->read32(4, firstDirectory);
}

// The orientation in an Exif block's first directory: 1 when it has none.
// False for a block whose first directory does not read cleanly, or an
// orientation that is not one short of 1..8.
bool exifOrientation(const uint8_t* body, size_t size, int* orientation) {
    TiffView tiff;
    uint32_t directory = 0;
    uint16_t entries = 0;
    if (!openTiff(body, size, &tiff, &directory) || !tiff.read16(directory, &entries)) {
        return false;
    }
    *orientation = 1;
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = directory + 2 + size_t{12} * i;
        uint16_t tag = 0;
        uint16_t type = 0;
        uint32_t count = 0;
        uint16_t value = 0;
        if (!tiff.read16(entry, &tag) || !tiff.read16(entry + 2, &type) ||
            !tiff.read32(entry + 4, &count) || !tiff.read16(entry + 8, &value)) {
            return false;
        }
        if (tag == 0x0112) {
            if (type != 3 || count != 1 || value < 1 || value > 8) {
                return false;
            }
            *orientation = value;
        }
    }
    return true;
}

// Walks the segments up to the first scan: false for a file that does not
// walk cleanly, a frame other than Huffman-coded DCT, more than one Exif
// block, an Exif block whose orientation does not read, or XMP that speaks
// of orientation.
bool walkHeader(const std::vector<uint8_t>& file, JpegHeader* header) {
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) {
        return false;
    }
    bool haveExif = false;
    size_t at = 2;
    for (;;) {
        while (at + 1 < file.size() && file[at] == 0xFF && file[at + 1] == 0xFF) {
            ++at; // fill bytes
        }
        if (at + 4 > file.size() || file[at] != 0xFF) {
            return false;
        }
        const uint8_t marker = file[at + 1];
        const size_t length = bigEndian16(&file[at + 2]);
        if (length < 2 || file.size() - at - 2 < length) {
            return false;
        }
        const uint8_t* body = &file[at + 4];
        const size_t bodySize = length - 2;
        const bool isFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (isFrame && marker > 0xC2) {
            return false; // lossless, hierarchical or arithmetic coding
        }
        if (marker == 0xD8 || marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD7) ||
            marker == 0x01) {
            return false;
        }
        if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE) {
            header->segments.emplace_back(at, length + 2);
        }
        if (marker == 0xE1 && startsWith(body, bodySize, kExifSignature, sizeof kExifSignature)) {
            if (haveExif || !exifOrientation(body + 6, bodySize - 6, &header->orientation)) {
                return false;
            }
            haveExif = true;
        }
        if (marker == 0xE1 && startsWith(body, bodySize, kXmpSignature, sizeof kXmpSignature)) {
            const std::string_view packet(reinterpret_cast<const char*>(body), bodySize);
            if (packet.find("Orientation") != std::string_view::npos) {
                return false;
            }
        }
        at += 2 + length;
        if (marker == 0xDA) {
            header->end = at;
            return true;
        }
    }
}

// TIFF field types.
constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint16_t kRational = 5;
constexpr uint16_t kIfd = 13;

// One directory entry's fields; `at` is the entry's offset.
struct TiffEntry {
    size_t at = 0;
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint32_t value = 0; // the value, or its offset (a short in the first two bytes' order)
};

// The entries of the directory at `offset`, each in bounds.
bool readDirectory(const TiffView& tiff, uint32_t offset, std::vector<TiffEntry>* entries) {
    uint16_t count = 0;
    if (!tiff.read16(offset, &count)) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        TiffEntry entry;
        entry.at = offset + 2 + size_t{12} * i;
        if (!tiff.read16(entry.at, &entry.tag) || !tiff.read16(entry.at + 2, &entry.type) ||
            !tiff.read32(entry.at + 4, &entry.count) || !tiff.read32(entry.at + 8, &entry.value)) {
            return false;
        }
        entries->push_back(entry);
    }
    return true;
}

const TiffEntry* findEntry(const std::vector<TiffEntry>& entries, uint16_t tag) {
    for (const TiffEntry& entry : entries) {
        if (entry.tag == tag) {
            return &entry;
        }
    }
    return nullptr;
}

// A resolution entry's value when it is a whole number of one rational.
bool wholeResolution(const TiffView& tiff, const TiffEntry& entry, uint32_t* value) {
    uint32_t numerator = 0;
    uint32_t denominator = 0;
    if (entry.type != kRational || entry.count != 1 || !tiff.read32(entry.value, &numerator) ||
        !tiff.read32(entry.value + 4, &denominator) || denominator == 0 ||
        numerator % denominator != 0) {
        return false;
    }
    *value = numerator / denominator;
    return true;
}

// The density the module writes for a header: the JFIF density, or without
// JFIF the Exif resolution with no unit (1:1 without either). False where
// the two disagree, or where the sides differ (the module then derives an
// aspect ratio).
bool densityOf(const uint8_t* jfif, size_t jfifBytes, const TiffView* exif,
               const std::vector<TiffEntry>& directory, JpegEncode* e) {
    const TiffEntry* xEntry = findEntry(directory, 0x011A);
    const TiffEntry* yEntry = findEntry(directory, 0x011B);
    uint32_t exifX = 0;
    uint32_t exifY = 0;
    const bool haveExif = xEntry != nullptr || yEntry != nullptr;
    if (haveExif &&
        (exif == nullptr || xEntry == nullptr || yEntry == nullptr ||
         !wholeResolution(*exif, *xEntry, &exifX) || !wholeResolution(*exif, *yEntry, &exifY))) {
        return false;
    }
    if (jfif != nullptr) {
        if (jfifBytes < 12 || jfif[7] > 2) {
            return false;
        }
        e->densityUnit = jfif[7];
        e->xDensity = bigEndian16(jfif + 8);
        e->yDensity = bigEndian16(jfif + 10);
        if (haveExif && (exifX != e->xDensity || exifY != e->yDensity)) {
            return false;
        }
    } else if (haveExif) {
        if (exifX > 0xFFFF || exifY > 0xFFFF) {
            return false;
        }
        e->xDensity = static_cast<uint16_t>(exifX);
        e->yDensity = static_cast<uint16_t>(exifY);
    }
    return e->xDensity == e->yDensity && e->xDensity != 0;
}

// The Exif block as the written file carries it: the orientation reset to 1
// when the reader applied one, the resolutions swapped after a quarter
// turn, and the pixel dimensions those written. False for anything that does
// not read cleanly or does not fit.
bool editExif(uint8_t* body, size_t size, int orientation, const HostImage& image,
              std::vector<TiffEntry>* directory) {
    TiffEdit edit;
    uint32_t first = 0;
    if (!openTiff(body, size, &edit.view, &first) || !readDirectory(edit.view, first, directory)) {
        return false;
    }
    edit.data = body;
    const TiffEntry* turn = findEntry(*directory, 0x0112);
    if (orientation >= 2 && (turn == nullptr || !edit.write16(turn->at + 8, 1))) {
        return false;
    }
    const TiffEntry* xEntry = findEntry(*directory, 0x011A);
    const TiffEntry* yEntry = findEntry(*directory, 0x011B);
    if (orientation >= 5 && (xEntry != nullptr || yEntry != nullptr)) {
        if (xEntry == nullptr || yEntry == nullptr || xEntry->type != yEntry->type ||
            xEntry->count != yEntry->count || !edit.write32(xEntry->at + 8, yEntry->value) ||
            !edit.write32(yEntry->at + 8, xEntry->value)) {
            return false;
        }
    }
    const TiffEntry* exifPointer = findEntry(*directory, 0x8769);
    if (exifPointer == nullptr) {
        return true;
    }
    std::vector<TiffEntry> exifDirectory;
    if ((exifPointer->type != kLong && exifPointer->type != kIfd) || exifPointer->count != 1 ||
        !readDirectory(edit.view, exifPointer->value, &exifDirectory)) {
        return false;
    }
    const std::pair<uint16_t, int32_t> dimensions[] = {{0xA002, image.width},
                                                       {0xA003, image.height}};
    for (const auto& [tag, written] : dimensions) {
        const TiffEntry* entry = findEntry(exifDirectory, tag);
        if (entry == nullptr) {
            continue;
        }
        const auto value = static_cast<uint32_t>(written);
        const bool fits =
            entry->count == 1 && ((entry->type == kShort && value <= 0xFFFF &&
                                   edit.write16(entry->at + 8, static_cast<uint16_t>(value))) ||
                                  (entry->type == kLong && edit.write32(entry->at + 8, value)));
        if (!fits) {
            return false;
        }
    }
    return true;
}

// The segments a JPEG written from a pending header carries: its Exif (as
// edited), XMP, ICC profile chunks, IPTC (APP13) and comments, in the
// header's order, and its density. False, with `e` half set, for a header
// the module should write from records instead.
bool carriedSegments(const ImageMetadata& metadata, const HostImage& image, JpegEncode* e) {
    JpegHeader header;
    if (!walkHeader(metadata.pendingJpegHeader, &header) ||
        header.orientation != metadata.pendingOrientation) {
        return false;
    }
    static constexpr char kIcc[] = "ICC_PROFILE"; // and a 0
    const uint8_t* jfif = nullptr;
    size_t jfifBytes = 0;
    const uint8_t* exif = nullptr;
    std::vector<TiffEntry> directory;
    TiffView exifView;
    for (const auto& [at, bytes] : header.segments) {
        const uint8_t marker = metadata.pendingJpegHeader[at + 1];
        const uint8_t* body = &metadata.pendingJpegHeader[at + 4];
        const size_t size = bytes - 4;
        std::vector<uint8_t> copy(body, body + size);
        if (marker == 0xE0 && startsWith(body, size, "JFIF", 5)) {
            jfif = body;
            jfifBytes = size;
            continue;
        }
        if (marker == 0xE1 && startsWith(body, size, kExifSignature, sizeof kExifSignature)) {
            if (!editExif(copy.data() + 6, size - 6, metadata.pendingOrientation, image,
                          &directory)) {
                return false;
            }
            // The resolutions are read from the file's own block; a quarter
            // turn swaps them, and they must be equal anyway.
            exif = body;
            uint32_t first = 0;
            (void)openTiff(body + 6, size - 6, &exifView, &first); // opened once already
        } else if (!(marker == 0xE1 &&
                     startsWith(body, size, kXmpSignature, sizeof kXmpSignature)) &&
                   !(marker == 0xE2 && startsWith(body, size, kIcc, sizeof kIcc)) &&
                   marker != 0xED && marker != 0xFE) {
            continue; // the module keeps no other segment
        }
        e->segments.emplace_back(marker, std::move(copy));
    }
    if (exif == nullptr) {
        // Comments, XMP and IPTC would go into the Exif the module writes.
        for (const auto& [marker, bytes] : e->segments) {
            if (marker != JPEG_APP0 + 2) {
                return false;
            }
        }
        e->segments.insert(
            e->segments.begin(),
            {JPEG_APP0 + 1, std::vector<uint8_t>(std::begin(kSrgbExif), std::end(kSrgbExif))});
    }
    return densityOf(jfif, jfifBytes, exif != nullptr ? &exifView : nullptr, directory, e);
}

// One decoding, its state where the jump back cannot disturb it.
struct JpegDecode {
    jpeg_decompress_struct info = {};
    JpegErrors errors;
    const std::vector<uint8_t>* file = nullptr;
    const std::string* path = nullptr;
    HostImage image;
};

bool decode(JpegDecode* d) {
    if (setjmp(d->errors.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&d->info);
    jpeg_mem_src(&d->info, d->file->data(), static_cast<unsigned long>(d->file->size()));
    if (jpeg_read_header(&d->info, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    const J_COLOR_SPACE space = d->info.jpeg_color_space;
    const int components = d->info.num_components;
    if (space == JCS_GRAYSCALE && components == 1) {
        d->info.out_color_space = JCS_GRAYSCALE;
    } else if ((space == JCS_YCbCr || space == JCS_RGB) && components == 3) {
        d->info.out_color_space = JCS_RGB;
    } else {
        return false; // CMYK, YCCK and the like: the module's
    }
    const int64_t width = d->info.image_width;
    const int64_t height = d->info.image_height;
    const int channels = components;
    if (!checkImageShape(*d->path, "cannot read", width, height, channels, 8, nullptr) ||
        !checkImageShape(*d->path, "cannot read", height, width, channels, 8, nullptr)) {
        return false;
    }
    d->image.width = static_cast<int32_t>(width);
    d->image.height = static_cast<int32_t>(height);
    d->image.planes = channels;
    d->image.depth = 8;
    if (!allocatePixels(&d->image, *d->path, nullptr)) {
        return false;
    }
    (void)jpeg_start_decompress(&d->info);
    if (d->info.output_components != channels) {
        return false;
    }
    const size_t rowBytes = hostRowBytes(d->image);
    while (d->info.output_scanline < d->info.output_height) {
        JSAMPROW row = d->image.pixels.data() + d->info.output_scanline * rowBytes;
        if (jpeg_read_scanlines(&d->info, &row, 1) != 1) {
            return false;
        }
    }
    (void)jpeg_finish_decompress(&d->info);
    return d->errors.manager.num_warnings == 0;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    bool read = std::fseek(file, 0, SEEK_END) == 0;
    const long size = read ? std::ftell(file) : -1;
    read = size > 0 && std::fseek(file, 0, SEEK_SET) == 0;
    if (read) {
        bytes->resize(static_cast<size_t>(size));
        read = std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
    }
    (void)std::fclose(file);
    return read;
}

} // namespace

bool readImageJpeg(const std::string& path, HostImage* image) {
    std::vector<uint8_t> file;
    JpegHeader header;
    if (!readWholeFile(path, &file) || !walkHeader(file, &header)) {
        return false;
    }
    JpegDecode d;
    d.file = &file;
    d.path = &path;
    d.info.err = jpeg_std_error(&d.errors.manager);
    d.errors.manager.error_exit = jumpOnError;
    d.errors.manager.output_message = ignoreMessage;
    const bool decoded = decode(&d);
    jpeg_destroy_decompress(&d.info);
    if (!decoded || (header.orientation >= 2 &&
                     !applyOrientation(header.orientation, &d.image, path, nullptr))) {
        return false;
    }
    d.image.metadata.formatName = "jpeg";
    d.image.metadata.pendingJpegHeader.assign(file.begin(),
                                              file.begin() + static_cast<ptrdiff_t>(header.end));
    d.image.metadata.pendingJpegHeader.push_back(0xFF);
    d.image.metadata.pendingJpegHeader.push_back(0xD9);
    d.image.metadata.pendingOrientation = header.orientation;
    *image = std::move(d.image);
    return true;
}

bool writeJpegFile(const std::string& ioPath, const HostImage& image) {
    if (image.width > kMaxJpegSide || image.height > kMaxJpegSide) {
        return false;
    }
    JpegEncode e;
    if (!image.metadata.pendingJpegHeader.empty()) {
        if (!carriedSegments(image.metadata, image, &e)) {
            return false;
        }
    } else if (writesNoRecords(image)) {
        e.segments.emplace_back(JPEG_APP0 + 1,
                                std::vector<uint8_t>(std::begin(kEmptyExif), std::end(kEmptyExif)));
    } else {
        return false;
    }
    e.image = &image;
    e.channels = image.planes - (image.alpha ? 1 : 0);
    e.file = std::fopen(ioPath.c_str(), "wb");
    if (e.file == nullptr) {
        return false;
    }
    e.info.err = jpeg_std_error(&e.errors.manager);
    e.errors.manager.error_exit = jumpOnError;
    e.errors.manager.output_message = ignoreMessage;
    bool written = encode(&e);
    jpeg_destroy_compress(&e.info);
    written = std::fclose(e.file) == 0 && written;
    return written;
}

} // namespace lakra
