// Writing a PSD document from an image already rendered, in the three
// depths: the time of the writer alone (pixels in, bytes out to a file).

#include "export/psdDocument.h"
#include "files/files.h"
#include "pyramid/pyramid.h"
#include "render/settings.h"

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

using namespace lakra;

constexpr int32_t kSide = 2048;

void psdWrite(benchmark::State& state) {
    const auto bytesPerSample = static_cast<uint32_t>(state.range(0));
    PyramidPtr image(pyramidCreate(kSide, kSide, psdWorkingFormat(bytesPerSample)));
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            const float pixel[4] = {static_cast<float>(x) / kSide, static_cast<float>(y) / kSide,
                                    0.5f, static_cast<float>((x ^ y) & 255) / 255.0f};
            setPixel4f(x, y, image.get(), 0, pixel);
        }
    }
    const PsdExportDesc desc{4, 1, kSide, kSide, 1, kExportPsd, bytesPerSample};
    char path[L_tmpnam + 16];
    static_cast<void>(std::snprintf(path, sizeof path, "/tmp/lakra-bench-%u.psd", bytesPerSample));
    FileSpec fileSpec{};
    fileSpecFromPath(&fileSpec, path);
    int64_t written = 0;
    for (auto _ : state) {
        FileWriter writer;
        if (fileWriterOpen(fileSpec, &writer) != noErr) {
            state.SkipWithError("cannot open the file");
            break;
        }
        const Result result = psdWriteDocument(&writer, desc, image.get(), PsdDocumentParts{});
        static_cast<void>(fileWriterClose(&writer));
        if (result != noErr) {
            state.SkipWithError("the writer failed");
            break;
        }
        written = writer.bytes;
    }
    static_cast<void>(std::remove(path));
    state.SetBytesProcessed(state.iterations() * written);
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kSide) * kSide,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(psdWrite)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(3);
