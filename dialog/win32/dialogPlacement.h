#pragma once

// Where the plug-in's dialogs open: over the window that owns them.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace lakra {

// Centred across the owner (across the work area without one), with the
// height left over shared so that one part in `partsAbove` lies above the
// dialog (2 centres it), then moved back onto the screen that holds most
// of it.
void placeDialog(HWND dialog, HWND owner, int partsAbove);

} // namespace lakra
