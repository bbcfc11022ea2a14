#pragma once

// Helpers shared by the image-file tests: sample images and whole files as
// strings. Their scratch folder is the suites' own (support/scratchFolder.h).

#include "apps/lakra/imageFile.h"
#include "support/scratchFolder.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace lakra::testing {

// The sample that stands for 1.0 at a depth: 255, 32768 (the host's scale), 1.0.
inline double fullScale(int32_t depth) {
    return depth == 8 ? 255.0 : depth == 16 ? 32768.0 : 1.0;
}

// Sample i as stored: 8 and 16 bits as integers, floats as they are.
inline double storedSample(const HostImage& image, size_t i) {
    uint16_t wide = 0;
    float real = 0.0f;
    void* to = image.depth == 16 ? static_cast<void*>(&wide) : static_cast<void*>(&real);
    if (image.depth == 8) {
        return image.pixels[i];
    }
    std::memcpy(to, &image.pixels[i * static_cast<size_t>(image.depth / 8)], image.depth / 8);
    return image.depth == 16 ? wide : real;
}

inline void setSample(HostImage* image, size_t i, double value) {
    const auto wide = static_cast<uint16_t>(value);
    const auto real = static_cast<float>(value);
    const void* from = image->depth == 16 ? static_cast<const void*>(&wide) : &real;
    if (image->depth == 8) {
        image->pixels[i] = static_cast<uint8_t>(value);
    } else {
        std::memcpy(&image->pixels[i * static_cast<size_t>(image->depth / 8)], from,
                    static_cast<size_t>(image->depth / 8));
    }
}

inline HostImage blankImage(int32_t width, int32_t height, int32_t planes, int32_t depth) {
    HostImage image;
    image.width = width;
    image.height = height;
    image.planes = planes;
    image.depth = depth;
    image.alpha = planes == 2 || planes == 4;
    image.pixels.assign(hostRowBytes(image) * static_cast<size_t>(height), 0);
    return image;
}

// Samples over the whole range, ends included: 0 and 255, 0 and 32768; floats
// from -0.5 to 2 in steps of 1/16, exact even as half floats. The alpha plane
// is 0 in places where colour is not, so associating alpha would show.
inline HostImage patternImage(int32_t width, int32_t height, int32_t planes, int32_t depth) {
    HostImage image = blankImage(width, height, planes, depth);
    for (int32_t i = 0; i < width * height * planes; ++i) {
        const int32_t x = i / planes % width;
        const int32_t c = i % planes;
        const int32_t n = x * 7 + i / planes / width * 13 + c * 5;
        double value = depth == 8    ? (n * 37) % 256
                       : depth == 16 ? (n * 4099) % 32769
                                     : (n % 41) / 16.0 - 0.5;
        value = n == 0 ? fullScale(depth) : value;
        setSample(&image, static_cast<size_t>(i),
                  image.alpha && c == planes - 1 && x % 3 == 0 ? 0.0 : value);
    }
    return image;
}

// A well-formed ICC profile: its header and a copyright tag.
inline std::string smallIccProfile() {
    using namespace std::string_literals;
    return "\0\0\0\xA0\0\0\0\0\x02\x10\0\0mntrRGB XYZ "s + std::string(12, '\0') + "acsp" +
           std::string(28, '\0') + "\0\0\xF6\xD6\0\x01\0\0\0\0\xD3\x2D"s + std::string(48, '\0') +
           "\0\0\0\x01"
           "cprt\0\0\0\x90\0\0\0\x0Etext"s +
           std::string(4, '\0') + "Lakra\0\0\0"s;
}

inline void writeFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace lakra::testing
