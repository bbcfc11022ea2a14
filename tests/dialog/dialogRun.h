#pragma once

// The real preview dialog run through the plug-in's entry with a script
// played in its loop, and the steps that answer the system's open and save
// dialogs by their file name box.
#ifdef _WIN32

#include "dialog/dialogScript.h"
#include "dialog/win32/previewDialog.h"
#include "host/seams.h"
#include "support/pluginRun.h"
#include "support/scratchFolder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace lakra::testing {

inline std::string textOf(HWND dialog, int id) {
    char text[MAX_PATH] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// Focus in the edit, its text selected and typed over, key by key.
inline Step typeInEdit(int id, const char* keys) {
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

inline HWND visibleDialog(const char* caption) {
    HWND window = FindWindowA("#32770", caption);
    return window != nullptr && IsWindowVisible(window) != FALSE ? window : nullptr;
}

inline int visibleWindows(const char* caption) {
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

// The file name box of an open or save dialog: the edit of the combo box
// 1148 (cmb13), or the edit 1152 (edt1), wherever it sits among the
// dialog's children; nullptr on anything else, such as the save dialog's
// question whether to replace a file, which shares its caption.
inline HWND fileNameBox(HWND fileDialog) {
    HWND found = nullptr;
    EnumChildWindows(
        fileDialog,
        [](HWND child, LPARAM context) -> BOOL {
            auto* out = reinterpret_cast<HWND*>(context);
            const int id = GetDlgCtrlID(child);
            if (id == 1152) {
                *out = child;
                return FALSE;
            }
            if (id == 1148) {
                HWND edit = FindWindowExA(child, nullptr, "Edit", nullptr);
                *out = edit != nullptr ? edit : child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// The file dialog of that caption, once its name box is there.
inline HWND fileDialogOpen(const char* caption) {
    HWND fileDialog = visibleDialog(caption);
    return fileDialog != nullptr && fileNameBox(fileDialog) != nullptr ? fileDialog : nullptr;
}

// Waits for the file dialog of that caption, notes the name it offers,
// types `path` over it and confirms.
inline Step answerFileDialog(const char* caption, const std::string& path,
                             std::string* offered = nullptr) {
    return [caption, path, offered](HWND) {
        HWND fileDialog = fileDialogOpen(caption);
        if (fileDialog == nullptr) {
            return false;
        }
        HWND name = fileNameBox(fileDialog);
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

inline Step cancelFileDialog(const char* caption) {
    return [caption](HWND) {
        HWND fileDialog = fileDialogOpen(caption);
        if (fileDialog == nullptr) {
            return false;
        }
        PostMessageA(fileDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(fileDialog, IDCANCEL)));
        return true;
    };
}

// Until the dialog of that caption has gone, and with it what opened it.
inline Step closed(const char* caption) {
    return [caption](HWND) { return visibleDialog(caption) == nullptr; };
}

// The names in a folder, sorted; none when it is missing.
inline std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(folder, missing)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<uint8_t> bytesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The preview dialog on the fixture's image, opened as from the host's
// menu with the host's display offered.
class PreviewDialogRun : public ::testing::Test {
protected:
    explicit PreviewDialogRun(int32_t width = 90, int32_t height = 60)
        : image(width, height, 3, 8, false) {}

    void SetUp() override {
        gScript = Script{};
        setPreviewDialogHandler(runWin32PreviewDialog);
        fillPattern(&image);
    }

    void TearDown() override { setPreviewDialogHandler(nullptr); }

    static HostRunOptions displayed() {
        HostRunOptions options = PluginRun::interactive();
        options.offerDisplay = true;
        return options;
    }

    // The run with the script played in its loop; OK or Cancel are the
    // script's last step.
    Result play(PluginRun* run) {
        const Result result = playWhile([run] { return run->run(); });
        EXPECT_TRUE(gScript.failure.empty()) << gScript.failure;
        return result;
    }

    Result play() {
        PluginRun run(&image, displayed());
        return play(&run);
    }

    ScratchFolder scratch; // the plug-in's temporary folder
    FakeImage image;
};

} // namespace lakra::testing

#endif // _WIN32
