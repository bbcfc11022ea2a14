#include "export/psdDocument.h"

#include "blend/glueModes.h"
#include "render/settings.h"
#include "support/fileChecks.h"
#include "support/scratchFolder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace lakra {
namespace {

using testing::ScratchFolder;
using Bytes = std::string; // easy to compare and print

// ---- A reader of our documents, written from the format's layout alone ----

struct Cursor {
    const Bytes& bytes;
    size_t at = 0;

    // Big-endian; past the end reads zeros and leaves at beyond the size.
    uint32_t u(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++at) {
            value = value << 8 | (at < bytes.size() ? static_cast<uint8_t>(bytes[at]) : 0u);
        }
        return value;
    }

    Bytes block(size_t count) {
        const size_t from = std::min(at, bytes.size());
        at = std::min(at + count, bytes.size() + 1);
        return bytes.substr(from, at - from);
    }

    bool ok() const { return at <= bytes.size(); }
};

struct Psd {
    uint32_t channels = 0, height = 0, width = 0, depth = 0;
    size_t planeBytes = 0;
    Bytes colourModeData;
    std::vector<uint32_t> ids; // of the resources, in file order
    std::map<uint32_t, Bytes> resources;
    std::vector<std::string> blocks;        // keys of the layer section's tagged blocks
    std::vector<std::vector<Bytes>> layers; // channels in file order: alpha, red, green, blue
    std::vector<Bytes> merged;
};

// The count, every record (each checked to be what we write: "layer 1" over
// the whole document, normal, opaque), then every layer's channel data.
void readLayerInfo(Cursor& c, Psd& psd) {
    const size_t length = c.u(4);
    const size_t start = c.at;
    const uint32_t count = c.u(2);
    for (uint32_t layer = 0; layer < count && c.ok(); ++layer) {
        const size_t record = c.at;
        EXPECT_EQ((std::vector<uint32_t>{c.u(4), c.u(4), c.u(4), c.u(4), c.u(2)}),
                  (std::vector<uint32_t>{0, 0, psd.height, psd.width, 4}))
            << "top, left, bottom, right, channels";
        for (int id = -1; id < 3; ++id) {
            EXPECT_EQ(static_cast<int16_t>(c.u(2)), id);
            EXPECT_EQ(c.u(4), 2 + psd.planeBytes) << "channel length";
        }
        const char flags = psd.depth == 32 ? 0x08 : 0x28;
        EXPECT_EQ(c.block(12), std::string("8BIMnorm\xff\0", 10) + flags + '\0');
        EXPECT_EQ(c.u(4), 56u) << "extra data";
        const size_t extraEnd = c.at + 56;
        EXPECT_EQ(c.u(4), 0u) << "no layer mask";
        c.at += c.u(4); // blending ranges
        EXPECT_EQ(c.block(c.u(1)), "layer 1");
        EXPECT_EQ(c.at, extraEnd) << "the name, needing no padding, ends it";
        EXPECT_EQ(c.at - record, 114u) << "layer record";
    }
    for (uint32_t layer = 0; layer < count && c.ok(); ++layer) {
        psd.layers.emplace_back();
        for (int channel = 0; channel < 4; ++channel) {
            EXPECT_EQ(c.u(2), 0u) << "raw";
            psd.layers.back().push_back(c.block(psd.planeBytes));
        }
    }
    EXPECT_EQ(c.at, start + length) << "layer info length";
}

