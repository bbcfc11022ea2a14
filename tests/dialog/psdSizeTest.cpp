#include "dialog/psdSize.h"

#include "render/settings.h"

#include <gtest/gtest.h>
#include <tuple>

namespace lakra {
namespace {

Settings storedSize(uint32_t mode, uint32_t width, uint32_t height) {
    Settings settings{};
    std::tie(settings.psdSizeMode, settings.psdWidth, settings.psdHeight) =
        std::tie(mode, width, height);
    return settings;
}

// Opens on the input size unless a custom size was chosen (a stored choice
// naming none of the three opens as the same size); typing over the same
// size makes it custom; same proportions follow the focused edit.
TEST(PsdSizeDialog, OpensOnTheInputSizeUnlessACustomSizeWasChosenAndKeepsProportions) {
    PsdSizeModel model = psdSizeOpen(storedSize(kPsdSameSize, 100, 100), 400, 300);
    EXPECT_EQ(std::tie(model.mode, model.width, model.height),
              std::make_tuple(kPsdSameSize, 400, 300));
    const PsdSizeModel custom = psdSizeOpen(storedSize(kPsdCustomSize, 640, 80), 400, 300);
    EXPECT_EQ(std::tie(custom.width, custom.height), std::make_tuple(640, 80));
    EXPECT_EQ(psdSizeOpen(storedSize(0, 1, 1), 400, 300).mode, kPsdSameSize);
    psdSizeTypeHeight(&model, 123);
    EXPECT_EQ(std::tie(model.mode, model.width), std::make_tuple(kPsdCustomSize, 400));
    psdSizeChoose(&model, kPsdSameSize);
    EXPECT_EQ(model.height, 300);
    // Same proportions follow the focused edit.
    psdSizeChoose(&model, kPsdSameProportions);
    psdSizeTypeWidth(&model, 1000);
    EXPECT_EQ(model.height, 750);
    psdSizeTypeHeight(&model, 7);
    EXPECT_EQ(model.width, 9); // 7 x 400 / 300 truncated
    // Choosing the same proportions recomputes the height from the width.
    model.height = 1;
    psdSizeChoose(&model, kPsdSameProportions);
    EXPECT_EQ(model.height, 6);
    // A zero input side leaves the other edit alone instead of dividing by it.
    PsdSizeModel flat = psdSizeOpen(storedSize(kPsdSameProportions, 1, 1), 0, 0);
    psdSizeTypeWidth(&flat, 50);
    psdSizeTypeHeight(&flat, 60);
    EXPECT_EQ(std::tie(flat.width, flat.height), std::make_tuple(50, 60));
}

TEST(PsdSizeDialog, AcceptClampsToTheDocumentLimitsAndEditsKeepDigits) {
    PsdSizeModel model = psdSizeOpen(storedSize(kPsdCustomSize, 100, 100), 400, 300);
    Settings settings{};
    for (const int32_t width : {1, -5}) {
        model.width = width;
        model.height = 30001;
        psdSizeAccept(model, &settings);
        EXPECT_EQ(std::tie(settings.psdSizeMode, settings.psdWidth, settings.psdHeight),
                  std::make_tuple(kPsdCustomSize, 2u, 30000u));
    }
    EXPECT_EQ(psdSizeNumber("1,024 px"), 1024);
    EXPECT_EQ(psdSizeNumber("-12"), -12);
    EXPECT_EQ(psdSizeNumber("12.9"), 129); // no decimals: the point is dropped
    EXPECT_TRUE(psdSizeNumber("") == 0 && psdSizeNumber(nullptr) == 0);
    EXPECT_EQ(psdSizeNumber("99999999999999"), INT32_MAX);
}

} // namespace
} // namespace lakra
