#pragma once

// The look fields as the outside world sees them: their scripting keys and
// terminology names, their Settings fields and how the command line sets
// them. Scripting, the command line, the record and preset listings and the
// terminology generator (scripts/genResources.py reads lookFields.cpp) all
// derive from this one table.

#include "host/abi.h"
#include "render/settings.h"

#include <cstdint>

namespace lakra {

// How a descriptor carries the field.
enum class ScriptKind : uint8_t {
    Color,      // the high byte of a 16-bit channel, as an integer 0..255
    ExactColor, // the whole 16-bit channel, as an integer 0..65535
    Integer,    // as is
    Glue,       // enumeration "GLty", "GL01" .. "GL63"
    Real,       // double in the descriptor, float in Settings
};

// How the command line's --set NAME=VALUE sets it. Fields with None travel
// with another field's option (the colour channels, the exact colour).
enum class OptionKind : uint8_t {
    None,
    Slider,   // whole number 0..100
    Seed,     // any 32-bit whole number
    Percent,  // 0..100 with a fraction, kept in `exact` with its truncated copy
    Fraction, // 0..1
    Color,    // #rrggbb or r,g,b, all three channels
    Glue,     // a blend mode by number, code or name
};

struct LookField {
    const char* key;  // descriptor key, four characters
    const char* term; // terminology name; null for keys the terminology does not list
    const char* name; // record name: the Settings field, or the field with a suffix
    uint16_t Settings::*color;
    int32_t Settings::*integer;
    float Settings::*real;
    float Settings::*exact; // a Percent option's float; `integer` holds its truncated copy
    const char* meaning;    // for --help
    ScriptKind script;
    OptionKind option;
};

// The terminology's twenty parameters in key order ("0001" .. "0020", "GLUE"
// in fourteenth place), then the exact water colour, a key set of our own
// that old actions lack.
inline constexpr int32_t kScriptKeyCount = 20;
inline constexpr int32_t kLookFieldCount = kScriptKeyCount + 3;

[[nodiscard]] const LookField* lookFields(); // kLookFieldCount entries

[[nodiscard]] constexpr DescriptorKeyID lookKey(const LookField& field) {
    return static_cast<DescriptorKeyID>(static_cast<uint8_t>(field.key[0])) << 24 |
           static_cast<DescriptorKeyID>(static_cast<uint8_t>(field.key[1])) << 16 |
           static_cast<DescriptorKeyID>(static_cast<uint8_t>(field.key[2])) << 8 |
           static_cast<DescriptorKeyID>(static_cast<uint8_t>(field.key[3]));
}

[[nodiscard]] const LookField* lookFieldOfKey(DescriptorKeyID key); // or null

// The command-line name of an option field: its Settings field, but
// "horizon" and "offset" for the percentages and "waterColor" for the colour.
[[nodiscard]] const char* lookOptionName(const LookField& field);

} // namespace lakra
