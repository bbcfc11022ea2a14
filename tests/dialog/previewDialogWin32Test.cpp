// The real preview dialog on Windows, driven by the messages a user's mouse
// and keyboard make: a knob dragged past the end of its track, a value typed
// into an edit box, a glue chosen from the list, a memory dot clicked, then OK
// or Escape. A thread timer plays the steps inside the dialog's own loop.
#ifdef _WIN32

#include "dialog/dialogRun.h"
#include "dialog/previewModel.h"
#include "files/files.h"
#include "host/ui.h"
#include "platform/platform.h"
#include "resources/resource.h"

#include <cstring>
#include <string>
#include <vector>

namespace lakra {
namespace {

using namespace lakra::testing; // the dialog script and run

int rowOf(const char* label) {
    for (const SliderRow& row : sliderRows()) {
        if (std::strcmp(row.text, label) == 0) {
            return sliderIndexOf(row.slider);
        }
    }
    return -1;
}

std::string editText(HWND dialog, const char* label) {
    char text[32] = "";
    GetDlgItemTextA(dialog, sliderRows()[rowOf(label)].edit, text, sizeof text);
    return text;
}

// Press on a slider's knob area, move far past the track's right end, release.
Step dragPastRightEnd(const char* label) {
    return [label](HWND dialog) {
        const int slider = sliderRows()[rowOf(label)].slider;
        POINT p = centreOf(dialog, slider);
        SendMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, at(p));
        p.x += 2000;
        SendMessageA(dialog, WM_MOUSEMOVE, MK_LBUTTON, at(p));
        SendMessageA(dialog, WM_LBUTTONUP, 0, at(p));
        return true;
    };
}

// Focus in the edit box, its text selected and typed over, key by key.
Step typeInto(const char* label, const char* keys) {
    return typeInEdit(sliderRows()[rowOf(label)].edit, keys);
}

Step chooseGlue(int glue) {
    return [glue](HWND dialog) {
        HWND list = GetDlgItem(dialog, kIdGlueList);
        SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(glue - 1), 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kIdGlueList, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        return true;
    };
}

using PreviewDialogWindow = PreviewDialogRun;

TEST_F(PreviewDialogWindow, UsersInputShapesTheLookThatOkRenders) {
    bool sawBlur = false;
    gScript.steps = {
        dragPastRightEnd("Blur"),
        check([&](HWND dialog) { sawBlur = editText(dialog, "Blur") == "100"; }),
        typeInto("Perspective", "250"),
        pause(1500),
        chooseGlue(9),
        clickControl(kIdFirstDot + 3),
        pressButton(kIdOk),
    };
    PluginRun run(&image, displayed());
    ASSERT_EQ(play(&run), noErr);
    EXPECT_TRUE(sawBlur);
    EXPECT_GT(hostRunDisplayed(run.host).calls, 0);

    Settings look{};
    settingsFresh(&look);
    look.blur = 100;
    look.perspective = 100;
    look.glue = 9;
    EXPECT_EQ(image.output, testing::directRender(image, look));

    // The clicked dot holds the look, with a thumbnail of the pane.
    FileSpec dot{};
    ASSERT_EQ(memoryDotFileSpec(3, &dot), noErr);
    EXPECT_TRUE(fileExists(dot));
}

TEST_F(PreviewDialogWindow, CancelAfterEditsLeavesTheImageAlone) {
    gScript.steps = {
        dragPastRightEnd("Waviness"),
        chooseGlue(30),
        pressButton(kIdCancel),
    };
    EXPECT_EQ(play(), userCanceledErr);
    EXPECT_EQ(image.output, image.input);
}

TEST_F(PreviewDialogWindow, InformationBoxStaysBesideTheDialogUntilItEnds) {
    HWND box = nullptr;
    gScript.steps = {
        pressButton(kIdInformation),
        [&](HWND) {
            box = FindWindowA("#32770", "Lakra: how it works");
            return box != nullptr;
        },
        pressButton(kIdOk),
    };
    EXPECT_EQ(play(), noErr);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(IsWindow(box)); // OK closed it with the dialog
}

// The colour button asks the host's colour picker when the host offers one.
TEST_F(PreviewDialogWindow, ColourButtonTakesTheHostsPicker) {
    setHostColorPicker([](uint8_t rgb[3]) {
        rgb[0] = 10;
        rgb[1] = 200;
        rgb[2] = 30;
        return true;
    });
    gScript.steps = {pressButton(kIdWaterColor), pressButton(kIdOk)};
    HostRunOptions options = displayed();
    options.offerColorPicker = true;
    PluginRun run(&image, options);
    EXPECT_EQ(play(&run), noErr);
    setHostColorPicker(nullptr);
    Settings look{};
    settingsFresh(&look);
    look.waterRed = 10 * 256;
    look.waterGreen = 200 * 256;
    look.waterBlue = 30 * 256;
    EXPECT_EQ(image.output, testing::directRender(image, look));
}

std::vector<std::string> gOpened;

// The about box's website button has id 2, which Escape and the close box
// send too: only a click on the button itself opens the page.
TEST(AboutBox, OnlyAClickOnTheWebsiteButtonOpensThePage) {
    setUrlOpener([](const char* url) { gOpened.emplace_back(url); });
    gOpened.clear();
    const auto showWith = [](Step step) {
        gScript = Script{};
        gScript.caption = "About Lakra";
        gScript.steps = {std::move(step)};
        playWhile([] {
            showAbout();
            return 0;
        });
        return gScript.failure;
    };
    // Escape: the dialog manager's IDCANCEL, from no click.
    EXPECT_EQ(showWith(pressButton(IDCANCEL)), "");
    EXPECT_TRUE(gOpened.empty());
    EXPECT_EQ(showWith(clickButton(IDC_ABOUT_WEBSITE)), "");
    setUrlOpener(nullptr);
    ASSERT_EQ(gOpened.size(), 1u);
    EXPECT_EQ(gOpened[0], LAKRA_MAKER_URL);
}

} // namespace
} // namespace lakra

#endif // _WIN32
