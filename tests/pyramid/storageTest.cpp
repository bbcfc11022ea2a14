#include "pyramid/pyramid.h"
#include "pyramidPixels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace lakra {
namespace {

uint32_t uniqueWord(int32_t x, int32_t y, int32_t level) {
    return static_cast<uint32_t>(level) << 22 | static_cast<uint32_t>(y) << 11 |
           static_cast<uint32_t>(x);
}

// Each halving is ceil(n / 2), an odd half of three or more becoming even;
// the chain ends at 1 x 1, or at level 19 for a long side.
TEST(LevelGeometry, HalvingChains) {
    const struct {
        int32_t width, height;
        std::vector<int32_t> sizes; // width, height of each level
    } chains[] = {{1, 1, {1, 1, 1, 1}},
                  {2, 2, {2, 2, 1, 1}},
                  {1000, 600, {1000, 600, 500, 300, 250, 150, 126, 76, 64, 38, 32,
                               20,   16,  10,  8,   6,   4,   4,   2,  2,  1,  1}}};

    for (const auto& c : chains) {
        const int32_t maxLevel = maxLevelFor(c.width, c.height);
        ASSERT_EQ(static_cast<size_t>(maxLevel + 1) * 2, c.sizes.size()) << c.width;
        for (int32_t level = 0; level <= maxLevel; ++level) {
            const LevelSize size = levelSize(c.width, c.height, level);
            EXPECT_EQ(size.width, c.sizes[2 * level]) << c.width << " level " << level;
            EXPECT_EQ(size.height, c.sizes[2 * level + 1]) << c.width << " level " << level;
        }
        EXPECT_EQ(levelSize(c.width, c.height, maxLevel + 1).width, 0);
        EXPECT_EQ(levelSize(c.width, c.height, -1).width, 0);
    }
    EXPECT_EQ(maxLevelFor(1, 1000000), 19);
    EXPECT_EQ(levelSize(1, 1000000, 19).height, 2);
    EXPECT_EQ(maxLevelFor(1 << 19, 1), 19); // reaches 1 x 1 exactly at 19
    // The bytes of all levels of a big float image exceed 32 bits.
    EXPECT_EQ(pyramidTotalBytes(30000, 30000, PixelFormat::RgbaFloat), 19200113296);
    EXPECT_EQ(pyramidTotalBytes(1, 1, PixelFormat::Rgba8), 8);
}

// Refusals and failed allocations (of the table, the first tile, a tile of
// level 1 or the very last tile) leave no tiles, and the record stays usable;
// leaks would be reported by the leak checker.
TEST(PyramidLifecycle, RefusalsAndFailuresLeaveNoTilesAndDestroyTakesAnyRecord) {
    EXPECT_FALSE(pyramidInit(nullptr, 10, 10, PixelFormat::Rgba8));
    ImagePyramid pyramid;
    pyramidConstruct(&pyramid);
    for (const auto& [width, height] : {std::pair{0, 10}, {10, -1}}) {
        ASSERT_TRUE(pyramidInit(&pyramid, 10, 10, PixelFormat::Rgba8));
        EXPECT_FALSE(pyramidInit(&pyramid, width, height, PixelFormat::Rgba8));
        EXPECT_EQ(pyramid.tileCount, 0);
    }
    for (const int failing : {0, 1, 7, 18}) {
        pyramidFailAllocationAfter(failing);
        EXPECT_FALSE(pyramidInit(&pyramid, 1100, 600, PixelFormat::Rgba8));
        EXPECT_EQ(pyramid.tileCount, 0);
        EXPECT_EQ(pyramid.tiles, nullptr);
        pyramidFailAllocationAfter(failing);
        EXPECT_EQ(pyramidCreate(1100, 600, PixelFormat::Rgba8), nullptr);
        pyramidFailAllocationAfter(-1);
    }
    // Re-initialising a record that still holds tiles frees them first.
    ASSERT_TRUE(pyramidInit(&pyramid, 10, 10, PixelFormat::Rgba8));
    ASSERT_TRUE(pyramidInit(&pyramid, 700, 10, PixelFormat::RgbaFloat));
    EXPECT_EQ(pyramid.width[0], 700);
    pyramidFreeTiles(&pyramid);
    pyramidFreeTiles(&pyramid);
    // Destroying accepts null, half-built and created records.
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
    // A created record is freed with its tiles, also after a re-init.
    ImagePyramid* created = pyramidCreate(20, 20, PixelFormat::Rgba16);
    ASSERT_NE(created, nullptr);
    pyramidFreeTiles(created);
    ASSERT_TRUE(pyramidInit(created, 30, 10, PixelFormat::Rgba8));
    pyramidDestroy(&created);
    EXPECT_EQ(created, nullptr);
}

// Every pixel of every level has its own place, rows stored without gaps;
// copying needs two records of the same geometry and pixel size.
TEST(TileAddressing, EveryPixelOfEveryLevelIsItsOwnAndCopiesAcross) {
    PyramidPtr source(pyramidCreate(1100, 600, PixelFormat::Rgba8));
    PyramidPtr same(pyramidCreate(1100, 600, PixelFormat::Rgba8));
    PyramidPtr other(pyramidCreate(600, 1100, PixelFormat::Rgba8));
    PyramidPtr deeper(pyramidCreate(1100, 600, PixelFormat::Rgba16));
    ASSERT_TRUE(source && same && other && deeper);
    ImagePyramid* p = source.get();
    testing::forEveryLevelPixel(p, [&](int32_t level, int32_t x, int32_t y) {
        writeRgba8(x, y, p, level, uniqueWord(x, y, level));
    });
    writeRgba8(0, 0, other.get(), 0, 0);
    ASSERT_TRUE(copyPyramidPixels(p, same.get()));
    int mismatches = 0;
    testing::forEveryLevelPixel(p, [&](int32_t level, int32_t x, int32_t y) {
        if (readRgba8(x, y, same.get(), level) != uniqueWord(x, y, level) && ++mismatches < 5) {
            ADD_FAILURE() << "level " << level << " (" << x << ", " << y << ")";
        }
    });
    EXPECT_EQ(mismatches, 0);
    uint32_t word = 0;
    std::memcpy(&word, same->tiles[5].pixels + 4 * (76 * (599 - 512) + (1099 - 1024)), 4);
    EXPECT_EQ(word, uniqueWord(1099, 599, 0));
    EXPECT_FALSE(copyPyramidPixels(p, other.get()));
    EXPECT_EQ(readRgba8(0, 0, other.get(), 0), 0u);
    EXPECT_FALSE(copyPyramidPixels(p, deeper.get()));
    EXPECT_FALSE(copyPyramidPixels(p, p));
    EXPECT_TRUE(sameBaseSize(p, deeper.get()));
    EXPECT_FALSE(sameBaseSize(p, other.get()));
}

// Values that do not fit an integer format saturate instead of being
// undefined (UBSan watches); floats keep them.
TEST(PixelConversion, IntegerFormatsSaturate) {
    PyramidPtr rgba8(pyramidCreate(1, 1, PixelFormat::Rgba8));
    PyramidPtr rgba16(pyramidCreate(1, 1, PixelFormat::Rgba16));
    PyramidPtr rgbaFloat(pyramidCreate(1, 1, PixelFormat::RgbaFloat));
    ASSERT_TRUE(rgba8 && rgba16 && rgbaFloat);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float outside[4] = {2.0f, -1.5f, nan, 1e30f};
    setPixel4f(0, 0, rgba8.get(), 0, outside);
    EXPECT_EQ(readRgba8(0, 0, rgba8.get(), 0), 0xFF0000FFu);
    const float wide[4] = {1.5f, -0.5f, nan, std::numeric_limits<float>::infinity()};
    setPixel4f(0, 0, rgba16.get(), 0, wide);
    std::array<uint16_t, 4> stored{};
    readRgba16(0, 0, rgba16.get(), 0, stored.data());
    EXPECT_EQ(stored, (std::array<uint16_t, 4>{49152, 0, 0, 65535})) << "1.5 is representable";
    setPixel4f(0, 0, rgbaFloat.get(), 0, outside);
    float read[4];
    getPixel4f(0, 0, rgbaFloat.get(), 0, read);
    EXPECT_EQ(read[0], 2.0f);
    EXPECT_EQ(read[1], -1.5f);
    EXPECT_TRUE(std::isnan(read[2]));
}

// Reads outside clamp to the edge; writes outside are dropped.
TEST(EdgeAccess, ReadsClampAndOutsideWritesAreDropped) {
    for (const PixelFormat format :
         {PixelFormat::Rgba8, PixelFormat::Rgba16, PixelFormat::RgbaFloat}) {
        const int32_t w = 600;
        PyramidPtr pyramid(pyramidCreate(w, 520, format));
        ASSERT_NE(pyramid, nullptr);
        ImagePyramid* p = pyramid.get();
        const float background[4] = {0.5f, 0.5f, 0.5f, 0.5f};
        testing::forEveryLevelPixel(p, [&](int32_t level, int32_t x, int32_t y) {
            setPixel4f(x, y, p, level, background);
        });
        const float corner[4] = {1.0f, 0.0f, 0.0f, 1.0f};
        const float rightEdge[4] = {0.0f, 0.0f, 1.0f, 1.0f};
        setPixel4f(0, 0, p, 0, corner);
        setPixel4f(w - 1, 0, p, 0, rightEdge);
        float read[4];
        getPixel4f(-5, -5, p, 0, read);
        EXPECT_EQ(read[0], 1.0f);
        getPixel4f(w + 3, 0, p, 0, read);
        EXPECT_EQ(read[2], 1.0f);

        const float junk[4] = {0.25f, 0.25f, 0.25f, 0.25f};
        for (int32_t level : {0, 1}) {
            const int32_t lw = p->width[level];
            const int32_t lh = p->height[level];
            for (const auto& [x, y] : {std::pair{-1, 0}, {lw, 0}, {0, -1}, {0, lh}, {lw, lh}}) {
                setPixel4f(x, y, p, level, junk);
            }
        }
        int changed = 0;
        testing::forEveryLevelPixel(p, [&](int32_t level, int32_t x, int32_t y) {
            getPixel4f(x, y, p, level, read);
            changed += read[0] == 0.25f ? 1 : 0;
        });
        EXPECT_EQ(changed, 0) << static_cast<int>(format);
    }
}

} // namespace
} // namespace lakra
