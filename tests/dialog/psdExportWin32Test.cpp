// The PSD export from the real preview dialog on Windows: the PSD button, the
// size dialog, the system's save dialog and the progress dialog, driven by
// the messages a user's mouse and keyboard make. The document written equals
// the export job's own for the same look and size; every way of stopping
// (each dialog's Cancel or close box, and Cancel while the render runs)
// writes nothing and leaves an existing file as it was.
#ifdef _WIN32

#include "dialog/dialogScript.h"
#include "dialog/previewModel.h"
#include "dialog/win32/previewDialog.h"
#include "dialog/win32/psdExportDialogs.h"
#include "export/psdExport.h"
#include "files/files.h"
#include "host/seams.h"
#include "pyramid/pyramid.h"
#include "render/loadSource.h"
#include "render/renderInto.h"
#include "support/fakeHost.h"
#include "support/pluginRun.h"
#include "support/scratchFolder.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace lakra {
namespace {

using namespace lakra::testing; // the dialog script
using testing::FakeImage;
using testing::PluginRun;

constexpr const char* kPreviewCaption = "Lakra";
constexpr const char* kSizeCaption = "Export PSD image";
constexpr const char* kSaveCaption = "Save a PSD file";
constexpr const char* kProgressCaption = "PSD file progress";

// The action, after which the following steps act on the window with the
// caption (the one the action opens, or the one under the window it
// closes). Each window has the script's whole patience of its own.
Step then(Step action, const char* caption) {
    return [action, caption](HWND dialog) {
        if (!action(dialog)) {
            return false;
        }
        gScript.caption = caption;
        gScript.ticks = 0;
        return true;
    };
}

std::string textOf(HWND dialog, int id) {
    char text[64] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// Focus in the edit, its text selected and typed over, key by key.
Step typeInEdit(int id, const char* keys) {
    return [id, keys](HWND dialog) {
        HWND edit = GetDlgItem(dialog, id);
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
        SendMessageA(edit, EM_SETSEL, 0, -1);
        for (const char* key = keys; *key != '\0'; ++key) {
            SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(*key), 1);
        }
        return true;
    };
}

Step closeBox() {
    return [](HWND dialog) {
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        return true;
    };
}

// The system's save dialog: the path into its file name box, then Save.
Step saveAs(const std::string& path) {
    return [path](HWND dialog) {
        // The explorer-style dialog's name box is an edit in a combo box;
        // the older one has a plain edit.
        HWND name = GetDlgItem(dialog, 1148);
        HWND edit = name != nullptr
                        ? reinterpret_cast<HWND>(SendMessageA(name, CBEM_GETEDITCONTROL, 0, 0))
                        : GetDlgItem(dialog, 1152);
        if (edit == nullptr) {
            edit = name;
        }
        if (edit == nullptr) {
            return false; // the replace question is in front
        }
        SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        return true;
    };
}

// The save dialog's question whether to replace the existing file: Yes.
Step confirmReplace() {
    return [](HWND box) {
        if (GetDlgItem(box, IDYES) == nullptr) {
            return false;
        }
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
        return true;
    };
}

// The progress dialog's Cancel button, clicked once the render has
// reported progress. It shares id 2 with the percentage, which the id finds.
Step cancelWhenMoving() {
    return [](HWND dialog) {
        if (textOf(dialog, kIdProgressPercent) == "0%") {
            return false;
        }
        HWND button = FindWindowExA(dialog, nullptr, "Button", nullptr);
        RECT r{};
        GetClientRect(button, &r);
        const LPARAM middle = MAKELPARAM(r.right / 2, r.bottom / 2);
        SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, middle);
        SendMessageA(button, WM_LBUTTONUP, 0, middle);
        return true;
    };
}

// On the progress dialog: the following steps act on the preview dialog,
// the first of them once the export has ended.
Step thenWhenDone() {
    return then([](HWND) { return true; }, kPreviewCaption);
}

Step exportEnded() {
    return [](HWND) { return FindWindowA("#32770", kProgressCaption) == nullptr; };
}

struct WindowCount {
    const char* caption;
    int count;
};

BOOL CALLBACK countWindow(HWND window, LPARAM lParam) {
    auto* counted = reinterpret_cast<WindowCount*>(lParam);
    char text[64] = "";
    GetWindowTextA(window, text, sizeof text);
    if (IsWindowVisible(window) != FALSE && std::string(text) == counted->caption) {
        ++counted->count;
    }
    return TRUE;
}

