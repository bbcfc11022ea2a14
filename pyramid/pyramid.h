#pragma once

// The tiled multi-level image every picture of the filter lives in: level 0 at
// full size, then successively halved levels, each cut into 512 x 512 tiles so
// that no single allocation exceeds one tile (4 MiB for float pixels).

#include "platform/rect.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace lakra {

enum class PixelFormat : uint32_t { Rgba8 = 3, Rgba16 = 4, RgbaFloat = 9 };

inline constexpr int32_t kTileSize = 512;
inline constexpr int32_t kTileShift = 9; // log2 of kTileSize
inline constexpr int32_t kTileMask = kTileSize - 1;
inline constexpr int32_t kMaxLevels = 20;

// Full intensity of the 16-bit format: the host's convention, not 65535.
inline constexpr int32_t kRgba16Scale = 32768;

struct LevelSize {
    int32_t width = 0;
    int32_t height = 0;
};

struct KernelTables;

struct PyramidTile {
    uint8_t* pixels = nullptr; // owned; rows of `width` pixels without gaps
    int32_t y0 = -1;           // top row in its level
    int32_t x0 = -1;           // left column in its level
    int32_t width = -1;        // pixels per row, also the row stride in pixels
    int32_t height = -1;
};

struct ImagePyramid {
    int32_t width[kMaxLevels] = {};
    int32_t height[kMaxLevels] = {};
    int32_t largestX[kMaxLevels] = {}; // width - 1: the clamp bound of reads
    int32_t largestY[kMaxLevels] = {};
    int32_t maxLevel = 0;   // index of the last level
    int64_t totalBytes = 0; // pixel bytes of all levels; exceeds 2^31 for big float images
    int32_t bytesPerPixel = 0;
    int32_t channels = 0;
    int32_t bytesPerChannel = 0;
    PixelFormat format = PixelFormat::Rgba8;
    int32_t tileCount = 0;
    PyramidTile* tiles = nullptr; // owned table of tileCount entries, level by level
    int32_t levelFirstTile[kMaxLevels] = {};
    int32_t levelLastTile[kMaxLevels] = {};
    int32_t levelTilesAcross[kMaxLevels] = {};
    float invWidth[kMaxLevels] = {};
    float invHeight[kMaxLevels] = {};
    float halfTexelU = 0.0f; // 0.5 / level-0 width
    float halfTexelV = 0.0f;
    float aspectU = 1.0f;    // width / height when wider than high, else 1
    float aspectV = 1.0f;    // height / width when higher than wide, else 1
    float invScale = 0.0f;   // 1 / scale
    float scale = 0.0f;      // stored value of full intensity: 255, 32768 or 1
    bool ownsRecord = false; // made by pyramidCreate; pyramidDestroy frees it
    // The filtered-sampling tables, shared by every record and attached at
    // construction.
    const KernelTables* kernels = nullptr;
};

// ---- Geometry ----

// Size of level `level` of a width x height image; zero beyond the last level.
[[nodiscard]] LevelSize levelSize(int32_t width, int32_t height, int32_t level);
// Index of the last level: the first level after 0 that is 1 x 1, at most
// kMaxLevels - 1, at least 1. Zero for an empty size.
[[nodiscard]] int32_t maxLevelFor(int32_t width, int32_t height);
[[nodiscard]] PixelRect levelRect(const ImagePyramid* pyramid, int32_t level);
[[nodiscard]] PixelRect tileRect(const ImagePyramid* pyramid, int32_t tileIndex);
[[nodiscard]] bool sameBaseSize(const ImagePyramid* a, const ImagePyramid* b);
[[nodiscard]] int32_t bytesPerPixelOf(PixelFormat format);
// Pixel bytes of all levels of a width x height image (ImagePyramid::totalBytes).
[[nodiscard]] int64_t pyramidTotalBytes(int32_t width, int32_t height, PixelFormat format);

// ---- Lifecycle ----

// First set-up of a record that lives inside another structure or on the
// stack: no tiles, not owned. Must precede the first pyramidInit.
void pyramidConstruct(ImagePyramid* pyramid);
// Allocates every tile of every level for a width x height image (contents
// undefined). Tiles the record still holds are freed first. False for a null
// record, a size below 1 x 1 or a failed allocation; a failure leaves no tiles.
[[nodiscard]] bool pyramidInit(ImagePyramid* pyramid, int32_t width, int32_t height,
                               PixelFormat format);
// A heap record, constructed and initialised; nullptr on failure.
[[nodiscard]] ImagePyramid* pyramidCreate(int32_t width, int32_t height, PixelFormat format);
// Frees every pixel block and the tile table; harmless without tiles.
void pyramidFreeTiles(ImagePyramid* pyramid);
// Frees the tiles and, for a record from pyramidCreate, the record itself,
// clearing *slot. Accepts a null slot, a null record and half-built records.
void pyramidDestroy(ImagePyramid** slot);

// Copies every pixel of every level when both records have tiles and the same
// geometry and pixel size; otherwise does nothing. True when copied.
bool copyPyramidPixels(const ImagePyramid* source, ImagePyramid* destination);

// For tests: the allocation after `count` successful ones in pyramidInit
// fails (the tile table counts as the first); a negative count disables it.
void pyramidFailAllocationAfter(int count);

struct PyramidDeleter {
    void operator()(ImagePyramid* pyramid) const noexcept;
};

using PyramidPtr = std::unique_ptr<ImagePyramid, PyramidDeleter>;

// ---- Pixel access ----
// x and y are pixels of level `level` (0..maxLevel) of an initialised record.
// Reads clamp to the level, so edge pixels repeat outside it; writes outside
// the level are dropped.

