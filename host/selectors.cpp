#include "host/selectors.h"

#include "host/accessors.h"
#include "host/blocks.h"
#include "host/filterHost.h"
#include "host/hostContext.h"
#include "host/scripting.h"
#include "host/seams.h"
#include "host/ui.h"
#include "platform/platform.h"
#include "presets/randomLook.h"
#include "presets/thumbnail.h"
#include "pyramid/pyramid.h"
#include "render/loadSource.h"
#include "render/renderInto.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace lakra {

namespace {

// The preview's buffers are kept small: their size follows at most a
// 256 x 256 corner of the filter rectangle.
constexpr int32_t kMaxSpaceSide = 256;

// The processor count, or the count LAKRA_THREADS asks for (the command-line
// host's --threads).
int32_t processorsForRun() {
    const char* wanted = std::getenv("LAKRA_THREADS"); // NOLINT(concurrency-mt-unsafe): host thread
    if (wanted != nullptr) {
        const long count = std::strtol(wanted, nullptr, 10);
        if (count >= 1 && count <= 1024) {
            return static_cast<int32_t>(count);
        }
    }
    return processorCount();
}

void constructPyramids(PluginState* state) {
    if (state->constructed == 0) {
        pyramidConstruct(&state->source);
        pyramidConstruct(&state->thumbnail);
        state->scratch = nullptr;
        state->constructed = 1;
    }
}

PixelFormat formatForDepth(int32_t depth) {
    if (depth == 32) {
        return PixelFormat::RgbaFloat;
    }
    return depth == 16 ? PixelFormat::Rgba16 : PixelFormat::Rgba8;
}

// State start-up of the start selector.
void startUp(FilterRecord& record, Settings* settings, PluginState* state) {
    constructPyramids(state);
    state->render.processors = processorsForRun();
    pyramidFreeTiles(&state->thumbnail);
    if (pyramidInit(&state->thumbnail, 128, 128, PixelFormat::Rgba8)) {
        thumbnailFillBlank(&state->thumbnail);
    }
    // Presets read now take their thumbnails into the state's thumbnail. The
    // preview image that a saved preset's thumbnail is made of comes with the
    // preview dialog; until then presets are written without one.
    PresetHooks hooks = thumbnailPresetHooks(&state->thumbnail);
    hooks.writeThumbnail = nullptr;
    setPresetHooks(&hooks);
    pyramidDestroy(&state->scratch);
    state->scratch = pyramidCreate(100, 100, PixelFormat::Rgba8);
    if (!descriptorPresent(record)) {
        loadCachedSettings(settings);
    }
    if (state->firstRunOfInvocation != 0) {
        state->firstRunOfInvocation = 0;
        settings->psdSizeMode = kPsdSameSize;
        settings->psdWidth = 100;
        settings->psdHeight = 100;
    }
    settings->presetsFolder[0] = '\0';
    settings->psdFolder[0] = '\0';
    settings->gallerySourceFolder[0] = '\0';
    loadMemoryDotMap();
}

Result renderWholeImage(FilterRecord& record, Settings* settings, PluginState* state) {
    const Result loaded = loadHostImage(record, settings, state);
    if (loaded != noErr) {
        return loaded;
    }
    aimRenderAtHost(record, state);
    FilterRecordHost host(&record, settings);
    return renderInto(RenderTarget::Host, settings, &state->render, &host, nullptr);
}

} // namespace

Result loadHostImage(FilterRecord& record, Settings* settings, PluginState* state) {
    const PixelRect filter = filterRectOf(record);
    const int32_t width = rectWidth(filter);
    const int32_t height = rectHeight(filter);
    pyramidFreeTiles(&state->source);
    state->sourceReady = 0;
    if (width < 1 || height < 1) {
        return failWith(filterBadParameters);
    }
    if (!pyramidInit(&state->source, width, height, formatForDepth(depthBits(record)))) {
        return failWith(memFullErr);
    }
    // Tiles are read at full size, without the preview's pan.
    const int32_t scale = settings->previewScale;
    const int32_t panX = settings->panX;
    const int32_t panY = settings->panY;
    settings->previewScale = 1;
    settings->panX = 0;
    settings->panY = 0;
    FilterRecordHost host(&record, settings);
    const Result loaded = loadSource(&host, &state->source, state->render.processors);
    settings->previewScale = scale;
    settings->panX = panX;
    settings->panY = panY;
    if (loaded == noErr) {
        state->sourceReady = 1;
    }
    return loaded;
}

void aimRenderAtHost(const FilterRecord& record, PluginState* state) {
    RenderState& render = state->render;
    const PixelRect filter = filterRectOf(record);
    render.filterWidth = rectWidth(filter);
    render.filterHeight = rectHeight(filter);
    render.source = &state->source;
    render.hostFormat =
        HostImageFormat{depthBits(record), record.planes, editableTransparency(record)};
    render.waterJob = nullptr;
    render.waterJobData = nullptr;
}

