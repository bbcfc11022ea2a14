#include "apps/lakra/protocolHost.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

// Sample of plane p at (x, y): x + 16 y + 64 p, below 256 for the 10 x 6
// RGB images here.
uint8_t pattern(int32_t x, int32_t y, int32_t p) {
    return static_cast<uint8_t>(x + 16 * y + 64 * p);
}

class RegionServing : public ::testing::Test {
protected:
    void SetUp() override { make(10, 6, nullptr); }

    void TearDown() override { hostRunDestroy(run); }

    void make(int32_t width, int32_t height, const std::vector<uint8_t>* mask) {
        hostRunDestroy(run);
        run = nullptr;
        samples.resize(static_cast<size_t>(width * height * 3));
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                for (int32_t p = 0; p < 3; ++p) {
                    samples[static_cast<size_t>((y * width + x) * 3 + p)] = pattern(x, y, p);
                }
            }
        }
        const HostPixels image{width, height, 3, false, 8, samples.data()};
        const SelectionMask selection{width, height, mask != nullptr ? mask->data() : nullptr};
        ASSERT_EQ(
            hostRunCreate(&run, image, mask != nullptr ? &selection : nullptr, HostRunOptions{}),
            noErr);
        r = hostRunRecord(run);
    }

    // Requests rect of every plane as input only, at rate step.
    Result requestInput(Rect rect, int32_t step = 1) {
        r->inRect = rect;
        r->outRect = Rect{};
        r->inLoPlane = 0;
        r->inHiPlane = 2;
        r->inputRate = step << 16;
        return getAdvanceState(*r)();
    }

    uint8_t in(int32_t col, int32_t row, int32_t plane) const {
        const int32_t planes = r->inHiPlane - r->inLoPlane + 1;
        return static_cast<const uint8_t*>(
            getInData(*r))[row * r->inRowBytes + col * planes + plane];
    }

    uint8_t outputAt(int32_t x, int32_t y, int32_t p) const {
        const HostPixels& out = hostRunOutput(run);
        return static_cast<const uint8_t*>(out.pixels)[(y * out.width + x) * 3 + p];
    }

    std::vector<uint8_t> samples;
    HostRun* run = nullptr;
    FilterRecord* r = nullptr;
};

TEST_F(RegionServing, DeliversRequestedRectangleAndPlanes) {
    r->inRect = Rect{1, 2, 4, 6};
    r->inLoPlane = 1;
    r->inHiPlane = 2;
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    EXPECT_EQ(r->inRowBytes, 4 * 2);
    EXPECT_EQ(in(0, 0, 0), pattern(2, 1, 1));
    EXPECT_EQ(in(3, 2, 1), pattern(5, 3, 2));
    EXPECT_EQ(getOutData(*r), nullptr);
}

TEST_F(RegionServing, ReplicatesEdgesBeyondTheImage) {
    ASSERT_EQ(requestInput(Rect{-2, -1, 8, 12}), noErr);
    EXPECT_EQ(in(0, 0, 0), pattern(0, 0, 0));  // (-1, -2)
    EXPECT_EQ(in(12, 9, 2), pattern(9, 5, 2)); // (11, 7)
    EXPECT_EQ(in(5, 0, 1), pattern(4, 0, 1));  // (4, -2)
    EXPECT_EQ(in(0, 4, 0), pattern(0, 2, 0));  // (-1, 2)
}

TEST_F(RegionServing, FillsOrRefusesBeyondTheImageAsPaddingAsks) {
    r->inputPadding = 77;
    ASSERT_EQ(requestInput(Rect{-1, 0, 1, 2}), noErr);
    EXPECT_EQ(in(1, 0, 2), 77);
    EXPECT_EQ(in(1, 1, 2), pattern(1, 0, 2));
    r->inputPadding = plugInWantsErrorOnBoundsException;
    EXPECT_EQ(requestInput(Rect{-1, 0, 1, 2}), paramErr);
    EXPECT_EQ(getInData(*r), nullptr);
    EXPECT_EQ(requestInput(Rect{0, 0, 6, 10}), noErr);
}

