// Generates blend/latticeTables.cpp: the forward (RGB -> K) and inverse
// (K -> RGB) 16 x 16 x 16 byte lattices of the lattice colour space.
//
// The space is CIELAB (D50) of an RGB with gamma 1.8 and the primaries
// below, stored as bytes: K0 = L* x 2.55, K1 = a* + 128, K2 = b* + 128. Gamma
// 1.8 puts the greys of lattice indices 0, 3, 6, 9, 12, 15 at K0 = 0, 72,
// 130, 177, 218, 255; the primaries were fitted so that pure red, green and
// blue land at about (144, 208, 208), (214, 51, 207) and (104, 158, 33).
//
// The forward table samples that model at its lattice points. The inverse
// table starts from the model's exact inverse (clipped into the RGB cube)
// and is then refined by bounded least squares, so that the trilinear
// lookups of latticeInterpolate, chained forward then inverse, return a
// dense grid of RGB colours as closely as bytes allow; greys weigh most.
// Lattice points far outside the RGB gamut keep their clipped start values.
//
// The round trip cannot be exact. Where one channel is dark and the others
// bright, a step of 1/15 in that channel barely moves L*a*b*, so several
// lattice colours share one cell of the inverse lattice, and the cells that
// straddle a face of the RGB cube would need values outside 0..255. Those
// colours come back up to about 30 byte steps off; greys within one step,
// and the average error per channel is about two.
//
// Rerun (from the repository root, after adding this folder to the build):
//   cmake --build build/native --target lakra_gen_lattice
//   build/native/blend/generator/lakra_gen_lattice blend/latticeTables.cpp
//   clang-format is not needed: the tables sit between clang-format off/on.
// The program prints the round-trip error of the lattice colours.

#include "blend/lattice.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using lakra::kFixedOne;
using lakra::kLatticeSide;
using lakra::kLatticeTableBytes;

constexpr double kGamma = 1.8;
constexpr double kWhite[3] = {0.3457 / 0.3585, 1.0, (1.0 - 0.3457 - 0.3585) / 0.3585}; // D50
constexpr double kPrimaries[3][2] = {{0.6476, 0.3394}, {0.3205, 0.6010}, {0.1576, 0.1156}};

struct Matrix {
    double m[3][3];
};

Matrix invert(const Matrix& a) {
    Matrix r{};
    const double det = a.m[0][0] * (a.m[1][1] * a.m[2][2] - a.m[1][2] * a.m[2][1]) -
                       a.m[0][1] * (a.m[1][0] * a.m[2][2] - a.m[1][2] * a.m[2][0]) +
                       a.m[0][2] * (a.m[1][0] * a.m[2][1] - a.m[1][1] * a.m[2][0]);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int i1 = (j + 1) % 3;
            const int i2 = (j + 2) % 3;
            const int j1 = (i + 1) % 3;
            const int j2 = (i + 2) % 3;
            r.m[i][j] = (a.m[i1][j1] * a.m[i2][j2] - a.m[i1][j2] * a.m[i2][j1]) / det;
        }
    }
    return r;
}

// Linear RGB to XYZ: columns are the primaries' XYZ, scaled so that white
// (1, 1, 1) gives the white point.
Matrix rgbToXyzMatrix() {
    Matrix p{};
    for (int c = 0; c < 3; ++c) {
        const double x = kPrimaries[c][0];
        const double y = kPrimaries[c][1];
        p.m[0][c] = x / y;
        p.m[1][c] = 1.0;
        p.m[2][c] = (1.0 - x - y) / y;
    }
    const Matrix inverse = invert(p);
    double scale[3];
    for (int c = 0; c < 3; ++c) {
        scale[c] =
            inverse.m[c][0] * kWhite[0] + inverse.m[c][1] * kWhite[1] + inverse.m[c][2] * kWhite[2];
    }
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            p.m[r][c] *= scale[c];
        }
    }
    return p;
}

constexpr double kEpsilon = 216.0 / 24389.0;
constexpr double kKappa = 24389.0 / 27.0;

double labF(double t) {
    return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16.0) / 116.0;
}

