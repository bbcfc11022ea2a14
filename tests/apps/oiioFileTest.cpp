// Image files through OpenImageIO: round trips, the 16-bit mapping in real
// files, Exif orientation, metadata and ICC profiles checked with independent
// tools, and agreement with the netpbm reader. Native build only.

#include "apps/lakra/imageFile.h"

#if LAKRA_HAVE_OIIO

#include "imageTestUtil.h"

#include <OpenImageIO/imageio.h>
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

namespace lakra {
namespace {

using testing::blankImage;
using testing::normalisedSample;
using testing::patternImage;
using testing::readFileBytes;
using testing::ScratchFolder;
using testing::writeFileBytes;

void writeWithOiio(const std::string& path, const OIIO::ImageSpec& imageSpec, const void* pixels) {
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out) << OIIO::geterror();
    ASSERT_TRUE(out->open(path, imageSpec)) << out->geterror();
    ASSERT_TRUE(out->write_image(imageSpec.format, pixels)) << out->geterror();
    ASSERT_TRUE(out->close()) << out->geterror();
}

bool toolAvailable(const std::string& tool) {
    return std::system(("command -v " + tool + " > /dev/null 2>&1").c_str()) == 0;
}

std::string toolOutput(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    pclose(pipe);
    return output;
}

const MetadataRecord* findRecord(const HostImage& image, const std::string& name) {
    for (const MetadataRecord& record : image.metadata.records) {
        if (record.name == name) {
            return &record;
        }
    }
    return nullptr;
}

template <typename T>
T recordValue(const HostImage& image, const std::string& name) {
    const MetadataRecord* record = findRecord(image, name);
    T value{};
    if (record != nullptr && record->bytes.size() == sizeof value) {
        std::memcpy(&value, record->bytes.data(), sizeof value);
    }
    return value;
}

// A small but well-formed ICC profile: header, one description tag.
std::vector<uint8_t> testIccProfile() {
    std::vector<uint8_t> icc(128, 0);
    const auto put32 = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            icc[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
        }
    };
    const auto putText = [&](size_t at, const char* text) { std::memcpy(&icc[at], text, 4); };
    put32(8, 0x02100000);
    putText(12, "mntr");
    putText(16, "RGB ");
    putText(20, "XYZ ");
    putText(36, "acsp");
    put32(68, 0x0000F6D6); // D50
    put32(72, 0x00010000);
    put32(76, 0x0000D32D);
    const std::string description = "Lakra test profile";
    icc.resize(144, 0);
    put32(128, 1);
    putText(132, "desc");
    put32(136, 144);
    const size_t tagBytes = 12 + description.size() + 1 + 8 + 3 + 67;
    put32(140, static_cast<uint32_t>(tagBytes));
    icc.resize(144 + ((tagBytes + 3) & ~size_t{3}), 0);
    putText(144, "desc");
    put32(152, static_cast<uint32_t>(description.size() + 1));
    std::memcpy(&icc[156], description.data(), description.size());
    put32(0, static_cast<uint32_t>(icc.size()));
    return icc;
}

struct OiioTrip {
    const char* extension;
    int32_t planes;
    int32_t depth;
};

void PrintTo(const OiioTrip& trip, std::ostream* out) {
    *out << (trip.extension + 1) << "_" << trip.planes << "planes_" << trip.depth << "bit";
}

class OiioRoundTrip : public ::testing::TestWithParam<OiioTrip> {};

