// Image files: one round trip over every format the build writes and every
// host layout, the 16-bit mapping in real files, hand-made and hostile netpbm
// files, Exif orientation, metadata checked with independent tools, and the
// safe-write rules. The netpbm cases run in both builds, the rest natively.

#include "apps/lakra/imageFile.h"

#include "imageTestUtil.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>
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
using testing::normalisedSample;
using testing::patternImage;
using testing::readFileBytes;
using testing::ScratchFolder;
using testing::writeFileBytes;
using namespace std::string_literals;

// What a format keeps of an image written to it and read back.
struct Format {
    const char* extension;
    const char* name; // the format name the reader reports
    bool keepsAlpha;
    int32_t readDepth[3];     // the depth read back after writing 8, 16 and 32 bits
    double eightBitTolerance; // 8-bit samples read back as floats
};

const Format kFormats[] = {
    {".pgm", "pnm", false, {8, 16, 16}, 0.0},
    {".ppm", "pnm", false, {8, 16, 16}, 0.0},
    {".pam", "pam", true, {8, 16, 16}, 0.0},
    {".pfm", "pfm", false, {32, 32, 32}, 1e-7}, // k / 255 within float rounding
#if LAKRA_HAVE_OIIO
    {".png", "png", true, {8, 16, 16}, 0.0},
    {".tif", "tiff", true, {8, 16, 32}, 0.0},
    {".exr", "openexr", true, {32, 32, 32}, 1.0 / 4096}, // half floats
#endif
};

struct Trip {
    const Format* format;
    int32_t planes;
    int32_t depth;
};

void PrintTo(const Trip& trip, std::ostream* out) {
    *out << (trip.format->extension + 1) << "_" << trip.planes << "planes_" << trip.depth << "bit";
}

class RoundTrip : public ::testing::TestWithParam<Trip> {};

TEST_P(RoundTrip, KeepsWhatTheFormatHolds) {
    const Trip trip = GetParam();
    const HostImage source = patternImage(7, 5, trip.planes, trip.depth);
    ScratchFolder folder;
    const std::string path = folder.path(std::string("trip") + trip.format->extension);
    std::string error;
    ASSERT_TRUE(writeImage(path, source, &error)) << error;
    HostImage read;
    ASSERT_TRUE(readImage(path, &read, &error)) << error;

    const int32_t readDepth = trip.format->readDepth[trip.depth / 16];
    EXPECT_EQ(read.depth, readDepth);
    EXPECT_EQ(read.metadata.formatName, trip.format->name);
    // Floats into 16-bit files: clipped, then off by half a step each way at most.
    const bool narrowed = trip.depth == 32 && readDepth == 16;
    const double tolerance = narrowed                             ? 1.0 / 32768
                             : trip.depth == 8 && readDepth == 32 ? trip.format->eightBitTolerance
                                                                  : 0.0;
    const int32_t kept = trip.planes - (source.alpha && !trip.format->keepsAlpha ? 1 : 0);
    testing::expectSameSamples(source, read, kept, tolerance, narrowed);
}

std::vector<Trip> allTrips() {
    std::vector<Trip> trips;
    for (const Format& format : kFormats) {
        for (int32_t planes = 1; planes <= 4; ++planes) {
            for (int32_t depth : {8, 16, 32}) {
                trips.push_back({&format, planes, depth});
            }
        }
    }
    return trips;
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, RoundTrip, ::testing::ValuesIn(allTrips()));

TEST(HostSixteenBitMapping, EveryHostValueSurvivesAndEndsRoundToNearest) {
    for (uint32_t host = 0; host <= 32768; ++host) {
        const auto value = static_cast<uint16_t>(host);
        ASSERT_EQ(hostFromFile16(fileFromHost16(value)), value) << "host value " << host;
    }
    // {host, file}: 1 is 1.99997, 16384 is 32767.5 (up), above full scale clips.
    for (const auto& [host, file] :
         {std::pair{0, 0}, std::pair{1, 2}, std::pair{16384, 32768}, std::pair{32768, 65535}}) {
        EXPECT_EQ(fileFromHost16(static_cast<uint16_t>(host)), file) << host;
    }
    EXPECT_EQ(fileFromHost16(40000), 65535);
    // {file, host}: 1 is 0.50001, 32768 is 16384.25.
    for (const auto& [file, host] :
         {std::pair{1, 1}, std::pair{32768, 16384}, std::pair{65535, 32768}}) {
        EXPECT_EQ(hostFromFile16(static_cast<uint16_t>(file)), host) << file;
    }
}

