// The PSD export from the real preview dialog on Windows: the PSD button, the
// size dialog, the system's save dialog and the progress dialog, driven by
// the messages a user's mouse and keyboard make. The document written equals
// the export job's own for the same look and size; every way of stopping
// (each dialog's Cancel or close box, and Cancel while the render runs)
// writes nothing and leaves an existing file as it was.
#ifdef _WIN32

#include "dialog/dialogRun.h"
#include "dialog/previewModel.h"
#include "dialog/win32/psdExportDialogs.h"
#include "export/psdExport.h"
#include "files/files.h"
#include "pyramid/pyramid.h"
#include "render/loadSource.h"
#include "render/renderInto.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace lakra {
namespace {

using namespace lakra::testing; // the dialog script and run
using testing::FakeImage;

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

Step closeBox() {
    return [](HWND dialog) {
        PostMessageA(dialog, WM_CLOSE, 0, 0);
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
        SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageA(button, WM_LBUTTONUP, 0, 0);
        return true;
    };
}

// What control 2 of the progress dialog shows, each change once.
std::vector<std::string> gProgressTexts;

void CALLBACK recordProgress(HWND, UINT, UINT_PTR, DWORD) {
    HWND progress = FindWindowA("#32770", kProgressCaption);
    const std::string text = progress != nullptr ? textOf(progress, kIdProgressPercent) : "";
    if (progress != nullptr && (gProgressTexts.empty() || gProgressTexts.back() != text)) {
        gProgressTexts.push_back(text);
    }
}

// Once the script has ended (or given up), whatever of the export is still
// open is cancelled, the preview dialog last, so that no test hangs; the
// save dialog's question whether to replace a file is answered No.
void CALLBACK sweepUp(HWND, UINT, UINT_PTR, DWORD) {
    if (gScript.next < gScript.steps.size()) {
        return;
    }
    for (const char* caption : {kProgressCaption, kSaveCaption, kSizeCaption, kPreviewCaption}) {
        HWND window = FindWindowA("#32770", caption);
        if (window != nullptr) {
            const bool question =
                std::strcmp(caption, kSaveCaption) == 0 && GetDlgItem(window, IDNO) != nullptr;
            const int answer = question ? IDNO : IDCANCEL;
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
            return;
        }
    }
}

// The export job on its own, for the fresh look at the given size, from
// the image as the plug-in reads it.
std::vector<uint8_t> jobsDocument(const FakeImage& original, uint32_t width, uint32_t height,
                                  const ScratchFolder& scratch) {
    FakeImage image = original;
    FakeHost host;
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
    fileSpecFromPath(&fileSpec, scratch.path("job.psd").c_str());
    EXPECT_EQ(psdExport(fileSpec, &settings, &state, PsdExportOptions{}), noErr);
    return scratch.read("job.psd");
}

class PsdExportWindows : public PreviewDialogRun {
protected:
    PsdExportWindows() : PreviewDialogRun(400, 300) {}

    void SetUp() override {
        PreviewDialogRun::SetUp();
        gProgressTexts.clear();
        std::filesystem::create_directories(scratch.path("exports"));
    }

    // The script's end: the export over, the preview dialog's button.
    Result play(int lastButton) {
        gScript.steps.push_back(then([](HWND) { return true; }, kPreviewCaption));
        gScript.steps.push_back(closed(kProgressCaption));
        gScript.steps.push_back(pressButton(lastButton));
        const UINT_PTR recorder = SetTimer(nullptr, 0, 20, recordProgress);
        const UINT_PTR sweeper = SetTimer(nullptr, 0, 250, sweepUp);
        const Result result = PreviewDialogRun::play();
        KillTimer(nullptr, sweeper);
        KillTimer(nullptr, recorder);
        return result;
    }

