#include "presets/randomLook.h"

#include "render/settings.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace lakra {

namespace {

// The Windows C run-time's linear congruential generator: a 32-bit state,
// of which rand returns bits 16..30.
constexpr uint32_t kRandMultiplier = 214013u;
constexpr uint32_t kRandIncrement = 2531011u;

uint32_t gRandState = 1; // rand before any srand behaves as after srand(1)

// The dice start from this deep blue and move it in hue, saturation and
// lightness.
constexpr double kBaseWater[3] = {0.04, 0.05, 0.21};
// A roll of this or more (of 0..100) makes the water black: about three in five.
constexpr int32_t kBlackWaterRoll = 41;

uint16_t channelWord(double value) {
    // Out-of-range channels (a negative hue in the first sextant) would wrap
    // into bright colours; they are clamped instead. NaN gives 0.
    if (!(value > 0.0)) {
        return 0;
    }
    if (value >= 1.0) {
        return 65535;
    }
    return static_cast<uint16_t>(value * 65535.0);
}

} // namespace

void seedRandom(uint32_t seed) {
    gRandState = seed;
}

void seedRandomFromTime() {
    seedRandom(static_cast<uint32_t>(std::time(nullptr)));
}

int32_t nextRandom() {
    gRandState = gRandState * kRandMultiplier + kRandIncrement;
    return static_cast<int32_t>((gRandState >> 16) & 0x7FFFu);
}

int32_t randomDraw(int32_t lo, int32_t hi) {
    if (lo > hi) {
        std::swap(lo, hi);
    }
    // 64 bits: the span of two extreme bounds does not fit 32.
    const int64_t span = static_cast<int64_t>(hi) - lo;
    int64_t mask = 1;
    if (span >= 2) {
        while (mask < span) {
            mask = mask * 2 + 1;
        }
    }
    for (;;) {
        // rand as a signed 16-bit value; 0..32767 keeps it non-negative.
        const auto bits = static_cast<int16_t>(nextRandom());
        const int64_t value = ((bits >> 4) & mask) + lo;
        if (value <= hi) {
            return static_cast<int32_t>(value);
        }
    }
}

Hsl hslFromRgb(double red, double green, double blue) {
    const double most = std::max({red, green, blue});
    const double least = std::min({red, green, blue});
    Hsl hsl{0.0, 0.0, (most + least) / 2.0};
    const double delta = most - least;
    if (delta <= 0.0) {
        return hsl; // grey: no hue, no saturation
    }
    hsl.saturation = hsl.lightness <= 0.5 ? delta / (most + least) : delta / (2.0 - most - least);
    double hue = 0.0;
    if (red == most) {
        hue = (green - blue) / delta;
    } else if (green == most) {
        hue = 2.0 + (blue - red) / delta;
    } else {
        hue = 4.0 + (red - green) / delta;
    }
    hue /= 6.0;
    hsl.hue = hue < 0.0 ? hue + 1.0 : hue;
    return hsl;
}

void waterColorFromHsl(const Hsl& hsl, uint16_t* red, uint16_t* green, uint16_t* blue) {
    const double l = hsl.lightness;
    const double s = hsl.saturation;
    const double most = l <= 0.5 ? l * (1.0 + s) : l + s - l * s;
    if (!(most > 0.0)) {
        *red = 0;
        *green = 0;
        *blue = 0;
        return;
    }
    const double least = 2.0 * l - most;
    const double scaled = hsl.hue * 6.0;
    const double whole = std::trunc(scaled); // toward zero, so -0.5 is sextant 0
    const double f = scaled - whole;
    const double up = least + (most - least) * f;
    const double down = most - (most - least) * f;
    // Beyond the sixth sextant counts as the first; below zero (and NaN) as the last.
    int sextant = 5;
    if (whole > 5.0) {
        sextant = 0;
    } else if (whole >= 0.0) {
        sextant = static_cast<int>(whole);
    }
    double rgb[3] = {most, least, down};
    switch (sextant) {
    case 0:
        rgb[0] = most;
        rgb[1] = up;
        rgb[2] = least;
        break;
    case 1:
        rgb[0] = down;
        rgb[1] = most;
        rgb[2] = least;
        break;
    case 2:
        rgb[0] = least;
        rgb[1] = most;
        rgb[2] = up;
        break;
    case 3:
        rgb[0] = least;
        rgb[1] = down;
        rgb[2] = most;
        break;
    case 4:
        rgb[0] = up;
        rgb[1] = least;
        rgb[2] = most;
        break;
    default:
        break;
    }
    *red = channelWord(rgb[0]);
    *green = channelWord(rgb[1]);
    *blue = channelWord(rgb[2]);
}

void diceLook(Settings* settings) {
    Settings& s = *settings;
    // The order of the draws fixes which look a seed gives.
    s.waviness = randomDraw(0, 70);
    s.complexity = randomDraw(0, 60);
    s.brilliance = randomDraw(30, 60);
    const int32_t blurA = randomDraw(0, 70);
    const int32_t blurB = randomDraw(0, 70);
    s.blur = blurA * blurB / 100; // at most 49
    s.perspective = randomDraw(20, 80);
    s.altitude = randomDraw(1, 90);
    s.rippleSize = randomDraw(20, 100);
    s.rippleHeight = randomDraw(0, 60);
    s.undulation = randomDraw(3, 80);

    Hsl hsl = hslFromRgb(kBaseWater[0], kBaseWater[1], kBaseWater[2]);
    hsl.hue += (randomDraw(0, 100) - 50) * 0.05;
    hsl.saturation *= randomDraw(0, 100) * 0.01;
    hsl.lightness *= randomDraw(0, 100) * 0.02;
    if (randomDraw(0, 100) >= kBlackWaterRoll) {
        hsl.lightness = 0.0;
    }
    waterColorFromHsl(hsl, &s.waterRed, &s.waterGreen, &s.waterBlue);
    setDotName(settings, kRandomLookName);
}

void ecceSeed(Settings* settings) {
    settings->randomSeed = nextRandom() & kSeedButtonMask;
    setDotName(settings, kRandomLookName);
}

} // namespace lakra
