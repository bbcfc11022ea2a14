#include "render/shading.h"

#include "pyramid/pyramid.h"
#include "render/settings.h"

#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

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

// Normal has a shortcut finish; a glue number past the last mode blends as
// Normal through the general steps. Both write the same bytes into the
// host's image in every depth and layout, and into an Offline target.
TEST(ShadingPixels, NormalShortcutWritesWhatTheGeneralFinishWrites) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float cells[][4] = {
        {0.2f, 0.4f, 0.6f, 1.0f},   {0.2f, 0.4f, 0.6f, 0.5f},  {1.4f, 0.5f, 0.5f, 1.0f},
        {-0.1f, 2.0f, 1.3f, 0.0f},  {nan, 0.7f, 0.1f, 0.994f}, {0.9f, 0.9f, 0.9f, 0.3f},
        {0.3f, 0.31f, 0.33f, 1.2f}, {1.0f, 1.0f, 1.0f, nan},   {0.6f, 0.2f, 0.8f, 0.95f}};
    constexpr int32_t kCells = static_cast<int32_t>(std::size(cells));
    Settings s;
    settingsFresh(&s);

    struct Layout {
        int32_t depth;
        int32_t planes;
        bool transparency;
    };

    for (const Layout layout :
         {Layout{8, 3, false}, Layout{8, 4, true}, Layout{8, 4, false}, Layout{8, 1, false},
          Layout{16, 3, false}, Layout{16, 2, true}, Layout{32, 4, true}}) {
        SCOPED_TRACE(testing::Message() << layout.depth << " bits, " << layout.planes << " planes");
        const int32_t bytes = layout.depth / 8;
        std::vector<unsigned char> input(static_cast<size_t>(kCells * layout.planes * bytes));
        for (size_t i = 0; i < input.size(); ++i) {
            input[i] = static_cast<unsigned char>(i * 37 + 11);
        }
        if (layout.depth == 32) {
            for (size_t i = 0; i + 4 <= input.size(); i += 4) {
                const float value = static_cast<float>(i % 9) / 8.0f;
                std::memcpy(&input[i], &value, sizeof value);
            }
        }
        std::vector<unsigned char> written[2];
        for (int which = 0; which < 2; ++which) {
            ShadingJob job;
            shadingJobBuild(RenderTarget::Host, s, nullptr,
                            HostImageFormat{layout.depth, layout.planes, layout.transparency},
                            PixelRect{0, 0, 1, kCells}, &job);
            job.glue = which == 0 ? 1 : 64;
            written[which].assign(input.size(), 0xA5);
            HostBuffers buffers;
            buffers.input = HostImageView{input.data(),
                                          kCells * layout.planes * bytes,
                                          0,
                                          layout.planes - 1,
                                          layout.planes,
                                          layout.transparency ? layout.planes - 1 : -1,
                                          layout.transparency ? 4 : 2,
                                          layout.depth,
                                          PixelRect{0, 0, 1, kCells}};
            buffers.outData = written[which].data();
            buffers.outRowBytes = buffers.input.rowBytes;
            buffers.outHiPlane = layout.planes - 1;
            buffers.outRect = buffers.input.rect;
            for (int32_t x = 0; x < kCells; ++x) {
                finishPixel(job, &buffers, x, 0, cells[x]);
            }
        }
        EXPECT_EQ(written[0], written[1]);
    }
    for (const PixelFormat format : {PixelFormat::Rgba8, PixelFormat::RgbaFloat}) {
        PyramidPtr targets[2] = {PyramidPtr{pyramidCreate(kCells, 1, format)},
                                 PyramidPtr{pyramidCreate(kCells, 1, format)}};
        for (int which = 0; which < 2; ++which) {
            ASSERT_NE(targets[which], nullptr);
            ShadingJob job;
            shadingJobBuild(RenderTarget::Offline, s, nullptr, HostImageFormat{},
                            PixelRect{0, 0, 1, kCells}, &job);
            job.glue = which == 0 ? 1 : 64;
            job.offlineImage = targets[which].get();
            for (int32_t x = 0; x < kCells; ++x) {
                finishPixel(job, nullptr, x, 0, cells[x]);
            }
        }
        const size_t rowBytes = static_cast<size_t>(kCells * targets[0]->bytesPerPixel);
        EXPECT_EQ(std::memcmp(targets[0]->tiles[0].pixels, targets[1]->tiles[0].pixels, rowBytes),
                  0)
            << static_cast<int>(format);
    }
}

} // namespace
} // namespace lakra
