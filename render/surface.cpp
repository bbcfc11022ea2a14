#include "surface.h"

#include "platform/simd.h"

#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace lakra {
namespace {

// The reference permutation of Perlin's improved noise.
// clang-format off
constexpr uint8_t kReferencePermutation[kPermutationSize] = {
    151, 160, 137,  91,  90,  15, 131,  13, 201,  95,  96,  53, 194, 233,   7, 225,
    140,  36, 103,  30,  69, 142,   8,  99,  37, 240,  21,  10,  23, 190,   6, 148,
    247, 120, 234,  75,   0,  26, 197,  62,  94, 252, 219, 203, 117,  35,  11,  32,
     57, 177,  33,  88, 237, 149,  56,  87, 174,  20, 125, 136, 171, 168,  68, 175,
     74, 165,  71, 134, 139,  48,  27, 166,  77, 146, 158, 231,  83, 111, 229, 122,
     60, 211, 133, 230, 220, 105,  92,  41,  55,  46, 245,  40, 244, 102, 143,  54,
     65,  25,  63, 161,   1, 216,  80,  73, 209,  76, 132, 187, 208,  89,  18, 169,
    200, 196, 135, 130, 116, 188, 159,  86, 164, 100, 109, 198, 173, 186,   3,  64,
     52, 217, 226, 250, 124, 123,   5, 202,  38, 147, 118, 126, 255,  82,  85, 212,
    207, 206,  59, 227,  47,  16,  58,  17, 182, 189,  28,  42, 223, 183, 170, 213,
    119, 248, 152,   2,  44, 154, 163,  70, 221, 153, 101, 155, 167,  43, 172,   9,
    129,  22,  39, 253,  19,  98, 108, 110,  79, 113, 224, 232, 178, 185, 112, 104,
    218, 246,  97, 228, 251,  34, 242, 193, 238, 210, 144,  12, 191, 179, 162, 241,
     81,  51, 145, 235, 249,  14, 239, 107,  49, 192, 214,  31, 181, 199, 106, 157,
    184,  84, 204, 176, 115, 121,  50,  45, 127,   4, 150, 254, 138, 236, 205,  93,
    222, 114,  67,  29,  24,  72, 243, 141, 128, 195,  78,  66, 215,  61, 156, 180,
};
// clang-format on

// Gradient of hash class g = hash mod 16, as coefficients of the corner
// offset (dx, dy): classes 0..3 and 12, 13 take dx and dy, 4..7 dx alone,
// 8..11, 14 and 15 dy alone; bit 0 negates the first term, bit 1 the second.
// clang-format off
constexpr float kGradientX[16] = {1, -1, 1, -1, 1, -1, 1, -1, 0,  0, 0,  0, 1, -1, 0,  0};
constexpr float kGradientY[16] = {1,  1, -1, -1, 0, 0, 0,  0, 1, -1, 1, -1, 1,  1, 1, -1};
// clang-format on

// A fixed rotation between octaves keeps the lattice axes from lining up.
constexpr float kOctaveCos = 0.7771459f;
constexpr float kOctaveSin = 0.6293203f;
constexpr float kOctaveGrowth = 1.7134f;
// After about 40 octaves the coordinates have grown past 2^26: the rotated
// ones are whole numbers there, where the noise is 0, so further octaves add
// nothing. The cap lies well past that and changes no result; it bounds the
// work a scripted complexity far above 100 can cause.
constexpr int32_t kMaxFullOctaves = 64;

constexpr float kPi = 3.14159265f;
// Below this magnitude floor() fits an int32_t.
constexpr float kFastSplitLimit = 1073741824.0f; // 2^30

struct LatticeCoordinate {
    int32_t cell;   // low 8 bits of floor(x)
    float fraction; // x - floor(x)
};

// Magnitudes of 2^30 and more: every such float is a multiple of 128, so
// the fraction is 0 and the low 8 bits are 0 or 128; both are exact in
// float. Non-finite input lands on cell 0 with fraction 0.
[[gnu::noinline]] LatticeCoordinate splitLargeCoordinate(float x) {
    if (!std::isfinite(x)) {
        return {0, 0.0f};
    }
    const float wrapped = x - 256.0f * std::floor(x * (1.0f / 256.0f));
    return {static_cast<int32_t>(wrapped), 0.0f};
}

inline LatticeCoordinate splitCoordinate(float x) {
    if (!(std::fabs(x) < kFastSplitLimit)) {
        return splitLargeCoordinate(x);
    }
    int32_t whole = static_cast<int32_t>(x); // toward zero
    if (x < static_cast<float>(whole)) {
        --whole;
    }
    // Two's complement: & 255 is the wrap for negative cells too.
    return {whole & 255, x - static_cast<float>(whole)};
}

inline float fade(float t) {
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

inline float lerp(float t, float a, float b) {
    return a + t * (b - a);
}

inline float gradient(int32_t hash, float dx, float dy) {
    const int32_t g = hash & 15;
    return kGradientX[g] * dx + kGradientY[g] * dy;
}

} // namespace

void noisePermutationBuild(int32_t randomSeed, NoisePermutation* permutation) {
    // Low 8 bits as unsigned: the seed's value modulo 256, never negative,
    // and no overflow when adding i to a seed near INT32_MAX.
    const uint32_t rotation = static_cast<uint32_t>(randomSeed) & 255u;
    for (uint32_t i = 0; i < kPermutationSize; ++i) {
        const uint8_t entry = kReferencePermutation[(rotation + i) & 255u];
        permutation->entries[i] = entry;
        permutation->entries[i + kPermutationSize] = entry;
    }
    std::memset(permutation->readPadding, 0, sizeof permutation->readPadding);
    for (uint32_t i = 0; i < 2 * kPermutationSize; ++i) {
        permutation->twice[i] = permutation->entries[permutation->entries[i]];
    }
}

void randomTableBuild(int32_t randomSeed, RandomTable* table) {
    // The seed modulo 2048, never negative whatever scripting stored.
    const uint32_t rotation = static_cast<uint32_t>(randomSeed) & 2047u;
    uint8_t bytes[kRandomTableSize];
    for (int32_t i = 0; i < kRandomTableSize; ++i) {
        bytes[i] = static_cast<uint8_t>(kRandomSourceTable[i] & 255u);
    }
    // Each step moves the old bytes[i] to a seeded place j, then restores
    // bytes[i] from the source table.
    for (uint32_t i = 0; i < kRandomTableSize; ++i) {
        const uint32_t j = kRandomSourceTable[(rotation + i) & 2047u];
        const uint8_t moved = bytes[i];
        bytes[i] = bytes[j];
        bytes[j] = moved;
        bytes[i] = static_cast<uint8_t>(kRandomSourceTable[i] & 255u);
    }
    for (int32_t i = 0; i < kRandomTableSize; ++i) {
        table->fractions[i] = static_cast<float>(bytes[i]) / 255.0f;
    }
}

void waterSurfaceBuild(const Settings& settings, WaterSurface* surface) {
    waterSurfaceBuild(workingValues(settings), settings.randomSeed, settings.xCenter,
                      settings.yCenter, surface);
}

void waterSurfaceBuild(const WorkingValues& values, int32_t randomSeed, float xCenter,
                       float yCenter, WaterSurface* surface) {
    surface->horizon = values.horizon;
    surface->planeWidth = 2.0f * values.perspective * values.altitude;
    surface->altitude = values.altitude;
    surface->ringRadius = values.ringRadius;
    surface->rippleAmplitude = values.rippleAmplitude;
    surface->waviness = values.waviness;
    surface->undulation = values.undulation;
    surface->octaves = values.octaves;
    noisePermutationBuild(randomSeed, &surface->permutation);

    surface->ringCount = 0;
    const float radius = values.ringRadius;
    if (!(radius > 0.0f)) {
        return;
    }
    RandomTable table;
    randomTableBuild(randomSeed, &table);
    // A centre above the horizon projects behind the eye (negative depth);
    // exactly on it the depth is infinite, or 0 / 0 at altitude 0.
    const float depthOffset = yCenter - values.horizon;
    const float centreZ = values.altitude / depthOffset;
    const float centreX = (xCenter - 0.5f) * 2.0f * surface->planeWidth / depthOffset;
    for (int32_t j = 0; j < kRingCount; ++j) {
        const float rx = table.fractions[kRingRandomFirst + 2 * j];
        const float rz = table.fractions[kRingRandomFirst + 2 * j + 1];
        const RingCentre centre{centreX + (rx - 0.5f) * radius * 0.18f,
                                centreZ + (rz - 0.5f) * radius * 0.18f};
        // A centre at infinity could draw no ring anyway; dropping it keeps
        // infinities and NaN out of the per-sample path.
        if (std::isfinite(centre.x) && std::isfinite(centre.z)) {
            surface->rings[surface->ringCount++] = centre;
        }
    }
}

float gradientNoise(const NoisePermutation& permutation, float x, float y) {
    const uint8_t* perm = permutation.entries;
    const LatticeCoordinate cx = splitCoordinate(x);
    const LatticeCoordinate cy = splitCoordinate(y);
    const float fx = cx.fraction;
    const float fy = cy.fraction;
    const float u = fade(fx);
    const float v = fade(fy);
    // The three-dimensional hash chain with the third coordinate fixed at 0;
    // indices stay below 512.
    const int32_t a = perm[cx.cell] + cy.cell;
    const int32_t b = perm[cx.cell + 1] + cy.cell;
    const int32_t h00 = perm[perm[a]];
    const int32_t h10 = perm[perm[b]];
    const int32_t h01 = perm[perm[a + 1]];
    const int32_t h11 = perm[perm[b + 1]];
    return lerp(v, lerp(u, gradient(h00, fx, fy), gradient(h10, fx - 1.0f, fy)),
                lerp(u, gradient(h01, fx, fy - 1.0f), gradient(h11, fx - 1.0f, fy - 1.0f)));
}

WaveSum waveSum(const NoisePermutation& permutation, float x, float z, float octaves) {
    WaveSum sum{0.0f, 0.0f};
    if (octaves > 1.0f) {
        int32_t n = 1;
        do {
            sum.a += gradientNoise(permutation, x * kOctaveCos - z * kOctaveSin,
                                   x * kOctaveSin + z * kOctaveCos);
            x += 25.0764f;
            z += 723.453f;
            sum.b += gradientNoise(permutation, x * kOctaveCos - z * kOctaveSin,
                                   x * kOctaveSin + z * kOctaveCos);
            z += 65.81998f;
            x += 44.8452f;
            x *= kOctaveGrowth;
            z *= kOctaveGrowth;
            ++n;
        } while (octaves > static_cast<float>(n) && n <= kMaxFullOctaves);
    }
    // The last, partial octave is not rotated.
    const float fraction = octaves - std::floor(octaves);
    if (fraction > 0.0f) {
        sum.a += gradientNoise(permutation, x, z) * fraction;
        z += 623.453f;
        x += 13.0764f;
        sum.b += gradientNoise(permutation, x, z) * fraction;
    }
    return sum;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define LAKRA_HAVE_AVX2_NOISE 1

namespace {

// The noise and the octave sum eight points at a time. Every lane does the
// scalar code's operations in the scalar code's order (the build keeps
// floating-point contraction off), so the bits are the same; a lane whose
// coordinate is too large or not finite for the fast split makes the whole
// evaluation fall back to the scalar noise, lane by lane.
#define LAKRA_AVX2 __attribute__((target("avx2")))

LAKRA_AVX2 inline __m256 fade8(__m256 t) {
    const __m256 inner =
        _mm256_add_ps(_mm256_mul_ps(t, _mm256_sub_ps(_mm256_mul_ps(t, _mm256_set1_ps(6.0f)),
                                                     _mm256_set1_ps(15.0f))),
                      _mm256_set1_ps(10.0f));
    return _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(t, t), t), inner);
}

LAKRA_AVX2 inline __m256 lerp8(__m256 t, __m256 a, __m256 b) {
    return _mm256_add_ps(a, _mm256_mul_ps(t, _mm256_sub_ps(b, a)));
}

LAKRA_AVX2 inline __m256 gradient8(__m256i hash, __m256 dx, __m256 dy) {
    const __m256i g = _mm256_and_si256(hash, _mm256_set1_epi32(15));
    // Classes 8..15 come from the upper halves of the tables.
    const __m256 upper = _mm256_castsi256_ps(_mm256_slli_epi32(g, 28));
    const __m256 gx =
        _mm256_blendv_ps(_mm256_permutevar8x32_ps(_mm256_loadu_ps(kGradientX), g),
                         _mm256_permutevar8x32_ps(_mm256_loadu_ps(kGradientX + 8), g), upper);
    const __m256 gy =
        _mm256_blendv_ps(_mm256_permutevar8x32_ps(_mm256_loadu_ps(kGradientY), g),
                         _mm256_permutevar8x32_ps(_mm256_loadu_ps(kGradientY + 8), g), upper);
    return _mm256_add_ps(_mm256_mul_ps(gx, dx), _mm256_mul_ps(gy, dy));
}

// perm[index] for eight indices below 512: 32-bit reads, low byte kept.
LAKRA_AVX2 inline __m256i lookup8(const uint8_t* perm, __m256i index) {
    return _mm256_and_si256(_mm256_i32gather_epi32(reinterpret_cast<const int*>(perm), index, 1),
                            _mm256_set1_epi32(255));
}

// perm[perm[index]] for eight indices below 512, from the double steps.
LAKRA_AVX2 inline __m256i twice8(const NoisePermutation& permutation, __m256i index) {
    return _mm256_i32gather_epi32(permutation.twice, index, 4);
}

// floor by truncation and a step down where truncation went up: the
// fraction, and the low 8 bits of the whole part in `cell`.
LAKRA_AVX2 inline __m256 split8(__m256 v, __m256i* cell) {
    __m256i whole = _mm256_cvttps_epi32(v);
    const __m256 above = _mm256_cmp_ps(v, _mm256_cvtepi32_ps(whole), _CMP_LT_OQ);
    whole = _mm256_add_epi32(whole, _mm256_castps_si256(above));
    *cell = _mm256_and_si256(whole, _mm256_set1_epi32(255));
    return _mm256_sub_ps(v, _mm256_cvtepi32_ps(whole));
}

// The plane point turned by the octave rotation: (x c - z s, x s + z c).
LAKRA_AVX2 inline __m256 rotatedX(__m256 x, __m256 z) {
    return _mm256_sub_ps(_mm256_mul_ps(x, _mm256_set1_ps(kOctaveCos)),
                         _mm256_mul_ps(z, _mm256_set1_ps(kOctaveSin)));
}

LAKRA_AVX2 inline __m256 rotatedZ(__m256 x, __m256 z) {
    return _mm256_add_ps(_mm256_mul_ps(x, _mm256_set1_ps(kOctaveSin)),
                         _mm256_mul_ps(z, _mm256_set1_ps(kOctaveCos)));
}

LAKRA_AVX2 __m256 gradientNoise8(const NoisePermutation& permutation, __m256 x, __m256 y) {
    const __m256 limit = _mm256_set1_ps(kFastSplitLimit);
    const __m256 magnitude = _mm256_set1_ps(-0.0f);
    const __m256 inRange =
        _mm256_and_ps(_mm256_cmp_ps(_mm256_andnot_ps(magnitude, x), limit, _CMP_LT_OQ),
                      _mm256_cmp_ps(_mm256_andnot_ps(magnitude, y), limit, _CMP_LT_OQ));
    if (_mm256_movemask_ps(inRange) != 0xFF) {
        alignas(32) float xs[8];
        alignas(32) float ys[8];
        alignas(32) float noise[8];
        _mm256_store_ps(xs, x);
        _mm256_store_ps(ys, y);
        for (int lane = 0; lane < 8; ++lane) {
            noise[lane] = gradientNoise(permutation, xs[lane], ys[lane]);
        }
        return _mm256_load_ps(noise);
    }
    __m256i cellX;
    __m256i cellY;
    const __m256 fx = split8(x, &cellX);
    const __m256 fy = split8(y, &cellY);
    const __m256 u = fade8(fx);
    const __m256 v = fade8(fy);
    const uint8_t* perm = permutation.entries;
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i a = _mm256_add_epi32(lookup8(perm, cellX), cellY);
    const __m256i b = _mm256_add_epi32(lookup8(perm, _mm256_add_epi32(cellX, one)), cellY);
    const __m256i h00 = twice8(permutation, a);
    const __m256i h10 = twice8(permutation, b);
    const __m256i h01 = twice8(permutation, _mm256_add_epi32(a, one));
    const __m256i h11 = twice8(permutation, _mm256_add_epi32(b, one));
    const __m256 oneF = _mm256_set1_ps(1.0f);
    const __m256 fx1 = _mm256_sub_ps(fx, oneF);
    const __m256 fy1 = _mm256_sub_ps(fy, oneF);
    return lerp8(v, lerp8(u, gradient8(h00, fx, fy), gradient8(h10, fx1, fy)),
                 lerp8(u, gradient8(h01, fx, fy1), gradient8(h11, fx1, fy1)));
}

LAKRA_AVX2 void waveSum8(const NoisePermutation& permutation, const float* xs, const float* zs,
                         float octaves, WaveSum* sums) {
    __m256 x = _mm256_loadu_ps(xs);
    __m256 z = _mm256_loadu_ps(zs);
    __m256 a = _mm256_setzero_ps();
    __m256 b = _mm256_setzero_ps();
    const __m256 growth = _mm256_set1_ps(kOctaveGrowth);
    if (octaves > 1.0f) {
        int32_t n = 1;
        do {
            a = _mm256_add_ps(a, gradientNoise8(permutation, rotatedX(x, z), rotatedZ(x, z)));
            x = _mm256_add_ps(x, _mm256_set1_ps(25.0764f));
            z = _mm256_add_ps(z, _mm256_set1_ps(723.453f));
            b = _mm256_add_ps(b, gradientNoise8(permutation, rotatedX(x, z), rotatedZ(x, z)));
            z = _mm256_add_ps(z, _mm256_set1_ps(65.81998f));
            x = _mm256_add_ps(x, _mm256_set1_ps(44.8452f));
            x = _mm256_mul_ps(x, growth);
            z = _mm256_mul_ps(z, growth);
            ++n;
        } while (octaves > static_cast<float>(n) && n <= kMaxFullOctaves);
    }
    const float fraction = octaves - std::floor(octaves);
    if (fraction > 0.0f) {
        const __m256 f = _mm256_set1_ps(fraction);
        a = _mm256_add_ps(a, _mm256_mul_ps(gradientNoise8(permutation, x, z), f));
        z = _mm256_add_ps(z, _mm256_set1_ps(623.453f));
        x = _mm256_add_ps(x, _mm256_set1_ps(13.0764f));
        b = _mm256_add_ps(b, _mm256_mul_ps(gradientNoise8(permutation, x, z), f));
    }
    alignas(32) float as[8];
    alignas(32) float bs[8];
    _mm256_store_ps(as, a);
    _mm256_store_ps(bs, b);
    for (int lane = 0; lane < 8; ++lane) {
        sums[lane] = WaveSum{as[lane], bs[lane]};
    }
}

#undef LAKRA_AVX2

} // namespace
#endif

