#pragma once

#include "platform/rect.h"

#include <cstdint>

namespace lakra {

// What the host delivered for one region request: interleaved samples of the
// planes loPlane..hiPlane for every pixel of `rect`.
struct HostImageView {
    // inData: the first delivered sample of the rectangle's top-left pixel.
    const void* data = nullptr;
    // inRowBytes: bytes from one row to the next, padding included.
    int32_t rowBytes = 0;
    // inLoPlane, inHiPlane: the planes delivered per pixel; the pixel step is
    // hiPlane - loPlane + 1 samples.
    int32_t loPlane = 0;
    int32_t hiPlane = -1;
    // The host image's planes, transparency included; below 3 means grey.
    int32_t planes = 0;
    // Offset of the transparency plane among the delivered planes; -1 if none.
    int32_t transparencyPlane = -1;
    // The host's filterCase; 4 and 5 are layers with editable transparency.
    int32_t filterCase = 0;
    // Bits per sample: 8, 16 (host range 0..32768) or 32 (float).
    int32_t depth = 0;
    // inRect: the level-0 pixels the data covers.
    PixelRect rect;
};

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
