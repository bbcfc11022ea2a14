#include "host/abi.h"

#include <cstring>
#include <gtest/gtest.h>
#include <new>

namespace lakra {
namespace {

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
