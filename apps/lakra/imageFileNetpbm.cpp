// The netpbm family: PGM/PPM (P5, P6), PAM (P7) and PFM (PF, Pf). The only
// formats of the Windows build, and a second reader natively. Headers come
// from files of unknown origin: every number is bounded, and the pixel data
// the header promises must be in the file before anything is allocated.

#include "apps/lakra/hostSample.h"
#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string_view>

namespace lakra {

namespace {

// Headers are a few dozen bytes; PAM allows comment lines, so leave room.
constexpr size_t kMaxHeaderBytes = size_t{64} * 1024;
// Larger numbers saturate here while parsing, so no arithmetic can overflow;
// the size and maxval checks then refuse them.
constexpr uint64_t kMaxHeaderNumber = uint64_t{1} << 40;

struct Header {
    std::string formatName; // "pnm", "pam" or "pfm"
    int64_t width = 0;
    int64_t height = 0;
    int64_t channels = 0;
    bool alpha = false;
    uint32_t maxval = 0; // 0 for float samples
    bool littleEndian = false;
    size_t dataOffset = 0;
};

// Walks the header bytes; reading past the end yields 0, which no rule accepts.
struct Cursor {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    size_t pos = 0;

    int peek() const { return pos < size ? bytes[pos] : -1; }

