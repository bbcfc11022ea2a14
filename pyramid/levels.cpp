#include "pyramid/levels.h"

#include "driver/workPlan.h"
#include "pyramid/pyramid.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lakra {

// 8-bit pixels are read byte by byte in the stored order of the packed word.
static_assert(std::endian::native == std::endian::little);

namespace {

// The reduction kernel: the outer product of [1, 16, 64, 64, 16, 1] with
// itself divided by 16, without its four corners (1/16 each). Rows and
// columns 2y-2..2y+3 and 2x-2..2x+3 of the level below; the weights sum to
// 1640. Listed rows outer, columns inner, the order the sums are formed in.
struct ReduceTap {
    int32_t row;
    int32_t column;
    int32_t weight;
};

// clang-format off
constexpr ReduceTap kReduceTaps[] = {
                 {0, 1, 1},   {0, 2, 4},   {0, 3, 4},   {0, 4, 1},
    {1, 0, 1},   {1, 1, 16},  {1, 2, 64},  {1, 3, 64},  {1, 4, 16},  {1, 5, 1},
    {2, 0, 4},   {2, 1, 64},  {2, 2, 256}, {2, 3, 256}, {2, 4, 64},  {2, 5, 4},
    {3, 0, 4},   {3, 1, 64},  {3, 2, 256}, {3, 3, 256}, {3, 4, 64},  {3, 5, 4},
    {4, 0, 1},   {4, 1, 16},  {4, 2, 64},  {4, 3, 64},  {4, 4, 16},  {4, 5, 1},
                 {5, 1, 1},   {5, 2, 4},   {5, 3, 4},   {5, 4, 1},
};
// clang-format on

constexpr int32_t kReduceSpan = 6;

// The integer formats divide by 1630 rather than by the weight sum 1640, so
// their levels come out about 0.6 % brighter before the clamp; images have
// always been built that way and their looks depend on it.
constexpr float kIntegerNorm = 1.0f / 1630.0f;
constexpr float kFloatNorm = 1.0f / 1640.0f;
constexpr float kFloatLargest = 65535.0f;

// Exact integer sums (below 2^24 for 8-bit values), formed by reduceBand8.
// Lanes follow the bytes of the stored word: byte 0 is channel 3, byte 3
// channel 0.
struct Rgba8Sum {
    int32_t sums[4] = {};

    void store(uint8_t* pixel) const {
        for (int lane = 0; lane < 4; ++lane) {
            float value = static_cast<float>(sums[lane]) * kIntegerNorm;
            value = value > 255.0f ? 255.0f : value;
            pixel[lane] = static_cast<uint8_t>(value);
        }
    }
};

// Each tap is added in single precision: every partial sum is a whole
// number, so a float accumulator gives the same values, including the low
// bits lost once a sum passes 2^24. The taps are added in the listed order.
#if defined(__SSE2__)
// The four channels in one SSE2 vector (the x86-64 baseline), each taking
// the scalar steps: a value times its weight is below 65536 x 256 = 2^24,
// so the float product is the exact integer one.
struct Rgba16Sum {
    __m128 sums = _mm_setzero_ps();

    void add(const uint8_t* pixel, int32_t weight) {
        const __m128i values = _mm_unpacklo_epi16(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixel)), _mm_setzero_si128());
        sums = _mm_add_ps(
            sums, _mm_mul_ps(_mm_cvtepi32_ps(values), _mm_set1_ps(static_cast<float>(weight))));
    }

    // Not negative and at most full scale once clamped: as 16-bit halves
    // the values less 32768 fit signed ones, and the top bit puts them back.
    void store(uint8_t* pixel) const {
        const __m128 value = _mm_min_ps(_mm_mul_ps(sums, _mm_set1_ps(kIntegerNorm)),
                                        _mm_set1_ps(static_cast<float>(kRgba16Scale)));
        const __m128i shifted =
            _mm_sub_epi32(_mm_cvttps_epi32(value), _mm_set1_epi32(kRgba16Scale));
        const __m128i halves = _mm_xor_si128(_mm_packs_epi32(shifted, shifted),
                                             _mm_set1_epi16(static_cast<int16_t>(-32768)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixel), halves);
    }
};

