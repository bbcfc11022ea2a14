#include "apps/lakra/protocolRegions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace lakra {

namespace {

// One request's buffer; larger requests fail with memFullErr.
constexpr int64_t kMaxRegionBytes = int64_t{1} << 32;
constexpr int32_t kMaxPlanes = 4;

bool empty(const VRect& r) {
    return r.bottom <= r.top || r.right <= r.left;
}

VRect widen(const Rect& r) {
    return VRect{r.top, r.left, r.bottom, r.right};
}

// The 32-bit twins count once the plug-in has raised the flag.
const BigDocumentStruct* bigCoordinates(const FilterRecord& record) {
    const BigDocumentStruct* big = getBigDocumentData(record);
    return big != nullptr && big->PluginUsing32BitCoordinates != 0 ? big : nullptr;
}

VRect inRectOf(const FilterRecord& record) {
    const BigDocumentStruct* big = bigCoordinates(record);
    return big != nullptr ? big->inRect32 : widen(record.inRect);
}

VRect outRectOf(const FilterRecord& record) {
    const BigDocumentStruct* big = bigCoordinates(record);
    return big != nullptr ? big->outRect32 : widen(record.outRect);
}

VRect maskRectOf(const FilterRecord& record) {
    const BigDocumentStruct* big = bigCoordinates(record);
    return big != nullptr ? big->maskRect32 : widen(record.maskRect);
}

// An interleaved image regions are cut from.
struct Source {
    const char* pixels;
    int64_t width;
    int64_t height;
    int32_t planes;
    int32_t depth;
};

Source sourceOf(const HostPixels& image) {
    return Source{static_cast<const char*>(image.pixels), image.width, image.height,
                  hostPixelsPlanes(image), image.depth};
}

struct Request {
    VRect rect;
    int32_t loPlane;
    int32_t hiPlane;
    Fixed rate; // source pixels per delivered pixel, 16.16
    int16_t padding;
};

// The fill value 0..255 in the sample's own range.
template <typename T>
T paddingSample(int16_t padding) {
    if (padding < 0) {
        return T{}; // no padding wanted: zeros rather than stale bytes
    }
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(padding / 255.0);
    } else if constexpr (sizeof(T) == 2) {
        return static_cast<T>((padding * 32768 + 127) / 255);
    } else {
        return static_cast<T>(padding);
    }
}

// Delivered pixel (x, y) at the rate covers source columns floor(x * rate) up
// to floor((x + 1) * rate), at least one; their samples are averaged.
template <typename T>
void sampleAt(const Source& src, int64_t x, int64_t y, Fixed rate, int32_t lo, int32_t count,
              T* out) {
    const int64_t x0 = (x * rate) >> 16;
    const int64_t y0 = (y * rate) >> 16;
    const int64_t x1 = std::min(std::max(((x + 1) * rate) >> 16, x0 + 1), src.width);
    const int64_t y1 = std::min(std::max(((y + 1) * rate) >> 16, y0 + 1), src.height);
    const T* base = reinterpret_cast<const T*>(src.pixels);
    if (x1 - x0 == 1 && y1 - y0 == 1) {
        const T* p = base + (y0 * src.width + x0) * src.planes + lo;
        std::copy(p, p + count, out);
        return;
    }
    using Sum = std::conditional_t<std::is_floating_point_v<T>, double, uint64_t>;
    Sum sums[kMaxPlanes] = {};
    for (int64_t sy = y0; sy < y1; ++sy) {
        const T* p = base + (sy * src.width + x0) * src.planes + lo;
        for (int64_t sx = x0; sx < x1; ++sx, p += src.planes) {
            for (int32_t c = 0; c < count; ++c) {
                sums[c] += static_cast<Sum>(p[c]);
            }
        }
    }
    const auto n = static_cast<uint64_t>((x1 - x0) * (y1 - y0));
    for (int32_t c = 0; c < count; ++c) {
        if constexpr (std::is_floating_point_v<T>) {
            out[c] = static_cast<T>(sums[c] / static_cast<double>(n));
        } else {
            out[c] = static_cast<T>((sums[c] + n / 2) / n);
        }
    }
}

