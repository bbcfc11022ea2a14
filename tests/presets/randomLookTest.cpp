#include "presets/randomLook.h"

#include "render/settings.h"
#include "support/fileChecks.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <tuple>

namespace lakra {
namespace {

using testing::sameBytes;

TEST(RandomSource, MatchesTheWindowsRuntimeSequence) {
    // srand(1); rand() x 5 with the Windows C run-time.
    seedRandom(1);
    for (const int32_t value : {41, 18467, 6334, 26500, 19169}) {
        EXPECT_EQ(nextRandom(), value);
    }
#ifdef _WIN32
    for (const unsigned seed : {0u, 12345u, 0xFFFFFFFFu}) {
        std::srand(seed);
        seedRandom(seed);
        for (int i = 0; i < 1000; ++i) {
            ASSERT_EQ(nextRandom(), std::rand()) << seed; // NOLINT(concurrency-mt-unsafe)
        }
    }
#endif
}

TEST(RandomDraw, StaysWithinEitherOrderOfBounds) {
    seedRandom(11);
    for (int i = 0; i < 5000; ++i) {
        const int32_t value = randomDraw(10, 0); // swapped bounds
        ASSERT_TRUE(value >= 0 && value <= 10) << value;
        ASSERT_EQ(randomDraw(5, 5), 5);
    }
    for (int i = 0; i < 100; ++i) {
        // Eleven random bits above the lower bound; the span does not overflow.
        EXPECT_LE(randomDraw(INT32_MAX, INT32_MIN), INT32_MIN + 2047);
        EXPECT_GE(randomDraw(INT32_MAX - 1, INT32_MAX), INT32_MAX - 1);
    }
}

// Every roll keeps the dice's fields in range, touches nothing else, and
// about three in five give black water.
TEST(Dice, FieldsStayInRangeAndTheRestIsLeftAlone) {
    const struct {
        int32_t Settings::*field;
        int32_t lo, hi;
    } ranges[] = {{&Settings::waviness, 0, 70},     {&Settings::complexity, 0, 60},
                  {&Settings::brilliance, 30, 60},  {&Settings::blur, 0, 49},
                  {&Settings::perspective, 20, 80}, {&Settings::altitude, 1, 90},
                  {&Settings::rippleSize, 20, 100}, {&Settings::rippleHeight, 0, 60},
                  {&Settings::undulation, 3, 80}};

    Settings start;
    settingsFresh(&start);
    setHorizon(&start, 37.5f);
    setOffset(&start, 12.25f);
    start.glue = 44;
    start.xCenter = 0.125f;
    start.randomSeed = 1234;
    start.panX = 17;
    seedRandom(2024);
    int black = 0;
    const int rolls = 5000;
    for (int roll = 0; roll < rolls; ++roll) {
        Settings s = start;
        diceLook(&s);
        Settings expected = start;
        for (const auto& range : ranges) {
            ASSERT_TRUE(s.*range.field >= range.lo && s.*range.field <= range.hi) << roll;
            expected.*range.field = s.*range.field;
        }
        // The brightest channel the dice make: lightness 0.25, saturation 0.68,
        // a hue below -1/6 (M + (M - m) = 0.76).
        ASSERT_LE(std::max({s.waterRed, s.waterGreen, s.waterBlue}), 49807) << roll;
        std::tie(expected.waterRed, expected.waterGreen, expected.waterBlue) =
            std::tie(s.waterRed, s.waterGreen, s.waterBlue);
        setDotName(&expected, kRandomLookName);
        ASSERT_TRUE(sameBytes(s, expected)) << roll;
        black += s.waterRed == 0 && s.waterGreen == 0 && s.waterBlue == 0 ? 1 : 0;
    }
    EXPECT_GT(black, rolls * 55 / 100);
    EXPECT_LT(black, rolls * 64 / 100);
}

// The seed button keeps the eleven low bits of the next number and changes
// nothing else.
TEST(Ecce, ChangesOnlyTheSeedWithinTheButtonRange) {
    seedRandom(1);
    for (const int32_t seed : {41, 18467 & 2047, 6334 & 2047, 26500 & 2047}) {
        Settings s;
        settingsFresh(&s);
        Settings expected = s;
        ecceSeed(&s);
        expected.randomSeed = seed;
        setDotName(&expected, kRandomLookName);
        EXPECT_TRUE(sameBytes(s, expected)) << seed;
    }
}

TEST(WaterColorFromHsl, SextantsUnwrappedHuesAndTheBaseWater) {
    const struct {
        Hsl hsl;
        uint16_t r, g, b;
    } rows[] = {
        {{1.0, 1.0, 0.5}, 65535, 0, 0},           // past the sixth: the first sextant
        {{0.5, 1.0, 0.5}, 0, 65535, 65535},       // cyan
        {{-0.5, 1.0, 0.5}, 65535, 0, 65535},      // negative: the last sextant's rule
        {{-0.55, 0.5, 0.5}, 49151, 16383, 58981}, // down is 0.9: brighter than M
        {{0.3, 0.7, 0.0}, 0, 0, 0},
        {{-0.1, 0.68, 0.25}, 27524, 0, 5242}, // sextant 0, negative fraction: green below 0
        {hslFromRgb(0.04, 0.05, 0.21), 2621, 3276, 13762}, // the base water comes back
    };

    for (const auto& row : rows) {
        uint16_t r = 1;
        uint16_t g = 1;
        uint16_t b = 1;
        waterColorFromHsl(row.hsl, &r, &g, &b);
        EXPECT_EQ(std::tie(r, g, b), std::tie(row.r, row.g, row.b)) << row.hsl.hue;
    }
    const Hsl base = hslFromRgb(0.04, 0.05, 0.21);
    EXPECT_NEAR(base.lightness, 0.125, 1e-12);
    EXPECT_NEAR(base.saturation, 0.68, 1e-12);
}

} // namespace
} // namespace lakra
