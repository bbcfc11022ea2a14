#pragma once

#include "platform/result.h"
#include "render/driver.h"
#include "render/settings.h"

namespace lakra {

// The renderer's part of the plug-in state: what it needs to know about the
// host's image and the preview pane between renders.
struct RenderState {
    int32_t filterWidth; // the host's filter rectangle
    int32_t filterHeight;
    PixelRect previewRect;      // the preview pane, in preview pixels
    float previewScaleFactor;   // the pane's zoom as the dialog shows it
    ImagePyramid* offlineImage; // the Offline target
    const JobOps* waterJob;     // the water render's job kind
    void* waterJobData;         // and its own data, handed to every unit
};

// Renders the effect into a target: the whole host image (Host), the preview
// pane (Preview) or the plug-in's own image (Offline). The view state and the
// look are the same afterwards as before; pass ends at -1.
[[nodiscard]] Result renderInto(RenderTarget target, Settings* settings, RenderState* state,
                                RenderHost* host, ProgressSink* progress,
                                RenderStats* stats = nullptr);

} // namespace lakra
