#include "blend/lattice.h"

namespace lakra {

LatticeColor15 rgbToLattice(int32_t red, int32_t green, int32_t blue) {
    const int32_t in[3] = {red, green, blue};
    int32_t out[3];
    latticeInterpolate(kLatticeForward, in, kToLatticeDivisors, out);
    return {out[0], out[1], out[2]};
}

Pixel15 latticeToRgb(const LatticeColor15& color, int32_t alpha) {
    const int32_t in[3] = {color.k0, color.k1, color.k2};
    int32_t out[3];
    latticeInterpolate(kLatticeInverse, in, kToRgbDivisors, out);
    return {out[0], out[1], out[2], alpha};
}

} // namespace lakra
