#include "apps/lakra/hostImagePyramid.h"

#include "pyramid/hostTile.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace lakra {
namespace {

struct Layout {
    int32_t depth;
    int32_t colorPlanes;
    bool alpha;
};

std::string layoutName(const ::testing::TestParamInfo<Layout>& info) {
    return std::to_string(info.param.depth) + "bit" +
           (info.param.colorPlanes == 1 ? "Grey" : "Rgb") + (info.param.alpha ? "Alpha" : "");
}

class HostImagePyramid : public ::testing::TestWithParam<Layout> {};

// Samples over the whole range of the depth, the ends included: 8-bit
// 0..255, 16-bit 0..32768, floats with values above 1.
std::vector<uint8_t> samples(const Layout& layout, int32_t count) {
    const int32_t bytes = layout.depth / 8;
    std::vector<uint8_t> data(static_cast<size_t>(count) * static_cast<size_t>(bytes));
    for (int32_t i = 0; i < count; ++i) {
        uint8_t* at = data.data() + static_cast<size_t>(i) * static_cast<size_t>(bytes);
        if (layout.depth == 8) {
            *at = static_cast<uint8_t>((i * 37) % 256);
        } else if (layout.depth == 16) {
            const auto value = static_cast<uint16_t>((int64_t{i} * 4099) % 32769);
            std::memcpy(at, &value, 2);
        } else {
            const float value = static_cast<float>((int64_t{i} * 7919) % 1201) / 1000.0f;
            std::memcpy(at, &value, 4);
        }
    }
    return data;
}

// A pyramid of the host's depth holds the samples the plug-in's source,
// loaded tile by tile, holds: the psd command's document depends on it.
TEST_P(HostImagePyramid, HoldsTheSamplesOfThePluginsTileByTileSource) {
    const Layout layout = GetParam();
    const int32_t width = 300; // more than one tile across and down
    const int32_t height = 261;
    const int32_t planes = layout.colorPlanes + (layout.alpha ? 1 : 0);
    std::vector<uint8_t> data = samples(layout, width * height * planes);
    const HostPixels pixels{width,        height,       layout.colorPlanes,
                            layout.alpha, layout.depth, data.data()};
    const PixelFormat format = layout.depth == 8    ? PixelFormat::Rgba8
                               : layout.depth == 16 ? PixelFormat::Rgba16
                                                    : PixelFormat::RgbaFloat;
    PyramidPtr built(pyramidOfHostPixels(pixels, format, 1));
    ASSERT_NE(built, nullptr);

    PyramidPtr loaded(pyramidCreate(width, height, format));
    ASSERT_NE(loaded, nullptr);
    HostImageView view;
    view.data = data.data();
    view.rowBytes = width * planes * (layout.depth / 8);
    view.hiPlane = planes - 1;
    view.planes = planes;
    view.transparencyPlane = layout.alpha ? planes - 1 : -1;
    view.filterCase = layout.alpha ? 4 : 1;
    view.depth = layout.depth;
    view.rect = PixelRect{0, 0, height, width};
    for (int32_t t = loaded->levelFirstTile[0]; t <= loaded->levelLastTile[0]; ++t) {
        ASSERT_TRUE(loadHostTile(loaded.get(), t, view));
    }
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            ASSERT_EQ(std::memcmp(pixelAddress(x, y, built.get(), 0),
                                  pixelAddress(x, y, loaded.get(), 0),
                                  static_cast<size_t>(built->bytesPerPixel)),
                      0)
                << "pixel " << x << ", " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, HostImagePyramid,
                         ::testing::Values(Layout{8, 1, false}, Layout{8, 3, true},
                                           Layout{16, 1, true}, Layout{16, 3, false},
                                           Layout{32, 1, false}, Layout{32, 3, true}),
                         layoutName);

} // namespace
} // namespace lakra
