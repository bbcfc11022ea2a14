// OpenEXR files without the image module: the direct writer's files are
// byte for byte the module's.

#include "formatRoutes.h"
#include "support/fileChecks.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace lakra {
namespace {

#if LAKRA_HAVE_OIIO

using testing::patternImage;
using testing::readBothWays;
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
    testing::expectWritesAlike({FileFormat::Exr,
                                writeExrFile,
                                ".exr",
                                withoutCapDate,
                                {{"Orientation", "int", 1, {1, 0, 0, 0}}}},
                               testImage, {{13, 7}, {1, 1}, {301, 19}, {23, 150}});
}

TEST(ExrWithoutModule, LeavesImagesWithRecordsToTheModule) {
    ScratchFolder folder;
    HostImage image = testImage(5, 4, 3, 8);
    image.metadata.records.push_back({"Artist", "string", 1, {'L', 0}});
    EXPECT_FALSE(writeExrFile(folder.path("x.exr"), image));
    image.metadata.records.clear();
    image.metadata.pendingFile = folder.path("x.tif");
    EXPECT_FALSE(writeExrFile(folder.path("x.exr"), image));
}

// OpenEXR files made by the module and by oiiotool: those the direct reader
// takes, and those it must leave to the module.
void makeCorpus(testing::FileCorpus* corpus) {
    if (!testing::haveTool("oiiotool")) {
        GTEST_SKIP() << "oiiotool is needed";
    }
    std::vector<std::string> bases;
    testing::writeModuleBases(corpus->folder, FileFormat::Exr, ".exr", testImage, &bases);
    if (::testing::Test::HasFatalFailure()) {
        return;
    }
    corpus->taken = bases;
    const auto make = [corpus](const std::string& name, const std::string& command,
                               std::vector<std::string>* list) {
        const std::string made = corpus->folder.path(name + ".exr");
        (void)testing::toolOutput(command + " -o '" + made + "' 2>&1");
        ASSERT_TRUE(std::filesystem::exists(made)) << name;
        list->push_back(made);
    };
    const std::string rgba = "oiiotool '" + bases[10] + "' ";
    const std::string grey = "oiiotool '" + bases[2] + "' ";
    for (const char* compression : {"none", "rle", "zips", "piz", "pxr24", "b44", "dwaa"}) {
        make(std::string("rgba-") + compression, rgba + "--compression " + compression,
             &corpus->taken);
        make(std::string("grey-") + compression, grey + "-d half --compression " + compression,
             &corpus->taken);
    }
    make("artist", rgba + "--attrib Artist 'Lakra Tester'", &corpus->taken);
    make("aspect", rgba + "--attrib PixelAspectRatio 2.0", &corpus->taken);
    make("tiled", rgba + "--tile 16 16", &corpus->declined);
    make("depthchannel", rgba + "--ch R,G,B,A,Z=0.5", &corpus->declined);
    make("halfandfloat", rgba + "-d R=half -d G=float -d B=half -d A=half", &corpus->declined);
    make("offset", rgba + "--origin +3+2", &corpus->declined);
    make("twoparts", rgba + "'" + bases[5] + "' --siappend", &corpus->declined);
    // A damaged file: its last blocks of rows cut off.
    corpus->declined.push_back(testing::truncatedCopy(corpus->folder, bases[11], "truncated.exr"));
}

// The pixels and (resolved) records the module reads; a plain file written
// back byte for byte as the module writes it, its capDate kept.
TEST(ExrWithoutModule, ReadsWhatTheModuleReads) {
    testing::FileCorpus corpus;
    makeCorpus(&corpus);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const std::string direct = corpus.folder.path("out-direct.exr");
    const std::string module = corpus.folder.path("out-module.exr");
    int32_t plain = 0;
    for (const std::string& file : corpus.taken) {
        SCOPED_TRACE(file);
        HostImage image;
        HostImage moduleImage;
        std::string error;
        ASSERT_NO_FATAL_FAILURE(readBothWays(file, readImageExr, &image, &moduleImage));
        ASSERT_TRUE(writeOiioFile(module, FileFormat::Exr, moduleImage, module, &error)) << error;
        if (image.metadata.pendingFilePlain) {
            ++plain;
            ASSERT_TRUE(writeExrFile(direct, image));
            EXPECT_TRUE(readFileBytes(direct) == readFileBytes(module));
        } else {
            EXPECT_FALSE(writeExrFile(direct, image));
        }
        testing::expectResolvedAlike(&image, moduleImage);
    }
    EXPECT_GE(plain, 12);
    testing::expectLeftToModule(corpus.declined, readImageExr);
}

#endif

} // namespace
} // namespace lakra
