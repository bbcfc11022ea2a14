// Read-only files and renames that never replace, on this platform's files.

#include "platform/platform.h"
#include "support/scratchFolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace lakra {
namespace {

using testing::ScratchFolder;

namespace fs = std::filesystem;

const std::vector<uint8_t> kOld = {'o', 'l', 'd'};
const std::vector<uint8_t> kNew = {'n', 'e', 'w'};

TEST(ReadOnlyFiles, TheMarkCountsWhateverThisProcessMayWrite) {
    // The suites run as root in CI: root may write a file no one is meant to.
    ScratchFolder folder;
    folder.write("writable", kOld);
    folder.write("read-only", kOld);
    fs::permissions(folder.path("read-only"),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directory(folder.path("folder"));

    EXPECT_FALSE(platformFileIsReadOnly(folder.path("writable").c_str()));
    EXPECT_TRUE(platformFileIsReadOnly(folder.path("read-only").c_str()));
    EXPECT_FALSE(platformFileIsReadOnly(folder.path("folder").c_str())) << "not a file";
    EXPECT_FALSE(platformFileIsReadOnly(folder.path("missing").c_str()));
    EXPECT_FALSE(platformFileIsReadOnly(""));
    EXPECT_FALSE(platformFileIsReadOnly(nullptr));
    fs::permissions(folder.path("read-only"), fs::perms::owner_write, fs::perm_options::add);
}

TEST(FileRename, MovesToAFreeNameAndNeverReplaces) {
    ScratchFolder folder;
    folder.write("a", kNew);
    folder.write("taken", kOld);

    EXPECT_FALSE(platformFileRename(folder.path("a").c_str(), folder.path("taken").c_str()));
    EXPECT_EQ(folder.read("a"), kNew) << "both names as they were";
    EXPECT_EQ(folder.read("taken"), kOld);

    EXPECT_TRUE(platformFileRename(folder.path("a").c_str(), folder.path("free").c_str()));
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"free", "taken"}));
    EXPECT_EQ(folder.read("free"), kNew);

    EXPECT_FALSE(platformFileRename(folder.path("gone").c_str(), folder.path("else").c_str()));
    EXPECT_FALSE(platformFileRename(folder.path("free").c_str(), ""));
    EXPECT_FALSE(platformFileRename(nullptr, folder.path("else").c_str()));
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"free", "taken"}));
}

} // namespace
} // namespace lakra