int windowsCaptioned(const char* caption) {
    WindowCount counted{caption, 0};
    EnumWindows(countWindow, reinterpret_cast<LPARAM>(&counted));
    return counted.count;
}

// What control 2 of the progress dialog shows, each change once.
std::vector<std::string> gProgressTexts;

void CALLBACK recordProgress(HWND, UINT, UINT_PTR, DWORD) {
    HWND progress = FindWindowA("#32770", kProgressCaption);
    if (progress == nullptr) {
        return;
    }
    const std::string text = textOf(progress, kIdProgressPercent);
    if (gProgressTexts.empty() || gProgressTexts.back() != text) {
        gProgressTexts.push_back(text);
    }
}

// Once the script has ended (or given up), whatever of the export is still
// open is cancelled, the preview dialog last, so that no test hangs.
void CALLBACK sweepUp(HWND, UINT, UINT_PTR, DWORD) {
    if (gScript.next < gScript.steps.size()) {
        return;
    }
    for (const char* caption : {kProgressCaption, kSaveCaption, kSizeCaption, kPreviewCaption}) {
        HWND window = FindWindowA("#32770", caption);
        if (window != nullptr) {
            // The save dialog's question whether to replace a file: No.
            const bool question =
                std::strcmp(caption, kSaveCaption) == 0 && GetDlgItem(window, IDNO) != nullptr;
            const int answer = question ? IDNO : IDCANCEL;
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
            return;
        }
    }
}

uint32_t be32(const std::vector<uint8_t>& bytes, size_t at) {
    return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
           (uint32_t{bytes[at + 2]} << 8) | uint32_t{bytes[at + 3]};
}

// The export job on its own, for the fresh look at the given size, from
// the image as the plug-in reads it.
std::vector<uint8_t> jobsDocument(const FakeImage& original, uint32_t width, uint32_t height,
                                  const testing::ScratchFolder& scratch, const char* name) {
    FakeImage image = original;
    testing::FakeHost host;
    host.image = &image;
    PyramidPtr source(pyramidCreate(image.width, image.height, PixelFormat::Rgba8));
    EXPECT_EQ(loadSource(&host, source.get()), noErr);
    Settings settings{};
    settingsFresh(&settings);
    settings.psdWidth = width;
    settings.psdHeight = height;
    settings.exportKind = kExportPsd;
    RenderState state{};
    state.filterWidth = image.width;
    state.filterHeight = image.height;
    state.source = source.get();
    state.hostFormat = HostImageFormat{image.depth, image.planes, image.transparency};
    FileSpec fileSpec{};
    fileSpecFromPath(&fileSpec, scratch.path(name).c_str());
    EXPECT_EQ(psdExport(fileSpec, &settings, &state, PsdExportOptions{}), noErr);
    return scratch.read(name);
}

class PsdExportWindows : public ::testing::Test {
protected:
    void SetUp() override {
        gScript = Script{};
        gProgressTexts.clear();
        setPreviewDialogHandler(runWin32PreviewDialog);
        testing::fillPattern(&image);
        std::filesystem::create_directories(scratch.path("exports"));
    }

    void TearDown() override { setPreviewDialogHandler(nullptr); }

    // The preview dialog on the image, with the script played in it.
    Result play() {
        HostRunOptions options = PluginRun::interactive();
        options.offerDisplay = true;
        PluginRun run(&image, options);
        const UINT_PTR recorder = SetTimer(nullptr, 0, 20, recordProgress);
        const UINT_PTR sweeper = SetTimer(nullptr, 0, 250, sweepUp);
        const Result result = playWhile([&] { return run.run(); });
        KillTimer(nullptr, sweeper);
        KillTimer(nullptr, recorder);
        return result;
    }

    std::string exportPath(const char* name) const {
        return scratch.path("exports\\" + std::string(name));
    }

    std::vector<std::string> exports() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(scratch.path("exports"))) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    testing::ScratchFolder scratch;
    FakeImage image{400, 300, 3, 8, false};
};

