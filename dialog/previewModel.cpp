#include "dialog/previewModel.h"

#include "files/files.h"
#include "presets/presetFile.h"
#include "presets/randomLook.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lakra {

namespace {

using enum ControlRole;
using enum UndoKind;

constexpr int16_t kNone = 0;

constexpr ControlInfo kControls[] = {
    {3, Confirm, kNone, 0, 0, 0, None, "&OK"},
    {2, Cancel, kNone, 0, 0, 0, None, "&Cancel"},
    {18, Pane, kNone, 0, 0, 0, Look, ""},
    {36, Label, 37, 0, 0, 0, None, "Horizon"},
    {37, Slider, 86, 0, 100, 0, Look, ""},
    {86, Edit, 37, 0, 100, 0, Look, ""},
    {38, Label, 39, 0, 0, 0, None, "Perspective"},
    {39, Slider, 85, 0, 100, 0, Look, ""},
    {85, Edit, 39, 0, 100, 0, Look, ""},
    {56, Label, 57, 0, 0, 0, None, "Offset"},
    {57, Slider, 91, 0, 100, 0, Look, ""},
    {91, Edit, 57, 0, 100, 0, Look, ""},
    {102, Label, 103, 0, 0, 0, None, "Altitude"},
    {103, Slider, 104, 0, 100, 0, Look, ""},
    {104, Edit, 103, 0, 100, 0, Look, ""},
    {58, Label, 59, 0, 0, 0, None, "Waviness"},
    {59, Slider, 92, 0, 100, 0, Look, ""},
    {92, Edit, 59, 0, 100, 0, Look, ""},
    {62, Label, 63, 0, 0, 0, None, "Complexity"},
    {63, Slider, 94, 0, 100, 0, Look, ""},
    {94, Edit, 63, 0, 100, 0, Look, ""},
    {64, Label, 65, 0, 0, 0, None, "Brilliance"},
    {65, Slider, 81, 0, 100, 0, Look, ""},
    {81, Edit, 65, 0, 100, 0, Look, ""},
    {60, Label, 61, 0, 0, 0, None, "Blur"},
    {61, Slider, 93, 0, 100, 0, Look, ""},
    {93, Edit, 61, 0, 100, 0, Look, ""},
    {54, Label, 55, 0, 0, 0, None, "Size"},
    {55, Slider, 90, 0, 100, 0, Look, ""},
    {90, Edit, 55, 0, 100, 0, Look, ""},
    {22, Label, 12, 0, 0, 0, None, "Height"},
    {12, Slider, 79, 0, 100, 0, Look, ""},
    {79, Edit, 12, 0, 100, 0, Look, ""},
    {50, Label, 51, 0, 0, 0, None, "Undulation"},
    {51, Slider, 83, 0, 100, 0, Look, ""},
    {83, Edit, 51, 0, 100, 0, Look, ""},
    {70, Label, 73, 0, 0, 0, None, "Glue"},
    {73, GlueList, 70, 1, kGlueCount, 0, Look, ""},
    {21, Command, kNone, 0, 0, 188, Look, "N"},
    {7, Command, kNone, 0, 0, 0, Look, "&clr"},
    {72, Command, kNone, 0, 0, 184, Look, "&Dice"},
    {75, Command, kNone, 0, 0, 164, Look, "&Ecce"},
    {35, Command, kNone, 0, 0, 185, WithFile, "&Load"},
    {26, Command, kNone, 0, 0, 186, None, "&Save"},
    {98, Command, kNone, 0, 0, 225, Look, "Reset"},
    {74, Command, kNone, 0, 0, 187, None, "Undo"},
    {69, Command, kNone, 0, 0, 234, None, "PSD"},
    {40, Command, kNone, 0, 0, 235, None, "Page"},
    {33, Command, kNone, 0, 0, 169, None, "-"},
    {32, Command, kNone, 0, 0, 5, None, "+"},
    {34, Command, kNone, 0, 0, 0, None, "%"},
    {27, Command, kNone, 0, 0, 236, None, "i"},
    {25, Command, kNone, 0, 0, 0, None, ""},
    {76, Status, kNone, 0, 0, 0, None, ""},
    {119, DotCell, kNone, 0, 0, 0, WithFile, ""},
};

// The 25 memory dots share one row.
constexpr ControlInfo kDotControl{kIdFirstDot, Dot, kNone, 0, kMemoryDotCount - 1, 0, WithFile, ""};

constexpr SliderRow kSliders[kSliderCount] = {
    {36, 37, 86, "Horizon", &Settings::horizonFloat, &Settings::horizon},
    {38, 39, 85, "Perspective", nullptr, &Settings::perspective},
    {56, 57, 91, "Offset", &Settings::offsetFloat, &Settings::offset},
    {102, 103, 104, "Altitude", nullptr, &Settings::altitude},
    {58, 59, 92, "Waviness", nullptr, &Settings::waviness},
    {62, 63, 94, "Complexity", nullptr, &Settings::complexity},
    {64, 65, 81, "Brilliance", nullptr, &Settings::brilliance},
    {60, 61, 93, "Blur", nullptr, &Settings::blur},
    {54, 55, 90, "Size", nullptr, &Settings::rippleSize},
    {22, 12, 79, "Height", nullptr, &Settings::rippleHeight},
    {50, 51, 83, "Undulation", nullptr, &Settings::undulation},
};

constexpr int32_t kSliderLow = 0;
constexpr int32_t kSliderHigh = 100;

int32_t scaleOf(const PreviewModel& model) {
    return std::max(1, model.settings->previewScale);
}

bool atLargestReduction(const PreviewModel& model) {
    return scaleOf(model) >= model.largestReduction;
}

// The image pixels the pane shows along one side at the current scale.
int32_t visibleExtent(int32_t image, int32_t pane, int32_t scale) {
    return static_cast<int32_t>(std::min<int64_t>(image, static_cast<int64_t>(pane) * scale));
}

void clampPan(PreviewModel* model) {
    Settings& s = *model->settings;
    const int32_t scale = scaleOf(*model);
    const int32_t maxX =
        std::max(0, model->imageWidth - visibleExtent(model->imageWidth, model->pane.width, scale));
    const int32_t maxY = std::max(
        0, model->imageHeight - visibleExtent(model->imageHeight, model->pane.height, scale));
    s.panX = std::clamp(s.panX, 0, maxX);
    s.panY = std::clamp(s.panY, 0, maxY);
}

// A new scale with the image point at the view's centre kept there.
void zoomTo(PreviewModel* model, int32_t scale) {
    Settings& s = *model->settings;
    const int32_t old = scaleOf(*model);
    const int64_t centreX = s.panX + visibleExtent(model->imageWidth, model->pane.width, old) / 2;
    const int64_t centreY = s.panY + visibleExtent(model->imageHeight, model->pane.height, old) / 2;
    s.previewScale = scale;
    const int64_t panX = centreX - visibleExtent(model->imageWidth, model->pane.width, scale) / 2;
    const int64_t panY = centreY - visibleExtent(model->imageHeight, model->pane.height, scale) / 2;
    s.panX = static_cast<int32_t>(std::clamp<int64_t>(panX, 0, model->imageWidth));
    s.panY = static_cast<int32_t>(std::clamp<int64_t>(panY, 0, model->imageHeight));
    clampPan(model);
}

uint32_t snapshot(PreviewModel* model, UndoKind kind) {
    if (kind != None && model->undo != nullptr) {
        (void)undoSnapshot(model->undo, model->settings, kind == WithFile);
    }
    return 0;
}

// After something changed Settings' look: show it, read it back, keep the
// undo snapshot and render at once.
uint32_t lookChangedTo(PreviewModel* model, UndoKind kind) {
    controlsFromSettings(model);
    settingsFromControls(model);
    snapshot(model, kind);
    model->lookChanged = true;
    model->timerArmed = false;
    return kShowSliders | kShowStatus | kStopTimer | kRenderPreview;
}

// A click on the pane that places the ripple centre.
uint32_t placeCentre(PreviewModel* model, int32_t x, int32_t y) {
    Settings& s = *model->settings;
    const PaneRect picture = previewPicture(*model);
    const int32_t scale = scaleOf(*model);
    const double imageX = static_cast<double>(x - picture.left) * scale + s.panX;
    const double imageY = static_cast<double>(y - picture.top) * scale + s.panY;
    s.xCenter = static_cast<float>(imageX / std::max(1, model->imageWidth));
    s.yCenter = static_cast<float>(imageY / std::max(1, model->imageHeight));
    snapshot(model, Look);
    model->lookChanged = true;
    model->timerArmed = false;
    return kStopTimer | kRenderPreview;
}

uint32_t dotAction(PreviewModel* model, DotAction action) {
    switch (action) {
    case DotAction::Recalled:
        return lookChangedTo(model, WithFile) | kShowDots;
    case DotAction::SaveGalleryPage:
        return kAskMemoryDotsPage;
    case DotAction::BatchResave:
        return kAskBatchResave;
    case DotAction::None:
        return 0;
    default:
        return kShowDots;
    }
}

uint32_t zoomEffects(PreviewModel* model) {
    model->timerArmed = false;
    return kShowZoom | kStopTimer | kRenderPreview;
}

} // namespace