// The file's own 16-bit samples of a one-row grey image.
std::vector<uint16_t> fileSamples(const std::string& path, size_t count) {
    std::vector<uint16_t> samples(count);
#if LAKRA_HAVE_OIIO
    if (!path.ends_with(".pgm")) {
        auto in = OIIO::ImageInput::open(path);
        EXPECT_TRUE(in && in->read_image(0, 0, 0, 1, OIIO::TypeDesc::UINT16, samples.data()));
        return samples;
    }
#endif
    const std::string bytes = readFileBytes(path);
    const size_t header = bytes.size() - 2 * count; // big-endian samples end the file
    EXPECT_EQ(bytes.substr(0, header), "P5\n" + std::to_string(count) + " 1\n65535\n");
    for (size_t x = 0; x < count && header + 2 * x + 1 < bytes.size(); ++x) {
        samples[x] = static_cast<uint16_t>(static_cast<uint8_t>(bytes[header + 2 * x]) << 8 |
                                           static_cast<uint8_t>(bytes[header + 2 * x + 1]));
    }
    return samples;
}

TEST(HostSixteenBitMapping, FilesHoldEveryHostValue) {
    HostImage ramp = blankImage(32769, 1, 1, 16);
    for (int32_t x = 0; x < ramp.width; ++x) {
        testing::setSample(&ramp, x, 0, 0, x);
    }
    ScratchFolder folder;
    for (const char* name : {
             "ramp.pgm"
#if LAKRA_HAVE_OIIO
                 ,
                 "ramp.png", "ramp.tif"
#endif
         }) {
        SCOPED_TRACE(name);
        const std::string path = folder.path(name);
        std::string error;
        ASSERT_TRUE(writeImage(path, ramp, &error)) << error;
        const std::vector<uint16_t> file = fileSamples(path, 32769);
        EXPECT_EQ(std::tie(file[0], file[16384], file[32768]),
                  std::make_tuple(uint16_t{0}, uint16_t{32768}, uint16_t{65535}));
        HostImage read;
        ASSERT_TRUE(readImage(path, &read, &error)) << error;
        testing::expectIdentical(ramp, read);
    }
}

std::string littleEndianFloat(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    return {static_cast<char>(bits), static_cast<char>(bits >> 8), static_cast<char>(bits >> 16),
            static_cast<char>(bits >> 24)};
}

std::string bigEndianFloat(float value) {
    const std::string little = littleEndianFloat(value);
    return {little[3], little[2], little[1], little[0]};
}

// A netpbm file put together by hand and the host samples it must give, top
// row first, as stored: 16 bits on the host's scale.
struct KnownFile {
    const char* name;
    std::string bytes;
    std::array<int32_t, 4> shape; // width, height, planes, depth
    std::vector<double> samples;
};

void PrintTo(const KnownFile& file, std::ostream* out) {
    *out << file.name;
}

class KnownNetpbm : public ::testing::TestWithParam<KnownFile> {};

TEST_P(KnownNetpbm, ReadsAsTheHostHoldsIt) {
    const KnownFile& known = GetParam();
    ScratchFolder folder;
    const std::string path = folder.path("known.pnm");
    writeFileBytes(path, known.bytes);
    HostImage image;
    std::string error;
    ASSERT_TRUE(readImageNetpbm(path, &image, &error)) << error;
    ASSERT_EQ((std::array{image.width, image.height, image.planes, image.depth}), known.shape);
    EXPECT_EQ(image.alpha, image.planes % 2 == 0);
    std::vector<double> samples;
    for (size_t i = 0; i < known.samples.size(); ++i) {
        samples.push_back(testing::storedSample(image, i));
    }
    EXPECT_EQ(samples, known.samples);
}

