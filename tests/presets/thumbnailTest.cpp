#include "presets/thumbnail.h"

#include "export/jpegWriter.h"
#include "pyramid/copy.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "render/settings.h"
#include "support/scratchFolder.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <utility>
#include <vector>

namespace lakra {
namespace {

using testing::ScratchFolder;

uint32_t grey(const ImagePyramid* image, int32_t x, int32_t y) {
    return (readRgba8(x, y, image, 0) >> 16) & 0xFFu; // green
}

PyramidPtr noiseImage(int32_t side) {
    PyramidPtr image(pyramidCreate(side, side, PixelFormat::Rgba8));
    std::mt19937 random(7);
    for (int32_t y = 0; y < side; ++y) {
        for (int32_t x = 0; x < side; ++x) {
            // Each channel 0 or 255: the most energy a picture can carry.
            const uint32_t bits = static_cast<uint32_t>(random());
            uint32_t word = 0xFFu;
            for (int c = 0; c < 3; ++c) {
                word |= ((bits >> c) & 1u) * (0xFFu << (24 - 8 * c));
            }
            writeRgba8(x, y, image.get(), 0, word);
        }
    }
    EXPECT_EQ(buildLevels(image.get()), noErr);
    return image;
}

struct PresetThumbnails : ::testing::Test {
    ScratchFolder scratch;
    FileSpec fileSpec{};
    Settings settings{};
    PyramidPtr thumbnail{pyramidCreate(128, 128, PixelFormat::Rgba8)};

    void SetUp() override {
        fileSpecFromPath(&fileSpec, scratch.path("look.q8r").c_str());
        settingsReset(&settings);
        const PresetHooks hooks = thumbnailPresetHooks(thumbnail.get());
        setPresetHooks(&hooks);
    }

