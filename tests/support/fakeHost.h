#pragma once

#include "driver/driver.h"
#include "driver/hostBuffers.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace lakra::testing {

// An image the fake host holds: interleaved planes, rows padded by a few
// bytes as real hosts do. 16-bit samples run 0..32768, 32-bit are floats.
struct FakeImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t planes = 3; // transparency included
    int32_t depth = 8;  // 8, 16 or 32
    int32_t filterCase = 1;
    bool transparency = false;
    int32_t rowBytes = 0;
    std::vector<uint8_t> input;
    std::vector<uint8_t> output;
    std::vector<uint8_t> mask; // width x height, or empty for no selection

    FakeImage(int32_t w, int32_t h, int32_t planeCount, int32_t bits, bool alpha);

    int32_t sampleBytes() const { return depth / 8; }

    size_t offset(int32_t x, int32_t y, int32_t plane) const;
    // Samples as the host stores them: 0..255, 0..32768 or the float's value.
    void setInput(int32_t x, int32_t y, int32_t plane, float stored);
    float inputAt(int32_t x, int32_t y, int32_t plane) const;
    float outputAt(int32_t x, int32_t y, int32_t plane) const;
};

// A host for the render driver that lives in memory. It records what it was
// asked, serves its image's buffers for every region request, and can be told
// to cancel, to fail a region request or to fail an allocation. All counters
// are 1-based "the Nth call"; 0 means never.
class FakeHost final : public RenderHost {
public:
    Result requestRegion(const PixelRect& rect) override;
    bool abortRequested() override;
    void progress(int32_t done, int32_t total) override;

    Result result() const override { return resultSlot; }

    void setResult(Result value) override { resultSlot = value; }

    bool buffers(HostBuffers* out) const override;
    void* allocateBuffer(size_t bytes) override;
    void freeBuffer(void* buffer) override;

    FakeImage* image = nullptr; // served for region requests when set

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

private:
    HostBuffers current{};
    bool haveBuffers = false;
};

} // namespace lakra::testing
