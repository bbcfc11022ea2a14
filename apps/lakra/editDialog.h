#pragma once

#include <cstdint>

namespace lakra {

// Makes the built-in plug-in show its preview dialog when `lakra edit` runs
// it: on Windows the real dialog, elsewhere none (the look is confirmed as
// given). A plug-in loaded from a module brings its own.
void installEditDialog();

// The window a host hands the plug-in as its own (platformData), for the
// dialog to open over: on Windows a hidden window over the work area, made
// once; 0 elsewhere.
intptr_t editParentWindow();

} // namespace lakra
