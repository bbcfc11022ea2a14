#include "blend/glueModes.h"
#include "export/htmlPage.h"
#include "export/jpegReader.h"
#include "export/jpegWriter.h"
#include "export/metadata.h"
#include "export/psdDocument.h"
#include "export/psdExport.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "render/renderInto.h"
#include "render/settings.h"
#include "support/fileChecks.h"
#include "support/scratchFolder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <jpeglib.h>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

// What the filter exports: layered documents, and the gallery's JPEG pictures
// with their metadata and its pages.

namespace lakra {
namespace {

using testing::channel8;
using testing::haveTool;
using testing::ScratchFolder;
using testing::toolOutput;

PyramidPtr makeImage(int32_t width, int32_t height, PixelFormat format) {
    PyramidPtr image(pyramidCreate(width, height, format));
    for (int32_t i = 0; i < width * height; ++i) {
        const auto w = static_cast<float>(width);
        const float pixel[4] = {static_cast<float>(i % width) / w,
                                std::floor(static_cast<float>(i) / w) / static_cast<float>(height),
                                0.5f, 1.0f};
        setPixel4f(i % width, i / width, image.get(), 0, pixel);
    }
    return image;
}

TEST(JpegEncoding, QualityLevelsClampAndMissingPixelsAreReported) {
    EXPECT_EQ(std::make_tuple(jpegQualityLevel(-5), jpegQualityLevel(80), jpegQualityLevel(89),
                              jpegQualityLevel(100)),
              std::make_tuple(0, 8, 8, 9));
    JpegData jpeg;
    EXPECT_EQ(jpegEncode(nullptr, 80, nullptr, nullptr, &jpeg), kJpegNoImage);
    ImagePyramid empty;
    pyramidConstruct(&empty);
    EXPECT_EQ(jpegEncode(&empty, 80, nullptr, nullptr, &jpeg), kJpegNoPixels);
    FileWriter sizing = fileSizingWriter();
    EXPECT_EQ(jpegWrite(&empty, &sizing, true, 80, nullptr, nullptr), kJpegNoPixels);
    EXPECT_EQ(sizing.bytes, 4) << "a framed failure leaves a lone present = 0";
}

// Every working format decodes within JPEG's tolerance of the source; a
// narrow image is widened to 16, repeating its last column.
TEST(JpegEncoding, DecodesNearTheSourceAndWidensNarrowImages) {
    for (const PixelFormat format :
         {PixelFormat::Rgba8, PixelFormat::Rgba16, PixelFormat::RgbaFloat}) {
        const PyramidPtr image = makeImage(10, 40, format);
        JpegData jpeg;
        ASSERT_EQ(jpegEncode(image.get(), 80, nullptr, nullptr, &jpeg), noErr);
        EXPECT_TRUE(jpeg.width == 16 && jpeg.height == 40);
        const PyramidPtr decoded(pyramidCreate(16, 40, PixelFormat::Rgba8));
        ASSERT_TRUE(jpegDecode(jpeg.bytes, jpeg.length, decoded.get()));
        // Noise or more than a reader takes: abandoned. (Corrupt and cut-short
        // data are refused where preset thumbnails are read.)
        const PyramidPtr target(pyramidCreate(16, 40, PixelFormat::Rgba8));
        EXPECT_FALSE(jpegDecode(std::vector<uint8_t>(3000, 0xFF).data(), 3000, target.get()));
        EXPECT_FALSE(jpegDecode(jpeg.bytes, kJpegDecodeBytes + 1, target.get()));
        jpegDataFree(&jpeg);
        for (int32_t y = 0; y < 40; y += 3) {
            for (int32_t x = 0; x < 16; ++x) {
                float source[4];
                getPixel4f(std::min(x, 9), y, image.get(), 0, source);
                for (int c = 0; c < 3; ++c) {
                    EXPECT_NEAR(static_cast<float>(channel8(decoded.get(), x, y, c)),
                                source[c] * 255.0f, 6.0f)
                        << x << "," << y;
                }
                EXPECT_EQ(channel8(decoded.get(), x, y, 3), 255u);
            }
        }
    }
}

using namespace std::string_literals; // "..."s keeps a literal's zero bytes

TEST(JpegMarkers, FollowTheirOrderAndCarryOurTables) {
    const PyramidPtr image = makeImage(32, 32, PixelFormat::Rgba8);
    IptcBlock iptc;
    ExifBlock exif;
    (void)iptcBuild(&iptc, true, UtcDate{2027, 3, 3});
    (void)exifBuild(&exif, true);
    JpegData jpeg;
    ASSERT_EQ(jpegEncode(image.get(), 80, &iptc, &exif, &jpeg), noErr);
    // libjpeg reads back the markers in order, our two tables (in natural
    // order) and 1 x 1 sampling.
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.bytes, static_cast<unsigned long>(jpeg.length));
    jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
    for (int app = 0; app < 16; ++app) {
        jpeg_save_markers(&info, JPEG_APP0 + app, 0xFFFF);
    }
    ASSERT_EQ(jpeg_read_header(&info, TRUE), JPEG_HEADER_OK);
    std::vector<std::pair<int, std::string>> found;
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
        found.emplace_back(m->marker, std::string(reinterpret_cast<const char*>(m->data),
                                                  static_cast<size_t>(m->data_length)));
    }
    ASSERT_GE(found.size(), 4u);
    EXPECT_EQ(found[0].first, JPEG_APP0);
    EXPECT_EQ(found[1], std::make_pair(int{JPEG_COM}, std::string(kMakerUrl, sizeof kMakerUrl)));
    EXPECT_EQ(found[2],
              std::make_pair(JPEG_APP0 + 1, "Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x31\0\x02\0\0"
                                            "\0\x06\0\0\0\x1a\0\0\0\0Lakra\0"s));
    EXPECT_TRUE(found[3].first == JPEG_APP0 + 13 && std::ssize(found[3].second) == iptc.length);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(info.quant_tbl_ptrs[0]->quantval[i], kLevel8Luminance[i]) << i;
        EXPECT_EQ(info.quant_tbl_ptrs[1]->quantval[i], kLevel8Chrominance[i]) << i;
    }
    EXPECT_EQ(info.quant_tbl_ptrs[2], nullptr);
    EXPECT_TRUE(info.num_components == 3 && info.comp_info[0].h_samp_factor == 1 &&
                info.comp_info[0].v_samp_factor == 1);
    jpeg_destroy_decompress(&info);
    jpegDataFree(&jpeg);
}

