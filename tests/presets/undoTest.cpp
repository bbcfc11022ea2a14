#include "presets/undo.h"

#include "presets/presetFile.h"
#include "support/fileChecks.h"
#include "support/scratchFolder.h"

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace lakra {
namespace {

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

    testing::ScratchFolder folder;
    UndoStore store{};
};

TEST_F(Undo, TogglesBetweenTheLastTwoLooksAndKeepsTheView) {
    Settings s = lookWith(10, 5);
    const Settings s0 = s;
    EXPECT_FALSE(undoStep(&store, &s)) << "no snapshot yet";
    EXPECT_TRUE(testing::sameBytes(s, s0));
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
    EXPECT_EQ(s.previewScale, 4);
    EXPECT_EQ(s.panX, 33);
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
        EXPECT_EQ(s.waviness, 10);
        EXPECT_EQ(s.waterGreen, 1010);
        EXPECT_FLOAT_EQ(s.horizonFloat, 20.5f);
        EXPECT_STREQ(s.dotName, "first");
        EXPECT_EQ(s.carriedInt19, damaged ? 9 : 5);
    }
}

TEST_F(Undo, UnwrittenFileIsNeverReadBack) {
    Settings s = lookWith(10, 5);
    {
        testing::ScratchFolder gone; // LAKRA_TEMP points at a folder removed here
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
    ASSERT_EQ(undoFileSpec(0, &fileSpec), noErr);
    EXPECT_EQ(std::string(fileSpecPath(fileSpec)), folder.path("Lakra undo 0"));
    EXPECT_EQ(undoFileSpec(-1, &fileSpec), kFileNotOpened);
    EXPECT_EQ(undoFileSpec(2, &fileSpec), kFileNotOpened);
    EXPECT_STREQ(fileSpecPath(fileSpec), "");
}

} // namespace
} // namespace lakra
