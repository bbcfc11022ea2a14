#include "apps/lakra/recordJson.h"

#include "apps/lakra/jsonWriter.h"
#include "apps/lakra/lookOptions.h"
#include "blend/glueModes.h"

#include <cstdio>

namespace lakra {

namespace {

std::string codeText(uint32_t code) {
    const char text[4] = {static_cast<char>(code >> 24), static_cast<char>(code >> 16),
                          static_cast<char>(code >> 8), static_cast<char>(code)};
    return std::string(text, 4);
}

void member(JsonWriter* json, const char* key, const std::string& text) {
    jsonKey(json, key);
    jsonString(json, text);
}

// The members after "key" and "field": the type, then the value.
void writeValue(JsonWriter* json, const DescriptorValue& v) {
    if (v.type == typeInteger) {
        member(json, "type", "long");
        jsonKey(json, "value");
        jsonInteger(json, v.integer);
    } else if (v.type == typeBoolean) {
        member(json, "type", "bool");
        jsonKey(json, "value");
        jsonBool(json, v.integer != 0);
    } else if (v.type == typeFloat) {
        member(json, "type", "doub");
        jsonKey(json, "value");
        jsonDouble(json, v.number);
    } else if (v.type == typeUnitFloat) {
        member(json, "type", "UntF");
        member(json, "unit", codeText(v.unit));
        jsonKey(json, "value");
        jsonDouble(json, v.number);
    } else if (v.type == typeEnumerated) {
        member(json, "type", "enum");
        member(json, "enumType", codeText(v.enumType));
        member(json, "value", codeText(v.enumValue));
        if (v.enumType == kGlueEnumType && glueFromCode(v.enumValue) != 0) {
            member(json, "name", glueName(glueFromCode(v.enumValue)));
        }
    } else if (v.type == typeClass) {
        member(json, "type", "type");
        member(json, "value", codeText(v.enumValue));
    } else {
        member(json, "type", "TEXT");
        member(json, "value", v.text);
    }
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
// another type are left out. The four exact values were floats before the
// plug-in widened them, and are written as floats.
void writeLook(JsonWriter* json, const Descriptor& d) {
    jsonBeginObject(json, JsonLayout::Lines);
    const DescriptorValue* red = find(d, "0001");
    const DescriptorValue* green = find(d, "0002");
    const DescriptorValue* blue = find(d, "0003");
    if (red != nullptr && green != nullptr && blue != nullptr && red->type == typeInteger &&
        green->type == typeInteger && blue->type == typeInteger) {
        char color[16];
        static_cast<void>(std::snprintf(color, sizeof(color), "#%02x%02x%02x", red->integer & 0xFF,
                                        green->integer & 0xFF, blue->integer & 0xFF));
        member(json, "waterColor", color);
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
            jsonKey(json, name);
            jsonInteger(json, v.integer);
        } else if (v.type == typeFloat) {
            jsonKey(json, name == "horizonFloat"  ? "horizon"
                          : name == "offsetFloat" ? "offset"
                                                  : name);
            jsonFloat(json, static_cast<float>(v.number));
        } else if (v.type == typeEnumerated && name == "glue") {
            const int32_t glue = glueFromCode(v.enumValue);
            jsonKey(json, name);
            if (glue != 0) {
                jsonString(json, glueName(glue));
            } else {
                jsonNull(json);
            }
        }
    }
    jsonEndObject(json);
}

} // namespace

std::string recordJson(const Descriptor& descriptor, int16_t recordInfo) {
    JsonWriter json;
    jsonBeginObject(&json, JsonLayout::Lines);
    jsonKey(&json, "recordInfo");
    jsonInteger(&json, recordInfo);
    jsonKey(&json, "descriptor");
    jsonBeginArray(&json, JsonLayout::Lines);
    for (const DescriptorValue& v : descriptor) {
        jsonBeginObject(&json, JsonLayout::Inline);
        member(&json, "key", codeText(v.key));
        if (const char* field = lookFieldName(v.key)) {
            member(&json, "field", field);
        }
        writeValue(&json, v);
        jsonEndObject(&json);
    }
    jsonEndArray(&json);
    jsonKey(&json, "look");
    writeLook(&json, descriptor);
    jsonEndObject(&json);
    return json.text + "\n";
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
