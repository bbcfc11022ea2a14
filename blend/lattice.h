#pragma once

// The lattice colour space of the parietal, temporal, occipital and limbic
// modes: a lightness K0 and two opponent axes K1, K2 (neutral at byte 128),
// reached from RGB and back through two 16 x 16 x 16 tables of byte
// triples. Lattice point (i, j, k) sits at offset 3 * (i + 16 j + 256 k);
// neighbouring points are 32768 / 15 apart on 15-bit channels, and a colour
// between them is interpolated trilinearly inside its cell.
//
// Bytes become 15-bit values in two ways. RGB and the lightness map 255 to
// 32768, so white is 1.0. The opponent axes map byte 128 to 16384 (x 128),
// so that neutral is exactly 0.5 and the modes' hard light and pin of two
// neutral values stay neutral.

#include "blend/fixed15.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

inline constexpr int32_t kLatticeSide = 16;
inline constexpr int32_t kLatticeTableBytes = 3 * kLatticeSide * kLatticeSide * kLatticeSide;

// RGB to (K0, K1, K2) and back; generated, see blend/latticeTables.cpp.
extern const uint8_t kLatticeForward[kLatticeTableBytes];
extern const uint8_t kLatticeInverse[kLatticeTableBytes];

struct LatticeColor15 {
    int32_t k0;
    int32_t k1;
    int32_t k2;
};

// Cell index 0..14 and the 15-bit position inside it (0..32768) of a
// channel 0..32768.
struct LatticeStep {
    int32_t cell;
    int32_t fraction;
};

inline LatticeStep latticeStep(int32_t channel) {
    const int32_t position = clampFixed(channel) * (kLatticeSide - 1);
    int32_t cell = position >> 15;
    if (cell > kLatticeSide - 2) {
        cell = kLatticeSide - 2;
    }
    return {cell, position - cell * kFixedOne};
}

// The weighted sum of latticeInterpolate is a byte value times 2^45; these
// divide it down to 15 bits, rounded.
inline constexpr int64_t kFullScaleDivisor = int64_t{255} << 30; // 255 -> 32768
inline constexpr int64_t kOpponentDivisor = int64_t{1} << 38;    // 128 -> 16384

// Trilinear lookup of three 15-bit coordinates, giving three 15-bit values.
// Exact in 64-bit integers: each weight is a 15-bit fraction, so the
// weighted sum stays below 255 * 2^45.
inline void latticeInterpolate(const uint8_t* table, const int32_t in[3], const int64_t divisor[3],
                               int32_t out[3]) {
    const LatticeStep x = latticeStep(in[0]);
    const LatticeStep y = latticeStep(in[1]);
    const LatticeStep z = latticeStep(in[2]);
    const int64_t wx[2] = {kFixedOne - x.fraction, x.fraction};
    const int64_t wy[2] = {kFixedOne - y.fraction, y.fraction};
    const int64_t wz[2] = {kFixedOne - z.fraction, z.fraction};
    int64_t sum[3] = {0, 0, 0};
    for (int dz = 0; dz < 2; ++dz) {
        for (int dy = 0; dy < 2; ++dy) {
            const int64_t wyz = wy[dy] * wz[dz];
            const ptrdiff_t point =
                x.cell + kLatticeSide * (y.cell + dy) + kLatticeSide * kLatticeSide * (z.cell + dz);
            const uint8_t* row = table + 3 * point;
            for (int c = 0; c < 3; ++c) {
                sum[c] += (row[c] * wx[0] + row[3 + c] * wx[1]) * wyz;
            }
        }
    }
    for (int c = 0; c < 3; ++c) {
        out[c] = static_cast<int32_t>((sum[c] + divisor[c] / 2) / divisor[c]);
    }
}

inline constexpr int64_t kToLatticeDivisors[3] = {kFullScaleDivisor, kOpponentDivisor,
                                                  kOpponentDivisor};
inline constexpr int64_t kToRgbDivisors[3] = {kFullScaleDivisor, kFullScaleDivisor,
                                              kFullScaleDivisor};

LatticeColor15 rgbToLattice(int32_t red, int32_t green, int32_t blue);
Pixel15 latticeToRgb(const LatticeColor15& color, int32_t alpha);

} // namespace lakra
