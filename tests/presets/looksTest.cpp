#include "export/jpegReader.h"
#include "host/hostContext.h"
#include "host/seams.h"
#include "presets/cachedSettings.h"
#include "presets/galleryPages.h"
#include "presets/memoryDots.h"
#include "presets/presetFile.h"
#include "presets/randomLook.h"
#include "presets/thumbnail.h"
#include "presets/undo.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "render/renderInto.h"
#include "render/settings.h"
#include "support/fileChecks.h"
#include "support/pluginRun.h"
#include "support/scratchFolder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

// Looks kept, shown and made: the undo slots, the memory dots, the look cached
// between runs, the gallery pages of presets and memory dots, and random looks.

namespace lakra {
namespace {

using testing::channel8;
using testing::FakeImage;
using testing::PluginRun;
using testing::sameBytes;
using testing::ScratchFolder;

Settings lookWith(int32_t waviness, int32_t carried) {
    Settings s;
    settingsFresh(&s);
    s.waviness = waviness;
    s.waterGreen = static_cast<uint16_t>(1000 + waviness);
    s.carriedInt19 = carried; // travels in the file, never by copyLook
    setHorizon(&s, 10.5f + static_cast<float>(waviness));
    setDotName(&s, waviness == 10 ? "first" : "later");
    return s;
}

void expectSameLook(const Settings& a, const Settings& b) {
    EXPECT_EQ(std::memcmp(&a, &b, offsetof(Settings, carriedInt19)), 0);
    EXPECT_EQ(a.horizonFloat, b.horizonFloat);
    EXPECT_EQ(a.offsetFloat, b.offsetFloat);
    EXPECT_STREQ(a.dotName, b.dotName);
}

struct Undo : ::testing::Test {
    void SetUp() override { undoInit(&store); }

    ScratchFolder folder;
    UndoStore store{};
};

TEST_F(Undo, TogglesBetweenTheLastTwoLooksAndKeepsTheView) {
    Settings s = lookWith(10, 5);
    const Settings s0 = s;
    EXPECT_TRUE(!undoStep(&store, &s) && sameBytes(s, s0)) << "no snapshot yet";
    ASSERT_EQ(undoSnapshot(&store, &s, true), noErr); // the dialog opens
    EXPECT_FALSE(undoStep(&store, &s)) << "one snapshot: nothing before it";
    const Settings s1 = lookWith(20, 9);
    s = s1;
    (void)undoSnapshot(&store, &s, false);
    const Settings s2 = lookWith(30, 9);
    s = s2;
    (void)undoSnapshot(&store, &s, false); // overwrites the slot backed by a file
    s.previewScale = 4;
    s.panX = 33;
    ASSERT_TRUE(undoStep(&store, &s));
    expectSameLook(s, s1);
    ASSERT_TRUE(undoStep(&store, &s));
    expectSameLook(s, s2);
    EXPECT_EQ(s.carriedInt19, 9) << "the overwritten slot's file must not be read back";
    EXPECT_TRUE(s.previewScale == 4 && s.panX == 33) << "the view stays";
}

// A file-backed snapshot restores what only the file carries; a damaged file
// leaves the look restored from memory.
TEST_F(Undo, FileBackedSnapshotRestoresTheWholeSettingsUnlessDamaged) {
    for (const bool damaged : {false, true}) {
        undoInit(&store);
        Settings s = lookWith(10, 5);
        ASSERT_EQ(undoSnapshot(&store, &s, true), noErr);
        EXPECT_TRUE(folder.exists("Lakra undo 1"));
        s = lookWith(20, 9);
        (void)undoSnapshot(&store, &s, false);
        if (damaged) { // version 41, then the file ends inside the colour
            folder.write("Lakra undo 1", {0, 0, 0, 41, 0, 0, 0xFF, 0xFF, 0, 0});
        }
        ASSERT_TRUE(undoStep(&store, &s));
        if (damaged) {
            expectSameLook(s, lookWith(10, 5));
        }
        EXPECT_TRUE(s.waviness == 10 && s.waterGreen == 1010 && s.horizonFloat == 20.5f);
        EXPECT_STREQ(s.dotName, "first");
        EXPECT_EQ(s.carriedInt19, damaged ? 9 : 5);
    }
}

TEST_F(Undo, UnwrittenFileIsNeverReadBack) {
    Settings s = lookWith(10, 5);
    {
        ScratchFolder gone; // LAKRA_TEMP points at a folder removed here
        std::filesystem::remove_all(gone.path());
        EXPECT_NE(undoSnapshot(&store, &s, true), noErr);
        // A file of an earlier run appears where the snapshot's was not written.
        std::filesystem::create_directories(gone.path());
        FileSpec stale;
        ASSERT_EQ(undoFileSpec(store.current, &stale), noErr);
        Settings other = lookWith(30, 7);
        ASSERT_EQ(presetWrite(stale, &other), noErr);
        s = lookWith(20, 9);
        (void)undoSnapshot(&store, &s, false);
        ASSERT_TRUE(undoStep(&store, &s));
    }
    expectSameLook(s, lookWith(10, 5));
    EXPECT_EQ(s.carriedInt19, 9);

    FileSpec fileSpec;
    EXPECT_TRUE(undoFileSpec(-1, &fileSpec) == kFileNotOpened &&
                undoFileSpec(2, &fileSpec) == kFileNotOpened);
    EXPECT_STREQ(fileSpecPath(fileSpec), "");
}

std::string dotFile(int slot) {
    return "Lakra A memory dot " + std::to_string(slot) + ".q8r";
}

class MemoryDotsModel : public ::testing::Test {
protected:
    void SetUp() override {
        memoryDotsReset(&dots);
        dots.captureThumbnail = [](void* context) { ++*static_cast<int*>(context); };
        dots.captureContext = &captures;
    }

