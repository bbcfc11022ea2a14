#include "export/htmlPage.h"
#include "export/jpegReader.h"
#include "export/jpegWriter.h"
#include "export/metadata.h"
#include "pyramid/pyramid.h"
#include "support/fileChecks.h"
#include "support/scratchFolder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <jpeglib.h>
#include <string>
#include <utility>
#include <vector>

// The gallery's files: its JPEG pictures with their metadata, and its pages.

namespace lakra {
namespace {

using testing::channel8;
using testing::haveTool;
using testing::ScratchFolder;
using testing::toolOutput;

PyramidPtr makeImage(int32_t width, int32_t height, PixelFormat format) {
    PyramidPtr image(pyramidCreate(width, height, format));
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const float pixel[4] = {static_cast<float>(x) / static_cast<float>(width),
                                    static_cast<float>(y) / static_cast<float>(height), 0.5f, 1.0f};
            setPixel4f(x, y, image.get(), 0, pixel);
        }
    }
    return image;
}

TEST(JpegEncoding, QualityLevelsClampAndMissingPixelsAreReported) {
    EXPECT_EQ(jpegQualityLevel(-5), 0);
    EXPECT_EQ(jpegQualityLevel(80), 8);
    EXPECT_EQ(jpegQualityLevel(89), 8);
    EXPECT_EQ(jpegQualityLevel(100), 9);
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
        EXPECT_EQ(jpeg.width, 16);
        EXPECT_EQ(jpeg.height, 40);
        const PyramidPtr decoded(pyramidCreate(16, 40, PixelFormat::Rgba8));
        ASSERT_TRUE(jpegDecode(jpeg.bytes, jpeg.length, decoded.get()));
        // Corrupt, cut short, noise or more than a reader takes: abandoned.
        std::vector<uint8_t> corrupt(jpeg.bytes, jpeg.bytes + jpeg.length);
        for (size_t i = 0; i < corrupt.size(); i += 7) {
            corrupt[i] = static_cast<uint8_t>(corrupt[i] ^ 0x5A);
        }
        const std::vector<uint8_t> noise(3000, 0xFF);
        const PyramidPtr target(pyramidCreate(16, 40, PixelFormat::Rgba8));
        EXPECT_FALSE(jpegDecode(jpeg.bytes, jpeg.length / 2, target.get()));
        EXPECT_FALSE(jpegDecode(jpeg.bytes, 20, target.get()));
        EXPECT_FALSE(jpegDecode(corrupt.data(), corrupt.size(), target.get()));
        EXPECT_FALSE(jpegDecode(noise.data(), noise.size(), target.get()));
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

// The literal's bytes, zero bytes included.
template <size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

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
    EXPECT_EQ(found[2], std::make_pair(JPEG_APP0 + 1,
                                       bytes("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x31\0\x02\0\0"
                                             "\0\x06\0\0\0\x1a\0\0\0\0Lakra\0")));
    EXPECT_EQ(found[3].first, JPEG_APP0 + 13);
    EXPECT_EQ(found[3].second.size(), static_cast<size_t>(iptc.length));
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(info.quant_tbl_ptrs[0]->quantval[i], kLevel8Luminance[i]) << i;
        EXPECT_EQ(info.quant_tbl_ptrs[1]->quantval[i], kLevel8Chrominance[i]) << i;
    }
    EXPECT_EQ(info.quant_tbl_ptrs[2], nullptr);
    EXPECT_EQ(info.num_components, 3);
    EXPECT_EQ(info.comp_info[0].h_samp_factor * info.comp_info[0].v_samp_factor, 1);
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
        ASSERT_GE(ppm.size(), header.size() + 40u * 30u * 3u);
        ASSERT_EQ(std::string(ppm.begin(), ppm.begin() + static_cast<long>(header.size())), header);
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

std::string blockText(const IptcBlock& block) {
    return std::string(reinterpret_cast<const char*>(block.data),
                       static_cast<size_t>(block.length));
}

TEST(ExifBlock, IsThirtyTwoBytesAndThirtyEightWithItsPrefix) {
    ExifBlock plain;
    ExifBlock prefixed;
    EXPECT_EQ(exifBuild(&plain, false, true), 32);
    EXPECT_FALSE(plain.built) << "sizing stores nothing";
    EXPECT_EQ(exifBuild(&plain, false), 32);
    EXPECT_EQ(exifBuild(&prefixed, true), 38);
    EXPECT_EQ(std::memcmp(prefixed.data + 6, plain.data, 32), 0);
}

