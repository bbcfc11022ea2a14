#include "apps/lakra/pluginResources.h"

#include "host/abi.h"

#include <cstring>
#include <utility>

namespace lakra {

namespace {

// Little-endian reads that stop at the end: every read checks what is left
// and a failed read leaves the reader failed.
struct ByteReader {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    size_t pos = 0;

    [[nodiscard]] size_t remaining() const { return size - pos; }

    [[nodiscard]] bool take(size_t count, const uint8_t** out) {
        if (count > remaining()) {
            return false;
        }
        *out = bytes + pos;
        pos += count;
        return true;
    }

    [[nodiscard]] bool u8(uint8_t* value) {
        const uint8_t* p = nullptr;
        if (!take(1, &p)) {
            return false;
        }
        *value = p[0];
        return true;
    }

    [[nodiscard]] bool u16(uint16_t* value) {
        const uint8_t* p = nullptr;
        if (!take(2, &p)) {
            return false;
        }
        *value = static_cast<uint16_t>(p[0] | (p[1] << 8));
        return true;
    }

    [[nodiscard]] bool i16(int16_t* value) {
        uint16_t raw = 0;
        if (!u16(&raw)) {
            return false;
        }
        *value = static_cast<int16_t>(raw);
        return true;
    }

    // Four-char codes are stored as little-endian words too.
    [[nodiscard]] bool u32(uint32_t* value) {
        const uint8_t* p = nullptr;
        if (!take(4, &p)) {
            return false;
        }
        *value = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                 (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
        return true;
    }

    [[nodiscard]] bool i32(int32_t* value) {
        uint32_t raw = 0;
        if (!u32(&raw)) {
            return false;
        }
        *value = static_cast<int32_t>(raw);
        return true;
    }

    // A length byte, then that many characters; no terminator, no pad.
    [[nodiscard]] bool pascalString(std::string* value) {
        uint8_t length = 0;
        const uint8_t* p = nullptr;
        if (!u8(&length) || !take(length, &p)) {
            return false;
        }
        value->assign(reinterpret_cast<const char*>(p), length);
        return true;
    }

    // Counts are int16 in these formats; a negative one is malformed.
    [[nodiscard]] bool count(int* value) {
        int16_t raw = 0;
        if (!i16(&raw) || raw < 0) {
            return false;
        }
        *value = raw;
        return true;
    }
};

// A C string inside a property's data: up to its terminator, or to the end
// of the data when the terminator is missing.
std::string cString(const uint8_t* data, size_t length) {
    const void* nul = std::memchr(data, 0, length);
    const size_t used =
        nul == nullptr ? length : static_cast<size_t>(static_cast<const uint8_t*>(nul) - data);
    return std::string(reinterpret_cast<const char*>(data), used);
}

struct SeenKeys {
    bool kind = false;
    bool name = false;
    bool category = false;
    bool version = false;
    bool entryPoint = false;
    bool terminology = false;
    bool modes = false;
    bool filterCases = false;
};

// Marks a key as seen; true the first time.
bool firstOf(bool* seen) {
    const bool first = !*seen;
    *seen = true;
    return first;
}

// Packed to 1 byte: 14 bytes of numbers, then the scope string.
bool readTerminology(ByteReader* reader, PiplTerminology* terminology) {
    if (!reader->i32(&terminology->version) || !reader->u32(&terminology->classId) ||
        !reader->u32(&terminology->eventId) || !reader->i16(&terminology->terminologyId)) {
        return false;
    }
    terminology->scope = cString(reader->bytes + reader->pos, reader->remaining());
    return true;
}

// Decodes one property of the host's own vendor into `info`. Every value is
// checked, also when an earlier property of the same key has been kept.
bool decodeProperty(uint32_t key, const uint8_t* data, size_t length, SeenKeys* seen,
                    PiplInfo* info) {
    ByteReader reader{data, length, 0};
    switch (key) {
    case fourCharCode("kind"): {
        uint32_t kind = 0;
        if (!reader.u32(&kind)) {
            return false;
        }
        if (firstOf(&seen->kind)) {
            info->kind = kind;
        }
        return true;
    }
    case fourCharCode("name"):
    case fourCharCode("catg"): {
        const bool isName = key == fourCharCode("name");
        std::string text;
        if (!reader.pascalString(&text)) {
            return false;
        }
        if (firstOf(isName ? &seen->name : &seen->category)) {
            (isName ? info->name : info->category) = std::move(text);
        }
        return true;
    }
    case fourCharCode("vers"): {
        int32_t version = 0;
        if (!reader.i32(&version)) {
            return false;
        }
        if (firstOf(&seen->version)) {
            info->interfaceVersion = version;
        }
        return true;
    }
    case fourCharCode("8664"):
        if (firstOf(&seen->entryPoint)) {
            info->entryPointX64 = cString(data, length);
        }
        return true;
    case fourCharCode("hstm"): {
        PiplTerminology terminology;
        if (!readTerminology(&reader, &terminology)) {
            return false;
        }
        if (firstOf(&seen->terminology)) {
            info->terminology = std::move(terminology);
            info->hasTerminology = true;
        }
        return true;
    }
    case fourCharCode("mode"):
        if (length == 0) {
            return false;
        }
        if (firstOf(&seen->modes)) {
            info->modeFlags.assign(data, data + length);
        }
        return true;
    case fourCharCode("enbl"):
        info->enablingConditions.push_back(cString(data, length));
        return true;
    case fourCharCode("fici"):
        if (length % 4 != 0) {
            return false;
        }
        if (firstOf(&seen->filterCases)) {
            for (size_t i = 0; i < length; i += 4) {
                info->filterCases.push_back({data[i], data[i + 1], data[i + 2], data[i + 3]});
            }
        }
        return true;
    default:
        return true; // properties we do not use
    }
}

bool readParameter(ByteReader* reader, AeteParameter* parameter) {
    return reader->pascalString(&parameter->name) && reader->u32(&parameter->key) &&
           reader->u32(&parameter->type) && reader->pascalString(&parameter->description) &&
           reader->u16(&parameter->flags);
}

bool readEvent(ByteReader* reader, AeteEvent* event) {
    int parameterCount = 0;
    if (!reader->pascalString(&event->name) || !reader->pascalString(&event->description) ||
        !reader->u32(&event->eventClass) || !reader->u32(&event->eventId) ||
        !reader->u32(&event->replyType) || !reader->pascalString(&event->replyDescription) ||
        !reader->u16(&event->replyFlags) || !reader->u32(&event->directParameterType) ||
        !reader->pascalString(&event->directParameterDescription) ||
        !reader->u16(&event->directParameterFlags) || !reader->count(&parameterCount)) {
        return false;
    }
    for (int i = 0; i < parameterCount; ++i) {
        AeteParameter parameter;
        if (!readParameter(reader, &parameter)) {
            return false;
        }
        event->parameters.push_back(std::move(parameter));
    }
    return true;
}

// A class: name, id, description, its properties, then its elements with
// their key forms. Only its well-formedness matters here.
bool skipClass(ByteReader* reader) {
    std::string text;
    uint32_t code = 0;
    uint16_t flags = 0;
    int propertyCount = 0;
    if (!reader->pascalString(&text) || !reader->u32(&code) || !reader->pascalString(&text) ||
        !reader->count(&propertyCount)) {
        return false;
    }
    for (int i = 0; i < propertyCount; ++i) {
        if (!reader->pascalString(&text) || !reader->u32(&code) || !reader->u32(&code) ||
            !reader->pascalString(&text) || !reader->u16(&flags)) {
            return false;
        }
    }
    int elementCount = 0;
    if (!reader->count(&elementCount)) {
        return false;
    }
    for (int i = 0; i < elementCount; ++i) {
        int keyFormCount = 0;
        const uint8_t* keyForms = nullptr;
        if (!reader->u32(&code) || !reader->count(&keyFormCount) ||
            !reader->take(static_cast<size_t>(keyFormCount) * 4, &keyForms)) {
            return false;
        }
    }
    return true;
}

bool skipComparison(ByteReader* reader) {
    std::string text;
    uint32_t code = 0;
    return reader->pascalString(&text) && reader->u32(&code) && reader->u32(&code) &&
           reader->pascalString(&text);
}

bool readEnumeration(ByteReader* reader, AeteEnumeration* enumeration) {
    int enumeratorCount = 0;
    if (!reader->u32(&enumeration->id) || !reader->count(&enumeratorCount)) {
        return false;
    }
    for (int i = 0; i < enumeratorCount; ++i) {
        AeteEnumerator enumerator;
        if (!reader->pascalString(&enumerator.name) || !reader->u32(&enumerator.code) ||
            !reader->pascalString(&enumerator.description)) {
            return false;
        }
        enumeration->enumerators.push_back(std::move(enumerator));
    }
    return true;
}

bool readSuite(ByteReader* reader, AeteSuite* suite) {
    int eventCount = 0;
    if (!reader->pascalString(&suite->name) || !reader->pascalString(&suite->description) ||
        !reader->u32(&suite->id) || !reader->i16(&suite->level) || !reader->i16(&suite->version) ||
        !reader->count(&eventCount)) {
        return false;
    }
    for (int i = 0; i < eventCount; ++i) {
        AeteEvent event;
        if (!readEvent(reader, &event)) {
            return false;
        }
        suite->events.push_back(std::move(event));
    }
    if (!reader->count(&suite->classCount)) {
        return false;
    }
    for (int i = 0; i < suite->classCount; ++i) {
        if (!skipClass(reader)) {
            return false;
        }
    }
    if (!reader->count(&suite->comparisonCount)) {
        return false;
    }
    for (int i = 0; i < suite->comparisonCount; ++i) {
        if (!skipComparison(reader)) {
            return false;
        }
    }
    int enumerationCount = 0;
    if (!reader->count(&enumerationCount)) {
        return false;
    }
    for (int i = 0; i < enumerationCount; ++i) {
        AeteEnumeration enumeration;
        if (!readEnumeration(reader, &enumeration)) {
            return false;
        }
        suite->enumerations.push_back(std::move(enumeration));
    }
    return true;
}

} // namespace

bool parsePipl(const uint8_t* bytes, size_t size, PiplInfo* info) {
    if (info == nullptr || (bytes == nullptr && size != 0)) {
        return false;
    }
    *info = PiplInfo{};
    ByteReader reader{bytes, size, 0};
    int32_t count = 0;
    if (!reader.i16(&info->prelude) || !reader.i32(&info->version) || !reader.i32(&count) ||
        count < 0) {
        return false;
    }
    SeenKeys seen;
    // Each property takes at least 16 bytes, so a count larger than the
    // bytes can hold fails when they run out, before anything is reserved.
    for (int32_t i = 0; i < count; ++i) {
        PiplProperty property;
        property.offset = reader.pos;
        const uint8_t* data = nullptr;
        if (!reader.u32(&property.vendor) || !reader.u32(&property.key) ||
            !reader.i32(&property.id) || !reader.i32(&property.length) || property.length < 0) {
            return false;
        }
        property.dataOffset = reader.pos;
        const auto length = static_cast<size_t>(property.length);
        if (!reader.take(length, &data)) {
            return false;
        }
        if (property.vendor == fourCharCode("8BIM") &&
            !decodeProperty(property.key, data, length, &seen, info)) {
            return false;
        }
        // The next property starts after the data rounded up to 4 bytes; a
        // writer may or may not count that padding in the length word.
        const size_t pad = (4 - length % 4) % 4;
        reader.pos += pad < reader.remaining() ? pad : reader.remaining();
        info->properties.push_back(property);
    }
    return true;
}

bool piplFilterEntry(const uint8_t* bytes, size_t size, std::string* entryName,
                     std::string* reason) {
    entryName->clear();
    PiplInfo info;
    if (!parsePipl(bytes, size, &info)) {
        *reason = "its PiPL resource is malformed";
        return false;
    }
    if (info.kind != fourCharCode("8BFM")) {
        *reason = "its PiPL describes no filter (kind '8BFM')";
        return false;
    }
    if (info.entryPointX64.empty()) {
        *reason = "its PiPL names no x64 entry point (property '8664')";
        return false;
    }
    *entryName = info.entryPointX64;
    return true;
}

bool piplSupportsMode(const PiplInfo& info, int mode) {
    if (mode < 0 || static_cast<size_t>(mode / 8) >= info.modeFlags.size()) {
        return false;
    }
    return (info.modeFlags[static_cast<size_t>(mode / 8)] & (0x80 >> (mode % 8))) != 0;
}

bool parseAete(const uint8_t* bytes, size_t size, AeteInfo* info) {
    if (info == nullptr || (bytes == nullptr && size != 0)) {
        return false;
    }
    *info = AeteInfo{};
    ByteReader reader{bytes, size, 0};
    int suiteCount = 0;
    if (!reader.i16(&info->prelude) || !reader.u8(&info->majorVersion) ||
        !reader.u8(&info->minorVersion) || !reader.i16(&info->language) ||
        !reader.i16(&info->script) || !reader.count(&suiteCount)) {
        return false;
    }
    for (int i = 0; i < suiteCount; ++i) {
        AeteSuite suite;
        if (!readSuite(&reader, &suite)) {
            return false;
        }
        info->suites.push_back(std::move(suite));
    }
    info->bytesRead = reader.pos;
    return true;
}

} // namespace lakra
