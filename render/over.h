#pragma once

namespace lakra {

// Lays the colour top (red, green, blue, alpha) over bottom, in place: the
// one compositing rule of the renderer, the preview and the finish. A top
// with alpha 0 leaves bottom as it was.
inline void layOver(const float top[4], float bottom[4]) {
    const float topAlpha = top[3];
    if (!(topAlpha > 0.0f)) {
        return;
    }
    const float bottomAlpha = bottom[3];
    // The denominator is at least topAlpha for alphas in 0..1, so it is never 0 here.
    const float share = topAlpha / (bottomAlpha + topAlpha - bottomAlpha * topAlpha);
    for (int c = 0; c < 3; ++c) {
        bottom[c] += (top[c] - bottom[c]) * share;
    }
    bottom[3] = (1.0f - bottomAlpha) * topAlpha + bottomAlpha;
}

} // namespace lakra
