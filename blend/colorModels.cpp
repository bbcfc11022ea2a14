#include "blend/colorModels.h"

#include <algorithm>
#include <cmath>

namespace lakra {

namespace {

// One channel of an HSL colour: piecewise linear between m1 and m2 over the
// six sixths of the hue circle.
double hueToChannel(double m1, double m2, double hue) {
    hue -= std::floor(hue);
    if (hue < 1.0 / 6.0) {
        return m1 + (m2 - m1) * hue * 6.0;
    }
    if (hue < 0.5) {
        return m2;
    }
    if (hue < 2.0 / 3.0) {
        return m1 + (m2 - m1) * (2.0 / 3.0 - hue) * 6.0;
    }
    return m1;
}

double lumaOf(const UnitRgb& c) {
    return 0.28 * c.red + 0.52 * c.green + 0.2 * c.blue;
}

} // namespace

Hsl rgbToHsl(const UnitRgb& color) {
    const double high = std::max({color.red, color.green, color.blue});
    const double low = std::min({color.red, color.green, color.blue});
    const double lightness = (high + low) * 0.5;
    if (high == low) {
        return {0.0, 0.0, lightness};
    }
    const double range = high - low;
    // Both divisors are positive: high > low >= 0, and low < high <= 1.
    const double saturation = lightness > 0.5 ? range / (2.0 - high - low) : range / (high + low);
    double hue;
    if (high == color.red) {
        hue = (color.green - color.blue) / range + (color.green < color.blue ? 6.0 : 0.0);
    } else if (high == color.green) {
        hue = (color.blue - color.red) / range + 2.0;
    } else {
        hue = (color.red - color.green) / range + 4.0;
    }
    return {hue / 6.0, saturation, lightness};
}

UnitRgb hslToRgb(const Hsl& color) {
    const double l = color.lightness;
    const double s = color.saturation;
    const double m2 = l <= 0.5 ? l * (1.0 + s) : l + s - l * s;
    const double m1 = 2.0 * l - m2;
    return {hueToChannel(m1, m2, color.hue + 1.0 / 3.0), hueToChannel(m1, m2, color.hue),
            hueToChannel(m1, m2, color.hue - 1.0 / 3.0)};
}

double hsyMidpoint(double hue, double saturation) {
    return lumaOf(hslToRgb({hue, saturation, 0.5}));
}

Hsy rgbToHsy(const UnitRgb& color) {
    const Hsl hsl = rgbToHsl(color);
    const double m = hsyMidpoint(hsl.hue, hsl.saturation);
    const double l = hsl.lightness;
    const double luma = l <= 0.5 ? 2.0 * l * m : m + (l - 0.5) * 2.0 * (1.0 - m);
    return {hsl.hue, hsl.saturation, luma};
}

UnitRgb hsyToRgb(const Hsy& color) {
    const double m = std::clamp(hsyMidpoint(color.hue, color.saturation), 0.0, 1.0);
    const double y = color.luma;
    double l;
    // The first two tests also keep both divisions away from zero: y <= m
    // with m = 0 means y <= 0, and y > m with m = 1 means y >= 1.
    if (y >= 1.0) {
        l = 1.0;
    } else if (y <= 0.0) {
        l = 0.0;
    } else if (y <= m) {
        l = y / m * 0.5;
    } else {
        l = (y - m) / (1.0 - m) * 0.5 + 0.5;
    }
    return hslToRgb({color.hue, color.saturation, l});
}

} // namespace lakra
