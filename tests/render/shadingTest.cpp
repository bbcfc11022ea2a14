#include "render/shading.h"

#include "pyramid/pyramid.h"
#include "render/loadSource.h"
#include "render/renderInto.h"
#include "support/fakeHost.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace lakra {
namespace {

using testing::FakeHost;
using testing::FakeImage;

PixelFormat formatOfDepth(int32_t depth) {
    return depth == 16 ? PixelFormat::Rgba16
                       : (depth == 32 ? PixelFormat::RgbaFloat : PixelFormat::Rgba8);
}

float fullScale(int32_t depth) {
    return depth == 16 ? 32768.0f : (depth == 32 ? 1.0f : 255.0f);
}

// A host image, the fake host serving it, the source pyramid loaded from it,
// and a look: everything one render into the Host target needs.
struct Scene {
    FakeImage image;
    FakeHost host;
    PyramidPtr source;
    Settings settings{};
    RenderState state{};

    Scene(int32_t width, int32_t height, int32_t planes, int32_t depth, bool alpha)
        : image(width, height, planes, depth, alpha) {
        host.image = &image;
        settingsFresh(&settings);
    }

    // fn gives the sample of (x, y, plane) as a fraction of full scale.
    void fill(const std::function<float(int32_t, int32_t, int32_t)>& fn) {
        for (int32_t y = 0; y < image.height; ++y) {
            for (int32_t x = 0; x < image.width; ++x) {
                for (int32_t p = 0; p < image.planes; ++p) {
                    image.setInput(x, y, p, fn(x, y, p) * fullScale(image.depth));
                }
            }
        }
    }

