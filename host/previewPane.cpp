#include "host/previewPane.h"

#include "host/accessors.h"
#include "host/filterHost.h"
#include "host/selectors.h"
#include "pyramid/copy.h"
#include "pyramid/levels.h"
#include "render/renderInto.h"

#include <algorithm>
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

Result capturePreviewThumbnail(const PluginState& state, ImagePyramid* thumbnail) {
    const PreviewBitmap& picture = state.render.preview;
    if (picture.data == nullptr || picture.width < 1 || picture.height < 1) {
        return failWith(paramErr);
    }
    PyramidPtr copy(pyramidCreate(picture.width, picture.height, PixelFormat::Rgba8));
    if (copy == nullptr) {
        return failWith(memFullErr);
    }
    const int32_t lastPlane = picture.planes - 1;
    for (int32_t y = 0; y < picture.height; ++y) {
        const uint8_t* row = picture.data + static_cast<size_t>(y) * picture.rowBytes;
        for (int32_t x = 0; x < picture.width; ++x) {
            const uint8_t* at = row + static_cast<size_t>(x) * picture.columnBytes;
            uint32_t word = 0xFFu;
            for (int32_t c = 0; c < 3; ++c) {
                const uint32_t value = at[static_cast<size_t>(std::min(c, lastPlane)) *
                                          static_cast<size_t>(picture.planeBytes)];
                word |= value << (24 - 8 * c);
            }
            writeRgba8(x, y, copy.get(), 0, word);
        }
    }
    const Result built = buildLevels(copy.get());
    if (built != noErr) {
        return built;
    }
    return copyPyramidImage(copy.get(), thumbnail);
}

} // namespace lakra
