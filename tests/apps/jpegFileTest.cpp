// JPEG files without the image module: the direct writer's files are byte
// for byte the module's.

#include "formatRoutes.h"
#include "support/fileChecks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <utility>
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
    testing::expectWritesAlike({FileFormat::Jpeg,
                                writeJpegFile,
                                ".jpg",
                                [](std::string bytes) { return bytes; },
                                {{"Orientation", "int", 1, {1, 0, 0, 0}}}},
                               testImage, {{13, 7}, {37, 21}, {1, 1}, {301, 19}});
}

// A folder of JPEG files made by ImageMagick and tagged by exiftool, and the
// camera photograph of the README's main job where it is installed.
struct JpegCorpus {
    ScratchFolder folder;
    std::vector<std::string> files;
};

constexpr char kCameraPhoto[] = "/usr/share/backgrounds/mate/nature/Storm.jpg";

void makeCorpus(JpegCorpus* corpus) {
    if (!testing::haveTool("convert") || !testing::haveTool("exiftool")) {
        GTEST_SKIP() << "ImageMagick's convert and exiftool are needed";
    }
    const std::string source = corpus->folder.path("source.ppm");
    std::string error;
    ASSERT_TRUE(writeImage(source, patternImage(37, 21, 3, 8), &error)) << error;
    testing::writeFileBytes(corpus->folder.path("profile.icc"), testing::smallIccProfile());
    const std::pair<const char*, const char*> made[] = {
        {"grey", "-colorspace Gray"},       {"444", "-sampling-factor 1x1"},
        {"422", "-sampling-factor 2x1"},    {"420", "-sampling-factor 2x2 -quality 75"},
        {"progressive", "-interlace JPEG"}, {"restarts", "-define jpeg:restart-interval=1"},
        {"cmyk", "-colorspace CMYK"},       {"tagged", "-set comment 'a quiet lake'"},
    };
    for (const auto& [name, options] : made) {
        const std::string path = corpus->folder.path(std::string(name) + ".jpg");
        std::string command = "convert '" + source + "' ";
        command += options;
        command += " '" + path + "'";
        (void)testing::toolOutput(command);
        ASSERT_TRUE(std::filesystem::exists(path)) << name;
        corpus->files.push_back(path);
    }
    const std::string tagged = corpus->files.back();
    (void)testing::toolOutput(
        "exiftool -q -overwrite_original -Artist='Lakra Tester' -XResolution=300 "
        "-YResolution=300 -ResolutionUnit=inches -JFIF:XResolution=300 -JFIF:YResolution=300 "
        "-JFIF:ResolutionUnit=inches -ExifIFD:FNumber=2.8 -XMP:Title='lake' "
        "-IPTC:Keywords=water -IPTC:Keywords=sky '-ICC_Profile<=" +
        corpus->folder.path("profile.icc") + "' '" + tagged + "'");
    // Without JFIF, and with sides of different resolutions.
    const std::pair<const char*, const char*> retagged[] = {
        {"bare", "-JFIF:All="}, {"aspect", "-XResolution=300 -YResolution=150"}};
    for (const auto& [name, options] : retagged) {
        const std::string path = corpus->folder.path(std::string(name) + ".jpg");
        std::filesystem::copy_file(tagged, path);
        std::string command = "exiftool -q -overwrite_original ";
        command += options;
        command += " '" + path + "'";
        (void)testing::toolOutput(command);
        corpus->files.push_back(path);
    }
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string path =
            corpus->folder.path("turned" + std::to_string(orientation) + ".jpg");
        std::filesystem::copy_file(tagged, path);
        (void)testing::toolOutput(
            "exiftool -q -overwrite_original -n -Orientation=" + std::to_string(orientation) +
            " -ExifIFD:ExifImageWidth=37 "
            "-ExifIFD:ExifImageHeight=21 '" +
            path + "'");
        corpus->files.push_back(path);
    }
    corpus->files.push_back(
        testing::truncatedCopy(corpus->folder, corpus->files[1], "truncated.jpg"));
    if (std::filesystem::exists(kCameraPhoto)) {
        corpus->files.push_back(kCameraPhoto);
    }
}

