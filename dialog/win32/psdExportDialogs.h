#pragma once

// The PSD export as the preview dialog starts it: the size dialog, the
// system's save dialog, then the progress dialog, in which the export renders
// and writes the document. The progress dialog's Cancel stops a running
// render; the file is opened only after the render, so a stopped export
// leaves an existing file as it was.

#include "platform/result.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace lakra {

struct FilterRecord;
struct PluginState;
struct Settings;

// The dialog ids of the two templates.
inline constexpr int kIdPsdWidth = 3; // edits of CHOOSEPSDWITHSIZE
inline constexpr int kIdPsdHeight = 4;
inline constexpr int kIdPsdSameSize = 10; // its choices; the mode is id - 9
inline constexpr int kIdPsdSameProportions = 11;
inline constexpr int kIdPsdCustomSize = 12;
inline constexpr int kIdProgressPercent = 2; // statics of MONDO_PROGRESS
inline constexpr int kIdProgressDoing = 3;
inline constexpr UINT_PTR kProgressTimerId = 993;
inline constexpr UINT kProgressTimerMillis = 1000;

// What the progress dialog ends with: the job ran (written or failed), or the
// user stopped it (Cancel or closing, before or during the render).
inline constexpr INT_PTR kProgressRan = 1;
inline constexpr INT_PTR kProgressStopped = IDCANCEL;

struct PsdExportRequest {
    HWND owner = nullptr;           // the preview dialog
    FilterRecord* record = nullptr; // the host's image and profile
    Settings* settings = nullptr;   // the look; the size, folder and last file are kept here
    PluginState* state = nullptr;   // the source image and the render state
};

// Runs the three steps. Returns noErr when the document was written,
// userCanceledErr when the user stopped at any step (nothing is written), or
// the export's failure, which a short message box has told the user about.
// While a size or progress dialog of an earlier start is open, a second start
// only brings it to the front and returns userCanceledErr.
[[nodiscard]] Result runPsdExport(const PsdExportRequest& request);

} // namespace lakra
