#include "apps/lakra/protocolHost.h"

#include "apps/lakra/protocolRegions.h"
#include "platform/platform.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace lakra {

namespace {

constexpr Result kMemLockedErr = -117; // a locked handle cannot change size

// A Handle points at data, the first member, so *handle is the block as the
// protocol expects; the rest is the host's bookkeeping.
struct HandleBody {
    char* data;
    int32_t size;
    int32_t locks;
};

struct BufferBody {
    char* data;
    int64_t size;
};

std::vector<HandleBody*> gHandles;
std::vector<BufferBody*> gBuffers;
volatile std::sig_atomic_t gInterrupted = 0;

} // namespace

struct HostRun {
    FilterRecord* record = nullptr; // 608 zeroed bytes
    HostPixels input;
    HostPixels output;   // owns its pixels
    HostPixels unmasked; // the plug-in's writes before the host applies the selection
    SelectionMask mask;
    bool haveMask = false;
    HandleProcs handleProcs{};
    BufferProcs bufferProcs{};
    PlatformData platform{};
    BigDocumentStruct bigDocument{};
    PIDescriptorParameters descriptorParameters{};
    ReadDescriptorProcs readProcs{};
    WriteDescriptorProcs writeProcs{};
    Str255 errorString{};
    intptr_t data = 0;
    RegionBuffers regions;
    bool reportProgress = false;
    int32_t lastPercent = -1;
    HostFaults faults;
    HostDisplayed displayed;
};

namespace {

HostRun* gRun = nullptr;
HostCounters gCounters;

// Counts an allocation; false when a planted fault makes it fail.
bool allocationAllowed(int32_t* counter) {
    ++*counter;
    const int32_t count = gCounters.handleAllocations + gCounters.bufferAllocations;
    return gRun == nullptr || gRun->faults.failAllocation != count;
}

HandleBody* findHandle(Handle handle) {
    const auto it =
        std::find(gHandles.begin(), gHandles.end(), reinterpret_cast<HandleBody*>(handle));
    return it == gHandles.end() ? nullptr : *it;
}

// ------------------------------------------------------------ handle procedures

Handle newHandle(int32_t size) noexcept {
    return hostHandleNew(size);
}

void disposeHandle(Handle handle) noexcept {
    hostHandleDispose(handle);
}

int32_t getHandleSize(Handle handle) noexcept {
    return std::max(hostHandleSize(handle), 0);
}

OSErr setHandleSize(Handle handle, int32_t size) noexcept {
    HandleBody* body = findHandle(handle);
    if (body == nullptr) {
        return nilHandleErr;
    }
    if (size < 0) {
        return paramErr;
    }
    // The plug-in may hold the address of a locked block.
    if (body->locks > 0) {
        return kMemLockedErr;
    }
    auto* data = static_cast<char*>(std::realloc(body->data, static_cast<size_t>(size) + 1));
    if (data == nullptr) {
        return memFullErr;
    }
    if (size > body->size) {
        std::memset(data + body->size, 0, static_cast<size_t>(size - body->size));
    }
    body->data = data;
    body->size = size;
    return noErr;
}

Ptr lockHandle(Handle handle, Boolean /*moveHigh*/) noexcept {
    HandleBody* body = findHandle(handle);
    if (body == nullptr) {
        return nullptr;
    }
    ++body->locks;
    return body->data;
}

void unlockHandle(Handle handle) noexcept {
    HandleBody* body = findHandle(handle);
    if (body != nullptr && body->locks > 0) {
        --body->locks;
    }
}

void recoverSpace(int32_t /*size*/) noexcept {}

// ------------------------------------------------------------ buffer procedures

BufferBody* findBuffer(BufferID id) {
    const auto it = std::find(gBuffers.begin(), gBuffers.end(), reinterpret_cast<BufferBody*>(id));
    return it == gBuffers.end() ? nullptr : *it;
}

OSErr allocateBuffer64(int64_t size, BufferID* id) noexcept {
    if (id == nullptr || size < 0) {
        return paramErr;
    }
    *id = nullptr;
    if (!allocationAllowed(&gCounters.bufferAllocations) || size > kHostMaxSpaceBytes) {
        return memFullErr;
    }
    auto* body = new (std::nothrow) BufferBody{nullptr, size};
    if (body == nullptr) {
        return memFullErr;
    }
    body->data = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1));
    if (body->data == nullptr) {
        delete body;
        return memFullErr;
    }
    gBuffers.push_back(body);
    *id = reinterpret_cast<BufferID>(body);
    return noErr;
}

