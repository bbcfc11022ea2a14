#include "render/shading.h"

#include "renderScene.h"

#include <cmath>
#include <gtest/gtest.h>

namespace lakra {
namespace {

using testing::Scene;
using testing::smoothPattern;
using testing::stormLook;

// A Host job over a size x size source of that size, with no pyramid behind it.
ShadingJob jobOver(const Settings& s, float size) {
    ShadingJob job;
    const auto whole = static_cast<int32_t>(size);
    shadingJobBuild(RenderTarget::Host, s, nullptr, HostImageFormat{},
                    PixelRect{0, 0, whole, whole}, &job);
    job.sourceWidth = job.spanWidth = size;
    job.sourceHeight = job.spanHeight = size;
    return job;
}

TEST(WaterHalf, PixelOnTheWaterLineIsDryAndTheNextIsWet) {
    Settings s;
    settingsFresh(&s);
    ShadingJob job = jobOver(s, 100.0f);
    // Row 49's centre lies at v = 49.5 / 100: put the water line exactly there.
    job.values.waterLine = 49.5f / 100.0f;
    EXPECT_FALSE(samplePoint(job, 10, 49).wet);
    const SamplePoint wet = samplePoint(job, 10, 50);
    EXPECT_TRUE(wet.wet);
    EXPECT_LT(wet.v, job.values.waterLine) << "the ray is mirrored above the line";
}

TEST(FinishHalf, OfflinePixelsAreWrittenOpaqueAndLoweredToFullAfterTheSpill) {
    PyramidPtr target{pyramidCreate(4, 4, PixelFormat::Rgba8)};
    Settings s;
    settingsFresh(&s);
    ShadingJob job;
    shadingJobBuild(RenderTarget::Offline, s, nullptr, HostImageFormat{}, PixelRect{0, 0, 4, 4},
                    &job);
    job.offlineImage = target.get();
    const float nearlyOpaque[4] = {0.2f, 0.4f, 0.6f, 0.994f};
    finishPixel(job, nullptr, 1, 1, nearlyOpaque);
    EXPECT_EQ(readRgba8(1, 1, target.get(), 0) & 0xFF, 255u);
    const float overflow[4] = {1.4f, 0.5f, 0.5f, 1.0f};
    finishPixel(job, nullptr, 2, 0, overflow);
    const uint32_t spilled = static_cast<uint32_t>(0.546875f * 255.0f);
    EXPECT_EQ(readRgba8(2, 0, target.get(), 0), 0xFF000000u | spilled << 16 | spilled << 8 | 0xFF);
}

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

TEST(PreviewRender, GuidesLandOnTheirRowsAndColumns) {
    Scene scene(400, 300, 3, 8, false, [](int32_t, int32_t, int32_t) { return 0.5f; });
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

} // namespace
} // namespace lakra
