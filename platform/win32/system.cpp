// Processor count, clock, debugger output and message boxes on Windows.

#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>

namespace lakra {

namespace {

std::atomic<int> forcedProcessorCount{0};
std::atomic<ClockFunction> replacedClock{nullptr};

UINT iconStyle(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Warning:
        return MB_ICONWARNING;
    case MessageIcon::Error:
        return MB_ICONERROR;
    case MessageIcon::Information:
        break;
    }
    return MB_ICONINFORMATION;
}

} // namespace

int processorCount() {
    const int forced = forcedProcessorCount.load(std::memory_order_relaxed);
    if (forced > 0) {
        return forced;
    }
    SYSTEM_INFO info{};
    GetSystemInfo(&info); // the processors of this process's group, at most 64
    return info.dwNumberOfProcessors < 1 ? 1 : static_cast<int>(info.dwNumberOfProcessors);
}

void platformSetProcessorCount(int count) {
    forcedProcessorCount.store(count > 0 ? count : 0, std::memory_order_relaxed);
}

int64_t clockSeconds() {
    const ClockFunction clock = replacedClock.load(std::memory_order_acquire);
    if (clock != nullptr) {
        return clock();
    }
    return static_cast<int64_t>(GetTickCount64() / 1000); // milliseconds since boot
}

void platformSetClock(ClockFunction clock) {
    replacedClock.store(clock, std::memory_order_release);
}

void debugOutput(const char* text) {
    if (text != nullptr) {
        OutputDebugStringA(text);
    }
}

void messageBox(const char* title, const char* text, MessageIcon icon) {
    // No owner: the host's window is not known here, and MB_OK has one answer only.
    (void)MessageBoxA(nullptr, text != nullptr ? text : "", title != nullptr ? title : "",
                      MB_OK | iconStyle(icon));
}

} // namespace lakra
