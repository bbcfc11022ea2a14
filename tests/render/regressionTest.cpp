// Whole renders of a host image through the fake host. Pinned renders: tiny
// synthetic images through the whole effect, each with a checksum of what the
// host receives. A change in any stage (surface, sampling, levels, blend,
// finish) shows there; when a change is intended, look at the new result and
// pin its checksum.
#include "pyramid/pyramid.h"
#include "pyramid/pyramidPixels.h"
#include "render/loadSource.h"
#include "render/renderInto.h"
#include "support/fakeHost.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace lakra {
namespace {

using testing::FakeHost;
using testing::FakeImage;

float fullScaleOf(int32_t depth) {
    return depth == 16 ? 32768.0f : (depth == 32 ? 1.0f : 255.0f);
}

// A smooth pattern of (x, y, plane) as a fraction of full scale.
float smoothPattern(int32_t x, int32_t y, int32_t plane) {
    return 0.5f + 0.4f * std::sin(0.11f * static_cast<float>(x) + 0.07f * static_cast<float>(y) +
                                  static_cast<float>(plane));
}

// Strong waves and rings, blurred, multiply.
void stormLook(Settings* s) {
    s->waviness = 85;
    s->complexity = 90;
    s->rippleSize = 70;
    s->rippleHeight = 80;
    s->undulation = 65;
    s->xCenter = 0.3f;
    s->yCenter = 0.75f;
    s->blur = 70;
    s->glue = 9;
    s->randomSeed = 1234;
    setHorizon(s, 35.0f);
    setOffset(s, 20.0f);
}

using SampleFunction = std::function<float(int32_t, int32_t, int32_t)>;

// A host image, the fake host serving it, the source pyramid loaded from it
// and a look: everything one render into the Host target needs.
struct Scene {
    FakeImage image;
    FakeHost host;
    PyramidPtr source;
    Settings settings{};
    RenderState state{};

    // fill gives each sample as a fraction of full scale; the source is loaded
    // from it at once unless load is false (a mask may be set first).
    Scene(int32_t width, int32_t height, int32_t planes, int32_t depth, bool alpha,
          const SampleFunction& fill = smoothPattern, bool load = true)
        : image(width, height, planes, depth, alpha) {
        host.image = &image;
        settingsFresh(&settings);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                for (int32_t p = 0; p < planes; ++p) {
                    image.setInput(x, y, p, fill(x, y, p) * fullScaleOf(depth));
                }
            }
        }
        if (load) {
            loadImage();
        }
    }

    void loadImage() {
        source.reset(pyramidCreate(image.width, image.height, testing::formatOfDepth(image.depth)));
        ASSERT_NE(source, nullptr);
        ASSERT_EQ(loadSource(&host, source.get()), noErr);
        host.requests.clear();
        state.filterWidth = image.width;
        state.filterHeight = image.height;
        state.source = source.get();
        state.hostFormat = HostImageFormat{image.depth, image.planes, image.transparency};
    }

    Result renderHost(int32_t processors = 0) {
        state.processors = processors;
        return renderInto(RenderTarget::Host, &settings, &state, &host, nullptr);
    }

    float out(int32_t x, int32_t y, int32_t plane) const {
        return image.outputAt(x, y, plane) / fullScaleOf(image.depth);
    }
};

TEST(HostRender, MaskBlendsTheResultTowardsTheSource) {
    Scene scene(64, 64, 3, 8, false, smoothPattern, false);
    scene.image.mask.assign(64 * 64, 255);
    std::fill_n(scene.image.mask.begin() + 60 * 64, 64, 0);
    std::fill_n(scene.image.mask.begin() + 61 * 64, 64, 128);
    scene.loadImage();
    Scene unmasked(64, 64, 3, 8, false);
    for (Scene* s : {&scene, &unmasked}) {
        stormLook(&s->settings);
        s->settings.waterGreen = 65535;
        ASSERT_EQ(s->renderHost(), noErr);
    }
    for (int32_t x = 0; x < 64; ++x) {
        for (int32_t p = 0; p < 3; ++p) {
            EXPECT_EQ(scene.image.outputAt(x, 60, p), scene.image.inputAt(x, 60, p));
            const float halfway =
                (scene.image.inputAt(x, 61, p) + unmasked.image.outputAt(x, 61, p)) / 2.0f;
            EXPECT_NEAR(scene.image.outputAt(x, 61, p), halfway, 1.5f);
            EXPECT_EQ(scene.image.outputAt(x, 30, p), unmasked.image.outputAt(x, 30, p));
        }
    }
}

