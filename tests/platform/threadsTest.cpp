#include "platform/platform.h"

#include <atomic>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

void addOne(void* argument) {
    static_cast<std::atomic<int>*>(argument)->fetch_add(1);
}

// A frame of 128 KiB: most of a render worker's 200000-byte stack.
constexpr size_t kLargeFrameBytes = size_t{128} * 1024;

void fillLargeFrame(void* argument) {
    volatile unsigned char frame[kLargeFrameBytes];
    for (size_t i = 0; i < kLargeFrameBytes; i += 512) {
        frame[i] = static_cast<unsigned char>(i / 512);
    }
    unsigned sum = 0;
    for (size_t i = 0; i < kLargeFrameBytes; i += 512) {
        sum += frame[i];
    }
    *static_cast<unsigned*>(argument) = sum;
}

TEST(WorkerThreads, RenderStackHoldsALargeFrame) {
    unsigned sum = 0;
    PlatformThread* thread = nullptr;
    ASSERT_TRUE(threadStart(&thread, fillLargeFrame, &sum, kRenderWorkerStackBytes));
    threadJoin(thread);
    EXPECT_EQ(sum, 255u * 256u / 2u); // every page of the frame was written and read back
}

TEST(WorkerThreads, HundredThreadsAreAllJoined) {
    std::atomic<int> calls{0};
    for (int round = 0; round < 3; ++round) {
        std::vector<PlatformThread*> threads(100, nullptr);
        for (PlatformThread*& thread : threads) {
            ASSERT_TRUE(threadStart(&thread, addOne, &calls, kRenderWorkerStackBytes));
        }
        for (PlatformThread* thread : threads) {
            threadJoin(thread);
        }
        EXPECT_EQ(calls.load(), 100 * (round + 1));
    }
}

class ThreadStartFailure : public testing::TestWithParam<size_t> {};

TEST_P(ThreadStartFailure, AbsurdStackIsRefused) {
    std::atomic<int> calls{0};
    PlatformThread* thread = reinterpret_cast<PlatformThread*>(&calls); // must be cleared
    EXPECT_FALSE(threadStart(&thread, addOne, &calls, GetParam()));
    EXPECT_EQ(thread, nullptr);
    thread = reinterpret_cast<PlatformThread*>(&calls);
    EXPECT_FALSE(threadStart(&thread, nullptr, nullptr, kRenderWorkerStackBytes)) << "no entry";
    EXPECT_EQ(thread, nullptr);
    threadJoin(thread); // a null thread is accepted
    EXPECT_EQ(calls.load(), 0);
}

// More than any address space holds; SIZE_MAX also overflows when rounded to pages.
INSTANTIATE_TEST_SUITE_P(HugeStacks, ThreadStartFailure,
                         testing::Values(size_t{1} << 50, SIZE_MAX / 2, SIZE_MAX));

} // namespace
} // namespace lakra
