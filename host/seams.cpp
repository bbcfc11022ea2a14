#include "host/seams.h"

#include "presets/cachedSettings.h"
#include "presets/memoryDots.h"
#include "presets/undo.h"

namespace lakra {

namespace {

PreviewDialogHandler gPreviewDialog = nullptr;

} // namespace

void setPreviewDialogHandler(PreviewDialogHandler handler) {
    gPreviewDialog = handler;
}

bool runPreviewDialog() {
    return gPreviewDialog != nullptr ? gPreviewDialog() : true;
}

void loadCachedSettings(Settings* settings) {
    // A missing or unreadable file leaves the defaults that prepare set.
    (void)cachedSettingsLoad(settings);
}

void saveCachedSettings(Settings* settings) {
    // A look that cannot be kept costs the next run its start, nothing more.
    (void)cachedSettingsSave(settings);
}

void initUndo() {
    undoInit(&undoStore());
}

void loadMemoryDotMap() {
    // A missing or damaged map leaves every slot not kept.
    (void)memoryDotsLoadMap(&memoryDots());
}

void saveMemoryDotMap() {
    // A map that cannot be written costs the next run its kept dots, nothing more.
    (void)memoryDotsSaveMap(&memoryDots());
}

} // namespace lakra
