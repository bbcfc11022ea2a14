// TIFF files without the image module: the direct writer's files are byte
// for byte the module's, the direct reader's pixels and (resolved) records
// are the module's, and whatever it does not follow is left to the module.

#include "formatRoutes.h"
#include "support/fileChecks.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace lakra {
namespace {

#if LAKRA_HAVE_OIIO

using testing::patternImage;
using testing::readBothWays;
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
    testing::expectWritesAlike(
        {FileFormat::Tiff,
         writeTiffFile,
         ".tif",
         withoutDateTime,
         {{"Orientation", "int", 1, {1, 0, 0, 0}}, {"tiff:Compression", "int", 1, {5, 0, 0, 0}}}},
        testImage, {{13, 7}, {1, 1}, {301, 19}, {37, 64}, {23, 150}});
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

std::string shellQuoted(const std::string& path) {
    return "'" + path + "'";
}

// TIFF files made by the module, libtiff's tools, ImageMagick and exiftool:
// those the direct reader takes, and those it must leave to the module.
void makeCorpus(testing::FileCorpus* corpus) {
    if (!testing::haveTool("tiffcp") || !testing::haveTool("tiffset") ||
        !testing::haveTool("convert") || !testing::haveTool("exiftool")) {
        GTEST_SKIP() << "libtiff's tools, ImageMagick's convert and exiftool are needed";
    }
    const auto path = [corpus](const std::string& name) { return corpus->folder.path(name); };
    const auto run = [](const std::string& command) { (void)testing::toolOutput(command); };
    std::string error;
    std::vector<std::string> bases;
    testing::writeModuleBases(corpus->folder, FileFormat::Tiff, ".tif", testImage, &bases);
    if (::testing::Test::HasFatalFailure()) {
        return;
    }
    for (int32_t layout = 0; layout < testing::kLayouts; ++layout) {
        const std::string& base = bases[static_cast<size_t>(layout)];
        corpus->taken.push_back(base);
        // Each compression libtiff writes, tiles, and the other byte order.
        const std::pair<const char*, const char*> copies[] = {{"none", "-c none"},
                                                              {"lzw", "-c lzw:2"},
                                                              {"zip", "-c zip"},
                                                              {"packbits", "-c packbits"},
                                                              {"tiles", "-t -w 16 -l 16 -c lzw"},
                                                              {"motorola", "-B -c zip:2"},
                                                              {"strip5", "-r 5 -c none"}};
        for (const auto& [name, options] : copies) {
            const std::string copy = path(std::string(name) + std::to_string(layout) + ".tif");
            run(std::string("tiffcp ") + options + " " + shellQuoted(base) + " " +
                shellQuoted(copy));
            ASSERT_TRUE(std::filesystem::exists(copy)) << copy;
            corpus->taken.push_back(copy);
        }
    }
    const std::string& rgba8 = bases[9];
    const std::string& grey16 = bases[1];
    // Every orientation, with metadata that turns along.
    for (int orientation = 1; orientation <= 8; ++orientation) {
        for (const std::string& base : {rgba8, grey16}) {
            const std::string copy = path("turned" + std::to_string(orientation) + "-" +
                                          std::filesystem::path(base).filename().string());
            std::filesystem::copy_file(base, copy);
            run("tiffset -s 274 " + std::to_string(orientation) + " " + shellQuoted(copy));
            corpus->taken.push_back(copy);
        }
        const std::string tagged = path("tagged" + std::to_string(orientation) + ".tif");
        std::filesystem::copy_file(bases[7], tagged);
        run("exiftool -q -overwrite_original -n -Orientation=" + std::to_string(orientation) +
            " -Artist='Lakra Tester' -XResolution=300 -YResolution=150 -ResolutionUnit=2 "
            "-ExifIFD:FNumber=2.8 -XMP:Title=lake -IPTC:Keywords=water " +
            shellQuoted(tagged));
        corpus->taken.push_back(tagged);
    }
    // ImageMagick's own TIFFs.
    const std::string source = path("source.ppm");
    ASSERT_TRUE(writeImage(source, testImage(37, 21, 3, 16), &error)) << error;
    const std::pair<const char*, const char*> magick[] = {
        {"magick-lzw", "-compress lzw"}, {"magick-grey", "-colorspace Gray -depth 8"}};
    for (const auto& [name, options] : magick) {
        const std::string made = path(std::string(name) + ".tif");
        run("convert " + shellQuoted(source) + " " + options + " " + shellQuoted(made));
        corpus->taken.push_back(made);
    }
    // Files for the module.
    const std::pair<std::string, std::string> others[] = {
        {"separate", "tiffcp -p separate " + shellQuoted(bases[6]) + " %"},
        {"two-pages", "tiffcp " + shellQuoted(bases[6]) + " " + shellQuoted(bases[0]) + " %"},
        {"jpeg", "tiffcp -c jpeg " + shellQuoted(bases[6]) + " %"},
        {"palette", "convert " + shellQuoted(source) + " -type Palette %"},
        {"cmyk", "convert " + shellQuoted(source) + " -colorspace CMYK %"},
        {"bilevel", "convert " + shellQuoted(source) + " -monochrome -depth 1 -type bilevel %"},
        {"associated", "cp " + shellQuoted(rgba8) + " % && tiffset -s 338 1 1 %"},
        {"float16", "convert " + shellQuoted(source) +
                        " -define quantum:format=floating-point -depth 16 % 2>/dev/null"},
    };
    // A damaged file: its strips cut short.
    corpus->declined.push_back(testing::truncatedCopy(corpus->folder, bases[6], "truncated.tif"));
    for (const auto& [name, command] : others) {
        const std::string made = path(name + ".tif");
        std::string filled;
        for (const char c : command) {
            filled += c == '%' ? shellQuoted(made) : std::string(1, c);
        }
        run(filled);
        ASSERT_TRUE(std::filesystem::exists(made)) << name;
        corpus->declined.push_back(made);
    }
}

// Read without the module: its pixels and, resolved, its records. Written
// again, a TIFF holding only its layout and a DateTime becomes a TIFF
// without the module, byte for byte the module's (which carries the
// DateTime); one with metadata goes through the module's records.
TEST(TiffWithoutModule, ReadsWhatTheModuleReads) {
    testing::FileCorpus corpus;
    makeCorpus(&corpus);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const std::string direct = corpus.folder.path("out-direct.tif");
    const std::string module = corpus.folder.path("out-module.tif");
    int32_t plain = 0;
    for (const std::string& file : corpus.taken) {
        SCOPED_TRACE(file);
        HostImage image;
        HostImage moduleImage;
        std::string error;
        ASSERT_NO_FATAL_FAILURE(readBothWays(file, readImageTiff, &image, &moduleImage));
        EXPECT_TRUE(image.metadata.records.empty());
        ASSERT_TRUE(writeOiioFile(module, FileFormat::Tiff, moduleImage, module, &error)) << error;
        if (!image.metadata.pendingFilePlain) {
            EXPECT_FALSE(writeTiffFile(direct, image));
            ASSERT_TRUE(writeImage(direct, image, &error)) << error;
        } else {
            ++plain;
            ASSERT_TRUE(writeTiffFile(direct, image));
        }
        if (image.metadata.pendingFilePlain && !image.metadata.pendingDateTime.empty()) {
            EXPECT_TRUE(readFileBytes(direct) == readFileBytes(module));
        } else {
            EXPECT_TRUE(withoutDateTime(readFileBytes(direct)) ==
                        withoutDateTime(readFileBytes(module)));
        }
        ASSERT_NO_FATAL_FAILURE(testing::expectResolvedAlike(&image, moduleImage));
        EXPECT_FALSE(hasPendingRecords(image.metadata));
    }
    EXPECT_GT(plain, 100);
    testing::expectLeftToModule(corpus.declined, readImageTiff);
}

TEST(TiffWithoutModule, RefusesRecordsOfAFileChangedSince) {
    ScratchFolder folder;
    const std::string file = folder.path("a.tif");
    std::string error;
    ASSERT_TRUE(writeImage(file, testImage(6, 5, 3, 8), &error)) << error;
    HostImage image;
    ASSERT_TRUE(readImageTiff(file, &image));
    ASSERT_TRUE(writeImage(file, testImage(60, 50, 3, 8), &error)) << error;
    EXPECT_FALSE(resolveMetadata(&image.metadata, &error));
    EXPECT_NE(error.find("the file changed after its pixels were read"), std::string::npos)
        << error;
    EXPECT_TRUE(hasPendingRecords(image.metadata));
}

#endif

} // namespace
} // namespace lakra
