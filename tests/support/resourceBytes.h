#pragma once

// Plug-in resources built byte by byte in their Windows forms: little-endian
// numbers, four-char codes as little-endian words, Pascal strings.

#include "host/abi.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lakra::testing {

struct ResourceBytes {
    std::vector<uint8_t> data;

    ResourceBytes& u8(unsigned value) {
        data.push_back(static_cast<uint8_t>(value));
        return *this;
    }

    ResourceBytes& u16(unsigned value) { return u8(value & 0xFF).u8(value >> 8); }

    ResourceBytes& u32(uint32_t value) { return u16(value & 0xFFFF).u16(value >> 16); }

    ResourceBytes& code(const char (&chars)[5]) { return u32(fourCharCode(chars)); }

    ResourceBytes& text(std::string_view chars) {
        data.insert(data.end(), chars.begin(), chars.end());
        return *this;
    }

    ResourceBytes& pascalString(std::string_view chars) {
        return u8(static_cast<unsigned>(chars.size())).text(chars);
    }

    ResourceBytes& append(const ResourceBytes& more) {
        data.insert(data.end(), more.data.begin(), more.data.end());
        return *this;
    }
};

// A property record of the PiPL; its length word counts the padding when asked to.
inline void addProperty(ResourceBytes* pipl, const char (&key)[5], const ResourceBytes& value,
                        bool roundedLength, const char (&vendor)[5] = "8BIM") {
    const size_t padded = (value.data.size() + 3) & ~size_t{3};
    pipl->code(vendor).code(key).u32(0);
    pipl->u32(static_cast<uint32_t>(roundedLength ? padded : value.data.size()));
    pipl->append(value);
    pipl->data.resize(pipl->data.size() + padded - value.data.size(), 0);
}

} // namespace lakra::testing
