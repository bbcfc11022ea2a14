#pragma once

// Readers for the two resources that describe a filter to its host: the
// property list (PiPL), which the command-line host reads before it calls a
// module loaded by path, and the scripting terminology (AETE), in their
// Windows binary forms. They read any bytes safely: nothing past the end is touched,
// and malformed input is refused.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lakra {

// Both resources carry this id; the PiPL's terminology property names it.
inline constexpr int kPiplResourceId = 16000;
inline constexpr int kTerminologyResourceId = 16000;

// One property as stored: the record header and where its data lies.
struct PiplProperty {
    uint32_t vendor = 0; // four-char code, e.g. '8BIM'
    uint32_t key = 0;    // four-char code, e.g. 'kind'
    int32_t id = 0;
    int32_t length = 0;    // the length word as written (may include padding)
    size_t offset = 0;     // of the property record within the resource
    size_t dataOffset = 0; // of its data: offset + 16
};

struct PiplTerminology {
    int32_t version = 0;
    uint32_t classId = 0;
    uint32_t eventId = 0;
    int16_t terminologyId = 0;
    std::string scope;
};

// Filter-case information for one of the seven cases.
struct FilterCaseInfo {
    uint8_t inputHandling = 0;
    uint8_t outputHandling = 0;
    uint8_t flags1 = 0;
    uint8_t flags2 = 0;
};

// The values of the properties a filter uses. A property that appears more
// than once keeps its first value, except the enabling conditions, which are
// all kept.
struct PiplInfo {
    int16_t prelude = 0; // 1 on Windows
    int32_t version = 0;
    std::vector<PiplProperty> properties; // all of them, in order
    uint32_t kind = 0;
    std::string name;             // menu entry
    std::string category;         // menu category
    int32_t interfaceVersion = 0; // (major << 16) | minor
    std::string entryPointX64;
    bool hasTerminology = false;
    PiplTerminology terminology;
    std::vector<uint8_t>
        modeFlags; // most significant bit first: mode n is bit 7 - n % 8 of byte n / 8
    std::vector<std::string> enablingConditions;
    std::vector<FilterCaseInfo> filterCases; // case 1 first
};

// False for malformed bytes (counts, lengths or strings that run past the
// end, negative lengths, a property value too short for its key); the
// record is then unspecified.
[[nodiscard]] bool parsePipl(const uint8_t* bytes, size_t size, PiplInfo* info);

// Whether image mode n (plugInModeBitmap = 0 ...) is in a mode flag set.
[[nodiscard]] bool piplSupportsMode(const PiplInfo& info, int mode);

// What a host reads in a module's property list before it calls the module:
// the name of the entry point for this architecture (x64), for a module that
// is a filter. False, with the reason, for malformed bytes, another kind of
// plug-in or a list without an x64 entry point.
[[nodiscard]] bool piplFilterEntry(const uint8_t* bytes, size_t size, std::string* entryName,
                                   std::string* reason);

struct AeteParameter {
    std::string name;
    uint32_t key = 0;
    uint32_t type = 0;
    std::string description;
    uint16_t flags = 0;
};

struct AeteEvent {
    std::string name;
    std::string description;
    uint32_t eventClass = 0;
    uint32_t eventId = 0;
    uint32_t replyType = 0;
    std::string replyDescription;
    uint16_t replyFlags = 0;
    uint32_t directParameterType = 0;
    std::string directParameterDescription;
    uint16_t directParameterFlags = 0;
    std::vector<AeteParameter> parameters;
};

struct AeteEnumerator {
    std::string name;
    uint32_t code = 0;
    std::string description;
};

struct AeteEnumeration {
    uint32_t id = 0;
    std::vector<AeteEnumerator> enumerators;
};

// Classes and comparison operators are read past and only counted.
struct AeteSuite {
    std::string name;
    std::string description;
    uint32_t id = 0;
    int16_t level = 0;
    int16_t version = 0;
    std::vector<AeteEvent> events;
    int classCount = 0;
    int comparisonCount = 0;
    std::vector<AeteEnumeration> enumerations;
};

struct AeteInfo {
    int16_t prelude = 0; // 1 on Windows
    uint8_t majorVersion = 0;
    uint8_t minorVersion = 0;
    int16_t language = 0;
    int16_t script = 0;
    std::vector<AeteSuite> suites;
    size_t bytesRead = 0; // the terminology's end; bytes after it are ignored
};

// The Windows form: a 2-byte prelude, little-endian numbers, four-char codes
// as little-endian words, Pascal strings with no alignment pad after them.
// False for malformed bytes, as parsePipl.
[[nodiscard]] bool parseAete(const uint8_t* bytes, size_t size, AeteInfo* info);

} // namespace lakra
