#include "host/accessors.h"

#include "host/hostContext.h"

#include <algorithm>
#include <cstring>

namespace lakra {

namespace {

PixelRect fromRect(const Rect& r) {
    return PixelRect{r.top, r.left, r.bottom, r.right};
}

PixelRect fromVRect(const VRect& r) {
    return PixelRect{r.top, r.left, r.bottom, r.right};
}

int16_t clampShort(int32_t value) {
    return static_cast<int16_t>(std::clamp<int32_t>(value, INT16_MIN, INT16_MAX));
}

Rect toRect(const PixelRect& r) {
    return Rect{clampShort(r.top), clampShort(r.left), clampShort(r.bottom), clampShort(r.right)};
}

VRect toVRect(const PixelRect& r) {
    return VRect{r.top, r.left, r.bottom, r.right};
}

BigDocumentStruct* bigDocument(const FilterRecord& record) {
    BigDocumentStruct* big = getBigDocumentData(record);
    return big != nullptr && big->PluginUsing32BitCoordinates != 0 ? big : nullptr;
}

} // namespace

bool usesBigDocument(const FilterRecord& record) {
    return bigDocument(record) != nullptr;
}

void optInToBigDocument(FilterRecord& record) {
    BigDocumentStruct* big = getBigDocumentData(record);
    if (big == nullptr || big->PluginUsing32BitCoordinates != 0) {
        return;
    }
    const VPoint size = big->imageSize32;
    const VRect filter = big->filterRect32;
    if (size.h < 1 || size.v < 1 || filter.right <= filter.left || filter.bottom <= filter.top) {
        return;
    }
    // Sides the 16-bit fields can hold must be the same in both.
    const bool wide = size.h > INT16_MAX;
    const bool tall = size.v > INT16_MAX;
    const bool agrees =
        (wide || (size.h == record.imageSize.h && filter.left == record.filterRect.left &&
                  filter.right == record.filterRect.right)) &&
        (tall || (size.v == record.imageSize.v && filter.top == record.filterRect.top &&
                  filter.bottom == record.filterRect.bottom));
    if (agrees) {
        big->PluginUsing32BitCoordinates = 1;
    }
}

PixelRect filterRectOf(const FilterRecord& record) {
    const BigDocumentStruct* big = bigDocument(record);
    return big != nullptr ? fromVRect(big->filterRect32) : fromRect(record.filterRect);
}

PixelRect inRectOf(const FilterRecord& record) {
    const BigDocumentStruct* big = bigDocument(record);
    return big != nullptr ? fromVRect(big->inRect32) : fromRect(record.inRect);
}

PixelRect outRectOf(const FilterRecord& record) {
    const BigDocumentStruct* big = bigDocument(record);
    return big != nullptr ? fromVRect(big->outRect32) : fromRect(record.outRect);
}

PixelRect maskRectOf(const FilterRecord& record) {
    const BigDocumentStruct* big = bigDocument(record);
    return big != nullptr ? fromVRect(big->maskRect32) : fromRect(record.maskRect);
}

void setInRect(FilterRecord& record, const PixelRect& rect) {
    BigDocumentStruct* big = bigDocument(record);
    if (big != nullptr) {
        big->inRect32 = toVRect(rect);
    } else {
        record.inRect = toRect(rect);
    }
}

void setOutRect(FilterRecord& record, const PixelRect& rect) {
    BigDocumentStruct* big = bigDocument(record);
    if (big != nullptr) {
        big->outRect32 = toVRect(rect);
    } else {
        record.outRect = toRect(rect);
    }
}

void setMaskRect(FilterRecord& record, const PixelRect& rect) {
    BigDocumentStruct* big = bigDocument(record);
    if (big != nullptr) {
        big->maskRect32 = toVRect(rect);
    } else {
        record.maskRect = toRect(rect);
    }
}

PointXY floatCoordOf(const FilterRecord& record) {
    const BigDocumentStruct* big = bigDocument(record);
    return big != nullptr ? PointXY{big->floatCoord32.h, big->floatCoord32.v}
                          : PointXY{record.floatCoord.h, record.floatCoord.v};
}

PointXY wholeSizeOf(const FilterRecord& record) {
    const BigDocumentStruct* big = bigDocument(record);
    return big != nullptr ? PointXY{big->wholeSize32.h, big->wholeSize32.v}
                          : PointXY{record.wholeSize.h, record.wholeSize.v};
}

PointXY imageSizeOf(const FilterRecord& record) {
    const BigDocumentStruct* big = bigDocument(record);
    return big != nullptr ? PointXY{big->imageSize32.h, big->imageSize32.v}
                          : PointXY{record.imageSize.h, record.imageSize.v};
}

bool isEightBit(const FilterRecord& record) {
    return (record.imageMode == plugInModeGrayScale || record.imageMode == plugInModeRGBColor) &&
           record.depth < 9;
}

bool isSixteenBit(const FilterRecord& record) {
    return (record.imageMode == plugInModeGray16 || record.imageMode == plugInModeRGB48) &&
           record.depth == 16;
}

bool isFloat(const FilterRecord& record) {
    return record.imageMode == plugInModeRGB96 || record.imageMode == plugInModeGray32 ||
           record.depth == 32;
}

int32_t depthBits(const FilterRecord& record) {
    if (isFloat(record)) {
        return 32;
    }
    return isSixteenBit(record) ? 16 : 8;
}

int16_t baseMode(int16_t imageMode) {
    switch (imageMode) {
    case plugInModeGray16:
    case plugInModeGray32:
        return plugInModeGrayScale;
    case plugInModeRGB48:
    case plugInModeRGB96:
        return plugInModeRGBColor;
    case plugInModeLab48:
        return plugInModeLabColor;
    case plugInModeCMYK64:
        return plugInModeCMYKColor;
    case plugInModeDeepMultichannel:
        return plugInModeMultichannel;
    case plugInModeDuotone16:
        return plugInModeDuotone;
    default:
        return imageMode;
    }
}

int32_t storageFormat(const FilterRecord& record) {
    if (isFloat(record)) {
        return 9;
    }
    return isSixteenBit(record) ? 4 : 3;
}

bool editableTransparency(const FilterRecord& record) {
    return record.filterCase == filterCaseEditableTransparencyNoSelection ||
           record.filterCase == filterCaseEditableTransparencyWithSelection;
}

void requestRegion(FilterRecord& record, const PixelRect& rect, int32_t scale, int32_t panX,
                   int32_t panY) {
    const int32_t s = scale < 1 ? 1 : scale;
    // The render's coordinates start at the filter rectangle's corner.
    const PixelRect filter = filterRectOf(record);
    const int32_t dx = filter.left / s + panX / s;
    const int32_t dy = filter.top / s + panY / s;
    const PixelRect shifted{rect.top + dy, rect.left + dx, rect.bottom + dy, rect.right + dx};
    setInRect(record, shifted);
    setOutRect(record, shifted);
    if (record.haveMask != 0) {
        setMaskRect(record, shifted);
    }
    const auto lastPlane = static_cast<int16_t>(std::max<int32_t>(record.planes - 1, 0));
    record.inLoPlane = 0;
    record.outLoPlane = 0;
    record.inHiPlane = lastPlane;
    record.outHiPlane = lastPlane;
    record.inputRate = s << 16;
    record.maskRate = s << 16;
    record.inputPadding = plugInWantsEdgeReplication;
    record.outputPadding = plugInWantsEdgeReplication;
    record.maskPadding = plugInWantsEdgeReplication;
    record.inPreDummyPlanes = 0;
    record.inPostDummyPlanes = 0;
    record.outPreDummyPlanes = 0;
    record.outPostDummyPlanes = 0;
    record.autoMask = 0;
}

Result advance(FilterRecord& record) {
    const AdvanceStateProc advanceState = getAdvanceState(record);
    const Result result = advanceState != nullptr ? advanceState() : errPlugInHostInsufficient;
    if (result != noErr) {
        setHostResult(result);
    }
    return result;
}

bool abortRequested(const FilterRecord& record) {
    const TestAbortProc abortProc = getAbortProc(record);
    return abortProc != nullptr && abortProc() != 0;
}

void reportProgress(const FilterRecord& record, int32_t done, int32_t total) {
    const ProgressProc progressProc = getProgressProc(record);
    if (progressProc != nullptr) {
        progressProc(done, total);
    }
}

Result copyProxy(FilterRecord& record, const PixelRect& region, uint8_t* buffer,
                 int64_t bufferBytes) {
    const int64_t width = rectWidth(region);
    const int64_t height = rectHeight(region);
    if (buffer == nullptr || width <= 0 || height <= 0 ||
        bufferBytes < width * height * std::max<int16_t>(record.planes, 0)) {
        return failWith(paramErr);
    }
    const int32_t depth = depthBits(record);
    for (int16_t plane = 0; plane < record.planes; ++plane) {
        record.inLoPlane = plane;
        record.inHiPlane = plane;
        const Result result = advance(record);
        if (result != noErr) {
            return result;
        }
        const auto* data = static_cast<const unsigned char*>(getInData(record));
        if (data == nullptr) {
            return failWith(errPlugInHostInsufficient);
        }
        uint8_t* out = buffer + plane * width * height;
        for (int64_t y = 0; y < height; ++y) {
            const unsigned char* row = data + y * record.inRowBytes;
            for (int64_t x = 0; x < width; ++x) {
                uint8_t value = 0;
                if (depth == 32) {
                    float sample = 0.0f;
                    std::memcpy(&sample, row + x * 4, sizeof sample);
                    sample = sample > 0.0f ? std::min(sample, 1.0f) : 0.0f;
                    value = static_cast<uint8_t>(sample * 255.0f);
                } else if (depth == 16) {
                    uint16_t sample = 0;
                    std::memcpy(&sample, row + x * 2, sizeof sample);
                    value =
                        static_cast<uint8_t>(std::min<uint32_t>(sample, 32768u) * 255u / 32768u);
                } else {
                    value = row[x];
                }
                out[y * width + x] = value;
            }
        }
    }
    return noErr;
}

} // namespace lakra
