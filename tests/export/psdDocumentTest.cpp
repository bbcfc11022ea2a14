#include "export/psdDocument.h"

#include "blend/glueModes.h"
#include "export/psdExport.h"
#include "pyramid/levels.h"
#include "render/renderInto.h"
#include "render/settings.h"
#include "support/fileChecks.h"
#include "support/scratchFolder.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace lakra {
namespace {

using testing::ScratchFolder;

// FNV-1a over a file's bytes.
uint64_t hashOf(const std::vector<uint8_t>& bytes) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (const uint8_t byte : bytes) {
        hash = (hash ^ byte) * 0x100000001B3u;
    }
    return hash;
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

// Writes "doc.psd" and returns its bytes.
std::vector<uint8_t> writeDocument(const ScratchFolder& scratch, const PsdExportDesc& desc,
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
    return bytes;
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
    // The document of every depth: a colour ramp over clear, partial and
    // opaque alpha, a glue mode named in the keywords, an odd-sized profile
    // (no pad follows it) and, below 32 bits, two layers. The pinned one
    // alone has the profile (which the readers below refuse) and a 32-bit
    // pixel beyond 0..1.
    std::vector<uint8_t> write(bool pinned) {
        if (pinned && bytes == 4) {
            const float bright[4] = {1.5f, -0.25f, 0.0f, 0.5f}; // floats go out unclamped
            writeRgbaFloat(2, 3, image.get(), 0, bright);
        }
        PsdDocumentParts parts;
        parts.glue = glueNumber(GlueMode::HardLight);
        parts.iccProfile = pinned ? profile : nullptr;
        parts.iccProfileBytes = pinned ? sizeof profile : 0;
        parts.date = &date;
        return writeDocument(scratch, descOf(37, 23, bytes, bytes == 4 ? 1 : 2), image.get(),
                             parts);
    }

    // A reader's listing against the expected samples, pixel by pixel: the
    // first numbers after ':' of the lines that begin with `prefix` and not '#'
    // (oiiotool's "Pixel (x, y): r g b ...", ImageMagick's "x,y: (r,g,b,a) #...").
    template <typename Expected>
    void expectListed(const std::string& text, const std::string& prefix, size_t channels,
                      Expected expected) const {
        std::vector<double> listed;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            const size_t colon = line.find(':');
            if (line.rfind(prefix, 0) == 0 && line[0] != '#' && colon != std::string::npos) {
                std::replace(line.begin(), line.end(), '(', ' ');
                std::replace(line.begin(), line.end(), ',', ' ');
                std::istringstream numbers(line.substr(colon + 1));
                double value = 0;
                for (size_t n = 0; n < channels && numbers >> value; ++n) {
                    listed.push_back(value);
                }
            }
        }
        ASSERT_EQ(listed.size(), channels * 37 * 23);
        for (size_t k = 0; k < listed.size(); ++k) {
            float pixel[4];
            getPixel4f(static_cast<int32_t>(k / channels % 37),
                       static_cast<int32_t>(k / channels / 37), image.get(), 0, pixel);
            expected(listed[k], k / channels % 37, k / channels / 37, pixel, k % channels);
        }
    }

    const uint32_t bytes = GetParam();
    const uint8_t profile[5] = {9, 8, 7, 6, 5};
    const UtcDate date{2027, 3, 3};
    ScratchFolder scratch;
    PyramidPtr image = makeImage(37, 23, GetParam());
};

// Every byte of the documents as read field by field against the format's
// layout and by the readers below: header (16-bit documents declare their
// fourth merged plane, so readers take it as alpha), resources (the profile unpadded,
// the layer count in 1024 and 1026, the IPTC keywords, the 32-bit HDR
// resources), layer records and channels, the 16- and 32-bit tagged blocks,
// and the merged image over the checkerboard.
TEST_P(PsdDepth, DocumentBytesArePinned) {
    const std::vector<uint8_t> file = write(true);
    const uint64_t pinned[] = {0, 0x8ca80f4c40d85e2bu, 0x441b0b85e84cb756u, 0, 0x4d0ec3f152a94924u};
    EXPECT_EQ(hashOf(file), pinned[bytes]) << std::hex << hashOf(file);
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
    (void)write(false);
    const std::string file = "'" + scratch.path("doc.psd") + "'";
    const char* depth = bytes == 1 ? "uint8" : (bytes == 2 ? "uint16" : "float");
    const std::string info = toolOutput("oiiotool --info -v " + file);
    EXPECT_NE(info.find("37 x   23, 3 channel, " + std::string(depth) + " psd"), std::string::npos);
    // The merged image: colour over the checkerboard; integers truncate under
    // partial alpha, up to 1 (16 bits: 2) below the composite; floats as they are.
    const double light = bytes == 1 ? 255 : 65280;
    const double dark = bytes == 1 ? 204 : 52224;
    const double partial = bytes == 1 ? 0.5 : 1.5;
    expectListed(toolOutput("oiiotool --dumpdata " + file), "    Pixel (", 3,
                 [&](double listed, size_t x, size_t y, const float* pixel, size_t c) {
                     const double background = lightSquare(x, y) ? light : dark;
                     const double want =
                         bytes == 4
                             ? pixel[c]
                             : background + (fileUnits(pixel[c], bytes) - background) * pixel[3];
                     const bool exact = bytes == 4 || pixel[3] == 0 || pixel[3] == 1;
                     ASSERT_NEAR(listed, exact ? want : want - 0.5, exact ? 1e-6 : partial + 1e-3)
                         << x << "," << y << " merged channel " << c;
                 });
    const std::string list = toolOutput("identify " + file);
    EXPECT_NE(list.find("[1] PSD 37x23 37x23+0+0 " + std::to_string(8 * bytes) + "-bit"),
              std::string::npos);
    EXPECT_NE(toolOutput("identify -verbose " + file).find("label: layer 1"), std::string::npos);
    // The layer as unassociated RGBA; 16- and 32-bit documents read at 65535.
    expectListed(toolOutput("convert " + file + "'[1]' txt:-"), "", 4,
                 [&](double listed, size_t x, size_t y, const float* pixel, size_t c) {
                     ASSERT_NEAR(listed, (bytes == 4 ? 65535 : 1) * fileUnits(pixel[c], bytes),
                                 bytes == 4 ? 1 : 0)
                         << x << "," << y << " layer channel " << c;
                 });
}

