#include "apps/lakra/jsonWriter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>

namespace lakra {
namespace {

// The text of one value written on its own.
template <typename T>
std::string written(void (*write)(JsonWriter*, T), std::type_identity_t<T> value) {
    JsonWriter json;
    write(&json, value);
    return json.text;
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(JsonValues, WriteTheirExpectedText) {
    const std::pair<std::string, std::string> rows[] = {
        {written(jsonString, "a\"b\\c/d"), R"("a\"b\\c/d")"},
        {written(jsonString, std::string("\0\n\t\x1f\x7f", 5)),
         R"("\u0000\u000a\u0009\u001f\u007f")"},
        {written(jsonString, "caf\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e"),
         "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e\""},
        {written(jsonString, "caf\xe9"), R"("caf\u00e9")"},                         // Latin-1
        {written(jsonString, "\xc0\xaf"), R"("\u00c0\u00af")"},                     // overlong '/'
        {written(jsonString, "\xe0\x9f\xbf"), R"("\u00e0\u009f\u00bf")"},           // overlong
        {written(jsonString, "\xed\xa0\x80"), R"("\u00ed\u00a0\u0080")"},           // surrogate
        {written(jsonString, "\xf4\x90\x80\x80"), R"("\u00f4\u0090\u0080\u0080")"}, // > U+10FFFF
        {written(jsonString, "\xe2\x82"), R"("\u00e2\u0082")"},                     // cut short
        {written(jsonString, "\x80\xc3\xa9\xc3"), "\"\\u0080\xc3\xa9\\u00c3\""},
        {written(jsonDouble, 60.0), "60"},
        {written(jsonDouble, -0.0), "-0"},
        {written(jsonDouble, static_cast<double>(0.2f)), "0.20000000298023224"},
        {written(jsonDouble, std::numeric_limits<double>::quiet_NaN()), "null"},
        {written(jsonDouble, -kInfinity), "null"},
        {written(jsonFloat, 0.2f), "0.2"},
        {written(jsonFloat, static_cast<float>(kInfinity)), "null"},
        {written(jsonInteger, std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
        {written(jsonInteger, 4294967295), "4294967295"},
    };
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(text, expected);
    }
}

// Reals read back as the same value and are no longer than the shortest
// printf text that does.
TEST(JsonValues, RealsAreTheShortestTextThatReadsBack) {
    uint64_t bits = 88172645463325252u;
    for (int i = 0; i < 5000; ++i) {
        bits ^= bits << 13;
        bits ^= bits >> 7;
        bits ^= bits << 17;
        double value = 0.0;
        float single = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        std::memcpy(&single, &bits, sizeof single);
        for (const bool isFloat : {false, true}) {
            const double real = isFloat ? static_cast<double>(single) : value;
            const auto readsBack = [&](const char* text) {
                return isFloat ? std::strtof(text, nullptr) == single
                               : std::strtod(text, nullptr) == value;
            };
            const std::string text =
                isFloat ? written(jsonFloat, single) : written(jsonDouble, value);
            if (!std::isfinite(real)) {
                continue;
            }
            char shortest[400];
            int digits = 0;
            do {
                (void)std::snprintf(shortest, sizeof shortest, "%.*g", ++digits, real);
            } while (!readsBack(shortest));
            EXPECT_TRUE(readsBack(text.c_str())) << text;
            EXPECT_LE(text.size(), std::strlen(shortest)) << text;
        }
    }
}

// Nested: a line per member indented per level, an inline object on its
// line, empty containers closed at once.
TEST(JsonLayout, LinesIndentEachLevelAndInlineKeepsOneLine) {
    JsonWriter json;
    jsonBeginArray(&json, JsonLayout::Lines);
    jsonBeginArray(&json, JsonLayout::Lines);
    jsonBeginObject(&json, JsonLayout::Inline);
    jsonKey(&json, "k");
    jsonNull(&json);
    jsonKey(&json, "v");
    jsonBool(&json, true);
    jsonEndObject(&json);
    jsonEndArray(&json);
    jsonBeginObject(&json, JsonLayout::Lines);
    jsonEndObject(&json);
    jsonEndArray(&json);
    EXPECT_EQ(json.text, "[\n  [\n    {\"k\": null, \"v\": true}\n  ],\n  {}\n]");
}

} // namespace
} // namespace lakra
