#include "export/metadata.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace lakra {
namespace {

constexpr char kPhotoshopPrefix[] = "Photoshop 3.0"; // and a zero byte
constexpr char kCaption[] = "Made with Lakra";
constexpr uint8_t kIptcTag = 0x1C;
constexpr uint8_t kApplicationRecord = 2;
constexpr uint8_t kRecordVersion = 0;
constexpr uint8_t kKeywords = 25;
constexpr uint8_t kDateCreated = 55;
constexpr uint8_t kSource = 115;
constexpr uint8_t kCaptionAbstract = 120;
constexpr int32_t kRecordHeadBytes = 5;    // tag, record, dataset, 16-bit length
constexpr int32_t kResourceHeadBytes = 12; // "8BIM", id, empty name, 32-bit length

// Appends bytes, or only counts them when data is nullptr (sizing).
struct ByteSink {
    uint8_t* data;
    int32_t position;
};

void put(ByteSink* sink, const void* bytes, size_t count) {
    if (sink->data != nullptr) {
        std::memcpy(sink->data + sink->position, bytes, count);
    }
    sink->position += static_cast<int32_t>(count);
}

void putU8(ByteSink* sink, uint8_t value) {
    put(sink, &value, 1);
}

void putU16(ByteSink* sink, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    put(sink, bytes, 2);
}

void putU32(ByteSink* sink, uint32_t value) {
    putU16(sink, static_cast<uint16_t>(value >> 16));
    putU16(sink, static_cast<uint16_t>(value));
}

void putRecord(ByteSink* sink, uint8_t dataset, const void* data, size_t count) {
    putU8(sink, kIptcTag);
    putU8(sink, kApplicationRecord);
    putU8(sink, dataset);
    putU16(sink, static_cast<uint16_t>(count));
    put(sink, data, count);
}

// The records, pad byte excluded.
int32_t recordBytes(const IptcBlock& block) {
    int32_t total = kRecordHeadBytes + 2;
    total += kRecordHeadBytes + static_cast<int32_t>(std::strlen(kMakerUrl));
    total += kRecordHeadBytes + 8;
    total += kRecordHeadBytes + static_cast<int32_t>(std::strlen(kCaption));
    total += kRecordHeadBytes + static_cast<int32_t>(std::strlen(kSoftwareName));
    for (int32_t i = 0; i < block.keywordCount; ++i) {
        const size_t length = std::strlen(block.keywords[i]);
        if (length > 0) {
            total += kRecordHeadBytes + static_cast<int32_t>(length);
        }
    }
    return total;
}

int32_t iptcBytes(const IptcBlock& block, bool jpegPrefix) {
    const int32_t records = recordBytes(block);
    return (jpegPrefix ? 14 : 0) + kResourceHeadBytes + records + (records & 1);
}

bool beginsWithIgnoringCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (*text == '\0' || std::tolower(static_cast<unsigned char>(*text)) !=
                                 std::tolower(static_cast<unsigned char>(*prefix))) {
            return false;
        }
    }
    return true;
}

} // namespace

UtcDate utcToday() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
#if defined(_WIN32)
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
}

bool iptcAddKeyword(IptcBlock* block, const char* keyword) {
    if (block == nullptr || keyword == nullptr || block->keywordCount >= kMaxKeywords) {
        return false;
    }
    const size_t length = std::strlen(keyword);
    if (length == 0 || length > kMaxKeywordChars) {
        return false;
    }
    for (int32_t i = 0; i < block->keywordCount; ++i) {
        if (beginsWithIgnoringCase(block->keywords[i], keyword)) {
            return false;
        }
    }
    // Nineteen long keywords would overflow the block: refuse the one that would.
    const int32_t grown =
        iptcBytes(*block, true) + kRecordHeadBytes + static_cast<int32_t>(length) + 1;
    if (grown > static_cast<int32_t>(kMetadataBlockBytes)) {
        return false;
    }
    std::memcpy(block->keywords[block->keywordCount], keyword, length + 1);
    ++block->keywordCount;
    return true;
}

int32_t iptcBuild(IptcBlock* block, bool jpegPrefix, const UtcDate& date, bool sizing) {
    if (block == nullptr) {
        return 0;
    }
    if (block->built) {
        return block->length;
    }
    if (sizing) {
        return iptcBytes(*block, jpegPrefix);
    }
    ByteSink sink{block->data, 0};
    if (jpegPrefix) {
        put(&sink, kPhotoshopPrefix, sizeof kPhotoshopPrefix); // with its zero byte
    }
    const int32_t records = recordBytes(*block);
    put(&sink, "8BIM", 4);
    putU16(&sink, 1028);
    putU16(&sink, 0); // empty name
    putU32(&sink, static_cast<uint32_t>(records + (records & 1)));
    const uint8_t version[2] = {0, 2};
    putRecord(&sink, kRecordVersion, version, sizeof version);
    putRecord(&sink, kSource, kMakerUrl, std::strlen(kMakerUrl));
    char dateText[16];
    std::snprintf(dateText, sizeof dateText, "%04d%02d%02d", static_cast<int>(date.year % 10000),
                  static_cast<int>(date.month % 100), static_cast<int>(date.day % 100));
    putRecord(&sink, kDateCreated, dateText, 8);
    putRecord(&sink, kCaptionAbstract, kCaption, std::strlen(kCaption));
    putRecord(&sink, kKeywords, kSoftwareName, std::strlen(kSoftwareName));
    for (int32_t i = 0; i < block->keywordCount; ++i) {
        const size_t length = std::strlen(block->keywords[i]);
        if (length > 0) {
            putRecord(&sink, kKeywords, block->keywords[i], length);
        }
    }
    if ((records & 1) != 0) {
        putU8(&sink, 0);
    }
    block->position = sink.position;
    block->length = sink.position;
    block->built = true;
    return block->length;
}

int32_t iptcBuild(IptcBlock* block, bool jpegPrefix, bool sizing) {
    return iptcBuild(block, jpegPrefix, utcToday(), sizing);
}

int32_t exifBuild(ExifBlock* block, bool jpegPrefix, bool sizing) {
    if (block == nullptr) {
        return 0;
    }
    if (block->built) {
        return block->length;
    }
    ByteSink sink{sizing ? nullptr : block->data, 0};
    if (jpegPrefix) {
        const uint8_t identifier[6] = {'E', 'x', 'i', 'f', 0, 0};
        put(&sink, identifier, sizeof identifier);
    }
    put(&sink, "MM", 2);
    putU16(&sink, 42);
    putU32(&sink, 8); // the directory follows the header
    putU16(&sink, 1);
    putU16(&sink, 0x0131); // software
    putU16(&sink, 2);      // ASCII
    putU32(&sink, static_cast<uint32_t>(sizeof kSoftwareName));
    putU32(&sink, 26); // the name follows the directory
    putU32(&sink, 0);  // no next directory
    put(&sink, kSoftwareName, sizeof kSoftwareName);
    if (!sizing) {
        block->position = sink.position;
        block->length = sink.position;
        block->built = true;
    }
    return sink.position;
}

} // namespace lakra
