// The whole effect on a 4000 x 3000 8-bit RGB image at the default look,
// rendered into an Offline target, and the cost of its three stages.
#include "bench/benchImages.h"
#include "pyramid/copy.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "render/renderInto.h"
#include "render/shading.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace lakra {
namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
constexpr double kPixels = static_cast<double>(kWidth) * kHeight;

struct Fixture {
    PyramidPtr source{makeLandscape(kWidth, kHeight)};
    PyramidPtr target{pyramidCreate(kWidth, kHeight, PixelFormat::Rgba8)};
    Settings settings{};
    RenderState state{};

    Fixture() {
        settingsFresh(&settings);
        if (source != nullptr && buildLevels(source.get()) != noErr) {
            source.reset();
        }
        state.source = source.get();
        state.offlineImage = target.get();
        state.filterWidth = kWidth;
        state.filterHeight = kHeight;
        state.hostFormat = HostImageFormat{8, 3, false};
    }
};

Fixture& fixture() {
    static Fixture shared;
    return shared;
}

void wholeRender(benchmark::State& state) {
    Fixture& f = fixture();
    if (f.source == nullptr || f.target == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    f.state.processors = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            renderInto(RenderTarget::Offline, &f.settings, &f.state, nullptr, nullptr));
    }
    state.counters["Mpixel"] = benchmark::Counter(
        kPixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// One thread, no driver: the water half of every pixel.
void waterHalf(benchmark::State& state) {
    Fixture& f = fixture();
    ShadingJob job;
    shadingJobBuild(RenderTarget::Offline, f.settings, f.source.get(), f.state.hostFormat,
                    PixelRect{0, 0, kHeight, kWidth}, &job);
    std::vector<PixelCell> cells(130 * 130);
    for (auto _ : state) {
        for (int32_t top = 0; top < kHeight; top += 128) {
            for (int32_t left = 0; left < kWidth; left += 128) {
                const PixelRect unit{top, left, std::min(top + 128, kHeight),
                                     std::min(left + 128, kWidth)};
                CellBlock block{cells.data(), unit.left, unit.top, rectWidth(unit) + 2,
                                rectHeight(unit) + 2};
                shadeUnit(job, unit, &block);
            }
        }
        benchmark::DoNotOptimize(cells.data());
    }
    state.counters["Mpixel"] = benchmark::Counter(
        kPixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// The finish half of every pixel (blend, spill, write into the target).
void finishHalf(benchmark::State& state) {
    Fixture& f = fixture();
    ShadingJob job;
    shadingJobBuild(RenderTarget::Offline, f.settings, f.source.get(), f.state.hostFormat,
                    PixelRect{0, 0, kHeight, kWidth}, &job);
    job.offlineImage = f.target.get();
    const float cell[4] = {0.3f, 0.5f, 0.7f, 1.0f};
    for (auto _ : state) {
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                finishPixel(job, nullptr, x, y, cell);
            }
        }
    }
    state.counters["Mpixel"] = benchmark::Counter(
        kPixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// The coarser levels of the picture in each pixel format (argument 1: 8, 16
// or 32 bits), with 1 and 2 threads.
void levelBuild(benchmark::State& state) {
    Fixture& f = fixture();
    const auto processors = static_cast<int32_t>(state.range(0));
    const PixelFormat format = state.range(1) == 16   ? PixelFormat::Rgba16
                               : state.range(1) == 32 ? PixelFormat::RgbaFloat
                                                      : PixelFormat::Rgba8;
    PyramidPtr image{pyramidCreate(kWidth, kHeight, format)};
    if (f.source == nullptr || image == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    copyLevelPixels(f.source.get(), image.get(), 0, 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(buildLevels(image.get(), processors));
    }
    state.counters["Mpixel"] = benchmark::Counter(
        kPixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

BENCHMARK(wholeRender)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(waterHalf)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(finishHalf)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(levelBuild)
    ->ArgsProduct({{1, 2}, {8, 16, 32}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

} // namespace
} // namespace lakra
