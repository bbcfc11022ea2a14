#include "apps/lakra/pluginResources.h"
#include "support/resourceBytes.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace lakra {
namespace {

using testing::ResourceBytes;

struct EntryCase {
    const char* name;
    uint32_t kind;     // the "kind" property's code; 0 for none
    const char* entry; // the "8664" property's name; null for none
    size_t cut;        // bytes cut off the end
    bool accepted;
    const char* entryOrReason;
};

// A property list in its Windows form with the case's properties.
std::vector<uint8_t> piplOf(const EntryCase& c) {
    ResourceBytes properties;
    uint32_t count = 0;
    if (c.kind != 0) {
        testing::addProperty(&properties, "kind", ResourceBytes().u32(c.kind), false);
        ++count;
    }
    if (c.entry != nullptr) {
        testing::addProperty(&properties, "8664", ResourceBytes().text(c.entry).u8(0), false);
        ++count;
    }
    ResourceBytes pipl;
    pipl.u16(1).u32(0).u32(count).append(properties);
    pipl.data.resize(pipl.data.size() - c.cut);
    return pipl.data;
}

class PluginEntryFromPipl : public ::testing::TestWithParam<EntryCase> {};

TEST_P(PluginEntryFromPipl, NamesTheX64EntryOfAFilterOnly) {
    const EntryCase& c = GetParam();
    const std::vector<uint8_t> pipl = piplOf(c);
    std::string entry = "stale";
    std::string reason;
    EXPECT_EQ(piplFilterEntry(pipl.data(), pipl.size(), &entry, &reason), c.accepted);
    EXPECT_EQ(entry, c.accepted ? c.entryOrReason : "");
    EXPECT_NE((c.accepted ? entry : reason).find(c.entryOrReason), std::string::npos) << reason;
}

constexpr uint32_t kFilter = fourCharCode("8BFM");

INSTANTIATE_TEST_SUITE_P(
    Modules, PluginEntryFromPipl,
    ::testing::Values(EntryCase{"filter", kFilter, "FilterEntry", 0, true, "FilterEntry"},
                      EntryCase{"otherKind", fourCharCode("8BEF"), "PluginMain", 0, false,
                                "describes no filter"},
                      EntryCase{"noKind", 0, "PluginMain", 0, false, "describes no filter"},
                      EntryCase{"noX64Entry", kFilter, nullptr, 0, false, "no x64 entry point"},
                      EntryCase{"truncated", kFilter, "PluginMain", 4, false, "malformed"},
                      EntryCase{"empty", 0, nullptr, 10, false, "malformed"}),
    [](const ::testing::TestParamInfo<EntryCase>& param) { return std::string(param.param.name); });

} // namespace
} // namespace lakra