Psd parsePsd(const std::vector<uint8_t>& file) {
    const Bytes bytes(file.begin(), file.end());
    Psd psd;
    Cursor c{bytes};
    EXPECT_EQ(c.block(12), std::string("8BPS\0\1\0\0\0\0\0\0", 12)) << "signature, version 1";
    psd.channels = c.u(2);
    psd.height = c.u(4);
    psd.width = c.u(4);
    psd.depth = c.u(2);
    psd.planeBytes = size_t{psd.width} * psd.height * (psd.depth / 8);
    EXPECT_EQ(c.u(2), 3u) << "RGB";
    psd.colourModeData = c.block(c.u(4));
    const size_t resourceBytes = c.u(4);
    const size_t resourcesEnd = c.at + resourceBytes;
    while (c.ok() && c.at < resourcesEnd) {
        EXPECT_EQ(c.block(4), "8BIM");
        psd.ids.push_back(c.u(2));
        EXPECT_EQ(c.u(2), 0u) << "empty name";
        const Bytes& data = psd.resources[psd.ids.back()] = c.block(c.u(4));
        // Odd data carries a pad byte, except the host's profile.
        if (psd.ids.back() != 1039 && data.size() % 2 == 1) {
            EXPECT_EQ(c.u(1), 0u) << "pad of " << psd.ids.back();
        }
    }
    EXPECT_EQ(c.at, resourcesEnd) << "resource section length";
    // The layer section: 8 bits hold the layer info, 16 and 32 bits tagged blocks.
    const size_t sectionBytes = c.u(4);
    const size_t sectionEnd = c.at + sectionBytes;
    if (psd.depth == 8) {
        readLayerInfo(c, psd);
    } else {
        EXPECT_EQ(c.u(4), 0u) << "the plain layer info stays empty";
    }
    EXPECT_EQ(c.u(4), 0u) << "global mask";
    while (psd.depth != 8 && c.ok() && c.at < sectionEnd) {
        EXPECT_EQ(c.block(4), "8BIM");
        psd.blocks.push_back(c.block(4));
        const std::string key = psd.blocks.back();
        if (key == "Lr16" || key == "Lr32") {
            const size_t info = c.at;
            readLayerInfo(c, psd);
            while ((c.at - info) % 4 != 0) {
                EXPECT_EQ(c.u(1), 0u) << "padding to 4";
            }
        } else if (key == "LMsk") {
            EXPECT_EQ(c.u(4), 14u) << "the mask defaults' length";
            c.at += 16; // the defaults, padded
        } else {
            EXPECT_EQ(c.u(4), 0u) << key;
        }
    }
    EXPECT_EQ(c.at, sectionEnd) << "layer section length";
    EXPECT_EQ(c.u(2), 0u) << "merged image raw";
    while (psd.planeBytes > 0 && c.at < bytes.size()) {
        psd.merged.push_back(c.block(psd.planeBytes));
    }
    EXPECT_EQ(c.at, bytes.size()) << "whole merged planes to the end of the file";
    return psd;
}

// Sample i of a plane: the integer, or for 4 bytes the float.
double sampleAt(const Bytes& plane, size_t i, uint32_t bytes) {
    uint32_t value = 0;
    for (uint32_t b = 0; b < bytes; ++b) {
        value = value << 8 | static_cast<uint8_t>(plane.at(i * bytes + b));
    }
    float asFloat = 0;
    std::memcpy(&asFloat, &value, 4);
    return bytes == 4 ? static_cast<double>(asFloat) : static_cast<double>(value);
}

// ---- Documents to read ----

PsdExportDesc descOf(uint32_t width, uint32_t height, uint32_t bytesPerSample,
                     uint32_t layers = 1) {
    return {4, layers, width, height, 1, kExportPsd, bytesPerSample};
}

// Colour ramps from 0 to full, with alpha that runs through clear, partial
// and opaque.
PyramidPtr makeImage(int32_t width, int32_t height, uint32_t bytesPerSample) {
    PyramidPtr image(pyramidCreate(width, height, psdWorkingFormat(bytesPerSample)));
    for (int32_t i = 0; i < width * height; ++i) {
        const int32_t x = i % width;
        const int32_t y = i / width;
        const float pixel[4] = {static_cast<float>(x) / static_cast<float>(width - 1),
                                static_cast<float>(y) / static_cast<float>(height - 1),
                                0.3f + 0.1f * static_cast<float>(x % 3),
                                static_cast<float>((x + 3 * y) % 5) / 4.0f};
        setPixel4f(x, y, image.get(), 0, pixel);
    }
    return image;
}

