// Worker threads on POSIX: pthreads with an explicit stack size.

#include "platform/platform.h"

#include <climits>
#include <cstdint>
#include <new>
#include <pthread.h>
#include <unistd.h>

namespace lakra {

struct PlatformThread {
    pthread_t handle{};
    ThreadEntry entry = nullptr;
    void* argument = nullptr;
};

namespace {

void* runThread(void* raw) noexcept {
    const PlatformThread* thread = static_cast<const PlatformThread*>(raw);
    thread->entry(thread->argument);
    return nullptr;
}

// The stack size pthreads accepts for a request: at least PTHREAD_STACK_MIN and a
// whole number of pages. Returns 0 when the request cannot be rounded (overflow).
size_t usableStackBytes(size_t stackBytes) {
    const long page = sysconf(_SC_PAGESIZE);
    const size_t pageBytes = page > 0 ? static_cast<size_t>(page) : 4096;
    size_t bytes = stackBytes < static_cast<size_t>(PTHREAD_STACK_MIN)
                       ? static_cast<size_t>(PTHREAD_STACK_MIN)
                       : stackBytes;
    if (bytes > SIZE_MAX - (pageBytes - 1)) {
        return 0;
    }
    bytes = (bytes + pageBytes - 1) / pageBytes * pageBytes;
    return bytes;
}

} // namespace

bool threadStart(PlatformThread** thread, ThreadEntry entry, void* argument, size_t stackBytes) {
    if (thread == nullptr) {
        return false;
    }
    *thread = nullptr;
    const size_t bytes = usableStackBytes(stackBytes);
    if (entry == nullptr || bytes == 0) {
        return false;
    }
    auto* started = new (std::nothrow) PlatformThread;
    if (started == nullptr) {
        return false;
    }
    started->entry = entry;
    started->argument = argument;

    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        delete started;
        return false;
    }
    bool ok = pthread_attr_setstacksize(&attributes, bytes) == 0 &&
              pthread_create(&started->handle, &attributes, runThread, started) == 0;
    (void)pthread_attr_destroy(&attributes);
    if (!ok) {
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
    // Fails only for a handle that was never joinable; the record is released either way.
    (void)pthread_join(thread->handle, nullptr);
    delete thread;
}

} // namespace lakra
