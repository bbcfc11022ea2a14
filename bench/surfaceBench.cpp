#include "render/settings.h"
#include "render/surface.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace lakra {
namespace {

// One surface evaluation (octave sum plus rings) per item, over positions
// spread across the water below the default horizon.
void surfaceEvaluation(benchmark::State& state) {
    Settings look{};
    settingsReset(&look);
    look.complexity = static_cast<int32_t>(state.range(0));
    look.rippleSize = static_cast<int32_t>(state.range(1));
    look.yCenter = 0.8f;
    WaterSurface surface{};
    waterSurfaceBuild(look, &surface);

    struct Position {
        float u;
        float v;
    };

    std::vector<Position> positions;
    for (int row = 0; row < 64; ++row) {
        const float v =
            surface.horizon + (1.0f - surface.horizon) * (static_cast<float>(row) + 0.5f) / 64;
        for (int column = 0; column < 64; ++column) {
            positions.push_back({(static_cast<float>(column) + 0.5f) / 64, v});
        }
    }
    size_t next = 0;
    for (auto _ : state) {
        const Position p = positions[next];
        next = (next + 1) & (positions.size() - 1);
        benchmark::DoNotOptimize(surfaceDisplacement(surface, p.u, p.v));
    }
    state.SetItemsProcessed(state.iterations());
}

// Arguments: complexity, rippleSize (0 turns the rings off).
BENCHMARK(surfaceEvaluation)
    ->ArgNames({"complexity", "rippleSize"})
    ->Args({50, 0})
    ->Args({50, 30})
    ->Args({100, 0})
    ->Args({100, 30});

} // namespace
} // namespace lakra
