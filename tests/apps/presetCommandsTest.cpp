#include "apps/lakra/presetCommands.h"

#include "apps/imageTestUtil.h"
#include "apps/lakra/applyCommand.h"
#include "apps/lakra/lookOptions.h"
#include "apps/lakra/presetThumbnails.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace lakra {
namespace {

using testing::ScratchFolder;

// Every --set field with a value off its default; the reals are exact in
// the file (the centres are stored in 1/65536 steps).
const std::vector<std::string> kEverySetting = {
    "rippleHeight=77", "horizon=37.5", "perspective=12",    "undulation=3",
    "rippleSize=0",    "offset=62.25", "waviness=100",      "blur=1",
    "complexity=55",   "altitude=9",   "brilliance=0",      "randomSeed=-123456",
    "xCenter=0.25",    "yCenter=0.75", "waterColor=#0a7bff"};

// Saved, shown as text and as JSON with the same members, and overridden by --set.
TEST(PresetCommands, SaveThenShowReproducesEverySetValue) {
    ScratchFolder folder;
    const std::string path = folder.path("every setting.q8r");
    ASSERT_EQ(runPresetSave(path, {"", kEverySetting, "GL07"}), kExitOk);
    Settings look{};
    ASSERT_EQ(readPresetLook(path, &look), kExitOk);
    const std::string text = presetText(look);
    for (std::string line : kEverySetting) {
        line[line.find('=')] = ' ';
        EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << "\n" << text;
    }
    EXPECT_NE(text.find("\nglue 7\n"), std::string::npos);
    EXPECT_EQ(text.rfind("formatVersion 41\n", 0), 0u);
    EXPECT_NE(text.find("\ncarriedInt19 "), std::string::npos);

    std::istringstream lines(text);
    std::string json = "{";
    for (std::string line; std::getline(lines, line);) {
        const size_t space = line.find(' ');
        const std::string value = line.substr(space + 1);
        json += (json.size() > 1 ? ",\n  \"" : "\n  \"") + line.substr(0, space) +
                "\": " + (value[0] == '#' ? "\"" + value + "\"" : value);
    }
    EXPECT_EQ(presetJson(look), json + "\n}\n");

    ASSERT_EQ(lookFromOptions({path, {"rippleHeight=5", "horizon=80"}, "2"}, &look), kExitOk);
    EXPECT_EQ(std::tie(look.rippleHeight, look.horizonFloat, look.horizon, look.glue,
                       look.perspective, look.randomSeed, look.waterBlue),
              std::make_tuple(5, 80.0f, 80, 2, 12, -123456, uint16_t{0xffff}));
}

TEST(PresetCommands, DiceWithASeedAreReproducibleAndParse) {
    const Settings first = dicedLook(7);
    EXPECT_EQ(presetText(first), presetText(dicedLook(7)));
    EXPECT_NE(presetText(first), presetText(dicedLook(8)));

    const std::vector<std::string> arguments = lookArguments(first);
    LookOptions options;
    for (size_t i = 0; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == "--glue") {
            options.glue = arguments[i + 1];
        } else {
            ASSERT_EQ(arguments[i], "--set");
            options.settings.push_back(arguments[i + 1]);
        }
    }
    Settings parsed{};
    ASSERT_EQ(lookFromOptions(options, &parsed), kExitOk);
    EXPECT_EQ(lookArguments(parsed), arguments);
}

TEST(PresetCommands, UnreadableFilesUnwritablePathsAndBadOptionsFail) {
    ScratchFolder folder;
    testing::writeFileBytes(folder.path("garbage.q8r"), "hello, this is not a preset");
    testing::writeFileBytes(folder.path("empty.q8r"), "");
    const std::pair<std::string, const char*> cases[] = {
        {folder.path("no such preset.q8r"), "result 99"},
        {folder.path("garbage.q8r"), "result -21"},
        {folder.path("empty.q8r"), "result -19"},
        {std::string(300, 'a'), "1 to 259 characters"}};
    for (const auto& [path, says] : cases) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(runPresetShow(path, false), kExitFailed);
        Settings look{};
        EXPECT_EQ(lookFromOptions({path, {"blur=3"}, ""}, &look), kExitFailed);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(says), std::string::npos) << said;
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runPresetSave(folder.path("no such folder/x.q8r"), {}), kExitFailed);
    EXPECT_EQ(runPresetSave(folder.path("bad.q8r"), {"", {"depth=3"}, ""}), kExitUsage);
    EXPECT_EQ(runPresetSave(folder.path("bad.q8r"), {"", {}, "GL64"}), kExitUsage);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot write the preset"), std::string::npos) << said;
    EXPECT_NE(said.find("unknown look field 'depth'"), std::string::npos) << said;
}

// Saved with an image, a preset's thumbnail shows the look rendered on it.
TEST(PresetThumbnails, ShowTheRenderedLookAndAreMissingWithoutAnImage) {
    ScratchFolder folder;
    // A bright sky over a dark ground.
    HostImage scene = testing::blankImage(48, 36, 3, 8);
    for (size_t i = 0; i < scene.pixels.size(); ++i) {
        scene.pixels[i] = static_cast<uint8_t>(i < 20 * 48 * 3 ? 200 + 20 * (i % 3) : 30);
    }
    std::string error;
    ASSERT_TRUE(writeImage(folder.path("scene.ppm"), scene, &error)) << error;
    const std::string preset = folder.path("with thumbnail.q8r");
    ASSERT_EQ(runPresetSave(preset, {"", {"waviness=0"}, ""}, folder.path("scene.ppm")), kExitOk);
    ASSERT_EQ(runPresetThumbnail(preset, folder.path("thumbnail.ppm")), kExitOk);
    HostImage thumbnail;
    ASSERT_TRUE(readImage(folder.path("thumbnail.ppm"), &thumbnail, &error)) << error;
    EXPECT_EQ(std::tie(thumbnail.width, thumbnail.height, thumbnail.planes),
              std::make_tuple(128, 128, 3));
    // The sky stays bright at the top; the water below the horizon is darker.
    const auto blue = [&](size_t x, size_t y) { return thumbnail.pixels[(y * 128 + x) * 3 + 2]; };
    EXPECT_GT(blue(64, 10), 200);
    EXPECT_LT(blue(64, 120), blue(64, 10));

    ::testing::internal::CaptureStderr();
    ASSERT_EQ(runPresetSave(preset, {"", {}, ""}), kExitOk);
    EXPECT_EQ(runPresetThumbnail(preset, folder.path("none.ppm")), kExitFailed);
    EXPECT_EQ(runPresetSave(preset, {"", {}, ""}, folder.path("missing.ppm")), kExitFailed);
    ::testing::internal::GetCapturedStderr();
}

} // namespace
} // namespace lakra
