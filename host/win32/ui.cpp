// The plug-in's own dialogs on Windows: refusals and the about box, from the
// templates in lakra.rc, owned by the host's window.

#include "host/ui.h"

#include "host/abi.h"
#include "host/hostContext.h"
#include "resources/resource.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>

namespace lakra {

namespace {

HWND ownerWindow() {
    const FilterRecord* record = currentHost().record;
    if (record == nullptr) {
        return nullptr;
    }
    const PlatformData* platform = getPlatformData(*record);
    return platform != nullptr ? reinterpret_cast<HWND>(platform->hwnd) : nullptr;
}

HINSTANCE module() {
    return static_cast<HINSTANCE>(moduleInstance());
}

INT_PTR CALLBACK refusalProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ABOUT_WEBSITE) {
            (void)ShellExecuteA(dialog, "open", LAKRA_MAKER_URL, nullptr, nullptr, SW_SHOWNORMAL);
            EndDialog(dialog, IDC_ABOUT_WEBSITE);
        } else {
            EndDialog(dialog, LOWORD(wParam));
        }
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

const char* templateOf(Refusal refusal) {
    switch (refusal) {
    case Refusal::HostInsufficient:
        return "REFUSAL2";
    case Refusal::Multichannel:
        return "REFUSAL3";
    case Refusal::UnsupportedMode:
    default:
        return "UNSUPPORTEDMODE";
    }
}

} // namespace

void platformShowRefusal(Refusal refusal) {
    if (DialogBoxParamA(module(), templateOf(refusal), ownerWindow(), refusalProc, 0) <= 0) {
        // Without our templates (a test executable, say) a plain box says it.
        (void)MessageBoxA(ownerWindow(), "Lakra cannot run on this image in this program.",
                          "Plug-in error", MB_OK | MB_ICONWARNING);
    }
}

void platformShowAbout() {
    // The about box has no owner window.
    (void)DialogBoxParamA(module(), "ABOUTBOX", nullptr, aboutProc, 0);
}

} // namespace lakra