OSErr allocateBuffer(int32_t size, BufferID* id) noexcept {
    return allocateBuffer64(size, id);
}

Ptr lockBuffer(BufferID id, Boolean /*moveHigh*/) noexcept {
    BufferBody* body = findBuffer(id);
    return body == nullptr ? nullptr : body->data;
}

void unlockBuffer(BufferID /*id*/) noexcept {}

void freeBuffer(BufferID id) noexcept {
    BufferBody* body = findBuffer(id);
    if (body == nullptr) {
        return;
    }
    gBuffers.erase(std::find(gBuffers.begin(), gBuffers.end(), body));
    std::free(body->data);
    delete body;
}

int64_t bufferSpace64() noexcept {
    return kHostMaxSpaceBytes;
}

int32_t bufferSpace() noexcept {
    return kHostMaxSpaceBytes;
}

OSErr reserveBufferSpace(int32_t /*size*/) noexcept {
    return noErr;
}

// ----------------------------------------------------------- direct callbacks

extern "C" void onInterrupt(int /*signal*/) {
    gInterrupted = 1;
    // A second Ctrl-C ends a plug-in that never asks.
    static_cast<void>(std::signal(SIGINT, SIG_DFL));
}

Boolean testAbort() noexcept {
    ++gCounters.abortCalls;
    const int32_t from = gRun != nullptr ? gRun->faults.abortFromCall : 0;
    return gInterrupted != 0 || (from > 0 && gCounters.abortCalls >= from) ? 1 : 0;
}

void showProgress(int32_t done, int32_t total) noexcept {
    ++gCounters.progressCalls;
    HostRun* run = gRun;
    if (run == nullptr || !run->reportProgress || total <= 0) {
        return;
    }
    const int64_t clamped = std::clamp<int64_t>(done, 0, total);
    const auto percent = static_cast<int32_t>(clamped * 100 / total);
    if (percent != run->lastPercent) {
        run->lastPercent = percent;
        static_cast<void>(std::fprintf(stderr, "\rlakra: %3d%%", static_cast<int>(percent)));
        static_cast<void>(std::fflush(stderr));
    }
}

OSErr advanceState() noexcept {
    HostRun* run = gRun;
    if (run == nullptr) {
        return paramErr;
    }
    const RegionImages images{&run->input, &run->output, &run->unmasked, &run->mask, run->haveMask};
    return serveRegions(*run->record, images, &run->regions);
}

HostColorPicker gColorPicker = nullptr;

// colorServices: the colour picker, and conversions within RGB. paramErr for
// a request the record does not describe; userCanceledErr for a cancelled
// choice, as hosts answer it.
OSErr colorServices(ColorServicesInfo* info) noexcept {
    HostRun* run = gRun;
    if (run == nullptr || info == nullptr || info->infoSize < static_cast<int32_t>(sizeof *info)) {
        return paramErr;
    }
    const bool rgbIn = info->sourceSpace == plugIncolorServicesRGBSpace;
    switch (info->selector) {
    case plugIncolorServicesChooseColor: {
        uint8_t rgb[3];
        for (int i = 0; i < 3; ++i) {
            const int value = rgbIn ? info->colorComponents[i] : 0;
            rgb[i] = static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
        }
        // The command line has no window of its own to own the dialog.
        const bool chosen = gColorPicker != nullptr ? gColorPicker(rgb) : chooseColor(nullptr, rgb);
        if (!chosen) {
            return userCanceledErr;
        }
        for (int i = 0; i < 3; ++i) {
            info->colorComponents[i] = rgb[i];
        }
        info->colorComponents[3] = 0;
        info->resultSpace = plugIncolorServicesRGBSpace;
        return noErr;
    }
    case plugIncolorServicesConvertColor:
        // Only RGB to RGB: nothing to convert.
        if (!rgbIn || (info->resultSpace != plugIncolorServicesRGBSpace &&
                       info->resultSpace != plugIncolorServicesChosenSpace)) {
            return paramErr;
        }
        info->resultSpace = plugIncolorServicesRGBSpace;
        return noErr;
    default:
        return paramErr;
    }
}