const KnownFile kKnownFiles[] = {
    // PFM stores the bottom row first, little-endian for a negative scale.
    {"PfmLittleEndian",
     "Pf\n1 2\n-1.0\n" + littleEndianFloat(0.25f) + littleEndianFloat(0.75f),
     {1, 2, 1, 32},
     {0.75, 0.25}},
    {"PfmBigEndian",
     "PF\n1 1\n1.0\n" + bigEndianFloat(1.5f) + bigEndianFloat(-2.0f) + bigEndianFloat(0.125f),
     {1, 1, 3, 32},
     {1.5, -2.0, 0.125}},
    {"Maxval65535", "P5\n3 1\n65535\n\x00\x00\x80\x00\xFF\xFF"s, {3, 1, 1, 16}, {0, 16384, 32768}},
    // Rounded to nearest: 50 x 255 / 100 = 127.5, 1 x 255 / 100 = 2.55.
    {"Maxval100", "P5 3 1 100\n\x64\x32\x01", {3, 1, 1, 8}, {255, 128, 3}},
    // 512 x 32768 / 1023 = 16400.0
    {"Maxval1023", "P6 1 1 1023\n\x03\xFF\x02\x00\x00\x00"s, {1, 1, 3, 16}, {32768, 16400, 0}},
    {"PamCommentsAndTupleType",
     "P7\n# by hand\nWIDTH 2\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n"
     "\x0A\x14\x1E\x28",
     {2, 1, 2, 8},
     {10, 20, 30, 40}},
};

INSTANTIATE_TEST_SUITE_P(Files, KnownNetpbm, ::testing::ValuesIn(kKnownFiles),
                         [](const auto& row) { return std::string(row.param.name); });

struct HostileFile {
    const char* name;
    std::string bytes;
    const char* reason; // expected in the message
};

void PrintTo(const HostileFile& file, std::ostream* out) {
    *out << file.name;
}

class HostileNetpbm : public ::testing::TestWithParam<HostileFile> {};

