#pragma once

// A host image, the fake host serving it, the source pyramid loaded from it
// and a look: everything one render into the Host target needs.

#include "pyramid/pyramid.h"
#include "render/loadSource.h"
#include "render/renderInto.h"
#include "support/fakeHost.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace lakra::testing {

inline float fullScaleOf(int32_t depth) {
    return depth == 16 ? 32768.0f : (depth == 32 ? 1.0f : 255.0f);
}

inline PixelFormat formatOfDepth(int32_t depth) {
    return depth == 16 ? PixelFormat::Rgba16
                       : (depth == 32 ? PixelFormat::RgbaFloat : PixelFormat::Rgba8);
}

// A smooth pattern of (x, y, plane) as a fraction of full scale.
inline float smoothPattern(int32_t x, int32_t y, int32_t plane) {
    return 0.5f + 0.4f * std::sin(0.11f * static_cast<float>(x) + 0.07f * static_cast<float>(y) +
                                  static_cast<float>(plane));
}

// Strong waves and rings, blurred, multiply.
inline void stormLook(Settings* s) {
    s->waviness = 85;
    s->complexity = 90;
    s->rippleSize = 70;
    s->rippleHeight = 80;
    s->undulation = 65;
    s->xCenter = 0.3f;
    s->yCenter = 0.75f;
    s->blur = 70;
    s->glue = 9;
    s->randomSeed = 1234;
    setHorizon(s, 35.0f);
    setOffset(s, 20.0f);
}

using SampleFunction = std::function<float(int32_t, int32_t, int32_t)>;

struct Scene {
    FakeImage image;
    FakeHost host;
    PyramidPtr source;
    Settings settings{};
    RenderState state{};

    // fill gives each sample as a fraction of full scale; the source is loaded
    // from it at once unless load is false (a mask may be set first).
    Scene(int32_t width, int32_t height, int32_t planes, int32_t depth, bool alpha,
          const SampleFunction& fill = smoothPattern, bool load = true)
        : image(width, height, planes, depth, alpha) {
        host.image = &image;
        settingsFresh(&settings);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                for (int32_t p = 0; p < planes; ++p) {
                    image.setInput(x, y, p, fill(x, y, p) * fullScaleOf(depth));
                }
            }
        }
        if (load) {
            loadImage();
        }
    }

    void loadImage() {
        source.reset(pyramidCreate(image.width, image.height, formatOfDepth(image.depth)));
        ASSERT_NE(source, nullptr);
        ASSERT_EQ(loadSource(&host, source.get()), noErr);
        host.requests.clear();
        state.filterWidth = image.width;
        state.filterHeight = image.height;
        state.source = source.get();
        state.hostFormat = HostImageFormat{image.depth, image.planes, image.transparency};
    }

    Result renderHost(int32_t processors = 0) {
        state.processors = processors;
        return renderInto(RenderTarget::Host, &settings, &state, &host, nullptr);
    }

    float out(int32_t x, int32_t y, int32_t plane) const {
        return image.outputAt(x, y, plane) / fullScaleOf(image.depth);
    }
};

} // namespace lakra::testing
