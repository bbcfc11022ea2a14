#include "driver/workPlan.h"

#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

// Every pixel of the rectangle lies in exactly one unit, and no unit is empty.
void expectExactCover(int32_t width, int32_t height, int32_t layout) {
    WorkPlan plan = makeWorkPlan(PixelRect{7, 3, 7 + height, 3 + width}, layout);
    std::vector<int> covered(static_cast<size_t>(width) * height, 0);
    for (int32_t i = 0; i < plan.count; ++i) {
        const PixelRect unit = planUnit(&plan, i);
        ASSERT_FALSE(rectEmpty(unit)) << "unit " << i;
        ASSERT_GE(unit.left, 0);
        ASSERT_GE(unit.top, 0);
        ASSERT_LE(unit.right, width);
        ASSERT_LE(unit.bottom, height);
        for (int32_t y = unit.top; y < unit.bottom; ++y) {
            for (int32_t x = unit.left; x < unit.right; ++x) {
                ++covered[static_cast<size_t>(y) * width + x];
            }
        }
    }
    for (size_t i = 0; i < covered.size(); ++i) {
        ASSERT_EQ(covered[i], 1) << "pixel " << i % width << "," << i / width << " layout "
                                 << layout;
    }
}

TEST(WorkPlanLayouts, UnitsCoverTheRectangleExactlyOnce) {
    for (int32_t layout : {0, 1, 2, 3, 4, 5, 6, 7}) {
        for (auto [w, h] : {std::pair{1, 1}, {129, 1}, {1, 129}, {300, 200}, {256, 128}}) {
            expectExactCover(w, h, layout);
        }
    }
}

TEST(WorkPlanLayouts, OneHundredTwentyNineByOneIsTwoTiles) {
    WorkPlan plan = makeWorkPlan(PixelRect{0, 0, 1, 129}, kLayoutTiles);
    ASSERT_EQ(plan.count, 2);
    EXPECT_EQ(plan.across, 2);
    const PixelRect second = planUnit(&plan, 1);
    EXPECT_EQ(second.left, 128);
    EXPECT_EQ(rectWidth(second), 1);
    EXPECT_EQ(rectHeight(second), 1);
    EXPECT_EQ(plan.index, 1);
}

TEST(WorkPlanLayouts, CountsPerLayout) {
    const PixelRect rect{0, 0, 130, 200}; // 200 wide, 130 high
    EXPECT_EQ(makeWorkPlan(rect, kLayoutTiles).count, 2 * 2);
    EXPECT_EQ(makeWorkPlan(rect, kLayoutRowsSerial).count, 130);
    EXPECT_EQ(makeWorkPlan(rect, kLayoutRows).count, 130);
    EXPECT_EQ(makeWorkPlan(rect, kLayoutColumns).count, 200);
    EXPECT_EQ(makeWorkPlan(rect, kLayoutRowStrips).count, 3);
    EXPECT_EQ(makeWorkPlan(rect, kLayoutRowStripsSerial).count, 3);
    EXPECT_EQ(makeWorkPlan(rect, kLayoutColumnStrips).count, 4);
    EXPECT_EQ(makeWorkPlan(rect, kLayoutTiles, 50).count, 4 * 3);

    WorkPlan strips = makeWorkPlan(rect, kLayoutRowStrips);
    const PixelRect last = planUnit(&strips, 2);
    EXPECT_EQ(last.top, 128);
    EXPECT_EQ(last.bottom, 130);
}

TEST(WorkPlanLayouts, UnitOutsideThePlanIsMarkedUnchosen) {
    WorkPlan plan = makeWorkPlan(PixelRect{0, 0, 10, 10}, kLayoutTiles);
    const PixelRect none = planUnit(&plan, 1);
    EXPECT_EQ(none.top, -1);
    EXPECT_EQ(none.right, -1);
    EXPECT_EQ(plan.index, -1);
    EXPECT_EQ(makeWorkPlan(PixelRect{0, 0, 0, 10}, kLayoutTiles).count, 0);
    EXPECT_EQ(makeWorkPlan(PixelRect{5, 5, 2, 2}, kLayoutRows).count, 0);
}

// Threads follow the processors (a count below 1 means one), the units and
// the cap of 100; serial layouts use one.
TEST(RenderThreads, FollowProcessorsUnitsTheCapAndTheLayout) {
    // clang-format off
    const struct {
        int32_t processors, units, layout, threads;
    } cases[] = {
        {1, 50, kLayoutTiles, 1}, {0, 50, kLayoutTiles, 1}, {8, 3, kLayoutTiles, 3},
        {256, 1000, kLayoutTiles, 100}, {100, 1000, kLayoutTiles, 100}, {4, 0, kLayoutTiles, 0},
        {16, 500, kLayoutRowsSerial, 1}, {16, 500, kLayoutSingleThread, 1},
        {16, 500, kLayoutRowStripsSerial, 1}, {16, 500, kLayoutRows, 16},
        {16, 500, kLayoutColumns, 16}, {16, 500, kLayoutRowStrips, 16},
        {16, 500, kLayoutColumnStrips, 16}};

    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(renderThreadCount(c.processors, c.units, c.layout), c.threads)
            << c.processors << " processors, " << c.units << " units, layout " << c.layout;
    }
}

} // namespace
} // namespace lakra
