#include "host/accessors.h"
#include "host/seams.h"
#include "host/ui.h"
#include "pyramid/pyramid.h"
#include "render/loadSource.h"
#include "render/renderInto.h"
#include "support/fakeFilterHost.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

using testing::FakeFilterHost;
using testing::FakeHost;
using testing::FakeImage;

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

void fillPattern(FakeImage* image) {
    const float full = image->depth == 16 ? 32768.0f : (image->depth == 32 ? 1.0f : 255.0f);
    for (int32_t y = 0; y < image->height; ++y) {
        for (int32_t x = 0; x < image->width; ++x) {
            for (int32_t p = 0; p < image->planes; ++p) {
                const bool alpha = image->transparency && p == image->planes - 1;
                const float v = alpha
                                    ? (x < 10 ? 0.5f : 1.0f)
                                    : 0.5f + 0.4f * std::sin(0.2f * static_cast<float>(x + 3 * p) +
                                                             0.13f * static_cast<float>(y));
                image->setInput(x, y, p, v * full);
            }
        }
    }
}

// What the renderer makes of the image with the default look, straight
// through the render entry: the plug-in must deliver exactly this.
std::vector<uint8_t> directRender(const FakeImage& original) {
    FakeImage image = original;
    FakeHost host;
    host.image = &image;
    const PixelFormat format =
        image.depth == 16 ? PixelFormat::Rgba16
                          : (image.depth == 32 ? PixelFormat::RgbaFloat : PixelFormat::Rgba8);
    PyramidPtr source(pyramidCreate(image.width, image.height, format));
    EXPECT_EQ(loadSource(&host, source.get()), noErr);
    Settings settings{};
    settingsFresh(&settings);
    RenderState state{};
    state.filterWidth = image.width;
    state.filterHeight = image.height;
    state.source = source.get();
    state.hostFormat = HostImageFormat{image.depth, image.planes, image.transparency};
    EXPECT_EQ(renderInto(RenderTarget::Host, &settings, &state, &host, nullptr), noErr);
    return image.output;
}

class EveryFormat : public Protocol,
                    public ::testing::WithParamInterface<std::tuple<int, int, bool>> {};

TEST_P(EveryFormat, AFullRunDeliversTheRenderersImage) {
    const auto [planes, depth, alpha] = GetParam();
    FakeImage image(150, 140, planes, depth, alpha);
    fillPattern(&image);
    FakeFilterHost host(&image);
    ASSERT_EQ(host.run(), 0);
    EXPECT_EQ(gDialogs, 1) << "a run after a parameters call shows the dialog";
    const std::vector<uint8_t> expected = directRender(image);
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            for (int32_t p = 0; p < planes; ++p) {
                const size_t at = image.offset(x, y, p);
                ASSERT_EQ(
                    std::memcmp(&image.output[at], &expected[at], static_cast<size_t>(depth / 8)),
                    0)
                    << x << "," << y << " plane " << p;
            }
        }
    }
    EXPECT_EQ(host.liveBuffers, 0) << "every host buffer is given back";
    EXPECT_GE(host.continueCalls, 1);
    EXPECT_FALSE(host.progress.empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat,
                         ::testing::Values(std::tuple{3, 8, false}, std::tuple{4, 8, true},
                                           std::tuple{1, 8, false}, std::tuple{3, 16, false},
                                           std::tuple{2, 16, true}, std::tuple{3, 32, false},
                                           std::tuple{4, 32, true}),
                         [](const auto& param) {
                             return "planes" + std::to_string(std::get<0>(param.param)) + "depth" +
                                    std::to_string(std::get<1>(param.param));
                         });

TEST_F(Protocol, RepeatRunWithoutParametersRendersSilently) {
    FakeImage image(40, 30, 3, 8, false);
    fillPattern(&image);
    FakeFilterHost host(&image);
    ASSERT_EQ(host.run(true), 0);
    ASSERT_EQ(gDialogs, 1);
    const int handles = host.handlesMade;
    std::fill(image.output.begin(), image.output.end(), 0xCD);
    ASSERT_EQ(host.run(false), 0);
    EXPECT_EQ(gDialogs, 1) << "no dialog on a repeat";
    EXPECT_EQ(host.handlesMade, handles);
    EXPECT_NE(image.output[image.offset(5, 29, 0)], 0xCD);
}

TEST_F(Protocol, SecondParametersCallAllocatesNothing) {
    FakeImage image(20, 20, 3, 8, false);
    FakeFilterHost host(&image);
    ASSERT_EQ(host.call(filterSelectorParameters), 0);
    EXPECT_EQ(host.handlesMade, 2);
    ASSERT_EQ(host.call(filterSelectorParameters), 0);
    EXPECT_EQ(host.handlesMade, 2);
}

TEST_F(Protocol, PrepareLowersMaxSpaceForTheProxy) {
    FakeImage image(1000, 50, 3, 8, false);
    image.mask.assign(1000 * 50, 255);
    FakeFilterHost host(&image);
    int32_t mask = 0;
    setMaskData(host.record(), &mask); // the host offers a mask
    host.record().maxSpace = 5000000;
    ASSERT_EQ(host.call(filterSelectorPrepare), 0);
    EXPECT_EQ(host.record().maxSpace, 2 * 4 * 256 * 50);
    host.record().maxSpace = 1000;
    ASSERT_EQ(host.call(filterSelectorPrepare), 0);
    EXPECT_EQ(host.record().maxSpace, 1000);
}

