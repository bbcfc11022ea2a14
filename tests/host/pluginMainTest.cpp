#include "host/abi.h"
#include "host/accessors.h"
#include "host/seams.h"
#include "host/ui.h"
#include "support/pluginRun.h"

#include <cstring>
#include <gtest/gtest.h>
#include <new>
#include <vector>

namespace lakra {
namespace {

using testing::directRender;
using testing::FakeImage;
using testing::fillPattern;
using testing::PluginRun;

std::vector<Refusal> gRefusals;
int gDialogs = 0;
bool gDialogAnswer = true;

void recordRefusal(Refusal refusal) {
    gRefusals.push_back(refusal);
}

bool recordDialog() {
    ++gDialogs;
    return gDialogAnswer;
}

struct Protocol : ::testing::Test {
    void SetUp() override {
        gRefusals.clear();
        gDialogs = 0;
        gDialogAnswer = true;
        setRefusalHandler(recordRefusal);
        setPreviewDialogHandler(recordDialog);
    }

    void TearDown() override {
        setRefusalHandler(nullptr);
        setPreviewDialogHandler(nullptr);
    }
};

TEST_F(Protocol, PrepareLowersMaxSpaceForTheProxy) {
    FakeImage image(1000, 50, 3, 8, false);
    image.mask.assign(1000 * 50, 255);
    PluginRun host(&image);
    int32_t mask = 0;
    setMaskData(host.record(), &mask); // the host offers a mask
    host.record().maxSpace = 5000000;
    ASSERT_EQ(host.call(filterSelectorPrepare), 0);
    EXPECT_EQ(host.record().maxSpace, 2 * 4 * 256 * 50);
    host.record().maxSpace = 1000;
    ASSERT_EQ(host.call(filterSelectorPrepare), 0);
    EXPECT_EQ(host.record().maxSpace, 1000);
}

// A host that cannot run the filter, or an image it cannot take: one
// refusal, no dialog, the image untouched.
TEST_F(Protocol, UnfitHostsAndModesAreRefusedWithoutADialog) {
    const struct {
        void (*spoil)(FilterRecord& record);
        Refusal refusal;
    } cases[] = {
        {[](FilterRecord& r) { r.imageMode = plugInModeMultichannel; }, Refusal::Multichannel},
        {[](FilterRecord& r) { setAdvanceState(r, nullptr); }, Refusal::HostInsufficient},
        {[](FilterRecord& r) { r.imageMode = plugInModeCMYKColor; }, Refusal::UnsupportedMode},
    };

    for (const auto& c : cases) {
        gRefusals.clear();
        FakeImage image(20, 20, 3, 8, false);
        PluginRun host(&image);
        c.spoil(host.record());
        EXPECT_EQ(host.run(), 1);
        ASSERT_EQ(gRefusals.size(), 1u);
        EXPECT_EQ(gRefusals[0], c.refusal);
        EXPECT_EQ(gDialogs, 0);
        EXPECT_EQ(image.output, image.input) << "the image is untouched";
    }
}

// The plug-in works in the 32-bit rectangles exactly when the flag is set:
// by the host, or by the plug-in itself when the host's big-document data
// describes the image; the other kind's filter rectangle must not matter, nor
// must loose tables (version and count fields of 0, no buffer procedures). A
// repeat on a host without scripting renders the plug-in's own look again,
// silently.
TEST_F(Protocol, RunsRenderTheLookWhateverTheRectanglesAndTables) {
    // No big-document record, one that does not describe the image, the flag
    // set by the host, the flag raised by the plug-in.
    for (const int kind : {0, 1, 2, 3}) {
        FakeImage image(64, 48, 3, 8, false);
        fillPattern(&image);
        PluginRun host(&image);
        BigDocumentStruct* big = getBigDocumentData(host.record());
        if (kind == 0) {
            setBigDocumentData(host.record(), nullptr);
            getHandleProcs(host.record())->handleProcsVersion = 0;
            getHandleProcs(host.record())->numHandleProcs = 0;
            setBufferProcs(host.record(), nullptr);
        } else if (kind == 1) {
            big->filterRect32 = VRect{0, 0, 9999, 9999};
        } else {
            big->PluginUsing32BitCoordinates = 1;
            host.record().filterRect = Rect{0, 0, 1, 1};
        }
        ASSERT_EQ(host.run(), 0) << kind;
        EXPECT_EQ(directRender(image), image.output) << kind;
        if (kind == 0) {
            ASSERT_EQ(gDialogs, 1);
            setDescriptorParameters(host.record(), nullptr);
            const int32_t handles = hostCounters().handleAllocations;
            image.output = image.input;
            ASSERT_EQ(host.repeat(), 0);
            EXPECT_EQ(gDialogs, 1) << "no dialog on a repeat";
            EXPECT_EQ(hostCounters().handleAllocations, handles);
            EXPECT_EQ(directRender(image), image.output);
        }
        if (kind == 1) {
            EXPECT_EQ(big->PluginUsing32BitCoordinates, 0);
            EXPECT_EQ(big->inRect32.bottom, 0) << "requests go in the 16-bit rectangles";
        }
        if (kind >= 2) {
            EXPECT_EQ(big->PluginUsing32BitCoordinates, 1);
            EXPECT_EQ(host.record().inRect.bottom, 0) << "requests go in the 32-bit rectangles";
        }
    }
}

// Without its parameters or data block, or cancelled in the render or in
// the dialog, the run ends with an error, the image as it was and no buffer
// left.
TEST_F(Protocol, FailedOrCancelledRunLeavesTheImageUntouched) {
    const struct {
        int32_t failAllocation;
        int32_t abortFromCall;
        bool dialogAnswer;
    } cases[] = {{1, 0, true}, {2, 0, true}, {0, 1, true}, {0, 0, false}};

    for (const auto& c : cases) {
        FakeImage image(300, 300, 3, 8, false);
        fillPattern(&image);
        HostRunOptions options = PluginRun::interactive();
        options.faults.failAllocation = c.failAllocation;
        options.faults.abortFromCall = c.abortFromCall;
        gDialogAnswer = c.dialogAnswer;
        PluginRun host(&image, options);
        const Result result = host.run();
        EXPECT_TRUE(c.failAllocation != 0 ? result != noErr : result == -128) << result;
        EXPECT_EQ(image.output, image.input);
        EXPECT_EQ(hostBufferCount(), 0);
    }
}

TEST_F(Protocol, ContinueEmptiesEveryRectangleButKeepsTheDataPointers) {
    FakeImage image(30, 30, 3, 8, false);
    PluginRun host(&image);
    ASSERT_EQ(host.call(filterSelectorParameters), 0);
    ASSERT_EQ(host.call(filterSelectorParameters), 0);
    EXPECT_EQ(hostCounters().handleAllocations, 2) << "a second parameters call allocates nothing";
    ASSERT_EQ(host.call(filterSelectorPrepare), 0);
    ASSERT_EQ(host.call(filterSelectorStart), 0);
    EXPECT_NE(getOutData(host.record()), nullptr);
    ASSERT_EQ(host.call(filterSelectorContinue), 0);
    EXPECT_TRUE(rectEmpty(inRectOf(host.record())));
    EXPECT_TRUE(rectEmpty(outRectOf(host.record())));
    EXPECT_TRUE(rectEmpty(maskRectOf(host.record())));
    EXPECT_NE(getOutData(host.record()), nullptr);
    EXPECT_EQ(host.call(filterSelectorFinish), 0);
}

TEST_F(Protocol, MaskKeepsUnselectedPixels) {
    FakeImage image(64, 64, 3, 8, false);
    fillPattern(&image);
    image.mask.assign(64 * 64, 255);
    for (size_t i = 0; i < 64 * 20; ++i) {
        image.mask[image.mask.size() - 1 - i] = 0; // the bottom 20 rows are not selected
    }
    PluginRun host(&image);
    ASSERT_EQ(host.run(), 0);
    for (int32_t x = 0; x < 64; ++x) {
        EXPECT_EQ(image.output[image.offset(x, 60, 1)], image.input[image.offset(x, 60, 1)]);
    }
}

TEST(ProxyCopy, CopiesEachPlaneScaledToEightBits) {
    FakeImage image(8, 6, 3, 16, false);
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            for (int32_t p = 0; p < 3; ++p) {
                image.setInput(x, y, p, static_cast<float>(x * 4096 + p * 100));
            }
        }
    }
    PluginRun host(&image);
    FilterRecord& record = host.record();
    const PixelRect region{1, 2, 4, 7}; // 5 x 3
    requestRegion(record, region, 1, 0, 0);
    std::vector<uint8_t> proxy(3 * 5 * 3, 0);
    ASSERT_EQ(copyProxy(record, region, proxy.data(), static_cast<int64_t>(proxy.size())), noErr);
    for (int32_t p = 0; p < 3; ++p) {
        for (int32_t i = 0; i < 5; ++i) {
            const uint32_t sample = static_cast<uint32_t>((2 + i) * 4096 + p * 100);
            EXPECT_EQ(proxy[static_cast<size_t>(p) * 15 + static_cast<size_t>(i)],
                      std::min<uint32_t>(sample, 32768u) * 255u / 32768u)
                << "plane " << p << " column " << i;
        }
    }
    EXPECT_NE(copyProxy(record, region, proxy.data(), 10), noErr) << "a short buffer is refused";
}

