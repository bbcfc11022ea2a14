// Processor count, clock and the two text outputs on POSIX systems.

#include "platform/platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace lakra {

namespace {

std::atomic<int> forcedProcessorCount{0};
std::atomic<ClockFunction> replacedClock{nullptr};

int64_t monotonicSeconds() {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return 0;
    }
    return static_cast<int64_t>(now.tv_sec);
}

const char* orEmpty(const char* text) {
    return text != nullptr ? text : "";
}

} // namespace

int processorCount() {
    const int forced = forcedProcessorCount.load(std::memory_order_relaxed);
    if (forced > 0) {
        return forced;
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN); // -1 when unknown
    return online < 1 ? 1 : static_cast<int>(online);
}

void platformSetProcessorCount(int count) {
    forcedProcessorCount.store(count > 0 ? count : 0, std::memory_order_relaxed);
}

int64_t clockSeconds() {
    const ClockFunction clock = replacedClock.load(std::memory_order_acquire);
    return clock != nullptr ? clock() : monotonicSeconds();
}

void platformSetClock(ClockFunction clock) {
    replacedClock.store(clock, std::memory_order_release);
}

void debugOutput(const char* text) {
    // Read on every call so a test can switch it; only the host's thread writes the
    // environment, hence no lock.
    const char* enabled = std::getenv("LAKRA_DEBUG_OUTPUT"); // NOLINT(concurrency-mt-unsafe)
    if (enabled == nullptr || enabled[0] == '\0' || text == nullptr) {
        return;
    }
    // A lost debugger line is not worth reporting anywhere.
    (void)std::fputs(text, stderr);
}

void messageBox(const char* title, const char* text, MessageIcon /*icon*/) {
    (void)std::fprintf(stderr, "%s: %s\n", orEmpty(title), orEmpty(text));
}

bool drawPlanarPicture(void* /*context*/, int32_t /*x*/, int32_t /*y*/, const uint8_t* /*planes*/,
                       int32_t /*width*/, int32_t /*height*/, int32_t /*planeCount*/) {
    return false;
}

bool chooseColor(void*, uint8_t*) {
    return false; // no dialog on the command line
}

} // namespace lakra
