#include "blend/blend.h"
#include "blend/glueModes.h"

#include <cstring>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace lakra {
namespace {

constexpr int32_t kOne = kFixedOne;
constexpr int32_t kHalf = kFixedHalf;

int32_t mode(GlueMode m, int32_t a, int32_t b) {
    return channelBlendFor(glueNumber(m))(a, b);
}

// Every 97th step plus the values where the formulas branch or saturate.
std::vector<int32_t> denseChannels() {
    std::vector<int32_t> values;
    for (int32_t v = 0; v <= kOne; v += 97) {
        values.push_back(v);
    }
    for (int32_t v : {1, 127, 128, 129, 16255, 16383, 16384, 16385, 32639, 32640, 32767, 32768}) {
        values.push_back(v);
    }
    return values;
}

// mode(a, b) == other(b, a) for symmetric modes (other is the mode itself)
// and mirror pairs; difference and exclusion are twins. Neutral water leaves
// the image.
TEST(ChannelModes, SymmetricModesMirrorPairsTwinsAndNeutralWater) {
    using G = GlueMode;
    std::vector<std::pair<G, G>> mirrors{{G::HardLight, G::Overlay}, {G::PinLight, G::SpinLight},
                                         {G::King, G::Queen},        {G::Ace, G::Jack},
                                         {G::Hot, G::Cold},          {G::Up, G::Down}};
    for (G m : {G::Difference, G::Lighten, G::Darken, G::Add, G::Multiply, G::Screen, G::Superlay,
                G::Exclusion, G::Similarity, G::Cross, G::HardDiff, G::And, G::Or, G::Xor,
                G::Multibright, G::HardMix, G::Screendim}) {
        mirrors.emplace_back(m, m);
    }
    const std::vector<int32_t> values = denseChannels();
    for (size_t i = 0; i < values.size(); i += 3) {
        for (size_t j = 0; j < values.size(); j += 5) {
            const int32_t a = values[i];
            const int32_t b = values[j];
            for (const auto& [m, other] : mirrors) {
                ASSERT_EQ(mode(m, a, b), mode(other, b, a))
                    << glueName(glueNumber(m)) << a << " " << b;
            }
            ASSERT_EQ(mode(G::Difference, a, b), mode(G::Exclusion, a, b)) << a << " " << b;
        }
    }
    const std::pair<G, int32_t> neutral[] = {
        {G::Multiply, kOne},  {G::Screen, 0},      {G::Add, 0},           {G::Lighten, 0},
        {G::Darken, kOne},    {G::Overlay, kHalf}, {G::HardLight, kHalf}, {G::LinearLight, kHalf},
        {G::PinLight, kHalf}, {G::Dodge, 0}};
    for (int32_t b : values) {
        for (const auto& [m, water] : neutral) {
            ASSERT_EQ(mode(m, water, b), b) << glueName(glueNumber(m));
        }
        // Burn by white divides by 32769, not 32768.
        ASSERT_NEAR(mode(GlueMode::Burn, kOne, b), b, 1);
        ASSERT_EQ(mode(GlueMode::Subtract, b, 0), b);
    }
}

// Results at the edges of each rule.
TEST(ChannelModes, KnownAnswersAtTheEdgesOfEachRule) {
    using G = GlueMode;

    // clang-format off
    const struct {
        GlueMode mode;
        int32_t water, under, result;
    } known[] = {
    {G::Dodge, kOne, 0, kOne}, {G::Dodge, kOne, kHalf, kOne}, {G::Dodge, kHalf, kHalf, kOne},
    {G::Dodge, kHalf, 8192, kHalf}, {G::Dodge, kOne, kOne, kOne}, {G::Burn, 0, 1, 0},
    {G::Burn, 0, 32767, 0}, {G::Burn, 0, kOne, kOne},
    // Bitwise on 15-bit integers; 1.0 is the lone bit 0x8000: OR and XOR
    // with it are held at 1.
    {G::And, kHalf, 24576, kHalf}, {G::Or, 8192, kHalf, 24576}, {G::Xor, 24576, kHalf, 8192},
    {G::Or, kOne, kHalf, kOne}, {G::Xor, kOne, 32767, kOne}, {G::Xor, kOne, kOne, 0},
    // Vivid a: black water burns everything but white to black, white water
    // dodges everything but black to white.
    {G::VividA, 0, 32000, 0}, {G::VividA, 0, kOne, kOne}, {G::VividA, kOne, 200, kOne},
    {G::VividA, kOne, 0, 0},
    // Soft light: b squared for black water; white stays white above a half,
    // where the 8-bit rule alone would give 257/255.
    {G::SoftLight, 0, kHalf, 8192}, {G::SoftLight, kHalf, kOne, kOne},
    {G::SoftLight, kOne, kOne, kOne}, {G::SoftLight, kHalf, 0, 0}, {G::SoftLight, kOne, 0, 128},
    {G::HardMix, kHalf, kHalf, 0}, {G::HardMix, kHalf, kHalf + 1, kOne},
    {G::Similarity, 8192, 24576, kOne}, {G::Cross, 12345, 12345, kOne}, {G::Cross, 0, kHalf, 0},
    {G::HardDiff, 24576, 8192, kHalf}, {G::King, 20000, 20000, 20000},
    {G::King, kOne, kHalf, 24576}, {G::ProceduralPlus, 20000, 0, 0},
    {G::ProceduralPlus, 20000, kOne, kOne}, {G::ProceduralPlus, 8192, kHalf, 12288},
    {G::ProceduralMinus, kOne, kOne, kOne}, {G::Multibright, kOne, kHalf, 24576},
    {G::Screendim, kHalf, 0, 8192}, {G::VividB, kOne, kHalf, kOne}, {G::Superlay, 0, 0, 0},
    {G::Superlay, kOne, kOne, kOne}, {G::Dextrous, 0, 0, kOne}, {G::Dextrous, kOne, 0, 0},
    {G::Dextrous, kHalf, kHalf, kHalf}, {G::Dextrous, kOne, kHalf, 8192},
    {G::Dextrous, 0, kHalf, kOne}};

    // clang-format on
    for (const auto& k : known) {
        EXPECT_EQ(mode(k.mode, k.water, k.under), k.result)
            << glueName(glueNumber(k.mode)) << "(" << k.water << ", " << k.under << ")";
    }
}

uint32_t code(const char* text) {
    return glueFourCharCode(text[0], text[1], text[2], text[3]);
}

// Codes are "GLnn", first character in the most significant byte; codes and
// numbers outside the catalogue read as no mode and write no code. The
// terminology lists 61 modes: anterior and posterior have no name there.
TEST(GlueCatalogue, CodesAndNames) {
    int listed = 0;
    for (int32_t glue = kFirstGlue; glue <= kLastGlue; ++glue) {
        EXPECT_EQ(glueFromCode(glueCode(glue)), glue);
        EXPECT_GT(std::strlen(glueName(glue)), 1u) << glue;
        listed += glueTerminologyName(glue) != nullptr ? 1 : 0;
    }
    EXPECT_EQ(glueCode(1), 0x474C3031u);
    EXPECT_EQ(glueCode(63), code("GL63"));
    EXPECT_EQ(kGlueEnumType, 0x474C7479u);
    EXPECT_EQ(kGlueNoCode, 0x3C4E4F3Eu);
    for (const char* text : {"GL00", "GL64", "GL99", "GLty", "gl07", "XL07", "G L7", "<NO>"}) {
        EXPECT_EQ(glueFromCode(code(text)), 0) << text;
    }
    EXPECT_EQ(glueFromCode(0), 0);
    for (int32_t glue : {0, 64, -1, 100}) {
        EXPECT_EQ(glueCode(glue), kGlueNoCode);
    }
    EXPECT_STREQ(glueName(1), "normal");
    EXPECT_STREQ(glueName(26), "hard diff");
    EXPECT_STREQ(glueName(glueNumber(GlueMode::VividA)), "vivid a");
    EXPECT_STREQ(glueName(63), "starbright");
    EXPECT_STREQ(glueName(0), "");
    EXPECT_STREQ(glueName(64), "");
    EXPECT_EQ(listed, 61);
    EXPECT_EQ(glueTerminologyName(glueNumber(GlueMode::Anterior)), nullptr);
    EXPECT_EQ(glueTerminologyName(glueNumber(GlueMode::Posterior)), nullptr);
    EXPECT_STREQ(glueTerminologyName(26), "harsh diff");
    EXPECT_STREQ(glueTerminologyName(62), "screendim");
    EXPECT_EQ(glueTerminologyName(0), nullptr);
}

} // namespace
} // namespace lakra
