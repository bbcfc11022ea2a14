#include "apps/lakra/jsonWriter.h"

#include "files/files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace lakra {
namespace {

struct QuotedCase {
    std::string text;
    std::string json;
};

TEST(JsonStrings, EscapesQuotesBackslashesControlsAndBytesThatAreNotUtf8) {
    const QuotedCase cases[] = {
        {"plain text", R"("plain text")"},
        {"a\"b\\c/d", R"("a\"b\\c/d")"},
        {std::string("\0\n\t\x1f\x7f", 5), R"("\u0000\u000a\u0009\u001f\u007f")"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e",
         "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e\""},
        {"caf\xe9", R"("caf\u00e9")"},                         // Latin-1
        {"\xc0\xaf", R"("\u00c0\u00af")"},                     // overlong '/'
        {"\xed\xa0\x80", R"("\u00ed\u00a0\u0080")"},           // a surrogate
        {"\xf4\x90\x80\x80", R"("\u00f4\u0090\u0080\u0080")"}, // above U+10FFFF
        {"\xe2\x82", R"("\u00e2\u0082")"},                     // cut short
        {"\x80\xc3\xa9\xc3", "\"\\u0080\xc3\xa9\\u00c3\""},    // valid between invalid
    };
    for (const QuotedCase& c : cases) {
        EXPECT_EQ(jsonQuoted(c.text), c.json);
    }
}

TEST(JsonNumbers, RealsAreTheShortestRoundTripAndNonFiniteIsNull) {
    const auto doubleText = [](double value) {
        JsonWriter json;
        jsonDouble(&json, value);
        return json.text;
    };
    const auto floatText = [](float value) {
        JsonWriter json;
        jsonFloat(&json, value);
        return json.text;
    };
    EXPECT_EQ(doubleText(60.0), "60");
    EXPECT_EQ(doubleText(0.1), "0.1");
    EXPECT_EQ(doubleText(-0.0), "-0");
    EXPECT_EQ(doubleText(static_cast<double>(0.2f)), "0.20000000298023224");
    EXPECT_EQ(doubleText(1e300), "1e+300");
    EXPECT_EQ(doubleText(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(doubleText(-std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(floatText(0.2f), "0.2");
    EXPECT_EQ(floatText(37.5f), "37.5");
    EXPECT_EQ(floatText(1e-5f), "1e-05");
    EXPECT_EQ(floatText(std::numeric_limits<float>::infinity()), "null");

    JsonWriter integers;
    jsonBeginArray(&integers, JsonLayout::Inline);
    jsonInteger(&integers, std::numeric_limits<int64_t>::min());
    jsonInteger(&integers, 0);
    jsonInteger(&integers, 4294967295);
    jsonEndArray(&integers);
    EXPECT_EQ(integers.text, "[-9223372036854775808, 0, 4294967295]");
}

TEST(JsonLayout, LinesIndentEachLevelAndInlineKeepsOneLine) {
    JsonWriter json;
    jsonBeginObject(&json, JsonLayout::Lines);
    jsonKey(&json, "empty");
    jsonBeginArray(&json, JsonLayout::Lines);
    jsonEndArray(&json);
    jsonKey(&json, "list");
    jsonBeginArray(&json, JsonLayout::Lines);
    jsonBeginObject(&json, JsonLayout::Inline);
    jsonKey(&json, "k");
    jsonInteger(&json, 1);
    jsonKey(&json, "v");
    jsonBool(&json, true);
    jsonEndObject(&json);
    jsonNull(&json);
    jsonEndArray(&json);
    jsonKey(&json, "none");
    jsonBeginObject(&json, JsonLayout::Lines);
    jsonEndObject(&json);
    jsonEndObject(&json);
    EXPECT_EQ(json.text, "{\n"
                         "  \"empty\": [],\n"
                         "  \"list\": [\n"
                         "    {\"k\": 1, \"v\": true},\n"
                         "    null\n"
                         "  ],\n"
                         "  \"none\": {}\n"
                         "}");
}

#ifndef _WIN32
// Python's json module reads back every string as the code points meant
// (invalid bytes as Latin-1) and every real as the same value.
TEST(JsonRoundTrip, PythonReadsBackStringsAndReals) {
    if (std::system("python3 -c pass > /dev/null 2>&1") != 0) { // NOLINT(concurrency-mt-unsafe)
        GTEST_SKIP() << "python3 is missing";
    }
    const std::vector<std::pair<std::string, std::string>> strings = {
        {"a\"b\\", "61 22 62 5c"},
        {std::string("\0\x1f\x7f", 3), "0 1f 7f"},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9d\x84\x9e", "e9 20ac 1d11e"},
        {"\xe9\xed\xa0\x80\xff", "e9 ed a0 80 ff"},
    };
    const std::vector<double> doubles = {0.1,
                                         1.0 / 3.0,
                                         5e-324,
                                         std::numeric_limits<double>::max(),
                                         -123456789012345678.0,
                                         static_cast<double>(0.2f)};
    const std::vector<float> floats = {0.1f, 1.0f / 3.0f, 1e-45f, 3.4028235e38f, 62.25f};
    JsonWriter json;
    jsonBeginArray(&json, JsonLayout::Lines);
    for (const auto& s : strings) {
        jsonString(&json, s.first);
    }
    for (const double d : doubles) {
        jsonDouble(&json, d);
    }
    for (const float f : floats) {
        jsonFloat(&json, f);
    }
    jsonEndArray(&json);

    FileSpec fileSpec{};
    ASSERT_EQ(temporaryFileSpec("lakra json round trip.json", &fileSpec), noErr);
    const std::string path = fileSpecPath(fileSpec);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(json.text.data(), 1, json.text.size(), file), json.text.size());
    ASSERT_EQ(std::fclose(file), 0);
    const std::string command =
        "python3 -c 'import json, sys\n"
        "for v in json.load(open(sys.argv[1], encoding=\"utf-8\")):\n"
        "    print(\" \".join(\"%x\" % ord(c) for c in v) if isinstance(v, str) else repr(v))' \"" +
        path + "\"";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    char line[256];
    while (std::fgets(line, sizeof(line), pipe) != nullptr) {
        lines.emplace_back(line, std::strcspn(line, "\n"));
    }
    ASSERT_EQ(pclose(pipe), 0) << json.text;
    static_cast<void>(std::remove(path.c_str()));

    ASSERT_EQ(lines.size(), strings.size() + doubles.size() + floats.size()) << json.text;
    size_t at = 0;
    for (const auto& s : strings) {
        EXPECT_EQ(lines[at++], s.second) << jsonQuoted(s.first);
    }
    for (const double d : doubles) {
        EXPECT_EQ(std::strtod(lines[at].c_str(), nullptr), d) << lines[at];
        ++at;
    }
    for (const float f : floats) {
        EXPECT_EQ(static_cast<float>(std::strtod(lines[at].c_str(), nullptr)), f) << lines[at];
        ++at;
    }
}
#endif

} // namespace
} // namespace lakra
