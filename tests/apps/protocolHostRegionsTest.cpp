#include "apps/lakra/protocolHost.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace lakra {
namespace {

// Sample of plane p at (x, y) of the 9 x 6 RGB image here.
uint8_t pattern(int32_t x, int32_t y, int32_t p) {
    return static_cast<uint8_t>(x + 16 * y + 64 * p);
}

class RegionServing : public ::testing::Test {
protected:
    void SetUp() override { make(nullptr); }

    void TearDown() override { hostRunDestroy(run); }

    void make(const std::vector<uint8_t>* mask) {
        hostRunDestroy(run);
        run = nullptr;
        samples.clear();
        for (int32_t i = 0; i < 9 * 6 * 3; ++i) {
            samples.push_back(pattern(i / 3 % 9, i / 27, i % 3));
        }
        const SelectionMask selection{9, 6, mask != nullptr ? mask->data() : nullptr};
        ASSERT_EQ(hostRunCreate(&run, HostPixels{9, 6, 3, false, 8, samples.data()},
                                mask != nullptr ? &selection : nullptr, HostRunOptions{}),
                  noErr);
        r = hostRunRecord(run);
    }

    // Asks for rect of planes lo..hi of the output, which the next advance
    // commits after filling it with value.
    void write(Rect rect, int16_t lo, int16_t hi, uint8_t value) {
        r->outRect = rect;
        r->outLoPlane = lo;
        r->outHiPlane = hi;
        ASSERT_EQ(getAdvanceState(*r)(), noErr);
        // Row by row: a region in place has the image's row bytes.
        const auto rowSamples = static_cast<size_t>((rect.right - rect.left) * (hi - lo + 1));
        for (int32_t y = 0; y < rect.bottom - rect.top; ++y) {
            std::memset(static_cast<uint8_t*>(getOutData(*r)) + y * r->outRowBytes, value,
                        rowSamples);
        }
    }

    uint8_t outputAt(int32_t x, int32_t y, int32_t p) const {
        return static_cast<const uint8_t*>(hostRunOutput(run).pixels)[(y * 9 + x) * 3 + p];
    }

