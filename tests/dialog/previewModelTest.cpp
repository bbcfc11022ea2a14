#include "dialog/previewModel.h"

#include "support/scratchFolder.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace lakra {
namespace {

constexpr PaneRect kPane{20, 30, 300, 200};
constexpr ControlRect kTrack{100, 50, 230, 64}; // a horizontal slider, 130 pixels
constexpr int32_t kBlurSlider = 61;
constexpr int32_t kBlurEdit = 93;

class PreviewDialogModel : public ::testing::Test {
protected:
    void open(int32_t width = 3000, int32_t height = 2000, bool proxies = true) {
        undoInit(&undo);
        memoryDotsReset(&dots);
        effects = previewOpen(&model, &settings, &undo, &dots, true, proxies, width, height, kPane);
    }

    uint32_t drag(int32_t id, int32_t fromX, int32_t toX) {
        previewButtonDown(&model, id, kTrack, fromX, 57, false, false, 0);
        previewMouseMove(&model, id, toX, 57);
        return previewButtonUp(&model, toX, 57);
    }

    std::string zoomShown() const {
        char text[16];
        zoomText(settings.previewScale, text, sizeof text);
        return text;
    }

    PreviewDialogModel() { settingsFresh(&settings); }

    testing::ScratchFolder scratch;
    Settings settings{};
    UndoStore undo{};
    MemoryDots dots{};
    PreviewModel model{};
    uint32_t effects = 0;
};

TEST_F(PreviewDialogModel, ControlTableNamesEverySliderTriple) {
    for (const SliderRow& row : sliderRows()) {
        const ControlInfo* label = controlInfo(row.label);
        const ControlInfo* slider = controlInfo(row.slider);
        const ControlInfo* edit = controlInfo(row.edit);
        ASSERT_TRUE(label != nullptr && slider != nullptr && edit != nullptr) << row.text;
        EXPECT_STREQ(label->text, row.text);
        EXPECT_EQ(label->partner, row.slider);
        EXPECT_EQ(slider->partner, row.edit);
        EXPECT_EQ(edit->partner, row.slider);
        EXPECT_EQ(slider->high, 100);
    }
    EXPECT_EQ(controlInfo(kIdFirstDot + 24)->role, ControlRole::Dot);
    EXPECT_EQ(controlInfo(kIdFirstDot + 25), nullptr);
}

TEST_F(PreviewDialogModel, KnobFollowsThePointerAndStopsAtBothEnds) {
    // x = pointer - 4; value = (x - 101) * 100 / 116, clamped.
    EXPECT_EQ(sliderValueAt(kTrack, 105, 57, 0, 100), 0);
    EXPECT_EQ(sliderValueAt(kTrack, 162, 57, 0, 100), 49);
    EXPECT_EQ(sliderValueAt(kTrack, 5000, 57, 0, 100), 100);
    EXPECT_EQ(sliderValueAt(kTrack, -5000, 57, 0, 100), 0);
    // A track taller than wide runs bottom to top.
    const ControlRect upright{10, 100, 24, 230};
    EXPECT_EQ(sliderValueAt(upright, 17, 105, 0, 100), 100);
    EXPECT_EQ(sliderValueAt(upright, 17, 900, 0, 100), 0);

    open();
    EXPECT_EQ(drag(kBlurSlider, 150, 9999) & kRenderPreview, kRenderPreview);
    EXPECT_EQ(settings.blur, 100);
    drag(kBlurSlider, 150, -9999);
    EXPECT_EQ(settings.blur, 0);
}

TEST_F(PreviewDialogModel, TypingArmsTheTimerAndOnlyTheTimerRefreshes) {
    open();
    const uint32_t typed = previewEditTyped(&model, kBlurEdit, "250");
    EXPECT_EQ(typed & (kArmTimer | kMoveSlider), kArmTimer | kMoveSlider);
    EXPECT_EQ(typed & (kRenderPreview | kShowSliders), 0u); // the typed text stays as typed
    EXPECT_EQ(model.values[sliderIndexOf(kBlurEdit)], 100.0f);
    EXPECT_NE(settings.blur, 100);
    EXPECT_EQ(previewTimerFired(&model) & kRenderPreview, kRenderPreview);
    EXPECT_EQ(settings.blur, 100);
    EXPECT_EQ(previewTimerFired(&model) & kRenderPreview, 0u);
    // Text that is no number reads as 0; a fraction survives for the horizon only.
    previewEditTyped(&model, 86, "37.5");
    previewEditTyped(&model, 85, "abc");
    previewTimerFired(&model);
    EXPECT_EQ(settings.horizonFloat, 37.5f);
    EXPECT_EQ(settings.horizon, 37);
    EXPECT_EQ(settings.perspective, 0);
    char text[16];
    formatEditValue(37.5f, text, sizeof text);
    EXPECT_STREQ(text, "37.5");
    // A command's own writes disarm the timer.
    previewEditTyped(&model, kBlurEdit, "12");
    previewCommand(&model, kIdNextGlue);
    EXPECT_FALSE(model.timerArmed);
    EXPECT_EQ(settings.blur, 12);
}

TEST_F(PreviewDialogModel, CancelRestoresEveryFieldOkKeepsTheEdits) {
    Settings opened = settings;
    opened.renderTarget = RenderTarget::Preview;
    open();
    drag(kBlurSlider, 150, 170);
    previewColorChosen(&model, 10, 20, 30);
    EXPECT_EQ(settings.waterGreen, 20 * 256);
    previewCommand(&model, kIdDice);
    previewGlueChosen(&model, 40);
    EXPECT_EQ(settings.glue, 41);
    EXPECT_EQ(previewCommand(&model, kIdCancel) & kEndCancelled, kEndCancelled);
    // Every byte, padding and view state included.
    EXPECT_EQ(std::memcmp(static_cast<const void*>(&settings), static_cast<const void*>(&opened),
                          sizeof settings),
              0);

    settingsFresh(&settings);
    open();
    previewEditTyped(&model, kBlurEdit, "7");
    EXPECT_EQ(previewCommand(&model, kIdOk) & kEndConfirmed, kEndConfirmed);
    EXPECT_EQ(settings.blur, 7);
}

TEST_F(PreviewDialogModel, GlueStepWrapsAndResetNamesThePlainLook) {
    open();
    previewGlueChosen(&model, kGlueCount - 1);
    previewCommand(&model, kIdNextGlue);
    EXPECT_EQ(settings.glue, 1);
    drag(kBlurSlider, 150, 9999);
    previewCommand(&model, kIdReset);
    EXPECT_STREQ(settings.dotName, kPlainSettingsName);
    Settings plain{};
    settingsFresh(&plain);
    EXPECT_EQ(settings.blur, plain.blur);
    // Undo toggles between the last two states.
    previewCommand(&model, kIdUndo);
    EXPECT_EQ(settings.blur, 100);
    previewCommand(&model, kIdUndo);
    EXPECT_EQ(settings.blur, plain.blur);
}

TEST_F(PreviewDialogModel, ZoomKeepsTheCentreAndClampsThePan) {
    open(3000, 2000);
    EXPECT_EQ(model.largestReduction, 10); // max(ceil(3000 / 300), ceil(2000 / 200))
    EXPECT_EQ(settings.previewScale, 10);
    EXPECT_EQ(zoomShown(), "10%");
    EXPECT_FALSE(zoomOutEnabled(model));
    previewCommand(&model, kIdZoomActual);
    EXPECT_EQ(settings.previewScale, 1);
    EXPECT_EQ(settings.panX, 1500 - 150);
    EXPECT_EQ(settings.panY, 1000 - 100);
    EXPECT_FALSE(zoomInEnabled(model));
    for (int i = 0; i < 2; ++i) {
        previewCommand(&model, kIdZoomOut);
    }
    EXPECT_EQ(zoomShown(), "33%");
    EXPECT_EQ(settings.panX + 450, 1500); // centre kept: 900 wide at scale 3
    // Dragging the picture pans it, within the image.
    previewButtonDown(&model, kIdPane, {}, 100, 100, false, false, 0);
    previewMouseMove(&model, kIdPane, 5000, 100);
    EXPECT_EQ(settings.panX, 0);
    previewMouseMove(&model, kIdPane, -5000, -5000);
    EXPECT_EQ(settings.panX, 3000 - 900);
    EXPECT_EQ(settings.panY, 2000 - 600);
    // A release after a drag does not move the ripple centre.
    const float centre = settings.xCenter;
    previewButtonUp(&model, 0, 0);
    EXPECT_EQ(settings.xCenter, centre);
    // Back at the largest reduction the pan is gone.
    for (int i = 0; i < 10; ++i) {
        previewCommand(&model, kIdZoomOut);
    }
    EXPECT_EQ(settings.previewScale, 10);
    EXPECT_EQ(settings.panX, 0);

    // A host without proxies: one scale, zoom buttons do nothing.
    settings.previewScale = 1;
    open(3000, 2000, false);
    EXPECT_EQ(settings.previewScale, 1);
    EXPECT_EQ(previewCommand(&model, kIdZoomOut), 0u);
}

TEST_F(PreviewDialogModel, PaneClickPlacesTheRippleCentre) {
    open(3000, 2000);
    const PaneRect picture = previewPicture(model);
    EXPECT_EQ(picture.width, 300);
    const int32_t midX = picture.left + picture.width / 2;
    const int32_t midY = picture.top + picture.height / 2;
    // At the largest reduction on the press itself.
    EXPECT_EQ(previewButtonDown(&model, kIdPane, {}, midX, midY, false, false, 0) & kRenderPreview,
              kRenderPreview);
    EXPECT_NEAR(settings.xCenter, 0.5, 0.01);
    EXPECT_NEAR(settings.yCenter, 0.5, 0.01);
    // Closer, on a release without movement, counted from the pan.
    previewCommand(&model, kIdZoomActual);
    previewButtonDown(&model, kIdPane, {}, kPane.left, kPane.top, true, false, 0);
    EXPECT_EQ(settings.xCenter, 0.5f);
    previewButtonUp(&model, kPane.left, kPane.top);
    EXPECT_NEAR(settings.xCenter, 1350.0 / 3000, 1e-6);
    EXPECT_NEAR(settings.yCenter, 900.0 / 2000, 1e-6);
}

TEST_F(PreviewDialogModel, MemoryDotClicksReachTheDots) {
    open();
    EXPECT_EQ(dots.shown[0], DotDisplay::Current);                        // the incoming look
    previewButtonDown(&model, kIdFirstDot + 4, {}, 0, 0, false, true, 0); // Ctrl: not kept
    EXPECT_EQ(dots.shown[4], DotDisplay::Current);
    EXPECT_EQ(dots.kept[4], 0);
    drag(kBlurSlider, 150, 9999);
    const uint32_t recalled = previewButtonDown(&model, kIdFirstDot + 4, {}, 0, 0, false, false, 0);
    EXPECT_EQ(recalled & (kShowSliders | kRenderPreview), kShowSliders | kRenderPreview);
    EXPECT_STREQ(settings.dotName, "dot 5");
    EXPECT_NE(model.values[sliderIndexOf(kBlurSlider)], 100.0f);
    previewButtonDown(&model, kIdFirstDot + 4, {}, 0, 0, true, false, 0);
    EXPECT_EQ(dots.shown[4], DotDisplay::Empty);
    EXPECT_EQ(dots.previewed, -1);
    // The large cell: right button asks for the page, Ctrl for the batch re-save.
    EXPECT_EQ(previewButtonDown(&model, kIdDotCell, {}, 0, 0, true, false, 0), kAskMemoryDotsPage);
    EXPECT_EQ(previewButtonDown(&model, kIdDotCell, {}, 0, 0, false, true, 0), kAskBatchResave);
}

TEST_F(PreviewDialogModel, SettingsFilesSaveAndOpenThroughTheModel) {
    char name[64];
    settings.dotName[0] = '\0';
    presetSaveName(settings, name, sizeof name);
    EXPECT_STREQ(name, "Lakra settings.q8r");
    setDotName(&settings, "harbour.old.q8r");
    presetSaveName(settings, name, sizeof name);
    EXPECT_STREQ(name, "harbour.old.q8r");

    open();
    drag(kBlurSlider, 150, 170);
    const int32_t savedBlur = settings.blur;
    const std::string path = scratch.path() + "calm.q8r";
    Result result = -1;
    EXPECT_EQ(previewPresetSaved(&model, path.c_str(), &result) & kShowStatus, kShowStatus);
    EXPECT_EQ(result, noErr);
    EXPECT_STREQ(settings.dotName, "calm.q8r");
    EXPECT_EQ(std::string(settings.presetsFolder), scratch.path());

    // Opening resets the look first: fields the file holds come back, the
    // rest is the default look, and the status names the file.
    previewCommand(&model, kIdDice);
    settings.presetsFolder[0] = '\0';
    const uint32_t opened = previewPresetOpened(&model, path.c_str(), &result);
    EXPECT_EQ(result, noErr);
    EXPECT_NE(opened & kShowSliders, 0u);
    EXPECT_NE(opened & kRenderPreview, 0u);
    EXPECT_EQ(settings.blur, savedBlur);
    EXPECT_STREQ(settings.dotName, "calm.q8r");
    EXPECT_EQ(std::string(settings.presetsFolder), scratch.path());

    // A file that cannot be read changes nothing.
    const Settings before = settings;
    EXPECT_EQ(previewPresetOpened(&model, (scratch.path() + "missing.q8r").c_str(), &result), 0u);
    EXPECT_NE(result, noErr);
    EXPECT_EQ(settings.blur, before.blur);
    EXPECT_STREQ(settings.dotName, before.dotName);
}

} // namespace
} // namespace lakra