TEST_F(RegionServing, RefusesPlanesTheImageLacks) {
    r->inRect = Rect{0, 0, 1, 1};
    r->inLoPlane = 0;
    r->inHiPlane = 3;
    EXPECT_EQ(getAdvanceState(*r)(), paramErr);
}

TEST_F(RegionServing, RateTwoAveragesEachBlockAndReplicatesPastTheReducedEdge) {
    make(9, 6, nullptr); // 5 x 3 at half size; the last column covers one source column
    ASSERT_EQ(requestInput(Rect{0, 0, 4, 5}, 2), noErr);
    EXPECT_EQ(in(0, 0, 0), 9);                               // 0, 1, 16, 17
    EXPECT_EQ(in(3, 2, 1), (134 + 135 + 150 + 151 + 2) / 4); // x 6..7, y 4..5
    EXPECT_EQ(in(4, 0, 0), (8 + 24 + 1) / 2);                // x 8 only
    EXPECT_EQ(in(1, 3, 2), in(1, 2, 2));                     // row 3 lies past the reduced image
}

TEST_F(RegionServing, WritesLandInTheOutputAtTheNextAdvance) {
    r->outRect = Rect{2, 3, 4, 5};
    r->outLoPlane = 0;
    r->outHiPlane = 2;
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    EXPECT_EQ(static_cast<uint8_t*>(getOutData(*r))[0], pattern(3, 2, 0));
    std::memset(getOutData(*r), 250, static_cast<size_t>(r->outRowBytes) * 2);
    r->outRect = Rect{};
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    EXPECT_EQ(outputAt(3, 2, 0), 250);
    EXPECT_EQ(outputAt(4, 3, 2), 250);
    EXPECT_EQ(outputAt(5, 3, 2), pattern(5, 3, 2));
    EXPECT_EQ(outputAt(3, 1, 0), pattern(3, 1, 0));
    EXPECT_EQ(samples[0], pattern(0, 0, 0)); // the input stays as it was
}

TEST_F(RegionServing, OutputRegionOverTheCornerWritesOnlyInside) {
    r->outRect = Rect{-1, -1, 2, 2};
    r->outLoPlane = 1;
    r->outHiPlane = 1;
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    std::memset(getOutData(*r), 1, static_cast<size_t>(r->outRowBytes) * 3);
    r->outRect = Rect{};
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    EXPECT_EQ(outputAt(0, 0, 1), 1);
    EXPECT_EQ(outputAt(1, 1, 1), 1);
    EXPECT_EQ(outputAt(1, 1, 0), pattern(1, 1, 0));
    EXPECT_EQ(outputAt(2, 1, 1), pattern(2, 1, 1));
}

TEST_F(RegionServing, HostAppliesSelectionWhenAutoMaskIsSet) {
    std::vector<uint8_t> mask(60, 0);
    for (int32_t y = 0; y < 6; ++y) {
        mask[static_cast<size_t>(y) * 10] = 255;
        mask[static_cast<size_t>(y) * 10 + 1] = 128;
    }
    make(10, 6, &mask);
    r->outRect = Rect{0, 0, 6, 10};
    r->outLoPlane = 0;
    r->outHiPlane = 2;
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    std::memset(getOutData(*r), 0, static_cast<size_t>(r->outRowBytes) * 6);
    // The same region again hands back what was written, not the masked result.
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    EXPECT_EQ(static_cast<uint8_t*>(getOutData(*r))[r->outRowBytes + 3 * 1 + 2], 0);
    r->outRect = Rect{};
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    EXPECT_EQ(outputAt(0, 1, 2), 0);
    EXPECT_EQ(outputAt(1, 1, 2), (pattern(1, 1, 2) * 127 + 127) / 255);
    EXPECT_EQ(outputAt(2, 1, 2), pattern(2, 1, 2));
}

