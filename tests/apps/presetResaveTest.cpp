// `lakra preset resave` on a folder of every kind of entry the walk meets.

#include "apps/imageTestUtil.h"
#include "apps/lakra/console.h"
#include "apps/lakra/presetCommands.h"
#include "apps/lakra/presetThumbnails.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace lakra {
namespace {

using testing::readFileBytes;
using testing::ScratchFolder;
using testing::writeFileBytes;

namespace fs = std::filesystem;

// A version-1 preset put together word by word: the oldest format, without
// a thumbnail.
std::string versionOnePreset() {
    const std::vector<uint32_t> words = {1,                             // version
                                         1000, 2000, 65535,             // water colour
                                         11,   12,   13,    14, 15, 16, // carried words
                                         30,   21,   22,    23, 45, 70, 24,
                                         25,   26,   27,    60, 28, 29, // sliders and carried
                                         10,   20,                      // ripple size, offset
                                         33,   44,   55, // waviness, blur, complexity
                                         31,   32,       // carried
                                         91,   92,   93,    41, 42, 43}; // carried words
    std::string bytes;
    for (const uint32_t word : words) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<char>((word >> shift) & 0xFFu));
        }
    }
    return bytes;
}

// Every field of a preset file's look but its version, as `preset show` prints it.
std::string lookText(const std::string& path) {
    Settings look{};
    if (readPresetLook(path, &look) != kExitOk) {
        return "unreadable";
    }
    const std::string text = presetText(look);
    return text.substr(text.find('\n') + 1);
}

int formatVersion(const std::string& path) {
    Settings look{};
    return readPresetLook(path, &look) == kExitOk ? look.formatVersion : -1;
}

