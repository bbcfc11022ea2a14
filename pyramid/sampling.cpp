#include "pyramid/sampling.h"

#include "platform/simd.h"
#include "pyramid/kernels.h"
#include "pyramid/pyramid.h"

#include <bit>
#include <cstddef>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace lakra {

// 8-bit pixels are read byte by byte in the stored order of the packed word.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr int32_t kSpan = kKernelTaps; // the block is 5 x 5 pixels
constexpr int32_t kReach = 2;          // taps on each side of the centre tap

// Positions beyond this lie far outside every level; holding them here keeps
// the conversion to an integer defined and the tap columns inside 32 bits.
constexpr float kLargestPosition = 1073741824.0f; // 2^30

constexpr float kScale8Inverse = 1.0f / 4194304.0f; // 1 / (2048 x 2048)
constexpr float kScale16Inverse = 1.0f / 32768.0f;

// Where the block sits and which phase of the tables applies, on one axis.
struct AxisTap {
    int32_t whole; // the centre tap's column (or row)
    int32_t phase; // 0..127
};

// Pixel i covers [i - 0.5, i + 0.5). Callers pass positions from -0.5 up;
// anything below (or NaN) is taken as -0.5, where truncation would give a
// negative phase and a read before the table.
AxisTap axisTap(float position) {
    float shifted = position + 0.5f;
    if (!(shifted >= 0.0f)) {
        shifted = 0.0f;
    } else if (shifted > kLargestPosition) {
        shifted = kLargestPosition;
    }
    const auto whole = static_cast<int32_t>(shifted);
    const float fraction = shifted - static_cast<float>(whole); // exact, 0 <= fraction < 1
    return {whole, static_cast<int32_t>(fraction * static_cast<float>(kKernelPhases))};
}

// Column ix + j takes tap 2 - j: the tables are applied in reverse tap order,
// so block column 0 (ix - 2) takes tap 4.
constexpr int32_t tapOf(int32_t blockIndex) {
    return kSpan - 1 - blockIndex;
}

// All in 32-bit integers: the largest |sum| of a phase's weights is below
// 2430, so 255 x 2430 x 2430 stays under 2^31. The bytes are read in memory
// order (channel 3, 2, 1, 0), which lets the four channels share one vector.
struct Rgba8Kernel {
    template <typename Fetch>
    static void run(const KernelTables& tables, AxisTap across, AxisTap down, Fetch fetch,
                    float out[4]) {
        int32_t totals[4] = {};
        for (int32_t i = 0; i < kSpan; ++i) {
            int32_t rowSums[4] = {};
            for (int32_t j = 0; j < kSpan; ++j) {
                const uint8_t* pixel = fetch(i, j);
                const int32_t weight = tables.a[tapOf(j)][across.phase];
                for (int lane = 0; lane < 4; ++lane) {
                    rowSums[lane] += static_cast<int32_t>(pixel[lane]) * weight;
                }
            }
            const int32_t weight = tables.a[tapOf(i)][down.phase];
            for (int lane = 0; lane < 4; ++lane) {
                totals[lane] += rowSums[lane] * weight;
            }
        }
        // Lanes are in memory order: channel 3 first.
        for (int c = 0; c < 4; ++c) {
            out[c] = static_cast<float>(totals[3 - c]) * kScale8Inverse;
        }
    }
};

// Each row sum is divided by 32768 (truncating toward zero) before the
// vertical pass. The sums are 64-bit: a stored value above full scale (up to
// 65535) would overflow 32 bits, and below it the results are the same.
struct Rgba16Kernel {
    template <typename Fetch>
    static void run(const KernelTables& tables, AxisTap across, AxisTap down, Fetch fetch,
                    float out[4]) {
        int64_t totals[4] = {};
        for (int32_t i = 0; i < kSpan; ++i) {
            int64_t rowSums[4] = {};
            for (int32_t j = 0; j < kSpan; ++j) {
                uint16_t values[4];
                std::memcpy(values, fetch(i, j), sizeof values);
                const int64_t weight = tables.b[tapOf(j)][across.phase];
                for (int c = 0; c < 4; ++c) {
                    rowSums[c] += static_cast<int64_t>(values[c]) * weight;
                }
            }
            const int64_t weight = tables.b[tapOf(i)][down.phase];
            for (int c = 0; c < 4; ++c) {
                totals[c] += rowSums[c] / kKernelScale16 * weight;
            }
        }
        for (int c = 0; c < 4; ++c) {
            out[c] = static_cast<float>(totals[c]) * kScale16Inverse;
        }
    }
};

struct RgbaFloatKernel {
    template <typename Fetch>
    static void run(const KernelTables& tables, AxisTap across, AxisTap down, Fetch fetch,
                    float out[4]) {
        float totals[4] = {};
        for (int32_t i = 0; i < kSpan; ++i) {
            float rowSums[4] = {};
            for (int32_t j = 0; j < kSpan; ++j) {
                float values[4];
                std::memcpy(values, fetch(i, j), sizeof values);
                const float weight = tables.f[tapOf(j)][across.phase];
                for (int c = 0; c < 4; ++c) {
                    rowSums[c] += values[c] * weight;
                }
            }
            const float weight = tables.f[tapOf(i)][down.phase];
            for (int c = 0; c < 4; ++c) {
                totals[c] += weight * rowSums[c];
            }
        }
        for (int c = 0; c < 4; ++c) {
            out[c] = totals[c];
        }
    }
};

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define LAKRA_HAVE_VECTOR_KERNELS 1

