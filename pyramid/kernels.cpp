#include "pyramid/kernels.h"

#include <cmath>

namespace lakra {

namespace {

constexpr int32_t kSubSamples = 20;
constexpr double kPi = 3.141592653; // the constant the tables have always used

double sinc(double t) {
    const double angle = kPi * t;
    return std::sin(angle) / angle;
}

double lanczos2(double t) {
    if (t == 0.0) {
        return 1.0;
    }
    if (t <= -2.0 || t >= 2.0) {
        return 0.0;
    }
    return sinc(t) * sinc(t * 0.5);
}

void buildPhase(KernelTables* tables, int32_t phase) {
    const float x = static_cast<float>(phase) / static_cast<float>(kKernelPhases) - 2.0f;
    // Each tap's weight averages the kernel over offsets 0, 1/21, ..., 19/21,
    // summed in single precision.
    float sums[kKernelTaps] = {};
    for (int32_t s = 0; s < kSubSamples; ++s) {
        const auto shifted = static_cast<float>(static_cast<double>(x) - s / 21.0);
        for (int32_t k = 0; k < kKernelTaps; ++k) {
            const double weight = lanczos2(static_cast<double>(shifted) + k);
            sums[k] = static_cast<float>(static_cast<double>(sums[k]) + weight);
        }
    }
    const float inverse = 1.0f / (sums[0] + sums[1] + sums[2] + sums[3] + sums[4]);
    float head = 0.0f;
    int32_t head8 = 0;
    int32_t head16 = 0;
    for (int32_t k = 0; k < kKernelTaps - 1; ++k) {
        const float weight = sums[k] * inverse;
        tables->f[k][phase] = weight;
        tables->a[k][phase] = static_cast<int32_t>(weight * static_cast<float>(kKernelScale8));
        tables->b[k][phase] = static_cast<int32_t>(weight * static_cast<float>(kKernelScale16));
        head += weight;
        head8 += tables->a[k][phase];
        head16 += tables->b[k][phase];
    }
    // The last tap takes the remainder, so every phase sums exactly to its scale.
    tables->f[kKernelTaps - 1][phase] = 1.0f - head;
    tables->a[kKernelTaps - 1][phase] = kKernelScale8 - head8;
    tables->b[kKernelTaps - 1][phase] = kKernelScale16 - head16;
}

KernelTables makeKernelTables() {
    KernelTables tables{};
    for (int32_t phase = 0; phase < kKernelPhases; ++phase) {
        buildPhase(&tables, phase);
    }
    return tables;
}

} // namespace

const KernelTables& kernelTables() {
    static const KernelTables tables = makeKernelTables();
    return tables;
}

} // namespace lakra
