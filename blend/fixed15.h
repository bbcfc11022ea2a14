#pragma once

// 15-bit fixed point, the arithmetic of every blend mode: 32768 is 1.0.
// Channels live in 0..32768 and every intermediate fits a 32-bit signed
// integer, because no product of two factors exceeds 2^30.

#include <cstdint>

namespace lakra {

inline constexpr int32_t kFixedOne = 32768;
inline constexpr int32_t kFixedHalf = 16384;

// One colour in 15-bit fixed point; alpha rides along for starbright, the
// only mode that sets it.
struct Pixel15 {
    int32_t red;
    int32_t green;
    int32_t blue;
    int32_t alpha;
};

inline constexpr int32_t clampFixed(int32_t value) {
    return value < 0 ? 0 : (value > kFixedOne ? kFixedOne : value);
}

// Truncates toward zero, as every conversion into fixed point does. Values
// outside 0..1 (and NaN) are taken as the nearest end: the modes are defined
// on 0..32768 only, and a larger float would overflow the conversion.
inline int32_t toFixed15(float value) {
    if (!(value > 0.0f)) {
        return 0;
    }
    if (value >= 1.0f) {
        return kFixedOne;
    }
    return static_cast<int32_t>(value * 32768.0f);
}

// 1/32768 is exact in single precision, so 16384 comes back as 0.5.
inline float fromFixed15(int32_t value) {
    return static_cast<float>(value) * (1.0f / 32768.0f);
}

inline double fixedToUnit(int32_t value) {
    return static_cast<double>(value) * (1.0 / 32768.0);
}

// Fraction back to fixed point, truncated, for the modes computed in floating
// point. The slack of 1/4096 step keeps a value that should be exact (0.5
// computed as 0.49999999999) from truncating a whole step down.
inline int32_t unitToFixed(double value) {
    const double scaled = value * 32768.0 + (1.0 / 4096.0);
    if (!(scaled > 0.0)) {
        return 0;
    }
    if (scaled >= 32768.0) {
        return kFixedOne;
    }
    return static_cast<int32_t>(scaled);
}

// x * y for two 15-bit values.
inline constexpr int32_t mul15(int32_t x, int32_t y) {
    return (x * y) >> 15;
}

// Hard light: 2xy below y = 0.5, the screen of both doubled above it.
inline constexpr int32_t hardLight15(int32_t x, int32_t y) {
    if (y < kFixedHalf) {
        return (x * y) >> 14;
    }
    return kFixedOne - (((kFixedOne - x) * (kFixedOne - y)) >> 14);
}

// Pin light: y below 0.5 pins x from above at 2y, above 0.5 from below at 2y - 1.
inline constexpr int32_t pin15(int32_t x, int32_t y) {
    if (y < kFixedHalf) {
        const int32_t top = 2 * y;
        return x < top ? x : top;
    }
    const int32_t bottom = 2 * y - kFixedOne;
    return x > bottom ? x : bottom;
}

// Luma weights sum to 255: white gives 255 * 32768.
inline constexpr int32_t luma8(int32_t red, int32_t green, int32_t blue) {
    return 77 * red + 150 * green + 28 * blue;
}

} // namespace lakra
