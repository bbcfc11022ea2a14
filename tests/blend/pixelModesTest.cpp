#include "blend/blend.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

constexpr int32_t kOne = kFixedOne;
constexpr int32_t kHalf = kFixedHalf;

Pixel15 px(int32_t r, int32_t g, int32_t b, int32_t a = kOne) {
    return {r, g, b, a};
}

Pixel15 blend(GlueMode m, const Pixel15& a, const Pixel15& b) {
    return blendPixel15(a, b, glueNumber(m));
}

void expectColor(const Pixel15& got, const Pixel15& want, int32_t tolerance) {
    EXPECT_NEAR(got.red, want.red, tolerance);
    EXPECT_NEAR(got.green, want.green, tolerance);
    EXPECT_NEAR(got.blue, want.blue, tolerance);
}

// Six levels per channel, ends included: 216 colours.
std::vector<Pixel15> colourGrid() {
    const int32_t levels[] = {0, 1, 9000, kHalf, 30000, kOne};
    std::vector<Pixel15> grid;
    for (int32_t r : levels) {
        for (int32_t g : levels) {
            for (int32_t b : levels) {
                grid.push_back(px(r, g, b, 20000));
            }
        }
    }
    return grid;
}

TEST(BlendPixel, EveryModeStaysInFifteenBitRange) {
    const std::vector<Pixel15> grid = colourGrid();
    for (int32_t glue = kFirstGlue; glue <= kLastGlue; ++glue) {
        for (const Pixel15& a : grid) {
            for (const Pixel15& b : grid) {
                const Pixel15 r = blendPixel15(a, b, glue);
                for (int32_t v : {r.red, r.green, r.blue, r.alpha}) {
                    ASSERT_TRUE(v >= 0 && v <= kOne) << glueName(glue) << " gave " << v;
                }
                if (glue != glueNumber(GlueMode::Starbright)) {
                    ASSERT_EQ(r.alpha, a.alpha) << glueName(glue);
                }
            }
        }
    }
}

TEST(BlendPixel, NormalTruncatesToFifteenBitSteps) {
    const float water[4] = {0.3f, 0.99999f, 1.0f, 0.25f};
    const float under[4] = {0.9f, 0.1f, 0.5f, 1.0f};
    float out[4];
    blendPixel(water, under, glueNumber(GlueMode::Normal), out);
    EXPECT_EQ(out[0], 9830.0f / 32768.0f);
    EXPECT_EQ(out[1], 32767.0f / 32768.0f);
    EXPECT_EQ(out[2], 1.0f);
    EXPECT_EQ(out[3], 0.25f);
}

TEST(BlendPixel, GlueOutsideCatalogueBlendsAsNormal) {
    const float water[4] = {0.2f, 0.4f, 0.6f, 0.7f};
    const float under[4] = {0.9f, 0.8f, 0.1f, 1.0f};
    float normal[4];
    blendPixel(water, under, 1, normal);
    for (int32_t glue : {0, 64, -1, 1000}) {
        float out[4];
        blendPixel(water, under, glue, out);
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(out[c], normal[c]) << glue;
        }
    }
}

