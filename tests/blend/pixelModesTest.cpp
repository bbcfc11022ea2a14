#include "blend/blend.h"
#include "blend/colorModels.h"
#include "blend/lattice.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace lakra {
namespace {

constexpr int32_t kOne = kFixedOne;
constexpr int32_t kHalf = kFixedHalf;

// Over six levels per channel, ends included: 216 colours.
TEST(BlendPixel, EveryModeStaysInFifteenBitRange) {
    const int32_t levels[] = {0, 1, 9000, kHalf, 30000, kOne};
    std::vector<Pixel15> grid;
    for (int32_t r : levels) {
        for (int32_t g : levels) {
            for (int32_t b : levels) {
                grid.push_back({r, g, b, 20000});
            }
        }
    }
    for (int32_t glue = kFirstGlue; glue <= kLastGlue; ++glue) {
        for (const Pixel15& a : grid) {
            for (const Pixel15& b : grid) {
                const Pixel15 r = blendPixel15(a, b, glue);
                for (int32_t v : {r.red, r.green, r.blue, r.alpha}) {
                    ASSERT_TRUE(v >= 0 && v <= kOne) << glueName(glue) << " gave " << v;
                }
                if (glue != glueNumber(GlueMode::Starbright)) {
                    ASSERT_EQ(r.alpha, a.alpha) << glueName(glue);
                }
            }
        }
    }
}

// Float pixels: truncated to 15-bit steps, out-of-range values taken as the
// nearest end, the water's alpha kept but by starbright; the result may
// overwrite the water. Glues outside the catalogue blend as normal.
TEST(BlendPixel, FloatPixelsInFifteenBitSteps) {
    // clang-format off
    const struct {
        GlueMode mode;
        float water[4], under[4], result[4];
    } cases[] = {
        {GlueMode::Normal, {0.3f, 0.99999f, 1.0f, 0.25f}, {0.9f, 0.1f, 0.5f, 1.0f},
         {9830.0f / 32768.0f, 32767.0f / 32768.0f, 1.0f, 0.25f}},
        {GlueMode::Multiply, {1.4f, -0.5f, 1e30f, 0.5f}, {0.5f, 0.5f, 0.5f, 1.0f},
         {0.5f, 0.0f, 0.5f, 0.5f}},
        {GlueMode::Starbright, {0.5f, 0.25f, 0.0f, 0.9f}, {0.5f, 0.5f, 0.5f, 1.0f},
         {1.0f, 0.5f, 0.0f, 0.5f}}};

    // clang-format on
    for (const auto& c : cases) {
        float pixel[4] = {c.water[0], c.water[1], c.water[2], c.water[3]};
        blendPixel(pixel, c.under, glueNumber(c.mode), pixel);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(pixel[i], c.result[i]) << glueName(glueNumber(c.mode)) << " channel " << i;
        }
    }
    // Glues outside the catalogue blend as normal, which keeps the water's
    // own alpha, not its 15-bit step.
    const float water[4] = {0.2f, 0.4f, 0.6f, 0.7f};
    const float under[4] = {0.9f, 0.8f, 0.1f, 1.0f};
    float normal[4];
    blendPixel(water, under, 1, normal);
    EXPECT_EQ(normal[3], 0.7f);
    for (int32_t glue : {0, 64, -1, 1000}) {
        float out[4];
        blendPixel(water, under, glue, out);
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(out[c], normal[c]) << glue;
        }
    }
}

constexpr Pixel15 kRed{kOne, 0, 0, kOne};
constexpr Pixel15 kMidGrey{kHalf, kHalf, kHalf, kOne};
constexpr Pixel15 kBlack{0, 0, 0, kOne};
constexpr Pixel15 kWhite{kOne, kOne, kOne, kOne};
constexpr Pixel15 kWater{1000, 1000, 1000, kOne};
constexpr Pixel15 kLighter{1100, 1000, 1000, kOne};
constexpr Pixel15 kUnder{3000, 20000, 11000, kOne};
constexpr Pixel15 kCompassA{8192, kOne, 0, kOne};
constexpr Pixel15 kCompassB{24576, kHalf, kOne, kOne};

