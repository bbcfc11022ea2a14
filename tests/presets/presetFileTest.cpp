#include "presets/presetFile.h"

#include "export/jpegWriter.h"
#include "presets/thumbnail.h"
#include "pyramid/copy.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "support/fileChecks.h"
#include "support/scratchFolder.h"

#include <bit>
#include <cstring>
#include <gtest/gtest.h>
#include <initializer_list>
#include <ostream>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

namespace lakra {
namespace {

using testing::sameBytes; // untouched means every byte, padding and name included
using testing::ScratchFolder;

// Preset bytes put together by hand, word by word, so these tests do not lean
// on our own writer.
using Bytes = std::vector<uint8_t>;

Bytes& put(Bytes& bytes, const std::vector<int64_t>& words) {
    for (const int64_t word : words) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(word) >> shift));
        }
    }
    return bytes;
}

void patch(Bytes* f, size_t wordIndex, int64_t value) {
    Bytes word;
    std::memcpy(f->data() + 4 * wordIndex, put(word, {value}).data(), 4);
}

// A file of the given version with the rows that version holds; the values
// are chosen so that every conversion shows.
Bytes handPreset(int32_t version, const Bytes& textureBlock = {0, 0, 0, 0}) {
    // {first version, words}; the texture block goes in at 22; the last row
    // holds the exact horizon and offset (floats).
    const std::pair<int32_t, std::vector<int64_t>> rows[] = {
        {1, {1000, 2000, 65535}},
        {1, {11, 12, 13, 14, 15, 16}},
        {1, {30, 21, 22, 23, 45, 70, 24, 25, 26, 27, 60, 28, 29}},
        {1, {10, 20}},
        {1, {33, 44, 55}},
        {1, {31, 32}},
        {1, {91, 92, 93, 41, 42, 0x10043}}, // the second three count; 16 bits each
        {2, {51, 52, 53, 66, 34, 35}},
        {3, {7, 1}},
        {4, {36, 37, 38}},
        {5, {77, 39}},
        {8, {25, -50, 12, 0, -100, 75}},
        {12, {1234}},
        {14, {40}},
        {16, {1}},
        {17, {41}},
        {18, {61, 62, 63, 64, 65, 66}},
        {22, {}},
        {23, {71, 72, 73}},
        {26, {16384, 49152}},
        {40, {0}},
        {41, {std::bit_cast<uint32_t>(45.5f), std::bit_cast<uint32_t>(20.25f)}},
    };
    Bytes f;
    put(f, {version});
    for (const auto& [since, words] : rows) {
        if (version >= since) {
            put(f, words);
            if (since == 22) {
                f.insert(f.end(), textureBlock.begin(), textureBlock.end());
            }
        }
    }
    return f;
}

struct PresetFiles : ::testing::Test {
    ScratchFolder scratch;
    FileSpec fileSpec{};
    Settings settings{};

    void SetUp() override {
        settingsFresh(&settings);
        fileSpecFromPath(&fileSpec, scratch.path("look.q8r").c_str());
    }

    void TearDown() override { setPresetHooks(nullptr); }

    Result readBytes(const std::vector<uint8_t>& bytes,
                     PresetReadMode mode = PresetReadMode::Full) {
        scratch.write("look.q8r", bytes);
        return presetRead(fileSpec, mode, &settings);
    }
};

// The writer against the hand-made layout: a file read and written again
// gives back its bytes (the first three of the doubled words and the high
// bits of a 16-bit word are not kept), and reads back to the same look.
TEST_F(PresetFiles, CurrentVersionRoundTripsEveryWrittenField) {
    Bytes expected = handPreset(41);
    ASSERT_EQ(readBytes(expected), noErr);
    const Settings read = settings;
    for (const auto& [word, value] :
         {std::pair<size_t, int64_t>{30, 41}, {31, 42}, {32, 0x43}, {35, 0x43}}) {
        patch(&expected, word, value);
    }
    settings.formatVersion = 0;
    ASSERT_EQ(presetWrite(fileSpec, &settings), noErr);
    EXPECT_EQ(settings.formatVersion, 41);
    EXPECT_EQ(scratch.read("look.q8r"), expected);
    settingsFresh(&settings);
    ASSERT_EQ(presetRead(fileSpec, PresetReadMode::Full, &settings), noErr);
    EXPECT_TRUE(sameBytes(settings, read));
}