void waveSumBatch(const NoisePermutation& permutation, const float* x, const float* z,
                  int32_t count, float octaves, WaveSum* sums) {
    int32_t i = 0;
#ifdef LAKRA_HAVE_AVX2_NOISE
    if (simdLevel() == SimdLevel::Avx2) {
        for (; i + 8 <= count; i += 8) {
            waveSum8(permutation, x + i, z + i, octaves, sums + i);
        }
    }
#endif
    for (; i < count; ++i) {
        sums[i] = waveSum(permutation, x[i], z[i], octaves);
    }
}

RingSum ringRipples(const WaterSurface& surface, float x, float z) {
    RingSum sum{0.0f, 0.0f};
    const float radius = surface.ringRadius;
    if (!(radius > 0.0f)) {
        return sum;
    }
    const float amplitude = surface.rippleAmplitude;
    for (int32_t j = 0; j < surface.ringCount; ++j) {
        const float ex = (x - surface.rings[j].x) / radius;
        const float ez = (z - surface.rings[j].z) / radius;
        const float q = ex * ex + ez * ez;
        if (q < 1.0f) {
            const float d = std::sqrt(q);
            // (1 - d)^2: full height at the centre, 0 at the ring's edge.
            const float fall = (1.0f - d) * 0.7f;
            const float weight = fall * fall * 2.0408163f;
            const float phase = d * kPi * surface.undulation;
            sum.sine += std::sin(phase) * weight * amplitude;
            sum.cosine += std::cos(phase) * weight * amplitude;
        }
    }
    return sum;
}

