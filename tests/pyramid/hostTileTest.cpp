#include "pyramid/hostTile.h"

#include "pyramidPixels.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace lakra {
namespace {

double sampleValue(int32_t depth, int32_t x, int32_t y, int32_t plane) {
    return depth == 8    ? (x * 3 + y * 5 + plane * 40) % 256
           : depth == 16 ? (x * 7 + y * 11 + plane * 1000) % 32769
                         : x * 0.01 + y * 0.001 + plane;
}

template <typename Sample>
void put(uint8_t* at, double value) {
    const auto sample = static_cast<Sample>(value);
    std::memcpy(at, &sample, sizeof sample);
}

// An interleaved host buffer over rect whose samples are sampleValue(), with
// padding bytes after each row; the view describes it as filter case 1.
struct HostBuffer {
    std::vector<uint8_t> bytes;
    HostImageView view;

    HostBuffer(int32_t depth, PixelRect rect, int32_t delivered, int32_t padding) {
        const int32_t sampleBytes = depth / 8;
        view = HostImageView{nullptr,   rectWidth(rect) * delivered * sampleBytes + padding,
                             0,         delivered - 1,
                             delivered, -1,
                             1,         depth,
                             rect};
        bytes.assign(static_cast<size_t>(view.rowBytes) * rectHeight(rect), 0xAB);
        view.data = bytes.data();
        const auto write = depth == 8 ? put<uint8_t> : (depth == 16 ? put<uint16_t> : put<float>);
        for (int32_t y = rect.top; y < rect.bottom; ++y) {
            for (int32_t x = rect.left; x < rect.right; ++x) {
                for (int32_t plane = 0; plane < delivered; ++plane) {
                    write(bytes.data() + (y - rect.top) * view.rowBytes +
                              ((x - rect.left) * delivered + plane) * sampleBytes,
                          sampleValue(depth, x, y, plane));
                }
            }
        }
    }
};

struct Layout {
    const char* name;
    int32_t delivered;
    int32_t transparencyPlane;
    int32_t filterCase;
    int32_t planes[4]; // the delivered plane each channel comes from, -1 opaque
};

const Layout kLayouts[] = {
    {"Rgb", 3, -1, 1, {0, 1, 2, -1}},     {"GreyAlphaCase4", 2, 1, 4, {0, 0, 0, 1}},
    {"RgbaCase5", 4, 3, 5, {0, 1, 2, 3}}, {"RgbaProtectedIsOpaque", 4, 3, 6, {0, 1, 2, -1}},
    {"Grey", 1, -1, 0, {0, 0, 0, -1}},
};

// Every tile of level 0 is filled from the delivered planes: grey repeated,
// alpha from the transparency plane in filter cases 4 and 5, else opaque.
TEST(HostLoading, FillsEveryTileFromItsPlanes) {
    for (const int32_t depth : {8, 16, 32}) {
        for (const Layout& layout : kLayouts) {
            SCOPED_TRACE(std::string(layout.name) + std::to_string(depth));
            PyramidPtr pyramid(pyramidCreate(600, 520, testing::formatOfDepth(depth)));
            ASSERT_NE(pyramid, nullptr);
            HostBuffer host(depth, {0, 0, 520, 600}, layout.delivered, 6);
            host.view.transparencyPlane = layout.transparencyPlane;
            host.view.filterCase = layout.filterCase;
            for (int32_t t = 0; t <= pyramid->levelLastTile[0]; ++t) {
                ASSERT_TRUE(loadHostTile(pyramid.get(), t, host.view)) << t;
            }
            const double opaque = depth == 8 ? 255 : (depth == 16 ? 32768 : 1.0);
            for (const auto& [x, y] :
                 {std::pair{0, 0}, {511, 511}, {512, 0}, {599, 519}, {3, 515}}) {
                float stored[4]; // compared in the format's own units
                getPixel4f(x, y, pyramid.get(), 0, stored);
                for (int c = 0; c < 4; ++c) {
                    const int32_t plane = layout.planes[c];
                    const double expected = plane < 0 ? opaque : sampleValue(depth, x, y, plane);
                    EXPECT_NEAR(depth == 32 ? stored[c] : std::round(stored[c] * pyramid->scale),
                                expected, 1e-6)
                        << x << "," << y << " channel " << c;
                }
            }
        }
    }
}

// A view lands where its rectangle says; views that do not cover the tile,
// whose depth, rows or transparency do not match, copy nothing.
TEST(HostLoadingViews, LandWhereTheirRectangleSaysOrCopyNothing) {
    PyramidPtr wide(pyramidCreate(600, 520, PixelFormat::Rgba16));
    PyramidPtr pyramid(pyramidCreate(40, 30, PixelFormat::Rgba8));
    PyramidPtr words(pyramidCreate(40, 30, PixelFormat::Rgba16));
    ASSERT_TRUE(wide && pyramid && words);
    const PixelRect rect = tileRect(wide.get(), 3); // (512, 512) .. (520, 600)
    HostBuffer oneTile(16, rect, 3, 0);
    ASSERT_TRUE(loadHostTile(wide.get(), 3, oneTile.view));
    uint16_t stored[4];
    readRgba16(513, 514, wide.get(), 0, stored);
    EXPECT_EQ(stored[1], sampleValue(16, 513, 514, 1));
    EXPECT_FALSE(loadHostTile(wide.get(), 0, oneTile.view));

    writeRgba8(0, 0, pyramid.get(), 0, 0x12345678u);
    writeRgba8(39, 29, pyramid.get(), 0, 0x12345678u);
    HostBuffer host16(16, {0, 0, 30, 40}, 3, 0);
    EXPECT_FALSE(loadHostTile(pyramid.get(), 0, host16.view));
    host16.view.rowBytes -= 1; // rows shorter than the rectangle
    EXPECT_FALSE(loadHostTile(words.get(), 0, host16.view));
    HostBuffer host8(8, {0, 0, 30, 40}, 3, 0);
    host8.view.filterCase = 4; // transparency claimed, but no plane for it
    EXPECT_FALSE(loadHostTile(pyramid.get(), 0, host8.view));
    host8.view.filterCase = 1;
    host8.view.rowBytes -= 1;
    EXPECT_FALSE(loadHostTile(pyramid.get(), 0, host8.view));
    EXPECT_FALSE(loadHostTile(pyramid.get(), 1, host8.view)); // level 1 is not loadable
    EXPECT_EQ(readRgba8(0, 0, pyramid.get(), 0), 0x12345678u);
    EXPECT_EQ(readRgba8(39, 29, pyramid.get(), 0), 0x12345678u);
}

} // namespace
} // namespace lakra
