#include "pyramid/pyramid.h"
#include "pyramidPixels.h"
#include "support/printers.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace lakra {
namespace {

uint32_t uniqueWord(int32_t x, int32_t y, int32_t level) {
    return static_cast<uint32_t>(level) << 22 | static_cast<uint32_t>(y) << 11 |
           static_cast<uint32_t>(x);
}

TEST(TileAddressing, EveryPixelOfEveryLevelIsItsOwn) {
    PyramidPtr pyramid(pyramidCreate(1100, 600, PixelFormat::Rgba8));
    ASSERT_NE(pyramid, nullptr);
    ImagePyramid* p = pyramid.get();
    testing::forEveryLevelPixel(p, [&](int32_t level, int32_t x, int32_t y) {
        writeRgba8(x, y, p, level, uniqueWord(x, y, level));
    });
    int mismatches = 0;
    testing::forEveryLevelPixel(p, [&](int32_t level, int32_t x, int32_t y) {
        if (readRgba8(x, y, p, level) != uniqueWord(x, y, level) && ++mismatches < 5) {
            ADD_FAILURE() << "level " << level << " (" << x << ", " << y << ")";
        }
    });
    EXPECT_EQ(mismatches, 0);
    // Rows are stored without gaps, tile width pixels apart.
    uint32_t word = 0;
    std::memcpy(&word, p->tiles[5].pixels + 4 * (76 * (599 - 512) + (1099 - 1024)), 4);
    EXPECT_EQ(word, uniqueWord(1099, 599, 0));
}

class EdgeAccess : public ::testing::TestWithParam<PixelFormat> {};

TEST_P(EdgeAccess, ReadsClampAndOutsideWritesAreDropped) {
    const int32_t w = 600;
    PyramidPtr pyramid(pyramidCreate(w, 520, GetParam()));
    ASSERT_NE(pyramid, nullptr);
    ImagePyramid* p = pyramid.get();
    const float background[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    testing::forEveryLevelPixel(
        p, [&](int32_t level, int32_t x, int32_t y) { setPixel4f(x, y, p, level, background); });
    const float corner[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    const float rightEdge[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    setPixel4f(0, 0, p, 0, corner);
    setPixel4f(w - 1, 0, p, 0, rightEdge);
    float read[4];
    getPixel4f(-5, -5, p, 0, read);
    EXPECT_EQ(read[0], 1.0f);
    getPixel4f(w + 3, 0, p, 0, read);
    EXPECT_EQ(read[2], 1.0f);

    const float junk[4] = {0.25f, 0.25f, 0.25f, 0.25f};
    for (int32_t level : {0, 1}) {
        const int32_t lw = p->width[level];
        const int32_t lh = p->height[level];
        for (const auto& [x, y] : {std::pair{-1, 0}, {lw, 0}, {0, -1}, {0, lh}, {lw, lh}}) {
            setPixel4f(x, y, p, level, junk);
        }
    }
    int changed = 0;
    testing::forEveryLevelPixel(p, [&](int32_t level, int32_t x, int32_t y) {
        getPixel4f(x, y, p, level, read);
        changed += read[0] == 0.25f ? 1 : 0;
    });
    EXPECT_EQ(changed, 0);
}

std::string nameOfFormat(const ::testing::TestParamInfo<PixelFormat>& param) {
    return param.param == PixelFormat::Rgba8
               ? "Rgba8"
               : (param.param == PixelFormat::Rgba16 ? "Rgba16" : "RgbaFloat");
}

INSTANTIATE_TEST_SUITE_P(Formats, EdgeAccess,
                         ::testing::Values(PixelFormat::Rgba8, PixelFormat::Rgba16,
                                           PixelFormat::RgbaFloat),
                         nameOfFormat);

TEST(PixelConversion, IntegerFormatsTruncate) {
    PyramidPtr rgba8(pyramidCreate(2, 2, PixelFormat::Rgba8));
    PyramidPtr rgba16(pyramidCreate(2, 2, PixelFormat::Rgba16));
    ASSERT_TRUE(rgba8 && rgba16);
    const float values[4] = {0.999f, 1.0f, 0.0f, 0.5f};
    setPixel4f(1, 1, rgba8.get(), 0, values);
    EXPECT_EQ(readRgba8(1, 1, rgba8.get(), 0), 0xFEFF007Fu);
    setPixel4f(1, 1, rgba16.get(), 0, values);
    uint16_t stored[4];
    readRgba16(1, 1, rgba16.get(), 0, stored);
    EXPECT_EQ(stored[0], 32735);
    EXPECT_EQ(stored[1], 32768);
    EXPECT_EQ(stored[3], 16384);

    writeRgba8(0, 0, rgba8.get(), 0, 0xFF800000u);
    float read[4];
    getPixel4f(0, 0, rgba8.get(), 0, read);
    EXPECT_EQ(read[0], 1.0f);
    EXPECT_NEAR(read[1], 0.50196f, 1e-5f);
    EXPECT_EQ(read[2], 0.0f);
    EXPECT_EQ(read[3], 0.0f);
}

// Out-of-range values saturate instead of being undefined (UBSan watches).
TEST(PixelConversion, OutOfRangeValuesSaturate) {
    PyramidPtr rgba8(pyramidCreate(1, 1, PixelFormat::Rgba8));
    PyramidPtr rgba16(pyramidCreate(1, 1, PixelFormat::Rgba16));
    PyramidPtr rgbaFloat(pyramidCreate(1, 1, PixelFormat::RgbaFloat));
    ASSERT_TRUE(rgba8 && rgba16 && rgbaFloat);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float values[4] = {2.0f, -1.5f, nan, 1e30f};
    setPixel4f(0, 0, rgba8.get(), 0, values);
    EXPECT_EQ(readRgba8(0, 0, rgba8.get(), 0), 0xFF0000FFu);
    const float wide[4] = {1.5f, -0.5f, nan, std::numeric_limits<float>::infinity()};
    setPixel4f(0, 0, rgba16.get(), 0, wide);
    uint16_t stored[4];
    readRgba16(0, 0, rgba16.get(), 0, stored);
    EXPECT_EQ(stored[0], 49152); // above 1 but representable: kept
    EXPECT_EQ(stored[1], 0);
    EXPECT_EQ(stored[2], 0);
    EXPECT_EQ(stored[3], 65535);
    setPixel4f(0, 0, rgbaFloat.get(), 0, values);
    float read[4];
    getPixel4f(0, 0, rgbaFloat.get(), 0, read);
    EXPECT_EQ(read[0], 2.0f);
    EXPECT_EQ(read[1], -1.5f);
    EXPECT_TRUE(std::isnan(read[2]));
}

} // namespace
} // namespace lakra
