#pragma once

// The preview dialog's gallery commands: the web page of a folder's presets
// (the page button), the web page of the memory dots (a right click on the
// large dot cell) and the batch re-save of a folder's presets (a Ctrl-click
// on that cell). Each asks for its files with the system's dialogs, works
// with the busy cursor and leaves the dialog showing the look of before.

#include "dialog/previewModel.h"
#include "host/abi.h"
#include "host/pluginState.h"
#include "render/settings.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>

namespace lakra {

struct ImagePyramid;

// What the commands need of the open preview dialog.
struct GalleryDialog {
    HWND dialog = nullptr;
    FilterRecord* record = nullptr;
    Settings* settings = nullptr;
    PluginState* state = nullptr;
    PreviewModel* model = nullptr;
    // The 128 x 128 thumbnail the dialog's preset hooks write: presets'
    // pictures are read into it and the re-save captures the pane into it,
    // so the plug-in's own thumbnail (the dot cell's picture) stays. nullptr:
    // the plug-in's.
    ImagePyramid* thumbnail = nullptr;
    // Carries out a model call's effects in the dialog.
    void (*apply)(void* context, uint32_t effects) = nullptr;
    void* context = nullptr;
    bool pageRunning = false; // a presets page is being made
};

// Asks for any file of the source folder and for the page, writes the page
// of the folder's presets and opens it in the browser. Ignored while one is
// being made; a cancelled dialog ends it with nothing written.
void galleryPresetsPage(GalleryDialog* gallery);

// Asks for the page, writes the memory dots' page and opens it.
void galleryMemoryDotsPage(GalleryDialog* gallery);

// Asks for any file of the source folder and re-saves its marked presets,
// each shown in the dialog while its thumbnail is taken from the pane.
void galleryBatchResave(GalleryDialog* gallery);

} // namespace lakra
