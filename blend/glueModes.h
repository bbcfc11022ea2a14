#pragma once

// The catalogue of blend modes ("glues"): numbers, names and the scripting
// codes of the host's enumeration "GLty".

#include <cstdint>

namespace lakra {

// A glue number as Settings stores it. Values outside 1..63 blend as Normal.
enum class GlueMode : int32_t {
    Normal = 1,
    ProceduralPlus,
    ProceduralMinus,
    Difference,
    Lighten,
    Darken,
    Add,
    Subtract,
    Multiply,
    Screen,
    HardLight,
    Overlay,
    Superlay,
    Exclusion,
    Color,
    Luminance,
    LinearLight,
    PinLight,
    SpinLight,
    VividA,
    VividB,
    Saturation,
    Hue,
    Similarity,
    Cross,
    HardDiff,
    SoftLight,
    Bright,
    Dim,
    Dodge,
    Burn,
    Ace,
    King,
    Queen,
    Jack,
    And,
    Or,
    Xor,
    Multibright,
    Hot,
    Cold,
    Wet,
    Dry,
    Up,
    Down,
    Wax,
    Wane,
    North,
    South,
    East,
    West,
    HardMix,
    Frontal,
    Parietal,
    Temporal,
    Occipital,
    Limbic,
    Dextrous,
    Sinister,
    Anterior,
    Posterior,
    Screendim,
    Starbright,
};

inline constexpr int32_t kFirstGlue = 1;
inline constexpr int32_t kLastGlue = 63;

inline constexpr int32_t glueNumber(GlueMode mode) {
    return static_cast<int32_t>(mode);
}

inline constexpr bool glueIsValid(int32_t glue) {
    return glue >= kFirstGlue && glue <= kLastGlue;
}

// Four-character codes hold their first character in the most significant byte.
inline constexpr uint32_t glueFourCharCode(char a, char b, char c, char d) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(d));
}

// The host's enumeration type of glue codes, and the code written for a glue
// number that names no mode.
inline constexpr uint32_t kGlueEnumType = glueFourCharCode('G', 'L', 't', 'y');
inline constexpr uint32_t kGlueNoCode = glueFourCharCode('<', 'N', 'O', '>');

// "normal" .. "starbright"; the empty string outside 1..63. Never null.
const char* glueName(int32_t glue);

// The name in the scripting terminology: the catalogue name, but "harsh diff"
// for HardDiff. Null for the modes the terminology leaves out (Anterior and
// Posterior) and outside 1..63.
const char* glueTerminologyName(int32_t glue);

// "GL01" .. "GL63" for 1..63, kGlueNoCode otherwise.
uint32_t glueCode(int32_t glue);

// 1..63 for "GL01" .. "GL63"; 0 (no mode) for every other code.
int32_t glueFromCode(uint32_t code);

} // namespace lakra
