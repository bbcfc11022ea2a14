#pragma once

#include "driver/driver.h"
#include "host/abi.h"

namespace lakra {

struct Settings;

// The render driver's view of the host: region requests, advance, abort,
// progress and buffers, all through the filter record of the current call.
class FilterRecordHost final : public RenderHost {
public:
    FilterRecordHost(FilterRecord* filterRecord, const Settings* look)
        : record(filterRecord), settings(look) {}

    Result requestRegion(const PixelRect& rect) override;
    bool abortRequested() override;
    void progress(int32_t done, int32_t total) override;
    Result result() const override;
    void setResult(Result value) override;
    bool buffers(HostBuffers* out) const override;
    void* allocateBuffer(size_t bytes) override;
    void freeBuffer(void* buffer) override;

private:
    FilterRecord* record;
    const Settings* settings;
    int32_t offsetX = 0; // what the last request added to the render's coordinates
    int32_t offsetY = 0;
};

} // namespace lakra
