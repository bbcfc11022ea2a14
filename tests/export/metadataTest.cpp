#include "export/metadata.h"

#include <cstring>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

namespace lakra {
namespace {

// The literal's bytes, zero bytes included.
template <size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

std::string blockText(const IptcBlock& block) {
    return std::string(reinterpret_cast<const char*>(block.data),
                       static_cast<size_t>(block.length));
}

TEST(ExifBlock, IsThirtyTwoBytesAndThirtyEightWithItsPrefix) {
    ExifBlock plain;
    ExifBlock prefixed;
    EXPECT_EQ(exifBuild(&plain, false, true), 32);
    EXPECT_FALSE(plain.built) << "sizing stores nothing";
    EXPECT_EQ(exifBuild(&plain, false), 32);
    EXPECT_EQ(exifBuild(&prefixed, true), 38);
    EXPECT_EQ(std::memcmp(prefixed.data, "Exif\0\0MM\0\x2a\0\0\0\x08", 14), 0);
    EXPECT_EQ(std::memcmp(plain.data + 26, "Lakra", 6), 0) << "where the entry points";
    EXPECT_EQ(std::memcmp(prefixed.data + 6, plain.data, 32), 0);
}

// The records in order with the injected universal date; the length field
// counts the records and their pad for an odd and an even total; built once.
TEST(IptcBlock, RecordsLengthAndOneBuild) {
    IptcBlock block;
    const UtcDate date{2027, 3, 3};
    const int32_t sized = iptcBuild(&block, true, date, true);
    ASSERT_EQ(iptcBuild(&block, true, date), sized);
    EXPECT_TRUE(iptcAddKeyword(&block, "later"));
    EXPECT_EQ(iptcBuild(&block, true, UtcDate{2030, 1, 1}), sized);
    const std::string text = blockText(block);
    EXPECT_EQ(text.find("2030"), std::string::npos);
    EXPECT_EQ(text.compare(0, 14, bytes("Photoshop 3.0\0")), 0);
    EXPECT_EQ(text.compare(14, 8, bytes("8BIM\x04\x04\0\0")), 0);
    const size_t found[] = {
        text.find(bytes("\x1c\x02\x00\x00\x02\x00\x02")),
        text.find(bytes("\x1c\x02\x73\x00") + static_cast<char>(sizeof kMakerUrl - 1) + kMakerUrl),
        text.find(bytes("\x1c\x02\x37\x00\x08") + "20270303"),
        text.find(bytes("\x1c\x02\x78\x00\x0fMade with Lakra")),
        text.find(bytes("\x1c\x02\x19\x00\x05Lakra")),
    }; // version, source, date, caption, keyword
    EXPECT_EQ(found[0], 26u);
    for (size_t i = 1; i < std::size(found); ++i) {
        EXPECT_TRUE(found[i - 1] < found[i] && found[i] != std::string::npos) << i;
    }
    for (const char* extra : {"HDR", "HDRs"}) { // an odd and an even total
        IptcBlock one;
        ASSERT_TRUE(iptcAddKeyword(&one, extra));
        const int32_t length = iptcBuild(&one, false, date);
        EXPECT_EQ(length % 2, 0) << extra;
        const uint32_t recordBytes = (uint32_t{one.data[8]} << 24) | (uint32_t{one.data[9]} << 16) |
                                     (uint32_t{one.data[10]} << 8) | one.data[11];
        EXPECT_EQ(recordBytes + 12, static_cast<uint32_t>(length)) << extra;
    }
}

TEST(IptcKeywords, RefusesRepeatsEmptyOrLongWordsAndStopsAtNineteen) {
    IptcBlock block;
    EXPECT_TRUE(iptcAddKeyword(&block, "high dynamic range"));
    EXPECT_FALSE(iptcAddKeyword(&block, "high")) << "an entry already begins with it";
    EXPECT_FALSE(iptcAddKeyword(&block, "HIGH dyn"));
    EXPECT_TRUE(iptcAddKeyword(&block, "dynamic"));
    EXPECT_FALSE(iptcAddKeyword(&block, ""));
    EXPECT_FALSE(iptcAddKeyword(&block, std::string(50, 'k').c_str()));
    EXPECT_TRUE(iptcAddKeyword(&block, std::string(49, 'k').c_str()));
    EXPECT_EQ(block.keywordCount, 3);
    IptcBlock shortWords;
    for (int i = 0; i < 19; ++i) {
        EXPECT_TRUE(
            iptcAddKeyword(&shortWords, std::string(1, static_cast<char>('a' + i)).c_str()));
    }
    EXPECT_FALSE(iptcAddKeyword(&shortWords, "z"));
    IptcBlock longWords; // never overflows the block
    for (int i = 0; i < 19; ++i) {
        (void)iptcAddKeyword(
            &longWords,
            (std::string(1, static_cast<char>('a' + i)) + std::string(48, 'x')).c_str());
    }
    EXPECT_LT(longWords.keywordCount, 19);
    EXPECT_LE(iptcBuild(&longWords, true, UtcDate{2027, 3, 3}), 1000);
}

} // namespace
} // namespace lakra
