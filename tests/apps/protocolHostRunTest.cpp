#include "apps/imageTestUtil.h"
#include "apps/lakra/applyCommand.h"
#include "apps/lakra/pluginLoader.h"
#include "apps/lakra/protocolHost.h"
#include "apps/stubPlugin.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

using testing::stubConfig;
using testing::stubLog;

// An RGBA image of 9 x 20 for the stub to invert (20 rows: three bands of 7).
class SelectorSequence : public ::testing::Test {
protected:
    void SetUp() override {
        testing::stubReset();
        hostClearInterrupt();
        hostInstallInterruptHandler();
        source = testing::patternImage(9, 20, 4, 8);
        ASSERT_EQ(hostRunCreate(&run, pixels(), nullptr, HostRunOptions{}), noErr);
    }

    void TearDown() override {
        hostRunDestroy(run);
        hostClearInterrupt();
    }

    HostPixels pixels() { return HostPixels{9, 20, 3, true, 8, source.pixels.data()}; }

    void expectInverted() const {
        const auto* out = static_cast<const uint8_t*>(hostRunOutput(run).pixels);
        for (size_t i = 0; i < source.pixels.size(); ++i) {
            const uint8_t expected =
                i % 4 == 3 ? source.pixels[i] : static_cast<uint8_t>(255 - source.pixels[i]);
            ASSERT_EQ(out[i], expected) << "sample " << i;
        }
    }

    HostImage source;
    HostRun* run = nullptr;
};

TEST_F(SelectorSequence, PluginWorkingThroughAdvanceStateFiltersWholeImage) {
    EXPECT_EQ(hostRunFilter(run, testing::stubPluginMain), noErr);
    EXPECT_EQ(stubLog().selectors, (std::vector<int16_t>{1, 2, 3, 5}));
    EXPECT_EQ(stubLog().bands, 3);
    expectInverted();
}

TEST_F(SelectorSequence, ClassicPluginIsContinuedUntilItsRegionsAreEmpty) {
    stubConfig().classic = true;
    EXPECT_EQ(hostRunFilter(run, testing::stubPluginMain), noErr);
    EXPECT_EQ(stubLog().selectors, (std::vector<int16_t>{1, 2, 3, 4, 4, 4, 5}));
    expectInverted();
}

TEST_F(SelectorSequence, StartErrorEndsTheRunWithoutFinish) {
    stubConfig().startResult = memFullErr;
    EXPECT_EQ(hostRunFilter(run, testing::stubPluginMain), memFullErr);
    EXPECT_EQ(stubLog().selectors, (std::vector<int16_t>{1, 2, 3}));
}

TEST_F(SelectorSequence, InterruptDuringContinueCancelsAndStillFinishes) {
    stubConfig().classic = true;
    stubConfig().interruptAfter = 1;
    EXPECT_EQ(hostRunFilter(run, testing::stubPluginMain), userCanceledErr);
    EXPECT_TRUE(stubLog().aborted);
    EXPECT_EQ(stubLog().selectors, (std::vector<int16_t>{1, 2, 3, 4, 5}));
}

TEST_F(SelectorSequence, ResultCodesAreExplained) {
    EXPECT_EQ(hostResultMeaning(userCanceledErr), "cancelled");
    EXPECT_EQ(hostResultMeaning(memFullErr), "out of memory");
    EXPECT_NE(hostResultMeaning(1).find("already shown"), std::string::npos);
    EXPECT_NE(hostResultMeaning(-4242).find("does not know"), std::string::npos);
}

class ApplyCommand : public ::testing::Test {
protected:
    void SetUp() override {
        testing::stubReset();
        hostClearInterrupt();
        std::string error;
        ASSERT_TRUE(writeImage(folder.path("in.ppm"), testing::patternImage(8, 10, 3, 8), &error))
            << error;
        job.inputPath = folder.path("in.ppm");
        job.outputPath = folder.path("out.ppm");
        job.recordPath = folder.path("record.json");
        job.entry = testing::stubPluginMain;
        settingsFresh(&job.look);
    }

    void TearDown() override { hostClearInterrupt(); }

    testing::ScratchFolder folder;
    ApplyJob job;
};

TEST_F(ApplyCommand, WritesResultAndRecord) {
    EXPECT_EQ(runApply(job), kExitOk);
    HostImage out;
    std::string error;
    ASSERT_TRUE(readImage(job.outputPath, &out, &error)) << error;
    EXPECT_EQ(out.pixels[1],
              static_cast<uint8_t>(255 - testing::patternImage(8, 10, 3, 8).pixels[1]));
    EXPECT_NE(testing::readFileBytes(job.recordPath).find("\"rippleHeight\": 33"),
              std::string::npos);
}

TEST_F(ApplyCommand, CtrlCEndsWithCancelAndWritesNothing) {
    stubConfig().interruptAfter = 1;
    EXPECT_EQ(runApply(job), kExitCancelled);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"in.ppm"}));
}

TEST_F(ApplyCommand, PluginErrorWritesNothing) {
    stubConfig().startResult = 1;
    EXPECT_EQ(runApply(job), kExitFailed);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"in.ppm"}));
}

TEST_F(ApplyCommand, RefusesMaskOfAnotherSize) {
    std::string error;
    ASSERT_TRUE(writeImage(folder.path("mask.pgm"), testing::blankImage(8, 9, 1, 8), &error));
    job.maskPath = folder.path("mask.pgm");
    EXPECT_EQ(runApply(job), kExitFailed);
    EXPECT_TRUE(stubLog().selectors.empty());
}

TEST(PluginLoading, RunsStubLibraryAndPassesThreadCount) {
    LoadedPlugin* plugin = nullptr;
    PluginEntry entry = nullptr;
    std::string error;
    ASSERT_TRUE(pluginLoad(LAKRA_STUB_PLUGIN, &plugin, &entry, &error)) << error;
    setPluginThreads(3);
    std::vector<uint8_t> samples = {10, 20, 30, 40};
    HostRun* run = nullptr;
    const Descriptor look = {integerValue(fourCharCode("0004"), 5)};
    HostRunOptions options;
    options.look = &look;
    ASSERT_EQ(hostRunCreate(&run, HostPixels{4, 1, 1, false, 8, samples.data()}, nullptr, options),
              noErr);
    EXPECT_EQ(hostRunFilter(run, entry), noErr);
    EXPECT_EQ(static_cast<const uint8_t*>(hostRunOutput(run).pixels)[3], 215);
    Descriptor recorded;
    ASSERT_TRUE(hostRunRecorded(run, &recorded, nullptr));
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[1].key, fourCharCode("Thrd"));
    EXPECT_EQ(recorded[1].integer, 3);
    hostRunDestroy(run);
    setPluginThreads(0);
    pluginUnload(plugin);
}

TEST(PluginLoading, ExplainsMissingAndForeignFiles) {
    LoadedPlugin* plugin = nullptr;
    PluginEntry entry = nullptr;
    std::string error;
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
