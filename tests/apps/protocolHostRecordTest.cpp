#include "apps/lakra/protocolHost.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace lakra {
namespace {

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
    EXPECT_NE(hostPixelsProblem(HostPixels{40000, 1, 1, false, 8, samples.data()}), nullptr);
    EXPECT_NE(hostPixelsProblem(HostPixels{1, 32768, 1, false, 8, samples.data()}), nullptr);
    EXPECT_NE(hostPixelsProblem(HostPixels{2, 2, 3, false, 12, samples.data()}), nullptr);
    EXPECT_EQ(hostPixelsProblem(HostPixels{32767, 1, 1, true, 8, samples.data()}), nullptr);
    HostRun* run = nullptr;
    const SelectionMask wrongHeight{2, 1, samples.data()};
    EXPECT_EQ(hostRunCreate(&run, HostPixels{2, 2, 1, false, 8, samples.data()}, &wrongHeight,
                            HostRunOptions{}),
              paramErr);
    EXPECT_EQ(run, nullptr);
}

} // namespace
} // namespace lakra
