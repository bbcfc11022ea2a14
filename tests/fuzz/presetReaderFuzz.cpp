// The preset reader against hostile bytes: files our writer makes, mutated.
// fuzzDriver.h tells how the target runs under libFuzzer and in ctest.

#include "files/files.h"
#include "fuzzDriver.h"
#include "presets/presetFile.h"
#include "presets/thumbnail.h"
#include "pyramid/pyramid.h"
#include "render/settings.h"

namespace {

using namespace lakra;

// A hook that touches every byte it is given, so an overrun shows.
uint32_t gTouched = 0;

void touchTexture(void*, int32_t side, const uint8_t* rgb) {
    for (int32_t i = 0; i < side * side * 3; ++i) {
        gTouched += rgb[i];
    }
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
        fuzz::fail("a look value left its range");
    }
}

FileSpec scratchSpec(const char* name) {
    FileSpec fileSpec{};
    fileSpecFromPath(&fileSpec, fuzz::scratchPath(name).c_str());
    return fileSpec;
}

} // namespace

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer names the entry
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FileSpec fileSpec = scratchSpec("Lakra fuzz input");
    fuzz::writeFile(fileSpecPath(fileSpec), data, size);
    // Without hooks, and with the real JPEG decoder behind the thumbnail
    // record and a texture hook that touches every byte.
    static ImagePyramid* thumbnail = pyramidCreate(128, 128, PixelFormat::Rgba8);
    for (const bool withHooks : {false, true}) {
        PresetHooks hooks = thumbnailPresetHooks(thumbnail);
        hooks.installTexture = touchTexture;
        setPresetHooks(withHooks && thumbnail != nullptr ? &hooks : nullptr);
        Settings settings{};
        settingsFresh(&settings);
        (void)presetRead(fileSpec, PresetReadMode::Full, &settings);
        checkLook(settings);
        (void)presetRead(fileSpec, PresetReadMode::ThumbnailOnly, nullptr);
    }
    setPresetHooks(nullptr);
    return 0;
}

#ifndef LAKRA_LIBFUZZER

namespace {

// A thumbnail with some detail, so the seeds carry real JPEG data.
ImagePyramid* seedThumbnail() {
    ImagePyramid* image = pyramidCreate(128, 128, PixelFormat::Rgba8);
    for (int32_t i = 0; image != nullptr && i < 128 * 128; ++i) {
        const int32_t x = i % 128;
        const int32_t y = i / 128;
        const float rgba[4] = {static_cast<float>(x) / 128.0f, static_cast<float>(y) / 128.0f,
                               ((x ^ y) & 16) != 0 ? 0.9f : 0.2f, 1.0f};
        setPixel4f(x, y, image, 0, rgba);
    }
    return image;
}

fuzz::Bytes written(Settings* settings, bool thumbnail) {
    static ImagePyramid* picture = seedThumbnail();
    const PresetHooks hooks = thumbnailPresetHooks(picture);
    setPresetHooks(thumbnail ? &hooks : nullptr);
    const FileSpec fileSpec = scratchSpec("Lakra fuzz seed");
    if (presetWrite(fileSpec, settings) != noErr) {
        fuzz::fail("cannot write a seed");
    }
    setPresetHooks(nullptr);
    return fuzz::readFile(fileSpecPath(fileSpec));
}

// Seeds: our writer's files, and the same with older version words, so every
// branch of the conversions is reached.
std::vector<fuzz::Bytes> seeds() {
    std::vector<fuzz::Bytes> all;
    Settings settings{};
    settingsFresh(&settings);
    all.push_back(written(&settings, false));
    settings.glue = 40;
    settings.waterRed = 65535;
    setHorizon(&settings, 12.5f);
    all.push_back(written(&settings, true));
    for (const uint8_t version : {1, 2, 6, 8, 13, 22, 23, 26, 40}) {
        all.push_back(all[1]);
        all.back()[3] = version;
    }
    return all;
}

} // namespace

int main(int argc, char** argv) {
    return lakra::fuzz::fuzzStandaloneMain(argc, argv, {"preset files", ".q8r", seeds});
}

#endif
