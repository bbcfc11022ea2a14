#include "support/pluginRun.h"

#include "host/pluginMain.h"
#include "pyramid/pyramid.h"
#include "render/loadSource.h"
#include "render/renderInto.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

namespace lakra::testing {

namespace {

size_t packedRowBytes(const FakeImage& image) {
    return static_cast<size_t>(image.width) * static_cast<size_t>(image.planes) *
           static_cast<size_t>(image.sampleBytes());
}

} // namespace

std::vector<uint8_t> packedRows(const FakeImage& image, const std::vector<uint8_t>& rows) {
    const size_t row = packedRowBytes(image);
    std::vector<uint8_t> packed(row * static_cast<size_t>(image.height));
    for (int32_t y = 0; y < image.height; ++y) {
        std::memcpy(&packed[row * static_cast<size_t>(y)], &rows[image.offset(0, y, 0)], row);
    }
    return packed;
}

HostRunOptions PluginRun::interactive() {
    HostRunOptions options;
    options.playInfo = plugInDialogDisplay;
    return options;
}

PluginRun::PluginRun(FakeImage* fakeImage, HostRunOptions options)
    : image(fakeImage), entry(PluginMain), packed(packedRows(*fakeImage, fakeImage->input)) {
    const int32_t colorPlanes = image->planes - (image->transparency ? 1 : 0);
    const HostPixels pixels{image->width,        image->height, colorPlanes,
                            image->transparency, image->depth,  packed.data()};
    const SelectionMask mask{image->width, image->height, image->mask.data()};
    const Result created =
        hostRunCreate(&host, pixels, image->mask.empty() ? nullptr : &mask, options);
    if (created != noErr) {
        ADD_FAILURE() << "the host refused the image: " << created;
        std::abort();
    }
    image->output = image->input; // the rows' padding too
}

PluginRun::~PluginRun() {
    hostRunDestroy(host);
}

Result PluginRun::synced(Result result) {
    const size_t row = packedRowBytes(*image);
    const auto* out = static_cast<const uint8_t*>(hostRunOutput(host).pixels);
    for (int32_t y = 0; y < image->height; ++y) {
        std::memcpy(&image->output[image->offset(0, y, 0)], out + row * static_cast<size_t>(y),
                    row);
    }
    return result;
}

Result PluginRun::call(int16_t selector) {
    return synced(hostRunSelector(host, entry, selector));
}

Result PluginRun::run() {
    return synced(hostRunFilter(host, entry));
}

Result PluginRun::repeat() {
    return synced(hostRunRepeat(host, entry));
}

void fillPattern(FakeImage* image) {
    const float full = image->depth == 16 ? 32768.0f : (image->depth == 32 ? 1.0f : 255.0f);
    for (int32_t y = 0; y < image->height; ++y) {
        for (int32_t x = 0; x < image->width; ++x) {
            for (int32_t p = 0; p < image->planes; ++p) {
                const bool alpha = image->transparency && p == image->planes - 1;
                const float v = alpha
                                    ? (x < 10 ? 0.5f : 1.0f)
                                    : 0.5f + 0.4f * std::sin(0.2f * static_cast<float>(x + 3 * p) +
                                                             0.13f * static_cast<float>(y));
                image->setInput(x, y, p, v * full);
            }
        }
    }
}

std::vector<uint8_t> directRender(const FakeImage& original, const Settings& look) {
    FakeImage image = original;
    FakeHost host;
    host.image = &image;
    const PixelFormat format =
        image.depth == 16 ? PixelFormat::Rgba16
                          : (image.depth == 32 ? PixelFormat::RgbaFloat : PixelFormat::Rgba8);
    PyramidPtr source(pyramidCreate(image.width, image.height, format));
    EXPECT_EQ(loadSource(&host, source.get()), noErr);
    Settings settings = look;
    RenderState state{};
    state.filterWidth = image.width;
    state.filterHeight = image.height;
    state.source = source.get();
    state.hostFormat = HostImageFormat{image.depth, image.planes, image.transparency};
    EXPECT_EQ(renderInto(RenderTarget::Host, &settings, &state, &host, nullptr), noErr);
    return image.output;
}

std::vector<uint8_t> directRender(const FakeImage& image) {
    Settings look{};
    settingsFresh(&look);
    return directRender(image, look);
}

} // namespace lakra::testing
