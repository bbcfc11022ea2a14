#include "blend/blend.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <vector>

namespace {

constexpr size_t kPixels = 4096;

// Reproducible colours 0..1 with alpha, from a small linear congruential generator.
std::vector<float> randomPixels(uint32_t seed) {
    std::vector<float> pixels(kPixels * 4);
    for (float& v : pixels) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(seed >> 8) * (1.0f / 16777216.0f);
    }
    return pixels;
}

// One blend mode per run, through the renderer's float entry.
void blendPixelPerMode(benchmark::State& state) {
    const auto glue = static_cast<int32_t>(state.range(0));
    const std::vector<float> water = randomPixels(1);
    const std::vector<float> under = randomPixels(2);
    std::vector<float> result(kPixels * 4);
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores): the library idiom
        for (size_t i = 0; i < kPixels; ++i) {
            lakra::blendPixel(&water[4 * i], &under[4 * i], glue, &result[4 * i]);
        }
        benchmark::DoNotOptimize(result.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kPixels));
    state.SetLabel(lakra::glueName(glue));
}

BENCHMARK(blendPixelPerMode)->DenseRange(lakra::kFirstGlue, lakra::kLastGlue);

} // namespace
