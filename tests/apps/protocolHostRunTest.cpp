#include "apps/imageTestUtil.h"
#include "apps/lakra/applyCommand.h"
#include "apps/lakra/pluginLoader.h"
#include "apps/lakra/protocolHost.h"
#include "apps/stubPlugin.h"

#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

using testing::stub;

struct Sequence {
    const char* name;
    bool classic;
    int32_t interruptAfter;
    Result startResult;
    Result result;
    std::vector<int16_t> selectors;
};

// The selectors a run calls, and an RGBA image of 9 x 20 (three bands of 7)
// inverted but for its transparency when the run succeeds.
TEST(SelectorSequence, FollowsThePluginsWayOfWorkingAndItsErrors) {
    const Sequence sequences[] = {
        {"advanceState", false, 0, noErr, noErr, {1, 2, 3, 5}},
        {"classic", true, 0, noErr, noErr, {1, 2, 3, 4, 4, 4, 5}},
        {"startErrorWithoutFinish", false, 0, memFullErr, memFullErr, {1, 2, 3}},
        {"interruptInContinueStillFinishes", true, 1, noErr, userCanceledErr, {1, 2, 3, 4, 5}},
    };
    HostImage source = testing::patternImage(9, 20, 4, 8);
    for (const Sequence& s : sequences) {
        SCOPED_TRACE(s.name);
        stub() = testing::Stub{};
        stub().classic = s.classic;
        stub().interruptAfter = s.interruptAfter;
        stub().startResult = s.startResult;
        hostClearInterrupt();
        hostInstallInterruptHandler();
        HostRun* run = nullptr;
        ASSERT_EQ(hostRunCreate(&run, HostPixels{9, 20, 3, true, 8, source.pixels.data()}, nullptr,
                                HostRunOptions{}),
                  noErr);
        EXPECT_EQ(hostRunFilter(run, testing::stubPluginMain), s.result);
        EXPECT_EQ(stub().selectors, s.selectors);
        EXPECT_EQ(stub().aborted, s.interruptAfter > 0);
        const auto* out = static_cast<const uint8_t*>(hostRunOutput(run).pixels);
        for (size_t i = 0; s.result == noErr && i < source.pixels.size(); ++i) {
            const int inverted = i % 4 == 3 ? source.pixels[i] : 255 - source.pixels[i];
            ASSERT_EQ(out[i], inverted) << "sample " << i;
        }
        hostRunDestroy(run);
    }
    hostClearInterrupt();
}

// A plug-in that keeps to the 16-bit rectangles cannot reach past 32767
// pixels: the run stops after prepare, before any pixel is asked for.
TEST(SelectorSequence, WideImageStopsAfterPrepareWhenThePluginKeepsTo16BitCoordinates) {
    stub() = testing::Stub{};
    std::vector<uint8_t> samples(size_t{33000} * 2 * 3);
    HostRun* run = nullptr;
    ASSERT_EQ(hostRunCreate(&run, HostPixels{33000, 2, 3, false, 8, samples.data()}, nullptr,
                            HostRunOptions{}),
              noErr);
    EXPECT_EQ(hostRunFilter(run, testing::stubPluginMain), kHostNeedsBigDocument);
    EXPECT_EQ(stub().selectors, (std::vector<int16_t>{1, 2}));
    EXPECT_NE(hostResultMeaning(kHostNeedsBigDocument).find("32767"), std::string::npos);
    hostRunDestroy(run);
}

TEST(SelectorSequence, ResultCodesAreExplained) {
    EXPECT_EQ(hostResultMeaning(userCanceledErr), "cancelled");
    EXPECT_EQ(hostResultMeaning(memFullErr), "out of memory");
    EXPECT_NE(hostResultMeaning(1).find("already shown"), std::string::npos);
    EXPECT_NE(hostResultMeaning(-4242).find("does not know"), std::string::npos);
}

struct ApplyCase {
    const char* name;
    int32_t interruptAfter;
    Result startResult;
    int32_t maskHeight; // of a mask beside the 8 x 10 image; 0 for none
    int exit;
};

