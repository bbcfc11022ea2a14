// The whole-pixel blend modes and the per-pixel entries. A is the water
// (on top), B the underlying pixel; channels 0..32768.

#include "blend/blend.h"
#include "blend/colorModels.h"
#include "blend/lattice.h"

#include <algorithm>
#include <cmath>

namespace lakra {

namespace {

constexpr int32_t kOne = kFixedOne;
constexpr double kTurn = 6.283185307179586;

UnitRgb unitOf(const Pixel15& p) {
    return {fixedToUnit(p.red), fixedToUnit(p.green), fixedToUnit(p.blue)};
}

Pixel15 fixedOf(const UnitRgb& c, int32_t alpha) {
    return {unitToFixed(c.red), unitToFixed(c.green), unitToFixed(c.blue), alpha};
}

// The luminance the Color, Luminance and Sinister modes take from L8: its top
// bits as a fraction, so white gives 255/256.
double lumaFraction(const Pixel15& p) {
    return fixedToUnit(luma8(p.red, p.green, p.blue) >> 8);
}

// Colours near mid lightness count fully, black and white not at all.
double lightnessWeight(double lightness) {
    const double t = lightness <= 0.5 ? 2.0 * lightness : 2.0 - 2.0 * lightness;
    const double u = 1.0 - t;
    return 1.0 - u * u * u * u;
}

// Hue and saturation from one colour, luminance from a number.
Pixel15 hsyBlend(const Hsy& shade, double luma, int32_t alpha) {
    return fixedOf(hsyToRgb({shade.hue, shade.saturation, luma}), alpha);
}

Pixel15 color(const Pixel15& a, const Pixel15& b) {
    return hsyBlend(rgbToHsy(unitOf(a)), lumaFraction(b), a.alpha);
}

Pixel15 luminance(const Pixel15& a, const Pixel15& b) {
    return hsyBlend(rgbToHsy(unitOf(b)), lumaFraction(a), a.alpha);
}

Pixel15 saturation(const Pixel15& a, const Pixel15& b) {
    const Hsy ha = rgbToHsy(unitOf(a));
    const Hsy hb = rgbToHsy(unitOf(b));
    return fixedOf(hsyToRgb({hb.hue, ha.saturation, hb.luma}), a.alpha);
}

Pixel15 hue(const Pixel15& a, const Pixel15& b) {
    const Hsy ha = rgbToHsy(unitOf(a));
    const Hsy hb = rgbToHsy(unitOf(b));
    return fixedOf(hsyToRgb({ha.hue, hb.saturation, hb.luma}), a.alpha);
}

// Lumas compared in steps of 256, so near ties keep the water.
int32_t coarseLuma(const Pixel15& p) {
    return luma8(p.red, p.green, p.blue) & ~255;
}

Pixel15 bright(const Pixel15& a, const Pixel15& b) {
    return coarseLuma(a) < coarseLuma(b) ? Pixel15{b.red, b.green, b.blue, a.alpha} : a;
}

Pixel15 dim(const Pixel15& a, const Pixel15& b) {
    return coarseLuma(a) > coarseLuma(b) ? Pixel15{b.red, b.green, b.blue, a.alpha} : a;
}

// Wax shows the water where it is saturated, wane where it is grey; both
// only at mid lightness.
Pixel15 waxOrWane(const Pixel15& a, const Pixel15& b, bool wax) {
    const UnitRgb ua = unitOf(a);
    const UnitRgb ub = unitOf(b);
    const Hsl hsl = rgbToHsl(ua);
    const double share =
        (wax ? hsl.saturation : 1.0 - hsl.saturation) * lightnessWeight(hsl.lightness);
    const double rest = 1.0 - share;
    return fixedOf({ua.red * share + ub.red * rest, ua.green * share + ub.green * rest,
                    ua.blue * share + ub.blue * rest},
                   a.alpha);
}

int32_t lerp15(int32_t x, int32_t y, int32_t t) {
    return ((kOne - t) * x + t * y) >> 15;
}

// North, south, east, west: each channel moves from the water's towards the
// image's by a weight taken from another channel.
Pixel15 north(const Pixel15& a, const Pixel15& b) {
    return {lerp15(a.red, b.red, a.green), lerp15(a.green, b.green, a.blue),
            lerp15(a.blue, b.blue, a.red), a.alpha};
}

Pixel15 south(const Pixel15& a, const Pixel15& b) {
    return {lerp15(a.red, b.red, a.blue), lerp15(a.green, b.green, a.red),
            lerp15(a.blue, b.blue, a.green), a.alpha};
}

Pixel15 east(const Pixel15& a, const Pixel15& b) {
    return {lerp15(a.red, b.red, b.green), lerp15(a.green, b.green, b.blue),
            lerp15(a.blue, b.blue, b.red), a.alpha};
}

Pixel15 west(const Pixel15& a, const Pixel15& b) {
    return {lerp15(a.red, b.red, b.blue), lerp15(a.green, b.green, b.red),
            lerp15(a.blue, b.blue, b.green), a.alpha};
}

// The chroma of both colours as points on the hue circle, mixed towards the
// image's where both are of mid lightness; the darker lightness wins.
Pixel15 frontal(const Pixel15& a, const Pixel15& b) {
    const Hsl ha = rgbToHsl(unitOf(a));
    const Hsl hb = rgbToHsl(unitOf(b));
    const double ax = ha.saturation * std::cos(kTurn * ha.hue);
    const double ay = ha.saturation * std::sin(kTurn * ha.hue);
    const double bx = hb.saturation * std::cos(kTurn * hb.hue);
    const double by = hb.saturation * std::sin(kTurn * hb.hue);
    const double w = lightnessWeight(hb.lightness) * lightnessWeight(ha.lightness);
    const double x = ax + (bx - ax) * w;
    const double y = ay + (by - ay) * w;
    double angle = std::atan2(y, x);
    if (angle < 0.0) {
        angle += kTurn;
    }
    const Hsl mixed{angle / kTurn, std::sqrt(x * x + y * y), std::min(ha.lightness, hb.lightness)};
    return fixedOf(hslToRgb(mixed), a.alpha);
}

// Parietal, temporal, occipital, limbic: combine the colours' lattice-space
// components, then come back to RGB.
Pixel15 latticeBlend(const Pixel15& a, const Pixel15& b, GlueMode mode) {
    const LatticeColor15 ka = rgbToLattice(a.red, a.green, a.blue);
    const LatticeColor15 kb = rgbToLattice(b.red, b.green, b.blue);
    LatticeColor15 k{};
    switch (mode) {
    case GlueMode::Parietal:
        k = {mul15(ka.k0, kb.k0), hardLight15(ka.k1, kb.k1), hardLight15(ka.k2, kb.k2)};
        break;
    case GlueMode::Temporal:
        k = {ka.k0 + mul15(kOne - ka.k0, kb.k0), hardLight15(ka.k1, kb.k1),
             hardLight15(ka.k2, kb.k2)};
        break;
    case GlueMode::Occipital:
        k = {pin15(kb.k0, ka.k0), pin15(kb.k1, ka.k1), ka.k2};
        break;
    default: // Limbic
        k = {pin15(ka.k0, kb.k0), pin15(ka.k1, kb.k1), ka.k2};
        break;
    }
    return latticeToRgb(k, a.alpha);
}

Pixel15 sinister(const Pixel15& a, const Pixel15& b) {
    const Hsy ha = rgbToHsy(unitOf(a));
    return hsyBlend(ha, dextrousRule(ha.luma, lumaFraction(b)), a.alpha);
}

// Anterior and posterior: the multibright curve of both luminances, pulled
// back towards the reference colour's own luminance near black and white.
Pixel15 anteriorOrPosterior(const Pixel15& a, const Pixel15& b, bool anterior) {
    const Hsy ha = rgbToHsy(unitOf(a));
    const Hsy hb = rgbToHsy(unitOf(b));
    const Hsy& reference = anterior ? ha : hb;
    const double r = reference.luma;
    const double p = ha.luma * hb.luma;
    double t = (2.0 - p) * p;
    if (r > 0.8) {
        t += (r - 0.8) * 5.0 * (r - t);
    }
    if (r < 0.2) {
        t += (0.2 - r) * 5.0 * (r - t);
    }
    return hsyBlend(reference, std::clamp(t, 0.0, 1.0), a.alpha);
}

// The brightest channel becomes alpha and the colour is scaled up by it.
Pixel15 starbright(const Pixel15& a) {
    const int32_t m = std::min(std::max({a.red, a.green, a.blue}), kOne);
    if (m <= 0) {
        return {0, 0, 0, 0};
    }
    return {(a.red << 15) / m, (a.green << 15) / m, (a.blue << 15) / m, m};
}

Pixel15 wholePixel(const Pixel15& a, const Pixel15& b, GlueMode mode) {
    switch (mode) {
    case GlueMode::Color:
        return color(a, b);
    case GlueMode::Luminance:
        return luminance(a, b);
    case GlueMode::Saturation:
        return saturation(a, b);
    case GlueMode::Hue:
        return hue(a, b);
    case GlueMode::Bright:
        return bright(a, b);
    case GlueMode::Dim:
        return dim(a, b);
    case GlueMode::Wax:
        return waxOrWane(a, b, true);
    case GlueMode::Wane:
        return waxOrWane(a, b, false);
    case GlueMode::North:
        return north(a, b);
    case GlueMode::South:
        return south(a, b);
    case GlueMode::East:
        return east(a, b);
    case GlueMode::West:
        return west(a, b);
    case GlueMode::Frontal:
        return frontal(a, b);
    case GlueMode::Parietal:
    case GlueMode::Temporal:
    case GlueMode::Occipital:
    case GlueMode::Limbic:
        return latticeBlend(a, b, mode);
    case GlueMode::Sinister:
        return sinister(a, b);
    case GlueMode::Anterior:
        return anteriorOrPosterior(a, b, true);
    case GlueMode::Posterior:
        return anteriorOrPosterior(a, b, false);
    case GlueMode::Starbright:
        return starbright(a);
    default:
        return a;
    }
}

Pixel15 clampPixel(const Pixel15& p) {
    return {clampFixed(p.red), clampFixed(p.green), clampFixed(p.blue), clampFixed(p.alpha)};
}

} // namespace

Pixel15 blendPixel15(const Pixel15& water, const Pixel15& under, int32_t glue) {
    // Out-of-range channels would overflow the modes' 32-bit products.
    const Pixel15 a = clampPixel(water);
    const Pixel15 b = clampPixel(under);
    const ChannelBlend channel = channelBlendFor(glue);
    if (channel != nullptr) {
        return {channel(a.red, b.red), channel(a.green, b.green), channel(a.blue, b.blue), a.alpha};
    }
    return wholePixel(a, b, static_cast<GlueMode>(glue));
}

void blendPixel(const float water[4], const float under[4], int32_t glue, float result[4]) {
    const float waterAlpha = water[3];
    const Pixel15 a{toFixed15(water[0]), toFixed15(water[1]), toFixed15(water[2]),
                    toFixed15(waterAlpha)};
    const Pixel15 b{toFixed15(under[0]), toFixed15(under[1]), toFixed15(under[2]),
                    toFixed15(under[3])};
    const Pixel15 r = blendPixel15(a, b, glue);
    result[0] = fromFixed15(r.red);
    result[1] = fromFixed15(r.green);
    result[2] = fromFixed15(r.blue);
    result[3] = glue == glueNumber(GlueMode::Starbright) ? fromFixed15(r.alpha) : waterAlpha;
}

} // namespace lakra
