#pragma once

#include "render/driver.h"

#include <cstddef>
#include <vector>

namespace lakra::testing {

// A host for the render driver that lives in memory. It records what it was
// asked, and can be told to cancel, to fail a region request or to fail an
// allocation. All counters are 1-based "the Nth call"; 0 means never.
class FakeHost final : public RenderHost {
public:
    Result requestRegion(const PixelRect& rect) override;
    bool abortRequested() override;
    void progress(int32_t done, int32_t total) override;

    Result result() const override { return resultSlot; }

    void setResult(Result value) override { resultSlot = value; }

    void* allocateBuffer(size_t bytes) override;
    void freeBuffer(void* buffer) override;

    int abortOnCall = 0; // abortRequested answers true from this call on
    int failRequestOnCall = 0;
    Result failRequestWith = -1;
    int failAllocationOnCall = 0;

    Result resultSlot = noErr;
    std::vector<PixelRect> requests;
    std::vector<std::pair<int32_t, int32_t>> progressCalls;
    int abortCalls = 0;
    int allocations = 0;
    int liveBuffers = 0;
};

} // namespace lakra::testing
