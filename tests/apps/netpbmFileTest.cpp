// The netpbm reader and writer, the 16-bit mapping and the safe-write rules;
// these run in both builds.

#include "apps/lakra/imageFile.h"
#include "imageTestUtil.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace lakra {
namespace {

using testing::blankImage;
using testing::normalisedSample;
using testing::patternImage;
using testing::readFileBytes;
using testing::ScratchFolder;
using testing::writeFileBytes;

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

TEST(HostSixteenBitMapping, EveryHostValueSurvivesWriteAndRead) {
    for (uint32_t host = 0; host <= 32768; ++host) {
        const auto value = static_cast<uint16_t>(host);
        ASSERT_EQ(hostFromFile16(fileFromHost16(value)), value) << "host value " << host;
    }
}

TEST(HostSixteenBitMapping, EndsAndMidpointsRoundToNearest) {
    EXPECT_EQ(fileFromHost16(0), 0);
    EXPECT_EQ(fileFromHost16(1), 2);         // 1.99997
    EXPECT_EQ(fileFromHost16(16384), 32768); // 32767.5 rounds up
    EXPECT_EQ(fileFromHost16(32768), 65535);
    EXPECT_EQ(fileFromHost16(40000), 65535); // above full scale: clipped
    EXPECT_EQ(hostFromFile16(1), 1);         // 0.50001
    EXPECT_EQ(hostFromFile16(32768), 16384); // 16384.25
    EXPECT_EQ(hostFromFile16(65535), 32768);
}

TEST(HostSixteenBitMapping, PgmFileHoldsEveryHostValue) {
    ScratchFolder folder;
    HostImage ramp = blankImage(32769, 1, 1, 16);
    for (int32_t x = 0; x < ramp.width; ++x) {
        testing::setSample(&ramp, x, 0, 0, x);
    }
    const std::string path = folder.path("ramp.pgm");
    std::string error;
    ASSERT_TRUE(writeImage(path, ramp, &error)) << error;
    const std::string bytes = readFileBytes(path);
    const std::string header = "P5\n32769 1\n65535\n";
    ASSERT_EQ(bytes.size(), header.size() + 2 * 32769u);
    const auto fileSample = [&](size_t x) {
        return (static_cast<uint8_t>(bytes[header.size() + 2 * x]) << 8) |
               static_cast<uint8_t>(bytes[header.size() + 2 * x + 1]);
    };
    EXPECT_EQ(fileSample(0), 0);
    EXPECT_EQ(fileSample(16384), 32768);
    EXPECT_EQ(fileSample(32768), 65535);
    HostImage read;
    ASSERT_TRUE(readImage(path, &read, &error)) << error;
    testing::expectIdentical(ramp, read);
}

struct NetpbmTrip {
    const char* extension;
    int32_t planes;
    int32_t depth;
};

void PrintTo(const NetpbmTrip& trip, std::ostream* out) {
    *out << (trip.extension + 1) << "_" << trip.planes << "planes_" << trip.depth << "bit";
}

class NetpbmRoundTrip : public ::testing::TestWithParam<NetpbmTrip> {};

TEST_P(NetpbmRoundTrip, KeepsWhatTheFormatHolds) {
    const NetpbmTrip trip = GetParam();
    const std::string extension = trip.extension;
    const bool pam = extension == ".pam";
    const bool pfm = extension == ".pfm";
    const HostImage source = patternImage(7, 5, trip.planes, trip.depth);
    ScratchFolder folder;
    const std::string path = folder.path("trip" + extension);
    std::string error;
    ASSERT_TRUE(writeImage(path, source, &error)) << error;
    HostImage read;
    ASSERT_TRUE(readImage(path, &read, &error)) << error;

    const int32_t keptPlanes = pam ? trip.planes : trip.planes - (source.alpha ? 1 : 0);
    EXPECT_EQ(read.depth, pfm ? 32 : trip.depth == 32 ? 16 : trip.depth);
    EXPECT_EQ(read.metadata.formatName, pam ? "pam" : pfm ? "pfm" : "pnm");
    // Floats into 16-bit files: clipped, then off by half a step each way at most.
    // 8-bit samples become floats of k / 255, within float rounding.
    const bool floatsNarrowed = trip.depth == 32 && !pfm;
    const double tolerance = floatsNarrowed ? 1.0 / 32768 : pfm && trip.depth == 8 ? 1e-7 : 0.0;
    testing::expectSameSamples(source, read, keptPlanes, tolerance, floatsNarrowed);
}

std::vector<NetpbmTrip> netpbmTrips() {
    std::vector<NetpbmTrip> trips;
    for (const char* extension : {".pgm", ".ppm", ".pam", ".pfm"}) {
        for (int32_t planes = 1; planes <= 4; ++planes) {
            for (int32_t depth : {8, 16, 32}) {
                trips.push_back({extension, planes, depth});
            }
        }
    }
    return trips;
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, NetpbmRoundTrip, ::testing::ValuesIn(netpbmTrips()));

HostImage readBytes(const std::string& bytes) {
    ScratchFolder folder;
    const std::string path = folder.path("known.pnm");
    writeFileBytes(path, bytes);
    HostImage image;
    std::string error;
    EXPECT_TRUE(readImageNetpbm(path, &image, &error)) << error;
    return image;
}

TEST(NetpbmKnownFiles, PfmStoresBottomRowFirstInEitherByteOrder) {
    const HostImage little =
        readBytes("Pf\n1 2\n-1.0\n" + littleEndianFloat(0.25f) + littleEndianFloat(0.75f));
    ASSERT_EQ(little.height, 2);
    EXPECT_EQ(normalisedSample(little, 0, 0, 0), 0.75);
    EXPECT_EQ(normalisedSample(little, 0, 1, 0), 0.25);

    const HostImage big = readBytes("PF\n1 1\n1.0\n" + bigEndianFloat(1.5f) +
                                    bigEndianFloat(-2.0f) + bigEndianFloat(0.125f));
    ASSERT_EQ(big.planes, 3);
    EXPECT_EQ(normalisedSample(big, 0, 0, 0), 1.5);
    EXPECT_EQ(normalisedSample(big, 0, 0, 1), -2.0);
    EXPECT_EQ(normalisedSample(big, 0, 0, 2), 0.125);
}

TEST(NetpbmKnownFiles, SamplesScaleToTheHostRange) {
    const HostImage wide = readBytes(std::string("P5\n3 1\n65535\n\x00\x00\x80\x00\xFF\xFF", 20));
    ASSERT_EQ(wide.depth, 16);
    EXPECT_EQ(normalisedSample(wide, 0, 0, 0) * 32768, 0);
    EXPECT_EQ(normalisedSample(wide, 1, 0, 0) * 32768, 16384);
    EXPECT_EQ(normalisedSample(wide, 2, 0, 0) * 32768, 32768);

    const HostImage narrow = readBytes("P5 2 1 15\n\x0F\x08");
    ASSERT_EQ(narrow.depth, 8);
    EXPECT_EQ(narrow.pixels, (std::vector<uint8_t>{255, 136}));

    const HostImage tenBit = readBytes(std::string("P6 1 1 1023\n\x03\xFF\x02\x00\x00\x00", 18));
    ASSERT_EQ(tenBit.depth, 16);
    EXPECT_EQ(normalisedSample(tenBit, 0, 0, 0) * 32768, 32768);
    EXPECT_EQ(normalisedSample(tenBit, 0, 0, 1) * 32768, 16400); // 512 * 32768 / 1023
    EXPECT_EQ(normalisedSample(tenBit, 0, 0, 2) * 32768, 0);
}

TEST(NetpbmKnownFiles, PamHeaderWithCommentsAndTupleType) {
    const HostImage image = readBytes("P7\n# by hand\nWIDTH 2\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\n"
                                      "TUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n\x0A\x14\x1E\x28");
    EXPECT_EQ(image.planes, 2);
    EXPECT_TRUE(image.alpha);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{10, 20, 30, 40}));
}

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
                         [](const auto& nameInfo) { return std::string(nameInfo.param.name); });

