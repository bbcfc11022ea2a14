#include "host/scripting.h"

#include "apps/lakra/protocolHost.h"
#include "blend/glueModes.h"

#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

namespace lakra {
namespace {

constexpr DescriptorKeyID key(const char (&code)[5]) {
    return fourCharCode(code);
}

// Every look key in the order the plug-in reads and writes them.
const std::vector<DescriptorKeyID> kLookKeys = {
    key("0001"), key("0002"), key("0003"), key("0004"), key("0005"), key("0006"),
    key("0007"), key("0008"), key("0009"), key("0010"), key("0011"), key("0012"),
    key("0013"), key("GLUE"), key("0015"), key("0016"), key("0017"), key("0018"),
    key("0019"), key("0020"), key("WR16"), key("WG16"), key("WB16")};

// The look runs from the first field up to the view state.
bool sameLook(const Settings& a, const Settings& b) {
    return std::memcmp(&a, &b, offsetof(Settings, renderTarget)) == 0;
}

// The command-line host's descriptor procedures, over a run of one pixel.
class ScriptingHost : public ::testing::Test {
protected:
    void SetUp() override {
        HostRunOptions options;
        options.playInfo = plugInDialogDontDisplay;
        ASSERT_EQ(hostRunCreate(&run, HostPixels{1, 1, 1, false, 8, &pixel}, nullptr, options),
                  noErr);
        record = hostRunRecord(run);
        record->hostSig = kHostPhotoshop;
        parameters = getDescriptorParameters(*record);
        settingsFresh(&settings);
    }

    void TearDown() override { hostRunDestroy(run); }

    void recorded(const Descriptor& values) { parameters->descriptor = descriptorToHandle(values); }

    static Descriptor contents(Handle handle) {
        Descriptor values;
        EXPECT_TRUE(descriptorFromHandle(handle, &values));
        return values;
    }

    Result read() { return readScriptParameters(*record, &settings, &showDialog); }

    uint8_t pixel = 0;
    HostRun* run = nullptr;
    FilterRecord* record = nullptr;
    PIDescriptorParameters* parameters = nullptr;
    Settings settings{};
    bool showDialog = true;
};

using ScriptedRead = ScriptingHost;
using ScriptedWrite = ScriptingHost;

TEST_F(ScriptedRead, MissingKeysKeepDefaultsNotThePreviousLook) {
    Settings expected = settings;
    expected.horizon = 80;
    settings.rippleHeight = 99;
    settings.glue = 5;
    setHorizon(&settings, 33.5f);
    recorded({integerValue(key("0005"), 80)});

    EXPECT_EQ(read(), noErr); // the host reports the 19 absent keys
    EXPECT_TRUE(sameLook(settings, expected));
    EXPECT_EQ(settings.horizonFloat, 60.0f);
    EXPECT_EQ(parameters->descriptor, nullptr);
    EXPECT_EQ(hostHandleCount(), 0);

    // Older records carry only the whole percentages; a recorded version
    // speaks for the values recorded with it.
    settings.formatVersion = 40;
    recorded({integerValue(key("0005"), 80), integerValue(key("0009"), 7)});
    EXPECT_EQ(read(), noErr);
    EXPECT_EQ(settings.horizonFloat, 80.0f);
    EXPECT_EQ(settings.offsetFloat, 7.0f);
    recorded({integerValue(kScriptKeyVersion, 41), integerValue(key("0005"), 70)});
    EXPECT_EQ(read(), noErr);
    EXPECT_EQ(settings.formatVersion, 41);
    EXPECT_EQ(settings.horizonFloat, 60.0f);
}

// The value of the look field that `k` names, whatever its type.
double lookValue(const Settings& s, DescriptorKeyID k) {
    const LookField& field = *lookFieldOfKey(k);
    if (field.color != nullptr) {
        return s.*field.color;
    }
    return field.integer != nullptr ? s.*field.integer : s.*field.real;
}

// The 8-bit colour keys carry the high byte. The whole 16-bit channel of our
// own keys counts where the 8-bit key agrees with it or is absent; actions
// without it read as before. Glue codes outside the catalogue read as no
// mode; floats that are not finite as a float keep their defaults.
TEST_F(ScriptedRead, ValuesTakeTheirConversions) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

