#include "presets/memoryDots.h"

#include "support/fileChecks.h"
#include "support/scratchFolder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

namespace lakra {
namespace {

using testing::sameBytes;

std::string dotFile(int slot) {
    return "Lakra A memory dot " + std::to_string(slot) + ".q8r";
}

Settings lookWith(int32_t waviness) {
    Settings s;
    settingsFresh(&s);
    s.waviness = waviness;
    s.waterBlue = 54321;
    s.carriedInt19 = waviness; // only a file carries it
    setOffset(&s, 12.75f);
    setDotName(&s, "incoming");
    return s;
}

class MemoryDotsModel : public ::testing::Test {
protected:
    void SetUp() override {
        memoryDotsReset(&dots);
        dots.captureThumbnail = [](void* context) { ++*static_cast<int*>(context); };
        dots.captureContext = &captures;
    }

    void keep(std::initializer_list<int> slots) {
        for (const int slot : slots) {
            dots.kept[slot] = 1;
        }
    }

    testing::ScratchFolder folder;
    MemoryDots dots{};
    int captures = 0;
};

TEST_F(MemoryDotsModel, OpeningStoresIntoTheFirstSlotNotKept) {
    keep({0, 1});
    Settings s = lookWith(12);
    EXPECT_EQ(memoryDotsOpen(&dots, &s), 2);
    EXPECT_EQ(dots.shown[0], DotDisplay::Filled);
    EXPECT_EQ(dots.shown[2], DotDisplay::Current);
    EXPECT_EQ(dots.kept[2], 0);
    EXPECT_EQ(dots.previewed, 2);
    // Not kept: the next opening uses the same slot again.
    EXPECT_EQ(memoryDotsOpen(&dots, &s), 2);
    EXPECT_EQ(dots.shown[3], DotDisplay::Empty);
    // Every slot kept: nothing is stored.
    for (int32_t& kept : dots.kept) {
        kept = 1;
    }
    memoryDotsClearPreview(&dots);
    EXPECT_EQ(memoryDotsOpen(&dots, &s), -1);
    EXPECT_EQ(captures, 2);
    EXPECT_FALSE(folder.exists(dotFile(3)));
    EXPECT_EQ(dots.previewed, -1);
}

TEST_F(MemoryDotsModel, ClicksFollowTheSlotAndTheButtonAndHoverPreviews) {
    Settings s = lookWith(12);

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
    EXPECT_EQ(dots.previewed, -1);
    EXPECT_EQ(dots.hovered, -1);

    (void)memoryDotStore(&dots, 6, &s);
    memoryDotsClearPreview(&dots);
    memoryDotHover(&dots, 6);
    EXPECT_EQ(dots.previewed, 6);
    dots.dirty = 0;
    memoryDotHover(&dots, 6); // already hovered: not read again
    memoryDotHover(&dots, -1);
    EXPECT_EQ(dots.dirty, 0u);
    // The previewed dot's file gives the look; the view stays.
    s = lookWith(50);
    s.panY = 7;
    EXPECT_EQ(memoryDotCellClick(&dots, false, false, &s), DotAction::Recalled);
    EXPECT_EQ(std::make_tuple(s.waviness, s.waterBlue, s.carriedInt19, s.offsetFloat, s.panY),
              std::make_tuple(12, 54321, 12, 12.75f, 7));
    EXPECT_STREQ(s.dotName, "dot 7");
    EXPECT_EQ(memoryDotCellClick(&dots, true, false, &s), DotAction::SaveGalleryPage);
    EXPECT_EQ(memoryDotCellClick(&dots, false, true, &s), DotAction::BatchResave);
    memoryDotHover(&dots, 7); // empty slot
    EXPECT_EQ(dots.previewed, -1);
    EXPECT_EQ(memoryDotCellClick(&dots, false, false, &s), DotAction::None);
}

TEST_F(MemoryDotsModel, SlotsOutsideTheRowAreRefused) {
    Settings s = lookWith(12);
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
    EXPECT_EQ(captures, 0);
    FileSpec fileSpec;
    EXPECT_EQ(memoryDotFileSpec(25, &fileSpec), noErr); // the scratch slot
    EXPECT_EQ(std::string(fileSpecPath(fileSpec)), folder.path(dotFile(25)));
    EXPECT_EQ(memoryDotFileSpec(26, &fileSpec), kFileNotOpened);
    EXPECT_STREQ(fileSpecPath(fileSpec), "");
}

TEST_F(MemoryDotsModel, DamagedOrMissingSlotFileLeavesTheLook) {
    Settings s = lookWith(12);
    (void)memoryDotStore(&dots, 8, &s);
    // Ends inside the colour; an unknown version.
    const std::vector<std::vector<uint8_t>> damaged = {{0, 0, 0, 41, 0, 0}, {0, 0, 0, 0}};
    for (const auto& bytes : damaged) {
        folder.write(dotFile(8), bytes);
        Settings look = lookWith(70);
        ASSERT_TRUE(memoryDotRecall(&dots, 8, &look));
        EXPECT_EQ(look.waviness, 70);
        EXPECT_EQ(look.carriedInt19, 70);
        EXPECT_STREQ(look.dotName, "dot 9");
        EXPECT_EQ(dots.shown[8], DotDisplay::Current);
        EXPECT_EQ(dots.previewed, -1);
        EXPECT_TRUE(memoryDotPreview(&dots, 8));
    }
    Settings look = lookWith(70);
    ASSERT_TRUE(memoryDotRecall(&dots, 9, &look)); // never stored
    EXPECT_EQ(look.waviness, 70);
}

// The map is saved only once it was loaded; a damaged one keeps what it can read.
TEST_F(MemoryDotsModel, KeepMapSurvivesSaveAndLoad) {
    keep({0, 7, 24});
    EXPECT_EQ(memoryDotsSaveMap(&dots), noErr);
    EXPECT_FALSE(folder.exists(kMemoryDotMapName)) << "saved before any load";
    EXPECT_EQ(memoryDotsLoadMap(&dots), kFileNotOpened); // no map yet: nothing kept
    keep({0, 7, 24});
    ASSERT_EQ(memoryDotsSaveMap(&dots), noErr);
    const std::vector<uint8_t> bytes = folder.read(kMemoryDotMapName);
    ASSERT_EQ(bytes.size(), 104u);
    EXPECT_EQ(bytes[3], 41);
    EXPECT_EQ(bytes[4 + 7 * 4 + 3], 1);
    MemoryDots loaded{};
    ASSERT_EQ(memoryDotsLoadMap(&loaded), noErr);
    for (int i = 0; i < kMemoryDotCount; ++i) {
        EXPECT_EQ(loaded.kept[i], (i == 0 || i == 7 || i == 24) ? 1 : 0) << i;
    }
    // Version, then flags 5, 0, -1, and the file ends inside the fourth.
    folder.write(kMemoryDotMapName,
                 {0xDE, 0xAD, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0});
    EXPECT_EQ(memoryDotsLoadMap(&loaded), kFileReadError);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(loaded.kept[i], i == 0 || i == 2 ? 1 : 0) << i;
    }
}

} // namespace
} // namespace lakra
