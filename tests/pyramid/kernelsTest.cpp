#include "pyramid/kernels.h"

#include "pyramid/pyramid.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace lakra {
namespace {

TEST(KernelTables, PhasesZeroAndHalfHaveTheirKnownShape) {
    const KernelTables& tables = kernelTables();
    const float phase0[] = {0.000f, -0.046f, 0.594f, 0.497f, -0.045f};
    const float phase64[] = {-0.014f, 0.116f, 0.848f, 0.056f, -0.008f};
    for (int k = 0; k < kKernelTaps; ++k) {
        EXPECT_NEAR(tables.f[k][0], phase0[k], 0.0005f) << "tap " << k;
        EXPECT_NEAR(tables.f[k][64], phase64[k], 0.0005f) << "tap " << k;
    }
}

TEST(KernelTables, IntegerWeightsSumExactlyToTheirScale) {
    const KernelTables& tables = kernelTables();
    for (int p = 0; p < kKernelPhases; ++p) {
        int32_t sum8 = 0;
        int32_t sum16 = 0;
        int32_t magnitude8 = 0;
        float sumFloat = 0.0f;
        for (int k = 0; k < kKernelTaps; ++k) {
            sum8 += tables.a[k][p];
            sum16 += tables.b[k][p];
            magnitude8 += std::abs(tables.a[k][p]);
            sumFloat += tables.f[k][p];
        }
        EXPECT_EQ(sum8, 2048) << "phase " << p;
        EXPECT_EQ(sum16, 32768) << "phase " << p;
        EXPECT_NEAR(sumFloat, 1.0f, 1e-6f) << "phase " << p;
        // The 8-bit lookup sums 255 x weight x weight in 32 bits.
        EXPECT_LT(255LL * magnitude8 * magnitude8, 1LL << 31) << "phase " << p;
    }
}

TEST(KernelTables, EveryRecordSharesOneSet) {
    PyramidPtr created(pyramidCreate(3, 3, PixelFormat::Rgba8));
    ASSERT_NE(created, nullptr);
    ImagePyramid embedded;
    pyramidConstruct(&embedded);
    EXPECT_EQ(created->kernels, &kernelTables());
    EXPECT_EQ(embedded.kernels, &kernelTables());
}

} // namespace
} // namespace lakra
