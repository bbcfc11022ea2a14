// JPEG files without the image module: the direct writer's files are byte
// for byte the module's.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"
#include "imageTestUtil.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace lakra {
namespace {

#if LAKRA_HAVE_OIIO

using testing::blankImage;
using testing::patternImage;
using testing::readFileBytes;
using testing::ScratchFolder;

// A float that OpenImageIO brings to 8 bits differently within a run of
// four samples (rounded to nearest) and in a run's last ones (half added,
// fraction dropped).
float roundingSplitter() {
    for (int k = 0; k < 255; ++k) {
        float value = (static_cast<float>(k) + 0.5f) / 255.0f;
        for (int step = 0; step < 8; ++step, value = std::nextafter(value, 0.0f)) {
            const float scaled = value * 255.0f;
            if (std::round(scaled) != std::trunc(scaled + 0.5f)) {
                return value;
            }
        }
    }
    return 0.0f;
}

// Floats where the two roundings could part: products with 255 that end in
// exactly one half, or just below it, and values out of range.
std::vector<float> awkwardFloats() {
    std::vector<float> values = {std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 -0.001f,
                                 1.001f,
                                 0.5f};
    for (int k = 0; k < 255; ++k) {
        const float half = (static_cast<float>(k) + 0.5f) / 255.0f;
        values.push_back(half);
        values.push_back(std::nextafter(half, 0.0f));
    }
    return values;
}

// The pattern; floats alternate between the awkward ones and the splitter,
// so that a run cut in other places changes whole blocks; every third
// 16-bit sample runs through the host values.
HostImage testImage(int32_t width, int32_t height, int32_t planes, int32_t depth) {
    HostImage image = patternImage(width, height, planes, depth);
    const std::vector<float> awkward = awkwardFloats();
    const float splitter = roundingSplitter();
    EXPECT_NE(splitter, 0.0f);
    const size_t samples = image.pixels.size() / static_cast<size_t>(depth / 8);
    for (size_t i = 0; i < samples; ++i) {
        if (depth == 32) {
            std::memcpy(&image.pixels[i * 4],
                        i % 2 == 0 ? &awkward[i / 2 % awkward.size()] : &splitter, 4);
        } else if (depth == 16 && i % 3 == 0) {
            const auto value = static_cast<uint16_t>(i * 7 % 32769);
            std::memcpy(&image.pixels[i * 2], &value, 2);
        }
    }
    return image;
}

// Every layout and depth at sizes that leave partial blocks and runs of
// samples that are not a multiple of four: the same bytes both ways.
TEST(JpegWithoutModule, WritesWhatTheModuleWrites) {
    ScratchFolder folder;
    const std::string direct = folder.path("direct.jpg");
    const std::string module = folder.path("module.jpg");
    const int32_t sizes[][2] = {{13, 7}, {37, 21}, {1, 1}, {301, 19}};
    for (const auto& size : sizes) {
        for (int32_t layout = 0; layout < 12; ++layout) {
            const int32_t planes = layout / 3 + 1;
            const int32_t depth = 8 << (layout % 3);
            SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]) + ", " +
                         std::to_string(planes) + " planes of " + std::to_string(depth) + " bits");
            HostImage image = testImage(size[0], size[1], planes, depth);
            // Records the writer leaves out anyway.
            image.metadata.records.push_back({"Orientation", "int", 1, {1, 0, 0, 0}});
            std::string error;
            ASSERT_TRUE(writeJpegFile(direct, image));
            ASSERT_TRUE(writeOiioFile(module, FileFormat::Jpeg, image, module, &error)) << error;
            EXPECT_TRUE(readFileBytes(direct) == readFileBytes(module));
        }
    }
}

// Metadata the direct writer does not write, and sides beyond libjpeg's
// limit, are the module's.
TEST(JpegWithoutModule, LeavesTheRestToTheModule) {
    ScratchFolder folder;
    const std::string path = folder.path("left.jpg");
    HostImage described = patternImage(5, 4, 3, 8);
    described.metadata.records.push_back({"Artist", "string", 1, {'m', 'e', 0}});
    EXPECT_FALSE(writeJpegFile(path, described));
    EXPECT_FALSE(writeJpegFile(path, blankImage(kMaxJpegSide + 1, 1, 1, 8)));
    std::string error;
    EXPECT_TRUE(writeImage(path, described, &error)) << error;
}

#endif // LAKRA_HAVE_OIIO

} // namespace
} // namespace lakra