// What hand-made files of some versions must give for one field. Each
// conversion has a version on either side of the one where it stops.
struct VersionRow {
    double (*field)(const Settings&);
    std::vector<std::pair<int32_t, double>> expected; // {version, value}
};

template <auto Field>
double of(const Settings& s) {
    return static_cast<double>(s.*Field);
}

// Version 1 keeps what it lacks; the centre arrives with 26, the exact horizon
// and offset with 41.
const VersionRow kVersionRows[] = {
    {of<&Settings::waterBlue>, {{1, 65535}}},
    {of<&Settings::randomSeed>, {{1, 21}}},
    {of<&Settings::glue>, {{1, 1}, {6, 7}}},
    {of<&Settings::undulation>, {{6, 50}}},
    // Below 7 the water colour; from 41 the word's low 16 bits.
    {of<&Settings::carriedWord15>, {{6, 65535}, {41, 0x43}}},
    {of<&Settings::offset>, {{14, 80}, {15, 20}}},               // inverted below 15
    {of<&Settings::carriedInt10>, {{1, 0}, {10, 36}, {11, 35}}}, // raised by 1 for 2 to 10
    {of<&Settings::carriedInt17>, {{24, 0}, {25, 38}}},
    {of<&Settings::carriedInt18>, {{12, 61}, {13, 39}}}, // 100 - 39 for versions 5 to 12
    {of<&Settings::brilliance>, {{6, 100}, {7, 77}}},
    {of<&Settings::perspective>, {{18, 57}, {19, 70}}},
    {of<&Settings::waviness>, {{19, 0}, {20, 33}}},
    {of<&Settings::altitude>, {{20, 50}, {21, 66}}},
    {of<&Settings::rippleHeight>, {{23, 100}, {24, 30}}}, // 30 / 0.3 below 24
    {of<&Settings::carriedInt14>, {{23, 0}, {24, 36}}},
    {of<&Settings::xCenter>, {{25, 0.5}, {40, 0.25}}},
    {of<&Settings::yCenter>, {{40, 0.75}}},
    {of<&Settings::horizonFloat>, {{40, 45}, {41, 45.5}}}, // below 41 from the integer
    {of<&Settings::offsetFloat>, {{1, 80}, {41, 20.25}}},
    {of<&Settings::carriedFloat2>, {{41, -0.5}}},
    {of<&Settings::carriedWord18>, {{41, 73}}},
};

TEST_F(PresetFiles, OlderVersionsAreReadAndConverted) {
    for (const VersionRow& row : kVersionRows) {
        for (const auto& [version, expected] : row.expected) {
            settingsFresh(&settings);
            ASSERT_EQ(readBytes(handPreset(version)), noErr);
            EXPECT_EQ(settings.formatVersion, version);
            EXPECT_EQ(row.field(settings), expected)
                << "row " << &row - kVersionRows << " v" << version;
        }
    }
}

TEST_F(PresetFiles, TextureBlockIsSkippedByItsRealSizeOrGoesToItsStore) {
    Bytes texture;
    put(texture, {1, 10, 0}).resize(12 + 10 * 10 * 3, 0xEE);
    ASSERT_EQ(readBytes(handPreset(23, texture)), noErr);
    EXPECT_TRUE(settings.carriedWord16 == 71 && settings.carriedWord18 == 73)
        << "the rows after a 10 x 10 texture";
    static std::vector<uint8_t> pixels; // n x n, three bytes each
    PresetHooks hooks;
    hooks.installTexture = [](void*, int32_t n, const uint8_t* rgb) {
        pixels.assign(rgb, rgb + n * n * 3);
    };
    setPresetHooks(&hooks);
    settingsFresh(&settings);
    ASSERT_EQ(readBytes(handPreset(41, texture), PresetReadMode::ThumbnailOnly), noErr);
    EXPECT_EQ(pixels, std::vector<uint8_t>(300, 0xEE));
    EXPECT_EQ(settings.glue, 1) << "thumbnail-only stores no value";
    texture.clear();
    put(texture, {1, 2147483647, 0}).resize(112, 1);
    EXPECT_EQ(readBytes(handPreset(23, texture)), kFileReadError) << "clamped, then cut short";
}

