// Worker threads on Windows.

#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <new>

namespace lakra {

struct PlatformThread {
    HANDLE handle = nullptr;
    ThreadEntry entry = nullptr;
    void* argument = nullptr;
};

namespace {

DWORD WINAPI runThread(LPVOID raw) noexcept {
    const PlatformThread* thread = static_cast<const PlatformThread*>(raw);
    thread->entry(thread->argument);
    return 0;
}

} // namespace

bool threadStart(PlatformThread** thread, ThreadEntry entry, void* argument, size_t stackBytes) {
    if (thread == nullptr) {
        return false;
    }
    *thread = nullptr;
    // The system rounds the reservation up (to 1 MiB at most); a size that would wrap
    // round to a small stack instead of failing.
    constexpr size_t kRoundingBytes = size_t{1} << 20;
    if (entry == nullptr || stackBytes > SIZE_MAX - kRoundingBytes) {
        return false;
    }
    auto* started = new (std::nothrow) PlatformThread;
    if (started == nullptr) {
        return false;
    }
    started->entry = entry;
    started->argument = argument;
    // The size is the reservation, as on the POSIX backend, so a worker has the same
    // stack on both; the system rounds it up to its allocation granularity.
    started->handle = CreateThread(nullptr, stackBytes, runThread, started,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (started->handle == nullptr) { // CreateThread fails with NULL
        delete started;
        return false;
    }
    *thread = started;
    return true;
}

void threadJoin(PlatformThread* thread) {
    if (thread == nullptr) {
        return;
    }
    (void)WaitForSingleObject(thread->handle, INFINITE);
    (void)CloseHandle(thread->handle);
    delete thread;
}

} // namespace lakra
