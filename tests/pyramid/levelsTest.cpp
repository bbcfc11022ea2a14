#include "pyramid/pyramid.h"

#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

// Expects levels 0..maxLevel to be exactly `sizes` (width, height pairs).
void expectChain(int32_t width, int32_t height, const std::vector<int32_t>& sizes) {
    ASSERT_EQ(static_cast<size_t>(maxLevelFor(width, height) + 1) * 2, sizes.size());
    for (int32_t level = 0; level <= maxLevelFor(width, height); ++level) {
        const LevelSize size = levelSize(width, height, level);
        EXPECT_EQ(size.width, sizes[2 * level]) << "level " << level;
        EXPECT_EQ(size.height, sizes[2 * level + 1]) << "level " << level;
    }
}

TEST(LevelGeometry, TinyImagesHaveTwoLevels) {
    expectChain(1, 1, {1, 1, 1, 1});
    expectChain(2, 2, {2, 2, 1, 1});
    EXPECT_EQ(levelSize(1, 1, 2).width, 0);
    EXPECT_EQ(levelSize(1, 1, 2).height, 0);
}

TEST(LevelGeometry, OddHalfOfThreeOrMoreBecomesEven) {
    const int32_t sizes[] = {3, 4, 5, 6, 7, 8, 9, 10};
    const int32_t halves[] = {2, 2, 4, 4, 4, 4, 6, 6};
    for (size_t i = 0; i < std::size(sizes); ++i) {
        EXPECT_EQ(levelSize(sizes[i], sizes[i], 1).width, halves[i]) << sizes[i];
    }
}

TEST(LevelGeometry, ThousandBySixHundredChain) {
    expectChain(1000, 600, {1000, 600, 500, 300, 250, 150, 126, 76, 64, 38, 32,
                            20,   16,  10,  8,   6,   4,   4,   2,  2,  1,  1});
    EXPECT_EQ(levelSize(1000, 600, 11).width, 0);
    EXPECT_EQ(levelSize(1000, 600, -1).width, 0);
}

TEST(LevelGeometry, LongSideStopsAtLevel19) {
    EXPECT_EQ(maxLevelFor(1, 1000000), 19);
    EXPECT_EQ(levelSize(1, 1000000, 19).height, 2);
    EXPECT_EQ(levelSize(1, 1000000, 20).height, 0);
    EXPECT_EQ(maxLevelFor(1 << 20, 1), 19);
    EXPECT_EQ(levelSize(1 << 20, 1, 19).width, 2);
    EXPECT_EQ(maxLevelFor(1 << 19, 1), 19); // reaches 1 x 1 exactly at 19
}

TEST(LevelGeometry, TotalBytesOfBigFloatImageExceeds32Bits) {
    EXPECT_EQ(pyramidTotalBytes(30000, 30000, PixelFormat::RgbaFloat), 19200113296);
    EXPECT_EQ(pyramidTotalBytes(1, 1, PixelFormat::Rgba8), 8);
}

TEST(TileLayout, NarrowImageSplitsAtTileWidth) {
    PyramidPtr pyramid(pyramidCreate(513, 1, PixelFormat::Rgba8));
    ASSERT_NE(pyramid, nullptr);
    EXPECT_EQ(pyramid->maxLevel, 10);
    EXPECT_EQ(pyramid->width[1], 258);
    EXPECT_EQ(pyramid->tileCount, 12);
    EXPECT_EQ(pyramid->levelLastTile[0], 1);
    EXPECT_EQ(pyramid->tiles[0].width, 512);
    EXPECT_EQ(pyramid->tiles[1].width, 1);
    EXPECT_EQ(pyramid->tiles[1].x0, 512);
    EXPECT_EQ(pyramid->levelFirstTile[1], 2);
    EXPECT_EQ(pyramid->levelLastTile[10], 11);
}

TEST(TileLayout, LevelsNumberTilesContiguously) {
    PyramidPtr pyramid(pyramidCreate(1100, 600, PixelFormat::Rgba16));
    ASSERT_NE(pyramid, nullptr);
    EXPECT_EQ(pyramid->levelFirstTile[0], 0);
    EXPECT_EQ(pyramid->levelLastTile[0], 5); // 3 x 2 tiles
    for (int32_t level = 1; level <= pyramid->maxLevel; ++level) {
        EXPECT_EQ(pyramid->levelFirstTile[level], pyramid->levelLastTile[level - 1] + 1);
    }
    EXPECT_EQ(pyramid->levelLastTile[pyramid->maxLevel], pyramid->tileCount - 1);
    const PixelRect last = tileRect(pyramid.get(), 5);
    EXPECT_EQ(last.top, 512);
    EXPECT_EQ(last.left, 1024);
    EXPECT_EQ(last.bottom, 600);
    EXPECT_EQ(last.right, 1100);
    EXPECT_EQ(pyramid->totalBytes, pyramidTotalBytes(1100, 600, PixelFormat::Rgba16));
}

} // namespace
} // namespace lakra