    void TearDown() override { setPresetHooks(nullptr); }
};

// A noisy record over its limit is encoded again coarser; with the default
// limit every thumbnail fits and reads back.
TEST_F(PresetThumbnails, NoisyRecordsAreEncodedCoarserUntilTheyFit) {
    const PyramidPtr noise = noiseImage(128);
    JpegData levelEight;
    ASSERT_EQ(jpegEncode(noise.get(), kThumbnailQuality, nullptr, nullptr, &levelEight), noErr);
    const size_t limit = levelEight.length / 2;
    jpegDataFree(&levelEight);
    FileWriter writer;
    ASSERT_EQ(fileWriterOpen(fileSpec, &writer), noErr);
    thumbnailWriteRecordWithin(noise.get(), &writer, limit);
    ASSERT_EQ(fileWriterClose(&writer), noErr);
    const std::vector<uint8_t> bytes = scratch.read("look.q8r");
    ASSERT_GT(bytes.size(), 16u);
    const size_t length = (size_t{bytes[12]} << 24) | (size_t{bytes[13]} << 16) |
                          (size_t{bytes[14]} << 8) | bytes[15];
    EXPECT_EQ(bytes[3], 1);
    EXPECT_LE(length, limit);
    EXPECT_EQ(bytes.size(), 16 + length);
    EXPECT_TRUE(thumbnailDecodeRecord(thumbnail.get(), 128, 128, bytes.data() + 16, length));

    ASSERT_EQ(copyPyramidPixels(noise.get(), thumbnail.get()), true);
    ASSERT_EQ(presetWrite(fileSpec, &settings), noErr);
    ImagePyramid* atSize = nullptr;
    ASSERT_TRUE(presetThumbnailAtSize(fileSpec, thumbnail.get(), kMemoryDotThumbnailSide, &atSize));
    EXPECT_EQ(atSize->width[0], 88);
    EXPECT_NE(grey(thumbnail.get(), 0, 127), 128u) << "no longer the blank ramp";
    pyramidDestroy(&atSize);
    // The blank ramp comes back through a preset.
    thumbnailFillBlank(thumbnail.get());
    ASSERT_EQ(presetWrite(fileSpec, &settings), noErr);
    PyramidPtr reader(pyramidCreate(128, 128, PixelFormat::Rgba8));
    const PresetHooks hooks = thumbnailPresetHooks(reader.get());
    setPresetHooks(&hooks);
    ASSERT_EQ(presetRead(fileSpec, PresetReadMode::ThumbnailOnly, nullptr), noErr);
    for (const int32_t y : {0, 64, 127}) {
        EXPECT_NEAR(grey(reader.get(), 64, y), 255.0 - y, 4.0) << y;
    }
}

// A preset whose thumbnail record is made by hand around the given bytes.
void writeWithRecord(const FileSpec& fileSpec, Settings* settings, uint32_t present, int32_t width,
                     int32_t height, const std::vector<uint8_t>& bytes) {
    static uint32_t words[4];
    static const std::vector<uint8_t>* data = nullptr;
    words[0] = present;
    words[1] = static_cast<uint32_t>(width);
    words[2] = static_cast<uint32_t>(height);
    words[3] = static_cast<uint32_t>(bytes.size());
    data = &bytes;
    PresetHooks hooks;
    hooks.writeThumbnail = [](void*, FileWriter* writer) {
        for (const uint32_t word : words) {
            (void)writeU32BE(writer, word);
        }
        (void)writeBytes(writer, data->data(), data->size());
    };
    setPresetHooks(&hooks);
    ASSERT_EQ(presetWrite(fileSpec, settings), noErr);
}

std::vector<uint8_t> jpegOf(int32_t width, int32_t height) {
    const PyramidPtr image = noiseImage(std::max(width, height));
    PyramidPtr cut(pyramidCreate(width, height, PixelFormat::Rgba8));
    copyLevelPixels(image.get(), cut.get(), 0, 0);
    JpegData jpeg;
    EXPECT_EQ(jpegEncode(cut.get(), 30, nullptr, nullptr, &jpeg), noErr);
    std::vector<uint8_t> bytes(jpeg.bytes, jpeg.bytes + jpeg.length);
    jpegDataFree(&jpeg);
    return bytes;
}

// A record wider than the thumbnail is read at the clamped size; one of an
// unknown presence, corrupt or cut short is passed over and leaves the blank
// thumbnail, and the values after it in place.
TEST_F(PresetThumbnails, RecordsAreTakenOnlyWhenWhole) {
    std::vector<uint8_t> corrupt = jpegOf(64, 64);
    for (size_t i = 2; i < corrupt.size(); i += 5) {
        corrupt[i] = static_cast<uint8_t>(corrupt[i] ^ 0xA5);
    }
    std::vector<uint8_t> truncated = jpegOf(64, 64);
    truncated.resize(truncated.size() / 3);

    const struct {
        uint32_t present;
        int32_t width, height;
        std::vector<uint8_t> bytes;
        bool taken;
    } rows[] = {{1, 300, 90, jpegOf(300, 90), true},
                {2, 16, 16, jpegOf(16, 16), false},
                {1, 64, 64, corrupt, false},
                {1, 64, 64, truncated, false}};

    setHorizon(&settings, 31.5f);
    for (const auto& row : rows) {
        writeWithRecord(fileSpec, &settings, row.present, row.width, row.height, row.bytes);
        ImagePyramid* atSize = nullptr;
        EXPECT_EQ(presetThumbnailAtSize(fileSpec, thumbnail.get(), 88, &atSize), row.taken);
        EXPECT_EQ(atSize != nullptr, row.taken);
        pyramidDestroy(&atSize);
        EXPECT_EQ(readRgba8(3, 40, thumbnail.get(), 0) == 0xD7D7D7FFu, !row.taken)
            << "the blank thumbnail: opaque grey 255 - y";
        Settings read{};
        settingsReset(&read);
        ASSERT_EQ(presetRead(fileSpec, PresetReadMode::Full, &read), noErr);
        EXPECT_FLOAT_EQ(read.horizonFloat, 31.5f) << "the values after the record are in place";
    }
}

} // namespace
} // namespace lakra
