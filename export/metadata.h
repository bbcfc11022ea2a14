#pragma once

// The metadata blocks our JPEG files and PSD documents carry: an IPTC-NAA
// record wrapped as a Photoshop image resource, and a one-entry EXIF
// directory naming the software. Both builders have a sizing mode.

#include <cstddef>
#include <cstdint>

namespace lakra {

// The maker's web address, written into the COM marker and the IPTC source
// record. resources/resource.h repeats it as LAKRA_MAKER_URL for the version
// resource (the resource compiler cannot include this header): keep both equal.
inline constexpr char kMakerUrl[] = "https://kestrovane.example/lakra/";
inline constexpr char kSoftwareName[] = "Lakra";

inline constexpr size_t kMetadataBlockBytes = 1000;
inline constexpr int32_t kMaxKeywords = 19;
inline constexpr size_t kMaxKeywordChars = 49;

struct IptcBlock {
    uint8_t data[kMetadataBlockBytes];
    int32_t position = 0; // next byte to write while building
    int32_t length = 0;   // bytes of the built block, 0 before building
    bool built = false;
    int32_t keywordCount = 0;
    char keywords[kMaxKeywords][kMaxKeywordChars + 1] = {};
};

struct ExifBlock {
    uint8_t data[kMetadataBlockBytes];
    int32_t position = 0;
    int32_t length = 0;
    bool built = false;
};

struct UtcDate {
    int32_t year;
    int32_t month; // 1..12
    int32_t day;   // 1..31
};

// Today in universal time.
UtcDate utcToday();

// Refused (false) when the list is full, the keyword is empty or longer than
// 49 characters, an entry already begins with it (ignoring case), or the
// built block would no longer fit its 1000 bytes.
bool iptcAddKeyword(IptcBlock* block, const char* keyword);

// Builds the block once (a later call only returns its length). jpegPrefix
// adds "Photoshop 3.0" and a zero byte for an APP13 marker. In sizing mode
// nothing is stored and the byte count is returned.
int32_t iptcBuild(IptcBlock* block, bool jpegPrefix, const UtcDate& date, bool sizing = false);
int32_t iptcBuild(IptcBlock* block, bool jpegPrefix, bool sizing = false); // dated today

// 32 bytes, 38 with the "Exif" identifier of an APP1 marker.
int32_t exifBuild(ExifBlock* block, bool jpegPrefix, bool sizing = false);

} // namespace lakra