TEST(ReadImageErrors, NameTheFileAndTheReason) {
    ScratchFolder folder;
    HostImage image;
    std::string error;
    EXPECT_FALSE(readImage(folder.path("missing.ppm"), &image, &error));
    EXPECT_NE(error.find("missing.ppm: cannot read: no such file"), std::string::npos) << error;
    std::filesystem::create_directory(folder.path("folder.ppm"));
    EXPECT_FALSE(readImage(folder.path("folder.ppm"), &image, &error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
}

class SafeWrite : public ::testing::Test {
protected:
    ScratchFolder folder;
    HostImage image = patternImage(4, 3, 3, 8);
    std::string error;
};

TEST_F(SafeWrite, ReplacesAnExistingFileAndLeavesNothingElse) {
    const std::string path = folder.path("out.ppm");
    ASSERT_TRUE(writeImage(path, patternImage(9, 9, 1, 16), &error)) << error;
    ASSERT_TRUE(writeImage(path, image, &error)) << error;
    HostImage read;
    ASSERT_TRUE(readImage(path, &read, &error)) << error;
    testing::expectIdentical(image, read);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.ppm"});
}

TEST_F(SafeWrite, LongestNamesStillWork) {
    // The temporary name beside the target must fit wherever the target fits.
    const std::string path = folder.path(std::string(200, 'n') + ".pgm");
    ASSERT_TRUE(writeImage(path, image, &error)) << error;
    EXPECT_EQ(folder.entries().size(), 1u);
}

TEST_F(SafeWrite, UnsupportedExtensionKeepsTheExistingFile) {
    const std::string path = folder.path("out.xyz");
    writeFileBytes(path, "keep me");
    EXPECT_FALSE(writeImage(path, image, &error));
    EXPECT_NE(error.find("unsupported file type"), std::string::npos) << error;
    EXPECT_EQ(readFileBytes(path), "keep me");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.xyz"});
}

TEST_F(SafeWrite, MalformedImageKeepsTheExistingFile) {
    const std::string path = folder.path("out.pam");
    writeFileBytes(path, "keep me");
    image.pixels.pop_back();
    EXPECT_FALSE(writeImage(path, image, &error));
    EXPECT_NE(error.find("pixel buffer"), std::string::npos) << error;
    HostImage twoColours = patternImage(2, 2, 3, 8);
    twoColours.planes = 2; // no such host layout
    EXPECT_FALSE(writeImage(path, twoColours, &error));
    EXPECT_EQ(readFileBytes(path), "keep me");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.pam"});
}

TEST_F(SafeWrite, MissingFolderIsAnError) {
    const std::string path = folder.path("absent") + "/out.pgm";
    EXPECT_FALSE(writeImage(path, image, &error));
    EXPECT_NE(error.find(path + ": cannot create"), std::string::npos) << error;
    EXPECT_TRUE(folder.entries().empty());
}

TEST_F(SafeWrite, FolderInTheWayStays) {
    const std::string path = folder.path("out.pfm");
    std::filesystem::create_directory(path);
    EXPECT_FALSE(writeImage(path, image, &error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.pfm"});
}

#if !LAKRA_HAVE_OIIO
TEST(NetpbmOnlyBuild, RefusesOtherFormatsClearly) {
    ScratchFolder folder;
    const std::string png = folder.path("picture.png");
    writeFileBytes(png, "\x89PNG\r\n\x1A\n");
    HostImage image;
    std::string error;
    EXPECT_FALSE(readImage(png, &image, &error));
    EXPECT_NE(error.find("unsupported image format"), std::string::npos) << error;
    EXPECT_FALSE(writeImage(png, patternImage(2, 2, 3, 8), &error));
    EXPECT_NE(error.find("this build writes only"), std::string::npos) << error;
}
#endif

} // namespace
} // namespace lakra