double labFInverse(double f) {
    const double cube = f * f * f;
    return cube > kEpsilon ? cube : (116.0 * f - 16.0) / kKappa;
}

// RGB 0..1 to (K0, K1, K2) in byte units, unrounded.
void modelForward(const Matrix& toXyz, const double rgb[3], double k[3]) {
    double linear[3];
    for (int c = 0; c < 3; ++c) {
        linear[c] = std::pow(rgb[c], kGamma);
    }
    double f[3];
    for (int r = 0; r < 3; ++r) {
        const double v =
            toXyz.m[r][0] * linear[0] + toXyz.m[r][1] * linear[1] + toXyz.m[r][2] * linear[2];
        f[r] = labF(v / kWhite[r]);
    }
    k[0] = (116.0 * f[1] - 16.0) * 2.55;
    k[1] = 500.0 * (f[0] - f[1]) + 128.0;
    k[2] = 200.0 * (f[1] - f[2]) + 128.0;
}

// (K0, K1, K2) in byte units to RGB 0..1, clipped into the cube.
void modelInverse(const Matrix& toRgb, const double k[3], double rgb[3]) {
    const double fy = (k[0] / 2.55 + 16.0) / 116.0;
    const double fx = fy + (k[1] - 128.0) / 500.0;
    const double fz = fy - (k[2] - 128.0) / 200.0;
    const double xyz[3] = {labFInverse(fx) * kWhite[0], labFInverse(fy) * kWhite[1],
                           labFInverse(fz) * kWhite[2]};
    for (int r = 0; r < 3; ++r) {
        const double v = toRgb.m[r][0] * xyz[0] + toRgb.m[r][1] * xyz[1] + toRgb.m[r][2] * xyz[2];
        rgb[r] = std::pow(std::clamp(v, 0.0, 1.0), 1.0 / kGamma);
    }
}

