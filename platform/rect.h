#pragma once

#include <cstdint>

namespace lakra {

// A rectangle of pixels (top, left, bottom, right); bottom and right are
// exclusive, as in the host's interface.
struct PixelRect {
    int32_t top = 0;
    int32_t left = 0;
    int32_t bottom = 0;
    int32_t right = 0;
};

inline int32_t rectWidth(const PixelRect& r) {
    return r.right - r.left;
}

inline int32_t rectHeight(const PixelRect& r) {
    return r.bottom - r.top;
}

inline bool rectEmpty(const PixelRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

} // namespace lakra
