#include "presets/undo.h"

#include "support/fileChecks.h"
#include "support/scratchFolder.h"

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace lakra {
namespace {

using testing::sameBytes;

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

class Undo : public ::testing::Test {
protected:
    void SetUp() override { undoInit(&store); }

    testing::ScratchFolder folder;
    UndoStore store{};
};

TEST_F(Undo, DoesNothingBeforeAnySnapshot) {
    Settings s = lookWith(10, 1);
    const Settings before = s;
    EXPECT_FALSE(undoStep(&store, &s));
    EXPECT_TRUE(sameBytes(s, before));
    (void)undoSnapshot(&store, &s, false);
    EXPECT_FALSE(undoStep(&store, &s)); // one snapshot: nothing before it
}

TEST_F(Undo, TogglesBetweenTheLastTwoLooksAndKeepsTheView) {
    const Settings s0 = lookWith(10, 5);
    const Settings s1 = lookWith(20, 9);
    const Settings s2 = lookWith(30, 9);
    Settings s = s0;
    ASSERT_EQ(undoSnapshot(&store, &s, true), noErr); // the dialog opens
    s = s1;
    (void)undoSnapshot(&store, &s, false);
    s = s2;
    (void)undoSnapshot(&store, &s, false); // overwrites the slot backed by a file
    s.previewScale = 4;
    s.panX = 33;
    ASSERT_TRUE(undoStep(&store, &s));
    expectSameLook(s, s1);
    ASSERT_TRUE(undoStep(&store, &s));
    expectSameLook(s, s2);
    // The overwritten slot's file (s0) must not be read back.
    EXPECT_EQ(s.carriedInt19, 9);
    EXPECT_EQ(s.previewScale, 4);
    EXPECT_EQ(s.panX, 33);
}

TEST_F(Undo, FileBackedSnapshotRestoresTheWholeSettings) {
    Settings s = lookWith(10, 5);
    ASSERT_EQ(undoSnapshot(&store, &s, true), noErr);
    EXPECT_TRUE(folder.exists("Lakra undo 1"));
    s = lookWith(20, 9);
    (void)undoSnapshot(&store, &s, false);
    ASSERT_TRUE(undoStep(&store, &s));
    // The file's rows (the carried floats keep two decimals there).
    EXPECT_EQ(s.waviness, 10);
    EXPECT_EQ(s.waterGreen, 1010);
    EXPECT_FLOAT_EQ(s.horizonFloat, 20.5f);
    EXPECT_EQ(s.carriedInt19, 5);
    EXPECT_STREQ(s.dotName, "first");
}

TEST_F(Undo, DamagedFileLeavesTheLookRestoredFromMemory) {
    Settings s = lookWith(10, 5);
    (void)undoSnapshot(&store, &s, true);
    s = lookWith(20, 9);
    (void)undoSnapshot(&store, &s, false);
    // Version 41, then the file ends inside the colour: nothing of it is taken.
    folder.write("Lakra undo 1", {0, 0, 0, 41, 0, 0, 0xFF, 0xFF, 0, 0});
    ASSERT_TRUE(undoStep(&store, &s));
    expectSameLook(s, lookWith(10, 5));
    EXPECT_EQ(s.carriedInt19, 9);
}

TEST_F(Undo, UnwritableFileKeepsTheSnapshotInMemory) {
    Settings s = lookWith(10, 5);
    {
        testing::ScratchFolder gone; // LAKRA_TEMP points at a folder removed below
        std::filesystem::remove_all(gone.path());
        EXPECT_NE(undoSnapshot(&store, &s, true), noErr);
        s = lookWith(20, 9);
        (void)undoSnapshot(&store, &s, false);
        ASSERT_TRUE(undoStep(&store, &s));
    }
    expectSameLook(s, lookWith(10, 5));
    EXPECT_EQ(s.carriedInt19, 9);
}

TEST(UndoFiles, NamesTwoSlotsInTheTemporaryFolder) {
    testing::ScratchFolder folder;
    FileSpec fileSpec;
    ASSERT_EQ(undoFileSpec(0, &fileSpec), noErr);
    EXPECT_EQ(std::string(fileSpecPath(fileSpec)), folder.path("Lakra undo 0"));
    EXPECT_EQ(undoFileSpec(2, &fileSpec), kFileNotOpened);
    EXPECT_STREQ(fileSpecPath(fileSpec), "");
    EXPECT_EQ(undoFileSpec(-1, &fileSpec), kFileNotOpened);
}

} // namespace
} // namespace lakra
