#include "blend/glueModes.h"

namespace lakra {

namespace {

// clang-format off
constexpr const char* kGlueNames[kLastGlue + 1] = {
    "",
    "normal",       "procedural +", "procedural -", "difference",   "lighten",
    "darken",       "add",          "subtract",     "multiply",     "screen",
    "hard light",   "overlay",      "superlay",     "exclusion",    "color",
    "luminance",    "linear light", "pin light",    "spin light",   "vivid a",
    "vivid b",      "saturation",   "hue",          "similarity",   "cross",
    "hard diff",    "soft light",   "bright",       "dim",          "dodge",
    "burn",         "ace",          "king",         "queen",        "jack",
    "and",          "or",           "xor",          "multibright",  "hot",
    "cold",         "wet",          "dry",          "up",           "down",
    "wax",          "wane",         "north",        "south",        "east",
    "west",         "hard mix",     "frontal",      "parietal",     "temporal",
    "occipital",    "limbic",       "dextrous",     "sinister",     "anterior",
    "posterior",    "screendim",    "starbright",
};
// clang-format on

} // namespace

const char* glueName(int32_t glue) {
    return glueIsValid(glue) ? kGlueNames[glue] : "";
}

const char* glueTerminologyName(int32_t glue) {
    if (!glueIsValid(glue) || glue == glueNumber(GlueMode::Anterior) ||
        glue == glueNumber(GlueMode::Posterior)) {
        return nullptr;
    }
    // The terminology keeps the mode's older name.
    if (glue == glueNumber(GlueMode::HardDiff)) {
        return "harsh diff";
    }
    return kGlueNames[glue];
}

uint32_t glueCode(int32_t glue) {
    if (!glueIsValid(glue)) {
        return kGlueNoCode;
    }
    return glueFourCharCode('G', 'L', static_cast<char>('0' + glue / 10),
                            static_cast<char>('0' + glue % 10));
}

int32_t glueFromCode(uint32_t code) {
    if ((code >> 16) != (glueFourCharCode('G', 'L', 0, 0) >> 16)) {
        return 0;
    }
    const uint32_t tens = ((code >> 8) & 0xFFu) - '0';
    const uint32_t units = (code & 0xFFu) - '0';
    if (tens > 9 || units > 9) {
        return 0;
    }
    const int32_t glue = static_cast<int32_t>(tens * 10 + units);
    return glueIsValid(glue) ? glue : 0;
}

} // namespace lakra
