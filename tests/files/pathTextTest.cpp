#include "files/files.h"

#include <gtest/gtest.h>
#include <string>

namespace lakra {
namespace {

std::string cleaned(std::string name) {
    cleanFileName(name.data());
    return name;
}

TEST(FileNameCleaning, HighBytesFoldOnceAndNeverBecomeDotsOrSeparators) {
    EXPECT_EQ(cleaned("\x8E"), "_"); // (142 & 127) + 32 is '.'
    EXPECT_EQ(cleaned("\xAE"), "N"); // 174
    EXPECT_EQ(cleaned("\xE9"), "\x89") << "233 gives 137: one pass only";
    EXPECT_EQ(cleaned("\xBC"), "_") << "188 would give a backslash";
    EXPECT_EQ(cleaned("\x8F"), "_") << "143 would give a slash";
    EXPECT_EQ(cleaned("a\tb\x1F"), "a b ");
    EXPECT_EQ(cleaned("C:\\x/y.q8r"), "C__x_y.q8r");
    EXPECT_EQ(cleaned("\x7F~"), "\x7F~");
}

TEST(NumberText, KeepsDigitsAndSignsOnly) {
    EXPECT_EQ(numberFromText("1,024 px", false), 1024.0);
    EXPECT_EQ(numberFromText("-12.5%", true), -12.5);
    EXPECT_EQ(numberFromText("-12.5%", false), -125.0) << "no decimals: the point is dropped";
    EXPECT_EQ(numberFromText("width", false), 0.0);
    EXPECT_EQ(numberFromText("3-4", false), 3.0) << "a sign after digits ends the number";
    EXPECT_EQ(numberFromText(nullptr, false), 0.0);
    char filtered[8];
    filterNumberText("a1b2.3c+", true, filtered, sizeof(filtered));
    EXPECT_STREQ(filtered, "12.3+");
    filterNumberText("123456789", false, filtered, sizeof(filtered));
    EXPECT_STREQ(filtered, "1234567") << "cut to the buffer";
}

TEST(TextSearch, FindsTheFirstIndexWithOrWithoutCase) {
    EXPECT_EQ(findText(".q8r", "Calm.Q8R", true), 4);
    EXPECT_EQ(findText(".q8r", "Calm.Q8R", false), kTextNotFound);
    EXPECT_EQ(findText("a", "banana", false), 1);
    EXPECT_EQ(findText("", "text", true), kTextNotFound);
    EXPECT_EQ(findText("x", "", true), kTextNotFound);
    EXPECT_EQ(findText("longer", "long", true), kTextNotFound);
}

TEST(PathText, ExtensionsAreCutAddedAndRecognised) {
    std::string name = "my.look.q8r";
    stripExtension(name.data());
    EXPECT_STREQ(name.c_str(), "my.look");
    std::string plain = "plain";
    stripExtension(plain.data());
    EXPECT_STREQ(plain.c_str(), "plain");

    char small[10] = "picture";
    EXPECT_FALSE(appendJpg(small, sizeof(small)));
    EXPECT_STREQ(small, "picture");
    char roomy[12] = "picture";
    EXPECT_TRUE(appendJpg(roomy, sizeof(roomy)));
    EXPECT_STREQ(roomy, "picture.jpg");

    char extension[16] = "x";
    patternExtension("*.q8r", extension, sizeof(extension));
    EXPECT_STREQ(extension, ".q8r");
    patternExtension("*", extension, sizeof(extension));
    EXPECT_STREQ(extension, "");
    patternExtension("q8r", extension, sizeof(extension));
    EXPECT_STREQ(extension, "");

    EXPECT_TRUE(isJpegName("A.JPEG"));
    EXPECT_TRUE(isTiffName("scan.tiff"));
    EXPECT_TRUE(isImageName("x.Png"));
    EXPECT_FALSE(isImageName("look.q8r"));

    char folder[] = "C:\\looks\\";
    removeTrailingSeparator(folder);
    EXPECT_STREQ(folder, "C:\\looks");
    char slashed[] = "/tmp//";
    removeTrailingSeparator(slashed);
    EXPECT_STREQ(slashed, "/tmp/") << "one separator only";
}

} // namespace
} // namespace lakra