// Requested coordinates beyond the image (at the rate) take the padding:
// edge replication clamps them to the nearest delivered pixel inside.
template <typename T>
void cutRegion(const Source& src, const Request& req, int64_t rowBytes, char* data) {
    const int64_t reducedWidth = ((src.width << 16) + req.rate - 1) / req.rate;
    const int64_t reducedHeight = ((src.height << 16) + req.rate - 1) / req.rate;
    const int32_t count = req.hiPlane - req.loPlane + 1;
    const int64_t width = int64_t{req.rect.right} - req.rect.left;
    const int64_t height = int64_t{req.rect.bottom} - req.rect.top;
    const bool replicate = req.padding == plugInWantsEdgeReplication;
    const T fill = paddingSample<T>(req.padding);
    for (int64_t j = 0; j < height; ++j) {
        T* out = reinterpret_cast<T*>(data + j * rowBytes);
        int64_t y = req.rect.top + j;
        bool insideY = y >= 0 && y < reducedHeight;
        if (!insideY && replicate) {
            y = std::clamp<int64_t>(y, 0, reducedHeight - 1);
            insideY = true;
        }
        for (int64_t i = 0; i < width; ++i, out += count) {
            int64_t x = req.rect.left + i;
            bool inside = insideY && x >= 0 && x < reducedWidth;
            if (insideY && !inside && replicate) {
                x = std::clamp<int64_t>(x, 0, reducedWidth - 1);
                inside = true;
            }
            if (inside) {
                sampleAt(src, x, y, req.rate, req.loPlane, count, out);
            } else {
                std::fill(out, out + count, fill);
            }
        }
    }
}

// paramErr for planes outside the source, a rate not above 0, an unknown
// padding or an out-of-bounds request under plugInWantsErrorOnBoundsException.
Result validate(const Source& src, const Request& req) {
    if (req.loPlane < 0 || req.hiPlane < req.loPlane || req.hiPlane >= src.planes ||
        req.rate <= 0 || req.padding < plugInWantsErrorOnBoundsException || req.padding > 255) {
        return failWith(paramErr);
    }
    if (req.padding == plugInWantsErrorOnBoundsException) {
        const int64_t reducedWidth = ((src.width << 16) + req.rate - 1) / req.rate;
        const int64_t reducedHeight = ((src.height << 16) + req.rate - 1) / req.rate;
        if (req.rect.left < 0 || req.rect.top < 0 || req.rect.right > reducedWidth ||
            req.rect.bottom > reducedHeight) {
            return failWith(paramErr);
        }
    }
    return noErr;
}

// The request is the source's own layout: every plane, full size, inside
// the source. Such a region is handed out in place.
bool servedInPlace(const Source& src, const Request& req) {
    return req.loPlane == 0 && req.hiPlane == src.planes - 1 && req.rate == (1 << 16) &&
           req.rect.left >= 0 && req.rect.top >= 0 && req.rect.right <= src.width &&
           req.rect.bottom <= src.height;
}

// The address of the request's first sample in the source; *rowBytes is the
// source's stride.
void* inPlace(const Source& src, const Request& req, int32_t* rowBytes) {
    const int64_t stride = src.width * src.planes * hostSampleBytes(src.depth);
    *rowBytes = static_cast<int32_t>(stride);
    ++hostCounters().regionsInPlace;
    // The plug-in only reads an input or mask region; an output region points
    // into the host's own output image.
    return const_cast<char*>(src.pixels) + req.rect.top * stride +
           int64_t{req.rect.left} * src.planes * hostSampleBytes(src.depth);
}

