#include "pyramid/sampling.h"

#include "platform/simd.h"
#include "pyramid/kernels.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "pyramidPixels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <utility>
#include <vector>

namespace lakra {
namespace {

// Next to tile borders, image edges and inside, the read straight from the
// tile and the per-tap clamped read give identical values, in every vector
// variant the processor has (the clamped read is always the scalar code).
TEST(SamplingPaths, DirectAndClampedPathsAgree) {
    const SimdLevel before = simdLevel();
    for (const auto& [format, variant] : {std::pair{PixelFormat::Rgba8, SimdLevel::Scalar},
                                          {PixelFormat::Rgba8, SimdLevel::Sse4},
                                          {PixelFormat::Rgba8, SimdLevel::Avx2},
                                          {PixelFormat::Rgba16, SimdLevel::Avx2},
                                          {PixelFormat::RgbaFloat, SimdLevel::Avx2}}) {
        SCOPED_TRACE(simdLevelName(variant));
        if (setSimdLevel(variant) != variant) {
            continue; // this processor lacks it
        }
        PyramidPtr p(pyramidCreate(600, 530, format));
        ASSERT_NE(p, nullptr);
        testing::forEachPixel(p.get(), 0, [&](int32_t x, int32_t y) {
            const float value = static_cast<float>((x * 37 + y * 101) % 256) / 255.0f;
            const float pixel[4] = {value, 1.0f - value, (x & 1) != 0 ? 1.0f : 0.0f, 1.0f};
            setPixel4f(x, y, p.get(), 0, pixel);
        });
        ASSERT_EQ(buildLevels(p.get()), noErr);
        for (const int32_t level : {0, 1}) {
            for (const float y :
                 {-0.5f, 0.2f, 1.7f, 254.7f, 505.1f, 509.9f, 511.5f, 527.8f, 529.4f}) {
                for (float x = -0.5f; x < 600.0f; x += (x > 495.0f && x < 530.0f) ? 0.29f : 13.7f) {
                    float direct[4];
                    float clamped[4];
                    sampleLevel5x5(p.get(), level, x, y, direct);
                    sampleLevel5x5Clamped(p.get(), level, x, y, clamped);
                    for (int c = 0; c < 4; ++c) {
                        ASSERT_EQ(direct[c], clamped[c])
                            << "level " << level << " at " << x << ", " << y;
                    }
                }
            }
        }
    }
    setSimdLevel(before);
}

// A row of lookups gives each point what the lookup of that point alone
// gives, bit for bit, in every format and vector variant: points inside,
// next to tile borders and image edges, outside, levels out of range, with
// and without a blend towards the next level.
TEST(SamplingPaths, RowOfLookupsMatchesSingleLookups) {
    const SimdLevel before = simdLevel();
    for (const auto& [format, variant] : {std::pair{PixelFormat::Rgba8, SimdLevel::Scalar},
                                          {PixelFormat::Rgba8, SimdLevel::Sse4},
                                          {PixelFormat::Rgba8, SimdLevel::Avx2},
                                          {PixelFormat::Rgba16, SimdLevel::Scalar},
                                          {PixelFormat::Rgba16, SimdLevel::Avx2},
                                          {PixelFormat::RgbaFloat, SimdLevel::Scalar},
                                          {PixelFormat::RgbaFloat, SimdLevel::Avx2}}) {
        SCOPED_TRACE(simdLevelName(variant));
        if (setSimdLevel(variant) != variant) {
            continue; // this processor lacks it
        }
        PyramidPtr p(pyramidCreate(1100, 530, format));
        ASSERT_NE(p, nullptr);
        testing::forEachPixel(p.get(), 0, [&](int32_t x, int32_t y) {
            const float value = static_cast<float>((x * 37 + y * 101) % 256) / 255.0f;
            const float pixel[4] = {value, 1.0f - value, (x & 1) != 0 ? 1.0f : 0.0f,
                                    (y & 2) != 0 ? 1.0f : 0.5f};
            setPixel4f(x, y, p.get(), 0, pixel);
        });
        ASSERT_EQ(buildLevels(p.get()), noErr);
        constexpr int32_t kPoints = 128;
        int32_t levels[kPoints];
        float fractions[kPoints];
        float us[kPoints];
        float vs[kPoints];
        // The record's own copy of the tables as well as the shared ones.
        const KernelTables copy = kernelTables();
        for (const KernelTables* tables : {&kernelTables(), &copy}) {
            p->kernels = tables;
            // Scattered points; a row of neighbours one pixel apart at one
            // height, across a tile border, in runs of one level (as above the
            // water line); and the same neighbours stepping back and jumping.
            enum class Spread { Scattered, Along, BackAndForth };
            for (const auto& [v, spread] : {std::pair{-0.3f, Spread::Scattered},
                                            {0.0f, Spread::Scattered},
                                            {0.001f, Spread::Scattered},
                                            {0.2f, Spread::Scattered},
                                            {0.4826f, Spread::Scattered},
                                            {0.5f, Spread::Scattered},
                                            {0.97f, Spread::Scattered},
                                            {1.0f, Spread::Scattered},
                                            {1.7f, Spread::Scattered},
                                            {0.0f, Spread::Along},
                                            {0.3f, Spread::Along},
                                            {0.9671f, Spread::Along},
                                            {1.0f, Spread::Along},
                                            {0.3f, Spread::BackAndForth},
                                            {0.97f, Spread::BackAndForth}}) {
                for (int32_t i = 0; i < kPoints; ++i) {
                    if (spread == Spread::Scattered) {
                        levels[i] = i % 13 - 2; // -2..10, past the last level
                        fractions[i] = (i & 1) != 0 ? 0.0f : static_cast<float>(i) / kPoints;
                        us[i] = -0.1f + 1.2f * static_cast<float>(i) / kPoints;
                        vs[i] = v + 0.0003f * static_cast<float>(i % 5);
                        continue;
                    }
                    const int32_t step = spread == Spread::Along ? i : (i * 7) % 23 + i / 2;
                    levels[i] = i / 40;
                    fractions[i] = i % 17 == 3 ? 0.0f : 0.25f;
                    us[i] = (470.0f + static_cast<float>(step)) / 1100.0f;
                    vs[i] = v;
                }
                float row[kPoints][4];
                sampleTrilinearRow(p.get(), TrilinearRow{kPoints, levels, fractions, us, vs}, row);
                for (int32_t i = 0; i < kPoints; ++i) {
                    float single[4];
                    sampleTrilinear(p.get(), levels[i], fractions[i], us[i], vs[i], single);
                    for (int c = 0; c < 4; ++c) {
                        ASSERT_EQ(std::bit_cast<uint32_t>(row[i][c]),
                                  std::bit_cast<uint32_t>(single[c]))
                            << "point " << i << " at " << us[i] << ", " << vs[i];
                    }
                }
            }
        }
    }
    setSimdLevel(before);
}

// Every vector variant gives the scalar code's values bit for bit, on
// stored values anywhere in their range (16-bit ones above full scale,
// floats far outside 0..1 and negative) at every level: single lookups read
// straight from the tile and clamped at the edges, and rows of lookups.
TEST(SamplingPaths, EveryVariantMatchesTheScalarCode) {
    const SimdLevel before = simdLevel();
    constexpr uint16_t kWide[] = {0, 65535, 32768, 1, 40000, 65535, 12345, 32767, 65534, 0, 2};
    constexpr float kFloats[] = {0.0f, 1.0f,  -0.0f, 1e6f,     0.25f,  -3.5f,
                                 7e4f, 1e-7f, 0.5f,  -1234.5f, 0.333f, 65535.0f};
    constexpr int32_t kPoints = 96;
    for (const PixelFormat format :
         {PixelFormat::Rgba16, PixelFormat::RgbaFloat, PixelFormat::Rgba8}) {
        PyramidPtr p(pyramidCreate(700, 300, format));
        ASSERT_NE(p, nullptr);
        testing::forEveryLevelPixel(p.get(), [&](int32_t level, int32_t x, int32_t y) {
            const auto pick = [&](int32_t c) {
                return static_cast<size_t>((x * 7 + y * 13 + c * 5 + level) ^ (x >> 2));
            };
            if (format == PixelFormat::Rgba16) {
                uint16_t values[4];
                for (int32_t c = 0; c < 4; ++c) {
                    values[c] = kWide[pick(c) % std::size(kWide)];
                }
                writeRgba16(x, y, p.get(), level, values);
            } else if (format == PixelFormat::RgbaFloat) {
                float values[4];
                for (int32_t c = 0; c < 4; ++c) {
                    values[c] = kFloats[pick(c) % std::size(kFloats)];
                }
                writeRgbaFloat(x, y, p.get(), level, values);
            } else {
                writeRgba8(x, y, p.get(), level,
                           static_cast<uint32_t>(pick(0) * 2654435761u) | 0x01000000u);
            }
        });
        int32_t levels[kPoints];
        float fractions[kPoints];
        float us[kPoints];
        float vs[kPoints];
        for (int32_t i = 0; i < kPoints; ++i) {
            levels[i] = i % 5 - 1;
            fractions[i] = i % 3 == 0 ? 0.0f : 0.37f;
            us[i] = -0.05f + 1.1f * static_cast<float>(i) / kPoints;
            vs[i] = i < kPoints / 2 ? 0.41f : 0.995f + 0.0001f * static_cast<float>(i % 7);
        }
        // Everything one variant gives, in bits.
        const auto results = [&](SimdLevel variant) {
            std::vector<uint32_t> bits;
            if (setSimdLevel(variant) != variant) {
                return bits; // this processor lacks it
            }
            for (const int32_t level : {0, 1, 2}) {
                for (const float y : {-0.5f, 1.3f, 126.6f, 127.5f, 150.2f, 297.9f, 299.4f}) {
                    for (float x = -0.5f; x < 700.0f; x += 7.3f) {
                        float direct[4];
                        float clamped[4];
                        sampleLevel5x5(p.get(), level, x, y, direct);
                        sampleLevel5x5Clamped(p.get(), level, x, y, clamped);
                        for (int c = 0; c < 4; ++c) {
                            bits.push_back(std::bit_cast<uint32_t>(direct[c]));
                            bits.push_back(std::bit_cast<uint32_t>(clamped[c]));
                        }
                    }
                }
            }
            float row[kPoints][4];
            sampleTrilinearRow(p.get(), TrilinearRow{kPoints, levels, fractions, us, vs}, row);
            for (int32_t i = 0; i < kPoints; ++i) {
                for (int c = 0; c < 4; ++c) {
                    bits.push_back(std::bit_cast<uint32_t>(row[i][c]));
                }
            }
            return bits;
        };
        const std::vector<uint32_t> scalar = results(SimdLevel::Scalar);
        ASSERT_FALSE(scalar.empty());
        for (const SimdLevel variant : {SimdLevel::Sse4, SimdLevel::Avx2}) {
            SCOPED_TRACE(simdLevelName(variant));
            const std::vector<uint32_t> vector = results(variant);
            if (!vector.empty()) {
                EXPECT_EQ(vector, scalar) << "format " << static_cast<int>(format);
            }
        }
    }
    setSimdLevel(before);
}

// Any position outside, NaN and infinities included, holds at the edge. The
// level's logarithm is exact at powers of two; NaN and values below 1 give 0.
TEST(SamplingEdges, PositionsOutsideHoldAtTheEdge) {
    EXPECT_EQ(fastLog2(0.5f), 0.0f);
    EXPECT_EQ(fastLog2(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    for (const auto& [v, log] :
         {std::pair{1.0f, 0.0f}, {2.0f, 1.0f}, {8.0f, 3.0f}, {1024.0f, 10.0f}, {3.0f, 1.6f}}) {
        EXPECT_NEAR(fastLog2(v), log, 1e-5f) << v;
    }

    PyramidPtr a(pyramidCreate(8, 8, PixelFormat::Rgba8));
    ASSERT_NE(a, nullptr);
    testing::forEachPixel(a.get(), 0, [&](int32_t x, int32_t y) {
        writeRgba8(x, y, a.get(), 0, static_cast<uint32_t>(x * 31 + y * 3) << 24);
    });
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const float u : {nan, -7.0f, -inf, 1e30f, inf}) {
        float out[4];
        float edge[4];
        sampleTrilinear(a.get(), 0, 0.0f, u, 0.5f, out);
        sampleTrilinear(a.get(), 0, 0.0f, u > 0.0f ? 1e6f : 0.0f, 0.5f, edge);
        EXPECT_EQ(out[0], edge[0]) << u;
    }
}

TEST(SamplingLevels, LevelIsClampedAndFractionBlends) {
    PyramidPtr p(pyramidCreate(64, 64, PixelFormat::Rgba8)); // maxLevel 6
    ASSERT_NE(p, nullptr);
    testing::forEveryLevelPixel(p.get(), [&](int32_t level, int32_t x, int32_t y) {
        writeRgba8(x, y, p.get(), level, static_cast<uint32_t>(10 * level + 5) << 24);
    });
    const auto sample = [&](int32_t level, float fraction) {
        float out[4];
        sampleTrilinear(p.get(), level, fraction, 0.4f, 0.6f, out);
        return out[0] * 255.0f;
    };
    EXPECT_FLOAT_EQ(sample(6, 0.0f), 55.0f); // maxLevel reads maxLevel - 1
    EXPECT_FLOAT_EQ(sample(99, 0.5f), 60.0f);
    EXPECT_FLOAT_EQ(sample(-3, 0.0f), 5.0f);
    EXPECT_FLOAT_EQ(sample(2, 0.25f), 27.5f);
}

// The 8-bit lookup sums 255 x weight x weight in 32 bits: no phase's weights
// may overflow it. (That every phase sums to its scale shows in any render.)
TEST(KernelTables, EightBitWeightsCannotOverflowTheLookup) {
    const KernelTables& tables = kernelTables();
    for (int p = 0; p < kKernelPhases; ++p) {
        int64_t magnitude8 = 0;
        for (int k = 0; k < kKernelTaps; ++k) {
            magnitude8 += std::abs(tables.a[k][p]);
        }
        EXPECT_LT(255 * magnitude8 * magnitude8, int64_t{1} << 31) << "phase " << p;
    }
}

// The 16-bit AVX2 lookup keeps its sums in 32-bit lanes with a bias: a row
// sum of values up to 65535 plus 2^28 (and the rounding 32767) must stay in
// 0..2^32, and so must the vertical sum of the row quotients plus 2^29. It
// takes the values less 32768 and adds back 32768 times the weights' sum, so
// each phase's weights must sum to 32768 and fit 16 bits.
TEST(KernelTables, SixteenBitWeightsKeepTheVectorSumsInRange) {
    const KernelTables& tables = kernelTables();
    int64_t positive = 0; // the largest sum of a phase's positive weights
    int64_t negative = 0; // the largest magnitude of its negative ones
    for (int p = 0; p < kKernelPhases; ++p) {
        int64_t up = 0;
        int64_t down = 0;
        for (int k = 0; k < kKernelTaps; ++k) {
            (tables.b[k][p] > 0 ? up : down) += std::abs(tables.b[k][p]);
            EXPECT_LT(std::abs(tables.b[k][p]), 32768) << "phase " << p;
        }
        EXPECT_EQ(up - down, 32768) << "phase " << p;
        positive = std::max(positive, up);
        negative = std::max(negative, down);
    }
    constexpr int64_t kLargest = 65535;
    constexpr int64_t kWrap = int64_t{1} << 32;
    EXPECT_LE(kLargest * negative, int64_t{1} << 28);
    EXPECT_LT(kLargest * positive + (int64_t{1} << 28) + 32767, kWrap);
    const int64_t highest = kLargest * positive / 32768; // row quotients
    const int64_t lowest = kLargest * negative / 32768;  // as magnitude
    EXPECT_LE(highest * negative + lowest * positive, int64_t{1} << 29);
    EXPECT_LT(highest * positive + lowest * negative + (int64_t{1} << 29), kWrap);
}

} // namespace
} // namespace lakra
