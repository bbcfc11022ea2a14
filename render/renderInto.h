#pragma once

#include "driver/driver.h"
#include "platform/result.h"
#include "render/settings.h"
#include "render/shading.h"

namespace lakra {

// The renderer's part of the plug-in state: what it needs to know about the
// host's image and the preview pane between renders.
struct RenderState {
    int32_t filterWidth; // the host's filter rectangle
    int32_t filterHeight;
    PixelRect previewRect;      // the preview pane, in preview pixels
    float previewScaleFactor;   // the pane's zoom as the dialog shows it
    ImagePyramid* offlineImage; // the Offline target
    const ImagePyramid* source; // the image the water reflects, levels built
    HostImageFormat hostFormat; // of the host's image
    PreviewBitmap preview;      // where a Preview render draws
    int32_t processors;         // processors for the render threads; 0: the machine's
    // Another job kind in place of the water render, with its own data; null
    // for the water render itself.
    const JobOps* waterJob;
    void* waterJobData;
    // The export's progress: layers to render and layers done.
    int32_t layersToRender;
    int32_t layersDone;
};

// Renders the effect into a target: the whole host image (Host), the preview
// pane (Preview) or the plug-in's own image (Offline). The view state and the
// look are the same afterwards as before; pass ends at -1.
[[nodiscard]] Result renderInto(RenderTarget target, Settings* settings, RenderState* state,
                                RenderHost* host, ProgressSink* progress,
                                RenderStats* stats = nullptr);

} // namespace lakra
