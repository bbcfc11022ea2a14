#pragma once

// Pictures the benchmarks render: sizes of real photographs, content that
// exercises every stage.

#include "pyramid/pyramid.h"

#include <cmath>
#include <cstdint>

namespace lakra {

// A landscape-like 8-bit picture: a graded sky over stripes of colour;
// nullptr when memory is short. Levels are not built.
inline ImagePyramid* makeLandscape(int32_t width, int32_t height) {
    ImagePyramid* source = pyramidCreate(width, height, PixelFormat::Rgba8);
    if (source == nullptr) {
        return nullptr;
    }
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const float sky = 0.3f + 0.6f * static_cast<float>(y) / static_cast<float>(height);
            const float stripe = 0.5f + 0.5f * std::sin(static_cast<float>(x) * 0.01f);
            const float rgba[4] = {sky * stripe, sky, 1.0f - 0.5f * stripe, 1.0f};
            setPixel4f(x, y, source, 0, rgba);
        }
    }
    return source;
}

} // namespace lakra