// The 8-bit kernel on a block that lies in one tile, four channels per
// vector. The sums are exact integers (no overflow, see above), so any order
// of adding them gives the scalar kernel's result.
__attribute__((target("sse4.1"))) void rgba8BlockSse4(const KernelTables& tables, AxisTap across,
                                                      AxisTap down, const uint8_t* base,
                                                      size_t rowBytes, float out[4]) {
    __m128i total = _mm_setzero_si128();
    for (int32_t i = 0; i < kSpan; ++i) {
        const uint8_t* row = base + static_cast<size_t>(i) * rowBytes;
        __m128i rowSum = _mm_setzero_si128();
        for (int32_t j = 0; j < kSpan; ++j) {
            int32_t word = 0;
            std::memcpy(&word, row + static_cast<size_t>(j) * 4, sizeof word);
            const __m128i pixel = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(word));
            rowSum = _mm_add_epi32(
                rowSum, _mm_mullo_epi32(pixel, _mm_set1_epi32(tables.a[tapOf(j)][across.phase])));
        }
        total = _mm_add_epi32(
            total, _mm_mullo_epi32(rowSum, _mm_set1_epi32(tables.a[tapOf(i)][down.phase])));
    }
    alignas(16) int32_t totals[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(totals), total);
    for (int c = 0; c < 4; ++c) {
        out[c] = static_cast<float>(totals[3 - c]) * kScale8Inverse;
    }
}

// The 8-bit weights of one phase laid out for the AVX2 kernels: each tap's
// weight four times (once per channel), taps 0..4 and then zeros; and the
// taps paired as 16-bit halves for multiply-add, (0, 1), (2, 3), (4, 0).
struct SpreadPhase8 {
    alignas(32) int32_t spread[24];
    int32_t pairs[3];
    int32_t padding[5];
};

void spreadPhase(const KernelTables& tables, int32_t phase, SpreadPhase8* out) {
    const auto weight = [&](int32_t j) { return tables.a[tapOf(j)][phase]; };
    const auto half = [&](int32_t j) {
        return static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(weight(j))));
    };
    for (int32_t k = 0; k < 24; ++k) {
        out->spread[k] = k / 4 < kSpan ? weight(k / 4) : 0;
    }
    out->pairs[0] = static_cast<int32_t>(half(0) | half(1) << 16);
    out->pairs[1] = static_cast<int32_t>(half(2) | half(3) << 16);
    out->pairs[2] = static_cast<int32_t>(half(4));
    for (int32_t& unused : out->padding) {
        unused = 0;
    }
}

// Every phase of the shared tables, laid out once.
struct SpreadWeights8 {
    SpreadPhase8 phases[kKernelPhases];
};

const SpreadWeights8& sharedSpreadWeights() {
    static const SpreadWeights8 weights = [] {
        SpreadWeights8 made{};
        for (int32_t phase = 0; phase < kKernelPhases; ++phase) {
            spreadPhase(kernelTables(), phase, &made.phases[phase]);
        }
        return made;
    }();
    return weights;
}

// Two rows per 256-bit vector, one in each half, with the taps paired for
// multiply-add: the weights fit 16 bits (their magnitudes add up to less
// than 2430, see above), and a pair's products stay far inside 32 bits.
// The fifth pixel of a row is paired with a zero weight.
[[gnu::always_inline]] __attribute__((target("avx2"))) inline void
rgba8BlockAvx2Inline(const SpreadPhase8& across, const SpreadPhase8& down, const uint8_t* base,
                     size_t rowBytes, float out[4]) {
    // Channel by channel: (pixel 0, pixel 1) and (pixel 2, pixel 3).
    const __m256i pairTaps01 = _mm256_set1_epi32(across.pairs[0]);
    const __m256i pairTaps23 = _mm256_set1_epi32(across.pairs[1]);
    const __m256i lastTap = _mm256_set1_epi32(across.pairs[2]);
    // Bytes a0 a1 a2 a3 b0 .. b3 of two pixels become a0 b0 a1 b1 a2 b2 a3 b3.
    const __m256i interleave =
        _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15, 0, 4, 1, 5, 2, 6, 3,
                         7, 8, 12, 9, 13, 10, 14, 11, 15);
    const __m256i zero = _mm256_setzero_si256();
    __m256i total = _mm256_setzero_si256();
    for (int32_t i = 0; i < kSpan; i += 2) {
        const uint8_t* upper = base + static_cast<size_t>(i) * rowBytes;
        // The fifth row pairs with itself under a zero weight.
        const bool pair = i + 1 < kSpan;
        const uint8_t* lower = pair ? upper + rowBytes : upper;
        const __m256i rows = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(upper))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower)), 1);
        const __m256i paired = _mm256_shuffle_epi8(rows, interleave);
        __m256i sums =
            _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi8(paired, zero), pairTaps01),
                             _mm256_madd_epi16(_mm256_unpackhi_epi8(paired, zero), pairTaps23));
        int32_t upperLast = 0;
        int32_t lowerLast = 0;
        std::memcpy(&upperLast, upper + 16, sizeof upperLast);
        std::memcpy(&lowerLast, lower + 16, sizeof lowerLast);
        const __m256i last = _mm256_cvtepu8_epi32(
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(upperLast), _mm_cvtsi32_si128(lowerLast)));
        sums = _mm256_add_epi32(sums, _mm256_madd_epi16(last, lastTap));
        // Rows i and i + 1 take taps i and i + 1 (the sixth is zero).
        const int32_t* downTaps = down.spread + static_cast<ptrdiff_t>(i) * 4;
        total = _mm256_add_epi32(
            total, _mm256_mullo_epi32(
                       sums, _mm256_load_si256(reinterpret_cast<const __m256i*>(downTaps))));
    }
    const __m128i both =
        _mm_add_epi32(_mm256_castsi256_si128(total), _mm256_extracti128_si256(total, 1));
    alignas(16) int32_t totals[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(totals), both);
    for (int c = 0; c < 4; ++c) {
        out[c] = static_cast<float>(totals[3 - c]) * kScale8Inverse;
    }
}

