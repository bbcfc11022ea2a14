#pragma once

#include "host/abi.h"
#include "support/fakeHost.h"

#include <cstdint>
#include <vector>

namespace lakra::testing {

// A host of the filter protocol in memory: it builds the filter record for a
// FakeImage, answers the plug-in's handle, buffer, advance, abort and
// progress calls, and applies what the plug-in writes to the image's output.
// One instance is active at a time (the host's callbacks carry no context).
class FakeFilterHost {
public:
    explicit FakeFilterHost(FakeImage* image);
    FakeFilterHost(const FakeFilterHost&) = delete;
    FakeFilterHost& operator=(const FakeFilterHost&) = delete;
    ~FakeFilterHost();

    // Calls PluginMain with the selector; returns the result slot.
    int16_t call(int16_t selector);
    // A run as a host drives it: parameters (when asked), prepare, start,
    // continue while any rectangle is non-empty, finish after a good start.
    int16_t run(bool withParameters = true);

    FilterRecord& record() { return *reinterpret_cast<FilterRecord*>(storage); }

    FakeImage* image;
    intptr_t data = 0;
    int16_t result = 0;
    HandleProcs handleProcs{};
    BufferProcs bufferProcs{};
    BigDocumentStruct bigDocument{};
    PlatformData platform{};

    int abortFromCall = 0; // the abort procedure says stop from this call on
    int abortCalls = 0;
    int advanceCalls = 0;
    int handlesMade = 0;
    int liveHandles = 0;
    int liveBuffers = 0;
    int continueCalls = 0;
    std::vector<std::pair<int32_t, int32_t>> progress;
    std::vector<PixelRect> inRects;

private:
    friend struct FakeFilterHostCallbacks;
    int16_t serve();
    void commitOutput();

    alignas(8) unsigned char storage[sizeof(FilterRecord)] = {};
    std::vector<uint8_t> inBuffer;
    std::vector<uint8_t> outBuffer;
    std::vector<uint8_t> maskBuffer;
    PixelRect outRect{};
    int32_t outLo = 0;
    int32_t outHi = -1;
    int32_t outRate = 1;
    bool outPending = false;
};

} // namespace lakra::testing
