#include "presets/thumbnail.h"

#include "export/jpegReader.h"
#include "export/jpegWriter.h"
#include "pyramid/copy.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"

#include <algorithm>

namespace lakra {
namespace {

bool hasPixels(const ImagePyramid* image) {
    return image != nullptr && image->tiles != nullptr && image->width[0] > 0 &&
           image->height[0] > 0;
}

void writeThumbnailHook(void* context, FileWriter* writer) {
    thumbnailWriteRecord(static_cast<const ImagePyramid*>(context), writer);
}

bool decodeThumbnailHook(void* context, PresetReadMode, int32_t width, int32_t height,
                         const uint8_t* jpeg, size_t bytes) {
    return thumbnailDecodeRecord(static_cast<ImagePyramid*>(context), width, height, jpeg, bytes);
}

} // namespace

void thumbnailFillBlank(ImagePyramid* thumbnail) {
    if (!hasPixels(thumbnail)) {
        return;
    }
    for (int32_t y = 0; y < thumbnail->height[0]; ++y) {
        const uint32_t grey = static_cast<uint32_t>(255 - std::min(y, 255));
        const uint32_t word = (grey << 24) | (grey << 16) | (grey << 8) | 0xFFu;
        for (int32_t x = 0; x < thumbnail->width[0]; ++x) {
            writeRgba8(x, y, thumbnail, 0, word);
        }
    }
    (void)buildLevels(thumbnail);
}

void thumbnailWriteRecord(const ImagePyramid* thumbnail, FileWriter* writer) {
    thumbnailWriteRecordWithin(thumbnail, writer, kThumbnailJpegBytes);
}

void thumbnailWriteRecordWithin(const ImagePyramid* thumbnail, FileWriter* writer,
                                size_t limitBytes) {
    if (!hasPixels(thumbnail)) {
        (void)writeU32BE(writer, 0);
        return;
    }
    PyramidPtr scaled(pyramidCreate(kThumbnailMaxSide, kThumbnailMaxSide, PixelFormat::Rgba8));
    if (scaled == nullptr || copyPyramidImage(thumbnail, scaled.get()) != noErr) {
        (void)writeU32BE(writer, 0);
        return;
    }
    // Level 8 keeps fine detail; a noisy picture can outgrow what a reader
    // takes, so coarser levels follow until it fits.
    for (int32_t quality = kThumbnailQuality; quality >= 0; quality -= 10) {
        JpegData jpeg;
        if (jpegEncode(scaled.get(), quality, nullptr, nullptr, &jpeg) != noErr) {
            break;
        }
        if (jpeg.length <= limitBytes) {
            (void)writeU32BE(writer, 1);
            (void)writeU32BE(writer, static_cast<uint32_t>(jpeg.width));
            (void)writeU32BE(writer, static_cast<uint32_t>(jpeg.height));
            (void)writeU32BE(writer, static_cast<uint32_t>(jpeg.length));
            (void)writeBytes(writer, jpeg.bytes, jpeg.length);
            jpegDataFree(&jpeg);
            return;
        }
        jpegDataFree(&jpeg);
    }
    (void)writeU32BE(writer, 0);
}

bool thumbnailDecodeRecord(ImagePyramid* thumbnail, int32_t width, int32_t height,
                           const uint8_t* jpeg, size_t bytes) {
    if (!hasPixels(thumbnail) || width <= 0 || height <= 0) {
        return false;
    }
    PyramidPtr decoded(pyramidCreate(width, height, PixelFormat::Rgba8));
    if (decoded == nullptr || !jpegDecode(jpeg, bytes, decoded.get()) ||
        buildLevels(decoded.get()) != noErr) {
        return false;
    }
    return copyPyramidImage(decoded.get(), thumbnail) == noErr;
}

PresetHooks thumbnailPresetHooks(ImagePyramid* thumbnail) {
    PresetHooks hooks;
    hooks.writeThumbnail = writeThumbnailHook;
    hooks.decodeThumbnail = decodeThumbnailHook;
    hooks.context = thumbnail;
    return hooks;
}

bool presetThumbnailAtSize(const FileSpec& preset, ImagePyramid* thumbnail, int32_t side,
                           ImagePyramid** target) {
    *target = nullptr;
    if (!hasPixels(thumbnail) || side < 1) {
        return false;
    }
    thumbnailFillBlank(thumbnail);
    // For this one read the decoder also notes whether a thumbnail was taken;
    // the hooks in place before are put back afterwards.
    PresetHooks hooks = thumbnailPresetHooks(thumbnail);

    struct Taken {
        ImagePyramid* thumbnail;
        bool taken;
    } taken{thumbnail, false};

    hooks.context = &taken;
    hooks.decodeThumbnail = [](void* context, PresetReadMode, int32_t width, int32_t height,
                               const uint8_t* jpeg, size_t bytes) {
        Taken* state = static_cast<Taken*>(context);
        state->taken = thumbnailDecodeRecord(state->thumbnail, width, height, jpeg, bytes);
        return state->taken;
    };
    hooks.writeThumbnail = nullptr;
    const PresetHooks previous = presetHooks();
    setPresetHooks(&hooks);
    (void)presetRead(preset, PresetReadMode::ThumbnailOnly, nullptr);
    setPresetHooks(&previous);
    if (!taken.taken) {
        return false;
    }
    ImagePyramid* image = pyramidCreate(side, side, PixelFormat::Rgba8);
    if (image == nullptr) {
        return false;
    }
    if (copyPyramidImage(thumbnail, image) != noErr) {
        pyramidDestroy(&image);
        return false;
    }
    *target = image;
    return true;
}

} // namespace lakra
