#pragma once

// The two gallery pages: the thumbnails of a folder's presets, and the looks
// kept in the memory dots rendered on the current image.

#include "files/files.h"
#include "platform/result.h"

#include <cstdint>

namespace lakra {

class ProgressSink;
struct ImagePyramid;
struct MemoryDots;
struct RenderState;
struct Settings;

inline constexpr int32_t kPresetPictureSide = 88;
inline constexpr int32_t kMemoryDotPictureSide = 300;

// Every file of the source folder (the folder part of sourceFolder: the
// folder with a trailing separator, or any file in it) whose name contains
// ".q8r" (ignoring case), in the order the file system lists them: its
// thumbnail (read into `thumbnail`, the plug-in's 128 x 128 Rgba8 image,
// through hooks of its own; the previous hooks are put back) as an 88 x 88
// cell and a JPEG beside the page. Returns 0, the error of opening the page
// or the page's first write error.
[[nodiscard]] Result writePresetsPage(const FileSpec& sourceFolder, const FileSpec& page,
                                      ImagePyramid* thumbnail, ProgressSink* progress = nullptr);

// The picture size of a memory dot for a filter rectangle: its larger side 300.
void memoryDotPictureSize(int32_t filterWidth, int32_t filterHeight, int32_t* width,
                          int32_t* height);

// Every set dot, 1 to 25, rendered through the Offline target at its picture
// size in the source's pixel format, written as "dot N.jpg" beside the page
// and shown in a cell; state->layersDone rises by one per dot. The look is
// also stored in the scratch slot; every field of settings, the view state of
// state and the dots' display are as before. Stops at a render that fails
// (a cancel among them) and returns its result; else 0, the error of opening
// the page or the page's first write error.
[[nodiscard]] Result writeMemoryDotsPage(const FileSpec& page, Settings* settings,
                                         RenderState* state, MemoryDots* dots,
                                         ProgressSink* progress);

} // namespace lakra
