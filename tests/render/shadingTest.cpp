#include "render/shading.h"

#include "pyramid/pyramid.h"
#include "render/settings.h"

#include <gtest/gtest.h>

namespace lakra {
namespace {

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

} // namespace
} // namespace lakra