    ScratchFolder folder;
    MemoryDots dots{};
    int captures = 0;
};

TEST_F(MemoryDotsModel, OpeningStoresIntoTheFirstSlotNotKept) {
    dots.kept[0] = dots.kept[1] = 1;
    Settings s = lookWith(12, 12);
    EXPECT_EQ(memoryDotsOpen(&dots, &s), 2);
    EXPECT_EQ(std::tie(dots.shown[0], dots.shown[2], dots.kept[2], dots.previewed),
              std::make_tuple(DotDisplay::Filled, DotDisplay::Current, 0, 2));
    // Not kept: the next opening uses the same slot again.
    EXPECT_TRUE(memoryDotsOpen(&dots, &s) == 2 && dots.shown[3] == DotDisplay::Empty);
    // Every slot kept: nothing is stored.
    std::fill(std::begin(dots.kept), std::end(dots.kept), 1);
    memoryDotsClearPreview(&dots);
    EXPECT_EQ(memoryDotsOpen(&dots, &s), -1);
    EXPECT_TRUE(captures == 2 && dots.previewed == -1 && !folder.exists(dotFile(3)));
}

TEST_F(MemoryDotsModel, ClicksFollowTheSlotAndTheButtonHoverPreviewsAndOtherSlotsAreRefused) {
    Settings s = lookWith(12, 12);

    const struct {
        int32_t slot;
        bool right, ctrl;
        DotAction action;
        int32_t kept;
        DotDisplay shown;
    } clicks[] = {
        {3, false, false, DotAction::Stored, 1, DotDisplay::Current},
        {5, true, true, DotAction::Stored, 0, DotDisplay::Current}, // Ctrl: not kept
        {3, false, true, DotAction::Unkept, 0, DotDisplay::Filled},
        {3, false, false, DotAction::Recalled, 0, DotDisplay::Current},
        {5, true, false, DotAction::Cleared, 0, DotDisplay::Empty},
    };

    for (const auto& click : clicks) {
        EXPECT_EQ(memoryDotClick(&dots, click.slot, click.right, click.ctrl, &s), click.action);
        EXPECT_EQ(dots.kept[click.slot], click.kept) << click.slot;
        EXPECT_EQ(dots.shown[click.slot], click.shown) << click.slot;
    }
    EXPECT_STREQ(s.dotName, "dot 4");
    EXPECT_TRUE(dots.previewed == -1 && dots.hovered == -1);

    (void)memoryDotStore(&dots, 6, &s);
    memoryDotsClearPreview(&dots);
    memoryDotHover(&dots, 6);
    EXPECT_EQ(dots.previewed, 6);
    dots.dirty = 0;
    memoryDotHover(&dots, 6); // already hovered: not read again
    memoryDotHover(&dots, -1);
    EXPECT_EQ(dots.dirty, 0u);
    // The previewed dot's file gives the look; the view stays.
    s = lookWith(50, 50);
    s.panY = 7;
    EXPECT_EQ(memoryDotCellClick(&dots, false, false, &s), DotAction::Recalled);
    EXPECT_EQ(std::make_tuple(s.waviness, s.waterGreen, s.carriedInt19, s.horizonFloat, s.panY),
              std::make_tuple(12, 1012, 12, 22.5f, 7));
    EXPECT_STREQ(s.dotName, "dot 7");
    EXPECT_EQ(memoryDotCellClick(&dots, true, false, &s), DotAction::SaveGalleryPage);
    EXPECT_EQ(memoryDotCellClick(&dots, false, true, &s), DotAction::BatchResave);
    memoryDotHover(&dots, 7); // empty slot
    EXPECT_EQ(dots.previewed, -1);
    EXPECT_EQ(memoryDotCellClick(&dots, false, false, &s), DotAction::None);
    // Slots outside the row are refused.
    const Settings before = s;
    for (const int32_t slot : {-1, 25, 26, INT32_MIN, INT32_MAX}) {
        EXPECT_FALSE(memoryDotStore(&dots, slot, &s));
        EXPECT_FALSE(memoryDotRecall(&dots, slot, &s));
        EXPECT_FALSE(memoryDotClear(&dots, slot));
        EXPECT_FALSE(memoryDotUnkeep(&dots, slot));
        EXPECT_FALSE(memoryDotPreview(&dots, slot));
        EXPECT_EQ(memoryDotClick(&dots, slot, false, false, &s), DotAction::None);
        memoryDotHover(&dots, slot);
    }
    EXPECT_TRUE(sameBytes(s, before));
    EXPECT_EQ(captures, 3) << "the three stores above";
    FileSpec fileSpec;
    EXPECT_EQ(memoryDotFileSpec(25, &fileSpec), noErr); // the scratch slot
    EXPECT_EQ(std::string(fileSpecPath(fileSpec)), folder.path(dotFile(25)));
    EXPECT_EQ(memoryDotFileSpec(26, &fileSpec), kFileNotOpened);
    EXPECT_STREQ(fileSpecPath(fileSpec), "");
}

TEST_F(MemoryDotsModel, DamagedOrMissingSlotFileLeavesTheLook) {
    Settings s = lookWith(12, 12);
    (void)memoryDotStore(&dots, 8, &s);
    // Ends inside the colour; an unknown version.
    const std::vector<std::vector<uint8_t>> damaged = {{0, 0, 0, 41, 0, 0}, {0, 0, 0, 0}};
    for (const auto& bytes : damaged) {
        folder.write(dotFile(8), bytes);
        Settings look = lookWith(70, 70);
        ASSERT_TRUE(memoryDotRecall(&dots, 8, &look));
        EXPECT_TRUE(look.waviness == 70 && look.carriedInt19 == 70);
        EXPECT_STREQ(look.dotName, "dot 9");
        EXPECT_TRUE(dots.shown[8] == DotDisplay::Current && dots.previewed == -1);
        EXPECT_TRUE(memoryDotPreview(&dots, 8));
    }
    Settings look = lookWith(70, 70);
    ASSERT_TRUE(memoryDotRecall(&dots, 9, &look)); // never stored
    EXPECT_EQ(look.waviness, 70);
}

// The map is saved only once it was loaded; a damaged one keeps what it can read.
TEST_F(MemoryDotsModel, KeepMapSurvivesSaveAndLoad) {
    dots.kept[0] = dots.kept[7] = dots.kept[24] = 1;
    EXPECT_EQ(memoryDotsSaveMap(&dots), noErr);
    EXPECT_FALSE(folder.exists(kMemoryDotMapName)) << "saved before any load";
    EXPECT_EQ(memoryDotsLoadMap(&dots), kFileNotOpened); // no map yet: nothing kept
    dots.kept[0] = dots.kept[7] = dots.kept[24] = 1;
    ASSERT_EQ(memoryDotsSaveMap(&dots), noErr);
    const std::vector<uint8_t> bytes = folder.read(kMemoryDotMapName);
    ASSERT_EQ(bytes.size(), 104u);
    EXPECT_TRUE(bytes[3] == 41 && bytes[4 + 7 * 4 + 3] == 1) << "the version, then slot 7 kept";
    MemoryDots loaded{};
    ASSERT_EQ(memoryDotsLoadMap(&loaded), noErr);
    EXPECT_TRUE(std::ranges::equal(loaded.kept, dots.kept)) << "0, 7 and 24 kept";
    // Version, then flags 5, 0, -1, and the file ends inside the fourth.
    folder.write(kMemoryDotMapName,
                 {0xDE, 0xAD, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0});
    EXPECT_EQ(memoryDotsLoadMap(&loaded), kFileReadError);
    EXPECT_EQ(std::vector<int32_t>(loaded.kept, loaded.kept + 8),
              (std::vector<int32_t>{1, 0, 1, 0, 0, 0, 0, 0}));
}

// Runs in a host that has never called the plug-in: a fresh parameters block.
// The dialog of a run notes the look it opens with, may change it, and
// confirms or cancels.
TEST(CachedLook, ConfirmedLookOpensTheNextRunAndCancelLeavesItAlone) {
    ScratchFolder scratch;
    static int32_t gSeenBrilliance = -1;
    static int32_t gNewBrilliance = -1;
    static bool gConfirm = true;
    setPreviewDialogHandler([] {
        gSeenBrilliance = currentHost().settings->brilliance;
        currentHost().settings->brilliance = gNewBrilliance;
        return gConfirm;
    });
    const auto runInFreshHost = [](int32_t newBrilliance, bool confirm) {
        gSeenBrilliance = -1;
        gNewBrilliance = newBrilliance;
        gConfirm = confirm;
        FakeImage image(24, 20, 3, 8, false);
        EXPECT_EQ(PluginRun(&image).run(), confirm ? noErr : userCanceledErr);
    };
    scratch.write(kCachedSettingsName, {0, 0, 0, 99, 1, 2});
    runInFreshHost(77, true);
    EXPECT_EQ(gSeenBrilliance, 42) << "an unreadable cached look: the defaults";
    const std::vector<uint8_t> before = scratch.read(kCachedSettingsName);
    EXPECT_EQ(before.size(), 74u * 4) << "a preset of the current version";
    runInFreshHost(11, false);
    EXPECT_EQ(gSeenBrilliance, 77);
    EXPECT_EQ(scratch.read(kCachedSettingsName), before);
    runInFreshHost(77, true);
    EXPECT_EQ(gSeenBrilliance, 77);
    setPreviewDialogHandler(nullptr);
}

const std::string kSeparator(1, platformPathSeparator());
const std::string kCell = "<td align=\"center\" valign=\"top\" width=\"20%\">";
const std::string kClosing = "</table><br>\r\n</body></html>";

std::string readText(const ScratchFolder& scratch, const std::string& name) {
    const std::vector<uint8_t> bytes = scratch.read(name);
    return {bytes.begin(), bytes.end()};
}

size_t count(const std::string& haystack, const std::string& needle) {
    size_t found = 0;
    for (size_t at = 0; (at = haystack.find(needle, at)) != std::string::npos; ++at) {
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

    const std::string images = "web_images" + kSeparator;
    for (const auto& [name, rgba] : presets) {
        const std::string jpeg = name.substr(0, name.find('.')) + ".jpg";
        const std::vector<uint8_t> bytes = scratch.read(images + jpeg);
        const PyramidPtr shown(pyramidCreate(128, 128, PixelFormat::Rgba8));
        EXPECT_TRUE(jpegDecode(bytes.data(), bytes.size(), shown.get())) << jpeg;
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(channel8(shown.get(), 64, 64, c), (rgba >> (24 - 8 * c)) & 0xFFu, 8)
                << jpeg << " channel " << c;
        }
    }
    EXPECT_FALSE(scratch.read(images + "broken.jpg").empty())
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
                               std::floor(static_cast<float>(i) / 120.0f) / 60.0f, 0.3f, 1.0f};
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
    Settings lookOfDot2 = lookWith(10, 10); // horizon 20.5
    ASSERT_TRUE(memoryDotStore(&dots, 1, &lookOfDot2));
    Settings lookOfDot5 = lookWith(70, 70);
    ASSERT_TRUE(memoryDotStore(&dots, 4, &lookOfDot5));
    // The current look holds what a preset file rounds, and fields of other owners.
    Settings settings = lookWith(40, 40); // horizon 50.5
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
    EXPECT_TRUE(sameBytes(settings, before)) << "every byte as before";
    EXPECT_EQ(state.layersDone, 3);
    EXPECT_FALSE(scratch.exists("web_images" + kSeparator + "dot 2.jpg"));
    const std::string cancelled = readText(scratch, "dots.html");
    EXPECT_TRUE(count(cancelled, "<table id") == 0 && cancelled.ends_with(kClosing));