// Fills buffer with a validated request; *rowBytes is its stride.
Result cut(const Source& src, const Request& req, SampleBuffer* buffer, int32_t* rowBytes) {
    ++hostCounters().regionCopies;
    const int64_t width = int64_t{req.rect.right} - req.rect.left;
    const int64_t height = int64_t{req.rect.bottom} - req.rect.top;
    const int64_t stride = width * (req.hiPlane - req.loPlane + 1) * hostSampleBytes(src.depth);
    if (stride > INT32_MAX || height > kMaxRegionBytes / stride) {
        return failWith(memFullErr);
    }
    const auto bytes = static_cast<size_t>(stride * height);
    if (bytes > buffer->capacity) {
        std::free(buffer->data);
        buffer->capacity = 0;
        buffer->data = std::malloc(bytes);
        if (buffer->data == nullptr) {
            return failWith(memFullErr);
        }
        buffer->capacity = bytes;
    }
    auto* data = static_cast<char*>(buffer->data);
    if (src.depth == 32) {
        cutRegion<float>(src, req, stride, data);
    } else if (src.depth == 16) {
        cutRegion<uint16_t>(src, req, stride, data);
    } else {
        cutRegion<uint8_t>(src, req, stride, data);
    }
    *rowBytes = static_cast<int32_t>(stride);
    return noErr;
}

template <typename T>
T applySelection(T before, T after, uint8_t selected) {
    if constexpr (std::is_floating_point_v<T>) {
        return before + (after - before) * (static_cast<float>(selected) / 255.0f);
    } else {
        const uint32_t m = selected;
        return static_cast<T>((before * (255u - m) + after * m + 127u) / 255u);
    }
}

// Writes the part of the pending region inside the image. With a selection
// the plug-in's samples are kept apart, so that serving the same region
// again hands back what the plug-in wrote, not the masked result.
template <typename T>
void commitRegion(const PendingOutput& p, const char* data, const RegionImages& images) {
    const HostPixels& input = *images.input;
    const int64_t w = input.width;
    const int32_t planes = hostPixelsPlanes(input);
    const int32_t count = p.hiPlane - p.loPlane + 1;
    const int64_t top = std::max<int64_t>(p.rect.top, 0);
    const int64_t bottom = std::min<int64_t>(p.rect.bottom, input.height);
    const int64_t left = std::max<int64_t>(p.rect.left, 0);
    const int64_t right = std::min<int64_t>(p.rect.right, w);
    const T* before = static_cast<const T*>(input.pixels);
    T* output = static_cast<T*>(images.output->pixels);
    T* unmasked = images.haveMask ? static_cast<T*>(images.unmasked->pixels) : nullptr;
    for (int64_t y = top; y < bottom; ++y) {
        const T* from = reinterpret_cast<const T*>(data + (y - p.rect.top) * p.rowBytes) +
                        (left - p.rect.left) * count;
        for (int64_t x = left; x < right; ++x, from += count) {
            const int64_t at = (y * w + x) * planes + p.loPlane;
            const uint8_t selected = images.haveMask ? images.mask->values[y * w + x] : 255;
            for (int32_t c = 0; c < count; ++c) {
                if (unmasked != nullptr) {
                    unmasked[at + c] = from[c];
                }
                output[at + c] =
                    p.autoMask ? applySelection(before[at + c], from[c], selected) : from[c];
            }
        }
    }
}

void commitPending(RegionBuffers* buffers, const RegionImages& images) {
    PendingOutput& p = buffers->pending;
    if (!p.pending) {
        return;
    }
    p.pending = false;
    ++hostCounters().regionCopies;
    const auto* data = static_cast<const char*>(buffers->out.data);
    const int32_t depth = images.input->depth;
    if (depth == 32) {
        commitRegion<float>(p, data, images);
    } else if (depth == 16) {
        commitRegion<uint16_t>(p, data, images);
    } else {
        commitRegion<uint8_t>(p, data, images);
    }
}

Result serveInput(FilterRecord& record, const RegionImages& images, RegionBuffers* buffers) {
    const VRect rect = inRectOf(record);
    setInData(record, nullptr);
    record.inRowBytes = 0;
    if (empty(rect)) {
        return noErr;
    }
    const Request req{rect, record.inLoPlane, record.inHiPlane, record.inputRate,
                      record.inputPadding};
    const Source src = sourceOf(*images.input);
    Result result = validate(src, req);
    if (result != noErr) {
        return result;
    }
    int32_t rowBytes = 0;
    void* data = nullptr;
    if (servedInPlace(src, req)) {
        data = inPlace(src, req, &rowBytes);
    } else {
        result = cut(src, req, &buffers->in, &rowBytes);
        data = buffers->in.data;
    }
    if (result == noErr) {
        setInData(record, data);
        record.inRowBytes = rowBytes;
        record.inColumnBytes =
            (req.hiPlane - req.loPlane + 1) * hostSampleBytes(images.input->depth);
        record.inPlaneBytes = hostSampleBytes(images.input->depth);
    }
    return result;
}