std::span<const ControlInfo> controlTable() {
    return kControls;
}

const ControlInfo* controlInfo(int32_t id) {
    if (id >= kIdFirstDot && id < kIdFirstDot + kMemoryDotCount) {
        return &kDotControl;
    }
    for (const ControlInfo& control : kControls) {
        if (control.id == id) {
            return &control;
        }
    }
    return nullptr;
}

std::span<const SliderRow> sliderRows() {
    return kSliders;
}

int32_t sliderIndexOf(int32_t id) {
    for (int32_t i = 0; i < kSliderCount; ++i) {
        const SliderRow& row = kSliders[i];
        if (row.label == id || row.slider == id || row.edit == id) {
            return i;
        }
    }
    return -1;
}

int32_t sliderValueAt(const ControlRect& track, int32_t pointerX, int32_t pointerY, int32_t low,
                      int32_t high) {
    const int64_t range = std::max(1, high - low);
    int64_t value = 0;
    if (track.bottom - track.top > track.right - track.left) {
        const int64_t span = std::max(1, track.bottom - (track.top + 1) - 11);
        value = high - (static_cast<int64_t>(pointerY - 4) - (track.top + 1)) * range / span;
    } else {
        const int64_t span = std::max(1, track.right - (track.left + 1) - 13);
        value = (static_cast<int64_t>(pointerX - 4) - (track.left + 1)) * range / span + low;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(value, low, high));
}

