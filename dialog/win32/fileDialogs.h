#pragma once

// The system's open and save dialogs as the preview dialog's commands use
// them: settings files, PSD documents and web pages.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <commdlg.h>

namespace lakra {

enum class FileType : int {
    Presets = 1, // "Lakra presets (*.q8r)"
    Psd = 2,     // "Photoshop files (*.psd)"
    Html = 3,    // "HTML files (*.html)"
};

struct FileDialogRequest {
    HWND owner = nullptr;
    FileType type = FileType::Presets;
    bool save = false;
    const char* title = nullptr;
    const char* initialFolder = nullptr; // null or empty: the system's choice
    // An open dialog's side panel: its template and hook (optional).
    const char* panelTemplate = nullptr;
    LPOFNHOOKPROC panelHook = nullptr;
    LPARAM panelData = 0;
};

// Shows the dialog; `path` holds the initial file name on entry and the
// chosen path on return. False when the user cancelled (or the dialog failed).
bool askFilePath(const FileDialogRequest& request, char* path, DWORD bytes);

} // namespace lakra
