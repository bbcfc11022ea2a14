#include "host/seams.h"

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

void loadCachedSettings(Settings*) {}

void saveCachedSettings(const Settings&) {}

void initUndo() {}

void loadMemoryDotMap() {}

void saveMemoryDotMap() {}

} // namespace lakra