INSTANTIATE_TEST_SUITE_P(Depths, PsdDepth, ::testing::Values(1u, 2u, 4u),
                         [](const ::testing::TestParamInfo<uint32_t>& param) {
                             return std::to_string(8 * param.param) + "bit";
                         });

// A water job in place of the shading that ends the way a cancelled render ends.
constexpr JobOps kCancelling{nullptr, nullptr, [](Job*) -> Result { return userCanceledErr; }};

class PsdExportJob : public ::testing::TestWithParam<int32_t> {};

// A failed export (too large: refused before the render is set up, 8 bits one
// pixel past the side limit; cancelled; no folder) leaves an existing file and
// the view alone; then the export writes the offline render.
TEST_P(PsdExportJob, WritesTheOfflineRenderOrLeavesTheFileAndTheViewAlone) {
    ScratchFolder scratch;
    const int32_t depth = GetParam();
    const PyramidPtr source = makeImage(40, 30, psdBytesPerSample(depth));
    ASSERT_EQ(buildLevels(source.get(), 1), noErr);
    ImagePyramid previewImage{}; // the view's image: only its address matters
    Settings settings{};
    settingsFresh(&settings);
    settings.exportKind = kExportPsd;
    settings.glue = glueNumber(GlueMode::Screen); // named in the file's keywords
    std::tie(settings.renderTarget, settings.previewScale, settings.panX, settings.panY) =
        std::make_tuple(RenderTarget::Preview, 3, 7, 5);
    RenderState state{};
    state.filterWidth = 40;
    state.filterHeight = 30;
    state.source = source.get();
    state.offlineImage = &previewImage;
    state.hostFormat = HostImageFormat{depth, 4, true};
    state.processors = 1;
    state.waterJob = &kCancelling;
    state.layersToRender = -1;
    UtcDate date{2024, 5, 6};
    PsdExportOptions options;
    options.date = &date;
    const auto exportTo = [&](const std::string& name) {
        FileSpec named;
        fileSpecFromPath(&named, scratch.path(name).c_str());
        const Result result = psdExport(named, &settings, &state, options);
        EXPECT_EQ(std::tie(settings.renderTarget, settings.previewScale, settings.panX,
                           settings.panY, state.offlineImage),
                  std::make_tuple(RenderTarget::Preview, 3, 7, 5, &previewImage));
        return result;
    };
    const std::vector<uint8_t> old{'o', 'l', 'd'};
    scratch.write("out.psd", old);
    settings.psdWidth = depth == 8 ? 30001 : 30000;
    settings.psdHeight = 30000;
    EXPECT_EQ(exportTo("out.psd"), kPsdTooLarge);
    EXPECT_EQ(state.layersToRender, -1);
    settings.psdWidth = 24;
    settings.psdHeight = 18;
    EXPECT_EQ(exportTo("out.psd"), userCanceledErr);
    EXPECT_EQ(state.layersDone, 0);
    EXPECT_EQ(scratch.read("out.psd"), old);
    state.waterJob = nullptr;
    EXPECT_EQ(exportTo("missing/out.psd"), kFileNotOpened);
    EXPECT_FALSE(scratch.exists("missing"));

    ASSERT_EQ(exportTo("out.psd"), noErr);
    EXPECT_EQ(state.layersToRender, 1);
    EXPECT_EQ(state.layersDone, 1);
    const std::vector<uint8_t> written = scratch.read("out.psd");
    ASSERT_GT(written.size(), 26u);
    EXPECT_EQ(std::vector<uint8_t>(written.begin() + 14, written.begin() + 24),
              (std::vector<uint8_t>{0, 0, 0, 18, 0, 0, 0, 24, 0, static_cast<uint8_t>(depth)}))
        << "height, width and depth in the header";
    // The same look rendered here, written by the document writer.
    const PsdExportDesc desc = psdExportDesc(settings, state);
    const PyramidPtr own(pyramidCreate(24, 18, psdWorkingFormat(desc.bytesPerSample)));
    state.offlineImage = own.get();
    ASSERT_EQ(renderInto(RenderTarget::Offline, &settings, &state, nullptr, nullptr), noErr);
    PsdDocumentParts parts;
    parts.glue = settings.glue;
    parts.date = &date;
    EXPECT_TRUE(written == writeDocument(scratch, desc, own.get(), parts))
        << "the file holds the offline render";

    settings.exportKind = kExportGalleryImage; // the size of the filter rectangle
    EXPECT_EQ(psdExportDesc(settings, state).width, 40u);
    EXPECT_EQ(psdExportDesc(settings, state).height, 30u);
}

INSTANTIATE_TEST_SUITE_P(Depths, PsdExportJob, ::testing::Values(8, 16, 32),
                         [](const ::testing::TestParamInfo<int32_t>& param) {
                             return std::to_string(param.param) + "bit";
                         });

} // namespace
} // namespace lakra
