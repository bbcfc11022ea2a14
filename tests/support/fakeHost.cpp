#include "support/fakeHost.h"

#include <cstdlib>

namespace lakra::testing {

Result FakeHost::requestRegion(const PixelRect& rect) {
    requests.push_back(rect);
    if (failRequestOnCall != 0 && static_cast<int>(requests.size()) == failRequestOnCall) {
        resultSlot = failRequestWith;
        return failRequestWith;
    }
    return noErr;
}

bool FakeHost::abortRequested() {
    ++abortCalls;
    return abortOnCall != 0 && abortCalls >= abortOnCall;
}

void FakeHost::progress(int32_t done, int32_t total) {
    progressCalls.emplace_back(done, total);
}

void* FakeHost::allocateBuffer(size_t bytes) {
    ++allocations;
    if (failAllocationOnCall != 0 && allocations == failAllocationOnCall) {
        return nullptr;
    }
    void* buffer = std::calloc(1, bytes);
    liveBuffers += buffer != nullptr ? 1 : 0;
    return buffer;
}

void FakeHost::freeBuffer(void* buffer) {
    if (buffer != nullptr) {
        --liveBuffers;
    }
    std::free(buffer);
}

} // namespace lakra::testing
