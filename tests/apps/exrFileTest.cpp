// OpenEXR files without the image module: the direct writer's files are
// byte for byte the module's.

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
    image.metadata.pendingFile = folder.path("x.tif");
    EXPECT_FALSE(writeExrFile(folder.path("x.exr"), image));
}

// OpenEXR files made by the module and by oiiotool: those the direct reader
// takes, and those it must leave to the module.
struct ExrCorpus {
    ScratchFolder folder;
    std::vector<std::string> taken;
    std::vector<std::string> declined;
};

void makeCorpus(ExrCorpus* corpus) {
    if (!testing::haveTool("oiiotool")) {
        GTEST_SKIP() << "oiiotool is needed";
    }
    std::string error;
    std::vector<std::string> bases;
    for (int32_t layout = 0; layout < 12; ++layout) {
        const int32_t planes = layout / 3 + 1;
        const int32_t depth = 8 << (layout % 3);
        const std::string base = corpus->folder.path("base" + std::to_string(planes) + "x" +
                                                     std::to_string(depth) + ".exr");
        ASSERT_TRUE(
            writeOiioFile(base, FileFormat::Exr, testImage(37, 21, planes, depth), base, &error))
            << error;
        bases.push_back(base);
        corpus->taken.push_back(base);
    }
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
    const std::string whole = readFileBytes(bases[11]);
    const std::string truncated = corpus->folder.path("truncated.exr");
    testing::writeFileBytes(truncated, whole.substr(0, whole.size() * 2 / 3));
    corpus->declined.push_back(truncated);
}

void expectSameRecords(const std::vector<MetadataRecord>& direct,
                       const std::vector<MetadataRecord>& module) {
    ASSERT_EQ(direct.size(), module.size());
    for (size_t i = 0; i < direct.size(); ++i) {
        const MetadataRecord& d = direct[i];
        const MetadataRecord& m = module[i];
        EXPECT_EQ(std::tie(d.name, d.type, d.valueCount, d.bytes),
                  std::tie(m.name, m.type, m.valueCount, m.bytes))
            << "record " << i << ": " << d.name << " / " << m.name;
    }
}

// The pixels and (resolved) records the module reads; a plain file written
// back byte for byte as the module writes it, its capDate kept.
TEST(ExrWithoutModule, ReadsWhatTheModuleReads) {
    ExrCorpus corpus;
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
        ASSERT_TRUE(readImageExr(file, &image));
        ASSERT_TRUE(readImageOiio(file, &moduleImage, &error)) << error;
        EXPECT_EQ(std::tie(image.width, image.height, image.planes, image.depth, image.alpha),
                  std::tie(moduleImage.width, moduleImage.height, moduleImage.planes,
                           moduleImage.depth, moduleImage.alpha));
        EXPECT_TRUE(image.pixels == moduleImage.pixels);
        ASSERT_TRUE(writeOiioFile(module, FileFormat::Exr, moduleImage, module, &error)) << error;
        if (image.metadata.pendingFilePlain) {
            ++plain;
            ASSERT_TRUE(writeExrFile(direct, image));
            EXPECT_TRUE(readFileBytes(direct) == readFileBytes(module));
        } else {
            EXPECT_FALSE(writeExrFile(direct, image));
        }
        ASSERT_TRUE(resolveMetadata(&image.metadata, &error)) << error;
        EXPECT_EQ(image.metadata.formatName, moduleImage.metadata.formatName);
        expectSameRecords(image.metadata.records, moduleImage.metadata.records);
    }
    EXPECT_GE(plain, 12);
    for (const std::string& file : corpus.declined) {
        HostImage image;
        EXPECT_FALSE(readImageExr(file, &image)) << file;
        EXPECT_EQ(image.width, 0);
    }
}

#endif

} // namespace
} // namespace lakra