// Read without the module, a JPEG has the module's pixels, and its records,
// once resolved, are the module's, record for record; the files it leaves to
// the module read as before.
TEST(JpegWithoutModule, ReadsAsTheModuleDoes) {
    JpegCorpus corpus;
    makeCorpus(&corpus);
    const std::vector<std::string> leftToModule = {"cmyk.jpg", "truncated.jpg"};
    for (const std::string& path : corpus.files) {
        const std::string name = std::filesystem::path(path).filename().string();
        SCOPED_TRACE(name);
        HostImage module;
        std::string error;
        ASSERT_TRUE(readImageOiio(path, &module, &error)) << error;
        HostImage direct;
        const bool readDirectly = readImageJpeg(path, &direct);
        EXPECT_EQ(readDirectly,
                  std::find(leftToModule.begin(), leftToModule.end(), name) == leftToModule.end());
        HostImage viaReadImage;
        ASSERT_TRUE(readImage(path, &viaReadImage, &error)) << error;
        EXPECT_EQ(viaReadImage.metadata.pendingJpegHeader.empty(), !readDirectly);
        ASSERT_TRUE(resolveMetadata(&viaReadImage.metadata, &error)) << error;
        EXPECT_TRUE(viaReadImage.metadata.pendingJpegHeader.empty());
        EXPECT_EQ(viaReadImage.metadata.formatName, module.metadata.formatName);
        testing::expectSameShape(viaReadImage, module);
        if (name.starts_with("turned")) { // upright
            EXPECT_EQ(viaReadImage.width, name[6] >= '5' ? 21 : 37);
        }
        testing::expectSameRecords(viaReadImage.metadata.records, module.metadata.records);
    }
}

// exiftool's report of a file: "[group] tag" to value, every group and
// duplicate listed, numbers as stored.
std::vector<std::pair<std::string, std::string>> exiftoolTags(const std::string& path) {
    std::vector<std::pair<std::string, std::string>> tags;
    const std::string report = testing::toolOutput("exiftool -a -G1 -s -n '" + path + "'");
    for (size_t start = 0; start < report.size();) {
        size_t end = report.find('\n', start);
        end = end == std::string::npos ? report.size() : end;
        const std::string line = report.substr(start, end - start);
        const size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            std::string key = line.substr(0, colon);
            key.erase(key.find_last_not_of(' ') + 1);
            tags.emplace_back(key, line.substr(colon + 2));
        }
        start = end + 1;
    }
    return tags;
}

// What the module route gets wrong today, which the verbatim copy does not
// repeat: it writes Exif version 0230 whatever the file said, re-encodes
// rationals from floats (APEX values and focal-plane resolutions lose
// digits), moves the maker notes so that exiftool warns about their offsets
// and misreads values found through them, and keeps the pixel dimensions of
// the file read where the copy states those written, and states the colour
// space sRGB where the file said uncalibrated. It also writes the Exif
// in its own byte order and rebuilds the IPTC block (so its digest changes).
// Whatever exiftool derives from those (its composite tags) follows; the
// file system's own fields differ anyway.
bool moduleRouteDiffers(const std::string& key) {
    static constexpr std::string_view kKeys[] = {"[ExifIFD]       ExifVersion",
                                                 "[ExifIFD]       ShutterSpeedValue",
                                                 "[ExifIFD]       ApertureValue",
                                                 "[ExifIFD]       FocalPlaneXResolution",
                                                 "[ExifIFD]       FocalPlaneYResolution",
                                                 "[ExifIFD]       ExifImageWidth",
                                                 "[ExifIFD]       ExifImageHeight",
                                                 "[ExifTool]      Warning",
                                                 "[Canon]         ThumbnailImageValidArea",
                                                 "[File]          ExifByteOrder",
                                                 "[File]          CurrentIPTCDigest",
                                                 "[ExifIFD]       ColorSpace"};
    return key.starts_with("[System]") || key.starts_with("[Composite]") ||
           std::find(std::begin(kKeys), std::end(kKeys), key) != std::end(kKeys);
}

