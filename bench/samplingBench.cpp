#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "pyramid/sampling.h"

#include <benchmark/benchmark.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace lakra {
namespace {

constexpr int32_t kBuildSide = 2048;
constexpr int32_t kSampleSide = 1024;
constexpr int32_t kLookups = 1 << 16;

PyramidPtr makePattern(int32_t side, PixelFormat format) {
    PyramidPtr pyramid(pyramidCreate(side, side, format));
    for (int32_t y = 0; pyramid != nullptr && y < side; ++y) {
        for (int32_t x = 0; x < side; ++x) {
            const float value = static_cast<float>((x * 7 + y * 3) & 0xFF) / 255.0f;
            const float pixel[4] = {value, 1.0f - value, 0.5f, 1.0f};
            setPixel4f(x, y, pyramid.get(), 0, pixel);
        }
    }
    return pyramid;
}

PixelFormat formatArg(const benchmark::State& state) {
    return static_cast<PixelFormat>(state.range(0));
}

const char* formatName(PixelFormat format) {
    switch (format) {
    case PixelFormat::Rgba8:
        return "Rgba8";
    case PixelFormat::Rgba16:
        return "Rgba16";
    case PixelFormat::RgbaFloat:
        return "RgbaFloat";
    }
    return "?";
}

// Level-0 megapixels per second through all upper levels; range(1) is the
// processor count (0: the machine's).
void buildLevelsBench(benchmark::State& state) {
    const PyramidPtr pyramid = makePattern(kBuildSide, formatArg(state));
    if (pyramid == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    const auto processors = static_cast<int32_t>(state.range(1));
    for (auto _ : state) {
        if (buildLevels(pyramid.get(), processors) != noErr) {
            state.SkipWithError("build failed");
            return;
        }
    }
    const double megapixels = static_cast<double>(kBuildSide) * kBuildSide / 1e6;
    state.counters["MP/s"] = benchmark::Counter(
        megapixels * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetLabel(formatName(formatArg(state)));
}

// Positions spread over the image (a fixed pseudo-random walk), so the
// lookups touch many tiles as the renderer's do.
std::vector<float> positions(float lowest, float highest) {
    std::vector<float> values(2 * kLookups);
    uint32_t seed = 12345;
    for (float& value : values) {
        seed = seed * 1664525u + 1013904223u;
        value = lowest + (highest - lowest) * static_cast<float>(seed >> 8) / 16777216.0f;
    }
    return values;
}

void sampleTrilinearBench(benchmark::State& state) {
    PyramidPtr pyramid = makePattern(kSampleSide, formatArg(state));
    if (pyramid == nullptr || buildLevels(pyramid.get()) != noErr) {
        state.SkipWithError("out of memory");
        return;
    }
    const std::vector<float> uv = positions(0.0f, 1.0f);
    for (auto _ : state) {
        float sum = 0.0f;
        for (int32_t i = 0; i < kLookups; ++i) {
            float out[4];
            sampleTrilinear(pyramid.get(), i & 3, 0.5f, uv[2 * i], uv[2 * i + 1], out);
            sum += out[0];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kLookups);
    state.SetLabel(formatName(formatArg(state)));
}

// One level, positions where the whole block lies inside a tile; range(1)
// 1 takes the direct read, 0 the per-tap clamped one.
void sampleLevelPathBench(benchmark::State& state) {
    PyramidPtr pyramid = makePattern(kSampleSide, formatArg(state));
    if (pyramid == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    const std::vector<float> xy = positions(3.0f, 500.0f);
    const bool direct = state.range(1) != 0;
    for (auto _ : state) {
        float sum = 0.0f;
        for (int32_t i = 0; i < kLookups; ++i) {
            float out[4];
            if (direct) {
                sampleLevel5x5(pyramid.get(), 0, xy[2 * i], xy[2 * i + 1], out);
            } else {
                sampleLevel5x5Clamped(pyramid.get(), 0, xy[2 * i], xy[2 * i + 1], out);
            }
            sum += out[0];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kLookups);
    state.SetLabel(std::string(formatName(formatArg(state))) + (direct ? " direct" : " clamped"));
}

void formatsBy(benchmark::internal::Benchmark* bench, std::initializer_list<int64_t> second) {
    for (PixelFormat format : {PixelFormat::Rgba8, PixelFormat::Rgba16, PixelFormat::RgbaFloat}) {
        for (const int64_t value : second) {
            bench->Args({static_cast<int64_t>(format), value});
        }
    }
}

BENCHMARK(buildLevelsBench)
    ->Apply([](benchmark::internal::Benchmark* bench) {
        formatsBy(bench, {0, 1});
    })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(sampleTrilinearBench)
    ->Arg(static_cast<int64_t>(PixelFormat::Rgba8))
    ->Arg(static_cast<int64_t>(PixelFormat::Rgba16))
    ->Arg(static_cast<int64_t>(PixelFormat::RgbaFloat))
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(sampleLevelPathBench)
    ->Apply([](benchmark::internal::Benchmark* bench) {
        formatsBy(bench, {1, 0});
    })
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace lakra