TEST_F(RegionServing, ServesMaskAtItsRate) {
    std::vector<uint8_t> mask(60, 0);
    mask[0] = 255; // the top-left 2 x 2 block averages 64 (63.75 rounded)
    make(10, 6, &mask);
    r->maskRect = Rect{0, 0, 3, 5};
    r->maskRate = 2 << 16;
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    const auto* m = static_cast<const uint8_t*>(getMaskData(*r));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(r->maskRowBytes, 5);
    EXPECT_EQ(m[0], 64);
    EXPECT_EQ(m[1], 0);
}

TEST_F(RegionServing, ReadsThirtyTwoBitTwinsOnceThePluginUsesThem) {
    BigDocumentStruct* big = getBigDocumentData(*r);
    big->PluginUsing32BitCoordinates = 1;
    big->inRect32 = VRect{3, 4, 5, 7};
    r->inRect = Rect{};
    r->inLoPlane = 0;
    r->inHiPlane = 0;
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    EXPECT_EQ(r->inRowBytes, 3);
    EXPECT_EQ(in(0, 0, 0), pattern(4, 3, 0));
}

// Every depth carries its samples unchanged and averages them at rate 2.
class RegionDepth : public ::testing::TestWithParam<int32_t> {};

TEST_P(RegionDepth, CopiesAndAveragesSamplesOfItsType) {
    const int32_t depth = GetParam();
    const int32_t bytes = depth / 8;
    std::vector<uint8_t> samples(static_cast<size_t>(4 * 2 * bytes));
    const double values[8] = {0, 100, 200, 300, 400, 500, 600, 700}; // 4 x 2 grey
    for (int i = 0; i < 8; ++i) {
        const double v = depth == 8    ? values[i] / 4
                         : depth == 16 ? values[i] * 40
                                       : values[i] / 700;
        if (depth == 8) {
            samples[static_cast<size_t>(i)] = static_cast<uint8_t>(v);
        } else if (depth == 16) {
            const auto s = static_cast<uint16_t>(v);
            std::memcpy(&samples[static_cast<size_t>(i * 2)], &s, 2);
        } else {
            const auto s = static_cast<float>(v);
            std::memcpy(&samples[static_cast<size_t>(i * 4)], &s, 4);
        }
    }
    HostRun* run = nullptr;
    ASSERT_EQ(hostRunCreate(&run, HostPixels{4, 2, 1, false, depth, samples.data()}, nullptr,
                            HostRunOptions{}),
              noErr);
    FilterRecord* r = hostRunRecord(run);
    r->inRect = Rect{0, 0, 1, 2};
    r->inputRate = 2 << 16;
    ASSERT_EQ(getAdvanceState(*r)(), noErr);
    const auto* data = static_cast<const uint8_t*>(getInData(*r));
    ASSERT_EQ(r->inRowBytes, 2 * bytes);
    // Block (0, 0) holds 0, 100, 400, 500: mean 250; block (1, 0) 200, 300, 600, 700: 450.
    if (depth == 8) {
        EXPECT_EQ(data[0], (0 + 25 + 100 + 125 + 2) / 4);
    } else if (depth == 16) {
        uint16_t s[2];
        std::memcpy(s, data, 4);
        EXPECT_EQ(s[0], 10000);
        EXPECT_EQ(s[1], 18000);
    } else {
        float s[2];
        std::memcpy(s, data, 8);
        EXPECT_NEAR(s[0], 250.0 / 700, 1e-6);
        EXPECT_NEAR(s[1], 450.0 / 700, 1e-6);
    }
    hostRunDestroy(run);
}

INSTANTIATE_TEST_SUITE_P(Depths, RegionDepth, ::testing::Values(8, 16, 32),
                         [](const ::testing::TestParamInfo<int32_t>& param) {
                             return "bits" + std::to_string(param.param);
                         });

} // namespace
} // namespace lakra