// Address of an in-range pixel: two shifts, two masks and one table lookup.
inline uint8_t* pixelAddress(int32_t x, int32_t y, const ImagePyramid* pyramid, int32_t level) {
    const PyramidTile& tile = pyramid->tiles[pyramid->levelTilesAcross[level] * (y >> kTileShift) +
                                             pyramid->levelFirstTile[level] + (x >> kTileShift)];
    const int32_t index = tile.width * (y & kTileMask) + (x & kTileMask);
    return tile.pixels + static_cast<size_t>(index) * static_cast<size_t>(pyramid->bytesPerPixel);
}

inline uint8_t* clampedPixelAddress(int32_t x, int32_t y, const ImagePyramid* pyramid,
                                    int32_t level) {
    const int32_t largestX = pyramid->largestX[level];
    const int32_t largestY = pyramid->largestY[level];
    x = x < 0 ? 0 : (x > largestX ? largestX : x);
    y = y < 0 ? 0 : (y > largestY ? largestY : y);
    return pixelAddress(x, y, pyramid, level);
}

inline bool insideLevel(int32_t x, int32_t y, const ImagePyramid* pyramid, int32_t level) {
    return x >= 0 && y >= 0 && x <= pyramid->largestX[level] && y <= pyramid->largestY[level];
}

// Rgba8: channel 0 in bits 24..31 down to channel 3 in bits 0..7.
inline uint32_t readRgba8(int32_t x, int32_t y, const ImagePyramid* pyramid, int32_t level) {
    uint32_t word = 0;
    std::memcpy(&word, clampedPixelAddress(x, y, pyramid, level), sizeof word);
    return word;
}

inline void readRgba16(int32_t x, int32_t y, const ImagePyramid* pyramid, int32_t level,
                       uint16_t out[4]) {
    std::memcpy(out, clampedPixelAddress(x, y, pyramid, level), 4 * sizeof(uint16_t));
}

inline void readRgbaFloat(int32_t x, int32_t y, const ImagePyramid* pyramid, int32_t level,
                          float out[4]) {
    std::memcpy(out, clampedPixelAddress(x, y, pyramid, level), 4 * sizeof(float));
}

inline void writeRgba8(int32_t x, int32_t y, ImagePyramid* pyramid, int32_t level, uint32_t word) {
    if (insideLevel(x, y, pyramid, level)) {
        std::memcpy(pixelAddress(x, y, pyramid, level), &word, sizeof word);
    }
}

inline void writeRgba16(int32_t x, int32_t y, ImagePyramid* pyramid, int32_t level,
                        const uint16_t values[4]) {
    if (insideLevel(x, y, pyramid, level)) {
        std::memcpy(pixelAddress(x, y, pyramid, level), values, 4 * sizeof(uint16_t));
    }
}

inline void writeRgbaFloat(int32_t x, int32_t y, ImagePyramid* pyramid, int32_t level,
                           const float values[4]) {
    if (insideLevel(x, y, pyramid, level)) {
        std::memcpy(pixelAddress(x, y, pyramid, level), values, 4 * sizeof(float));
    }
}

// Truncates a scaled channel toward zero. Values that do not fit the stored
// integer (negative, too large, NaN) saturate instead of being undefined.
inline uint32_t truncateToStored(float scaled, uint32_t largest) {
    if (!(scaled > 0.0f)) {
        return 0;
    }
    if (scaled >= static_cast<float>(largest) + 1.0f) {
        return largest;
    }
    return static_cast<uint32_t>(scaled);
}

// Four channels scaled to 0..1 (floats as stored, above 1 allowed).
inline void getPixel4f(int32_t x, int32_t y, const ImagePyramid* pyramid, int32_t level,
                       float out[4]) {
    const uint8_t* address = clampedPixelAddress(x, y, pyramid, level);
    // Initialised records hold only the three formats, so every path fills out.
    if (pyramid->format == PixelFormat::Rgba8) {
        uint32_t word = 0;
        std::memcpy(&word, address, sizeof word);
        for (int c = 0; c < 4; ++c) {
            out[c] = static_cast<float>((word >> (24 - 8 * c)) & 0xFFu) * pyramid->invScale;
        }
    } else if (pyramid->format == PixelFormat::Rgba16) {
        uint16_t values[4];
        std::memcpy(values, address, sizeof values);
        for (int c = 0; c < 4; ++c) {
            out[c] = static_cast<float>(values[c]) * pyramid->invScale;
        }
    } else {
        std::memcpy(out, address, 4 * sizeof(float));
    }
}

// Integer formats store value x scale truncated toward zero; callers keep the
// values inside 0..1, and what does not fit the stored integer saturates.
inline void setPixel4f(int32_t x, int32_t y, ImagePyramid* pyramid, int32_t level,
                       const float values[4]) {
    if (!insideLevel(x, y, pyramid, level)) {
        return;
    }
    uint8_t* address = pixelAddress(x, y, pyramid, level);
    switch (pyramid->format) {
    case PixelFormat::Rgba8: {
        uint32_t word = 0;
        for (int c = 0; c < 4; ++c) {
            word |= truncateToStored(values[c] * pyramid->scale, 0xFFu) << (24 - 8 * c);
        }
        std::memcpy(address, &word, sizeof word);
        break;
    }
    case PixelFormat::Rgba16: {
        uint16_t stored[4];
        for (int c = 0; c < 4; ++c) {
            stored[c] =
                static_cast<uint16_t>(truncateToStored(values[c] * pyramid->scale, 0xFFFFu));
        }
        std::memcpy(address, stored, sizeof stored);
        break;
    }
    case PixelFormat::RgbaFloat:
        std::memcpy(address, values, 4 * sizeof(float));
        break;
    }
}

} // namespace lakra
