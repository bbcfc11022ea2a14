// The preview dialog's Win32 view: it builds the controls from the template,
// draws the sliders, the pane, the dots and the labels, and moves values
// between the controls and the portable model, which decides what input does.

#include "dialog/win32/previewDialog.h"

#include "blend/glueModes.h"
#include "dialog/previewModel.h"
#include "dialog/win32/dialogPlacement.h"
#include "dialog/win32/fileDialogs.h"
#include "dialog/win32/galleryCommands.h"
#include "dialog/win32/psdExportDialogs.h"
#include "host/accessors.h"
#include "host/hostContext.h"
#include "host/pluginState.h"
#include "host/previewPane.h"
#include "host/win32/boxes.h"
#include "platform/platform.h"
#include "presets/presetFile.h"
#include "presets/thumbnail.h"
#include "pyramid/pyramid.h"
#include "resources/resource.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace lakra {

namespace {

constexpr int kKnobWidth = 13;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(40, 48, 60);
constexpr COLORREF kWater = RGB(46, 110, 170);
constexpr COLORREF kCurrent = RGB(230, 140, 40);
constexpr COLORREF kGroove = RGB(196, 204, 214);

struct View {
    HWND dialog = nullptr;
    FilterRecord* record = nullptr;
    Settings* settings = nullptr;
    PluginState* state = nullptr;
    PreviewModel model{};
    HFONT labelFont = nullptr;
    HBITMAP background = nullptr;
    HWND tooltip = nullptr;
    int hovered = 0;      // control under the pointer, for the tooltip
    bool writing = false; // the view is writing an edit box itself
    bool pictureReady = false;
    PyramidPtr captured;         // the thumbnail a saved preset or memory dot carries
    PresetHooks previousHooks{}; // the plug-in's, put back when the dialog closes
    HWND aboutBox = nullptr;
    HWND informationBox = nullptr;
    GalleryDialog gallery{};
};

// While the dialog is open, presets and memory dots are written with a
// thumbnail of the pane's picture; reading goes on through the plug-in's hooks.
void writeCapturedThumbnail(void* context, FileWriter* writer) {
    View* view = static_cast<View*>(context);
    if (view->captured != nullptr &&
        capturePreviewThumbnail(*view->state, view->captured.get()) == noErr) {
        thumbnailWriteRecord(view->captured.get(), writer);
    } else {
        (void)writeU32BE(writer, 0);
    }
}

bool decodeThroughPrevious(void* context, PresetReadMode mode, int32_t width, int32_t height,
                           const uint8_t* jpeg, size_t bytes) {
    const PresetHooks& previous = static_cast<View*>(context)->previousHooks;
    return previous.decodeThumbnail != nullptr &&
           previous.decodeThumbnail(previous.context, mode, width, height, jpeg, bytes);
}

void installThroughPrevious(void* context, int32_t side, const uint8_t* rgb) {
    const PresetHooks& previous = static_cast<View*>(context)->previousHooks;
    if (previous.installTexture != nullptr) {
        previous.installTexture(previous.context, side, rgb);
    }
}

void installDialogHooks(View* view) {
    view->previousHooks = presetHooks();
    view->captured.reset(pyramidCreate(kThumbnailMaxSide, kThumbnailMaxSide, PixelFormat::Rgba8));
    PresetHooks hooks;
    hooks.writeThumbnail = writeCapturedThumbnail;
    hooks.decodeThumbnail = decodeThroughPrevious;
    hooks.installTexture = installThroughPrevious;
    hooks.context = view;
    setPresetHooks(&hooks);
}

// The plug-in module's resources; in a host that links the plug-in in, the
// host's own.
HINSTANCE module() {
    void* instance = moduleInstance();
    return instance != nullptr ? static_cast<HINSTANCE>(instance) : GetModuleHandleA(nullptr);
}

ControlRect rectOf(HWND dialog, int id) {
    RECT r{};
    const HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        return ControlRect{};
    }
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return ControlRect{r.left, r.top, r.right, r.bottom};
}

