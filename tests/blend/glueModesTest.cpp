#include "blend/glueModes.h"

#include <cstring>
#include <gtest/gtest.h>

namespace lakra {
namespace {

uint32_t code(const char* text) {
    return glueFourCharCode(text[0], text[1], text[2], text[3]);
}

// Codes are "GLnn", first character in the most significant byte; codes and
// numbers outside the catalogue read as no mode and write no code.
TEST(GlueCodes, EveryModeRoundTripsAndOthersHaveNone) {
    for (int32_t glue = kFirstGlue; glue <= kLastGlue; ++glue) {
        EXPECT_EQ(glueFromCode(glueCode(glue)), glue);
    }
    EXPECT_EQ(glueCode(1), 0x474C3031u);
    EXPECT_EQ(glueCode(63), code("GL63"));
    EXPECT_EQ(glueFromCode(code("GL07")), 7);
    EXPECT_EQ(kGlueEnumType, 0x474C7479u);
    EXPECT_EQ(kGlueNoCode, 0x3C4E4F3Eu);
    for (const char* text : {"GL00", "GL64", "GL99", "GLty", "gl07", "XL07", "G L7", "<NO>"}) {
        EXPECT_EQ(glueFromCode(code(text)), 0) << text;
    }
    EXPECT_EQ(glueFromCode(0), 0);
    for (int32_t glue : {0, 64, -1, 100}) {
        EXPECT_EQ(glueCode(glue), kGlueNoCode);
    }
}

// The terminology lists 61 modes: anterior and posterior have no name there.
TEST(GlueNames, CatalogueAndTerminologyNames) {
    EXPECT_STREQ(glueName(1), "normal");
    EXPECT_STREQ(glueName(26), "hard diff");
    EXPECT_STREQ(glueName(glueNumber(GlueMode::VividA)), "vivid a");
    EXPECT_STREQ(glueName(63), "starbright");
    EXPECT_STREQ(glueName(0), "");
    EXPECT_STREQ(glueName(64), "");
    int listed = 0;
    for (int32_t glue = kFirstGlue; glue <= kLastGlue; ++glue) {
        EXPECT_GT(std::strlen(glueName(glue)), 1u) << glue;
        listed += glueTerminologyName(glue) != nullptr ? 1 : 0;
    }
    EXPECT_EQ(listed, 61);
    EXPECT_EQ(glueTerminologyName(glueNumber(GlueMode::Anterior)), nullptr);
    EXPECT_EQ(glueTerminologyName(glueNumber(GlueMode::Posterior)), nullptr);
    EXPECT_STREQ(glueTerminologyName(26), "harsh diff");
    EXPECT_STREQ(glueTerminologyName(62), "screendim");
    EXPECT_EQ(glueTerminologyName(0), nullptr);
}

} // namespace
} // namespace lakra
