#include "apps/lakra/presetCommands.h"

#include "apps/lakra/applyCommand.h"
#include "apps/lakra/lookOptions.h"
#include "files/files.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace lakra {
namespace {

std::string tempPath(const char* name) {
    FileSpec fileSpec{};
    EXPECT_EQ(temporaryFileSpec(name, &fileSpec), noErr);
    return fileSpecPath(fileSpec);
}

// Every --set field with a value off its default; the reals are exact in
// the file (the centres are stored in 1/65536 steps).
const std::vector<std::string> kEverySetting = {
    "rippleHeight=77", "horizon=37.5", "perspective=12",    "undulation=3",
    "rippleSize=0",    "offset=62.25", "waviness=100",      "blur=1",
    "complexity=55",   "altitude=9",   "brilliance=0",      "randomSeed=-123456",
    "xCenter=0.25",    "yCenter=0.75", "waterColor=#0a7bff"};

TEST(PresetCommands, SaveThenShowReproducesEverySetValue) {
    const std::string path = tempPath("lakra every setting.q8r");
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
}

TEST(PresetCommands, SetOverridesThePresetAndKeepsTheRest) {
    const std::string path = tempPath("lakra override.q8r");
    ASSERT_EQ(runPresetSave(path, {"", kEverySetting, ""}), kExitOk);
    Settings look{};
    ASSERT_EQ(lookFromOptions({path, {"rippleHeight=5", "horizon=80"}, "2"}, &look), kExitOk);
    EXPECT_EQ(look.rippleHeight, 5);
    EXPECT_EQ(look.horizonFloat, 80.0f);
    EXPECT_EQ(look.horizon, 80);
    EXPECT_EQ(look.glue, 2);
    EXPECT_EQ(look.perspective, 12);
    EXPECT_EQ(look.randomSeed, -123456);
    EXPECT_EQ(look.waterBlue, 0xffff);
}

TEST(PresetCommands, JsonHoldsTheSameFieldsAsTheText) {
    Settings look{};
    ASSERT_EQ(lookFromOptions({"", kEverySetting, ""}, &look), kExitOk);
    std::istringstream json(presetJson(look));
    std::istringstream text(presetText(look));
    std::string line;
    ASSERT_TRUE(std::getline(json, line));
    EXPECT_EQ(line, "{");
    const std::regex member(R"re(  "([A-Za-z0-9]+)": (-?[0-9][0-9.e+-]*|"#[0-9a-f]{6}")(,?))re");
    std::string expected;
    std::string comma = ",";
    while (std::getline(text, expected)) {
        ASSERT_EQ(comma, ",") << "a member after the last one";
        ASSERT_TRUE(std::getline(json, line));
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(line, parts, member)) << line;
        std::string value = parts[2];
        if (value[0] == '"') {
            value = value.substr(1, value.size() - 2);
        }
        EXPECT_EQ(parts[1].str() + " " + value, expected);
        comma = parts[3];
    }
    EXPECT_EQ(comma, "");
    ASSERT_TRUE(std::getline(json, line));
    EXPECT_EQ(line, "}");
    EXPECT_FALSE(std::getline(json, line));
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

TEST(PresetCommands, UnreadableFilesExitWithTheResultCode) {
    const std::string garbage = tempPath("lakra garbage.q8r");
    FILE* file = std::fopen(garbage.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_GE(std::fputs("hello, this is not a preset", file), 0);
    ASSERT_EQ(std::fclose(file), 0);
    const std::string empty = tempPath("lakra empty.q8r");
    file = std::fopen(empty.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fclose(file), 0);

    const struct {
        std::string path;
        const char* says;
    } cases[] = {{tempPath("lakra no such preset.q8r"), "result 99"},
                 {garbage, "result -21"},
                 {empty, "result -19"},
                 {std::string(300, 'a'), "1 to 259 characters"}};

    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(runPresetShow(c.path, false), kExitFailed);
        Settings look{};
        EXPECT_EQ(lookFromOptions({c.path, {"blur=3"}, ""}, &look), kExitFailed);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
    }
}

TEST(PresetCommands, RefusesUnwritablePathsAndBadOptions) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(runPresetSave(tempPath("no such folder/x.q8r"), {}), kExitFailed);
    EXPECT_EQ(runPresetSave(tempPath("lakra bad.q8r"), {"", {"depth=3"}, ""}), kExitUsage);
    EXPECT_EQ(runPresetSave(tempPath("lakra bad.q8r"), {"", {}, "GL64"}), kExitUsage);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot write the preset"), std::string::npos) << said;
    EXPECT_NE(said.find("unknown look field 'depth'"), std::string::npos) << said;
}

} // namespace
} // namespace lakra
