#pragma once

// Steps of a run whose real implementations live in other subsystems. Each is
// a single, clearly named call so the selectors read as the run does.

namespace lakra {

struct Settings;

// The preview dialog: true when the user confirmed the run. Until the dialog
// exists, every run is confirmed without showing anything; tests and the
// command-line host put their own dialog in its place.
bool runPreviewDialog();
using PreviewDialogHandler = bool (*)();
void setPreviewDialogHandler(PreviewDialogHandler handler); // nullptr: the built-in one
// The last confirmed look, kept in the temporary folder between runs.
void loadCachedSettings(Settings* settings);
void saveCachedSettings(Settings* settings); // marks it with the current format version
// The undo store and the memory dots' keep map.
void initUndo();
void loadMemoryDotMap();
void saveMemoryDotMap();

} // namespace lakra