TEST_F(PsdExportWindows, SameProportionsWithWidthTypedWritesTheJobsDocument) {
    std::string shownHeight;
    bool proportionsChosen = false;
    int sizeDialogs = 0;
    const std::string path = exportPath("flow.psd");
    gScript.steps = {
        then(pressButton(kIdPsdExport), kSizeCaption),
        clickButton(kIdPsdSameProportions),
        typeInEdit(kIdPsdWidth, "1000"),
        check([&](HWND dialog) {
            shownHeight = textOf(dialog, kIdPsdHeight);
            proportionsChosen = IsDlgButtonChecked(dialog, kIdPsdSameProportions) == BST_CHECKED;
            // A second start while the size dialog is open only brings it forward.
            PostMessageA(FindWindowA("#32770", kPreviewCaption), WM_COMMAND,
                         MAKEWPARAM(kIdPsdExport, BN_CLICKED), 0);
        }),
        pause(300),
        check([&](HWND) { sizeDialogs = windowsCaptioned(kSizeCaption); }),
        then(pressButton(IDOK), kSaveCaption),
        then(saveAs(path), kProgressCaption),
        thenWhenDone(),
        exportEnded(),
        pressButton(kIdOk),
    };
    ASSERT_EQ(play(), noErr) << gScript.failure;
    EXPECT_TRUE(gScript.failure.empty()) << gScript.failure;
    EXPECT_EQ(shownHeight, "750");
    EXPECT_TRUE(proportionsChosen);
    EXPECT_EQ(sizeDialogs, 1);

    const std::vector<uint8_t> written = scratch.read("exports\\flow.psd");
    ASSERT_GT(written.size(), 26u);
    EXPECT_EQ(std::string(written.begin(), written.begin() + 4), "8BPS");
    EXPECT_EQ(be32(written, 14), 750u);  // height
    EXPECT_EQ(be32(written, 18), 1000u); // width
    const std::vector<uint8_t> job = jobsDocument(image, 1000, 750, scratch, "job.psd");
    EXPECT_EQ(written.size(), job.size());
    EXPECT_TRUE(written == job) << "the dialog's document differs from the job's";
    // The export leaves the look and the view as they were: OK renders the
    // dialog's look into the image.
    EXPECT_EQ(image.output, testing::directRender(image));
}

TEST_F(PsdExportWindows, ProgressTextMovesDuringALongExport) {
    gScript.steps = {
        then(pressButton(kIdPsdExport), kSizeCaption),
        clickButton(kIdPsdCustomSize),
        typeInEdit(kIdPsdWidth, "4000"),
        typeInEdit(kIdPsdHeight, "3000"),
        then(pressButton(IDOK), kSaveCaption),
        then(saveAs(exportPath("long.psd")), kProgressCaption),
        thenWhenDone(),
        exportEnded(),
        pressButton(kIdCancel),
    };
    EXPECT_EQ(play(), userCanceledErr) << gScript.failure;
    EXPECT_TRUE(gScript.failure.empty()) << gScript.failure;
    const std::vector<uint8_t> written = scratch.read("exports\\long.psd");
    ASSERT_GT(written.size(), 26u);
    EXPECT_EQ(be32(written, 14), 3000u);
    EXPECT_EQ(be32(written, 18), 4000u);

    // "0%" first, then rising percentages as the render reports.
    RecordProperty("progressTexts", ::testing::PrintToString(gProgressTexts));
    ASSERT_GE(gProgressTexts.size(), 2u) << ::testing::PrintToString(gProgressTexts);
    EXPECT_EQ(gProgressTexts.front(), "0%");
    int last = 0;
    for (size_t i = 1; i < gProgressTexts.size(); ++i) {
        const std::string& text = gProgressTexts[i];
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '%') << text;
        const int percent = std::atoi(text.c_str());
        EXPECT_GT(percent, last) << ::testing::PrintToString(gProgressTexts);
        EXPECT_LE(percent, 100);
        last = percent;
    }
}

// Every way of stopping the export, each after the steps that reach it.
struct StopCase {
    const char* name;
    std::vector<Step> (*steps)(const std::string& path);
};

std::vector<Step> toSizeDialog() {
    return {then(pressButton(kIdPsdExport), kSizeCaption)};
}

std::vector<Step> toSaveDialog() {
    std::vector<Step> steps = toSizeDialog();
    steps.push_back(then(pressButton(IDOK), kSaveCaption));
    return steps;
}

// Saved over the existing file: the save dialog asks first.
std::vector<Step> toProgressDialog(const std::string& path, std::vector<Step> steps) {
    steps.push_back(saveAs(path));
    steps.push_back(then(confirmReplace(), kProgressCaption));
    return steps;
}

std::vector<Step> with(std::vector<Step> steps, Step last) {
    steps.push_back(std::move(last));
    return steps;
}