// The preset's thumbnail as `lakra preset thumbnail` writes it; empty without one.
std::string thumbnailBytes(const ScratchFolder& scratch, const std::string& preset) {
    const std::string picture = scratch.path("thumbnail.ppm");
    fs::remove(picture);
    ::testing::internal::CaptureStderr();
    const int code = runPresetThumbnail(preset, picture);
    ::testing::internal::GetCapturedStderr();
    return code == kExitOk ? readFileBytes(picture) : std::string();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class PresetResave : public ::testing::Test {
protected:
    void SetUp() override {
        // A bright sky over a dark ground.
        HostImage scene = testing::blankImage(48, 36, 3, 8);
        for (size_t i = 0; i < scene.pixels.size(); ++i) {
            scene.pixels[i] = static_cast<uint8_t>(i < 20 * 48 * 3 ? 200 + 20 * (i % 3) : 30);
        }
        std::string error;
        ASSERT_TRUE(writeImage(image, scene, &error)) << error;
        fs::create_directory(folder);
    }

    // A preset of the look in the folder, and with the thumbnail of the look
    // on the image as a reference beside it.
    void savePair(const std::string& name, const LookOptions& look) {
        ASSERT_EQ(runPresetSave(folder + name, look), kExitOk);
        ASSERT_EQ(runPresetSave(scratch.path("reference " + name), look, image), kExitOk);
    }

    int resave(std::string* out) const {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int code = runPresetResave(folder, image);
        *out = ::testing::internal::GetCapturedStdout();
        ::testing::internal::GetCapturedStderr();
        return code;
    }

    ScratchFolder scratch; // the temporary folder too: the scratch slot, the plug-in's files
    std::string image = scratch.path("scene.ppm");
    std::string folder = scratch.path("presets") + "/";
};

TEST_F(PresetResave, MarkedPresetsGetTheCurrentVersionAndAThumbnailAndTheRestStays) {
    savePair("a q9q.q8r", {"", {"horizon=30", "waviness=0"}, ""});
    writeFileBytes(folder + "b Q5Q.q8r", versionOnePreset());
    ASSERT_EQ(runPresetSave(folder + "c q5q.q8r", {"", {"blur=7"}, ""}), kExitOk);
    fs::permissions(folder + "c q5q.q8r",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ASSERT_EQ(runPresetSave(folder + "d.q8r", {"", {"blur=9"}, ""}), kExitOk);
    fs::create_directory(folder + "e q5q");
    writeFileBytes(folder + "e q5q/inside q5q.q8r", versionOnePreset());
    writeFileBytes(folder + "f q5q.q8r", "damaged: not a preset at all");
    savePair("g q9q.q8r", {"", {"horizon=70"}, "5"});
    savePair("g q9q.q5q", {"", {"horizon=20"}, ""});
    // Untouched means every byte.
    std::map<std::string, std::string> kept;
    for (const char* name : {"c q5q.q8r", "d.q8r", "e q5q/inside q5q.q8r", "f q5q.q8r"}) {
        kept[name] = readFileBytes(folder + name);
    }
    // The version-1 look as the current format holds it (it keeps some reals
    // only to hundredths or 1/65536).
    Settings oldLook{};
    ASSERT_EQ(readPresetLook(folder + "b Q5Q.q8r", &oldLook), kExitOk);
    ASSERT_EQ(writePresetLook(scratch.path("converted.q8r"), &oldLook), kExitOk);
    const std::string lookA = lookText(folder + "a q9q.q8r");

    std::string out;
    EXPECT_EQ(resave(&out), kExitFailed) << "f cannot be read\n" << out;
    const char* const kSummary = "6 marked: 4 re-saved (1 renamed, 1 under the old name), "
                                 "1 not read, 0 not saved, 1 read-only skipped\n";

    for (const char* line :
         {"renamed  a q9q.q8r -> a q9q.q5q\n", "resaved  b Q5Q.q8r\n",
          "skipped read-only  c q5q.q8r\n", "not read  f q5q.q8r: result -21",
          "kept name  g q9q.q8r (g q9q.q5q exists)\n", "resaved  g q9q.q5q\n", kSummary}) {
        EXPECT_TRUE(contains(out, line)) << line << " is missing from\n" << out;
    }
    EXPECT_FALSE(contains(out, "d.q8r") || contains(out, "e q5q\n") || contains(out, "inside"));

    EXPECT_FALSE(fs::exists(folder + "a q9q.q8r"));
    for (const auto& [name, bytes] : kept) {
        EXPECT_EQ(readFileBytes(folder + name), bytes) << name;
    }
    EXPECT_EQ(fs::status(folder + "c q5q.q8r").permissions() & fs::perms::owner_write,
              fs::perms::none);

    // Each re-saved file: the current version, the same look, and the look on
    // the image as its thumbnail, byte for byte what `preset save --image` stores
    // (each look its own).
    for (const char* name : {"a q9q.q5q", "b Q5Q.q8r", "g q9q.q8r", "g q9q.q5q"}) {
        EXPECT_EQ(formatVersion(folder + name), 41) << name;
    }
    EXPECT_EQ(lookText(folder + "a q9q.q5q"), lookA);
    EXPECT_EQ(lookText(folder + "b Q5Q.q8r"), lookText(scratch.path("converted.q8r")))
        << "the version-1 look, converted";
    const std::pair<const char*, const char*> references[] = {
        {"a q9q.q5q", "reference a q9q.q8r"},
        {"g q9q.q8r", "reference g q9q.q8r"},
        {"g q9q.q5q", "reference g q9q.q5q"},
    };
    for (const auto& [name, reference] : references) {
        const std::string thumbnail = thumbnailBytes(scratch, folder + name);
        EXPECT_FALSE(thumbnail.empty()) << name;
        EXPECT_EQ(thumbnail, thumbnailBytes(scratch, scratch.path(reference))) << name;
    }
    EXPECT_FALSE(thumbnailBytes(scratch, folder + "b Q5Q.q8r").empty()) << "a version-1 file";

    // Without the damaged file every marked file is re-saved.
    fs::remove(folder + "f q5q.q8r");
    EXPECT_EQ(resave(&out), kExitOk) << out;
    EXPECT_TRUE(contains(out, "5 marked: 4 re-saved")) << out;
    fs::permissions(folder + "c q5q.q8r", fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(PresetResave, AFolderOrImageThatCannotBeReadTouchesNothing) {
    writeFileBytes(folder + "x q9q.q8r", versionOnePreset());
    std::string out;
    image = scratch.path("no such image.ppm");
    EXPECT_EQ(resave(&out), kExitFailed);
    EXPECT_EQ(readFileBytes(folder + "x q9q.q8r"), versionOnePreset());
    EXPECT_TRUE(out.empty()) << out;

    image = scratch.path("scene.ppm");
    folder = scratch.path("no such folder");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runPresetResave(folder, image), kExitFailed);
    EXPECT_TRUE(contains(::testing::internal::GetCapturedStderr(), "cannot list the folder"));
}

} // namespace
} // namespace lakra