__attribute__((target("avx2"))) void rgba8BlockAvx2(const KernelTables& tables, AxisTap across,
                                                    AxisTap down, const uint8_t* base,
                                                    size_t rowBytes, float out[4]) {
    SpreadPhase8 acrossWeights;
    SpreadPhase8 downWeights;
    spreadPhase(tables, across.phase, &acrossWeights);
    spreadPhase(tables, down.phase, &downWeights);
    rgba8BlockAvx2Inline(acrossWeights, downWeights, base, rowBytes, out);
}

// The 16-bit kernel on a block in one tile, two rows per vector (one in
// each half). The scalar kernel's 64-bit sums are needed only for their
// range, not for their width: every sum here is formed modulo 2^32 (wrapping
// multiplies and adds), and a known bias keeps the true value of each inside
// 0..2^32, so the unsigned lane holds it exactly. With the shared tables (the
// only ones taken here, and checked by a test) a phase's weights add up to
// 32768, its positive ones to at most 35816 and its negative ones to at
// least -3048, and stored values are 0..65535:
//  - a row sum S lies in [-65535 x 3048, 65535 x 35816], about
//    [-2.0e8, 2.35e9]; S + 2^28 lies in [0, 2^32 - 32768).
//  - its quotient q, truncated toward zero, lies in [-6096, 71631]; the
//    vertical sum T of five of them lies in [-4.4e8, 2.6e9], and T + 2^29
//    in [0, 2^32).
// The row sums take the taps in pairs by 16-bit multiply-add, each value
// less 32768 (its top bit flipped) so that it fits a signed half, the
// weights (-1530..27910) as they are: S is the multiply-add sum plus 32768
// times the sum of the weights, 2^30. A pair's products stay below 2^31.
// Truncating S / 32768 toward zero: S is negative exactly when the biased
// lane is below 2^28, and then 32767 is added first, so the shift (a floor)
// rounds up; 2^28 / 32768 = 2^13 comes off the quotient afterwards.
constexpr uint32_t kRowBias16 = uint32_t{1} << 28;
constexpr uint32_t kTotalBias16 = uint32_t{1} << 29;
constexpr uint32_t kCentring16 = uint32_t{1} << 30; // 32768 x 32768

// Two weights as the halves of one 32-bit word, for multiply-add.
int32_t weightPair(int32_t low, int32_t high) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(low)) |
                                static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16);
}

// Sixteen bytes of each of two rows, the upper in the low half.
[[gnu::always_inline]] __attribute__((target("avx2"))) inline __m256i
twoRows(const uint8_t* upper, const uint8_t* lower) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(upper))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower)), 1);
}

[[gnu::always_inline]] __attribute__((target("avx2"))) inline void
rgba16BlockAvx2Inline(const KernelTables& tables, AxisTap across, AxisTap down, const uint8_t* base,
                      size_t rowBytes, float out[4]) {
    const auto acrossTap = [&](int32_t j) { return tables.b[tapOf(j)][across.phase]; };
    const __m256i taps01 = _mm256_set1_epi32(weightPair(acrossTap(0), acrossTap(1)));
    const __m256i taps23 = _mm256_set1_epi32(weightPair(acrossTap(2), acrossTap(3)));
    const __m256i tap4 = _mm256_set1_epi32(weightPair(acrossTap(4), 0));
    // Halves a0 a1 a2 a3 b0 b1 b2 b3 of two pixels become a0 b0 a1 b1 ...
    const __m256i interleave =
        _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9, 2, 3, 10,
                         11, 4, 5, 12, 13, 6, 7, 14, 15);
    const __m256i flip = _mm256_set1_epi16(static_cast<int16_t>(-32768));
    const __m256i rowBias = _mm256_set1_epi32(static_cast<int32_t>(kRowBias16 + kCentring16));
    const __m256i roundUp = _mm256_set1_epi32(kKernelScale16 - 1);
    const __m256i zero = _mm256_setzero_si256();
    __m256i total = _mm256_setzero_si256();
    for (int32_t i = 0; i < kSpan; i += 2) {
        const uint8_t* upper = base + static_cast<size_t>(i) * rowBytes;
        // The fifth row pairs with itself under a zero weight.
        const bool pair = i + 1 < kSpan;
        const uint8_t* lower = pair ? upper + rowBytes : upper;
        const __m256i pixels01 =
            _mm256_xor_si256(_mm256_shuffle_epi8(twoRows(upper, lower), interleave), flip);
        const __m256i pixels23 = _mm256_xor_si256(
            _mm256_shuffle_epi8(twoRows(upper + 16, lower + 16), interleave), flip);
        // The fifth pixel's halves with zeros between them: only the
        // values' halves are flipped.
        const __m256i pixel4 =
            _mm256_xor_si256(_mm256_cvtepu16_epi32(_mm_unpacklo_epi64(
                                 _mm_loadl_epi64(reinterpret_cast<const __m128i*>(upper + 32)),
                                 _mm_loadl_epi64(reinterpret_cast<const __m128i*>(lower + 32)))),
                             _mm256_set1_epi32(32768));
        const __m256i sums = _mm256_add_epi32(
            _mm256_add_epi32(rowBias, _mm256_madd_epi16(pixels01, taps01)),
            _mm256_add_epi32(_mm256_madd_epi16(pixels23, taps23), _mm256_madd_epi16(pixel4, tap4)));
        const __m256i negative = _mm256_cmpeq_epi32(_mm256_srli_epi32(sums, 28), zero);
        const __m256i quotients = _mm256_sub_epi32(
            _mm256_srli_epi32(_mm256_add_epi32(sums, _mm256_and_si256(negative, roundUp)), 15),
            _mm256_set1_epi32(static_cast<int32_t>(kRowBias16 / kKernelScale16)));
        const int32_t upperTap = tables.b[tapOf(i)][down.phase];
        const int32_t lowerTap = pair ? tables.b[tapOf(i + 1)][down.phase] : 0;
        total = _mm256_add_epi32(
            total, _mm256_mullo_epi32(quotients,
                                      _mm256_setr_epi32(upperTap, upperTap, upperTap, upperTap,
                                                        lowerTap, lowerTap, lowerTap, lowerTap)));
    }
    const __m128i both = _mm_add_epi32(
        _mm_add_epi32(_mm256_castsi256_si128(total), _mm256_extracti128_si256(total, 1)),
        _mm_set1_epi32(static_cast<int32_t>(kTotalBias16)));
    alignas(16) uint32_t totals[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(totals), both);
    for (int c = 0; c < 4; ++c) {
        const int64_t value = static_cast<int64_t>(totals[c]) - int64_t{kTotalBias16};
        out[c] = static_cast<float>(value) * kScale16Inverse;
    }
}

