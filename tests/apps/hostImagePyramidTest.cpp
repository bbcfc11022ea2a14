#include "apps/lakra/hostImagePyramid.h"

#include "apps/imageTestUtil.h"
#include "pyramid/hostTile.h"
#include "pyramid/pyramidPixels.h"

#include <cstring>
#include <gtest/gtest.h>
#include <utility>

namespace lakra {
namespace {

// A pyramid of the host's depth holds the samples the plug-in's source,
// loaded tile by tile, holds: the psd command's document depends on it.
TEST(HostImagePyramid, HoldsTheSamplesOfThePluginsTileByTileSource) {
    for (const auto& [depth, planes] : {std::pair{8, 1}, std::pair{8, 4}, std::pair{16, 2},
                                        std::pair{16, 3}, std::pair{32, 1}, std::pair{32, 4}}) {
        SCOPED_TRACE(std::to_string(depth) + " bits, " + std::to_string(planes) + " planes");
        // More than one tile across and down.
        HostImage image = testing::patternImage(300, 261, planes, depth);
        const PixelFormat format = testing::formatOfDepth(depth);
        PyramidPtr built(pyramidOfHostPixels(hostPixelsOf(image), format, 1));
        PyramidPtr loaded(pyramidCreate(image.width, image.height, format));
        ASSERT_TRUE(built != nullptr && loaded != nullptr);
        HostImageView view;
        view.data = image.pixels.data();
        view.rowBytes = static_cast<int32_t>(hostRowBytes(image));
        view.hiPlane = planes - 1;
        view.planes = planes;
        view.transparencyPlane = image.alpha ? planes - 1 : -1;
        view.filterCase = image.alpha ? 4 : 1;
        view.depth = depth;
        view.rect = PixelRect{0, 0, image.height, image.width};
        for (int32_t t = loaded->levelFirstTile[0]; t <= loaded->levelLastTile[0]; ++t) {
            ASSERT_TRUE(loadHostTile(loaded.get(), t, view));
            const PyramidTile& tile = loaded->tiles[t]; // rows stored without gaps
            const auto bytes =
                static_cast<size_t>(tile.width * tile.height * loaded->bytesPerPixel);
            ASSERT_EQ(std::memcmp(tile.pixels, built->tiles[t].pixels, bytes), 0) << "tile " << t;
        }
    }
}

} // namespace
} // namespace lakra