// Independent readers of a written gallery picture, where installed.
TEST(GalleryPictures, AreReadByIndependentTools) {
    if (!haveTool("exiftool") && !haveTool("oiiotool")) {
        GTEST_SKIP() << "no exiftool or oiiotool";
    }
    ScratchFolder scratch;
    const PyramidPtr image = makeImage(40, 30, PixelFormat::Rgba8);
    FileSpec fileSpec;
    fileSpecFromPath(&fileSpec, scratch.path("picture.jpg").c_str());
    FileWriter writer;
    ASSERT_EQ(fileWriterOpen(fileSpec, &writer), noErr);
    ASSERT_EQ(jpegWriteGalleryPicture(image.get(), &writer, true), noErr);
    const std::string picture = "'" + scratch.path("picture.jpg") + "'";
    if (haveTool("exiftool")) {
        const std::string tags = toolOutput(
            "exiftool -s -Comment -Software -Caption-Abstract -Keywords -DateCreated " + picture);
        const std::string year = std::to_string(utcToday().year);
        for (const std::string& expected :
             {std::string(kMakerUrl), std::string(": Lakra"), std::string("Made with Lakra"),
              std::string("Keywords"), year}) {
            EXPECT_NE(tags.find(expected), std::string::npos) << expected << " in " << tags;
        }
    }
    if (haveTool("oiiotool")) {
        (void)toolOutput("oiiotool " + picture + " -o '" + scratch.path("picture.ppm") + "'");
        const std::vector<uint8_t> ppm = scratch.read("picture.ppm");
        const std::string header = "P6\n40 30\n255\n";
        ASSERT_TRUE(ppm.size() == header.size() + 40u * 30u * 3u &&
                    std::equal(header.begin(), header.end(), ppm.begin()));
        for (int32_t y = 0; y < 30; y += 4) {
            for (int32_t x = 0; x < 40; x += 3) {
                const uint8_t* pixel =
                    ppm.data() + header.size() + 3 * static_cast<size_t>(y * 40 + x);
                for (int c = 0; c < 3; ++c) {
                    EXPECT_NEAR(pixel[c], channel8(image.get(), x, y, c), 6) << x << "," << y;
                }
            }
        }
    }
}