    void load() {
        source.reset(pyramidCreate(image.width, image.height, formatOfDepth(image.depth)));
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
        return image.outputAt(x, y, plane) / fullScale(image.depth);
    }
};

float smoothPattern(int32_t x, int32_t y, int32_t plane) {
    return 0.5f + 0.4f * std::sin(0.11f * static_cast<float>(x) + 0.07f * static_cast<float>(y) +
                                  static_cast<float>(plane));
}

void stormyLook(Settings* s) {
    s->waviness = 90;
    s->complexity = 80;
    s->rippleSize = 60;
    s->rippleHeight = 90;
    s->undulation = 70;
    s->xCenter = 0.4f;
    s->yCenter = 0.8f;
    s->blur = 60;
    setHorizon(s, 40.0f);
    setOffset(s, 10.0f);
}

TEST(WaterHalf, PixelOnTheWaterLineIsDryAndTheNextIsWet) {
    Settings s;
    settingsFresh(&s);
    ShadingJob job;
    shadingJobBuild(RenderTarget::Host, s, nullptr, HostImageFormat{}, PixelRect{0, 0, 100, 100},
                    &job);
    job.sourceWidth = job.spanWidth = 100.0f;
    job.sourceHeight = job.spanHeight = 100.0f;
    // Row 49's centre lies at v = 49.5 / 100: put the water line exactly there.
    job.values.waterLine = ((49.0f - 0.5f) * 1.0f + 0.0f + 1.0f) / 100.0f;
    EXPECT_FALSE(samplePoint(job, 10, 49).wet);
    const SamplePoint wet = samplePoint(job, 10, 50);
    EXPECT_TRUE(wet.wet);
    EXPECT_LT(wet.v, job.values.waterLine) << "the ray is mirrored above the line";
}

TEST(WaterHalf, BrillianceDecidesHowMuchReflectionShows) {
    Settings s;
    settingsFresh(&s);
    s.waviness = 0;
    s.rippleSize = 0;
    s.brilliance = 0;
    ShadingJob job;
    shadingJobBuild(RenderTarget::Host, s, nullptr, HostImageFormat{}, PixelRect{0, 0, 1000, 1000},
                    &job);
    job.sourceWidth = job.spanWidth = 1000.0f;
    job.sourceHeight = job.spanHeight = 1000.0f;
    const int32_t belowHorizon = static_cast<int32_t>(job.values.horizon * 1000.0f) + 1;
    EXPECT_NEAR(samplePoint(job, 500, belowHorizon).mix, 0.5f, 0.01f);
    EXPECT_EQ(samplePoint(job, 500, 999).mix, 0.0f) << "pure water colour at the bottom";
    float previous = 1.0f;
    for (int32_t y = belowHorizon; y < 1000; y += 37) {
        const float mix = samplePoint(job, 500, y).mix;
        EXPECT_LE(mix, previous + 1e-6f) << "row " << y;
        previous = mix;
    }

    s.brilliance = 100;
    shadingJobBuild(RenderTarget::Host, s, nullptr, HostImageFormat{}, PixelRect{0, 0, 1000, 1000},
                    &job);
    job.sourceWidth = job.spanWidth = 1000.0f;
    job.sourceHeight = job.spanHeight = 1000.0f;
    for (int32_t y = belowHorizon; y < 1000; y += 37) {
        EXPECT_EQ(samplePoint(job, 500, y).mix, 1.0f) << "row " << y;
    }
}

TEST(WaterHalf, EachPointComputedOnceGivesTheThreeEvaluationResult) {
    Scene scene(300, 200, 3, 8, false);
    scene.fill(smoothPattern);
    scene.load();
    stormyLook(&scene.settings);
    ShadingJob job;
    shadingJobBuild(RenderTarget::Host, scene.settings, scene.source.get(), HostImageFormat{},
                    PixelRect{0, 0, 200, 300}, &job);
    const PixelRect unit{64, 128, 192, 256};
    const int32_t stride = rectWidth(unit) + 2;
    std::vector<PixelCell> cells(static_cast<size_t>(stride) * (rectHeight(unit) + 2));
    CellBlock block{cells.data(), unit.left, unit.top, stride, rectHeight(unit) + 2};
    shadeUnit(job, unit, &block);
    for (int32_t y = unit.top; y < unit.bottom; ++y) {
        for (int32_t x = unit.left; x < unit.right; ++x) {
            float expected[4];
            shadePixel(job, samplePoint(job, x, y - 1), samplePoint(job, x - 1, y),
                       samplePoint(job, x, y), x, y, expected);
            const float* got = cellAt(block, x, y)->rgba;
            for (int c = 0; c < 4; ++c) {
                ASSERT_EQ(expected[c], got[c]) << x << "," << y << " channel " << c;
            }
        }
    }
}

TEST(WaterHalf, RaysLeavingAtTheLeftAreMirroredAndBlurredMoreTheFurtherTheyGo) {
    // Stripes one pixel wide: any blur pulls a sample towards 0.5.
    Scene scene(256, 64, 3, 8, false);
    scene.fill([](int32_t x, int32_t, int32_t) { return (x & 1) != 0 ? 1.0f : 0.0f; });
    scene.load();
    ShadingJob job;
    shadingJobBuild(RenderTarget::Host, scene.settings, scene.source.get(), HostImageFormat{},
                    PixelRect{0, 0, 64, 256}, &job);
    // Neighbours that move with the point keep the footprint at one pixel,
    // so only the edge decides the blur.
    const auto contrastAt = [&](float u) {
        const SamplePoint self{u, 0.1f, 1.0f, 0.0f, false};
        float rgba[4];
        shadePixel(job, self, self, self, 0, 0, rgba);
        return std::fabs(rgba[0] - 0.5f);
    };
    const float inside = contrastAt((100.5f) / 256.0f);
    const float nearEdge = contrastAt(-0.02f);
    const float farOut = contrastAt(-0.6f);
    EXPECT_GT(inside, 0.25f);
    EXPECT_GT(nearEdge, farOut) << "further out is blurrier";
    EXPECT_LT(farOut, 0.05f);

    // Mirrored back in: a smooth ramp read at -u equals the ramp at u.
    Scene ramp(256, 64, 3, 8, false);
    ramp.fill([](int32_t x, int32_t, int32_t) { return static_cast<float>(x) / 255.0f; });
    ramp.load();
    shadingJobBuild(RenderTarget::Host, ramp.settings, ramp.source.get(), HostImageFormat{},
                    PixelRect{0, 0, 64, 256}, &job);
    const SamplePoint left{-0.2f, 0.5f, 1.0f, 0.0f, false};
    float rgba[4];
    shadePixel(job, left, left, left, 0, 0, rgba);
    EXPECT_NEAR(rgba[0], 0.2f, 0.03f);
}

TEST(FinishHalf, SpillMovesTheOverflowIntoTheOtherChannels) {
    float c[4] = {1.4f, 0.5f, 0.5f, 1.0f};
    spillOverflow(c);
    EXPECT_FLOAT_EQ(c[0], 1.4f) << "the channel above 1 is not lowered here";
    EXPECT_FLOAT_EQ(c[1], 0.546875f);
    EXPECT_FLOAT_EQ(c[2], 0.546875f);

    float two[4] = {1.2f, 1.2f, 0.1f, 1.0f};
    spillOverflow(two);
    EXPECT_FLOAT_EQ(two[2], 0.1f + 0.4f * 60.0f / 256.0f);
    float none[4] = {0.9f, 0.2f, 0.3f, 1.0f};
    spillOverflow(none);
    EXPECT_FLOAT_EQ(none[1], 0.2f);
    float chained[4] = {0.1f, 3.0f, 0.98f, 1.0f}; // green spills, blue overflows into red
    spillOverflow(chained);
    EXPECT_FLOAT_EQ(chained[0], 0.1f + 0.234375f + (0.98f + 0.234375f - 1.0f));
}

struct OfflineFinish : ::testing::Test {
    PyramidPtr target{pyramidCreate(4, 4, PixelFormat::Rgba8)};
    ShadingJob job;