struct RgbaFloatSum {
    __m128 sums = _mm_setzero_ps();

    void add(const uint8_t* pixel, int32_t weight) {
        sums = _mm_add_ps(sums, _mm_mul_ps(_mm_loadu_ps(reinterpret_cast<const float*>(pixel)),
                                           _mm_set1_ps(static_cast<float>(weight))));
    }

    // NaN, which a high-dynamic-range host image may hold, becomes 0 like
    // any other value below the range (the comparison is false for it).
    void store(uint8_t* pixel) const {
        const __m128 value = _mm_mul_ps(sums, _mm_set1_ps(kFloatNorm));
        const __m128 above = _mm_and_ps(_mm_cmpgt_ps(value, _mm_setzero_ps()), value);
        _mm_storeu_ps(reinterpret_cast<float*>(pixel),
                      _mm_min_ps(above, _mm_set1_ps(kFloatLargest)));
    }
};
#else
struct Rgba16Sum {
    float sums[4] = {};

    void add(const uint8_t* pixel, int32_t weight) {
        uint16_t values[4];
        std::memcpy(values, pixel, sizeof values);
        for (int c = 0; c < 4; ++c) {
            sums[c] += static_cast<float>(static_cast<int32_t>(values[c]) * weight);
        }
    }

    void store(uint8_t* pixel) const {
        uint16_t values[4];
        for (int c = 0; c < 4; ++c) {
            float value = sums[c] * kIntegerNorm;
            value =
                value > static_cast<float>(kRgba16Scale) ? static_cast<float>(kRgba16Scale) : value;
            values[c] = static_cast<uint16_t>(value);
        }
        std::memcpy(pixel, values, sizeof values);
    }
};

struct RgbaFloatSum {
    float sums[4] = {};

    void add(const uint8_t* pixel, int32_t weight) {
        float values[4];
        std::memcpy(values, pixel, sizeof values);
        for (int c = 0; c < 4; ++c) {
            sums[c] += values[c] * static_cast<float>(weight);
        }
    }

    // NaN, which a high-dynamic-range host image may hold, becomes 0 like
    // any other value below the range.
    void store(uint8_t* pixel) const {
        float values[4];
        for (int c = 0; c < 4; ++c) {
            const float value = sums[c] * kFloatNorm;
            values[c] = !(value > 0.0f) ? 0.0f : (value > kFloatLargest ? kFloatLargest : value);
        }
        std::memcpy(pixel, values, sizeof values);
    }
};
#endif

template <typename Sum, typename Fetch>
void reducePixel(uint8_t* destination, Fetch fetch) {
    Sum sum;
    for (const ReduceTap& tap : kReduceTaps) {
        sum.add(fetch(tap.row, tap.column), tap.weight);
    }
    sum.store(destination);
}

// Neighbouring pixels of a row at once, their blocks in one tile two
// columns apart from `base` on: each pixel's taps in the listed order, the
// pixels' sums side by side so that their additions overlap.
constexpr int32_t kReduceGroup = 4;

template <typename Sum>
void reduceGroup(uint8_t* const destinations[kReduceGroup], const uint8_t* base, size_t rowBytes,
                 size_t pixelBytes) {
    Sum sums[kReduceGroup];
    for (const ReduceTap& tap : kReduceTaps) {
        const uint8_t* at = base + static_cast<size_t>(tap.row) * rowBytes +
                            static_cast<size_t>(tap.column) * pixelBytes;
        for (int32_t k = 0; k < kReduceGroup; ++k) {
            sums[k].add(at + static_cast<size_t>(2 * k) * pixelBytes, tap.weight);
        }
    }
    for (int32_t k = 0; k < kReduceGroup; ++k) {
        sums[k].store(destinations[k]);
    }
}