    int next() { return pos < size ? bytes[pos++] : -1; }
};

bool isSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void skipSpaceAndComments(Cursor& cursor) {
    for (;;) {
        const int c = cursor.peek();
        if (isSpace(c)) {
            ++cursor.pos;
        } else if (c == '#') {
            while (cursor.peek() != -1 && cursor.peek() != '\n') {
                ++cursor.pos;
            }
        } else {
            return;
        }
    }
}

bool readNumber(Cursor& cursor, uint64_t* value) {
    skipSpaceAndComments(cursor);
    uint64_t number = 0;
    size_t digits = 0;
    while (cursor.peek() >= '0' && cursor.peek() <= '9') {
        number = number * 10 + static_cast<uint64_t>(cursor.next() - '0');
        number = std::min(number, kMaxHeaderNumber);
        ++digits;
    }
    *value = number;
    return digits > 0;
}

std::string_view readToken(Cursor& cursor) {
    skipSpaceAndComments(cursor);
    const size_t start = cursor.pos;
    while (cursor.peek() != -1 && !isSpace(cursor.peek())) {
        ++cursor.pos;
    }
    return {reinterpret_cast<const char*>(cursor.bytes + start), cursor.pos - start};
}

bool parseMaxval(uint64_t value, Header* header, std::string* reason) {
    if (value < 1 || value > 65535) {
        *reason = "maxval " + std::to_string(value) + " is out of range (1 to 65535)";
        return false;
    }
    header->maxval = static_cast<uint32_t>(value);
    return true;
}

// P5 and P6: width, height and maxval, then exactly one whitespace byte.
bool parsePnm(Cursor& cursor, bool colour, Header* header, std::string* reason) {
    uint64_t width = 0;
    uint64_t height = 0;
    uint64_t maxval = 0;
    if (!readNumber(cursor, &width) || !readNumber(cursor, &height) ||
        !readNumber(cursor, &maxval) || !isSpace(cursor.next())) {
        *reason = "damaged PGM/PPM header";
        return false;
    }
    header->formatName = "pnm";
    header->width = static_cast<int64_t>(width);
    header->height = static_cast<int64_t>(height);
    header->channels = colour ? 3 : 1;
    header->dataOffset = cursor.pos;
    return parseMaxval(maxval, header, reason);
}

bool tupleLayout(std::string_view tupleType, int64_t* channels, bool* alpha) {
    if (tupleType == "GRAYSCALE" || tupleType == "BLACKANDWHITE") {
        *channels = 1;
    } else if (tupleType == "GRAYSCALE_ALPHA" || tupleType == "BLACKANDWHITE_ALPHA") {
        *channels = 2;
    } else if (tupleType == "RGB") {
        *channels = 3;
    } else if (tupleType == "RGB_ALPHA") {
        *channels = 4;
    } else {
        return false;
    }
    *alpha = (*channels == 2 || *channels == 4);
    return true;
}

// P7: "KEY value" lines up to ENDHDR. Unknown keys are skipped.
bool parsePam(Cursor& cursor, Header* header, std::string* reason) {
    uint64_t width = 0;
    uint64_t height = 0;
    uint64_t depth = 0;
    uint64_t maxval = 0;
    std::string tupleType;
    for (;;) {
        const std::string_view key = readToken(cursor);
        if (key.empty()) {
            *reason = "PAM header without ENDHDR";
            return false;
        }
        if (key == "ENDHDR") {
            while (cursor.peek() != -1 && cursor.peek() != '\n') {
                ++cursor.pos;
            }
            if (cursor.next() != '\n') {
                *reason = "PAM header without ENDHDR";
                return false;
            }
            break;
        }
        uint64_t* number = key == "WIDTH"    ? &width
                           : key == "HEIGHT" ? &height
                           : key == "DEPTH"  ? &depth
                           : key == "MAXVAL" ? &maxval
                                             : nullptr;
        if (number != nullptr && !readNumber(cursor, number)) {
            *reason = "bad " + std::string(key) + " in the PAM header";
            return false;
        }
        if (key == "TUPLTYPE") {
            tupleType = std::string(readToken(cursor));
        }
        while (cursor.peek() != -1 && cursor.peek() != '\n') {
            ++cursor.pos;
        }
    }
    // A missing WIDTH, HEIGHT or DEPTH stays 0 and fails the shape check.
    header->formatName = "pam";
    header->width = static_cast<int64_t>(width);
    header->height = static_cast<int64_t>(height);
    header->channels = static_cast<int64_t>(depth);
    header->alpha = (depth == 2 || depth == 4);
    header->dataOffset = cursor.pos;
    if (!tupleType.empty()) {
        int64_t channels = 0;
        if (!tupleLayout(tupleType, &channels, &header->alpha)) {
            *reason = "unsupported PAM tuple type " + tupleType;
            return false;
        }
        if (channels != header->channels) {
            *reason = "PAM tuple type " + tupleType + " with DEPTH " + std::to_string(depth);
            return false;
        }
    }
    return parseMaxval(maxval, header, reason);
}

// PF (RGB) and Pf (grey): width, height, then a scale whose sign gives the
// byte order (negative: little-endian); its magnitude is not applied.
bool parsePfm(Cursor& cursor, bool colour, Header* header, std::string* reason) {
    uint64_t width = 0;
    uint64_t height = 0;
    if (!readNumber(cursor, &width) || !readNumber(cursor, &height)) {
        *reason = "damaged PFM header";
        return false;
    }
    const std::string_view token = readToken(cursor);
    double scale = 0.0;
    const auto parsed = std::from_chars(token.data(), token.data() + token.size(), scale);
    if (token.empty() || parsed.ec != std::errc() || parsed.ptr != token.data() + token.size() ||
        !std::isfinite(scale) || scale == 0.0 || !isSpace(cursor.next())) {
        *reason = "bad scale in the PFM header";
        return false;
    }
    header->formatName = "pfm";
    header->width = static_cast<int64_t>(width);
    header->height = static_cast<int64_t>(height);
    header->channels = colour ? 3 : 1;
    header->littleEndian = scale < 0.0;
    header->dataOffset = cursor.pos;
    return true;
}

bool parseHeader(const std::vector<uint8_t>& bytes, Header* header, std::string* reason) {
    Cursor cursor{bytes.data(), bytes.size()};
    const int p = cursor.next();
    const int kind = cursor.next();
    if (p == 'P' && (kind == '5' || kind == '6')) {
        return parsePnm(cursor, kind == '6', header, reason);
    }
    if (p == 'P' && kind == '7' && isSpace(cursor.peek())) {
        return parsePam(cursor, header, reason);
    }
    if (p == 'P' && (kind == 'F' || kind == 'f')) {
        return parsePfm(cursor, kind == 'F', header, reason);
    }
    *reason = "not a PGM, PPM, PAM or PFM file";
    return false;
}

int32_t hostDepth(const Header& header) {
    return header.maxval == 0 ? 32 : header.maxval <= 255 ? 8 : 16;
}

size_t fileSampleBytes(const Header& header) {
    return header.maxval == 0 ? 4 : header.maxval <= 255 ? 1 : 2;
}

// One file row into one host row; false when a sample exceeds maxval.
bool convertRow(const Header& header, const uint8_t* in, size_t samples, uint8_t* out) {
    const uint32_t maxval = header.maxval;
    if (maxval == 255) {
        std::memcpy(out, in, samples);
        return true;
    }
    if (maxval == 0) {
        for (size_t i = 0; i < samples; ++i, in += 4) {
            const uint32_t bits = header.littleEndian
                                      ? (uint32_t{in[0]} | uint32_t{in[1]} << 8 |
                                         uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24)
                                      : (uint32_t{in[3]} | uint32_t{in[2]} << 8 |
                                         uint32_t{in[1]} << 16 | uint32_t{in[0]} << 24);
            const float value = std::bit_cast<float>(bits);
            std::memcpy(out + i * 4, &value, 4);
        }
        return true;
    }
    if (maxval < 255) {
        for (size_t i = 0; i < samples; ++i) {
            if (in[i] > maxval) {
                return false;
            }
            out[i] = static_cast<uint8_t>((in[i] * 255u + maxval / 2) / maxval);
        }
        return true;
    }
    for (size_t i = 0; i < samples; ++i, in += 2) {
        const uint32_t value = uint32_t{in[0]} << 8 | in[1];
        if (value > maxval) {
            return false;
        }
        const uint16_t host = maxval == 65535
                                  ? hostFromFile16(static_cast<uint16_t>(value))
                                  : static_cast<uint16_t>((value * 32768u + maxval / 2) / maxval);
        std::memcpy(out + i * 2, &host, 2);
    }
    return true;
}

bool readPixels(std::ifstream& in, const Header& header, HostImage* image, const std::string& path,
                std::string* error) {
    const size_t samples = static_cast<size_t>(image->width) * static_cast<size_t>(image->planes);
    std::vector<uint8_t> row(samples * fileSampleBytes(header));
    const size_t rowBytes = hostRowBytes(*image);
    in.seekg(static_cast<std::streamoff>(header.dataOffset));
    for (int32_t fileRow = 0; fileRow < image->height; ++fileRow) {
        if (!in.read(reinterpret_cast<char*>(row.data()),
                     static_cast<std::streamsize>(row.size()))) {
            return fail(error, path, "cannot read: the pixel data ends early");
        }
        // PFM stores the bottom row first.
        const int32_t y = header.maxval == 0 ? image->height - 1 - fileRow : fileRow;
        uint8_t* out = image->pixels.data() + static_cast<size_t>(y) * rowBytes;
        if (!convertRow(header, row.data(), samples, out)) {
            return fail(error, path,
                        "cannot read: a sample exceeds maxval " + std::to_string(header.maxval));
        }
    }
    return true;
}

uint16_t fileFromFloat16(float value) {
    if (!(value > 0.0f)) {
        return 0; // NaN too
    }
    return value >= 1.0f ? 65535 : static_cast<uint16_t>(std::lround(value * 65535.0f));
}

// One host row into file samples, keeping the first `channels` planes.
void encodeRow(const HostImage& image, const uint8_t* in, int32_t channels, bool pfm,
               uint8_t* out) {
    const size_t sampleBytes = static_cast<size_t>(image.depth / 8);
    for (int32_t x = 0; x < image.width; ++x) {
        for (int32_t c = 0; c < channels; ++c) {
            const uint8_t* sample =
                in + (static_cast<size_t>(x) * static_cast<size_t>(image.planes) +
                      static_cast<size_t>(c)) *
                         sampleBytes;
            if (pfm) {
                const auto bits = std::bit_cast<uint32_t>(hostSampleUnit(sample, image.depth));
                for (int b = 0; b < 4; ++b) {
                    *out++ = static_cast<uint8_t>(bits >> (8 * b)); // little-endian
                }
            } else if (image.depth == 8) {
                *out++ = *sample;
            } else {
                uint16_t value = 0;
                if (image.depth == 16) {
                    std::memcpy(&value, sample, 2);
                    value = fileFromHost16(value);
                } else {
                    value = fileFromFloat16(hostSampleUnit(sample, 32));
                }
                *out++ = static_cast<uint8_t>(value >> 8);
                *out++ = static_cast<uint8_t>(value & 0xFF);
            }
        }
    }
}

std::string fileHeader(FileFormat format, const HostImage& image, int32_t channels) {
    const std::string size = std::to_string(image.width) + " " + std::to_string(image.height);
    const std::string maxval = image.depth == 8 ? "255" : "65535";
    if (format == FileFormat::Pfm) {
        return std::string(channels == 3 ? "PF" : "Pf") + "\n" + size + "\n-1.0\n";
    }
    if (format == FileFormat::Pnm) {
        return std::string(channels == 3 ? "P6" : "P5") + "\n" + size + "\n" + maxval + "\n";
    }
    static constexpr const char* kTupleTypes[] = {"GRAYSCALE", "GRAYSCALE_ALPHA", "RGB",
                                                  "RGB_ALPHA"};
    return "P7\nWIDTH " + std::to_string(image.width) + "\nHEIGHT " + std::to_string(image.height) +
           "\nDEPTH " + std::to_string(channels) + "\nMAXVAL " + maxval + "\nTUPLTYPE " +
           kTupleTypes[channels - 1] + "\nENDHDR\n";
}

} // namespace

bool readImageNetpbm(const std::string& path, HostImage* image, std::string* error) {
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    if (!in) {
        return fail(error, path, "cannot read: " + lastSystemError());
    }
    in.seekg(0, std::ios::end);
    const std::streamoff fileBytes = in.tellg();
    in.seekg(0, std::ios::beg);
    if (fileBytes < 0) {
        return fail(error, path, "cannot read: the file size is unknown");
    }
    std::vector<uint8_t> headerBytes(std::min(static_cast<size_t>(fileBytes), kMaxHeaderBytes));
    if (!in.read(reinterpret_cast<char*>(headerBytes.data()),
                 static_cast<std::streamsize>(headerBytes.size()))) {
        return fail(error, path, "cannot read: " + lastSystemError());
    }
    Header header;
    std::string reason;
    if (!parseHeader(headerBytes, &header, &reason)) {
        return fail(error, path, "cannot read: " + reason);
    }
    const int32_t depth = hostDepth(header);
    if (!checkImageShape(path, "cannot read", header.width, header.height, header.channels, depth,
                         error)) {
        return false;
    }
    // Sides are now below 2^31 and rows below 2 GiB: no product overflows.
    const uint64_t dataBytes = static_cast<uint64_t>(header.width) *
                               static_cast<uint64_t>(header.height) *
                               static_cast<uint64_t>(header.channels) * fileSampleBytes(header);
    const uint64_t available = static_cast<uint64_t>(fileBytes) - header.dataOffset;
    if (dataBytes > available) {
        return fail(error, path,
                    "cannot read: the file is truncated (the header promises " +
                        std::to_string(dataBytes) + " bytes of pixels, the file holds " +
                        std::to_string(available) + ")");
    }
    HostImage result;
    result.width = static_cast<int32_t>(header.width);
    result.height = static_cast<int32_t>(header.height);
    result.planes = static_cast<int32_t>(header.channels);
    result.depth = depth;
    result.alpha = header.alpha;
    result.metadata.formatName = header.formatName;
    if (!allocatePixels(&result, path, error) || !readPixels(in, header, &result, path, error)) {
        return false;
    }
    *image = std::move(result);
    return true;
}

bool writeNetpbmFile(const std::string& ioPath, FileFormat format, const HostImage& image,
                     const std::string& shownPath, std::string* error) {
    // PGM/PPM and PFM have no transparency; PAM keeps every plane.
    const int32_t channels =
        format == FileFormat::Pam ? image.planes : image.planes - (image.alpha ? 1 : 0);
    const bool pfm = format == FileFormat::Pfm;
    const size_t fileSampleBytes = pfm ? 4 : image.depth == 8 ? 1 : 2;
    std::ofstream out(pathFromUtf8(ioPath), std::ios::binary | std::ios::trunc);
    if (!out) {
        return fail(error, shownPath, "cannot create: " + lastSystemError());
    }
    const std::string header = fileHeader(format, image, channels);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    std::vector<uint8_t> row(static_cast<size_t>(image.width) * static_cast<size_t>(channels) *
                             fileSampleBytes);
    const size_t rowBytes = hostRowBytes(image);
    for (int32_t fileRow = 0; fileRow < image.height && out; ++fileRow) {
        const int32_t y = pfm ? image.height - 1 - fileRow : fileRow;
        encodeRow(image, image.pixels.data() + static_cast<size_t>(y) * rowBytes, channels, pfm,
                  row.data());
        out.write(reinterpret_cast<const char*>(row.data()),
                  static_cast<std::streamsize>(row.size()));
    }
    out.close();
    if (!out) {
        return fail(error, shownPath, "cannot write: " + lastSystemError());
    }
    return true;
}

} // namespace lakra
