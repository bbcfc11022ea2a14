// The preview dialog's gallery commands on Windows, through the real dialog
// and the system's own open and save dialogs: the page button, a right click
// and a Ctrl-click on the large memory-dot cell. The steps answer the file
// dialogs by typing a path into their file name box.
//
// With LAKRA_GALLERY_OUTPUT set to a folder, each test keeps its presets and
// pages in a subfolder of it, for checks by programs outside Windows.
#ifdef _WIN32

#include "dialog/dialogRun.h"
#include "dialog/previewModel.h"
#include "files/files.h"
#include "host/hostContext.h"
#include "host/ui.h"
#include "presets/presetFile.h"
#include "presets/thumbnail.h"
#include "pyramid/pyramid.h"
#include "support/fileChecks.h"

#include <commdlg.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace lakra {
namespace {

using namespace lakra::testing; // the dialog script and run

constexpr const char* kSourceCaption = "Choose any file in the source folder";
constexpr const char* kPageCaption = "Save an HTML page";

std::vector<std::string> gOpened; // what was handed to the shell's "open"

// Notes the folder the file dialog of that caption shows, then cancels it.
Step noteFolderAndCancel(const char* caption, std::string* folder) {
    return [caption, folder](HWND dialog) {
        HWND fileDialog = fileDialogOpen(caption);
        if (fileDialog == nullptr) {
            return false;
        }
        char text[MAX_PATH] = "";
        SendMessageA(fileDialog, CDM_GETFOLDERPATH, sizeof text, reinterpret_cast<LPARAM>(text));
        *folder = text;
        return cancelFileDialog(caption)(dialog);
    };
}

// A click on the large dot cell, posted: the command it starts shows its
// dialogs after the step, while the script goes on.
Step clickDotCell(UINT down, WPARAM keys) {
    return [down, keys](HWND dialog) {
        const LPARAM point = at(centreOf(dialog, kIdDotCell));
        PostMessageA(dialog, down, keys, point);
        PostMessageA(dialog, down + 1, keys & MK_CONTROL, point); // the button's up
        return true;
    };
}

// The look in force and what the dialog shows of it: every slider's edit
// box, the glue and the status line.
struct SeenLook {
    Settings look{};
    std::vector<std::string> shown;
};

Step see(SeenLook* seen) {
    return check([seen](HWND dialog) {
        seen->look = *currentHost().settings;
        seen->shown.clear();
        for (const SliderRow& row : sliderRows()) {
            seen->shown.push_back(textOf(dialog, row.edit));
        }
        seen->shown.push_back(
            std::to_string(SendDlgItemMessageA(dialog, kIdGlueList, CB_GETCURSEL, 0, 0)));
        seen->shown.push_back(textOf(dialog, kIdStatus));
    });
}

// The look and the view are as before but for one folder field, which
// `field` picks and which holds `folder`.
void expectLookKept(SeenLook before, const SeenLook& after, char (Settings::*field)[kFolderBytes],
                    const std::string& folder) {
    EXPECT_EQ(std::string(after.look.*field), folder);
    std::memcpy(before.look.*field, after.look.*field, sizeof(before.look.*field));
    EXPECT_TRUE(sameBytes(before.look, after.look));
    EXPECT_EQ(after.shown, before.shown);
}

FileSpec fileSpecOf(const std::filesystem::path& file) {
    FileSpec fileSpec{};
    fileSpecFromPath(&fileSpec, file.string().c_str());
    return fileSpec;
}

// A preset of the fresh look with that glue, without a thumbnail.
void writePreset(const std::filesystem::path& file, int32_t glue) {
    const PresetHooks previous = presetHooks();
    setPresetHooks(nullptr);
    Settings look{};
    settingsFresh(&look);
    look.glue = glue;
    EXPECT_EQ(presetWrite(fileSpecOf(file), &look), noErr);
    setPresetHooks(&previous);
}

// Whether the preset file's thumbnail has colour: a picture of the pane,
// not the grey of the blank thumbnail.
bool hasColourThumbnail(const std::filesystem::path& file) {
    PyramidPtr work(pyramidCreate(kThumbnailMaxSide, kThumbnailMaxSide, PixelFormat::Rgba8));
    ImagePyramid* taken = nullptr;
    EXPECT_TRUE(presetThumbnailAtSize(fileSpecOf(file), work.get(), kThumbnailMaxSide, &taken));
    const PyramidPtr thumbnail(taken);
    for (int32_t i = 0; thumbnail != nullptr && i < kThumbnailMaxSide * kThumbnailMaxSide; ++i) {
        const int32_t x = i % kThumbnailMaxSide;
        const int32_t y = i / kThumbnailMaxSide;
        const int red = static_cast<int>(channel8(thumbnail.get(), x, y, 0));
        if (std::abs(red - static_cast<int>(channel8(thumbnail.get(), x, y, 1))) > 12 ||
            std::abs(red - static_cast<int>(channel8(thumbnail.get(), x, y, 2))) > 12) {
            return true;
        }
    }
    return false;
}

class GalleryCommands : public PreviewDialogRun {
protected:
    void SetUp() override {
        PreviewDialogRun::SetUp();
        gOpened.clear();
        setUrlOpener([](const char* url) { gOpened.emplace_back(url); });
        const char* kept = std::getenv("LAKRA_GALLERY_OUTPUT"); // NOLINT(concurrency-mt-unsafe)
        if (kept != nullptr && kept[0] != '\0') {
            work = std::filesystem::path(kept) /
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
            std::filesystem::remove_all(work);
        } else {
            work = std::filesystem::path(scratch.path("work"));
        }
        work.make_preferred();
        std::filesystem::create_directories(work / "presets");
    }

