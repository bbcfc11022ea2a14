// The plug-in itself driven by the command-line host: linked in, and loaded
// from its module file by path, it must deliver exactly what the renderer
// makes of the image and record the look it was given.
#include "apps/lakra/applyCommand.h"
#include "apps/lakra/imageFile.h"
#include "apps/lakra/lookOptions.h"
#include "apps/lakra/pluginLoader.h"
#include "apps/lakra/presetCommands.h"
#include "apps/lakra/protocolHost.h"
#include "host/pluginMain.h"
#include "pyramid/pyramid.h"
#include "render/loadSource.h"
#include "render/renderInto.h"
#include "support/fakeHost.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace lakra {
namespace {

using testing::FakeHost;
using testing::FakeImage;

struct Format {
    int32_t colorPlanes;
    int32_t depth;
    bool alpha;
};

void PrintTo(const Format& f, std::ostream* os) {
    *os << (f.colorPlanes == 1 ? "grey" : "rgb") << (f.alpha ? "Alpha" : "") << f.depth;
}

// A look with a water colour whose low bytes are not zero: the recorded
// action must carry the whole 16-bit channels.
Settings testLook() {
    Settings look{};
    settingsFresh(&look);
    std::string error;
    EXPECT_TRUE(lookSet(&look, "waviness=70", &error)) << error;
    EXPECT_TRUE(lookSet(&look, "rippleSize=30", &error)) << error;
    EXPECT_TRUE(lookSet(&look, "yCenter=0.75", &error)) << error;
    EXPECT_TRUE(lookSetGlue(&look, "multiply", &error)) << error;
    look.waterRed = 4660;
    look.waterGreen = 300;
    look.waterBlue = 60000;
    return look;
}

struct Picture {
    Format format;
    int32_t width = 90;
    int32_t height = 70;
    std::vector<uint8_t> samples;

    explicit Picture(const Format& f) : format(f) {
        const int32_t planes = f.colorPlanes + (f.alpha ? 1 : 0);
        const int32_t bytes = f.depth / 8;
        samples.resize(static_cast<size_t>(width) * height * planes * bytes);
        const float full = f.depth == 16 ? 32768.0f : (f.depth == 32 ? 1.0f : 255.0f);
        size_t at = 0;
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                for (int32_t p = 0; p < planes; ++p) {
                    const bool alphaPlane = f.alpha && p == planes - 1;
                    const float v =
                        alphaPlane
                            ? (x < 12 ? 0.4f : 1.0f)
                            : 0.5f + 0.4f * std::sin(0.21f * static_cast<float>(x) +
                                                     0.09f * static_cast<float>(y * (p + 1)));
                    const float stored = v * full;
                    if (f.depth == 8) {
                        samples[at] = static_cast<uint8_t>(stored);
                    } else if (f.depth == 16) {
                        const auto s = static_cast<uint16_t>(stored);
                        std::memcpy(&samples[at], &s, 2);
                    } else {
                        std::memcpy(&samples[at], &stored, 4);
                    }
                    at += static_cast<size_t>(bytes);
                }
            }
        }
    }

    HostPixels pixels() {
        return HostPixels{width,        height,       format.colorPlanes,
                          format.alpha, format.depth, samples.data()};
    }
};

// The renderer's own result for the picture and look, as a host would get it.
std::vector<uint8_t> directRender(const Picture& picture, const Settings& look) {
    const Format& f = picture.format;
    const int32_t planes = f.colorPlanes + (f.alpha ? 1 : 0);
    FakeImage image(picture.width, picture.height, planes, f.depth, f.alpha);
    const size_t pixelBytes = static_cast<size_t>(planes) * (f.depth / 8);
    for (int32_t y = 0; y < picture.height; ++y) {
        std::memcpy(&image.input[image.offset(0, y, 0)],
                    &picture.samples[static_cast<size_t>(y) * picture.width * pixelBytes],
                    picture.width * pixelBytes);
    }
    FakeHost host;
    host.image = &image;
    const PixelFormat format = f.depth == 16
                                   ? PixelFormat::Rgba16
                                   : (f.depth == 32 ? PixelFormat::RgbaFloat : PixelFormat::Rgba8);
    PyramidPtr source(pyramidCreate(picture.width, picture.height, format));
    EXPECT_EQ(loadSource(&host, source.get()), noErr);
    Settings settings = look;
    RenderState state{};
    state.filterWidth = picture.width;
    state.filterHeight = picture.height;
    state.source = source.get();
    state.hostFormat = HostImageFormat{f.depth, planes, f.alpha};
    EXPECT_EQ(renderInto(RenderTarget::Host, &settings, &state, &host, nullptr), noErr);
    std::vector<uint8_t> packed(picture.samples.size());
    for (int32_t y = 0; y < picture.height; ++y) {
        std::memcpy(&packed[static_cast<size_t>(y) * picture.width * pixelBytes],
                    &image.output[image.offset(0, y, 0)], picture.width * pixelBytes);
    }
    return packed;
}

