#include "support/fakeFilterHost.h"

#include "host/accessors.h"
#include "host/pluginMain.h"

#include <algorithm>
#include <cstring>

namespace lakra::testing {

namespace {

FakeFilterHost* gActive = nullptr;

struct OwnedBlock {
    char* data;
    int32_t size;
};

} // namespace

// The host's callbacks: plain functions, as a host exports them.
struct FakeFilterHostCallbacks {
    static Handle newHandle(int32_t size) {
        auto* block = new OwnedBlock{new char[static_cast<size_t>(size)](), size};
        ++gActive->handlesMade;
        ++gActive->liveHandles;
        return reinterpret_cast<Handle>(block); // data is the first member
    }

    static void disposeHandle(Handle handle) {
        auto* block = reinterpret_cast<OwnedBlock*>(handle);
        delete[] block->data;
        delete block;
        --gActive->liveHandles;
    }

    static int32_t handleSize(Handle handle) { return reinterpret_cast<OwnedBlock*>(handle)->size; }

    static OSErr setHandleSize(Handle, int32_t) { return -108; }

    static Ptr lockHandle(Handle handle, Boolean) { return *handle; }

    static void unlockHandle(Handle) {}

    static OSErr allocateBuffer(int32_t size, BufferID* id) {
        *id = reinterpret_cast<BufferID>(new char[static_cast<size_t>(size)]);
        ++gActive->liveBuffers;
        return 0;
    }

    static Ptr lockBuffer(BufferID id, Boolean) { return reinterpret_cast<Ptr>(id); }

    static void unlockBuffer(BufferID) {}

    static void freeBuffer(BufferID id) {
        delete[] reinterpret_cast<char*>(id);
        --gActive->liveBuffers;
    }

    static OSErr advance() { return gActive->serve(); }

    static Boolean abort() {
        ++gActive->abortCalls;
        return gActive->abortFromCall != 0 && gActive->abortCalls >= gActive->abortFromCall ? 1 : 0;
    }

    static void progress(int32_t done, int32_t total) {
        gActive->progress.emplace_back(done, total);
    }
};

FakeFilterHost::FakeFilterHost(FakeImage* hostImage) : image(hostImage) {
    gActive = this;
    using C = FakeFilterHostCallbacks;
    handleProcs = HandleProcs{kCurrentHandleProcsVersion,
                              kCurrentHandleProcsCount,
                              C::newHandle,
                              C::disposeHandle,
                              C::handleSize,
                              C::setHandleSize,
                              C::lockHandle,
                              C::unlockHandle,
                              nullptr,
                              nullptr};
    bufferProcs = BufferProcs{kCurrentBufferProcsVersion,
                              kClassicBufferProcsCount,
                              C::allocateBuffer,
                              C::lockBuffer,
                              C::unlockBuffer,
                              C::freeBuffer,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr};
    FilterRecord& r = record();
    const auto w = static_cast<int16_t>(image->width);
    const auto h = static_cast<int16_t>(image->height);
    r.imageSize = Point{h, w};
    r.wholeSize = Point{h, w};
    r.filterRect = Rect{0, 0, h, w};
    r.planes = static_cast<int16_t>(image->planes);
    r.depth = image->depth;
    const bool grey = image->planes - (image->transparency ? 1 : 0) < 3;
    if (image->depth == 16) {
        r.imageMode = grey ? plugInModeGray16 : plugInModeRGB48;
    } else if (image->depth == 32) {
        r.imageMode = grey ? plugInModeGray32 : plugInModeRGB96;
    } else {
        r.imageMode = grey ? plugInModeGrayScale : plugInModeRGBColor;
    }
    r.filterCase = static_cast<int16_t>(image->filterCase);
    r.maxSpace = 100000000;
    r.haveMask = image->mask.empty() ? 0 : 1;
    r.hostSig = fourCharCode("LKTS");
    r.samplingSupport = 1;
    setHandleProcs(r, &handleProcs);
    setBufferProcs(r, &bufferProcs);
    setAdvanceState(r, C::advance);
    setAbortProc(r, C::abort);
    setProgressProc(r, C::progress);
    setPlatformData(r, &platform);
    std::fill(image->output.begin(), image->output.end(), 0xCD);
}

FakeFilterHost::~FakeFilterHost() {
    // The host owns the two blocks; it disposes of them when it is done.
    gActive = this;
    FilterRecord& r = record();
    if (getParameters(r) != nullptr && getHandleProcs(r) == &handleProcs) {
        FakeFilterHostCallbacks::disposeHandle(getParameters(r));
    }
    if (data != 0 && getHandleProcs(r) == &handleProcs) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the data slot holds a handle
        FakeFilterHostCallbacks::disposeHandle(reinterpret_cast<Handle>(data));
    }
    gActive = nullptr;
}

