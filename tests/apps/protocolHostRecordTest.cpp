#include "apps/lakra/protocolHost.h"

#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <sstream>
#include <vector>

namespace lakra {
namespace {

struct Format {
    int32_t depth;
    int32_t colorPlanes;
    bool alpha;
    bool mask;
    int16_t imageMode;
    int16_t filterCase;
};

void PrintTo(const Format& f, std::ostream* os) { // NOLINT(readability-identifier-naming)
    *os << (f.colorPlanes == 3 ? "rgb" : "grey") << f.depth << (f.alpha ? "_alpha" : "")
        << (f.mask ? "_mask" : "");
}

template <typename T>
T at(const FilterRecord* record, size_t offset) {
    T value{};
    std::memcpy(&value, reinterpret_cast<const char*>(record) + offset, sizeof(T));
    return value;
}

class FilterRecordLayout : public ::testing::TestWithParam<Format> {};

TEST_P(FilterRecordLayout, DescribesImageAtPublishedOffsets) {
    const Format f = GetParam();
    const int32_t planes = f.colorPlanes + (f.alpha ? 1 : 0);
    std::vector<float> samples(size_t{7 * 5} * static_cast<size_t>(planes));
    std::vector<uint8_t> maskValues(7 * 5, 255);
    const HostPixels image{7, 5, f.colorPlanes, f.alpha, f.depth, samples.data()};
    const SelectionMask mask{7, 5, maskValues.data()};
    HostRun* run = nullptr;
    ASSERT_EQ(hostRunCreate(&run, image, f.mask ? &mask : nullptr, HostRunOptions{}), noErr);
    const FilterRecord* r = hostRunRecord(run);

    EXPECT_EQ(at<int16_t>(r, 28), 5); // imageSize.v
    EXPECT_EQ(at<int16_t>(r, 30), 7); // imageSize.h
    EXPECT_EQ(at<int16_t>(r, 32), planes);
    EXPECT_EQ(at<int16_t>(r, 38), 5); // filterRect.bottom
    EXPECT_EQ(at<int16_t>(r, 40), 7); // filterRect.right
    EXPECT_EQ(at<uint8_t>(r, 113), f.mask ? 1 : 0);
    EXPECT_EQ(at<uint32_t>(r, 144), 0x4C6B7261u); // hostSig "Lkra"
    EXPECT_EQ(at<int16_t>(r, 156), f.imageMode);
    EXPECT_EQ(at<int16_t>(r, 268), f.filterCase);
    EXPECT_EQ(at<int32_t>(r, 480), f.depth);
    EXPECT_EQ(at<int16_t>(r, 328), f.colorPlanes);   // inLayerPlanes
    EXPECT_EQ(at<int16_t>(r, 330), f.alpha ? 1 : 0); // inTransparencyMask
    EXPECT_EQ(at<int32_t>(r, 312), 0x10000);         // inputRate 1.0
    EXPECT_EQ(at<int8_t>(r, 308), 1);                // integral sampling
    EXPECT_EQ(at<uint64_t>(r, 248), 0u);             // no displayPixels
    EXPECT_EQ(at<uint64_t>(r, 320), 0u);             // no colorServices
    EXPECT_NE(at<uint64_t>(r, 4), 0u);               // abortProc
    EXPECT_NE(at<uint64_t>(r, 12), 0u);              // progressProc
    EXPECT_NE(at<uint64_t>(r, 280), 0u);             // advanceState
    EXPECT_EQ(at<int64_t>(r, 552), kHostMaxSpaceBytes);

    const auto* platform = at<const PlatformData*>(r, 216);
    ASSERT_NE(platform, nullptr);
    EXPECT_EQ(platform->hwnd, 0);

    const auto* handles = at<const HandleProcs*>(r, 256);
    ASSERT_NE(handles, nullptr);
    EXPECT_EQ(handles->handleProcsVersion, 1);
    EXPECT_EQ(handles->numHandleProcs, 8);
    EXPECT_NE(handles->disposeRegularHandleProc, nullptr);

    const auto* buffers = at<const BufferProcs*>(r, 224);
    ASSERT_NE(buffers, nullptr);
    EXPECT_EQ(buffers->bufferProcsVersion, 2);
    EXPECT_EQ(buffers->numBufferProcs, 8);
    EXPECT_NE(buffers->spaceProc64, nullptr);

    const auto* scripting = at<const PIDescriptorParameters*>(r, 432);
    ASSERT_NE(scripting, nullptr);
    EXPECT_EQ(scripting->descriptorParametersVersion, 0);
    EXPECT_EQ(scripting->playInfo, plugInDialogSilent);
    EXPECT_EQ(scripting->readDescriptorProcs->numReadDescriptorProcs, 18);
    EXPECT_EQ(scripting->writeDescriptorProcs->numWriteDescriptorProcs, 16);
    EXPECT_NE(scripting->readDescriptorProcs->getPinnedUnitFloatProc, nullptr);
    EXPECT_NE(scripting->writeDescriptorProcs->putScopedObjectProc, nullptr);

    const auto* big = at<const BigDocumentStruct*>(r, 504);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->PluginUsing32BitCoordinates, 0);
    EXPECT_EQ(big->imageSize32.v, 5);
    EXPECT_EQ(big->imageSize32.h, 7);
    hostRunDestroy(run);
}

INSTANTIATE_TEST_SUITE_P(
    ModesDepthsTransparencySelection, FilterRecordLayout,
    ::testing::Values(Format{8, 3, false, false, 3, 1}, Format{8, 1, false, false, 1, 1},
                      Format{16, 3, false, false, 11, 1}, Format{16, 1, false, false, 10, 1},
                      Format{32, 3, false, false, 16, 1}, Format{32, 1, false, false, 17, 1},
                      Format{8, 3, true, false, 3, 4}, Format{16, 1, true, false, 10, 4},
                      Format{8, 3, false, true, 3, 2}, Format{32, 3, true, true, 16, 5},
                      Format{8, 1, true, true, 1, 5}),
    [](const ::testing::TestParamInfo<Format>& param) {
        std::ostringstream name;
        PrintTo(param.param, &name);
        return name.str();
    });

TEST(FilterRecordLayout, RefusesImagesTheProtocolCannotCarry) {
    std::vector<uint8_t> samples(size_t{40000} * 2);
    EXPECT_NE(hostPixelsProblem(HostPixels{2, 2, 2, false, 8, samples.data()}), nullptr);
    EXPECT_NE(hostPixelsProblem(HostPixels{40000, 1, 1, false, 8, samples.data()}), nullptr);
    EXPECT_NE(hostPixelsProblem(HostPixels{2, 2, 3, false, 12, samples.data()}), nullptr);
    EXPECT_EQ(hostPixelsProblem(HostPixels{32767, 1, 1, true, 8, samples.data()}), nullptr);

    HostRun* run = nullptr;
    std::vector<uint8_t> mask(3);
    const SelectionMask wrongSize{3, 1, mask.data()};
    EXPECT_EQ(hostRunCreate(&run, HostPixels{2, 2, 1, false, 8, samples.data()}, &wrongSize,
                            HostRunOptions{}),
              paramErr);
    EXPECT_EQ(run, nullptr);
}

} // namespace
} // namespace lakra
