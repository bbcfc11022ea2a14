#pragma once

#include "platform/result.h"

#include <cstdint>

namespace lakra {

class RenderHost;
struct ImagePyramid;

// Reads the host's image into level 0 of source, one 512 x 512 tile at a
// time, then builds its coarser levels. The pyramid must be initialised at
// the host image's size in the format of its depth. A non-zero host result
// stops the loading and is returned; the source is then not ready.
[[nodiscard]] Result loadSource(RenderHost* host, ImagePyramid* source, int32_t processors = 0);

} // namespace lakra
