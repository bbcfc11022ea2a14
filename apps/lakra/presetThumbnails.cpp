#include "apps/lakra/presetThumbnails.h"

#include "apps/lakra/applyCommand.h"
#include "apps/lakra/hostImagePyramid.h"
#include "apps/lakra/imageFile.h"
#include "apps/lakra/lookOptions.h"
#include "apps/lakra/presetCommands.h"
#include "apps/lakra/protocolHost.h"
#include "files/files.h"
#include "host/pluginMain.h"
#include "presets/thumbnail.h"
#include "pyramid/copy.h"
#include "pyramid/pyramid.h"

namespace lakra {

int renderLookThumbnail(const std::string& imagePath, const Settings& look,
                        ImagePyramid* thumbnail) {
    HostImage image;
    std::string error;
    if (!readImage(imagePath, &image, &error)) {
        complain(error);
        return kExitFailed;
    }
    return renderLookThumbnailOn(image, imagePath, look, thumbnail);
}

int renderLookThumbnailOn(HostImage& image, const std::string& imagePath, const Settings& look,
                          ImagePyramid* thumbnail) {
    const HostPixels pixels = hostPixelsOf(image);
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
    // Resampling reads the coarser levels of the rendered image.
    PyramidPtr rendered(pyramidOfHostPixels(hostRunOutput(run), PixelFormat::RgbaFloat, 0));
    hostRunDestroy(run);
    if (rendered == nullptr || copyPyramidImage(rendered.get(), thumbnail) != noErr) {
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
