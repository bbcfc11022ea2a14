#include "export/jpegWriter.h"

#include "export/jpegCommon.h"
#include "export/metadata.h"
#include "pyramid/pyramid.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace lakra {

// clang-format off
const unsigned int kLevel8Luminance[64] = {
    2, 2, 2, 2, 3, 4, 5, 6,   2, 2, 2, 2, 3, 4, 5, 6,
    2, 2, 2, 2, 4, 5, 7, 9,   2, 2, 2, 4, 5, 7, 9, 12,
    3, 3, 4, 5, 8, 13, 12, 12, 4, 4, 5, 7, 13, 12, 12, 12,
    5, 5, 7, 9, 12, 12, 12, 12, 6, 6, 9, 12, 12, 12, 12, 12,
};
const unsigned int kLevel8Chrominance[64] = {
    3, 3, 5, 9, 10, 15, 15, 15,   3, 4, 6, 13, 14, 12, 12, 12,
    5, 6, 9, 14, 12, 12, 12, 12,  9, 13, 14, 12, 12, 12, 12, 12,
    10, 14, 12, 12, 12, 12, 12, 12, 15, 12, 12, 12, 12, 12, 12, 12,
    15, 12, 12, 12, 12, 12, 12, 12, 15, 12, 12, 12, 12, 12, 12, 12,
};

// clang-format on

namespace {

constexpr size_t kOutputStepBytes = 4096;
constexpr size_t kOutputBytesPerPixel = 6;
constexpr int kComMarker = JPEG_COM;
constexpr int kApp1Marker = JPEG_APP0 + 1;
constexpr int kApp13Marker = JPEG_APP0 + 13;

// The output: one buffer of 6 bytes per encoded pixel, handed to the library
// 4096 bytes at a time. Output that outgrows it (tiny, noisy images plus our
// markers) grows the buffer by further 4096-byte steps.
struct MemoryDestination {
    jpeg_destination_mgr manager;
    uint8_t* buffer;
    size_t capacity;
    size_t handedOut; // bytes given to the library so far
    size_t length;    // bytes produced, set at the end
};

void offerNextStep(MemoryDestination* destination) {
    const size_t step = std::min(kOutputStepBytes, destination->capacity - destination->handedOut);
    destination->manager.next_output_byte = destination->buffer + destination->handedOut;
    destination->manager.free_in_buffer = step;
    destination->handedOut += step;
}

void initDestination(j_compress_ptr info) {
    MemoryDestination* destination = reinterpret_cast<MemoryDestination*>(info->dest);
    destination->handedOut = 0;
    offerNextStep(destination);
}

boolean emptyOutput(j_compress_ptr info) {
    MemoryDestination* destination = reinterpret_cast<MemoryDestination*>(info->dest);
    // The library asks only when the whole step is full.
    if (destination->handedOut == destination->capacity) {
        uint8_t* grown = static_cast<uint8_t*>(
            std::realloc(destination->buffer, destination->capacity + kOutputStepBytes));
        if (grown == nullptr) {
            ERREXIT(info, JERR_OUT_OF_MEMORY);
        }
        destination->buffer = grown;
        destination->capacity += kOutputStepBytes;
    }
    offerNextStep(destination);
    return TRUE;
}

void termDestination(j_compress_ptr info) {
    MemoryDestination* destination = reinterpret_cast<MemoryDestination*>(info->dest);
    destination->length = destination->handedOut - destination->manager.free_in_buffer;
}

void setLevelParameters(jpeg_compress_struct* info, int32_t level) {
    const int luminanceFactor = level <= 4 ? 2 : 1;
    info->comp_info[0].h_samp_factor = luminanceFactor;
    info->comp_info[0].v_samp_factor = luminanceFactor;
    for (int c = 1; c < 3; ++c) {
        info->comp_info[c].h_samp_factor = 1;
        info->comp_info[c].v_samp_factor = 1;
    }
    if (level == 8) {
        jpeg_add_quant_table(info, 0, kLevel8Luminance, 100, FALSE);
        jpeg_add_quant_table(info, 1, kLevel8Chrominance, 100, FALSE);
    } else {
        // Levels no caller asks for (the thumbnail's fallbacks): the library's tables.
        jpeg_set_quality(info, std::max(1, level * 10), FALSE);
    }
}

void fillRow(const ImagePyramid* image, int32_t y, int32_t width, JSAMPLE* row) {
    for (int32_t x = 0; x < width; ++x) {
        float pixel[4];
        getPixel4f(x, y, image, 0, pixel); // reads clamp to the image
        for (int c = 0; c < 3; ++c) {
            const float value = std::clamp(pixel[c], 0.0f, 1.0f) * 255.0f;
            row[3 * x + c] = static_cast<JSAMPLE>(static_cast<int>(value));
        }
    }
}

void writeBlockMarker(jpeg_compress_struct* info, int marker, const uint8_t* data, int32_t length) {
    if (length > 0) {
        jpeg_write_marker(info, marker, data, static_cast<unsigned int>(length));
    }
}

// Everything libjpeg touches lives in this record, so nothing between setjmp
// and longjmp needs a destructor or a volatile local.
struct Encoder {
    jpeg_compress_struct info;
    JpegErrorTrap trap;
    MemoryDestination destination;
    JSAMPLE* row;
};

Result runEncoder(Encoder* encoder, const ImagePyramid* image, int32_t level, int32_t width,
                  int32_t height, const IptcBlock* iptc, const ExifBlock* exif) {
    jpeg_compress_struct* info = &encoder->info;
    info->err = jpegTrapErrors(&encoder->trap);
    if (setjmp(encoder->trap.jump) != 0) {
        jpeg_destroy_compress(info);
        return kJpegLibraryFailed;
    }
    jpeg_create_compress(info);
    encoder->destination.manager.init_destination = initDestination;
    encoder->destination.manager.empty_output_buffer = emptyOutput;
    encoder->destination.manager.term_destination = termDestination;
    info->dest = &encoder->destination.manager;
    info->image_width = static_cast<JDIMENSION>(width);
    info->image_height = static_cast<JDIMENSION>(height);
    info->input_components = 3;
    info->in_color_space = JCS_RGB;
    jpeg_set_defaults(info);
    info->optimize_coding = TRUE;
    setLevelParameters(info, level);
    jpeg_start_compress(info, TRUE); // SOI and the JFIF APP0
    jpeg_write_marker(info, kComMarker, reinterpret_cast<const JOCTET*>(kMakerUrl),
                      sizeof kMakerUrl); // with its zero byte
    if (exif != nullptr) {
        writeBlockMarker(info, kApp1Marker, exif->data, exif->length);
    }
    if (iptc != nullptr) {
        writeBlockMarker(info, kApp13Marker, iptc->data, iptc->length);
    }
    for (int32_t y = 0; y < height; ++y) {
        fillRow(image, y, width, encoder->row);
        JSAMPROW rows[1] = {encoder->row};
        jpeg_write_scanlines(info, rows, 1);
    }
    jpeg_finish_compress(info);
    jpeg_destroy_compress(info);
    return noErr;
}

} // namespace

