#include "render/renderInto.h"

#include "pyramid/pyramid.h"

namespace lakra {

namespace {

struct ViewState {
    int32_t panX;
    int32_t panY;
    RenderTarget renderTarget;
    int32_t previewScale;
    float previewScaleFactor;
    PixelRect previewRect;
};

ViewState saveView(const Settings& settings, const RenderState& state) {
    return ViewState{settings.panX,
                     settings.panY,
                     settings.renderTarget,
                     settings.previewScale,
                     state.previewScaleFactor,
                     state.previewRect};
}

void restoreView(const ViewState& view, Settings* settings, RenderState* state) {
    settings->panX = view.panX;
    settings->panY = view.panY;
    settings->renderTarget = view.renderTarget;
    settings->previewScale = view.previewScale;
    state->previewScaleFactor = view.previewScaleFactor;
    state->previewRect = view.previewRect;
}

} // namespace

Result renderInto(RenderTarget target, Settings* settings, RenderState* state, RenderHost* host,
                  ProgressSink* progress, RenderStats* stats) {
    const ViewState view = saveView(*settings, *state);
    Settings look{};
    copyLook(*settings, &look);
    settings->renderTarget = target;

    RenderRequest request{};
    request.ops = state->waterJob;
    request.rate = 1;
    request.context = state->waterJobData;
    switch (target) {
    case RenderTarget::Preview:
        // A preview reports no progress: pass stays as the caller left it.
        request.rect = state->previewRect;
        request.rate = settings->previewScale < 1 ? 1 : settings->previewScale;
        break;
    case RenderTarget::Offline: {
        const ImagePyramid* image = state->offlineImage;
        request.rect =
            image == nullptr ? PixelRect{} : PixelRect{0, 0, image->height[0], image->width[0]};
        break;
    }
    case RenderTarget::Host:
    default:
        request.rect = PixelRect{0, 0, state->filterHeight, state->filterWidth};
        break;
    }
    if (target != RenderTarget::Preview) {
        settings->previewScale = 1;
        settings->panX = 0;
        settings->panY = 0;
        settings->passCount = 1;
        settings->pass = 1;
        if (target == RenderTarget::Host && host != nullptr) {
            host->progress(2, 100);
        }
    }

    // The water render's tables are built once here, never per pixel.
    ShadingJob shading;
    if (request.ops == nullptr && state->source == nullptr) {
        restoreView(view, settings, state);
        return failWith(filterBadParameters); // nothing to reflect
    }
    if (request.ops == nullptr) {
        HostImageFormat format = state->hostFormat;
        if (target == RenderTarget::Offline && state->offlineImage != nullptr) {
            format.depth = state->offlineImage->format == PixelFormat::RgbaFloat ? 32 : 8;
        }
        shadingJobBuild(target, *settings, state->source, format, request.rect, &shading);
        shading.host = host;
        shading.offlineImage = target == RenderTarget::Offline ? state->offlineImage : nullptr;
        shading.preview = state->preview;
        request.ops = &kWaterJobOps;
        request.context = &shading;
    }

    RenderContext context{};
    context.host = host;
    context.progress = progress;
    context.processors = state->processors;
    context.target = settings->renderTarget;
    context.pass = settings->pass;
    context.passCount = settings->passCount;
    const Result result = render(context, request, kLayoutTiles, stats);

    settings->pass = -1;
    restoreView(view, settings, state);
    copyLook(look, settings);
    return result;
}

} // namespace lakra
