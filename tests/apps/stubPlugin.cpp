#include "apps/stubPlugin.h"

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#if defined(LAKRA_STUB_MODULE)
#include "host/pluginMain.h"
#endif

namespace lakra::testing {

namespace {

StubConfig gConfig;
StubLog gLog;

constexpr DescriptorKeyID kThreadsKey = fourCharCode("Thrd");

int32_t colorPlanes(const FilterRecord& r) {
    const bool transparency = r.filterCase == filterCaseEditableTransparencyNoSelection ||
                              r.filterCase == filterCaseEditableTransparencyWithSelection;
    return r.planes - (transparency ? 1 : 0);
}

template <typename T>
void invertBand(const FilterRecord& r, T full) {
    const int32_t planes = r.inHiPlane - r.inLoPlane + 1;
    const int32_t colors = std::min(colorPlanes(r), planes);
    const auto* in = static_cast<const char*>(getInData(r));
    auto* out = static_cast<char*>(getOutData(r));
    const int32_t width = r.outRect.right - r.outRect.left;
    for (int32_t y = 0; y < r.outRect.bottom - r.outRect.top; ++y) {
        const auto* from =
            reinterpret_cast<const T*>(in + static_cast<ptrdiff_t>(y) * r.inRowBytes);
        auto* to = reinterpret_cast<T*>(out + static_cast<ptrdiff_t>(y) * r.outRowBytes);
        for (int32_t i = 0; i < width * planes; ++i) {
            to[i] = i % planes < colors ? static_cast<T>(full - from[i]) : from[i];
        }
    }
}

void invert(const FilterRecord& r) {
    if (getInData(r) == nullptr || getOutData(r) == nullptr) {
        return;
    }
    if (r.depth == 32) {
        invertBand<float>(r, 1.0f);
    } else if (r.depth == 16) {
        invertBand<uint16_t>(r, 32768);
    } else {
        invertBand<uint8_t>(r, 255);
    }
}

// Asks for the band starting at row top, all planes; empty past the end.
void requestBand(FilterRecord& r, int32_t top) {
    const auto height = static_cast<int16_t>(r.imageSize.v);
    const Rect band =
        top >= height
            ? Rect{0, 0, 0, 0}
            : Rect{static_cast<int16_t>(top), 0,
                   static_cast<int16_t>(std::min<int32_t>(top + gConfig.bandRows, height)),
                   r.imageSize.h};
    r.inRect = band;
    r.outRect = band;
    r.maskRect = Rect{0, 0, 0, 0};
    r.inLoPlane = 0;
    r.outLoPlane = 0;
    r.inHiPlane = static_cast<int16_t>(r.planes - 1);
    r.outHiPlane = r.inHiPlane;
    r.inputRate = 1 << 16;
    r.inputPadding = plugInWantsEdgeReplication;
    r.outputPadding = plugInWantsEdgeReplication;
}

// Counts a finished band; true when the run should stop.
bool bandDone(FilterRecord& r) {
    ++gLog.bands;
    const int32_t bandCount = (r.imageSize.v + gConfig.bandRows - 1) / gConfig.bandRows;
    getProgressProc(r)(gLog.bands, bandCount);
    if (gConfig.interruptAfter > 0 && gLog.bands == gConfig.interruptAfter) {
        static_cast<void>(std::raise(SIGINT));
    }
    gLog.aborted = getAbortProc(r)() != 0;
    return gLog.aborted;
}

void readDescriptor(FilterRecord& r) {
    PIDescriptorParameters* parameters = getDescriptorParameters(r);
    if (parameters == nullptr || parameters->descriptor == nullptr) {
        return;
    }
    const ReadDescriptorProcs& procs = *parameters->readDescriptorProcs;
    DescriptorKeyID keys[] = {fourCharCode("0004"), fourCharCode("0016"), 0};
    PIReadDescriptor reader = procs.openReadDescriptorProc(parameters->descriptor, keys);
    if (reader == nullptr) {
        return;
    }
    StubValue v;
    while (procs.getKeyProc(reader, &v.key, &v.type, &v.flags) != 0) {
        if (v.type == typeInteger) {
            static_cast<void>(procs.getIntegerProc(reader, &v.integer));
        } else if (v.type == typeFloat) {
            static_cast<void>(procs.getFloatProc(reader, &v.real));
        } else if (v.type == typeEnumerated) {
            static_cast<void>(procs.getEnumeratedProc(reader, &v.enumValue));
        }
        gLog.read.push_back(v);
    }
    gLog.readClose = procs.closeReadDescriptorProc(reader);
    getHandleProcs(r)->disposeProc(parameters->descriptor);
    parameters->descriptor = nullptr;
}

void writeDescriptor(FilterRecord& r) {
    PIDescriptorParameters* parameters = getDescriptorParameters(r);
    if (parameters == nullptr) {
        return;
    }
    const WriteDescriptorProcs& procs = *parameters->writeDescriptorProcs;
    PIWriteDescriptor writer = procs.openWriteDescriptorProc();
    for (const StubValue& v : gLog.read) {
        if (v.type == typeInteger) {
            procs.putIntegerProc(writer, v.key, v.integer);
        } else if (v.type == typeFloat) {
            procs.putFloatProc(writer, v.key, &v.real);
        } else if (v.type == typeEnumerated) {
            procs.putEnumeratedProc(writer, v.key, fourCharCode("GLty"), v.enumValue);
        }
    }
    if (const char* threads = std::getenv("LAKRA_THREADS")) { // NOLINT(concurrency-mt-unsafe)
        procs.putIntegerProc(writer, kThreadsKey, std::atoi(threads));
    }
    PIDescriptorHandle written = nullptr;
    if (procs.closeWriteDescriptorProc(writer, &written) == noErr) {
        parameters->descriptor = written;
        parameters->recordInfo = plugInDialogOptional;
    }
}

Result start(FilterRecord& r) {
    if (gConfig.startResult != noErr) {
        return gConfig.startResult;
    }
    readDescriptor(r);
    requestBand(r, 0);
    if (gConfig.classic) {
        return noErr; // the host serves the band, then calls continue
    }
    for (int32_t top = 0; top < r.imageSize.v; top += gConfig.bandRows) {
        requestBand(r, top);
        const Result advanced = getAdvanceState(r)();
        if (advanced != noErr) {
            return advanced;
        }
        invert(r);
        if (bandDone(r)) {
            return userCanceledErr;
        }
    }
    requestBand(r, r.imageSize.v);
    return noErr;
}

Result proceed(FilterRecord& r) {
    if (!gConfig.classic) {
        requestBand(r, r.imageSize.v);
        return noErr;
    }
    invert(r);
    if (bandDone(r)) {
        return userCanceledErr;
    }
    requestBand(r, r.outRect.bottom);
    return noErr;
}

} // namespace

StubConfig& stubConfig() {
    return gConfig;
}

StubLog& stubLog() {
    return gLog;
}

void stubReset() {
    gConfig = StubConfig{};
    gLog = StubLog{};
}

void stubPluginMain(int16_t selector, void* record, intptr_t* /*data*/, int16_t* result) noexcept {
    gLog.selectors.push_back(selector);
    FilterRecord& r = *static_cast<FilterRecord*>(record);
    if (selector == filterSelectorStart) {
        *result = start(r);
    } else if (selector == filterSelectorContinue) {
        *result = proceed(r);
    } else if (selector == filterSelectorFinish && gConfig.recordAtFinish) {
        writeDescriptor(r);
    }
}

} // namespace lakra::testing

#if defined(LAKRA_STUB_MODULE)
// As a library of its own the stub runs in its default configuration, or the
// classic way when LAKRA_STUB_CLASSIC is set.
extern "C" LAKRA_EXPORT void PluginMain(int16_t selector, void* record, intptr_t* data,
                                        int16_t* result) noexcept {
    lakra::testing::stubConfig().classic =
        std::getenv("LAKRA_STUB_CLASSIC") != nullptr; // NOLINT(concurrency-mt-unsafe)
    lakra::testing::stubPluginMain(selector, record, data, result);
}
#endif