// The records in order with the injected universal date; the length field
// counts the records and their pad for an odd and an even total; built once.
TEST(IptcBlock, RecordsLengthAndOneBuild) {
    IptcBlock block;
    const UtcDate date{2027, 3, 3};
    const int32_t sized = iptcBuild(&block, true, date, true);
    ASSERT_EQ(iptcBuild(&block, true, date), sized);
    EXPECT_TRUE(iptcAddKeyword(&block, "later"));
    EXPECT_EQ(iptcBuild(&block, true, UtcDate{2030, 1, 1}), sized);
    const std::string text = blockText(block);
    EXPECT_EQ(text.find("2030"), std::string::npos);
    EXPECT_EQ(text.compare(0, 14, bytes("Photoshop 3.0\0")), 0);
    EXPECT_EQ(text.compare(14, 8, bytes("8BIM\x04\x04\0\0")), 0);
    const size_t found[] = {
        text.find(bytes("\x1c\x02\x00\x00\x02\x00\x02")),
        text.find(bytes("\x1c\x02\x73\x00") + static_cast<char>(sizeof kMakerUrl - 1) + kMakerUrl),
        text.find(bytes("\x1c\x02\x37\x00\x08") + "20270303"),
        text.find(bytes("\x1c\x02\x78\x00\x0fMade with Lakra")),
        text.find(bytes("\x1c\x02\x19\x00\x05Lakra")),
    }; // version, source, date, caption, keyword
    EXPECT_EQ(found[0], 26u);
    for (size_t i = 1; i < std::size(found); ++i) {
        EXPECT_TRUE(found[i - 1] < found[i] && found[i] != std::string::npos) << i;
    }
    for (const char* extra : {"HDR", "HDRs"}) { // an odd and an even total
        IptcBlock one;
        ASSERT_TRUE(iptcAddKeyword(&one, extra));
        const int32_t length = iptcBuild(&one, false, date);
        EXPECT_EQ(length % 2, 0) << extra;
        const uint32_t recordBytes = (uint32_t{one.data[8]} << 24) | (uint32_t{one.data[9]} << 16) |
                                     (uint32_t{one.data[10]} << 8) | one.data[11];
        EXPECT_EQ(recordBytes + 12, static_cast<uint32_t>(length)) << extra;
    }
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
    for (int i = 0; i < 19; ++i) {
        EXPECT_TRUE(
            iptcAddKeyword(&shortWords, std::string(1, static_cast<char>('a' + i)).c_str()));
    }
    EXPECT_FALSE(iptcAddKeyword(&shortWords, "z"));
    IptcBlock longWords; // never overflows the block
    for (int i = 0; i < 19; ++i) {
        (void)iptcAddKeyword(
            &longWords,
            (std::string(1, static_cast<char>('a' + i)) + std::string(48, 'x')).c_str());
    }
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
}

TEST_F(Page, PresetsPageNamesItsFolderAndFramesEveryPicture) {
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
}

TEST_F(Page, ThatCannotBeCreatedIsNotWritten) {
    FileSpec page;
    fileSpecFromPath(&page, scratch.path("missing/deeper/page.html").c_str());
    EXPECT_EQ(pageOpen(&writer, page, PageType::Presets, 5, nullptr), kFileNotOpened);
    pagePictureCell(&writer, "a.q8r", 88, 88, "a");
    pageAdvanceColumn(&writer);
    EXPECT_EQ(pageClose(&writer), kFileNotOpened);
    EXPECT_FALSE(scratch.exists("missing"));
}

// The frame images as ImageMagick reads them: grey GIFs of their sizes whose
// right side mirrors the left, lighter outside, and whose bottom shadow
// lightens downwards.
TEST_F(Page, FrameImagesAreGreyGifsWithMatchingSidesAndShadow) {
    if (!haveTool("convert")) {
        GTEST_SKIP() << "no ImageMagick";
    }
    open(PageType::Presets, 5);
    (void)close();
    const int32_t sizes[kFrameImageCount][2] = {{94, 2}, {3, 88}, {3, 88}, {94, 5}};
    std::string greys[kFrameImageCount];
    for (int32_t i = 0; i < kFrameImageCount; ++i) {
        const std::string file = scratch.path(std::string(kPageImagesFolder) +
                                              platformPathSeparator() + kFrameImages[i].name);
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

} // namespace
} // namespace lakra
