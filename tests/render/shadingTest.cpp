#include "render/shading.h"

#include "pyramid/pyramid.h"
#include "render/settings.h"

#include <gtest/gtest.h>

namespace lakra {
namespace {

// A pixel whose centre lies on the water line is dry and the next is wet,
// its ray mirrored above the line. Offline pixels are written opaque once
// nearly so, and lowered to full scale after the overflow spills into the
// other channels.
TEST(ShadingPixels, WaterLineAndOfflineFinish) {
    Settings s;
    settingsFresh(&s);
    ShadingJob job;
    shadingJobBuild(RenderTarget::Host, s, nullptr, HostImageFormat{}, PixelRect{0, 0, 100, 100},
                    &job);
    job.sourceWidth = job.spanWidth = 100.0f;
    job.sourceHeight = job.spanHeight = 100.0f;
    job.values.waterLine = 49.5f / 100.0f; // row 49's centre
    EXPECT_FALSE(samplePoint(job, 10, 49).wet);
    const SamplePoint wet = samplePoint(job, 10, 50);
    EXPECT_TRUE(wet.wet);
    EXPECT_LT(wet.v, job.values.waterLine);

    PyramidPtr target{pyramidCreate(4, 4, PixelFormat::Rgba8)};
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

} // namespace
} // namespace lakra
