#include "apps/lakra/pluginResources.h"
#include "host/abi.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace lakra {
namespace {

// A property list in its Windows form: little-endian words, each property's
// data padded to four bytes.
class PiplBytes {
public:
    PiplBytes() { word16(1).word32(0).word32(0); }

    PiplBytes& property(const char (&key)[5], const std::vector<uint8_t>& value) {
        word32(fourCharCode("8BIM")).word32(fourCharCode(key)).word32(0);
        word32(static_cast<uint32_t>(value.size()));
        bytes.insert(bytes.end(), value.begin(), value.end());
        bytes.resize(bytes.size() + (((value.size() + 3) & ~size_t{3}) - value.size()), 0);
        ++count;
        for (int i = 0; i < 4; ++i) {
            bytes[6 + static_cast<size_t>(i)] = static_cast<uint8_t>(count >> (8 * i));
        }
        return *this;
    }

    std::vector<uint8_t> bytes;

private:
    PiplBytes& word16(uint32_t value) {
        bytes.push_back(static_cast<uint8_t>(value));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
        return *this;
    }

    PiplBytes& word32(uint32_t value) { return word16(value & 0xFFFF).word16(value >> 16); }

    uint32_t count = 0;
};

std::vector<uint8_t> codeBytes(const char (&code)[5]) {
    const uint32_t value = fourCharCode(code);
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::vector<uint8_t> cString(const std::string& text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// The list with its last four bytes cut off: the entry point name runs past the end.
std::vector<uint8_t> cutShort(std::vector<uint8_t> bytes) {
    bytes.resize(bytes.size() - 4);
    return bytes;
}

struct EntryCase {
    const char* name;
    std::vector<uint8_t> pipl;
    bool accepted;
    std::string entryOrReason;
};

class PluginEntryFromPipl : public ::testing::TestWithParam<EntryCase> {};

TEST_P(PluginEntryFromPipl, NamesTheX64EntryOfAFilterOnly) {
    const EntryCase& c = GetParam();
    std::string entry = "stale";
    std::string reason;
    EXPECT_EQ(piplFilterEntry(c.pipl.data(), c.pipl.size(), &entry, &reason), c.accepted);
    if (c.accepted) {
        EXPECT_EQ(entry, c.entryOrReason);
    } else {
        EXPECT_EQ(entry, "");
        EXPECT_NE(reason.find(c.entryOrReason), std::string::npos) << reason;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modules, PluginEntryFromPipl,
    ::testing::Values(EntryCase{"filter",
                                PiplBytes()
                                    .property("kind", codeBytes("8BFM"))
                                    .property("8664", cString("FilterEntry"))
                                    .bytes,
                                true, "FilterEntry"},
                      EntryCase{"otherKind",
                                PiplBytes()
                                    .property("kind", codeBytes("8BEF"))
                                    .property("8664", cString("PluginMain"))
                                    .bytes,
                                false, "describes no filter"},
                      EntryCase{"noKind", PiplBytes().property("8664", cString("PluginMain")).bytes,
                                false, "describes no filter"},
                      EntryCase{"noX64Entry", PiplBytes().property("kind", codeBytes("8BFM")).bytes,
                                false, "no x64 entry point"},
                      EntryCase{"truncated",
                                cutShort(PiplBytes()
                                             .property("kind", codeBytes("8BFM"))
                                             .property("8664", cString("PluginMain"))
                                             .bytes),
                                false, "malformed"},
                      EntryCase{"empty", {}, false, "malformed"}),
    [](const ::testing::TestParamInfo<EntryCase>& param) { return std::string(param.param.name); });

} // namespace
} // namespace lakra
