#include "apps/stubPlugin.h"

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdlib>

#if defined(LAKRA_STUB_MODULE)
#include "host/pluginMain.h"
#endif

namespace lakra::testing {

namespace {

Stub gStub;

constexpr int32_t kBandRows = 7;

void invert(const FilterRecord& r) {
    const bool transparency = r.filterCase == filterCaseEditableTransparencyNoSelection ||
                              r.filterCase == filterCaseEditableTransparencyWithSelection;
    const int32_t colors = r.planes - (transparency ? 1 : 0);
    const auto* in = static_cast<const uint8_t*>(getInData(r));
    auto* out = static_cast<uint8_t*>(getOutData(r));
    const int32_t samples = (r.outRect.right - r.outRect.left) * r.planes;
    for (int32_t y = 0; y < r.outRect.bottom - r.outRect.top; ++y) {
        const uint8_t* from = in + static_cast<ptrdiff_t>(y) * r.inRowBytes;
        uint8_t* to = out + static_cast<ptrdiff_t>(y) * r.outRowBytes;
        for (int32_t i = 0; i < samples; ++i) {
            to[i] = i % r.planes < colors ? static_cast<uint8_t>(255 - from[i]) : from[i];
        }
    }
}

// Asks for the band starting at row top, all planes; empty past the end.
void requestBand(FilterRecord& r, int32_t top) {
    const auto bottom = static_cast<int16_t>(std::min(top + kBandRows, 0 + r.imageSize.v));
    const Rect band = top >= r.imageSize.v
                          ? Rect{0, 0, 0, 0}
                          : Rect{static_cast<int16_t>(top), 0, bottom, r.imageSize.h};
    r.inRect = band;
    r.outRect = band;
    r.inHiPlane = static_cast<int16_t>(r.planes - 1);
    r.outHiPlane = r.inHiPlane;
}

// Inverts and counts a served band; true when the run should stop.
bool bandDone(FilterRecord& r) {
    invert(r);
    ++gStub.bands;
    getProgressProc(r)(gStub.bands, (r.imageSize.v + kBandRows - 1) / kBandRows);
    if (gStub.interruptAfter > 0 && gStub.bands == gStub.interruptAfter) {
        static_cast<void>(std::raise(SIGINT));
    }
    gStub.aborted = getAbortProc(r)() != 0;
    return gStub.aborted;
}

void recordThreads(FilterRecord& r) {
    const char* threads = std::getenv("LAKRA_THREADS"); // NOLINT(concurrency-mt-unsafe)
    if (threads == nullptr) {
        return;
    }
    PIDescriptorParameters* parameters = getDescriptorParameters(r);
    const WriteDescriptorProcs& procs = *parameters->writeDescriptorProcs;
    PIWriteDescriptor writer = procs.openWriteDescriptorProc();
    procs.putIntegerProc(writer, fourCharCode("Thrd"), std::atoi(threads));
    getHandleProcs(r)->disposeProc(parameters->descriptor);
    static_cast<void>(procs.closeWriteDescriptorProc(writer, &parameters->descriptor));
}

Result start(FilterRecord& r) {
    if (gStub.startResult != noErr) {
        return gStub.startResult;
    }
    requestBand(r, 0);
    if (gStub.classic) {
        return noErr; // the host serves the band, then calls continue
    }
    for (int32_t top = 0; top < r.imageSize.v; top += kBandRows) {
        requestBand(r, top);
        const Result advanced = getAdvanceState(r)();
        if (advanced != noErr) {
            return advanced;
        }
        if (bandDone(r)) {
            return userCanceledErr;
        }
    }
    requestBand(r, r.imageSize.v);
    return noErr;
}

Result proceed(FilterRecord& r) {
    if (gStub.classic && bandDone(r)) {
        return userCanceledErr;
    }
    requestBand(r, gStub.classic ? r.outRect.bottom : r.imageSize.v);
    return noErr;
}

} // namespace

Stub& stub() {
    return gStub;
}

void stubPluginMain(int16_t selector, void* record, intptr_t* /*data*/, int16_t* result) noexcept {
    gStub.selectors.push_back(selector);
    FilterRecord& r = *static_cast<FilterRecord*>(record);
    if (selector == filterSelectorStart) {
        *result = start(r);
    } else if (selector == filterSelectorContinue) {
        *result = proceed(r);
    } else if (selector == filterSelectorFinish) {
        recordThreads(r);
    }
}

} // namespace lakra::testing

#if defined(LAKRA_STUB_MODULE)
extern "C" LAKRA_EXPORT void PluginMain(int16_t selector, void* record, intptr_t* data,
                                        int16_t* result) noexcept {
    lakra::testing::stubPluginMain(selector, record, data, result);
}
#endif