    state.waterJob = nullptr;
    ASSERT_EQ(writeMemoryDotsPage(page, &settings, &state, &dots, nullptr), noErr);
    EXPECT_TRUE(sameBytes(settings, before)) << "every byte as before";
    EXPECT_TRUE(std::memcmp(dots.shown, dotsBefore.shown, sizeof dots.shown) == 0 &&
                dots.previewed == dotsBefore.previewed);
    EXPECT_TRUE(state.layersDone == 5 && state.offlineImage == nullptr) << "two more than three";
    Settings stored = lookOfDot2;
    FileSpec scratchSlot;
    EXPECT_EQ(memoryDotFileSpec(kMemoryDotScratchSlot, &scratchSlot), noErr);
    EXPECT_EQ(presetRead(scratchSlot, PresetReadMode::Full, &stored), noErr);
    EXPECT_FLOAT_EQ(stored.horizonFloat, 50.5f) << "the scratch slot holds the current look";

    const std::string html = readText(scratch, "dots.html");
    EXPECT_EQ(count(html, "<table id=\"Table_01\" width=\"306\""), 2u);
    EXPECT_NE(html.find("src=\"web_images/dot%202.jpg\" alt=\"dot 2.jpg\" width=\"300\" "
                        "height=\"150\""),
              std::string::npos);
    EXPECT_NE(html.find(">dot 5</font>"), std::string::npos);
    EXPECT_LT(tidyStatus(scratch.path("dots.html")), 2) << "tidy found errors";