// A version-41 file with the given thumbnail record (its words, then its
// bytes) and 66 and 5 as the exact horizon and offset after it.
Bytes withThumbnail(const std::vector<int64_t>& words, const Bytes& data) {
    Bytes f = handPreset(41);
    f.resize(f.size() - 12); // the empty record and the exact values
    put(f, words).insert(f.end(), data.begin(), data.end());
    return put(f, {std::bit_cast<uint32_t>(66.0f), std::bit_cast<uint32_t>(5.0f)});
}

// The record travels with the look, is clamped when read, and is taken up to
// the thumbnail buffer and passed over whole beyond.
TEST_F(PresetFiles, ThumbnailRecordTravelsWithTheLookAndIsTakenUpToItsBuffer) {
    static std::vector<int64_t> taken; // width, height, then the bytes
    PresetHooks hooks;
    hooks.writeThumbnail = [](void*, FileWriter* writer) {
        for (const uint32_t word : {1, 300, 16, 3}) { // present, width, height, bytes
            (void)writeU32BE(writer, word);
        }
        (void)writeBytes(writer, "JPG", 3);
    };
    hooks.decodeThumbnail = [](void*, PresetReadMode, int32_t w, int32_t h, const uint8_t* data,
                               size_t bytes) {
        taken = {w, h};
        taken.insert(taken.end(), data, data + bytes);
        return true;
    };
    setPresetHooks(&hooks);
    setHorizon(&settings, 12.5f);
    ASSERT_EQ(presetWrite(fileSpec, &settings), noErr);
    FileWriter sizing = fileSizingWriter();
    presetWriteTo(&sizing, &settings);
    EXPECT_TRUE(sizing.bytes == 74 * 4 + 15 &&
                std::ssize(scratch.read("look.q8r")) == sizing.bytes);

    Settings untouched = settings;
    setHorizon(&untouched, 70.0f);
    settings = untouched;
    ASSERT_EQ(presetRead(fileSpec, PresetReadMode::ThumbnailOnly, &settings), noErr);
    EXPECT_TRUE(sameBytes(settings, untouched));
    EXPECT_EQ(taken, (std::vector<int64_t>{128, 16, 'J', 'P', 'G'})) << "the width clamped";
    ASSERT_EQ(presetRead(fileSpec, PresetReadMode::Full, &settings), noErr);
    EXPECT_FLOAT_EQ(settings.horizonFloat, 12.5f) << "read after the record";
    ASSERT_EQ(readBytes(withThumbnail({1, 64, 64, 49152}, Bytes(49152, 0xFF))), noErr);
    EXPECT_EQ(taken.size(), 2u + 49152u);
    taken.clear();
    ASSERT_EQ(readBytes(withThumbnail({1, 64, 64, 49153}, Bytes(49153, 0xFF))), noErr);
    EXPECT_TRUE(taken.empty()) << "more than the thumbnail buffer holds: none taken";
    EXPECT_FLOAT_EQ(settings.horizonFloat, 66.0f) << "the values after it are in place";
    EXPECT_EQ(readBytes(withThumbnail({1, 64, 64, 0xFFFFFFFFu}, Bytes(100, 0xFF))), kFileReadError)
        << "a record of 4 GB";
    setPresetHooks(nullptr);
    ASSERT_EQ(readBytes(withThumbnail({1, 64, 64, 1000}, Bytes(1000, 0xFF))), noErr);
    EXPECT_FLOAT_EQ(settings.offsetFloat, 5.0f) << "no thumbnail store: skipped by its length";
}