    void TearDown() override {
        setUrlOpener(nullptr);
        PreviewDialogRun::TearDown();
    }

    std::string path(const std::filesystem::path& relative) const {
        return (work / relative).make_preferred().string();
    }

    std::filesystem::path work; // presets and pages
};

// The page button: any preset of the folder, then the page; the page and its
// pictures are written beside each other and the page goes to the browser.
// Both folders are remembered for the next page.
TEST_F(GalleryCommands, PageButtonWritesThePresetsPageAndOpensIt) {
    writePreset(work / "presets" / "river & sea.q8r", 9);
    writePreset(work / "presets" / "calm.q8r", 3);
    writePreset(work / "presets" / "storm.q8r", 30);
    std::string offered;
    std::string sourceFolder;
    std::string pageFolder;
    gScript.steps = {
        pressButton(kIdGalleryPage),
        answerFileDialog(kSourceCaption, path("presets/calm.q8r")),
        answerFileDialog(kPageCaption, path("presets.html"), &offered),
        [](HWND) { return !gOpened.empty(); }, // the page opened
        // The next page's dialogs start in the folders chosen for this one.
        pressButton(kIdGalleryPage),
        noteFolderAndCancel(kSourceCaption, &sourceFolder),
        closed(kSourceCaption),
        pressButton(kIdGalleryPage),
        answerFileDialog(kSourceCaption, path("presets/calm.q8r")),
        noteFolderAndCancel(kPageCaption, &pageFolder),
        closed(kPageCaption),
        pressButton(kIdOk),
    };
    EXPECT_EQ(play(), noErr);
    EXPECT_EQ(offered, "Lakra presets.html");
    EXPECT_EQ(gOpened, std::vector<std::string>{path("presets.html")});
    EXPECT_EQ(sourceFolder, path("presets"));
    EXPECT_EQ(pageFolder + "\\", path(""));
    EXPECT_EQ(namesIn(work), (std::vector<std::string>{"presets", "presets.html", "web_images"}));
    EXPECT_EQ(namesIn(work / "web_images"),
              (std::vector<std::string>{"bottom.gif", "calm.jpg", "left.gif", "right.gif",
                                        "river & sea.jpg", "storm.jpg", "top.gif"}));
}

// A right click on the large cell: the page of the set dots; the dialog then
// shows the look of before.
TEST_F(GalleryCommands, RightClickOnTheDotCellWritesTheMemoryDotsPage) {
    SeenLook before;
    SeenLook after;
    std::string offered;
    gScript.steps = {
        clickControl(kIdFirstDot + 3), // the opening look is in dot 1; this one in dot 4
        see(&before),
        clickDotCell(WM_RBUTTONDOWN, MK_RBUTTON),
        answerFileDialog(kPageCaption, path("dots.html"), &offered),
        [](HWND) { return !gOpened.empty(); }, // the page opened
        see(&after),
        pressButton(kIdOk),
    };
    EXPECT_EQ(play(), noErr);
    EXPECT_EQ(offered, "Lakra memory dots.html");
    EXPECT_EQ(gOpened, std::vector<std::string>{path("dots.html")});
    EXPECT_EQ(namesIn(work / "web_images"),
              (std::vector<std::string>{"bottom.gif", "dot 1.jpg", "dot 4.jpg", "left.gif",
                                        "right.gif", "top.gif"}));
    // Only the pages' folder is new.
    expectLookKept(before, after, &Settings::psdFolder, path(""));
    EXPECT_EQ(image.output, testing::directRender(image));
}

// A Ctrl-click on the large cell: the marked presets of the chosen file's
// folder are re-saved with a thumbnail of the pane, "q9q" ones renamed; a
// read-only one and unmarked ones stay as they were, and so does the look.
TEST_F(GalleryCommands, CtrlClickOnTheDotCellResavesTheMarkedPresets) {
    const std::filesystem::path folder = work / "presets";
    const char* names[] = {"a q9q.q8r", "b Q5Q.q8r", "c q5q.q8r", "d plain.q8r"};
    std::vector<std::vector<uint8_t>> written;
    for (const char* name : names) {
        writePreset(folder / name, 12);
        written.push_back(bytesOf(folder / name));
    }
    const std::string readOnly = (folder / names[2]).string();
    ASSERT_NE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY), FALSE);
    SeenLook before;
    SeenLook after;
    gScript.steps = {
        see(&before),
        clickDotCell(WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL),
        answerFileDialog(kSourceCaption, path("presets/d plain.q8r")),
        closed(kSourceCaption),
        see(&after),
        pressButton(kIdOk),
    };
    EXPECT_EQ(play(), noErr);
    (void)SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(namesIn(folder),
              (std::vector<std::string>{"a q9q.q5q", "b Q5Q.q8r", "c q5q.q8r", "d plain.q8r"}));
    for (size_t i : {0, 1}) {
        const std::filesystem::path resaved = folder / (i == 0 ? "a q9q.q5q" : names[1]);
        EXPECT_NE(bytesOf(resaved), written[i]) << resaved;
        EXPECT_TRUE(hasColourThumbnail(resaved)) << resaved;
    }
    EXPECT_EQ(bytesOf(folder / names[2]), written[2]);
    EXPECT_EQ(bytesOf(folder / names[3]), written[3]);
    // Only the source folder is new.
    expectLookKept(before, after, &Settings::gallerySourceFolder, path("presets\\"));
    EXPECT_EQ(image.output, testing::directRender(image));
}

