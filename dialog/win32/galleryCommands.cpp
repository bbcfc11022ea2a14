#include "dialog/win32/galleryCommands.h"

#include "dialog/win32/fileDialogs.h"
#include "files/files.h"
#include "host/previewPane.h"
#include "host/selectors.h"
#include "host/ui.h"
#include "presets/batchResave.h"
#include "presets/galleryPages.h"
#include "presets/memoryDots.h"
#include "presets/presetFile.h"
#include "presets/thumbnail.h"

#include <cstdio>
#include <cstring>

namespace lakra {

namespace {

constexpr const char* kSourceTitle = "Choose any file in the source folder";
constexpr const char* kPageTitle = "Save an HTML page";
constexpr const char* kPresetsPageName = "Lakra presets.html";
constexpr const char* kMemoryDotsPageName = "Lakra memory dots.html";

// The hourglass while a command works; the cursor of before comes back
// however it ends.
class BusyCursor {
public:
    BusyCursor() : previous(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}

    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    ~BusyCursor() { SetCursor(previous); }

private:
    HCURSOR previous;
};

// The folder of a chosen path, separator included, into a folder field of
// Settings; a folder too long for the field leaves it as it was.
void rememberFolder(const char* path, char* field, size_t bytes) {
    FileSpec chosen{};
    fileSpecFromPath(&chosen, path);
    FileSpec folder{};
    if (fileSpecFolderPart(&chosen, &folder) != noErr) {
        return;
    }
    const char* text = fileSpecPath(folder);
    if (std::strcmp(text, "*") == 0) {
        text = "";
    }
    if (std::strlen(text) < bytes) {
        (void)std::snprintf(field, bytes, "%s", text);
    }
}

// The open dialog for any file of the source folder, starting in the one
// last chosen, which the answer replaces.
bool askSourceFile(GalleryDialog* gallery, char* path, DWORD bytes) {
    Settings* settings = gallery->settings;
    FileDialogRequest request;
    request.owner = gallery->dialog;
    request.type = FileType::Presets;
    request.title = kSourceTitle;
    request.initialFolder = settings->gallerySourceFolder;
    path[0] = '\0';
    if (!askFilePath(request, path, bytes)) {
        return false;
    }
    rememberFolder(path, settings->gallerySourceFolder, sizeof settings->gallerySourceFolder);
    return true;
}

// The save dialog for a page, starting with `name` in the folder pages and
// PSD documents were last saved in, which the answer replaces.
bool askPagePath(GalleryDialog* gallery, const char* name, char* path, DWORD bytes) {
    Settings* settings = gallery->settings;
    FileDialogRequest request;
    request.owner = gallery->dialog;
    request.type = FileType::Html;
    request.save = true;
    request.title = kPageTitle;
    request.initialFolder = settings->psdFolder;
    (void)std::snprintf(path, bytes, "%s", name);
    if (!askFilePath(request, path, bytes)) {
        return false;
    }
    rememberFolder(path, settings->psdFolder, sizeof settings->psdFolder);
    return true;
}

ImagePyramid* thumbnailOf(const GalleryDialog& gallery) {
    return gallery.thumbnail != nullptr ? gallery.thumbnail : &gallery.state->thumbnail;
}

// Reading presets and dots may have replaced the picture of the dot in the
// large cell: it is read again, and every dot is drawn anew.
void redrawDots(GalleryDialog* gallery) {
    MemoryDots* dots = gallery->model->dots;
    if (dots == nullptr) {
        return;
    }
    const int32_t hovered = dots->hovered;
    if (dots->previewed >= 0) {
        (void)memoryDotPreview(dots, dots->previewed);
    }
    dots->hovered = hovered;
    dots->dirty = (kPreviewCellDirty << 1) - 1; // every slot and the cell
    gallery->apply(gallery->context, kShowDots);
}

void makePresetsPage(GalleryDialog* gallery) {
    char source[MAX_PATH];
    if (!askSourceFile(gallery, source, sizeof source)) {
        return;
    }
    char page[MAX_PATH];
    if (!askPagePath(gallery, kPresetsPageName, page, sizeof page)) {
        return;
    }
    FileSpec sourceSpec{};
    fileSpecFromPath(&sourceSpec, source);
    FileSpec pageSpec{};
    fileSpecFromPath(&pageSpec, page);
    {
        const BusyCursor busy;
        // A page that cannot be written is not reported: the browser shows
        // what there is.
        (void)writePresetsPage(sourceSpec, pageSpec, thumbnailOf(*gallery));
    }
    openUrl(page);
    redrawDots(gallery);
}

// The loaded preset is shown as any loaded look is (controls, status line,
// preview), and the pane's picture becomes the thumbnail it is saved with.
// Without a preview it is saved with the blank thumbnail.
void showResaved(void* context, Settings* /*settings*/, ImagePyramid* thumbnail) {
    auto* gallery = static_cast<GalleryDialog*>(context);
    gallery->apply(gallery->context, previewLookReplaced(gallery->model, UndoKind::None));
    if (gallery->model->previewPossible) {
        (void)capturePreviewThumbnail(*gallery->state, thumbnail);
    }
}

} // namespace

void galleryPresetsPage(GalleryDialog* gallery) {
    if (gallery->pageRunning) {
        return;
    }
    gallery->pageRunning = true;
    makePresetsPage(gallery);
    gallery->pageRunning = false;
}

void galleryMemoryDotsPage(GalleryDialog* gallery) {
    MemoryDots* dots = gallery->model->dots;
    char page[MAX_PATH];
    if (dots == nullptr || !askPagePath(gallery, kMemoryDotsPageName, page, sizeof page)) {
        return;
    }
    PluginState* state = gallery->state;
    FileSpec pageSpec{};
    fileSpecFromPath(&pageSpec, page);
    {
        const BusyCursor busy;
        // Without a preview the host's image may not have been read yet.
        if (state->sourceReady == 0 &&
            loadHostImage(*gallery->record, gallery->settings, state) != noErr) {
            return;
        }
        aimRenderAtHost(*gallery->record, state);
        // A dot that fails to render ends the page early; it still opens.
        (void)writeMemoryDotsPage(pageSpec, gallery->settings, &state->render, dots, nullptr);
    }
    openUrl(page);
    redrawDots(gallery);
}

void galleryBatchResave(GalleryDialog* gallery) {
    char source[MAX_PATH];
    if (!askSourceFile(gallery, source, sizeof source)) {
        return;
    }
    FileSpec folder{};
    fileSpecFromPath(&folder, source);
    // Saved presets carry the thumbnail the walk hands to showResaved.
    ImagePyramid* thumbnail = thumbnailOf(*gallery);
    const PresetHooks previous = presetHooks();
    const PresetHooks hooks = thumbnailPresetHooks(thumbnail);
    setPresetHooks(&hooks);
    ResaveHooks walk;
    walk.loaded = showResaved;
    walk.context = gallery;
    ResaveSummary summary;
    {
        const BusyCursor busy;
        // Files that fail are left as they were; a walk already running
        // does nothing.
        MemoryDots* dots = gallery->model->dots;
        (void)resavePresetFolder(folder, gallery->settings, dots != nullptr ? dots : &memoryDots(),
                                 thumbnail, walk, &summary);
    }
    setPresetHooks(&previous);
    // The walk has put the look of before back: shown again.
    gallery->apply(gallery->context, previewLookReplaced(gallery->model, UndoKind::None));
    redrawDots(gallery);
}

} // namespace lakra
