// The preset reader against hostile bytes. Built with LAKRA_LIBFUZZER defined
// (clang, -fsanitize=fuzzer) it is a libFuzzer target; otherwise its main runs
// a bounded, seeded mutation of files our writer makes, plus any corpus files
// named on the command line, so CI runs it under the sanitizers.
//
//   preset_reader_fuzz [iterations] [file...]
//   preset_reader_fuzz --write-seeds FOLDER   (the libFuzzer corpus)

#include "files/files.h"
#include "presets/presetFile.h"
#include "presets/thumbnail.h"
#include "pyramid/pyramid.h"
#include "render/settings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace lakra;

// Hooks that touch every byte they are given, so an overrun shows.
uint32_t gTouched = 0;

void touchTexture(void*, int32_t side, const uint8_t* rgb) {
    for (int32_t i = 0; i < side * side * 3; ++i) {
        gTouched += rgb[i];
    }
}

bool touchThumbnail(void*, PresetReadMode, int32_t width, int32_t height, const uint8_t* jpeg,
                    size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        gTouched += jpeg[i];
    }
    return width > 0 && height > 0;
}

// Looks in range after any file: what the renderer and the dialog rely on.
void checkLook(const Settings& s) {
    const int32_t sliders[] = {s.rippleHeight, s.perspective, s.undulation, s.rippleSize,
                               s.waviness,     s.blur,        s.complexity, s.altitude,
                               s.brilliance,   s.horizon,     s.offset};
    bool good = s.glue >= 1 && s.glue <= kGlueCount && s.horizonFloat >= 0.0f &&
                s.horizonFloat <= 100.0f && s.offsetFloat >= 0.0f && s.offsetFloat <= 100.0f;
    for (const int32_t value : sliders) {
        good = good && value >= 0 && value <= 100;
    }
    if (!good) {
        (void)std::fputs("a look value left its range\n", stderr);
        std::abort();
    }
}

void readOne(const uint8_t* data, size_t size) {
    FileSpec fileSpec{};
    if (temporaryFileSpec("Lakra fuzz input", &fileSpec) != noErr) {
        std::abort();
    }
    FileWriter writer;
    if (fileWriterOpen(fileSpec, &writer) != noErr) {
        std::abort();
    }
    (void)writeBytes(&writer, data, size);
    if (fileWriterClose(&writer) != noErr) {
        std::abort();
    }
    // Without hooks, with hooks that touch every byte, and with the real
    // JPEG decoder behind the thumbnail record.
    static ImagePyramid* thumbnail = pyramidCreate(128, 128, PixelFormat::Rgba8);
    for (const int hooksKind : {0, 1, 2}) {
        PresetHooks hooks;
        hooks.installTexture = touchTexture;
        hooks.decodeThumbnail = touchThumbnail;
        if (hooksKind == 2 && thumbnail != nullptr) {
            hooks = thumbnailPresetHooks(thumbnail);
            hooks.installTexture = touchTexture;
        }
        setPresetHooks(hooksKind != 0 ? &hooks : nullptr);
        Settings settings{};
        settingsFresh(&settings);
        (void)presetRead(fileSpec, PresetReadMode::Full, &settings);
        checkLook(settings);
        (void)presetRead(fileSpec, PresetReadMode::ThumbnailOnly, nullptr);
    }
    setPresetHooks(nullptr);
}

} // namespace

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer names the entry
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readOne(data, size);
    return 0;
}

#ifndef LAKRA_LIBFUZZER

namespace {

struct Random { // a fixed LCG: the same run everywhere
    uint64_t state = 0x2545F4914F6CDD1DULL;

    uint32_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }

    uint32_t below(uint32_t n) { return n == 0 ? 0 : next() % n; }
};

// A thumbnail with some detail, so the seeds carry real JPEG data.
ImagePyramid* seedThumbnail() {
    ImagePyramid* image = pyramidCreate(128, 128, PixelFormat::Rgba8);
    if (image == nullptr) {
        std::abort();
    }
    for (int32_t y = 0; y < 128; ++y) {
        for (int32_t x = 0; x < 128; ++x) {
            const float rgba[4] = {static_cast<float>(x) / 128.0f, static_cast<float>(y) / 128.0f,
                                   ((x ^ y) & 16) != 0 ? 0.9f : 0.2f, 1.0f};
            setPixel4f(x, y, image, 0, rgba);
        }
    }
    return image;
}

