// OpenEXR files without the image module: the direct writer's files are
// byte for byte the module's.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"
#include "imageTestUtil.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace lakra {
namespace {

#if LAKRA_HAVE_OIIO

using testing::patternImage;
using testing::readFileBytes;
using testing::ScratchFolder;

// The file's bytes with its capDate ("YYYY:MM:DD HH:MM:SS", the time of
// writing) blanked, so that two files written a second apart compare.
std::string withoutCapDate(std::string bytes) {
    const size_t at = bytes.find("capDate");
    if (at != std::string::npos && at + 27 + 19 <= bytes.size()) {
        // name, type "string", the value's size, then the value
        bytes.replace(at + 8 + 7 + 4, 19, 19, '#');
    }
    return bytes;
}

// Every 8-bit value, every 16-bit host value in steps, floats of all kinds.
HostImage testImage(int32_t width, int32_t height, int32_t planes, int32_t depth) {
    HostImage image = patternImage(width, height, planes, depth);
    const size_t samples = image.pixels.size() / static_cast<size_t>(depth / 8);
    for (size_t i = 0; i < samples; ++i) {
        if (depth == 8) {
            image.pixels[i] = static_cast<uint8_t>(i * 7);
        } else if (depth == 16) {
            const auto value = static_cast<uint16_t>(i * 97 % 32800);
            std::memcpy(&image.pixels[i * 2], &value, 2);
        } else {
            const float value = static_cast<float>(i % 300) / 211.0f - 0.2f;
            std::memcpy(&image.pixels[i * 4], &value, 4);
        }
    }
    return image;
}

// Every layout and depth at sizes that leave partial blocks of rows and
// several of the module's 64-row writes: the same bytes both ways.
TEST(ExrWithoutModule, WritesWhatTheModuleWrites) {
    ScratchFolder folder;
    const std::string direct = folder.path("direct.exr");
    const std::string module = folder.path("module.exr");
    const int32_t sizes[][2] = {{13, 7}, {1, 1}, {301, 19}, {23, 150}};
    for (const auto& size : sizes) {
        for (int32_t layout = 0; layout < 12; ++layout) {
            const int32_t planes = layout / 3 + 1;
            const int32_t depth = 8 << (layout % 3);
            SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]) + ", " +
                         std::to_string(planes) + " planes of " + std::to_string(depth) + " bits");
            HostImage image = testImage(size[0], size[1], planes, depth);
            // Records the writers leave out anyway.
            image.metadata.records.push_back({"Orientation", "int", 1, {1, 0, 0, 0}});
            std::string error;
            ASSERT_TRUE(writeExrFile(direct, image));
            ASSERT_TRUE(writeOiioFile(module, FileFormat::Exr, image, module, &error)) << error;
            EXPECT_TRUE(withoutCapDate(readFileBytes(direct)) ==
                        withoutCapDate(readFileBytes(module)));
        }
    }
}

TEST(ExrWithoutModule, LeavesImagesWithRecordsToTheModule) {
    ScratchFolder folder;
    HostImage image = testImage(5, 4, 3, 8);
    image.metadata.records.push_back({"Artist", "string", 1, {'L', 0}});
    EXPECT_FALSE(writeExrFile(folder.path("x.exr"), image));
    image.metadata.records.clear();
    image.metadata.pendingTiffFile = folder.path("x.tif");
    EXPECT_FALSE(writeExrFile(folder.path("x.exr"), image));
}

#endif

} // namespace
} // namespace lakra