// Written from a JPEG read without the module, a JPEG carries the file's
// metadata without the module: exiftool finds every tag the module route
// (LAKRA_JPEG=module) writes, with its value, apart from what that route
// gets wrong; the camera's maker notes survive; the ICC profile is the
// file's; an orientation comes out applied and reset; the pixels are the
// module route's.
TEST(JpegCarried, ToolsFindWhatTheModuleRouteWrites) {
    JpegCorpus corpus;
    makeCorpus(&corpus);
    const std::vector<std::string> notCarried = {"cmyk.jpg", "truncated.jpg", "aspect.jpg"};
    for (const std::string& path : corpus.files) {
        const std::string name = std::filesystem::path(path).filename().string();
        SCOPED_TRACE(name);
        const std::string direct = corpus.folder.path("direct-" + name);
        const std::string module = corpus.folder.path("module-" + name);
        HostImage image;
        std::string error;
        ASSERT_TRUE(readImage(path, &image, &error)) << error;
        const bool carried =
            std::find(notCarried.begin(), notCarried.end(), name) == notCarried.end();
        EXPECT_EQ(writeJpegFile(direct, image), carried);
        ASSERT_TRUE(writeImage(direct, image, &error)) << error;
        ASSERT_EQ(setenv("LAKRA_JPEG", "module", 1), 0); // NOLINT(concurrency-mt-unsafe)
        HostImage moduleImage;
        const bool moduleRoute =
            readImage(path, &moduleImage, &error) && writeImage(module, moduleImage, &error);
        ASSERT_EQ(unsetenv("LAKRA_JPEG"), 0); // NOLINT(concurrency-mt-unsafe)
        ASSERT_TRUE(moduleRoute) << error;
        EXPECT_TRUE(moduleImage.metadata.pendingJpegHeader.empty());

        // Tags the file read has nowhere are the module's own copies of
        // other fields (the comment as ImageDescription, XMP and Exif fields
        // as IPTC records, the sRGB it assumes as the Exif colour space):
        // the verbatim copy adds nothing.
        std::vector<std::string> inputKeys;
        for (const auto& [key, value] : exiftoolTags(path)) {
            inputKeys.push_back(key);
        }
        const auto directTags = exiftoolTags(direct);
        for (const auto& [key, value] : exiftoolTags(module)) {
            if (moduleRouteDiffers(key) ||
                std::find(inputKeys.begin(), inputKeys.end(), key) == inputKeys.end()) {
                continue;
            }
            const std::pair<std::string, std::string> tag(key, value);
            EXPECT_NE(std::find(directTags.begin(), directTags.end(), tag), directTags.end())
                << key << ": " << value;
        }
        const std::string profile = "exiftool -b -ICC_Profile '";
        EXPECT_EQ(testing::toolOutput(profile + direct + "'"),
                  testing::toolOutput(profile + path + "'"));
        HostImage directPixels;
        HostImage modulePixels;
        ASSERT_TRUE(readImageOiio(direct, &directPixels, &error)) << error;
        ASSERT_TRUE(readImageOiio(module, &modulePixels, &error)) << error;
        EXPECT_TRUE(directPixels.pixels == modulePixels.pixels);
        if (name == "turned6.jpg") {
            const std::string tags = testing::toolOutput("exiftool -n -s -s '" + direct + "'");
            EXPECT_NE(tags.find("Orientation: 1\n"), std::string::npos) << tags;
            EXPECT_NE(tags.find("ImageWidth: 21\nImageHeight: 37\n"), std::string::npos) << tags;
            EXPECT_NE(tags.find("ExifImageWidth: 21\nExifImageHeight: 37\n"), std::string::npos)
                << tags;
        }
        if (path == kCameraPhoto) {
            EXPECT_NE(testing::toolOutput("exiftool -s -s -s -Canon:LensType '" + direct + "'"),
                      "");
        }
    }
}

// A damaged Exif block in a pending header never reads or writes out of
// bounds: the image is written, carried where the block still walks, from
// records otherwise. Nor does a damaged file's header when it is read.
TEST(JpegCarried, DamagedExifIsNeverFollowedOutOfBounds) {
    if (!std::filesystem::exists(kCameraPhoto)) {
        GTEST_SKIP() << kCameraPhoto << " is not installed";
    }
    HostImage photo;
    std::string error;
    ASSERT_TRUE(readImageJpeg(kCameraPhoto, &photo));
    HostImage image = blankImage(16, 8, 3, 8);
    image.metadata = photo.metadata;
    const std::vector<uint8_t> header = photo.metadata.pendingJpegHeader;
    ScratchFolder folder;
    const std::string path = folder.path("damaged.jpg");
    // The Exif block starts after the SOI and the JFIF segment; its first
    // directory's entries, and the Exif directory's, lie in the first bytes.
    const size_t exif = 2 + 18 + 4 + 6;
    for (size_t at = exif; at < exif + 600 && at < header.size(); ++at) {
        for (const uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x7F}}) {
            image.metadata.pendingJpegHeader = header;
            image.metadata.pendingJpegHeader[at] = value;
            (void)writeJpegFile(path, image);
        }
    }
    image.metadata.pendingJpegHeader = header;
    image.metadata.pendingJpegHeader[exif + 4] = 0xFF; // the first directory's offset
    EXPECT_FALSE(writeJpegFile(path, image));
    EXPECT_TRUE(writeImage(path, image, &error)) << error;

    image.metadata.pendingJpegHeader = header;
    ASSERT_TRUE(writeJpegFile(path, image));
    const std::string file = readFileBytes(path);
    const std::string damaged = folder.path("damaged-file.jpg");
    for (size_t at = 2; at < exif + 600; ++at) {
        std::string bytes = file;
        bytes[at] = static_cast<char>(bytes[at] ^ 0xFF);
        testing::writeFileBytes(damaged, bytes);
        HostImage read;
        (void)readImageJpeg(damaged, &read);
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
