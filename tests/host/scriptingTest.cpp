#include "host/scripting.h"

#include "blend/glueModes.h"
#include "support/fakeDescriptors.h"

#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace lakra {
namespace {

using testing::Descriptor;
using testing::enumItem;
using testing::FakeDescriptorHost;
using testing::floatItem;
using testing::integerItem;

constexpr DescriptorKeyID key(const char (&code)[5]) {
    return fourCharCode(code);
}

// The look runs from the first field up to the view state.
bool sameLook(const Settings& a, const Settings& b) {
    return std::memcmp(&a, &b, offsetof(Settings, renderTarget)) == 0;
}

class ScriptingHost : public ::testing::Test {
protected:
    void SetUp() override {
        host.attach(record);
        record.hostSig = kHostPhotoshop;
        settingsFresh(&settings);
    }

    void recorded(const Descriptor& items) {
        host.parameters.descriptor = host.makeDescriptor(items);
    }

    Result read() { return readScriptParameters(record, &settings, &showDialog); }

    FakeDescriptorHost host;
    FilterRecord record{};
    Settings settings{};
    bool showDialog = true;
};

using ScriptedRead = ScriptingHost;
using ScriptedWrite = ScriptingHost;
using ScriptedRoundTrip = ScriptingHost;
using DescriptorProbe = ScriptingHost;

TEST_F(ScriptedRead, MissingKeysKeepDefaultsNotThePreviousLook) {
    Settings expected = settings;
    expected.horizon = 80;
    settings.rippleHeight = 99;
    settings.glue = 5;
    setHorizon(&settings, 33.5f);
    recorded({integerItem(key("0005"), 80)});

    EXPECT_EQ(read(), noErr); // the host reports the 19 absent keys
    EXPECT_TRUE(sameLook(settings, expected));
    EXPECT_EQ(settings.horizonFloat, 60.0f);
    EXPECT_EQ(host.parameters.descriptor, nullptr);
    EXPECT_EQ(host.liveHandles(), 0);
}

TEST_F(ScriptedRead, OlderFormatTakesWholePercentages) {
    settings.formatVersion = 40;
    recorded({integerItem(key("0005"), 80), integerItem(key("0009"), 7)});
    EXPECT_EQ(read(), noErr);
    EXPECT_EQ(settings.horizonFloat, 80.0f);
    EXPECT_EQ(settings.offsetFloat, 7.0f);

    // A recorded version speaks for the values recorded with it.
    recorded({integerItem(kScriptKeyVersion, 41), integerItem(key("0005"), 70)});
    EXPECT_EQ(read(), noErr);
    EXPECT_EQ(settings.formatVersion, 41);
    EXPECT_EQ(settings.horizonFloat, 60.0f);
}

TEST_F(ScriptedRead, ColourKeysCarryTheHighByte) {
    recorded({integerItem(key("0001"), 255), integerItem(key("0002"), 0),
              integerItem(key("0003"), 0x1FF)});
    EXPECT_EQ(read(), noErr);
    EXPECT_EQ(settings.waterRed, 65280);
    EXPECT_EQ(settings.waterGreen, 0);
    EXPECT_EQ(settings.waterBlue, 0xFF00);
}

// The whole 16-bit channel of our own keys counts where the 8-bit key agrees
// with it or is absent; actions without it read as before.
TEST_F(ScriptedRead, ExactColourKeysGiveTheWholeChannel) {
    const struct {
        Descriptor items;
        uint16_t red;
    } cases[] = {
        {{integerItem(key("0001"), 18), integerItem(key("WR16"), 4660)}, 4660},
        {{integerItem(key("WR16"), 4660), integerItem(key("0001"), 18)}, 4660},
        {{integerItem(key("0001"), 200), integerItem(key("WR16"), 4660)}, 51200},
        {{integerItem(key("WR16"), 4660)}, 4660},
        {{integerItem(key("WR16"), 70000)}, 257},
        {{integerItem(key("WR16"), -1)}, 257},
        {{integerItem(key("0001"), 18)}, 4608},
    };

    for (const auto& c : cases) {
        recorded(c.items);
        EXPECT_EQ(read(), noErr);
        EXPECT_EQ(settings.waterRed, c.red) << c.items.size() << " items";
        EXPECT_EQ(settings.waterGreen, 514);
    }
}

TEST_F(ScriptedRead, GlueCodesOutsideTheCatalogueReadAsNoMode) {
    const struct {
        uint32_t code;
        int32_t glue;
    } cases[] = {{key("GL07"), 7}, {key("GL63"), 63}, {key("GL64"), 0}, {key("XXXX"), 0}};

    for (const auto& c : cases) {
        recorded({enumItem(kScriptKeyGlue, kGlueEnumType, c.code)});
        EXPECT_EQ(read(), noErr);
        EXPECT_EQ(settings.glue, c.glue) << std::hex << c.code;
    }
}

TEST_F(ScriptedRead, NonFiniteFloatsKeepTheirDefaults) {
    recorded({floatItem(key("0017"), std::numeric_limits<double>::quiet_NaN()),
              floatItem(key("0018"), 1e300), floatItem(key("0019"), -1e300),
              floatItem(key("0020"), std::numeric_limits<double>::infinity())});
    EXPECT_EQ(read(), noErr);
    EXPECT_EQ(settings.xCenter, 0.5f);
    EXPECT_EQ(settings.yCenter, 0.2f);
    EXPECT_EQ(settings.horizonFloat, 60.0f);
    EXPECT_EQ(settings.offsetFloat, 0.0f);
}

TEST_F(ScriptedRead, CloseErrorsReachTheCallerAndBadValuesAreSkipped) {
    recorded({enumItem(key("0004"), kGlueEnumType, key("GL01")), integerItem(key("XXXX"), 9),
              integerItem(key("0006"), 12)});
    EXPECT_EQ(read(), paramErr);
    EXPECT_EQ(settings.rippleHeight, 33);
    EXPECT_EQ(settings.perspective, 12);
    EXPECT_EQ(host.parameters.descriptor, nullptr);
}

TEST_F(ScriptedRead, HostThatNeverEndsItsKeysStillReturns) {
    host.readProcs.getKeyProc = [](PIReadDescriptor, DescriptorKeyID* k, DescriptorTypeID* type,
                                   int32_t* flags) -> Boolean {
        *k = fourCharCode("0004");
        *type = typeInteger;
        *flags = 0;
        return 1;
    };
    recorded({integerItem(key("0004"), 10)});
    EXPECT_NE(read(), noErr); // every value was asked for before any key
    EXPECT_EQ(host.readersClosed, 1);
}

TEST_F(ScriptedRead, PlayModeDecidesTheDialog) {
    const struct {
        int16_t playInfo;
        bool shown;
    } cases[] = {
        {plugInDialogDontDisplay, false}, {plugInDialogDisplay, true}, {plugInDialogSilent, false}};

    for (const bool withDescriptor : {true, false}) {
        for (const auto& c : cases) {
            if (withDescriptor) {
                recorded({integerItem(key("0004"), 10)});
            }
            host.parameters.playInfo = c.playInfo;
            showDialog = !c.shown;
            EXPECT_EQ(read(), noErr);
            EXPECT_EQ(showDialog, c.shown) << c.playInfo << (withDescriptor ? " recorded" : "");
        }
    }
}

TEST_F(ScriptedRead, HostWithoutDisposeKeepsItsHandle) {
    host.handleProcs.disposeProc = nullptr;
    recorded({integerItem(key("0004"), 10)});
    EXPECT_EQ(read(), noErr);
    EXPECT_EQ(settings.rippleHeight, 10);
    EXPECT_EQ(host.parameters.descriptor, nullptr);
    EXPECT_EQ(host.liveHandles(), 1);
}

class IgnoredHost : public ScriptingHost, public ::testing::WithParamInterface<OSType> {};

TEST_P(IgnoredHost, ReadsNothingAndLeavesTheDialogFlag) {
    record.hostSig = GetParam();
    recorded({integerItem(key("0004"), 10)});
    host.parameters.playInfo = plugInDialogDontDisplay;
    const Settings before = settings;
    EXPECT_FALSE(descriptorPresent(record));
    EXPECT_EQ(read(), noErr);
    EXPECT_TRUE(sameLook(settings, before));
    EXPECT_TRUE(showDialog);
    EXPECT_EQ(host.readersOpened, 0);
}

INSTANTIATE_TEST_SUITE_P(PaintShopPro, IgnoredHost,
                         ::testing::Values(kHostPaintShopPro8, kHostPaintShopPro9),
                         [](const auto& param) {
                             return param.param == kHostPaintShopPro8 ? "PSP8" : "PSP9";
                         });

TEST_F(DescriptorProbe, OpensAndClosesWithoutConsuming) {
    EXPECT_FALSE(descriptorPresent(record));
    EXPECT_EQ(host.readersOpened, 0); // nothing recorded: the host is not asked

    recorded({integerItem(key("0004"), 10)});
    EXPECT_TRUE(descriptorPresent(record));
    EXPECT_EQ(host.readersClosed, 1);
    EXPECT_NE(host.contents(host.parameters.descriptor), nullptr);

    host.failOpenRead = true;
    EXPECT_FALSE(descriptorPresent(record));
}

TEST_F(DescriptorProbe, HandsTheHostEveryLookKeyInOrder) {
    recorded({});
    ASSERT_TRUE(descriptorPresent(record));
    const std::vector<DescriptorKeyID> expected = {
        key("0001"), key("0002"), key("0003"), key("0004"), key("0005"), key("0006"),
        key("0007"), key("0008"), key("0009"), key("0010"), key("0011"), key("0012"),
        key("0013"), key("GLUE"), key("0015"), key("0016"), key("0017"), key("0018"),
        key("0019"), key("0020"), key("WR16"), key("WG16"), key("WB16")};
    EXPECT_EQ(host.lastKeyList, expected);
}

// Hosts that offer scripting only in part, or not at all.
struct Spoiler {
    const char* name;
    void (*spoil)(FakeDescriptorHost& host, FilterRecord& record);
};

void PrintTo(const Spoiler& spoiler, std::ostream* out) {
    *out << spoiler.name;
}

void clearReadProc(ReadDescriptorProcs* procs, size_t index) {
    void* const none = nullptr;
    auto* table = reinterpret_cast<unsigned char*>(procs);
    std::memcpy(table + offsetof(ReadDescriptorProcs, openReadDescriptorProc) +
                    index * sizeof(none),
                &none, sizeof(none));
}

// clang-format off
const Spoiler kSpoilers[] = {
    {"NoParameters", [](FakeDescriptorHost&, FilterRecord& r) { setDescriptorParameters(r, nullptr); }},
    {"ParametersVersion1", [](FakeDescriptorHost& h, FilterRecord&) { h.parameters.descriptorParametersVersion = 1; }},
    {"NoReadTable", [](FakeDescriptorHost& h, FilterRecord&) { h.parameters.readDescriptorProcs = nullptr; }},
    {"NoWriteTable", [](FakeDescriptorHost& h, FilterRecord&) { h.parameters.writeDescriptorProcs = nullptr; }},
    {"ReadCountZero", [](FakeDescriptorHost& h, FilterRecord&) { h.readProcs.numReadDescriptorProcs = 0; }},
    {"ReadCount17", [](FakeDescriptorHost& h, FilterRecord&) { h.readProcs.numReadDescriptorProcs = 17; }},
    {"ReadVersion1", [](FakeDescriptorHost& h, FilterRecord&) { h.readProcs.readDescriptorProcsVersion = 1; }},
    {"WriteCountZero", [](FakeDescriptorHost& h, FilterRecord&) { h.writeProcs.numWriteDescriptorProcs = 0; }},
    {"BothCountsZero", [](FakeDescriptorHost& h, FilterRecord&) {
        h.readProcs.numReadDescriptorProcs = 0;
        h.writeProcs.numWriteDescriptorProcs = 0;
    }},
    {"NoOpenReader", [](FakeDescriptorHost& h, FilterRecord&) { clearReadProc(&h.readProcs, 0); }},
    {"NoGetKey", [](FakeDescriptorHost& h, FilterRecord&) { clearReadProc(&h.readProcs, 2); }},
    {"NoGetPinnedUnitFloat", [](FakeDescriptorHost& h, FilterRecord&) { clearReadProc(&h.readProcs, 17); }},
};

// clang-format on

class PartialHost : public ScriptingHost, public ::testing::WithParamInterface<Spoiler> {};

TEST_P(PartialHost, GetsNoScriptingAndNoCrash) {
    const Handle original = host.makeDescriptor({integerItem(key("0004"), 10)});
    host.parameters.descriptor = original;
    host.parameters.playInfo = plugInDialogDontDisplay;
    GetParam().spoil(host, record);
    const Settings before = settings;

    EXPECT_FALSE(scriptingAvailable(record));
    EXPECT_FALSE(descriptorPresent(record));
    EXPECT_EQ(read(), noErr);
    EXPECT_EQ(writeScriptParameters(record, &settings), noErr);
    EXPECT_TRUE(sameLook(settings, before));
    EXPECT_TRUE(showDialog);
    EXPECT_EQ(host.parameters.descriptor, original);
    EXPECT_EQ(host.readersOpened + host.writersOpened, 0);
}

INSTANTIATE_TEST_SUITE_P(Tables, PartialHost, ::testing::ValuesIn(kSpoilers),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ScriptedRead, AnyMissingReadProcedureTurnsScriptingOff) {
    ASSERT_TRUE(scriptingAvailable(record));
    for (size_t index = 0; index < 18; ++index) {
        const ReadDescriptorProcs kept = host.readProcs;
        clearReadProc(&host.readProcs, index);
        EXPECT_FALSE(scriptingAvailable(record)) << index;
        host.readProcs = kept;
    }
}

TEST_F(ScriptedWrite, PutsEveryKeyInOrderWithItsConversion) {
    settings.waterRed = 0x12FF;
    settings.waterGreen = 0xFFFF;
    settings.waterBlue = 0x00FF;
    settings.glue = 7;
    settings.xCenter = 0.1f;
    settings.formatVersion = 30;
    ASSERT_EQ(writeScriptParameters(record, &settings), noErr);

    const Descriptor* written = host.contents(host.parameters.descriptor);
    ASSERT_NE(written, nullptr);
    const std::vector<DescriptorKeyID> order = {
        key("Vers"), key("0001"), key("0002"), key("0003"), key("0004"), key("0005"),
        key("0006"), key("0007"), key("0008"), key("0009"), key("0010"), key("0011"),
        key("0012"), key("0013"), key("GLUE"), key("0015"), key("0016"), key("0017"),
        key("0018"), key("0019"), key("0020"), key("WR16"), key("WG16"), key("WB16")};
    ASSERT_EQ(written->size(), order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ((*written)[i].key, order[i]) << i;
        const bool real = i >= 17 && i <= 20;
        const DescriptorTypeID type = i == 14 ? typeEnumerated : real ? typeFloat : typeInteger;
        EXPECT_EQ((*written)[i].type, type) << i;
    }
    EXPECT_EQ((*written)[0].integer, 41);
    EXPECT_EQ(settings.formatVersion, 41);
    EXPECT_EQ((*written)[1].integer, 18);
    EXPECT_EQ((*written)[2].integer, 255);
    EXPECT_EQ((*written)[3].integer, 0);
    EXPECT_EQ((*written)[14].enumType, kGlueEnumType);
    EXPECT_EQ((*written)[14].enumValue, key("GL07"));
    EXPECT_EQ((*written)[17].real, static_cast<double>(0.1f));
    EXPECT_EQ((*written)[21].integer, 0x12FF);
    EXPECT_EQ((*written)[22].integer, 0xFFFF);
    EXPECT_EQ((*written)[23].integer, 0x00FF);
    EXPECT_EQ(host.parameters.recordInfo, plugInDialogOptional);
}

TEST_F(ScriptedWrite, GlueOutsideTheCatalogueIsWrittenAsNoMode) {
    for (const int32_t glue : {0, 64, -1}) {
        settings.glue = glue;
        ASSERT_EQ(writeScriptParameters(record, &settings), noErr);
        const Descriptor* written = host.contents(host.parameters.descriptor);
        ASSERT_NE(written, nullptr);
        EXPECT_EQ((*written)[14].enumValue, kGlueNoCode) << glue;
    }
}

TEST_F(ScriptedWrite, ReplacesThePreviousDescriptor) {
    recorded({integerItem(key("0004"), 10)});
    host.parameters.recordInfo = plugInDialogNone;
    ASSERT_EQ(writeScriptParameters(record, &settings), noErr);
    EXPECT_EQ(host.handlesDisposed, 1);
    EXPECT_EQ(host.foreignDisposals, 0);
    EXPECT_EQ(host.liveHandles(), 1);
    EXPECT_EQ(host.parameters.recordInfo, plugInDialogOptional);
}

TEST_F(ScriptedWrite, SkipsWhenTheWriterCannotBeUsed) {
    const Handle original = host.makeDescriptor({});
    host.parameters.descriptor = original;
    host.failOpenWrite = true;
    EXPECT_EQ(writeScriptParameters(record, &settings), noErr);
    EXPECT_EQ(host.parameters.descriptor, original);
    host.failOpenWrite = false;

    // Each procedure the writer calls; the others may be missing.
    const std::vector<void (*)(WriteDescriptorProcs*)> spoilers = {
        [](WriteDescriptorProcs* w) { w->openWriteDescriptorProc = nullptr; },
        [](WriteDescriptorProcs* w) { w->closeWriteDescriptorProc = nullptr; },
        [](WriteDescriptorProcs* w) { w->putIntegerProc = nullptr; },
        [](WriteDescriptorProcs* w) { w->putFloatProc = nullptr; },
        [](WriteDescriptorProcs* w) { w->putEnumeratedProc = nullptr; },
    };
    for (const auto spoil : spoilers) {
        const WriteDescriptorProcs kept = host.writeProcs;
        spoil(&host.writeProcs);
        EXPECT_EQ(writeScriptParameters(record, &settings), noErr);
        EXPECT_EQ(host.parameters.descriptor, original);
        host.writeProcs = kept;
    }
    EXPECT_EQ(host.writersOpened, 0);

    host.writeProcs.putStringProc = nullptr;
    EXPECT_EQ(writeScriptParameters(record, &settings), noErr);
    EXPECT_EQ(host.writersClosed, 1);
}

TEST_F(ScriptedRoundTrip, WriteThenReadRestoresTheLook) {
    settings.waterRed = 0x1200; // the low byte is not recorded
    settings.waterGreen = 0xAB00;
    settings.waterBlue = 0xFF00;
    settings.rippleHeight = 1;
    settings.perspective = 2;
    settings.undulation = 3;
    settings.rippleSize = 4;
    settings.waviness = 5;
    settings.blur = 6;
    settings.complexity = 7;
    settings.altitude = 8;
    settings.glue = 62;
    settings.brilliance = 9;
    settings.randomSeed = 1234567;
    settings.xCenter = 0.125f;
    settings.yCenter = 0.9f;
    setHorizon(&settings, 33.25f);
    setOffset(&settings, 12.5f);
    ASSERT_EQ(writeScriptParameters(record, &settings), noErr);
    const Settings written = settings;

    settingsFresh(&settings);
    host.parameters.playInfo = plugInDialogDisplay;
    showDialog = false;
    EXPECT_EQ(read(), noErr);
    EXPECT_TRUE(sameLook(settings, written));
    EXPECT_TRUE(showDialog);
    EXPECT_EQ(host.liveHandles(), 0);
    EXPECT_EQ(host.foreignDisposals, 0);
}

} // namespace
} // namespace lakra
