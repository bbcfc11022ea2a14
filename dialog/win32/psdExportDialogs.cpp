// The PSD export's dialogs: the size dialog over the portable PsdSizeModel,
// the save dialog, and the progress dialog that runs the export in its timer
// and pumps messages between render units so that its Cancel is heard.

#include "dialog/win32/psdExportDialogs.h"

#include "dialog/previewModel.h"
#include "dialog/psdSize.h"
#include "dialog/win32/dialogPlacement.h"
#include "dialog/win32/fileDialogs.h"
#include "driver/driver.h"
#include "export/psdExport.h"
#include "files/files.h"
#include "host/abi.h"
#include "host/accessors.h"
#include "host/hostContext.h"
#include "host/pluginState.h"
#include "host/selectors.h"
#include "render/renderInto.h"
#include "render/settings.h"

#include <cstdio>
#include <cstring>

namespace lakra {

namespace {

static_assert(sizeof(FileSpec) <= sizeof(Settings::psdLastFile), "the last file is stored whole");

// The open dialogs, so that a second start only brings them to the front.
HWND gSizeDialog = nullptr;
HWND gProgressDialog = nullptr;

// The plug-in module's resources; in a host that links the plug-in in, the
// host's own.
HINSTANCE module() {
    void* instance = moduleInstance();
    return instance != nullptr ? static_cast<HINSTANCE>(instance) : GetModuleHandleA(nullptr);
}

bool bringToFront(HWND dialog) {
    if (dialog == nullptr || IsWindow(dialog) == FALSE) {
        return false;
    }
    SetForegroundWindow(dialog);
    return true;
}

// The dialog's view, handed over at its opening and kept in its user
// data; the dialog is noted in `open` and placed over its owner.
template <typename View>
View* openView(HWND dialog, LPARAM lParam, HWND* open) {
    auto* view = reinterpret_cast<View*>(lParam);
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    view->dialog = dialog;
    *open = dialog;
    placeDialog(dialog, GetWindow(dialog, GW_OWNER), 2);
    return view;
}

// ------------------------------------------------------------- size dialog

struct SizeView {
    HWND dialog = nullptr;
    Settings* settings = nullptr;
    PsdSizeModel model{};
    bool writing = false; // the view is writing an edit itself
};

int32_t editNumber(HWND dialog, int id) {
    char text[257] = ""; // an edit's number is read from at most 256 characters
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return psdSizeNumber(text);
}

void writeNumber(SizeView* view, int id, int32_t value) {
    char text[16];
    (void)std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    view->writing = true;
    SetDlgItemTextA(view->dialog, id, text);
    view->writing = false;
}

void showChoice(const SizeView& view) {
    CheckRadioButton(view.dialog, kIdPsdSameSize, kIdPsdCustomSize,
                     static_cast<int>(view.model.mode) + kIdPsdSameSize - 1);
}

// Typing in one edit: the model decides what the other edit and the choice
// show. Only the edit with the keyboard focus makes the other side follow,
// so the write-back into the other edit does not come back here.
void sizeTyped(SizeView* view, int id) {
    const HWND edit = GetDlgItem(view->dialog, id);
    const bool focused = GetFocus() == edit;
    const int32_t value = editNumber(view->dialog, id);
    const PsdSizeModel before = view->model;
    PsdSizeModel* model = &view->model;
    if (!focused && model->mode == kPsdSameProportions) {
        (id == kIdPsdWidth ? model->width : model->height) = value;
        return;
    }
    if (id == kIdPsdWidth) {
        psdSizeTypeWidth(model, value);
        if (model->height != before.height) {
            writeNumber(view, kIdPsdHeight, model->height);
        }
    } else {
        psdSizeTypeHeight(model, value);
        if (model->width != before.width) {
            writeNumber(view, kIdPsdWidth, model->width);
        }
    }
    if (model->mode != before.mode) {
        showChoice(*view);
    }
}

void sizeChosen(SizeView* view, int id) {
    psdSizeChoose(&view->model, static_cast<uint32_t>(id - kIdPsdSameSize + 1));
    writeNumber(view, kIdPsdWidth, view->model.width);
    writeNumber(view, kIdPsdHeight, view->model.height);
    showChoice(*view);
}

INT_PTR CALLBACK sizeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* view = reinterpret_cast<SizeView*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        view = openView<SizeView>(dialog, lParam, &gSizeDialog);
        for (const int id : {kIdPsdWidth, kIdPsdHeight}) {
            SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, 256, 0);
        }
        writeNumber(view, kIdPsdWidth, view->model.width);
        writeNumber(view, kIdPsdHeight, view->model.height);
        showChoice(*view);
        return TRUE;
    }
    if (view == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if ((id == kIdPsdWidth || id == kIdPsdHeight) && code == EN_CHANGE) {
            if (!view->writing) {
                sizeTyped(view, id);
            }
        } else if (id >= kIdPsdSameSize && id <= kIdPsdCustomSize && code == BN_CLICKED) {
            sizeChosen(view, id);
        } else if (id == IDOK) {
            view->model.width = editNumber(dialog, kIdPsdWidth);
            view->model.height = editNumber(dialog, kIdPsdHeight);
            psdSizeAccept(view->model, view->settings);
            EndDialog(dialog, IDOK);
        } else if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    }
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_DESTROY:
        gSizeDialog = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

