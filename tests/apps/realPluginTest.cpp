// The plug-in itself driven by the command-line host: linked in, and loaded
// from its module file by path, it must deliver exactly what the renderer
// makes of the image and record the look it was given.
#include "apps/lakra/lookOptions.h"
#include "apps/lakra/pluginLoader.h"
#include "host/pluginMain.h"
#include "support/pluginRun.h"

#include <gtest/gtest.h>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace lakra {
namespace {

using testing::FakeImage;
using testing::PluginRun;

struct Format {
    int32_t colorPlanes;
    int32_t depth;
    bool alpha;
};

void PrintTo(const Format& f, std::ostream* os) {
    *os << (f.colorPlanes == 1 ? "grey" : "rgb") << (f.alpha ? "Alpha" : "") << f.depth;
}

// A look the scripting keys carry exactly: colours with a zero low byte.
Settings testLook() {
    Settings look{};
    settingsFresh(&look);
    std::string error;
    EXPECT_TRUE(lookSet(&look, "waviness=70", &error)) << error;
    EXPECT_TRUE(lookSet(&look, "rippleSize=30", &error)) << error;
    EXPECT_TRUE(lookSet(&look, "yCenter=0.75", &error)) << error;
    EXPECT_TRUE(lookSetGlue(&look, "multiply", &error)) << error;
    look.waterRed = 0x2000;
    look.waterGreen = 0x4000;
    look.waterBlue = 0x6000;
    return look;
}

FakeImage picture(const Format& f) {
    FakeImage image(90, 70, f.colorPlanes + (f.alpha ? 1 : 0), f.depth, f.alpha);
    testing::fillPattern(&image);
    return image;
}

// Plays the look to the entry, silently; returns the output, and what the
// plug-in recorded in *recorded.
std::vector<uint8_t> runThroughHost(FakeImage* image, const Settings& look, PluginEntry entry,
                                    Descriptor* recorded) {
    const Descriptor descriptor = lookDescriptor(look);
    HostRunOptions options;
    options.look = &descriptor;
    PluginRun run(image, options);
    run.entry = entry;
    EXPECT_EQ(run.run(), noErr);
    EXPECT_TRUE(hostRunRecorded(run.host, recorded, nullptr));
    EXPECT_EQ(hostBufferCount(), 0) << "every host buffer is given back";
    EXPECT_GE(hostCounters().continueCalls, 1);
    EXPECT_GT(hostCounters().progressCalls, 0);
    return image->output;
}

class RealPlugin : public ::testing::TestWithParam<Format> {};

TEST_P(RealPlugin, DeliversTheRenderersImageAndRecordsItsLook) {
    FakeImage image = picture(GetParam());
    const Settings look = testLook();
    Descriptor recorded;
    const std::vector<uint8_t> output = runThroughHost(&image, look, PluginMain, &recorded);
    EXPECT_EQ(output, testing::directRender(image, look));

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
    FakeImage image = picture(GetParam());
    const Settings look = testLook();
    Descriptor recorded;
    const std::vector<uint8_t> loaded = runThroughHost(&image, look, entry, &recorded);
    pluginUnload(module);
    EXPECT_EQ(loaded, runThroughHost(&image, look, PluginMain, &recorded));
}

INSTANTIATE_TEST_SUITE_P(Formats, RealPlugin,
                         ::testing::Values(Format{3, 8, false}, Format{1, 8, false},
                                           Format{3, 8, true}, Format{3, 16, false},
                                           Format{1, 16, true}, Format{3, 32, false},
                                           Format{3, 32, true}),
                         [](const ::testing::TestParamInfo<Format>& param) {
                             std::ostringstream name;
                             PrintTo(param.param, &name);
                             return name.str();
                         });

} // namespace
} // namespace lakra
