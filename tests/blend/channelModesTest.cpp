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
        for (int32_t a : values) {
            for (int32_t b : values) {
                const int32_t r = blend == nullptr ? 0 : blend(a, b);
                ASSERT_TRUE(r >= 0 && r <= kOne)
                    << glueName(glue) << " a=" << a << " b=" << b << " gave " << r;
            }
        }
    }
}

// mode(a, b) == other(b, a) for symmetric modes (other is the mode itself)
// and mirror pairs, mode(a, b) == other(a, b) for twins.
TEST(ChannelModes, SymmetricModesMirrorPairsAndTwins) {
    const struct {
        GlueMode mode;
        GlueMode other;
        bool swapped;
    } relations[] = {
        {GlueMode::Difference, GlueMode::Difference, true},
        {GlueMode::Lighten, GlueMode::Lighten, true},
        {GlueMode::Darken, GlueMode::Darken, true},
        {GlueMode::Add, GlueMode::Add, true},
        {GlueMode::Multiply, GlueMode::Multiply, true},
        {GlueMode::Screen, GlueMode::Screen, true},
        {GlueMode::Superlay, GlueMode::Superlay, true},
        {GlueMode::Exclusion, GlueMode::Exclusion, true},
        {GlueMode::Similarity, GlueMode::Similarity, true},
        {GlueMode::Cross, GlueMode::Cross, true},
        {GlueMode::HardDiff, GlueMode::HardDiff, true},
        {GlueMode::And, GlueMode::And, true},
        {GlueMode::Or, GlueMode::Or, true},
        {GlueMode::Xor, GlueMode::Xor, true},
        {GlueMode::Multibright, GlueMode::Multibright, true},
        {GlueMode::HardMix, GlueMode::HardMix, true},
        {GlueMode::Screendim, GlueMode::Screendim, true},
        {GlueMode::HardLight, GlueMode::Overlay, true},
        {GlueMode::PinLight, GlueMode::SpinLight, true},
        {GlueMode::King, GlueMode::Queen, true},
        {GlueMode::Ace, GlueMode::Jack, true},
        {GlueMode::Hot, GlueMode::Cold, true},
        {GlueMode::Up, GlueMode::Down, true},
        {GlueMode::Difference, GlueMode::Exclusion, false},
    };

    const std::vector<int32_t> values = denseChannels();
    for (const auto& r : relations) {
        for (size_t i = 0; i < values.size(); i += 3) {
            for (size_t j = 0; j < values.size(); j += 5) {
                const int32_t a = values[i];
                const int32_t b = values[j];
                ASSERT_EQ(mode(r.mode, a, b), r.swapped ? mode(r.other, b, a) : mode(r.other, a, b))
                    << glueName(glueNumber(r.mode)) << " " << a << " " << b;
            }
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

struct Known {
    GlueMode mode;
    int32_t water;
    int32_t under;
    int32_t result;
};

void PrintTo(const Known& k, std::ostream* os) {
    *os << glueName(glueNumber(k.mode)) << "(" << k.water << ", " << k.under << ")";
}

class KnownAnswers : public ::testing::TestWithParam<Known> {};

TEST_P(KnownAnswers, AtTheEdgesOfEachRule) {
    const Known& k = GetParam();
    EXPECT_EQ(mode(k.mode, k.water, k.under), k.result);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ChannelModes, KnownAnswers, ::testing::Values(
    Known{GlueMode::Dodge, kOne, 0, kOne}, Known{GlueMode::Dodge, kOne, kHalf, kOne},
    Known{GlueMode::Dodge, kHalf, kHalf, kOne}, Known{GlueMode::Dodge, kHalf, 8192, kHalf},
    Known{GlueMode::Dodge, kOne, kOne, kOne}, Known{GlueMode::Burn, 0, 1, 0},
    Known{GlueMode::Burn, 0, 32767, 0}, Known{GlueMode::Burn, 0, kOne, kOne},
    // Bitwise on 15-bit integers; 1.0 is the lone bit 0x8000: OR and XOR
    // with it are held at 1.
    Known{GlueMode::And, kHalf, 24576, kHalf}, Known{GlueMode::Or, 8192, kHalf, 24576},
    Known{GlueMode::Xor, 24576, kHalf, 8192}, Known{GlueMode::Or, kOne, kHalf, kOne},
    Known{GlueMode::Xor, kOne, 32767, kOne}, Known{GlueMode::Xor, kOne, kOne, 0},
    // Vivid a: black water burns everything but white to black, white water
    // dodges everything but black to white.
    Known{GlueMode::VividA, 0, 32000, 0}, Known{GlueMode::VividA, 0, kOne, kOne},
    Known{GlueMode::VividA, kOne, 200, kOne}, Known{GlueMode::VividA, kOne, 0, 0},
    // Soft light: b squared for black water; white stays white above a half,
    // where the 8-bit rule alone would give 257/255.
    Known{GlueMode::SoftLight, 0, kHalf, 8192}, Known{GlueMode::SoftLight, kHalf, kOne, kOne},
    Known{GlueMode::SoftLight, kOne, kOne, kOne}, Known{GlueMode::SoftLight, kHalf, 0, 0},
    Known{GlueMode::SoftLight, kOne, 0, 128},
    Known{GlueMode::HardMix, kHalf, kHalf, 0}, Known{GlueMode::HardMix, kHalf, kHalf + 1, kOne},
    Known{GlueMode::Similarity, 8192, 24576, kOne}, Known{GlueMode::Cross, 12345, 12345, kOne},
    Known{GlueMode::Cross, 0, kHalf, 0}, Known{GlueMode::HardDiff, 24576, 8192, kHalf},
    Known{GlueMode::King, 20000, 20000, 20000}, Known{GlueMode::King, kOne, kHalf, 24576},
    Known{GlueMode::ProceduralPlus, 20000, 0, 0}, Known{GlueMode::ProceduralPlus, 20000, kOne, kOne},
    Known{GlueMode::ProceduralPlus, 8192, kHalf, 12288},
    Known{GlueMode::ProceduralMinus, kOne, kOne, kOne},
    Known{GlueMode::Multibright, kOne, kHalf, 24576}, Known{GlueMode::Screendim, kHalf, 0, 8192},
    Known{GlueMode::VividB, kOne, kHalf, kOne}, Known{GlueMode::Superlay, 0, 0, 0},
    Known{GlueMode::Superlay, kOne, kOne, kOne},
    Known{GlueMode::Dextrous, 0, 0, kOne}, Known{GlueMode::Dextrous, kOne, 0, 0},
    Known{GlueMode::Dextrous, kHalf, kHalf, kHalf}, Known{GlueMode::Dextrous, kOne, kHalf, 8192},
    Known{GlueMode::Dextrous, 0, kHalf, kOne}));

// clang-format on

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
