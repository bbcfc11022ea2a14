#include "hostTile.h"

#include <cstring>

namespace lakra {

namespace {

PixelFormat formatForDepth(int32_t depth, bool* known) {
    *known = true;
    switch (depth) {
    case 8:
        return PixelFormat::Rgba8;
    case 16:
        return PixelFormat::Rgba16;
    case 32:
        return PixelFormat::RgbaFloat;
    default:
        *known = false;
        return PixelFormat::Rgba8;
    }
}

template <typename Sample>
Sample sampleAt(const uint8_t* pixel, int32_t plane) {
    Sample value;
    std::memcpy(&value, pixel + static_cast<size_t>(plane) * sizeof(Sample), sizeof value);
    return value;
}

void store(uint8_t* to, const uint8_t (&c)[4]) {
    const uint32_t word = static_cast<uint32_t>(c[0]) << 24 | static_cast<uint32_t>(c[1]) << 16 |
                          static_cast<uint32_t>(c[2]) << 8 | static_cast<uint32_t>(c[3]);
    std::memcpy(to, &word, sizeof word);
}

void store(uint8_t* to, const uint16_t (&c)[4]) {
    std::memcpy(to, c, sizeof c);
}

void store(uint8_t* to, const float (&c)[4]) {
    std::memcpy(to, c, sizeof c);
}

struct Layout {
    int32_t step = 0;        // samples from one pixel to the next
    int32_t alphaPlane = -1; // delivered plane of the alpha, -1 for opaque
    bool grey = false;
};

template <typename Sample>
void copyTile(const PyramidTile& tile, const HostImageView& view, const Layout& layout,
              Sample opaque) {
    const auto* base = static_cast<const uint8_t*>(view.data);
    const size_t pixelBytes = static_cast<size_t>(layout.step) * sizeof(Sample);
    uint8_t* to = tile.pixels;
    for (int32_t row = 0; row < tile.height; ++row) {
        const int64_t y = static_cast<int64_t>(tile.y0) + row - view.rect.top;
        const int64_t x = static_cast<int64_t>(tile.x0) - view.rect.left;
        const uint8_t* from = base + y * view.rowBytes + x * static_cast<int64_t>(pixelBytes);
        for (int32_t column = 0; column < tile.width; ++column) {
            Sample c[4];
            c[0] = sampleAt<Sample>(from, 0);
            c[1] = layout.grey ? c[0] : sampleAt<Sample>(from, 1);
            c[2] = layout.grey ? c[0] : sampleAt<Sample>(from, 2);
            c[3] = layout.alphaPlane >= 0 ? sampleAt<Sample>(from, layout.alphaPlane) : opaque;
            store(to, c);
            to += sizeof c;
            from += pixelBytes;
        }
    }
}

bool contains(const PixelRect& outer, const PixelRect& inner) {
    return inner.top >= outer.top && inner.left >= outer.left && inner.bottom <= outer.bottom &&
           inner.right <= outer.right;
}

} // namespace

bool loadHostTile(ImagePyramid* pyramid, int32_t tileIndex, const HostImageView& view) {
    if (pyramid == nullptr || pyramid->tiles == nullptr || tileIndex < 0 ||
        tileIndex > pyramid->levelLastTile[0] || tileIndex >= pyramid->tileCount) {
        return false;
    }
    bool knownDepth = false;
    const PixelFormat hostFormat = formatForDepth(view.depth, &knownDepth);
    if (!knownDepth || hostFormat != pyramid->format) {
        return false;
    }
    const PyramidTile& tile = pyramid->tiles[tileIndex];
    if (tile.pixels == nullptr || view.data == nullptr) {
        return false;
    }

    Layout layout;
    layout.step = view.hiPlane - view.loPlane + 1;
    layout.grey = view.planes < 3;
    if (view.filterCase == 4 || view.filterCase == 5) {
        layout.alphaPlane = view.transparencyPlane;
        if (layout.alphaPlane < 0 || layout.alphaPlane >= layout.step) {
            return false; // the alpha would be read from beyond the pixel
        }
    }
    if (layout.step < (layout.grey ? 1 : 3)) {
        return false;
    }
    if (!contains(view.rect, tileRect(pyramid, tileIndex))) {
        return false;
    }
    const int64_t rowSamples =
        (static_cast<int64_t>(view.rect.right) - view.rect.left) * layout.step;
    if (static_cast<int64_t>(view.rowBytes) < rowSamples * pyramid->bytesPerChannel) {
        return false;
    }

    switch (pyramid->format) {
    case PixelFormat::Rgba8:
        copyTile<uint8_t>(tile, view, layout, 255);
        break;
    case PixelFormat::Rgba16:
        copyTile<uint16_t>(tile, view, layout, static_cast<uint16_t>(kRgba16Scale));
        break;
    case PixelFormat::RgbaFloat:
        copyTile<float>(tile, view, layout, 1.0f);
        break;
    }
    return true;
}

} // namespace lakra
