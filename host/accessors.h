#pragma once

#include "host/abi.h"
#include "platform/rect.h"
#include "platform/result.h"

#include <cstdint>

namespace lakra {

// The filter record as the rest of the plug-in reads it. Every rectangle and
// point goes through its 32-bit twin once the big-document data's flag is
// set: by the host, or by the plug-in itself when it opts in.

bool usesBigDocument(const FilterRecord& record);
// Raises the flag when the host offers big-document data that describes the
// image: a positive 32-bit image size and filter rectangle that agree with the
// 16-bit fields wherever those can hold them. Called at the first selectors
// that read rectangles (parameters and prepare); a host without the data, or
// with data that does not match, keeps the 16-bit fields.
void optInToBigDocument(FilterRecord& record);
PixelRect filterRectOf(const FilterRecord& record);
PixelRect inRectOf(const FilterRecord& record);
PixelRect outRectOf(const FilterRecord& record);
PixelRect maskRectOf(const FilterRecord& record);
void setInRect(FilterRecord& record, const PixelRect& rect);
void setOutRect(FilterRecord& record, const PixelRect& rect);
void setMaskRect(FilterRecord& record, const PixelRect& rect);

struct PointXY {
    int32_t x;
    int32_t y;
};

PointXY floatCoordOf(const FilterRecord& record);
PointXY wholeSizeOf(const FilterRecord& record);
PointXY imageSizeOf(const FilterRecord& record);

// Pixel-format classes of the host image.
bool isEightBit(const FilterRecord& record);
bool isSixteenBit(const FilterRecord& record);
bool isFloat(const FilterRecord& record);
int32_t depthBits(const FilterRecord& record); // 8, 16 or 32
int16_t baseMode(int16_t imageMode);
int32_t storageFormat(const FilterRecord& record); // 9, 4 or 3
bool editableTransparency(const FilterRecord& record);

// Requests rect (reduced pixels relative to the filter rectangle) at the
// given scale and pan, as in and out rectangles (and the mask's, when there
// is a mask), all planes, edge replication, no dummy planes.
void requestRegion(FilterRecord& record, const PixelRect& rect, int32_t scale, int32_t panX,
                   int32_t panY);
// The host's advance procedure; its result is stored in the result slot.
// A host without one answers errPlugInHostInsufficient.
[[nodiscard]] Result advance(FilterRecord& record);
bool abortRequested(const FilterRecord& record);
void reportProgress(const FilterRecord& record, int32_t done, int32_t total);

// Copies the requested region, plane by plane, into an 8-bit planar buffer of
// planes x width x height bytes (the preview's proxy). Stops at the first
// failing advance and returns its code.
[[nodiscard]] Result copyProxy(FilterRecord& record, const PixelRect& region, uint8_t* buffer,
                               int64_t bufferBytes);

} // namespace lakra
