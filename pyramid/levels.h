#pragma once

// Levels 1..maxLevel of a pyramid: each a low-pass filtered, half-size copy
// of the level below, computed on the driver's worker threads.

#include "driver/driver.h"
#include "platform/rect.h"
#include "platform/result.h"

#include <cstdint>

namespace lakra {

struct ImagePyramid;

// Recomputes levels 1..maxLevel from level 0, one level after the other, each
// split into 128 x 128 units among min(processors, units) workers (processors
// 0: the machine's count). Never asks the host and cannot be cancelled.
// Returns noErr or the driver's failure (memFullErr); a record without tiles
// is left alone. When stats is given it receives the units of all levels and
// the most threads one level used.
[[nodiscard]] Result buildLevels(ImagePyramid* pyramid, int32_t processors = 0,
                                 RenderStats* stats = nullptr);

} // namespace lakra