TEST_P(OiioRoundTrip, KeepsWhatTheFormatHolds) {
    const OiioTrip trip = GetParam();
    const std::string extension = trip.extension;
    const HostImage source = patternImage(7, 5, trip.planes, trip.depth);
    ScratchFolder folder;
    const std::string path = folder.path("trip" + extension);
    std::string error;
    ASSERT_TRUE(writeImage(path, source, &error)) << error;
    HostImage read;
    ASSERT_TRUE(readImage(path, &read, &error)) << error;

    double tolerance = 0.0;
    bool clip = false;
    if (extension == ".png") {
        EXPECT_EQ(read.metadata.formatName, "png");
        EXPECT_EQ(read.depth, trip.depth == 32 ? 16 : trip.depth);
        clip = trip.depth == 32;
        tolerance = clip ? 1.0 / 32768 : 0.0;
    } else if (extension == ".tif") {
        EXPECT_EQ(read.metadata.formatName, "tiff");
        EXPECT_EQ(read.depth, trip.depth);
    } else {
        EXPECT_EQ(read.metadata.formatName, "openexr");
        EXPECT_EQ(read.depth, 32);
        tolerance = trip.depth == 8 ? 1.0 / 4096 : 0.0; // half floats
    }
    testing::expectSameSamples(source, read, trip.planes, tolerance, clip);
}

std::vector<OiioTrip> oiioTrips() {
    std::vector<OiioTrip> trips;
    for (const char* extension : {".png", ".tif", ".exr"}) {
        for (int32_t planes = 1; planes <= 4; ++planes) {
            for (int32_t depth : {8, 16, 32}) {
                trips.push_back({extension, planes, depth});
            }
        }
    }
    return trips;
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, OiioRoundTrip, ::testing::ValuesIn(oiioTrips()));