TEST_P(HostileNetpbm, IsRefusedWithItsReason) {
    ScratchFolder folder;
    const std::string path = folder.path("hostile.ppm");
    writeFileBytes(path, GetParam().bytes);
    HostImage image = blankImage(2, 2, 3, 8);
    image.pixels[0] = 77;
    std::string error;
    EXPECT_FALSE(readImageNetpbm(path, &image, &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
    EXPECT_EQ(image.width, 2); // untouched
    EXPECT_EQ(image.pixels[0], 77);
}

const HostileFile kHostileFiles[] = {
    {"Empty", "", "not a PGM"},
    {"Text", "hello", "not a PGM"},
    {"WidthBeyond32Bits", "P5\n4000000000 1\n255\n", "too large"},
    {"EndlessDigits", "P6\n99999999999999999999999999 1 255\n", "too large"},
    {"RowOverTwoGiB", "PF\n600000000 1\n-1\n", "too large"},
    {"HeightBeyond32Bits", "P5\n1 3000000000\n255\n", "too large"},
    {"ZeroSize", "P5 0 0 255\n", "no pixels"},
    {"NegativeWidth", "P5 -1 1 255\n", "damaged"},
    {"MaxvalZero", std::string("P5 1 1 0\n\0", 10), "maxval"},
    {"MaxvalAbove16Bits", "P5 1 1 70000\nxx", "maxval"},
    {"NoSpaceAfterMaxval", "P5 1 1 255", "damaged"},
    {"Truncated", "P6 100 100 255\n0123456789", "truncated"},
    {"HugeClaimTinyFile", "P6 30000 30000 65535\n", "truncated"},
    {"SampleAboveMaxval", "P5 1 1 100\n\xC8", "exceeds maxval"},
    {"SixteenBitAboveMaxval", "P5 1 1 1000\n\xFF\xFF", "exceeds maxval"},
    {"CommentFillsHeader", "P5\n#" + std::string(70000, 'x') + "\n1 1 255\n\x01", "damaged"},
    {"PamWithoutEnd", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n", "ENDHDR"},
    {"PamFiveChannels", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\nENDHDR\n12345", "5 channels"},
    {"PamTwoColourChannels", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n12",
     "tuple type"},
    {"PamCmyk", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE CMYK\nENDHDR\n1234",
     "tuple type"},
    {"PamNoMaxval", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nENDHDR\n1", "maxval"},
    {"PfmZeroScale", "PF\n1 1\n0\n123456789012", "scale"},
    {"PfmNanScale", "PF 1 1 nan\n123456789012", "scale"},
    {"PfmTruncated", "PF\n2 2\n-1\n0123456789", "truncated"},
};

INSTANTIATE_TEST_SUITE_P(Headers, HostileNetpbm, ::testing::ValuesIn(kHostileFiles),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ReadImageErrors, NameTheFileAndTheReason) {
    ScratchFolder folder;
    HostImage image;
    std::string error;
    EXPECT_FALSE(readImage(folder.path("missing.ppm"), &image, &error));
    EXPECT_NE(error.find("missing.ppm: cannot read: no such file"), std::string::npos) << error;
    std::filesystem::create_directory(folder.path("folder.ppm"));
    EXPECT_FALSE(readImage(folder.path("folder.ppm"), &image, &error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    const std::string notes = folder.path("notes.txt");
    writeFileBytes(notes, "not a picture at all\n");
    EXPECT_FALSE(readImage(notes, &image, &error));
    EXPECT_NE(error.find(notes + ": cannot read"), std::string::npos) << error;
#if LAKRA_HAVE_OIIO
    // (A cut PNG would do as well, but OpenImageIO 2.4 leaks a message string
    // when libpng jumps out of a damaged file, which the leak checker reports.)
    const std::string cut = folder.path("cut.tif");
    ASSERT_TRUE(writeImage(cut, patternImage(64, 64, 3, 8), &error)) << error;
    writeFileBytes(cut, readFileBytes(cut).substr(0, 200));
    EXPECT_FALSE(readImage(cut, &image, &error));
    EXPECT_NE(error.find(cut + ": cannot read"), std::string::npos) << error;
    const std::string huge = folder.path("huge.ppm");
    writeFileBytes(huge, "P6\n1000000000 1\n255\n");
    EXPECT_FALSE(readImageOiio(huge, &image, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_EQ(image.width, 0);
#else
    const std::string png = folder.path("picture.png");
    writeFileBytes(png, "\x89PNG\r\n\x1A\n");
    EXPECT_FALSE(readImage(png, &image, &error));
    EXPECT_NE(error.find("unsupported image format"), std::string::npos) << error;
#endif
}

// A write and what must be in the folder after it: the new file, or on a
// failure whatever stood at the target before (a file "keep me", a folder or
// nothing).
struct Write {
    const char* name;
    std::string target;
    HostImage image;
    const char* reason; // nullptr: the write succeeds

    enum { Nothing, OldFile, Folder } before;
};

void PrintTo(const Write& write, std::ostream* out) {
    *out << write.name;
}

class SafeWrite : public ::testing::TestWithParam<Write> {};

TEST_P(SafeWrite, LeavesTheNewFileOrWhatWasThere) {
    const Write& write = GetParam();
    ScratchFolder folder;
    const std::string path = folder.path(write.target);
    if (write.before == Write::Folder) {
        std::filesystem::create_directory(path);
    } else if (write.before == Write::OldFile) {
        writeFileBytes(path, "keep me");
    }
    std::string error;
    const bool written = writeImage(path, write.image, &error);
    const std::vector<std::string> entries = folder.entries();
    if (write.reason == nullptr) {
        ASSERT_TRUE(written) << error;
        HostImage read;
        ASSERT_TRUE(readImage(path, &read, &error)) << error;
        testing::expectIdentical(write.image, read);
        EXPECT_EQ(entries, std::vector<std::string>{write.target});
        return;
    }
    EXPECT_FALSE(written);
    EXPECT_NE(error.find(write.reason), std::string::npos) << error;
    if (write.before == Write::Nothing) {
        EXPECT_TRUE(entries.empty());
        return;
    }
    EXPECT_EQ(entries, std::vector<std::string>{write.target});
    if (write.before == Write::OldFile) {
        EXPECT_EQ(readFileBytes(path), "keep me");
    } else {
        EXPECT_TRUE(std::filesystem::is_directory(path));
    }
}

std::vector<Write> writes() {
    const HostImage image = patternImage(4, 3, 3, 8);
    HostImage shortPixels = image;
    shortPixels.pixels.pop_back();
    HostImage twoColours = patternImage(2, 2, 3, 8);
    twoColours.planes = 2; // no such host layout
    std::vector<Write> rows = {
        {"ReplacesAnExistingFile", "out.ppm", image, nullptr, Write::OldFile},
        // The temporary name beside the target must fit wherever the target fits.
        {"LongestName", std::string(200, 'n') + ".pgm", image, nullptr, Write::Nothing},
        {"UnsupportedExtension", "out.xyz", image, "unsupported file type", Write::OldFile},
        {"ShortPixelBuffer", "out.pam", shortPixels, "pixel buffer", Write::OldFile},
        {"NoSuchLayout", "out.pam", twoColours, "cannot write an image of 2 planes",
         Write::OldFile},
        {"MissingFolder", "absent/out.pgm", image, "absent/out.pgm: cannot create", Write::Nothing},
        {"FolderInTheWay", "out.pfm", image, "folder", Write::Folder},
#if LAKRA_HAVE_OIIO
        {"JpegBeyondItsSizeLimit", "wide.jpg", blankImage(70000, 1, 1, 8), "at most 65500 pixels",
         Write::OldFile},
#else
        {"OtherFormatsInThisBuild", "picture.png", image, "this build writes only", Write::OldFile},
#endif
    };
#if LAKRA_HAVE_OIIO
    // libpng refuses a malformed ICC profile after the file has been created.
    HostImage badProfile = patternImage(4, 4, 3, 8);
    badProfile.metadata.records.push_back(
        {"ICCProfile", "uint8[200]", 1, std::vector<uint8_t>(200)});
    rows.push_back({"CodecFailsAfterCreating", "out.png", badProfile, "out.png: cannot write",
                    Write::OldFile});
#endif
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Cases, SafeWrite, ::testing::ValuesIn(writes()),
                         [](const auto& row) { return std::string(row.param.name); });

#if LAKRA_HAVE_OIIO

void writeWithOiio(const std::string& path, const OIIO::ImageSpec& imageSpec, const void* pixels) {
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out) << OIIO::geterror();
    ASSERT_TRUE(out->open(path, imageSpec)) << out->geterror();
    ASSERT_TRUE(out->write_image(imageSpec.format, pixels)) << out->geterror();
    ASSERT_TRUE(out->close()) << out->geterror();
}

std::string toolOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, got);
        }
        pclose(pipe);
    }
    return output;
}

template <typename T>
T recordValue(const HostImage& image, const std::string& name) {
    T value{};
    for (const MetadataRecord& record : image.metadata.records) {
        if (record.name == name && record.bytes.size() == sizeof value) {
            std::memcpy(&value, record.bytes.data(), sizeof value);
        }
    }
    return value;
}

TEST(JpegOutput, NarrowsToEightBitsAndDropsTransparency) {
    struct Case {
        int32_t planes;
        int32_t depth;
        std::vector<double> stored;
        std::vector<int> expected8;
    };

    const Case cases[] = {{4, 16, {32768, 16384, 0, 100}, {255, 128, 0}},
                          {3, 32, {1.5, 0.5, -0.25}, {255, 128, 0}},
                          {2, 8, {200, 0}, {200}}};
    ScratchFolder folder;
    const std::string path = folder.path("flat.jpg");
    std::string error;
    for (const Case& flat : cases) {
        HostImage image = blankImage(16, 16, flat.planes, flat.depth);
        for (int32_t i = 0; i < 16 * 16 * flat.planes; ++i) {
            const int32_t c = i % flat.planes;
            testing::setSample(&image, i / flat.planes % 16, i / flat.planes / 16, c,
                               flat.stored[static_cast<size_t>(c)]);
        }
        ASSERT_TRUE(writeImage(path, image, &error)) << error;
        HostImage read;
        ASSERT_TRUE(readImage(path, &read, &error)) << error;
        ASSERT_EQ(read.depth, 8);
        ASSERT_EQ(read.planes, static_cast<int32_t>(flat.expected8.size()));
        for (size_t c = 0; c < flat.expected8.size(); ++c) {
            EXPECT_NEAR(read.pixels[c], flat.expected8[c], 2) << "plane " << c;
        }
    }
}

// Exif orientation of a stored 3 x 2 image "10 20 30 / 40 50 60", and how it
// must come out upright.
struct Orientation {
    int code;
    int32_t width;
    std::vector<uint8_t> upright;
};

void PrintTo(const Orientation& orientation, std::ostream* out) {
    *out << "orientation" << orientation.code;
}

class ExifOrientation : public ::testing::TestWithParam<Orientation> {};

TEST_P(ExifOrientation, TiffComesOutUpright) {
    const Orientation orientation = GetParam();
    ScratchFolder folder;
    const std::string path = folder.path("turned.tif");
    OIIO::ImageSpec imageSpec(3, 2, 1, OIIO::TypeDesc::UINT8);
    imageSpec.attribute("Orientation", orientation.code);
    const uint8_t stored[] = {10, 20, 30, 40, 50, 60};
    writeWithOiio(path, imageSpec, stored);
    HostImage read;
    std::string error;
    ASSERT_TRUE(readImage(path, &read, &error)) << error;
    EXPECT_EQ(read.width, orientation.width);
    EXPECT_EQ(read.height, 6 / orientation.width);
    EXPECT_EQ(read.pixels, orientation.upright);
    EXPECT_EQ(recordValue<int32_t>(read, "Orientation"), 1);
}

const Orientation kOrientations[] = {
    {1, 3, {10, 20, 30, 40, 50, 60}}, {2, 3, {30, 20, 10, 60, 50, 40}},
    {3, 3, {60, 50, 40, 30, 20, 10}}, {4, 3, {40, 50, 60, 10, 20, 30}},
    {5, 2, {10, 40, 20, 50, 30, 60}}, {6, 2, {40, 10, 50, 20, 60, 30}},
    {7, 2, {60, 30, 50, 20, 40, 10}}, {8, 2, {30, 60, 20, 50, 10, 40}},
};

INSTANTIATE_TEST_SUITE_P(AllCodes, ExifOrientation, ::testing::ValuesIn(kOrientations));

TEST(ExifOrientation, JpegTurnedAQuarterComesOutUpright) {
    // Stored 16 x 8: left half red, right half blue. Orientation 6 shows it
    // turned clockwise: 8 x 16, red on top.
    ScratchFolder folder;
    const std::string path = folder.path("turned.jpg");
    OIIO::ImageSpec imageSpec(16, 8, 3, OIIO::TypeDesc::UINT8);
    imageSpec.attribute("Orientation", 6);
    imageSpec.attribute("XResolution", 100.0f);
    imageSpec.attribute("YResolution", 200.0f);
    std::vector<uint8_t> stored(16 * 8 * 3, 0);
    for (size_t i = 0; i < 16 * 8; ++i) {
        stored[i * 3 + ((i % 16) < 8 ? 0 : 2)] = 255;
    }
    writeWithOiio(path, imageSpec, stored.data());
    HostImage read;
    std::string error;
    ASSERT_TRUE(readImage(path, &read, &error)) << error;
    ASSERT_EQ(read.width, 8);
    ASSERT_EQ(read.height, 16);
    for (const auto& [y, c, expected] : {std::tuple{3, 0, 1.0}, std::tuple{3, 2, 0.0},
                                         std::tuple{12, 0, 0.0}, std::tuple{12, 2, 1.0}}) {
        EXPECT_NEAR(normalisedSample(read, 4, y, c), expected, 0.05) << y << " " << c;
    }
    // What the metadata says per axis turns with the pixels.
    EXPECT_EQ(recordValue<float>(read, "XResolution"), 200.0f);
    EXPECT_EQ(recordValue<float>(read, "YResolution"), 100.0f);
    EXPECT_EQ(recordValue<int32_t>(read, "Orientation"), 1);
}

// A small but well-formed ICC profile: header, one description tag.
std::vector<uint8_t> testIccProfile() {
    const std::string description = "Lakra test profile";
    const size_t tagBytes = 12 + description.size() + 1 + 8 + 3 + 67;
    std::vector<uint8_t> icc(144 + ((tagBytes + 3) & ~size_t{3}), 0);
    const auto put = [&](size_t at, uint32_t value) {
        for (size_t i = 0; i < 4; ++i) {
            icc[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
        }
    };
    const auto putText = [&](size_t at, const char* text) { std::memcpy(&icc[at], text, 4); };
    put(0, static_cast<uint32_t>(icc.size()));
    put(8, 0x02100000);
    putText(12, "mntr");
    putText(16, "RGB ");
    putText(20, "XYZ ");
    putText(36, "acsp");
    put(68, 0x0000F6D6); // D50
    put(72, 0x00010000);
    put(76, 0x0000D32D);
    put(128, 1);
    putText(132, "desc");
    put(136, 144);
    put(140, static_cast<uint32_t>(tagBytes));
    putText(144, "desc");
    put(152, static_cast<uint32_t>(description.size() + 1));
    std::memcpy(&icc[156], description.data(), description.size());
    return icc;
}

class MetadataCarried : public ::testing::TestWithParam<const char*> {};

TEST_P(MetadataCarried, ToolsFindProfileAndTextInTheOutput) {
    const std::string extension = GetParam();
    const bool exr = extension == ".exr";
    if (toolOutput(std::string("command -v ") + (exr ? "oiiotool" : "exiftool")).empty()) {
        GTEST_SKIP() << "exiftool or oiiotool is not installed";
    }
    ScratchFolder folder;
    const std::vector<uint8_t> icc = testIccProfile();
    OIIO::ImageSpec imageSpec(6, 4, 3, OIIO::TypeDesc::UINT8);
    imageSpec.attribute("ICCProfile",
                        OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(icc.size())),
                        icc.data());
    imageSpec.attribute("Artist", "Lakra Tester");
    imageSpec.attribute("ImageDescription", "a quiet lake");
    imageSpec.attribute("Orientation", 6);
    imageSpec.attribute("XResolution", 300.0f); // OpenImageIO 2.4's TIFF writer stores
    imageSpec.attribute("YResolution", 300.0f); // XResolution in both tags
    imageSpec.attribute("ResolutionUnit", "in");
    imageSpec.attribute("compression", "lzw");
    const std::vector<uint8_t> pixels(6 * 4 * 3, 90);
    const std::string source = folder.path("source.tif");
    writeWithOiio(source, imageSpec, pixels.data());

    HostImage image;
    std::string error;
    ASSERT_TRUE(readImage(source, &image, &error)) << error;
    const std::string output = folder.path("out" + extension);
    ASSERT_TRUE(writeImage(output, image, &error)) << error;

    const std::string tags = toolOutput(exr ? "oiiotool --info -v '" + output + "'"
                                            : "exiftool -n -s -s '" + output + "'");
    EXPECT_NE(tags.find("Lakra Tester"), std::string::npos) << tags;
    EXPECT_NE(tags.find("a quiet lake"), std::string::npos) << tags;
    if (exr) {
        EXPECT_NE(tags.find("4 x    6"), std::string::npos) << tags;
        return;
    }
    EXPECT_EQ(toolOutput("exiftool -b -ICC_Profile '" + output + "'"),
              std::string(icc.begin(), icc.end()));
    EXPECT_NE(tags.find("ImageWidth: 4\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find("ImageHeight: 6\n"), std::string::npos) << tags;
    EXPECT_EQ(tags.find("Orientation: 6"), std::string::npos) << tags;
    if (extension == ".jpg") {
        EXPECT_NE(tags.find("YResolution: 300\n"), std::string::npos) << tags;
    }
    if (extension == ".tif") {
        EXPECT_NE(tags.find("Compression: 8\n"), std::string::npos) << tags; // zip, not lzw
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, MetadataCarried,
                         ::testing::Values(".jpg", ".png", ".tif", ".exr"),
                         [](const auto& row) { return std::string(row.param + 1); });

// The netpbm reader and OpenImageIO's agree on files either side wrote.
TEST(NetpbmReaders, AgreeOnFilesEitherSideWrote) {
    ScratchFolder folder;
    std::string error;
    std::vector<std::string> paths;
    for (const auto& [planes, type] :
         {std::pair{1, OIIO::TypeDesc::UINT8}, std::pair{3, OIIO::TypeDesc::UINT16}}) {
        const HostImage pattern = patternImage(5, 4, planes, 8);
        OIIO::ImageSpec imageSpec(5, 4, planes, type);
        std::vector<uint16_t> wide(pattern.pixels.begin(), pattern.pixels.end());
        for (uint16_t& sample : wide) {
            sample = static_cast<uint16_t>(sample * 257);
        }
        paths.push_back(folder.path("oiio" + std::to_string(planes) + ".pnm"));
        writeWithOiio(paths.back(), imageSpec,
                      type == OIIO::TypeDesc::UINT8
                          ? static_cast<const void*>(pattern.pixels.data())
                          : wide.data());
    }
    for (const auto& [name, planes, depth] :
         {std::tuple{"ours.pgm", 1, 8}, std::tuple{"ours.ppm", 4, 16},
          std::tuple{"ours.pfm", 3, 32}, std::tuple{"grey.pfm", 2, 16}}) {
        paths.push_back(folder.path(name));
        ASSERT_TRUE(writeImage(paths.back(), patternImage(6, 3, planes, depth), &error)) << error;
    }
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        HostImage netpbm;
        HostImage oiio;
        ASSERT_TRUE(readImageNetpbm(path, &netpbm, &error)) << error;
        ASSERT_TRUE(readImageOiio(path, &oiio, &error)) << error;
        ASSERT_EQ(oiio.depth, netpbm.depth);
        // OpenImageIO 2.4 scales 16-bit PNM samples by 1/(maxval + 1): 65535
        // reads as 65534, one host step low at most.
        testing::expectSameSamples(netpbm, oiio, netpbm.planes,
                                   netpbm.depth == 16 ? 1.0 / 32768 : 0.0, false);
    }
}

struct UnsuitableLayout {
    const char* name;
    int channels;
    std::vector<std::string> channelNames;
    const char* reason;
};

void PrintTo(const UnsuitableLayout& layout, std::ostream* out) {
    *out << layout.name;
}

class UnsuitableImage : public ::testing::TestWithParam<UnsuitableLayout> {};

TEST_P(UnsuitableImage, IsRefusedWithItsReason) {
    const UnsuitableLayout& bad = GetParam();
    ScratchFolder folder;
    const std::string path = folder.path(bad.name);
    OIIO::ImageSpec imageSpec(2, 2, bad.channels, OIIO::TypeDesc::FLOAT);
    if (!bad.channelNames.empty()) {
        imageSpec.channelnames = bad.channelNames;
        imageSpec.alpha_channel = -1;
    }
    const std::vector<float> pixels(static_cast<size_t>(4 * bad.channels), 0.5f);
    writeWithOiio(path, imageSpec, pixels.data());
    HostImage image;
    std::string error;
    EXPECT_FALSE(readImage(path, &image, &error));
    EXPECT_NE(error.find(path + ": cannot read"), std::string::npos) << error;
    EXPECT_NE(error.find(bad.reason), std::string::npos) << error;
}

const UnsuitableLayout kUnsuitableLayouts[] = {
    {"five.tif", 5, {}, "5 channels"},
    {"twoColours.exr", 2, {"R", "G"}, "multichannel"},
    {"rgbz.exr", 4, {"R", "G", "B", "Z"}, "multichannel"},
};

INSTANTIATE_TEST_SUITE_P(Layouts, UnsuitableImage, ::testing::ValuesIn(kUnsuitableLayouts));

#endif // LAKRA_HAVE_OIIO

} // namespace
} // namespace lakra
