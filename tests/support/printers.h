#pragma once

// How GoogleTest names the project's own types in test output.

#include "pyramid/pyramid.h"

#include <ostream>

namespace lakra {

inline void PrintTo(PixelFormat format, std::ostream* os) {
    *os << (format == PixelFormat::Rgba8    ? "Rgba8"
            : format == PixelFormat::Rgba16 ? "Rgba16"
                                            : "RgbaFloat");
}

} // namespace lakra