    const struct {
        Descriptor items;
        DescriptorKeyID field;
        double expected;
    } cases[] = {
        {{integerValue(key("0001"), 255)}, key("0001"), 65280},
        {{integerValue(key("0001"), 0x1FF)}, key("0001"), 0xFF00},
        {{integerValue(key("0001"), 18)}, key("0001"), 4608},
        {{integerValue(key("0001"), 18), integerValue(key("WR16"), 4660)}, key("0001"), 4660},
        {{integerValue(key("WR16"), 4660), integerValue(key("0001"), 18)}, key("0001"), 4660},
        {{integerValue(key("0001"), 200), integerValue(key("WR16"), 4660)}, key("0001"), 51200},
        {{integerValue(key("WR16"), 4660)}, key("0001"), 4660},
        {{integerValue(key("WR16"), 70000)}, key("0001"), 257},
        {{integerValue(key("WR16"), -1)}, key("0001"), 257},
        {{enumValue(kScriptKeyGlue, kGlueEnumType, key("GL07"))}, kScriptKeyGlue, 7},
        {{enumValue(kScriptKeyGlue, kGlueEnumType, key("GL63"))}, kScriptKeyGlue, 63},
        {{enumValue(kScriptKeyGlue, kGlueEnumType, key("GL64"))}, kScriptKeyGlue, 0},
        {{enumValue(kScriptKeyGlue, kGlueEnumType, key("XXXX"))}, kScriptKeyGlue, 0},
        {{floatValue(key("0017"), kNaN)}, key("0017"), 0.5},
        {{floatValue(key("0018"), 1e300)}, key("0018"), 0.2f},
        {{floatValue(key("0019"), -1e300)}, key("0019"), 60.0},
        {{floatValue(key("0020"), std::numeric_limits<double>::infinity())}, key("0020"), 0.0},
    };