TEST(BlendPixel, OutOfRangeFloatsAreTakenAsTheNearestEnd) {
    const float water[4] = {1.4f, -0.5f, 1e30f, 0.5f};
    const float under[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    float out[4];
    blendPixel(water, under, glueNumber(GlueMode::Multiply), out);
    EXPECT_EQ(out[0], 0.5f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[2], 0.5f);
}

TEST(BlendPixel, ResultMayOverwriteItsInput) {
    float water[4] = {0.5f, 0.25f, 0.0f, 0.9f};
    const float under[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    blendPixel(water, under, glueNumber(GlueMode::Starbright), water);
    EXPECT_EQ(water[0], 1.0f);
    EXPECT_EQ(water[1], 0.5f);
    EXPECT_EQ(water[2], 0.0f);
    EXPECT_EQ(water[3], 0.5f);
}

TEST(Starbright, BlackWaterBecomesTransparentBlack) {
    const Pixel15 r = blend(GlueMode::Starbright, px(0, 0, 0), px(kOne, kOne, kOne));
    EXPECT_EQ(r.red, 0);
    EXPECT_EQ(r.green, 0);
    EXPECT_EQ(r.blue, 0);
    EXPECT_EQ(r.alpha, 0);
}

TEST(Starbright, BrightestChannelBecomesAlpha) {
    const Pixel15 r = blend(GlueMode::Starbright, px(kHalf, 8192, 0, 1234), px(0, 0, 0));
    expectColor(r, px(kOne, kHalf, 0), 0);
    EXPECT_EQ(r.alpha, kHalf);
}

TEST(BrightAndDim, TiesWithinTheLowLumaBitsKeepTheWater) {
    const Pixel15 water = px(1000, 1000, 1000);
    const Pixel15 near = px(1001, 1000, 1000); // luma 255077 against 255000
    expectColor(blend(GlueMode::Bright, water, near), water, 0);
    expectColor(blend(GlueMode::Dim, water, near), water, 0);
    const Pixel15 lighter = px(1100, 1000, 1000);
    expectColor(blend(GlueMode::Bright, water, lighter), lighter, 0);
    expectColor(blend(GlueMode::Dim, water, lighter), water, 0);
    expectColor(blend(GlueMode::Dim, lighter, water), water, 0);
}

TEST(HsyModes, HueOntoGreyLeavesTheGrey) {
    const Pixel15 grey = px(12000, 12000, 12000);
    expectColor(blend(GlueMode::Hue, px(kOne, 0, 0), grey), grey, 1);
}

TEST(HsyModes, SameColourOnBothSidesComesBack) {
    for (const Pixel15& c : colourGrid()) {
        expectColor(blend(GlueMode::Hue, c, c), c, 1);
        expectColor(blend(GlueMode::Saturation, c, c), c, 1);
    }
}

TEST(HsyModes, GreyWaterTakesTheImagesLuminance) {
    // Pure green has luminance 0.52, so grey saturation gives grey 0.52.
    const Pixel15 r = blend(GlueMode::Saturation, px(5000, 5000, 5000), px(0, kOne, 0));
    expectColor(r, px(17039, 17039, 17039), 1);
}

TEST(HsyModes, ColorAndLuminanceKeepGreysGrey) {
    const Pixel15 r = blend(GlueMode::Color, px(9000, 9000, 9000), px(kOne, 0, 0));
    EXPECT_EQ(r.red, r.green);
    EXPECT_EQ(r.green, r.blue);
    EXPECT_NEAR(r.red, (77 * kOne) >> 8, 1);
    const Pixel15 black = blend(GlueMode::Luminance, px(0, 0, 0), px(kOne, 0, kHalf));
    expectColor(black, px(0, 0, 0), 0);
}

TEST(HsyModes, AnteriorAndPosteriorHoldTheirEnds) {
    expectColor(blend(GlueMode::Anterior, px(0, 0, 0), px(20000, 3000, 9000)), px(0, 0, 0), 0);
    expectColor(blend(GlueMode::Posterior, px(20000, 3000, 9000), px(kOne, kOne, kOne)),
                px(kOne, kOne, kOne), 0);
}

TEST(HsyModes, SinisterOfBlackOverBlackIsWhite) {
    // Both luminances 0: the dextrous rule gives 1.
    expectColor(blend(GlueMode::Sinister, px(0, 0, 0), px(0, 0, 0)), px(kOne, kOne, kOne), 0);
}

TEST(HslModes, WaxShowsSaturatedWaterAndWaneGreyWater) {
    const Pixel15 red = px(kOne, 0, 0);
    const Pixel15 midGrey = px(kHalf, kHalf, kHalf);
    const Pixel15 under = px(3000, 20000, 11000);
    expectColor(blend(GlueMode::Wax, red, under), red, 0);
    expectColor(blend(GlueMode::Wax, midGrey, under), under, 0);
    expectColor(blend(GlueMode::Wane, red, under), under, 0);
    expectColor(blend(GlueMode::Wane, midGrey, under), midGrey, 0);
}

TEST(HslModes, FrontalOfTwoGreysKeepsTheDarker) {
    const Pixel15 dark = px(6000, 6000, 6000);
    expectColor(blend(GlueMode::Frontal, dark, px(20000, 20000, 20000)), dark, 1);
    expectColor(blend(GlueMode::Frontal, px(kOne, 0, 0), px(kOne, 0, 0)), px(kOne, 0, 0), 1);
}

TEST(CompassModes, WeightsComeFromTheListedChannels) {
    const Pixel15 a = px(8192, kOne, 0);
    const Pixel15 b = px(24576, kHalf, kOne);
    expectColor(blend(GlueMode::North, a, b), px(24576, kOne, 8192), 0);
    expectColor(blend(GlueMode::South, a, b), px(8192, 28672, kOne), 0);
    expectColor(blend(GlueMode::East, a, b), px(kHalf, kHalf, 24576), 0);
    expectColor(blend(GlueMode::West, a, b), px(24576, 20480, kHalf), 0);
}

} // namespace
} // namespace lakra
