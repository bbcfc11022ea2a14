// The preview dialog's refresh after a slider is let go, on a 4000 x 3000
// 8-bit RGB image: the look rendered into the pane's 8-bit planar picture, at
// the largest reduction (the whole image in the pane) and at 100 % (a
// pane-sized piece of it, panned to the middle). Drawing the picture on the
// screen is the host's part and is not included.
#include "bench/benchImages.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "render/renderInto.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

namespace lakra {
namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
// The pane's picture area at 96 dots per inch.
constexpr int32_t kPaneWidth = 333;
constexpr int32_t kPaneHeight = 171;

ImagePyramid* makeSource() {
    ImagePyramid* source = makeLandscape(kWidth, kHeight);
    if (source != nullptr && buildLevels(source) != noErr) {
        pyramidDestroy(&source);
    }
    return source;
}

ImagePyramid* sharedSource() {
    static PyramidPtr source{makeSource()};
    return source.get();
}

// Argument: the preview scale, 0 for the largest reduction.
void previewRefresh(benchmark::State& state) {
    ImagePyramid* source = sharedSource();
    if (source == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    int32_t scale = static_cast<int32_t>(state.range(0));
    if (scale == 0) {
        scale = std::max((kWidth + kPaneWidth - 1) / kPaneWidth,
                         (kHeight + kPaneHeight - 1) / kPaneHeight);
    }
    const int32_t width = std::min(kPaneWidth, (kWidth + scale - 1) / scale);
    const int32_t height = std::min(kPaneHeight, (kHeight + scale - 1) / scale);
    std::vector<uint8_t> picture(static_cast<size_t>(3) * width * height);

    Settings settings{};
    settingsFresh(&settings);
    settings.previewScale = scale;
    settings.panX = (kWidth - width * scale) / 2;
    settings.panY = (kHeight - height * scale) / 2;
    RenderState render{};
    render.source = source;
    render.filterWidth = kWidth;
    render.filterHeight = kHeight;
    render.hostFormat = HostImageFormat{8, 3, false};
    render.previewRect = PixelRect{0, 0, height, width};
    render.preview = PreviewBitmap{picture.data(), width, height, 3, 1, width, width * height};
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            renderInto(RenderTarget::Preview, &settings, &render, nullptr, nullptr));
    }
    state.counters["scale"] = scale;
}

BENCHMARK(previewRefresh)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
} // namespace lakra