TEST_F(Protocol, MultichannelImageIsRefusedWithoutADialog) {
    FakeImage image(20, 20, 3, 8, false);
    FakeFilterHost host(&image);
    host.record().imageMode = plugInModeMultichannel;
    EXPECT_EQ(host.run(), 1);
    ASSERT_EQ(gRefusals.size(), 1u);
    EXPECT_EQ(gRefusals[0], Refusal::Multichannel);
    EXPECT_EQ(gDialogs, 0);
    EXPECT_EQ(image.output[0], 0xCD) << "the image is untouched";
}

TEST_F(Protocol, HostWithoutAdvanceStateIsRefused) {
    FakeImage image(20, 20, 3, 8, false);
    FakeFilterHost host(&image);
    setAdvanceState(host.record(), nullptr);
    EXPECT_EQ(host.run(), 1);
    ASSERT_EQ(gRefusals.size(), 1u);
    EXPECT_EQ(gRefusals[0], Refusal::HostInsufficient);
    EXPECT_EQ(gDialogs, 0);
}

TEST_F(Protocol, ModesOtherThanGreyAndRgbAreRefused) {
    FakeImage image(20, 20, 4, 8, false);
    FakeFilterHost host(&image);
    host.record().imageMode = plugInModeCMYKColor;
    EXPECT_EQ(host.run(), 1);
    ASSERT_EQ(gRefusals.size(), 1u);
    EXPECT_EQ(gRefusals[0], Refusal::UnsupportedMode);
}

TEST_F(Protocol, BigDocumentDataIsUsedOnlyWhenItsFlagIsSet) {
    FakeImage image(64, 48, 3, 8, false);
    fillPattern(&image);
    FakeFilterHost host(&image);
    BigDocumentStruct& big = host.bigDocument;
    big.PluginUsing32BitCoordinates = 0;
    big.filterRect32 = VRect{0, 0, 9999, 9999}; // must be ignored
    setBigDocumentData(host.record(), &big);
    ASSERT_EQ(host.run(), 0);
    EXPECT_EQ(big.inRect32.bottom, 0) << "the 16-bit rectangles carry the requests";
    ASSERT_FALSE(host.inRects.empty());
    EXPECT_LE(host.inRects.back().bottom, 48);

    FakeImage wide(64, 48, 3, 8, false);
    fillPattern(&wide);
    FakeFilterHost bigHost(&wide);
    BigDocumentStruct& big32 = bigHost.bigDocument;
    big32.PluginUsing32BitCoordinates = 1;
    big32.filterRect32 = VRect{0, 0, 48, 64};
    big32.imageSize32 = VPoint{48, 64};
    bigHost.record().filterRect = Rect{0, 0, 1, 1}; // must be ignored
    setBigDocumentData(bigHost.record(), &big32);
    ASSERT_EQ(bigHost.run(), 0);
    EXPECT_EQ(bigHost.record().inRect.bottom, 0);
    EXPECT_EQ(directRender(wide), wide.output);
}

TEST_F(Protocol, CancelDuringTheRenderLeavesTheImageUntouched) {
    FakeImage image(300, 300, 3, 8, false);
    fillPattern(&image);
    FakeFilterHost host(&image);
    host.abortFromCall = 1;
    EXPECT_EQ(host.run(), -128);
    for (int32_t y = 0; y < 300; ++y) {
        for (int32_t x = 0; x < 300; ++x) {
            const size_t at = image.offset(x, y, 0);
            // Unwritten, or written back unchanged from the host's own copy.
            ASSERT_TRUE(image.output[at] == 0xCD || image.output[at] == image.input[at])
                << x << "," << y;
        }
    }
    EXPECT_EQ(host.liveBuffers, 0);
}

TEST_F(Protocol, CancelledDialogReturnsUserCanceled) {
    FakeImage image(30, 30, 3, 8, false);
    FakeFilterHost host(&image);
    gDialogAnswer = false;
    EXPECT_EQ(host.run(), -128);
    EXPECT_EQ(image.output[0], 0xCD);
}

TEST_F(Protocol, HostsWithLooseTablesStillWork) {
    // Version and count fields of 0, and no buffer procedures at all.
    FakeImage image(50, 40, 3, 8, false);
    fillPattern(&image);
    FakeFilterHost host(&image);
    host.handleProcs.handleProcsVersion = 0;
    host.handleProcs.numHandleProcs = 0;
    setBufferProcs(host.record(), nullptr);
    ASSERT_EQ(host.run(), 0);
    EXPECT_EQ(directRender(image), image.output);
}

TEST_F(Protocol, ContinueEmptiesEveryRectangleButKeepsTheDataPointers) {
    FakeImage image(30, 30, 3, 8, false);
    FakeFilterHost host(&image);
    ASSERT_EQ(host.call(filterSelectorParameters), 0);
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
    FakeFilterHost host(&image);
    ASSERT_EQ(host.run(), 0);
    for (int32_t x = 0; x < 64; ++x) {
        EXPECT_EQ(image.output[image.offset(x, 60, 1)], image.input[image.offset(x, 60, 1)]);
    }
}

} // namespace
} // namespace lakra

namespace lakra {
namespace {

TEST(ProxyCopy, CopiesEachPlaneScaledToEightBits) {
    FakeImage image(8, 6, 3, 16, false);
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            for (int32_t p = 0; p < 3; ++p) {
                image.setInput(x, y, p, static_cast<float>(x * 4096 + p * 100));
            }
        }
    }
    FakeFilterHost host(&image);
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

} // namespace
} // namespace lakra