// Keeps a copy of what the plug-in shows and draws it into the platform's
// context, when there is one.
OSErr displayPixels(const PSPixelMap* source, const VRect* srcRect, int32_t dstRow, int32_t dstCol,
                    void* platformContext) noexcept {
    HostRun* run = gRun;
    if (run == nullptr || source == nullptr || srcRect == nullptr || source->baseAddr == nullptr) {
        return paramErr;
    }
    const VRect& r = *srcRect;
    const VRect& b = source->bounds;
    if (r.top < b.top || r.left < b.left || r.bottom > b.bottom || r.right > b.right ||
        r.top >= r.bottom || r.left >= r.right) {
        return paramErr;
    }
    const int32_t planes = source->imageMode == plugInModeGrayScale ? 1 : 3;
    HostDisplayed& shown = run->displayed;
    ++shown.calls;
    shown.map = *source;
    shown.source = r;
    shown.row = dstRow;
    shown.column = dstCol;
    shown.planes.clear();
    const auto* base = static_cast<const uint8_t*>(source->baseAddr);
    for (int32_t p = 0; p < planes; ++p) {
        for (int32_t y = r.top; y < r.bottom; ++y) {
            for (int32_t x = r.left; x < r.right; ++x) {
                const int64_t at = static_cast<int64_t>(y - b.top) * source->rowBytes +
                                   static_cast<int64_t>(x - b.left) * source->colBytes +
                                   static_cast<int64_t>(p) * source->planeBytes;
                shown.planes.push_back(base[at]);
            }
        }
    }
    if (platformContext != nullptr) {
        (void)drawPlanarPicture(platformContext, dstCol, dstRow, shown.planes.data(),
                                r.right - r.left, r.bottom - r.top, planes);
    }
    return noErr;
}

// ----------------------------------------------------------------- the record

int16_t imageModeOf(const HostPixels& image) {
    const bool colour = image.colorPlanes == 3;
    if (image.depth == 16) {
        return colour ? plugInModeRGB48 : plugInModeGray16;
    }
    if (image.depth == 32) {
        return colour ? plugInModeRGB96 : plugInModeGray32;
    }
    return colour ? plugInModeRGBColor : plugInModeGrayScale;
}

int16_t filterCaseOf(const HostPixels& image, bool haveMask) {
    if (image.alpha) {
        return haveMask ? filterCaseEditableTransparencyWithSelection
                        : filterCaseEditableTransparencyNoSelection;
    }
    return haveMask ? filterCaseFlatImageWithSelection : filterCaseFlatImageNoSelection;
}

Fixed toFixed(double value) {
    return static_cast<Fixed>(std::lround(value * 65536.0));
}

void fillTables(HostRun* run) {
    // clang-format off
    run->handleProcs = HandleProcs{
        kCurrentHandleProcsVersion, kCurrentHandleProcsCount, newHandle, disposeHandle,
        getHandleSize, setHandleSize, lockHandle, unlockHandle, recoverSpace, disposeHandle};
    run->bufferProcs = BufferProcs{
        kCurrentBufferProcsVersion, kCurrentBufferProcsCount, allocateBuffer, lockBuffer,
        unlockBuffer, freeBuffer, bufferSpace, reserveBufferSpace, allocateBuffer64,
        bufferSpace64};
    // clang-format on
    descriptorProcsFill(&run->readProcs, &run->writeProcs);
}

bool fitsShortCoordinates(const HostPixels& image) {
    return image.width <= kHostMaxShortSide && image.height <= kHostMaxShortSide;
}

