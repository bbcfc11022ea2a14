#include "apps/lakra/jsonWriter.h"

#include <charconv>
#include <cmath>

namespace lakra {

namespace {

void appendEscape(std::string* out, unsigned char byte) {
    constexpr char kHex[] = "0123456789abcdef";
    out->append("\\u00");
    out->push_back(kHex[byte >> 4]);
    out->push_back(kHex[byte & 0x0F]);
}

bool continuation(std::string_view text, size_t at) {
    return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
}

// Bytes in the valid UTF-8 sequence starting at `at` (a byte >= 0x80), or 0:
// no overlong forms, no surrogates, nothing above U+10FFFF.
size_t utf8Length(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    unsigned char low = 0x80; // the range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + 1 >= text.size()) {
        return 0;
    }
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (second < low || second > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (!continuation(text, at + i)) {
            return 0;
        }
    }
    return length;
}

std::string indent(size_t depth) {
    return std::string(2 * depth, ' ');
}

// The separator before the next member of the innermost container.
void startMember(JsonWriter* json) {
    JsonWriter::Scope& scope = json->scopes.back();
    if (scope.layout == JsonLayout::Lines) {
        json->text += scope.members > 0 ? ",\n" : "\n";
        json->text += indent(json->scopes.size());
    } else if (scope.members > 0) {
        json->text += ", ";
    }
    ++scope.members;
}

// In an array a value starts a member; in an object jsonKey has started it.
void beforeValue(JsonWriter* json) {
    if (!json->scopes.empty() && !json->scopes.back().isObject) {
        startMember(json);
    }
}

void begin(JsonWriter* json, JsonLayout layout, bool isObject) {
    beforeValue(json);
    json->text += isObject ? '{' : '[';
    json->scopes.push_back({layout, isObject, 0});
}

void end(JsonWriter* json, char bracket) {
    if (json->scopes.empty()) {
        return;
    }
    const JsonWriter::Scope scope = json->scopes.back();
    json->scopes.pop_back();
    if (scope.layout == JsonLayout::Lines && scope.members > 0) {
        json->text += '\n';
        json->text += indent(json->scopes.size());
    }
    json->text += bracket;
}

template <typename Real>
void appendReal(JsonWriter* json, Real value) {
    beforeValue(json);
    if (!std::isfinite(value)) {
        json->text += "null";
        return;
    }
    char text[40];
    const std::to_chars_result done = std::to_chars(text, text + sizeof(text), value);
    json->text.append(text, done.ptr);
}

} // namespace

void jsonBeginObject(JsonWriter* json, JsonLayout layout) {
    begin(json, layout, true);
}

void jsonEndObject(JsonWriter* json) {
    end(json, '}');
}

void jsonBeginArray(JsonWriter* json, JsonLayout layout) {
    begin(json, layout, false);
}

void jsonEndArray(JsonWriter* json) {
    end(json, ']');
}

void jsonKey(JsonWriter* json, std::string_view key) {
    if (json->scopes.empty() || !json->scopes.back().isObject) {
        return;
    }
    startMember(json);
    json->text += jsonQuoted(key);
    json->text += ": ";
}

void jsonString(JsonWriter* json, std::string_view value) {
    beforeValue(json);
    json->text += jsonQuoted(value);
}

void jsonInteger(JsonWriter* json, int64_t value) {
    beforeValue(json);
    json->text += std::to_string(value);
}

void jsonBool(JsonWriter* json, bool value) {
    beforeValue(json);
    json->text += value ? "true" : "false";
}

void jsonNull(JsonWriter* json) {
    beforeValue(json);
    json->text += "null";
}

void jsonDouble(JsonWriter* json, double value) {
    appendReal(json, value);
}

void jsonFloat(JsonWriter* json, float value) {
    appendReal(json, value);
}

std::string jsonQuoted(std::string_view text) {
    std::string out = "\"";
    size_t at = 0;
    while (at < text.size()) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            appendEscape(&out, byte);
        } else if (byte >= 0x80) {
            const size_t length = utf8Length(text, at);
            if (length == 0) {
                appendEscape(&out, byte);
            } else {
                out.append(text.substr(at, length));
                at += length;
                continue;
            }
        } else {
            out += static_cast<char>(byte);
        }
        ++at;
    }
    return out + "\"";
}

} // namespace lakra