int32_t clampTo(int32_t value, int32_t largest) {
    return value < 0 ? 0 : (value > largest ? largest : value);
}

template <typename Sum>
void reduceBand(ImagePyramid* pyramid, int32_t level, const PixelRect& rect) {
    const int32_t largestX = pyramid->largestX[level];
    const int32_t largestY = pyramid->largestY[level];
    const auto pixelBytes = static_cast<size_t>(pyramid->bytesPerPixel);
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        const int32_t top = 2 * y - 2;
        int32_t rows[kReduceSpan];
        for (int32_t i = 0; i < kReduceSpan; ++i) {
            rows[i] = clampTo(top + i, largestY);
        }
        const bool rowsInTile =
            top >= 0 && top + kReduceSpan - 1 <= largestY && (top & kTileMask) <= kTileSize - 6;
        // Whether the 6 x 6 block of the pixel whose block starts at
        // column `left` lies in one tile.
        const auto inTile = [&](int32_t left) {
            return rowsInTile && left >= 0 && left + kReduceSpan - 1 <= largestX &&
                   (left & kTileMask) <= kTileSize - 6;
        };
        for (int32_t x = rect.left; x < rect.right;) {
            const int32_t left = 2 * x - 2;
            const int32_t groupLeft = left + 2 * (kReduceGroup - 1);
            if (x + kReduceGroup <= rect.right && inTile(left) && inTile(groupLeft) &&
                (left >> kTileShift) == (groupLeft >> kTileShift)) {
                // The blocks of the group's pixels lie in one tile: walk
                // their rows side by side.
                const PyramidTile& tile =
                    pyramid->tiles[pyramid->levelTilesAcross[level] * (top >> kTileShift) +
                                   pyramid->levelFirstTile[level] + (left >> kTileShift)];
                uint8_t* destinations[kReduceGroup];
                for (int32_t k = 0; k < kReduceGroup; ++k) {
                    destinations[k] = pixelAddress(x + k, y, pyramid, level + 1);
                }
                reduceGroup<Sum>(destinations, pixelAddress(left, top, pyramid, level),
                                 static_cast<size_t>(tile.width) * pixelBytes, pixelBytes);
                x += kReduceGroup;
                continue;
            }
            uint8_t* destination = pixelAddress(x, y, pyramid, level + 1);
            if (inTile(left)) {
                // The whole 6 x 6 block lies in one tile: walk its rows.
                const PyramidTile& tile =
                    pyramid->tiles[pyramid->levelTilesAcross[level] * (top >> kTileShift) +
                                   pyramid->levelFirstTile[level] + (left >> kTileShift)];
                const uint8_t* base = pixelAddress(left, top, pyramid, level);
                const size_t rowBytes = static_cast<size_t>(tile.width) * pixelBytes;
                reducePixel<Sum>(destination, [&](int32_t i, int32_t j) {
                    return base + static_cast<size_t>(i) * rowBytes +
                           static_cast<size_t>(j) * pixelBytes;
                });
            } else {
                int32_t columns[kReduceSpan];
                for (int32_t j = 0; j < kReduceSpan; ++j) {
                    columns[j] = clampTo(left + j, largestX);
                }
                reducePixel<Sum>(destination, [&](int32_t i, int32_t j) -> const uint8_t* {
                    return pixelAddress(columns[j], rows[i], pyramid, level);
                });
            }
            ++x;
        }
    }
}

// The 8-bit reduction in two passes. The kernel is the outer product of
// a = [1, 16, 64, 64, 16, 1] with itself, over 16, less its corners, so a
// pixel's tap sum equals (sum over i, j of a[i] a[j] p[i][j], less the four
// corner pixels) / 16: every kept product a[i] a[j] is a multiple of 16, the
// whole sum stays below 2^23, and the division is exact. The column sums
// over the six rows (at most 162 x 255, which fits 16 bits) are shared by
// the neighbouring pixels that read the same columns.
constexpr int32_t kReduceChunk = 128; // pixels of the next level per pass

