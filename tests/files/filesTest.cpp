#include "files/files.h"

#include "support/scratchFolder.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace lakra {
namespace {

using testing::ScratchFolder;

const std::string kSep(1, platformPathSeparator());

FileSpec specOf(const std::string& path) {
    FileSpec fileSpec{};
    fileSpecFromPath(&fileSpec, path.c_str());
    return fileSpec;
}

TEST(FileSpecPaths, JoinsThatWouldNotFitGiveAnEmptyPathAndFolderPartsKeepTheSeparator) {
    const FileSpec folder = specOf(std::string(250, 'f'));
    FileSpec joined = specOf("left over");
    EXPECT_EQ(fileSpecJoin(&folder, std::string(20, 'n').c_str(), &joined), kFileNotOpened);
    EXPECT_STREQ(fileSpecPath(joined), "");
    // 259 characters and the terminator fill the 260 bytes exactly; 260 do not.
    EXPECT_EQ(fileSpecJoin(&folder, std::string(9, 'n').c_str(), &joined), noErr);
    EXPECT_EQ(std::strlen(fileSpecPath(joined)), 259u);
    EXPECT_EQ(fileSpecJoin(&folder, std::string(10, 'n').c_str(), &joined), kFileNotOpened);
    EXPECT_EQ(fileSpecJoin(&folder, "ab", &joined, 252), kFileNotOpened);
    const FileSpec cut = specOf(std::string(300, 'p'));
    EXPECT_EQ(std::strlen(fileSpecPath(cut)), 259u);
    EXPECT_EQ(std::count(std::begin(cut.header), std::end(cut.header), 0), std::ssize(cut.header));
    FileSpec fileSpec{};
    const FileSpec file = specOf("C:" + kSep + "looks" + kSep + "calm.q8r");
    ASSERT_EQ(fileSpecFolderPart(&file, &fileSpec), noErr);
    EXPECT_EQ(std::string(fileSpecPath(fileSpec)), "C:" + kSep + "looks" + kSep);
    EXPECT_STREQ(fileSpecName(file), "calm.q8r");
    const FileSpec bare = specOf("calm.q8r");
    ASSERT_EQ(fileSpecFolderPart(&bare, &fileSpec), noErr);
    EXPECT_STREQ(fileSpecPath(fileSpec), "*");
    EXPECT_EQ(fileSpecFolderPart(nullptr, &fileSpec), kFolderPartArgumentMissing);
    EXPECT_EQ(fileSpecCreateFolder(nullptr, "x", &fileSpec), kFolderArgumentMissing);
    EXPECT_EQ(fileSpecJoin(&fileSpec, nullptr, &fileSpec), kFileNotOpened);
    EXPECT_EQ(temporaryFileSpec(nullptr, &fileSpec), kFileNotOpened);
    EXPECT_EQ(fileOpen(fileSpec, FileAccess::Read, nullptr), kFileNotOpened);
}

// Temporary files and the page's images folder are checked where the undo
// slots, memory dots and pages use them.
TEST(TemporaryFolder, NamesFoldersInTheOverriddenFolder) {
    ScratchFolder scratch;
    FileSpec fileSpec{};
    ASSERT_EQ(temporaryFolderSpec("web", &fileSpec), noErr);
    EXPECT_EQ(std::string(fileSpecPath(fileSpec)), scratch.path("web" + kSep));
}

std::vector<uint8_t> writeFile(const ScratchFolder& scratch, const std::string& name,
                               void (*body)(FileWriter*)) {
    FileWriter writer;
    EXPECT_EQ(fileWriterOpen(specOf(scratch.path(name)), &writer), noErr);
    body(&writer);
    EXPECT_EQ(fileWriterClose(&writer), noErr);
    return scratch.read(name);
}

void writeEveryKind(FileWriter* writer) {
    (void)writeU32BE(writer, 0x01020304u);
    (void)writeU16BE(writer, 0xA1B2);
    (void)writeU8(writer, 0xFE);
    (void)writeFloatBE(writer, 1.0f);
    (void)writeU32BE(writer, static_cast<uint32_t>(-2));
    (void)writeZeros(writer, 3);
    (void)writeZeros(writer, -5);
    (void)writeBytes(writer, "xy", 2);
    (void)writeText(writer, "ab");
    (void)writeBytes(writer, "c", 2); // with its terminator
}

TEST(BigEndianFiles, WritesMostSignificantByteFirstAndReadsBack) {
    ScratchFolder scratch;
    const std::vector<uint8_t> expected = {1,    2, 3,   4,    0xA1, 0xB2, 0xFE, 0x3F,
                                           0x80, 0, 0,   0xFF, 0xFF, 0xFF, 0xFE, 0,
                                           0,    0, 'x', 'y',  'a',  'b',  'c',  '\0'};
    EXPECT_EQ(writeFile(scratch, "be", writeEveryKind), expected);
    FileWriter sizing = fileSizingWriter();
    writeEveryKind(&sizing);
    EXPECT_EQ(sizing.bytes, static_cast<int64_t>(expected.size()));

    PlatformFile* file = nullptr;
    ASSERT_EQ(fileOpen(specOf(scratch.path("be")), FileAccess::Read, &file), noErr);
    uint32_t u32 = 0;
    uint16_t u16 = 0;
    uint8_t u8 = 0;
    int32_t i32 = 0;
    EXPECT_TRUE(readU32BE(file, &u32) == noErr && u32 == 0x01020304u);
    EXPECT_TRUE(readU16BE(file, &u16) == noErr && u16 == 0xA1B2);
    EXPECT_TRUE(readU8(file, &u8) == noErr && u8 == 0xFE);
    EXPECT_TRUE(readSkip(file, 4) == noErr && readI32BE(file, &i32) == noErr && i32 == -2);
    EXPECT_TRUE(readSkip(file, 3) == noErr && readU32BE(file, &u32) == noErr &&
                u32 == 0x78796162u); // "xyab"
    EXPECT_TRUE(readU8(file, &u8) == noErr && u8 == 'c');
    // One byte remains: every wider read is short, and leaves 0.
    u16 = 7;
    EXPECT_TRUE(readU16BE(file, &u16) == kFileReadError && u16 == 0);
    EXPECT_TRUE(readU8(file, &u8) == kFileReadError && readSkip(file, 1) == kFileReadError);
    EXPECT_EQ(fileClose(file), noErr);
}

// An existing longer file is cut at the last write: the page test's frame
// images replace longer ones.
TEST(OpeningFiles, MissingFilesFoldersAndReadOnlyFiles) {
    ScratchFolder scratch;
    PlatformFile* file = nullptr;
    EXPECT_EQ(fileOpen(specOf(scratch.path("absent")), FileAccess::Read, &file), kFileNotOpened);
    EXPECT_EQ(file, nullptr);
    EXPECT_FALSE(fileExists(specOf(scratch.path("absent"))));
    EXPECT_FALSE(fileExists(specOf(scratch.path()))) << "a folder is not a file";
    // Writes through a file open for reading fail, and the first error is kept.
    scratch.write("ro", {9, 9});
    EXPECT_TRUE(fileExists(specOf(scratch.path("ro"))));
    FileWriter writer;
    ASSERT_EQ(fileOpen(specOf(scratch.path("ro")), FileAccess::Read, &writer.file), noErr);
    EXPECT_TRUE(writeU32BE(&writer, 1) == kFileWriteError &&
                writeU8(&writer, 1) == kFileWriteError);
    EXPECT_EQ(fileWriterClose(&writer), kFileWriteError);
    EXPECT_EQ(scratch.read("ro"), (std::vector<uint8_t>{9, 9}));
    FileWriter closed;
    EXPECT_EQ(writeU8(&closed, 1), kFileWriteError) << "no file and not sizing";
}

// The buffer goes out in pieces of 400 bytes; the flush writes the rest.
TEST(WriteBuffer, AroundFourHundredBytes) {
    for (const int count : {399, 400, 401}) {
        ScratchFolder scratch;
        FileWriter writer;
        ASSERT_EQ(fileWriterOpen(specOf(scratch.path("buffered")), &writer), noErr);
        FileWriteBuffer buffer;
        writeBufferStart(&buffer, &writer);
        std::vector<uint8_t> expected;
        for (int i = 0; i < count; ++i) {
            expected.push_back(static_cast<uint8_t>(i * 7));
            writeBufferPutU8(&buffer, expected.back());
        }
        writeBufferFlush(&buffer);
        ASSERT_EQ(fileWriterClose(&writer), noErr);
        EXPECT_EQ(scratch.read("buffered"), expected) << count;
    }
}

// The text after an in-place edit.
std::string edited(std::string text, void (*edit)(char*)) {
    edit(text.data());
    text.resize(std::strlen(text.c_str()));
    return text;
}

// Cleaned names: high bytes fold once and never become dots or separators.
TEST(PathText, NamesNumbersSearchesAndExtensions) {
    EXPECT_EQ(edited("\x8E", cleanFileName), "_"); // (142 & 127) + 32 is '.'
    EXPECT_EQ(edited("\xAE", cleanFileName), "N"); // 174
    EXPECT_EQ(edited("\xE9", cleanFileName), "\x89") << "233 gives 137: one pass only";
    EXPECT_EQ(edited("\xBC", cleanFileName), "_") << "188 would give a backslash";
    EXPECT_EQ(edited("\x8F", cleanFileName), "_") << "143 would give a slash";
    EXPECT_EQ(edited("a\tb\x1F", cleanFileName), "a b ");
    EXPECT_EQ(edited("C:\\x/y.q8r", cleanFileName), "C__x_y.q8r");
    EXPECT_EQ(edited("\x7F~", cleanFileName), "\x7F~");

    // Numbers keep digits and signs only.
    // Without decimals the point is dropped: see psdSizeNumber.
    EXPECT_EQ(numberFromText("-12.5%", true), -12.5);
    EXPECT_EQ(numberFromText("3-4", false), 3.0) << "a sign after digits ends the number";
    char filtered[8];
    filterNumberText("a1b2.3c+", true, filtered, sizeof(filtered));
    EXPECT_STREQ(filtered, "12.3+");
    filterNumberText("123456789", false, filtered, sizeof(filtered));
    EXPECT_STREQ(filtered, "1234567") << "cut to the buffer";
    // Searches find the first index, with or without case.
    EXPECT_EQ(findText(".q8r", "Calm.Q8R", true), 4);
    EXPECT_EQ(findText(".q8r", "Calm.Q8R", false), kTextNotFound);
    EXPECT_EQ(findText("a", "banana", false), 1);
    EXPECT_EQ(findText("", "text", true), kTextNotFound);
    EXPECT_EQ(findText("x", "", true), kTextNotFound);
    EXPECT_EQ(findText("longer", "long", true), kTextNotFound);
    // Extensions are cut, added and recognised.
    EXPECT_EQ(edited("my.look.q8r", stripExtension), "my.look");
    EXPECT_EQ(edited("plain", stripExtension), "plain");

    char small[11] = "picture"; // one byte short of "picture.jpg"
    EXPECT_FALSE(appendJpg(small, sizeof(small)));
    EXPECT_STREQ(small, "picture");
    char roomy[12] = "picture";
    EXPECT_TRUE(appendJpg(roomy, sizeof(roomy)));
    EXPECT_STREQ(roomy, "picture.jpg");

    char extension[16] = "x";
    patternExtension("*.q8r", extension, sizeof(extension));
    EXPECT_STREQ(extension, ".q8r");
    patternExtension("q8r", extension, sizeof(extension));
    EXPECT_STREQ(extension, "");

    EXPECT_TRUE(isImageName("A.JPEG") && !isImageName("look.q8r"));

    EXPECT_EQ(edited("C:\\looks\\", removeTrailingSeparator), "C:\\looks");
    EXPECT_EQ(edited("/tmp//", removeTrailingSeparator), "/tmp/") << "one separator only";
}

} // namespace
} // namespace lakra
