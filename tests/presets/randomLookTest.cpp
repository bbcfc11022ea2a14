#include "presets/randomLook.h"

#include "render/settings.h"
#include "support/fileChecks.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <tuple>

namespace lakra {
namespace {

using testing::sameBytes;

Settings freshSettings() {
    Settings s;
    settingsFresh(&s);
    return s;
}

TEST(RandomSource, MatchesTheWindowsRuntimeSequence) {
    // srand(1); rand() x 5 with the Windows C run-time.
    seedRandom(1);
    for (const int32_t value : {41, 18467, 6334, 26500, 19169}) {
        EXPECT_EQ(nextRandom(), value);
    }
}

#ifdef _WIN32
TEST(RandomSource, FollowsTheRuntimeGeneratorOnWindows) {
    for (const unsigned seed : {0u, 1u, 12345u, 0xFFFFFFFFu}) {
        std::srand(seed);
        seedRandom(seed);
        for (int i = 0; i < 1000; ++i) {
            const int expected = std::rand(); // NOLINT(concurrency-mt-unsafe): one thread
            ASSERT_EQ(nextRandom(), expected) << seed;
        }
    }
}
#endif

TEST(RandomDraw, StaysWithinEitherOrderOfBoundsAndCoversThem) {
    seedRandom(11);
    bool seen[11] = {};
    for (int i = 0; i < 5000; ++i) {
        const int32_t value = randomDraw(10, 0); // swapped bounds
        ASSERT_TRUE(value >= 0 && value <= 10) << value;
        seen[value] = true;
        ASSERT_EQ(randomDraw(5, 5), 5);
    }
    EXPECT_EQ(std::count(std::begin(seen), std::end(seen), true), 11);
    for (int i = 0; i < 100; ++i) {
        // Eleven random bits above the lower bound; the span does not overflow.
        EXPECT_LE(randomDraw(INT32_MAX, INT32_MIN), INT32_MIN + 2047);
        EXPECT_GE(randomDraw(INT32_MAX - 1, INT32_MAX), INT32_MAX - 1);
    }
}

TEST(Dice, EveryFieldStaysInItsRangeForManySeeds) {
    for (uint32_t seed = 0; seed < 3000; ++seed) {
        seedRandom(seed * 2654435761u);
        Settings s = freshSettings();
        diceLook(&s);
        ASSERT_TRUE(s.waviness >= 0 && s.waviness <= 70) << seed;
        ASSERT_TRUE(s.complexity >= 0 && s.complexity <= 60) << seed;
        ASSERT_TRUE(s.brilliance >= 30 && s.brilliance <= 60) << seed;
        ASSERT_TRUE(s.blur >= 0 && s.blur <= 49) << seed;
        ASSERT_TRUE(s.perspective >= 20 && s.perspective <= 80) << seed;
        ASSERT_TRUE(s.altitude >= 1 && s.altitude <= 90) << seed;
        ASSERT_TRUE(s.rippleSize >= 20 && s.rippleSize <= 100) << seed;
        ASSERT_TRUE(s.rippleHeight >= 0 && s.rippleHeight <= 60) << seed;
        ASSERT_TRUE(s.undulation >= 3 && s.undulation <= 80) << seed;
        // The brightest channel the dice make: lightness 0.25, saturation 0.68,
        // a hue below -1/6 (M + (M - m) = 0.76).
        ASSERT_LE(std::max({s.waterRed, s.waterGreen, s.waterBlue}), 49807) << seed;
    }
}

TEST(Dice, LeavesHorizonOffsetGlueCentreSeedAndViewAlone) {
    seedRandom(99);
    Settings s = freshSettings();
    setHorizon(&s, 37.5f);
    setOffset(&s, 12.25f);
    s.glue = 44;
    s.xCenter = 0.125f;
    s.yCenter = 0.75f;
    s.randomSeed = 1234;
    s.previewScale = 3;
    s.panX = 17;
    Settings expected = s;
    diceLook(&s);
    // Only the dice's own fields may differ.
    for (int32_t Settings::*field :
         {&Settings::waviness, &Settings::complexity, &Settings::brilliance, &Settings::blur,
          &Settings::perspective, &Settings::altitude, &Settings::rippleSize,
          &Settings::rippleHeight, &Settings::undulation}) {
        expected.*field = s.*field;
    }
    std::tie(expected.waterRed, expected.waterGreen, expected.waterBlue) =
        std::tie(s.waterRed, s.waterGreen, s.waterBlue);
    setDotName(&expected, kRandomLookName);
    EXPECT_TRUE(sameBytes(s, expected));
}

TEST(Dice, SameSeedGivesTheSameLook) {
    Settings a = freshSettings();
    Settings b = freshSettings();
    seedRandom(424242);
    diceLook(&a);
    seedRandom(424242);
    diceLook(&b);
    EXPECT_TRUE(sameBytes(a, b));
    diceLook(&b); // the sequence moves on
    EXPECT_NE(std::memcmp(&a, &b, offsetof(Settings, renderTarget)), 0);
}

TEST(Dice, AboutThreeRollsInFiveGiveBlackWater) {
    seedRandom(2024);
    int black = 0;
    const int rolls = 5000;
    for (int i = 0; i < rolls; ++i) {
        Settings s = freshSettings();
        diceLook(&s);
        black += s.waterRed == 0 && s.waterGreen == 0 && s.waterBlue == 0 ? 1 : 0;
    }
    EXPECT_GT(black, rolls * 55 / 100);
    EXPECT_LT(black, rolls * 64 / 100);
}

TEST(Ecce, ChangesOnlyTheSeedWithinTheButtonRange) {
    seedRandom(5);
    bool sawZero = false;
    bool sawTop = false;
    for (int i = 0; i < 40000; ++i) {
        Settings s = freshSettings();
        Settings before = s;
        ecceSeed(&s);
        ASSERT_TRUE(s.randomSeed >= 0 && s.randomSeed <= 2047) << s.randomSeed;
        sawZero = sawZero || s.randomSeed == 0;
        sawTop = sawTop || s.randomSeed == 2047;
        before.randomSeed = s.randomSeed;
        setDotName(&before, kRandomLookName);
        ASSERT_TRUE(sameBytes(s, before));
    }
    EXPECT_TRUE(sawZero && sawTop);
}

TEST(WaterColorFromHsl, SextantsAndUnwrappedHues) {
    struct Row {
        Hsl hsl;
        uint16_t r, g, b;
    };

    const Row rows[] = {
        {{1.0, 1.0, 0.5}, 65535, 0, 0},           // past the sixth: the first sextant
        {{0.5, 1.0, 0.5}, 0, 65535, 65535},       // cyan
        {{-0.5, 1.0, 0.5}, 65535, 0, 65535},      // negative: the last sextant's rule
        {{-0.55, 0.5, 0.5}, 49151, 16383, 58981}, // down is 0.9: brighter than M
        {{0.3, 0.7, 0.0}, 0, 0, 0},
    };
    for (const Row& row : rows) {
        uint16_t r = 1;
        uint16_t g = 1;
        uint16_t b = 1;
        waterColorFromHsl(row.hsl, &r, &g, &b);
        EXPECT_EQ(std::tie(r, g, b), std::tie(row.r, row.g, row.b)) << row.hsl.hue;
    }
    // Sextant 0 with a negative fraction: green would fall below zero.
    uint16_t r = 0;
    uint16_t g = 0;
    uint16_t b = 0;
    waterColorFromHsl(Hsl{-0.1, 0.68, 0.25}, &r, &g, &b);
    EXPECT_EQ(g, 0);
    EXPECT_GT(r, 27000);
    EXPECT_LT(b, 6000);
}

TEST(WaterColorFromHsl, BaseWaterRoundTrips) {
    const Hsl hsl = hslFromRgb(0.04, 0.05, 0.21);
    EXPECT_NEAR(hsl.lightness, 0.125, 1e-12);
    EXPECT_NEAR(hsl.saturation, 0.68, 1e-12);
    uint16_t r = 0;
    uint16_t g = 0;
    uint16_t b = 0;
    waterColorFromHsl(hsl, &r, &g, &b);
    EXPECT_NEAR(r, 2621, 1);
    EXPECT_NEAR(g, 3277, 1);
    EXPECT_NEAR(b, 13762, 1);
}

} // namespace
} // namespace lakra