TEST_F(PresetFiles, ShortFileKeepsThePreviousValuesOfWhatItLacks) {
    Bytes f = handPreset(41);
    f.resize(4 * (1 + 3 + 6 + 13 + 2 + 1)); // ends inside row 6
    settings.waviness = 9;
    settings.glue = 5;
    setHorizon(&settings, 12.5f);
    EXPECT_EQ(readBytes(f), kFileReadError);
    // Read: ripple size, offset (version 41: not inverted), waviness; kept: blur,
    // glue, brilliance; the exact horizon follows the integer the file gave.
    EXPECT_EQ(std::tie(settings.rippleSize, settings.offset, settings.waviness, settings.blur,
                       settings.glue, settings.brilliance, settings.horizonFloat),
              std::make_tuple(10, 20, 33, 25, 5, 42, 45.0f));
}

TEST_F(PresetFiles, UnknownVersionsChangeNothing) {
    const Settings before = settings;
    EXPECT_EQ(presetRead(fileSpec, PresetReadMode::Full, &settings), kFileNotOpened) << "no file";
    for (const int64_t version : {0LL, -1LL, 42LL, 2147483647LL, 0x80000000LL}) {
        Bytes f = handPreset(41);
        patch(&f, 0, version);
        EXPECT_EQ(readBytes(f), kPresetUnknownVersion) << version;
    }
    EXPECT_EQ(readBytes({}), kFileReadError);
    EXPECT_TRUE(sameBytes(settings, before));
}

TEST_F(PresetFiles, HostileValuesAreBroughtIntoRange) {
    // {word (the version is word 0), value}: offset, carried int 10, carried
    // int 18, glue, horizon, complexity.
    Bytes f = handPreset(10);
    const std::pair<size_t, int64_t> hostile[] = {{24, INT32_MIN}, {41, INT32_MAX}, {48, INT32_MIN},
                                                  {42, 9999},      {14, 500},       {27, -3}};
    for (const auto& [word, value] : hostile) {
        patch(&f, word, value);
    }
    ASSERT_EQ(readBytes(f), noErr);
    // The offset's 100 - INT_MIN saturates, then comes into 0..100; carried
    // int 10 is raised by one without overflow.
    EXPECT_EQ(std::tie(settings.offset, settings.carriedInt10, settings.carriedInt18, settings.glue,
                       settings.horizon, settings.horizonFloat, settings.complexity),
              std::make_tuple(100, INT32_MAX, INT32_MAX, 63, 100, 100.0f, 0));

    f = handPreset(23);
    patch(&f, 10, INT32_MAX); // ripple height
    patch(&f, 49, INT32_MAX); // carried float 1
    ASSERT_EQ(readBytes(f), noErr);
    EXPECT_EQ(std::tie(settings.rippleHeight, settings.carriedFloat1),
              std::make_tuple(100, 21474836.47f));

    Bytes nan = handPreset(41);
    nan.resize(nan.size() - 8);
    ASSERT_EQ(readBytes(put(nan, {0x7FC00000, 0xFF800000})), noErr); // NaN and minus infinity
    EXPECT_EQ(std::tie(settings.horizonFloat, settings.offsetFloat, settings.offset),
              std::make_tuple(45.0f, 0.0f, 0));
}

// Random bytes in every channel: the most energy a picture can carry.
PyramidPtr noiseImage(int32_t width, int32_t height) {
    PyramidPtr image(pyramidCreate(width, height, PixelFormat::Rgba8));
    std::mt19937 random(7);
    for (int32_t i = 0; i < width * height; ++i) {
        writeRgba8(i % width, i / width, image.get(), 0, static_cast<uint32_t>(random()) | 0xFFu);
    }
    EXPECT_EQ(buildLevels(image.get()), noErr);
    return image;
}

Bytes jpegOf(int32_t width, int32_t height) {
    JpegData jpeg;
    EXPECT_EQ(jpegEncode(noiseImage(width, height).get(), 30, nullptr, nullptr, &jpeg), noErr);
    Bytes bytes(jpeg.bytes, jpeg.bytes + jpeg.length);
    jpegDataFree(&jpeg);
    return bytes;
}

// Real thumbnail hooks over a 128 x 128 thumbnail.
struct PresetThumbnails : PresetFiles {
    PyramidPtr thumbnail{pyramidCreate(128, 128, PixelFormat::Rgba8)};

    void SetUp() override {
        PresetFiles::SetUp();
        const PresetHooks hooks = thumbnailPresetHooks(thumbnail.get());
        setPresetHooks(&hooks);
    }
};

