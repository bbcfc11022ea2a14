#include "apps/lakra/presetThumbnails.h"

#include "apps/lakra/applyCommand.h"
#include "apps/lakra/imageFile.h"
#include "apps/lakra/presetCommands.h"
#include "files/files.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace lakra {
namespace {

std::string tempPath(const char* name) {
    FileSpec fileSpec{};
    EXPECT_EQ(temporaryFileSpec(name, &fileSpec), noErr);
    return fileSpecPath(fileSpec);
}

// A bright sky over a dark ground, 8-bit RGB.
std::string writeScene() {
    HostImage image;
    image.width = 48;
    image.height = 36;
    image.planes = 3;
    image.depth = 8;
    image.pixels.resize(48 * 36 * 3);
    for (int32_t y = 0; y < 36; ++y) {
        for (int32_t x = 0; x < 48; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                image.pixels[(static_cast<size_t>(y) * 48 + static_cast<size_t>(x)) * 3 +
                             static_cast<size_t>(c)] =
                    static_cast<uint8_t>(y < 20 ? 200 + 20 * c : 30);
            }
        }
    }
    std::string path = tempPath("lakra thumbnail scene.ppm");
    std::string error;
    EXPECT_TRUE(writeImage(path, image, &error)) << error;
    return path;
}

TEST(PresetThumbnails, SavedWithAnImageTheThumbnailShowsTheRenderedLook) {
    const std::string scene = writeScene();
    const std::string preset = tempPath("lakra with thumbnail.q8r");
    ASSERT_EQ(runPresetSave(preset, {"", {"waviness=0"}, ""}, scene), kExitOk);
    const std::string picture = tempPath("lakra thumbnail.ppm");
    ASSERT_EQ(runPresetThumbnail(preset, picture), kExitOk);
    HostImage thumbnail;
    std::string error;
    ASSERT_TRUE(readImage(picture, &thumbnail, &error)) << error;
    EXPECT_EQ(thumbnail.width, 128);
    EXPECT_EQ(thumbnail.height, 128);
    EXPECT_EQ(thumbnail.planes, 3);
    // The sky stays bright at the top; the water below the horizon is darker.
    const auto blue = [&](int32_t x, int32_t y) {
        return thumbnail.pixels[(static_cast<size_t>(y) * 128 + static_cast<size_t>(x)) * 3 + 2];
    };
    EXPECT_GT(blue(64, 10), 200);
    EXPECT_LT(blue(64, 120), blue(64, 10));
    (void)std::remove(scene.c_str());
    (void)std::remove(preset.c_str());
    (void)std::remove(picture.c_str());
}

TEST(PresetThumbnails, PresetWithoutThumbnailOrUnreadableImageFails) {
    const std::string preset = tempPath("lakra without thumbnail.q8r");
    ASSERT_EQ(runPresetSave(preset, {"", {}, ""}), kExitOk);
    EXPECT_EQ(runPresetThumbnail(preset, tempPath("lakra none.ppm")), kExitFailed);
    EXPECT_EQ(runPresetSave(preset, {"", {}, ""}, tempPath("lakra missing image.ppm")),
              kExitFailed);
    (void)std::remove(preset.c_str());
}

} // namespace
} // namespace lakra