// Writes "doc.psd" and reads it back.
Psd writeDocument(const ScratchFolder& scratch, const PsdExportDesc& desc,
                  const ImagePyramid* image, const PsdDocumentParts& parts = {}) {
    FileSpec fileSpec;
    fileSpecFromPath(&fileSpec, scratch.path("doc.psd").c_str());
    FileWriter writer;
    EXPECT_EQ(fileWriterOpen(fileSpec, &writer), noErr);
    int32_t layersDone = 0;
    EXPECT_EQ(psdWriteDocument(&writer, desc, image, parts, &layersDone), noErr);
    EXPECT_EQ(fileWriterClose(&writer), noErr);
    EXPECT_EQ(layersDone, static_cast<int32_t>(desc.layerCount));
    FileWriter sizing = fileSizingWriter();
    EXPECT_EQ(psdWriteDocument(&sizing, desc, nullptr, parts), noErr);
    const std::vector<uint8_t> bytes = scratch.read("doc.psd");
    EXPECT_EQ(sizing.bytes, static_cast<int64_t>(bytes.size())) << "the sizing pass agrees";
    return parsePsd(bytes);
}

// A 0..1 sample (float: as it is) in the units of the file: 255, or 65536
// capped at 65535 (twice the 16-bit sample, full scale at 65535).
double fileUnits(float fraction, uint32_t bytes) {
    return bytes == 1 ? std::round(fraction * 255.0)
                      : (bytes == 2 ? std::min(65535.0, fraction * 65536.0) : fraction);
}

// The merged image's background: light and dark squares of 8 x 8.
bool lightSquare(size_t x, size_t y) {
    return (x / 8 + y / 8) % 2 == 0;
}

// ---- Independent readers ----

using testing::haveTool;
using testing::toolOutput;

class PsdDepth : public ::testing::TestWithParam<uint32_t> {
protected:
    void write(const PsdDocumentParts& parts = {}, uint32_t layers = 1) {
        psd = writeDocument(scratch, descOf(37, 23, bytes, layers), image.get(), parts);
    }

    // A reader's listing against the file's planes, pixel by pixel: the first
    // numbers after ':' of the lines that begin with `prefix` and not '#'
    // (oiiotool's "Pixel (x, y): r g b ...", ImageMagick's "x,y: (r,g,b,a) #...").
    void expectListed(const std::string& text, const std::string& prefix,
                      const std::vector<Bytes>& planes, double scale, double tolerance) const {
        std::vector<double> listed;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            const size_t colon = line.find(':');
            if (line.rfind(prefix, 0) == 0 && line[0] != '#' && colon != std::string::npos) {
                std::replace(line.begin(), line.end(), '(', ' ');
                std::replace(line.begin(), line.end(), ',', ' ');
                std::istringstream numbers(line.substr(colon + 1));
                double value = 0;
                for (size_t n = 0; n < planes.size() && numbers >> value; ++n) {
                    listed.push_back(value);
                }
            }
        }
        ASSERT_EQ(listed.size(), planes.size() * 37 * 23);
        for (size_t k = 0; k < listed.size(); ++k) {
            const size_t pixel = k / planes.size();
            ASSERT_NEAR(listed[k], scale * sampleAt(planes[k % planes.size()], pixel, bytes),
                        tolerance)
                << "pixel " << pixel << " channel " << k % planes.size();
        }
    }

    const uint32_t bytes = GetParam();
    ScratchFolder scratch;
    PyramidPtr image = makeImage(37, 23, GetParam());
    Psd psd;
};

