#include "host/lookFields.h"

namespace lakra {

namespace {

using S = Settings;

// The fields in declared order: key, term, name, color, integer, real, exact,
// meaning, script, option.
constexpr LookField color(const char* key, const char* term, const char* name, uint16_t S::*field,
                          OptionKind option, const char* meaning) {
    return {key, term, name, field, nullptr, nullptr, nullptr, meaning, ScriptKind::Color, option};
}

constexpr LookField exactColor(const char* key, const char* name, uint16_t S::*field) {
    return {key,
            nullptr,
            name,
            field,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            ScriptKind::ExactColor,
            OptionKind::None};
}

constexpr LookField slider(const char* key, const char* term, const char* name, int32_t S::*field,
                           const char* meaning) {
    return {key,
            term,
            name,
            nullptr,
            field,
            nullptr,
            nullptr,
            meaning,
            ScriptKind::Integer,
            OptionKind::Slider};
}

constexpr LookField percent(const char* key, const char* term, const char* name, int32_t S::*field,
                            float S::*exact, const char* meaning) {
    return {key,
            term,
            name,
            nullptr,
            field,
            nullptr,
            exact,
            meaning,
            ScriptKind::Integer,
            OptionKind::Percent};
}

constexpr LookField seed(const char* key, const char* term, const char* name, int32_t S::*field,
                         const char* meaning) {
    return {key,
            term,
            name,
            nullptr,
            field,
            nullptr,
            nullptr,
            meaning,
            ScriptKind::Integer,
            OptionKind::Seed};
}

constexpr LookField glue(const char* key, const char* term, const char* name, int32_t S::*field,
                         const char* meaning) {
    return {key,     term,    name,    nullptr,          field,
            nullptr, nullptr, meaning, ScriptKind::Glue, OptionKind::Glue};
}

constexpr LookField real(const char* key, const char* term, const char* name, float S::*field,
                         OptionKind option, const char* meaning) {
    return {key, term, name, nullptr, nullptr, field, nullptr, meaning, ScriptKind::Real, option};
}

// scripts/genResources.py reads the terminology from the rows below: the
// maker function (its descriptor type), the key and the terminology name. Keep
// one maker call per row, its first two arguments plain string literals.
// clang-format off
constexpr LookField kLookFields[kLookFieldCount] = {
    color("0001", "water red", "waterRed", &S::waterRed, OptionKind::Color,
          "#rrggbb or r,g,b (0..255 each)"),
    color("0002", "water green", "waterGreen", &S::waterGreen, OptionKind::None, nullptr),
    color("0003", "water blue", "waterBlue", &S::waterBlue, OptionKind::None, nullptr),
    slider("0004", "ripple height", "rippleHeight", &S::rippleHeight,
           "strength of the ring ripples"),
    percent("0005", "horizon", "horizon", &S::horizon, &S::horizonFloat,
            "horizon line, percent of the height from the top"),
    slider("0006", "perspective", "perspective", &S::perspective, "widening of the water plane"),
    slider("0007", "ripple undulation", "undulation", &S::undulation, "rings in a ring ripple"),
    slider("0008", "ripple size", "rippleSize", &S::rippleSize,
           "radius of the ring ripples (0: none)"),
    percent("0009", "offset", "offset", &S::offset, &S::offsetFloat,
            "water line, percent of the way from the horizon to the bottom"),
    slider("0010", "waviness", "waviness", &S::waviness, "amplitude of the waves"),
    slider("0011", "blur", "blur", &S::blur, "growth of the blur with distance"),
    slider("0012", "complexity", "complexity", &S::complexity, "detail of the waves"),
    slider("0013", "altitude", "altitude", &S::altitude, "height of the eye above the water"),
    glue("GLUE", "glue", "glue", &S::glue, "blend mode: 1..63, GL01..GL63 or a name (lakra modes)"),
    slider("0015", "brilliance", "brilliance", &S::brilliance,
           "share of the mirror against the water colour"),
    seed("0016", "random seed", "randomSeed", &S::randomSeed,
         "moves the waves (low 8 bits) and the rings"),
    real("0017", "X center", "xCenter", &S::xCenter, OptionKind::Fraction,
         "ring centre, fraction of the width"),
    real("0018", "Y center", "yCenter", &S::yCenter, OptionKind::Fraction,
         "ring centre, fraction of the height"),
    real("0019", "horizon float", "horizonFloat", &S::horizonFloat, OptionKind::None, nullptr),
    real("0020", "offset float", "offsetFloat", &S::offsetFloat, OptionKind::None, nullptr),
    exactColor("WR16", "waterRed16", &S::waterRed),
    exactColor("WG16", "waterGreen16", &S::waterGreen),
    exactColor("WB16", "waterBlue16", &S::waterBlue),
};
// clang-format on

} // namespace

const LookField* lookFields() {
    return kLookFields;
}

const LookField* lookFieldOfKey(DescriptorKeyID key) {
    for (const LookField& field : kLookFields) {
        if (lookKey(field) == key) {
            return &field;
        }
    }
    return nullptr;
}

const char* lookOptionName(const LookField& field) {
    return field.option == OptionKind::Color ? "waterColor" : field.name;
}

} // namespace lakra
