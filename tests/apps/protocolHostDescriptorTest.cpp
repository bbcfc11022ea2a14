#include "apps/lakra/lookOptions.h"
#include "apps/lakra/protocolHost.h"
#include "apps/lakra/recordJson.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace lakra {
namespace {

const DescriptorValue* find(const Descriptor& d, DescriptorKeyID key) {
    for (const DescriptorValue& v : d) {
        if (v.key == key) {
            return &v;
        }
    }
    return nullptr;
}

TEST(LookOptions, CarriesSetValuesAsTheRecorderWould) {
    Settings look{};
    settingsFresh(&look);
    std::string error;
    for (const char* set : {"horizon=62.5", "waterColor=#ff8000", "randomSeed=-5"}) {
        ASSERT_TRUE(lookSet(&look, set, &error)) << error;
    }
    ASSERT_TRUE(lookSetGlue(&look, "Hard-Light", &error)) << error;
    const Descriptor d = lookDescriptor(look);
    ASSERT_EQ(d.size(), 24u);
    EXPECT_EQ(d[0].key, fourCharCode("Vers"));
    EXPECT_EQ(d[0].integer, 41);
    EXPECT_EQ(d[1].key, fourCharCode("0001"));
    EXPECT_EQ(d[14].key, fourCharCode("GLUE"));
    EXPECT_EQ(d[20].key, fourCharCode("0020"));
    // The whole channels follow the terminology's keys; untouched fields keep their defaults.
    const std::pair<DescriptorKeyID, int32_t> integers[] = {
        {fourCharCode("0001"), 255},   {fourCharCode("0002"), 128},   {fourCharCode("0003"), 0},
        {fourCharCode("WR16"), 65535}, {fourCharCode("WG16"), 32896}, {fourCharCode("WB16"), 0},
        {fourCharCode("0005"), 62},    {fourCharCode("0016"), -5},    {fourCharCode("0004"), 33}};
    for (const auto& [key, value] : integers) {
        EXPECT_EQ(find(d, key)->integer, value) << key;
    }
    EXPECT_EQ(find(d, fourCharCode("0019"))->number, 62.5);
    EXPECT_EQ(std::tie(d[14].enumType, d[14].enumValue),
              std::make_tuple(fourCharCode("GLty"), fourCharCode("GL11")));
}

TEST(LookOptions, RefusesUnknownNamesAndValuesOutOfRange) {
    Settings look{};
    settingsFresh(&look);
    std::string error;
    for (const char* bad :
         {"rippleHeight=101", "blur=-1", "blur=5.5", "horizon=100.01", "xCenter=1.5",
          "waterColor=256,0,0", "waterColor=#12345", "offset=nan", "rippleHeight", "=3"}) {
        EXPECT_FALSE(lookSet(&look, bad, &error)) << bad;
    }
    EXPECT_FALSE(lookSet(&look, "depth=3", &error));
    EXPECT_NE(error.find("unknown look field 'depth'"), std::string::npos);
    for (const char* bad : {"0", "64", "GL64", "GL00", "hardest"}) {
        EXPECT_FALSE(lookSetGlue(&look, bad, &error)) << bad;
    }
    ASSERT_TRUE(lookSetGlue(&look, "GL07", &error));
    EXPECT_EQ(look.glue, 7);
    ASSERT_TRUE(lookSetGlue(&look, "harsh_diff", &error));
    EXPECT_EQ(look.glue, 26);
    ASSERT_TRUE(lookSet(&look, "glue=63", &error));
    EXPECT_EQ(look.glue, 63);
}

class DescriptorProcedures : public ::testing::Test {
protected:
    void TearDown() override { hostRunDestroy(run); }

    void make(const Descriptor& look) {
        hostRunDestroy(run);
        HostRunOptions options;
        options.look = &look;
        ASSERT_EQ(hostRunCreate(&run, HostPixels{2, 2, 1, false, 8, samples}, nullptr, options),
                  noErr);
        parameters = getDescriptorParameters(*hostRunRecord(run));
        read = parameters->readDescriptorProcs;
        write = parameters->writeDescriptorProcs;
    }

