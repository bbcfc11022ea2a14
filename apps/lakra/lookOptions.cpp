#include "apps/lakra/lookOptions.h"

#include "blend/glueModes.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace lakra {

namespace {

enum class Kind : uint8_t {
    Slider,   // whole number 0..100
    Seed,     // any 32-bit whole number
    Percent,  // 0..100 with a fraction, stored with its truncated copy
    Fraction, // 0..1
    Color,    // #rrggbb or r,g,b
    Glue,     // a blend mode
};

struct Field {
    const char* name;
    Kind kind;
    int32_t Settings::*integer;
    float Settings::*real;
    void (*setPercent)(Settings*, float);
    const char* meaning;
};

constexpr Field slider(const char* name, int32_t Settings::*field, const char* meaning) {
    return {name, Kind::Slider, field, nullptr, nullptr, meaning};
}

// clang-format off
constexpr Field kFields[] = {
    slider("rippleHeight", &Settings::rippleHeight, "strength of the ring ripples"),
    {"horizon", Kind::Percent, nullptr, &Settings::horizonFloat, setHorizon,
     "horizon line, percent of the height from the top"},
    slider("perspective", &Settings::perspective, "widening of the water plane"),
    slider("undulation", &Settings::undulation, "rings in a ring ripple"),
    slider("rippleSize", &Settings::rippleSize, "radius of the ring ripples (0: none)"),
    {"offset", Kind::Percent, nullptr, &Settings::offsetFloat, setOffset,
     "water line, percent of the way from the horizon to the bottom"},
    slider("waviness", &Settings::waviness, "amplitude of the waves"),
    slider("blur", &Settings::blur, "growth of the blur with distance"),
    slider("complexity", &Settings::complexity, "detail of the waves"),
    slider("altitude", &Settings::altitude, "height of the eye above the water"),
    slider("brilliance", &Settings::brilliance, "share of the mirror against the water colour"),
    {"randomSeed", Kind::Seed, &Settings::randomSeed, nullptr, nullptr,
     "moves the waves (low 8 bits) and the rings"},
    {"xCenter", Kind::Fraction, nullptr, &Settings::xCenter, nullptr,
     "ring centre, fraction of the width"},
    {"yCenter", Kind::Fraction, nullptr, &Settings::yCenter, nullptr,
     "ring centre, fraction of the height"},
    {"waterColor", Kind::Color, nullptr, nullptr, nullptr, "#rrggbb or r,g,b (0..255 each)"},
    {"glue", Kind::Glue, &Settings::glue, nullptr, nullptr,
     "blend mode: 1..63, GL01..GL63 or a name (lakra modes)"},
};

struct KeyField {
    DescriptorKeyID key;
    const char* field;
};

constexpr KeyField kKeyFields[] = {
    {fourCharCode("Vers"), "formatVersion"}, {fourCharCode("0001"), "waterRed"},
    {fourCharCode("0002"), "waterGreen"},    {fourCharCode("0003"), "waterBlue"},
    {fourCharCode("0004"), "rippleHeight"},  {fourCharCode("0005"), "horizon"},
    {fourCharCode("0006"), "perspective"},   {fourCharCode("0007"), "undulation"},
    {fourCharCode("0008"), "rippleSize"},    {fourCharCode("0009"), "offset"},
    {fourCharCode("0010"), "waviness"},      {fourCharCode("0011"), "blur"},
    {fourCharCode("0012"), "complexity"},    {fourCharCode("0013"), "altitude"},
    {fourCharCode("GLUE"), "glue"},          {fourCharCode("0015"), "brilliance"},
    {fourCharCode("0016"), "randomSeed"},    {fourCharCode("0017"), "xCenter"},
    {fourCharCode("0018"), "yCenter"},       {fourCharCode("0019"), "horizonFloat"},
    {fourCharCode("0020"), "offsetFloat"},
};

// clang-format on

bool parseInteger(const std::string& text, int64_t* value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) != 0) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0) {
        return false;
    }
    *value = parsed;
    return true;
}

