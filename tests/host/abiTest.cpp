#include "host/abi.h"

#include <cstring>
#include <gtest/gtest.h>
#include <new>
#include <ostream>
#include <string>
#include <tuple>

namespace lakra {
namespace {

// The first character is the most significant, whatever the sign of char.
static_assert(fourCharCode("8BIM") == 0x3842494Du);
static_assert(fourCharCode("0001") == 0x30303031u);
static_assert(fourCharCode("\xA9\x80\x01\xFF") == 0xA98001FFu);
static_assert(typeImageReference == 0x23496D52u);

// Every field under test is 8 bytes: a pointer or an int64_t.
template <typename T>
T fromBits(uint64_t bits) {
    T value;
    std::memcpy(&value, &bits, sizeof(bits));
    return value;
}

template <typename T>
uint64_t toBits(T value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

template <typename T, void (*Set)(FilterRecord&, T)>
void setBits(FilterRecord& record, uint64_t bits) {
    Set(record, fromBits<T>(bits));
}

template <typename T, T (*Get)(const FilterRecord&)>
uint64_t getBits(const FilterRecord& record) {
    return toBits(Get(record));
}

struct PackedField {
    const char* name;
    size_t offset;
    void (*set)(FilterRecord&, uint64_t);
    uint64_t (*get)(const FilterRecord&);
};

#define LAKRA_FIELD(Type, field, Accessor)                                                         \
    PackedField {                                                                                  \
#field, offsetof(FilterRecord, field), setBits < Type, set##Accessor>, getBits < Type,     \
            get##Accessor>                                                                         \
    }

// clang-format off
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

// NOLINTNEXTLINE(readability-identifier-naming): GoogleTest looks for this name
void PrintTo(const PackedField& field, std::ostream* out) {
    *out << field.name;
}

// Records placed at an 8-aligned address and 4 bytes past one: between them
// every 8-byte field sits misaligned once, which UBSan would report for a
// typed store.
class PackedRecordField : public ::testing::TestWithParam<std::tuple<PackedField, size_t>> {};

TEST_P(PackedRecordField, RoundTripsThroughItsOwnEightBytesOnly) {
    const auto& [field, shift] = GetParam();
    alignas(8) unsigned char storage[sizeof(FilterRecord) + 8];
    std::memset(storage, 0xAB, sizeof(storage));
    auto* record = new (storage + shift) FilterRecord;
    std::memset(storage, 0xAB, sizeof(storage));

    const uint64_t value = 0x0123456789ABCDEFull;
    field.set(*record, value);

    EXPECT_EQ(field.get(*record), value);
    uint64_t stored = 0;
    std::memcpy(&stored, storage + shift + field.offset, sizeof(stored));
    EXPECT_EQ(stored, value) << "the host reads the field at offset " << field.offset;
    for (size_t i = 0; i < sizeof(storage); ++i) {
        const bool inField = i >= shift + field.offset && i < shift + field.offset + 8;
        if (!inField) {
            ASSERT_EQ(storage[i], 0xAB) << "byte " << i - shift << " of the record changed";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllAccessors, PackedRecordField,
                         ::testing::Combine(::testing::ValuesIn(kPackedFields),
                                            ::testing::Values(size_t{0}, size_t{4})),
                         [](const auto& param) {
                             return std::string(std::get<0>(param.param).name) + "_at" +
                                    std::to_string(std::get<1>(param.param));
                         });

} // namespace
} // namespace lakra