inline int32_t weighted6(int32_t p0, int32_t p1, int32_t p2, int32_t p3, int32_t p4, int32_t p5) {
    return p0 + p5 + 16 * (p1 + p4) + 64 * (p2 + p3);
}

void reduceBand8(ImagePyramid* pyramid, int32_t level, const PixelRect& rect) {
    const int32_t largestX = pyramid->largestX[level];
    const int32_t largestY = pyramid->largestY[level];
    // Column sums of the chunk's columns, four lanes each, in stored order.
    uint16_t columnSums[(2 * kReduceChunk + kReduceSpan) * 4];
    // The first and last rows' pixels added, for the corners.
    uint16_t columnEnds[(2 * kReduceChunk + kReduceSpan) * 4];
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        const int32_t top = 2 * y - 2;
        int32_t rows[kReduceSpan];
        for (int32_t i = 0; i < kReduceSpan; ++i) {
            rows[i] = clampTo(top + i, largestY);
        }
        for (int32_t first = rect.left; first < rect.right; first += kReduceChunk) {
            const int32_t last =
                first + kReduceChunk < rect.right ? first + kReduceChunk : rect.right;
            // Columns 2 first - 2 .. 2 last + 1, clamped, are all that is read.
            const int32_t lowest = clampTo(2 * first - 2, largestX);
            const int32_t highest = clampTo(2 * last + 1, largestX);
            for (int32_t column = lowest; column <= highest;) {
                const int32_t tileEnd = (column | kTileMask) + 1;
                const int32_t end = tileEnd <= highest ? tileEnd : highest + 1;
                const uint8_t* r[kReduceSpan];
                for (int32_t i = 0; i < kReduceSpan; ++i) {
                    r[i] = pixelAddress(column, rows[i], pyramid, level);
                }
                uint16_t* sums = columnSums + static_cast<size_t>(column - lowest) * 4;
                uint16_t* ends = columnEnds + static_cast<size_t>(column - lowest) * 4;
                const int32_t bytes = (end - column) * 4;
                for (int32_t k = 0; k < bytes; ++k) {
                    sums[k] = static_cast<uint16_t>(
                        weighted6(r[0][k], r[1][k], r[2][k], r[3][k], r[4][k], r[5][k]));
                    ends[k] = static_cast<uint16_t>(r[0][k] + r[5][k]);
                }
                column = end;
            }
            for (int32_t x = first; x < last; ++x) {
                const int32_t left = 2 * x - 2;
                int32_t at[kReduceSpan];
                for (int32_t j = 0; j < kReduceSpan; ++j) {
                    at[j] = (clampTo(left + j, largestX) - lowest) * 4;
                }
#if defined(__SSE2__)
                // The four lanes at once (SSE2 is the x86-64 baseline): the
                // same integer sums, and Rgba8Sum::store's float steps.
                const __m128i zero = _mm_setzero_si128();
                const auto lanes = [&](const uint16_t* sums, int32_t j) {
                    return _mm_unpacklo_epi16(
                        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(sums + at[j])), zero);
                };
                const __m128i whole = _mm_add_epi32(
                    _mm_add_epi32(
                        _mm_add_epi32(lanes(columnSums, 0), lanes(columnSums, 5)),
                        _mm_slli_epi32(_mm_add_epi32(lanes(columnSums, 1), lanes(columnSums, 4)),
                                       4)),
                    _mm_slli_epi32(_mm_add_epi32(lanes(columnSums, 2), lanes(columnSums, 3)), 6));
                const __m128i corners = _mm_add_epi32(lanes(columnEnds, 0), lanes(columnEnds, 5));
                // Not negative, and a multiple of 16: the shift divides exactly.
                const __m128i sums = _mm_srai_epi32(_mm_sub_epi32(whole, corners), 4);
                const __m128 value =
                    _mm_min_ps(_mm_mul_ps(_mm_cvtepi32_ps(sums), _mm_set1_ps(kIntegerNorm)),
                               _mm_set1_ps(255.0f));
                const __m128i words = _mm_cvttps_epi32(value);
                const int32_t packed =
                    _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(words, zero), zero));
                std::memcpy(pixelAddress(x, y, pyramid, level + 1), &packed, sizeof packed);
