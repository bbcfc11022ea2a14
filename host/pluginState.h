#pragma once

#include "pyramid/pyramid.h"
#include "render/renderInto.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

// The plug-in's working state for one run. It lives in a block the host
// keeps between calls; the images it points to come from the C heap and are
// released at every clean-up.
struct PluginState {
    uint8_t showDialog;           // the start selector opens the preview dialog
    uint8_t firstRunOfInvocation; // set by the parameters selector
    uint8_t sourceReady;          // the source pyramid holds the host's image
    uint8_t constructed;          // the embedded pyramids are constructed
    float previewScaleFactor;     // the preview's zoom
    PixelRect previewRect;        // the preview pane, preview pixels
    uint8_t* proxyBuffer;         // planar 8-bit copy of the preview region
    int32_t proxyBytes;
    int32_t filterWidth; // noted at prepare
    int32_t filterHeight;
    RenderState render;     // what the renderer needs between renders
    ImagePyramid source;    // the host's image, with its levels
    ImagePyramid thumbnail; // 128 x 128, for preset thumbnails
    ImagePyramid* scratch;  // 100 x 100 working image
};

// The host keeps the state in a block of this size.
inline constexpr size_t kStateBlockBytes = 31288;
static_assert(sizeof(PluginState) <= kStateBlockBytes, "the state must fit its block");

} // namespace lakra
