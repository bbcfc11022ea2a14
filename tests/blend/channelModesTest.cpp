#include "blend/blend.h"

#include <gtest/gtest.h>
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

TEST(ChannelModes, StayInFifteenBitRangeOverDenseGrid) {
    const std::vector<int32_t> values = denseChannels();
    for (int32_t glue = kFirstGlue; glue <= kLastGlue; ++glue) {
        const ChannelBlend blend = channelBlendFor(glue);
        if (blend == nullptr) {
            continue;
        }
        for (int32_t a : values) {
            for (int32_t b : values) {
                const int32_t r = blend(a, b);
                ASSERT_TRUE(r >= 0 && r <= kOne)
                    << glueName(glue) << " a=" << a << " b=" << b << " gave " << r;
            }
        }
    }
}

TEST(ChannelModes, SymmetricModesIgnoreOrder) {
    const GlueMode symmetric[] = {GlueMode::Difference, GlueMode::Lighten,   GlueMode::Darken,
                                  GlueMode::Add,        GlueMode::Multiply,  GlueMode::Screen,
                                  GlueMode::Superlay,   GlueMode::Exclusion, GlueMode::Similarity,
                                  GlueMode::Cross,      GlueMode::HardDiff,  GlueMode::And,
                                  GlueMode::Or,         GlueMode::Xor,       GlueMode::Multibright,
                                  GlueMode::HardMix,    GlueMode::Screendim};
    const std::vector<int32_t> values = denseChannels();
    for (GlueMode m : symmetric) {
        for (size_t i = 0; i < values.size(); i += 3) {
            for (size_t j = 0; j < values.size(); j += 5) {
                ASSERT_EQ(mode(m, values[i], values[j]), mode(m, values[j], values[i]))
                    << glueName(glueNumber(m)) << " " << values[i] << " " << values[j];
            }
        }
    }
}

TEST(ChannelModes, MirrorPairsSwapTheirInputs) {
    const GlueMode pairs[][2] = {
        {GlueMode::HardLight, GlueMode::Overlay}, {GlueMode::PinLight, GlueMode::SpinLight},
        {GlueMode::King, GlueMode::Queen},        {GlueMode::Ace, GlueMode::Jack},
        {GlueMode::Hot, GlueMode::Cold},          {GlueMode::Up, GlueMode::Down}};
    const std::vector<int32_t> values = denseChannels();
    for (const auto& pair : pairs) {
        for (size_t i = 0; i < values.size(); i += 3) {
            for (size_t j = 0; j < values.size(); j += 5) {
                ASSERT_EQ(mode(pair[0], values[i], values[j]), mode(pair[1], values[j], values[i]))
                    << glueName(glueNumber(pair[0])) << " " << values[i] << " " << values[j];
            }
        }
    }
}

TEST(ChannelModes, DifferenceEqualsExclusion) {
    const std::vector<int32_t> values = denseChannels();
    for (int32_t a : values) {
        for (int32_t b : values) {
            ASSERT_EQ(mode(GlueMode::Difference, a, b), mode(GlueMode::Exclusion, a, b));
        }
    }
}

TEST(ChannelModes, NeutralWaterLeavesTheImage) {
    const struct {
        GlueMode mode;
        int32_t water;
    } neutral[] = {{GlueMode::Multiply, kOne},   {GlueMode::Screen, 0},
                   {GlueMode::Add, 0},           {GlueMode::Lighten, 0},
                   {GlueMode::Darken, kOne},     {GlueMode::Overlay, kHalf},
                   {GlueMode::HardLight, kHalf}, {GlueMode::LinearLight, kHalf},
                   {GlueMode::PinLight, kHalf},  {GlueMode::Dodge, 0}};

    for (int32_t b : denseChannels()) {
        for (const auto& n : neutral) {
            ASSERT_EQ(mode(n.mode, n.water, b), b) << glueName(glueNumber(n.mode));
        }
        // Burn by white divides by 32769, not 32768.
        ASSERT_NEAR(mode(GlueMode::Burn, kOne, b), b, 1);
        ASSERT_EQ(mode(GlueMode::Subtract, b, 0), b);
    }
}

TEST(ChannelModes, DodgeAndBurnAtTheirEnds) {
    for (int32_t b : {0, 1, kHalf, 32767, kOne}) {
        EXPECT_EQ(mode(GlueMode::Dodge, kOne, b), kOne) << b;
        EXPECT_EQ(mode(GlueMode::Burn, 0, b), b == kOne ? kOne : 0) << b;
    }
    EXPECT_EQ(mode(GlueMode::Dodge, kHalf, kHalf), kOne);
    EXPECT_EQ(mode(GlueMode::Dodge, kHalf, 8192), kHalf);
}