const StopCase kStopCases[] = {
    {"SizeDialogCancel",
     [](const std::string&) {
         return with(toSizeDialog(), then(pressButton(IDCANCEL), kPreviewCaption));
     }},
    {"SizeDialogClosed",
     [](const std::string&) { return with(toSizeDialog(), then(closeBox(), kPreviewCaption)); }},
    {"SaveDialogCancel",
     [](const std::string&) {
         return with(toSaveDialog(), then(pressButton(IDCANCEL), kPreviewCaption));
     }},
    {"ProgressCancelBeforeItsTimer",
     [](const std::string& path) {
         return with(toProgressDialog(path, toSaveDialog()),
                     then(pressButton(IDCANCEL), kPreviewCaption));
     }},
    {"ProgressClosedBeforeItsTimer",
     [](const std::string& path) {
         return with(toProgressDialog(path, toSaveDialog()), then(closeBox(), kPreviewCaption));
     }},
    {"ProgressCancelDuringTheRender",
     [](const std::string& path) {
         std::vector<Step> steps = toSizeDialog();
         steps.push_back(clickButton(kIdPsdCustomSize));
         steps.push_back(typeInEdit(kIdPsdWidth, "12000"));
         steps.push_back(typeInEdit(kIdPsdHeight, "9000"));
         steps.push_back(then(pressButton(IDOK), kSaveCaption));
         return with(toProgressDialog(path, steps), then(cancelWhenMoving(), kPreviewCaption));
     }},
};

class PsdExportStops : public PsdExportWindows, public ::testing::WithParamInterface<StopCase> {};

// After it the preview dialog goes on with its look: OK renders it.
TEST_P(PsdExportStops, WritesNothingAndLeavesAnExistingFileAlone) {
    const std::vector<uint8_t> older = {'a', 'n', ' ', 'o', 'l', 'd', 'e',
                                        'r', ' ', 'f', 'i', 'l', 'e'};
    scratch.write("exports\\older.psd", older);
    gScript.steps = GetParam().steps(exportPath("older.psd"));
    gScript.steps.push_back(exportEnded());
    gScript.steps.push_back(pressButton(kIdOk));
    EXPECT_EQ(play(), noErr) << gScript.failure;
    EXPECT_TRUE(gScript.failure.empty()) << gScript.failure;
    EXPECT_EQ(scratch.read("exports\\older.psd"), older);
    EXPECT_EQ(exports(), std::vector<std::string>{"older.psd"});
    EXPECT_EQ(image.output, testing::directRender(image));
}

INSTANTIATE_TEST_SUITE_P(EveryWay, PsdExportStops, ::testing::ValuesIn(kStopCases),
                         [](const ::testing::TestParamInfo<StopCase>& stop) {
                             return std::string(stop.param.name);
                         });

BOOL CALLBACK findMessage(HWND child, LPARAM lParam) {
    char text[128] = "";
    GetWindowTextA(child, text, sizeof text);
    if (std::string(text) == "The PSD file could not be written.") {
        *reinterpret_cast<bool*>(lParam) = true;
    }
    return TRUE;
}

// The message box that says the export failed: OK.
Step answerFailure(bool* shown) {
    return [shown](HWND box) {
        EnumChildWindows(box, findMessage, reinterpret_cast<LPARAM>(shown));
        if (!*shown) {
            return false;
        }
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
    };
}

// A file that another program holds open cannot be written: after the
// render, a message says so, and the file keeps its bytes.
TEST_F(PsdExportWindows, AFileThatCannotBeOpenedIsReportedAndLeftAlone) {
    const std::vector<uint8_t> older = {'h', 'e', 'l', 'd', ' ', 'o', 'p', 'e', 'n'};
    scratch.write("exports\\held.psd", older);
    const std::string path = exportPath("held.psd");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    bool shown = false;
    gScript.steps = toProgressDialog(path, toSaveDialog());
    gScript.steps.push_back(thenWhenDone());
    gScript.steps.push_back(answerFailure(&shown));
    gScript.steps.push_back(exportEnded());
    gScript.steps.push_back(pressButton(kIdCancel));
    const Result result = play();
    CloseHandle(held);
    EXPECT_EQ(result, userCanceledErr) << gScript.failure;
    EXPECT_TRUE(gScript.failure.empty()) << gScript.failure;
    EXPECT_TRUE(shown);
    EXPECT_EQ(scratch.read("exports\\held.psd"), older);
    EXPECT_EQ(exports(), std::vector<std::string>{"held.psd"});
}

} // namespace
} // namespace lakra

#endif // _WIN32
