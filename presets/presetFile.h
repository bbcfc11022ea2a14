#pragma once

// Preset files (*.q8r): a look as a flat run of 32-bit big-endian integers,
// versioned by the first word. The same format stores the cached look, the
// memory dots and the undo snapshots. The writer writes the current version;
// the reader accepts every version from 1 on and converts old meanings.

#include "files/files.h"
#include "platform/result.h"
#include "render/settings.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

inline constexpr int32_t kPresetVersion = 41;
static_assert(kPresetVersion == kSettingsFormatVersion);
static_assert(sizeof(FileSpec) == kFileSpecBytes);

// The file's first word names no version this reader knows (below 1 or newer
// than kPresetVersion); nothing was stored.
inline constexpr Result kPresetUnknownVersion = -21;

// A stored thumbnail's JPEG bytes fit this buffer; a longer one is skipped.
inline constexpr size_t kThumbnailJpegBytes = 49152;
inline constexpr int32_t kThumbnailMaxSide = 128;
inline constexpr int32_t kTextureMaxSide = 128;

enum class PresetReadMode {
    Full,         // every value into Settings, then the thumbnail
    ThumbnailOnly // values are read past; only the thumbnail and texture are kept
};

// What the file format holds besides Settings. The plug-in installs these once
// (the JPEG thumbnail, the texture store); each one left nullptr means that part
// is not there: a lone zero word is written, and a reader skips the block.
struct PresetHooks {
    // Writes the whole thumbnail record (present = 1, width, height, byte count,
    // JPEG bytes) or a lone present = 0; the writer may be in sizing mode.
    void (*writeThumbnail)(void* context, FileWriter* writer) = nullptr;
    // A thumbnail record's JPEG: width and height clamped to 0..128, at most
    // kThumbnailJpegBytes bytes. Returns whether a thumbnail was taken.
    bool (*decodeThumbnail)(void* context, PresetReadMode mode, int32_t width, int32_t height,
                            const uint8_t* jpeg, size_t bytes) = nullptr;
    // An n x n opaque texture (n 0..128), rows top down, 3 bytes per pixel (RGB).
    void (*installTexture)(void* context, int32_t side, const uint8_t* rgb) = nullptr;
    void* context = nullptr;
};

// The process-wide hooks; nullptr restores none.
void setPresetHooks(const PresetHooks* hooks);
// The hooks in place, so that a caller can put them back after its own.
[[nodiscard]] PresetHooks presetHooks();

// Sets formatVersion to the current version and writes every row. Returns 0,
// the opening error (99), or the first write error (-20).
[[nodiscard]] Result presetWrite(const FileSpec& fileSpec, Settings* settings);
// The same rows onto an open writer (sizing mode included).
void presetWriteTo(FileWriter* writer, Settings* settings);

// Reads a preset file. Full mode stores each value as it is read and converts
// older meanings; a file that ends early keeps the previous values of the
// fields it no longer reaches. ThumbnailOnly stores nothing in Settings (which
// may then be nullptr). Look values that the renderer relies on are brought
// into their ranges. The name in Settings is left alone (the load command
// names the look after its file). Returns 0; 99 when the file cannot be
// opened; -19 when the file ends before its version's rows do (or a read
// fails); kPresetUnknownVersion.
[[nodiscard]] Result presetRead(const FileSpec& fileSpec, PresetReadMode mode, Settings* settings);
// The same from an open file, from its current position.
[[nodiscard]] Result presetReadFrom(PlatformFile* file, PresetReadMode mode, Settings* settings);

} // namespace lakra
