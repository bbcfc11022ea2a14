#include "apps/lakra/editDialog.h"
#include "dialog/win32/previewDialog.h"
#include "host/seams.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace lakra {

void installEditDialog() {
    setPreviewDialogHandler(runWin32PreviewDialog);
}

intptr_t editParentWindow() {
    static HWND window = nullptr;
    if (window == nullptr) {
        RECT work{};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        window = CreateWindowExA(0, "STATIC", "Lakra", WS_POPUP, work.left, work.top,
                                 work.right - work.left, work.bottom - work.top, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    }
    return reinterpret_cast<intptr_t>(window);
}

} // namespace lakra
