#include "export/jpegReader.h"

#include "export/jpegCommon.h"
#include "pyramid/pyramid.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace lakra {
namespace {

constexpr size_t kInputStepBytes = 4096;

// The source: the record's bytes, offered 4096 at a time. Running out is a
// fatal error, so a truncated stream is never padded into a picture.
struct MemorySource {
    jpeg_source_mgr manager;
    const uint8_t* data;
    size_t length;
    size_t offered; // bytes given to the library so far
};

void initSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr info) {
    MemorySource* source = reinterpret_cast<MemorySource*>(info->src);
    if (source->offered >= source->length) {
        ERREXIT(info, JERR_INPUT_EOF);
    }
    const size_t step = std::min(kInputStepBytes, source->length - source->offered);
    source->manager.next_input_byte = source->data + source->offered;
    source->manager.bytes_in_buffer = step;
    source->offered += step;
    return TRUE;
}

void skipInput(j_decompress_ptr info, long count) {
    MemorySource* source = reinterpret_cast<MemorySource*>(info->src);
    size_t remaining = count > 0 ? static_cast<size_t>(count) : 0;
    while (remaining > source->manager.bytes_in_buffer) {
        remaining -= source->manager.bytes_in_buffer;
        source->manager.bytes_in_buffer = 0;
        (void)fillInput(info); // ends the image at the end of the data
    }
    source->manager.next_input_byte += remaining;
    source->manager.bytes_in_buffer -= remaining;
}

void termSource(j_decompress_ptr) {}

struct Decoder {
    jpeg_decompress_struct info;
    JpegErrorTrap trap;
    MemorySource source;
    JSAMPLE* row;
};

bool runDecoder(Decoder* decoder, ImagePyramid* target) {
    jpeg_decompress_struct* info = &decoder->info;
    info->err = jpegTrapErrors(&decoder->trap);
    if (setjmp(decoder->trap.jump) != 0) {
        jpeg_destroy_decompress(info);
        return false;
    }
    jpeg_create_decompress(info);
    decoder->source.manager.init_source = initSource;
    decoder->source.manager.fill_input_buffer = fillInput;
    decoder->source.manager.skip_input_data = skipInput;
    decoder->source.manager.resync_to_restart = jpeg_resync_to_restart;
    decoder->source.manager.term_source = termSource;
    info->src = &decoder->source.manager;
    (void)jpeg_read_header(info, TRUE);
    const bool grey = info->jpeg_color_space == JCS_GRAYSCALE;
    const bool colour = info->jpeg_color_space == JCS_YCbCr || info->jpeg_color_space == JCS_RGB;
    if ((!grey && !colour) || info->image_width > static_cast<JDIMENSION>(kJpegMaxDecodeSide) ||
        info->image_height > static_cast<JDIMENSION>(kJpegMaxDecodeSide)) {
        jpeg_destroy_decompress(info);
        return false;
    }
    info->out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(info);
    const int components = info->output_components;
    const auto width = static_cast<int32_t>(info->output_width);
    decoder->row = static_cast<JSAMPLE*>(
        std::malloc(static_cast<size_t>(width) * static_cast<size_t>(components)));
    if (decoder->row == nullptr) {
        jpeg_destroy_decompress(info);
        return false;
    }
    while (info->output_scanline < info->output_height) {
        const auto y = static_cast<int32_t>(info->output_scanline);
        JSAMPROW rows[1] = {decoder->row};
        jpeg_read_scanlines(info, rows, 1);
        const int32_t stored = std::min(width, target->width[0]);
        for (int32_t x = 0; x < stored && y < target->height[0]; ++x) {
            const JSAMPLE* sample = decoder->row + x * components;
            const uint32_t red = sample[0];
            const uint32_t green = components == 3 ? sample[1] : red;
            const uint32_t blue = components == 3 ? sample[2] : red;
            writeRgba8(x, y, target, 0, (red << 24) | (green << 16) | (blue << 8) | 0xFFu);
        }
    }
    jpeg_finish_decompress(info);
    jpeg_destroy_decompress(info);
    return true;
}

} // namespace

bool jpegDecode(const uint8_t* jpeg, size_t bytes, ImagePyramid* target) {
    if (jpeg == nullptr || bytes == 0 || bytes > kJpegDecodeBytes || target == nullptr ||
        target->tiles == nullptr || target->format != PixelFormat::Rgba8) {
        return false;
    }
    Decoder* decoder = new (std::nothrow) Decoder{};
    if (decoder == nullptr) {
        return false;
    }
    decoder->source.data = jpeg;
    decoder->source.length = bytes;
    const bool decoded = runDecoder(decoder, target);
    std::free(decoder->row);
    delete decoder;
    return decoded;
}

} // namespace lakra