float editValue(const char* text, int32_t low, int32_t high) {
    const double value = text == nullptr ? 0.0 : std::atof(text);
    // NaN compares false both ways and would pass a clamp untouched.
    if (!(value == value)) {
        return static_cast<float>(low);
    }
    return static_cast<float>(std::clamp<double>(value, low, high));
}

void formatEditValue(float value, char* text, size_t bytes) {
    if (text != nullptr && bytes > 0) {
        (void)std::snprintf(text, bytes, "%g", static_cast<double>(value));
    }
}

int32_t largestReduction(bool proxies, int32_t imageWidth, int32_t imageHeight,
                         const PaneRect& pane) {
    if (!proxies || imageWidth < 1 || imageHeight < 1 || pane.width < 1 || pane.height < 1) {
        return 1;
    }
    const int32_t paneWidth = std::min(pane.width, imageWidth);
    const int32_t paneHeight = std::min(pane.height, imageHeight);
    const int32_t across = (imageWidth + paneWidth - 1) / paneWidth;
    const int32_t down = (imageHeight + paneHeight - 1) / paneHeight;
    return std::max(across, down);
}

PaneRect previewPicture(const PreviewModel& model) {
    const int32_t scale = scaleOf(model);
    const int32_t width = std::min(model.pane.width, (model.imageWidth + scale - 1) / scale);
    const int32_t height = std::min(model.pane.height, (model.imageHeight + scale - 1) / scale);
    return PaneRect{model.pane.left + (model.pane.width - width) / 2,
                    model.pane.top + (model.pane.height - height) / 2, width, height};
}