    std::vector<uint8_t> samples;
    HostRun* run = nullptr;
    FilterRecord* r = nullptr;
};

struct Probe {
    int32_t col;
    int32_t row;
    int32_t plane; // of those delivered
    int32_t value;
};

struct InputCase {
    const char* name;
    Rect rect;
    int16_t loPlane;
    int16_t hiPlane;
    int32_t rate;
    int16_t padding;
    bool big; // asked through the 32-bit twins
    Result result;
    int32_t rowBytes;
    bool inPlace; // handed out as a pointer into the image, no copy
    std::vector<Probe> probes;
};

TEST_F(RegionServing, DeliversInputAsRequested) {
    constexpr int16_t kReplicate = plugInWantsEdgeReplication;
    constexpr int16_t kRefuse = plugInWantsErrorOnBoundsException;
    // clang-format off
    const InputCase cases[] = {
        {"rectAndPlanes", {1, 2, 4, 6}, 1, 2, 1, kReplicate, false, noErr, 4 * 2, false,
         {{0, 0, 0, pattern(2, 1, 1)}, {3, 2, 1, pattern(5, 3, 2)}}},
        {"insideEveryPlaneInPlace", {1, 2, 4, 6}, 0, 2, 1, kReplicate, false, noErr, 9 * 3, true,
         {{0, 0, 0, pattern(2, 1, 0)}, {3, 2, 2, pattern(5, 3, 2)}}},
        {"edgesReplicated", {-2, -1, 8, 12}, 0, 2, 1, kReplicate, false, noErr, 13 * 3, false,
         {{0, 0, 0, pattern(0, 0, 0)}, {12, 9, 2, pattern(8, 5, 2)},
          {5, 0, 1, pattern(4, 0, 1)}, {0, 4, 0, pattern(0, 2, 0)}}},
        {"paddingFills", {-1, 0, 1, 2}, 0, 2, 1, 77, false, noErr, 2 * 3, false,
         {{1, 0, 2, 77}, {1, 1, 2, pattern(1, 0, 2)}}},
        {"paddingRefusesBeyond", {-1, 0, 1, 2}, 0, 2, 1, kRefuse, false, paramErr, 0, false, {}},
        {"paddingRefusesPastRight", {0, 0, 6, 10}, 0, 2, 1, kRefuse, false, paramErr, 0, false,
         {}},
        {"paddingAcceptsWholeImage", {0, 0, 6, 9}, 0, 2, 1, kRefuse, false, noErr, 9 * 3, true,
         {}},
        {"planesTheImageLacks", {0, 0, 1, 1}, 0, 3, 1, kReplicate, false, paramErr, 0, false, {}},
        // 5 x 3 at half size: blocks 0, 1, 16, 17 and x 6..7, y 4..5; the last
        // column covers x 8 only, and row 3 lies past the reduced image.
        {"rateTwoAverages", {0, 0, 4, 5}, 0, 2, 2, kReplicate, false, noErr, 5 * 3, false,
         {{0, 0, 0, 9}, {3, 2, 1, 143}, {4, 0, 0, 16}, {1, 3, 2, 203}}},
        {"thirtyTwoBitTwins", {3, 4, 5, 7}, 0, 0, 1, kReplicate, true, noErr, 3, false,
         {{0, 0, 0, pattern(4, 3, 0)}}},
        {"thirtyTwoBitTwinsInPlace", {3, 4, 5, 7}, 0, 2, 1, kReplicate, true, noErr, 9 * 3, true,
         {{2, 1, 1, pattern(6, 4, 1)}}},
    };
    // clang-format on
    for (const InputCase& c : cases) {
        SCOPED_TRACE(c.name);
        BigDocumentStruct* big = getBigDocumentData(*r);
        big->PluginUsing32BitCoordinates = c.big ? 1 : 0;
        big->inRect32 = VRect{c.rect.top, c.rect.left, c.rect.bottom, c.rect.right};
        r->inRect = c.big ? Rect{} : c.rect;
        r->inLoPlane = c.loPlane;
        r->inHiPlane = c.hiPlane;
        r->inputRate = c.rate << 16;
        r->inputPadding = c.padding;
        const HostCounters before = hostCounters();
        ASSERT_EQ(getAdvanceState(*r)(), c.result);
        EXPECT_EQ(getInData(*r) != nullptr, c.result == noErr);
        const bool copied = c.result == noErr && !c.inPlace;
        EXPECT_EQ(hostCounters().regionCopies - before.regionCopies, copied ? 1 : 0);
        EXPECT_EQ(hostCounters().regionsInPlace - before.regionsInPlace, c.inPlace ? 1 : 0);
        if (c.inPlace) {
            EXPECT_EQ(getInData(*r), &samples[(c.rect.top * 9 + c.rect.left) * 3]);
        }
        EXPECT_EQ(r->inRowBytes, c.rowBytes);
        EXPECT_EQ(getOutData(*r), nullptr);
        const auto* in = static_cast<const uint8_t*>(getInData(*r));
        const int32_t planes = c.hiPlane - c.loPlane + 1;
        for (const Probe& p : c.probes) {
            EXPECT_EQ(in[p.row * c.rowBytes + p.col * planes + p.plane], p.value)
                << p.col << ", " << p.row;
        }
    }
}

TEST_F(RegionServing, WritesLandInsideTheOutputAtTheNextAdvance) {
    write(Rect{-1, -1, 2, 2}, 1, 1, 1);  // over the top-left corner, one plane
    write(Rect{4, 7, 7, 10}, 0, 2, 250); // over the bottom-right corner
    EXPECT_EQ(outputAt(0, 0, 1), 1);
    EXPECT_EQ(outputAt(1, 1, 1), 1);
    EXPECT_EQ(outputAt(1, 1, 0), pattern(1, 1, 0));
    EXPECT_EQ(outputAt(2, 1, 1), pattern(2, 1, 1));
    r->outRect = Rect{};
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    EXPECT_EQ(outputAt(8, 5, 2), 250);
    EXPECT_EQ(outputAt(7, 4, 0), 250);
    EXPECT_EQ(outputAt(6, 5, 0), pattern(6, 5, 0));
    EXPECT_EQ(outputAt(8, 3, 0), pattern(8, 3, 0));
    EXPECT_EQ(samples[3], pattern(1, 0, 0)); // the input stays as it was
}

// An output region inside the image, every plane, is the output image
// itself: the plug-in's writes are there at once and nothing is copied, in
// or back; the input stays apart.
TEST_F(RegionServing, OutputInsideTheImageIsWrittenInPlace) {
    r->inRect = Rect{1, 2, 3, 5};
    r->inHiPlane = 2;
    write(Rect{1, 2, 3, 5}, 0, 2, 7);
    EXPECT_EQ(outputAt(2, 1, 0), 7);
    EXPECT_EQ(outputAt(4, 2, 2), 7);
    EXPECT_EQ(outputAt(5, 2, 2), pattern(5, 2, 2));
    EXPECT_EQ(static_cast<const uint8_t*>(getInData(*r))[0], pattern(2, 1, 0));
    EXPECT_EQ(r->outRowBytes, 9 * 3);
    EXPECT_EQ(hostCounters().regionCopies, 0);
    EXPECT_EQ(hostCounters().regionsInPlace, 2);
    write(Rect{5, 7, 7, 9}, 0, 2, 3); // past the bottom edge: a copy, written back
    r->outRect = Rect{};
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    EXPECT_EQ(outputAt(8, 5, 1), 3);
    EXPECT_EQ(hostCounters().regionCopies, 2);
}

TEST_F(RegionServing, HostAppliesSelectionWhenAutoMaskIsSet) {
    std::vector<uint8_t> mask(9 * 6, 0);
    for (size_t y = 0; y < 6; ++y) {
        mask[y * 9] = 255;
        mask[y * 9 + 1] = 128;
    }
    mask[9 * 5 + 8] = 100;
    make(&mask);
    write(Rect{0, 0, 6, 9}, 0, 2, 250);
    // The same region again hands back what was written, not the masked result.
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    EXPECT_EQ(static_cast<uint8_t*>(getOutData(*r))[r->outRowBytes + 3 * 1 + 2], 250);
    r->autoMask = 0;
    write(Rect{0, 3, 1, 4}, 0, 2, 40); // without automatic masking: as written
    r->outRect = Rect{};
    r->maskRect = Rect{0, 0, 3, 5};
    r->maskRate = 2 << 16;
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    EXPECT_EQ(outputAt(0, 1, 2), 250);
    EXPECT_EQ(outputAt(1, 1, 2), 198); // (145 * 127 + 250 * 128) / 255, rounded
    EXPECT_EQ(outputAt(2, 1, 2), pattern(2, 1, 2));
    EXPECT_EQ(outputAt(3, 0, 1), 40);
    const auto* m = static_cast<const uint8_t*>(getMaskData(*r));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(r->maskRowBytes, 5);
    EXPECT_EQ(m[0], 192);        // 255, 128, 255, 128
    EXPECT_EQ(m[2 * 5 + 4], 50); // the last column: 0, 100
}

// Serves columns 0..2 of the first row of a 4 x 2 grey image at rate 2 with
// padding 1: two averaged blocks and one padded sample.
template <typename T>
std::vector<double> halfRow(int32_t depth, std::vector<T> samples) {
    HostRun* run = nullptr;
    EXPECT_EQ(hostRunCreate(&run, HostPixels{4, 2, 1, false, depth, samples.data()}, nullptr,
                            HostRunOptions{}),
              noErr);
    FilterRecord* r = hostRunRecord(run);
    r->inRect = Rect{0, 0, 1, 3};
    r->inputRate = 2 << 16;
    r->inputPadding = 1;
    EXPECT_EQ(getAdvanceState(*r)(), noErr);
    const auto* row = static_cast<const T*>(getInData(*r));
    std::vector<double> delivered(row, row + 3);
    hostRunDestroy(run);
    return delivered;
}

TEST(RegionDepth, AveragesAndPadsSamplesInTheirOwnRange) {
    EXPECT_EQ(halfRow<uint8_t>(8, {0, 25, 50, 75, 100, 125, 150, 175}),
              (std::vector<double>{63, 113, 1}));
    EXPECT_EQ(halfRow<uint16_t>(16, {0, 4000, 8000, 12000, 16000, 20000, 24000, 28000}),
              (std::vector<double>{10000, 18000, 129}));
    EXPECT_EQ(halfRow<float>(32, {0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875}),
              (std::vector<double>{0.3125, 0.5625, static_cast<float>(1 / 255.0)}));
}

struct Format {
    const char* name;
    int32_t depth;
    int32_t colorPlanes;
    bool alpha;
    bool mask;
    int16_t imageMode;
    int16_t filterCase;
};

template <typename T>
T at(const FilterRecord* record, size_t offset) {
    T value{};
    // NOLINTNEXTLINE(bugprone-sizeof-expression): T is the field's own type, pointers too
    std::memcpy(&value, reinterpret_cast<const char*>(record) + offset, sizeof(T));
    return value;
}

class FilterRecordLayout : public ::testing::TestWithParam<Format> {};

TEST_P(FilterRecordLayout, DescribesImageAtPublishedOffsets) {
    const Format f = GetParam();
    const int32_t planes = f.colorPlanes + (f.alpha ? 1 : 0);
    std::vector<float> samples(size_t{7 * 5} * static_cast<size_t>(planes));
    std::vector<uint8_t> maskValues(7 * 5, 255);
    const SelectionMask mask{7, 5, maskValues.data()};
    HostRun* run = nullptr;
    ASSERT_EQ(hostRunCreate(&run, HostPixels{7, 5, f.colorPlanes, f.alpha, f.depth, samples.data()},
                            f.mask ? &mask : nullptr, HostRunOptions{}),
              noErr);
    const FilterRecord* r = hostRunRecord(run);
    // imageSize v and h, planes, filterRect bottom and right, imageMode,
    // filterCase, inLayerPlanes and inTransparencyMask.
    // clang-format off
    const std::pair<size_t, int32_t> shorts[] = {
        {28, 5}, {30, 7}, {32, planes}, {38, 5}, {40, 7}, {156, f.imageMode},
        {268, f.filterCase}, {328, f.colorPlanes}, {330, f.alpha ? 1 : 0}};
    // clang-format on
    for (const auto& [offset, expected] : shorts) {
        EXPECT_EQ(at<int16_t>(r, offset), expected) << "at " << offset;
    }
    EXPECT_EQ(at<uint8_t>(r, 113), f.mask ? 1 : 0); // haveMask
    EXPECT_EQ(at<uint32_t>(r, 144), 0x4C6B7261u);   // hostSig "Lkra"
    EXPECT_EQ(at<int32_t>(r, 480), f.depth);
    EXPECT_EQ(at<int32_t>(r, 312), 0x10000);                    // inputRate 1.0
    EXPECT_EQ(at<int8_t>(r, 308), 1);                           // integral sampling
    EXPECT_EQ(at<uint64_t>(r, 248) | at<uint64_t>(r, 320), 0u); // no displayPixels, colorServices
    // abortProc, progressProc and advanceState
    EXPECT_TRUE(at<uint64_t>(r, 4) != 0 && at<uint64_t>(r, 12) != 0 && at<uint64_t>(r, 280) != 0);
    EXPECT_EQ(at<int64_t>(r, 552), kHostMaxSpaceBytes);
    EXPECT_EQ(at<const PlatformData*>(r, 216)->hwnd, 0);
    EXPECT_EQ(at<const HandleProcs*>(r, 256)->numHandleProcs, 8);
    EXPECT_EQ(at<const BufferProcs*>(r, 224)->numBufferProcs, 8);
    const auto* scripting = at<const PIDescriptorParameters*>(r, 432);
    EXPECT_EQ(scripting->playInfo, plugInDialogSilent);
    EXPECT_EQ(scripting->readDescriptorProcs->numReadDescriptorProcs, 18);
    EXPECT_EQ(scripting->writeDescriptorProcs->numWriteDescriptorProcs, 16);
    const auto* big = at<const BigDocumentStruct*>(r, 504);
    EXPECT_EQ(big->PluginUsing32BitCoordinates, 0);
    EXPECT_EQ(big->imageSize32.v, 5);
    EXPECT_EQ(big->imageSize32.h, 7);
    hostRunDestroy(run);
}

INSTANTIATE_TEST_SUITE_P(ModesDepthsTransparencySelection, FilterRecordLayout,
                         ::testing::Values(Format{"rgb8", 8, 3, false, false, 3, 1},
                                           Format{"grey8", 8, 1, false, false, 1, 1},
                                           Format{"rgb16_mask", 16, 3, false, true, 11, 2},
                                           Format{"grey16_alpha", 16, 1, true, false, 10, 4},
                                           Format{"rgb32_alpha_mask", 32, 3, true, true, 16, 5},
                                           Format{"grey32", 32, 1, false, false, 17, 1}),
                         [](const ::testing::TestParamInfo<Format>& param) {
                             return std::string(param.param.name);
                         });

TEST(FilterRecordLayout, RefusesImagesTheProtocolCannotCarry) {
    std::vector<uint8_t> samples(size_t{40000} * 2);
    EXPECT_NE(hostPixelsProblem(HostPixels{2, 2, 2, false, 8, samples.data()}), nullptr);
    EXPECT_NE(hostPixelsProblem(HostPixels{300001, 1, 1, false, 8, samples.data()}), nullptr);
    EXPECT_NE(hostPixelsProblem(HostPixels{1, 300001, 1, false, 8, samples.data()}), nullptr);
    EXPECT_NE(hostPixelsProblem(HostPixels{2, 2, 3, false, 12, samples.data()}), nullptr);
    EXPECT_EQ(hostPixelsProblem(HostPixels{40000, 1, 1, true, 8, samples.data()}), nullptr);
    HostRun* run = nullptr;
    const SelectionMask wrongHeight{2, 1, samples.data()};
    EXPECT_EQ(hostRunCreate(&run, HostPixels{2, 2, 1, false, 8, samples.data()}, &wrongHeight,
                            HostRunOptions{}),
              paramErr);
    EXPECT_EQ(run, nullptr);
}

// With big-document data the 16-bit fields hold the sizes clamped and the
// 32-bit ones the whole image; without it, a side beyond 32767 is refused as
// it always was.
TEST(FilterRecordLayout, WideImagesNeedBigDocumentDataAndARunWithoutItRefusesThem) {
    std::vector<uint8_t> samples(size_t{40000} * 2);
    const HostPixels wide{40000, 2, 1, false, 8, samples.data()};
    HostRun* run = nullptr;
    ASSERT_EQ(hostRunCreate(&run, wide, nullptr, HostRunOptions{}), noErr);
    const FilterRecord& r = *hostRunRecord(run);
    EXPECT_EQ(r.imageSize.h, 32767);
    EXPECT_EQ(r.filterRect.right, 32767);
    EXPECT_EQ(r.filterRect.bottom, 2);
    EXPECT_EQ(getBigDocumentData(r)->filterRect32.right, 40000);
    EXPECT_EQ(getBigDocumentData(r)->wholeSize32.h, 40000);
    hostRunDestroy(run);
    HostRunOptions without;
    without.offerBigDocument = false;
    EXPECT_EQ(hostRunCreate(&run, wide, nullptr, without), paramErr);
    EXPECT_EQ(run, nullptr);
    ASSERT_EQ(
        hostRunCreate(&run, HostPixels{32767, 2, 1, false, 8, samples.data()}, nullptr, without),
        noErr);
    EXPECT_EQ(getBigDocumentData(*hostRunRecord(run)), nullptr);
    hostRunDestroy(run);
}

} // namespace
} // namespace lakra
