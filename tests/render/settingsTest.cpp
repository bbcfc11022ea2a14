#include "render/settings.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>

namespace lakra {
namespace {

// The record fits the host's parameters block, floats first.
static_assert(sizeof(Settings) <= kParametersBlockBytes);
static_assert(offsetof(Settings, carriedFloat1) == 0);
static_assert(offsetof(Settings, horizonFloat) < offsetof(Settings, renderTarget));

TEST(SettingsDefaults, FreshRecordHoldsTheDefaultLookAndResetKeepsTheViewState) {
    Settings s;
    std::memset(&s, 0xA5, sizeof s); // a host block's contents are undefined
    settingsFresh(&s);
    EXPECT_STREQ(s.dotName, "Lakra settings");
    EXPECT_EQ(s.renderTarget, RenderTarget::Host);
    EXPECT_EQ(s.formatVersion, kSettingsFormatVersion);

    EXPECT_FLOAT_EQ(s.xCenter, 0.5f);
    EXPECT_FLOAT_EQ(s.yCenter, 0.2f);
    EXPECT_FLOAT_EQ(s.horizonFloat, 60.0f);
    EXPECT_FLOAT_EQ(s.offsetFloat, 0.0f);
    EXPECT_NEAR(s.carriedFloat3, 0.2742262, 1e-6);

    // clang-format off
    const struct {
        const char* name;
        int64_t value;
        int64_t expected;
    } fields[] = {
        {"previewScale", s.previewScale, 1}, {"glue", s.glue, 1}, {"randomSeed", s.randomSeed, 21},
        {"waterRed", s.waterRed, 257}, {"waterGreen", s.waterGreen, 514},
        {"waterBlue", s.waterBlue, 771}, {"rippleHeight", s.rippleHeight, 33},
        {"horizon", s.horizon, 60}, {"perspective", s.perspective, 57},
        {"undulation", s.undulation, 40}, {"rippleSize", s.rippleSize, 0}, {"offset", s.offset, 0},
        {"waviness", s.waviness, 40}, {"blur", s.blur, 25}, {"complexity", s.complexity, 50},
        {"altitude", s.altitude, 50}, {"brilliance", s.brilliance, 42},
        {"carriedWord1", s.carriedWord1, 27632}, {"carriedWord18", s.carriedWord18, 13107},
        {"carriedWord19", s.carriedWord19, 0}, {"carriedInt1", s.carriedInt1, 50},
        {"carriedInt7", s.carriedInt7, 50}, {"carriedInt16", s.carriedInt16, 100},
        {"carriedInt18", s.carriedInt18, 50}};

    // clang-format on
    for (const auto& f : fields) {
        EXPECT_EQ(f.value, f.expected) << f.name;
    }
    // A reset keeps the last three carried words and the view state.
    s.carriedWord18 = 1;
    s.carriedWord19 = 11;
    s.carriedWord20 = 12;
    s.carriedWord21 = 13;
    s.glue = 17;
    s.previewScale = 6;
    s.panX = 40;
    settingsReset(&s);
    EXPECT_EQ(std::tuple(s.carriedWord18, s.carriedWord19, s.carriedWord20, s.carriedWord21, s.glue,
                         s.previewScale, s.panX),
              std::tuple(13107, 11, 12, 13, 1, 6, 40));
}

TEST(SettingsCopyLook, CopiesTheLookButNotTheViewStateNorTheLastCarriedInteger) {
    Settings from;
    Settings to;
    settingsFresh(&from);
    settingsFresh(&to);
    from.glue = 33;
    from.carriedWord21 = 5;
    from.carriedInt18 = 7;
    from.carriedInt19 = 8;
    setHorizon(&from, 12.75f);
    setOffset(&from, 3.5f);
    setDotName(&from, "dot 4");
    from.previewScale = 9;
    from.pass = 3;
    from.renderTarget = RenderTarget::Offline;
    std::strcpy(from.presetsFolder, "/somewhere");

    copyLook(from, &to);
    EXPECT_EQ(std::tuple(to.glue, to.carriedWord21, to.carriedInt18, to.carriedInt19, to.horizon,
                         to.offset, to.previewScale, to.renderTarget),
              std::tuple(33, 5, 7, 0, 12, 3, 1, RenderTarget::Host));
    EXPECT_FLOAT_EQ(to.horizonFloat, 12.75f);
    EXPECT_FLOAT_EQ(to.offsetFloat, 3.5f);
    EXPECT_STREQ(to.dotName, "dot 4");
    EXPECT_STREQ(to.presetsFolder, "");
    // A name is cut to its field and terminated.
    char longName[400];
    std::memset(longName, 'x', sizeof longName - 1);
    longName[sizeof longName - 1] = '\0';
    setDotName(&to, longName);
    EXPECT_EQ(std::strlen(to.dotName), kSettingsNameBytes - 1);
    setDotName(&to, nullptr);
    EXPECT_STREQ(to.dotName, "");
}

// The ends of the sliders: the horizon is never the last row, and a
// scripted value at the end of the integer range does not overflow.
TEST(SettingsWorkingValues, EndsOfTheSlidersAndTheGlueStep) {
    Settings s;
    settingsFresh(&s);
    EXPECT_EQ(workingValues(s).ringRadius, 0.0f) << "ripple size 0 turns the rings off";
    setHorizon(&s, 100.0f);
    setOffset(&s, 50.0f);
    s.complexity = 0;
    s.rippleSize = 100;
    s.altitude = 100;
    s.perspective = INT32_MAX;
    const WorkingValues w = workingValues(s);
    EXPECT_FLOAT_EQ(w.horizon, 0.99f);
    EXPECT_FLOAT_EQ(w.waterLine, 0.995f);
    EXPECT_FLOAT_EQ(w.octaves, 1.01f);
    EXPECT_FLOAT_EQ(w.ringRadius, 30.0f);
    EXPECT_FLOAT_EQ(w.perspective, 2147483648.0f * 0.01f * 0.125f * 1.5f);
    s.complexity = 100;
    EXPECT_FLOAT_EQ(workingValues(s).octaves, 7.01f);
    // The glue steps through all modes; scripted values outside the list step
    // to the first.
    for (const auto& [from, to] : {std::pair{62, 63}, {63, 1}, {500, 1}, {-4, 1}}) {
        s.glue = from;
        stepGlue(&s);
        EXPECT_EQ(s.glue, to) << from;
    }
}

} // namespace
} // namespace lakra
