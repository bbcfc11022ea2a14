#include "platform/platform.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace lakra {
namespace {

TEST(ProcessorCount, IsAtLeastOne) {
    EXPECT_GE(processorCount(), 1);
}

TEST(ProcessorCount, OverrideForcesACountAndZeroRestores) {
    const int real = processorCount();
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
// Sets LAKRA_DEBUG_OUTPUT for one test and restores it after. No other thread runs
// while it does.
// NOLINTBEGIN(concurrency-mt-unsafe)
class DebugOutputVariable {
public:
    explicit DebugOutputVariable(const char* value) {
        const char* old = std::getenv(kName);
        hadValue = old != nullptr;
        if (hadValue) {
            oldValue = old;
        }
        if (value != nullptr) {
            setenv(kName, value, 1);
        } else {
            unsetenv(kName);
        }
    }

    DebugOutputVariable(const DebugOutputVariable&) = delete;
    DebugOutputVariable& operator=(const DebugOutputVariable&) = delete;

    ~DebugOutputVariable() {
        if (hadValue) {
            setenv(kName, oldValue.c_str(), 1);
        } else {
            unsetenv(kName);
        }
    }

private:
    static constexpr const char* kName = "LAKRA_DEBUG_OUTPUT";
    bool hadValue = false;
    std::string oldValue;
};

// NOLINTEND(concurrency-mt-unsafe)

std::string debugLineWith(const char* value) {
    DebugOutputVariable variable(value);
    testing::internal::CaptureStderr();
    debugOutput(">>> PluginMain 64bit\n");
    return testing::internal::GetCapturedStderr();
}

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