// The size dialog, modal over the owner; true when it ended with OK.
bool askSize(const PsdExportRequest& request) {
    const PixelRect filter = filterRectOf(*request.record);
    SizeView view;
    view.settings = request.settings;
    view.model = psdSizeOpen(*request.settings, rectWidth(filter), rectHeight(filter));
    const INT_PTR ended = DialogBoxParamA(module(), "CHOOSEPSDWITHSIZE", request.owner, sizeProc,
                                          reinterpret_cast<LPARAM>(&view));
    return ended == IDOK;
}

// ------------------------------------------------------------- save dialog

bool askFile(const PsdExportRequest& request, FileSpec* fileSpec) {
    Settings* settings = request.settings;
    char path[MAX_PATH] = "Lakra result.psd";
    FileDialogRequest dialog;
    dialog.owner = request.owner;
    dialog.type = FileType::Psd;
    dialog.save = true;
    dialog.title = "Save a PSD file";
    dialog.initialFolder = settings->psdFolder;
    if (!askFilePath(dialog, path, sizeof path)) {
        return false;
    }
    pathFolderInto(path, settings->psdFolder, sizeof settings->psdFolder);
    fileSpecFromPath(fileSpec, path);
    std::memcpy(settings->psdLastFile, fileSpec, sizeof *fileSpec);
    return true;
}

// --------------------------------------------------------- progress dialog

// The host's ICC profile, locked for the length of the export.
class HostProfile {
public:
    explicit HostProfile(const FilterRecord& record) {
        handle = getICCprofileData(record);
        if (handle == nullptr || record.iCCprofileSize <= 0) {
            handle = nullptr;
            return;
        }
        const HandleProcs* handleProcs = getHandleProcs(record);
        if (handleProcs != nullptr && handleProcs->lockProc != nullptr &&
            handleProcs->unlockProc != nullptr) {
            procs = handleProcs;
            bytes = reinterpret_cast<const uint8_t*>(procs->lockProc(handle, 0));
        } else {
            bytes = reinterpret_cast<const uint8_t*>(*handle);
        }
        size = bytes != nullptr ? static_cast<uint32_t>(record.iCCprofileSize) : 0;
    }

    HostProfile(const HostProfile&) = delete;
    HostProfile& operator=(const HostProfile&) = delete;

    ~HostProfile() {
        if (procs != nullptr && bytes != nullptr) {
            procs->unlockProc(handle);
        }
    }

    const uint8_t* bytes = nullptr;
    uint32_t size = 0;

private:
    Handle handle = nullptr;
    const HandleProcs* procs = nullptr;
};

struct ProgressView {
    HWND dialog = nullptr;
    HWND cancelButton = nullptr; // it shares id 2 with the percentage, which comes first
    const PsdExportRequest* request = nullptr;
    const FileSpec* fileSpec = nullptr;
    bool running = false;   // the export runs inside the timer message
    bool cancelled = false; // Cancel or closing asked to stop
    Result result = userCanceledErr;
};

// The percentage of the layers done, on every report of the render; between
// units it lets the dialog's messages through so that Cancel is heard.
class ProgressWindow final : public ProgressSink {
public:
    explicit ProgressWindow(ProgressView* progressView) : view(progressView) {}

    void progressFraction(double fraction) override {
        const int percent =
            static_cast<int>((view->request->state->render.layersDone + fraction) * 100.0);
        char text[16];
        (void)std::snprintf(text, sizeof text, "%d%%", percent);
        SetDlgItemTextA(view->dialog, kIdProgressPercent, text);
        BringWindowToTop(view->dialog);
    }