PlanePoint waterPlanePoint(const WaterSurface& surface, float u, float v) {
    const float depthOffset = v - surface.horizon;
    return {(u - 0.5f) * surface.planeWidth * 2.0f / depthOffset, surface.altitude / depthOffset};
}

SurfaceDisplacement surfaceDisplacement(const WaterSurface& surface, float u, float v) {
    const float depthOffset = v - surface.horizon;
    if (!(depthOffset > 0.0f)) {
        return {0.0f, 0.0f};
    }
    const PlanePoint point = waterPlanePoint(surface, u, v);
    WaveSum waves{0.0f, 0.0f};
    // The noise is always finite, so with no waviness the sum would only be
    // multiplied by 0.
    if (surface.waviness != 0.0f) {
        waves = waveSum(surface.permutation, point.x, point.z, surface.octaves);
    }
    return displacementWithWaves(surface, v, point, waves);
}

SurfaceDisplacement displacementWithWaves(const WaterSurface& surface, float v,
                                          const PlanePoint& point, const WaveSum& waves) {
    const float depthOffset = v - surface.horizon;
    const RingSum rings = ringRipples(surface, point.x, point.z);
    // The factor (v - h) calms the water towards the horizon.
    return {(rings.sine + waves.a * surface.waviness) * depthOffset,
            (rings.cosine + waves.b * surface.waviness) * depthOffset};
}

} // namespace lakra