bool parseNumber(const std::string& text, double* value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) != 0) {
        return false;
    }
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(parsed)) {
        return false;
    }
    *value = parsed;
    return true;
}

bool parseColor(const std::string& text, int32_t rgb[3]) {
    if (text.size() == 7 && text[0] == '#') {
        for (int i = 0; i < 3; ++i) {
            const std::string pair = text.substr(1 + 2 * static_cast<size_t>(i), 2);
            if (std::isxdigit(static_cast<unsigned char>(pair[0])) == 0 ||
                std::isxdigit(static_cast<unsigned char>(pair[1])) == 0) {
                return false;
            }
            rgb[i] = static_cast<int32_t>(std::strtol(pair.c_str(), nullptr, 16));
        }
        return true;
    }
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t comma = text.find(',', start);
        if ((i < 2) != (comma != std::string::npos)) {
            return false;
        }
        int64_t value = 0;
        if (!parseInteger(text.substr(start, comma - start), &value) || value < 0 || value > 255) {
            return false;
        }
        rgb[i] = static_cast<int32_t>(value);
        start = comma + 1;
    }
    return true;
}

std::string normalizedName(const std::string& text) {
    std::string name;
    for (const char c : text) {
        name += (c == '-' || c == '_')
                    ? ' '
                    : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

std::string knownNames() {
    std::string names;
    for (const Field& field : kFields) {
        names += names.empty() ? "" : ", ";
        names += field.name;
    }
    return names;
}

bool applyField(const Field& field, const std::string& value, Settings* look, std::string* error) {
    const std::string quoted = "'" + value + "'";
    int64_t whole = 0;
    double number = 0.0;
    switch (field.kind) {
    case Kind::Slider:
        if (!parseInteger(value, &whole) || whole < 0 || whole > 100) {
            *error =
                std::string(field.name) + " must be a whole number from 0 to 100, not " + quoted;
            return false;
        }
        look->*field.integer = static_cast<int32_t>(whole);
        return true;
    case Kind::Seed:
        if (!parseInteger(value, &whole) || whole < INT32_MIN || whole > INT32_MAX) {
            *error = std::string(field.name) + " must be a 32-bit whole number, not " + quoted;
            return false;
        }
        look->*field.integer = static_cast<int32_t>(whole);
        return true;
    case Kind::Percent:
        if (!parseNumber(value, &number) || number < 0.0 || number > 100.0) {
            *error = std::string(field.name) + " must be a number from 0 to 100, not " + quoted;
            return false;
        }
        field.setPercent(look, static_cast<float>(number));
        return true;
    case Kind::Fraction:
        if (!parseNumber(value, &number) || number < 0.0 || number > 1.0) {
            *error = std::string(field.name) + " must be a number from 0 to 1, not " + quoted;
            return false;
        }
        look->*field.real = static_cast<float>(number);
        return true;
    case Kind::Color: {
        int32_t rgb[3] = {};
        if (!parseColor(value, rgb)) {
            *error = std::string(field.name) +
                     " must be #rrggbb or r,g,b with each part from 0 to 255, not " + quoted;
            return false;
        }
        // 0..255 becomes the 16-bit channel whose high byte it is.
        look->waterRed = static_cast<uint16_t>(rgb[0] * 257);
        look->waterGreen = static_cast<uint16_t>(rgb[1] * 257);
        look->waterBlue = static_cast<uint16_t>(rgb[2] * 257);
        return true;
    }
    case Kind::Glue:
        return lookSetGlue(look, value, error);
    }
    return false;
}

} // namespace

bool lookSet(Settings* look, const std::string& assignment, std::string* error) {
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) {
        *error = "--set expects NAME=VALUE, not '" + assignment + "'";
        return false;
    }
    const std::string name = assignment.substr(0, equals);
    for (const Field& field : kFields) {
        if (name == field.name) {
            return applyField(field, assignment.substr(equals + 1), look, error);
        }
    }
    *error = "unknown look field '" + name + "' (known: " + knownNames() + ")";
    return false;
}

