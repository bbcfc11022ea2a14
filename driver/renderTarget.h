#pragma once

#include <cstdint>

namespace lakra {

// Where a render's pixels go, which decides whom the driver asks while it
// runs: the host's own image (its pixels, abort and progress procedures), the
// dialog's preview pane (the host's pixels only) or the plug-in's own image
// (never the host; progress goes to a sink).
enum class RenderTarget : int32_t { Host = 0, Preview = 1, Offline = 2 };

} // namespace lakra