__attribute__((target("avx2"))) void rgba16BlockAvx2(const KernelTables& tables, AxisTap across,
                                                     AxisTap down, const uint8_t* base,
                                                     size_t rowBytes, float out[4]) {
    rgba16BlockAvx2Inline(tables, across, down, base, rowBytes, out);
}

// The same 16-bit kernel one row per SSE4.1 vector, the same biased sums.
[[gnu::always_inline]] __attribute__((target("sse4.1"))) inline void
rgba16BlockSse4Inline(const KernelTables& tables, AxisTap across, AxisTap down, const uint8_t* base,
                      size_t rowBytes, float out[4]) {
    const auto acrossTap = [&](int32_t j) { return tables.b[tapOf(j)][across.phase]; };
    const __m128i taps01 = _mm_set1_epi32(weightPair(acrossTap(0), acrossTap(1)));
    const __m128i taps23 = _mm_set1_epi32(weightPair(acrossTap(2), acrossTap(3)));
    const __m128i tap4 = _mm_set1_epi32(weightPair(acrossTap(4), 0));
    const __m128i flip = _mm_set1_epi16(static_cast<int16_t>(-32768));
    const __m128i rowBias = _mm_set1_epi32(static_cast<int32_t>(kRowBias16 + kCentring16));
    const __m128i roundUp = _mm_set1_epi32(kKernelScale16 - 1);
    const __m128i zero = _mm_setzero_si128();
    __m128i total = _mm_setzero_si128();
    for (int32_t i = 0; i < kSpan; ++i) {
        const uint8_t* row = base + static_cast<size_t>(i) * rowBytes;
        const auto pixel = [row](int32_t j) {
            return _mm_loadl_epi64(
                reinterpret_cast<const __m128i*>(row + static_cast<size_t>(j) * 8));
        };
        // Halves of pixels j and j + 1 side by side, channel by channel.
        const __m128i pixels01 = _mm_xor_si128(_mm_unpacklo_epi16(pixel(0), pixel(1)), flip);
        const __m128i pixels23 = _mm_xor_si128(_mm_unpacklo_epi16(pixel(2), pixel(3)), flip);
        const __m128i pixel4 =
            _mm_xor_si128(_mm_unpacklo_epi16(pixel(4), zero), _mm_set1_epi32(32768));
        const __m128i sums = _mm_add_epi32(
            _mm_add_epi32(rowBias, _mm_madd_epi16(pixels01, taps01)),
            _mm_add_epi32(_mm_madd_epi16(pixels23, taps23), _mm_madd_epi16(pixel4, tap4)));
        const __m128i negative = _mm_cmpeq_epi32(_mm_srli_epi32(sums, 28), zero);
        const __m128i quotients =
            _mm_sub_epi32(_mm_srli_epi32(_mm_add_epi32(sums, _mm_and_si128(negative, roundUp)), 15),
                          _mm_set1_epi32(static_cast<int32_t>(kRowBias16 / kKernelScale16)));
        total = _mm_add_epi32(
            total, _mm_mullo_epi32(quotients, _mm_set1_epi32(tables.b[tapOf(i)][down.phase])));
    }
    alignas(16) uint32_t totals[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(totals),
                    _mm_add_epi32(total, _mm_set1_epi32(static_cast<int32_t>(kTotalBias16))));
    for (int c = 0; c < 4; ++c) {
        const int64_t value = static_cast<int64_t>(totals[c]) - int64_t{kTotalBias16};
        out[c] = static_cast<float>(value) * kScale16Inverse;
    }
}

