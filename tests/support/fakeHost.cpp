#include "support/fakeHost.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace lakra::testing {

FakeImage::FakeImage(int32_t w, int32_t h, int32_t planeCount, int32_t bits, bool alpha)
    : width(w), height(h), planes(planeCount), depth(bits), filterCase(alpha ? 4 : 1),
      transparency(alpha), rowBytes(w * planeCount * (bits / 8) + 6),
      input(static_cast<size_t>(rowBytes) * h, 0), output(input.size(), 0xCD) {}

size_t FakeImage::offset(int32_t x, int32_t y, int32_t plane) const {
    return static_cast<size_t>(y) * rowBytes +
           (static_cast<size_t>(x) * planes + plane) * sampleBytes();
}

namespace {

void store(uint8_t* at, int32_t depth, float value) {
    if (depth == 8) {
        *at = static_cast<uint8_t>(value);
    } else if (depth == 16) {
        const auto sample = static_cast<uint16_t>(value);
        std::memcpy(at, &sample, 2);
    } else {
        std::memcpy(at, &value, 4);
    }
}

float load(const uint8_t* at, int32_t depth) {
    if (depth == 8) {
        return *at;
    }
    if (depth == 16) {
        uint16_t sample = 0;
        std::memcpy(&sample, at, 2);
        return sample;
    }
    float value = 0.0f;
    std::memcpy(&value, at, 4);
    return value;
}

} // namespace

void FakeImage::setInput(int32_t x, int32_t y, int32_t plane, float stored) {
    store(&input[offset(x, y, plane)], depth, stored);
}

float FakeImage::inputAt(int32_t x, int32_t y, int32_t plane) const {
    return load(&input[offset(x, y, plane)], depth);
}

float FakeImage::outputAt(int32_t x, int32_t y, int32_t plane) const {
    return load(&output[offset(x, y, plane)], depth);
}

Result FakeHost::requestRegion(const PixelRect& rect) {
    requests.push_back(rect);
    if (failRequestOnCall != 0 && static_cast<int>(requests.size()) == failRequestOnCall) {
        resultSlot = failRequestWith;
        haveBuffers = false;
        return failRequestWith;
    }
    if (image != nullptr) {
        // Like a host, deliver the part of the request that lies in the image.
        PixelRect r{std::max(rect.top, 0), std::max(rect.left, 0),
                    std::min(rect.bottom, image->height), std::min(rect.right, image->width)};
        current = HostBuffers{};
        HostImageView& in = current.input;
        in.data = image->input.data() + image->offset(r.left, r.top, 0);
        in.rowBytes = image->rowBytes;
        in.loPlane = 0;
        in.hiPlane = image->planes - 1;
        in.planes = image->planes;
        in.transparencyPlane = image->transparency ? image->planes - 1 : -1;
        in.filterCase = image->filterCase;
        in.depth = image->depth;
        in.rect = r;
        current.outData = image->output.data() + image->offset(r.left, r.top, 0);
        current.outRowBytes = image->rowBytes;
        current.outLoPlane = 0;
        current.outHiPlane = image->planes - 1;
        current.outRect = r;
        if (!image->mask.empty()) {
            current.maskData =
                image->mask.data() + static_cast<size_t>(r.top) * image->width + r.left;
            current.maskRowBytes = image->width;
            current.maskRect = r;
        }
        haveBuffers = true;
    }
    return noErr;
}

bool FakeHost::buffers(HostBuffers* out) const {
    if (!haveBuffers) {
        return false;
    }
    *out = current;
    return true;
}

bool FakeHost::abortRequested() {
    ++abortCalls;
    return abortOnCall != 0 && abortCalls >= abortOnCall;
}

void FakeHost::progress(int32_t done, int32_t total) {
    progressCalls.emplace_back(done, total);
}

void* FakeHost::allocateBuffer(size_t bytes) {
    ++allocations;
    if (failAllocationOnCall != 0 && allocations == failAllocationOnCall) {
        return nullptr;
    }
    void* buffer = std::calloc(1, bytes);
    liveBuffers += buffer != nullptr ? 1 : 0;
    return buffer;
}

void FakeHost::freeBuffer(void* buffer) {
    if (buffer != nullptr) {
        --liveBuffers;
    }
    std::free(buffer);
}

} // namespace lakra::testing
