#include "apps/lakra/pluginResources.h"
#include "blend/glueModes.h"
#include "fuzz/resourceSamples.h"
#include "host/abi.h"
#include "host/lookFields.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstddef>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

namespace lakra {
namespace {

using Bytes = testing::ResourceBytes;

// Exactly `size` bytes on the heap, so reading one past the end is caught.
template <typename Info>
bool parsePrefix(bool (*parse)(const uint8_t*, size_t, Info*), const Bytes& bytes, size_t size,
                 Info* info) {
    const std::vector<uint8_t> copy(bytes.data.begin(),
                                    bytes.data.begin() + static_cast<std::ptrdiff_t>(size));
    return parse(copy.data(), copy.size(), info);
}

// Length words with or without the padding counted.
class PiplReader : public ::testing::TestWithParam<bool> {};

TEST_P(PiplReader, ReadsEveryPropertyAndRefusesEveryTruncation) {
    const Bytes pipl = testing::samplePipl(GetParam());
    PiplInfo info;
    ASSERT_TRUE(parsePrefix(parsePipl, pipl, pipl.data.size(), &info));

    ASSERT_EQ(info.properties.size(), 12u);
    EXPECT_EQ(info.properties[2].key, fourCharCode("name"));
    EXPECT_EQ(info.properties[2].offset, 50u); // kind and vers: 16 + 4 bytes each
    EXPECT_EQ(info.properties[3].offset, 78u); // name: 9 bytes padded to 12
    // Only the host's own vendor is decoded: the last "name" is not.
    EXPECT_EQ(
        std::tie(info.kind, info.interfaceVersion, info.name, info.category, info.entryPointX64),
        std::make_tuple(fourCharCode("8BFM"), 0x00040000, "Lakra...", "Kestrovane", "PluginMain"));
    EXPECT_TRUE(info.hasTerminology);
    EXPECT_EQ(
        std::tie(info.terminology.eventId, info.terminology.terminologyId, info.terminology.scope),
        std::make_tuple(fourCharCode("Abcd"), 16000, "scope"));
    ASSERT_EQ(info.enablingConditions.size(), 2u);
    EXPECT_EQ(info.enablingConditions[0], "true");
    ASSERT_EQ(info.filterCases.size(), 2u);
    EXPECT_EQ(std::tie(info.filterCases[1].inputHandling, info.filterCases[1].flags2),
              std::make_tuple(3, 0));
    // The mode flags are read most significant bit first.
    for (int mode = -1; mode <= 24; ++mode) {
        const bool supported =
            mode == plugInModeGrayScale || mode == plugInModeRGBColor || mode == plugInModeRGB96;
        EXPECT_EQ(piplSupportsMode(info, mode), supported) << "mode " << mode;
    }

    for (size_t size = 0; size < pipl.data.size(); ++size) {
        EXPECT_FALSE(parsePrefix(parsePipl, pipl, size, &info)) << size << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(RoundedAndExact, PiplReader, ::testing::Bool());

Bytes onePropertyPipl(const char (&key)[5], uint32_t lengthWord, const Bytes& value) {
    Bytes pipl;
    pipl.u16(1).u32(0).u32(1).code("8BIM").code(key).u32(0).u32(lengthWord).append(value);
    return pipl;
}

TEST(PiplReader, RefusesMalformedListsWithoutReadingPastTheEnd) {
    Bytes countBeyondTheProperties = testing::samplePipl(true);
    countBeyondTheProperties.data[9] = 0x7F;
    Bytes negativeCount;
    negativeCount.u16(1).u32(0).u32(0xFFFFFFFF);
    const Bytes cases[] = {
        countBeyondTheProperties,
        negativeCount,
        onePropertyPipl("kind", 5, Bytes().code("8BFM")),          // one byte past the end
        onePropertyPipl("kind", 0x7FFFFFFF, Bytes().code("8BFM")), // huge length
        onePropertyPipl("kind", 0xFFFFFFFC, Bytes().code("8BFM")), // negative length
        onePropertyPipl("name", 4, Bytes().u8(20).text("abc")),    // string past its data
        onePropertyPipl("kind", 2, Bytes().u16(0)),
        onePropertyPipl("hstm", 12, Bytes().u32(0).u32(0).u32(0)),
        onePropertyPipl("fici", 6, Bytes().u32(0x00010101).u16(0)),
        onePropertyPipl("mode", 0, Bytes()),
    };
    PiplInfo info;
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_FALSE(parsePrefix(parsePipl, cases[i], cases[i].data.size(), &info)) << "case " << i;
    }
}

TEST(AeteReader, ReadsEveryPartAndRefusesEveryTruncation) {
    Bytes aete = testing::sampleAete();
    const size_t size = aete.data.size();
    aete.u32(0); // one writer appends four zero bytes
    AeteInfo info;
    ASSERT_TRUE(parsePrefix(parseAete, aete, aete.data.size(), &info));

    EXPECT_EQ(info.bytesRead, size);
    ASSERT_EQ(info.suites.size(), 1u);
    const AeteSuite& suite = info.suites[0];
    EXPECT_EQ(std::tie(suite.description, suite.classCount, suite.comparisonCount),
              std::make_tuple("Suite", 1, 1));
    ASSERT_EQ(suite.events.size(), 1u);
    const AeteEvent& event = suite.events[0];
    EXPECT_EQ(std::tie(event.eventId, event.directParameterFlags),
              std::make_tuple(fourCharCode("Efgh"), 0xB000));
    ASSERT_EQ(event.parameters.size(), 1u);
    EXPECT_EQ(std::tie(event.parameters[0].description, event.parameters[0].flags),
              std::make_tuple("the size", 0x8000));
    ASSERT_EQ(suite.enumerations.size(), 1u);
    ASSERT_EQ(suite.enumerations[0].enumerators.size(), 2u);
    const AeteEnumerator& add = suite.enumerations[0].enumerators[1];
    EXPECT_EQ(std::tie(add.code, add.description), std::make_tuple(fourCharCode("GL07"), "adds"));

    for (size_t cut = 0; cut < size; ++cut) {
        EXPECT_FALSE(parsePrefix(parseAete, aete, cut, &info)) << cut << " bytes";
    }
}

TEST(AeteReader, RefusesCountsTheBytesCannotHold) {
    AeteInfo info;
    Bytes negativeSuites;
    negativeSuites.u16(1).u8(1).u8(0).u16(0).u16(0).u16(0xFFFF);
    EXPECT_FALSE(parsePrefix(parseAete, negativeSuites, negativeSuites.data.size(), &info));

    size_t countAt = 0;
    Bytes manyEnumerators = testing::sampleAete(&countAt);
    manyEnumerators.data[countAt] = 0xFF;
    manyEnumerators.data[countAt + 1] = 0x7F;
    EXPECT_FALSE(parsePrefix(parseAete, manyEnumerators, manyEnumerators.data.size(), &info));
}

struct EntryCase {
    const char* name;
    uint32_t kind;     // the "kind" property's code; 0 for none
    const char* entry; // the "8664" property's name; null for none
    size_t cut;        // bytes cut off the end
    const char* entryOrReason;
};

class PluginEntryFromPipl : public ::testing::TestWithParam<EntryCase> {};

TEST_P(PluginEntryFromPipl, NamesTheX64EntryOfAFilterOnly) {
    const EntryCase& c = GetParam();
    Bytes properties;
    if (c.kind != 0) {
        testing::addProperty(&properties, "kind", Bytes().u32(c.kind), false);
    }
    if (c.entry != nullptr) {
        testing::addProperty(&properties, "8664", Bytes().text(c.entry).u8(0), false);
    }
    Bytes pipl;
    pipl.u16(1).u32(0).u32((c.kind != 0 ? 1 : 0) + (c.entry != nullptr ? 1 : 0)).append(properties);
    pipl.data.resize(pipl.data.size() - c.cut);
    const bool accepted = std::string(c.name) == "filter";
    std::string entry = "stale";
    std::string reason;
    EXPECT_EQ(piplFilterEntry(pipl.data.data(), pipl.data.size(), &entry, &reason), accepted);
    EXPECT_EQ(entry, accepted ? c.entryOrReason : "");
    EXPECT_NE((accepted ? entry : reason).find(c.entryOrReason), std::string::npos) << reason;
}

constexpr uint32_t kFilter = fourCharCode("8BFM");

INSTANTIATE_TEST_SUITE_P(
    Modules, PluginEntryFromPipl,
    ::testing::Values(EntryCase{"filter", kFilter, "FilterEntry", 0, "FilterEntry"},
                      EntryCase{"otherKind", fourCharCode("8BEF"), "PluginMain", 0,
                                "describes no filter"},
                      EntryCase{"noKind", 0, "PluginMain", 0, "describes no filter"},
                      EntryCase{"noX64Entry", kFilter, nullptr, 0, "no x64 entry point"},
                      EntryCase{"truncated", kFilter, "PluginMain", 4, "malformed"},
                      EntryCase{"empty", 0, nullptr, 10, "malformed"}),
    [](const ::testing::TestParamInfo<EntryCase>& param) { return std::string(param.param.name); });

#ifdef _WIN32

// Both the test executable and the built Lakra.8bf carry the resources; the
// tests read each of them as a host does.
class Embedded : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (GetParam() != nullptr) {
            module = LoadLibraryExA(GetParam(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
            ASSERT_NE(module, nullptr) << "cannot load " << GetParam();
        }
    }

    void TearDown() override {
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }

    std::vector<uint8_t> loadOwnResource(const char* type, int id) const {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
        if (found == nullptr) {
            return {};
        }
        HGLOBAL loaded = LoadResource(module, found);
        const auto* bytes = static_cast<const uint8_t*>(LockResource(loaded));
        return std::vector<uint8_t>(bytes, bytes + SizeofResource(module, found));
    }

    HMODULE module = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Modules, Embedded, ::testing::Values(nullptr, LAKRA_PLUGIN_FILE),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             return std::string(param.param == nullptr ? "testExecutable"
                                                                       : "plugIn");
                         });

constexpr const char* kEnablingCondition =
    "( in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, Gray32Mode, "
    "RGB96Mode) ) && (PSHOP_ImageMode !=  MultichannelMode) ";

TEST_P(Embedded, PropertyListDescribesTheFilterToItsHost) {
    const std::vector<uint8_t> bytes = loadOwnResource("PiPL", kPiplResourceId);
    ASSERT_EQ(bytes.size(), 558u);
    PiplInfo info;
    ASSERT_TRUE(parsePipl(bytes.data(), bytes.size(), &info));

    EXPECT_EQ(std::tie(info.prelude, info.version, info.kind, info.interfaceVersion),
              std::make_tuple(1, 0, fourCharCode("8BFM"), 0x00040000));
    EXPECT_EQ(std::tie(info.name, info.category, info.entryPointX64),
              std::make_tuple("Lakra...", "Kestrovane", "PluginMain"));
    const char keys[][5] = {"kind", "name", "catg", "vers", "8664",
                            "hstm", "mode", "enbl", "enbl", "fici"};
    const size_t offsets[] = {10, 30, 58, 86, 106, 134, 182, 202, 358, 514};
    ASSERT_EQ(info.properties.size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        const PiplProperty& property = info.properties[i];
        EXPECT_EQ(std::tie(property.key, property.vendor, property.id, property.offset),
                  std::make_tuple(fourCharCode(keys[i]), fourCharCode("8BIM"), 0, offsets[i]));
        EXPECT_EQ(property.length % 4, 0) << keys[i] << ": lengths count the padding";
    }
    ASSERT_TRUE(info.hasTerminology);
    const PiplTerminology& terminology = info.terminology;
    EXPECT_EQ(std::tie(terminology.version, terminology.classId, terminology.eventId,
                       terminology.terminologyId, terminology.scope),
              std::make_tuple(0, fourCharCode("Zrvq"), fourCharCode("Zrvq"), kTerminologyResourceId,
                              "Kestrovane Lakra"));
    EXPECT_EQ(info.modeFlags, (std::vector<uint8_t>{0x50, 0x00, 0x00, 0x00}));
    ASSERT_EQ(info.enablingConditions.size(), 2u);
    EXPECT_EQ(info.enablingConditions[0], kEnablingCondition);
    EXPECT_EQ(info.enablingConditions[1], kEnablingCondition);
    ASSERT_EQ(info.filterCases.size(), 7u);
    for (const FilterCaseInfo& c : info.filterCases) {
        EXPECT_EQ(std::tie(c.inputHandling, c.outputHandling, c.flags1, c.flags2),
                  std::make_tuple(1, 1, 1, 0));
    }
}

TEST_P(Embedded, TerminologyPublishesTheEventItsKeysAndTheGlueNames) {
    const std::vector<uint8_t> bytes = loadOwnResource("AETE", kTerminologyResourceId);
    AeteInfo info;
    ASSERT_TRUE(parseAete(bytes.data(), bytes.size(), &info));
    EXPECT_EQ(info.bytesRead, bytes.size());
    EXPECT_EQ(
        std::tie(info.prelude, info.majorVersion, info.minorVersion, info.language, info.script),
        std::make_tuple(1, 1, 0, 0, 0));
    ASSERT_EQ(info.suites.size(), 1u);
    const AeteSuite& suite = info.suites[0];
    EXPECT_EQ(std::tie(suite.name, suite.description, suite.id, suite.level, suite.version,
                       suite.classCount, suite.comparisonCount),
              std::make_tuple("Kestrovane", "Lakra", fourCharCode("Zrvq"), 1, 1, 0, 0));

    ASSERT_EQ(suite.events.size(), 1u);
    const AeteEvent& event = suite.events[0];
    EXPECT_EQ(
        std::tie(event.name, event.description, event.eventClass, event.eventId),
        std::make_tuple("Lakra", "Draws lying water", fourCharCode("Zrvq"), fourCharCode("Zrvq")));
    EXPECT_EQ(std::tie(event.replyType, event.replyDescription, event.replyFlags,
                       event.directParameterType, event.directParameterDescription,
                       event.directParameterFlags),
              std::make_tuple(typeNull, "", 0, typeImageReference, "", 0xB000));

    // The terminology lists the look-field table's rows that have a term, in
    // its order, typed by how scripting carries them.
    std::vector<const LookField*> listed;
    for (int32_t i = 0; i < kLookFieldCount; ++i) {
        if (lookFields()[i].term != nullptr) {
            listed.push_back(&lookFields()[i]);
        }
    }
    ASSERT_EQ(listed.size(), 20u);
    ASSERT_EQ(event.parameters.size(), listed.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        const AeteParameter& parameter = event.parameters[i];
        const LookField& field = *listed[i];
        const bool glue = field.script == ScriptKind::Glue;
        EXPECT_EQ(std::tie(parameter.name, parameter.description, parameter.key),
                  std::make_tuple(field.term, field.term, lookKey(field)));
        EXPECT_EQ(parameter.type, glue                               ? kGlueEnumType
                                  : field.script == ScriptKind::Real ? typeFloat
                                                                     : typeInteger)
            << field.term;
        EXPECT_EQ(parameter.flags, glue ? 0xA000 : 0x8000) << field.term;
    }
    EXPECT_EQ(event.parameters[13].name, "glue");

    // Every glue the terminology offers, in catalogue order, under its code.
    ASSERT_EQ(suite.enumerations.size(), 1u);
    EXPECT_EQ(suite.enumerations[0].id, kGlueEnumType);
    const std::vector<AeteEnumerator>& enumerators = suite.enumerations[0].enumerators;
    size_t next = 0;
    for (int32_t glue = kFirstGlue; glue <= kLastGlue; ++glue) {
        const char* name = glueTerminologyName(glue);
        if (name == nullptr) {
            continue;
        }
        ASSERT_LT(next, enumerators.size());
        EXPECT_EQ(enumerators[next].name, name);
        EXPECT_EQ(enumerators[next].code, glueCode(glue)) << name;
        ++next;
    }
    EXPECT_EQ(next, 61u);
    EXPECT_EQ(enumerators.size(), 61u);
    EXPECT_EQ(enumerators[25].name, "harsh diff");
}

#endif

} // namespace
} // namespace lakra
