#include "blend/colorModels.h"

#include <gtest/gtest.h>

namespace lakra {
namespace {

constexpr double kTolerance = 1e-12;

void expectRgb(const UnitRgb& got, const UnitRgb& want) {
    EXPECT_NEAR(got.red, want.red, kTolerance);
    EXPECT_NEAR(got.green, want.green, kTolerance);
    EXPECT_NEAR(got.blue, want.blue, kTolerance);
}

TEST(ColorModels, PrimariesAndGreys) {
    const Hsl red = rgbToHsl({1.0, 0.0, 0.0});
    EXPECT_DOUBLE_EQ(red.hue, 0.0);
    EXPECT_DOUBLE_EQ(red.saturation, 1.0);
    EXPECT_DOUBLE_EQ(red.lightness, 0.5);
    EXPECT_NEAR(rgbToHsl({0.0, 0.0, 1.0}).hue, 2.0 / 3.0, kTolerance);
    EXPECT_NEAR(rgbToHsl({1.0, 0.0, 1.0}).hue, 5.0 / 6.0, kTolerance);
    const Hsl grey = rgbToHsl({0.3, 0.3, 0.3});
    EXPECT_EQ(grey.saturation, 0.0);
    EXPECT_DOUBLE_EQ(grey.lightness, 0.3);
    expectRgb(hslToRgb({1.0 / 3.0, 1.0, 0.5}), {0.0, 1.0, 0.0});
    // The luminance of a grey is its lightness; luminance beyond the ends
    // gives black or white.
    for (double l : {0.0, 0.1, 0.5, 0.77, 1.0}) {
        EXPECT_NEAR(rgbToHsy({l, l, l}).luma, l, kTolerance);
    }
    EXPECT_NEAR(hsyMidpoint(2.0 / 3.0, 1.0), 0.2, kTolerance);
    EXPECT_NEAR(hsyMidpoint(1.0 / 6.0, 1.0), 0.8, kTolerance);
    EXPECT_NEAR(rgbToHsy({0.0, 1.0, 0.0}).luma, 0.52, kTolerance);
    expectRgb(hsyToRgb({0.3, 1.0, 1.5}), {1.0, 1.0, 1.0});
    expectRgb(hsyToRgb({0.3, 1.0, -0.2}), {0.0, 0.0, 0.0});
}

TEST(ColorModels, HslAndHsyRoundTripAGrid) {
    for (int r = 0; r <= 8; ++r) {
        for (int g = 0; g <= 8; ++g) {
            for (int b = 0; b <= 8; ++b) {
                const UnitRgb c{r / 8.0, g / 8.0, b / 8.0};
                expectRgb(hslToRgb(rgbToHsl(c)), c);
                expectRgb(hsyToRgb(rgbToHsy(c)), c);
            }
        }
    }
}

} // namespace
} // namespace lakra
