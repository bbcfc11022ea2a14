#include "pyramid/pyramid.h"

#include <benchmark/benchmark.h>

namespace lakra {
namespace {

constexpr int32_t kSide = 1024;

PyramidPtr makeFilled(PixelFormat format) {
    PyramidPtr pyramid(pyramidCreate(kSide, kSide, format));
    if (pyramid == nullptr) {
        return pyramid;
    }
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            const float value = static_cast<float>((x ^ y) & 0xFF) / 255.0f;
            const float pixel[4] = {value, 1.0f - value, 0.5f, 1.0f};
            setPixel4f(x, y, pyramid.get(), 0, pixel);
        }
    }
    return pyramid;
}

PixelFormat formatArg(const benchmark::State& state) {
    return static_cast<PixelFormat>(state.range(0));
}

void setLabel(benchmark::State& state) {
    switch (formatArg(state)) {
    case PixelFormat::Rgba8:
        state.SetLabel("Rgba8");
        break;
    case PixelFormat::Rgba16:
        state.SetLabel("Rgba16");
        break;
    case PixelFormat::RgbaFloat:
        state.SetLabel("RgbaFloat");
        break;
    }
}

void getPixel4fBench(benchmark::State& state) {
    const PyramidPtr pyramid = makeFilled(formatArg(state));
    if (pyramid == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    for (auto _ : state) {
        float sum = 0.0f;
        for (int32_t y = 0; y < kSide; ++y) {
            for (int32_t x = 0; x < kSide; ++x) {
                float pixel[4];
                getPixel4f(x, y, pyramid.get(), 0, pixel);
                sum += pixel[0] + pixel[3];
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    setLabel(state);
}

void setPixel4fBench(benchmark::State& state) {
    const PyramidPtr pyramid = makeFilled(formatArg(state));
    if (pyramid == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    for (auto _ : state) {
        for (int32_t y = 0; y < kSide; ++y) {
            for (int32_t x = 0; x < kSide; ++x) {
                const float value = static_cast<float>(x & 0xFF) * (1.0f / 256.0f);
                const float pixel[4] = {value, value, value, 1.0f};
                setPixel4f(x, y, pyramid.get(), 0, pixel);
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    setLabel(state);
}

void rawReadBench(benchmark::State& state) {
    const PixelFormat format = formatArg(state);
    const PyramidPtr pyramid = makeFilled(format);
    if (pyramid == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    const ImagePyramid* p = pyramid.get();
    for (auto _ : state) {
        uint32_t sum = 0;
        float sumFloat = 0.0f;
        for (int32_t y = 0; y < kSide; ++y) {
            for (int32_t x = 0; x < kSide; ++x) {
                if (format == PixelFormat::Rgba8) {
                    sum += readRgba8(x, y, p, 0);
                } else if (format == PixelFormat::Rgba16) {
                    uint16_t values[4];
                    readRgba16(x, y, p, 0, values);
                    sum += values[0];
                } else {
                    float values[4];
                    readRgbaFloat(x, y, p, 0, values);
                    sumFloat += values[0];
                }
            }
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(sumFloat);
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    setLabel(state);
}

void formats(benchmark::internal::Benchmark* bench) {
    for (PixelFormat format : {PixelFormat::Rgba8, PixelFormat::Rgba16, PixelFormat::RgbaFloat}) {
        bench->Arg(static_cast<int64_t>(format));
    }
    bench->Unit(benchmark::kMillisecond);
}

BENCHMARK(getPixel4fBench)->Apply(formats);
BENCHMARK(setPixel4fBench)->Apply(formats);
BENCHMARK(rawReadBench)->Apply(formats);

} // namespace
} // namespace lakra
