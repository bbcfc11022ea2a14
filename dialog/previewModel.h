#pragma once

// What the preview dialog shows and what the user's input does to Settings.
// The Win32 view only moves values between its controls and this model: it
// passes on presses, moves, releases, typing, commands and timer ticks, and
// carries out the effects each call returns.

#include "platform/result.h"
#include "presets/memoryDots.h"
#include "presets/undo.h"
#include "render/settings.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace lakra {

// Control ids of the dialog template.
inline constexpr int32_t kIdOk = 3;
inline constexpr int32_t kIdCancel = 2;
inline constexpr int32_t kIdPane = 18;
inline constexpr int32_t kIdGlueList = 73;
inline constexpr int32_t kIdGlueLabel = 70;
inline constexpr int32_t kIdNextGlue = 21;
inline constexpr int32_t kIdWaterColor = 7;
inline constexpr int32_t kIdDice = 72;
inline constexpr int32_t kIdEcce = 75;
inline constexpr int32_t kIdLoad = 35;
inline constexpr int32_t kIdSave = 26;
inline constexpr int32_t kIdReset = 98;
inline constexpr int32_t kIdUndo = 74;
inline constexpr int32_t kIdPsdExport = 69;
inline constexpr int32_t kIdGalleryPage = 40;
inline constexpr int32_t kIdZoomOut = 33;
inline constexpr int32_t kIdZoomIn = 32;
inline constexpr int32_t kIdZoomActual = 34;
inline constexpr int32_t kIdInformation = 27;
inline constexpr int32_t kIdAbout = 25;
inline constexpr int32_t kIdStatus = 76;
inline constexpr int32_t kIdFirstDot = 121; // slot i is control 121 + i
inline constexpr int32_t kIdDotCell = 119;
inline constexpr int32_t kPreviewTimerId = 8064;
inline constexpr uint32_t kPreviewTimerMillis = 1000;
inline constexpr int32_t kTooltipStringBase = 700; // a control's hint: string 700 + id
inline constexpr const char* kPlainSettingsName = "plain settings";

enum class ControlRole : uint8_t {
    Confirm,
    Cancel,
    Pane,
    Label,
    Slider,
    Edit,
    GlueList,
    Command, // a push button the model or the view acts on
    Status,
    Dot,
    DotCell,
};

// Whether a control's action ends with an undo snapshot, and of what.
enum class UndoKind : uint8_t { None, Look, WithFile };

struct ControlInfo {
    int16_t id;
    ControlRole role;
    int16_t partner; // label -> slider, slider <-> edit; 0 for none
    int16_t low;     // value range of sliders and edits
    int16_t high;
    int16_t icon; // icon resource drawn instead of the text; 0 for none
    UndoKind undo;
    const char* text; // the template's text
};

// Every control with an id below 200, in no particular order.
std::span<const ControlInfo> controlTable();
// The row for a control id, nullptr when the table has none (the memory
// dots 121..145 share one row, returned for each of them).
const ControlInfo* controlInfo(int32_t id);

inline constexpr int32_t kSliderCount = 11;

// A label / slider / edit box triple and the field it shows. The horizon and
// the offset are kept exactly (exact) with a truncated copy (whole); the other
// fields are whole numbers only.
struct SliderRow {
    int16_t label;
    int16_t slider;
    int16_t edit;
    const char* text;
    float Settings::*exact;
    int32_t Settings::*whole;
};

std::span<const SliderRow> sliderRows();
// The row of a label, slider or edit id, or -1.
int32_t sliderIndexOf(int32_t id);

// A control's rectangle in dialog client pixels; right and bottom exclusive.
struct ControlRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The slider value under the pointer: horizontal tracks map x, tracks taller
// than wide map y (the top is the high end); clamped to low..high.
int32_t sliderValueAt(const ControlRect& track, int32_t pointerX, int32_t pointerY, int32_t low,
                      int32_t high);
// Typed text as a value: atof, clamped to low..high; text that is no number is 0.
float editValue(const char* text, int32_t low, int32_t high);
// What an edit box shows for a value ("%g").
void formatEditValue(float value, char* text, size_t bytes);

// The picture area: the preview control inset by 2 pixels, dialog client pixels.
struct PaneRect {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
};

// What the view must do after a model call (bits of the returned value).
inline constexpr uint32_t kShowSliders = 1u << 0; // every slider, edit, list and colour
inline constexpr uint32_t kShowSlider = 1u << 1;  // the captured slider and its edit only
inline constexpr uint32_t kMoveSlider = 1u << 2;  // the typed-in edit's slider, not the edit
inline constexpr uint32_t kShowStatus = 1u << 3;  // the status line from Settings::dotName
inline constexpr uint32_t kArmTimer = 1u << 4;    // (re)start the preview timer
inline constexpr uint32_t kStopTimer = 1u << 5;   // stop it
inline constexpr uint32_t kRenderPreview = 1u << 6;
inline constexpr uint32_t kShowZoom = 1u << 7; // the "%" text and the zoom buttons' state
inline constexpr uint32_t kShowDots = 1u << 8; // the dots in MemoryDots::dirty
inline constexpr uint32_t kCaptureMouse = 1u << 9;
inline constexpr uint32_t kReleaseMouse = 1u << 10;
inline constexpr uint32_t kEndConfirmed = 1u << 11; // end the dialog with 3
inline constexpr uint32_t kEndCancelled = 1u << 12; // end the dialog with 2
// Commands the view carries out itself (system dialogs, files, other boxes);
// those that change the look then call previewLookReplaced.
inline constexpr uint32_t kAskColor = 1u << 13;
inline constexpr uint32_t kAskLoadPreset = 1u << 14;
inline constexpr uint32_t kAskSavePreset = 1u << 15;
inline constexpr uint32_t kAskPsdExport = 1u << 16;
inline constexpr uint32_t kAskGalleryPage = 1u << 17;
inline constexpr uint32_t kAskInformation = 1u << 18;
inline constexpr uint32_t kAskAbout = 1u << 19;
inline constexpr uint32_t kAskMemoryDotsPage = 1u << 20;
inline constexpr uint32_t kAskBatchResave = 1u << 21;

