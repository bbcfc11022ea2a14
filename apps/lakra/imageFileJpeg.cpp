// JPEG files written with libjpeg-turbo directly, so that the common JPEG
// needs no image module. The file is byte for byte the one OpenImageIO
// writes: the same encoder settings, the same empty Exif block, and 16-bit
// and float samples brought to 8 bits with the same arithmetic. An image
// with metadata this code does not write the same way goes to the module.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

// libjpeg's header needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace lakra {

namespace {

// OpenImageIO's default quality.
constexpr int kJpegQuality = 98;

// The Exif block OpenImageIO writes for an image without Exif records: a
// little-endian TIFF header and an empty first directory.
constexpr uint8_t kEmptyExif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0,
                                  8,   0,   0,   0,   0, 0, 0,   0,   0,  0};

// libjpeg's errors jump back here instead of ending the process.
struct JpegErrors {
    jpeg_error_mgr manager = {};
    std::jmp_buf jump = {};
};

[[noreturn]] void jumpOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void ignoreMessage(j_common_ptr /*info*/) {}

// One encoding, its state where the jump back cannot disturb it.
struct JpegEncode {
    std::FILE* file = nullptr;
    jpeg_compress_struct info = {};
    JpegErrors errors;
    const HostImage* image = nullptr;
    int32_t channels = 0;
    std::vector<float> unit; // a row of samples on 0..1, for 16 bits and floats
    std::vector<uint8_t> row;
};

// A float sample to 8 bits as OpenImageIO converts a run of samples: four at
// a time rounded half away from zero, the rest of the run with half added and
// the fraction dropped; clipped to 0..255, NaN as 0.
uint8_t roundedInRun(float value, bool inGroupOfFour) {
    float scaled = value * 255.0f;
    scaled = inGroupOfFour ? std::round(scaled) : scaled + (scaled < 0.0f ? -0.5f : 0.5f);
    if (!(scaled >= 0.0f)) {
        return 0;
    }
    return static_cast<uint8_t>(scaled > 255.0f ? 255.0f : scaled);
}

void eightBitsFromRun(const float* run, size_t count, uint8_t* out) {
    const size_t grouped = count / 4 * 4;
    for (size_t i = 0; i < count; ++i) {
        out[i] = roundedInRun(run[i], i < grouped);
    }
}

// The threads OpenImageIO shares work among: those of its pool, which it
// sizes from its environment variables or else the processor count, less
// the caller's, but at least one; and the caller.
size_t oiioWorkers() {
    size_t threads = std::max(1u, std::thread::hardware_concurrency());
    for (const char* name : {"OPENIMAGEIO_THREADS", "CUE_THREADS"}) {
        const char* text = std::getenv(name); // NOLINT(concurrency-mt-unsafe): nothing sets it
        if (text != nullptr && *text != 0) {
            const long count = std::strtol(text, nullptr, 10);
            threads = count >= 1 ? static_cast<size_t>(count) : threads;
            break; // the first one set decides
        }
    }
    return std::max<size_t>(1, threads - 1) + 1;
}

// A row of samples as OpenImageIO brings it to 8 bits: cut into two runs per
// thread, each converted alone.
void eightBitsFromRow(const float* row, size_t count, uint8_t* out) {
    static const size_t workers = oiioWorkers();
    const size_t run = std::max<size_t>(1, count / (2 * workers));
    for (size_t start = 0; start < count; start += run) {
        eightBitsFromRun(row + start, std::min(run, count - start), out + start);
    }
}

// Row y of the image as the encoder takes it: the first `channels` planes at
// 8 bits. OpenImageIO takes the rows one at a time, packs them (stepping over
// a dropped alpha), turns 16-bit samples (the module hands them on the
// file's scale) into floats and floats into 8 bits.
const uint8_t* encoderRow(JpegEncode* e, int32_t y) {
    const HostImage& image = *e->image;
    const auto width = static_cast<size_t>(image.width);
    const auto planes = static_cast<size_t>(image.planes);
    const auto channels = static_cast<size_t>(e->channels);
    const uint8_t* row = image.pixels.data() + static_cast<size_t>(y) * hostRowBytes(image);
    if (image.depth == 8) {
        if (channels == planes) {
            return row;
        }
        for (size_t x = 0; x < width; ++x) {
            std::memcpy(&e->row[x * channels], row + x * planes, channels);
        }
        return e->row.data();
    }
    for (size_t x = 0; x < width; ++x) {
        for (size_t c = 0; c < channels; ++c) {
            const uint8_t* sample = row + (x * planes + c) * static_cast<size_t>(image.depth / 8);
            float value = 0.0f;
            if (image.depth == 16) {
                uint16_t host = 0;
                std::memcpy(&host, sample, sizeof host);
                value = static_cast<float>(fileFromHost16(host)) * (1.0f / 65535.0f);
            } else {
                std::memcpy(&value, sample, sizeof value);
            }
            e->unit[x * channels + c] = value;
        }
    }
    eightBitsFromRow(e->unit.data(), width * channels, e->row.data());
    return e->row.data();
}

bool encode(JpegEncode* e) {
    if (setjmp(e->errors.jump) != 0) {
        return false;
    }
    const HostImage& image = *e->image;
    jpeg_create_compress(&e->info);
    jpeg_stdio_dest(&e->info, e->file);
    e->info.image_width = static_cast<JDIMENSION>(image.width);
    e->info.image_height = static_cast<JDIMENSION>(image.height);
    e->info.input_components = e->channels;
    e->info.in_color_space = e->channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&e->info);
    jpeg_set_quality(&e->info, kJpegQuality, TRUE);
    jpeg_start_compress(&e->info, TRUE);
    jpeg_write_marker(&e->info, JPEG_APP0 + 1, kEmptyExif, sizeof kEmptyExif);
    const size_t rowSamples = static_cast<size_t>(image.width) * static_cast<size_t>(e->channels);
    e->row.resize(rowSamples);
    e->unit.resize(rowSamples);
    for (int32_t y = 0; y < image.height; ++y) {
        auto* row = const_cast<JSAMPLE*>(encoderRow(e, y));
        (void)jpeg_write_scanlines(&e->info, &row, 1);
    }
    jpeg_finish_compress(&e->info);
    return true;
}

// Records the module's writer leaves out of a JPEG: those that describe the
// old file's encoding.
bool writesNoRecords(const HostImage& image) {
    for (const MetadataRecord& record : image.metadata.records) {
        if (!describesEncoding(record.name)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool writeJpegFile(const std::string& ioPath, const HostImage& image) {
    if (image.width > kMaxJpegSide || image.height > kMaxJpegSide || !writesNoRecords(image)) {
        return false;
    }
    JpegEncode e;
    e.image = &image;
    e.channels = image.planes - (image.alpha ? 1 : 0);
    e.file = std::fopen(ioPath.c_str(), "wb");
    if (e.file == nullptr) {
        return false;
    }
    e.info.err = jpeg_std_error(&e.errors.manager);
    e.errors.manager.error_exit = jumpOnError;
    e.errors.manager.output_message = ignoreMessage;
    bool written = encode(&e);
    jpeg_destroy_compress(&e.info);
    written = std::fclose(e.file) == 0 && written;
    return written;
}

} // namespace lakra
