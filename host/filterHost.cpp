#include "host/filterHost.h"

#include "driver/hostBuffers.h"
#include "host/accessors.h"
#include "host/hostContext.h"
#include "render/settings.h"

#include <cstdlib>
#include <cstring>

namespace lakra {

namespace {

// Every cell buffer starts with a header that says where it came from.
struct BufferHeader {
    BufferID hostBuffer; // null: the C heap
    uint64_t reserved;
};

static_assert(sizeof(BufferHeader) == 16);

const BufferProcs* usableBufferProcs(const FilterRecord& record) {
    const BufferProcs* procs = getBufferProcs(record);
    if (procs == nullptr || procs->allocateProc == nullptr || procs->lockProc == nullptr ||
        procs->unlockProc == nullptr || procs->freeProc == nullptr) {
        return nullptr;
    }
    return procs;
}

PixelRect shiftedBack(const PixelRect& r, int32_t dx, int32_t dy) {
    return PixelRect{r.top - dy, r.left - dx, r.bottom - dy, r.right - dx};
}

} // namespace

Result FilterRecordHost::requestRegion(const PixelRect& rect) {
    const int32_t scale = settings->previewScale < 1 ? 1 : settings->previewScale;
    lakra::requestRegion(*record, rect, scale, settings->panX, settings->panY);
    const PixelRect requested = inRectOf(*record);
    offsetX = requested.left - rect.left;
    offsetY = requested.top - rect.top;
    return advance(*record);
}

bool FilterRecordHost::abortRequested() {
    return lakra::abortRequested(*record);
}

void FilterRecordHost::progress(int32_t done, int32_t total) {
    reportProgress(*record, done, total);
}

Result FilterRecordHost::result() const {
    return hostResult();
}

void FilterRecordHost::setResult(Result value) {
    setHostResult(value);
}

bool FilterRecordHost::buffers(HostBuffers* out) const {
    *out = HostBuffers{};
    HostImageView& in = out->input;
    in.data = getInData(*record);
    in.rowBytes = record->inRowBytes;
    in.loPlane = record->inLoPlane;
    in.hiPlane = record->inHiPlane;
    in.planes = record->planes;
    const bool alpha = editableTransparency(*record) && record->planes >= 2;
    // The transparency plane is the image's last, counted from the first delivered.
    in.transparencyPlane = alpha ? record->planes - 1 - record->inLoPlane : -1;
    in.filterCase = record->filterCase;
    in.depth = depthBits(*record);
    in.rect = shiftedBack(inRectOf(*record), offsetX, offsetY);
    out->outData = getOutData(*record);
    out->outRowBytes = record->outRowBytes;
    out->outLoPlane = record->outLoPlane;
    out->outHiPlane = record->outHiPlane;
    out->outRect = shiftedBack(outRectOf(*record), offsetX, offsetY);
    out->maskData = static_cast<const uint8_t*>(getMaskData(*record));
    out->maskRowBytes = record->maskRowBytes;
    out->maskRect = shiftedBack(maskRectOf(*record), offsetX, offsetY);
    if (record->haveMask == 0) {
        out->maskData = nullptr;
    }
    return in.data != nullptr || out->outData != nullptr;
}

void* FilterRecordHost::allocateBuffer(size_t bytes) {
    const size_t total = bytes + sizeof(BufferHeader);
    const BufferProcs* procs = usableBufferProcs(*record);
    if (procs != nullptr && total <= static_cast<size_t>(INT32_MAX)) {
        BufferID id = nullptr;
        if (procs->allocateProc(static_cast<int32_t>(total), &id) == noErr && id != nullptr) {
            auto* block = reinterpret_cast<unsigned char*>(procs->lockProc(id, 1));
            if (block != nullptr) {
                std::memset(block, 0, total);
                reinterpret_cast<BufferHeader*>(block)->hostBuffer = id;
                return block + sizeof(BufferHeader);
            }
            procs->freeProc(id);
        }
    }
    // The host offers no buffers, or none of this size: the C heap serves.
    auto* block = static_cast<unsigned char*>(std::calloc(1, total));
    return block != nullptr ? block + sizeof(BufferHeader) : nullptr;
}

void FilterRecordHost::freeBuffer(void* buffer) {
    if (buffer == nullptr) {
        return;
    }
    auto* block = static_cast<unsigned char*>(buffer) - sizeof(BufferHeader);
    BufferID id = reinterpret_cast<BufferHeader*>(block)->hostBuffer;
    if (id == nullptr) {
        std::free(block);
        return;
    }
    const BufferProcs* procs = usableBufferProcs(*record);
    if (procs != nullptr) {
        procs->unlockProc(id);
        procs->freeProc(id);
    }
}

} // namespace lakra
