#include "presets/batchResave.h"

#include "presets/memoryDots.h"
#include "presets/presetFile.h"
#include "presets/thumbnail.h"
#include "pyramid/pyramid.h"
#include "support/fileChecks.h"
#include "support/scratchFolder.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace lakra {
namespace {

using testing::sameBytes;
using testing::ScratchFolder;

// Every look here has a blend mode other than the default, which a
// version-1 file does not hold.
Settings lookWithHorizon(float horizon) {
    Settings look{};
    settingsFresh(&look);
    setHorizon(&look, horizon);
    look.glue = 7;
    return look;
}

// The oldest format: a version word and 35 more, without a thumbnail.
void writeVersionOneLook(const ScratchFolder& folder, const std::string& name) {
    std::string bytes;
    for (uint32_t word = 0; word < 36; ++word) {
        const uint32_t value = word == 0 ? 1 : 10 + word;
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<char>((value >> shift) & 0xFFu));
        }
    }
    std::ofstream(folder.path(name), std::ios::binary) << bytes;
}

void writeLook(const ScratchFolder& folder, const std::string& name, float horizon) {
    Settings look = lookWithHorizon(horizon);
    FileSpec file{};
    fileSpecFromPath(&file, folder.path(name).c_str());
    ASSERT_EQ(presetWrite(file, &look), noErr);
}