    EXPECT_NE(scratch.read("web_images" + kSeparator + "dot 2.jpg"),
              scratch.read("web_images" + kSeparator + "dot 5.jpg"))
        << "each picture shows its own dot's look";
}

TEST(RandomSource, MatchesTheWindowsRuntimeSequenceAndGivesTheSeedButton) {
    // srand(1); rand() x 5 with the Windows C run-time.
    seedRandom(1);
    for (const int32_t value : {41, 18467, 6334, 26500, 19169}) {
        EXPECT_EQ(nextRandom(), value);
    }
    // The seed button keeps the eleven low bits of the next number and changes
    // nothing else.
    seedRandom(1);
    for (const int32_t seed : {41, 18467 & 2047, 6334 & 2047, 26500 & 2047}) {
        Settings s = lookWith(10, 5);
        Settings expected = s;
        ecceSeed(&s);
        expected.randomSeed = seed;
        setDotName(&expected, kRandomLookName);
        EXPECT_TRUE(sameBytes(s, expected)) << seed;
    }
#ifdef _WIN32
    for (const unsigned seed : {0u, 12345u, 0xFFFFFFFFu}) {
        std::srand(seed);
        seedRandom(seed);
        for (int i = 0; i < 1000; ++i) {
            ASSERT_EQ(nextRandom(), std::rand()) << seed; // NOLINT(concurrency-mt-unsafe)
        }
    }
#endif
}

TEST(RandomDraw, StaysWithinEitherOrderOfBounds) {
    seedRandom(11);
    for (int i = 0; i < 5000; ++i) {
        const int32_t value = randomDraw(10, 0); // swapped bounds
        // Eleven random bits above the lower bound; the span does not overflow.
        ASSERT_TRUE(value >= 0 && value <= 10 && randomDraw(5, 5) == 5 &&
                    randomDraw(INT32_MAX, INT32_MIN) <= INT32_MIN + 2047 &&
                    randomDraw(INT32_MAX - 1, INT32_MAX) >= INT32_MAX - 1)
            << value;
    }
}

// Every roll keeps the dice's fields in range, touches nothing else, and
// about three in five give black water.
TEST(Dice, FieldsStayInRangeAndTheRestIsLeftAlone) {
    const struct {
        int32_t Settings::*field;
        int32_t lo, hi;
    } ranges[] = {{&Settings::waviness, 0, 70},     {&Settings::complexity, 0, 60},
                  {&Settings::brilliance, 30, 60},  {&Settings::blur, 0, 49},
                  {&Settings::perspective, 20, 80}, {&Settings::altitude, 1, 90},
                  {&Settings::rippleSize, 20, 100}, {&Settings::rippleHeight, 0, 60},
                  {&Settings::undulation, 3, 80}};

    Settings start = lookWith(10, 5); // with a horizon and a name
    start.glue = 44;
    start.randomSeed = 1234;
    seedRandom(2024);
    int black = 0;
    const int rolls = 5000;
    for (int roll = 0; roll < rolls; ++roll) {
        Settings s = start;
        diceLook(&s);
        Settings expected = start;
        for (const auto& range : ranges) {
            ASSERT_TRUE(s.*range.field >= range.lo && s.*range.field <= range.hi) << roll;
            expected.*range.field = s.*range.field;
        }
        // The brightest channel the dice make: lightness 0.25, saturation 0.68,
        // a hue below -1/6 (M + (M - m) = 0.76).
        ASSERT_LE(std::max({s.waterRed, s.waterGreen, s.waterBlue}), 49807) << roll;
        std::tie(expected.waterRed, expected.waterGreen, expected.waterBlue) =
            std::tie(s.waterRed, s.waterGreen, s.waterBlue);
        setDotName(&expected, kRandomLookName);
        ASSERT_TRUE(sameBytes(s, expected)) << roll;
        black += s.waterRed == 0 && s.waterGreen == 0 && s.waterBlue == 0 ? 1 : 0;
    }
    EXPECT_GT(black, rolls * 55 / 100);
    EXPECT_LT(black, rolls * 64 / 100);
}

TEST(WaterColorFromHsl, SextantsUnwrappedHuesAndTheBaseWater) {
    const struct {
        Hsl hsl;
        uint16_t r, g, b;
    } rows[] = {
        {{1.0, 1.0, 0.5}, 65535, 0, 0},           // past the sixth: the first sextant
        {{0.5, 1.0, 0.5}, 0, 65535, 65535},       // cyan
        {{-0.5, 1.0, 0.5}, 65535, 0, 65535},      // negative: the last sextant's rule
        {{-0.55, 0.5, 0.5}, 49151, 16383, 58981}, // down is 0.9: brighter than M
        {{0.3, 0.7, 0.0}, 0, 0, 0},
        {{-0.1, 0.68, 0.25}, 27524, 0, 5242}, // sextant 0, negative fraction: green below 0
        {hslFromRgb(0.04, 0.05, 0.21), 2621, 3276, 13762}, // the base water comes back
    };

    for (const auto& row : rows) {
        uint16_t rgb[3] = {1, 1, 1};
        waterColorFromHsl(row.hsl, &rgb[0], &rgb[1], &rgb[2]);
        EXPECT_EQ(std::tie(rgb[0], rgb[1], rgb[2]), std::tie(row.r, row.g, row.b)) << row.hsl.hue;
    }
}

} // namespace
} // namespace lakra
