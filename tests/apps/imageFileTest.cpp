// Image files: one round trip over every format the build writes and every
// host layout, the 16-bit mapping in real files, netpbm files made by hand,
// Exif orientation, metadata checked with independent tools, and the
// safe-write rules. The netpbm cases run in both builds, the rest natively.

#include "apps/lakra/imageFile.h"

#include "apps/lakra/imageFileInternal.h"
#include "formatRoutes.h"
#include "imageTestUtil.h"
#include "support/fileChecks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#if LAKRA_HAVE_OIIO
#include <OpenImageIO/imageio.h>
#endif

namespace lakra {
namespace {

using testing::blankImage;
using testing::fullScale;
using testing::patternImage;
using testing::readFileBytes;
using testing::ScratchFolder;
using testing::storedSample;
using testing::writeFileBytes;
using namespace std::string_literals;

#if LAKRA_HAVE_OIIO
void writeWithOiio(const std::string& path, const OIIO::ImageSpec& imageSpec, const void* pixels) {
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out) << OIIO::geterror();
    ASSERT_TRUE(out->open(path, imageSpec)) << out->geterror();
    ASSERT_TRUE(out->write_image(imageSpec.format, pixels)) << out->geterror();
    ASSERT_TRUE(out->close()) << out->geterror();
}
#endif

// `read` holds the first `planes` planes of `source`, each sample within
// `tolerance` of full scale, clipped to 0..1 first when `clip`.
void expectSamples(const HostImage& source, const HostImage& read, int32_t planes,
                   double tolerance = 0.0, bool clip = false) {
    ASSERT_EQ(std::tie(read.width, read.height, read.planes, read.alpha),
              std::make_tuple(source.width, source.height, planes, planes % 2 == 0));
    ASSERT_EQ(read.pixels.size(), hostRowBytes(read) * static_cast<size_t>(read.height));
    const auto count = static_cast<size_t>(source.width * source.height * planes);
    for (size_t i = 0, p = static_cast<size_t>(planes); i < count; ++i) {
        const double expected =
            storedSample(source, i / p * static_cast<size_t>(source.planes) + i % p) /
            fullScale(source.depth);
        ASSERT_NEAR(storedSample(read, i) / fullScale(read.depth),
                    clip ? std::clamp(expected, 0.0, 1.0) : expected, tolerance)
            << "sample " << i;
    }
}

// What a format keeps of an image written to it and read back.
struct Format {
    const char* extension;
    const char* name;         // the format name the reader reports
    double eightBitTolerance; // 8-bit samples read back as floats
    int32_t readDepth[3];     // the depth read back after writing 8, 16 and 32 bits
    bool keepsAlpha;
    bool lossy = false;    // given a flat image, kept within 2 / 255
    bool greyAlpha = true; // grey with alpha reads back as such (not as RGBA)
    bool deepGrey = true;  // grey of 16 bits or more reads back as grey (not as RGB)
};

const Format kFormats[] = {
    {".pgm", "pnm", 0.0, {8, 16, 16}, false},
    {".ppm", "pnm", 0.0, {8, 16, 16}, false},
    {".pam", "pam", 0.0, {8, 16, 16}, true},
    {".pfm", "pfm", 1e-7, {32, 32, 32}, false}, // k / 255 within float rounding
#if LAKRA_HAVE_OIIO
    {".png", "png", 0.0, {8, 16, 16}, true},
    {".tif", "tiff", 0.0, {8, 16, 32}, true},
    {".exr", "openexr", 1.0 / 4096, {32, 32, 32}, true}, // half floats
    {".jpg", "jpeg", 0.0, {8, 8, 8}, false, true},
#else
    // The system's imaging component: no floats, grey with alpha as RGBA and,
    // in TIFF, 16-bit grey as RGB.
    {".png", "png", 0.0, {8, 16, 16}, true, false, false},
    {".tif", "tiff", 0.0, {8, 16, 16}, true, false, false, false},
    {".jpg", "jpeg", 0.0, {8, 8, 8}, false, true, false},
#endif
};

TEST(RoundTrip, KeepsWhatTheFormatHolds) {
    ScratchFolder folder;
    for (const Format& format : kFormats) {
        for (int32_t layout = 0; layout < 12; ++layout) {
            const int32_t planes = layout / 3 + 1;
            const int32_t depth = 8 << (layout % 3);
            if ((planes == 2 && !format.greyAlpha) ||
                (planes == 1 && depth > 8 && !format.deepGrey)) {
                continue;
            }
            SCOPED_TRACE(format.extension + " "s + std::to_string(planes) + " planes " +
                         std::to_string(depth) + " bits");
            HostImage source = patternImage(7, 5, planes, depth);
            for (size_t i = 0; format.lossy && i < source.pixels.size(); ++i) {
                source.pixels[i] = source.pixels[i % static_cast<size_t>(planes * depth / 8)];
            }
            // Each trip replaces the last; the temporary name beside the
            // target must fit wherever the target fits.
            const std::string path = folder.path(std::string(200, 'n') + format.extension);
            std::string error;
            ASSERT_TRUE(writeImage(path, source, &error)) << error;
            HostImage read;
            ASSERT_TRUE(readImage(path, &read, &error)) << error;

            const int32_t readDepth = format.readDepth[depth / 16];
            EXPECT_EQ(read.depth, readDepth);
            EXPECT_EQ(read.metadata.formatName, format.name);
            // Into fewer bits: clipped, then off by half a step each way at most.
            const bool narrowed = readDepth < depth;
            const double tolerance = format.lossy                    ? 2.0 / 255
                                     : narrowed                      ? 1.0 / 32768
                                     : depth == 8 && readDepth == 32 ? format.eightBitTolerance
                                                                     : 0.0;
            const int32_t kept = planes - (source.alpha && !format.keepsAlpha ? 1 : 0);
            expectSamples(source, read, kept, tolerance, narrowed);
#if LAKRA_HAVE_OIIO
            // OpenImageIO reads our PGM, PPM and PFM files alike. It scales 16-bit
            // samples by 1/(maxval + 1): 65535 reads as 65534, one host step low.
            HostImage oiio;
            if (read.metadata.formatName == "pnm" || read.metadata.formatName == "pfm") {
                ASSERT_TRUE(readImageOiio(path, &oiio, &error)) << error;
                EXPECT_EQ(oiio.depth, read.depth);
                expectSamples(read, oiio, kept, read.depth == 16 ? 1.0 / 32768 : 0.0);
            }
#endif
        }
    }
    EXPECT_EQ(folder.entries().size(), std::size(kFormats));
}

// Every host value survives a 16-bit file, which holds it on its own scale,
// rounded to nearest: 1 as 2 (1.99997), 16384 as 32768 (32767.5), 32768 as 65535.
TEST(SixteenBitFiles, HoldEveryHostValueOnTheirScale) {
    HostImage ramp = blankImage(32769, 1, 1, 16);
    for (size_t x = 0; x < 32769; ++x) {
        testing::setSample(&ramp, x, static_cast<double>(x));
    }
    ScratchFolder folder;
    for (const std::string name : {"ramp.pgm", "ramp.png", "ramp.tif"}) {
        if (LAKRA_HAVE_OIIO == 0 && !name.ends_with(".pgm")) {
            continue; // netpbm is all this build writes
        }
        SCOPED_TRACE(name);
        const std::string path = folder.path(name);
        std::string error;
        ASSERT_TRUE(writeImage(path, ramp, &error)) << error;
        HostImage read;
        ASSERT_TRUE(readImage(path, &read, &error)) << error;
        EXPECT_EQ(read.depth, 16);
        expectSamples(ramp, read, 1);
        const std::string bytes = readFileBytes(path);
        const size_t at = bytes.size() - 2 * 32769; // big-endian samples end a PGM
        if (name.ends_with(".pgm")) {
            EXPECT_EQ(bytes.substr(0, at), "P5\n32769 1\n65535\n");
            EXPECT_EQ(bytes.substr(at + 2, 2) + bytes.substr(at + 2 * 16384, 2) +
                          bytes.substr(at + 2 * 32768),
                      "\x00\x02\x80\x00\xFF\xFF"s);
        }
#if LAKRA_HAVE_OIIO
        std::vector<uint16_t> file(32769);
        auto in = OIIO::ImageInput::open(path);
        ASSERT_TRUE(in && in->read_image(0, 0, 0, 1, OIIO::TypeDesc::UINT16, file.data()));
        EXPECT_TRUE(name.ends_with(".pgm") || std::tie(file[1], file[16384], file[32768]) ==
                                                  std::make_tuple(2, 32768, 65535));
#endif
    }
}

// A netpbm file made by hand and what it reads as: width, height, planes,
// depth, then its first samples as stored, 16 bits on the host's scale; or why
// it is refused.
struct HandMade {
    std::string bytes;
    const char* reason; // nullptr: the file reads
    std::vector<double> read = {};
};

const HandMade kHandMade[] = {
    // PFM stores the bottom row first, little-endian for a negative scale.
    {"Pf\n1 2\n-1.0\n\0\0\x80\x3E\0\0\x40\x3F"s, nullptr, {1, 2, 1, 32, 0.75, 0.25}},
    {"PF\n1 1\n1.0\n\x3F\xC0\0\0\xC0\0\0\0\x3E\0\0\0"s, nullptr, {1, 1, 3, 32, 1.5, -2.0, 0.125}},
    {"P5\n3 1\n65535\n\x00\x00\x80\x00\xFF\xFF"s, nullptr, {3, 1, 1, 16, 0, 16384, 32768}},
    // Rounded to nearest: 50 x 255 / 100 = 127.5, 1 x 255 / 100 = 2.55, 1 x 32768 / 1000 = 32.8.
    {"P5 3 1 100\n\x64\x32\x01", nullptr, {3, 1, 1, 8, 255, 128, 3}},
    {"P6 1 1 1000\n\x03\xE8\x01\xF4\x00\x01"s, nullptr, {1, 1, 3, 16, 32768, 16384, 33}},
    {"P7\n# by hand\nWIDTH 2\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n"
     "\x0A\x14\x1E\x28",
     nullptr,
     {2, 1, 2, 8, 10, 20, 30, 40}},
    {"", "not a PGM"},
    {"P7WIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nENDHDR\n1", "not a PGM"},
    {"P5\n4000000000 1\n255\n", "too large"},
    {"P6\n99999999999999999999999999 1 255\n", "too large"},
    {"PF\n600000000 1\n-1\n", "too large"},
    {"P5\n1 3000000000\n255\n", "too large"},
    {"P5 0 0 255\n", "no pixels"},
    {"P5 -1 1 255\n", "damaged"},
    {std::string("P5 1 1 0\n\0", 10), "maxval"},
    {"P5 1 1 70000\nxx", "maxval"},
    {"P5 1 1 255", "damaged"},
    {"P6 2 2 255\n01234567890", "truncated"},
    {"P6 30000 30000 65535\n", "truncated"},
    {"P5 1 1 100\n\xC8", "exceeds maxval"},
    {"P5 1 1 1000\n\xFF\xFF", "exceeds maxval"},
    {"P5\n#" + std::string(70000, 'x') + "\n1 1 255\n\x01", "damaged"},
    {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n", "ENDHDR"},
    {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\nENDHDR\n12345", "5 channels"},
    {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n12", "tuple type"},
    {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE CMYK\nENDHDR\n1234", "tuple type"},
    {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nENDHDR\n1", "maxval"},
    {"PF\n1 1\n0\n123456789012", "scale"},
    {"PF 1 1 nan\n123456789012", "scale"},
};

TEST(NetpbmByHand, ReadsAsTheHostHoldsItOrIsRefusedWithItsReason) {
    ScratchFolder folder;
    const std::string path = folder.path("hand.pnm");
    for (const HandMade& file : kHandMade) {
        SCOPED_TRACE(file.bytes.substr(0, 40));
        writeFileBytes(path, file.bytes);
        HostImage image = blankImage(2, 2, 3, 8);
        image.pixels[0] = 77;
        std::string error;
        const bool read = readImageNetpbm(path, &image, &error);
        if (file.reason != nullptr) {
            EXPECT_FALSE(read);
            EXPECT_NE(error.find(path + ": "), std::string::npos) << error;
            EXPECT_NE(error.find(file.reason), std::string::npos) << error;
            EXPECT_EQ(std::tie(image.width, image.pixels[0]), std::make_tuple(2, uint8_t{77}));
            continue;
        }
        ASSERT_TRUE(read) << error;
        EXPECT_EQ(image.alpha, image.planes % 2 == 0);
        std::vector<double> got = {
            static_cast<double>(image.width), static_cast<double>(image.height),
            static_cast<double>(image.planes), static_cast<double>(image.depth)};
        for (size_t i = 4; i < file.read.size(); ++i) {
            got.push_back(storedSample(image, i - 4));
        }
        EXPECT_EQ(got, file.read);
    }
}

TEST(ReadImageErrors, NameTheFileAndTheReason) {
    ScratchFolder folder;
    HostImage image;
    std::string error;
    std::filesystem::create_directory(folder.path("folder.ppm"));
    writeFileBytes(folder.path("notes.txt"), "not a picture at all\n");
    std::vector<std::pair<std::string, std::string>> rows = {
        {"missing.ppm", "no such file"}, {"folder.ppm", "it is a folder"}, {"notes.txt", ""}};
#if LAKRA_HAVE_OIIO
    // (A cut PNG would do as well, but OpenImageIO 2.4 leaks a message string
    // when libpng jumps out of a damaged file, which the leak checker reports.)
    const std::string cut = folder.path("cut.tif");
    ASSERT_TRUE(writeImage(cut, patternImage(64, 64, 3, 8), &error)) << error;
    writeFileBytes(cut, readFileBytes(cut).substr(0, 200));
    rows.emplace_back("cut.tif", "");
    // Layouts the host has no place for.
    const std::pair<const char*, std::vector<std::string>> layouts[] = {
        {"five.tif", {"R", "G", "B", "A", "Q"}},
        {"twoColours.exr", {"R", "G"}},
        {"rgbz.exr", {"R", "G", "B", "Z"}}};
    for (const auto& [name, channels] : layouts) {
        OIIO::ImageSpec imageSpec(2, 2, static_cast<int>(channels.size()), OIIO::TypeDesc::FLOAT);
        imageSpec.channelnames = channels;
        imageSpec.alpha_channel = -1;
        writeWithOiio(folder.path(name), imageSpec,
                      std::vector<float>(4 * channels.size(), 0.5f).data());
        rows.emplace_back(name, channels.size() == 5 ? "5 channels" : "multichannel");
    }
    writeFileBytes(folder.path("huge.ppm"), "P6\n1000000000 1\n255\n");
    EXPECT_FALSE(readImageOiio(folder.path("huge.ppm"), &image, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
#else
    writeFileBytes(folder.path("picture.png"), "\x89PNG\r\n\x1A\n");
    rows.emplace_back("picture.png", "opening the image");
#endif
    for (const auto& [name, reason] : rows) {
        EXPECT_FALSE(readImage(folder.path(name), &image, &error));
        EXPECT_NE(error.find(folder.path(name) + ": cannot read"), std::string::npos) << error;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    EXPECT_EQ(image.width, 0);
}

// A failed write leaves what stood at the target before: a file "keep me", a
// folder or nothing.
TEST(SafeWrite, AFailedWriteLeavesWhatWasThere) {
    enum Before { Nothing, OldFile, Folder };

    const HostImage image = patternImage(4, 3, 3, 8);
    HostImage shortPixels = image;
    shortPixels.pixels.pop_back();
    HostImage twoColours = patternImage(2, 2, 3, 8);
    twoColours.planes = 2; // no such host layout
    std::vector<std::tuple<std::string, HostImage, const char*, Before>> writes = {
        {"out.xyz", image, "unsupported file type", OldFile},
        {"out.pam", shortPixels, "pixel buffer", OldFile},
        {"out.pam", twoColours, "cannot write an image of 2 planes", OldFile},
        {"absent/out.pgm", image, "absent/out.pgm: cannot create", Nothing},
        {"out.pfm", image, "folder", Folder},
#if LAKRA_HAVE_OIIO
        {"wide.jpg", blankImage(70000, 1, 1, 8), "at most 65500 pixels", OldFile},
        // libpng refuses a malformed ICC profile after the file has been created.
        {"out.png", image, "out.png: cannot write", OldFile},
    };
    std::get<1>(writes.back())
        .metadata.records.push_back({"ICCProfile", "uint8[200]", 1, std::vector<uint8_t>(200)});
#else
        {"picture.exr", image, "writes no OpenEXR files", OldFile},
    };
#endif
    for (const auto& [target, source, reason, before] : writes) {
        SCOPED_TRACE(target);
        ScratchFolder folder;
        const std::string path = folder.path(target);
        if (before == Folder) {
            std::filesystem::create_directory(path);
        } else if (before == OldFile) {
            writeFileBytes(path, "keep me");
        }
        std::string error;
        EXPECT_FALSE(writeImage(path, source, &error));
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(folder.entries().size(), before == Nothing ? 0u : 1u);
        EXPECT_EQ(std::filesystem::is_directory(path), before == Folder);
        EXPECT_TRUE(before != OldFile || readFileBytes(path) == "keep me");
    }
}

#if LAKRA_HAVE_OIIO

// A TIFF of 3 x 2 RGB pixels "10 20 30 / 40 50 60" (pixel v holds v, v + 1,
// v + 2) under each Exif orientation comes out upright.
TEST(ExifOrientation, TiffComesOutUpright) {
    const std::vector<uint8_t> upright[] = {
        {10, 20, 30, 40, 50, 60}, {30, 20, 10, 60, 50, 40}, {60, 50, 40, 30, 20, 10},
        {40, 50, 60, 10, 20, 30}, {10, 40, 20, 50, 30, 60}, {40, 10, 50, 20, 60, 30},
        {60, 30, 50, 20, 40, 10}, {30, 60, 20, 50, 10, 40},
    };
    std::vector<uint8_t> samples[8];
    for (size_t i = 0; i < 8 * 18; ++i) {
        samples[i / 18].push_back(static_cast<uint8_t>(upright[i / 18][i % 18 / 3] + i % 3));
    }
    ScratchFolder folder;
    const std::string path = folder.path("turned.tif");
    for (int code = 1; code <= 8; ++code) {
        SCOPED_TRACE(code);
        OIIO::ImageSpec imageSpec(3, 2, 3, OIIO::TypeDesc::UINT8);
        imageSpec.attribute("Orientation", code);
        writeWithOiio(path, imageSpec, samples[0].data());
        HostImage read;
        std::string error;
        ASSERT_TRUE(readImage(path, &read, &error)) << error;
        ASSERT_TRUE(resolveMetadata(&read.metadata, &error)) << error;
        EXPECT_EQ(std::tie(read.width, read.height),
                  (code < 5 ? std::tuple(3, 2) : std::tuple(2, 3)));
        EXPECT_EQ(read.pixels, samples[code - 1]);
        int32_t orientation = 0;
        for (const MetadataRecord& record : read.metadata.records) {
            if (record.name == "Orientation" && record.bytes.size() == sizeof orientation) {
                std::memcpy(&orientation, record.bytes.data(), sizeof orientation);
            }
        }
        EXPECT_EQ(orientation, 1);
    }
}

class MetadataCarried : public ::testing::TestWithParam<const char*> {};

TEST_P(MetadataCarried, ToolsFindProfileAndTextInTheOutput) {
    const std::string extension = GetParam();
    if (!testing::haveTool("exiftool")) {
        GTEST_SKIP() << "exiftool is not installed";
    }
    ScratchFolder folder;
    const std::string icc = testing::smallIccProfile();
    OIIO::ImageSpec imageSpec(6, 4, 3, OIIO::TypeDesc::UINT8);
    imageSpec.attribute("ICCProfile",
                        OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(icc.size())),
                        icc.data());
    imageSpec.attribute("Artist", "Lakra Tester");
    imageSpec.attribute("ImageDescription", "a quiet lake");
    imageSpec.attribute("Orientation", 6);
    imageSpec.attribute("XResolution", 100.0f); // turned with the pixels
    imageSpec.attribute("YResolution", 200.0f);
    imageSpec.attribute("ResolutionUnit", "in");
    imageSpec.attribute("compression", "lzw");
    // A TIFF source brings its compression, which the TIFF written must not take.
    const std::string source = folder.path(extension == ".tif" ? "source.tif" : "source.jpg");
    writeWithOiio(source, imageSpec, std::vector<uint8_t>(6 * 4 * 3, 90).data());

    HostImage image;
    std::string error;
    ASSERT_TRUE(readImage(source, &image, &error)) << error;
    const std::string output = folder.path("out" + extension);
    ASSERT_TRUE(writeImage(output, image, &error)) << error;

    const std::string tags = testing::toolOutput("exiftool -n -s -s '" + output + "'");
    EXPECT_NE(tags.find("Lakra Tester"), std::string::npos) << tags;
    EXPECT_NE(tags.find("a quiet lake"), std::string::npos) << tags;
    EXPECT_EQ(testing::toolOutput("exiftool -b -ICC_Profile '" + output + "'"), icc);
    EXPECT_NE(tags.find("ImageWidth: 4\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find("ImageHeight: 6\n"), std::string::npos) << tags;
    EXPECT_EQ(tags.find("Orientation: 6"), std::string::npos) << tags;
    if (extension == ".jpg") { // OpenImageIO 2.4's TIFF writer stores XResolution in both tags
        EXPECT_NE(tags.find("XResolution: 200\nYResolution: 100\n"), std::string::npos) << tags;
    }
    if (extension == ".tif") {
        EXPECT_NE(tags.find("Compression: 8\n"), std::string::npos) << tags; // zip, not lzw
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, MetadataCarried, ::testing::Values(".jpg", ".png", ".tif"),
                         [](const auto& row) { return std::string(row.param + 1); });

// PNG files made by hand: the signature, an IHDR, the chunks `before` the
// pixels, the rows (each after its filter byte 0) in one stored deflate block,
// and `after` them.
uint32_t crc32Of(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

std::string bigEndian(uint32_t value, int bytes = 4) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i) {
        text += static_cast<char>(value >> (8 * i) & 0xFF);
    }
    return text;
}

std::string pngChunk(const std::string& type, const std::string& data) {
    return bigEndian(static_cast<uint32_t>(data.size())) + type + data +
           bigEndian(crc32Of(type + data));
}

// `raw` as a zlib stream of stored deflate blocks.
std::string storedDeflate(const std::string& raw) {
    std::string stream = "\x78\x01"s;
    for (size_t at = 0; at == 0 || at < raw.size(); at += 65535) {
        const auto length = static_cast<uint16_t>(std::min<size_t>(raw.size() - at, 65535));
        stream += static_cast<char>(at + 65535 >= raw.size() ? 1 : 0);
        for (const int half : {static_cast<int>(length), ~length & 0xFFFF}) {
            stream += static_cast<char>(half & 0xFF);
            stream += static_cast<char>(half >> 8);
        }
        stream += raw.substr(at, length);
    }
    uint32_t a = 1;
    uint32_t b = 0;
    for (const char c : raw) {
        a = (a + static_cast<uint8_t>(c)) % 65521;
        b = (b + a) % 65521;
    }
    return stream + bigEndian((b << 16) | a);
}

using Chunks = std::vector<std::pair<std::string, std::string>>;

struct PngSpec {
    const char* name;
    uint32_t width;
    uint32_t height;
    int bitDepth;
    int colourType; // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    Chunks before = {};
    int interlace = 0;
    Chunks after = {};
};

std::string pngFile(const PngSpec& png) {
    const uint32_t channels = png.colourType == 2   ? 3
                              : png.colourType == 4 ? 2
                              : png.colourType == 6 ? 4
                                                    : 1;
    // Adam7's passes, or the whole image, each row after its filter byte.
    std::vector<std::pair<uint32_t, uint32_t>> passes;
    if (png.interlace == 0) {
        passes.emplace_back(png.width, png.height);
    } else {
        const uint32_t x0[] = {0, 4, 0, 2, 0, 1, 0};
        const uint32_t y0[] = {0, 0, 4, 0, 2, 0, 1};
        const uint32_t dx[] = {8, 8, 4, 4, 2, 2, 1};
        const uint32_t dy[] = {8, 8, 8, 4, 4, 2, 2};
        for (int p = 0; p < 7; ++p) {
            passes.emplace_back(png.width > x0[p] ? (png.width - x0[p] + dx[p] - 1) / dx[p] : 0,
                                png.height > y0[p] ? (png.height - y0[p] + dy[p] - 1) / dy[p] : 0);
        }
    }
    std::string raw;
    for (const auto& [w, h] : passes) {
        const uint32_t rowBytes = (w * channels * static_cast<uint32_t>(png.bitDepth) + 7) / 8;
        for (uint32_t y = 0; w != 0 && y < h; ++y) {
            raw += '\0';
            for (uint32_t x = 0; x < rowBytes; ++x) {
                raw += static_cast<char>((x * 37 + y * 11 + raw.size()) & 0xFF);
            }
        }
    }
    std::string file =
        "\x89PNG\r\n\x1A\n"s +
        pngChunk("IHDR", bigEndian(png.width) + bigEndian(png.height) +
                             static_cast<char>(png.bitDepth) + static_cast<char>(png.colourType) +
                             "\0\0"s + static_cast<char>(png.interlace));
    for (const auto& [type, data] : png.before) {
        file += pngChunk(type, data);
    }
    file += pngChunk("IDAT", storedDeflate(raw));
    for (const auto& [type, data] : png.after) {
        file += pngChunk(type, data);
    }
    return file + pngChunk("IEND", "");
}

// Most hand-made PNGs: 5 x 3 8-bit RGB with a few chunks.
PngSpec rgb8(const char* name, Chunks before, Chunks after = {}) {
    return {name, 5, 3, 8, 2, std::move(before), 0, std::move(after)};
}

std::string palette() {
    std::string colours;
    for (int i = 0; i < 768; ++i) {
        colours += static_cast<char>(i * 7);
    }
    return colours;
}

std::vector<PngSpec> handMadePngs() {
    const std::string srgbProfile = readFileBytes("/usr/share/color/icc/ghostscript/srgb.icc");
    std::vector<PngSpec> pngs = {
        {"rgb8", 5, 3, 8, 2},
        {"grey16", 5, 3, 16, 0},
        {"greyAlpha8", 5, 3, 8, 4},
        {"rgba16", 5, 3, 16, 6},
        {"grey1", 9, 3, 1, 0},
        {"grey4", 5, 3, 4, 0},
        {"palette", 5, 3, 8, 3, {{"PLTE", palette()}}},
        {"paletteAlpha", 5, 3, 8, 3, {{"PLTE", palette()}, {"tRNS", "\x00\x80\xFF\x10"s}}},
        {"greyKey", 5, 3, 8, 0, {{"tRNS", "\x00\x25"s}}},
        {"rgbKey16", 5, 3, 16, 2, {{"tRNS", "\x00\x25\x00\x26\x00\x27"s}}},
        {"interlaced", 11, 9, 8, 2, {}, 1},
        rgb8("sRGB", {{"sRGB", "\x00"s}, {"gAMA", bigEndian(45455)}}),
        rgb8(
            "chromaticities",
            {{"cHRM", std::string(32, '\0')}, {"bKGD", "\0\1\0\2\0\3"s}, {"sBIT", "\x08\x08\x08"}}),
        rgb8("perMetre", {{"pHYs", bigEndian(2835) + bigEndian(5670) + "\x01"}}),
        rgb8("noUnit", {{"pHYs", bigEndian(3) + bigEndian(2) + "\x00"s}}),
        rgb8("time", {{"tIME", "\x07\xE5\x03\x04\x05\x06\x07"}}),
        rgb8("offset", {{"oFFs", bigEndian(3) + bigEndian(4) + "\x00"s}}),
        rgb8("texts",
             {{"tEXt", "Author\0Me"s},
              {"tEXt", "Description\0a quiet lake"s},
              {"tEXt", "Title\0T"s},
              {"tEXt", "Comment\0c"s},
              {"iTXt", "Copyright\0\0\0en\0\0(c) Lakra"s},
              {"tEXt", "author\0You"s},
              {"tEXt", "DateTime\0"
                       "2020:01:02 03:04:05"s},
              {"tIME", "\x07\xE5\x03\x04\x05\x06\x07"}},
             {{"tEXt", "Late\0after the pixels"s}}),
    };
    if (!srgbProfile.empty()) {
        // A compressed chunk: stored deflate blocks do as well.
        pngs.push_back(rgb8("profile", {{"gAMA", bigEndian(45455)},
                                        {"iCCP", "sRGB\0\0"s + storedDeflate(srgbProfile)},
                                        {"pHYs", bigEndian(2835) + bigEndian(2835) + "\x01"}}));
    }
    // Gamma exponents as OpenImageIO rounds and names them.
    for (uint32_t gamma = 20000; gamma <= 120000; gamma += 1371) {
        pngs.push_back({"gamma", 2, 2, 8, 0, {{"gAMA", bigEndian(gamma)}}});
    }
    return pngs;
}

// Records as a writer keeps them: OpenImageIO's fields decoded from an ICC
// profile's header stay behind.
std::vector<MetadataRecord> keptRecords(const HostImage& image) {
    std::vector<MetadataRecord> kept;
    for (const MetadataRecord& record : image.metadata.records) {
        if (!record.name.starts_with("ICCProfile:")) {
            kept.push_back(record);
        }
    }
    return kept;
}

void expectSameImage(const HostImage& direct, const HostImage& module) {
    EXPECT_EQ(direct.metadata.formatName, module.metadata.formatName);
    testing::expectSameShape(direct, module);
    testing::expectSameRecords(keptRecords(direct), keptRecords(module));
}

void expectReadAlike(const std::string& path) {
    HostImage direct;
    HostImage module;
    std::string error;
    ASSERT_TRUE(readImagePng(path, &direct));
    ASSERT_TRUE(readImageOiio(path, &module, &error)) << error;
    expectSameImage(direct, module);
}

// libpng read directly gives what the image module gives, records in order.
TEST(PngWithoutModule, ReadsAsTheModuleDoes) {
    ScratchFolder folder;
    const std::string path = folder.path("hand.png");
    for (const PngSpec& png : handMadePngs()) {
        SCOPED_TRACE(png.name + " "s + std::to_string(png.before.size()));
        writeFileBytes(path, pngFile(png));
        expectReadAlike(path);
    }
    // Files OpenImageIO writes, in every layout, with the metadata it writes.
    for (int32_t layout = 0; layout < 8; ++layout) {
        const int32_t planes = layout / 2 + 1;
        const OIIO::TypeDesc type =
            layout % 2 == 0 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
        SCOPED_TRACE(layout);
        OIIO::ImageSpec imageSpec(7, 5, planes, type);
        imageSpec.attribute("Artist", "Lakra Tester");
        imageSpec.attribute("ImageDescription", "a quiet lake");
        imageSpec.attribute("DateTime", "2024:05:06 07:08:09");
        imageSpec.attribute("XResolution", 300.0f);
        imageSpec.attribute("YResolution", 300.0f);
        imageSpec.attribute("ResolutionUnit", "in");
        imageSpec.attribute("oiio:ColorSpace", layout < 4 ? "sRGB" : "Gamma1.8");
        imageSpec.attribute("Exif:ImageHistory", "lakra apply");
        imageSpec.attribute("Exif:FNumber", 2.8f);
        imageSpec.attribute("IPTC:Caption", "lake");
        imageSpec.attribute("Software", "Lakra");
        const HostImage pattern = patternImage(7, 5, planes, layout % 2 == 0 ? 8 : 16);
        writeWithOiio(path, imageSpec, pattern.pixels.data());
        expectReadAlike(path);
    }
}

MetadataRecord stringRecord(const std::string& name, const std::string& text) {
    MetadataRecord record{name, "string", 1, std::vector<uint8_t>(text.begin(), text.end())};
    record.bytes.push_back(0);
    return record;
}

MetadataRecord floatRecord(const std::string& name, float value) {
    MetadataRecord record{name, "float", 1, std::vector<uint8_t>(sizeof value)};
    std::memcpy(record.bytes.data(), &value, sizeof value);
    return record;
}

// Written with libpng directly, a PNG is byte for byte the one the image
// module writes: every layout, and the metadata of the PNGs read above and
// of records made up.
TEST(PngWithoutModule, WritesWhatTheModuleWrites) {
    std::vector<std::vector<MetadataRecord>> recordSets = {{}};
    ScratchFolder folder;
    const std::string source = folder.path("source.png");
    for (const PngSpec& png : handMadePngs()) {
        writeFileBytes(source, pngFile(png));
        HostImage read;
        ASSERT_TRUE(readImagePng(source, &read));
        recordSets.push_back(read.metadata.records);
    }
    const std::vector<std::vector<MetadataRecord>> madeUp = {
        {stringRecord("ResolutionUnit", "cm"), floatRecord("XResolution", 118.1f)},
        {stringRecord("ResolutionUnit", "m"), floatRecord("YResolution", 3000.0f)},
        {floatRecord("PixelAspectRatio", 0.5f)},
        {stringRecord("ResolutionUnit", "none"), floatRecord("XResolution", 72.0f),
         floatRecord("YResolution", 96.0f), floatRecord("PixelAspectRatio", 2.0f)},
        {stringRecord("oiio:ColorSpace", "Linear")},
        {stringRecord("oiio:ColorSpace", "Gamma1.8")},
        {stringRecord("oiio:ColorSpace", "Rec709")},
        {stringRecord("DateTime", "2024:02:29 23:59:59"), stringRecord("DocumentName", "lake"),
         stringRecord("Exif:ImageHistory", "lakra apply"), stringRecord("Software", "Lakra")},
    };
    recordSets.insert(recordSets.end(), madeUp.begin(), madeUp.end());
    const std::string direct = folder.path("direct.png");
    const std::string module = folder.path("module.png");
    for (size_t set = 0; set < recordSets.size(); ++set) {
        // The last layout: many rows and several compressed chunks.
        for (int32_t layout = 0; layout < (set == 0 ? 9 : 8); ++layout) {
            SCOPED_TRACE("records " + std::to_string(set) + ", layout " + std::to_string(layout));
            HostImage image = layout == 8
                                  ? patternImage(700, 300, 3, 8)
                                  : patternImage(13, 7, layout / 2 + 1, layout % 2 == 0 ? 8 : 16);
            image.metadata.records = recordSets[set];
            // Both write, or libpng refuses both (an RGB profile on grey).
            std::string error;
            const bool written = writePngFile(direct, image);
            ASSERT_EQ(writeOiioFile(module, FileFormat::Png, image, module, &error), written)
                << error;
            EXPECT_TRUE(!written || readFileBytes(direct) == readFileBytes(module));
        }
    }
}

// Images whose metadata the direct writer does not write as the module does,
// and files the direct reader does not reproduce, are left to the module,
// which writes them, and reads them (or refuses them) as before.
TEST(PngWithoutModule, LeavesTheRestToTheModule) {
    const std::vector<std::pair<const char*, std::vector<MetadataRecord>>> leftOver = {
        {"an Exif number", {floatRecord("Exif:FNumber", 2.8f)}},
        {"an odd date", {stringRecord("DateTime", "yesterday")}},
        {"an odd colour space", {stringRecord("oiio:ColorSpace", "Gamma 2.2 or so")}},
        {"a gamma without a number",
         {floatRecord("oiio:Gamma", 2.4f), stringRecord("oiio:ColorSpace", "Gamma")}},
        {"a long key", {stringRecord(std::string(90, 'k'), "text")}},
        {"a list", {{"Keywords", "string", 2, {'a', 0, 'b', 0}}}},
        {"a renamed name in another case", {stringRecord("artist", "me")}},
        {"a header name in another case", {stringRecord("xresolution", "72")}},
    };
    ScratchFolder folder;
    const std::string path = folder.path("left.png");
    for (const auto& [what, records] : leftOver) {
        SCOPED_TRACE(what);
        HostImage image = patternImage(5, 4, 3, 8);
        image.metadata.records = records;
        EXPECT_FALSE(writePngFile(path, image));
        std::string error;
        EXPECT_TRUE(writeImage(path, image, &error)) << error;
    }
    HostImage floats = patternImage(5, 4, 3, 32);
    EXPECT_FALSE(writePngFile(path, floats));

    const std::pair<PngSpec, bool> leftOverFiles[] = {
        {rgb8("exif", {{"eXIf", "MM\0*\0\0\0\x08\0\0"s}}), true},
        {rgb8("xmp", {{"iTXt", "XML:com.adobe.xmp\0\0\0\0\0<x:xmpmeta/>"s}}), true},
        {rgb8("rawExif", {{"tEXt", "Raw profile type exif\0\nexif\n0\n"s}}), true},
        {rgb8("private", {{"prVt", "own"}}), true},
        {rgb8("keysInTwoCases", {{"tEXt", "Comment\0one"s}, {"tEXt", "comment\0two"s}}), true},
        {{"noPalette", 5, 3, 8, 3}, false},
    };
    for (const auto& [png, moduleReads] : leftOverFiles) {
        SCOPED_TRACE(png.name);
        writeFileBytes(path, pngFile(png));
        HostImage image = blankImage(2, 2, 3, 8);
        EXPECT_FALSE(readImagePng(path, &image));
        EXPECT_EQ(image.width, 2);
        std::string error;
        HostImage module;
        const bool read = readImageOiio(path, &module, &error);
        EXPECT_EQ(read, moduleReads) << error;
        HostImage viaReadImage;
        EXPECT_EQ(readImage(path, &viaReadImage, &error), read) << error;
        EXPECT_EQ(viaReadImage.pixels, module.pixels);
    }
    // Cut short: whatever the module makes of it.
    writeFileBytes(path, pngFile({"rgb8", 5, 3, 8, 2}).substr(0, 60));
    HostImage image;
    EXPECT_FALSE(readImagePng(path, &image));
}

#endif // LAKRA_HAVE_OIIO

} // namespace
} // namespace lakra