TEST(ChannelModes, BitwiseModesWorkOnFifteenBitIntegers) {
    EXPECT_EQ(mode(GlueMode::And, kHalf, 24576), kHalf);
    EXPECT_EQ(mode(GlueMode::Or, 8192, kHalf), 24576);
    EXPECT_EQ(mode(GlueMode::Xor, 24576, kHalf), 8192);
    // 1.0 is the lone bit 0x8000: OR and XOR with it are held at 1.
    EXPECT_EQ(mode(GlueMode::Or, kOne, kHalf), kOne);
    EXPECT_EQ(mode(GlueMode::Xor, kOne, 32767), kOne);
    EXPECT_EQ(mode(GlueMode::Xor, kOne, kOne), 0);
}

TEST(ChannelModes, EightBitRulesAtTheirEdges) {
    // Vivid a: black water burns everything but white to black, white water
    // dodges everything but black to white.
    EXPECT_EQ(mode(GlueMode::VividA, 0, 32000), 0);
    EXPECT_EQ(mode(GlueMode::VividA, 0, kOne), kOne);
    EXPECT_EQ(mode(GlueMode::VividA, kOne, 200), kOne);
    EXPECT_EQ(mode(GlueMode::VividA, kOne, 0), 0);
    // Soft light: b squared for black water; white stays white above a half,
    // where the 8-bit rule alone would give 257/255.
    EXPECT_EQ(mode(GlueMode::SoftLight, 0, kHalf), 8192);
    EXPECT_EQ(mode(GlueMode::SoftLight, kHalf, kOne), kOne);
    EXPECT_EQ(mode(GlueMode::SoftLight, kOne, kOne), kOne);
    EXPECT_EQ(mode(GlueMode::SoftLight, kHalf, 0), 0);
}

TEST(ChannelModes, EdgeValuesWithKnownAnswers) {
    EXPECT_EQ(mode(GlueMode::HardMix, kHalf, kHalf), 0);
    EXPECT_EQ(mode(GlueMode::HardMix, kHalf, kHalf + 1), kOne);
    EXPECT_EQ(mode(GlueMode::Similarity, 8192, 24576), kOne);
    EXPECT_EQ(mode(GlueMode::Cross, 12345, 12345), kOne);
    EXPECT_EQ(mode(GlueMode::Cross, 0, kHalf), 0);
    EXPECT_EQ(mode(GlueMode::HardDiff, 24576, 8192), kHalf);
    EXPECT_EQ(mode(GlueMode::King, 20000, 20000), 20000);
    EXPECT_EQ(mode(GlueMode::ProceduralPlus, 20000, 0), 0);
    EXPECT_EQ(mode(GlueMode::ProceduralPlus, 20000, kOne), kOne);
    EXPECT_EQ(mode(GlueMode::ProceduralPlus, 8192, kHalf), 12288);
    EXPECT_EQ(mode(GlueMode::ProceduralMinus, kOne, kOne), kOne);
    EXPECT_EQ(mode(GlueMode::Multibright, kOne, kHalf), 24576);
    EXPECT_EQ(mode(GlueMode::Screendim, kHalf, 0), 8192);
    EXPECT_EQ(mode(GlueMode::VividB, kOne, kHalf), kOne);
    EXPECT_EQ(mode(GlueMode::Superlay, 0, 0), 0);
    EXPECT_EQ(mode(GlueMode::Superlay, kOne, kOne), kOne);
}

TEST(ChannelModes, DextrousRule) {
    EXPECT_EQ(mode(GlueMode::Dextrous, 0, 0), kOne);
    EXPECT_EQ(mode(GlueMode::Dextrous, kOne, 0), 0);
    EXPECT_EQ(mode(GlueMode::Dextrous, kHalf, kHalf), kHalf);
    EXPECT_EQ(mode(GlueMode::Dextrous, kOne, kHalf), 8192);
    EXPECT_EQ(mode(GlueMode::Dextrous, 0, kHalf), kOne);
}

TEST(ChannelModes, WholePixelModesHaveNoChannelFunction) {
    for (GlueMode m : {GlueMode::Color, GlueMode::Bright, GlueMode::North, GlueMode::Frontal,
                       GlueMode::Parietal, GlueMode::Starbright}) {
        EXPECT_FALSE(glueIsPerChannel(glueNumber(m)));
    }
    EXPECT_TRUE(glueIsPerChannel(0));
    EXPECT_EQ(channelBlendFor(64)(1234, 5678), 1234);
}

} // namespace
} // namespace lakra
