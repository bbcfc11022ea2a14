#pragma once

// Filtered lookups into a pyramid at arbitrary positions: a separable 5 x 5
// kernel inside one level, blended towards the next smaller level.

#include <cstdint>
#include <cstring>

namespace lakra {

struct ImagePyramid;

// The value of the image at normalised (u, v), 0..1 over the image, blurred
// as level `level` + `fraction` (0 <= fraction < 1). The level is clamped to
// 0..maxLevel-1, so the next level always exists. Out is normalised (stored
// value x invScale), channels red, green, blue, alpha; results are not
// clamped, the kernel's negative lobes may overshoot next to hard edges.
// A u or v below 0, or NaN, samples as 0; far beyond 1 every tap reads the
// last column or row.
void sampleTrilinear(const ImagePyramid* pyramid, int32_t level, float fraction, float u, float v,
                     float out[4]);

// A row of points for sampleTrilinearRow: point i at (us[i], vs[i]),
// blurred as levels[i] + fractions[i].
struct TrilinearRow {
    int32_t count = 0;
    const int32_t* levels = nullptr;
    const float* fractions = nullptr;
    const float* us = nullptr;
    const float* vs = nullptr;
};

// sampleTrilinear at every point of the row, out[i] the values it gives for
// point i, bit for bit; the pixel format and the vector variant are chosen
// once for the row.
void sampleTrilinearRow(const ImagePyramid* pyramid, const TrilinearRow& row, float (*out)[4]);

// The 5 x 5 lookup inside one level at continuous pixel position (x, y) of
// that level (pixel i covers [i - 0.5, i + 0.5)), in stored units: 0..255,
// 0..32768 or float. Reads the block straight from a tile when it lies inside
// one. Zeros for a record without tiles or a level outside 0..maxLevel.
void sampleLevel5x5(const ImagePyramid* pyramid, int32_t level, float x, float y, float out[4]);

// The same lookup, always addressing each tap on its own with clamping; it
// computes the same sums as the direct path (for tests and benchmarks).
void sampleLevel5x5Clamped(const ImagePyramid* pyramid, int32_t level, float x, float y,
                           float out[4]);

// 0 for value <= 1 (and NaN); otherwise a continuous approximation of
// log2(value) from its bit pattern, within about 0.02 between powers of two.
// Inline: the renderer takes it once per pixel.
[[nodiscard]] inline float fastLog2(float value) {
    if (!(value > 1.0f)) {
        return 0.0f;
    }
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const auto exponent = static_cast<float>((bits >> 23) & 0xFFu);
    const float mantissa = static_cast<float>(bits & 0x7FFFFFu) * (1.0f / 8388608.0f);
    const float centred = mantissa - 0.5f;
    return exponent - 126.9f + mantissa - 0.4f * (centred * centred);
}

} // namespace lakra
