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
    scratch.write(kCachedSettingsName, {0, 0, 0, 99, 1, 2});
    runInFreshHost(77, true);
    EXPECT_EQ(gSeenBrilliance, 42) << "an unreadable cached look: the defaults";
    const std::vector<uint8_t> before = scratch.read(kCachedSettingsName);
    EXPECT_EQ(before.size(), 74u * 4) << "a preset of the current version";
    runInFreshHost(11, false);
    EXPECT_EQ(gSeenBrilliance, 77);
    EXPECT_EQ(scratch.read(kCachedSettingsName), before);
    runInFreshHost(-1, true);
    EXPECT_EQ(gSeenBrilliance, 77);
}

} // namespace
} // namespace lakra
