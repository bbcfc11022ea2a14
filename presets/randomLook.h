#pragma once

#include <cstdint>

namespace lakra {

struct Settings;

// The preset name a random look or seed shows in the status line.
inline constexpr const char* kRandomLookName = "random settings";
// The seed button's values: 0..kSeedButtonMask.
inline constexpr int32_t kSeedButtonMask = 0x7FF;

// The random source of the dice: the Windows C run-time's rand/srand
// generator (values 0..32767), computed here so that a seed gives the same
// looks on every platform and no other rand user in the host process moves it.
// Host thread only.
void seedRandom(uint32_t seed);
// Seeds with the current time in seconds, as every prepare does.
void seedRandomFromTime();
int32_t nextRandom(); // 0..32767

// An integer in [lo, hi]; the bounds are swapped when lo > hi. Draws from a
// power-of-two mask and rejects values above hi, so it never divides.
int32_t randomDraw(int32_t lo, int32_t hi);

// Hue, saturation and lightness, each nominally 0..1.
struct Hsl {
    double hue;
    double saturation;
    double lightness;
};

Hsl hslFromRgb(double red, double green, double blue);
// The dice's conversion back: the hue is not wrapped (a hue beyond 1 counts
// from the first sextant, a negative one as the last), and each channel is
// clamped to 0..1 before it becomes a 16-bit value 0..65535.
void waterColorFromHsl(const Hsl& hsl, uint16_t* red, uint16_t* green, uint16_t* blue);

// Dice: a new plausible look (waves, blur, shading, rings and water colour).
// Horizon, offset, glue and ripple centre stay; the name becomes
// kRandomLookName.
void diceLook(Settings* settings);
// Ecce: only a new seed 0..2047 for the same look (and the name).
void ecceSeed(Settings* settings);

} // namespace lakra
