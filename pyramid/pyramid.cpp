#include "pyramid.h"

#include "pyramid/kernels.h"

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <new>

namespace lakra {

namespace {

// Allocations left before the test hook makes one fail; negative: never.
std::atomic<int> allocationsBeforeFailure{-1};

void* allocate(size_t bytes) {
    int left = allocationsBeforeFailure.load();
    while (left >= 0) {
        if (allocationsBeforeFailure.compare_exchange_weak(left, left - 1)) {
            if (left == 0) {
                return nullptr;
            }
            break;
        }
    }
    return std::malloc(bytes);
}

// One halving step, in single precision: ceil(n / 2), and an odd result of 3
// or more becomes the next even number.
int32_t halve(int32_t n) {
    int32_t m = static_cast<int32_t>(std::ceil(static_cast<float>(n) * 0.5f));
    if (m >= 3 && (m & 1) != 0) {
        m += 1;
    }
    return m;
}

int32_t tilesFor(int32_t pixels) {
    return (pixels >> kTileShift) + ((pixels & kTileMask) != 0 ? 1 : 0);
}

float scaleOf(PixelFormat format) {
    switch (format) {
    case PixelFormat::Rgba8:
        return 255.0f;
    case PixelFormat::Rgba16:
        return static_cast<float>(kRgba16Scale);
    case PixelFormat::RgbaFloat:
        return 1.0f;
    }
    return 0.0f;
}

bool knownFormat(PixelFormat format) {
    return bytesPerPixelOf(format) != 0;
}

// Back to the constructed state, keeping what construction and creation set.
void clearRecord(ImagePyramid* pyramid) {
    pyramidFreeTiles(pyramid);
    const bool ownsRecord = pyramid->ownsRecord;
    const KernelTables* kernels = pyramid->kernels;
    *pyramid = ImagePyramid{};
    pyramid->ownsRecord = ownsRecord;
    pyramid->kernels = kernels;
}

// Fills the table level by level, rows outer and columns inner, allocating
// each tile's block. False when one allocation fails; the caller frees.
bool makeTiles(ImagePyramid* pyramid, const LevelSize* sizes) {
    int32_t next = 0;
    for (int32_t level = 0; level <= pyramid->maxLevel; ++level) {
        const int32_t across = tilesFor(sizes[level].width);
        const int32_t down = tilesFor(sizes[level].height);
        pyramid->levelFirstTile[level] = next;
        pyramid->levelTilesAcross[level] = across;
        for (int32_t row = 0; row < down; ++row) {
            for (int32_t column = 0; column < across; ++column) {
                PyramidTile& tile = pyramid->tiles[next];
                tile.x0 = column * kTileSize;
                tile.y0 = row * kTileSize;
                tile.width = column + 1 < across ? kTileSize : sizes[level].width - tile.x0;
                tile.height = row + 1 < down ? kTileSize : sizes[level].height - tile.y0;
                const size_t bytes = static_cast<size_t>(tile.width) *
                                     static_cast<size_t>(tile.height) *
                                     static_cast<size_t>(pyramid->bytesPerPixel);
                tile.pixels = static_cast<uint8_t*>(allocate(bytes));
                if (tile.pixels == nullptr) {
                    return false;
                }
                ++next;
            }
        }
        pyramid->levelLastTile[level] = next - 1;
    }
    return true;
}

} // namespace

int32_t bytesPerPixelOf(PixelFormat format) {
    switch (format) {
    case PixelFormat::Rgba8:
        return 4;
    case PixelFormat::Rgba16:
        return 8;
    case PixelFormat::RgbaFloat:
        return 16;
    }
    return 0;
}

int32_t maxLevelFor(int32_t width, int32_t height) {
    if (width < 1 || height < 1) {
        return 0;
    }
    int32_t level = 1;
    while (level < kMaxLevels - 1) {
        width = halve(width);
        height = halve(height);
        if (width == 1 && height == 1) {
            break;
        }
        ++level;
    }
    return level;
}

LevelSize levelSize(int32_t width, int32_t height, int32_t level) {
    if (level < 0 || level > maxLevelFor(width, height)) {
        return {};
    }
    for (int32_t i = 0; i < level; ++i) {
        width = halve(width);
        height = halve(height);
    }
    return {width, height};
}

int64_t pyramidTotalBytes(int32_t width, int32_t height, PixelFormat format) {
    const int32_t maxLevel = maxLevelFor(width, height);
    int64_t pixels = 0;
    for (int32_t level = 0; level <= maxLevel && width > 0 && height > 0; ++level) {
        const LevelSize size = levelSize(width, height, level);
        pixels += static_cast<int64_t>(size.width) * size.height; // below 2^63 for any int32 size
    }
    const int64_t bytesPerPixel = bytesPerPixelOf(format);
    if (bytesPerPixel == 0 || pixels > INT64_MAX / bytesPerPixel) {
        return bytesPerPixel == 0 ? 0 : INT64_MAX; // no image of that size can be allocated
    }
    return pixels * bytesPerPixel;
}

PixelRect levelRect(const ImagePyramid* pyramid, int32_t level) {
    return {0, 0, pyramid->height[level], pyramid->width[level]};
}

PixelRect tileRect(const ImagePyramid* pyramid, int32_t tileIndex) {
    const PyramidTile& tile = pyramid->tiles[tileIndex];
    return {tile.y0, tile.x0, tile.y0 + tile.height, tile.x0 + tile.width};
}

bool sameBaseSize(const ImagePyramid* a, const ImagePyramid* b) {
    return a->width[0] == b->width[0] && a->height[0] == b->height[0];
}

void pyramidConstruct(ImagePyramid* pyramid) {
    *pyramid = ImagePyramid{};
    pyramid->kernels = &kernelTables();
}

void pyramidFreeTiles(ImagePyramid* pyramid) {
    if (pyramid->tiles != nullptr) {
        for (int32_t t = 0; t < pyramid->tileCount; ++t) {
            std::free(pyramid->tiles[t].pixels);
        }
        std::free(pyramid->tiles);
    }
    pyramid->tiles = nullptr;
    pyramid->tileCount = 0;
}

bool pyramidInit(ImagePyramid* pyramid, int32_t width, int32_t height, PixelFormat format) {
    if (pyramid == nullptr) {
        return false;
    }
    clearRecord(pyramid); // re-initialising must not leak the old tiles
    if (pyramid->kernels == nullptr) {
        pyramid->kernels = &kernelTables(); // every initialised record can be sampled
    }
    if (width < 1 || height < 1 || !knownFormat(format)) {
        return false;
    }

    const int32_t maxLevel = maxLevelFor(width, height);
    LevelSize sizes[kMaxLevels];
    int64_t tileCount = 0;
    for (int32_t level = 0; level <= maxLevel; ++level) {
        sizes[level] = levelSize(width, height, level);
        tileCount +=
            static_cast<int64_t>(tilesFor(sizes[level].width)) * tilesFor(sizes[level].height);
    }
    // With the count bounded, the pixel bytes (at most 4 MiB per tile) fit
    // comfortably in 64 bits.
    if (tileCount > INT32_MAX) {
        return false;
    }

    pyramid->format = format;
    pyramid->channels = 4;
    pyramid->bytesPerPixel = bytesPerPixelOf(format);
    pyramid->bytesPerChannel = pyramid->bytesPerPixel / 4;
    pyramid->maxLevel = maxLevel;

    const size_t tableBytes = static_cast<size_t>(tileCount) * sizeof(PyramidTile);
    pyramid->tiles = static_cast<PyramidTile*>(allocate(tableBytes));
    if (pyramid->tiles == nullptr) {
        clearRecord(pyramid);
        return false;
    }
    pyramid->tileCount = static_cast<int32_t>(tileCount);
    for (int32_t t = 0; t < pyramid->tileCount; ++t) {
        new (&pyramid->tiles[t]) PyramidTile{};
    }
    if (!makeTiles(pyramid, sizes)) {
        clearRecord(pyramid);
        return false;
    }

    for (int32_t level = 0; level < kMaxLevels; ++level) {
        const LevelSize size = level <= maxLevel ? sizes[level] : LevelSize{};
        pyramid->width[level] = size.width;
        pyramid->height[level] = size.height;
        pyramid->largestX[level] = size.width - 1;
        pyramid->largestY[level] = size.height - 1;
        pyramid->invWidth[level] = size.width > 0 ? 1.0f / static_cast<float>(size.width) : 0.0f;
        pyramid->invHeight[level] = size.height > 0 ? 1.0f / static_cast<float>(size.height) : 0.0f;
        if (level > maxLevel) {
            pyramid->levelFirstTile[level] = 0;
            pyramid->levelLastTile[level] = -1;
            pyramid->levelTilesAcross[level] = 0;
        }
    }
    const auto w = static_cast<float>(width);
    const auto h = static_cast<float>(height);
    pyramid->halfTexelU = 0.5f / w;
    pyramid->halfTexelV = 0.5f / h;
    pyramid->aspectU = width > height ? w / h : 1.0f;
    pyramid->aspectV = height > width ? h / w : 1.0f;
    pyramid->totalBytes = pyramidTotalBytes(width, height, format);
    pyramid->scale = scaleOf(format);
    pyramid->invScale = 1.0f / pyramid->scale;
    return true;
}

ImagePyramid* pyramidCreate(int32_t width, int32_t height, PixelFormat format) {
    auto* pyramid = new (std::nothrow) ImagePyramid;
    if (pyramid == nullptr) {
        return nullptr;
    }
    pyramidConstruct(pyramid);
    if (!pyramidInit(pyramid, width, height, format)) {
        delete pyramid;
        return nullptr;
    }
    pyramid->ownsRecord = true;
    return pyramid;
}

void pyramidDestroy(ImagePyramid** slot) {
    if (slot == nullptr || *slot == nullptr) {
        return;
    }
    ImagePyramid* pyramid = *slot;
    pyramidFreeTiles(pyramid);
    if (pyramid->ownsRecord) {
        delete pyramid;
        *slot = nullptr;
    }
}

void PyramidDeleter::operator()(ImagePyramid* pyramid) const noexcept {
    pyramidDestroy(&pyramid);
}

bool copyPyramidPixels(const ImagePyramid* source, ImagePyramid* destination) {
    if (source == nullptr || destination == nullptr || source == destination) {
        return false;
    }
    if (!sameBaseSize(source, destination) || source->bytesPerPixel != destination->bytesPerPixel ||
        source->maxLevel != destination->maxLevel ||
        source->totalBytes != destination->totalBytes || source->tiles == nullptr ||
        destination->tiles == nullptr || source->tileCount != destination->tileCount) {
        return false;
    }
    for (int32_t t = 0; t < source->tileCount; ++t) {
        const PyramidTile& from = source->tiles[t];
        const PyramidTile& to = destination->tiles[t];
        if (from.pixels == nullptr || to.pixels == nullptr) {
            continue;
        }
        std::memcpy(to.pixels, from.pixels,
                    static_cast<size_t>(from.width) * static_cast<size_t>(from.height) *
                        static_cast<size_t>(source->bytesPerPixel));
    }
    return true;
}

void pyramidFailAllocationAfter(int count) {
    allocationsBeforeFailure.store(count < 0 ? -1 : count);
}

} // namespace lakra
