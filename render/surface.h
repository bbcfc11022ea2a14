#pragma once

#include "settings.h"

#include <cstdint>

namespace lakra {

// The water surface: broad waves of seeded gradient noise summed over
// octaves, plus a cluster of ring ripples around a chosen centre. For a
// screen position below the horizon it gives a displacement in screen
// fractions that the shading adds to the mirrored lookup position.
//
// Everything seeded is built once per render (waterSurfaceBuild); the
// per-sample functions read only the finished record, allocate nothing and
// run in single precision with table lookups, so worker threads may share one
// record.

inline constexpr int32_t kPermutationSize = 256;
inline constexpr int32_t kRandomTableSize = 2048;
inline constexpr int32_t kRingCount = 9;
// The ring centres use random fractions 400..417, two per ring.
inline constexpr int32_t kRingRandomFirst = 400;

// Drawn at random once, values 0..2047 with repeats; the seeded random table
// is shuffled from it. Generator and seed are documented beside the values.
extern const uint16_t kRandomSourceTable[kRandomTableSize];

// The noise permutation for one seed: entry i is the reference permutation
// rotated by the seed's low 8 bits; entries 256..511 repeat 0..255 so that
// the hash chain never needs a wrap. Four zero bytes follow, so that a
// vector gather may read 32 bits at the last entry. `twice` holds the chain's
// double step entries[entries[i]] for every i, as whole words, for the
// vector noise.
struct NoisePermutation {
    uint8_t entries[2 * kPermutationSize];
    uint8_t readPadding[4];
    int32_t twice[2 * kPermutationSize];
};

// The seeded table of 2048 fractions, each a multiple of 1/255 in [0, 1].
struct RandomTable {
    float fractions[kRandomTableSize];
};

struct RingCentre {
    float x; // across, on the water plane
    float z; // depth, on the water plane
};

// One render's surface: the working values it needs, the seeded permutation
// and the ring centres on the water plane.
struct WaterSurface {
    float horizon;         // h, fraction of the height
    float planeWidth;      // 2 * p * a: how far the plane spreads across
    float altitude;        // a
    float ringRadius;      // s, on the plane; 0 turns the rings off
    float rippleAmplitude; // amp
    float waviness;        // w
    float undulation;      // k, rings per ripple
    float octaves;         // 1.01..7.01
    NoisePermutation permutation;
    // Only centres that exist on the plane are kept: a centre exactly on the
    // horizon lies at infinite depth and draws no ring.
    int32_t ringCount;
    RingCentre rings[kRingCount];
};

struct PlanePoint {
    float x; // across
    float z; // depth
};

// Two independent wave heights from the octave sum, one per screen axis.
struct WaveSum {
    float a;
    float b;
};

// The ring ripples' sine part (across) and cosine part (depth).
struct RingSum {
    float sine;
    float cosine;
};

// Displacement in screen fractions.
struct SurfaceDisplacement {
    float dx;
    float dz;
};

// Any seed works, negative ones from scripting included; only its low 8 bits
// matter.
void noisePermutationBuild(int32_t randomSeed, NoisePermutation* permutation);
// The seed is taken modulo 2048 (never negative), so every seed is valid.
void randomTableBuild(int32_t randomSeed, RandomTable* table);

// Builds the surface for one render from the look.
void waterSurfaceBuild(const Settings& settings, WaterSurface* surface);
void waterSurfaceBuild(const WorkingValues& values, int32_t randomSeed, float xCenter,
                       float yCenter, WaterSurface* surface);

// Improved gradient noise in a plane, about -1..1; 0 at every lattice point,
// period 256 in both axes. Non-finite input gives 0.
float gradientNoise(const NoisePermutation& permutation, float x, float y);
// The octave sum at plane point (x, z): floor(octaves) full rotated octaves,
// then the fractional part of one more, unrotated.
WaveSum waveSum(const NoisePermutation& permutation, float x, float z, float octaves);
// The octave sums of `count` points, each bit for bit what waveSum gives;
// the variant of simdLevel() (platform/simd.h) takes several at a time.
void waveSumBatch(const NoisePermutation& permutation, const float* x, const float* z,
                  int32_t count, float octaves, WaveSum* sums);
// The ring ripples at plane point (x, z); {0, 0} when the rings are off.
RingSum ringRipples(const WaterSurface& surface, float x, float z);
// The point on the water plane seen at screen position (u, v); meaningful
// below the horizon (v > horizon).
PlanePoint waterPlanePoint(const WaterSurface& surface, float u, float v);
// The displacement at screen position (u, v). Above and on the horizon
// there is no water to disturb and the result is {0, 0}.
SurfaceDisplacement surfaceDisplacement(const WaterSurface& surface, float u, float v);
// Its last step, below the horizon, for a plane point whose wave sum is known
// (zero when the waviness is 0): the rings added and the whole scaled by the
// depth below the horizon.
SurfaceDisplacement displacementWithWaves(const WaterSurface& surface, float v,
                                          const PlanePoint& point, const WaveSum& waves);

} // namespace lakra
