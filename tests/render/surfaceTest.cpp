#include "render/surface.h"

#include "platform/simd.h"
#include "render/settings.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace lakra {
namespace {

WaterSurface surfaceOf(const Settings& settings) {
    WaterSurface surface{};
    waterSurfaceBuild(settings, &surface);
    return surface;
}

NoisePermutation permutationOf(int32_t seed) {
    NoisePermutation permutation{};
    noisePermutationBuild(seed, &permutation);
    return permutation;
}

bool isStill(const SurfaceDisplacement& d) {
    return d.dx == 0.0f && d.dz == 0.0f;
}

bool isFinite(const SurfaceDisplacement& d) {
    return std::isfinite(d.dx) && std::isfinite(d.dz);
}

// Calls f(u, v) over a grid of water positions from just below the horizon
// to the bottom.
template <typename F>
void forWaterGrid(const WaterSurface& surface, F f) {
    for (int row = 1; row <= 24; ++row) {
        const float v = surface.horizon + (1.0f - surface.horizon) * static_cast<float>(row) / 24;
        for (int column = 0; column <= 16; ++column) {
            f(static_cast<float>(column) / 16, v);
        }
    }
}

// Any seed works, negative ones and the ends of the range included: the
// permutation is the reference order rotated by the seed's low 8 bits and
// repeated once, the random fractions wrap every 2048 seeds.
TEST(SeededTables, AnySeedRotatesTheReferenceOrderAndWraps) {
    RandomTable table{};
    RandomTable other{};
    for (int32_t seed : {0, 1, 21, 255, 256, 2047, -1, -300, INT_MIN, INT_MAX}) {
        const NoisePermutation perm = permutationOf(seed);
        EXPECT_TRUE(std::equal(perm.entries, perm.entries + 256, perm.entries + 256)) << seed;
        randomTableBuild(seed, &table); // any seed indexes inside the tables
    }
    const NoisePermutation zero = permutationOf(0);
    const uint8_t head[] = {151, 160, 137, 91, 90, 15};
    EXPECT_TRUE(std::equal(head, head + 6, zero.entries));
    EXPECT_EQ(zero.entries[255], 180);
    EXPECT_EQ(permutationOf(1).entries[0], 160);
    EXPECT_EQ(permutationOf(-1).entries[0], 180); // negative seeds wrap, never index below 0
    EXPECT_TRUE(std::equal(zero.entries, zero.entries + 512, permutationOf(256).entries));
    randomTableBuild(-1, &table);
    randomTableBuild(2047, &other);
    EXPECT_TRUE(std::equal(table.fractions, table.fractions + 2048, other.fractions));
    randomTableBuild(0, &table);
    randomTableBuild(256, &other);
    EXPECT_FALSE(std::equal(table.fractions, table.fractions + 2048, other.fractions));
}

// The noise is 0 at lattice points, wraps every 256 and stays finite for
// any input. Pinned sums: whole octaves rotated and shifted, then the
// fraction of one more unrotated; a whole count as written stops one octave
// early, and octaves beyond the cap add nothing.
TEST(WaveNoise, LatticeZerosWrapAndPinnedOctaveSums) {
    const NoisePermutation perm = permutationOf(21);
    for (float x : {0.0f, 1.0f, -1.0f, 17.0f, -300.0f, 4096.0f, 3.0e9f}) {
        for (float y : {0.0f, 3.0f, -5.0f, 255.0f, -7.0e12f}) {
            EXPECT_EQ(gradientNoise(perm, x, y), 0.0f) << x << ", " << y;
        }
    }
    for (float k : {1.0f, 2.0f, -3.0f, 4096.0f}) {
        EXPECT_EQ(gradientNoise(perm, 3.25f - 256 * k, 0.625f), gradientNoise(perm, 3.25f, 0.625f));
        EXPECT_EQ(gradientNoise(perm, 3.25f, 0.625f + 256 * k), gradientNoise(perm, 3.25f, 0.625f));
    }
    EXPECT_EQ(gradientNoise(perm, -0.75f, -0.5f), gradientNoise(perm, 255.25f, 255.5f));
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(gradientNoise(perm, inf, 0.5f), gradientNoise(perm, 0.0f, 0.5f));
    EXPECT_EQ(gradientNoise(perm, std::nanf(""), std::nanf("")), 0.0f);

    const struct {
        float x, z, octaves;
        double a, b;
    } pinned[] = {{0.3f, 2.2f, 3.5f, 0.364883661, -0.578270972},
                  {0.3f, 2.2f, 3.0f, 0.535678744, -0.428445876},
                  {0.3f, 2.2f, 2.0f, 0.0824704766, -0.137751997},
                  {-5.3f, 3.7f, 45.0f, -0.679850459, -0.974320054},
                  {-5.3f, 3.7f, 1.0e9f, -0.679850459, -0.974320054}};

    for (const auto& p : pinned) {
        const WaveSum sum = waveSum(perm, p.x, p.z, p.octaves);
        EXPECT_NEAR(sum.a, p.a, 1e-6) << p.octaves;
        EXPECT_NEAR(sum.b, p.b, 1e-6) << p.octaves;
    }
}

// Nothing moves on or above the horizon nor on calm ringless water. A ring
// centre on the horizon lies at infinite depth and draws no ring; one above
// it lies behind the eye: the water stays finite either way.
TEST(WaterSurface, StillOnCalmWaterAndFiniteForAnyRingCentre) {
    Settings look{};
    settingsReset(&look);
    look.rippleSize = 60;
    look.yCenter = 0.9f;
    const WaterSurface surface = surfaceOf(look);
    for (float v : {surface.horizon, surface.horizon - 0.1f, 0.0f}) {
        EXPECT_TRUE(isStill(surfaceDisplacement(surface, 0.3f, v))) << v;
    }
    EXPECT_TRUE(
        isFinite(surfaceDisplacement(surface, 0.3f, std::nextafter(surface.horizon, 1.0f))));
    Settings ringless = look;
    ringless.rippleSize = 0;
    const WaterSurface noRings = surfaceOf(ringless);
    ringless.waviness = 0;
    const WaterSurface calm = surfaceOf(ringless);
    forWaterGrid(calm, [&](float u, float v) {
        EXPECT_TRUE(isStill(surfaceDisplacement(calm, u, v))) << u << ", " << v;
    });
    for (int altitude : {50, 0}) {
        look.altitude = altitude;
        for (float xCenter : {0.5f, 0.2f}) {
            look.xCenter = xCenter;
            look.yCenter = workingValues(look).horizon;
            const WaterSurface onHorizon = surfaceOf(look);
            look.yCenter = 0.1f;
            const WaterSurface behind = surfaceOf(look);
            forWaterGrid(onHorizon, [&](float u, float v) {
                const SurfaceDisplacement d = surfaceDisplacement(onHorizon, u, v);
                const SurfaceDisplacement flat = surfaceDisplacement(noRings, u, v);
                EXPECT_TRUE(altitude == 0 || (d.dx == flat.dx && d.dz == flat.dz));
                EXPECT_TRUE(isFinite(d));
                EXPECT_TRUE(isFinite(surfaceDisplacement(behind, u, v)));
            });
        }
    }
}

// Every vector variant the processor has gives the scalar code's bits: plane
// points from near the eye to far past the fast split's range, lattice
// points, negative and non-finite coordinates, whole and fractional octave
// counts, and batches that leave a tail for the scalar loop.
TEST(WaveNoiseVariants, EveryVariantGivesTheScalarBits) {
    const NoisePermutation permutation = permutationOf(77);
    std::vector<float> xs;
    std::vector<float> zs;
    uint32_t state = 12345;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f;
    };
    for (int i = 0; i < 4000; ++i) {
        const float scale = std::pow(10.0f, next() * 12.0f - 3.0f);
        xs.push_back((next() - 0.5f) * scale);
        zs.push_back(next() * scale);
    }
    const float specials[] = {0.0f,
                              -0.0f,
                              1.0f,
                              -1.0f,
                              255.0f,
                              256.0f,
                              -256.5f,
                              1073741824.0f,
                              -1073741760.0f,
                              3.0e9f,
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN()};
    for (const float a : specials) {
        for (const float b : specials) {
            xs.push_back(a);
            zs.push_back(b);
        }
    }
    const auto count = static_cast<int32_t>(xs.size());
    const SimdLevel before = simdLevel();
    for (const float octaves : {0.0f, 0.5f, 1.0f, 3.7f, 9.0f, 80.0f}) {
        std::vector<WaveSum> expected(xs.size());
        for (size_t i = 0; i < xs.size(); ++i) {
            expected[i] = waveSum(permutation, xs[i], zs[i], octaves);
        }
        for (const SimdLevel level : {SimdLevel::Scalar, SimdLevel::Sse4, SimdLevel::Avx2}) {
            if (setSimdLevel(level) != level) {
                continue; // this processor lacks it
            }
            std::vector<WaveSum> got(xs.size());
            waveSumBatch(permutation, xs.data(), zs.data(), count, octaves, got.data());
            EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(WaveSum)), 0)
                << simdLevelName(level) << " octaves " << octaves;
        }
    }
    setSimdLevel(before);
}

} // namespace
} // namespace lakra