    bool cancelRequested() override {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            if (message.message == WM_QUIT) {
                // Not ours to take: the loop that owns it sees it again.
                PostQuitMessage(static_cast<int>(message.wParam));
                view->cancelled = true;
                break;
            }
            // Other windows' timers wait for the export: the preview's own
            // would render into the state the export is using. A timer
            // posts again while it is set.
            if (message.message == WM_TIMER && message.hwnd != nullptr &&
                message.hwnd != view->dialog) {
                continue;
            }
            if (IsDialogMessageA(view->dialog, &message) == FALSE) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        return view->cancelled;
    }

private:
    ProgressView* view;
};

void runJob(ProgressView* view) {
    const PsdExportRequest& request = *view->request;
    PluginState* state = request.state;
    view->running = true;
    // The source is there once the preview has been drawn; without a
    // preview it is read now.
    if (state->sourceReady == 0) {
        view->result = loadHostImage(*request.record, request.settings, state);
        if (view->result != noErr) {
            view->running = false;
            return;
        }
    }
    aimRenderAtHost(*request.record, state);
    HostProfile profile(*request.record);
    ProgressWindow progress(view);
    PsdExportOptions options;
    options.progress = &progress;
    options.iccProfile = profile.bytes;
    options.iccProfileBytes = profile.size;
    view->result = psdExport(*view->fileSpec, request.settings, &state->render, options);
    view->running = false;
}

void stopProgress(ProgressView* view) {
    if (view->running) {
        view->cancelled = true; // the render stops at the end of its current units
        SetDlgItemTextA(view->dialog, kIdProgressDoing, "Stopping...");
        return;
    }
    KillTimer(view->dialog, kProgressTimerId);
    view->cancelled = true;
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    EndDialog(view->dialog, kProgressStopped);
}

INT_PTR CALLBACK progressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* view = reinterpret_cast<ProgressView*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        view = openView<ProgressView>(dialog, lParam, &gProgressDialog);
        view->cancelButton = FindWindowExA(dialog, nullptr, "Button", nullptr);
        view->cancelled = false;
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        SetTimer(dialog, kProgressTimerId, kProgressTimerMillis, nullptr);
        return TRUE;
    }
    if (view == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_TIMER:
        if (wParam == kProgressTimerId && !view->running) {
            KillTimer(dialog, kProgressTimerId);
            runJob(view);
            SetCursor(LoadCursorA(nullptr, IDC_ARROW));
            // A Cancel that came after the last unit no longer stops anything.
            EndDialog(dialog, view->result == userCanceledErr ? kProgressStopped : kProgressRan);
        }
        return TRUE;
    case WM_SETCURSOR:
        // The wait cursor over the dialog, the arrow over its Cancel button.
        if (reinterpret_cast<HWND>(wParam) == view->cancelButton) {
            return FALSE;
        }
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            stopProgress(view);
        }
        return TRUE;
    case WM_CLOSE:
        stopProgress(view);
        return TRUE;
    case WM_DESTROY:
        gProgressDialog = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

Result runProgress(const PsdExportRequest& request, const FileSpec& fileSpec) {
    ProgressView view;
    view.request = &request;
    view.fileSpec = &fileSpec;
    const INT_PTR ended = DialogBoxParamA(module(), "MONDO_PROGRESS", request.owner, progressProc,
                                          reinterpret_cast<LPARAM>(&view));
    if (ended == kProgressStopped) {
        return userCanceledErr;
    }
    if (ended != kProgressRan) {
        return failWith(memFullErr); // the dialog could not be made
    }
    return view.result;
}

} // namespace

Result runPsdExport(const PsdExportRequest& request) {
    if (request.record == nullptr || request.settings == nullptr || request.state == nullptr) {
        return failWith(filterBadParameters);
    }
    if (bringToFront(gSizeDialog) || bringToFront(gProgressDialog)) {
        return userCanceledErr;
    }
    if (!askSize(request)) {
        return userCanceledErr;
    }
    request.settings->exportKind = kExportPsd;
    FileSpec fileSpec{};
    if (!askFile(request, &fileSpec)) {
        return userCanceledErr;
    }
    const Result result = runProgress(request, fileSpec);
    if (result != noErr && result != userCanceledErr) {
        (void)MessageBoxA(request.owner, "The PSD file could not be written.", "Lakra",
                          MB_OK | MB_ICONWARNING);
    }
    return result;
}

} // namespace lakra
