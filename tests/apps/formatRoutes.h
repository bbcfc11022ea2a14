#pragma once

// Helpers shared by the tests of the direct JPEG, TIFF and OpenEXR routes:
// the same image written both ways, the same file read both ways, and the
// files the direct reader leaves to the module.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"
#include "imageTestUtil.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

// The direct routes are compared with the image module, which only the
// Linux build has.
#if LAKRA_HAVE_OIIO
namespace lakra::testing {

using DirectWriter = bool (*)(const std::string& path, const HostImage& image);
using DirectReader = bool (*)(const std::string& path, HostImage* image);
using ImageMaker = HostImage (*)(int32_t width, int32_t height, int32_t planes, int32_t depth);
// A file's bytes with what differs between two writes (a time) blanked.
using Comparable = std::string (*)(std::string bytes);

// The layouts the host has: 1 to 4 planes of 8, 16 and 32 bits.
constexpr int32_t kLayouts = 12;

inline int32_t layoutPlanes(int32_t layout) {
    return layout / 3 + 1;
}

inline int32_t layoutDepth(int32_t layout) {
    return 8 << (layout % 3);
}

// A format's direct writer beside the module.
struct WriteRoute {
    FileFormat format;
    DirectWriter write;
    const char* extension;
    Comparable comparable;
    std::vector<MetadataRecord> leftOut; // records the writers leave out anyway
};

// Every layout at every size: the same bytes both ways.
inline void expectWritesAlike(const WriteRoute& route, ImageMaker make,
                              const std::vector<std::array<int32_t, 2>>& sizes) {
    ScratchFolder folder;
    const std::string direct = folder.path("direct" + std::string(route.extension));
    const std::string module = folder.path("module" + std::string(route.extension));
    for (const auto& size : sizes) {
        for (int32_t layout = 0; layout < kLayouts; ++layout) {
            const int32_t planes = layoutPlanes(layout);
            const int32_t depth = layoutDepth(layout);
            SCOPED_TRACE(std::to_string(size[0]) + " x " + std::to_string(size[1]) + ", " +
                         std::to_string(planes) + " planes of " + std::to_string(depth) + " bits");
            HostImage image = make(size[0], size[1], planes, depth);
            image.metadata.records = route.leftOut;
            std::string error;
            ASSERT_TRUE(route.write(direct, image));
            ASSERT_TRUE(writeOiioFile(module, route.format, image, module, &error)) << error;
            EXPECT_TRUE(route.comparable(readFileBytes(direct)) ==
                        route.comparable(readFileBytes(module)));
        }
    }
}

// One image per layout, 37 x 21, written by the module as "base<planes>x<depth>".
inline void writeModuleBases(const ScratchFolder& folder, FileFormat format,
                             const std::string& extension, ImageMaker make,
                             std::vector<std::string>* bases) {
    for (int32_t layout = 0; layout < kLayouts; ++layout) {
        const int32_t planes = layoutPlanes(layout);
        const int32_t depth = layoutDepth(layout);
        const std::string base =
            folder.path("base" + std::to_string(planes) + "x" + std::to_string(depth) + extension);
        std::string error;
        ASSERT_TRUE(writeOiioFile(base, format, make(37, 21, planes, depth), base, &error))
            << error;
        bases->push_back(base);
    }
}

// A damaged copy of a file: its last third cut off.
inline std::string truncatedCopy(const ScratchFolder& folder, const std::string& file,
                                 const std::string& name) {
    const std::string whole = readFileBytes(file);
    writeFileBytes(folder.path(name), whole.substr(0, whole.size() * 2 / 3));
    return folder.path(name);
}

inline void expectSameShape(const HostImage& direct, const HostImage& module) {
    EXPECT_EQ(std::tie(direct.width, direct.height, direct.planes, direct.depth, direct.alpha),
              std::tie(module.width, module.height, module.planes, module.depth, module.alpha));
    EXPECT_TRUE(direct.pixels == module.pixels);
}

inline void expectSameRecords(const std::vector<MetadataRecord>& direct,
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

// A file read both ways: the same layout and pixels.
inline void readBothWays(const std::string& file, DirectReader read, HostImage* direct,
                         HostImage* module) {
    std::string error;
    ASSERT_TRUE(read(file, direct));
    ASSERT_TRUE(readImageOiio(file, module, &error)) << error;
    expectSameShape(*direct, *module);
}

// The direct route's records, once resolved, are the module's.
inline void expectResolvedAlike(HostImage* direct, const HostImage& module) {
    std::string error;
    ASSERT_TRUE(resolveMetadata(&direct->metadata, &error)) << error;
    EXPECT_EQ(direct->metadata.formatName, module.metadata.formatName);
    expectSameRecords(direct->metadata.records, module.metadata.records);
}

// Files made by the module and by other tools: those the direct reader
// takes, and those it must leave to the module.
struct FileCorpus {
    ScratchFolder folder;
    std::vector<std::string> taken;
    std::vector<std::string> declined;
};

// Files the direct reader must leave to the module, untouched.
inline void expectLeftToModule(const std::vector<std::string>& files, DirectReader read) {
    for (const std::string& file : files) {
        HostImage image;
        EXPECT_FALSE(read(file, &image)) << file;
        EXPECT_EQ(image.width, 0);
    }
}

} // namespace lakra::testing
#endif // LAKRA_HAVE_OIIO
