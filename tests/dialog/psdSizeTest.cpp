#include "dialog/psdSize.h"

#include "render/settings.h"

#include <gtest/gtest.h>

namespace lakra {
namespace {

Settings storedSize(uint32_t mode, uint32_t width, uint32_t height) {
    Settings settings{};
    settings.psdSizeMode = mode;
    settings.psdWidth = width;
    settings.psdHeight = height;
    return settings;
}

TEST(PsdSizeDialog, OpensOnTheInputSizeUnlessACustomSizeWasChosen) {
    const PsdSizeModel same = psdSizeOpen(storedSize(kPsdSameSize, 100, 100), 400, 300);
    EXPECT_EQ(same.mode, kPsdSameSize);
    EXPECT_EQ(same.width, 400);
    EXPECT_EQ(same.height, 300);
    const PsdSizeModel custom = psdSizeOpen(storedSize(kPsdCustomSize, 640, 80), 400, 300);
    EXPECT_EQ(custom.width, 640);
    EXPECT_EQ(custom.height, 80);
    // A stored choice that names none of the three opens as the same size.
    EXPECT_EQ(psdSizeOpen(storedSize(0, 1, 1), 400, 300).mode, kPsdSameSize);
}

TEST(PsdSizeDialog, SameProportionsFollowTheFocusedEdit) {
    PsdSizeModel model = psdSizeOpen(storedSize(kPsdSameSize, 100, 100), 400, 300);
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
    EXPECT_EQ(flat.width, 50);
    EXPECT_EQ(flat.height, 60);
}

TEST(PsdSizeDialog, TypingOverTheSameSizeMakesItCustom) {
    PsdSizeModel model = psdSizeOpen(storedSize(kPsdSameSize, 100, 100), 400, 300);
    psdSizeTypeHeight(&model, 123);
    EXPECT_EQ(model.mode, kPsdCustomSize);
    EXPECT_EQ(model.width, 400);
    psdSizeChoose(&model, kPsdSameSize);
    EXPECT_EQ(model.height, 300);
}

TEST(PsdSizeDialog, AcceptClampsToTheDocumentLimits) {
    PsdSizeModel model = psdSizeOpen(storedSize(kPsdCustomSize, 100, 100), 400, 300);
    model.width = 1;
    model.height = 30001;
    Settings settings{};
    psdSizeAccept(model, &settings);
    EXPECT_EQ(settings.psdWidth, 2u);
    EXPECT_EQ(settings.psdHeight, 30000u);
    EXPECT_EQ(settings.psdSizeMode, kPsdCustomSize);
    model.width = -5;
    psdSizeAccept(model, &settings);
    EXPECT_EQ(settings.psdWidth, 2u);
}

TEST(PsdSizeDialog, EditTextKeepsDigitsAndSigns) {
    EXPECT_EQ(psdSizeNumber("1,024 px"), 1024);
    EXPECT_EQ(psdSizeNumber("-12"), -12);
    EXPECT_EQ(psdSizeNumber("12.9"), 129); // no decimals: the point is dropped
    EXPECT_EQ(psdSizeNumber(""), 0);
    EXPECT_EQ(psdSizeNumber(nullptr), 0);
    EXPECT_EQ(psdSizeNumber("99999999999999"), INT32_MAX);
}

} // namespace
} // namespace lakra
