#pragma once

// Filling level 0 of a pyramid from the host's input buffer, one tile at a
// time, after the host has been asked for exactly that tile's rectangle.

#include "driver/hostBuffers.h"
#include "pyramid/pyramid.h"

#include <cstdint>

namespace lakra {

// Copies the host's pixels into level-0 tile `tileIndex`: grey images into
// channels 0..2, alpha from the transparency plane for editable-transparency
// layers and opaque otherwise. Copies nothing, and returns false, when the
// record's format does not match the host depth, the tile has no pixel block,
// or the view cannot hold the tile (missing data or planes, the tile outside
// the delivered rectangle, rows shorter than the rectangle).
bool loadHostTile(ImagePyramid* pyramid, int32_t tileIndex, const HostImageView& view);

} // namespace lakra