void controlsFromSettings(PreviewModel* model) {
    const Settings& s = *model->settings;
    for (int32_t i = 0; i < kSliderCount; ++i) {
        const SliderRow& row = kSliders[i];
        const float value = row.exact != nullptr ? s.*row.exact : static_cast<float>(s.*row.whole);
        model->values[i] =
            std::clamp(value, static_cast<float>(kSliderLow), static_cast<float>(kSliderHigh));
    }
    model->glue = std::clamp(s.glue, 1, kGlueCount);
    model->waterColor[0] = s.waterRed;
    model->waterColor[1] = s.waterGreen;
    model->waterColor[2] = s.waterBlue;
    // Writing the edits from code never schedules a refresh.
    model->timerArmed = false;
}

void settingsFromControls(PreviewModel* model) {
    Settings& s = *model->settings;
    for (int32_t i = 0; i < kSliderCount; ++i) {
        const SliderRow& row = kSliders[i];
        if (row.exact != nullptr) {
            s.*row.exact = model->values[i];
        }
        s.*row.whole = static_cast<int32_t>(model->values[i]);
    }
    s.glue = model->glue;
    s.waterRed = model->waterColor[0];
    s.waterGreen = model->waterColor[1];
    s.waterBlue = model->waterColor[2];
}

uint32_t previewOpen(PreviewModel* model, Settings* settings, UndoStore* undo, MemoryDots* dots,
                     bool previewPossible, bool proxies, int32_t imageWidth, int32_t imageHeight,
                     const PaneRect& pane) {
    *model = PreviewModel{};
    model->settings = settings;
    model->undo = undo;
    model->dots = dots;
    model->captured = -1;
    settings->renderTarget = RenderTarget::Preview;
    model->openedWith = *settings;
    model->previewPossible = previewPossible;
    model->proxies = proxies;
    model->imageWidth = imageWidth;
    model->imageHeight = imageHeight;
    model->pane = pane;
    controlsFromSettings(model);
    settingsFromControls(model);
    snapshot(model, WithFile);
    uint32_t effects = kShowSliders | kShowStatus | kShowZoom;
    model->largestReduction = largestReduction(proxies, imageWidth, imageHeight, pane);
    if (previewPossible) {
        settings->previewScale = model->largestReduction;
        settings->panX = 0;
        settings->panY = 0;
        effects |= kRenderPreview;
    }
    if (dots != nullptr) {
        (void)memoryDotsOpen(dots, settings);
        effects |= kShowDots;
    }
    return effects;
}

void previewFailed(PreviewModel* model) {
    model->previewPossible = false;
}

uint32_t previewButtonDown(PreviewModel* model, int32_t id, const ControlRect& track, int32_t x,
                           int32_t y, bool rightButton, bool ctrlHeld, uint32_t millis) {
    const ControlInfo* control = controlInfo(id);
    if (control == nullptr || model->captured >= 0) {
        return 0;
    }
    model->rightButton = rightButton;
    model->ctrlHeld = ctrlHeld;
    switch (control->role) {
    case Slider: {
        model->captured = id;
        model->capturedRect = track;
        model->captureMillis = millis;
        model->mouseMoved = false;
        model->lastX = x;
        model->lastY = y;
        // The knob jumps to the pointer at once.
        const int32_t index = sliderIndexOf(id);
        model->values[index] =
            static_cast<float>(sliderValueAt(track, x, y, kSliderLow, kSliderHigh));
        return kCaptureMouse | kShowSlider;
    }
    case Pane:
        if (!model->previewPossible) {
            return 0;
        }
        settingsFromControls(model);
        if (atLargestReduction(*model)) {
            return placeCentre(model, x, y);
        }
        model->captured = id;
        model->captureMillis = millis;
        model->mouseMoved = false;
        model->lastX = x;
        model->lastY = y;
        return kCaptureMouse;
    case Dot:
        if (model->dots == nullptr) {
            return 0;
        }
        settingsFromControls(model);
        return dotAction(model, memoryDotClick(model->dots, id - kIdFirstDot, rightButton, ctrlHeld,
                                               model->settings));
    case DotCell:
        if (model->dots == nullptr) {
            return 0;
        }
        settingsFromControls(model);
        return dotAction(model,
                         memoryDotCellClick(model->dots, rightButton, ctrlHeld, model->settings));
    default:
        return 0;
    }
}

