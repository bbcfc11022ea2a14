// TIFF files without the image module: the direct writer's files are byte
// for byte the module's, the direct reader's pixels and (resolved) records
// are the module's, and whatever it does not follow is left to the module.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"
#include "imageTestUtil.h"
#include "support/fileChecks.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace lakra {
namespace {

#if LAKRA_HAVE_OIIO

using testing::patternImage;
using testing::readFileBytes;
using testing::ScratchFolder;

// The file's bytes with its DateTime ("YYYY:MM:DD HH:MM:SS", the time of
// writing) blanked, so that two files written a second apart compare.
std::string withoutDateTime(std::string bytes) {
    for (size_t i = 0; i + 19 <= bytes.size(); ++i) {
        const std::string_view view(bytes.data() + i, 19);
        bool date = true;
        for (size_t k = 0; date && k < 19; ++k) {
            const char c = view[k];
            date = (k == 4 || k == 7 || k == 13 || k == 16) ? c == ':'
                   : k == 10                                ? c == ' '
                                                            : (c >= '0' && c <= '9');
        }
        if (date) {
            bytes.replace(i, 19, 19, '#');
            break;
        }
    }
    return bytes;
}

HostImage testImage(int32_t width, int32_t height, int32_t planes, int32_t depth) {
    HostImage image = patternImage(width, height, planes, depth);
    if (depth == 16) {
        // Every host value, 32768 and beyond included.
        for (size_t i = 0; i + 1 < image.pixels.size(); i += 6) {
            const auto value = static_cast<uint16_t>(i * 7 % 32800);
            std::memcpy(&image.pixels[i], &value, 2);
        }
    }
    return image;
}

// Every layout and depth, at sizes with partial strips and several of the
// module's 64-row writes: the same bytes both ways. (The lakra_tiff_strips
// test runs this again with OpenImageIO's pool of several threads, where it
// deflates whole strips itself.)
TEST(TiffWithoutModule, WritesWhatTheModuleWrites) {
    ScratchFolder folder;
    const std::string direct = folder.path("direct.tif");
    const std::string module = folder.path("module.tif");
    const int32_t sizes[][2] = {{13, 7}, {1, 1}, {301, 19}, {37, 64}, {23, 150}};
    for (const auto& size : sizes) {
        for (int32_t layout = 0; layout < 12; ++layout) {
            const int32_t planes = layout / 3 + 1;
            const int32_t depth = 8 << (layout % 3);
            SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]) + ", " +
                         std::to_string(planes) + " planes of " + std::to_string(depth) + " bits");
            HostImage image = testImage(size[0], size[1], planes, depth);
            // Records the writers leave out anyway.
            image.metadata.records.push_back({"Orientation", "int", 1, {1, 0, 0, 0}});
            image.metadata.records.push_back({"tiff:Compression", "int", 1, {5, 0, 0, 0}});
            std::string error;
            ASSERT_TRUE(writeTiffFile(direct, image));
            ASSERT_TRUE(writeOiioFile(module, FileFormat::Tiff, image, module, &error)) << error;
            EXPECT_TRUE(withoutDateTime(readFileBytes(direct)) ==
                        withoutDateTime(readFileBytes(module)));
        }
    }
}

TEST(TiffWithoutModule, LeavesImagesWithRecordsToTheModule) {
    ScratchFolder folder;
    HostImage image = testImage(5, 4, 3, 8);
    image.metadata.records.push_back({"Artist", "string", 1, {'L', 0}});
    EXPECT_FALSE(writeTiffFile(folder.path("x.tif"), image));
    image.metadata.records.clear();
    image.metadata.pendingJpegHeader = {0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_FALSE(writeTiffFile(folder.path("x.tif"), image));
}

#endif

} // namespace
} // namespace lakra
