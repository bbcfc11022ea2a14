// The preview dialog's gallery commands on Windows, through the real dialog
// and the system's own open and save dialogs: the page button, a right click
// and a Ctrl-click on the large memory-dot cell. The steps answer the file
// dialogs by typing a path into their file name box.
//
// With LAKRA_GALLERY_OUTPUT set to a folder, each test keeps its presets and
// pages in a subfolder of it, for checks by programs outside Windows.
#ifdef _WIN32

#include "dialog/dialogScript.h"
#include "dialog/previewModel.h"
#include "dialog/win32/previewDialog.h"
#include "export/jpegReader.h"
#include "files/files.h"
#include "host/hostContext.h"
#include "host/seams.h"
#include "host/ui.h"
#include "presets/presetFile.h"
#include "presets/thumbnail.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "support/fileChecks.h"
#include "support/pluginRun.h"
#include "support/scratchFolder.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commdlg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace lakra {
namespace {

using namespace lakra::testing; // the dialog script
using testing::FakeImage;
using testing::PluginRun;

constexpr const char* kSourceCaption = "Choose any file in the source folder";
constexpr const char* kPageCaption = "Save an HTML page";
constexpr int kFileNameCombo = 1148; // cmb13
constexpr int kFileNameEdit = 1152;  // edt1

std::vector<std::string> gOpened; // what was handed to the shell's "open"

// The file name box of an open or save dialog: the edit of the combo box
// 1148, or the edit 1152, wherever it sits among the dialog's children.
HWND fileNameBox(HWND fileDialog) {
    struct Found {
        HWND edit = nullptr;
    } found;

    EnumChildWindows(
        fileDialog,
        [](HWND child, LPARAM context) -> BOOL {
            auto* out = reinterpret_cast<Found*>(context);
            const int id = GetDlgCtrlID(child);
            if (id == kFileNameEdit) {
                out->edit = child;
                return FALSE;
            }
            if (id == kFileNameCombo) {
                HWND edit = FindWindowExA(child, nullptr, "Edit", nullptr);
                out->edit = edit != nullptr ? edit : child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.edit;
}

HWND visibleDialog(const char* caption) {
    HWND window = FindWindowA("#32770", caption);
    return window != nullptr && IsWindowVisible(window) != FALSE ? window : nullptr;
}

int visibleDialogs(const char* caption) {
    struct Count {
        const char* caption;
        int count = 0;
    } count{caption};

    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* counting = reinterpret_cast<Count*>(context);
            char text[128] = "";
            GetWindowTextA(window, text, sizeof text);
            if (IsWindowVisible(window) != FALSE && std::strcmp(text, counting->caption) == 0) {
                ++counting->count;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.count;
}

// Waits for the file dialog of that caption, notes the name it offers,
// types `path` over it and confirms.
Step answerFileDialog(const char* caption, const std::string& path, std::string* offered) {
    return [caption, path, offered](HWND) {
        HWND fileDialog = visibleDialog(caption);
        HWND name = fileDialog != nullptr ? fileNameBox(fileDialog) : nullptr;
        if (name == nullptr) {
            return false;
        }
        if (offered != nullptr) {
            char text[MAX_PATH] = "";
            GetWindowTextA(name, text, sizeof text);
            *offered = text;
        }
        SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageA(fileDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(fileDialog, IDOK)));
        return true;
    };
}

Step cancelFileDialog(const char* caption) {
    return [caption](HWND) {
        HWND fileDialog = visibleDialog(caption);
        if (fileDialog == nullptr || fileNameBox(fileDialog) == nullptr) {
            return false;
        }
        PostMessageA(fileDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(fileDialog, IDCANCEL)));
        return true;
    };
}

// Until the file dialog has gone, and with it the command that asked.
Step closed(const char* caption) {
    return [caption](HWND) { return visibleDialog(caption) == nullptr; };
}

// Notes the folder the file dialog of that caption shows, then cancels it.
Step noteFolderAndCancel(const char* caption, std::string* folder) {
    return [caption, folder](HWND dialog) {
        HWND fileDialog = visibleDialog(caption);
        if (fileDialog == nullptr || fileNameBox(fileDialog) == nullptr) {
            return false;
        }
        char text[MAX_PATH] = "";
        SendMessageA(fileDialog, CDM_GETFOLDERPATH, sizeof text, reinterpret_cast<LPARAM>(text));
        *folder = text;
        return cancelFileDialog(caption)(dialog);
    };
}

Step pageOpened() {
    return [](HWND) { return !gOpened.empty(); };
}

// A click on the large dot cell, posted: the command it starts shows its
// dialogs after the step, while the script goes on.
Step clickDotCell(bool rightButton, bool ctrlHeld) {
    return [rightButton, ctrlHeld](HWND dialog) {
        const LPARAM point = at(centreOf(dialog, kIdDotCell));
        const WPARAM keys = (rightButton ? MK_RBUTTON : MK_LBUTTON) | (ctrlHeld ? MK_CONTROL : 0);
        PostMessageA(dialog, rightButton ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, keys, point);
        PostMessageA(dialog, rightButton ? WM_RBUTTONUP : WM_LBUTTONUP, ctrlHeld ? MK_CONTROL : 0,
                     point);
        return true;
    };
}

// What the dialog shows: every slider's edit box, the glue and the status line.
std::vector<std::string> shownLook(HWND dialog) {
    std::vector<std::string> shown;
    char text[128];
    for (const SliderRow& row : sliderRows()) {
        GetDlgItemTextA(dialog, row.edit, text, sizeof text);
        shown.emplace_back(text);
    }
    shown.push_back(std::to_string(SendDlgItemMessageA(dialog, kIdGlueList, CB_GETCURSEL, 0, 0)));
    GetDlgItemTextA(dialog, kIdStatus, text, sizeof text);
    shown.emplace_back(text);
    return shown;
}

// The width and height in a JPEG's frame header; 0 x 0 when there is none.
std::pair<int, int> jpegSize(const std::vector<uint8_t>& bytes) {
    for (size_t at = 2; at + 9 < bytes.size();) {
        if (bytes[at] != 0xFF) {
            return {0, 0};
        }
        const uint8_t marker = bytes[at + 1];
        if (marker >= 0xC0 && marker <= 0xC2) {
            return {bytes[at + 7] << 8 | bytes[at + 8], bytes[at + 5] << 8 | bytes[at + 6]};
        }
        at += 2 + (static_cast<size_t>(bytes[at + 2]) << 8 | bytes[at + 3]);
    }
    return {0, 0};
}

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(folder, missing)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> bytesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string text(const std::filesystem::path& file) {
    const std::vector<uint8_t> bytes = bytesOf(file);
    return {bytes.begin(), bytes.end()};
}

// A preset of the look, its thumbnail one colour.
void writePreset(const std::filesystem::path& file, const Settings& look, uint32_t rgb) {
    PyramidPtr thumbnail(pyramidCreate(kThumbnailMaxSide, kThumbnailMaxSide, PixelFormat::Rgba8));
    for (int32_t y = 0; y < kThumbnailMaxSide; ++y) {
        for (int32_t x = 0; x < kThumbnailMaxSide; ++x) {
            writeRgba8(x, y, thumbnail.get(), 0, rgb << 8 | 0xFFu);
        }
    }
    ASSERT_EQ(buildLevels(thumbnail.get()), noErr);
    const PresetHooks previous = presetHooks();
    const PresetHooks hooks = thumbnailPresetHooks(thumbnail.get());
    setPresetHooks(&hooks);
    FileSpec spec{};
    fileSpecFromPath(&spec, file.string().c_str());
    Settings copy = look;
    EXPECT_EQ(presetWrite(spec, &copy), noErr);
    setPresetHooks(&previous);
}

// A preset of the format before thumbnails (version 39): the current file
// without its empty thumbnail record and the exact horizon and offset.
void writeOldPreset(const std::filesystem::path& file, const Settings& look) {
    FileSpec spec{};
    fileSpecFromPath(&spec, file.string().c_str());
    const PresetHooks previous = presetHooks();
    setPresetHooks(nullptr);
    Settings copy = look;
    ASSERT_EQ(presetWrite(spec, &copy), noErr);
    setPresetHooks(&previous);
    std::vector<uint8_t> bytes = bytesOf(file);
    bytes.resize(bytes.size() - 12);
    bytes[3] = 39;
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The thumbnail a preset file carries, or nullptr.
PyramidPtr storedThumbnail(const std::filesystem::path& file) {
    PyramidPtr work(pyramidCreate(kThumbnailMaxSide, kThumbnailMaxSide, PixelFormat::Rgba8));
    FileSpec spec{};
    fileSpecFromPath(&spec, file.string().c_str());
    ImagePyramid* taken = nullptr;
    if (!presetThumbnailAtSize(spec, work.get(), kThumbnailMaxSide, &taken)) {
        return nullptr;
    }
    return PyramidPtr(taken);
}

bool isBlankThumbnail(const ImagePyramid* thumbnail) {
    PyramidPtr blank(pyramidCreate(kThumbnailMaxSide, kThumbnailMaxSide, PixelFormat::Rgba8));
    thumbnailFillBlank(blank.get());
    for (int32_t y = 0; y < kThumbnailMaxSide; ++y) {
        for (int32_t x = 0; x < kThumbnailMaxSide; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int difference = static_cast<int>(channel8(thumbnail, x, y, c)) -
                                       static_cast<int>(channel8(blank.get(), x, y, c));
                if (std::abs(difference) > 12) {
                    return false;
                }
            }
        }
    }
    return true;
}

Settings lookWith(int32_t glue, int32_t blur) {
    Settings look{};
    settingsFresh(&look);
    look.glue = glue;
    look.blur = blur;
    return look;
}

class GalleryCommands : public ::testing::Test {
protected:
    void SetUp() override {
        gScript = Script{};
        gOpened.clear();
        setPreviewDialogHandler(runWin32PreviewDialog);
        setUrlOpener([](const char* url) { gOpened.emplace_back(url); });
        testing::fillPattern(&image);
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
        setPreviewDialogHandler(nullptr);
    }

    // The dialog's run with the script played in its loop; OK or Cancel
    // are the script's last step.
    Result play() {
        HostRunOptions options = PluginRun::interactive();
        options.offerDisplay = true;
        PluginRun run(&image, options);
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, playStep);
        const Result result = run.run();
        KillTimer(nullptr, timer);
        EXPECT_TRUE(gScript.failure.empty()) << gScript.failure;
        return result;
    }

    std::string path(const std::filesystem::path& relative) const {
        return (work / relative).make_preferred().string();
    }

    testing::ScratchFolder scratch; // the plug-in's temporary folder
    FakeImage image{90, 60, 3, 8, false};
    std::filesystem::path work; // presets and pages
};

// The page button: any preset of the folder, then the page; the page and its
// pictures are written beside each other and the page goes to the browser.
// Both folders are remembered for the next page.
TEST_F(GalleryCommands, PageButtonWritesThePresetsPageAndOpensIt) {
    writePreset(work / "presets" / "river & sea.q8r", lookWith(9, 40), 0x2060C0);
    writePreset(work / "presets" / "calm.q8r", lookWith(3, 0), 0xC04020);
    writePreset(work / "presets" / "storm.q8r", lookWith(30, 80), 0x20A040);
    std::string offered;
    std::string sourceFolder;
    std::string pageFolder;
    gScript.steps = {
        pressButton(kIdGalleryPage),
        answerFileDialog(kSourceCaption, path("presets/calm.q8r"), nullptr),
        answerFileDialog(kPageCaption, path("presets.html"), &offered),
        pageOpened(),
        // The next page's dialogs start in the folders chosen for this one.
        pressButton(kIdGalleryPage),
        noteFolderAndCancel(kSourceCaption, &sourceFolder),
        closed(kSourceCaption),
        pressButton(kIdGalleryPage),
        answerFileDialog(kSourceCaption, path("presets/calm.q8r"), nullptr),
        noteFolderAndCancel(kPageCaption, &pageFolder),
        closed(kPageCaption),
        pressButton(kIdOk),
    };
    EXPECT_EQ(play(), noErr);
    EXPECT_EQ(offered, "Lakra presets.html");
    ASSERT_EQ(gOpened.size(), 1u);
    EXPECT_EQ(gOpened[0], path("presets.html"));
    EXPECT_EQ(sourceFolder, path("presets"));
    EXPECT_EQ(pageFolder + "\\", path(""));

    EXPECT_EQ(namesIn(work / "web_images"),
              (std::vector<std::string>{"bottom.gif", "calm.jpg", "left.gif", "right.gif",
                                        "river & sea.jpg", "storm.jpg", "top.gif"}));
    const std::string page = text(work / "presets.html");
    EXPECT_NE(page.find("src=\"web_images/river%20%26%20sea.jpg\""), std::string::npos);
    EXPECT_NE(page.find("river &amp; sea</font>"), std::string::npos);
    // Each picture is its preset's own thumbnail.
    const std::vector<uint8_t> calm = bytesOf(work / "web_images" / "calm.jpg");
    const auto [width, height] = jpegSize(calm);
    ASSERT_GT(width, 0);
    PyramidPtr picture(pyramidCreate(width, height, PixelFormat::Rgba8));
    ASSERT_TRUE(jpegDecode(calm.data(), calm.size(), picture.get()));
    EXPECT_NEAR(channel8(picture.get(), width / 2, height / 2, 0), 0xC0, 12);
    EXPECT_NEAR(channel8(picture.get(), width / 2, height / 2, 2), 0x20, 12);
}

// A right click on the large cell: the page of the set dots, each rendered
// at 300 pixels on the long side; the dialog then shows the look of before.
TEST_F(GalleryCommands, RightClickOnTheDotCellWritesTheMemoryDotsPage) {
    Settings before{};
    std::vector<std::string> shownBefore;
    std::vector<std::string> shownAfter;
    Settings after{};
    std::string offered;
    gScript.steps = {
        clickControl(kIdFirstDot + 3), // the opening look is in dot 1; this one in dot 4
        check([&](HWND dialog) {
            before = *currentHost().settings;
            shownBefore = shownLook(dialog);
        }),
        clickDotCell(true, false),
        answerFileDialog(kPageCaption, path("dots.html"), &offered),
        pageOpened(),
        check([&](HWND dialog) {
            after = *currentHost().settings;
            shownAfter = shownLook(dialog);
        }),
        pressButton(kIdOk),
    };
    EXPECT_EQ(play(), noErr);
    EXPECT_EQ(offered, "Lakra memory dots.html");
    ASSERT_EQ(gOpened.size(), 1u);
    EXPECT_EQ(gOpened[0], path("dots.html"));

    const std::vector<std::string> pictures = {"bottom.gif", "dot 1.jpg", "dot 4.jpg",
                                               "left.gif",   "right.gif", "top.gif"};
    EXPECT_EQ(namesIn(work / "web_images"), pictures);
    for (const char* dot : {"dot 1.jpg", "dot 4.jpg"}) {
        EXPECT_EQ(jpegSize(bytesOf(work / "web_images" / dot)), std::make_pair(300, 200)) << dot;
    }
    EXPECT_NE(text(work / "dots.html").find("src=\"web_images/dot%204.jpg\""), std::string::npos);

    // Only the pages' folder is new; the look, its name and the view are as before.
    EXPECT_EQ(std::string(after.psdFolder), path(""));
    std::memcpy(before.psdFolder, after.psdFolder, sizeof before.psdFolder);
    EXPECT_TRUE(sameBytes(before, after));
    EXPECT_EQ(shownAfter, shownBefore);
    EXPECT_EQ(image.output, testing::directRender(image));
}

// A Ctrl-click on the large cell: the marked presets of the chosen file's
// folder are re-saved with a thumbnail of the pane, "q9q" ones renamed; a
// read-only one and unmarked ones stay as they were, and so does the look.
TEST_F(GalleryCommands, CtrlClickOnTheDotCellResavesTheMarkedPresets) {
    const std::filesystem::path folder = work / "presets";
    writePreset(folder / "a q9q.q8r", lookWith(12, 20), 0x808080);
    writeOldPreset(folder / "b Q5Q.q8r", lookWith(17, 40));
    writePreset(folder / "c q5q.q8r", lookWith(5, 60), 0x406080);
    writePreset(folder / "d plain.q8r", lookWith(6, 70), 0x406080);
    ASSERT_NE(SetFileAttributesA((folder / "c q5q.q8r").string().c_str(), FILE_ATTRIBUTE_READONLY),
              FALSE);
    const std::vector<uint8_t> readOnly = bytesOf(folder / "c q5q.q8r");
    const std::vector<uint8_t> unmarked = bytesOf(folder / "d plain.q8r");

    Settings before{};
    std::vector<std::string> shownBefore;
    std::vector<std::string> shownAfter;
    Settings after{};
    gScript.steps = {
        check([&](HWND dialog) {
            before = *currentHost().settings;
            shownBefore = shownLook(dialog);
        }),
        clickDotCell(false, true),
        answerFileDialog(kSourceCaption, path("presets/d plain.q8r"), nullptr),
        closed(kSourceCaption),
        check([&](HWND dialog) {
            after = *currentHost().settings;
            shownAfter = shownLook(dialog);
        }),
        pressButton(kIdOk),
    };
    EXPECT_EQ(play(), noErr);
    (void)SetFileAttributesA((folder / "c q5q.q8r").string().c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(namesIn(folder),
              (std::vector<std::string>{"a q9q.q5q", "b Q5Q.q8r", "c q5q.q8r", "d plain.q8r"}));
    for (const char* name : {"a q9q.q5q", "b Q5Q.q8r"}) {
        const std::vector<uint8_t> bytes = bytesOf(folder / name);
        ASSERT_GE(bytes.size(), 4u) << name;
        EXPECT_EQ(bytes[3], kPresetVersion) << name;
        const PyramidPtr thumbnail = storedThumbnail(folder / name);
        ASSERT_NE(thumbnail, nullptr) << name;
        EXPECT_FALSE(isBlankThumbnail(thumbnail.get())) << name;
    }
    Settings resaved{};
    settingsFresh(&resaved);
    FileSpec b{};
    fileSpecFromPath(&b, path("presets/b Q5Q.q8r").c_str());
    ASSERT_EQ(presetRead(b, PresetReadMode::Full, &resaved), noErr);
    EXPECT_EQ(resaved.glue, 17);
    EXPECT_EQ(resaved.blur, 40);
    EXPECT_EQ(bytesOf(folder / "c q5q.q8r"), readOnly);
    EXPECT_EQ(bytesOf(folder / "d plain.q8r"), unmarked);

    // Only the source folder is new.
    EXPECT_EQ(std::string(after.gallerySourceFolder), path("presets\\"));
    std::memcpy(before.gallerySourceFolder, after.gallerySourceFolder,
                sizeof before.gallerySourceFolder);
    EXPECT_TRUE(sameBytes(before, after));
    EXPECT_EQ(shownAfter, shownBefore);
    EXPECT_EQ(image.output, testing::directRender(image));
}

// Cancel in any of the commands' dialogs ends the command with nothing
// written and nothing opened.
enum class Command { PresetsPage, MemoryDotsPage, BatchResave };

struct CancelCase {
    const char* name;
    Command command;
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
    writePreset(preset, lookWith(3, 0), 0xC04020);
    const std::vector<uint8_t> presetBytes = bytesOf(preset);
    switch (row.command) {
    case Command::PresetsPage:
        gScript.steps.push_back(pressButton(kIdGalleryPage));
        if (std::strcmp(row.cancelled, kPageCaption) == 0) {
            gScript.steps.push_back(
                answerFileDialog(kSourceCaption, path("presets/calm q9q.q8r"), nullptr));
        }
        break;
    case Command::MemoryDotsPage:
        gScript.steps.push_back(clickDotCell(true, false));
        break;
    case Command::BatchResave:
        gScript.steps.push_back(clickDotCell(false, true));
        break;
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

const CancelCase kCancelCases[] = {
    {"PresetsPageAtTheSourceFile", Command::PresetsPage, kSourceCaption},
    {"PresetsPageAtThePage", Command::PresetsPage, kPageCaption},
    {"MemoryDotsPageAtThePage", Command::MemoryDotsPage, kPageCaption},
    {"BatchResaveAtTheSourceFile", Command::BatchResave, kSourceCaption},
};

INSTANTIATE_TEST_SUITE_P(GalleryCommands, CancelledCommand, ::testing::ValuesIn(kCancelCases),
                         [](const ::testing::TestParamInfo<CancelCase>& row) {
                             return std::string(row.param.name);
                         });

// While its dialogs are open, the page button does not start a second page;
// once the first has ended, it does.
TEST_F(GalleryCommands, PageButtonIsIgnoredWhileAPageIsBeingMade) {
    int whileOpen = 0;
    bool again = false;
    gScript.steps = {
        pressButton(kIdGalleryPage),
        [](HWND) { return visibleDialog(kSourceCaption) != nullptr; },
        pressButton(kIdGalleryPage),
        pause(500),
        check([&](HWND) { whileOpen = visibleDialogs(kSourceCaption); }),
        cancelFileDialog(kSourceCaption),
        closed(kSourceCaption),
        pressButton(kIdGalleryPage),
        [&](HWND) {
            again = visibleDialog(kSourceCaption) != nullptr;
            return again;
        },
        cancelFileDialog(kSourceCaption),
        closed(kSourceCaption),
        pressButton(kIdOk),
    };
    EXPECT_EQ(play(), noErr);
    EXPECT_EQ(whileOpen, 1);
    EXPECT_TRUE(again);
    EXPECT_TRUE(gOpened.empty());
}

} // namespace
} // namespace lakra

#endif // _WIN32
