// The per-channel blend modes. `a` is the water's channel, `b` the
// underlying pixel's, both 0..32768; every result stays in 0..32768.

#include "blend/blend.h"

#include <algorithm>
#include <cstdlib>

namespace lakra {

namespace {

constexpr int32_t kOne = kFixedOne;
constexpr int32_t kHalf = kFixedHalf;

int32_t minOf(int32_t x, int32_t y) {
    return x < y ? x : y;
}

int32_t maxOf(int32_t x, int32_t y) {
    return x > y ? x : y;
}

int32_t square15(int32_t x) {
    return (x * x) >> 15;
}

int32_t normal(int32_t a, int32_t /*b*/) {
    return a;
}

// Moves from b towards a by up to a half, most for mid-tones of b.
int32_t proceduralPlus(int32_t a, int32_t b) {
    const int32_t w = b < kHalf ? b / 2 : kHalf - b / 2;
    return (w * a + (kHalf - w) * b) >> 14;
}

int32_t proceduralMinus(int32_t a, int32_t b) {
    return minOf(a + mul15(a, b), kOne);
}

// a + b - 2ab; also Exclusion. The two products together are at most 2^30.
int32_t difference(int32_t a, int32_t b) {
    return ((kOne - b) * a + (kOne - a) * b) >> 15;
}

int32_t lighten(int32_t a, int32_t b) {
    return maxOf(a, b);
}

int32_t darken(int32_t a, int32_t b) {
    return minOf(a, b);
}

int32_t add(int32_t a, int32_t b) {
    return minOf(a + b, kOne);
}

int32_t subtract(int32_t a, int32_t b) {
    return maxOf(a - b, 0);
}

int32_t multiply(int32_t a, int32_t b) {
    return mul15(a, b);
}

int32_t screen(int32_t a, int32_t b) {
    return a + mul15(kOne - a, b);
}

int32_t hardLight(int32_t a, int32_t b) {
    return hardLight15(b, a);
}

int32_t overlay(int32_t a, int32_t b) {
    return hardLight15(a, b);
}

int32_t superlay(int32_t a, int32_t b) {
    const int32_t x = kOne - square15(mul15(kOne - a, kOne - b));
    const int32_t y = kOne - square15(kOne - mul15(a, b));
    return hardLight15(x, y);
}

int32_t linearLight(int32_t a, int32_t b) {
    return clampFixed(b + 2 * a - kOne);
}

int32_t pinLight(int32_t a, int32_t b) {
    return pin15(b, a);
}

int32_t spinLight(int32_t a, int32_t b) {
    return pin15(a, b);
}

// 15-bit to 8-bit as the vivid rule reads it: 32767 and 32768 both give 255.
int32_t vividByte(int32_t v) {
    return minOf(((v + 1) >> 7) & 511, 255);
}

// Colour dodge of b by 2a above a half, colour burn by 2a below, in 8 bits.
// Division truncates toward zero on negative quotients too.
int32_t vividA(int32_t a, int32_t b) {
    const int32_t a8 = vividByte(a);
    const int32_t b8 = vividByte(b);
    const int32_t r8 =
        a8 < 128 ? ((b8 - 255) * 256) / (2 * a8 + 1) + 255 : (b8 * 256) / (511 - 2 * a8);
    if (r8 < 0) {
        return 0;
    }
    if (r8 >= 255) {
        return kOne;
    }
    return r8 * 128 + r8 / 2;
}

int32_t vividB(int32_t a, int32_t b) {
    return clampFixed(2 * a - b);
}

int32_t similarity(int32_t a, int32_t b) {
    return kOne - std::abs(a + b - kOne);
}

// 4 (x - 0.5)^2 with the square truncated to a 15-bit step first.
int32_t crossTerm(int32_t x) {
    const int32_t d = x - kHalf;
    return 4 * ((d * d) >> 15);
}

int32_t cross(int32_t a, int32_t b) {
    return maxOf(0, kOne - std::abs(crossTerm(a) - crossTerm(b)));
}

int32_t hardDiff(int32_t a, int32_t b) {
    return std::abs(a - b);
}

// Above a half the 8-bit rule: for b = 1 its inverted byte is -1, which
// would lift the result past 1 (to 257/255 at a = 0.5), so the result is
// held at 1.
int32_t softLight(int32_t a, int32_t b) {
    if (a < kHalf) {
        return ((a * b) >> 14) + ((square15(b) * (kOne - 2 * a)) >> 15);
    }
    const int32_t nb = 255 - b / 128;
    const int32_t a7 = a / 128;
    // >> on a negative value is an arithmetic (flooring) shift in C++20.
    const int32_t r8 = 255 - ((((nb * nb) / 256) * (a7 - 130) + (258 - a7) * nb) >> 7);
    return clampFixed(r8 * 128);
}

int32_t dodge(int32_t a, int32_t b) {
    if (a >= kOne) {
        return kOne;
    }
    return minOf((b << 15) / (kOne - a), kOne);
}

int32_t burn(int32_t a, int32_t b) {
    return clampFixed((b - kOne) * kOne / (a + 1) + kOne);
}

int32_t ace(int32_t a, int32_t b) {
    return mul15(a, a) + mul15(kOne - a, b);
}

// b (1 + a - b): the factor is at most 2 - b, so the product stays below 2^30.
int32_t king(int32_t a, int32_t b) {
    return (b * (kOne + a - b)) >> 15;
}

int32_t queen(int32_t a, int32_t b) {
    return (a * (kOne + b - a)) >> 15;
}

int32_t jack(int32_t a, int32_t b) {
    return mul15(b, b) + mul15(kOne - b, a);
}

int32_t bitAnd(int32_t a, int32_t b) {
    return a & b;
}

// 1.0 is the lone bit 0x8000, so OR and XOR of 1.0 with anything else would
// leave the 15-bit range; they are held at 1.
int32_t bitOr(int32_t a, int32_t b) {
    return minOf(a | b, kOne);
}

int32_t bitXor(int32_t a, int32_t b) {
    return minOf(a ^ b, kOne);
}

int32_t multibright(int32_t a, int32_t b) {
    const double p = fixedToUnit(a) * fixedToUnit(b);
    return unitToFixed((2.0 - p) * p);
}

int32_t hot(int32_t a, int32_t b) {
    return pin15(pin15(kOne - a, b), pin15(a, b));
}

int32_t cold(int32_t a, int32_t b) {
    return pin15(pin15(kOne - b, a), pin15(b, a));
}

int32_t wet(int32_t a, int32_t b) {
    return pin15(kOne - hardLight15(kOne - b, a), hardLight15(a, b));
}

int32_t dry(int32_t a, int32_t b) {
    return pin15(kOne - hardLight15(kOne - b, kOne - a), hardLight15(kOne - a, b));
}

int32_t up(int32_t a, int32_t b) {
    return pin15(hardLight15(a, b), hardLight15(b, a));
}

int32_t down(int32_t a, int32_t b) {
    return pin15(hardLight15(b, a), hardLight15(a, b));
}

int32_t hardMix(int32_t a, int32_t b) {
    return a + b > kOne ? kOne : 0;
}

int32_t dextrous(int32_t a, int32_t b) {
    return unitToFixed(dextrousRule(fixedToUnit(a), fixedToUnit(b)));
}

int32_t screendim(int32_t a, int32_t b) {
    const double x = fixedToUnit(a);
    const double y = fixedToUnit(b);
    const double s = x + y - x * y;
    return unitToFixed(s * s);
}

// clang-format off
constexpr ChannelBlend kChannelBlends[kLastGlue + 1] = {
    nullptr,
    normal,      proceduralPlus, proceduralMinus, difference, lighten,     // 1..5
    darken,      add,            subtract,        multiply,   screen,      // 6..10
    hardLight,   overlay,        superlay,        difference, nullptr,     // 11..15
    nullptr,     linearLight,    pinLight,        spinLight,  vividA,      // 16..20
    vividB,      nullptr,        nullptr,         similarity, cross,       // 21..25
    hardDiff,    softLight,      nullptr,         nullptr,    dodge,       // 26..30
    burn,        ace,            king,            queen,      jack,        // 31..35
    bitAnd,      bitOr,          bitXor,          multibright, hot,        // 36..40
    cold,        wet,            dry,             up,         down,        // 41..45
    nullptr,     nullptr,        nullptr,         nullptr,    nullptr,     // 46..50
    nullptr,     hardMix,        nullptr,         nullptr,    nullptr,     // 51..55
    nullptr,     nullptr,        dextrous,        nullptr,    nullptr,     // 56..60
    nullptr,     screendim,      nullptr,                                  // 61..63
};
// clang-format on

} // namespace

double dextrousRule(double water, double under) {
    if (water > under) {
        return std::min(1.0, under / (2.0 * water));
    }
    if (under > 0.0) {
        return std::min(1.0, 1.0 - water / (2.0 * under));
    }
    return 1.0;
}

ChannelBlend channelBlendFor(int32_t glue) {
    return glueIsValid(glue) ? kChannelBlends[glue] : normal;
}

} // namespace lakra
