#include "platform/platform.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace lakra {
namespace {

TEST(ProcessorCount, OverrideForcesACountAndZeroRestores) {
    const int real = processorCount();
    EXPECT_GE(real, 1);
    platformSetProcessorCount(1);
    EXPECT_EQ(processorCount(), 1);
    platformSetProcessorCount(128);
    EXPECT_EQ(processorCount(), 128);
    platformSetProcessorCount(-3); // not a count: the real one again
    EXPECT_EQ(processorCount(), real);
    platformSetProcessorCount(128);
    platformSetProcessorCount(0);
    EXPECT_EQ(processorCount(), real);
}

int64_t fixedClock() {
    return 12345;
}

TEST(Clock, ReplacementIsUsedUntilCleared) {
    const int64_t before = clockSeconds();
    platformSetClock(fixedClock);
    EXPECT_EQ(clockSeconds(), 12345);
    platformSetClock(nullptr);
    EXPECT_GE(clockSeconds(), before); // monotonic: never goes back
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

TEST(DebugOutput, GoesToStderrOnlyWhenTheVariableIsSet) {
    EXPECT_EQ(debugLineWith(nullptr), "");
    EXPECT_EQ(debugLineWith(""), "");
    EXPECT_EQ(debugLineWith("1"), ">>> PluginMain 64bit\n");
}

TEST(MessageBoxText, IsWrittenToStderrAsTitleAndText) {
    testing::internal::CaptureStderr();
    messageBox("Lakra", "Not enough memory.", MessageIcon::Error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Lakra: Not enough memory.\n");
}
#endif

} // namespace
} // namespace lakra