__attribute__((target("sse4.1"))) void rgba16BlockSse4(const KernelTables& tables, AxisTap across,
                                                       AxisTap down, const uint8_t* base,
                                                       size_t rowBytes, float out[4]) {
    rgba16BlockSse4Inline(tables, across, down, base, rowBytes, out);
}

// The float kernel on a block in one tile, the four channels of a pixel in
// one SSE2 vector (the x86-64 baseline): each channel takes the same
// products and sums, in the same order, as in the scalar kernel.
[[gnu::always_inline]] inline void rgbaFloatBlockSse2(const KernelTables& tables, AxisTap across,
                                                      AxisTap down, const uint8_t* base,
                                                      size_t rowBytes, float out[4]) {
    __m128 acrossTaps[kSpan];
    for (int32_t j = 0; j < kSpan; ++j) {
        acrossTaps[j] = _mm_set1_ps(tables.f[tapOf(j)][across.phase]);
    }
    __m128 total = _mm_setzero_ps();
    for (int32_t i = 0; i < kSpan; ++i) {
        const uint8_t* row = base + static_cast<size_t>(i) * rowBytes;
        __m128 rowSum = _mm_setzero_ps();
        for (int32_t j = 0; j < kSpan; ++j) {
            const __m128 pixel =
                _mm_loadu_ps(reinterpret_cast<const float*>(row + static_cast<size_t>(j) * 16));
            rowSum = _mm_add_ps(rowSum, _mm_mul_ps(pixel, acrossTaps[j]));
        }
        total = _mm_add_ps(total, _mm_mul_ps(_mm_set1_ps(tables.f[tapOf(i)][down.phase]), rowSum));
    }
    _mm_storeu_ps(out, total);
}
#endif

// The 8-bit kernel on a block in one tile, in the variant in force.
void rgba8Block(const KernelTables& tables, AxisTap across, AxisTap down, const uint8_t* base,
                size_t rowBytes, float out[4]) {
#ifdef LAKRA_HAVE_VECTOR_KERNELS
    switch (simdLevel()) {
    case SimdLevel::Avx2:
        rgba8BlockAvx2(tables, across, down, base, rowBytes, out);
        return;
    case SimdLevel::Sse4:
        rgba8BlockSse4(tables, across, down, base, rowBytes, out);
        return;
    case SimdLevel::Scalar:
        break;
    }
#endif
    Rgba8Kernel::run(
        tables, across, down,
        [&](int32_t i, int32_t j) {
            return base + static_cast<size_t>(i) * rowBytes + static_cast<size_t>(j) * 4;
        },
        out);
}

int32_t clampTo(int32_t value, int32_t largest) {
    return value < 0 ? 0 : (value > largest ? largest : value);
}

// A block that lies in one tile: its top-left pixel, where it sits in its
// level, and the step from one of its rows to the next.
struct BlockAt {
    const uint8_t* base;
    size_t rowBytes;
    size_t pixelBytes;
    int32_t level;
    int32_t left;
    int32_t top;
};

// How a lookup reads a block that lies in one tile: the kernel's own loop,
// or one of the 8-bit vector variants.
template <typename Kernel>
struct KernelBlock {
    void run(const KernelTables& tables, AxisTap across, AxisTap down, const BlockAt& at,
             float out[4]) {
        Kernel::run(
            tables, across, down,
            [&](int32_t i, int32_t j) {
                return at.base + static_cast<size_t>(i) * at.rowBytes +
                       static_cast<size_t>(j) * at.pixelBytes;
            },
            out);
    }
};

// The variant in force, chosen at each block.
struct DispatchedBlock8 {
    void run(const KernelTables& tables, AxisTap across, AxisTap down, const BlockAt& at,
             float out[4]) {
        rgba8Block(tables, across, down, at.base, at.rowBytes, out);
    }
};

#ifdef LAKRA_HAVE_VECTOR_KERNELS
// The 16-bit vector kernels, for a record with the shared tables (their sums
// are bounded by their weights); any other tables take the scalar kernel.
struct DispatchedBlock16 {
    void run(const KernelTables& tables, AxisTap across, AxisTap down, const BlockAt& at,
             float out[4]) {
        if (&tables == &kernelTables()) {
            switch (simdLevel()) {
            case SimdLevel::Avx2:
                rgba16BlockAvx2(tables, across, down, at.base, at.rowBytes, out);
                return;
            case SimdLevel::Sse4:
                rgba16BlockSse4(tables, across, down, at.base, at.rowBytes, out);
                return;
            case SimdLevel::Scalar:
                break;
            }
        }
        KernelBlock<Rgba16Kernel>().run(tables, across, down, at, out);
    }
};

// Inlined into the AVX2 row function, which has checked the tables.
struct Avx2Block16 {
    __attribute__((target("avx2"))) void run(const KernelTables& tables, AxisTap across,
                                             AxisTap down, const BlockAt& at, float out[4]) {
        rgba16BlockAvx2Inline(tables, across, down, at.base, at.rowBytes, out);
    }
};

struct Sse4Block16 {
    __attribute__((target("sse4.1"))) void run(const KernelTables& tables, AxisTap across,
                                               AxisTap down, const BlockAt& at, float out[4]) {
        rgba16BlockSse4Inline(tables, across, down, at.base, at.rowBytes, out);
    }
};