// `lakra apply` writes its result and record only when the plug-in succeeds.
TEST(ApplyCommand, WritesResultAndRecordOnlyAfterSuccess) {
    const HostImage source = testing::patternImage(8, 10, 3, 8);
    for (const ApplyCase& c :
         {ApplyCase{"ok", 0, noErr, 0, kExitOk}, ApplyCase{"ctrlC", 1, noErr, 0, kExitCancelled},
          ApplyCase{"pluginError", 0, 1, 0, kExitFailed},
          ApplyCase{"maskOfAnotherSize", 0, noErr, 9, kExitFailed}}) {
        SCOPED_TRACE(c.name);
        stub() = testing::Stub{};
        stub().interruptAfter = c.interruptAfter;
        stub().startResult = c.startResult;
        hostClearInterrupt();
        testing::ScratchFolder folder;
        std::string error;
        ASSERT_TRUE(writeImage(folder.path("in.ppm"), source, &error)) << error;
        ApplyJob job;
        job.inputPath = folder.path("in.ppm");
        job.outputPath = folder.path("out.ppm");
        job.recordPath = folder.path("record.json");
        job.entry = testing::stubPluginMain;
        settingsFresh(&job.look);
        std::vector<std::string> written = {"in.ppm"};
        if (c.maskHeight > 0) {
            job.maskPath = folder.path("mask.pgm");
            ASSERT_TRUE(
                writeImage(job.maskPath, testing::blankImage(8, c.maskHeight, 1, 8), &error));
            written.emplace_back("mask.pgm");
        }
        EXPECT_EQ(runApply(job), c.exit);
        if (c.exit != kExitOk) {
            EXPECT_EQ(folder.entries(), written);
            continue;
        }
        HostImage out;
        ASSERT_TRUE(readImage(job.outputPath, &out, &error)) << error;
        EXPECT_EQ(out.pixels[1], 255 - source.pixels[1]);
        EXPECT_NE(testing::readFileBytes(job.recordPath).find("\"rippleHeight\": 33"),
                  std::string::npos);
    }
    hostClearInterrupt();
}

TEST(PluginLoading, RunsAStubLibraryPassingTheThreadCountAndExplainsOtherFiles) {
    LoadedPlugin* plugin = nullptr;
    PluginEntry entry = nullptr;
    std::string error;
    ASSERT_TRUE(pluginLoad(LAKRA_STUB_PLUGIN, &plugin, &entry, &error)) << error;
    setPluginThreads(3);
    std::vector<uint8_t> samples = {10, 20, 30, 40};
    HostRun* run = nullptr;
    ASSERT_EQ(hostRunCreate(&run, HostPixels{4, 1, 1, false, 8, samples.data()}, nullptr,
                            HostRunOptions{}),
              noErr);
    EXPECT_EQ(hostRunFilter(run, entry), noErr);
    EXPECT_EQ(static_cast<const uint8_t*>(hostRunOutput(run).pixels)[3], 215);
    Descriptor recorded;
    ASSERT_TRUE(hostRunRecorded(run, &recorded, nullptr));
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].key, fourCharCode("Thrd"));
    EXPECT_EQ(recorded[0].integer, 3);
    hostRunDestroy(run);
    setPluginThreads(0);
    pluginUnload(plugin);

    plugin = nullptr;
    EXPECT_FALSE(pluginLoad("no-such-plugin.8bf", &plugin, &entry, &error));
    EXPECT_NE(error.find("no-such-plugin.8bf: no such file"), std::string::npos) << error;
    testing::ScratchFolder folder;
    testing::writeFileBytes(folder.path("text.8bf"), "not a library");
    EXPECT_FALSE(pluginLoad(folder.path("text.8bf"), &plugin, &entry, &error));
    EXPECT_NE(error.find("cannot load plug-in"), std::string::npos) << error;
    EXPECT_EQ(plugin, nullptr);
}

} // namespace
} // namespace lakra