    void SetUp() override {
        Settings s;
        settingsFresh(&s);
        shadingJobBuild(RenderTarget::Offline, s, nullptr, HostImageFormat{}, PixelRect{0, 0, 4, 4},
                        &job);
        job.offlineImage = target.get();
    }

    uint32_t written(int32_t x, int32_t y) const { return readRgba8(x, y, target.get(), 0); }
};

TEST_F(OfflineFinish, NearlyOpaqueAlphaIsWrittenOpaque) {
    const float cell[4] = {0.2f, 0.4f, 0.6f, 0.994f};
    finishPixel(job, nullptr, 1, 1, cell);
    EXPECT_EQ(written(1, 1) & 0xFF, 255u);
}

TEST_F(OfflineFinish, OverflowSpillsAndIsLoweredToFullAfterTheBlend) {
    const float cell[4] = {1.4f, 0.5f, 0.5f, 1.0f};
    finishPixel(job, nullptr, 2, 0, cell);
    const uint32_t word = written(2, 0);
    EXPECT_EQ(word >> 24, 255u);
    EXPECT_EQ((word >> 16) & 0xFF, static_cast<uint32_t>(0.546875f * 255.0f));
    EXPECT_EQ((word >> 8) & 0xFF, static_cast<uint32_t>(0.546875f * 255.0f));
}

TEST(HostRender, GreyImageWritesItsOnePlaneWithTheGreyValue) {
    Scene scene(40, 30, 1, 8, false);
    scene.fill([](int32_t x, int32_t y, int32_t) {
        return static_cast<float>((x * 5 + y * 3) % 256) / 255.0f;
    });
    scene.load();
    stormyLook(&scene.settings);
    scene.settings.waterRed = 65535; // a colour water must turn grey
    ASSERT_EQ(scene.renderHost(), noErr);
    // Every pixel of the one plane is written, the row padding never: a second
    // render over differently filled output gives the same pixels.
    const std::vector<uint8_t> first = scene.image.output;
    std::fill(scene.image.output.begin(), scene.image.output.end(), 0x3A);
    ASSERT_EQ(scene.renderHost(), noErr);
    for (int32_t y = 0; y < 30; ++y) {
        EXPECT_EQ(scene.image.output[static_cast<size_t>(y) * scene.image.rowBytes + 40], 0x3A);
        for (int32_t x = 0; x < 40; ++x) {
            const size_t at = scene.image.offset(x, y, 0);
            ASSERT_EQ(scene.image.output[at], first[at]) << x << "," << y;
        }
    }
    // Above the water line the image stays as it was.
    EXPECT_NEAR(scene.out(7, 2, 0), scene.image.inputAt(7, 2, 0) / 255.0f, 1.5f / 255.0f);
}

TEST(HostRender, FloatImageIgnoresTheGlue) {
    Scene normal(48, 40, 3, 32, false);
    normal.fill(smoothPattern);
    normal.load();
    stormyLook(&normal.settings);
    Scene multiply(48, 40, 3, 32, false);
    multiply.fill(smoothPattern);
    multiply.load();
    stormyLook(&multiply.settings);
    multiply.settings.glue = 9;
    ASSERT_EQ(normal.renderHost(), noErr);
    ASSERT_EQ(multiply.renderHost(), noErr);
    EXPECT_EQ(normal.image.output, multiply.image.output);
}

TEST(HostRender, PerfectMirrorReflectsTheRowsAboutTheWaterLine) {
    // Rows of distinct greys, each row one value: the reflection of row
    // k - 1 - d lands on row k + d when the water line is at row k.
    Scene scene(32, 100, 3, 8, false);
    scene.fill([](int32_t, int32_t y, int32_t) { return static_cast<float>(y) * 2.0f / 255.0f; });
    scene.load();
    Settings& s = scene.settings;
    s.waviness = 0;
    s.rippleSize = 0;
    s.blur = 0;
    s.brilliance = 100;
    setHorizon(&s, 50.0f / 0.99f); // h = 0.5: the line falls between rows 49 and 50
    ASSERT_EQ(scene.renderHost(), noErr);
    for (int32_t d = 0; d < 20; ++d) {
        EXPECT_NEAR(scene.out(16, 50 + d, 1), scene.out(16, 49 - d, 1), 3.0f / 255.0f) << "d " << d;
    }
    EXPECT_NEAR(scene.out(16, 10, 1), 20.0f / 255.0f, 1.0f / 255.0f) << "dry rows keep their pixel";
}

TEST(HostRender, MaskBlendsTheResultTowardsTheSource) {
    Scene scene(64, 64, 3, 8, false);
    scene.fill(smoothPattern);
    scene.image.mask.assign(64 * 64, 255);
    for (int32_t x = 0; x < 64; ++x) {
        scene.image.mask[static_cast<size_t>(60) * 64 + x] = 0;
        scene.image.mask[static_cast<size_t>(61) * 64 + x] = 128;
    }
    scene.load();
    stormyLook(&scene.settings);
    scene.settings.waterGreen = 65535;
    ASSERT_EQ(scene.renderHost(), noErr);
    Scene unmasked(64, 64, 3, 8, false);
    unmasked.fill(smoothPattern);
    unmasked.load();
    stormyLook(&unmasked.settings);
    unmasked.settings.waterGreen = 65535;
    ASSERT_EQ(unmasked.renderHost(), noErr);
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

TEST(HostRender, TransparencyPlaneReceivesTheAlpha) {
    Scene scene(32, 32, 4, 16, true);
    scene.fill(
        [](int32_t x, int32_t, int32_t p) { return p == 3 ? (x < 16 ? 0.25f : 1.0f) : 0.5f; });
    scene.load();
    ASSERT_EQ(scene.renderHost(), noErr);
    EXPECT_NEAR(scene.out(4, 2, 3), 0.25f * 1.007f, 1e-3f);
    EXPECT_EQ(scene.image.outputAt(20, 2, 3), 32768.0f);
}

TEST(HostRender, OneAndManyThreadsGiveTheSameImage) {
    Scene one(300, 260, 3, 16, false);
    one.fill(smoothPattern);
    one.load();
    stormyLook(&one.settings);
    Scene many(300, 260, 3, 16, false);
    many.fill(smoothPattern);
    many.load();
    stormyLook(&many.settings);
    ASSERT_EQ(one.renderHost(1), noErr);
    ASSERT_EQ(many.renderHost(7), noErr);
    EXPECT_EQ(one.image.output, many.image.output);
}

TEST(PreviewRender, GuidesLandOnTheirRowsAndColumns) {
    Scene scene(400, 300, 3, 8, false);
    scene.fill([](int32_t, int32_t, int32_t) { return 0.5f; });
    scene.load();
    Settings& s = scene.settings;
    s.previewScale = 2;
    s.panX = 20;
    s.panY = 30;
    s.pass = -1;
    setHorizon(&s, 40.0f);
    setOffset(&s, 25.0f);
    s.xCenter = 0.5f;
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
    const float h = 40.0f * 0.99f * 0.01f;
    const float o = 25.0f * 0.01f * (1.0f - h) + h;
    const auto horizonRow = static_cast<int32_t>(300.0f / 2.0f * h - 15.0f);
    const auto waterRow = static_cast<int32_t>(300.0f / 2.0f * o - 15.0f);
    const auto centreRow = static_cast<int32_t>(300.0f / 2.0f * 0.7f - 15.0f);
    const auto centreColumn = static_cast<int32_t>(400.0f / 2.0f * 0.5f - 10.0f);
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

} // namespace
} // namespace lakra