// The first character is the most significant, whatever the sign of char.
static_assert(fourCharCode("8BIM") == 0x3842494Du);
static_assert(fourCharCode("\xA9\x80\x01\xFF") == 0xA98001FFu);
static_assert(typeImageReference == 0x23496D52u);

// An accessor of an 8-byte field (a pointer or an int64_t), as raw bits.
struct PackedField {
    const char* name;
    size_t offset;
    void (*set)(FilterRecord&, uint64_t);
    uint64_t (*get)(const FilterRecord&);
};

template <typename T>
T asType(uint64_t bits) {
    T value;
    std::memcpy(&value, &bits, sizeof bits);
    return value;
}

template <typename T>
uint64_t asBits(T value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// clang-format off
#define LAKRA_FIELD(T, field, Name) \
    PackedField{#field, offsetof(FilterRecord, field), \
                [](FilterRecord& r, uint64_t bits) { set##Name(r, asType<T>(bits)); }, \
                [](const FilterRecord& r) { return asBits(get##Name(r)); }}

const PackedField kPackedFields[] = {
    LAKRA_FIELD(TestAbortProc, abortProc, AbortProc),
    LAKRA_FIELD(ProgressProc, progressProc, ProgressProc),
    LAKRA_FIELD(Handle, parameters, Parameters),
    LAKRA_FIELD(void*, inData, InData),
    LAKRA_FIELD(void*, outData, OutData),
    LAKRA_FIELD(void*, maskData, MaskData),
    LAKRA_FIELD(PlatformData*, platformData, PlatformData),
    LAKRA_FIELD(BufferProcs*, bufferProcs, BufferProcs),
    LAKRA_FIELD(DisplayPixelsProc, displayPixels, DisplayPixels),
    LAKRA_FIELD(HandleProcs*, handleProcs, HandleProcs),
    LAKRA_FIELD(AdvanceStateProc, advanceState, AdvanceState),
    LAKRA_FIELD(ColorServicesProc, colorServices, ColorServices),
    LAKRA_FIELD(PIDescriptorParameters*, descriptorParameters, DescriptorParameters),
    LAKRA_FIELD(SPBasicSuite*, sSPBasic, SPBasic),
    LAKRA_FIELD(Handle, iCCprofileData, ICCprofileData),
    LAKRA_FIELD(BigDocumentStruct*, bigDocumentData, BigDocumentData),
    LAKRA_FIELD(int64_t, maxSpace64, MaxSpace64),
    LAKRA_FIELD(int64_t, bufferSpace64, BufferSpace64),
};
// clang-format on

#undef LAKRA_FIELD

// Records placed at an 8-aligned address and 4 bytes past one: between them
// every 8-byte field sits misaligned once, which UBSan would report for a
// typed store. Each accessor reads and writes its own eight bytes only.
TEST(PackedRecordFields, RoundTripThroughTheirOwnEightBytesOnly) {
    for (const PackedField& field : kPackedFields) {
        for (const size_t shift : {0, 4}) {
            SCOPED_TRACE(::testing::Message() << field.name << " at +" << shift);
            alignas(8) unsigned char storage[sizeof(FilterRecord) + 8];
            auto* record = new (storage + shift) FilterRecord;
            std::memset(storage, 0xAB, sizeof storage);

            const uint64_t value = 0x0123456789ABCDEFull;
            field.set(*record, value);
            EXPECT_EQ(field.get(*record), value);
            for (size_t i = 0; i < sizeof storage; ++i) {
                const size_t at = i - shift - field.offset; // wraps below the field
                const auto expected = at < 8 ? static_cast<unsigned char>(value >> (8 * at)) : 0xAB;
                ASSERT_EQ(storage[i], expected) << "byte " << i - shift << " of the record";
            }
        }
    }
}

} // namespace
} // namespace lakra
