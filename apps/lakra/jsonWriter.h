#pragma once

// A small JSON writer: objects and arrays laid out one member per line or all
// on one line, strings escaped, integers, and reals as the shortest text that
// reads back to the same value.
//
//   JsonWriter json;
//   jsonBeginObject(&json, JsonLayout::Lines);
//   jsonKey(&json, "width");
//   jsonInteger(&json, 640);
//   jsonEndObject(&json);          // json.text: {\n  "width": 640\n}

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lakra {

enum class JsonLayout : uint8_t {
    Lines,  // each member on its own line, indented two spaces per level
    Inline, // members separated by ", " on one line
};

struct JsonWriter {
    struct Scope {
        JsonLayout layout = JsonLayout::Lines;
        bool isObject = false;
        int32_t members = 0;
    };

    std::string text;
    std::vector<Scope> scopes; // the containers open, outermost first
};

void jsonBeginObject(JsonWriter* json, JsonLayout layout);
void jsonEndObject(JsonWriter* json);
void jsonBeginArray(JsonWriter* json, JsonLayout layout);
void jsonEndArray(JsonWriter* json);

// The name of the next member of the open object; its value follows.
void jsonKey(JsonWriter* json, std::string_view key);

// Values: a member's after jsonKey, an array's element, or the whole text.
void jsonString(JsonWriter* json, std::string_view value);
void jsonInteger(JsonWriter* json, int64_t value);
void jsonBool(JsonWriter* json, bool value);
void jsonNull(JsonWriter* json);
// Shortest round trip (std::to_chars); JSON has no NaN or infinity, so
// those are written as null. A float gets the shortest text of a float.
void jsonDouble(JsonWriter* json, double value);
void jsonFloat(JsonWriter* json, float value);

// The string as a JSON string, quotes included: '"' and '\' escaped with a
// backslash, control characters (below 0x20, and 0x7F) as \u00xx. Bytes from
// 0x80 pass through where they form valid UTF-8; any other byte is taken as
// Latin-1 and written as \u00xx.
[[nodiscard]] std::string jsonQuoted(std::string_view text);

} // namespace lakra