// A noisy record over its limit is encoded again coarser; with the default
// limit every thumbnail fits and reads back.
TEST_F(PresetThumbnails, NoisyRecordsAreEncodedCoarserUntilTheyFit) {
    const PyramidPtr noise = noiseImage(128, 128);
    JpegData levelEight;
    ASSERT_EQ(jpegEncode(noise.get(), kThumbnailQuality, nullptr, nullptr, &levelEight), noErr);
    const size_t limit = levelEight.length / 2;
    jpegDataFree(&levelEight);
    FileWriter writer;
    ASSERT_EQ(fileWriterOpen(fileSpec, &writer), noErr);
    thumbnailWriteRecordWithin(noise.get(), &writer, limit);
    ASSERT_EQ(fileWriterClose(&writer), noErr);
    const std::vector<uint8_t> bytes = scratch.read("look.q8r");
    ASSERT_GT(bytes.size(), 16u);
    const size_t length = (size_t{bytes[12]} << 24) | (size_t{bytes[13]} << 16) |
                          (size_t{bytes[14]} << 8) | bytes[15];
    EXPECT_TRUE(bytes[3] == 1 && length <= limit && bytes.size() == 16 + length) << length;
    EXPECT_TRUE(thumbnailDecodeRecord(thumbnail.get(), 128, 128, bytes.data() + 16, length));

    ASSERT_EQ(copyPyramidPixels(noise.get(), thumbnail.get()), true);
    ASSERT_EQ(presetWrite(fileSpec, &settings), noErr);
    ImagePyramid* atSize = nullptr;
    ASSERT_TRUE(presetThumbnailAtSize(fileSpec, thumbnail.get(), kMemoryDotThumbnailSide, &atSize));
    EXPECT_EQ(atSize->width[0], 88);
    EXPECT_NE(readRgba8(0, 127, thumbnail.get(), 0), 0x808080FFu) << "no longer the blank ramp";
    pyramidDestroy(&atSize);
    ASSERT_EQ(presetWrite(fileSpec, &settings), noErr);
    EXPECT_GT(scratch.read("look.q8r").size(), 74u * 4) << "the hooks before are back";
}

// A record wider than the thumbnail is read at the clamped size; one of an
// unknown presence, corrupt or cut short is passed over and leaves the blank
// thumbnail (opaque grey 255 - y), and the values after it in place.
TEST_F(PresetThumbnails, RecordsAreTakenOnlyWhenWhole) {
    Bytes corrupt = jpegOf(64, 64);
    for (size_t i = 2; i < corrupt.size(); i += 5) {
        corrupt[i] = static_cast<uint8_t>(corrupt[i] ^ 0xA5);
    }
    Bytes truncated = jpegOf(64, 64);
    truncated.resize(truncated.size() / 3);

    const struct {
        int64_t present, width, height;
        Bytes bytes;
        bool taken;
    } rows[] = {{1, 300, 90, jpegOf(300, 90), true},
                {2, 16, 16, jpegOf(16, 16), false},
                {1, 64, 64, corrupt, false},
                {1, 64, 64, truncated, false}};

    for (const auto& row : rows) {
        const auto size = static_cast<int64_t>(row.bytes.size());
        scratch.write("look.q8r",
                      withThumbnail({row.present, row.width, row.height, size}, row.bytes));
        ImagePyramid* atSize = nullptr;
        EXPECT_EQ(presetThumbnailAtSize(fileSpec, thumbnail.get(), 88, &atSize), row.taken);
        EXPECT_EQ(atSize != nullptr, row.taken);
        pyramidDestroy(&atSize);
        for (const int32_t y : {0, 40, 127}) {
            const auto blank = static_cast<uint32_t>(255 - y) * 0x01010100u | 0xFFu;
            EXPECT_EQ(readRgba8(3, y, thumbnail.get(), 0) == blank, !row.taken) << y;
        }
        ASSERT_EQ(presetRead(fileSpec, PresetReadMode::Full, &settings), noErr);
        EXPECT_FLOAT_EQ(settings.horizonFloat, 66.0f) << "the values after the record are in place";
    }
}

} // namespace
} // namespace lakra
