#include "driver/workPlan.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

// Every pixel of the rectangle lies in exactly one unit and no unit is empty;
// 200 x 130 splits into the layout's count of units.
TEST(WorkPlanLayouts, UnitsCoverTheRectangleExactlyOnce) {
    // clang-format off
    const struct {
        int32_t layout, tileSize, count;
    } layouts[] = {
        {kLayoutTiles, 128, 4}, {kLayoutTiles, 50, 12}, {kLayoutSingleThread, 128, 4},
        {kLayoutRowsSerial, 128, 130}, {kLayoutRows, 128, 130}, {kLayoutColumns, 128, 200},
        {kLayoutRowStrips, 128, 3}, {kLayoutRowStripsSerial, 128, 3}, {kLayoutColumnStrips, 128, 4}};

    // clang-format on
    for (const auto& l : layouts) {
        for (auto [w, h] : {std::pair{200, 130}, {1, 1}, {129, 1}, {1, 129}, {256, 128}}) {
            WorkPlan plan = makeWorkPlan(PixelRect{7, 3, 7 + h, 3 + w}, l.layout, l.tileSize);
            if (w == 200) {
                EXPECT_EQ(plan.count, l.count) << "layout " << l.layout;
            }
            std::vector<int> covered(static_cast<size_t>(w) * h, 0);
            for (int32_t i = 0; i < plan.count; ++i) {
                const PixelRect unit = planUnit(&plan, i);
                ASSERT_EQ(plan.index, i);
                ASSERT_FALSE(rectEmpty(unit)) << "unit " << i;
                ASSERT_TRUE(unit.left >= 0 && unit.top >= 0 && unit.right <= w && unit.bottom <= h);
                for (int32_t y = unit.top; y < unit.bottom; ++y) {
                    for (int32_t x = unit.left; x < unit.right; ++x) {
                        ++covered[static_cast<size_t>(y) * w + x];
                    }
                }
            }
            EXPECT_EQ(std::count(covered.begin(), covered.end(), 1), w * h)
                << w << " x " << h << " layout " << l.layout;
        }
    }
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
        {0, 50, kLayoutTiles, 1}, {8, 3, kLayoutTiles, 3}, {256, 1000, kLayoutTiles, 100},
        {4, 0, kLayoutTiles, 0}, {16, 500, kLayoutRowsSerial, 1}, {16, 500, kLayoutSingleThread, 1},
        {16, 500, kLayoutRowStripsSerial, 1}, {16, 500, kLayoutRows, 16}};

    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(renderThreadCount(c.processors, c.units, c.layout), c.threads)
            << c.processors << " processors, " << c.units << " units, layout " << c.layout;
    }
}

} // namespace
} // namespace lakra
