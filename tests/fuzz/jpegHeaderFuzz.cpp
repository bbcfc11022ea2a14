// The command-line host's own JPEG reading and the verbatim carry of a
// JPEG's metadata against hostile files: the segments before the first scan
// and an Exif block of every shape the carry edits, mutated. Whatever the
// reader takes, the writer carries into a new file or declines, within
// bounds. fuzzDriver.h tells how the target runs under libFuzzer and in ctest.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"
#include "fuzzDriver.h"

#include <cstring>
#include <string>

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer names the entry
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lakra;
    using fuzz::fail;
    // The reader takes a path: each input goes through one scratch file.
    static const std::string path = fuzz::scratchPath("lakra-jpeg-fuzz-input.jpg");
    static const std::string written = fuzz::scratchPath("lakra-jpeg-fuzz-output.jpg");
    fuzz::writeFile(path, data, size);
    HostImage image;
    if (!readImageJpeg(path, &image)) {
        if (image.width != 0 || !image.pixels.empty()) {
            fail("a refusal that touched the image");
        }
        return 0;
    }
    // What the host relies on in every image the reader hands out.
    if (image.width <= 0 || image.height <= 0 || (image.planes != 1 && image.planes != 3) ||
        image.depth != 8 || image.alpha) {
        fail("an image without pixels or with a layout a JPEG does not have");
    }
    if (image.pixels.size() != hostRowBytes(image) * static_cast<size_t>(image.height)) {
        fail("a pixel buffer of the wrong size");
    }
    if (image.metadata.pendingJpegHeader.size() < 4 ||
        image.metadata.pendingJpegHeader.size() > size + 2 ||
        image.metadata.pendingOrientation < 1 || image.metadata.pendingOrientation > 8) {
        fail("a pending header out of proportion, or an orientation out of range");
    }
    (void)writeJpegFile(written, image);
    return 0;
}

#ifndef LAKRA_LIBFUZZER

namespace {

using lakra::fuzz::Bytes;

void put16(Bytes* bytes, bool little, uint32_t value) {
    const auto low = static_cast<uint8_t>(value & 0xFF);
    const auto high = static_cast<uint8_t>(value >> 8 & 0xFF);
    bytes->push_back(little ? low : high);
    bytes->push_back(little ? high : low);
}

void put32(Bytes* bytes, bool little, uint32_t value) {
    put16(bytes, little, little ? value & 0xFFFF : value >> 16);
    put16(bytes, little, little ? value >> 16 : value & 0xFFFF);
}

void putEntry(Bytes* bytes, bool little, uint16_t tag, uint16_t type, uint32_t value) {
    put16(bytes, little, tag);
    put16(bytes, little, type);
    put32(bytes, little, 1);
    if (type == 3) { // a short sits in the first two bytes
        put16(bytes, little, value);
        put16(bytes, little, 0);
    } else {
        put32(bytes, little, value);
    }
}

// An Exif segment's body: the orientation, both resolutions (1/1 each) and
// an Exif directory with both pixel dimensions, in either byte order.
Bytes exifBody(bool little, uint16_t orientation) {
    Bytes body = {'E', 'x', 'i', 'f', 0, 0};
    body.push_back(little ? 'I' : 'M');
    body.push_back(little ? 'I' : 'M');
    put16(&body, little, 42);
    put32(&body, little, 8);
    // The first directory at 8: four entries, then the two rationals at 62
    // and 70 and the Exif directory at 78.
    put16(&body, little, 4);
    putEntry(&body, little, 0x0112, 3, orientation);
    putEntry(&body, little, 0x011A, 5, 62);
    putEntry(&body, little, 0x011B, 5, 70);
    putEntry(&body, little, 0x8769, 4, 78);
    put32(&body, little, 0);
    for (int i = 0; i < 2; ++i) { // 1:1, as the JFIF segment says
        put32(&body, little, 1);
        put32(&body, little, 1);
    }
    put16(&body, little, 2);
    putEntry(&body, little, 0xA002, 3, 3);
    putEntry(&body, little, 0xA003, 4, 2);
    put32(&body, little, 0);
    return body;
}

// A 3 x 2 JPEG written by the direct writer, with `segments` (marker and
// body) after the JFIF segment in place of the writer's own Exif.
Bytes jpegWith(const std::vector<std::pair<uint8_t, Bytes>>& segments, int32_t planes) {
    using namespace lakra;
    HostImage image;
    image.width = 3;
    image.height = 2;
    image.planes = planes;
    image.depth = 8;
    image.pixels.resize(hostRowBytes(image) * 2);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = static_cast<uint8_t>(i * 40);
    }
    const std::string path = fuzz::scratchPath("lakra-jpeg-fuzz-seed.jpg");
    if (!writeJpegFile(path, image)) {
        fuzz::fail("cannot write a seed");
    }
    const Bytes plain = fuzz::readFile(path);
    // SOI, the JFIF segment (18 bytes) and the writer's Exif (24 bytes).
    const size_t rest = 2 + 18 + 24;
    Bytes file(plain.begin(), plain.begin() + 20);
    for (const auto& [marker, body] : segments) {
        file.push_back(0xFF);
        file.push_back(marker);
        put16(&file, false, static_cast<uint32_t>(body.size() + 2));
        file.insert(file.end(), body.begin(), body.end());
    }
    file.insert(file.end(), plain.begin() + static_cast<std::ptrdiff_t>(rest), plain.end());
    return file;
}

Bytes text(const char* bytes, size_t size) {
    return {reinterpret_cast<const uint8_t*>(bytes),
            reinterpret_cast<const uint8_t*>(bytes) + size};
}

std::vector<Bytes> seeds() {
    static const char kXmp[] = "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>";
    static const char kIcc[] = "ICC_PROFILE\0\x01\x01profile";
    return {
        jpegWith({}, 3),
        jpegWith({}, 1),
        jpegWith({{0xE1, exifBody(true, 6)}}, 3),
        jpegWith({{0xE1, exifBody(false, 8)}, {0xFE, text("a lake", 6)}}, 3),
        jpegWith({{0xE1, exifBody(true, 3)},
                  {0xE1, text(kXmp, sizeof kXmp - 1)},
                  {0xE2, text(kIcc, sizeof kIcc - 1)},
                  {0xED, text("Photoshop 3.0\0", 14)}},
                 1),
    };
}

} // namespace

int main(int argc, char** argv) {
    return lakra::fuzz::fuzzStandaloneMain(argc, argv, {"JPEG files", ".jpg", seeds});
}

#endif