Result fillRecord(HostRun* run, const HostRunOptions& options) {
    FilterRecord& r = *run->record;
    const HostPixels& image = run->input;
    // The 16-bit fields say as much as they can; the 32-bit ones the rest.
    const auto width = static_cast<int16_t>(std::min(image.width, kHostMaxShortSide));
    const auto height = static_cast<int16_t>(std::min(image.height, kHostMaxShortSide));
    setAbortProc(r, testAbort);
    setProgressProc(r, showProgress);
    r.imageSize = Point{height, width};
    r.planes = static_cast<int16_t>(hostPixelsPlanes(image));
    r.filterRect = Rect{0, 0, height, width};
    r.background = RGBColor{65535, 65535, 65535};
    r.foreground = RGBColor{0, 0, 0};
    r.maxSpace = kHostMaxSpaceBytes;
    r.inputPadding = plugInWantsEdgeReplication;
    r.outputPadding = plugInWantsEdgeReplication;
    r.maskPadding = plugInWantsEdgeReplication;
    r.haveMask = run->haveMask ? 1 : 0;
    r.autoMask = run->haveMask ? 1 : 0;
    std::memset(r.backColor, 255, sizeof(r.backColor));
    r.hostSig = kLakraHostSignature;
    r.imageMode = imageModeOf(image);
    r.imageHRes = 72 << 16;
    r.imageVRes = 72 << 16;
    r.wholeSize = r.imageSize;
    // An sRGB display: gamma 2.2, its primaries and a D65 white.
    r.monitor =
        PlugInMonitor{toFixed(2.2),  toFixed(0.64), toFixed(0.33),   toFixed(0.30),   toFixed(0.60),
                      toFixed(0.15), toFixed(0.06), toFixed(0.3127), toFixed(0.3290), 0};
    run->platform.hwnd = options.parentWindow;
    setPlatformData(r, &run->platform);
    setBufferProcs(r, &run->bufferProcs);
    setHandleProcs(r, &run->handleProcs);
    r.filterCase = filterCaseOf(image, run->haveMask);
    setAdvanceState(r, advanceState);
    if (options.offerDisplay) {
        setDisplayPixels(r, displayPixels);
    }
    if (options.offerColorPicker) {
        setColorServices(r, colorServices);
    }
    r.supportsPadding = 1;
    r.samplingSupport = hostSupportsIntegralSampling;
    r.inputRate = 1 << 16;
    r.maskRate = 1 << 16;
    r.inLayerPlanes = static_cast<int16_t>(image.colorPlanes);
    r.outLayerPlanes = r.inLayerPlanes;
    r.inTransparencyMask = image.alpha ? 1 : 0;
    r.outTransparencyMask = r.inTransparencyMask;
    r.errorString = &run->errorString;
    r.depth = image.depth;

    PIDescriptorParameters& d = run->descriptorParameters;
    d.descriptorParametersVersion = kCurrentDescriptorParametersVersion;
    d.playInfo = options.playInfo;
    d.recordInfo = plugInDialogOptional;
    d.writeDescriptorProcs = &run->writeProcs;
    d.readDescriptorProcs = &run->readProcs;
    if (options.look != nullptr) {
        d.descriptor = descriptorToHandle(*options.look);
        if (d.descriptor == nullptr) {
            return memFullErr;
        }
    }
    setDescriptorParameters(r, &d);

    BigDocumentStruct& big = run->bigDocument;
    big.imageSize32 = VPoint{image.height, image.width};
    big.filterRect32 = VRect{0, 0, image.height, image.width};
    big.wholeSize32 = big.imageSize32;
    if (options.offerBigDocument) {
        setBigDocumentData(r, &big);
    }
    setMaxSpace64(r, kHostMaxSpaceBytes);
    return noErr;
}

Result copyImage(const HostPixels& from, HostPixels* to) {
    *to = from;
    const size_t bytes = hostPixelsBytes(from);
    to->pixels = std::malloc(bytes);
    if (to->pixels == nullptr) {
        return memFullErr;
    }
    std::memcpy(to->pixels, from.pixels, bytes);
    return noErr;
}

Result callPlugin(HostRun* run, PluginEntry entry, int16_t selector) {
    int16_t result = noErr;
    entry(selector, run->record, &run->data, &result);
    return result;
}

// The classic loop: serve what start asked for, then continue while any
// region is requested, serving each new request.
Result continueRequests(HostRun* run, PluginEntry entry) {
    Result result = advanceState();
    while (result == noErr && regionsRequested(*run->record)) {
        if (gInterrupted != 0) {
            return userCanceledErr;
        }
        ++gCounters.continueCalls;
        result = callPlugin(run, entry, filterSelectorContinue);
        if (result == noErr) {
            result = advanceState();
        }
    }
    return result;
}

} // namespace

// ------------------------------------------------------------------ public

int32_t hostSampleBytes(int32_t depth) {
    return depth == 32 ? 4 : depth == 16 ? 2 : 1;
}

int32_t hostPixelsPlanes(const HostPixels& image) {
    return image.colorPlanes + (image.alpha ? 1 : 0);
}

size_t hostPixelsBytes(const HostPixels& image) {
    return static_cast<size_t>(image.width) * static_cast<size_t>(image.height) *
           static_cast<size_t>(hostPixelsPlanes(image)) *
           static_cast<size_t>(hostSampleBytes(image.depth));
}

