#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "pyramidPixels.h"
#include "support/printers.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace lakra {
namespace {

uint32_t pack(uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3) {
    return c0 << 24 | c1 << 16 | c2 << 8 | c3;
}

PyramidPtr filled(int32_t width, int32_t height, uint32_t word) {
    PyramidPtr p(pyramidCreate(width, height, PixelFormat::Rgba8));
    if (p != nullptr) {
        testing::forEachPixel(p.get(), 0,
                              [&](int32_t x, int32_t y) { writeRgba8(x, y, p.get(), 0, word); });
    }
    return p;
}

TEST(LevelBuild, Rgba8GainCompoundsAndFixedPointsHold) {
    PyramidPtr p = filled(64, 64, pack(200, 100, 255, 0)); // levels up to 6
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(buildLevels(p.get()), noErr);
    for (int32_t level = 1; level <= 6; ++level) {
        const uint32_t expected = pack(static_cast<uint32_t>(200 + level), 100, 255, 0);
        EXPECT_EQ(readRgba8(0, 0, p.get(), level), expected) << "level " << level;
        EXPECT_EQ(readRgba8(p->largestX[level], 1, p.get(), level), expected) << "level " << level;
    }
    PyramidPtr single = filled(1, 1, pack(100, 200, 255, 7));
    ASSERT_NE(single, nullptr);
    ASSERT_EQ(buildLevels(single.get()), noErr);
    EXPECT_EQ(readRgba8(0, 0, single.get(), 1), pack(100, 201, 255, 7));
}

TEST(LevelBuild, WideFormatsGainOrKeepAndClamp) {
    PyramidPtr words(pyramidCreate(40, 40, PixelFormat::Rgba16));
    PyramidPtr floats(pyramidCreate(30, 20, PixelFormat::RgbaFloat));
    ASSERT_TRUE(words && floats);
    const uint16_t word[4] = {16384, 32768, 0, 1};
    const float value[4] = {0.3f, -0.5f, 70000.0f, std::nanf("")};
    testing::forEachPixel(words.get(), 0, [&](int32_t x, int32_t y) {
        writeRgba16(x, y, words.get(), 0, word);
        writeRgbaFloat(x % 30, y % 20, floats.get(), 0, value);
    });
    ASSERT_EQ(buildLevels(words.get()), noErr);
    ASSERT_EQ(buildLevels(floats.get()), noErr);
    uint16_t got16[4];
    readRgba16(19, 7, words.get(), 1, got16);
    EXPECT_EQ(got16[0], 16484); // 16384 x 1640 / 1630, truncated
    EXPECT_EQ(got16[1], 32768);
    EXPECT_EQ(got16[2], 0);
    EXPECT_EQ(got16[3], 1);
    for (int32_t level = 1; level <= floats->maxLevel; ++level) {
        float got[4];
        readRgbaFloat(floats->largestX[level], 0, floats.get(), level, got);
        EXPECT_NEAR(got[0], 0.3f, 1e-6f) << "level " << level;
        EXPECT_EQ(got[1], 0.0f);
        EXPECT_EQ(got[2], 65535.0f);
        EXPECT_EQ(got[3], 0.0f); // NaN is below the range like any other
    }
}

TEST(LevelBuild, TapsOutsideRepeatTheEdgePixel) {
    PyramidPtr corner = filled(8, 8, 0);
    PyramidPtr odd = filled(5, 1, 0); // level 1 is 4 wide
    ASSERT_TRUE(corner && odd);
    writeRgba8(0, 0, corner.get(), 0, pack(255, 0, 0, 0));
    writeRgba8(4, 0, odd.get(), 0, pack(100, 0, 0, 0));
    ASSERT_EQ(buildLevels(corner.get()), noErr);
    ASSERT_EQ(buildLevels(odd.get()), noErr);
    // Taps above and left repeat (0, 0): weight 410 of 1630, not 256.
    EXPECT_EQ(readRgba8(0, 0, corner.get(), 1), pack(64, 0, 0, 0));
    EXPECT_EQ(readRgba8(1, 0, corner.get(), 1), 0u);
    const uint32_t expected[] = {0, 10, 90, 100}; // column 4 weighs 0, 172, 1468, 1640
    for (int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(readRgba8(x, 0, odd.get(), 1) >> 24, expected[x]) << "x " << x;
    }
}

// A dot at an even position gives the same response in level 1 wherever it
// lies, also where the 6 x 6 block straddles a tile border.
TEST(LevelBuild, ResponseIsTheSameAcrossTileBorders) {
    for (const bool across : {true, false}) {
        PyramidPtr p = filled(across ? 1100 : 12, across ? 12 : 1100, 0);
        ASSERT_NE(p, nullptr);
        const auto at = [&](int32_t along, int32_t side, int32_t level) {
            return pixelAddress(across ? along : side, across ? side : along, p.get(), level);
        };
        for (int32_t dot = 500; dot <= 524; dot += 2) {
            std::memset(at(20, 6, 0), 0xFF, 4);
            std::memset(at(dot, 6, 0), 0xFF, 4);
            ASSERT_EQ(buildLevels(p.get()), noErr);
            std::memset(at(dot, 6, 0), 0, 4);
            for (int32_t i = -2; i <= 2; ++i) {
                for (int32_t j = -2; j <= 2; ++j) {
                    ASSERT_EQ(std::memcmp(at(dot / 2 + i, 3 + j, 1), at(10 + i, 3 + j, 1), 4), 0)
                        << "dot " << dot << " offset " << i << ", " << j;
                }
            }
        }
    }
}

class LevelBuildThreads : public ::testing::TestWithParam<PixelFormat> {
protected:
    PyramidPtr makeImage() const {
        PyramidPtr p(pyramidCreate(1100, 600, GetParam()));
        if (p != nullptr) {
            testing::forEachPixel(p.get(), 0, [&](int32_t x, int32_t y) {
                const float value = static_cast<float>((x * 7 + y * 13) % 256) / 255.0f;
                const float pixel[4] = {value, 1.0f - value, value * 0.5f, 1.0f};
                setPixel4f(x, y, p.get(), 0, pixel);
            });
        }
        return p;
    }
};

TEST_P(LevelBuildThreads, AnyWorkerCountGivesTheSamePixels) {
    PyramidPtr one = makeImage();
    ASSERT_NE(one, nullptr);
    RenderStats stats{};
    ASSERT_EQ(buildLevels(one.get(), 1, &stats), noErr);
    EXPECT_EQ(stats.threads, 1);
    for (const int32_t processors : {3, 8}) {
        PyramidPtr many = makeImage();
        ASSERT_NE(many, nullptr);
        ASSERT_EQ(buildLevels(many.get(), processors, &stats), noErr);
        EXPECT_EQ(stats.threads, processors); // level 1 alone has 5 x 3 units
        EXPECT_EQ(stats.finished, stats.count);
        for (int32_t t = 0; t < one->tileCount; ++t) {
            const PyramidTile& tile = one->tiles[t];
            const auto bytes = static_cast<size_t>(tile.width * tile.height * one->bytesPerPixel);
            ASSERT_EQ(std::memcmp(tile.pixels, many->tiles[t].pixels, bytes), 0)
                << processors << " processors, tile " << t;
        }
    }
    ImagePyramid empty; // a record without tiles is left alone
    pyramidConstruct(&empty);
    EXPECT_EQ(buildLevels(&empty), noErr);
}

std::string formatName(const ::testing::TestParamInfo<PixelFormat>& param) {
    const char* const names[] = {"Rgba8", "Rgba16", "RgbaFloat"};
    return names[param.index];
}

INSTANTIATE_TEST_SUITE_P(Formats, LevelBuildThreads,
                         ::testing::Values(PixelFormat::Rgba8, PixelFormat::Rgba16,
                                           PixelFormat::RgbaFloat),
                         formatName);

} // namespace
} // namespace lakra