std::vector<uint8_t> written(Settings* settings, bool thumbnail) {
    static ImagePyramid* picture = seedThumbnail();
    const PresetHooks hooks = thumbnailPresetHooks(picture);
    setPresetHooks(thumbnail ? &hooks : nullptr);
    FileWriter sizing = fileSizingWriter();
    presetWriteTo(&sizing, settings);
    FileSpec fileSpec{};
    std::vector<uint8_t> bytes(static_cast<size_t>(sizing.bytes));
    if (temporaryFileSpec("Lakra fuzz seed", &fileSpec) != noErr ||
        presetWrite(fileSpec, settings) != noErr) {
        std::abort();
    }
    PlatformFile* file = nullptr;
    if (fileOpen(fileSpec, FileAccess::Read, &file) != noErr ||
        readBytes(file, bytes.data(), bytes.size()) != noErr) {
        std::abort();
    }
    (void)fileClose(file);
    setPresetHooks(nullptr);
    return bytes;
}

// Seeds: our writer's files, and the same with older version words, so every
// branch of the conversions is reached.
std::vector<std::vector<uint8_t>> seeds() {
    std::vector<std::vector<uint8_t>> all;
    Settings settings{};
    settingsFresh(&settings);
    all.push_back(written(&settings, false));
    settings.glue = 40;
    settings.waterRed = 65535;
    setHorizon(&settings, 12.5f);
    all.push_back(written(&settings, true));
    for (const uint8_t version : {1, 2, 6, 8, 13, 22, 23, 26, 40}) {
        std::vector<uint8_t> older = all.back();
        older[3] = version;
        all.push_back(older);
    }
    return all;
}

void mutate(std::vector<uint8_t>* bytes, Random* random) {
    static constexpr uint32_t kWords[] = {0,          1,          2,         10,         128,
                                          129,        49152,      49153,     0x7FFFFFFF, 0x80000000,
                                          0xFFFFFFFF, 0x7FC00000, 0xFF800000};
    const uint32_t edits = 1 + random->below(4);
    for (uint32_t e = 0; e < edits; ++e) {
        const auto size = static_cast<uint32_t>(bytes->size());
        switch (random->below(4)) {
        case 0: // a word set to an edge value
            if (size >= 4) {
                const uint32_t at = random->below(size / 4) * 4;
                const uint32_t value = kWords[random->below(std::size(kWords))];
                for (int i = 0; i < 4; ++i) {
                    (*bytes)[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
                }
            }
            break;
        case 1: // a random byte
            if (size > 0) {
                (*bytes)[random->below(size)] = static_cast<uint8_t>(random->next());
            }
            break;
        case 2: // cut short
            bytes->resize(random->below(size + 1));
            break;
        default: // garbage appended
            for (uint32_t i = random->below(64); i > 0; --i) {
                bytes->push_back(static_cast<uint8_t>(random->next()));
            }
            break;
        }
    }
}

std::vector<uint8_t> fileBytes(const char* path) {
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return bytes;
    }
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        bytes.push_back(static_cast<uint8_t>(c));
    }
    (void)std::fclose(file);
    return bytes;
}

} // namespace

// Writes the seeds into folder as files, the starting corpus of libFuzzer.
int writeSeeds(const char* folder) {
    const std::vector<std::vector<uint8_t>> corpus = seeds();
    for (size_t i = 0; i < corpus.size(); ++i) {
        char path[512];
        std::snprintf(path, sizeof path, "%s/seed-%02zu.q8r", folder, i);
        FILE* file = std::fopen(path, "wb");
        if (file == nullptr) {
            std::fprintf(stderr, "cannot write %s\n", path);
            return 1;
        }
        const size_t written = std::fwrite(corpus[i].data(), 1, corpus[i].size(), file);
        if (std::fclose(file) != 0 || written != corpus[i].size()) {
            std::fprintf(stderr, "cannot write %s\n", path);
            return 1;
        }
    }
    std::printf("%zu seed files written to %s\n", corpus.size(), folder);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") {
        return writeSeeds(argv[2]);
    }
    const long iterations = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2000;
    for (int i = 2; i < argc; ++i) {
        const std::vector<uint8_t> bytes = fileBytes(argv[i]);
        readOne(bytes.data(), bytes.size());
    }
    const std::vector<std::vector<uint8_t>> corpus = seeds();
    for (const auto& seed : corpus) {
        readOne(seed.data(), seed.size());
    }
    Random random;
    for (long i = 0; i < iterations; ++i) {
        std::vector<uint8_t> bytes = corpus[random.below(static_cast<uint32_t>(corpus.size()))];
        mutate(&bytes, &random);
        readOne(bytes.data(), bytes.size());
    }
    std::printf("%ld mutated preset files read safely\n", iterations);
    return 0;
}

#endif
