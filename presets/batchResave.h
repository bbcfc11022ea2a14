#pragma once

// The batch re-save: every preset of a folder whose name is marked "q5q" or
// "q9q" (any case) is read, given a fresh thumbnail and written back in the
// current format; "q9q" files then take the extension ".q5q". The dialog
// drives it from the large memory-dot cell, the command line from
// `lakra preset resave`; both supply the thumbnail through the hooks.

#include "files/files.h"
#include "platform/result.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

// Another walk is running; this one did nothing.
inline constexpr Result kResaveRunning = -22;

struct ImagePyramid;
struct MemoryDots;
struct Settings;

// What became of one marked file.
enum class ResaveOutcome : uint8_t {
    Resaved,  // written in place
    Renamed,  // written, then renamed to ".q5q"
    KeptName, // written, but the ".q5q" name is taken: the old name stays
    NotRead,  // could not be read; left as it was
    NotSaved, // read, but writing failed
    ReadOnly, // skipped
};

struct ResaveHooks {
    // The preset was read into settings (its name is the look's name): show
    // it and put the picture the save stores into `thumbnail`. Null: the
    // thumbnail stays blank.
    void (*loaded)(void* context, Settings* settings, ImagePyramid* thumbnail) = nullptr;
    // One call per marked file, in the order the folder lists them.
    void (*report)(void* context, const char* name, ResaveOutcome outcome, Result result) = nullptr;
    // Asked before each marked file: true ends the walk there (the look is
    // put back as after a whole walk). Null: the walk goes to the end.
    bool (*stopRequested)(void* context) = nullptr;
    void* context = nullptr;
};

struct ResaveSummary {
    int32_t resaved = 0; // Resaved, Renamed and KeptName together
    int32_t renamed = 0;
    int32_t keptName = 0;
    int32_t notRead = 0;
    int32_t notSaved = 0;
    int32_t readOnly = 0;
    int32_t left = 0; // marked files not reached: the walk was stopped
};

// Whether a file name marks a preset for the re-save.
bool isResaveName(const char* name);
// The name a re-saved "q9q" file takes: its extension (from the last '.')
// replaced by ".q5q". False, with an empty name, when it does not fit.
bool resaveRenamedName(const char* name, char* renamed, size_t bytes);

// Walks the folder part of `folder` (any file in it, or the folder with a
// trailing separator). The look is kept in the memory dots' scratch slot
// and recalled at the end, so settings holds the same look afterwards;
// `thumbnail` (the plug-in's 128 x 128 Rgba8 thumbnail) is reset to the blank
// thumbnail before each file and the preset hooks store it. Returns 0; the
// listing's error (nothing done) when the folder cannot be listed;
// kResaveRunning while another walk runs. A file's own thumbnail is not read;
// the preset hooks in place when the walk starts are put back after each
// loaded call, since showing a look may install others.
[[nodiscard]] Result resavePresetFolder(const FileSpec& folder, Settings* settings,
                                        MemoryDots* dots, ImagePyramid* thumbnail,
                                        const ResaveHooks& hooks, ResaveSummary* summary);

} // namespace lakra
