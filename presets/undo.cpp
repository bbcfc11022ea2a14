#include "presets/undo.h"

#include "presets/presetFile.h"

namespace lakra {

namespace {

constexpr const char* kUndoFileNames[kUndoSlotCount] = {"Lakra undo 0", "Lakra undo 1"};

// One store for the process: the dialog that uses it is modal.
UndoStore gUndoStore = {};

int16_t otherSlot(int16_t slot) {
    return slot == 0 ? 1 : 0;
}

} // namespace

UndoStore& undoStore() {
    return gUndoStore;
}

void undoInit(UndoStore* store) {
    for (UndoSlot& slot : store->slots) {
        settingsFresh(&slot.look);
        slot.valid = 0;
        slot.hasFile = 0;
    }
    store->current = 0;
}

Result undoFileSpec(int32_t slot, FileSpec* fileSpec) {
    if (slot < 0 || slot >= kUndoSlotCount) {
        fileSpecFromPath(fileSpec, nullptr);
        return failWith(kFileNotOpened);
    }
    return temporaryFileSpec(kUndoFileNames[slot], fileSpec);
}

Result undoSnapshot(UndoStore* store, Settings* settings, bool withFile) {
    store->current = otherSlot(store->current);
    UndoSlot& slot = store->slots[store->current];
    copyLook(*settings, &slot.look);
    slot.hasFile = 0;
    slot.valid = 1;
    if (!withFile) {
        return noErr;
    }
    FileSpec fileSpec;
    Result result = undoFileSpec(store->current, &fileSpec);
    if (result == noErr) {
        result = presetWrite(fileSpec, settings);
    }
    // A file that was not written must never be read back on undo.
    slot.hasFile = result == noErr ? 1 : 0;
    return result;
}

bool undoStep(UndoStore* store, Settings* settings) {
    const int16_t other = otherSlot(store->current);
    const UndoSlot& slot = store->slots[other];
    if (slot.valid == 0) {
        return false;
    }
    copyLook(slot.look, settings);
    if (slot.hasFile != 0) {
        // Read into a copy: a damaged or shortened file must not leave half a
        // look behind, only the one restored from memory.
        Settings loaded = *settings;
        FileSpec fileSpec;
        if (undoFileSpec(other, &fileSpec) == noErr &&
            presetRead(fileSpec, PresetReadMode::Full, &loaded) == noErr) {
            *settings = loaded;
        }
    }
    store->current = other;
    return true;
}

} // namespace lakra