std::string fileBytes(const ScratchFolder& folder, const std::string& name) {
    std::ifstream in(folder.path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

FileSpec folderSpec(const ScratchFolder& folder) {
    FileSpec fileSpec{};
    fileSpecFromPath(&fileSpec, folder.path().c_str());
    return fileSpec;
}

struct Seen {
    std::vector<std::string> names;
    std::vector<std::string> lookNames; // of each look the loaded hook was shown
    std::vector<int32_t> glues;         // and its blend mode
    // The walk is asked to stop once this many looks were shown or reported.
    size_t stopWhenShown = SIZE_MAX;
    size_t stopWhenReported = SIZE_MAX;
    Result nested = noErr;
    const FileSpec* folder = nullptr;
};

ResaveHooks seeingHooks(Seen* seen) {
    ResaveHooks hooks;
    hooks.context = seen;
    hooks.loaded = [](void* context, Settings* settings, ImagePyramid* thumbnail) {
        auto* s = static_cast<Seen*>(context);
        s->lookNames.emplace_back(settings->dotName);
        s->glues.push_back(settings->glue);
        // Showing a look moves the view; the walk must put it back.
        settings->panX = 99;
        settings->previewScale = 4;
        ResaveSummary ignored;
        s->nested =
            resavePresetFolder(*s->folder, settings, nullptr, thumbnail, ResaveHooks{}, &ignored);
    };
    hooks.report = [](void* context, const char* name, ResaveOutcome, Result) {
        static_cast<Seen*>(context)->names.emplace_back(name);
    };
    hooks.stopRequested = [](void* context) {
        const auto* s = static_cast<const Seen*>(context);
        return s->lookNames.size() >= s->stopWhenShown || s->names.size() >= s->stopWhenReported;
    };
    return hooks;
}

TEST(ResaveNames, MarksAndTheNameARenamedFileTakes) {
    struct Case {
        const char* name;
        bool marked;
        const char* renamed;
    };

    const Case cases[] = {
        {"a q9q.q8r", true, "a q9q.q5q"},  {"b Q5Q.q8r", true, "b Q5Q.q5q"},
        {"xQ9Qy", true, "xQ9Qy.q5q"},      {"plain.q8r", false, "plain.q5q"},
        {"q9.q5.q8r", false, "q9.q5.q5q"}, {"two.dots q9q.q8r", true, "two.dots q9q.q5q"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isResaveName(c.name), c.marked) << c.name;
        char renamed[kPathBytes];
        ASSERT_TRUE(resaveRenamedName(c.name, renamed, sizeof renamed));
        EXPECT_STREQ(renamed, c.renamed);
    }
    char tight[9];
    EXPECT_FALSE(resaveRenamedName("abcde.q8r", tight, sizeof tight));
    EXPECT_STREQ(tight, "");
}

TEST(ResaveWalk, EveryFieldOfTheLookIsBackAndAWalkInsideAWalkIsRefused) {
    ScratchFolder folder; // also the temporary folder: the scratch slot
    writeLook(folder, "one q5q.q8r", 30.0f);
    writeLook(folder, "two q9q.q8r", 70.0f);
    writeLook(folder, "three.q8r", 10.0f);
    writeVersionOneLook(folder, "old q5q.q8r");
    const PyramidPtr thumbnail(pyramidCreate(128, 128, PixelFormat::Rgba8));
    ASSERT_NE(thumbnail, nullptr);
    // What a preset file keeps only to hundredths, the name and fields of
    // other owners, which no file holds.
    Settings settings = lookWithHorizon(44.25f);
    settings.carriedFloat1 = 0.123456f;
    settings.carriedWord20 = 4321;
    settings.panX = 17;
    settings.exportKind = kExportPsd;
    setDotName(&settings, "dot 3");
    std::strcpy(settings.presetsFolder, "/somewhere/");
    const Settings before = settings;
    MemoryDots dots{};
    memoryDotsReset(&dots);
    const FileSpec fileSpec = folderSpec(folder);
    Seen seen;
    seen.folder = &fileSpec;
    ResaveSummary summary;
    ASSERT_EQ(resavePresetFolder(fileSpec, &settings, &dots, thumbnail.get(), seeingHooks(&seen),
                                 &summary),
              noErr);

    EXPECT_TRUE(sameBytes(settings, before)) << "every byte as before";
    EXPECT_EQ(seen.nested, kResaveRunning);
    EXPECT_EQ(seen.names.size(), 3u) << "the unmarked file is not reported";
    EXPECT_EQ(seen.lookNames, seen.names) << "each look is named after its file";
    // Each file starts from the defaults, not from the look before it.
    for (size_t i = 0; i < seen.names.size(); ++i) {
        EXPECT_EQ(seen.glues[i], seen.names[i] == "old q5q.q8r" ? 1 : 7) << seen.names[i];
    }
    Settings stored{};
    settingsFresh(&stored);
    FileSpec scratch{};
    ASSERT_EQ(memoryDotFileSpec(kMemoryDotScratchSlot, &scratch), noErr);
    ASSERT_EQ(presetRead(scratch, PresetReadMode::Full, &stored), noErr);
    EXPECT_FLOAT_EQ(stored.horizonFloat, 44.25f) << "the scratch slot holds the look";

    // The guard is down again: the next walk runs.
    seen = Seen{};
    seen.folder = &fileSpec;
    EXPECT_EQ(resavePresetFolder(fileSpec, &settings, &dots, thumbnail.get(), seeingHooks(&seen),
                                 &summary),
              noErr);
    EXPECT_EQ(seen.names.size(), 3u);
}

// A stop between files ends the walk there; a stop while a look is shown
// leaves that file as it was. The look is put back either way.
TEST(ResaveWalk, AStopLeavesTheFilesNotReachedAsTheyWere) {
    struct Case {
        size_t stopWhenShown;
        size_t stopWhenReported;
        size_t resaved;
    };

    for (const Case& c : {Case{SIZE_MAX, 1, 1}, Case{1, SIZE_MAX, 0}, Case{SIZE_MAX, 0, 0}}) {
        SCOPED_TRACE(c.resaved);
        ScratchFolder folder;
        for (const char* name : {"a q5q.q8r", "b q5q.q8r", "c q5q.q8r"}) {
            writeVersionOneLook(folder, name);
        }
        const std::string oldBytes = fileBytes(folder, "a q5q.q8r");
        const PyramidPtr thumbnail(pyramidCreate(128, 128, PixelFormat::Rgba8));
        Settings settings = lookWithHorizon(20.0f);
        const Settings before = settings;
        const FileSpec fileSpec = folderSpec(folder);
        Seen seen;
        seen.folder = &fileSpec;
        seen.stopWhenShown = c.stopWhenShown;
        seen.stopWhenReported = c.stopWhenReported;
        ResaveSummary summary;
        ASSERT_EQ(resavePresetFolder(fileSpec, &settings, nullptr, thumbnail.get(),
                                     seeingHooks(&seen), &summary),
                  noErr);
        EXPECT_TRUE(sameBytes(settings, before));
        EXPECT_EQ(summary.resaved, static_cast<int32_t>(c.resaved));
        EXPECT_EQ(summary.left, static_cast<int32_t>(3 - c.resaved));
        EXPECT_EQ(seen.names.size(), c.resaved) << "files not reached are not reported";
        size_t changed = 0;
        for (const char* name : {"a q5q.q8r", "b q5q.q8r", "c q5q.q8r"}) {
            changed += fileBytes(folder, name) != oldBytes ? 1 : 0;
        }
        EXPECT_EQ(changed, c.resaved);
    }
}

TEST(ResaveWalk, AFolderThatCannotBeListedChangesNothing) {
    ScratchFolder folder;
    const PyramidPtr thumbnail(pyramidCreate(128, 128, PixelFormat::Rgba8));
    Settings settings = lookWithHorizon(20.0f);
    const Settings before = settings;
    FileSpec missing{};
    fileSpecFromPath(&missing, folder.path("missing/any q5q.q8r").c_str());
    Seen seen;
    ResaveSummary summary;
    summary.notRead = 7;
    EXPECT_EQ(resavePresetFolder(missing, &settings, nullptr, thumbnail.get(), seeingHooks(&seen),
                                 &summary),
              kFileNotOpened);
    EXPECT_TRUE(sameBytes(settings, before));
    EXPECT_TRUE(seen.names.empty() && summary.notRead == 7);
    EXPECT_TRUE(folder.entries().empty()) << "not even the scratch slot";
}

} // namespace
} // namespace lakra