// Whole-pixel modes at points where the rule's answer is known: the colour
// within the tolerance, and the alpha.
TEST(BlendPixel, KnownPixelsMatchTheirRule) {
    using G = GlueMode;

    // clang-format off
    const struct {
        GlueMode mode;
        Pixel15 water, under, result;
        int32_t tolerance;
    } known[] = {
    {G::Starbright, kBlack, kWhite, {0, 0, 0, 0}, 0},
    {G::Starbright, {kHalf, 8192, 0, 1234}, kBlack, {kOne, kHalf, 0, kHalf}, 0},
    // Ties within the low luma bits keep the water: luma 255077 against 255000.
    {G::Bright, kWater, {1001, 1000, 1000, kOne}, kWater, 0},
    {G::Dim, kWater, {1001, 1000, 1000, kOne}, kWater, 0},
    {G::Bright, kWater, kLighter, kLighter, 0}, {G::Dim, kWater, kLighter, kWater, 0},
    {G::Dim, kLighter, kWater, kWater, 0},
    {G::Hue, kRed, {12000, 12000, 12000, kOne}, {12000, 12000, 12000, kOne}, 1},
    // Pure green has luminance 0.52, so grey saturation gives grey 0.52.
    {G::Saturation, {5000, 5000, 5000, kOne}, {0, kOne, 0, kOne}, {17039, 17039, 17039, kOne}, 1},
    {G::Color, {9000, 9000, 9000, kOne}, kRed,
     {(77 * kOne) >> 8, (77 * kOne) >> 8, (77 * kOne) >> 8, kOne}, 1},
    {G::Luminance, kBlack, {kOne, 0, kHalf, kOne}, kBlack, 0},
    {G::Anterior, kBlack, {20000, 3000, 9000, kOne}, kBlack, 0},
    {G::Posterior, {20000, 3000, 9000, kOne}, kWhite, kWhite, 0},
    // Both luminances 0: the dextrous rule gives 1.
    {G::Sinister, kBlack, kBlack, kWhite, 0}, {G::Wax, kRed, kUnder, kRed, 0},
    {G::Wax, kMidGrey, kUnder, kUnder, 0}, {G::Wane, kRed, kUnder, kUnder, 0},
    {G::Wane, kMidGrey, kUnder, kMidGrey, 0},
    {G::Frontal, {6000, 6000, 6000, kOne}, {20000, 20000, 20000, kOne},
     {6000, 6000, 6000, kOne}, 1},
    {G::Frontal, kRed, kRed, kRed, 1},
    // Compass modes weigh by the listed channels.
    {G::North, kCompassA, kCompassB, {24576, kOne, 8192, kOne}, 0},
    {G::South, kCompassA, kCompassB, {8192, 28672, kOne, kOne}, 0},
    {G::East, kCompassA, kCompassB, {kHalf, kHalf, 24576, kOne}, 0},
    {G::West, kCompassA, kCompassB, {24576, 20480, kHalf, kOne}, 0}};

    // clang-format on
    for (const auto& k : known) {
        SCOPED_TRACE(glueName(glueNumber(k.mode)) + std::to_string(&k - known));
        const Pixel15 r = blendPixel15(k.water, k.under, glueNumber(k.mode));
        EXPECT_NEAR(r.red, k.result.red, k.tolerance);
        EXPECT_NEAR(r.green, k.result.green, k.tolerance);
        EXPECT_NEAR(r.blue, k.result.blue, k.tolerance);
        EXPECT_EQ(r.alpha, k.result.alpha);
    }
}

constexpr double kTolerance = 1e-12;

void expectRgb(const UnitRgb& got, const UnitRgb& want) {
    EXPECT_NEAR(got.red, want.red, kTolerance);
    EXPECT_NEAR(got.green, want.green, kTolerance);
    EXPECT_NEAR(got.blue, want.blue, kTolerance);
}

TEST(ColorModels, PrimariesAndGreys) {
    const Hsl red = rgbToHsl({1.0, 0.0, 0.0});
    EXPECT_EQ(std::tuple(red.hue, red.saturation, red.lightness), std::tuple(0.0, 1.0, 0.5));
    EXPECT_NEAR(rgbToHsl({0.0, 0.0, 1.0}).hue, 2.0 / 3.0, kTolerance);
    EXPECT_NEAR(rgbToHsl({1.0, 0.0, 1.0}).hue, 5.0 / 6.0, kTolerance);
    const Hsl grey = rgbToHsl({0.3, 0.3, 0.3});
    EXPECT_EQ(std::tuple(grey.saturation, grey.lightness), std::tuple(0.0, 0.3));
    expectRgb(hslToRgb({1.0 / 3.0, 1.0, 0.5}), {0.0, 1.0, 0.0});
    // The luminance of a grey is its lightness; luminance beyond the ends
    // gives black or white.
    for (double l : {0.0, 0.1, 0.5, 0.77, 1.0}) {
        EXPECT_NEAR(rgbToHsy({l, l, l}).luma, l, kTolerance);
    }
    EXPECT_NEAR(hsyMidpoint(2.0 / 3.0, 1.0), 0.2, kTolerance);
    EXPECT_NEAR(hsyMidpoint(1.0 / 6.0, 1.0), 0.8, kTolerance);
    EXPECT_NEAR(rgbToHsy({0.0, 1.0, 0.0}).luma, 0.52, kTolerance);
    expectRgb(hsyToRgb({0.3, 1.0, 1.5}), {1.0, 1.0, 1.0});
    expectRgb(hsyToRgb({0.3, 1.0, -0.2}), {0.0, 0.0, 0.0});
}