// Cancel in any of the commands' dialogs ends the command with nothing
// written and nothing opened.
struct CancelCase {
    const char* name;
    Step start;
    bool throughSource;    // the presets page's source file answered first
    const char* cancelled; // the caption of the dialog cancelled
};

void PrintTo(const CancelCase& row, std::ostream* out) {
    *out << row.name;
}

class CancelledCommand : public GalleryCommands,
                         public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelledCommand, WritesNothing) {
    const CancelCase& row = GetParam();
    const std::filesystem::path preset = work / "presets" / "calm q9q.q8r";
    writePreset(preset, 3);
    const std::vector<uint8_t> presetBytes = bytesOf(preset);
    gScript.steps.push_back(row.start);
    if (row.throughSource) {
        gScript.steps.push_back(answerFileDialog(kSourceCaption, path("presets/calm q9q.q8r")));
    }
    gScript.steps.push_back(cancelFileDialog(row.cancelled));
    gScript.steps.push_back(closed(row.cancelled));
    gScript.steps.push_back(pressButton(kIdOk));
    EXPECT_EQ(play(), noErr);
    EXPECT_TRUE(gOpened.empty());
    EXPECT_EQ(namesIn(work), std::vector<std::string>{"presets"});
    EXPECT_EQ(namesIn(work / "presets"), std::vector<std::string>{"calm q9q.q8r"});
    EXPECT_EQ(bytesOf(preset), presetBytes);
}

INSTANTIATE_TEST_SUITE_P(
    GalleryCommands, CancelledCommand,
    ::testing::Values(
        CancelCase{"PresetsPageAtTheSourceFile", pressButton(kIdGalleryPage), false,
                   kSourceCaption},
        CancelCase{"PresetsPageAtThePage", pressButton(kIdGalleryPage), true, kPageCaption},
        CancelCase{"MemoryDotsPageAtThePage", clickDotCell(WM_RBUTTONDOWN, MK_RBUTTON), false,
                   kPageCaption},
        CancelCase{"BatchResaveAtTheSourceFile",
                   clickDotCell(WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL), false, kSourceCaption}),
    [](const ::testing::TestParamInfo<CancelCase>& row) { return std::string(row.param.name); });

// While its dialogs are open, the page button does not start a second page
// (once it has ended, it does: the page test makes three in a row).
TEST_F(GalleryCommands, PageButtonIsIgnoredWhileAPageIsBeingMade) {
    int whileOpen = 0;
    gScript.steps = {
        pressButton(kIdGalleryPage),
        [](HWND) { return visibleDialog(kSourceCaption) != nullptr; },
        pressButton(kIdGalleryPage),
        pause(500),
        check([&](HWND) { whileOpen = visibleWindows(kSourceCaption); }),
        cancelFileDialog(kSourceCaption),
        closed(kSourceCaption),
        pressButton(kIdOk),
    };
    EXPECT_EQ(play(), noErr);
    EXPECT_EQ(whileOpen, 1);
    EXPECT_TRUE(gOpened.empty());
}

} // namespace
} // namespace lakra

#endif // _WIN32
