#include "apps/lakra/presetThumbnails.h"

#include "apps/lakra/applyCommand.h"
#include "apps/lakra/imageFile.h"
#include "apps/lakra/lookOptions.h"
#include "apps/lakra/presetCommands.h"
#include "apps/lakra/protocolHost.h"
#include "files/files.h"
#include "host/pluginMain.h"
#include "presets/thumbnail.h"
#include "pyramid/copy.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"

#include <cstdio>
#include <cstring>

namespace lakra {

namespace {

void complain(const std::string& message) {
    static_cast<void>(std::fprintf(stderr, "lakra: %s\n", message.c_str()));
}

// A sample of the host's conventions as a fraction of full scale.
float unitSample(const HostPixels& image, size_t index) {
    if (image.depth == 32) {
        float value = 0.0f;
        std::memcpy(&value, static_cast<const uint8_t*>(image.pixels) + index * 4, 4);
        return value;
    }
    if (image.depth == 16) {
        uint16_t value = 0;
        std::memcpy(&value, static_cast<const uint8_t*>(image.pixels) + index * 2, 2);
        return static_cast<float>(value) / 32768.0f;
    }
    return static_cast<float>(static_cast<const uint8_t*>(image.pixels)[index]) / 255.0f;
}

// The host's pixels as a float pyramid, grey spread to red, green and blue.
ImagePyramid* pyramidOf(const HostPixels& image) {
    ImagePyramid* pyramid = pyramidCreate(image.width, image.height, PixelFormat::RgbaFloat);
    if (pyramid == nullptr) {
        return nullptr;
    }
    const int32_t planes = hostPixelsPlanes(image);
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const size_t first = (static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                                  static_cast<size_t>(x)) *
                                 static_cast<size_t>(planes);
            float rgba[4];
            for (int32_t c = 0; c < 3; ++c) {
                rgba[c] =
                    unitSample(image, first + static_cast<size_t>(image.colorPlanes < 3 ? 0 : c));
            }
            rgba[3] =
                image.alpha ? unitSample(image, first + static_cast<size_t>(planes - 1)) : 1.0f;
            setPixel4f(x, y, pyramid, 0, rgba);
        }
    }
    return pyramid;
}

} // namespace

int renderLookThumbnail(const std::string& imagePath, const Settings& look,
                        ImagePyramid* thumbnail) {
    HostImage image;
    std::string error;
    if (!readImage(imagePath, &image, &error)) {
        complain(error);
        return kExitFailed;
    }
    HostPixels pixels{image.width, image.height, image.planes - (image.alpha ? 1 : 0),
                      image.alpha, image.depth,  image.pixels.data()};
    if (const char* problem = hostPixelsProblem(pixels)) {
        complain(imagePath + ": " + problem);
        return kExitFailed;
    }
    const Descriptor descriptor = lookDescriptor(look);
    HostRunOptions options;
    options.look = &descriptor;
    HostRun* run = nullptr;
    if (hostRunCreate(&run, pixels, nullptr, options) != noErr) {
        complain("cannot run the filter on " + imagePath);
        return kExitFailed;
    }
    const Result result = hostRunFilter(run, PluginMain);
    if (result != noErr) {
        complain("the plug-in ended with result " + std::to_string(result) + ": " +
                 hostResultMeaning(result));
        hostRunDestroy(run);
        return kExitFailed;
    }
    PyramidPtr rendered(pyramidOf(hostRunOutput(run)));
    hostRunDestroy(run);
    // Resampling reads the coarser levels of the rendered image.
    if (rendered == nullptr || buildLevels(rendered.get()) != noErr ||
        copyPyramidImage(rendered.get(), thumbnail) != noErr) {
        complain("out of memory making the thumbnail");
        return kExitFailed;
    }
    return kExitOk;
}

int runPresetThumbnail(const std::string& presetPath, const std::string& outPath) {
    FileSpec fileSpec{};
    if (!fileSpecOfPath(presetPath, "preset", &fileSpec)) {
        return kExitFailed;
    }
    PyramidPtr thumbnail(pyramidCreate(128, 128, PixelFormat::Rgba8));
    ImagePyramid* picture = nullptr;
    if (thumbnail == nullptr || !presetThumbnailAtSize(fileSpec, thumbnail.get(), 128, &picture)) {
        complain(presetPath + " holds no thumbnail that can be read");
        return kExitFailed;
    }
    PyramidPtr owned(picture);
    HostImage image;
    image.width = picture->width[0];
    image.height = picture->height[0];
    image.planes = 3;
    image.depth = 8;
    image.alpha = false;
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3);
    size_t at = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const uint32_t word = readRgba8(x, y, picture, 0);
            image.pixels[at++] = static_cast<uint8_t>(word >> 24);
            image.pixels[at++] = static_cast<uint8_t>(word >> 16);
            image.pixels[at++] = static_cast<uint8_t>(word >> 8);
        }
    }
    std::string error;
    if (!writeImage(outPath, image, &error)) {
        complain(error);
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace lakra
