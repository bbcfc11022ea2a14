#pragma once

// Filling level 0 of a pyramid from the host's input buffer, one tile at a
// time, after the host has been asked for exactly that tile's rectangle.

#include "pyramid.h"

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

// Copies the host's pixels into level-0 tile `tileIndex`: grey images into
// channels 0..2, alpha from the transparency plane for editable-transparency
// layers and opaque otherwise. Copies nothing, and returns false, when the
// record's format does not match the host depth, the tile has no pixel block,
// or the view cannot hold the tile (missing data or planes, the tile outside
// the delivered rectangle, rows shorter than the rectangle).
bool loadHostTile(ImagePyramid* pyramid, int32_t tileIndex, const HostImageView& view);

} // namespace lakra