void cleanUpRun() {
    HostContext& host = currentHost();
    saveMemoryDotMap();
    PluginState* state = host.state;
    if (state == nullptr) {
        return;
    }
    setPresetHooks(nullptr); // they point into the state's thumbnail
    if (state->constructed != 0) {
        pyramidFreeTiles(&state->source);
        pyramidFreeTiles(&state->thumbnail);
        pyramidDestroy(&state->scratch);
    }
    state->sourceReady = 0;
    std::free(state->proxyBuffer);
    state->proxyBuffer = nullptr;
    state->proxyBytes = 0;
    state->render.preview = PreviewBitmap{};
    state->render.source = nullptr;
    state->render.offlineImage = nullptr;
}

void doAbout() {
    showAbout();
}

void doParameters() {
    optInToBigDocument(*currentHost().record);
    const Result result = obtainBlocks();
    if (result != noErr) {
        setHostResult(result);
        return;
    }
    HostContext& host = currentHost();
    host.state->showDialog = 1;
    host.state->firstRunOfInvocation = 1;
}

void doPrepare() {
    HostContext& host = currentHost();
    const Result result = blocksExist() ? lockBlocks() : obtainBlocks();
    if (result != noErr) {
        setHostResult(result);
        return;
    }
    FilterRecord& record = *host.record;
    optInToBigDocument(record);
    record.bufferSpace = 0;
    const PixelRect filter = filterRectOf(record);
    const int64_t width = std::clamp<int64_t>(rectWidth(filter), 0, kMaxSpaceSide);
    const int64_t height = std::clamp<int64_t>(rectHeight(filter), 0, kMaxSpaceSide);
    const int64_t planes = record.planes + (getMaskData(record) != nullptr ? 1 : 0);
    const int64_t wanted = 2 * planes * width * height;
    if (wanted < record.maxSpace) {
        record.maxSpace = static_cast<int32_t>(wanted);
    }

    // Dice and Ecce draw from a generator seeded anew at every prepare.
    seedRandomFromTime();

    Settings* settings = host.settings;
    setDotName(settings, "Lakra settings");
    settings->previewPossible = 0;
    settings->previewScale = 1;
    settings->renderTarget = RenderTarget::Host;
    settingsReset(settings);

    PluginState* state = host.state;
    state->filterWidth = rectWidth(filter);
    state->filterHeight = rectHeight(filter);
    state->previewScaleFactor = 1.0f;
}

void doStart() {
    HostContext& host = currentHost();
    if (lockBlocks() != noErr || host.settings == nullptr) {
        return;
    }
    FilterRecord& record = *host.record;
    Settings* settings = host.settings;
    PluginState* state = host.state;
    settings->previewPossible =
        (getAdvanceState(record) != nullptr && getDisplayPixels(record) != nullptr) ? 1 : 0;
    startUp(record, settings, state);

    if (getAdvanceState(record) == nullptr) {
        showRefusal(Refusal::HostInsufficient);
        setHostResult(kAlreadyReported);
    } else if (record.imageMode == plugInModeMultichannel ||
               record.imageMode == plugInModeDeepMultichannel) {
        showRefusal(Refusal::Multichannel);
        setHostResult(kAlreadyReported);
    } else if (baseMode(record.imageMode) != plugInModeGrayScale &&
               baseMode(record.imageMode) != plugInModeRGBColor) {
        // Hosts may call a filter on modes its property list does not name.
        showRefusal(Refusal::UnsupportedMode);
        setHostResult(kAlreadyReported);
    }
    if (hostResult() != noErr) {
        cleanUpRun();
        return;
    }

    bool showDialog = state->showDialog != 0;
    (void)readScriptParameters(record, settings, &showDialog);
    state->showDialog = showDialog ? 1 : 0;
    bool confirmed = true;
    if (state->showDialog != 0) {
        initUndo();
        confirmed = runPreviewDialog();
    }
    state->showDialog = 0;

    if (hostResult() == noErr && confirmed) {
        const Result rendered = renderWholeImage(record, settings, state);
        if (rendered != noErr) {
            setHostResult(rendered);
            cleanUpRun();
            return;
        }
        saveCachedSettings(settings);
        return;
    }
    if (hostResult() == noErr) {
        setHostResult(userCanceledErr);
    }
    cleanUpRun();
}

void doContinue() {
    FilterRecord& record = *currentHost().record;
    // All the work happened at start: empty rectangles end the host's loop.
    // The data pointers stay as they are; some hosts crash when they are nulled.
    setInRect(record, PixelRect{});
    setOutRect(record, PixelRect{});
    setMaskRect(record, PixelRect{});
    record.inRect = Rect{0, 0, 0, 0};
    record.outRect = Rect{0, 0, 0, 0};
    record.maskRect = Rect{0, 0, 0, 0};
}

void doFinish() {
    HostContext& host = currentHost();
    if (lockBlocks() != noErr) {
        return;
    }
    (void)writeScriptParameters(*host.record, host.settings);
    cleanUpRun();
}

} // namespace lakra
