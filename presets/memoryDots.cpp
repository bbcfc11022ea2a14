#include "presets/memoryDots.h"

#include "presets/presetFile.h"

#include <cstdio>

namespace lakra {

namespace {

constexpr uint32_t kAllSlotsDirty = (1u << kMemoryDotCount) - 1u;

MemoryDots gMemoryDots = {{}, {}, -1, -1, kAllSlotsDirty | kPreviewCellDirty, 0, nullptr, nullptr};

bool inRow(int32_t slot) {
    return slot >= 0 && slot < kMemoryDotCount;
}

void markSlot(MemoryDots* dots, int32_t slot) {
    dots->dirty |= 1u << static_cast<uint32_t>(slot);
}

// At most one slot is current: the one stored or recalled last.
void makeCurrent(MemoryDots* dots, int32_t slot) {
    for (int32_t i = 0; i < kMemoryDotCount; ++i) {
        if (dots->shown[i] == DotDisplay::Current) {
            dots->shown[i] = DotDisplay::Filled;
            markSlot(dots, i);
        }
    }
    dots->shown[slot] = DotDisplay::Current;
    markSlot(dots, slot);
}

} // namespace

MemoryDots& memoryDots() {
    return gMemoryDots;
}

void memoryDotsReset(MemoryDots* dots) {
    for (int32_t i = 0; i < kMemoryDotCount; ++i) {
        dots->kept[i] = 0;
        dots->shown[i] = DotDisplay::Empty;
    }
    dots->previewed = -1;
    dots->hovered = -1;
    dots->dirty = kAllSlotsDirty | kPreviewCellDirty;
    dots->mapLoaded = 0;
}

Result memoryDotFileSpec(int32_t slot, FileSpec* fileSpec) {
    if (slot < 0 || slot > kMemoryDotScratchSlot) {
        fileSpecFromPath(fileSpec, nullptr);
        return failWith(kFileNotOpened);
    }
    char name[64];
    (void)std::snprintf(name, sizeof name, "%s A memory dot %d%s", "Lakra", slot, ".q8r");
    return temporaryFileSpec(name, fileSpec);
}

Result memoryDotsLoadMap(MemoryDots* dots) {
    memoryDotsReset(dots);
    dots->mapLoaded = 1;
    FileSpec fileSpec;
    Result result = temporaryFileSpec(kMemoryDotMapName, &fileSpec);
    PlatformFile* file = nullptr;
    if (result == noErr) {
        result = fileOpen(fileSpec, FileAccess::Read, &file);
    }
    if (result != noErr) {
        return result; // no map: nothing kept
    }
    uint32_t version = 0; // not checked: every map so far has the same rows
    result = readU32BE(file, &version);
    for (int32_t i = 0; i < kMemoryDotCount && result == noErr; ++i) {
        uint32_t flag = 0;
        result = readU32BE(file, &flag);
        // A damaged map may hold any number; the dots know only kept or not.
        dots->kept[i] = (result == noErr && flag != 0) ? 1 : 0;
    }
    (void)fileClose(file);
    return result;
}

Result memoryDotsSaveMap(MemoryDots* dots) {
    if (dots->mapLoaded == 0) {
        return noErr;
    }
    FileSpec fileSpec;
    Result result = temporaryFileSpec(kMemoryDotMapName, &fileSpec);
    FileWriter writer;
    if (result == noErr) {
        result = fileWriterOpen(fileSpec, &writer);
    }
    if (result != noErr) {
        return result;
    }
    (void)writeU32BE(&writer, kMemoryDotMapVersion);
    for (const int32_t kept : dots->kept) {
        (void)writeU32BE(&writer, kept != 0 ? 1u : 0u);
    }
    return fileWriterClose(&writer);
}

bool memoryDotStore(MemoryDots* dots, int32_t slot, Settings* settings) {
    if (!inRow(slot)) {
        return false;
    }
    if (dots->captureThumbnail != nullptr) {
        dots->captureThumbnail(dots->captureContext);
    }
    FileSpec fileSpec;
    if (memoryDotFileSpec(slot, &fileSpec) == noErr) {
        (void)presetWrite(fileSpec, settings);
    }
    makeCurrent(dots, slot);
    (void)memoryDotPreview(dots, slot);
    return true;
}

bool memoryDotRecall(MemoryDots* dots, int32_t slot, Settings* settings) {
    if (!inRow(slot)) {
        return false;
    }
    char name[16];
    (void)std::snprintf(name, sizeof name, "dot %d", slot + 1);
    setDotName(settings, name);
    // Read into a copy: a damaged or shortened file must not leave half a look.
    Settings loaded = *settings;
    FileSpec fileSpec;
    if (memoryDotFileSpec(slot, &fileSpec) == noErr &&
        presetRead(fileSpec, PresetReadMode::Full, &loaded) == noErr) {
        *settings = loaded;
    } else {
        memoryDotsClearPreview(dots);
    }
    makeCurrent(dots, slot);
    return true;
}

bool memoryDotClear(MemoryDots* dots, int32_t slot) {
    if (!inRow(slot)) {
        return false;
    }
    dots->shown[slot] = DotDisplay::Empty;
    dots->kept[slot] = 0;
    markSlot(dots, slot);
    memoryDotsClearPreview(dots);
    return true;
}

bool memoryDotUnkeep(MemoryDots* dots, int32_t slot) {
    if (!inRow(slot)) {
        return false;
    }
    dots->kept[slot] = 0;
    markSlot(dots, slot);
    return true;
}

bool memoryDotPreview(MemoryDots* dots, int32_t slot) {
    if (!inRow(slot)) {
        return false;
    }
    FileSpec fileSpec;
    const bool read = memoryDotFileSpec(slot, &fileSpec) == noErr &&
                      presetRead(fileSpec, PresetReadMode::ThumbnailOnly, nullptr) == noErr;
    // Hovered even when the file is unreadable, so the pointer resting on
    // the dot does not read it again on every move.
    dots->previewed = read ? slot : -1;
    dots->hovered = slot;
    dots->dirty |= kPreviewCellDirty;
    return true;
}

void memoryDotsClearPreview(MemoryDots* dots) {
    dots->previewed = -1;
    dots->hovered = -1;
    dots->dirty |= kPreviewCellDirty;
}

DotAction memoryDotClick(MemoryDots* dots, int32_t slot, bool rightButton, bool ctrlHeld,
                         Settings* settings) {
    if (!inRow(slot)) {
        return DotAction::None;
    }
    if (dots->shown[slot] == DotDisplay::Empty) {
        dots->kept[slot] = ctrlHeld ? 0 : 1;
        (void)memoryDotStore(dots, slot, settings);
        return DotAction::Stored;
    }
    if (rightButton) {
        (void)memoryDotClear(dots, slot);
        return DotAction::Cleared;
    }
    if (ctrlHeld) {
        (void)memoryDotUnkeep(dots, slot);
        return DotAction::Unkept;
    }
    (void)memoryDotRecall(dots, slot, settings);
    return DotAction::Recalled;
}

DotAction memoryDotCellClick(MemoryDots* dots, bool rightButton, bool ctrlHeld,
                             Settings* settings) {
    if (rightButton) {
        return DotAction::SaveGalleryPage;
    }
    if (ctrlHeld) {
        return DotAction::BatchResave;
    }
    // An empty cell has nothing to recall.
    return memoryDotRecall(dots, dots->previewed, settings) ? DotAction::Recalled : DotAction::None;
}

void memoryDotHover(MemoryDots* dots, int32_t slot) {
    if (!inRow(slot)) {
        return;
    }
    if (dots->shown[slot] == DotDisplay::Empty) {
        if (dots->previewed != -1 || dots->hovered != -1) {
            memoryDotsClearPreview(dots);
        }
        return;
    }
    if (slot != dots->hovered) {
        (void)memoryDotPreview(dots, slot);
    }
}

int32_t memoryDotsOpen(MemoryDots* dots, Settings* settings) {
    for (int32_t i = 0; i < kMemoryDotCount; ++i) {
        dots->shown[i] = dots->kept[i] != 0 ? DotDisplay::Filled : DotDisplay::Empty;
    }
    dots->previewed = -1;
    dots->hovered = -1;
    dots->dirty = kAllSlotsDirty | kPreviewCellDirty;
    for (int32_t i = 0; i < kMemoryDotCount; ++i) {
        if (dots->kept[i] == 0) {
            (void)memoryDotStore(dots, i, settings);
            return i;
        }
    }
    return -1;
}

} // namespace lakra