// The float kernel four channels at a time in the vector variants, the
// scalar loop in the scalar one.
struct DispatchedBlockFloat {
    void run(const KernelTables& tables, AxisTap across, AxisTap down, const BlockAt& at,
             float out[4]) {
        if (simdLevel() != SimdLevel::Scalar) {
            rgbaFloatBlockSse2(tables, across, down, at.base, at.rowBytes, out);
            return;
        }
        KernelBlock<RgbaFloatKernel>().run(tables, across, down, at, out);
    }
};

struct Sse2BlockFloat {
    void run(const KernelTables& tables, AxisTap across, AxisTap down, const BlockAt& at,
             float out[4]) {
        rgbaFloatBlockSse2(tables, across, down, at.base, at.rowBytes, out);
    }
};
#else
using DispatchedBlock16 = KernelBlock<Rgba16Kernel>;
using DispatchedBlockFloat = KernelBlock<RgbaFloatKernel>;
#endif

#ifdef LAKRA_HAVE_VECTOR_KERNELS
struct Sse4Block8 {
    void run(const KernelTables& tables, AxisTap across, AxisTap down, const BlockAt& at,
             float out[4]) {
        rgba8BlockSse4(tables, across, down, at.base, at.rowBytes, out);
    }
};

constexpr int32_t kSharedColumns = 256;

// The AVX2 kernel for a row of points. Points that read the same five rows
// with the same vertical weights one after another (every point above the
// water line does, at both of its levels) share the columns' vertical sums:
// each column is summed once, and each point weighs its five columns. The
// sums are exact integers however they are grouped (see above), so this is
// the block's result. A point that starts no run takes the whole block.
// Inlined into the AVX2 row function (the only user), which shares its target.
struct SharedColumnsBlock8 {
    const SpreadWeights8* weights = nullptr; // the row's tables, laid out
    int32_t level = -1;                      // the rows and weights of the current run
    int32_t top = 0;
    int32_t phase = -1;
    bool shared = false; // the columns first..end-1 are summed
    int32_t first = 0;
    int32_t end = 0;
    alignas(32) int32_t sums[kSharedColumns + 1][4];

    __attribute__((target("avx2"))) void run(const KernelTables& /*tables*/, AxisTap across,
                                             AxisTap down, const BlockAt& at, float out[4]) {
        const int32_t right = at.left + kSpan;
        if (at.level != level || at.top != top || down.phase != phase) {
            level = at.level;
            top = at.top;
            phase = down.phase;
            shared = false;
            rgba8BlockAvx2Inline(weights->phases[across.phase], weights->phases[down.phase],
                                 at.base, at.rowBytes, out);
            return;
        }
        if (!shared || at.left < first || at.left > end || right - first > kSharedColumns) {
            shared = true;
            first = at.left;
            end = at.left;
        }
        if (end < right) {
            sumColumns(at, end, right);
            end = right;
        }
        const int32_t* spread = weights->phases[across.phase].spread;
        const int32_t* column = sums[at.left - first];
        const __m256i pairs01 =
            _mm256_mullo_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(column)),
                               _mm256_load_si256(reinterpret_cast<const __m256i*>(spread)));
        const __m256i pairs23 =
            _mm256_mullo_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(column + 8)),
                               _mm256_load_si256(reinterpret_cast<const __m256i*>(spread + 8)));
        const __m256i both = _mm256_add_epi32(pairs01, pairs23);
        __m128i total =
            _mm_add_epi32(_mm256_castsi256_si128(both), _mm256_extracti128_si256(both, 1));
        total = _mm_add_epi32(
            total, _mm_mullo_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(column + 16)),
                                   _mm_load_si128(reinterpret_cast<const __m128i*>(spread + 16))));
        alignas(16) int32_t totals[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(totals), total);
        for (int c = 0; c < 4; ++c) {
            out[c] = static_cast<float>(totals[3 - c]) * kScale8Inverse;
        }
    }

    // Vertical sums of columns from..to-1, all of them inside the block at
    // `at`, rows paired for multiply-add as in the block kernel.
    __attribute__((target("avx2"))) void sumColumns(const BlockAt& at, int32_t from, int32_t to) {
        const SpreadPhase8& down = weights->phases[phase];
        const __m128i taps01 = _mm_set1_epi32(down.pairs[0]);
        const __m128i taps23 = _mm_set1_epi32(down.pairs[1]);
        const __m128i tap4 = _mm_set1_epi32(down.pairs[2]);
        const auto word = [&](int32_t row, int32_t column) {
            int32_t value = 0;
            std::memcpy(&value,
                        at.base + static_cast<size_t>(row) * at.rowBytes +
                            static_cast<size_t>(column - at.left) * 4,
                        sizeof value);
            return _mm_cvtsi32_si128(value);
        };
        for (int32_t column = from; column < to; ++column) {
            // Bytes of rows 0 and 1 interleaved, widened: (r0, r1) per lane.
            const __m128i rows01 =
                _mm_cvtepu8_epi16(_mm_unpacklo_epi8(word(0, column), word(1, column)));
            const __m128i rows23 =
                _mm_cvtepu8_epi16(_mm_unpacklo_epi8(word(2, column), word(3, column)));
            const __m128i row4 = _mm_cvtepu8_epi32(word(4, column));
            const __m128i sum = _mm_add_epi32(
                _mm_add_epi32(_mm_madd_epi16(rows01, taps01), _mm_madd_epi16(rows23, taps23)),
                _mm_madd_epi16(row4, tap4));
            _mm_store_si128(reinterpret_cast<__m128i*>(sums[column - first]), sum);
        }
    }
};
#endif

