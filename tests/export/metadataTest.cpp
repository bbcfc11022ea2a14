#include "export/metadata.h"

#include <cstring>
#include <gtest/gtest.h>
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

TEST(IptcBlock, HoldsTheInjectedUniversalDateAndRecordsInOrder) {
    IptcBlock block;
    const UtcDate date{2027, 3, 3};
    const int32_t sized = iptcBuild(&block, true, date, true);
    ASSERT_EQ(iptcBuild(&block, true, date), sized);
    const std::string text = blockText(block);
    EXPECT_EQ(text.compare(0, 14, bytes("Photoshop 3.0\0")), 0);
    EXPECT_EQ(text.compare(14, 8, bytes("8BIM\x04\x04\0\0")), 0);
    const size_t version = text.find(bytes("\x1c\x02\x00\x00\x02\x00\x02"));
    const size_t source =
        text.find(bytes("\x1c\x02\x73\x00") + static_cast<char>(sizeof kMakerUrl - 1) + kMakerUrl);
    const size_t dated = text.find(bytes("\x1c\x02\x37\x00\x08") + "20270303");
    const size_t caption = text.find(bytes("\x1c\x02\x78\x00\x0fMade with Lakra"));
    const size_t keyword = text.find(bytes("\x1c\x02\x19\x00\x05Lakra"));
    EXPECT_EQ(version, 26u);
    EXPECT_LT(version, source);
    EXPECT_LT(source, dated);
    EXPECT_LT(dated, caption);
    EXPECT_LT(caption, keyword);
    EXPECT_NE(keyword, std::string::npos);
}

TEST(IptcBlock, LengthFieldCountsTheRecordsAndTheirPad) {
    for (const char* extra : {"HDR", "HDRs"}) { // an odd and an even total
        IptcBlock block;
        ASSERT_TRUE(iptcAddKeyword(&block, extra));
        const int32_t length = iptcBuild(&block, false, UtcDate{2027, 3, 3});
        EXPECT_EQ(length % 2, 0) << extra;
        const uint32_t recordBytes = (uint32_t{block.data[8]} << 24) |
                                     (uint32_t{block.data[9]} << 16) |
                                     (uint32_t{block.data[10]} << 8) | block.data[11];
        EXPECT_EQ(recordBytes + 12, static_cast<uint32_t>(length)) << extra;
    }
}

TEST(IptcBlock, IsBuiltOnlyOnce) {
    IptcBlock block;
    const int32_t first = iptcBuild(&block, false, UtcDate{2027, 3, 3});
    EXPECT_TRUE(iptcAddKeyword(&block, "later"));
    EXPECT_EQ(iptcBuild(&block, true, UtcDate{2030, 1, 1}), first);
    EXPECT_EQ(blockText(block).find("2030"), std::string::npos);
}

TEST(IptcKeywords, RefusesWhatAnEntryAlreadyBeginsWith) {
    IptcBlock block;
    EXPECT_TRUE(iptcAddKeyword(&block, "high dynamic range"));
    EXPECT_FALSE(iptcAddKeyword(&block, "high"));
    EXPECT_FALSE(iptcAddKeyword(&block, "HIGH dyn"));
    EXPECT_TRUE(iptcAddKeyword(&block, "dynamic"));
    EXPECT_FALSE(iptcAddKeyword(&block, ""));
    EXPECT_FALSE(iptcAddKeyword(&block, std::string(50, 'k').c_str()));
    EXPECT_TRUE(iptcAddKeyword(&block, std::string(49, 'k').c_str()));
    EXPECT_EQ(block.keywordCount, 3);
}

TEST(IptcKeywords, StopsAtNineteenAndNeverOverflowsTheBlock) {
    IptcBlock shortWords;
    for (int i = 0; i < 19; ++i) {
        EXPECT_TRUE(
            iptcAddKeyword(&shortWords, std::string(1, static_cast<char>('a' + i)).c_str()));
    }
    EXPECT_FALSE(iptcAddKeyword(&shortWords, "z"));

    IptcBlock longWords;
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
