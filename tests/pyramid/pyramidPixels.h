#pragma once

// Walking the pixels of a pyramid in tests, and the format for a host depth.

#include "pyramid/pyramid.h"

namespace lakra::testing {

// The pyramid format that holds host samples of the given depth.
inline PixelFormat formatOfDepth(int32_t depth) {
    return depth == 16 ? PixelFormat::Rgba16
                       : (depth == 32 ? PixelFormat::RgbaFloat : PixelFormat::Rgba8);
}

// Calls f(x, y) for every pixel of the level, row by row.
template <typename F>
void forEachPixel(const ImagePyramid* p, int32_t level, F f) {
    for (int32_t y = 0; y < p->height[level]; ++y) {
        for (int32_t x = 0; x < p->width[level]; ++x) {
            f(x, y);
        }
    }
}

// Calls f(level, x, y) for every pixel of every level.
template <typename F>
void forEveryLevelPixel(const ImagePyramid* p, F f) {
    for (int32_t level = 0; level <= p->maxLevel; ++level) {
        forEachPixel(p, level, [&](int32_t x, int32_t y) { f(level, x, y); });
    }
}

} // namespace lakra::testing