int32_t jpegQualityLevel(int32_t quality) {
    return std::clamp(quality, 0, 99) / 10;
}

void jpegDataFree(JpegData* data) {
    if (data != nullptr) {
        std::free(data->bytes);
        *data = JpegData{};
    }
}

Result jpegEncode(const ImagePyramid* image, int32_t quality, const IptcBlock* iptc,
                  const ExifBlock* exif, JpegData* out) {
    *out = JpegData{};
    if (image == nullptr) {
        return kJpegNoImage;
    }
    if (image->tiles == nullptr || image->width[0] < 1 || image->height[0] < 1) {
        return kJpegNoPixels;
    }
    const int32_t width = std::max(image->width[0], kJpegMinSide);
    const int32_t height = std::max(image->height[0], kJpegMinSide);
    Encoder* encoder = new (std::nothrow) Encoder{};
    if (encoder == nullptr) {
        return -108;
    }
    encoder->destination.capacity =
        static_cast<size_t>(width) * static_cast<size_t>(height) * kOutputBytesPerPixel;
    encoder->destination.buffer = static_cast<uint8_t*>(std::malloc(encoder->destination.capacity));
    encoder->row = static_cast<JSAMPLE*>(std::malloc(static_cast<size_t>(width) * 3));
    Result result = -108;
    if (encoder->destination.buffer != nullptr && encoder->row != nullptr) {
        result = runEncoder(encoder, image, jpegQualityLevel(quality), width, height, iptc, exif);
    }
    if (result == noErr) {
        out->bytes = encoder->destination.buffer;
        out->length = encoder->destination.length;
        out->width = width;
        out->height = height;
    } else {
        std::free(encoder->destination.buffer);
    }
    std::free(encoder->row);
    delete encoder;
    return result;
}

Result jpegWrite(const ImagePyramid* image, FileWriter* writer, bool framing, int32_t quality,
                 const IptcBlock* iptc, const ExifBlock* exif) {
    JpegData jpeg;
    const Result encoded = jpegEncode(image, quality, iptc, exif, &jpeg);
    if (encoded != noErr) {
        if (framing) {
            (void)writeU32BE(writer, 0); // a lone present = 0 keeps the file readable
        }
        return encoded;
    }
    if (framing) {
        (void)writeU32BE(writer, 1);
        (void)writeU32BE(writer, static_cast<uint32_t>(jpeg.width));
        (void)writeU32BE(writer, static_cast<uint32_t>(jpeg.height));
        (void)writeU32BE(writer, static_cast<uint32_t>(jpeg.length));
    }
    const Result written = writeBytes(writer, jpeg.bytes, jpeg.length);
    jpegDataFree(&jpeg);
    return written != noErr ? written : writer->error;
}

Result jpegWriteGalleryPicture(const ImagePyramid* image, FileWriter* writer, bool closeFile) {
    IptcBlock* iptc = new (std::nothrow) IptcBlock{};
    ExifBlock* exif = new (std::nothrow) ExifBlock{};
    Result result = -108;
    if (iptc != nullptr && exif != nullptr) {
        (void)iptcBuild(iptc, true);
        (void)exifBuild(exif, true);
        result = jpegWrite(image, writer, false, 80, iptc, exif);
    }
    delete iptc;
    delete exif;
    if (closeFile) {
        const Result closed = fileWriterClose(writer);
        if (result == noErr) {
            result = closed;
        }
    }
    return result;
}

} // namespace lakra
