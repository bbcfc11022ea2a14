// The entry of Lakra.8bf when Windows loads it: the module's instance handle
// is kept for loading dialogs and icons, and the preview dialog becomes the
// start selector's dialog.

#include "dialog/win32/previewDialog.h"
#include "host/hostContext.h"
#include "host/seams.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// NOLINTNEXTLINE(readability-identifier-naming): the name Windows looks for
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        lakra::setModuleInstance(instance);
        lakra::setPreviewDialogHandler(lakra::runWin32PreviewDialog);
        // The plug-in never needs per-thread attach notifications.
        (void)DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
