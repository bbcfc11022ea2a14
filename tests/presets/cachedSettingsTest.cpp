#include "presets/cachedSettings.h"

#include "host/hostContext.h"
#include "host/seams.h"
#include "presets/presetFile.h"
#include "support/pluginRun.h"
#include "support/scratchFolder.h"

#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

using testing::FakeImage;
using testing::PluginRun;
using testing::ScratchFolder;

// The dialog of a run: notes the look it opens with, may change it, and
// confirms or cancels.
int32_t gSeenBrilliance = -1;
int32_t gNewBrilliance = -1;
bool gConfirm = true;

bool lookAtTheLook() {
    Settings* settings = currentHost().settings;
    gSeenBrilliance = settings->brilliance;
    if (gNewBrilliance >= 0) {
        settings->brilliance = gNewBrilliance;
    }
    return gConfirm;
}

struct CachedLook : ::testing::Test {
    ScratchFolder scratch;

    void SetUp() override { setPreviewDialogHandler(lookAtTheLook); }

    void TearDown() override { setPreviewDialogHandler(nullptr); }

    // A run in a host that has never called the plug-in: a fresh parameters block.
    void runInFreshHost(int32_t newBrilliance, bool confirm) {
        gSeenBrilliance = -1;
        gNewBrilliance = newBrilliance;
        gConfirm = confirm;
        FakeImage image(24, 20, 3, 8, false);
        PluginRun host(&image);
        const Result result = host.run();
        EXPECT_EQ(result, confirm ? noErr : userCanceledErr);
    }
};

TEST_F(CachedLook, ConfirmedLookOpensTheNextRunAndCancelLeavesItAlone) {
    runInFreshHost(77, true);
    EXPECT_EQ(gSeenBrilliance, 42) << "no cached look yet: the defaults";
    const std::vector<uint8_t> before = scratch.read(kCachedSettingsName);
    runInFreshHost(11, false);
    EXPECT_EQ(gSeenBrilliance, 77);
    EXPECT_EQ(scratch.read(kCachedSettingsName), before);
    runInFreshHost(-1, true);
    EXPECT_EQ(gSeenBrilliance, 77);
}

TEST_F(CachedLook, SavedLookIsAPresetOfTheCurrentVersionAndABrokenOneIsRefused) {
    Settings settings{};
    settingsFresh(&settings);
    EXPECT_EQ(cachedSettingsLoad(&settings), kFileNotOpened);
    settings.formatVersion = 3;
    settings.glue = 12;
    ASSERT_EQ(cachedSettingsSave(&settings), noErr);
    EXPECT_EQ(settings.formatVersion, 41);
    EXPECT_EQ(scratch.read(kCachedSettingsName).size(), 74u * 4);
    Settings loaded{};
    settingsFresh(&loaded);
    ASSERT_EQ(cachedSettingsLoad(&loaded), noErr);
    EXPECT_EQ(loaded.glue, 12);
    scratch.write(kCachedSettingsName, {0, 0, 0, 99, 1, 2});
    settingsFresh(&loaded);
    EXPECT_EQ(cachedSettingsLoad(&loaded), kPresetUnknownVersion);
    EXPECT_EQ(loaded.brilliance, 42);
}

} // namespace
} // namespace lakra
