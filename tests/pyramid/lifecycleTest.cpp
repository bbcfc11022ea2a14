#include "pyramid/pyramid.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace lakra {
namespace {

// Leaks on these paths are reported by the address sanitizer's leak checker.
class AllocationFailure : public ::testing::TestWithParam<int> {
protected:
    void TearDown() override { pyramidFailAllocationAfter(-1); }
};

TEST_P(AllocationFailure, LeavesNoTiles) {
    ImagePyramid pyramid;
    pyramidConstruct(&pyramid);
    pyramidFailAllocationAfter(GetParam());
    EXPECT_FALSE(pyramidInit(&pyramid, 1100, 600, PixelFormat::Rgba8));
    EXPECT_EQ(pyramid.tileCount, 0);
    EXPECT_EQ(pyramid.tiles, nullptr);
    pyramidFailAllocationAfter(GetParam());
    EXPECT_EQ(pyramidCreate(1100, 600, PixelFormat::Rgba8), nullptr);
    pyramidFailAllocationAfter(-1);
    EXPECT_TRUE(pyramidInit(&pyramid, 1100, 600, PixelFormat::Rgba8));
    pyramidFreeTiles(&pyramid);
}

// The table, the first tile, a tile of level 1, the very last tile.
INSTANTIATE_TEST_SUITE_P(NthAllocation, AllocationFailure, ::testing::Values(0, 1, 7, 18));

TEST(PyramidInit, RejectsNullAndEmptySizes) {
    EXPECT_FALSE(pyramidInit(nullptr, 10, 10, PixelFormat::Rgba8));
    ImagePyramid pyramid;
    pyramidConstruct(&pyramid);
    ASSERT_TRUE(pyramidInit(&pyramid, 10, 10, PixelFormat::Rgba8));
    EXPECT_FALSE(pyramidInit(&pyramid, 0, 10, PixelFormat::Rgba8));
    EXPECT_EQ(pyramid.tileCount, 0);
    EXPECT_FALSE(pyramidInit(&pyramid, 10, -1, PixelFormat::Rgba8));
    // Re-initialising a record that still holds tiles frees them first.
    ASSERT_TRUE(pyramidInit(&pyramid, 10, 10, PixelFormat::Rgba8));
    ASSERT_TRUE(pyramidInit(&pyramid, 700, 10, PixelFormat::RgbaFloat));
    EXPECT_EQ(pyramid.width[0], 700);
    pyramidFreeTiles(&pyramid);
    pyramidFreeTiles(&pyramid);
}

TEST(PyramidDestroy, AcceptsNullAndHalfBuiltRecords) {
    pyramidDestroy(nullptr);
    ImagePyramid* none = nullptr;
    pyramidDestroy(&none);

    ImagePyramid embedded;
    pyramidConstruct(&embedded);
    ImagePyramid* slot = &embedded;
    pyramidDestroy(&slot);
    EXPECT_EQ(slot, &embedded); // not owned: the record stays

    // A table whose second and third blocks were never allocated.
    // The blocks are freed by pyramidDestroy, which the analyzer cannot see.
    // NOLINTBEGIN(clang-analyzer-unix.Malloc)
    embedded.tileCount = 3;
    embedded.tiles = static_cast<PyramidTile*>(std::calloc(3, sizeof(PyramidTile)));
    ASSERT_NE(embedded.tiles, nullptr);
    embedded.tiles[0].pixels = static_cast<uint8_t*>(std::malloc(64));
    pyramidDestroy(&slot);
    // NOLINTEND(clang-analyzer-unix.Malloc)
    EXPECT_EQ(embedded.tiles, nullptr);
    EXPECT_EQ(embedded.tileCount, 0);
}

TEST(PyramidDestroy, FreesCreatedRecordAfterReinit) {
    ImagePyramid* pyramid = pyramidCreate(20, 20, PixelFormat::Rgba16);
    ASSERT_NE(pyramid, nullptr);
    pyramidFreeTiles(pyramid);
    ASSERT_TRUE(pyramidInit(pyramid, 30, 10, PixelFormat::Rgba8));
    pyramidDestroy(&pyramid);
    EXPECT_EQ(pyramid, nullptr);
}

void fill(ImagePyramid* p, uint32_t seed) {
    for (int32_t level = 0; level <= p->maxLevel; ++level) {
        for (int32_t y = 0; y < p->height[level]; ++y) {
            for (int32_t x = 0; x < p->width[level]; ++x) {
                writeRgba8(x, y, p, level, seed ^ static_cast<uint32_t>(level << 20 | y << 10 | x));
            }
        }
    }
}

TEST(CopyPyramidPixels, CopiesOnlyBetweenEqualGeometry) {
    PyramidPtr source(pyramidCreate(530, 20, PixelFormat::Rgba8));
    PyramidPtr same(pyramidCreate(530, 20, PixelFormat::Rgba8));
    PyramidPtr other(pyramidCreate(20, 530, PixelFormat::Rgba8));
    PyramidPtr deeper(pyramidCreate(530, 20, PixelFormat::Rgba16));
    ASSERT_TRUE(source && same && other && deeper);
    fill(source.get(), 0xA5000000u);
    fill(same.get(), 0);
    fill(other.get(), 0);
    ASSERT_TRUE(copyPyramidPixels(source.get(), same.get()));
    for (int32_t level = 0; level <= source->maxLevel; ++level) {
        const int32_t x = source->largestX[level];
        const int32_t y = source->largestY[level];
        EXPECT_EQ(readRgba8(x, y, same.get(), level), readRgba8(x, y, source.get(), level));
    }
    EXPECT_FALSE(copyPyramidPixels(source.get(), other.get()));
    EXPECT_EQ(readRgba8(0, 0, other.get(), 0), 0u);
    EXPECT_FALSE(copyPyramidPixels(source.get(), deeper.get()));
    EXPECT_FALSE(copyPyramidPixels(source.get(), source.get()));
    EXPECT_TRUE(sameBaseSize(source.get(), deeper.get()));
    EXPECT_FALSE(sameBaseSize(source.get(), other.get()));
}

} // namespace
} // namespace lakra