const char* hostPixelsProblem(const HostPixels& image) {
    if (image.colorPlanes != 1 && image.colorPlanes != 3) {
        return "multichannel images are not supported: the filter takes greyscale or RGB, "
               "each with or without transparency";
    }
    if (image.depth != 8 && image.depth != 16 && image.depth != 32) {
        return "only 8-bit, 16-bit and 32-bit (float) samples are supported";
    }
    if (image.width < 1 || image.height < 1 || image.pixels == nullptr) {
        return "the image is empty";
    }
    if (image.width > kHostMaxSide || image.height > kHostMaxSide) {
        return "the image is wider or taller than 300000 pixels, this host's limit";
    }
    return nullptr;
}

Result hostRunCreate(HostRun** run, const HostPixels& image, const SelectionMask* mask,
                     const HostRunOptions& options) {
    *run = nullptr;
    if (gRun != nullptr || hostPixelsProblem(image) != nullptr ||
        (!options.offerBigDocument && !fitsShortCoordinates(image))) {
        return failWith(paramErr);
    }
    if (mask != nullptr &&
        (mask->width != image.width || mask->height != image.height || mask->values == nullptr)) {
        return failWith(paramErr);
    }
    auto* created = new (std::nothrow) HostRun;
    if (created == nullptr) {
        return failWith(memFullErr);
    }
    gRun = created;
    created->input = image;
    created->haveMask = mask != nullptr;
    if (mask != nullptr) {
        created->mask = *mask;
    }
    created->reportProgress = options.reportProgress;
    created->faults = options.faults;
    gCounters = HostCounters{};
    created->record = static_cast<FilterRecord*>(std::calloc(1, sizeof(FilterRecord)));
    Result result = created->record == nullptr ? memFullErr : noErr;
    if (result == noErr) {
        result = copyImage(image, &created->output);
    }
    if (result == noErr && created->haveMask) {
        result = copyImage(image, &created->unmasked);
    }
    if (result == noErr) {
        fillTables(created);
        result = fillRecord(created, options);
    }
    if (result != noErr) {
        hostRunDestroy(created);
        return failWith(result);
    }
    *run = created;
    return noErr;
}

void hostRunDestroy(HostRun* run) {
    if (run == nullptr) {
        return;
    }
    regionBuffersFree(&run->regions);
    std::free(run->output.pixels);
    std::free(run->unmasked.pixels);
    std::free(run->record);
    // Whatever the plug-in left with the host goes with the run.
    descriptorReleaseAll();
    while (!gHandles.empty()) {
        hostHandleDispose(reinterpret_cast<Handle>(gHandles.back()));
    }
    while (!gBuffers.empty()) {
        freeBuffer(reinterpret_cast<BufferID>(gBuffers.back()));
    }
    if (gRun == run) {
        gRun = nullptr;
    }
    delete run;
}

FilterRecord* hostRunRecord(HostRun* run) {
    return run->record;
}

const HostPixels& hostRunOutput(const HostRun* run) {
    return run->output;
}

namespace {

Result runSelectors(HostRun* run, PluginEntry entry, bool withParameters) {
    if (run == nullptr || entry == nullptr) {
        return failWith(paramErr);
    }
    Result result = withParameters ? callPlugin(run, entry, filterSelectorParameters) : noErr;
    if (result == noErr) {
        result = callPlugin(run, entry, filterSelectorPrepare);
    }
    // A plug-in in 16-bit coordinates cannot reach all of a larger image.
    const BigDocumentStruct* big = getBigDocumentData(*run->record);
    if (result == noErr && !fitsShortCoordinates(run->input) &&
        (big == nullptr || big->PluginUsing32BitCoordinates == 0)) {
        result = failWith(kHostNeedsBigDocument);
    }
    if (result == noErr) {
        result = callPlugin(run, entry, filterSelectorStart);
        // Finish follows only a start without error.
        if (result == noErr) {
            result = continueRequests(run, entry);
            const Result finished = callPlugin(run, entry, filterSelectorFinish);
            result = result != noErr ? result : finished;
        }
    }
    if (run->lastPercent >= 0) {
        static_cast<void>(std::fputc('\n', stderr));
        run->lastPercent = -1;
    }
    return gInterrupted != 0 ? failWith(userCanceledErr) : result;
}

} // namespace

