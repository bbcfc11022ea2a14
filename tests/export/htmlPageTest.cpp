#include "export/htmlPage.h"

#include "support/fileChecks.h"
#include "support/scratchFolder.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace lakra {
namespace {

using testing::ScratchFolder;

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
    if (!testing::haveTool("convert")) {
        GTEST_SKIP() << "no ImageMagick";
    }
    open(PageType::Presets, 5);
    (void)close();
    const int32_t sizes[kFrameImageCount][2] = {{94, 2}, {3, 88}, {3, 88}, {94, 5}};
    std::string greys[kFrameImageCount];
    for (int32_t i = 0; i < kFrameImageCount; ++i) {
        const std::string file = scratch.path(std::string(kPageImagesFolder) +
                                              platformPathSeparator() + kFrameImages[i].name);
        EXPECT_EQ(testing::toolOutput("identify -format '%m %w %h' '" + file + "'"),
                  "GIF " + std::to_string(sizes[i][0]) + " " + std::to_string(sizes[i][1]));
        const std::string rgb = testing::toolOutput("convert '" + file + "' -depth 8 rgb:-");
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
