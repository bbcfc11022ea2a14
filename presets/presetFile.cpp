#include "presets/presetFile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace lakra {

namespace {

// One entry of the file, in file order. The writer writes every entry; the
// reader reads those its file's version has and runs the conversions of older
// meanings where they stand.
enum class Item : uint8_t {
    Int,        // a 32-bit field
    Word,       // a 16-bit field, zero-extended
    One,        // the constant 1, ignored when read
    Hundredths, // a float stored as value x 100, truncated
    Fraction16, // a float stored as value x 65536, truncated
    Bits,       // a float stored as its IEEE bits
    Texture,    // the texture block
    Thumbnail,  // the thumbnail record
    Convert,    // a conversion step of older files (nothing in the file)
};

enum class Step : uint8_t {
    None,
    InvertOffset,        // below 15
    RaiseCarriedInt10,   // versions 2 to 10
    ClearCarriedInt17,   // below 25
    InvertCarriedInt18,  // versions 5 to 12
    FillBeforeVersion7,  // below 7: second colour, brilliance, undulation
    ClearAltitude,       // below 9, between the halves of the carried floats
    DefaultsBeforeV21,   // perspective, waviness and altitude of versions below 19, 20, 21
    RescaleRippleHeight, // below 24
};

struct Entry {
    int32_t Settings::*integer;
    uint16_t Settings::*word;
    float Settings::*real;
    int32_t since; // first version that holds the entry
    Item item;
    Step step;
};

constexpr Entry intAt(int32_t since, int32_t Settings::*field) {
    return {field, nullptr, nullptr, since, Item::Int, Step::None};
}

constexpr Entry wordAt(int32_t since, uint16_t Settings::*field) {
    return {nullptr, field, nullptr, since, Item::Word, Step::None};
}

constexpr Entry realAt(Item item, int32_t since, float Settings::*field) {
    return {nullptr, nullptr, field, since, item, Step::None};
}

constexpr Entry blockAt(Item item, int32_t since) {
    return {nullptr, nullptr, nullptr, since, item, Step::None};
}

constexpr Entry convertAt(int32_t since, Step step) {
    return {nullptr, nullptr, nullptr, since, Item::Convert, step};
}

using S = Settings;

// clang-format off
constexpr Entry kLayout[] = {
    wordAt(1, &S::waterRed), wordAt(1, &S::waterGreen), wordAt(1, &S::waterBlue),
    wordAt(1, &S::carriedWord1), wordAt(1, &S::carriedWord2), wordAt(1, &S::carriedWord3),
    wordAt(1, &S::carriedWord4), wordAt(1, &S::carriedWord5), wordAt(1, &S::carriedWord6),
    intAt(1, &S::rippleHeight), intAt(1, &S::carriedInt1), intAt(1, &S::carriedInt2),
    intAt(1, &S::carriedInt3), intAt(1, &S::horizon), intAt(1, &S::perspective),
    intAt(1, &S::carriedInt4), intAt(1, &S::carriedInt5), intAt(1, &S::carriedInt6),
    intAt(1, &S::carriedInt7), intAt(1, &S::undulation), intAt(1, &S::carriedInt8),
    intAt(1, &S::carriedInt9),
    intAt(1, &S::rippleSize), intAt(1, &S::offset),
    convertAt(1, Step::InvertOffset),
    intAt(1, &S::waviness), intAt(1, &S::blur), intAt(1, &S::complexity),
    intAt(1, &S::carriedInt12), intAt(1, &S::carriedInt13),
    wordAt(1, &S::carriedWord13), wordAt(1, &S::carriedWord14), wordAt(1, &S::carriedWord15),
    wordAt(1, &S::carriedWord13), wordAt(1, &S::carriedWord14), wordAt(1, &S::carriedWord15),
    wordAt(2, &S::carriedWord19), wordAt(2, &S::carriedWord20), wordAt(2, &S::carriedWord21),
    intAt(2, &S::altitude), intAt(2, &S::carriedInt11), intAt(2, &S::carriedInt10),
    convertAt(2, Step::RaiseCarriedInt10),
    intAt(3, &S::glue),
    blockAt(Item::One, 3),
    intAt(4, &S::carriedInt14), intAt(4, &S::carriedInt15), intAt(4, &S::carriedInt17),
    convertAt(1, Step::ClearCarriedInt17),
    intAt(5, &S::brilliance), intAt(5, &S::carriedInt18),
    convertAt(5, Step::InvertCarriedInt18),
    convertAt(1, Step::FillBeforeVersion7),
    realAt(Item::Hundredths, 8, &S::carriedFloat1), realAt(Item::Hundredths, 8, &S::carriedFloat2),
    realAt(Item::Hundredths, 8, &S::carriedFloat3),
    convertAt(8, Step::ClearAltitude),
    realAt(Item::Hundredths, 8, &S::carriedFloat4), realAt(Item::Hundredths, 8, &S::carriedFloat5),
    realAt(Item::Hundredths, 8, &S::carriedFloat6),
    intAt(12, &S::randomSeed),
    intAt(14, &S::carriedInt16),
    blockAt(Item::One, 16),
    intAt(17, &S::carriedInt19),
    wordAt(18, &S::carriedWord7), wordAt(18, &S::carriedWord8), wordAt(18, &S::carriedWord9),
    wordAt(18, &S::carriedWord10), wordAt(18, &S::carriedWord11), wordAt(18, &S::carriedWord12),
    convertAt(1, Step::DefaultsBeforeV21),
    blockAt(Item::Texture, 22),
    wordAt(23, &S::carriedWord16), wordAt(23, &S::carriedWord17), wordAt(23, &S::carriedWord18),
    convertAt(1, Step::RescaleRippleHeight),
    realAt(Item::Fraction16, 26, &S::xCenter), realAt(Item::Fraction16, 26, &S::yCenter),
    blockAt(Item::Thumbnail, 40),
    realAt(Item::Bits, 41, &S::horizonFloat), realAt(Item::Bits, 41, &S::offsetFloat),
};
// clang-format on

PresetHooks gHooks;

// Float to integer, truncating toward zero, saturated at the ends of the range
// (NaN gives 0): a hostile file must not reach an undefined conversion.
int32_t truncateSaturated(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483647.0) {
        return INT32_MAX;
    }
    if (value <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

int32_t saturated(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void writeEntry(FileWriter* writer, const Entry& entry, const Settings& s) {
    switch (entry.item) {
    case Item::Int:
        (void)writeU32BE(writer, static_cast<uint32_t>(s.*entry.integer));
        break;
    case Item::Word:
        (void)writeU32BE(writer, s.*entry.word);
        break;
    case Item::One:
        (void)writeU32BE(writer, 1);
        break;
    case Item::Hundredths:
        // Multiplied in single precision, as stored: 0.29f x 100 rounds to 29
        // there, where double precision gives 28.99999 and loses a hundredth.
        (void)writeU32BE(writer, static_cast<uint32_t>(truncateSaturated(s.*entry.real * 100.0f)));
        break;
    case Item::Fraction16:
        (void)writeU32BE(writer,
                         static_cast<uint32_t>(truncateSaturated(s.*entry.real * 65536.0f)));
        break;
    case Item::Bits:
        (void)writeFloatBE(writer, s.*entry.real);
        break;
    case Item::Texture:
        (void)writeU32BE(writer, 0); // no texture
        break;
    case Item::Thumbnail:
        if (gHooks.writeThumbnail != nullptr) {
            gHooks.writeThumbnail(gHooks.context, writer);
        } else {
            (void)writeU32BE(writer, 0);
        }
        break;
    case Item::Convert:
        break;
    }
}

struct Reader {
    PlatformFile* file;
    PresetReadMode mode;
    int32_t version;
    Result error = noErr; // the first failed read; nothing is read after it
    bool horizonRead = false;
    bool offsetRead = false;
    bool horizonBitsRead = false;
    bool offsetBitsRead = false;
};

bool readWord(Reader* reader, uint32_t* value) {
    if (reader->error != noErr) {
        return false;
    }
    reader->error = readU32BE(reader->file, value);
    return reader->error == noErr;
}

bool skip(Reader* reader, int64_t bytes) {
    if (reader->error == noErr) {
        reader->error = readSkip(reader->file, bytes);
    }
    return reader->error == noErr;
}

// A block of `bytes` that a hook wants: read into memory of its own (at most
// 49152 bytes). nullptr when it cannot be had; the block is then skipped.
uint8_t* readBlock(Reader* reader, size_t bytes) {
    auto* block = static_cast<uint8_t*>(std::malloc(bytes > 0 ? bytes : 1));
    if (block == nullptr) {
        (void)skip(reader, static_cast<int64_t>(bytes));
        return nullptr;
    }
    if (reader->error == noErr) {
        reader->error = readBytes(reader->file, block, bytes);
    }
    if (reader->error != noErr) {
        std::free(block);
        return nullptr;
    }
    return block;
}

void readTexture(Reader* reader) {
    uint32_t present = 0;
    uint32_t sideWord = 0;
    uint32_t ignored = 0;
    if (!readWord(reader, &present) || present == 0 || !readWord(reader, &sideWord) ||
        !readWord(reader, &ignored)) {
        return;
    }
    const int32_t side = std::clamp(static_cast<int32_t>(sideWord), 0, kTextureMaxSide);
    const size_t bytes = static_cast<size_t>(side) * static_cast<size_t>(side) * 3;
    if (gHooks.installTexture == nullptr) {
        (void)skip(reader, static_cast<int64_t>(bytes));
        return;
    }
    uint8_t* rgb = readBlock(reader, bytes);
    if (rgb != nullptr) {
        gHooks.installTexture(gHooks.context, side, rgb);
        std::free(rgb);
    }
}

void readThumbnail(Reader* reader) {
    uint32_t present = 0;
    uint32_t widthWord = 0;
    uint32_t heightWord = 0;
    uint32_t byteCount = 0;
    if (!readWord(reader, &present) || present == 0 || !readWord(reader, &widthWord) ||
        !readWord(reader, &heightWord) || !readWord(reader, &byteCount)) {
        return;
    }
    const int32_t width = std::clamp(static_cast<int32_t>(widthWord), 0, kThumbnailMaxSide);
    const int32_t height = std::clamp(static_cast<int32_t>(heightWord), 0, kThumbnailMaxSide);
    // A record longer than the thumbnail buffer is passed over whole, so the
    // values after it are still read from their place.
    if (present != 1 || gHooks.decodeThumbnail == nullptr || byteCount > kThumbnailJpegBytes) {
        (void)skip(reader, byteCount);
        return;
    }
    uint8_t* jpeg = readBlock(reader, byteCount);
    if (jpeg != nullptr) {
        (void)gHooks.decodeThumbnail(gHooks.context, reader->mode, width, height, jpeg, byteCount);
        std::free(jpeg);
    }
}

void convert(Step step, int32_t version, Settings* s) {
    switch (step) {
    case Step::None:
        break;
    case Step::InvertOffset:
        if (version < 15) {
            s->offset = saturated(100 - int64_t{s->offset});
        }
        break;
    case Step::RaiseCarriedInt10:
        if (version >= 2 && version <= 10) {
            s->carriedInt10 = saturated(int64_t{s->carriedInt10} + 1);
        }
        break;
    case Step::ClearCarriedInt17:
        if (version < 25) {
            s->carriedInt17 = 0;
        }
        break;
    case Step::InvertCarriedInt18:
        if (version >= 5 && version <= 12) {
            s->carriedInt18 = saturated(100 - int64_t{s->carriedInt18});
        }
        break;
    case Step::FillBeforeVersion7:
        if (version < 7) {
            s->carriedWord13 = s->waterRed;
            s->carriedWord14 = s->waterGreen;
            s->carriedWord15 = s->waterBlue;
            s->brilliance = 100;
            s->undulation = 50;
        }
        break;
    case Step::ClearAltitude:
        if (version < 9) {
            s->altitude = 0;
        }
        break;
    case Step::DefaultsBeforeV21:
        if (version < 19) {
            s->perspective = 57;
        }
        if (version < 20) {
            s->waviness = 0;
        }
        if (version < 21) {
            s->altitude = 50;
        }
        break;
    case Step::RescaleRippleHeight:
        // In double precision: 30 / 0.3f is 99.99999, which would truncate to 99.
        if (version < 24) {
            s->carriedInt14 = 0;
            s->rippleHeight = truncateSaturated(s->rippleHeight / 0.3);
        }
        break;
    }
}

void readEntry(Reader* reader, const Entry& entry, Settings* s) {
    uint32_t value = 0;
    switch (entry.item) {
    case Item::Int:
        if (readWord(reader, &value)) {
            s->*entry.integer = static_cast<int32_t>(value);
            reader->horizonRead |= entry.integer == &Settings::horizon;
            reader->offsetRead |= entry.integer == &Settings::offset;
        }
        break;
    case Item::Word:
        if (readWord(reader, &value)) {
            s->*entry.word = static_cast<uint16_t>(value & 0xFFFF);
        }
        break;
    case Item::One:
        (void)readWord(reader, &value);
        break;
    case Item::Hundredths:
        if (readWord(reader, &value)) {
            s->*entry.real = static_cast<float>(static_cast<int32_t>(value) * 0.01);
        }
        break;
    case Item::Fraction16:
        if (readWord(reader, &value)) {
            s->*entry.real = static_cast<float>(static_cast<int32_t>(value) / 65536.0);
        }
        break;
    case Item::Bits:
        if (readWord(reader, &value)) {
            std::memcpy(&(s->*entry.real), &value, sizeof(float));
            reader->horizonBitsRead |= entry.real == &Settings::horizonFloat;
            reader->offsetBitsRead |= entry.real == &Settings::offsetFloat;
        }
        break;
    case Item::Texture:
        readTexture(reader);
        break;
    case Item::Thumbnail:
        readThumbnail(reader);
        break;
    case Item::Convert:
        if (reader->error == noErr) {
            convert(entry.step, reader->version, s);
        }
        break;
    }
}

// A percentage of the horizon or offset from a file: NaN falls back to the
// integer form, and both stay within 0..100 as the renderer expects.
float percentFromFile(float value, int32_t fallback) {
    if (std::isnan(value)) {
        value = static_cast<float>(std::clamp(fallback, 0, 100));
    }
    return std::clamp(value, 0.0f, 100.0f);
}

// Older files carry only the integer horizon and offset; a file that ends
// before its exact values keeps them in step with the integers it gave. Then
// the look values come into the ranges the dialog and renderer rely on.
void finishLook(const Reader& reader, Settings* s) {
    if (reader.horizonRead && !reader.horizonBitsRead) {
        s->horizonFloat = static_cast<float>(s->horizon);
    }
    if (reader.offsetRead && !reader.offsetBitsRead) {
        s->offsetFloat = static_cast<float>(s->offset);
    }
    for (int32_t Settings::*slider :
         {&Settings::rippleHeight, &Settings::perspective, &Settings::undulation,
          &Settings::rippleSize, &Settings::waviness, &Settings::blur, &Settings::complexity,
          &Settings::altitude, &Settings::brilliance}) {
        s->*slider = std::clamp(s->*slider, 0, 100);
    }
    s->glue = std::clamp(s->glue, 1, kGlueCount);
    setHorizon(s, percentFromFile(s->horizonFloat, s->horizon));
    setOffset(s, percentFromFile(s->offsetFloat, s->offset));
}

} // namespace

PresetHooks presetHooks() {
    return gHooks;
}

void setPresetHooks(const PresetHooks* hooks) {
    gHooks = hooks != nullptr ? *hooks : PresetHooks{};
}

void presetWriteTo(FileWriter* writer, Settings* settings) {
    settings->formatVersion = kPresetVersion;
    (void)writeU32BE(writer, static_cast<uint32_t>(kPresetVersion));
    for (const Entry& entry : kLayout) {
        writeEntry(writer, entry, *settings);
    }
}

Result presetWrite(const FileSpec& fileSpec, Settings* settings) {
    if (settings == nullptr) {
        return failWith(kFileNotOpened);
    }
    FileWriter writer;
    const Result opened = fileWriterOpen(fileSpec, &writer);
    if (opened != noErr) {
        return opened;
    }
    presetWriteTo(&writer, settings);
    return fileWriterClose(&writer);
}

Result presetReadFrom(PlatformFile* file, PresetReadMode mode, Settings* settings) {
    const bool full = mode == PresetReadMode::Full;
    if (file == nullptr || (full && settings == nullptr)) {
        return failWith(kFileNotOpened);
    }
    uint32_t versionWord = 0;
    const Result versionRead = readU32BE(file, &versionWord);
    if (versionRead != noErr) {
        return versionRead;
    }
    const auto version = static_cast<int32_t>(versionWord);
    if (version < 1 || version > kPresetVersion) {
        return failWith(kPresetUnknownVersion);
    }
    // Values land in a copy, so a thumbnail-only read changes nothing and a
    // short file leaves every field it does not reach as it was.
    Settings work{};
    if (full) {
        work = *settings;
    }
    Reader reader{file, mode, version};
    for (const Entry& entry : kLayout) {
        if (version >= entry.since) {
            readEntry(&reader, entry, &work);
        }
    }
    if (full) {
        finishLook(reader, &work);
        work.formatVersion = version;
        *settings = work;
    }
    return reader.error;
}

Result presetRead(const FileSpec& fileSpec, PresetReadMode mode, Settings* settings) {
    PlatformFile* file = nullptr;
    const Result opened = fileOpen(fileSpec, FileAccess::Read, &file);
    if (opened != noErr) {
        return opened;
    }
    const Result result = presetReadFrom(file, mode, settings);
    (void)fileClose(file);
    return result;
}

} // namespace lakra