struct PreviewModel {
    Settings* settings;
    Settings openedWith; // what Cancel restores
    UndoStore* undo;
    MemoryDots* dots;
    float values[kSliderCount]; // what the sliders show
    int32_t glue;               // the list's selection, 1..63
    uint16_t waterColor[3];     // what the colour button shows
    // The mouse, from a press to its release.
    int32_t captured; // control id, -1 when none
    uint32_t captureMillis;
    bool mouseMoved;
    bool rightButton;
    bool ctrlHeld;
    int32_t lastX;
    int32_t lastY;
    ControlRect capturedRect;
    bool timerArmed;
    bool lookChanged;
    // The preview.
    bool previewPossible;
    bool proxies;       // the host can deliver reduced and panned regions
    int32_t imageWidth; // the host's filter rectangle
    int32_t imageHeight;
    PaneRect pane;
    int32_t largestReduction;
};

// Opening, after the view has built its controls: keeps the Cancel copy,
// shows Settings and reads it back, takes the opening undo snapshot, sets the
// preview to the largest useful reduction, then stores the incoming look in
// the first memory dot not kept. Returns the effects (render first preview,
// show controls, dots, zoom).
uint32_t previewOpen(PreviewModel* model, Settings* settings, UndoStore* undo, MemoryDots* dots,
                     bool previewPossible, bool proxies, int32_t imageWidth, int32_t imageHeight,
                     const PaneRect& pane);
// The first preview could not be rendered: the dialog goes on without one.
void previewFailed(PreviewModel* model);

// Controls from Settings and back. Reading keeps the horizon and offset
// exact and truncates every other slider; the whole copies follow.
void controlsFromSettings(PreviewModel* model);
void settingsFromControls(PreviewModel* model);

// The mouse. `id` is the control under the pointer (0 for none); `track` is
// that control's rectangle, used while a slider is dragged.
uint32_t previewButtonDown(PreviewModel* model, int32_t id, const ControlRect& track, int32_t x,
                           int32_t y, bool rightButton, bool ctrlHeld, uint32_t millis);
uint32_t previewMouseMove(PreviewModel* model, int32_t id, int32_t x, int32_t y);
uint32_t previewButtonUp(PreviewModel* model, int32_t x, int32_t y);

// The user typed into an edit box (the view does not call this for text it
// writes itself).
uint32_t previewEditTyped(PreviewModel* model, int32_t editId, const char* text);
uint32_t previewTimerFired(PreviewModel* model);
// A glue list entry chosen, 0-based as the list counts.
uint32_t previewGlueChosen(PreviewModel* model, int32_t index);
// A push button (or OK / Cancel / Escape).
uint32_t previewCommand(PreviewModel* model, int32_t id);
// The colour picker returned 8-bit components.
uint32_t previewColorChosen(PreviewModel* model, uint8_t red, uint8_t green, uint8_t blue);
// The view replaced Settings' look from outside (a loaded preset): show it,
// take the snapshot `undo` asks for, render.
uint32_t previewLookReplaced(PreviewModel* model, UndoKind undo);

// Settings files from the Load and Save buttons. The save dialog starts with
// the look's name ("Lakra settings" when it has none), its extension
// replaced by ".q8r", in the folder last used for settings files.
void presetSaveName(const Settings& settings, char* name, size_t bytes);
// The folder part of a path, separator included (empty without one), into
// `folder`, a field of `bytes`; a folder too long for it leaves it as it was.
void pathFolderInto(const char* path, char* folder, size_t bytes);
// The open dialog's OK on `path`: the folder is remembered, the look is reset
// to its defaults and read from the file, and named after it. A file that
// cannot be read leaves the look as it was and returns 0; *result says why.
uint32_t previewPresetOpened(PreviewModel* model, const char* path, Result* result);
// The save dialog's OK on `path`: the folder is remembered, the file written
// (with the thumbnail the preset hooks give) and its name shown.
uint32_t previewPresetSaved(PreviewModel* model, const char* path, Result* result);

// The zoom: the "%" button's text ("33%" at a reduction of 3), and whether
// "+" and "-" do anything.
void zoomText(int32_t previewScale, char* text, size_t bytes);
bool zoomInEnabled(const PreviewModel& model);
bool zoomOutEnabled(const PreviewModel& model);
// The preview picture's size in pane pixels and its place in the pane,
// centred; the rest of the pane is white.
PaneRect previewPicture(const PreviewModel& model);

// With the pane limited to the image on each side, the larger of
// ceil(height / pane height) and ceil(width / pane width); 1 without proxies.
int32_t largestReduction(bool proxies, int32_t imageWidth, int32_t imageHeight,
                         const PaneRect& pane);

} // namespace lakra