template <typename Kernel, typename Block>
[[gnu::always_inline]] inline void lookup(const ImagePyramid* pyramid, const KernelTables& tables,
                                          int32_t level, AxisTap across, AxisTap down,
                                          bool allowDirect, Block& block, float out[4]) {
    const int32_t left = across.whole - kReach;
    const int32_t top = down.whole - kReach;
    const auto pixelBytes = static_cast<size_t>(pyramid->bytesPerPixel);
    if (allowDirect && left >= 0 && top >= 0 && left + kSpan - 1 <= pyramid->largestX[level] &&
        top + kSpan - 1 <= pyramid->largestY[level] && (left & kTileMask) <= kTileSize - kSpan &&
        (top & kTileMask) <= kTileSize - kSpan) {
        // The block lies in one tile: read its five rows straight from it.
        const PyramidTile& tile =
            pyramid->tiles[pyramid->levelTilesAcross[level] * (top >> kTileShift) +
                           pyramid->levelFirstTile[level] + (left >> kTileShift)];
        const BlockAt at{pixelAddress(left, top, pyramid, level),
                         static_cast<size_t>(tile.width) * pixelBytes,
                         pixelBytes,
                         level,
                         left,
                         top};
        block.run(tables, across, down, at, out);
        return;
    }
    int32_t columns[kSpan];
    int32_t rows[kSpan];
    for (int32_t k = 0; k < kSpan; ++k) {
        columns[k] = clampTo(left + k, pyramid->largestX[level]);
        rows[k] = clampTo(top + k, pyramid->largestY[level]);
    }
    Kernel::run(
        tables, across, down,
        [&](int32_t i, int32_t j) -> const uint8_t* {
            return pixelAddress(columns[j], rows[i], pyramid, level);
        },
        out);
}

const KernelTables& tablesOf(const ImagePyramid* pyramid) {
    return pyramid->kernels != nullptr ? *pyramid->kernels : kernelTables();
}

void sampleLevel(const ImagePyramid* pyramid, int32_t level, float x, float y, bool allowDirect,
                 float out[4]) {
    if (pyramid == nullptr || pyramid->tiles == nullptr || level < 0 || level > pyramid->maxLevel) {
        out[0] = out[1] = out[2] = out[3] = 0.0f;
        return;
    }
    const AxisTap across = axisTap(x);
    const AxisTap down = axisTap(y);
    switch (pyramid->format) {
    case PixelFormat::Rgba8: {
        DispatchedBlock8 block;
        lookup<Rgba8Kernel>(pyramid, tablesOf(pyramid), level, across, down, allowDirect, block,
                            out);
        return;
    }
    case PixelFormat::Rgba16: {
        DispatchedBlock16 block;
        lookup<Rgba16Kernel>(pyramid, tablesOf(pyramid), level, across, down, allowDirect, block,
                             out);
        return;
    }
    case PixelFormat::RgbaFloat: {
        DispatchedBlockFloat block;
        lookup<RgbaFloatKernel>(pyramid, tablesOf(pyramid), level, across, down, allowDirect, block,
                                out);
        return;
    }
    }
    out[0] = out[1] = out[2] = out[3] = 0.0f;
}

// sampleTrilinear over a row of points, in the same steps: the level
// clamped, the two lookups, the blend towards the smaller level and the
// scaling, each float operation in the same order. The caller has checked
// that the record has tiles and at least two levels.
// sampleTrilinear over a row of points, in the same steps: the level
// clamped, the two lookups, the blend towards the smaller level and the
// scaling, each float operation in the same order. The caller has checked
// that the record has tiles and at least two levels. Each of the two
// lookups has its own block reader, which may keep what it shares between
// points.
template <typename Kernel, typename Block>
[[gnu::always_inline]] inline void trilinearRowWith(const ImagePyramid* pyramid,
                                                    const TrilinearRow& row, Block& larger,
                                                    Block& smaller, float (*out)[4]) {
    const KernelTables& tables = tablesOf(pyramid);
    const int32_t finest = pyramid->maxLevel - 1;
    const float invScale = pyramid->invScale;
    for (int32_t i = 0; i < row.count; ++i) {
        int32_t level = row.levels[i];
        level = level < 0 ? 0 : (level > finest ? finest : level);
        const float u = row.us[i];
        const float v = row.vs[i];
        float value[4];
        lookup<Kernel>(
            pyramid, tables, level, axisTap(static_cast<float>(pyramid->width[level]) * u - 0.5f),
            axisTap(static_cast<float>(pyramid->height[level]) * v - 0.5f), true, larger, value);
        const float fraction = row.fractions[i];
        if (fraction != 0.0f) {
            const int32_t next = level + 1;
            float next4[4];
            lookup<Kernel>(pyramid, tables, next,
                           axisTap(static_cast<float>(pyramid->width[next]) * u - 0.5f),
                           axisTap(static_cast<float>(pyramid->height[next]) * v - 0.5f), true,
                           smaller, next4);
            for (int c = 0; c < 4; ++c) {
                value[c] = value[c] + (next4[c] - value[c]) * fraction;
            }
        }
        for (int c = 0; c < 4; ++c) {
            out[i][c] = value[c] * invScale;
        }
    }
}

template <typename Kernel, typename Block>
void trilinearRowStateless(const ImagePyramid* pyramid, const TrilinearRow& row, float (*out)[4]) {
    Block block;
    trilinearRowWith<Kernel>(pyramid, row, block, block, out);
}