uint32_t previewMouseMove(PreviewModel* model, int32_t id, int32_t x, int32_t y) {
    if (model->captured < 0) {
        if (model->dots == nullptr) {
            return 0;
        }
        const bool overDot = id >= kIdFirstDot && id < kIdFirstDot + kMemoryDotCount;
        memoryDotHover(model->dots, overDot ? id - kIdFirstDot : -1);
        return model->dots->dirty != 0 ? kShowDots : 0;
    }
    if (x == model->lastX && y == model->lastY) {
        return 0;
    }
    const int32_t dx = x - model->lastX;
    const int32_t dy = y - model->lastY;
    model->lastX = x;
    model->lastY = y;
    if (model->captured == kIdPane) {
        Settings& s = *model->settings;
        const int32_t scale = scaleOf(*model);
        s.panX -= dx * scale;
        s.panY -= dy * scale;
        clampPan(model);
        model->mouseMoved = true;
        return kRenderPreview;
    }
    model->mouseMoved = true;
    const int32_t index = sliderIndexOf(model->captured);
    model->values[index] =
        static_cast<float>(sliderValueAt(model->capturedRect, x, y, kSliderLow, kSliderHigh));
    return kShowSlider;
}

uint32_t previewButtonUp(PreviewModel* model, int32_t x, int32_t y) {
    const int32_t captured = model->captured;
    if (captured < 0) {
        return 0;
    }
    model->captured = -1;
    model->timerArmed = false;
    if (captured == kIdPane) {
        if (!model->mouseMoved) {
            return kReleaseMouse | placeCentre(model, x, y);
        }
        return kReleaseMouse | kStopTimer;
    }
    settingsFromControls(model);
    snapshot(model, Look);
    model->lookChanged = true;
    return kReleaseMouse | kStopTimer | kRenderPreview;
}

uint32_t previewEditTyped(PreviewModel* model, int32_t editId, const char* text) {
    const int32_t index = sliderIndexOf(editId);
    if (index < 0 || kSliders[index].edit != editId) {
        return 0;
    }
    model->values[index] = editValue(text, kSliderLow, kSliderHigh);
    model->timerArmed = true;
    return kMoveSlider | kArmTimer;
}

uint32_t previewTimerFired(PreviewModel* model) {
    if (!model->timerArmed) {
        return kStopTimer;
    }
    model->timerArmed = false;
    settingsFromControls(model);
    snapshot(model, Look);
    model->lookChanged = true;
    return kStopTimer | kRenderPreview;
}

uint32_t previewGlueChosen(PreviewModel* model, int32_t index) {
    if (index < 0 || index >= kGlueCount) {
        return 0;
    }
    settingsFromControls(model);
    model->settings->glue = index + 1;
    return lookChangedTo(model, Look);
}

uint32_t previewColorChosen(PreviewModel* model, uint8_t red, uint8_t green, uint8_t blue) {
    settingsFromControls(model);
    Settings& s = *model->settings;
    s.waterRed = static_cast<uint16_t>(red * 256);
    s.waterGreen = static_cast<uint16_t>(green * 256);
    s.waterBlue = static_cast<uint16_t>(blue * 256);
    return lookChangedTo(model, Look);
}

uint32_t previewLookReplaced(PreviewModel* model, UndoKind undo) {
    return lookChangedTo(model, undo);
}

