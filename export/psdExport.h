#pragma once

// The PSD export job: renders the look at the export size into a working
// image of our own (the Offline target) and writes it as a Photoshop document.

#include "export/psdDocument.h"
#include "files/files.h"
#include "platform/result.h"

#include <cstdint>

namespace lakra {

class ProgressSink;
struct RenderState;
struct Settings;

struct PsdExportOptions {
    ProgressSink* progress = nullptr;    // the render's progress, 0..1 per layer
    const uint8_t* iccProfile = nullptr; // the host's profile, when it has one
    uint32_t iccProfileBytes = 0;
    const UtcDate* date = nullptr; // nullptr: today
};

// Fills the description: the export size (psdWidth x psdHeight when
// settings.exportKind is kExportPsd, else the filter rectangle of state), the
// depth from state.hostFormat.
PsdExportDesc psdExportDesc(const Settings& settings, const RenderState& state);

// Runs the job for `fileSpec`. The view state of settings and the Offline
// image of state are the same afterwards as before; state->layersToRender and
// state->layersDone count the layers. Returns 0, kPsdTooLarge (or
// filterBadParameters for an empty size) before allocating anything,
// kPsdNoWorkingImage, the render's result (cancel -128, -108), the open error
// (99) or the first write error (-20). The render runs before the file is
// opened, so a refused, failed or cancelled export leaves an existing file as
// it was.
[[nodiscard]] Result psdExport(const FileSpec& fileSpec, Settings* settings, RenderState* state,
                               const PsdExportOptions& options);

} // namespace lakra
