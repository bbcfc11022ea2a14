#pragma once

// Interpolation weights of the 5 x 5 filtered lookup: a Lanczos-2 kernel
// averaged over a window just under one pixel wide, tabulated at 128
// sub-pixel phases so that sampling never evaluates the kernel.

#include <cstdint>

namespace lakra {

inline constexpr int32_t kKernelPhases = 128;
inline constexpr int32_t kKernelTaps = 5;
inline constexpr int32_t kKernelScale8 = 2048;   // scale of the 8-bit weights
inline constexpr int32_t kKernelScale16 = 32768; // scale of the 16-bit weights

// Tap-major: all 128 phases of tap 0, then tap 1, and so on. The weights of a
// phase sum to 1 (floats, up to rounding), 2048 (a) and 32768 (b) exactly;
// some are negative.
struct KernelTables {
    float f[kKernelTaps][kKernelPhases];
    int32_t a[kKernelTaps][kKernelPhases];
    int32_t b[kKernelTaps][kKernelPhases];
};

// The one immutable set of tables every record shares, built on first use
// (thread-safe).
[[nodiscard]] const KernelTables& kernelTables();

} // namespace lakra
