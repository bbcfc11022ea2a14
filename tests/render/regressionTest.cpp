// Pinned renders: tiny synthetic images through the whole effect, each with a
// checksum of what the host receives. A change in any stage (surface,
// sampling, levels, blend, finish) shows here; when a change is intended,
// look at the new result and pin its checksum.
#include "renderScene.h"

#include <iomanip>
#include <sstream>
#include <string>

namespace lakra {
namespace {

using testing::Scene;
using testing::stormLook;

struct Regression {
    const char* name;
    int32_t planes;
    int32_t depth;
    bool alpha;
    void (*look)(Settings*);
    uint64_t checksum;
};

void defaultLook(Settings*) {}

// Calm mirror, bright water colour, screen.
void calmLook(Settings* s) {
    s->waviness = 0;
    s->rippleSize = 0;
    s->brilliance = 90;
    s->waterRed = 20000;
    s->waterGreen = 40000;
    s->waterBlue = 60000;
    s->glue = 10;
    setHorizon(s, 55.5f);
}

// Rings only, hue mode (a whole-pixel colour model).
void ringLook(Settings* s) {
    s->waviness = 0;
    s->rippleSize = 100;
    s->rippleHeight = 100;
    s->perspective = 0;
    s->altitude = 20;
    s->glue = 23;
    s->yCenter = 0.9f;
}

std::string hexOf(uint64_t value) {
    std::ostringstream text;
    text << "0x" << std::hex << std::setw(16) << std::setfill('0') << value;
    return text.str();
}

uint64_t checksumOf(const std::vector<uint8_t>& bytes) {
    uint64_t hash = 1469598103934665603ull; // FNV-1a
    for (uint8_t b : bytes) {
        hash = (hash ^ b) * 1099511628211ull;
    }
    return hash;
}

class PinnedRender : public ::testing::TestWithParam<Regression> {};

TEST_P(PinnedRender, MatchesItsChecksum) {
    const Regression& r = GetParam();
#ifdef _WIN32
    // The Windows C library's sin and cos can differ from glibc's in the last
    // place: 8- and 16-bit results still agree to the bit, float results may
    // not. The cross-build comparison checks those within a tolerance.
    if (r.depth == 32) {
        GTEST_SKIP() << "float checksums are pinned for the Linux build";
    }
#endif
    const int32_t alphaPlane = r.alpha ? r.planes - 1 : -1;
    const auto fill = [&](int32_t x, int32_t y, int32_t p) {
        if (p == alphaPlane) {
            return x < 20 ? 0.6f : 1.0f;
        }
        return 0.5f + 0.45f * std::sin(0.3f * static_cast<float>(x) +
                                       0.17f * static_cast<float>(y) * static_cast<float>(p + 1));
    };
    // One worker or many: the same image.
    for (const int32_t workers : {1, 7}) {
        Scene scene(70, 50, r.planes, r.depth, r.alpha, fill);
        r.look(&scene.settings);
        ASSERT_EQ(scene.renderHost(workers), noErr);
        EXPECT_EQ(hexOf(checksumOf(scene.image.output)), hexOf(r.checksum))
            << workers << " workers";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Looks, PinnedRender,
    ::testing::Values(Regression{"rgb8Default", 3, 8, false, defaultLook, 0x6ab677c774a9d1a7ull},
                      Regression{"rgb8Storm", 3, 8, false, stormLook, 0x4d47983ebc473354ull},
                      Regression{"rgba8Calm", 4, 8, true, calmLook, 0x187e41b70e5d463eull},
                      Regression{"grey8Rings", 1, 8, false, ringLook, 0x987e97e35e6d3445ull},
                      Regression{"rgb16Storm", 3, 16, false, stormLook, 0x532611f1931adeadull},
                      Regression{"greyAlpha16Calm", 2, 16, true, calmLook, 0xce197aed457d6062ull},
                      Regression{"rgb32Storm", 3, 32, false, stormLook, 0x19eb0be3f3d851a1ull},
                      Regression{"rgba32Rings", 4, 32, true, ringLook, 0x8213af8700448ae8ull}),
    [](const ::testing::TestParamInfo<Regression>& param) {
        return std::string(param.param.name);
    });

} // namespace
} // namespace lakra
