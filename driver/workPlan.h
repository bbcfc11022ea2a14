#pragma once

#include "platform/rect.h"

#include <cstdint>

namespace lakra {

// How a render rectangle is cut into units.
inline constexpr int32_t kLayoutTiles = 0;           // T x T squares, row by row
inline constexpr int32_t kLayoutRowsSerial = 1;      // one row each, on one thread
inline constexpr int32_t kLayoutSingleThread = 2;    // tiles, always on one thread
inline constexpr int32_t kLayoutRows = 3;            // one row each
inline constexpr int32_t kLayoutColumns = 4;         // one column each
inline constexpr int32_t kLayoutRowStrips = 5;       // 64 rows each (7 means the same)
inline constexpr int32_t kLayoutColumnStrips = 6;    // 64 columns each
inline constexpr int32_t kLayoutRowStripsSerial = 7; // row strips on one thread

inline constexpr int32_t kDefaultUnitSize = 128;
inline constexpr int32_t kStripSize = 64;
inline constexpr int32_t kMaxRenderThreads = 100;

struct WorkPlan {
    int32_t width; // of the render rectangle
    int32_t height;
    int32_t across; // units per row of the layout
    int32_t count;  // units
    int32_t index;  // the unit this copy describes
    int32_t layout;
    PixelRect rect; // the render rectangle
    PixelRect unit; // the current unit, relative to rect's origin; all -1 until chosen
    int32_t tileSize;
};

// The plan for rendering rect in the given layout. An empty rectangle gives
// no units; a tile size below 1 is taken as the default.
WorkPlan makeWorkPlan(const PixelRect& rect, int32_t layout, int32_t tileSize = kDefaultUnitSize);

// Unit index of the plan, relative to the render rectangle's origin. Sets
// plan->index and plan->unit; an index outside 0..count-1 gives all -1.
PixelRect planUnit(WorkPlan* plan, int32_t index);

// Worker threads for a render: min(max(1, processors), units, 100), and one
// for the layouts that must run in order.
int32_t renderThreadCount(int32_t processors, int32_t units, int32_t layout);

} // namespace lakra