// Runs the plug-in entry through the command-line host; returns its output.
std::vector<uint8_t> runThroughHost(Picture* picture, const Settings& look, PluginEntry entry,
                                    Descriptor* recorded) {
    const Descriptor descriptor = lookDescriptor(look);
    HostRunOptions options;
    options.look = &descriptor;
    HostRun* run = nullptr;
    EXPECT_EQ(hostRunCreate(&run, picture->pixels(), nullptr, options), noErr);
    if (run == nullptr) {
        return {};
    }
    EXPECT_EQ(hostRunFilter(run, entry), noErr);
    int16_t recordInfo = 0;
    EXPECT_TRUE(hostRunRecorded(run, recorded, &recordInfo));
    const HostPixels& out = hostRunOutput(run);
    const auto* bytes = static_cast<const uint8_t*>(out.pixels);
    std::vector<uint8_t> result(bytes, bytes + hostPixelsBytes(out));
    hostRunDestroy(run);
    return result;
}

class RealPlugin : public ::testing::TestWithParam<Format> {};

TEST_P(RealPlugin, DeliversTheRenderersImageAndRecordsItsLook) {
    Picture picture(GetParam());
    const Settings look = testLook();
    Descriptor recorded;
    const std::vector<uint8_t> output = runThroughHost(&picture, look, PluginMain, &recorded);
    EXPECT_EQ(output, directRender(picture, look));

    const Descriptor sent = lookDescriptor(look);
    ASSERT_EQ(recorded.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(recorded[i].key, sent[i].key) << i;
        EXPECT_EQ(recorded[i].integer, sent[i].integer) << i;
        EXPECT_EQ(recorded[i].number, sent[i].number) << i;
        EXPECT_EQ(recorded[i].enumValue, sent[i].enumValue) << i;
    }
}

TEST_P(RealPlugin, ModuleLoadedByPathGivesTheSameImage) {
    LoadedPlugin* module = nullptr;
    PluginEntry entry = nullptr;
    std::string error;
    ASSERT_TRUE(pluginLoad(LAKRA_PLUGIN_FILE, &module, &entry, &error)) << error;
    Picture picture(GetParam());
    const Settings look = testLook();
    Descriptor recorded;
    const std::vector<uint8_t> loaded = runThroughHost(&picture, look, entry, &recorded);
    pluginUnload(module);
    Descriptor again;
    EXPECT_EQ(loaded, runThroughHost(&picture, look, PluginMain, &again));
}

// `lakra apply` end to end, files in and out, renders exactly the look it is
// given: the plug-in's default look with no options, and a preset's whole look
// (its 16-bit water colour included) with --preset.
class ApplyCommandLook : public ::testing::TestWithParam<Format> {
protected:
    static std::string scratch(const std::string& name) {
        const char* folder = std::getenv("LAKRA_TEMP"); // NOLINT(concurrency-mt-unsafe)
        return std::string(folder != nullptr ? folder : "") + "exactLook-" + name;
    }

    // Writes the picture, applies the options' look, reads the result back.
    static std::vector<uint8_t> apply(const Picture& picture, const LookOptions& options,
                                      Settings* look) {
        HostImage image;
        image.width = picture.width;
        image.height = picture.height;
        image.planes = picture.format.colorPlanes;
        image.depth = picture.format.depth;
        image.pixels = picture.samples;
        ApplyJob job;
        job.inputPath = scratch("in.ppm");
        job.outputPath = scratch("out.ppm");
        job.entry = PluginMain;
        std::string error;
        EXPECT_TRUE(writeImage(job.inputPath, image, &error)) << error;
        EXPECT_EQ(lookFromOptions(options, &job.look), kExitOk);
        *look = job.look;
        EXPECT_EQ(runApply(job), kExitOk);
        HostImage result;
        EXPECT_TRUE(readImage(job.outputPath, &result, &error)) << error;
        return result.pixels;
    }
};

TEST_P(ApplyCommandLook, DefaultLookWithoutOptions) {
    const Picture picture(GetParam());
    Settings look{};
    const std::vector<uint8_t> output = apply(picture, LookOptions{}, &look);
    Settings defaults{};
    settingsFresh(&defaults);
    EXPECT_EQ(output, directRender(picture, defaults));
}

TEST_P(ApplyCommandLook, PresetsWholeLook) {
    Settings saved = testLook();
    LookOptions options;
    options.presetPath = scratch("odd colour.q8r");
    ASSERT_EQ(writePresetLook(options.presetPath, &saved), kExitOk);
    const Picture picture(GetParam());
    Settings look{};
    const std::vector<uint8_t> output = apply(picture, options, &look);
    EXPECT_EQ(look.waterRed, 4660);
    EXPECT_EQ(look.waterGreen, 300);
    EXPECT_EQ(look.waterBlue, 60000);
    EXPECT_EQ(output, directRender(picture, look));
}

INSTANTIATE_TEST_SUITE_P(Formats, ApplyCommandLook,
                         ::testing::Values(Format{3, 8, false}, Format{3, 16, false}),
                         [](const ::testing::TestParamInfo<Format>& param) {
                             std::ostringstream name;
                             PrintTo(param.param, &name);
                             return name.str();
                         });

INSTANTIATE_TEST_SUITE_P(Formats, RealPlugin,
                         ::testing::Values(Format{3, 8, false}, Format{1, 8, false},
                                           Format{3, 8, true}, Format{3, 16, false},
                                           Format{1, 16, true}, Format{3, 32, true}),
                         [](const ::testing::TestParamInfo<Format>& param) {
                             std::ostringstream name;
                             PrintTo(param.param, &name);
                             return name.str();
                         });

} // namespace
} // namespace lakra
