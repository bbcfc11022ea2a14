#include "blend/lattice.h"

#include "blend/blend.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace lakra {
namespace {

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
