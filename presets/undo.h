#pragma once

// One-step undo: two snapshots of the look, toggled. A snapshot may also be
// backed by a whole preset file in the temporary folder, so that a change
// reaching beyond the look (a loaded preset, a recalled memory dot) is undone too.

#include "files/files.h"
#include "platform/result.h"
#include "render/settings.h"

#include <cstdint>

namespace lakra {

inline constexpr int32_t kUndoSlotCount = 2;

struct UndoSlot {
    Settings look;   // only the look fields are used
    uint8_t valid;   // holds a snapshot
    uint8_t hasFile; // the slot's file holds the whole settings of the snapshot
};

struct UndoStore {
    UndoSlot slots[kUndoSlotCount];
    int16_t current; // the slot written last
};

// The process-wide store the dialog uses; undoInit runs before every dialog.
UndoStore& undoStore();

// Both slots invalid.
void undoInit(UndoStore* store);
// "Lakra undo 0" or "Lakra undo 1" in the temporary folder; 99 (empty FileSpec)
// for any other slot.
[[nodiscard]] Result undoFileSpec(int32_t slot, FileSpec* fileSpec);
// Moves to the other slot and copies the look of settings into it; withFile
// also writes the whole settings to the slot's file. A file that cannot be
// written leaves the slot valid with its in-memory look; the write's result
// is returned for information only.
Result undoSnapshot(UndoStore* store, Settings* settings, bool withFile);
// Restores the other slot's look (and, when it has one, its file) into
// settings and makes that slot current: pressed twice it redoes. A file that
// cannot be read completely leaves the look restored from memory. Returns
// false, changing nothing, when the other slot holds no snapshot.
bool undoStep(UndoStore* store, Settings* settings);

} // namespace lakra
