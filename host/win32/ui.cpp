// The plug-in's own dialogs on Windows: refusals and the about box, from the
// templates in lakra.rc, owned by the host's window.

#include "host/ui.h"

#include "host/abi.h"
#include "host/hostContext.h"
#include "host/win32/boxes.h"
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

// The plug-in module's resources; in a host that links the plug-in in, the
// host's own.
HINSTANCE module() {
    void* instance = moduleInstance();
    return instance != nullptr ? static_cast<HINSTANCE>(instance) : GetModuleHandleA(nullptr);
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

// The website button has id 2, which a dialog also sends for Escape and the
// close box. The button's own mouse and space-bar releases mark the box
// while the button reports its click, so only a real click opens the page.
constexpr const char* kClickedMark = "LakraWebsiteClicked";

LRESULT CALLBACK websiteButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(button, GWLP_USERDATA));
    const bool release = message == WM_LBUTTONUP || (message == WM_KEYUP && wParam == VK_SPACE);
    if (release) {
        SetPropA(GetParent(button), kClickedMark, reinterpret_cast<HANDLE>(1));
    }
    const LRESULT result = CallWindowProcA(previous, button, message, wParam, lParam);
    if (release) {
        RemovePropA(GetParent(button), kClickedMark);
    }
    return result;
}

// Ends the box: modal boxes with EndDialog, the preview dialog's modeless
// ones by destroying them.
void endBox(HWND dialog, INT_PTR result) {
    if (GetPropA(dialog, "LakraModeless") != nullptr) {
        RemovePropA(dialog, "LakraModeless");
        DestroyWindow(dialog);
    } else {
        EndDialog(dialog, result);
    }
}

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        if (lParam != 0) {
            SetPropA(dialog, "LakraModeless", reinterpret_cast<HANDLE>(1));
        }
        HWND button = GetDlgItem(dialog, IDC_ABOUT_WEBSITE);
        if (button != nullptr) {
            SetWindowLongPtrA(button, GWLP_USERDATA, GetWindowLongPtrA(button, GWLP_WNDPROC));
            SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(websiteButtonProc));
        }
        return TRUE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ABOUT_WEBSITE && GetPropA(dialog, kClickedMark) != nullptr) {
            openUrl(LAKRA_MAKER_URL);
        }
        endBox(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        endBox(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK informationProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetPropA(dialog, "LakraModeless", reinterpret_cast<HANDLE>(1));
        return TRUE;
    case WM_COMMAND:
    case WM_CLOSE:
        endBox(dialog, IDOK);
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

void platformOpenUrl(const char* url) {
    (void)ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
}

void* openModelessBox(ModelessBox box, void* owner) {
    const bool about = box == ModelessBox::About;
    return CreateDialogParamA(module(), about ? "ABOUTBOX" : "INFOBOX", static_cast<HWND>(owner),
                              about ? aboutProc : informationProc, 1);
}

} // namespace lakra
