#include "host/previewPane.h"

#include "host/hostContext.h"
#include "host/seams.h"
#include "pyramid/pyramid.h"
#include "support/pluginRun.h"
#include "support/scratchFolder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

namespace lakra {
namespace {

using testing::FakeImage;
using testing::PluginRun;

constexpr int32_t kWidth = 60;
constexpr int32_t kHeight = 40;

// The dialog as the view drives it: one picture at the preview's scale, shown
// at a corner of the pane, then OK.
struct Shown {
    int32_t scale = 1;
    Result rendered = -1;
    Result displayed = -1;
    Result captured = -1;
    double pictureMean[3] = {};   // per channel, 0..255
    double thumbnailMean[3] = {}; // of the 128 x 128 thumbnail taken from it
};

void meanOfPicture(const PreviewBitmap& picture, double mean[3]) {
    for (int32_t c = 0; c < 3; ++c) {
        double sum = 0.0;
        for (int32_t y = 0; y < picture.height; ++y) {
            for (int32_t x = 0; x < picture.width; ++x) {
                sum += picture.data[c * picture.planeBytes + y * picture.rowBytes + x];
            }
        }
        mean[c] = sum / (picture.width * picture.height);
    }
}

void meanOfThumbnail(const ImagePyramid* thumbnail, double mean[3]) {
    for (int32_t c = 0; c < 3; ++c) {
        double sum = 0.0;
        for (int32_t y = 0; y < thumbnail->height[0]; ++y) {
            for (int32_t x = 0; x < thumbnail->width[0]; ++x) {
                sum += (readRgba8(x, y, thumbnail, 0) >> (24 - 8 * c)) & 0xFFu;
            }
        }
        mean[c] = sum / (thumbnail->width[0] * thumbnail->height[0]);
    }
}

Shown gShown;

bool showOnePicture() {
    HostContext& host = currentHost();
    Settings* settings = host.settings;
    settings->xCenter = 4.0f; // the centre mark off the picture
    settings->previewScale = gShown.scale;
    const int32_t width = (kWidth + gShown.scale - 1) / gShown.scale;
    const int32_t height = (kHeight + gShown.scale - 1) / gShown.scale;
    gShown.rendered = renderPreviewPicture(*host.record, settings, host.state, width, height);
    gShown.displayed = showPreviewPicture(*host.record, *host.state, 5, 7, nullptr);
    PyramidPtr thumbnail(pyramidCreate(128, 128, PixelFormat::Rgba8));
    gShown.captured = capturePreviewThumbnail(*host.state, thumbnail.get());
    if (gShown.rendered == noErr && gShown.captured == noErr) {
        meanOfPicture(host.state->render.preview, gShown.pictureMean);
        meanOfThumbnail(thumbnail.get(), gShown.thumbnailMean);
    }
    settings->previewScale = 1;
    return true;
}

class PreviewPicture : public ::testing::TestWithParam<int32_t> {
protected:
    void SetUp() override {
        gShown = Shown{};
        gShown.scale = GetParam();
        setPreviewDialogHandler(showOnePicture);
    }

    void TearDown() override { setPreviewDialogHandler(nullptr); }

    testing::ScratchFolder scratch;
};

TEST_P(PreviewPicture, ReachesTheHostAsAPlanarMapOfTheRenderedLook) {
    const int32_t scale = GetParam();
    FakeImage image(kWidth, kHeight, 3, 8, false);
    testing::fillPattern(&image);
    HostRunOptions options = PluginRun::interactive();
    options.offerDisplay = true;
    PluginRun run(&image, options);
    ASSERT_EQ(run.run(), noErr);
    ASSERT_EQ(gShown.rendered, noErr);
    ASSERT_EQ(gShown.displayed, noErr);

    const HostDisplayed& shown = hostRunDisplayed(run.host);
    const int32_t width = (kWidth + scale - 1) / scale;
    const int32_t height = (kHeight + scale - 1) / scale;
    ASSERT_EQ(shown.calls, 1);
    EXPECT_EQ(shown.map.version, 1);
    EXPECT_EQ(shown.map.imageMode, plugInModeRGBColor);
    EXPECT_EQ(shown.map.rowBytes, width);
    EXPECT_EQ(shown.map.colBytes, 1);
    EXPECT_EQ(shown.map.planeBytes, width * height);
    EXPECT_EQ(shown.source.bottom, height);
    EXPECT_EQ(shown.source.right, width);
    EXPECT_EQ(shown.row, 7);
    EXPECT_EQ(shown.column, 5);
    ASSERT_EQ(shown.planes.size(), static_cast<size_t>(3 * width * height));

    // The picture is the confirmed render: at full scale pixel for pixel but
    // for the guide marks of the horizon (a band of five rows); reduced, the
    // sky above the horizon is far closer to the image's pixels at the scale
    // than to those of an unreduced corner.
    int32_t first = height;
    int32_t last = -1;
    double skyDifference = 0.0;
    double cornerDifference = 0.0;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            for (int32_t p = 0; p < 3; ++p) {
                const float confirmed = image.outputAt(x * scale, y * scale, p);
                const float drawn = shown.planes[(p * height + y) * width + x];
                if (std::abs(drawn - confirmed) > 1.0f) {
                    first = std::min(first, y);
                    last = std::max(last, y);
                }
                if (y < height / 4) {
                    skyDifference += std::abs(drawn - confirmed);
                    cornerDifference += std::abs(drawn - image.outputAt(x, y, p));
                }
            }
        }
    }
    // The thumbnail a saved look carries is this picture, resampled.
    ASSERT_EQ(gShown.captured, noErr);
    for (int32_t c = 0; c < 3; ++c) {
        EXPECT_NEAR(gShown.thumbnailMean[c], gShown.pictureMean[c], 3.0) << "channel " << c;
    }
    if (scale == 1) {
        EXPECT_GE(first, height / 4);
        EXPECT_LE(last - first, 4);
    } else {
        EXPECT_LT(skyDifference * 2.0, cornerDifference);
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, PreviewPicture, ::testing::Values(1, 2));

TEST(PreviewPictureWithoutDisplay, IsRefusedQuietly) {
    testing::ScratchFolder scratch;
    gShown = Shown{};
    setPreviewDialogHandler(showOnePicture);
    FakeImage image(kWidth, kHeight, 3, 8, false);
    testing::fillPattern(&image);
    PluginRun run(&image);
    EXPECT_EQ(run.run(), noErr);
    setPreviewDialogHandler(nullptr);
    EXPECT_EQ(gShown.rendered, noErr);
    EXPECT_EQ(gShown.displayed, paramErr);
}

TEST(PreviewThumbnail, NeedsAPicture) {
    PluginState state{};
    PyramidPtr thumbnail(pyramidCreate(128, 128, PixelFormat::Rgba8));
    EXPECT_EQ(capturePreviewThumbnail(state, thumbnail.get()), paramErr);
}

} // namespace
} // namespace lakra
