#include "apps/lakra/lookOptions.h"

#include "blend/glueModes.h"
#include "host/lookFields.h"
#include "host/scripting.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace lakra {

namespace {} // namespace

std::vector<const LookField*> lookOptionFields() {
    std::vector<const LookField*> fields;
    for (const bool choices : {false, true}) {
        for (int32_t i = 0; i < kLookFieldCount; ++i) {
            const LookField& field = lookFields()[i];
            const bool choice =
                field.option == OptionKind::Color || field.option == OptionKind::Glue;
            if (field.option != OptionKind::None && choice == choices) {
                fields.push_back(&field);
            }
        }
    }
    return fields;
}

namespace {

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
    for (const LookField* field : lookOptionFields()) {
        names += names.empty() ? "" : ", ";
        names += lookOptionName(*field);
    }
    return names;
}

bool applyField(const LookField& field, const std::string& value, Settings* look,
                std::string* error) {
    const std::string quoted = "'" + value + "'";
    const std::string name = lookOptionName(field);
    int64_t whole = 0;
    double number = 0.0;
    switch (field.option) {
    case OptionKind::None:
        break;
    case OptionKind::Slider:
        if (!parseInteger(value, &whole) || whole < 0 || whole > 100) {
            *error = name + " must be a whole number from 0 to 100, not " + quoted;
            return false;
        }
        look->*field.integer = static_cast<int32_t>(whole);
        return true;
    case OptionKind::Seed:
        if (!parseInteger(value, &whole) || whole < INT32_MIN || whole > INT32_MAX) {
            *error = name + " must be a 32-bit whole number, not " + quoted;
            return false;
        }
        look->*field.integer = static_cast<int32_t>(whole);
        return true;
    case OptionKind::Percent:
        if (!parseNumber(value, &number) || number < 0.0 || number > 100.0) {
            *error = name + " must be a number from 0 to 100, not " + quoted;
            return false;
        }
        look->*field.exact = static_cast<float>(number);
        look->*field.integer = static_cast<int32_t>(look->*field.exact);
        return true;
    case OptionKind::Fraction:
        if (!parseNumber(value, &number) || number < 0.0 || number > 1.0) {
            *error = name + " must be a number from 0 to 1, not " + quoted;
            return false;
        }
        look->*field.real = static_cast<float>(number);
        return true;
    case OptionKind::Color: {
        int32_t rgb[3] = {};
        if (!parseColor(value, rgb)) {
            *error = name + " must be #rrggbb or r,g,b with each part from 0 to 255, not " + quoted;
            return false;
        }
        // 0..255 becomes the 16-bit channel whose high byte it is.
        look->waterRed = static_cast<uint16_t>(rgb[0] * 257);
        look->waterGreen = static_cast<uint16_t>(rgb[1] * 257);
        look->waterBlue = static_cast<uint16_t>(rgb[2] * 257);
        return true;
    }
    case OptionKind::Glue:
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
    for (const LookField* field : lookOptionFields()) {
        if (name == lookOptionName(*field)) {
            return applyField(*field, assignment.substr(equals + 1), look, error);
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
    Descriptor descriptor;
    descriptor.push_back(integerValue(kScriptKeyVersion, kSettingsFormatVersion));
    for (int32_t i = 0; i < kLookFieldCount; ++i) {
        const LookField& field = lookFields()[i];
        const DescriptorKeyID key = lookKey(field);
        switch (field.script) {
        case ScriptKind::Color:
            descriptor.push_back(integerValue(key, look.*field.color >> 8));
            break;
        case ScriptKind::ExactColor:
            descriptor.push_back(integerValue(key, look.*field.color));
            break;
        case ScriptKind::Integer:
            descriptor.push_back(integerValue(key, look.*field.integer));
            break;
        case ScriptKind::Glue:
            descriptor.push_back(enumValue(key, kGlueEnumType, glueCode(look.*field.integer)));
            break;
        case ScriptKind::Real:
            descriptor.push_back(floatValue(key, static_cast<double>(look.*field.real)));
            break;
        }
    }
    return descriptor;
}

const char* lookFieldName(DescriptorKeyID key) {
    if (key == kScriptKeyVersion) {
        return "formatVersion";
    }
    const LookField* field = lookFieldOfKey(key);
    return field != nullptr ? field->name : nullptr;
}

std::string lookFieldsHelp() {
    Settings defaults{};
    settingsFresh(&defaults);
    std::string help;
    char line[200];
    for (const LookField* entry : lookOptionFields()) {
        const LookField& field = *entry;
        std::string range;
        switch (field.option) {
        case OptionKind::None:
            break;
        case OptionKind::Slider:
            range = "0..100, default " + std::to_string(defaults.*field.integer);
            break;
        case OptionKind::Seed:
            range = "whole number, default " + std::to_string(defaults.*field.integer);
            break;
        case OptionKind::Percent:
        case OptionKind::Fraction: {
            const bool percent = field.option == OptionKind::Percent;
            char value[32];
            static_cast<void>(
                std::snprintf(value, sizeof(value), "%g",
                              static_cast<double>(defaults.*(percent ? field.exact : field.real))));
            range = std::string(percent ? "0..100" : "0..1") + ", default " + value;
            break;
        }
        case OptionKind::Color: {
            char value[16];
            static_cast<void>(std::snprintf(value, sizeof(value), "#%02x%02x%02x",
                                            defaults.waterRed >> 8, defaults.waterGreen >> 8,
                                            defaults.waterBlue >> 8));
            range = std::string("default ") + value;
            break;
        }
        case OptionKind::Glue:
            range = std::string("default ") + glueName(defaults.glue);
            break;
        }
        static_cast<void>(std::snprintf(line, sizeof(line), "  %-13s %-26s %s\n",
                                        lookOptionName(field), range.c_str(), field.meaning));
        help += line;
    }
    return help;
}

} // namespace lakra
