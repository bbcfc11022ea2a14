#include "platform/simd.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace lakra {

namespace {

SimdLevel detect() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        return SimdLevel::Avx2;
    }
    if (__builtin_cpu_supports("sse4.1")) {
        return SimdLevel::Sse4;
    }
#endif
    return SimdLevel::Scalar;
}

SimdLevel cap(SimdLevel wanted) {
    const SimdLevel best = simdSupported();
    return static_cast<int>(wanted) < static_cast<int>(best) ? wanted : best;
}

SimdLevel fromEnvironment() {
    const char* wanted = std::getenv("LAKRA_SIMD"); // NOLINT(concurrency-mt-unsafe): start-up
    if (wanted != nullptr) {
        for (const SimdLevel level : {SimdLevel::Scalar, SimdLevel::Sse4, SimdLevel::Avx2}) {
            if (std::strcmp(wanted, simdLevelName(level)) == 0) {
                return cap(level);
            }
        }
    }
    return simdSupported();
}

std::atomic<int>& chosen() {
    static std::atomic<int> level{static_cast<int>(fromEnvironment())};
    return level;
}

} // namespace

SimdLevel simdSupported() {
    static const SimdLevel supported = detect();
    return supported;
}

SimdLevel simdLevel() {
    return static_cast<SimdLevel>(chosen().load(std::memory_order_relaxed));
}

SimdLevel setSimdLevel(SimdLevel level) {
    const SimdLevel capped = cap(level);
    chosen().store(static_cast<int>(capped), std::memory_order_relaxed);
    return capped;
}

const char* simdLevelName(SimdLevel level) {
    switch (level) {
    case SimdLevel::Avx2:
        return "avx2";
    case SimdLevel::Sse4:
        return "sse4";
    case SimdLevel::Scalar:
    default:
        return "scalar";
    }
}

} // namespace lakra
