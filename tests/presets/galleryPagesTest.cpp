#include "presets/galleryPages.h"

#include "export/jpegReader.h"
#include "presets/memoryDots.h"
#include "presets/presetFile.h"
#include "presets/thumbnail.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "render/renderInto.h"
#include "support/fileChecks.h"
#include "support/scratchFolder.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace lakra {
namespace {

using testing::ScratchFolder;

const std::string kSeparator(1, platformPathSeparator());
const std::string kCell = "<td align=\"center\" valign=\"top\" width=\"20%\">";
const std::string kClosing = "</table><br>\r\n</body></html>";

std::string readText(const ScratchFolder& scratch, const std::string& name) {
    const std::vector<uint8_t> bytes = scratch.read(name);
    return {bytes.begin(), bytes.end()};
}

size_t count(const std::string& haystack, const std::string& needle) {
    size_t found = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1)) {
        ++found;
    }
    return found;
}

// tidy's exit code: 0 clean, 1 warnings, 2 errors; 0 where tidy is absent or on Windows.
int tidyStatus(const std::string& path) {
    const std::string status = testing::toolOutput("command -v tidy >/dev/null && { tidy -q -e '" +
                                                   path + "' >/dev/null 2>&1; echo $?; }");
    return status.empty() ? 0 : std::stoi(status);
}

// A picture the page wrote, decoded at the given size.
PyramidPtr picture(const ScratchFolder& scratch, const std::string& name, int32_t width,
                   int32_t height) {
    const std::vector<uint8_t> jpeg = scratch.read("web_images" + kSeparator + name);
    PyramidPtr image(pyramidCreate(width, height, PixelFormat::Rgba8));
    EXPECT_TRUE(jpegDecode(jpeg.data(), jpeg.size(), image.get())) << name;
    return image;
}

using testing::channel8;

TEST(PresetsPage, SixPresetsGiveTwoRowsOfThumbnailsWithTheirOwnPictures) {
    ScratchFolder scratch;
    const std::string looks = scratch.path("looks") + kSeparator;
    std::filesystem::create_directories(looks + "old.q8r");
    scratch.write("looks" + kSeparator + "notes.txt", {'n'});
    scratch.write("looks" + kSeparator + "broken.q8r", {0, 0});
    // clang-format off
    const std::vector<std::pair<std::string, uint32_t>> presets = {{"rain & sun.q8r", 0xFF0000FFu},
        {"LOUD.Q8R", 0x00FF00FFu}, {"a.q8r", 0x0000FFFFu}, {"b.q8r", 0xFFFF00FFu}, {"c.q8r", 0x00FFFFFFu}};
    // clang-format on
    // Each preset's thumbnail is one colour, written through hooks of the caller's.
    const PyramidPtr colour(pyramidCreate(128, 128, PixelFormat::Rgba8));
    const PresetHooks hooks = thumbnailPresetHooks(colour.get());
    setPresetHooks(&hooks);
    Settings look;
    settingsFresh(&look);
    for (const auto& [name, rgba] : presets) {
        for (int32_t i = 0; i < 128 * 128; ++i) {
            writeRgba8(i % 128, i / 128, colour.get(), 0, rgba);
        }
        EXPECT_EQ(buildLevels(colour.get()), noErr);
        FileSpec preset;
        fileSpecFromPath(&preset, (looks + name).c_str());
        EXPECT_EQ(presetWrite(preset, &look), noErr) << name;
    }
    FileSpec source;
    FileSpec page;
    fileSpecFromPath(&source, looks.c_str());
    fileSpecFromPath(&page, scratch.path("presets.html").c_str());
    const PyramidPtr thumbnail(pyramidCreate(128, 128, PixelFormat::Rgba8));
    const Result written = writePresetsPage(source, page, thumbnail.get());
    EXPECT_EQ(presetHooks().context, colour.get()) << "the caller's hooks are back";
    setPresetHooks(nullptr);
    ASSERT_EQ(written, noErr);

    const std::string html = readText(scratch, "presets.html");
    EXPECT_EQ(count(html, "<table id=\"Table_01\" width=\"94\""), 6u);
    EXPECT_EQ(count(html, "notes") + count(html, ">old</font>"), 0u) << "only preset files";
    // Rows end in a tail row of five blank cells; the last row is filled with empty cells.
    std::string tail = "\r\n<tr>";
    std::string empty;
    for (int i = 0; i < 5; ++i) {
        tail += kCell + "<p>&nbsp;</p></td>";
    }
    for (int i = 0; i < 4; ++i) {
        empty += kCell + "<p></p>\r\n<div align=\"center\">\r\n<p><font face=\"Hoefler Text,Times "
                         "New Roman,Georgia,Times\"><b></b></font></p>\r\n</div>\r\n</td>\r\n\r\n";
    }
    EXPECT_EQ(count(html, "</td>\r\n\r\n</tr>" + tail + "</tr><tr>" + kCell + "\r\n<table"), 1u);
    EXPECT_TRUE(html.ends_with("</td>\r\n\r\n" + empty + "</tr>" + tail + "</tr>" + kClosing))
        << html;
    EXPECT_NE(html.find(">rain &amp; sun</font>"), std::string::npos);
    EXPECT_NE(html.find(">LOUD</font>"), std::string::npos);
    EXPECT_LT(tidyStatus(scratch.path("presets.html")), 2) << "tidy found errors";

    for (const auto& [name, rgba] : presets) {
        const std::string jpeg = name.substr(0, name.find('.')) + ".jpg";
        const PyramidPtr shown = picture(scratch, jpeg, 128, 128);
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(channel8(shown.get(), 64, 64, c), (rgba >> (24 - 8 * c)) & 0xFFu, 8)
                << jpeg << " channel " << c;
        }
    }
    EXPECT_FALSE(scratch.read("web_images" + kSeparator + "broken.jpg").empty())
        << "an unreadable preset shows the thumbnail as it is";
}

