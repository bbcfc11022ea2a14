// The preset reader against hostile bytes: files our writer makes, mutated.
// fuzzDriver.h tells how the target runs under libFuzzer and in ctest.

#include "files/files.h"
#include "fuzzDriver.h"
#include "presets/presetFile.h"
#include "presets/thumbnail.h"
#include "pyramid/pyramid.h"
#include "render/settings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

} // namespace

int main(int argc, char** argv) {
    return lakra::fuzz::fuzzStandaloneMain(argc, argv, {"preset files", ".q8r", seeds});
}

#endif