TEST_P(PsdDepth, SectionsLayerAndMergedImageHoldTheImage) {
    const bool hdr = bytes == 4;
    if (hdr) {
        const float bright[4] = {1.5f, -0.25f, 0.0f, 0.5f}; // floats go out unclamped
        writeRgbaFloat(2, 3, image.get(), 0, bright);
    }
    const uint8_t profile[5] = {9, 8, 7, 6, 5}; // odd: no pad follows it
    PsdDocumentParts parts;
    parts.glue = glueNumber(GlueMode::HardLight);
    parts.iccProfile = profile;
    parts.iccProfileBytes = sizeof profile;
    const uint32_t layers = bytes == 4 ? 1 : 2; // 32 bits: resource 1072 of odd length
    write(parts, layers);
    // 16-bit documents declare their fourth merged plane, so readers take it as alpha.
    EXPECT_EQ((std::vector<uint32_t>{psd.channels, psd.width, psd.height, psd.depth}),
              (std::vector<uint32_t>{bytes == 2 ? 4u : 3u, 37, 23, 8 * bytes}));
    std::vector<uint32_t> ids{1001, 1005, 1011, 1016, 1035, 1039, 1028, 1058, 1024, 1026};
    if (hdr) {
        ids.insert(ids.begin() + 8, {1069, 1072});
    }
    EXPECT_EQ(psd.ids, ids);
    EXPECT_EQ(psd.resources[1039], "\x09\x08\x07\x06\x05");
    EXPECT_EQ(psd.resources[1035], kMakerUrl) << "of odd length: the parser reads its pad";
    EXPECT_EQ(psd.resources[1024], Bytes(1, '\0') + static_cast<char>(layers));
    EXPECT_EQ(psd.resources[1026], Bytes(2 * layers, '\0'));
    const Bytes& iptc = psd.resources[1028];
    EXPECT_NE(iptc.find(glueName(parts.glue)), std::string::npos);
    EXPECT_EQ(iptc.find("high dynamic range") != std::string::npos, hdr);
    const std::vector<std::vector<std::string>> blocks{
        {}, {"Mt16", "Lr16"}, {}, {"Mt32", "Lr32", "LMsk", "Pat3"}};
    EXPECT_EQ(psd.blocks, blocks[bytes - 1]);
    ASSERT_EQ(psd.colourModeData.size(), hdr ? 74u : 0u);
    if (hdr) {
        EXPECT_EQ(psd.colourModeData.substr(0, 8), Bytes("hdrt\0\0\0\3", 8));
        EXPECT_EQ(psd.resources[1069], Bytes("\0\1\0\0\0\x0c", 6));
        EXPECT_EQ(psd.resources[1072], "\1");
    }

    ASSERT_EQ(psd.layers.size(), layers);
    EXPECT_EQ(psd.layers.back(), psd.layers[0]);
    ASSERT_EQ(psd.merged.size(), bytes == 2 ? 5u : 4u);
    const double light = bytes == 1 ? 255 : 65280;
    const double dark = bytes == 1 ? 204 : 52224;
    // Integers truncate under partial alpha: up to 1 (16 bits: 2) below the composite.
    const double partial = bytes == 1 ? 0.5 : 1.5;
    for (size_t i = 0; i < 37 * 23; ++i) {
        const size_t x = i % 37;
        const size_t y = i / 37;
        float pixel[4];
        getPixel4f(static_cast<int32_t>(x), static_cast<int32_t>(y), image.get(), 0, pixel);
        for (int c = 0; c < 4; ++c) { // alpha, red, green, blue
            ASSERT_EQ(sampleAt(psd.layers[0][c], i, bytes), fileUnits(pixel[(c + 3) % 4], bytes))
                << x << "," << y << " layer channel id " << c - 1;
        }
        // Colour and alpha over the checkerboard; 16-bit alpha and the fifth
        // plane full; floats as they are.
        for (size_t plane = 0; plane < psd.merged.size(); ++plane) {
            const float value = pixel[std::min<size_t>(plane, 3)];
            const double background = lightSquare(x, y) ? light : dark;
            const double over = background + (fileUnits(value, bytes) - background) * pixel[3];
            const bool full = plane >= 3 && bytes == 2;
            const double want = hdr ? value : (full ? 65535 : over);
            const bool exact = hdr || full || pixel[3] == 0 || pixel[3] == 1;
            ASSERT_NEAR(sampleAt(psd.merged[plane], i, bytes), exact ? want : want - 0.5,
                        exact ? 0 : partial + 1e-3)
                << x << "," << y << " merged plane " << plane;
        }
    }
}

