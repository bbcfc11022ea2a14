#pragma once

#include "pyramid/hostTile.h"

#include <cstdint>

namespace lakra {

// The host's buffers after its last advance, with every rectangle in the
// render's own coordinates (reduced pixels, without the host's offsets).
struct HostBuffers {
    HostImageView input; // inData and what describes it
    void* outData = nullptr;
    int32_t outRowBytes = 0;
    int32_t outLoPlane = 0;
    int32_t outHiPlane = -1;
    PixelRect outRect;
    const uint8_t* maskData = nullptr; // one byte per pixel, 255 fully selected
    int32_t maskRowBytes = 0;
    PixelRect maskRect;
};

// Where a Preview render draws: 8-bit samples, addressed as
// data + plane * planeBytes + y * rowBytes + x * columnBytes.
struct PreviewBitmap {
    uint8_t* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t planes = 0; // 3, or 1 for a grey bitmap
    int32_t columnBytes = 0;
    int32_t rowBytes = 0;
    int32_t planeBytes = 0;
};

} // namespace lakra
