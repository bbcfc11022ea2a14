// The checks and messages that every image-file backend shares, the image
// module's included.

#include "apps/lakra/imageFileInternal.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <limits>

namespace lakra {

namespace {

constexpr int64_t kMaxHostInt = std::numeric_limits<int32_t>::max();

} // namespace

bool fail(std::string* error, const std::string& path, const std::string& reason) {
    if (error != nullptr) {
        *error = path + ": " + reason;
    }
    return false;
}

bool checkImageShape(const std::string& path, const char* action, int64_t width, int64_t height,
                     int64_t channels, int32_t depth, std::string* error) {
    const std::string prefix = std::string(action) + ": ";
    if (width <= 0 || height <= 0) {
        return fail(error, path,
                    prefix + "the image has no pixels (" + std::to_string(width) + " x " +
                        std::to_string(height) + ")");
    }
    if (channels < 1 || channels > 4) {
        return fail(error, path,
                    prefix + "the image has " + std::to_string(channels) +
                        " channels; the host takes grey or RGB, with or without transparency "
                        "(1 to 4 channels)");
    }
    // The host addresses pixels and rows with 32-bit signed numbers.
    const int64_t maxWidth = kMaxHostInt / (channels * (depth / 8));
    if (width > maxWidth || height > kMaxHostInt) {
        return fail(error, path,
                    prefix + "the image of " + std::to_string(width) + " x " +
                        std::to_string(height) +
                        " pixels is too large for the host's 32-bit coordinates");
    }
    return true;
}

bool allocatePixels(HostImage* image, const std::string& path, std::string* error) {
    const size_t bytes = hostRowBytes(*image) * static_cast<size_t>(image->height);
    // A vector cannot report a refused allocation without exceptions; a trial
    // allocation turns "not enough memory" into a message instead of an abort.
    void* trial = std::malloc(bytes);
    if (trial == nullptr) {
        return fail(error, path,
                    "cannot read: not enough memory for " + std::to_string(image->width) + " x " +
                        std::to_string(image->height) + " pixels (" + std::to_string(bytes >> 20) +
                        " MiB)");
    }
    std::free(trial);
    image->pixels.assign(bytes, 0);
    return true;
}

// Records that describe how the source file was encoded, not the picture:
// carried over they would steer the writer (bit depth, compression,
// orientation, alpha handling) or repeat what it derives itself.
bool describesEncoding(std::string_view name) {
    if (name == "oiio:ColorSpace" || name == "oiio:Gamma") {
        return false;
    }
    static constexpr std::string_view kPrefixes[] = {
        "oiio:", "ICCProfile:", "tiff:", "png:",  "jpeg:", "openexr:", "pnm:", "bmp:",  "targa:",
        "psd:",  "raw:",        "heif:", "webp:", "gif:",  "dds:",     "dpx:", "fits:", "sgi:"};
    static constexpr std::string_view kNames[] = {
        "Orientation",  "compression",   "Compression", "CompressionQuality",
        "planarconfig", "textureformat", "wrapmodes",   "fovcot"};
    for (const std::string_view prefix : kPrefixes) {
        if (name.substr(0, prefix.size()) == prefix) {
            return true;
        }
    }
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

} // namespace lakra