TEST(MemoryDotPictures, TakeTheFilterRectangleToALargerSideOf300) {
    // clang-format off
    const int32_t cases[][4] = {{1200, 600, 300, 150}, {100, 50, 300, 150}, {600, 1200, 150, 300},
                                {5000, 3, 300, 1}, {0, 0, 1, 1}};
    // clang-format on
    for (const auto& c : cases) {
        int32_t size[2] = {0, 0};
        memoryDotPictureSize(c[0], c[1], &size[0], &size[1]);
        EXPECT_TRUE(size[0] == c[2] && size[1] == c[3]) << c[0] << " x " << c[1];
    }
}

// A cancelled render ends the page without its picture; then the two stored
// dots give two rendered pictures; the look is left alone both times.
TEST(MemoryDotsPage, StoredDotsGiveRenderedPicturesAndLeaveTheLookAlone) {
    ScratchFolder scratch; // the temporary folder: the dot files
    const PyramidPtr source(pyramidCreate(120, 60, PixelFormat::Rgba8));
    for (int32_t i = 0; i < 120 * 60; ++i) {
        const float rgba[4] = {static_cast<float>(i % 120) / 120.0f,
                               static_cast<float>(i / 120) / 60.0f, 0.3f, 1.0f};
        setPixel4f(i % 120, i / 120, source.get(), 0, rgba);
    }
    ASSERT_EQ(buildLevels(source.get()), noErr);
    RenderState state{};
    state.source = source.get();
    state.filterWidth = 1200;
    state.filterHeight = 600;
    state.hostFormat = HostImageFormat{8, 3, false};
    state.processors = 2;
    state.layersDone = 3;
    MemoryDots dots{};
    memoryDotsReset(&dots);
    Settings lookOfDot2{};
    settingsFresh(&lookOfDot2);
    setHorizon(&lookOfDot2, 20.0f);
    ASSERT_TRUE(memoryDotStore(&dots, 1, &lookOfDot2));
    Settings lookOfDot5 = lookOfDot2;
    setHorizon(&lookOfDot5, 80.0f);
    lookOfDot5.waterRed = 60000;
    ASSERT_TRUE(memoryDotStore(&dots, 4, &lookOfDot5));
    // The current look holds what a preset file rounds, and fields of other owners.
    Settings settings{};
    settingsFresh(&settings);
    setDotName(&settings, "mine");
    setHorizon(&settings, 50.0f);
    settings.carriedFloat1 = 0.123f;
    settings.exportKind = kExportPsd;
    settings.panX = 17;
    FileSpec page{};
    fileSpecFromPath(&page, scratch.path("dots.html").c_str());
    const Settings before = settings;
    const MemoryDots dotsBefore = dots;
    // The first dot's render is cancelled; the dot after it is not rendered.
    static int finished = 0;
    static const JobOps kCancelFirst = {
        nullptr, nullptr, [](Job*) -> Result { return ++finished == 1 ? userCanceledErr : noErr; }};
    finished = 0;
    state.waterJob = &kCancelFirst;
    EXPECT_EQ(writeMemoryDotsPage(page, &settings, &state, &dots, nullptr), userCanceledErr);
    EXPECT_TRUE(testing::sameBytes(settings, before)) << "every byte as before";
    EXPECT_EQ(state.layersDone, 3);
    EXPECT_FALSE(scratch.exists("web_images" + kSeparator + "dot 2.jpg"));
    const std::string cancelled = readText(scratch, "dots.html");
    EXPECT_EQ(count(cancelled, "<table id"), 0u);
    EXPECT_TRUE(cancelled.ends_with(kClosing));

    state.waterJob = nullptr;
    ASSERT_EQ(writeMemoryDotsPage(page, &settings, &state, &dots, nullptr), noErr);
    EXPECT_TRUE(testing::sameBytes(settings, before)) << "every byte as before";
    EXPECT_EQ(std::memcmp(dots.shown, dotsBefore.shown, sizeof dots.shown), 0);
    EXPECT_EQ(dots.previewed, dotsBefore.previewed);
    EXPECT_EQ(state.layersDone, 5) << "two more than the three before";
    EXPECT_EQ(state.offlineImage, nullptr);
    Settings stored = lookOfDot2;
    FileSpec scratchSlot;
    EXPECT_EQ(memoryDotFileSpec(kMemoryDotScratchSlot, &scratchSlot), noErr);
    EXPECT_EQ(presetRead(scratchSlot, PresetReadMode::Full, &stored), noErr);
    EXPECT_FLOAT_EQ(stored.horizonFloat, 50.0f) << "the scratch slot holds the current look";

    const std::string html = readText(scratch, "dots.html");
    EXPECT_EQ(count(html, "<table id=\"Table_01\" width=\"306\""), 2u);
    EXPECT_NE(html.find("src=\"web_images/dot%202.jpg\" alt=\"dot 2.jpg\" width=\"300\" "
                        "height=\"150\""),
              std::string::npos);
    EXPECT_NE(html.find(">dot 5</font>"), std::string::npos);
    EXPECT_LT(tidyStatus(scratch.path("dots.html")), 2) << "tidy found errors";

    // Each picture shows its own dot's look.
    const auto meanDifference = [](const ImagePyramid* a, const ImagePyramid* b) {
        double sum = 0;
        for (int32_t i = 0; i < 300 * 150 * 3; ++i) {
            sum += std::abs(static_cast<int>(channel8(a, i / 3 % 300, i / 900, i % 3)) -
                            static_cast<int>(channel8(b, i / 3 % 300, i / 900, i % 3)));
        }
        return sum / (300 * 150 * 3);
    };
    const PyramidPtr dot2 = picture(scratch, "dot 2.jpg", 300, 150);
    const PyramidPtr dot5 = picture(scratch, "dot 5.jpg", 300, 150);
    const PyramidPtr direct(pyramidCreate(300, 150, PixelFormat::Rgba8));
    state.offlineImage = direct.get();
    ASSERT_EQ(renderInto(RenderTarget::Offline, &lookOfDot2, &state, nullptr, nullptr), noErr);
    EXPECT_LT(meanDifference(dot2.get(), direct.get()), 3.0);
    EXPECT_GT(meanDifference(dot5.get(), direct.get()), 10.0);
}

} // namespace
} // namespace lakra