// The 15-bit channel of lattice index i, rounded up onto the lattice point.
int32_t latticeChannel(int i) {
    return (i * kFixedOne + 14) / 15;
}

// One byte step of the tables in 15-bit steps, rounded up.
constexpr int32_t kByteStep = 129;

// Components in byte units, as the tables store them.
double lightnessBytes(int32_t v15) {
    return v15 * 255.0 / kFixedOne;
}

double opponentBytes(int32_t v15) {
    return v15 / 128.0;
}

// Greys sit on the lightness anchors with neutral opponent axes; the
// primaries sit near their anchors.
TEST(LatticeSpace, GreysAndPrimariesSitOnTheirAnchors) {
    const double anchors[16] = {0, -1, -1, 72, -1, -1, 130, -1, -1, 177, -1, -1, 218, -1, -1, 255};
    for (int i = 0; i < 16; ++i) {
        const int32_t v = latticeChannel(i);
        const LatticeColor15 k = rgbToLattice(v, v, v);
        if (anchors[i] >= 0.0) {
            EXPECT_NEAR(lightnessBytes(k.k0), anchors[i], 0.01) << i;
        }
        EXPECT_EQ(k.k1, kFixedHalf) << i;
        EXPECT_EQ(k.k2, kFixedHalf) << i;
    }

    const struct {
        int32_t rgb[3];
        double k[3];
    } primaries[] = {{{kFixedOne, 0, 0}, {144, 208, 208}},
                     {{0, kFixedOne, 0}, {214, 51, 207}},
                     {{0, 0, kFixedOne}, {104, 158, 33}}};

    for (const auto& p : primaries) {
        const LatticeColor15 k = rgbToLattice(p.rgb[0], p.rgb[1], p.rgb[2]);
        EXPECT_NEAR(lightnessBytes(k.k0), p.k[0], 1.0);
        EXPECT_NEAR(opponentBytes(k.k1), p.k[1], 1.0);
        EXPECT_NEAR(opponentBytes(k.k2), p.k[2], 1.0);
    }
}

// The inverse table is a least-squares fit: byte tables and trilinear cells
// cannot follow the space's curvature exactly, least of all near the faces of
// the RGB cube, where many lattice colours share one cell of the space.
TEST(LatticeSpace, ForwardThenInverseReturnsLatticeColours) {
    int32_t worst = 0;
    int32_t worstGrey = 0;
    int64_t total = 0;
    for (int b = 0; b < 16; ++b) {
        for (int g = 0; g < 16; ++g) {
            for (int r = 0; r < 16; ++r) {
                const Pixel15 in{latticeChannel(r), latticeChannel(g), latticeChannel(b), 0};
                const Pixel15 back = latticeToRgb(rgbToLattice(in.red, in.green, in.blue), 0);
                const int32_t error =
                    std::max({std::abs(back.red - in.red), std::abs(back.green - in.green),
                              std::abs(back.blue - in.blue)});
                worst = std::max(worst, error);
                total += error;
                if (r == g && g == b) {
                    worstGrey = std::max(worstGrey, error);
                }
            }
        }
    }
    EXPECT_LE(worstGrey, kByteStep);
    EXPECT_LE(total / 4096, 640); // per colour, the worst of its channels
    EXPECT_LE(worst, 4000);
}

// The same grey on both sides comes back from limbic and occipital; a light
// grey over a dark one stays nearly grey in every lattice mode.
TEST(LatticeModes, GreysStayGrey) {
    for (int i = 0; i < 16; i += 5) {
        const Pixel15 grey{latticeChannel(i), latticeChannel(i), latticeChannel(i), kFixedOne};
        for (GlueMode m : {GlueMode::Limbic, GlueMode::Occipital}) {
            const Pixel15 r = blendPixel15(grey, grey, glueNumber(m));
            EXPECT_NEAR(r.red, grey.red, kByteStep);
            EXPECT_NEAR(r.green, grey.green, kByteStep);
            EXPECT_NEAR(r.blue, grey.blue, kByteStep);
        }
    }
    const Pixel15 light{24000, 24000, 24000, kFixedOne};
    const Pixel15 dark{9000, 9000, 9000, kFixedOne};
    for (GlueMode m :
         {GlueMode::Parietal, GlueMode::Temporal, GlueMode::Occipital, GlueMode::Limbic}) {
        const Pixel15 r = blendPixel15(light, dark, glueNumber(m));
        const int32_t spread =
            std::max({r.red, r.green, r.blue}) - std::min({r.red, r.green, r.blue});
        EXPECT_LE(spread, kByteStep) << glueName(glueNumber(m));
    }
}

} // namespace
} // namespace lakra
