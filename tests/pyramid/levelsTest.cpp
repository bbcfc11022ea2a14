#include "pyramid/levels.h"

#include "pyramid/copy.h"
#include "pyramid/pyramid.h"
#include "pyramid/sampling.h"
#include "pyramidPixels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <utility>

namespace lakra {
namespace {

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
    std::array<uint16_t, 4> got16{};
    readRgba16(19, 7, words.get(), 1, got16.data());
    EXPECT_EQ(got16, (std::array<uint16_t, 4>{16484, 32768, 0, 1})) << "16384 x 1640 / 1630";
    for (int32_t level = 1; level <= floats->maxLevel; ++level) {
        float got[4];
        readRgbaFloat(floats->largestX[level], 0, floats.get(), level, got);
        EXPECT_NEAR(got[0], 0.3f, 1e-6f) << "level " << level;
        EXPECT_EQ(got[1], 0.0f);
        EXPECT_EQ(got[2], 65535.0f);
        EXPECT_EQ(got[3], 0.0f); // NaN is below the range like any other
    }
}

// A dot at an even position gives the same response in level 1 wherever it
// lies, also where the 6 x 6 block straddles a tile border.
TEST(LevelBuild, ResponseIsTheSameAcrossTileBorders) {
    for (const bool across : {true, false}) {
        PyramidPtr p(pyramidCreate(across ? 1100 : 12, across ? 12 : 1100, PixelFormat::Rgba8));
        ASSERT_NE(p, nullptr);
        testing::forEachPixel(p.get(), 0,
                              [&](int32_t x, int32_t y) { writeRgba8(x, y, p.get(), 0, 0); });
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

// The taps of the 6 x 6 block under pixel (x, y) of the next level, rows
// outer and the corners left out: tap(column, row, weight) on the level
// below, the weights (exact products over 16) adding up to 1640.
template <typename Tap>
void forEachBlockTap(int32_t x, int32_t y, Tap tap) {
    constexpr int32_t kWeights[6] = {1, 16, 64, 64, 16, 1};
    for (int32_t i = 0; i < 6; ++i) {
        for (int32_t j = 0; j < 6; ++j) {
            if ((i == 0 || i == 5) && (j == 0 || j == 5)) {
                continue;
            }
            tap(2 * x - 2 + j, 2 * y - 2 + i, kWeights[i] * kWeights[j] / 16);
        }
    }
}

// check(level, x, y) for every pixel of every level built from the one below.
template <typename Check>
void forEachBuiltPixel(const ImagePyramid* p, Check check) {
    for (int32_t level = 0; level < p->maxLevel; ++level) {
        testing::forEachPixel(p, level + 1, [&](int32_t x, int32_t y) { check(level, x, y); });
    }
}

// Each 8-bit pixel of the next level is the tap sum of its 6 x 6 block
// (edge pixels repeated, the corners left out) over 1630, clamped and
// truncated: in every level of an image of odd size whose blocks straddle
// tile borders both ways and its edges, with values of every magnitude.
TEST(LevelBuild, EightBitPixelsAreTheirBlocksTapSums) {
    PyramidPtr p(pyramidCreate(1101, 1037, PixelFormat::Rgba8));
    ASSERT_NE(p, nullptr);
    uint32_t seed = 7;
    testing::forEachPixel(p.get(), 0, [&](int32_t x, int32_t y) {
        seed = seed * 1664525u + 1013904223u;
        // Runs of full white now and then push sums past 255 x 1630.
        writeRgba8(x, y, p.get(), 0, (x / 40 + y / 40) % 7 == 0 ? 0xFFFFFFFFu : seed);
    });
    ASSERT_EQ(buildLevels(p.get()), noErr);
    forEachBuiltPixel(p.get(), [&](int32_t level, int32_t x, int32_t y) {
        int32_t sums[4] = {};
        forEachBlockTap(x, y, [&](int32_t column, int32_t row, int32_t weight) {
            const uint32_t word = readRgba8(column, row, p.get(), level);
            for (int32_t c = 0; c < 4; ++c) {
                sums[c] += static_cast<int32_t>((word >> (8 * c)) & 0xFFu) * weight;
            }
        });
        uint32_t expected = 0;
        for (int32_t c = 0; c < 4; ++c) {
            const float value = static_cast<float>(sums[c]) * (1.0f / 1630.0f);
            expected |= static_cast<uint32_t>(std::min(value, 255.0f)) << (8 * c);
        }
        ASSERT_EQ(readRgba8(x, y, p.get(), level + 1), expected)
            << "level " << level + 1 << " at " << x << ", " << y;
    });
}

// Each 16-bit pixel of the next level is the tap sum of its 6 x 6 block,
// each product added in single precision in the taps' order (rows outer,
// corners left out), over 1630, clamped to full scale and truncated: at
// every level of an image of odd size, with values up to 65535 whose sums
// pass 2^24 and lose low bits.
TEST(LevelBuild, SixteenBitPixelsAreTheirBlocksTapSums) {
    PyramidPtr p(pyramidCreate(1101, 1037, PixelFormat::Rgba16));
    ASSERT_NE(p, nullptr);
    uint32_t seed = 11;
    testing::forEachPixel(p.get(), 0, [&](int32_t x, int32_t y) {
        uint16_t values[4];
        for (uint16_t& value : values) {
            seed = seed * 1664525u + 1013904223u;
            value = (x / 40 + y / 40) % 5 == 0 ? static_cast<uint16_t>(65535 - (seed >> 29))
                                               : static_cast<uint16_t>(seed >> 16);
        }
        writeRgba16(x, y, p.get(), 0, values);
    });
    ASSERT_EQ(buildLevels(p.get()), noErr);
    forEachBuiltPixel(p.get(), [&](int32_t level, int32_t x, int32_t y) {
        float sums[4] = {};
        forEachBlockTap(x, y, [&](int32_t column, int32_t row, int32_t weight) {
            uint16_t values[4];
            readRgba16(column, row, p.get(), level, values);
            for (int32_t c = 0; c < 4; ++c) {
                sums[c] += static_cast<float>(static_cast<int32_t>(values[c]) * weight);
            }
        });
        uint16_t stored[4];
        readRgba16(x, y, p.get(), level + 1, stored);
        for (int32_t c = 0; c < 4; ++c) {
            const float value = std::min(sums[c] * (1.0f / 1630.0f), 32768.0f);
            ASSERT_EQ(stored[c], static_cast<uint16_t>(value))
                << "level " << level + 1 << " at " << x << ", " << y << " channel " << c;
        }
    });
}

// Each float pixel of the next level is the tap sum of its 6 x 6 block, each
// value times its weight added in single precision in the taps' order, over
// 1640, held to 0..65535 (NaN giving 0): at every level, with negative
// values, NaN, infinities and values whose sums overflow.
TEST(LevelBuild, FloatPixelsAreTheirBlocksTapSums) {
    constexpr float kValues[] = {0.0f,   0.5f,    -0.0f, 1.0f,   0.125f, 3e38f, -2.5f, 7e4f,
                                 1e-30f, 0.3333f, 1e7f,  -1e38f, 1.0f,   0.75f, 0.01f, 9.0f};
    PyramidPtr p(pyramidCreate(601, 533, PixelFormat::RgbaFloat));
    ASSERT_NE(p, nullptr);
    uint32_t seed = 5;
    testing::forEachPixel(p.get(), 0, [&](int32_t x, int32_t y) {
        float values[4];
        for (float& value : values) {
            seed = seed * 1664525u + 1013904223u;
            value = (seed >> 20) == 0   ? std::numeric_limits<float>::quiet_NaN()
                    : (seed >> 21) == 1 ? std::numeric_limits<float>::infinity()
                                        : kValues[seed >> 28];
        }
        writeRgbaFloat(x, y, p.get(), 0, values);
    });
    ASSERT_EQ(buildLevels(p.get()), noErr);
    forEachBuiltPixel(p.get(), [&](int32_t level, int32_t x, int32_t y) {
        float sums[4] = {};
        forEachBlockTap(x, y, [&](int32_t column, int32_t row, int32_t weight) {
            float values[4];
            readRgbaFloat(column, row, p.get(), level, values);
            for (int32_t c = 0; c < 4; ++c) {
                sums[c] += values[c] * static_cast<float>(weight);
            }
        });
        float stored[4];
        readRgbaFloat(x, y, p.get(), level + 1, stored);
        for (int32_t c = 0; c < 4; ++c) {
            const float value = sums[c] * (1.0f / 1640.0f);
            const float expected = !(value > 0.0f) ? 0.0f : std::min(value, 65535.0f);
            ASSERT_EQ(std::bit_cast<uint32_t>(stored[c]), std::bit_cast<uint32_t>(expected))
                << "level " << level + 1 << " at " << x << ", " << y << " channel " << c;
        }
    });
}

// Any worker count gives the same pixels in every format; a record without
// tiles is left alone.
TEST(LevelBuild, AnyWorkerCountGivesTheSamePixels) {
    const auto makeImage = [](PixelFormat format) {
        PyramidPtr p(pyramidCreate(1100, 600, format));
        testing::forEachPixel(p.get(), 0, [&](int32_t x, int32_t y) {
            const float value = static_cast<float>((x * 7 + y * 13) % 256) / 255.0f;
            const float pixel[4] = {value, 1.0f - value, value * 0.5f, 1.0f};
            setPixel4f(x, y, p.get(), 0, pixel);
        });
        return p;
    };
    for (const PixelFormat format :
         {PixelFormat::Rgba8, PixelFormat::Rgba16, PixelFormat::RgbaFloat}) {
        PyramidPtr one = makeImage(format);
        PyramidPtr many = makeImage(format);
        RenderStats stats{};
        ASSERT_EQ(buildLevels(one.get(), 1, &stats), noErr);
        EXPECT_EQ(stats.threads, 1);
        ASSERT_EQ(buildLevels(many.get(), 8, &stats), noErr);
        EXPECT_EQ(stats.threads, 8); // level 1 alone has 5 x 3 units
        EXPECT_EQ(stats.finished, stats.count);
        for (int32_t t = 0; t < one->tileCount; ++t) {
            const PyramidTile& tile = one->tiles[t];
            const auto bytes = static_cast<size_t>(tile.width * tile.height * one->bytesPerPixel);
            ASSERT_EQ(std::memcmp(tile.pixels, many->tiles[t].pixels, bytes), 0)
                << static_cast<int>(format) << ", tile " << t;
        }
    }
    ImagePyramid empty;
    pyramidConstruct(&empty);
    EXPECT_EQ(buildLevels(&empty), noErr);
}

// 200 x 120 into 50 x 30: level 1 and 2 blended halfway, at pixel centres;
// the kernel's undershoot is clamped to 0 in the float destination.
// Enlargements are clamped to the destination's range too.
TEST(ImageCopy, ResamplingSamplesPixelCentresAtTheChosenLevelAndClamps) {
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

    // Halving samples between levels; enlarging uses level 0.
    // clang-format off
    const struct {
        int64_t from, to;
        int32_t maxLevel, level;
        float fraction;
    } cases[] = {{1000, 500, 10, 0, 0.5f}, {1000, 250, 10, 1, 0.5f}, {100, 400, 7, 0, 0.0f},
                 {1000, 4, 7, 7, 0.0f}};

    // clang-format on
    for (const auto& c : cases) {
        const LevelOfDetail lod = resampleLevelOfDetail(c.from, c.to, 0.5, c.maxLevel);
        EXPECT_EQ(lod.level, c.level) << c.from << " to " << c.to;
        EXPECT_FLOAT_EQ(lod.fraction, c.fraction) << c.from << " to " << c.to;
    }
    // Enlarging a step rings below 0 and above full scale; an integer
    // destination holds that at 0 and 255, a float one at 0 and 65535.
    PyramidPtr step(pyramidCreate(40, 40, PixelFormat::RgbaFloat));
    PyramidPtr bytes(pyramidCreate(160, 160, PixelFormat::Rgba8));
    PyramidPtr floats(pyramidCreate(160, 160, PixelFormat::RgbaFloat));
    ASSERT_TRUE(step && bytes && floats);
    testing::forEachPixel(step.get(), 0, [&](int32_t x, int32_t y) {
        const float value = x < 20 ? 0.0f : 1.0f;
        const float pixel[4] = {value, value * 70000.0f, value, value};
        writeRgbaFloat(x, y, step.get(), 0, pixel);
    });
    ASSERT_EQ(buildLevels(step.get()), noErr);
    ASSERT_EQ(copyPyramidImage(step.get(), bytes.get()), noErr);
    ASSERT_EQ(copyPyramidImage(step.get(), floats.get()), noErr);
    int32_t below = 0;
    int32_t above = 0;
    for (int32_t x = 60; x < 100; ++x) {
        float sampled[4];
        sampleTrilinear(step.get(), 0, 0.0f, (2.0f * x + 1.0f) / 320.0f, 0.5f, sampled);
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
    std::array<uint16_t, 4> values{};
    readRgba16(5, 5, words.get(), 0, values.data());
    EXPECT_EQ(values, (std::array<uint16_t, 4>{32639, 32768, 0, 32768})) << "254 / 255 x 32768";
}

} // namespace
} // namespace lakra