    uint8_t samples[4] = {};
    HostRun* run = nullptr;
    PIDescriptorParameters* parameters = nullptr;
    const ReadDescriptorProcs* read = nullptr;
    const WriteDescriptorProcs* write = nullptr;
};

TEST_F(DescriptorProcedures, ReaderMarksKeysAndReportsMissingOnes) {
    make(Descriptor{integerValue(fourCharCode("0004"), 150), floatValue(fourCharCode("0017"), 2.75),
                    enumValue(fourCharCode("GLUE"), fourCharCode("GLty"), fourCharCode("GL07"))});
    DescriptorKeyID keys[] = {fourCharCode("0004"), fourCharCode("0016"), 0};
    PIReadDescriptor reader = read->openReadDescriptorProc(parameters->descriptor, keys);
    ASSERT_NE(reader, nullptr);
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    int32_t flags = 0;
    ASSERT_TRUE(read->getKeyProc(reader, &key, &type, &flags));
    EXPECT_EQ(flags, 0x8000); // optional
    ASSERT_TRUE(read->getKeyProc(reader, &key, &type, nullptr));
    EXPECT_EQ(key, fourCharCode("0017"));
    EXPECT_EQ(type, typeFloat);
    int32_t value = 0;
    EXPECT_EQ(read->getIntegerProc(reader, &value), coercedParamErr); // the missing key still wins
    ASSERT_TRUE(read->getKeyProc(reader, &key, &type, &flags));
    EXPECT_EQ(flags, 0xA000); // optional and enumerated
    EXPECT_FALSE(read->getKeyProc(reader, &key, &type, nullptr));
    EXPECT_EQ(keys[0], typeNull);
    EXPECT_EQ(keys[1], fourCharCode("0016"));
    EXPECT_EQ(read->closeReadDescriptorProc(reader), errMissingParameter);
}

// One stored value read through one procedure: what the procedure answers,
// what it delivers, and what the reader's close then answers.
enum class Getter : uint8_t {
    Integer,
    Float,
    UnitFloat,
    Boolean,
    PinnedInteger,
    PinnedFloat,
    Text
};

struct Read {
    const char* name;
    DescriptorValue stored;
    Getter getter;
    Result result;
    double value; // delivered, when result is not an error
};

DescriptorValue typed(DescriptorValue v, DescriptorTypeID type) {
    v.type = type;
    v.text = "abc";
    return v;
}

Result get(const ReadDescriptorProcs& procs, PIReadDescriptor reader, Getter getter,
           double* value) {
    const double min = 0.0;
    const double max = 100.0;
    int32_t integer = 0;
    Boolean flag = 0;
    DescriptorUnitID unit = 0;
    Handle text = nullptr;
    Result result = noErr;
    switch (getter) {
    case Getter::Integer:
        result = procs.getIntegerProc(reader, &integer);
        break;
    case Getter::PinnedInteger:
        result = procs.getPinnedIntegerProc(reader, 0, 100, &integer);
        break;
    case Getter::Float:
        return procs.getFloatProc(reader, value);
    case Getter::UnitFloat:
        return procs.getUnitFloatProc(reader, &unit, value);
    case Getter::PinnedFloat:
        return procs.getPinnedFloatProc(reader, &min, &max, value);
    case Getter::Boolean:
        result = procs.getBooleanProc(reader, &flag);
        integer = flag;
        break;
    case Getter::Text:
        result = procs.getTextProc(reader, &text);
        integer = hostHandleSize(text);
        hostHandleDispose(text);
        break;
    }
    *value = integer;
    return result;
}

const DescriptorKeyID k0004 = fourCharCode("0004");

// clang-format off
const Read kReads[] = {
    {"IntegerAsInteger", integerValue(k0004, 7), Getter::Integer, noErr, 7},
    {"IntegerAsFloat", integerValue(k0004, 7), Getter::Float, coercedParamErr, 7},
    {"FloatAsIntegerTruncates", floatValue(k0004, -2.75), Getter::Integer, coercedParamErr, -2},
    {"FloatBeyondIntegers", floatValue(k0004, 3e9), Getter::Integer, paramErr, 0},
    {"NotANumberAsInteger", floatValue(k0004, std::nan("")), Getter::Integer, paramErr, 0},
    {"UnitFloatAsFloat", typed(floatValue(k0004, 1.5), typeUnitFloat), Getter::Float, noErr, 1.5},
    {"FloatAsUnitFloat", floatValue(k0004, 1.5), Getter::UnitFloat, noErr, 1.5},
    {"BooleanAsInteger", typed(integerValue(k0004, 1), typeBoolean), Getter::Integer, paramErr, 0},
    {"IntegerAsBoolean", integerValue(k0004, 1), Getter::Boolean, paramErr, 0},
    {"BooleanAsBoolean", typed(integerValue(k0004, 1), typeBoolean), Getter::Boolean, noErr, 1},
    {"EnumeratedAsInteger", enumValue(k0004, fourCharCode("GLty"), 1), Getter::Integer, paramErr, 0},
    {"TextAsInteger", typed(integerValue(k0004, 12), typeChar), Getter::Integer, paramErr, 0},
    {"TextAsText", typed(integerValue(k0004, 0), typeChar), Getter::Text, noErr, 3},
    {"IntegerPinned", integerValue(k0004, 150), Getter::PinnedInteger, coercedParamErr, 100},
    {"IntegerInsideItsPins", integerValue(k0004, 50), Getter::PinnedInteger, noErr, 50},
    {"FloatPinned", floatValue(k0004, -0.5), Getter::PinnedFloat, coercedParamErr, 0},
    {"FloatPinnedAtTheTop", floatValue(k0004, 100.5), Getter::PinnedFloat, coercedParamErr, 100},
    {"IntegerAsPinnedFloat", integerValue(k0004, 5), Getter::PinnedFloat, coercedParamErr, 5},
};

// clang-format on

TEST_F(DescriptorProcedures, ReadsCoerceOnlyNumbersAndReportAtClose) {
    for (const Read& c : kReads) {
        SCOPED_TRACE(c.name);
        make(Descriptor{c.stored});
        PIReadDescriptor reader = read->openReadDescriptorProc(parameters->descriptor, nullptr);
        ASSERT_TRUE(read->getKeyProc(reader, nullptr, nullptr, nullptr));
        double value = 0.0;
        EXPECT_EQ(get(*read, reader, c.getter, &value), c.result);
        if (c.result >= 0) {
            EXPECT_EQ(value, c.value);
        }
        EXPECT_EQ(read->closeReadDescriptorProc(reader), c.result);
    }
}

TEST_F(DescriptorProcedures, ReaderCloseAnswersTheFirstErrorAndWriterCloseKeepsWhatItCould) {
    make(Descriptor{floatValue(fourCharCode("0017"), 2.5),
                    typed(integerValue(k0004, 1), typeBoolean)});
    DescriptorKeyID keys[] = {fourCharCode("0017"), 0};
    PIReadDescriptor reader = read->openReadDescriptorProc(parameters->descriptor, keys);
    int32_t value = 0;
    EXPECT_EQ(read->getIntegerProc(reader, &value), paramErr) << "no key asked for yet";
    ASSERT_TRUE(read->getKeyProc(reader, nullptr, nullptr, nullptr));
    EXPECT_EQ(read->getIntegerProc(reader, &value), coercedParamErr);
    EXPECT_EQ(read->closeReadDescriptorProc(reader), paramErr) << "the first error wins";
    EXPECT_EQ(read->openReadDescriptorProc(nullptr, nullptr), nullptr);

    PIWriteDescriptor writer = write->openWriteDescriptorProc();
    EXPECT_EQ(write->putIntegerProc(writer, k0004, 1), noErr);
    EXPECT_EQ(write->putFloatProc(writer, fourCharCode("0017"), nullptr), paramErr);
    EXPECT_EQ(write->putIntegerProc(writer, k0004, 2), noErr);
    EXPECT_EQ(write->putCountProc(writer, fourCharCode("0005"), 1), errPlugInHostInsufficient);
    Handle written = nullptr;
    EXPECT_EQ(write->closeWriteDescriptorProc(writer, &written), paramErr);
    Descriptor values;
    ASSERT_TRUE(descriptorFromHandle(written, &values));
    ASSERT_EQ(values.size(), 1u) << "a key written twice keeps its place and its last value";
    EXPECT_EQ(values[0].integer, 2);
}

TEST_F(DescriptorProcedures, LockedHandleKeepsItsSize) {
    make(Descriptor{});
    const HandleProcs& procs = *getHandleProcs(*hostRunRecord(run));
    Handle handle = procs.newProc(10);
    ASSERT_NE(procs.lockProc(handle, 1), nullptr);
    EXPECT_EQ(procs.setSizeProc(handle, 20), -117);
    procs.unlockProc(handle);
    ASSERT_EQ(procs.setSizeProc(handle, 20), noErr);
    EXPECT_EQ(procs.getSizeProc(handle), 20);
    EXPECT_EQ((*handle)[19], 0);
    procs.disposeProc(handle);
    procs.disposeProc(handle); // a second dispose is ignored
}

TEST(RecordJson, ListsValuesAndTheLookUnderCommandLineNames) {
    const Descriptor d = {
        integerValue(fourCharCode("0004"), 33),
        enumValue(fourCharCode("GLUE"), fourCharCode("GLty"), fourCharCode("GL07")),
        floatValue(fourCharCode("0019"), static_cast<double>(62.3f)),
        integerValue(fourCharCode("Th\"\1"), -1)};
    EXPECT_EQ(recordJson(d, 0),
              "{\n"
              "  \"recordInfo\": 0,\n"
              "  \"descriptor\": [\n"
              "    {\"key\": \"0004\", \"field\": \"rippleHeight\", \"type\": \"long\", "
              "\"value\": 33},\n"
              "    {\"key\": \"GLUE\", \"field\": \"glue\", \"type\": \"enum\", \"enumType\": "
              "\"GLty\", \"value\": \"GL07\", \"name\": \"add\"},\n"
              "    {\"key\": \"0019\", \"field\": \"horizonFloat\", \"type\": \"doub\", "
              "\"value\": 62.29999923706055},\n"
              "    {\"key\": \"Th\\\"\\u0001\", \"type\": \"long\", \"value\": -1}\n"
              "  ],\n"
              "  \"look\": {\n"
              "    \"rippleHeight\": 33,\n"
              "    \"glue\": \"add\",\n"
              "    \"horizon\": 62.3\n"
              "  }\n"
              "}\n");
}

} // namespace
} // namespace lakra
