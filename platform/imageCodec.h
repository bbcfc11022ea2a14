#pragma once

// Image files through the operating system's own codecs: on Windows the
// Imaging Component (PNG, JPEG, TIFF). The posix backend has none; there the
// command-line host reads and writes such files through libraries of its own.
// Samples are interleaved, top row first, no row padding; 16-bit samples are in
// native byte order at full scale 65535. No Windows type crosses this header.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lakra {

enum class CodecContainer { Png, Jpeg, Tiff };

struct CodecImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0; // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA
    int32_t depth = 0;    // 8 or 16
    std::vector<uint8_t> pixels;
};

// Whether this build has system codecs at all.
[[nodiscard]] bool systemCodecsPresent();

// Reads the first frame of a file (path in UTF-8), keeping its channels and
// its depth (files of more than 8 bits per sample come out at 16). False with
// the reason in *error, `image` then unspecified.
[[nodiscard]] bool systemCodecRead(const std::string& path, CodecImage* image, std::string* error);

// Writes `image` as a new file (replacing one of the name). JPEG takes 8-bit
// grey or RGB only and is written at quality 98 (of 100), as the Linux build writes it; PNG and
// TIFF take every layout. False with the reason in *error; a partial file may remain.
[[nodiscard]] bool systemCodecWrite(const std::string& path, CodecContainer container,
                                    const CodecImage& image, std::string* error);

} // namespace lakra