uint8_t toByte(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

int latticeOffset(int i, int j, int k) {
    return 3 * (i + kLatticeSide * j + kLatticeSide * kLatticeSide * k);
}

// One sample of the refinement: the 8 inverse-table points its forward image
// falls between, their weights, and the RGB (byte units) it must return to.
struct Sample {
    int corner[8];
    double weight[8];
    double target[3];
    double importance;
};

Sample makeSample(const uint8_t* forward, const int32_t rgb15[3], double importance) {
    int32_t k15[3];
    lakra::latticeInterpolate(forward, rgb15, lakra::kToLatticeDivisors, k15);
    const lakra::LatticeStep s[3] = {lakra::latticeStep(k15[0]), lakra::latticeStep(k15[1]),
                                     lakra::latticeStep(k15[2])};
    Sample sample{};
    int n = 0;
    for (int dz = 0; dz < 2; ++dz) {
        for (int dy = 0; dy < 2; ++dy) {
            for (int dx = 0; dx < 2; ++dx) {
                const double fx = s[0].fraction / 32768.0;
                const double fy = s[1].fraction / 32768.0;
                const double fz = s[2].fraction / 32768.0;
                sample.corner[n] = latticeOffset(s[0].cell + dx, s[1].cell + dy, s[2].cell + dz);
                sample.weight[n] =
                    (dx == 1 ? fx : 1 - fx) * (dy == 1 ? fy : 1 - fy) * (dz == 1 ? fz : 1 - fz);
                ++n;
            }
        }
    }
    for (int c = 0; c < 3; ++c) {
        sample.target[c] = rgb15[c] * 255.0 / 32768.0;
    }
    sample.importance = importance;
    return sample;
}

// Bounded least squares by projected Gauss-Seidel over the table entries.
void refineInverse(const std::vector<Sample>& samples, const std::vector<double>& start,
                   std::vector<double>& table) {
    const int points = kLatticeTableBytes / 3;
    std::vector<std::vector<std::pair<int, double>>> uses(static_cast<size_t>(points));
    for (size_t s = 0; s < samples.size(); ++s) {
        for (int n = 0; n < 8; ++n) {
            if (samples[s].weight[n] > 0.0) {
                uses[static_cast<size_t>(samples[s].corner[n] / 3)].push_back(
                    {static_cast<int>(s), samples[s].weight[n]});
            }
        }
    }
    // Residual of every sample and channel: interpolated minus target.
    std::vector<double> residual(samples.size() * 3);
    for (size_t s = 0; s < samples.size(); ++s) {
        for (int c = 0; c < 3; ++c) {
            double v = -samples[s].target[c];
            for (int n = 0; n < 8; ++n) {
                v += samples[s].weight[n] *
                     table[static_cast<size_t>(samples[s].corner[n]) + static_cast<size_t>(c)];
            }
            residual[s * 3 + static_cast<size_t>(c)] = v;
        }
    }
    constexpr double kStayNearStart = 1e-4;
    for (int sweep = 0; sweep < 300; ++sweep) {
        for (int p = 0; p < points; ++p) {
            const auto& list = uses[static_cast<size_t>(p)];
            for (int c = 0; c < 3; ++c) {
                const size_t entry = 3 * static_cast<size_t>(p) + static_cast<size_t>(c);
                double gradient = kStayNearStart * (table[entry] - start[entry]);
                double curvature = kStayNearStart;
                for (const auto& [s, w] : list) {
                    const double iw = samples[static_cast<size_t>(s)].importance * w;
                    gradient += iw * residual[static_cast<size_t>(s) * 3 + static_cast<size_t>(c)];
                    curvature += iw * w;
                }
                const double updated = std::clamp(table[entry] - gradient / curvature, 0.0, 255.0);
                const double delta = updated - table[entry];
                if (delta == 0.0) {
                    continue;
                }
                table[entry] = updated;
                for (const auto& [s, w] : list) {
                    residual[static_cast<size_t>(s) * 3 + static_cast<size_t>(c)] += w * delta;
                }
            }
        }
    }
}

int32_t latticeChannel15(int i) {
    return (i * kFixedOne + 14) / 15;
}

// Largest difference, in 15-bit steps, between a lattice colour and its
// forward-then-inverse image.
int32_t worstRoundTrip(const uint8_t* forward, const uint8_t* inverse, double* mean) {
    int32_t worst = 0;
    double total = 0.0;
    for (int k = 0; k < kLatticeSide; ++k) {
        for (int j = 0; j < kLatticeSide; ++j) {
            for (int i = 0; i < kLatticeSide; ++i) {
                const int32_t rgb[3] = {latticeChannel15(i), latticeChannel15(j),
                                        latticeChannel15(k)};
                int32_t kk[3];
                int32_t back[3];
                lakra::latticeInterpolate(forward, rgb, lakra::kToLatticeDivisors, kk);
                lakra::latticeInterpolate(inverse, kk, lakra::kToRgbDivisors, back);
                for (int c = 0; c < 3; ++c) {
                    const int32_t d = std::abs(back[c] - rgb[c]);
                    worst = std::max(worst, d);
                    total += d;
                }
            }
        }
    }
    *mean = total / (3.0 * kLatticeTableBytes / 3);
    return worst;
}

void appendTable(std::string& text, const char* name, const uint8_t* table) {
    text += "const uint8_t ";
    text += name;
    text += "[kLatticeTableBytes] = {\n";
    for (int line = 0; line < kLatticeTableBytes / 24; ++line) {
        text += "   ";
        for (int n = 0; n < 24; ++n) {
            const std::string value = std::to_string(table[line * 24 + n]);
            text += std::string(4 - value.size(), ' ') + value + ",";
        }
        text += "\n";
    }
    text += "};\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        (void)std::fprintf(stderr, "usage: %s blend/latticeTables.cpp\n", argv[0]);
        return 2;
    }
    const Matrix toXyz = rgbToXyzMatrix();
    const Matrix toRgb = invert(toXyz);
    std::vector<uint8_t> forward(kLatticeTableBytes);
    std::vector<double> start(kLatticeTableBytes);
    for (int k = 0; k < kLatticeSide; ++k) {
        for (int j = 0; j < kLatticeSide; ++j) {
            for (int i = 0; i < kLatticeSide; ++i) {
                const int o = latticeOffset(i, j, k);
                const double rgb[3] = {i / 15.0, j / 15.0, k / 15.0};
                double kv[3];
                modelForward(toXyz, rgb, kv);
                // Inverse lattice points in byte units: 255 / 15 apart on the
                // lightness, 256 / 15 on the opponent axes (128 is 0.5).
                const double point[3] = {i * 17.0, j * 256.0 / 15.0, k * 256.0 / 15.0};
                double back[3];
                modelInverse(toRgb, point, back);
                for (int c = 0; c < 3; ++c) {
                    const size_t entry = static_cast<size_t>(o) + static_cast<size_t>(c);
                    forward[entry] = toByte(kv[c]);
                    start[entry] = back[c] * 255.0;
                }
            }
        }
    }
    // Every 1/60 of the cube, which holds the lattice colours (every fourth
    // step); those count four times as much, and greys far more, so that the
    // modes keep greys grey.
    std::vector<Sample> samples;
    constexpr int kSteps = 60;
    for (int b = 0; b <= kSteps; ++b) {
        for (int g = 0; g <= kSteps; ++g) {
            for (int r = 0; r <= kSteps; ++r) {
                const bool onLattice = r % 4 == 0 && g % 4 == 0 && b % 4 == 0;
                const int32_t rgb[3] = {(r * kFixedOne + kSteps - 1) / kSteps,
                                        (g * kFixedOne + kSteps - 1) / kSteps,
                                        (b * kFixedOne + kSteps - 1) / kSteps};
                const bool grey = r == g && g == b;
                samples.push_back(
                    makeSample(forward.data(), rgb, grey ? 1000.0 : (onLattice ? 4.0 : 1.0)));
            }
        }
    }
    std::vector<double> refined = start;
    refineInverse(samples, start, refined);
    std::vector<uint8_t> inverse(kLatticeTableBytes);
    for (size_t n = 0; n < inverse.size(); ++n) {
        inverse[n] = toByte(refined[n]);
    }
    std::vector<uint8_t> clipped(kLatticeTableBytes);
    for (size_t n = 0; n < clipped.size(); ++n) {
        clipped[n] = toByte(start[n]);
    }
    double mean = 0.0;
    const int32_t before = worstRoundTrip(forward.data(), clipped.data(), &mean);
    (void)std::fprintf(stderr, "round trip, exact inverse: worst %d, mean %.1f (15-bit steps)\n",
                       before, mean);
    const int32_t after = worstRoundTrip(forward.data(), inverse.data(), &mean);
    (void)std::fprintf(stderr, "round trip, refined:       worst %d, mean %.1f (15-bit steps)\n",
                       after, mean);

    std::string text =
        "// Generated by blend/generator/genLattice.cpp; do not edit by hand.\n"
        "// Rerun: build the target lakra_gen_lattice (blend/generator/CMakeLists.txt)\n"
        "// and run it with this file's path, e.g.\n"
        "//   build/native/blend/generator/lakra_gen_lattice blend/latticeTables.cpp\n"
        "// Forward: RGB lattice point (r, g, b) to K = (L* x 2.55, a* + 128, b* + 128)\n"
        "// of a gamma-1.8 RGB in CIELAB D50. Inverse: K lattice point back to RGB,\n"
        "// fitted by least squares so that forward then inverse comes back close\n"
        "// to the input. Lattice colours come back within " +
        std::to_string(after) + " fifteen-bit steps,\n// " + std::to_string(std::lround(mean)) +
        " on average per channel.\n\n"
        "#include \"blend/lattice.h\"\n\n"
        "#include <cstdint>\n\n"
        "namespace lakra {\n\n"
        "// clang-format off\n";
    appendTable(text, "kLatticeForward", forward.data());
    text += "\n";
    appendTable(text, "kLatticeInverse", inverse.data());
    text += "// clang-format on\n\n} // namespace lakra\n";

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !written) {
        (void)std::fprintf(stderr, "%s: write failed\n", argv[1]);
        return 1;
    }
    return 0;
}
