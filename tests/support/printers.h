#pragma once

// How GoogleTest names the project's own types in test output.

#include "pyramid/pyramid.h"

#include <ostream>

namespace lakra {

inline void PrintTo(PixelFormat format, std::ostream* os) {
    switch (format) {
    case PixelFormat::Rgba8:
        *os << "Rgba8";
        break;
    case PixelFormat::Rgba16:
        *os << "Rgba16";
        break;
    case PixelFormat::RgbaFloat:
        *os << "RgbaFloat";
        break;
    default:
        *os << "PixelFormat " << static_cast<uint32_t>(format);
        break;
    }
}

} // namespace lakra
