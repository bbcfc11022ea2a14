#pragma once

// One sample of a host image as a float: 8-bit samples over 255, 16-bit ones
// over the host's full scale 32768, 32-bit samples as stored (above 1 kept).

#include <cstdint>
#include <cstring>

namespace lakra {

// `sample` points at the sample's first byte, in native byte order.
inline float hostSampleUnit(const uint8_t* sample, int32_t depth) {
    if (depth == 32) {
        float value = 0.0f;
        std::memcpy(&value, sample, sizeof value);
        return value;
    }
    if (depth == 16) {
        uint16_t value = 0;
        std::memcpy(&value, sample, sizeof value);
        return static_cast<float>(value) / 32768.0f;
    }
    return static_cast<float>(*sample) / 255.0f;
}

} // namespace lakra
