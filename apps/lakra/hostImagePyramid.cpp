#include "apps/lakra/hostImagePyramid.h"

#include "apps/lakra/hostSample.h"
#include "apps/lakra/imageFile.h"
#include "pyramid/levels.h"

namespace lakra {

HostPixels hostPixelsOf(HostImage& image) {
    HostPixels pixels;
    pixels.width = image.width;
    pixels.height = image.height;
    pixels.colorPlanes = image.planes - (image.alpha ? 1 : 0);
    pixels.alpha = image.alpha;
    pixels.depth = image.depth;
    pixels.pixels = image.pixels.data();
    return pixels;
}

ImagePyramid* pyramidOfHostPixels(const HostPixels& image, PixelFormat format, int32_t processors) {
    ImagePyramid* pyramid = pyramidCreate(image.width, image.height, format);
    if (pyramid == nullptr) {
        return nullptr;
    }
    const auto planes = static_cast<size_t>(hostPixelsPlanes(image));
    const auto sampleBytes = static_cast<size_t>(hostSampleBytes(image.depth));
    const size_t pixelBytes = planes * sampleBytes;
    const size_t greenOffset = image.colorPlanes < 3 ? 0 : sampleBytes;
    const size_t blueOffset = image.colorPlanes < 3 ? 0 : 2 * sampleBytes;
    const size_t alphaOffset = (planes - 1) * sampleBytes;
    const auto* row = static_cast<const uint8_t*>(image.pixels);
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* pixel = row;
        for (int32_t x = 0; x < image.width; ++x) {
            const float rgba[4] = {hostSampleUnit(pixel, image.depth),
                                   hostSampleUnit(pixel + greenOffset, image.depth),
                                   hostSampleUnit(pixel + blueOffset, image.depth),
                                   image.alpha ? hostSampleUnit(pixel + alphaOffset, image.depth)
                                               : 1.0f};
            setPixel4f(x, y, pyramid, 0, rgba);
            pixel += pixelBytes;
        }
        row += static_cast<size_t>(image.width) * pixelBytes;
    }
    if (buildLevels(pyramid, processors) != noErr) {
        pyramidDestroy(&pyramid);
    }
    return pyramid;
}

} // namespace lakra