Result serveOutput(FilterRecord& record, const RegionImages& images, RegionBuffers* buffers) {
    const VRect rect = outRectOf(record);
    setOutData(record, nullptr);
    record.outRowBytes = 0;
    if (empty(rect)) {
        return noErr;
    }
    // Output regions are always at full size; they start as what the plug-in
    // has written so far.
    const Request req{rect, record.outLoPlane, record.outHiPlane, 1 << 16, record.outputPadding};
    const HostPixels& current = images.haveMask ? *images.unmasked : *images.output;
    const Source src = sourceOf(current);
    Result result = validate(src, req);
    if (result != noErr) {
        return result;
    }
    int32_t rowBytes = 0;
    void* data = nullptr;
    // Without a selection the plug-in writes straight into the output image
    // (never the input it reads): nothing is left to write back.
    const bool direct = !images.haveMask && servedInPlace(src, req);
    if (direct) {
        data = inPlace(src, req, &rowBytes);
    } else {
        result = cut(src, req, &buffers->out, &rowBytes);
        data = buffers->out.data;
    }
    if (result == noErr) {
        setOutData(record, data);
        record.outRowBytes = rowBytes;
        record.outColumnBytes = (req.hiPlane - req.loPlane + 1) * hostSampleBytes(current.depth);
        record.outPlaneBytes = hostSampleBytes(current.depth);
        if (!direct) {
            buffers->pending =
                PendingOutput{true,        rect,     req.loPlane,
                              req.hiPlane, rowBytes, images.haveMask && record.autoMask != 0};
        }
    }
    return result;
}

Result serveMask(FilterRecord& record, const RegionImages& images, RegionBuffers* buffers) {
    const VRect rect = maskRectOf(record);
    setMaskData(record, nullptr);
    record.maskRowBytes = 0;
    if (!images.haveMask || empty(rect)) {
        return noErr;
    }
    const Source src{reinterpret_cast<const char*>(images.mask->values), images.mask->width,
                     images.mask->height, 1, 8};
    const Request req{rect, 0, 0, record.maskRate, record.maskPadding};
    Result result = validate(src, req);
    if (result != noErr) {
        return result;
    }
    int32_t rowBytes = 0;
    void* data = nullptr;
    if (servedInPlace(src, req)) {
        data = inPlace(src, req, &rowBytes);
    } else {
        result = cut(src, req, &buffers->mask, &rowBytes);
        data = buffers->mask.data;
    }
    if (result == noErr) {
        setMaskData(record, data);
        record.maskRowBytes = rowBytes;
    }
    return result;
}

} // namespace

Result serveRegions(FilterRecord& record, const RegionImages& images, RegionBuffers* buffers) {
    commitPending(buffers, images);
    Result result = serveInput(record, images, buffers);
    if (result == noErr) {
        result = serveOutput(record, images, buffers);
    }
    if (result == noErr) {
        result = serveMask(record, images, buffers);
    }
    if (result != noErr) {
        setInData(record, nullptr);
        setOutData(record, nullptr);
        setMaskData(record, nullptr);
        buffers->pending.pending = false;
    }
    return result;
}

bool regionsRequested(const FilterRecord& record) {
    return !empty(inRectOf(record)) || !empty(outRectOf(record)) || !empty(maskRectOf(record));
}

void regionBuffersFree(RegionBuffers* buffers) {
    for (SampleBuffer* b : {&buffers->in, &buffers->out, &buffers->mask}) {
        std::free(b->data);
        *b = SampleBuffer{};
    }
    buffers->pending.pending = false;
}

} // namespace lakra
