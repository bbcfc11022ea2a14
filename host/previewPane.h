#pragma once

// The picture in the preview dialog's pane: the look rendered at the
// preview's scale and pan into the state's 8-bit planar buffer, and handed to
// the host's displayPixels.

#include "host/abi.h"
#include "host/pluginState.h"
#include "platform/result.h"
#include "pyramid/pyramid.h"
#include "render/settings.h"

#include <cstdint>

namespace lakra {

// Renders a picture of width x height pane pixels, reading the host's image
// first when the run has not yet. paramErr for an empty picture, memFullErr
// when the buffer cannot be had; render failures as the renderer reports them.
[[nodiscard]] Result renderPreviewPicture(FilterRecord& record, Settings* settings,
                                          PluginState* state, int32_t width, int32_t height);

// The last picture as the host's pixel map: version 1, the base image mode,
// one plane after the other, bounds from (0, 0).
[[nodiscard]] PSPixelMap previewPixelMap(const FilterRecord& record, const PluginState& state);

// Draws the last picture with its top-left corner at (left, top) of the
// platform's context (on Windows a device context). paramErr when the host
// has no displayPixels or there is no picture yet.
[[nodiscard]] Result showPreviewPicture(const FilterRecord& record, const PluginState& state,
                                        int32_t left, int32_t top, void* platformContext);

// The last picture, resampled into `thumbnail` (an initialised Rgba8 record,
// 128 x 128 for the one presets and memory dots carry), so what is saved
// shows the look as the pane does. paramErr when there is no picture yet;
// memFullErr when the picture cannot be copied.
[[nodiscard]] Result capturePreviewThumbnail(const PluginState& state, ImagePyramid* thumbnail);

} // namespace lakra
