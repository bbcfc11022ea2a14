#pragma once

// What advanceState does on the host's side: the plug-in's last output region
// goes into the image, then the requested input, output and mask regions are
// handed out. A region in the image's own layout (every plane, full size,
// inside the image) points into the image with its row bytes; any other is
// cut out into a buffer, at the requested planes and sampling rate, padded as
// asked. Output regions under a selection are always cut out and written
// back, so that the host applies the selection.

#include "apps/lakra/protocolHost.h"
#include "host/abi.h"
#include "platform/result.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

struct RegionImages {
    const HostPixels* input;
    HostPixels* output;   // what the run writes out
    HostPixels* unmasked; // the plug-in's writes before the selection applies; with a mask only
    const SelectionMask* mask;
    bool haveMask;
};

struct SampleBuffer {
    void* data = nullptr;
    size_t capacity = 0;
};

// The output region handed out last, written back at the next advance.
struct PendingOutput {
    bool pending = false;
    VRect rect{};
    int32_t loPlane = 0;
    int32_t hiPlane = 0;
    int32_t rowBytes = 0;
    bool autoMask = false; // the host applies the selection to the plug-in's writes
};

struct RegionBuffers {
    SampleBuffer in;
    SampleBuffer out;
    SampleBuffer mask;
    PendingOutput pending;
};

// Commits the pending output, then serves inRect, outRect and maskRect (or
// their 32-bit twins once the plug-in uses them). paramErr for planes outside
// the image, a rate not above 0, an unknown padding or an out-of-bounds
// request under plugInWantsErrorOnBoundsException; memFullErr when a buffer
// cannot be had.
[[nodiscard]] Result serveRegions(FilterRecord& record, const RegionImages& images,
                                  RegionBuffers* buffers);

// Any of the three regions is non-empty.
[[nodiscard]] bool regionsRequested(const FilterRecord& record);

void regionBuffersFree(RegionBuffers* buffers);

} // namespace lakra