TEST(PsdDocument, ClearEightBitLayerMergesToTheCheckerboard) {
    ScratchFolder scratch;
    const PyramidPtr image(pyramidCreate(20, 20, PixelFormat::Rgba8));
    for (int32_t i = 0; i < 400; ++i) {
        writeRgba8(i % 20, i / 20, image.get(), 0, 0x40800000u); // a colour at alpha 0
    }
    const Psd psd = writeDocument(scratch, descOf(20, 20, 1), image.get());
    EXPECT_EQ(psd.resources.count(1039), 0u) << "no profile given";
    ASSERT_EQ(psd.merged.size(), 4u);
    for (size_t i = 0; i < 4 * 400; ++i) { // every plane, alpha too
        ASSERT_EQ(psd.merged[i / 400].at(i % 400),
                  lightSquare(i % 20, i % 400 / 20) ? '\xff' : '\xcc')
            << "plane " << i / 400 << " at " << i % 20 << "," << i % 400 / 20;
    }
}

TEST(PsdDocument, RefusesWhatItCannotDescribeBeforeWriting) {
    // 4 GiB: the 16- and 32-bit layer sections of 30000 x 30000 do not fit;
    // sides stop at 30000.
    for (const PsdExportDesc& desc : {descOf(30000, 30000, 1), descOf(30000, 30000, 2),
                                      descOf(30000, 30000, 4), descOf(30001, 2, 1)}) {
        const bool fits = desc.bytesPerSample == 1 && desc.width == 30000;
        FileWriter sizing = fileSizingWriter();
        EXPECT_EQ(psdWriteDocument(&sizing, desc, nullptr, {}), fits ? noErr : kPsdTooLarge)
            << desc.width << " x " << desc.height << " x " << desc.bytesPerSample;
    }
    // Images that do not match the description; the writer needs no file.
    const PyramidPtr image = makeImage(4, 4, 1);
    PsdExportDesc threeChannels = descOf(4, 4, 1);
    threeChannels.channelCount = 3;
    FileWriter writer;
    for (const PsdExportDesc& desc : {descOf(4, 4, 2), descOf(5, 4, 1), threeChannels}) {
        EXPECT_EQ(psdWriteDocument(&writer, desc, image.get(), {}), filterBadParameters);
    }
    EXPECT_EQ(writer.bytes, 0);
}

TEST_P(PsdDepth, OpenImageIoAndImageMagickReadItBack) {
    if (!haveTool("oiiotool") || !haveTool("identify") || !haveTool("convert")) {
        GTEST_SKIP() << "no oiiotool or ImageMagick";
    }
    write({}, 2);
    const std::string file = "'" + scratch.path("doc.psd") + "'";
    const char* depth = bytes == 1 ? "uint8" : (bytes == 2 ? "uint16" : "float");
    const std::string info = toolOutput("oiiotool --info -v " + file);
    EXPECT_NE(info.find("37 x   23, 3 channel, " + std::string(depth) + " psd"), std::string::npos);
    expectListed(toolOutput("oiiotool --dumpdata " + file), "    Pixel (",
                 {psd.merged.at(0), psd.merged.at(1), psd.merged.at(2)}, 1, bytes == 4 ? 1e-6 : 0);
    const std::string list = toolOutput("identify " + file);
    EXPECT_NE(list.find("[1] PSD 37x23 37x23+0+0 " + std::to_string(8 * bytes) + "-bit"),
              std::string::npos);
    EXPECT_NE(toolOutput("identify -verbose " + file).find("label: layer 1"), std::string::npos);
    // The layer as unassociated RGBA; 16- and 32-bit documents read at 65535.
    const std::vector<Bytes>& layer = psd.layers.at(0);
    expectListed(toolOutput("convert " + file + "'[1]' txt:-"), "",
                 {layer.at(1), layer.at(2), layer.at(3), layer.at(0)}, bytes == 4 ? 65535 : 1,
                 bytes == 4 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, PsdDepth, ::testing::Values(1u, 2u, 4u),
                         [](const ::testing::TestParamInfo<uint32_t>& param) {
                             return std::to_string(8 * param.param) + "bit";
                         });

} // namespace
} // namespace lakra
