#pragma once

// Which vector instructions the hot loops use, chosen once from the
// processor's features: AVX2, SSE4.1, or none (the scalar code, which is
// the reference every variant matches bit for bit). The environment variable
// LAKRA_SIMD=scalar|sse4|avx2 asks for a variant; one the processor lacks
// falls back to the best it has.

namespace lakra {

enum class SimdLevel : int { Scalar = 0, Sse4 = 1, Avx2 = 2 };

// The best level the processor supports.
SimdLevel simdSupported();
// The level in force.
SimdLevel simdLevel();
// Tests and benchmarks choose a level (capped at what is supported); it
// returns the level now in force.
SimdLevel setSimdLevel(SimdLevel level);
const char* simdLevelName(SimdLevel level);

} // namespace lakra
