#include "apps/lakra/recordJson.h"

#include "apps/lakra/lookOptions.h"
#include "blend/glueModes.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace lakra {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escape[8];
            static_cast<void>(std::snprintf(escape, sizeof(escape), "\\u%04x", byte));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string codeText(uint32_t code) {
    const char text[4] = {static_cast<char>(code >> 24), static_cast<char>(code >> 16),
                          static_cast<char>(code >> 8), static_cast<char>(code)};
    return std::string(text, 4);
}

// The shortest text that reads back as the same double (JSON has no
// infinities or NaN: those become null).
std::string number(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char text[40];
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        static_cast<void>(std::snprintf(text, sizeof(text), "%.0f", value));
        return text;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        static_cast<void>(std::snprintf(text, sizeof(text), "%.*g", precision, value));
        if (std::strtod(text, nullptr) == value) {
            break;
        }
    }
    return text;
}

// The same for a value that was a float before it was widened.
std::string shortFloat(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    const auto narrow = static_cast<float>(value);
    char text[40];
    if (std::fabs(narrow) < 1e7f && narrow == std::trunc(narrow)) {
        static_cast<void>(std::snprintf(text, sizeof(text), "%.0f", static_cast<double>(narrow)));
        return text;
    }
    for (int precision = 1; precision <= 9; ++precision) {
        static_cast<void>(
            std::snprintf(text, sizeof(text), "%.*g", precision, static_cast<double>(narrow)));
        if (std::strtof(text, nullptr) == narrow) {
            break;
        }
    }
    return text;
}

std::string valueJson(const DescriptorValue& v) {
    if (v.type == typeInteger) {
        return "\"type\": \"long\", \"value\": " + std::to_string(v.integer);
    }
    if (v.type == typeBoolean) {
        return std::string("\"type\": \"bool\", \"value\": ") + (v.integer != 0 ? "true" : "false");
    }
    if (v.type == typeFloat) {
        return "\"type\": \"doub\", \"value\": " + number(v.number);
    }
    if (v.type == typeUnitFloat) {
        return "\"type\": \"UntF\", \"unit\": " + quoted(codeText(v.unit)) +
               ", \"value\": " + number(v.number);
    }
    if (v.type == typeEnumerated) {
        std::string json = "\"type\": \"enum\", \"enumType\": " + quoted(codeText(v.enumType)) +
                           ", \"value\": " + quoted(codeText(v.enumValue));
        if (v.enumType == kGlueEnumType && glueFromCode(v.enumValue) != 0) {
            json += ", \"name\": " + quoted(glueName(glueFromCode(v.enumValue)));
        }
        return json;
    }
    if (v.type == typeClass) {
        return "\"type\": \"type\", \"value\": " + quoted(codeText(v.enumValue));
    }
    return "\"type\": \"TEXT\", \"value\": " + quoted(v.text);
}

const DescriptorValue* find(const Descriptor& descriptor, const char (&key)[5]) {
    for (const DescriptorValue& v : descriptor) {
        if (v.key == fourCharCode(key)) {
            return &v;
        }
    }
    return nullptr;
}

// The recorded values under the names --set takes; keys absent or of
// another type are left out.
std::string lookJson(const Descriptor& d) {
    std::string json;
    const auto add = [&json](const char* name, const std::string& value) {
        json += json.empty() ? "\n    " : ",\n    ";
        json += quoted(name) + ": " + value;
    };
    const DescriptorValue* red = find(d, "0001");
    const DescriptorValue* green = find(d, "0002");
    const DescriptorValue* blue = find(d, "0003");
    if (red != nullptr && green != nullptr && blue != nullptr && red->type == typeInteger &&
        green->type == typeInteger && blue->type == typeInteger) {
        char color[16];
        static_cast<void>(std::snprintf(color, sizeof(color), "#%02x%02x%02x", red->integer & 0xFF,
                                        green->integer & 0xFF, blue->integer & 0xFF));
        add("waterColor", quoted(color));
    }
    for (const DescriptorValue& v : d) {
        const char* field = lookFieldName(v.key);
        if (field == nullptr) {
            continue;
        }
        const std::string name = field;
        if (v.type == typeInteger && name != "formatVersion" && name.rfind("water", 0) != 0 &&
            !((name == "horizon" && find(d, "0019") != nullptr) ||
              (name == "offset" && find(d, "0020") != nullptr))) {
            add(field, std::to_string(v.integer));
        } else if (v.type == typeFloat) {
            const std::string shortName = name == "horizonFloat"  ? "horizon"
                                          : name == "offsetFloat" ? "offset"
                                                                  : name;
            add(shortName.c_str(), shortFloat(v.number));
        } else if (v.type == typeEnumerated && name == "glue") {
            const int32_t glue = glueFromCode(v.enumValue);
            add(field, glue != 0 ? quoted(glueName(glue)) : "null");
        }
    }
    return json.empty() ? "{}" : "{" + json + "\n  }";
}

} // namespace

std::string recordJson(const Descriptor& descriptor, int16_t recordInfo) {
    std::string json = "{\n  \"recordInfo\": " + std::to_string(recordInfo) + ",\n";
    json += "  \"descriptor\": [";
    bool first = true;
    for (const DescriptorValue& v : descriptor) {
        json += first ? "\n" : ",\n";
        first = false;
        json += "    {\"key\": " + quoted(codeText(v.key));
        if (const char* field = lookFieldName(v.key)) {
            json += ", \"field\": " + quoted(field);
        }
        json += ", " + valueJson(v) + "}";
    }
    json += first ? "],\n" : "\n  ],\n";
    json += "  \"look\": " + lookJson(descriptor) + "\n}\n";
    return json;
}

bool writeRecordJson(const std::string& path, const Descriptor& descriptor, int16_t recordInfo,
                     std::string* error) {
    const std::string json = recordJson(descriptor, recordInfo);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot create " + path;
        return false;
    }
    const bool written = std::fwrite(json.data(), 1, json.size(), file) == json.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace lakra