uint32_t previewCommand(PreviewModel* model, int32_t id) {
    Settings* s = model->settings;
    switch (id) {
    case kIdOk:
        model->timerArmed = false;
        settingsFromControls(model);
        return kStopTimer | kEndConfirmed;
    case kIdCancel:
        model->timerArmed = false;
        *s = model->openedWith;
        return kStopTimer | kEndCancelled;
    case kIdNextGlue:
        settingsFromControls(model);
        stepGlue(s);
        return lookChangedTo(model, Look);
    case kIdDice:
        settingsFromControls(model);
        diceLook(s);
        return lookChangedTo(model, Look);
    case kIdEcce:
        settingsFromControls(model);
        ecceSeed(s);
        return lookChangedTo(model, Look);
    case kIdReset:
        settingsFromControls(model);
        settingsReset(s);
        setDotName(s, kPlainSettingsName);
        return lookChangedTo(model, Look);
    case kIdUndo:
        settingsFromControls(model);
        if (model->undo == nullptr || !undoStep(model->undo, s)) {
            return 0;
        }
        return lookChangedTo(model, None);
    case kIdZoomOut:
        if (!zoomOutEnabled(*model)) {
            return 0;
        }
        zoomTo(model, scaleOf(*model) + 1);
        if (atLargestReduction(*model)) {
            s->panX = 0;
            s->panY = 0;
        }
        return zoomEffects(model);
    case kIdZoomIn:
        if (!zoomInEnabled(*model)) {
            return 0;
        }
        zoomTo(model, scaleOf(*model) - 1);
        return zoomEffects(model);
    case kIdZoomActual:
        if (!model->previewPossible || !model->proxies) {
            return 0;
        }
        zoomTo(model, 1);
        return zoomEffects(model);
    case kIdWaterColor:
        settingsFromControls(model);
        return kAskColor;
    case kIdLoad:
        settingsFromControls(model);
        return kAskLoadPreset;
    case kIdSave:
        settingsFromControls(model);
        return kAskSavePreset;
    case kIdPsdExport:
        settingsFromControls(model);
        return kAskPsdExport;
    case kIdGalleryPage:
        settingsFromControls(model);
        return kAskGalleryPage;
    case kIdInformation:
        return kAskInformation;
    case kIdAbout:
        return kAskAbout;
    default:
        return 0;
    }
}

void zoomText(int32_t previewScale, char* text, size_t bytes) {
    if (text != nullptr && bytes > 0) {
        (void)std::snprintf(text, bytes, "%d%%", 100 / std::max(1, previewScale));
    }
}

bool zoomInEnabled(const PreviewModel& model) {
    return model.previewPossible && model.proxies && scaleOf(model) > 1;
}

bool zoomOutEnabled(const PreviewModel& model) {
    return model.previewPossible && model.proxies && scaleOf(model) < model.largestReduction;
}

void pathFolderInto(const char* path, char* folder, size_t bytes) {
    const char* last = nullptr;
    for (const char* at = path; *at != '\0'; ++at) {
        if (*at == '/' || *at == '\\') {
            last = at;
        }
    }
    const size_t length = last != nullptr ? static_cast<size_t>(last - path) + 1 : 0;
    if (length < bytes) {
        std::memcpy(folder, path, length);
        folder[length] = '\0';
    }
}

void presetSaveName(const Settings& settings, char* name, size_t bytes) {
    if (bytes == 0) {
        return;
    }
    const char* base = settings.dotName[0] != '\0' ? settings.dotName : "Lakra settings";
    size_t length = std::strlen(base);
    const char* dot = std::strrchr(base, '.');
    if (dot != nullptr && dot != base) {
        length = static_cast<size_t>(dot - base);
    }
    (void)std::snprintf(name, bytes, "%.*s.q8r", static_cast<int>(length), base);
}

uint32_t previewPresetOpened(PreviewModel* model, const char* path, Result* result) {
    Settings* s = model->settings;
    pathFolderInto(path, s->presetsFolder, sizeof s->presetsFolder);
    FileSpec fileSpec{};
    fileSpecFromPath(&fileSpec, path);
    // Read into a copy first, so a file that cannot be read changes nothing.
    Settings read = *s;
    settingsReset(&read);
    *result = presetRead(fileSpec, PresetReadMode::Full, &read);
    if (*result != noErr) {
        return 0;
    }
    std::memcpy(read.presetsFolder, s->presetsFolder, sizeof read.presetsFolder);
    *s = read;
    setDotName(s, fileSpecName(fileSpec));
    return previewLookReplaced(model, UndoKind::WithFile) | kShowStatus;
}

uint32_t previewPresetSaved(PreviewModel* model, const char* path, Result* result) {
    Settings* s = model->settings;
    settingsFromControls(model);
    pathFolderInto(path, s->presetsFolder, sizeof s->presetsFolder);
    FileSpec fileSpec{};
    fileSpecFromPath(&fileSpec, path);
    *result = presetWrite(fileSpec, s);
    if (*result != noErr) {
        return 0;
    }
    setDotName(s, fileSpecName(fileSpec));
    return kShowStatus;
}

} // namespace lakra
