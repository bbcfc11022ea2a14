#include "driver/workPlan.h"

#include <algorithm>

namespace lakra {

namespace {

int32_t ceilDiv(int32_t value, int32_t divisor) {
    return (value + divisor - 1) / divisor;
}

} // namespace

WorkPlan makeWorkPlan(const PixelRect& rect, int32_t layout, int32_t tileSize) {
    WorkPlan plan{};
    plan.rect = rect;
    plan.layout = layout;
    plan.tileSize = tileSize >= 1 ? tileSize : kDefaultUnitSize;
    plan.width = std::max(0, rectWidth(rect));
    plan.height = std::max(0, rectHeight(rect));
    plan.index = -1;
    plan.unit = PixelRect{-1, -1, -1, -1};
    if (plan.width == 0 || plan.height == 0) {
        return plan;
    }
    switch (layout) {
    case kLayoutRowsSerial:
    case kLayoutRows:
        plan.across = 1;
        plan.count = plan.height;
        break;
    case kLayoutColumns:
        plan.across = plan.width;
        plan.count = plan.width;
        break;
    case kLayoutRowStrips:
    case kLayoutRowStripsSerial:
        plan.across = 1;
        plan.count = ceilDiv(plan.height, kStripSize);
        break;
    case kLayoutColumnStrips:
        plan.across = ceilDiv(plan.width, kStripSize);
        plan.count = plan.across;
        break;
    default: // tiles, and any layout we do not know
        plan.across = ceilDiv(plan.width, plan.tileSize);
        plan.count = plan.across * ceilDiv(plan.height, plan.tileSize);
        break;
    }
    return plan;
}

PixelRect planUnit(WorkPlan* plan, int32_t index) {
    PixelRect unit{-1, -1, -1, -1};
    if (index < 0 || index >= plan->count) {
        plan->index = -1;
        plan->unit = unit;
        return unit;
    }
    switch (plan->layout) {
    case kLayoutRowsSerial:
    case kLayoutRows:
        unit = PixelRect{index, 0, index + 1, plan->width};
        break;
    case kLayoutColumns:
        unit = PixelRect{0, index, plan->height, index + 1};
        break;
    case kLayoutRowStrips:
    case kLayoutRowStripsSerial:
        unit = PixelRect{kStripSize * index, 0,
                         std::min(kStripSize * index + kStripSize, plan->height), plan->width};
        break;
    case kLayoutColumnStrips:
        unit = PixelRect{0, kStripSize * index, plan->height,
                         std::min(kStripSize * index + kStripSize, plan->width)};
        break;
    default: {
        const int32_t size = plan->tileSize;
        const int32_t row = index / plan->across;
        const int32_t column = index % plan->across;
        unit = PixelRect{row * size, column * size, std::min(row * size + size, plan->height),
                         std::min(column * size + size, plan->width)};
        break;
    }
    }
    plan->index = index;
    plan->unit = unit;
    return unit;
}

int32_t renderThreadCount(int32_t processors, int32_t units, int32_t layout) {
    if (units <= 0) {
        return 0;
    }
    if (layout == kLayoutRowsSerial || layout == kLayoutSingleThread ||
        layout == kLayoutRowStripsSerial) {
        return 1;
    }
    return std::min({std::max(1, processors), units, kMaxRenderThreads});
}

} // namespace lakra
