// The plug-in itself driven by the command-line host: loaded from its module
// file by path, or run by `lakra apply`, it must deliver exactly what the
// renderer makes of the image and record the look it was given.
#include "apps/imageTestUtil.h"
#include "apps/lakra/applyCommand.h"
#include "apps/lakra/lookOptions.h"
#include "apps/lakra/pluginLoader.h"
#include "apps/lakra/presetCommands.h"
#include "host/pluginMain.h"
#include "pyramid/pyramid.h"
#include "render/loadSource.h"
#include "render/renderInto.h"
#include "support/fakeHost.h"
#include "support/pluginRun.h"

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

std::string formatName(const ::testing::TestParamInfo<Format>& param) {
    const Format& f = param.param;
    return std::string(f.colorPlanes == 1 ? "grey" : "rgb") + (f.alpha ? "Alpha" : "") +
           std::to_string(f.depth);
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

FakeImage picture(const Format& f) {
    FakeImage image(90, 70, f.colorPlanes + (f.alpha ? 1 : 0), f.depth, f.alpha);
    testing::fillPattern(&image);
    return image;
}

class RealPlugin : public ::testing::TestWithParam<Format> {};

TEST_P(RealPlugin, ModuleLoadedByPathDeliversTheRenderersImageAndRecordsItsLook) {
    LoadedPlugin* module = nullptr;
    PluginEntry entry = nullptr;
    std::string error;
    ASSERT_TRUE(pluginLoad(LAKRA_PLUGIN_FILE, &module, &entry, &error)) << error;
    FakeImage image = picture(GetParam());
    const Settings look = testLook();
    const Descriptor sent = lookDescriptor(look);
    HostRunOptions options;
    options.look = &sent;
    Descriptor recorded;
    {
        testing::PluginRun run(&image, options);
        run.entry = entry;
        EXPECT_EQ(run.run(), noErr);
        EXPECT_TRUE(hostRunRecorded(run.host, &recorded, nullptr));
        EXPECT_EQ(hostBufferCount(), 0) << "every host buffer is given back";
        EXPECT_GE(hostCounters().continueCalls, 1);
        EXPECT_GT(hostCounters().progressCalls, 0);
    }
    pluginUnload(module);
    EXPECT_EQ(image.output, testing::directRender(image, look));
    ASSERT_EQ(recorded.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(std::tie(recorded[i].key, recorded[i].integer, recorded[i].number,
                           recorded[i].enumValue),
                  std::tie(sent[i].key, sent[i].integer, sent[i].number, sent[i].enumValue))
            << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RealPlugin,
                         ::testing::Values(Format{3, 8, false}, Format{1, 8, false},
                                           Format{3, 8, true}, Format{3, 16, false},
                                           Format{1, 16, true}, Format{3, 32, false},
                                           Format{3, 32, true}),
                         formatName);

// `lakra apply` end to end, files in and out, renders exactly the look it is
// given: the plug-in's default look with no options, and a preset's whole look
// (its 16-bit water colour included) with --preset.
class ApplyCommandLook : public ::testing::TestWithParam<Format> {
protected:
    // Writes the image, applies the options' look, reads the result back.
    std::vector<uint8_t> apply(const FakeImage& picture, const LookOptions& options,
                               Settings* look) {
        HostImage image =
            testing::blankImage(picture.width, picture.height, picture.planes, picture.depth);
        image.pixels = testing::packedRows(picture, picture.input);
        ApplyJob job;
        job.inputPath = folder.path("in.ppm");
        job.outputPath = folder.path("out.ppm");
        job.entry = PluginMain;
        std::string error;
        EXPECT_TRUE(writeImage(job.inputPath, image, &error)) << error;
        EXPECT_EQ(lookFromOptions(options, &job.look), kExitOk);
        *look = job.look;
        EXPECT_EQ(runApply(job), kExitOk);
        // Every region the plug-in asks for lies inside the image in its own
        // layout: served in place, none copied.
        EXPECT_EQ(hostCounters().regionCopies, 0);
        EXPECT_GT(hostCounters().regionsInPlace, 0);
        HostImage result;
        EXPECT_TRUE(readImage(job.outputPath, &result, &error)) << error;
        return result.pixels;
    }

    testing::ScratchFolder folder;
};

TEST_P(ApplyCommandLook, DefaultsWithoutOptionsAndAPresetsWholeLook) {
    const FakeImage image = picture(GetParam());
    Settings look{};
    EXPECT_EQ(apply(image, LookOptions{}, &look),
              testing::packedRows(image, testing::directRender(image)));

    Settings saved = testLook();
    LookOptions options;
    options.presetPath = folder.path("odd colour.q8r");
    ASSERT_EQ(writePresetLook(options.presetPath, &saved), kExitOk);
    const std::vector<uint8_t> output = apply(image, options, &look);
    EXPECT_EQ(std::tie(look.waterRed, look.waterGreen, look.waterBlue),
              std::make_tuple(4660, 300, 60000));
    EXPECT_EQ(output, testing::packedRows(image, testing::directRender(image, look)));
}

INSTANTIATE_TEST_SUITE_P(Formats, ApplyCommandLook,
                         ::testing::Values(Format{3, 8, false}, Format{3, 16, false}), formatName);

// A document wider than the 16-bit coordinates reach: the plug-in takes the
// host's big-document data, asks for every region in the 32-bit rectangles
// and delivers the renderer's image across the whole width. 64 rows hold the
// horizon and the water.
TEST(BigDocument, WiderThan32767PixelsRendersThroughThe32BitRectangles) {
    FakeImage image(33000, 64, 3, 8, false);
    testing::fillPattern(&image);
    const Settings look = testLook();
    const Descriptor sent = lookDescriptor(look);
    HostRunOptions options;
    options.look = &sent;
    {
        testing::PluginRun run(&image, options);
        ASSERT_EQ(run.run(), noErr);
        const BigDocumentStruct* big = getBigDocumentData(run.record());
        EXPECT_EQ(big->PluginUsing32BitCoordinates, 1);
        EXPECT_EQ(run.record().inRect.right, 0) << "no request in the 16-bit rectangles";
        EXPECT_EQ(hostCounters().regionCopies, 0);
    }
    EXPECT_EQ(image.output, testing::directRender(image, look));

    // The same look rendered through the plug-in's own Offline target at that
    // size: where the result is opaque the two finishes agree sample for sample.
    FakeHost host;
    FakeImage source = image;
    host.image = &source;
    PyramidPtr pyramid(pyramidCreate(image.width, image.height, PixelFormat::Rgba8));
    PyramidPtr offline(pyramidCreate(image.width, image.height, PixelFormat::Rgba8));
    ASSERT_EQ(loadSource(&host, pyramid.get()), noErr);
    Settings settings = look;
    RenderState state{};
    state.filterWidth = image.width;
    state.filterHeight = image.height;
    state.source = pyramid.get();
    state.offlineImage = offline.get();
    state.hostFormat = HostImageFormat{8, 3, false};
    ASSERT_EQ(renderInto(RenderTarget::Offline, &settings, &state, nullptr, nullptr), noErr);
    int64_t opaque = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const uint32_t word = readRgba8(x, y, offline.get(), 0);
            if ((word & 0xFFu) != 255u) {
                continue;
            }
            ++opaque;
            for (int32_t c = 0; c < 3; ++c) {
                ASSERT_EQ(image.outputAt(x, y, c),
                          static_cast<float>((word >> (24 - 8 * c)) & 0xFFu))
                    << x << ", " << y << " channel " << c;
            }
        }
    }
    EXPECT_GT(opaque, int64_t{image.width} * image.height * 9 / 10);
}

} // namespace
} // namespace lakra