bool lookSetGlue(Settings* look, const std::string& value, std::string* error) {
    int64_t number = 0;
    char code[5] = {};
    value.copy(code, 4);
    if (parseInteger(value, &number)) {
        if (number >= kFirstGlue && number <= kLastGlue) {
            look->glue = static_cast<int32_t>(number);
            return true;
        }
    } else if (value.size() == 4 && glueFromCode(fourCharCode(code)) != 0) {
        look->glue = glueFromCode(fourCharCode(code));
        return true;
    } else {
        const std::string name = normalizedName(value);
        for (int32_t glue = kFirstGlue; glue <= kLastGlue; ++glue) {
            const char* alias = glueTerminologyName(glue);
            if (name == glueName(glue) || (alias != nullptr && name == alias)) {
                look->glue = glue;
                return true;
            }
        }
    }
    *error = "unknown blend mode '" + value +
             "': give a number from 1 to 63, a code GL01 to GL63 or a name that "
             "'lakra modes' lists";
    return false;
}

Descriptor lookDescriptor(const Settings& look) {
    const int32_t colors[3] = {look.waterRed >> 8, look.waterGreen >> 8, look.waterBlue >> 8};
    const int32_t integers[] = {colors[0],    colors[1],        colors[2],       look.rippleHeight,
                                look.horizon, look.perspective, look.undulation, look.rippleSize,
                                look.offset,  look.waviness,    look.blur,       look.complexity,
                                look.altitude};
    const double reals[] = {look.xCenter, look.yCenter, look.horizonFloat, look.offsetFloat};
    Descriptor descriptor;
    descriptor.push_back(integerValue(kKeyFields[0].key, kSettingsFormatVersion));
    size_t next = 1;
    for (const int32_t value : integers) {
        descriptor.push_back(integerValue(kKeyFields[next++].key, value));
    }
    descriptor.push_back(enumValue(kKeyFields[next++].key, kGlueEnumType, glueCode(look.glue)));
    descriptor.push_back(integerValue(kKeyFields[next++].key, look.brilliance));
    descriptor.push_back(integerValue(kKeyFields[next++].key, look.randomSeed));
    for (const double value : reals) {
        descriptor.push_back(floatValue(kKeyFields[next++].key, value));
    }
    return descriptor;
}

const char* lookFieldOfKey(DescriptorKeyID key) {
    for (const KeyField& entry : kKeyFields) {
        if (entry.key == key) {
            return entry.field;
        }
    }
    return nullptr;
}

std::string lookFieldsHelp() {
    Settings defaults{};
    settingsFresh(&defaults);
    std::string help;
    char line[200];
    for (const Field& field : kFields) {
        std::string range;
        switch (field.kind) {
        case Kind::Slider:
            range = "0..100, default " + std::to_string(defaults.*field.integer);
            break;
        case Kind::Seed:
            range = "whole number, default " + std::to_string(defaults.*field.integer);
            break;
        case Kind::Percent:
        case Kind::Fraction: {
            char value[32];
            static_cast<void>(std::snprintf(value, sizeof(value), "%g",
                                            static_cast<double>(defaults.*field.real)));
            range =
                std::string(field.kind == Kind::Percent ? "0..100" : "0..1") + ", default " + value;
            break;
        }
        case Kind::Color: {
            char value[16];
            static_cast<void>(std::snprintf(value, sizeof(value), "#%02x%02x%02x",
                                            defaults.waterRed >> 8, defaults.waterGreen >> 8,
                                            defaults.waterBlue >> 8));
            range = std::string("default ") + value;
            break;
        }
        case Kind::Glue:
            range = std::string("default ") + glueName(defaults.glue);
            break;
        }
        static_cast<void>(std::snprintf(line, sizeof(line), "  %-13s %-26s %s\n", field.name,
                                        range.c_str(), field.meaning));
        help += line;
    }
    return help;
}

} // namespace lakra