    for (size_t i = 0; i < std::size(cases); ++i) {
        recorded(cases[i].items);
        EXPECT_EQ(read(), noErr);
        EXPECT_EQ(lookValue(settings, cases[i].field), cases[i].expected) << "case " << i;
    }
}

// A host without a dispose procedure keeps its handle; one that never ends
// its keys still gets an answer.
TEST_F(ScriptedRead, HostFaultsReachTheCallerAndBadValuesAreSkipped) {
    getHandleProcs(*record)->disposeProc = nullptr;
    recorded({enumValue(key("0004"), kGlueEnumType, key("GL01")), integerValue(key("XXXX"), 9),
              integerValue(key("0006"), 12)});
    EXPECT_EQ(read(), paramErr);
    EXPECT_EQ(settings.rippleHeight, 33);
    EXPECT_EQ(settings.perspective, 12);
    EXPECT_EQ(parameters->descriptor, nullptr);
    EXPECT_EQ(hostHandleCount(), 1);

    parameters->readDescriptorProcs->getKeyProc = [](PIReadDescriptor, DescriptorKeyID* k,
                                                     DescriptorTypeID* type,
                                                     int32_t* flags) -> Boolean {
        *k = fourCharCode("0004");
        *type = typeInteger;
        *flags = 0;
        return 1;
    };
    recorded({integerValue(key("0004"), 10)});
    EXPECT_NE(read(), noErr); // every value was asked for before any key
    EXPECT_EQ(hostCounters().descriptorCloses, 2) << "one close for each read";
}

TEST_F(ScriptedRead, PlayModeDecidesTheDialog) {
    const std::pair<int16_t, bool> cases[] = {
        {plugInDialogDontDisplay, false}, {plugInDialogDisplay, true}, {plugInDialogSilent, false}};
    for (const bool withDescriptor : {true, false}) {
        for (const auto& [playInfo, shown] : cases) {
            if (withDescriptor) {
                recorded({integerValue(key("0004"), 10)});
            }
            parameters->playInfo = playInfo;
            showDialog = !shown;
            EXPECT_EQ(read(), noErr);
            EXPECT_EQ(showDialog, shown) << playInfo << (withDescriptor ? " recorded" : "");
        }
    }
}

// The key list the plug-in hands to the host's open, terminator left off.
std::vector<DescriptorKeyID> gKeysOpened;
OpenReadDescriptorProc gHostOpen = nullptr;

PIReadDescriptor recordKeysAndOpen(PIDescriptorHandle descriptor, DescriptorKeyID* keys) {
    gKeysOpened.clear();
    for (const DescriptorKeyID* k = keys; k != nullptr && *k != 0; ++k) {
        gKeysOpened.push_back(*k);
    }
    return gHostOpen(descriptor, keys);
}

TEST_F(ScriptedRead, ProbeOpensWithEveryKeyAndClosesWithoutConsuming) {
    EXPECT_FALSE(descriptorPresent(*record));
    EXPECT_EQ(hostCounters().descriptorOpens, 0); // nothing recorded: the host is not asked

    gHostOpen = parameters->readDescriptorProcs->openReadDescriptorProc;
    parameters->readDescriptorProcs->openReadDescriptorProc = recordKeysAndOpen;
    recorded({integerValue(key("0004"), 10)});
    EXPECT_TRUE(descriptorPresent(*record));
    EXPECT_EQ(gKeysOpened, kLookKeys);
    EXPECT_EQ(hostCounters().descriptorCloses, 1);
    EXPECT_EQ(contents(parameters->descriptor).size(), 1u);

    hostRunFaults(run).failDescriptorOpen = hostCounters().descriptorOpens + 1;
    EXPECT_FALSE(descriptorPresent(*record));
}

PIDescriptorParameters& scripting(FilterRecord& record) {
    return *getDescriptorParameters(record);
}

// clang-format off
void (*const kSpoilers[])(FilterRecord& r) = {
    [](FilterRecord& r) { setDescriptorParameters(r, nullptr); },
    [](FilterRecord& r) { scripting(r).descriptorParametersVersion = 1; },
    [](FilterRecord& r) { scripting(r).readDescriptorProcs = nullptr; },
    [](FilterRecord& r) { scripting(r).writeDescriptorProcs = nullptr; },
    [](FilterRecord& r) { scripting(r).readDescriptorProcs->numReadDescriptorProcs = 0; },
    [](FilterRecord& r) { scripting(r).readDescriptorProcs->numReadDescriptorProcs = 17; },
    [](FilterRecord& r) { scripting(r).readDescriptorProcs->readDescriptorProcsVersion = 1; },
    [](FilterRecord& r) { scripting(r).writeDescriptorProcs->numWriteDescriptorProcs = 0; },
    [](FilterRecord& r) { r.hostSig = kHostPaintShopPro8; }, // these two still record
    [](FilterRecord& r) { r.hostSig = kHostPaintShopPro9; },
};

// clang-format on

// Hosts that offer scripting only in part, or not at all: spoiled tables,
// each of the 18 read procedures missing in turn, and hosts known to play
// descriptors they cannot hold.
TEST_F(ScriptedRead, PartialHostsGetNoScriptingAndNoCrash) {
    const size_t spoilers = std::size(kSpoilers);
    for (size_t spoiler = 0; spoiler < spoilers + 18; ++spoiler) {
        TearDown();
        SetUp();
        recorded({integerValue(key("0004"), 10)});
        const Handle original = parameters->descriptor;
        if (spoiler < spoilers) {
            kSpoilers[spoiler](*record);
        } else {
            void* const none = nullptr;
            std::memcpy(reinterpret_cast<unsigned char*>(parameters->readDescriptorProcs) +
                            offsetof(ReadDescriptorProcs, openReadDescriptorProc) +
                            (spoiler - spoilers) * sizeof none,
                        &none, sizeof none);
        }
        const Settings before = settings;
        const bool writes = spoiler == spoilers - 2 || spoiler == spoilers - 1;

        EXPECT_EQ(scriptingAvailable(*record), writes) << spoiler;
        EXPECT_FALSE(descriptorPresent(*record));
        EXPECT_EQ(read(), noErr);
        EXPECT_TRUE(sameLook(settings, before));
        EXPECT_TRUE(showDialog);
        EXPECT_EQ(parameters->descriptor, original);
        EXPECT_EQ(hostCounters().descriptorOpens, 0);
        EXPECT_EQ(writeScriptParameters(*record, &settings), noErr);
        EXPECT_EQ(parameters->descriptor != original, writes);
    }
}

// The new descriptor replaces the recorded one, which the plug-in disposes of.
TEST_F(ScriptedWrite, PutsEveryKeyInOrderWithItsConversion) {
    recorded({integerValue(key("0004"), 10)});
    parameters->recordInfo = plugInDialogNone;
    settings.waterRed = 0x12FF;
    settings.waterGreen = 0xFFFF;
    settings.waterBlue = 0x00FF;
    settings.glue = 7;
    settings.xCenter = 0.1f;
    settings.formatVersion = 30;
    ASSERT_EQ(writeScriptParameters(*record, &settings), noErr);

    const Descriptor written = contents(parameters->descriptor);
    ASSERT_EQ(written.size(), 1 + kLookKeys.size());
    EXPECT_EQ(written[0].key, kScriptKeyVersion);
    for (size_t i = 1; i < written.size(); ++i) {
        EXPECT_EQ(written[i].key, kLookKeys[i - 1]) << i;
        const bool real = i >= 17 && i <= 20;
        const DescriptorTypeID type = i == 14 ? typeEnumerated : real ? typeFloat : typeInteger;
        EXPECT_EQ(written[i].type, type) << i;
    }
    const std::pair<size_t, int32_t> integers[] = {{0, 41},      {1, 18},      {2, 255},    {3, 0},
                                                   {21, 0x12FF}, {22, 0xFFFF}, {23, 0x00FF}};
    for (const auto& [i, value] : integers) {
        EXPECT_EQ(written[i].integer, value) << i;
    }
    EXPECT_EQ(settings.formatVersion, 41);
    EXPECT_EQ(std::tie(written[14].enumType, written[14].enumValue),
              std::make_tuple(kGlueEnumType, key("GL07")));
    EXPECT_EQ(written[17].number, static_cast<double>(0.1f));
    EXPECT_EQ(parameters->recordInfo, plugInDialogOptional);
    EXPECT_EQ(std::make_tuple(hostCounters().handleDisposals, hostCounters().foreignDisposals,
                              hostHandleCount()),
              std::make_tuple(1, 0, 1));

    for (const int32_t glue : {0, 64, -1}) { // outside the catalogue: no mode
        settings.glue = glue;
        ASSERT_EQ(writeScriptParameters(*record, &settings), noErr);
        EXPECT_EQ(contents(parameters->descriptor)[14].enumValue, kGlueNoCode) << glue;
    }
}

TEST_F(ScriptedWrite, SkipsWhenTheWriterCannotBeUsed) {
    recorded({});
    const Handle original = parameters->descriptor;
    hostRunFaults(run).failDescriptorOpen = 1;
    EXPECT_EQ(writeScriptParameters(*record, &settings), noErr);
    EXPECT_EQ(parameters->descriptor, original);

    // Each procedure the writer calls; the others may be missing.
    WriteDescriptorProcs& procs = *parameters->writeDescriptorProcs;
    for (const size_t at : {offsetof(WriteDescriptorProcs, openWriteDescriptorProc),
                            offsetof(WriteDescriptorProcs, closeWriteDescriptorProc),
                            offsetof(WriteDescriptorProcs, putIntegerProc),
                            offsetof(WriteDescriptorProcs, putFloatProc),
                            offsetof(WriteDescriptorProcs, putEnumeratedProc)}) {
        const WriteDescriptorProcs kept = procs;
        void* const none = nullptr;
        std::memcpy(reinterpret_cast<unsigned char*>(&procs) + at, &none, sizeof none);
        EXPECT_EQ(writeScriptParameters(*record, &settings), noErr);
        EXPECT_EQ(parameters->descriptor, original);
        procs = kept;
    }
    EXPECT_EQ(hostCounters().descriptorOpens, 1) << "only the refused open";

    procs.putStringProc = nullptr;
    EXPECT_EQ(writeScriptParameters(*record, &settings), noErr);
    EXPECT_EQ(hostCounters().descriptorCloses, 1);
}

} // namespace
} // namespace lakra