#ifdef LAKRA_HAVE_VECTOR_KERNELS
__attribute__((target("avx2"))) void trilinearRowAvx2(const ImagePyramid* pyramid,
                                                      const TrilinearRow& row,
                                                      const SpreadWeights8& weights,
                                                      float (*out)[4]) {
    SharedColumnsBlock8 larger;
    SharedColumnsBlock8 smaller;
    larger.weights = &weights;
    smaller.weights = &weights;
    trilinearRowWith<Rgba8Kernel>(pyramid, row, larger, smaller, out);
}

__attribute__((target("avx2"))) void trilinearRow16Avx2(const ImagePyramid* pyramid,
                                                        const TrilinearRow& row, float (*out)[4]) {
    Avx2Block16 block;
    trilinearRowWith<Rgba16Kernel>(pyramid, row, block, block, out);
}

__attribute__((target("sse4.1"))) void
trilinearRow16Sse4(const ImagePyramid* pyramid, const TrilinearRow& row, float (*out)[4]) {
    Sse4Block16 block;
    trilinearRowWith<Rgba16Kernel>(pyramid, row, block, block, out);
}
#endif

} // namespace

void sampleLevel5x5(const ImagePyramid* pyramid, int32_t level, float x, float y, float out[4]) {
    sampleLevel(pyramid, level, x, y, true, out);
}

void sampleLevel5x5Clamped(const ImagePyramid* pyramid, int32_t level, float x, float y,
                           float out[4]) {
    sampleLevel(pyramid, level, x, y, false, out);
}

void sampleTrilinear(const ImagePyramid* pyramid, int32_t level, float fraction, float u, float v,
                     float out[4]) {
    if (pyramid == nullptr || pyramid->maxLevel < 1) {
        out[0] = out[1] = out[2] = out[3] = 0.0f;
        return;
    }
    level = level < 0 ? 0 : (level > pyramid->maxLevel - 1 ? pyramid->maxLevel - 1 : level);
    float value[4];
    sampleLevel5x5(pyramid, level, static_cast<float>(pyramid->width[level]) * u - 0.5f,
                   static_cast<float>(pyramid->height[level]) * v - 0.5f, value);
    if (fraction != 0.0f) {
        const int32_t next = level + 1;
        float smaller[4];
        sampleLevel5x5(pyramid, next, static_cast<float>(pyramid->width[next]) * u - 0.5f,
                       static_cast<float>(pyramid->height[next]) * v - 0.5f, smaller);
        for (int c = 0; c < 4; ++c) {
            value[c] = value[c] + (smaller[c] - value[c]) * fraction;
        }
    }
    for (int c = 0; c < 4; ++c) {
        out[c] = value[c] * pyramid->invScale;
    }
}

void sampleTrilinearRow(const ImagePyramid* pyramid, const TrilinearRow& row, float (*out)[4]) {
    const bool known = pyramid != nullptr && (pyramid->format == PixelFormat::Rgba8 ||
                                              pyramid->format == PixelFormat::Rgba16 ||
                                              pyramid->format == PixelFormat::RgbaFloat);
    if (!known || pyramid->maxLevel < 1 || pyramid->tiles == nullptr) {
        for (int32_t i = 0; i < row.count; ++i) {
            sampleTrilinear(pyramid, row.levels[i], row.fractions[i], row.us[i], row.vs[i], out[i]);
        }
        return;
    }
    switch (pyramid->format) {
    case PixelFormat::Rgba8:
#ifdef LAKRA_HAVE_VECTOR_KERNELS
        switch (simdLevel()) {
        case SimdLevel::Avx2:
            // Tables of its own (never the case in a render) take the
            // block at a time, which lays out its weights per block.
            if (&tablesOf(pyramid) == &kernelTables()) {
                trilinearRowAvx2(pyramid, row, sharedSpreadWeights(), out);
            } else {
                trilinearRowStateless<Rgba8Kernel, DispatchedBlock8>(pyramid, row, out);
            }
            return;
        case SimdLevel::Sse4:
            trilinearRowStateless<Rgba8Kernel, Sse4Block8>(pyramid, row, out);
            return;
        case SimdLevel::Scalar:
            break;
        }
#endif
        trilinearRowStateless<Rgba8Kernel, KernelBlock<Rgba8Kernel>>(pyramid, row, out);
        return;
    case PixelFormat::Rgba16:
#ifdef LAKRA_HAVE_VECTOR_KERNELS
        // The vector kernels' bounds hold for the shared tables only.
        if (&tablesOf(pyramid) == &kernelTables()) {
            switch (simdLevel()) {
            case SimdLevel::Avx2:
                trilinearRow16Avx2(pyramid, row, out);
                return;
            case SimdLevel::Sse4:
                trilinearRow16Sse4(pyramid, row, out);
                return;
            case SimdLevel::Scalar:
                break;
            }
        }
#endif
        trilinearRowStateless<Rgba16Kernel, KernelBlock<Rgba16Kernel>>(pyramid, row, out);
        return;
    case PixelFormat::RgbaFloat:
#ifdef LAKRA_HAVE_VECTOR_KERNELS
        if (simdLevel() != SimdLevel::Scalar) {
            trilinearRowStateless<RgbaFloatKernel, Sse2BlockFloat>(pyramid, row, out);
            return;
        }
#endif
        trilinearRowStateless<RgbaFloatKernel, KernelBlock<RgbaFloatKernel>>(pyramid, row, out);
        return;
    }
}

} // namespace lakra
