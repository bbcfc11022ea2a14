// Exif orientation, shared by the image module and the readers without it.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"

#include <cstring>
#include <string_view>
#include <utility>

namespace lakra {

namespace {

MetadataRecord* findRecord(ImageMetadata* metadata, std::string_view name) {
    for (MetadataRecord& record : metadata->records) {
        if (record.name == name) {
            return &record;
        }
    }
    return nullptr;
}

} // namespace

// After turning the pixels upright the file's orientation no longer applies;
// a quarter turn also swaps what the metadata says per axis.
void uprightMetadata(int orientation, ImageMetadata* metadata) {
    if (MetadataRecord* record = findRecord(metadata, "Orientation")) {
        const int32_t one = 1;
        record->type = "int";
        record->valueCount = 1;
        record->bytes.assign(reinterpret_cast<const uint8_t*>(&one),
                             reinterpret_cast<const uint8_t*>(&one) + sizeof one);
    }
    if (orientation < 5) {
        return;
    }
    static constexpr std::pair<std::string_view, std::string_view> kAxisPairs[] = {
        {"XResolution", "YResolution"}, {"Exif:PixelXDimension", "Exif:PixelYDimension"}};
    for (const auto& [xName, yName] : kAxisPairs) {
        MetadataRecord* x = findRecord(metadata, xName);
        MetadataRecord* y = findRecord(metadata, yName);
        if (x != nullptr && y != nullptr) {
            std::swap(x->type, y->type);
            std::swap(x->valueCount, y->valueCount);
            std::swap(x->bytes, y->bytes);
        }
    }
}

// Exif orientations 2..8 name a flip and/or a quarter turn; the host wants
// the pixels as they are meant to be seen. (OpenImageIO 2.4's reorient()
// swaps orientations 5 and 7, so the pixels are moved here.)
bool applyOrientation(int orientation, HostImage* image, const std::string& path,
                      std::string* error) {
    const int32_t width = image->width;   // stored
    const int32_t height = image->height; // stored
    const bool turned = orientation >= 5;
    HostImage upright;
    upright.planes = image->planes;
    upright.depth = image->depth;
    upright.alpha = image->alpha;
    upright.metadata = std::move(image->metadata);
    upright.width = turned ? height : width;
    upright.height = turned ? width : height;
    if (!allocatePixels(&upright, path, error)) {
        return false;
    }
    const size_t pixelBytes = static_cast<size_t>(image->planes * image->depth / 8);
    uint8_t* out = upright.pixels.data();
    for (int32_t y = 0; y < upright.height; ++y) {
        for (int32_t x = 0; x < upright.width; ++x, out += pixelBytes) {
            int32_t sx = x;
            int32_t sy = y;
            switch (orientation) {
            case 2: // mirrored left to right
                sx = width - 1 - x;
                break;
            case 3: // half turn
                sx = width - 1 - x;
                sy = height - 1 - y;
                break;
            case 4: // mirrored top to bottom
                sy = height - 1 - y;
                break;
            case 5: // transposed: stored rows are the visible columns
                sx = y;
                sy = x;
                break;
            case 6: // stored turned a quarter anticlockwise: turn it clockwise
                sx = y;
                sy = height - 1 - x;
                break;
            case 7: // transverse
                sx = width - 1 - y;
                sy = height - 1 - x;
                break;
            case 8: // stored turned a quarter clockwise
                sx = width - 1 - y;
                sy = x;
                break;
            default:
                break;
            }
            const size_t from =
                static_cast<size_t>(sy) * static_cast<size_t>(width) + static_cast<size_t>(sx);
            std::memcpy(out, image->pixels.data() + from * pixelBytes, pixelBytes);
        }
    }
    *image = std::move(upright);
    return true;
}

} // namespace lakra
