#include "pyramid/copy.h"

#include "pyramid/levels.h"
#include "pyramid/pyramid.h"
#include "pyramid/sampling.h"

#include <cmath>
#include <cstring>

namespace lakra {

namespace {

constexpr double kLog2OfE = 1.442695040888963;
constexpr float kFloatColourLargest = 65535.0f;

// Holds value in lowest..highest; NaN becomes lowest.
float clampChannel(float value, float lowest, float highest) {
    if (!(value > lowest)) {
        return lowest;
    }
    return value > highest ? highest : value;
}

bool isIntegerFormat(PixelFormat format) {
    return format == PixelFormat::Rgba8 || format == PixelFormat::Rgba16;
}

bool hasLevel(const ImagePyramid* pyramid, int32_t level) {
    return pyramid != nullptr && pyramid->tiles != nullptr && level >= 0 &&
           level <= pyramid->maxLevel && bytesPerPixelOf(pyramid->format) != 0;
}

int64_t min64(int64_t a, int64_t b) {
    return a < b ? a : b;
}

int64_t max64(int64_t a, int64_t b) {
    return a > b ? a : b;
}

} // namespace

void copyLevelPixels(const ImagePyramid* source, ImagePyramid* destination, int32_t sourceLevel,
                     int32_t destinationLevel) {
    if (!hasLevel(source, sourceLevel) || !hasLevel(destination, destinationLevel)) {
        return;
    }
    const int32_t width = source->width[sourceLevel] < destination->width[destinationLevel]
                              ? source->width[sourceLevel]
                              : destination->width[destinationLevel];
    const int32_t height = source->height[sourceLevel] < destination->height[destinationLevel]
                               ? source->height[sourceLevel]
                               : destination->height[destinationLevel];
    // The same format copies the stored bits: the float round trip would
    // give the same pixels, only slower.
    const bool sameFormat = source->format == destination->format;
    const bool clampUnit = isIntegerFormat(destination->format);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            if (sameFormat) {
                std::memcpy(pixelAddress(x, y, destination, destinationLevel),
                            pixelAddress(x, y, source, sourceLevel),
                            static_cast<size_t>(source->bytesPerPixel));
                continue;
            }
            float pixel[4];
            getPixel4f(x, y, source, sourceLevel, pixel);
            if (clampUnit) {
                // A float source may lie outside 0..1; above full scale would
                // otherwise land in the 16-bit headroom.
                for (float& channel : pixel) {
                    channel = clampChannel(channel, 0.0f, 1.0f);
                }
            }
            setPixel4f(x, y, destination, destinationLevel, pixel);
        }
    }
}

LevelOfDetail resampleLevelOfDetail(int64_t sourceWidth, int64_t destinationWidth, double bias,
                                    int32_t maxLevel) {
    if (sourceWidth < 1 || destinationWidth < 1 || maxLevel < 1) {
        return {0, 0.0f};
    }
    double lod =
        std::log(static_cast<double>(sourceWidth) / static_cast<double>(destinationWidth)) *
            kLog2OfE -
        bias;
    if (!(lod > 0.0)) {
        lod = 0.0; // enlargements, and a NaN bias
    } else if (lod > static_cast<double>(maxLevel)) {
        lod = static_cast<double>(maxLevel);
    }
    const auto level = static_cast<int32_t>(lod);
    return {level, static_cast<float>(lod - level)};
}

Result resamplePyramid(const ImagePyramid* source, ImagePyramid* destination,
                       const PixelRect& sourceRect, const PixelRect& destinationRect, double bias,
                       int32_t processors) {
    if (destination == nullptr) {
        return noErr;
    }
    const int64_t width = static_cast<int64_t>(destinationRect.right) - destinationRect.left;
    const int64_t height = static_cast<int64_t>(destinationRect.bottom) - destinationRect.top;
    if (width >= 1 && height >= 1 && hasLevel(source, 0) && source->maxLevel >= 1 &&
        hasLevel(destination, 0)) {
        const LevelOfDetail lod =
            resampleLevelOfDetail(static_cast<int64_t>(sourceRect.right) - sourceRect.left, width,
                                  bias, source->maxLevel);
        const float colourLargest =
            isIntegerFormat(destination->format) ? 1.0f : kFloatColourLargest;
        // Writes outside level 0 would be dropped: visit only the part of the
        // rectangle inside it, whatever its size.
        const int64_t firstRow = max64(0, -static_cast<int64_t>(destinationRect.top));
        const int64_t endRow =
            min64(height, destination->height[0] - static_cast<int64_t>(destinationRect.top));
        const int64_t firstColumn = max64(0, -static_cast<int64_t>(destinationRect.left));
        const int64_t endColumn =
            min64(width, destination->width[0] - static_cast<int64_t>(destinationRect.left));
        const auto doubleWidth = static_cast<float>(2 * width);
        const auto doubleHeight = static_cast<float>(2 * height);
        for (int64_t row = firstRow; row < endRow; ++row) {
            const float v = static_cast<float>(2 * row + 1) / doubleHeight;
            const auto y = static_cast<int32_t>(row + destinationRect.top);
            for (int64_t column = firstColumn; column < endColumn; ++column) {
                // The destination pixel's centre, as a position in the whole source.
                const float u = static_cast<float>(2 * column + 1) / doubleWidth;
                float pixel[4];
                sampleTrilinear(source, lod.level, lod.fraction, u, v, pixel);
                for (int c = 0; c < 3; ++c) {
                    pixel[c] = clampChannel(pixel[c], 0.0f, colourLargest);
                }
                pixel[3] = clampChannel(pixel[3], 0.0f, 1.0f);
                setPixel4f(static_cast<int32_t>(column + destinationRect.left), y, destination, 0,
                           pixel);
            }
        }
    }
    return buildLevels(destination, processors);
}

Result copyPyramidImage(const ImagePyramid* source, ImagePyramid* destination, int32_t processors) {
    if (source == nullptr || destination == nullptr) {
        return buildLevels(destination, processors);
    }
    if (!sameBaseSize(source, destination)) {
        return resamplePyramid(source, destination, levelRect(source, 0), levelRect(destination, 0),
                               0.5, processors);
    }
    copyLevelPixels(source, destination, 0, 0);
    return buildLevels(destination, processors);
}

} // namespace lakra
