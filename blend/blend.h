#pragma once

// Joins the water (on top) to the image's own pixel (below) in one of the 63
// blend modes. Every mode computes in 15-bit fixed point (blend/fixed15.h);
// a few whole-pixel modes pass through the HSL and HSY models or the lattice
// colour space on the way.

#include "blend/fixed15.h"
#include "blend/glueModes.h"

#include <cstdint>

namespace lakra {

// The renderer's entry, once per pixel. `water` and `under` are red, green,
// blue, alpha as floats; colour channels outside 0..1 are taken as 0 or 1.
// The result's colour is the mode's, truncated to 15-bit steps; its alpha is
// the water's alpha unchanged, except in Starbright, which makes alpha from
// the colour. Glue numbers outside 1..63 blend as Normal. `result` may be
// either input.
void blendPixel(const float water[4], const float under[4], int32_t glue, float result[4]);

// The same on 15-bit channels (0..32768); alpha is the water's except in
// Starbright.
Pixel15 blendPixel15(const Pixel15& water, const Pixel15& under, int32_t glue);

// Modes whose every result channel depends only on the same channel of both
// colours (Normal, Multiply, Dodge, ...), as opposed to whole-pixel modes
// (Color, Bright, North, Starbright, ...).
using ChannelBlend = int32_t (*)(int32_t water, int32_t under);

// The channel function of a per-channel mode, or null for a whole-pixel mode.
// Glue numbers outside 1..63 give Normal's.
ChannelBlend channelBlendFor(int32_t glue);

inline bool glueIsPerChannel(int32_t glue) {
    return channelBlendFor(glue) != nullptr;
}

// The dextrous rule on fractions, which Sinister applies to luminances:
// b / 2a where the water is brighter, 1 - a / 2b otherwise, 1 for two blacks.
double dextrousRule(double water, double under);

} // namespace lakra
