// The render driver's own cost per unit: units that do no work, so what is
// measured is making the job, its cells, the worker thread, the events and
// the finish on the calling thread.
#include "driver/driver.h"

#include <benchmark/benchmark.h>

namespace lakra {
namespace {

void touchCell(Job* job) {
    cellAt(job->cells, job->unit.left, job->unit.top)->rgba[0] = 1.0f;
}

const JobOps kEmptyOps{nullptr, touchCell, nullptr};

void driverOverheadPerUnit(benchmark::State& state) {
    RenderContext context{};
    context.processors = static_cast<int32_t>(state.range(0));
    context.target = RenderTarget::Offline;
    // 16 x 16 units of 128 x 128 pixels.
    const RenderRequest request{&kEmptyOps, PixelRect{0, 0, 2048, 2048}, 1, nullptr};
    for (auto _ : state) {
        RenderStats stats{};
        const Result result = render(context, request, kLayoutTiles, &stats);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations() * 256);
    state.counters["units"] = 256;
}

BENCHMARK(driverOverheadPerUnit)
    ->Arg(1)
    ->Arg(2)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
} // namespace lakra
