#pragma once

// The memory dots: 25 slots that each keep a whole look as a preset file in
// the temporary folder, and the keep map that says which survive into later
// runs. This is the model only: the dialog draws from it and feeds it clicks.

#include "files/files.h"
#include "platform/result.h"
#include "render/settings.h"

#include <cstdint>

namespace lakra {

inline constexpr int32_t kMemoryDotCount = 25;
// One beyond the row: a scratch file the gallery page and the batch re-save
// use to save and restore the current look. Only memoryDotFileSpec accepts it.
inline constexpr int32_t kMemoryDotScratchSlot = 25;
// The map file: this word, then one 32-bit flag per slot (104 bytes).
inline constexpr uint32_t kMemoryDotMapVersion = 41;
inline constexpr const char* kMemoryDotMapName = "Lakra memdot map 2";

enum class DotDisplay : int16_t { Empty = 0, Filled = 1, Current = 2 };

// Bits of MemoryDots::dirty: slot i is bit i; the large preview cell this one.
inline constexpr uint32_t kPreviewCellDirty = 1u << kMemoryDotCount;

struct MemoryDots {
    int32_t kept[kMemoryDotCount];     // 1: survives into later runs (the map file)
    DotDisplay shown[kMemoryDotCount]; // for one dialog; at most one Current
    int32_t previewed;                 // slot shown in the large preview cell, or -1
    int32_t hovered;                   // slot last hovered, or -1
    uint32_t dirty;                    // what the view must redraw; it clears the bits
    uint8_t mapLoaded;                 // the map was read in this process
    // Called before a slot is written, so the thumbnail shows the current
    // preview; nullptr when there is none.
    void (*captureThumbnail)(void* context);
    void* captureContext;
};

// The process-wide record the dialog and the run use.
MemoryDots& memoryDots();

// Nothing kept, nothing shown, no preview; the capture hook stays.
void memoryDotsReset(MemoryDots* dots);

// "Lakra A memory dot N.q8r" in the temporary folder, N 0..25; 99 and an
// empty FileSpec for any other slot.
[[nodiscard]] Result memoryDotFileSpec(int32_t slot, FileSpec* fileSpec);

// The keep map. Loading zeroes every flag first, so a missing or short map
// keeps the rest; any non-zero flag counts as kept. Returns 0, 99 (no map)
// or -19 (short). Saving writes nothing before a map was loaded in this process,
// so an early clean-up cannot wipe the dots of earlier runs.
[[nodiscard]] Result memoryDotsLoadMap(MemoryDots* dots);
[[nodiscard]] Result memoryDotsSaveMap(MemoryDots* dots);

// The operations. Each returns false, changing nothing, for a slot outside
// 0..24. Write and read failures of slot files are not reported.
//
// store: writes the slot file from settings and makes the slot current.
bool memoryDotStore(MemoryDots* dots, int32_t slot, Settings* settings);
// recall: names the look "dot N" (N = slot + 1), reads the slot file into
// settings and makes the slot current. A missing or damaged file leaves the
// look unchanged and empties the preview cell.
bool memoryDotRecall(MemoryDots* dots, int32_t slot, Settings* settings);
// clear: empty and not kept; empties the preview cell.
bool memoryDotClear(MemoryDots* dots, int32_t slot);
// unkeep: not kept, but still filled while the dialog is open.
bool memoryDotUnkeep(MemoryDots* dots, int32_t slot);
// preview: the slot's thumbnail (a thumbnail-only read through the preset
// hooks) goes into the large preview cell.
bool memoryDotPreview(MemoryDots* dots, int32_t slot);
// Empties the large preview cell.
void memoryDotsClearPreview(MemoryDots* dots);

// What a click did, so the dialog knows whether to refresh its controls.
enum class DotAction { None, Stored, Recalled, Cleared, Unkept, SaveGalleryPage, BatchResave };

// A click on dot control `slot`: an empty slot stores (Ctrl: not kept); on a
// filled one the right button clears, Ctrl unkeeps and a plain click recalls.
DotAction memoryDotClick(MemoryDots* dots, int32_t slot, bool rightButton, bool ctrlHeld,
                         Settings* settings);
// A click on the large preview cell: the right button asks for the gallery
// page, Ctrl for the batch re-save (both are the caller's); a plain click
// recalls the previewed slot.
DotAction memoryDotCellClick(MemoryDots* dots, bool rightButton, bool ctrlHeld, Settings* settings);
// The pointer over dot `slot` (-1: over anything else). A filled slot not yet
// hovered is previewed; an empty one empties the cell.
void memoryDotHover(MemoryDots* dots, int32_t slot);
// The dialog opens: kept slots show as filled, then the incoming look goes
// into the first slot not kept, not kept itself, and is previewed. Returns that
// slot, or -1 when all are kept.
int32_t memoryDotsOpen(MemoryDots* dots, Settings* settings);

} // namespace lakra
