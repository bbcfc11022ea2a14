#include "platform/platform.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace lakra {
namespace {

// Owns the events of one test.
struct Events {
    PlatformEvent* list[kMaxWaitEvents + 1] = {};

    ~Events() {
        for (PlatformEvent* event : list) {
            eventDestroy(event);
        }
    }
};

// A wait consumes the signal it returns and takes the lowest signalled event,
// leaving the others; repeated sets leave one signal and a reset drops a
// pending one. 100 events are more than one kernel wait covers on Windows.
// Refused waits return -1 and leave the signals alone.
TEST(AutoResetEvents, WaitTakesTheLowestAndConsumesItsSignal) {
    Events group;
    for (PlatformEvent*& event : group.list) {
        ASSERT_TRUE(eventCreate(&event));
    }
    ASSERT_TRUE(eventSet(group.list[0]));
    ASSERT_TRUE(eventSet(group.list[0]));
    for (int count : {0, -1, kMaxWaitEvents + 1}) {
        EXPECT_EQ(eventWaitAny(group.list, count), -1) << count;
    }
    EXPECT_EQ(eventWaitAny(nullptr, 1), -1);
    PlatformEvent* const withNull[2] = {group.list[0], nullptr};
    EXPECT_EQ(eventWaitAny(withNull, 2), -1);
    EXPECT_EQ(eventWaitAny(group.list, 1), 0);
    EXPECT_FALSE(eventSet(nullptr));
    EXPECT_FALSE(eventReset(nullptr));
    eventDestroy(nullptr);
    ASSERT_TRUE(eventSet(group.list[0]));
    ASSERT_TRUE(eventReset(group.list[0]));
    for (int i : {99, 63, 64, 40, 5}) {
        ASSERT_TRUE(eventSet(group.list[i]));
    }
    for (int expected : {5, 40, 63, 64, 99}) {
        EXPECT_EQ(eventWaitAny(group.list, 100), expected);
    }
}

// An override forces a count; zero, or anything that is not a count, gives
// the real one again.
TEST(ProcessorCount, OverrideForcesACountAndZeroRestores) {
    const int real = processorCount();
    EXPECT_GE(real, 1);
    for (const auto& [forced, expected] :
         {std::pair{1, 1}, {128, 128}, {-3, real}, {128, 128}, {0, real}}) {
        platformSetProcessorCount(forced);
        EXPECT_EQ(processorCount(), expected) << forced;
    }
}

#ifndef _WIN32
// The debug line written with LAKRA_DEBUG_OUTPUT set to value (unset for
// nullptr); the variable is restored after. No other thread runs meanwhile.
// NOLINTBEGIN(concurrency-mt-unsafe)
std::string debugLineWith(const char* value) {
    constexpr const char* kName = "LAKRA_DEBUG_OUTPUT";
    const char* old = std::getenv(kName);
    const std::string saved = old != nullptr ? old : "";
    const bool hadValue = old != nullptr;
    (void)(value != nullptr ? setenv(kName, value, 1) : unsetenv(kName));
    testing::internal::CaptureStderr();
    debugOutput(">>> PluginMain 64bit\n");
    std::string line = testing::internal::GetCapturedStderr();
    (void)(hadValue ? setenv(kName, saved.c_str(), 1) : unsetenv(kName));
    return line;
}

// NOLINTEND(concurrency-mt-unsafe)

TEST(TextOutput, DebugLinesOnlyWhenTheVariableIsSetAndMessageBoxesAlways) {
    EXPECT_EQ(debugLineWith(nullptr), "");
    EXPECT_EQ(debugLineWith(""), "");
    EXPECT_EQ(debugLineWith("1"), ">>> PluginMain 64bit\n");
    // A message box, which has no window here, goes to stderr too.
    testing::internal::CaptureStderr();
    messageBox("Lakra", "Not enough memory.", MessageIcon::Error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Lakra: Not enough memory.\n");
}

#endif

void addOne(void* argument) {
    static_cast<std::atomic<int>*>(argument)->fetch_add(1);
}

// A frame of 128 KiB: most of a render worker's 200000-byte stack.
constexpr size_t kLargeFrameBytes = size_t{128} * 1024;

void fillLargeFrame(void* argument) {
    volatile unsigned char frame[kLargeFrameBytes];
    unsigned sum = 0;
    for (size_t i = 0; i < kLargeFrameBytes; i += 512) {
        frame[i] = static_cast<unsigned char>(i / 512);
        sum += frame[i];
    }
    *static_cast<unsigned*>(argument) = sum;
}

// A render worker's stack holds a large frame. More than any address space
// holds (SIZE_MAX also overflows when rounded to pages), or no entry: refused,
// and the thread is cleared.
TEST(WorkerThreads, RenderStackHoldsALargeFrameAndAbsurdOnesAreRefused) {
    unsigned sum = 0;
    PlatformThread* worker = nullptr;
    ASSERT_TRUE(threadStart(&worker, fillLargeFrame, &sum, kRenderWorkerStackBytes));
    threadJoin(worker);
    EXPECT_EQ(sum, 255u * 256u / 2u); // every page of the frame was written and read back
    std::atomic<int> calls{0};
    for (const size_t stack : {size_t{1} << 50, SIZE_MAX / 2, SIZE_MAX}) {
        PlatformThread* thread = reinterpret_cast<PlatformThread*>(&calls);
        EXPECT_FALSE(threadStart(&thread, addOne, &calls, stack));
        EXPECT_EQ(thread, nullptr);
    }
    PlatformThread* thread = reinterpret_cast<PlatformThread*>(&calls);
    EXPECT_FALSE(threadStart(&thread, nullptr, nullptr, kRenderWorkerStackBytes));
    EXPECT_EQ(thread, nullptr);
    threadJoin(thread); // a null thread is accepted
    EXPECT_EQ(calls.load(), 0);
}

} // namespace
} // namespace lakra