// The records in order with the injected universal date, built once. The
// length field and pad of an odd and an even total are pinned in the documents'
// bytes (8 and 16 bits odd, 32 bits even).
TEST(MetadataBlocks, RecordsLengthAndOneBuild) {
    IptcBlock block;
    const UtcDate date{2027, 3, 3};
    const int32_t sized = iptcBuild(&block, true, date, true);
    ASSERT_EQ(iptcBuild(&block, true, date), sized);
    EXPECT_TRUE(iptcAddKeyword(&block, "later"));
    EXPECT_EQ(iptcBuild(&block, true, UtcDate{2030, 1, 1}), sized);
    // The Photoshop resource, then the records: version, source, date,
    // caption, keyword; 88 bytes, an even total.
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(block.data), static_cast<size_t>(block.length)),
        "Photoshop 3.0\0"
        "8BIM\x04\x04\0\0\0\0\0\x58\x1c\x02\0\0\x02\0\x02\x1c\x02\x73\0\x21"s +
            kMakerUrl +
            "\x1c\x02\x37\0\x08"
            "20270303\x1c\x02\x78\0\x0f"
            "Made with Lakra\x1c\x02\x19\0\x05"
            "Lakra"s);
    // The EXIF block without its prefix (the JPEG markers pin it with one) is 32
    // bytes; sizing stores nothing.
    ExifBlock plain;
    EXPECT_TRUE(exifBuild(&plain, false, true) == 32 && !plain.built &&
                exifBuild(&plain, false) == 32);
}

TEST(IptcKeywords, RefusesRepeatsEmptyOrLongWordsAndStopsAtNineteen) {
    IptcBlock block;
    EXPECT_TRUE(iptcAddKeyword(&block, "high dynamic range"));
    EXPECT_FALSE(iptcAddKeyword(&block, "high")) << "an entry already begins with it";
    EXPECT_FALSE(iptcAddKeyword(&block, "HIGH dyn"));
    EXPECT_TRUE(iptcAddKeyword(&block, "dynamic"));
    EXPECT_FALSE(iptcAddKeyword(&block, ""));
    EXPECT_FALSE(iptcAddKeyword(&block, std::string(50, 'k').c_str()));
    EXPECT_TRUE(iptcAddKeyword(&block, std::string(49, 'k').c_str()));
    EXPECT_EQ(block.keywordCount, 3);
    IptcBlock shortWords;
    IptcBlock longWords; // never overflows the block
    for (char c = 'a'; c < 'a' + 19; ++c) {
        EXPECT_TRUE(iptcAddKeyword(&shortWords, std::string(1, c).c_str()));
        (void)iptcAddKeyword(&longWords, (std::string(1, c) + std::string(48, 'x')).c_str());
    }
    EXPECT_FALSE(iptcAddKeyword(&shortWords, "z"));
    EXPECT_LT(longWords.keywordCount, 19);
    EXPECT_LE(iptcBuild(&longWords, true, UtcDate{2027, 3, 3}), 1000);
}

struct Page : ::testing::Test {
    ScratchFolder scratch;
    PageWriter writer{};

    void open(PageType type, int32_t columns, const char* source = nullptr) {
        FileSpec page;
        fileSpecFromPath(&page, scratch.path("page.html").c_str());
        FileSpec sourceFile;
        fileSpecFromPath(&sourceFile, source);
        ASSERT_EQ(pageOpen(&writer, page, type, columns, source != nullptr ? &sourceFile : nullptr),
                  noErr);
    }

    std::string close() {
        EXPECT_EQ(pageClose(&writer), noErr);
        const std::vector<uint8_t> bytes = scratch.read("page.html");
        return {bytes.begin(), bytes.end()};
    }
};

