#include "host/previewPane.h"

#include "host/accessors.h"
#include "host/filterHost.h"
#include "host/selectors.h"
#include "render/renderInto.h"

#include <cstdlib>

namespace lakra {

Result renderPreviewPicture(FilterRecord& record, Settings* settings, PluginState* state,
                            int32_t width, int32_t height) {
    if (width < 1 || height < 1) {
        return failWith(paramErr);
    }
    if (state->sourceReady == 0) {
        const Result loaded = loadHostImage(record, settings, state);
        if (loaded != noErr) {
            return loaded;
        }
    }
    aimRenderAtHost(record, state);
    const int32_t planes = baseMode(record.imageMode) == plugInModeGrayScale ? 1 : 3;
    const int64_t bytes = static_cast<int64_t>(planes) * width * height;
    if (bytes > INT32_MAX) {
        return failWith(paramErr);
    }
    if (state->proxyBuffer == nullptr || state->proxyBytes != bytes) {
        std::free(state->proxyBuffer);
        state->proxyBytes = 0;
        state->proxyBuffer = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
        if (state->proxyBuffer == nullptr) {
            return failWith(memFullErr);
        }
        state->proxyBytes = static_cast<int32_t>(bytes);
    }
    RenderState& render = state->render;
    render.previewRect = PixelRect{0, 0, height, width};
    render.preview =
        PreviewBitmap{state->proxyBuffer, width, height, planes, 1, width, width * height};
    FilterRecordHost host(&record, settings);
    return renderInto(RenderTarget::Preview, settings, &render, &host, nullptr);
}

PSPixelMap previewPixelMap(const FilterRecord& record, const PluginState& state) {
    const PreviewBitmap& picture = state.render.preview;
    PSPixelMap map{};
    map.version = 1;
    map.bounds = VRect{0, 0, picture.height, picture.width};
    map.imageMode = baseMode(record.imageMode);
    map.rowBytes = picture.rowBytes;
    map.colBytes = picture.columnBytes;
    map.planeBytes = picture.planeBytes;
    map.baseAddr = picture.data;
    return map;
}

Result showPreviewPicture(const FilterRecord& record, const PluginState& state, int32_t left,
                          int32_t top, void* platformContext) {
    const DisplayPixelsProc display = getDisplayPixels(record);
    if (display == nullptr || state.proxyBuffer == nullptr ||
        state.render.preview.data == nullptr) {
        return failWith(paramErr);
    }
    const PSPixelMap map = previewPixelMap(record, state);
    const VRect source = map.bounds;
    return display(&map, &source, top, left, platformContext);
}

} // namespace lakra