#else
                Rgba8Sum sum;
                for (int lane = 0; lane < 4; ++lane) {
                    const int32_t whole =
                        weighted6(columnSums[at[0] + lane], columnSums[at[1] + lane],
                                  columnSums[at[2] + lane], columnSums[at[3] + lane],
                                  columnSums[at[4] + lane], columnSums[at[5] + lane]);
                    const int32_t corners = columnEnds[at[0] + lane] + columnEnds[at[5] + lane];
                    sum.sums[lane] = (whole - corners) / 16;
                }
                sum.store(pixelAddress(x, y, pyramid, level + 1));
#endif
            }
        }
    }
}

// Every pixel of level `level` + 1 inside rect (clipped to that level) from
// the 6 x 6 neighbourhood of level `level`, edge pixels repeated. Nothing
// happens when `level` + 1 is above maxLevel.
void buildLevelBand(ImagePyramid* pyramid, int32_t level, const PixelRect& rect) {
    if (pyramid == nullptr || pyramid->tiles == nullptr || level < 0 ||
        level + 1 > pyramid->maxLevel) {
        return;
    }
    PixelRect clipped = rect;
    clipped.top = clipped.top < 0 ? 0 : clipped.top;
    clipped.left = clipped.left < 0 ? 0 : clipped.left;
    clipped.bottom =
        clipped.bottom > pyramid->height[level + 1] ? pyramid->height[level + 1] : clipped.bottom;
    clipped.right =
        clipped.right > pyramid->width[level + 1] ? pyramid->width[level + 1] : clipped.right;
    switch (pyramid->format) {
    case PixelFormat::Rgba8:
        reduceBand8(pyramid, level, clipped);
        break;
    case PixelFormat::Rgba16:
        reduceBand<Rgba16Sum>(pyramid, level, clipped);
        break;
    case PixelFormat::RgbaFloat:
        reduceBand<RgbaFloatSum>(pyramid, level, clipped);
        break;
    }
}

// What one driver run of a level build carries: level `level` + 1 of the
// target is made from level `level`, over `rect` (the whole level).
struct BuildLevelJob {
    ImagePyramid* target = nullptr;
    int32_t level = 0;
    PixelRect rect{};
};

void buildLevelWork(Job* job) {
    const auto* build = static_cast<const BuildLevelJob*>(job->request.context);
    buildLevelBand(build->target, build->level, job->unit);
}

// Workers write their unit of the next level straight into the record: the
// job needs no cells and never asks the host.
constexpr JobOps kBuildLevelOps = {nullptr, buildLevelWork, nullptr, 0};

} // namespace

Result buildLevels(ImagePyramid* pyramid, int32_t processors, RenderStats* stats) {
    RenderStats total{};
    Result result = noErr;
    if (pyramid != nullptr && pyramid->tiles != nullptr) {
        // No host and no pass: a level build reports no progress, asks
        // the host nothing and always runs to the end.
        RenderContext context{};
        context.processors = processors > 0 ? processors : 0;
        // Level L + 1 is read to make L + 2, so each level's run ends before
        // the next begins.
        for (int32_t level = 0; level < pyramid->maxLevel && result == noErr; ++level) {
            BuildLevelJob build;
            build.target = pyramid;
            build.level = level;
            build.rect = levelRect(pyramid, level + 1);
            const RenderRequest request{&kBuildLevelOps, build.rect, 1, &build};
            RenderStats run{};
            result = render(context, request, kLayoutTiles, &run);
            total.count += run.count;
            total.started += run.started;
            total.finished += run.finished;
            total.finishedPixels += run.finishedPixels;
            total.threads = run.threads > total.threads ? run.threads : total.threads;
        }
    }
    if (stats != nullptr) {
        *stats = total;
    }
    return result;
}

} // namespace lakra