TEST_F(Page, OpeningWritesTheHeadAndReplacesTheFrameImages) {
    const std::string images = std::string(kPageImagesFolder) + platformPathSeparator();
    std::filesystem::create_directory(scratch.path(kPageImagesFolder));
    scratch.write(images + "top.gif", std::vector<uint8_t>(1000, 0x55)); // cut at its end
    open(PageType::MemoryDots, 4);
    EXPECT_EQ(close(),
              "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n\r\n"
              "<html>\r\n<head>\r\n"
              "<meta http-equiv=\"content-type\" content=\"text/html;charset=ISO-8859-1\">\r\n"
              "<meta name=\"generator\" content=\"Kestrovane Lakra\"><title>Lakra memory "
              "dots</title>\r\n</head>\r\n\r\n<body bgcolor=\"#ffffff\">\r\n<p><br>\r\n\r\n"
              "<font size=\"4\" face=\"Gill Sans,Verdana,Helvetica,Arial,Geneva\"><b>"
              "Lakra memory dots <br>\r\n</b></font></p>"
              "<table width=\"100%\" border=\"0\" cellspacing=\"12\" cellpadding=\"0\" "
              "align=\"center\"></table><br>\r\n</body></html>");
    for (const FrameImage& frame : kFrameImages) {
        EXPECT_EQ(scratch.read(images + frame.name),
                  std::vector<uint8_t>(frame.bytes, frame.bytes + frame.length))
            << frame.name;
    }
    // As ImageMagick reads them: grey GIFs of their sizes whose right side
    // mirrors the left, lighter outside, and whose bottom shadow lightens downwards.
    if (!haveTool("convert")) {
        GTEST_SKIP() << "no ImageMagick";
    }
    const int32_t sizes[kFrameImageCount][2] = {{94, 2}, {3, 88}, {3, 88}, {94, 5}};
    std::string greys[kFrameImageCount];
    for (int32_t i = 0; i < kFrameImageCount; ++i) {
        const std::string file = scratch.path(images + kFrameImages[i].name);
        EXPECT_EQ(toolOutput("identify -format '%m %w %h' '" + file + "'"),
                  "GIF " + std::to_string(sizes[i][0]) + " " + std::to_string(sizes[i][1]));
        const std::string rgb = toolOutput("convert '" + file + "' -depth 8 rgb:-");
        ASSERT_EQ(rgb.size(), static_cast<size_t>(3 * sizes[i][0] * sizes[i][1]));
        for (size_t at = 0; at < rgb.size(); at += 3) {
            ASSERT_TRUE(rgb[at] == rgb[at + 1] && rgb[at] == rgb[at + 2]) << "grey " << at / 3;
            greys[i] += rgb[at];
        }
    }
    const auto grey = [&greys, &sizes](int image, int32_t x, int32_t y) {
        return static_cast<uint8_t>(greys[image].at(static_cast<size_t>(y * sizes[image][0] + x)));
    };
    for (int32_t y = 0; y < 88; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(grey(1, x, y), grey(2, 2 - x, y)) << "right mirrors left " << x << "," << y;
        }
        EXPECT_GT(grey(1, 0, y), grey(1, 2, y)) << "lighter outside, row " << y;
    }
    for (int32_t x = 0; x < 94; ++x) {
        for (int32_t y = 0; y < 4; ++y) {
            EXPECT_LT(grey(3, x, y), grey(3, x, y + 1)) << "bottom lighter downwards " << x;
        }
    }
}