int16_t FakeFilterHost::call(int16_t selector) {
    gActive = this;
    result = 0;
    PluginMain(selector, &record(), &data, &result);
    if (selector == filterSelectorStart || selector == filterSelectorContinue) {
        commitOutput();
    }
    return result;
}

int16_t FakeFilterHost::run(bool withParameters) {
    if (withParameters && call(filterSelectorParameters) != 0) {
        return result;
    }
    if (call(filterSelectorPrepare) != 0) {
        return result;
    }
    if (call(filterSelectorStart) != 0) {
        return result;
    }
    // Continue while anything is asked for; a plug-in that never stops asking fails here.
    while (!rectEmpty(inRectOf(record())) || !rectEmpty(outRectOf(record())) ||
           !rectEmpty(maskRectOf(record()))) {
        if (++continueCalls > 8 || call(filterSelectorContinue) != 0) {
            return continueCalls > 8 ? static_cast<int16_t>(-1) : result;
        }
    }
    return call(filterSelectorFinish);
}

void FakeFilterHost::commitOutput() {
    if (!outPending) {
        return;
    }
    outPending = false;
    const int32_t planes = outHi - outLo + 1;
    const int32_t bytes = image->sampleBytes();
    const int32_t width = rectWidth(outRect);
    for (int32_t y = outRect.top; y < outRect.bottom; ++y) {
        for (int32_t x = outRect.left; x < outRect.right; ++x) {
            if (x < 0 || y < 0 || x >= image->width || y >= image->height || outRate != 1) {
                continue;
            }
            const size_t from =
                (static_cast<size_t>(y - outRect.top) * width + (x - outRect.left)) * planes *
                bytes;
            std::memcpy(&image->output[image->offset(x, y, outLo)], &outBuffer[from],
                        static_cast<size_t>(planes) * bytes);
        }
    }
}

int16_t FakeFilterHost::serve() {
    ++advanceCalls;
    commitOutput();
    FilterRecord& r = record();
    const PixelRect in = inRectOf(r);
    inRects.push_back(in);
    const int32_t rate = std::max(1, r.inputRate >> 16);
    const int32_t bytes = image->sampleBytes();
    const auto fetch = [&](std::vector<uint8_t>& buffer, const PixelRect& rect, int32_t lo,
                           int32_t hi, const std::vector<uint8_t>& source) {
        const int32_t planes = hi - lo + 1;
        buffer.assign(static_cast<size_t>(std::max(0, rectWidth(rect))) *
                          std::max(0, rectHeight(rect)) * planes * bytes,
                      0);
        size_t at = 0;
        for (int32_t y = rect.top; y < rect.bottom; ++y) {
            for (int32_t x = rect.left; x < rect.right; ++x) {
                // Edge replication outside the image, nearest pixel at rates above 1.
                const int32_t sx = std::clamp(x * rate, 0, image->width - 1);
                const int32_t sy = std::clamp(y * rate, 0, image->height - 1);
                std::memcpy(&buffer[at], &source[image->offset(sx, sy, lo)],
                            static_cast<size_t>(planes) * bytes);
                at += static_cast<size_t>(planes) * bytes;
            }
        }
        return std::max(0, rectWidth(rect)) * planes * bytes;
    };
    r.inRowBytes = fetch(inBuffer, in, r.inLoPlane, r.inHiPlane, image->input);
    setInData(r, inBuffer.empty() ? nullptr : inBuffer.data());
    outRect = outRectOf(r);
    outLo = r.outLoPlane;
    outHi = r.outHiPlane;
    outRate = rate;
    r.outRowBytes = fetch(outBuffer, outRect, outLo, outHi, image->input);
    setOutData(r, outBuffer.empty() ? nullptr : outBuffer.data());
    outPending = !outBuffer.empty();
    if (!image->mask.empty()) {
        const PixelRect m = maskRectOf(r);
        maskBuffer.assign(
            static_cast<size_t>(std::max(0, rectWidth(m))) * std::max(0, rectHeight(m)), 0);
        size_t at = 0;
        for (int32_t y = m.top; y < m.bottom; ++y) {
            for (int32_t x = m.left; x < m.right; ++x) {
                const int32_t sx = std::clamp(x * rate, 0, image->width - 1);
                const int32_t sy = std::clamp(y * rate, 0, image->height - 1);
                maskBuffer[at++] = image->mask[static_cast<size_t>(sy) * image->width + sx];
            }
        }
        r.maskRowBytes = std::max(0, rectWidth(m));
        setMaskData(r, maskBuffer.empty() ? nullptr : maskBuffer.data());
    }
    return 0;
}

} // namespace lakra::testing
