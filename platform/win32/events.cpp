// Auto-reset events on Windows: kernel events and WaitForMultipleObjects.

#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <new>

namespace lakra {

struct PlatformEvent {
    HANDLE handle = nullptr;
};

bool eventCreate(PlatformEvent** event) {
    if (event == nullptr) {
        return false;
    }
    *event = nullptr;
    auto* created = new (std::nothrow) PlatformEvent;
    if (created == nullptr) {
        return false;
    }
    // Auto-reset, unsignalled, unnamed; CreateEventA fails with NULL.
    created->handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (created->handle == nullptr) {
        delete created;
        return false;
    }
    *event = created;
    return true;
}

void eventDestroy(PlatformEvent* event) {
    if (event == nullptr) {
        return;
    }
    (void)CloseHandle(event->handle);
    delete event;
}

bool eventSet(PlatformEvent* event) {
    return event != nullptr && SetEvent(event->handle) != 0;
}

bool eventReset(PlatformEvent* event) {
    return event != nullptr && ResetEvent(event->handle) != 0;
}

namespace {

// Index of the signalled handle among count (at most 64), WAIT_TIMEOUT, or
// WAIT_FAILED.
DWORD waitGroup(const HANDLE* handles, int count, DWORD milliseconds) {
    const DWORD result =
        WaitForMultipleObjects(static_cast<DWORD>(count), handles, FALSE, milliseconds);
    if (result == WAIT_TIMEOUT || result == WAIT_FAILED) {
        return result;
    }
    const DWORD index = result - WAIT_OBJECT_0;
    return index < static_cast<DWORD>(count) ? index : WAIT_FAILED; // never abandoned
}

} // namespace

int eventWaitAny(PlatformEvent* const* events, int count) {
    static_assert(MAXIMUM_WAIT_OBJECTS == 64);
    if (events == nullptr || count < 1 || count > kMaxWaitEvents) {
        return -1;
    }
    HANDLE handles[kMaxWaitEvents];
    for (int i = 0; i < count; ++i) {
        if (events[i] == nullptr) {
            return -1;
        }
        handles[i] = events[i]->handle;
    }
    // With several signalled, the lowest index wins and only that event is reset.
    if (count <= MAXIMUM_WAIT_OBJECTS) {
        const DWORD index = waitGroup(handles, count, INFINITE);
        return index == WAIT_FAILED ? -1 : static_cast<int>(index);
    }
    // One kernel wait covers at most 64 handles: look at every group in
    // order without blocking, then sleep briefly on the first group.
    for (;;) {
        for (int first = 0; first < count; first += MAXIMUM_WAIT_OBJECTS) {
            const int size =
                count - first < MAXIMUM_WAIT_OBJECTS ? count - first : MAXIMUM_WAIT_OBJECTS;
            const DWORD index = waitGroup(handles + first, size, 0);
            if (index == WAIT_FAILED) {
                return -1;
            }
            if (index != WAIT_TIMEOUT) {
                return first + static_cast<int>(index);
            }
        }
        const DWORD index = waitGroup(handles, MAXIMUM_WAIT_OBJECTS, 1);
        if (index == WAIT_FAILED) {
            return -1;
        }
        if (index != WAIT_TIMEOUT) {
            return static_cast<int>(index);
        }
    }
}

} // namespace lakra