TEST_F(Page, PresetsPageNamesItsFolderAndFramesEveryPictureAndAMissingFolderGetsNone) {
    open(PageType::Presets, 5, "/looks/sun & rain/any.q8r");
    pagePictureCell(&writer, "rain & sun.q8r", 88, 88, "rain & sun");
    pageAdvanceColumn(&writer);
    pagePictureCell(&writer, "/x/caf\xe9{1}_a.b.q8r", 88, 88,
                    "\"<a&b>z{\x9f\xa0\xd7\xde\xe9\xf7\xff");
    const std::string page = close();
    EXPECT_NE(page.find("<title>Lakra presets</title>\r\n"), std::string::npos);
    EXPECT_NE(page.find("<b>Lakra presets from /looks/sun &amp; rain/<br>\r\n</b>"),
              std::string::npos);
    const std::string cell =
        "<tr><td align=\"center\" valign=\"top\" width=\"20%\">"
        "\r\n<table id=\"Table_01\" width=\"94\" border=\"0\" cellspacing=\"0\" "
        "cellpadding=\"0\" height=\"95\">\r\n<tr>\r\n<td colspan=\"3\"><img "
        "src=\"web_images/top.gif\" width=\"94\" height=\"2\" border=\"0\"></td>\r\n</tr>\r\n"
        "<tr>\r\n<td><img src=\"web_images/left.gif\" width=\"3\" height=\"88\" "
        "border=\"0\"></td>\r\n<td><img src=\"web_images/rain%20%26%20sun.jpg\" alt=\"rain "
        "&amp; sun.jpg\" width=\"88\" height=\"88\" border=\"0\"></td>\r\n<td><img "
        "src=\"web_images/right.gif\" width=\"3\" height=\"88\" border=\"0\"></td>\r\n</tr>\r\n"
        "<tr>\r\n<td colspan=\"3\"><img src=\"web_images/bottom.gif\" width=\"94\" "
        "height=\"5\" border=\"0\"></td>\r\n</tr>\r\n</table>\r\n<div align=\"center\">\r\n"
        "<br><font  size=\"3\" face=\"Gill Sans,Verdana,Helvetica,Arial\">rain &amp; "
        "sun</font></div></td>\r\n\r\n";
    EXPECT_NE(page.find(cell), std::string::npos) << page;
    // Names are cleaned (233 becomes 137), then URL-encoded in src and
    // escaped in alt; captions keep 233 and escape it by name.
    EXPECT_NE(page.find("src=\"web_images/caf%89%7b1%7d%5fa%2eb.jpg\" "
                        "alt=\"caf&#137;&#123;1&#125;_a.b.jpg\""),
              std::string::npos);
    EXPECT_NE(page.find("\">&quot;&lt;a&amp;b&gt;z&#123;&#159;&nbsp;&times;&THORN;&eacute;"
                        "&divide;&yuml;</font>"),
              std::string::npos);
    // A page that cannot be created is not written.
    FileSpec missing;
    fileSpecFromPath(&missing, scratch.path("missing/deeper/page.html").c_str());
    EXPECT_EQ(pageOpen(&writer, missing, PageType::Presets, 5, nullptr), kFileNotOpened);
    pagePictureCell(&writer, "a.q8r", 88, 88, "a");
    pageAdvanceColumn(&writer);
    EXPECT_EQ(pageClose(&writer), kFileNotOpened);
    EXPECT_FALSE(scratch.exists("missing"));
}

// The frame images as ImageMagick reads them: grey GIFs of their sizes whose
// right side mirrors the left, lighter outside, and whose bottom shadow
// lightens downwards.

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
PyramidPtr rampImage(int32_t width, int32_t height, uint32_t bytesPerSample) {
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
    std::vector<uint8_t> bytes = scratch.read("doc.psd");
    EXPECT_EQ(sizing.bytes, static_cast<int64_t>(bytes.size())) << "the sizing pass agrees";
    return bytes;
}

// A 0..1 sample (float: as it is) in the units of the file: 255, or 65536
// capped at 65535 (twice the 16-bit sample, full scale at 65535).
double fileUnits(float fraction, uint32_t bytes) {
    return bytes == 1 ? std::round(fraction * 255.0)
                      : (bytes == 2 ? std::min(65535.0, fraction * 65536.0) : fraction);
}

// ---- Independent readers ----

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
    PyramidPtr image = rampImage(37, 23, GetParam());
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
    const PyramidPtr image = rampImage(4, 4, 1);
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
                     const double background =
                         (x / 8 + y / 8) % 2 == 0 ? light : dark; // 8 x 8 squares
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
    const PyramidPtr source = rampImage(40, 30, psdBytesPerSample(depth));
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
    EXPECT_TRUE(state.layersToRender == 1 && state.layersDone == 1);
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
    const PsdExportDesc gallery = psdExportDesc(settings, state);
    EXPECT_TRUE(gallery.width == 40 && gallery.height == 30);
}

INSTANTIATE_TEST_SUITE_P(Depths, PsdExportJob, ::testing::Values(8, 16, 32),
                         [](const ::testing::TestParamInfo<int32_t>& param) {
                             return std::to_string(param.param) + "bit";
                         });

} // namespace
} // namespace lakra
