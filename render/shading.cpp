#include "render/shading.h"

#include "blend/blend.h"
#include "pyramid/pyramid.h"
#include "pyramid/sampling.h"
#include "render/over.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lakra {

namespace {

constexpr float kAlphaGain = 1.007f;
constexpr float kHdrCeiling = 65535.0f;
constexpr int32_t kPointRow = 130; // a unit row of up to 128 pixels, its left border, spare

float clampUnit(float value) {
    return value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
}

// Truncation toward zero into 0..ceiling; NaN gives 0.
int32_t toSample(float value, float ceiling) {
    if (!(value > 0.0f)) {
        return 0;
    }
    return static_cast<int32_t>(std::min(value, ceiling));
}

bool inside(const PixelRect& r, int32_t x, int32_t y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

float sampleAt(const void* data, int32_t depth, int64_t index) {
    switch (depth) {
    case 16:
        return static_cast<float>(static_cast<const uint16_t*>(data)[index]) / 32768.0f;
    case 32: {
        float value = 0.0f;
        std::memcpy(&value, static_cast<const unsigned char*>(data) + index * 4, sizeof value);
        return value;
    }
    default:
        return static_cast<float>(static_cast<const uint8_t*>(data)[index]) / 255.0f;
    }
}

void storeSample(void* data, int32_t depth, int64_t index, float value) {
    switch (depth) {
    case 16:
        static_cast<uint16_t*>(data)[index] =
            static_cast<uint16_t>(toSample(value * 32768.0f, 65535.0f));
        break;
    case 32:
        std::memcpy(static_cast<unsigned char*>(data) + index * 4, &value, sizeof value);
        break;
    default:
        static_cast<uint8_t*>(data)[index] = static_cast<uint8_t>(toSample(value * 255.0f, 255.0f));
        break;
    }
}

// Guide marks of the preview: a dotted line with short solid ends.
bool guideMarked(int32_t x, int32_t y, int32_t row, int32_t width, int32_t dotPhase) {
    const int32_t distance = std::abs(y - row);
    if (distance == 0) {
        return (x - dotPhase) % 8 == 0 || x < 3 || x >= width - 3;
    }
    if (distance == 1) {
        return x < 2 || x >= width - 2;
    }
    if (distance == 2) {
        return x < 1 || x >= width - 1;
    }
    return false;
}

void drawGuides(const ShadingJob& job, int32_t x, int32_t y, float rgba[4]) {
    if (guideMarked(x, y, job.waterRow, job.renderWidth, 4)) {
        rgba[0] = 1.0f;
        rgba[1] = 0.0f;
        rgba[2] = 1.0f;
    }
    if (guideMarked(x, y, job.horizonRow, job.renderWidth, 0)) {
        rgba[0] = 0.0f;
        rgba[1] = 1.0f;
        rgba[2] = 0.0f;
    }
    const int32_t dy = std::abs(y - job.centreRow);
    const int32_t dx = std::abs(x - job.centreColumn);
    float cross[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if ((dy < 2 && dx < 7) || (dy < 7 && dx < 2)) {
        cross[3] = 0.75f;
    }
    if ((dy < 1 && dx < 6) || (dy < 6 && dx < 1)) {
        cross[0] = cross[1] = cross[2] = 1.0f;
        cross[3] = 0.75f;
    }
    layOver(cross, rgba);
}

// A unit of a host render, finished on its worker: the input, output and
// mask rows of the unit copied out of the host's buffers while the calling
// thread still holds them, so the worker never reads or writes memory the
// host may move before the next request. `view` describes the copies in the
// host's own layout (rows packed); `delivered` is what the host delivered.
struct UnitCopy {
    HostBuffers delivered;
    HostBuffers view;
    size_t inRowLength;
    size_t outRowLength;
    size_t maskRowLength;
    bool finished; // the worker wrote the output copy
};

int32_t bytesPerSample(int32_t depth) {
    return depth == 32 ? 4 : (depth == 16 ? 2 : 1);
}

int32_t rows(const PixelRect& r) {
    return std::max(0, rectHeight(r));
}

// Bytes of one packed row of `r` with `step` samples per pixel; 0 when the
// host's rows are shorter than that (nothing is copied then).
size_t rowLength(const PixelRect& r, int32_t step, int32_t depth, int32_t rowBytes) {
    const int64_t length =
        static_cast<int64_t>(std::max(0, rectWidth(r))) * std::max(0, step) * bytesPerSample(depth);
    return length <= rowBytes ? static_cast<size_t>(length) : 0;
}

void copyRows(const void* from, int32_t fromRowBytes, void* to, size_t toRowBytes, size_t length,
              int32_t count) {
    for (int32_t row = 0; row < count; ++row) {
        std::memcpy(static_cast<unsigned char*>(to) + static_cast<size_t>(row) * toRowBytes,
                    static_cast<const unsigned char*>(from) +
                        static_cast<int64_t>(row) * fromRowBytes,
                    length);
    }
}

// Calling thread, the unit's region just delivered. Without a copy (no
// buffers, odd rows, no memory) the unit is finished here as it always could be.
Result shadePrepare(Job* job) {
    const auto* shading = static_cast<const ShadingJob*>(job->request.context);
    HostBuffers live;
    if (shading->target != RenderTarget::Host || shading->host == nullptr ||
        !shading->host->buffers(&live) || live.outData == nullptr) {
        return noErr;
    }
    const HostImageView& in = live.input;
    const int32_t depth = in.depth;
    const size_t inLength =
        in.data != nullptr ? rowLength(in.rect, in.hiPlane - in.loPlane + 1, depth, in.rowBytes)
                           : 0;
    const size_t outLength =
        rowLength(live.outRect, live.outHiPlane - live.outLoPlane + 1, depth, live.outRowBytes);
    const size_t maskLength =
        live.maskData != nullptr ? rowLength(live.maskRect, 1, 8, live.maskRowBytes) : 0;
    if ((in.data != nullptr && inLength == 0) || outLength == 0 ||
        (live.maskData != nullptr && maskLength == 0)) {
        return noErr;
    }
    const size_t inBytes = inLength * static_cast<size_t>(rows(in.rect));
    const size_t outBytes = outLength * static_cast<size_t>(rows(live.outRect));
    const size_t maskBytes = maskLength * static_cast<size_t>(rows(live.maskRect));
    void* block = std::malloc(sizeof(UnitCopy) + inBytes + outBytes + maskBytes);
    if (block == nullptr) {
        return noErr;
    }
    auto* copy = static_cast<UnitCopy*>(block);
    *copy = UnitCopy{live, live, inLength, outLength, maskLength, false};
    unsigned char* bytes = static_cast<unsigned char*>(block) + sizeof(UnitCopy);
    unsigned char* inCopy = bytes;
    unsigned char* outCopy = inCopy + inBytes;
    unsigned char* maskCopy = outCopy + outBytes;
    if (in.data != nullptr) {
        copyRows(in.data, in.rowBytes, inCopy, inLength, inLength, rows(in.rect));
        copy->view.input.data = inCopy;
        copy->view.input.rowBytes = static_cast<int32_t>(inLength);
    }
    copyRows(live.outData, live.outRowBytes, outCopy, outLength, outLength, rows(live.outRect));
    copy->view.outData = outCopy;
    copy->view.outRowBytes = static_cast<int32_t>(outLength);
    if (live.maskData != nullptr) {
        copyRows(live.maskData, live.maskRowBytes, maskCopy, maskLength, maskLength,
                 rows(live.maskRect));
        copy->view.maskData = maskCopy;
        copy->view.maskRowBytes = static_cast<int32_t>(maskLength);
    }
    job->scratch = copy;
    return noErr;
}

void shadeRelease(Job* job) {
    std::free(job->scratch);
    job->scratch = nullptr;
}

// The common finish into an 8-bit host image, a unit at a time with the
// planes' places worked out once; false (nothing written) for any other.
bool finishUnitNormal8(const ShadingJob& job, const Job& unitJob, const HostBuffers* buffers);

void finishUnit(const ShadingJob& shading, const Job& job, const HostBuffers* buffers) {
    if (finishUnitNormal8(shading, job, buffers)) {
        return;
    }
    for (int32_t y = job.unit.top; y < job.unit.bottom; ++y) {
        for (int32_t x = job.unit.left; x < job.unit.right; ++x) {
            const PixelCell* cell = cellAt(job.cells, x, y);
            finishPixel(shading, buffers, x + shading.originX, y + shading.originY, cell->rgba);
        }
    }
}

// Worker: the water, then the finished pixels where the worker may write
// them: an Offline target's own image, or the copy of a host unit. The
// preview bitmap is finished on the calling thread (its edge pixels are
// shared between units).
void shadeWork(Job* job) {
    const auto* shading = static_cast<const ShadingJob*>(job->request.context);
    shadeUnit(*shading, job->unit, &job->cells);
    if (shading->target == RenderTarget::Offline) {
        finishUnit(*shading, *job, nullptr);
    } else if (auto* copy = static_cast<UnitCopy*>(job->scratch); copy != nullptr) {
        finishUnit(*shading, *job, &copy->view);
        copy->finished = true;
    }
}

bool sameOutput(const HostBuffers& a, const HostBuffers& b) {
    return a.outRect.top == b.outRect.top && a.outRect.left == b.outRect.left &&
           a.outRect.bottom == b.outRect.bottom && a.outRect.right == b.outRect.right &&
           a.outLoPlane == b.outLoPlane && a.outHiPlane == b.outHiPlane &&
           a.input.depth == b.input.depth && a.outRowBytes >= 0 && b.outRowBytes >= 0;
}

// Calling thread, the unit's region delivered again: the finished rows go
// into the host's output as they are; without them (or when the host now
// lays the output out differently) the unit is finished here.
Result shadeFinish(Job* job) {
    const auto* shading = static_cast<const ShadingJob*>(job->request.context);
    if (shading->target == RenderTarget::Offline) {
        return noErr;
    }
    HostBuffers buffers;
    const bool haveBuffers = shading->host != nullptr && shading->host->buffers(&buffers);
    const auto* copy = static_cast<const UnitCopy*>(job->scratch);
    if (copy != nullptr && copy->finished && haveBuffers && buffers.outData != nullptr &&
        sameOutput(buffers, copy->delivered) &&
        rowLength(buffers.outRect, buffers.outHiPlane - buffers.outLoPlane + 1, buffers.input.depth,
                  buffers.outRowBytes) == copy->outRowLength) {
        copyRows(copy->view.outData, copy->view.outRowBytes, buffers.outData,
                 static_cast<size_t>(buffers.outRowBytes), copy->outRowLength,
                 rows(buffers.outRect));
        return noErr;
    }
    finishUnit(*shading, *job, haveBuffers ? &buffers : nullptr);
    return noErr;
}

} // namespace

const JobOps kWaterJobOps{shadePrepare, shadeWork, shadeFinish, kJobRendersPixels, shadeRelease};

void shadingJobBuild(RenderTarget target, const Settings& settings, const ImagePyramid* source,
                     const HostImageFormat& format, const PixelRect& rect, ShadingJob* job) {
    *job = ShadingJob{};
    job->target = target;
    job->values = workingValues(settings);
    waterSurfaceBuild(settings, &job->surface);
    job->source = source;
    if (source != nullptr) {
        job->sourceWidth = static_cast<float>(source->width[0]);
        job->sourceHeight = static_cast<float>(source->height[0]);
        job->levelMax = static_cast<float>(source->maxLevel);
    }
    job->originX = rect.left;
    job->originY = rect.top;
    job->renderWidth = rectWidth(rect);
    job->glue = settings.glue;
    job->grey = format.planes < 3;
    job->transparency = format.transparency;
    const int32_t scale = settings.previewScale < 1 ? 1 : settings.previewScale;
    job->scale = static_cast<float>(scale);
    job->panX = static_cast<float>(settings.panX);
    job->panY = static_cast<float>(settings.panY);
    job->spanWidth = job->sourceWidth;
    job->spanHeight = job->sourceHeight;
    if (target == RenderTarget::Offline) {
        // The water spans the whole target, whatever its size; a target of
        // another shape than the source keeps the water's proportions.
        const float targetWidth = static_cast<float>(std::max(1, rectWidth(rect)));
        const float targetHeight = static_cast<float>(std::max(1, rectHeight(rect)));
        job->spanWidth = targetWidth;
        job->spanHeight = targetHeight;
        job->aspect = (targetHeight / targetWidth) / (job->sourceHeight / job->sourceWidth);
        job->highDynamicRange = format.depth == 32;
    } else {
        job->highDynamicRange = target == RenderTarget::Host && format.depth == 32;
    }
    if (target == RenderTarget::Preview) {
        const int32_t px = settings.panX / scale;
        const int32_t py = settings.panY / scale;
        const float reducedWidth = job->sourceWidth / job->scale;
        const float reducedHeight = job->sourceHeight / job->scale;
        job->horizonRow =
            static_cast<int32_t>(reducedHeight * job->values.horizon - static_cast<float>(py));
        job->waterRow =
            static_cast<int32_t>(reducedHeight * job->values.waterLine - static_cast<float>(py));
        job->centreRow =
            static_cast<int32_t>(reducedHeight * settings.yCenter - static_cast<float>(py));
        job->centreColumn =
            static_cast<int32_t>(reducedWidth * settings.xCenter - static_cast<float>(px));
    }
}

namespace {

// Screen position (u, v) of pixel (x, y).
void screenPosition(const ShadingJob& job, int32_t x, int32_t y, float* u, float* v) {
    *u = ((static_cast<float>(x) - 0.5f) * job.scale + job.panX + 1.0f) / job.spanWidth;
    *v = ((static_cast<float>(y) - 0.5f) * job.scale + job.panY + 1.0f) / job.spanHeight;
    if (job.target == RenderTarget::Offline) {
        *v *= job.aspect;
    }
}

// A point below the water line, with the surface's displacement there.
SamplePoint wetPoint(const ShadingJob& job, float u, float v, const SurfaceDisplacement& d) {
    const WorkingValues& w = job.values;
    const float o = w.waterLine;
    const float h = w.horizon;
    SamplePoint point{};
    point.wet = true;
    point.u = u + d.dx;
    point.v = 2.0f * o - v + d.dz;
    const float t = clampUnit((v - h) / (1.01f - h));
    const float half = 0.5f - 0.5f * t;
    const float f = half * half + w.brilliance;
    const float m0 = f < 0.5f ? 2.0f * f : 1.0f;
    const float m1 = f >= 0.5f ? 1.0f - (f - 0.5f) * 2.0f : 1.0f;
    point.mix = clampUnit((d.dz * 5.0f - (v - h) * 2.0f * w.perspective) * m1 + m0);
    if (point.v > o) {
        point.v = o - (point.v - o);
    }
    point.blur = (v - o) * w.blurWeight / (1.0f - h);
    return point;
}

// A row of sample points as samplePoint gives them, with the wave sums of
// the wet ones computed together (several at a time where the processor can).
void samplePointRow(const ShadingJob& job, int32_t x0, int32_t y, int32_t count,
                    SamplePoint* points) {
    const WaterSurface& surface = job.surface;
    const float o = job.values.waterLine;
    float us[kPointRow];
    float vs[kPointRow];
    PlanePoint planes[kPointRow];
    float xs[kPointRow] = {};
    float zs[kPointRow] = {};
    WaveSum waves[kPointRow];
    int32_t waving = 0;
    for (int32_t i = 0; i < count; ++i) {
        screenPosition(job, x0 + i, y, &us[i], &vs[i]);
        if (vs[i] > o && vs[i] - surface.horizon > 0.0f) {
            planes[i] = waterPlanePoint(surface, us[i], vs[i]);
            if (surface.waviness != 0.0f) {
                xs[waving] = planes[i].x;
                zs[waving] = planes[i].z;
                ++waving;
            }
        }
    }
    waveSumBatch(surface.permutation, xs, zs, waving, surface.octaves, waves);
    int32_t next = 0;
    for (int32_t i = 0; i < count; ++i) {
        const float u = us[i];
        const float v = vs[i];
        if (v <= o) {
            points[i] = SamplePoint{u, v, 1.0f, 0.0f, false};
            continue;
        }
        SurfaceDisplacement d{0.0f, 0.0f};
        if (v - surface.horizon > 0.0f) {
            const WaveSum sum = surface.waviness != 0.0f ? waves[next++] : WaveSum{0.0f, 0.0f};
            d = displacementWithWaves(surface, v, planes[i], sum);
        }
        points[i] = wetPoint(job, u, v, d);
    }
}

} // namespace

SamplePoint samplePoint(const ShadingJob& job, int32_t x, int32_t y) {
    float u = 0.0f;
    float v = 0.0f;
    screenPosition(job, x, y, &u, &v);
    if (v <= job.values.waterLine) {
        return SamplePoint{u, v, 1.0f, 0.0f, false};
    }
    return wetPoint(job, u, v, surfaceDisplacement(job.surface, u, v));
}

namespace {

// Where and how blurred a pixel reads the source.
struct LookupPlace {
    float u;
    float v;
    int32_t level;
    float fraction;
};

LookupPlace lookupPlace(const ShadingJob& job, const SamplePoint& above, const SamplePoint& left,
                        const SamplePoint& self) {
    const float du = std::max(std::fabs(above.u - self.u), std::fabs(left.u - self.u));
    const float dv = std::max(std::fabs(above.v - self.v), std::fabs(left.v - self.v));
    const float footprint = std::max(du * job.sourceWidth, dv * job.sourceHeight);

    // Rays leaving the image are mirrored back in and blurred towards the
    // coarsest level the further they left.
    float u = self.u;
    float v = self.v;
    float edge = 0.0f;
    if (u < 0.0f) {
        u = -u;
        edge = u;
    }
    if (u > 1.0f) {
        edge = std::max(edge, u - 1.0f);
        u = 2.0f - u;
    }
    u = clampUnit(u);
    if (v < 0.0f) {
        edge = std::max(edge, -v);
        v = 0.0f;
    } else if (v > 1.0f) {
        edge = std::max(edge, v - 1.0f);
        v = 1.0f;
    }
    edge = std::min(edge, 1.0f);

    const float levelMax = job.levelMax;
    float level = fastLog2(footprint);
    level += (levelMax - level) * edge;
    level += (levelMax - level) * self.blur;
    // NaN from a degenerate ray falls to level 0 rather than into a conversion.
    level = level > 0.0f ? std::min(level, levelMax) : 0.0f;
    const auto whole = static_cast<int32_t>(level);
    return LookupPlace{u, v, whole, level - static_cast<float>(whole)};
}

// The sampled colour out becomes the pixel's water colour.
void shadeSampled(const ShadingJob& job, const SamplePoint& self, int32_t x, int32_t y,
                  float out[4]) {
    if (self.wet) {
        for (int c = 0; c < 3; ++c) {
            const float water = job.values.waterColor[c];
            out[c] = water + (out[c] - water) * self.mix;
        }
    }
    for (int c = 0; c < 3; ++c) {
        out[c] = out[c] > 0.0f ? std::min(out[c], kHdrCeiling) : 0.0f;
    }
    out[3] = clampUnit(out[3]);
    if (job.target == RenderTarget::Preview) {
        drawGuides(job, x, y, out);
    }
}

} // namespace

void shadePixel(const ShadingJob& job, const SamplePoint& above, const SamplePoint& left,
                const SamplePoint& self, int32_t x, int32_t y, float out[4]) {
    const LookupPlace place = lookupPlace(job, above, left, self);
    sampleTrilinear(job.source, place.level, place.fraction, place.u, place.v, out);
    shadeSampled(job, self, x, y, out);
}

void shadeUnit(const ShadingJob& job, const PixelRect& unit, CellBlock* cells) {
    // Each sample point is computed once: a pixel's left neighbour is the
    // previous point of its row and its upper neighbour the point below it in
    // the previous row, so two rows of points (with the unit's left border
    // column) serve the whole unit.
    SamplePoint rows[2][kPointRow];
    float us[kPointRow];
    float vs[kPointRow];
    int32_t levels[kPointRow];
    float fractions[kPointRow];
    float sampled[kPointRow][4];
    for (int32_t first = unit.left; first < unit.right; first += kPointRow - 2) {
        const int32_t last = std::min(unit.right, first + kPointRow - 2);
        SamplePoint* above = rows[0];
        SamplePoint* current = rows[1];
        const int32_t x0 = first - 1 + job.originX;
        const int32_t count = last - first + 1;
        samplePointRow(job, x0, unit.top - 1 + job.originY, count, above);
        for (int32_t y = unit.top; y < unit.bottom; ++y) {
            const int32_t ay = y + job.originY;
            samplePointRow(job, x0, ay, count, current);
            // The row's lookups in one pass, then each pixel as shadePixel
            // finishes it.
            const int32_t width = last - first;
            for (int32_t i = 0; i < width; ++i) {
                const LookupPlace place =
                    lookupPlace(job, above[i + 1], current[i], current[i + 1]);
                us[i] = place.u;
                vs[i] = place.v;
                levels[i] = place.level;
                fractions[i] = place.fraction;
            }
            sampleTrilinearRow(job.source, TrilinearRow{width, levels, fractions, us, vs}, sampled);
            for (int32_t i = 1; i <= width; ++i) {
                PixelCell* cell = cellAt(*cells, first + i - 1, y);
                if (cell != nullptr) {
                    std::memcpy(cell->rgba, sampled[i - 1], sizeof cell->rgba);
                    shadeSampled(job, current[i], x0 + i, ay, cell->rgba);
                }
            }
            std::swap(above, current);
        }
    }
}

void spillOverflow(float c[4]) {
    const bool r = c[0] > 1.0f;
    const bool g = c[1] > 1.0f;
    const bool b = c[2] > 1.0f;
    const float excess =
        (r ? c[0] - 1.0f : 0.0f) + (g ? c[1] - 1.0f : 0.0f) + (b ? c[2] - 1.0f : 0.0f);
    const float spill = excess * 60.0f / 256.0f;
    // One channel over: the spill goes half and half to the other two, and
    // what those can't hold passes on. Two over: all to the third.
    const auto spreadFrom = [&](int first, int second) {
        c[first] += spill / 2.0f;
        c[second] += spill / 2.0f;
        if (c[first] > 1.0f) {
            c[second] += c[first] - 1.0f;
        }
        if (c[second] > 1.0f) {
            c[first] += c[second] - 1.0f;
        }
    };
    if (r && !g && !b) {
        spreadFrom(1, 2);
    } else if (g && !r && !b) {
        spreadFrom(0, 2);
    } else if (b && !r && !g) {
        spreadFrom(0, 1);
    } else if (r && g && !b) {
        c[2] += spill;
    } else if (r && b && !g) {
        c[1] += spill;
    } else if (g && b && !r) {
        c[0] += spill;
    }
}

void readHostPixel(const HostImageView& input, int32_t x, int32_t y, float rgba[4]) {
    if (input.data == nullptr) {
        rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
        return;
    }
    if (!inside(input.rect, x, y)) {
        return;
    }
    const int32_t step = input.hiPlane - input.loPlane + 1;
    const auto* row = static_cast<const unsigned char*>(input.data) +
                      static_cast<int64_t>(y - input.rect.top) * input.rowBytes;
    const int64_t first = static_cast<int64_t>(x - input.rect.left) * step;
    const int32_t colourPlanes = input.planes < 3 ? 1 : 3;
    for (int32_t c = 0; c < 3; ++c) {
        const int32_t plane = (colourPlanes == 1 ? 0 : c) - input.loPlane;
        rgba[c] = plane >= 0 && plane < step ? sampleAt(row, input.depth, first + plane) : 0.0f;
    }
    const bool alpha = (input.filterCase == 4 || input.filterCase == 5) &&
                       input.transparencyPlane >= 0 && input.transparencyPlane < step;
    rgba[3] = alpha ? sampleAt(row, input.depth, first + input.transparencyPlane) : 1.0f;
}

namespace {

// The image's own pixel under (x, y): the host's input, or in Offline the
// plug-in's source at the matching place (the target may be of another size).
void underlyingPixel(const ShadingJob& job, const HostBuffers* buffers, int32_t x, int32_t y,
                     float under[4]) {
    if (job.target != RenderTarget::Offline) {
        if (buffers != nullptr) {
            readHostPixel(buffers->input, x, y, under);
        }
        return;
    }
    if (job.source == nullptr || job.offlineImage == nullptr) {
        return;
    }
    const int64_t sx =
        static_cast<int64_t>(x) * job.source->width[0] / std::max(1, job.offlineImage->width[0]);
    const int64_t sy =
        static_cast<int64_t>(y) * job.source->height[0] / std::max(1, job.offlineImage->height[0]);
    getPixel4f(static_cast<int32_t>(sx), static_cast<int32_t>(sy), job.source, 0, under);
}

float maskAt(const ShadingJob& job, const HostBuffers* buffers, int32_t x, int32_t y) {
    if (job.target == RenderTarget::Offline || buffers == nullptr || buffers->maskData == nullptr) {
        return 1.0f;
    }
    if (!inside(buffers->maskRect, x, y)) {
        return 0.0f;
    }
    const int64_t at = static_cast<int64_t>(y - buffers->maskRect.top) * buffers->maskRowBytes +
                       (x - buffers->maskRect.left);
    return static_cast<float>(buffers->maskData[at]) / 255.0f;
}

void writePreview(const PreviewBitmap& bitmap, int32_t x, int32_t y, const float r[4]) {
    if (bitmap.data == nullptr || bitmap.width < 1 || bitmap.height < 1) {
        return;
    }
    const int32_t px = std::clamp(x, 0, bitmap.width - 1);
    const int32_t py = std::clamp(y, 0, bitmap.height - 1);
    uint8_t* at = bitmap.data + static_cast<int64_t>(py) * bitmap.rowBytes +
                  static_cast<int64_t>(px) * bitmap.columnBytes;
    if (bitmap.planes < 3) {
        at[0] = static_cast<uint8_t>(toSample(r[1] * 255.0f, 255.0f));
        return;
    }
    for (int i = 0; i < 3; ++i) {
        at[static_cast<int64_t>(i) * bitmap.planeBytes] =
            static_cast<uint8_t>(toSample(r[i] * 255.0f, 255.0f));
    }
}

void writeHost(const ShadingJob& job, const HostBuffers* buffers, int32_t x, int32_t y,
               const float r[4]) {
    if (buffers == nullptr || buffers->outData == nullptr || !inside(buffers->outRect, x, y)) {
        return;
    }
    const int32_t depth = buffers->input.depth;
    const int32_t step = buffers->outHiPlane - buffers->outLoPlane + 1;
    auto* row = static_cast<unsigned char*>(buffers->outData) +
                static_cast<int64_t>(y - buffers->outRect.top) * buffers->outRowBytes;
    const int64_t first = static_cast<int64_t>(x - buffers->outRect.left) * step;
    const auto put = [&](int32_t plane, float value) {
        const int32_t offset = plane - buffers->outLoPlane;
        if (offset >= 0 && offset < step) {
            storeSample(row, depth, first + offset, value);
        }
    };
    if (job.grey) {
        put(0, r[1]);
    } else {
        put(0, r[0]);
        put(1, r[1]);
        put(2, r[2]);
    }
    if (job.transparency) {
        put(buffers->input.planes - 1, r[3]);
    }
}

// The water colour as it is joined to the image: gain, clamps, spill, grey.
[[gnu::always_inline]] inline void cleanWater(const ShadingJob& job, float c[4]) {
    if (!job.highDynamicRange) {
        c[3] *= kAlphaGain;
    }
    c[3] = clampUnit(c[3]);
    for (int i = 0; i < 3; ++i) {
        c[i] = c[i] > 0.0f ? c[i] : 0.0f;
    }
    // Nothing spills unless a channel is over 1.
    if (!job.highDynamicRange && (c[0] > 1.0f || c[1] > 1.0f || c[2] > 1.0f)) {
        spillOverflow(c);
    }
    if (job.grey) {
        const float grey = 0.3f * c[0] + 0.59f * c[1] + 0.11f * c[2];
        c[0] = c[1] = c[2] = grey;
    }
}

// The common finish: the Normal mode into the host's image or an Offline
// target, no selection, no high dynamic range. It gives finishPixel's bytes
// without its general steps: Normal's result is the water in 15-bit steps
// with the water's alpha, so the underlying pixel is read only where the
// water is not opaque and the host's image cannot hold transparency.
bool finishesNormally(const ShadingJob& job, const HostBuffers* buffers) {
    if (job.highDynamicRange || job.glue != glueNumber(GlueMode::Normal)) {
        return false;
    }
    switch (job.target) {
    case RenderTarget::Offline:
        return job.offlineImage != nullptr;
    case RenderTarget::Host:
        return buffers != nullptr && buffers->maskData == nullptr;
    case RenderTarget::Preview:
    default:
        return false;
    }
}

// The finished colour of a host pixel in the common finish.
[[gnu::always_inline]] inline void normalHostColour(const ShadingJob& job,
                                                    const HostBuffers& buffers, int32_t x,
                                                    int32_t y, const float cell[4], float r[4]) {
    float c[4] = {cell[0], cell[1], cell[2], cell[3]};
    cleanWater(job, c);
    r[0] = fromFixed15(toFixed15(c[0]));
    r[1] = fromFixed15(toFixed15(c[1]));
    r[2] = fromFixed15(toFixed15(c[2]));
    r[3] = c[3];
    if (r[3] < 1.0f && !job.transparency) {
        float flat[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        readHostPixel(buffers.input, x, y, flat);
        layOver(r, flat);
        std::memcpy(r, flat, 4 * sizeof(float));
    }
    for (int i = 0; i < 3; ++i) {
        r[i] = std::min(r[i], 1.0f);
    }
}

void finishPixelNormal(const ShadingJob& job, const HostBuffers* buffers, int32_t x, int32_t y,
                       const float cell[4]) {
    float r[4];
    if (job.target == RenderTarget::Offline) {
        float c[4] = {cell[0], cell[1], cell[2], cell[3]};
        cleanWater(job, c);
        r[0] = std::min(fromFixed15(toFixed15(c[0])), 1.0f);
        r[1] = std::min(fromFixed15(toFixed15(c[1])), 1.0f);
        r[2] = std::min(fromFixed15(toFixed15(c[2])), 1.0f);
        r[3] = c[3];
        setPixel4f(x, y, job.offlineImage, 0, r);
        return;
    }
    normalHostColour(job, *buffers, x, y, cell, r);
    writeHost(job, buffers, x, y, r);
}

#if defined(__SSE2__)
#define LAKRA_HAVE_SSE2_FINISH 1

// The usual pixel of the common 8-bit finish, its colour channels four to a
// vector (SSE2 is the x86-64 baseline): no channel over 1 (nothing
// spills), colour, and opaque water or an image that holds transparency
// (nothing is laid over). For those the steps reduce to: negative and NaN
// channels to 0, into 15-bit steps, back, and to bytes, each step rounded
// as normalHostColour and toSample round it. False, nothing written, for
// any other pixel.
bool finishColourBytes(const ShadingJob& job, const float cell[4], uint8_t* at,
                       const int32_t offsets[4], const int32_t channels[4], int32_t count) {
    const float alpha = clampUnit(cell[3] * kAlphaGain);
    if (job.grey || (alpha < 1.0f && !job.transparency)) {
        return false;
    }
    const __m128 zero = _mm_setzero_ps();
    const __m128 colour = _mm_loadu_ps(cell);
    const __m128 clean = _mm_and_ps(_mm_cmpgt_ps(colour, zero), colour);
    if ((_mm_movemask_ps(_mm_cmpgt_ps(clean, _mm_set1_ps(1.0f))) & 7) != 0) {
        return false;
    }
    // 0 <= clean <= 1: toFixed15 is the truncation, fromFixed15 gives at
    // most 1 (the clamp to 1 keeps it), toSample truncates a value in 0..255.
    const __m128i fixed = _mm_cvttps_epi32(_mm_mul_ps(clean, _mm_set1_ps(32768.0f)));
    const __m128 back = _mm_mul_ps(_mm_cvtepi32_ps(fixed), _mm_set1_ps(1.0f / 32768.0f));
    alignas(16) int32_t bytes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes),
                    _mm_cvttps_epi32(_mm_mul_ps(back, _mm_set1_ps(255.0f))));
    bytes[3] = toSample(alpha * 255.0f, 255.0f);
    for (int32_t k = 0; k < count; ++k) {
        at[offsets[k]] = static_cast<uint8_t>(bytes[channels[k]]);
    }
    return true;
}
#endif

bool finishUnitNormal8(const ShadingJob& job, const Job& unitJob, const HostBuffers* buffers) {
    if (job.target != RenderTarget::Host || !finishesNormally(job, buffers) ||
        buffers->outData == nullptr || buffers->input.depth != 8) {
        return false;
    }
    const PixelRect& unit = unitJob.unit;
    const PixelRect& out = buffers->outRect;
    if (unit.left >= unit.right || unit.left + job.originX < out.left ||
        unit.right + job.originX > out.right || unit.top + job.originY < out.top ||
        unit.bottom + job.originY > out.bottom) {
        return false;
    }
    // The planes writeHost would write, in its order: sample offset and channel.
    const int32_t step = buffers->outHiPlane - buffers->outLoPlane + 1;
    int32_t offsets[4];
    int32_t channels[4];
    int32_t count = 0;
    const auto plan = [&](int32_t plane, int32_t channel) {
        const int32_t offset = plane - buffers->outLoPlane;
        if (offset >= 0 && offset < step) {
            offsets[count] = offset;
            channels[count] = channel;
            ++count;
        }
    };
    if (job.grey) {
        plan(0, 1);
    } else {
        plan(0, 0);
        plan(1, 1);
        plan(2, 2);
    }
    if (job.transparency) {
        plan(buffers->input.planes - 1, 3);
    }
    for (int32_t y = unit.top; y < unit.bottom; ++y) {
        const int32_t hostY = y + job.originY;
        auto* row = static_cast<uint8_t*>(buffers->outData) +
                    static_cast<int64_t>(hostY - out.top) * buffers->outRowBytes;
        const PixelCell* cells = cellAt(unitJob.cells, unit.left, y);
        for (int32_t x = unit.left; x < unit.right; ++x) {
            const int32_t hostX = x + job.originX;
            uint8_t* at = row + static_cast<int64_t>(hostX - out.left) * step;
            const float* cell = cells[x - unit.left].rgba;
#ifdef LAKRA_HAVE_SSE2_FINISH
            if (finishColourBytes(job, cell, at, offsets, channels, count)) {
                continue;
            }
#endif
            float r[4];
            normalHostColour(job, *buffers, hostX, hostY, cell, r);
            for (int32_t k = 0; k < count; ++k) {
                at[offsets[k]] = static_cast<uint8_t>(toSample(r[channels[k]] * 255.0f, 255.0f));
            }
        }
    }
    return true;
}

} // namespace

void finishPixel(const ShadingJob& job, const HostBuffers* buffers, int32_t x, int32_t y,
                 const float cell[4]) {
    if (finishesNormally(job, buffers)) {
        finishPixelNormal(job, buffers, x, y, cell);
        return;
    }
    float c[4] = {cell[0], cell[1], cell[2], cell[3]};
    cleanWater(job, c);
    float under[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    underlyingPixel(job, buffers, x, y, under);

    float r[4];
    if (!job.highDynamicRange) {
        blendPixel(c, under, job.glue, r);
        if (job.target == RenderTarget::Host && r[3] < 1.0f && !job.transparency) {
            // A flat image cannot hold transparency: lay the result over it.
            float flat[4] = {under[0], under[1], under[2], under[3]};
            layOver(r, flat);
            std::memcpy(r, flat, sizeof r);
        }
        for (int i = 0; i < 3; ++i) {
            r[i] = std::min(r[i], 1.0f);
        }
    } else {
        std::memcpy(r, c, sizeof r);
        for (int i = 0; i < 3; ++i) {
            r[i] = std::min(r[i], kHdrCeiling);
        }
    }

    if (job.target == RenderTarget::Preview) {
        const float grey = ((x ^ y) & 8) != 0 ? 0.8f : 1.0f;
        float board[4] = {grey, grey, grey, 1.0f};
        layOver(r, board);
        std::memcpy(r, board, sizeof r);
        under[0] = under[1] = under[2] = grey;
        under[3] = 1.0f;
    }

    const float mask = maskAt(job, buffers, x, y);
    if (mask < 1.0f) {
        for (int i = 0; i < 4; ++i) {
            r[i] = under[i] + (r[i] - under[i]) * mask;
        }
    }

    switch (job.target) {
    case RenderTarget::Offline:
        if (job.offlineImage != nullptr) {
            setPixel4f(x, y, job.offlineImage, 0, r);
        }
        break;
    case RenderTarget::Preview:
        writePreview(job.preview, x, y, r);
        break;
    case RenderTarget::Host:
    default:
        writeHost(job, buffers, x, y, r);
        break;
    }
}
} // namespace lakra
