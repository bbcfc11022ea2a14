#include "pyramid/copy.h"

#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "pyramid/sampling.h"
#include "pyramidPixels.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <utility>

namespace lakra {
namespace {

TEST(ResampleLevel, HalvingSamplesBetweenLevelsAndEnlargingUsesLevelZero) {
    const struct {
        int64_t from, to;
        int32_t maxLevel, level;
        float fraction;
    } cases[] = {{1000, 500, 10, 0, 0.5f},
                 {1000, 250, 10, 1, 0.5f},
                 {100, 400, 7, 0, 0.0f},
                 {100000, 1, 7, 7, 0.0f}};

    for (const auto& c : cases) {
        const LevelOfDetail lod = resampleLevelOfDetail(c.from, c.to, 0.5, c.maxLevel);
        EXPECT_EQ(lod.level, c.level) << c.from << " to " << c.to;
        EXPECT_FLOAT_EQ(lod.fraction, c.fraction) << c.from << " to " << c.to;
    }
}

// 200 x 120 into 50 x 30: level 1 and 2 blended halfway, at pixel centres;
// the kernel's undershoot is clamped to 0 in the float destination.
TEST(ImageCopy, ReductionSamplesPixelCentresAtTheChosenLevel) {
    PyramidPtr source(pyramidCreate(200, 120, PixelFormat::RgbaFloat));
    PyramidPtr quarter(pyramidCreate(50, 30, PixelFormat::RgbaFloat));
    ASSERT_TRUE(source && quarter);
    testing::forEachPixel(source.get(), 0, [&](int32_t x, int32_t y) {
        const float pixel[4] = {static_cast<float>(x % 37) / 36.0f,
                                static_cast<float>(y % 13 < 6 ? 0 : 1), 0.5f, 1.0f};
        writeRgbaFloat(x, y, source.get(), 0, pixel);
    });
    ASSERT_EQ(buildLevels(source.get()), noErr);
    ASSERT_EQ(copyPyramidImage(source.get(), quarter.get()), noErr);
    for (const auto& [c, r] : {std::pair{0, 0}, {1, 0}, {25, 15}, {49, 29}, {31, 17}}) {
        float expected[4];
        sampleTrilinear(source.get(), 1, 0.5f, (2.0f * c + 1.0f) / 100.0f,
                        (2.0f * r + 1.0f) / 60.0f, expected);
        float got[4];
        getPixel4f(c, r, quarter.get(), 0, got);
        EXPECT_EQ(got[0], std::max(expected[0], 0.0f)) << c << ", " << r;
        EXPECT_EQ(got[1], std::max(expected[1], 0.0f)) << c << ", " << r;
    }
}

TEST(ImageCopy, SameSizeConvertsTheFormatAndRebuildsLevels) {
    PyramidPtr source(pyramidCreate(100, 60, PixelFormat::RgbaFloat));
    PyramidPtr bytes(pyramidCreate(100, 60, PixelFormat::Rgba8));
    PyramidPtr words(pyramidCreate(100, 60, PixelFormat::Rgba16));
    ASSERT_TRUE(source && bytes && words);
    const float pixel[4] = {0.999f, 2.0f, -1.0f, 1.0f};
    testing::forEachPixel(source.get(), 0, [&](int32_t x, int32_t y) {
        writeRgbaFloat(x, y, source.get(), 0, pixel);
    });
    ASSERT_EQ(copyPyramidImage(source.get(), bytes.get()), noErr);
    EXPECT_EQ(readRgba8(99, 59, bytes.get(), 0), 0xFEFF00FFu); // 254, clamped 255 and 0, 255
    EXPECT_EQ(readRgba8(0, 0, bytes.get(), bytes->maxLevel), 0xFFFF00FFu); // levels gain
    ASSERT_EQ(copyPyramidImage(bytes.get(), words.get()), noErr);
    uint16_t values[4];
    readRgba16(5, 5, words.get(), 0, values);
    EXPECT_EQ(values[0], 32639); // 254 / 255 x 32768, truncated
    EXPECT_EQ(values[1], 32768);
    EXPECT_EQ(values[2], 0);
    EXPECT_EQ(values[3], 32768);
}

// Enlarging a step rings below 0 and above full scale; an integer
// destination holds that at 0 and 255, a float one at 0 and 65535.
TEST(ImageCopy, ResampledValuesAreClampedToTheDestinationRange) {
    PyramidPtr source(pyramidCreate(40, 40, PixelFormat::RgbaFloat));
    PyramidPtr bytes(pyramidCreate(160, 160, PixelFormat::Rgba8));
    PyramidPtr floats(pyramidCreate(160, 160, PixelFormat::RgbaFloat));
    ASSERT_TRUE(source && bytes && floats);
    testing::forEachPixel(source.get(), 0, [&](int32_t x, int32_t y) {
        const float value = x < 20 ? 0.0f : 1.0f;
        const float pixel[4] = {value, value * 70000.0f, value, value};
        writeRgbaFloat(x, y, source.get(), 0, pixel);
    });
    ASSERT_EQ(buildLevels(source.get()), noErr);
    ASSERT_EQ(copyPyramidImage(source.get(), bytes.get()), noErr);
    ASSERT_EQ(copyPyramidImage(source.get(), floats.get()), noErr);
    int32_t below = 0;
    int32_t above = 0;
    for (int32_t x = 60; x < 100; ++x) {
        float sampled[4];
        sampleTrilinear(source.get(), 0, 0.0f, (2.0f * x + 1.0f) / 320.0f, 0.5f, sampled);
        const uint32_t byte = readRgba8(x, 80, bytes.get(), 0) >> 24;
        float value[4];
        getPixel4f(x, 80, floats.get(), 0, value);
        if (sampled[0] < 0.0f) {
            ++below;
            EXPECT_EQ(byte, 0u) << x;
            EXPECT_EQ(value[0], 0.0f) << x;
        } else if (sampled[0] > 1.0f) {
            ++above;
            EXPECT_EQ(byte, 255u) << x;
            EXPECT_EQ(value[1], 65535.0f) << x;
            EXPECT_EQ(value[3], 1.0f) << x;
        }
    }
    EXPECT_GT(below, 0);
    EXPECT_GT(above, 0);
}

} // namespace
} // namespace lakra