// Normal has a shortcut finish; a glue number past the last mode blends as
// Normal through the general steps. Whole renders through both give the
// host the same bytes in every layout, with one worker or several, also
// where the water overshoots.
TEST(HostRender, NormalShortcutGivesTheGeneralFinishesBytes) {
    struct Layout {
        int32_t planes;
        int32_t depth;
        bool alpha;
    };

    for (const Layout layout : {Layout{3, 8, false}, Layout{4, 8, true}, Layout{1, 8, false},
                                Layout{2, 8, true}, Layout{3, 16, false}}) {
        SCOPED_TRACE(::testing::Message()
                     << layout.planes << " planes, " << layout.depth << " bits");
        // Hard edges make the lookups overshoot above 1 and below 0.
        for (const bool edges : {false, true}) {
            const auto fill = [&](int32_t x, int32_t y, int32_t p) {
                if (layout.alpha && p == layout.planes - 1) {
                    return x < 20 ? 0.6f : 1.0f;
                }
                if (edges) {
                    return ((x / 3 + y / 2 + p) % 2) != 0 ? 1.0f : 0.0f;
                }
                return smoothPattern(x, y, p);
            };
            for (const int32_t workers : {1, 3}) {
                Scene shortcut(70, 50, layout.planes, layout.depth, layout.alpha, fill);
                Scene general(70, 50, layout.planes, layout.depth, layout.alpha, fill);
                general.settings.glue = 64;
                ASSERT_EQ(shortcut.renderHost(workers), noErr);
                ASSERT_EQ(general.renderHost(workers), noErr);
                EXPECT_EQ(shortcut.image.output, general.image.output)
                    << workers << " workers, edges " << edges;
            }
        }
    }
}

TEST(PreviewRender, GuidesLandOnTheirRowsAndColumns) {
    Scene scene(400, 300, 3, 8, false, [](int32_t, int32_t, int32_t) { return 0.5f; });
    Settings& s = scene.settings;
    s.previewScale = 2;
    s.panX = 20;
    s.panY = 30;
    setHorizon(&s, 40.0f);
    setOffset(&s, 25.0f);
    s.yCenter = 0.7f;
    const int32_t width = 150;
    const int32_t height = 120;
    std::vector<uint8_t> bitmap(static_cast<size_t>(width) * height * 3, 0);
    scene.state.previewRect = PixelRect{0, 0, height, width};
    scene.state.preview = PreviewBitmap{bitmap.data(), width, height, 3, 1, width, width * height};
    ASSERT_EQ(renderInto(RenderTarget::Preview, &s, &scene.state, &scene.host, nullptr), noErr);
    const auto pixel = [&](int32_t x, int32_t y, int32_t p) {
        return bitmap[static_cast<size_t>(p) * width * height + static_cast<size_t>(y) * width + x];
    };
    // Rows at half scale, 15 rows and 10 columns panned away.
    const int32_t horizonRow = 44;   // 150 x 0.396 - 15
    const int32_t waterRow = 67;     // 150 x (0.25 x 0.604 + 0.396) - 15
    const int32_t centreRow = 90;    // 150 x 0.7 - 15
    const int32_t centreColumn = 90; // 200 x 0.5 - 10
    EXPECT_EQ(pixel(16, horizonRow, 1), 255);
    EXPECT_EQ(pixel(16, horizonRow, 0), 0) << "horizon dots are green";
    EXPECT_NE(pixel(17, horizonRow, 0), 0) << "between the dots the image shows";
    EXPECT_EQ(pixel(20, waterRow, 0), 255);
    EXPECT_EQ(pixel(20, waterRow, 1), 0) << "water-line dots are magenta";
    EXPECT_EQ(pixel(0, waterRow + 1, 2), 255) << "solid ends reach the rows next to the line";
    EXPECT_EQ(pixel(width - 1, horizonRow - 2, 1), 255);
    EXPECT_GT(pixel(centreColumn, centreRow, 0), pixel(centreColumn + 9, centreRow, 0) + 100)
        << "white centre of the cross";
    EXPECT_GT(pixel(centreColumn + 5, centreRow, 1), pixel(centreColumn + 8, centreRow, 1));
}

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
        const uint64_t checksum = checksumOf(scene.image.output);
        EXPECT_EQ(checksum, r.checksum) << workers << " workers: 0x" << std::hex << checksum;
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