TEST(JpegOutput, NarrowsToEightBitsAndDropsTransparency) {
    ScratchFolder folder;
    const std::string path = folder.path("flat.jpg");
    std::string error;

    struct Case {
        int32_t planes;
        int32_t depth;
        std::vector<double> stored;
        std::vector<int> expected8;
    };

    const Case cases[] = {{4, 16, {32768, 16384, 0, 100}, {255, 128, 0}},
                          {3, 32, {1.5, 0.5, -0.25}, {255, 128, 0}},
                          {2, 8, {200, 0}, {200}}};
    for (const Case& flat : cases) {
        HostImage image = blankImage(16, 16, flat.planes, flat.depth);
        for (int32_t y = 0; y < 16; ++y) {
            for (int32_t x = 0; x < 16; ++x) {
                for (int32_t c = 0; c < flat.planes; ++c) {
                    testing::setSample(&image, x, y, c, flat.stored[static_cast<size_t>(c)]);
                }
            }
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

TEST(HostSixteenBitMapping, PngAndTiffHoldEveryHostValue) {
    HostImage ramp = blankImage(32769, 1, 1, 16);
    for (int32_t x = 0; x < ramp.width; ++x) {
        testing::setSample(&ramp, x, 0, 0, x);
    }
    ScratchFolder folder;
    for (const char* name : {"ramp.png", "ramp.tif"}) {
        const std::string path = folder.path(name);
        std::string error;
        ASSERT_TRUE(writeImage(path, ramp, &error)) << error;
        auto in = OIIO::ImageInput::open(path);
        ASSERT_TRUE(in);
        std::vector<uint16_t> file(32769);
        ASSERT_TRUE(in->read_image(0, 0, 0, 1, OIIO::TypeDesc::UINT16, file.data()));
        EXPECT_EQ(file[0], 0);
        EXPECT_EQ(file[16384], 32768);
        EXPECT_EQ(file[32768], 65535);
        HostImage read;
        ASSERT_TRUE(readImage(path, &read, &error)) << error;
        testing::expectIdentical(ramp, read);
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
    EXPECT_NEAR(normalisedSample(read, 4, 3, 0), 1.0, 0.05);
    EXPECT_NEAR(normalisedSample(read, 4, 3, 2), 0.0, 0.05);
    EXPECT_NEAR(normalisedSample(read, 4, 12, 0), 0.0, 0.05);
    EXPECT_NEAR(normalisedSample(read, 4, 12, 2), 1.0, 0.05);
    // What the metadata says per axis turns with the pixels.
    EXPECT_EQ(recordValue<float>(read, "XResolution"), 200.0f);
    EXPECT_EQ(recordValue<float>(read, "YResolution"), 100.0f);
    EXPECT_EQ(recordValue<int32_t>(read, "Orientation"), 1);
}

class MetadataCarried : public ::testing::TestWithParam<const char*> {};

TEST_P(MetadataCarried, ToolsFindProfileAndTextInTheOutput) {
    const std::string extension = GetParam();
    const bool exr = extension == ".exr";
    if (!toolAvailable(exr ? "oiiotool" : "exiftool")) {
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

    if (exr) {
        const std::string info = toolOutput("oiiotool --info -v '" + output + "'");
        EXPECT_NE(info.find("4 x    6"), std::string::npos) << info;
        EXPECT_NE(info.find("Lakra Tester"), std::string::npos) << info;
        EXPECT_NE(info.find("a quiet lake"), std::string::npos) << info;
        return;
    }
    const std::string profile = toolOutput("exiftool -b -ICC_Profile '" + output + "'");
    EXPECT_EQ(profile, std::string(icc.begin(), icc.end()));
    const std::string tags = toolOutput("exiftool -n -s -s '" + output + "'");
    EXPECT_NE(tags.find("Lakra Tester"), std::string::npos) << tags;
    EXPECT_NE(tags.find("a quiet lake"), std::string::npos) << tags;
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
                         [](const auto& nameInfo) { return std::string(nameInfo.param + 1); });

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

struct BadFile {
    const char* name;
    int channels;
    std::vector<std::string> channelNames;
    const char* reason;
};

void PrintTo(const BadFile& file, std::ostream* out) {
    *out << file.name;
}

class UnsuitableImage : public ::testing::TestWithParam<BadFile> {};

TEST_P(UnsuitableImage, IsRefusedWithItsReason) {
    const BadFile bad = GetParam();
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

const BadFile kBadFiles[] = {
    {"five.tif", 5, {}, "5 channels"},
    {"twoColours.exr", 2, {"R", "G"}, "multichannel"},
    {"rgbz.exr", 4, {"R", "G", "B", "Z"}, "multichannel"},
};

INSTANTIATE_TEST_SUITE_P(Layouts, UnsuitableImage, ::testing::ValuesIn(kBadFiles));

TEST(ReadImageErrors, UnknownDamagedAndHugeFiles) {
    ScratchFolder folder;
    HostImage image;
    std::string error;
    const std::string notes = folder.path("notes.txt");
    writeFileBytes(notes, "not a picture at all\n");
    EXPECT_FALSE(readImage(notes, &image, &error));
    EXPECT_NE(error.find(notes + ": cannot read"), std::string::npos) << error;

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
}

TEST(SafeWriteInCodec, FailureKeepsTheExistingFile) {
    // libpng refuses a malformed ICC profile after the file has been created.
    ScratchFolder folder;
    const std::string path = folder.path("out.png");
    writeFileBytes(path, "keep me");
    HostImage image = patternImage(4, 4, 3, 8);
    image.metadata.records.push_back({"ICCProfile", "uint8[200]", 1, std::vector<uint8_t>(200)});
    std::string error;
    EXPECT_FALSE(writeImage(path, image, &error));
    EXPECT_NE(error.find(path + ": cannot write"), std::string::npos) << error;
    EXPECT_EQ(readFileBytes(path), "keep me");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.png"});
}

TEST(SafeWriteInCodec, JpegBeyondItsSizeLimitIsRefused) {
    ScratchFolder folder;
    const std::string path = folder.path("wide.jpg");
    writeFileBytes(path, "keep me");
    std::string error;
    EXPECT_FALSE(writeImage(path, blankImage(70000, 1, 1, 8), &error));
    EXPECT_NE(error.find("at most 65500 pixels"), std::string::npos) << error;
    EXPECT_EQ(readFileBytes(path), "keep me");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"wide.jpg"});
}

} // namespace
} // namespace lakra

#endif