// The control under a point of the dialog's client area, 0 for none.
int controlAt(HWND dialog, POINT point) {
    const HWND child = ChildWindowFromPointEx(dialog, point, CWP_SKIPINVISIBLE);
    if (child == nullptr || child == dialog) {
        return 0;
    }
    return GetDlgCtrlID(child);
}

void setEditValue(View* view, int editId, float value) {
    char text[32];
    formatEditValue(value, text, sizeof text);
    view->writing = true;
    SetDlgItemTextA(view->dialog, editId, text);
    view->writing = false;
}

void redrawControl(HWND dialog, int id) {
    const HWND control = GetDlgItem(dialog, id);
    if (control != nullptr) {
        InvalidateRect(control, nullptr, TRUE);
    }
}

// Transparent statics leave their old text behind unless the dialog
// repaints the background under them.
void redrawTransparent(HWND dialog, int id) {
    const ControlRect r = rectOf(dialog, id);
    const RECT area{r.left, r.top, r.right, r.bottom};
    RedrawWindow(dialog, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void renderPicture(View* view) {
    if (!view->model.previewPossible) {
        return;
    }
    const PaneRect picture = previewPicture(view->model);
    const Result rendered = renderPreviewPicture(*view->record, view->settings, view->state,
                                                 picture.width, picture.height);
    if (rendered != noErr) {
        // Without a picture the dialog goes on; the controls keep working.
        if (!view->pictureReady) {
            previewFailed(&view->model);
            setHostResult(noErr);
        }
    } else {
        view->pictureReady = true;
    }
    redrawControl(view->dialog, kIdPane);
}

void showControls(View* view) {
    for (const SliderRow& row : sliderRows()) {
        redrawControl(view->dialog, row.slider);
        setEditValue(view, row.edit, view->model.values[sliderIndexOf(row.slider)]);
    }
    SendDlgItemMessageA(view->dialog, kIdGlueList, CB_SETCURSEL,
                        static_cast<WPARAM>(view->model.glue - 1), 0);
    redrawControl(view->dialog, kIdWaterColor);
}

// A button that was just clicked has the focus; disabling it would leave the
// dialog without one, and then Return and Escape reach no control.
void enableControl(HWND dialog, int id, bool enabled) {
    HWND control = GetDlgItem(dialog, id);
    if (!enabled && GetFocus() == control) {
        SendMessageA(dialog, WM_NEXTDLGCTL, 0, FALSE);
    }
    EnableWindow(control, enabled ? TRUE : FALSE);
}

void showZoom(View* view) {
    char text[16];
    zoomText(view->settings->previewScale, text, sizeof text);
    SetDlgItemTextA(view->dialog, kIdZoomActual, text);
    enableControl(view->dialog, kIdZoomIn, zoomInEnabled(view->model));
    enableControl(view->dialog, kIdZoomOut, zoomOutEnabled(view->model));
}

void showDots(View* view) {
    MemoryDots* dots = view->model.dots;
    if (dots == nullptr) {
        return;
    }
    for (int32_t slot = 0; slot < kMemoryDotCount; ++slot) {
        if ((dots->dirty & (1u << slot)) != 0) {
            redrawControl(view->dialog, kIdFirstDot + slot);
        }
    }
    if ((dots->dirty & kPreviewCellDirty) != 0) {
        redrawControl(view->dialog, kIdDotCell);
    }
    dots->dirty = 0;
}

// The water colour: the host's picker when it offers one, else the system's.
bool pickColor(View* view, uint8_t rgb[3]) {
    const ColorServicesProc hostPicker = getColorServices(*view->record);
    if (hostPicker != nullptr) {
        ColorServicesInfo info{};
        info.infoSize = sizeof info;
        info.selector = 0; // choose a colour
        info.sourceSpace = 0;
        info.resultSpace = 0;
        info.colorComponents[0] = static_cast<int16_t>(view->settings->waterRed >> 8);
        info.colorComponents[1] = static_cast<int16_t>(view->settings->waterGreen >> 8);
        info.colorComponents[2] = static_cast<int16_t>(view->settings->waterBlue >> 8);
        if (hostPicker(&info) != noErr) {
            return false;
        }
        for (int i = 0; i < 3; ++i) {
            rgb[i] = static_cast<uint8_t>(std::clamp<int>(info.colorComponents[i], 0, 255));
        }
        return true;
    }
    rgb[0] = static_cast<uint8_t>(view->settings->waterRed >> 8);
    rgb[1] = static_cast<uint8_t>(view->settings->waterGreen >> 8);
    rgb[2] = static_cast<uint8_t>(view->settings->waterBlue >> 8);
    return chooseColor(view->dialog, rgb);
}

void fillRect(HDC dc, const RECT& r, COLORREF color);
void drawThumbnail(HDC dc, const RECT& r, const ImagePyramid& thumbnail, int32_t side);

// The open dialog's side panel (template FANCY_OPEN4): the thumbnail of the
// file selected, read on every change of the selection.
constexpr int kIdPanelPicture = 123;

struct OpenPanel {
    View* view;
    PyramidPtr picture; // nullptr: the selected file has no thumbnail
};

UINT_PTR CALLBACK openPanelHook(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* open = reinterpret_cast<OpenPanel*>(GetWindowLongPtrA(panel, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(
            panel, GWLP_USERDATA,
            static_cast<LONG_PTR>(reinterpret_cast<OPENFILENAMEA*>(lParam)->lCustData));
        return FALSE;
    case WM_NOTIFY: {
        const auto* notice = reinterpret_cast<const OFNOTIFYA*>(lParam);
        if (open != nullptr && notice->hdr.code == CDN_SELCHANGE) {
            char path[MAX_PATH] = "";
            open->picture.reset();
            if (SendMessageA(GetParent(panel), CDM_GETFILEPATH, sizeof path,
                             reinterpret_cast<LPARAM>(path)) > 0) {
                FileSpec fileSpec{};
                fileSpecFromPath(&fileSpec, path);
                ImagePyramid* picture = nullptr;
                if (presetThumbnailAtSize(fileSpec, &open->view->state->thumbnail,
                                          kThumbnailMaxSide, &picture)) {
                    open->picture.reset(picture);
                }
            }
            InvalidateRect(GetDlgItem(panel, kIdPanelPicture), nullptr, TRUE);
        }
        return 0;
    }
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (open == nullptr || wParam != kIdPanelPicture) {
            return 0;
        }
        fillRect(item->hDC, item->rcItem, kWhite);
        if (open->picture != nullptr) {
            const int side = std::min(item->rcItem.right - item->rcItem.left,
                                      item->rcItem.bottom - item->rcItem.top) -
                             2;
            drawThumbnail(item->hDC, item->rcItem, *open->picture, std::max(1, side));
        }
        SetDCBrushColor(item->hDC, kGroove);
        FrameRect(item->hDC, &item->rcItem, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
        return 1;
    }
    default:
        return 0;
    }
}

// The system's open or save dialog for settings files, starting in the
// folder last used; the open one with the thumbnail panel.
bool askPresetPath(View* view, bool save, char* path, DWORD bytes) {
    OpenPanel panel{view, nullptr};
    FileDialogRequest request;
    request.owner = view->dialog;
    request.type = FileType::Presets;
    request.save = save;
    request.title = save ? "Save a settings file" : "Open a settings file";
    request.initialFolder = view->settings->presetsFolder;
    if (!save) {
        request.panelTemplate = "FANCY_OPEN4";
        request.panelHook = openPanelHook;
        request.panelData = reinterpret_cast<LPARAM>(&panel);
    }
    return askFilePath(request, path, bytes);
}

void apply(View* view, uint32_t effects);

void applyEffects(void* context, uint32_t effects) {
    apply(static_cast<View*>(context), effects);
}

// The about and information boxes stay open beside the dialog until closed
// or until the dialog ends; a second click brings the open one forward.
void openBox(HWND* box, ModelessBox kind, HWND owner) {
    if (*box != nullptr && IsWindow(*box) != FALSE) {
        SetForegroundWindow(*box);
        return;
    }
    *box = static_cast<HWND>(openModelessBox(kind, owner));
}

void closeBoxes(View* view) {
    for (HWND* box : {&view->aboutBox, &view->informationBox}) {
        if (*box != nullptr && IsWindow(*box) != FALSE) {
            DestroyWindow(*box);
        }
        *box = nullptr;
    }
}

void loadPreset(View* view) {
    char path[MAX_PATH] = "";
    if (!askPresetPath(view, false, path, sizeof path)) {
        return;
    }
    Result result = noErr;
    const uint32_t effects = previewPresetOpened(&view->model, path, &result);
    if (result != noErr) {
        (void)MessageBoxA(view->dialog, "This settings file cannot be read.", "Lakra",
                          MB_OK | MB_ICONWARNING);
    }
    apply(view, effects);
}

void savePreset(View* view) {
    char path[MAX_PATH] = "";
    presetSaveName(*view->settings, path, sizeof path);
    if (!askPresetPath(view, true, path, sizeof path)) {
        return;
    }
    Result result = noErr;
    const uint32_t effects = previewPresetSaved(&view->model, path, &result);
    if (result != noErr) {
        (void)MessageBoxA(view->dialog, "The settings file could not be written.", "Lakra",
                          MB_OK | MB_ICONWARNING);
    }
    apply(view, effects);
}

void apply(View* view, uint32_t effects) {
    HWND dialog = view->dialog;
    if ((effects & kStopTimer) != 0) {
        KillTimer(dialog, kPreviewTimerId);
    }
    if ((effects & kShowSliders) != 0) {
        showControls(view);
    }
    if ((effects & (kShowSlider | kMoveSlider)) != 0) {
        for (const SliderRow& row : sliderRows()) {
            redrawControl(dialog, row.slider);
            if ((effects & kShowSlider) != 0 && row.slider == view->model.captured) {
                setEditValue(view, row.edit, view->model.values[sliderIndexOf(row.slider)]);
            }
        }
    }
    if ((effects & kShowStatus) != 0) {
        SetDlgItemTextA(dialog, kIdStatus, view->settings->dotName);
        redrawTransparent(dialog, kIdStatus);
    }
    if ((effects & kArmTimer) != 0) {
        SetTimer(dialog, kPreviewTimerId, kPreviewTimerMillis, nullptr);
    }
    if ((effects & kCaptureMouse) != 0) {
        SetCapture(dialog);
    }
    if ((effects & kReleaseMouse) != 0) {
        ReleaseCapture();
    }
    if ((effects & kRenderPreview) != 0) {
        renderPicture(view);
    }
    if ((effects & kShowZoom) != 0) {
        showZoom(view);
    }
    if ((effects & kShowDots) != 0) {
        showDots(view);
    }
    if ((effects & kAskColor) != 0) {
        uint8_t rgb[3];
        if (pickColor(view, rgb)) {
            apply(view, previewColorChosen(&view->model, rgb[0], rgb[1], rgb[2]));
        }
    }
    if ((effects & kAskLoadPreset) != 0) {
        loadPreset(view);
    }
    if ((effects & kAskSavePreset) != 0) {
        savePreset(view);
    }
    if ((effects & kAskPsdExport) != 0) {
        (void)runPsdExport(PsdExportRequest{dialog, view->record, view->settings, view->state});
    }
    if ((effects & kAskAbout) != 0) {
        openBox(&view->aboutBox, ModelessBox::About, dialog);
    }
    if ((effects & kAskInformation) != 0) {
        openBox(&view->informationBox, ModelessBox::Information, dialog);
    }
    if ((effects & kAskGalleryPage) != 0) {
        galleryPresetsPage(&view->gallery);
    }
    if ((effects & kAskMemoryDotsPage) != 0) {
        galleryMemoryDotsPage(&view->gallery);
    }
    if ((effects & kAskBatchResave) != 0) {
        galleryBatchResave(&view->gallery);
    }
    if ((effects & (kEndConfirmed | kEndCancelled)) != 0) {
        closeBoxes(view);
        EndDialog(dialog, (effects & kEndConfirmed) != 0 ? kIdOk : kIdCancel);
    }
}

// ------------------------------------------------------------------ drawing

void fillRect(HDC dc, const RECT& r, COLORREF color) {
    SetDCBrushColor(dc, color);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void drawSlider(const View& view, const DRAWITEMSTRUCT& item) {
    const int index = sliderIndexOf(static_cast<int32_t>(item.CtlID));
    const RECT& r = item.rcItem;
    fillRect(item.hDC, r, kWhite);
    const int middle = (r.top + r.bottom) / 2;
    fillRect(item.hDC, RECT{r.left + 1, middle - 2, r.right - 1, middle + 2}, kGroove);
    const int span = std::max(1, static_cast<int>(r.right - r.left) - 1 - kKnobWidth);
    const float value = index >= 0 ? view.model.values[index] : 0.0f;
    const int knob = r.left + 1 + static_cast<int>(value) * span / 100;
    fillRect(item.hDC, RECT{r.left + 1, middle - 2, knob, middle + 2}, kWater);
    SelectObject(item.hDC, GetStockObject(DC_PEN));
    SelectObject(item.hDC, GetStockObject(DC_BRUSH));
    SetDCPenColor(item.hDC, kInk);
    SetDCBrushColor(item.hDC, RGB(236, 240, 246));
    RoundRect(item.hDC, knob, r.top + 1, knob + kKnobWidth, r.bottom - 1, 5, 5);
    MoveToEx(item.hDC, knob + kKnobWidth / 2, r.top + 4, nullptr);
    LineTo(item.hDC, knob + kKnobWidth / 2, r.bottom - 4);
}

void drawPane(const View& view, const DRAWITEMSTRUCT& item) {
    const RECT& r = item.rcItem;
    fillRect(item.hDC, r, kWhite);
    SetDCBrushColor(item.hDC, kInk);
    const RECT frame{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    FrameRect(item.hDC, &frame, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    if (!view.model.previewPossible || !view.pictureReady) {
        return;
    }
    // The model counts in dialog pixels; the item's DC in the pane's own.
    const ControlRect pane = rectOf(view.dialog, kIdPane);
    const PaneRect picture = previewPicture(view.model);
    (void)showPreviewPicture(*view.record, *view.state, picture.left - pane.left,
                             picture.top - pane.top, item.hDC);
}

void drawDot(const View& view, const DRAWITEMSTRUCT& item) {
    const int slot = static_cast<int>(item.CtlID) - kIdFirstDot;
    const MemoryDots* dots = view.model.dots;
    const RECT& r = item.rcItem;
    fillRect(item.hDC, r, kWhite);
    if (dots == nullptr || slot < 0 || slot >= kMemoryDotCount) {
        return;
    }
    const DotDisplay shown = dots->shown[slot];
    const bool hovered = dots->hovered == slot;
    SelectObject(item.hDC, GetStockObject(DC_PEN));
    SelectObject(item.hDC, GetStockObject(DC_BRUSH));
    SetDCPenColor(item.hDC, hovered ? kCurrent : kInk);
    COLORREF fill = kWhite;
    if (shown == DotDisplay::Filled) {
        fill = kWater;
    } else if (shown == DotDisplay::Current) {
        fill = kCurrent;
    }
    SetDCBrushColor(item.hDC, fill);
    Ellipse(item.hDC, r.left + 2, r.top + 2, r.right - 2, r.bottom - 2);
    if (dots->kept[slot] != 0 && shown != DotDisplay::Empty) {
        // Kept: a white core that survives into later runs.
        SetDCBrushColor(item.hDC, kWhite);
        const int cx = (r.left + r.right) / 2;
        const int cy = (r.top + r.bottom) / 2;
        Ellipse(item.hDC, cx - 2, cy - 2, cx + 3, cy + 3);
    }
}

// A thumbnail (any size) drawn `side` pixels square, centred in `r`.
void drawThumbnail(HDC dc, const RECT& r, const ImagePyramid& thumbnail, int32_t side) {
    const size_t area = static_cast<size_t>(side) * static_cast<size_t>(side);
    std::vector<uint8_t> planes(area * 3);
    for (int32_t y = 0; y < side; ++y) {
        for (int32_t x = 0; x < side; ++x) {
            float rgba[4];
            getPixel4f(x * thumbnail.width[0] / side, y * thumbnail.height[0] / side, &thumbnail, 0,
                       rgba);
            const size_t at =
                static_cast<size_t>(y) * static_cast<size_t>(side) + static_cast<size_t>(x);
            for (size_t c = 0; c < 3; ++c) {
                planes[c * area + at] =
                    static_cast<uint8_t>(std::clamp(rgba[c], 0.0f, 1.0f) * 255.0f);
            }
        }
    }
    // Centred: the control grows with the display's dots per inch.
    const int left = r.left + std::max(0, static_cast<int>(r.right - r.left) - side) / 2;
    const int top = r.top + std::max(0, static_cast<int>(r.bottom - r.top) - side) / 2;
    (void)drawPlanarPicture(dc, left, top, planes.data(), side, side, 3);
}

void drawCell(const View& view, const DRAWITEMSTRUCT& item) {
    const RECT& r = item.rcItem;
    fillRect(item.hDC, r, kWhite);
    const MemoryDots* dots = view.model.dots;
    const ImagePyramid& thumbnail = view.state->thumbnail;
    if (dots != nullptr && dots->previewed >= 0 && thumbnail.width[0] > 0) {
        drawThumbnail(item.hDC, r, thumbnail, kMemoryDotThumbnailSide);
    }
    SetDCBrushColor(item.hDC, kGroove);
    FrameRect(item.hDC, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void drawColorButton(const View& view, const DRAWITEMSTRUCT& item) {
    const RECT& r = item.rcItem;
    const Settings& s = *view.settings;
    const COLORREF water = RGB(s.waterRed >> 8, s.waterGreen >> 8, s.waterBlue >> 8);
    fillRect(item.hDC, r, water);
    SetDCBrushColor(item.hDC, kInk);
    FrameRect(item.hDC, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    const int light = (s.waterRed >> 8) * 3 + (s.waterGreen >> 8) * 6 + (s.waterBlue >> 8);
    SetTextColor(item.hDC, light > 1280 ? kInk : kWhite);
    SetBkMode(item.hDC, TRANSPARENT);
    RECT text = r;
    DrawTextA(item.hDC, "clr", -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if ((item.itemState & ODS_FOCUS) != 0) {
        RECT focus{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
        DrawFocusRect(item.hDC, &focus);
    }
}

void drawItem(const View& view, const DRAWITEMSTRUCT& item) {
    const auto id = static_cast<int32_t>(item.CtlID);
    if (id == kIdPane) {
        drawPane(view, item);
    } else if (id == kIdDotCell) {
        drawCell(view, item);
    } else if (id == kIdWaterColor) {
        drawColorButton(view, item);
    } else if (id >= kIdFirstDot && id < kIdFirstDot + kMemoryDotCount) {
        drawDot(view, item);
    } else if (sliderIndexOf(id) >= 0) {
        drawSlider(view, item);
    }
}

// ------------------------------------------------------------------ opening

void fitClientToTemplate(HWND dialog) {
    RECT client{0, 0, 506, 331};
    MapDialogRect(dialog, &client);
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_EXSTYLE));
    AdjustWindowRectEx(&client, style, FALSE, exStyle);
    SetWindowPos(dialog, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void addTooltips(View* view) {
    view->tooltip =
        CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, view->dialog, nullptr, module(), nullptr);
    if (view->tooltip == nullptr) {
        return;
    }
    SendMessageA(view->tooltip, TTM_SETMAXTIPWIDTH, 0, 300);
    for (int id = 1; id < 200; ++id) {
        const HWND control = GetDlgItem(view->dialog, id);
        if (control == nullptr) {
            continue;
        }
        TOOLINFOA tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = view->dialog;
        tool.lpszText = LPSTR_TEXTCALLBACKA;
        char className[16] = "";
        GetClassNameA(control, className, sizeof className);
        if (lstrcmpiA(className, "Static") == 0) {
            // Statics let the mouse through to the dialog: their tools are
            // areas of the dialog itself.
            const ControlRect r = rectOf(view->dialog, id);
            tool.uFlags = TTF_SUBCLASS;
            tool.uId = static_cast<UINT_PTR>(id);
            tool.rect = RECT{r.left, r.top, r.right, r.bottom};
        } else {
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.uId = reinterpret_cast<UINT_PTR>(control);
        }
        SendMessageA(view->tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void tooltipText(NMTTDISPINFOA* info) {
    const bool isWindow = (info->uFlags & TTF_IDISHWND) != 0;
    const int id = isWindow ? GetDlgCtrlID(reinterpret_cast<HWND>(info->hdr.idFrom))
                            : static_cast<int>(info->hdr.idFrom);
    static char text[260];
    text[0] = '\0';
    if (id >= 1 && id <= 200) {
        LoadStringA(module(), static_cast<UINT>(kTooltipStringBase + id), text, sizeof text);
    }
    info->lpszText = text;
}

void setIcons(HWND dialog) {
    for (const ControlInfo& control : controlTable()) {
        if (control.icon == 0) {
            continue;
        }
        const auto icon = static_cast<HICON>(LoadImageA(module(), MAKEINTRESOURCEA(control.icon),
                                                        IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
        const HWND button = GetDlgItem(dialog, control.id);
        if (icon != nullptr && button != nullptr) {
            SetWindowLongPtrA(button, GWL_STYLE, GetWindowLongPtrA(button, GWL_STYLE) | BS_ICON);
            SendMessageA(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
        }
    }
    const auto about = static_cast<HICON>(
        LoadImageA(module(), MAKEINTRESOURCEA(IDI_LAKRA), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
    if (about != nullptr) {
        SendDlgItemMessageA(dialog, kIdAbout, BM_SETIMAGE, IMAGE_ICON,
                            reinterpret_cast<LPARAM>(about));
    }
}

void openView(View* view) {
    HWND dialog = view->dialog;
    fitClientToTemplate(dialog);
    addTooltips(view);
    const PlatformData* platform = getPlatformData(*view->record);
    placeDialog(dialog, platform != nullptr ? reinterpret_cast<HWND>(platform->hwnd) : nullptr, 3);

    // Arial 11 pixels at 96 dots per inch, grown with the display's setting
    // as the template's dialog units are.
    HDC screen = GetDC(dialog);
    const int dotsPerInch = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) {
        ReleaseDC(dialog, screen);
    }
    view->labelFont = CreateFontA(-MulDiv(11, dotsPerInch, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                  FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
    for (const ControlInfo& control : controlTable()) {
        if (control.role == ControlRole::Label || control.role == ControlRole::Status) {
            SendDlgItemMessageA(dialog, control.id, WM_SETFONT,
                                reinterpret_cast<WPARAM>(view->labelFont), FALSE);
        }
    }
    view->background = static_cast<HBITMAP>(
        LoadImageA(module(), MAKEINTRESOURCEA(IDB_DIALOG_BACKGROUND), IMAGE_BITMAP, 0, 0, 0));
    setIcons(dialog);
    for (int32_t glue = 1; glue <= kGlueCount; ++glue) {
        SendDlgItemMessageA(dialog, kIdGlueList, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(glueName(glue)));
    }

    const ControlRect pane = rectOf(dialog, kIdPane);
    const PaneRect inset{pane.left + 2, pane.top + 2, pane.right - pane.left - 4,
                         pane.bottom - pane.top - 4};
    FilterRecord& record = *view->record;
    const bool proxies = getAdvanceState(record) != nullptr &&
                         getDisplayPixels(record) != nullptr && record.samplingSupport != 0;
    const PixelRect filter = filterRectOf(record);
    MemoryDots* dots = &memoryDots();
    dots->captureThumbnail = nullptr;
    view->gallery = GalleryDialog{.dialog = dialog,
                                  .record = &record,
                                  .settings = view->settings,
                                  .state = view->state,
                                  .model = &view->model,
                                  .thumbnail = view->captured.get(),
                                  .apply = applyEffects,
                                  .context = view};
    const uint32_t effects = previewOpen(&view->model, view->settings, &undoStore(), dots,
                                         view->settings->previewPossible != 0, proxies,
                                         rectWidth(filter), rectHeight(filter), inset);
    apply(view, effects);
}

void closeView(View* view) {
    KillTimer(view->dialog, kPreviewTimerId);
    closeBoxes(view);
    if (view->labelFont != nullptr) {
        DeleteObject(view->labelFont);
    }
    if (view->background != nullptr) {
        DeleteObject(view->background);
    }
}

// ------------------------------------------------------------------ messages

POINT pointOf(LPARAM lParam) {
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

INT_PTR onMouse(View* view, UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT point = pointOf(lParam);
    const int id = controlAt(view->dialog, point);
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
        const bool right = message == WM_RBUTTONDOWN;
        const bool ctrl = (wParam & MK_CONTROL) != 0;
        apply(view, previewButtonDown(&view->model, id, rectOf(view->dialog, id), point.x, point.y,
                                      right, ctrl, GetTickCount()));
        return TRUE;
    }
    case WM_MOUSEMOVE:
        if (id != view->hovered) {
            view->hovered = id;
            if (view->tooltip != nullptr) {
                SendMessageA(view->tooltip, TTM_POP, 0, 0);
            }
        }
        apply(view, previewMouseMove(&view->model, id, point.x, point.y));
        return TRUE;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        apply(view, previewButtonUp(&view->model, point.x, point.y));
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR onCommand(View* view, WPARAM wParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (code == EN_CHANGE) {
        if (!view->writing && sliderIndexOf(id) >= 0) {
            char text[64] = "";
            GetDlgItemTextA(view->dialog, id, text, sizeof text);
            apply(view, previewEditTyped(&view->model, id, text));
        }
        return TRUE;
    }
    if (id == kIdGlueList) {
        if (code == CBN_SELCHANGE) {
            const auto index = static_cast<int32_t>(
                SendDlgItemMessageA(view->dialog, kIdGlueList, CB_GETCURSEL, 0, 0));
            apply(view, previewGlueChosen(&view->model, index));
        }
        return TRUE;
    }
    if (code == BN_CLICKED) {
        apply(view, previewCommand(&view->model, id));
    }
    return TRUE;
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* view = reinterpret_cast<View*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        view = reinterpret_cast<View*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        view->dialog = dialog;
        openView(view);
        return TRUE;
    }
    if (view == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_ERASEBKGND: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        RECT client{};
        GetClientRect(dialog, &client);
        FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        if (view->background != nullptr) {
            const HDC memory = CreateCompatibleDC(dc);
            const HGDIOBJ old = SelectObject(memory, view->background);
            BITMAP bitmap{};
            GetObjectA(view->background, sizeof bitmap, &bitmap);
            BitBlt(dc, 0, 0, bitmap.bmWidth, bitmap.bmHeight, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteDC(memory);
        }
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 1);
        return TRUE;
    }
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, kInk);
        return reinterpret_cast<INT_PTR>(GetStockObject(HOLLOW_BRUSH));
    }
    case WM_DRAWITEM:
        drawItem(*view, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        return onMouse(view, message, wParam, lParam);
    case WM_TIMER:
        if (wParam == kPreviewTimerId) {
            apply(view, previewTimerFired(&view->model));
        }
        return TRUE;
    case WM_COMMAND:
        return onCommand(view, wParam);
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == TTN_GETDISPINFOA) {
            tooltipText(reinterpret_cast<NMTTDISPINFOA*>(lParam));
        }
        return TRUE;
    }
    case WM_CLOSE:
        apply(view, previewCommand(&view->model, kIdCancel));
        return TRUE;
    case WM_DESTROY:
        closeView(view);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

bool runWin32PreviewDialog() {
    HostContext& host = currentHost();
    if (host.record == nullptr || host.settings == nullptr || host.state == nullptr) {
        return true;
    }
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    View view;
    view.record = host.record;
    view.settings = host.settings;
    view.state = host.state;
    const PlatformData* platform = getPlatformData(*host.record);
    const HWND owner = platform != nullptr ? reinterpret_cast<HWND>(platform->hwnd) : nullptr;
    installDialogHooks(&view);
    const INT_PTR ended = DialogBoxParamA(module(), "DISSOLVESANSPARAM", owner, dialogProc,
                                          reinterpret_cast<LPARAM>(&view));
    setPresetHooks(&view.previousHooks);
    if (ended == -1 || ended == 0) {
        // Without the template there is nothing to show: the run goes on
        // with the look it was given.
        return true;
    }
    return ended == kIdOk;
}

} // namespace lakra
