#pragma once

// Helpers shared by the image-file tests: sample images, a scratch folder,
// and a comparison that names the first differing sample.

#include "apps/lakra/imageFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

namespace lakra::testing {

inline size_t sampleIndex(const HostImage& image, int32_t x, int32_t y, int32_t c) {
    return (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) *
               static_cast<size_t>(image.planes) +
           static_cast<size_t>(c);
}

// Sample i as stored: 8 and 16 bits as integers, floats as they are.
inline double storedSample(const HostImage& image, size_t i) {
    if (image.depth == 8) {
        return image.pixels[i];
    }
    if (image.depth == 16) {
        uint16_t value = 0;
        std::memcpy(&value, &image.pixels[i * 2], 2);
        return value;
    }
    float value = 0.0f;
    std::memcpy(&value, &image.pixels[i * 4], 4);
    return value;
}

// A sample as the renderer sees it: 8 bits /255, 16 bits /32768, floats as is.
inline double normalisedSample(const HostImage& image, int32_t x, int32_t y, int32_t c) {
    const double value = storedSample(image, sampleIndex(image, x, y, c));
    return image.depth == 8 ? value / 255.0 : image.depth == 16 ? value / 32768.0 : value;
}

inline void setSample(HostImage* image, int32_t x, int32_t y, int32_t c, double value) {
    const size_t i = sampleIndex(*image, x, y, c);
    if (image->depth == 8) {
        image->pixels[i] = static_cast<uint8_t>(value);
    } else if (image->depth == 16) {
        const auto stored = static_cast<uint16_t>(value);
        std::memcpy(&image->pixels[i * 2], &stored, 2);
    } else {
        const auto stored = static_cast<float>(value);
        std::memcpy(&image->pixels[i * 4], &stored, 4);
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
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            for (int32_t c = 0; c < planes; ++c) {
                const int32_t n = x * 7 + y * 13 + c * 5;
                double value = depth == 8    ? (n * 37) % 256
                               : depth == 16 ? (n * 4099) % 32769
                                             : (n % 41) / 16.0 - 0.5;
                if (n == 0) {
                    value = depth == 8 ? 255 : depth == 16 ? 32768 : 1.0;
                }
                if (image.alpha && c == planes - 1 && x % 3 == 0) {
                    value = 0;
                }
                setSample(&image, x, y, c, value);
            }
        }
    }
    return image;
}

// Compares `read` with `source` after a trip through a file: `planes` planes
// kept, each sample within `tolerance` in normalised units, clipped to 0..1
// first when `clip` (the file held no floats).
inline void expectSameSamples(const HostImage& source, const HostImage& read, int32_t planes,
                              double tolerance, bool clip) {
    ASSERT_EQ(std::tie(read.width, read.height, read.planes),
              std::tie(source.width, source.height, planes));
    ASSERT_EQ(read.alpha, planes == 2 || planes == 4);
    ASSERT_EQ(read.pixels.size(), hostRowBytes(read) * static_cast<size_t>(read.height));
    for (int32_t i = 0; i < source.width * source.height * planes; ++i) {
        const int32_t x = i / planes % source.width;
        const int32_t y = i / planes / source.width;
        const double expected = normalisedSample(source, x, y, i % planes);
        ASSERT_NEAR(normalisedSample(read, x, y, i % planes),
                    clip ? std::clamp(expected, 0.0, 1.0) : expected, tolerance)
            << "at (" << x << ", " << y << ", " << i % planes << ")";
    }
}

inline void expectIdentical(const HostImage& a, const HostImage& b) {
    ASSERT_EQ(a.depth, b.depth);
    expectSameSamples(a, b, a.planes, 0.0, false);
}

// A folder of its own per test, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        folder = std::filesystem::temp_directory_path() /
                 ("lakra-apps-" + std::to_string(ticks) + "-" + std::to_string(serial()++));
        std::filesystem::create_directories(folder);
    }

    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    std::string path(const std::string& name) const { return (folder / name).string(); }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    static int& serial() {
        static int counter = 0;
        return counter;
    }

    std::filesystem::path folder;
};

inline void writeFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace lakra::testing