    std::string exportPath(const char* name) const {
        return scratch.path("exports\\" + std::string(name));
    }
};

// Through the size dialog (with its steps) to the save dialog.
std::vector<Step> toSaveDialog(std::vector<Step> sizeSteps = {}) {
    std::vector<Step> steps = {then(pressButton(kIdPsdExport), kSizeCaption)};
    steps.insert(steps.end(), sizeSteps.begin(), sizeSteps.end());
    steps.push_back(then(pressButton(IDOK), kSaveCaption));
    return steps;
}

// On to the progress dialog, saved over the existing file: the save dialog
// asks first.
std::vector<Step> toProgressDialog(const std::string& path, std::vector<Step> steps) {
    steps.push_back(answerFileDialog(kSaveCaption, path));
    steps.push_back(then(confirmReplace(), kProgressCaption));
    return steps;
}

TEST_F(PsdExportWindows, SameProportionsWithWidthTypedWritesTheJobsDocument) {
    std::string shownHeight;
    std::string offered;
    int sizeDialogs = 0;
    gScript.steps = {
        then(pressButton(kIdPsdExport), kSizeCaption),
        clickButton(kIdPsdSameProportions),
        typeInEdit(kIdPsdWidth, "1000"),
        check([&](HWND dialog) {
            shownHeight = textOf(dialog, kIdPsdHeight);
            // A second start while the size dialog is open only brings it forward.
            PostMessageA(FindWindowA("#32770", kPreviewCaption), WM_COMMAND,
                         MAKEWPARAM(kIdPsdExport, BN_CLICKED), 0);
        }),
        pause(300),
        check([&](HWND) { sizeDialogs = visibleWindows(kSizeCaption); }),
        then(pressButton(IDOK), kSaveCaption),
        then(answerFileDialog(kSaveCaption, exportPath("flow.psd"), &offered), kProgressCaption),
    };
    ASSERT_EQ(play(kIdOk), noErr);
    EXPECT_EQ(shownHeight, "750");
    EXPECT_EQ(sizeDialogs, 1);
    EXPECT_EQ(offered, "Lakra result.psd");
    EXPECT_TRUE(scratch.read("exports\\flow.psd") == jobsDocument(image, 1000, 750, scratch))
        << "the dialog's document differs from the job's";
    // The export leaves the look and the view as they were: OK renders the
    // dialog's look into the image.
    EXPECT_EQ(image.output, testing::directRender(image));
}

// Every way of stopping the export: the step on the dialog it reaches.
enum class Reach { SizeDialog, SaveDialog, ProgressDialog, LongRender };

struct StopCase {
    const char* name;
    Reach reach;
    Step stop;
};

const StopCase kStopCases[] = {
    {"SizeDialogCancel", Reach::SizeDialog, pressButton(IDCANCEL)},
    {"SizeDialogClosed", Reach::SizeDialog, closeBox()},
    {"SaveDialogCancel", Reach::SaveDialog, pressButton(IDCANCEL)},
    {"ProgressCancelBeforeItsTimer", Reach::ProgressDialog, pressButton(IDCANCEL)},
    {"ProgressClosedBeforeItsTimer", Reach::ProgressDialog, closeBox()},
    {"ProgressCancelDuringTheRender", Reach::LongRender, cancelWhenMoving()},
};

class PsdExportStops : public PsdExportWindows, public ::testing::WithParamInterface<StopCase> {};

// After it the preview dialog goes on with its look: OK renders it.
TEST_P(PsdExportStops, WritesNothingAndLeavesAnExistingFileAlone) {
    const std::vector<uint8_t> older = {'a', 'n', ' ', 'o', 'l', 'd', 'e', 'r'};
    scratch.write("exports\\older.psd", older);
    const StopCase& row = GetParam();
    if (row.reach == Reach::SizeDialog) {
        gScript.steps = {then(pressButton(kIdPsdExport), kSizeCaption)};
    } else if (row.reach == Reach::SaveDialog) {
        gScript.steps = toSaveDialog();
    } else {
        std::vector<Step> sizeSteps;
        if (row.reach == Reach::LongRender) {
            sizeSteps = {clickButton(kIdPsdCustomSize), typeInEdit(kIdPsdWidth, "12000"),
                         typeInEdit(kIdPsdHeight, "9000")};
        }
        gScript.steps = toProgressDialog(exportPath("older.psd"), toSaveDialog(sizeSteps));
    }
    gScript.steps.push_back(then(row.stop, kPreviewCaption));
    EXPECT_EQ(play(kIdOk), noErr);
    EXPECT_EQ(scratch.read("exports\\older.psd"), older);
    EXPECT_EQ(namesIn(scratch.path("exports")), std::vector<std::string>{"older.psd"});
    EXPECT_EQ(image.output, testing::directRender(image));
    if (row.reach == Reach::LongRender) {
        // The progress shows "0%" first, then rising percentages.
        const std::string shown = ::testing::PrintToString(gProgressTexts);
        ASSERT_GE(gProgressTexts.size(), 2u) << shown;
        EXPECT_EQ(gProgressTexts.front(), "0%");
        for (size_t i = 1; i < gProgressTexts.size(); ++i) {
            const int percent = std::atoi(gProgressTexts[i].c_str());
            EXPECT_EQ(gProgressTexts[i], std::to_string(percent) + "%") << shown;
            EXPECT_GT(percent, std::atoi(gProgressTexts[i - 1].c_str())) << shown;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryWay, PsdExportStops, ::testing::ValuesIn(kStopCases),
                         [](const ::testing::TestParamInfo<StopCase>& stop) {
                             return std::string(stop.param.name);
                         });

// A file that another program holds open cannot be written: after the
// render, a message says so (answered OK), and the file keeps its bytes.
TEST_F(PsdExportWindows, AFileThatCannotBeOpenedIsReportedAndLeftAlone) {
    const std::vector<uint8_t> older = {'h', 'e', 'l', 'd', ' ', 'o', 'p', 'e', 'n'};
    scratch.write("exports\\held.psd", older);
    const std::string path = exportPath("held.psd");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    gScript.steps = toProgressDialog(path, toSaveDialog());
    gScript.steps.push_back(then([](HWND) { return true; }, kPreviewCaption));
    gScript.steps.push_back([](HWND box) {
        if (FindWindowExA(box, nullptr, nullptr, "The PSD file could not be written.") == nullptr) {
            return false;
        }
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
    });
    const Result result = play(kIdCancel);
    CloseHandle(held);
    EXPECT_EQ(result, userCanceledErr);
    EXPECT_EQ(scratch.read("exports\\held.psd"), older);
    EXPECT_EQ(namesIn(scratch.path("exports")), std::vector<std::string>{"held.psd"});
}

} // namespace
} // namespace lakra

#endif // _WIN32