Result hostRunFilter(HostRun* run, PluginEntry entry) {
    return runSelectors(run, entry, true);
}

Result hostRunRepeat(HostRun* run, PluginEntry entry) {
    return runSelectors(run, entry, false);
}

Result hostRunSelector(HostRun* run, PluginEntry entry, int16_t selector) {
    if (run == nullptr || entry == nullptr) {
        return failWith(paramErr);
    }
    return callPlugin(run, entry, selector);
}

HostFaults& hostRunFaults(HostRun* run) {
    return run->faults;
}

HostCounters& hostCounters() {
    return gCounters;
}

bool hostDescriptorOpenAllowed() {
    ++gCounters.descriptorOpens;
    return gRun == nullptr || gRun->faults.failDescriptorOpen != gCounters.descriptorOpens;
}

const HostDisplayed& hostRunDisplayed(const HostRun* run) {
    return run->displayed;
}

bool hostRunRecorded(const HostRun* run, Descriptor* descriptor, int16_t* recordInfo) {
    if (recordInfo != nullptr) {
        *recordInfo = run->descriptorParameters.recordInfo;
    }
    return descriptorFromHandle(run->descriptorParameters.descriptor, descriptor);
}

std::string hostRunErrorString(const HostRun* run) {
    return std::string(reinterpret_cast<const char*>(run->errorString + 1), run->errorString[0]);
}

Handle hostHandleNew(int32_t bytes) {
    if (bytes < 0 || !allocationAllowed(&gCounters.handleAllocations)) {
        return nullptr;
    }
    auto* body = new (std::nothrow) HandleBody{nullptr, bytes, 0};
    if (body == nullptr) {
        return nullptr;
    }
    // Zero-filled, and never a null block even for zero bytes: a lock that
    // returns null means failure.
    body->data = static_cast<char*>(std::calloc(static_cast<size_t>(bytes) + 1, 1));
    if (body->data == nullptr) {
        delete body;
        return nullptr;
    }
    gHandles.push_back(body);
    return reinterpret_cast<Handle>(body);
}

void hostHandleDispose(Handle handle) {
    HandleBody* body = findHandle(handle);
    if (body == nullptr) {
        gCounters.foreignDisposals += handle != nullptr ? 1 : 0;
        return;
    }
    ++gCounters.handleDisposals;
    gHandles.erase(std::find(gHandles.begin(), gHandles.end(), body));
    std::free(body->data);
    delete body;
}

char* hostHandleBytes(Handle handle) {
    HandleBody* body = findHandle(handle);
    return body == nullptr ? nullptr : body->data;
}

int32_t hostHandleSize(Handle handle) {
    HandleBody* body = findHandle(handle);
    return body == nullptr ? -1 : body->size;
}

int hostHandleCount() {
    return static_cast<int>(gHandles.size());
}

int hostBufferCount() {
    return static_cast<int>(gBuffers.size());
}

void hostInstallInterruptHandler() {
    static_cast<void>(std::signal(SIGINT, onInterrupt));
}

bool hostInterrupted() {
    return gInterrupted != 0;
}

void hostClearInterrupt() {
    gInterrupted = 0;
}

std::string hostResultMeaning(Result result) {
    if (result > 0) {
        return "the plug-in refused and has already shown its own message";
    }
    switch (result) {
    case noErr:
        return "no error";
    case userCanceledErr:
        return "cancelled";
    case memFullErr:
        return "out of memory";
    case filterBadParameters:
        return "the plug-in's parameters or working block is missing";
    case filterBadMode:
        return "the plug-in does not support this image mode";
    case paramErr:
        return "a request the host could not serve (bad parameter)";
    case nilHandleErr:
        return "a missing memory handle";
    case readErr:
        return "a file could not be read";
    case writErr:
        return "a file could not be written";
    case errMissingParameter:
        return "a scripting parameter is missing";
    case errPlugInHostInsufficient:
        return "the plug-in needs something this host does not offer";
    case errReportString:
        return "the plug-in reported an error";
    case kHostNeedsBigDocument:
        return "the image is wider or taller than 32767 pixels and the plug-in does not use "
               "32-bit coordinates";
    default:
        return "an error this host does not know";
    }
}

void setHostColorPicker(HostColorPicker picker) {
    gColorPicker = picker;
}

} // namespace lakra
