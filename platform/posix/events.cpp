// Auto-reset events on POSIX. One process-wide mutex guards every event's flag;
// each blocked wait has a condition variable of its own, linked into the events
// it waits on, so a set wakes only the threads that wait for that event.

#include "platform/platform.h"

#include <new>
#include <pthread.h>

namespace lakra {

namespace {

// One blocked wait's entry in one event's list of waiters.
struct WaitLink {
    pthread_cond_t* wake = nullptr;
    WaitLink* next = nullptr;
};

pthread_mutex_t eventLock = PTHREAD_MUTEX_INITIALIZER;

} // namespace

struct PlatformEvent {
    bool signalled = false;
    WaitLink* waiters = nullptr;
};

namespace {

// Takes the signal of the lowest signalled event; -1 when none is signalled.
// Caller holds eventLock.
int consumeFirstSignalled(PlatformEvent* const* events, int count) {
    for (int i = 0; i < count; ++i) {
        if (events[i]->signalled) {
            events[i]->signalled = false;
            return i;
        }
    }
    return -1;
}

void unlink(PlatformEvent* event, const WaitLink* link) {
    for (WaitLink** at = &event->waiters; *at != nullptr; at = &(*at)->next) {
        if (*at == link) {
            *at = link->next;
            return;
        }
    }
}

// Blocks until one of the events is signalled. Caller holds eventLock.
int waitLocked(PlatformEvent* const* events, int count) {
    int index = consumeFirstSignalled(events, count);
    if (index >= 0) {
        return index;
    }
    pthread_cond_t wake;
    if (pthread_cond_init(&wake, nullptr) != 0) {
        return -1;
    }
    WaitLink links[kMaxWaitEvents];
    for (int i = 0; i < count; ++i) {
        links[i].wake = &wake;
        links[i].next = events[i]->waiters;
        events[i]->waiters = &links[i];
    }
    while (index < 0) {
        if (pthread_cond_wait(&wake, &eventLock) != 0) {
            break;
        }
        index = consumeFirstSignalled(events, count);
    }
    // Unlinked under the lock, so no set can touch `wake` after this.
    for (int i = 0; i < count; ++i) {
        unlink(events[i], &links[i]);
    }
    (void)pthread_cond_destroy(&wake);
    return index;
}

} // namespace

bool eventCreate(PlatformEvent** event) {
    if (event == nullptr) {
        return false;
    }
    *event = new (std::nothrow) PlatformEvent;
    return *event != nullptr;
}

void eventDestroy(PlatformEvent* event) {
    delete event;
}

bool eventSet(PlatformEvent* event) {
    if (event == nullptr || pthread_mutex_lock(&eventLock) != 0) {
        return false;
    }
    event->signalled = true;
    // Signalled while locked: a waiter's condition variable lives on its stack and
    // is destroyed as soon as the waiter has the lock again.
    bool ok = true;
    for (const WaitLink* link = event->waiters; link != nullptr; link = link->next) {
        ok = pthread_cond_signal(link->wake) == 0 && ok;
    }
    // Unlocking a mutex this thread holds cannot fail.
    (void)pthread_mutex_unlock(&eventLock);
    return ok;
}

bool eventReset(PlatformEvent* event) {
    if (event == nullptr || pthread_mutex_lock(&eventLock) != 0) {
        return false;
    }
    event->signalled = false;
    (void)pthread_mutex_unlock(&eventLock);
    return true;
}

int eventWaitAny(PlatformEvent* const* events, int count) {
    if (events == nullptr || count < 1 || count > kMaxWaitEvents) {
        return -1;
    }
    for (int i = 0; i < count; ++i) {
        if (events[i] == nullptr) {
            return -1;
        }
    }
    if (pthread_mutex_lock(&eventLock) != 0) {
        return -1;
    }
    const int index = waitLocked(events, count);
    (void)pthread_mutex_unlock(&eventLock);
    return index;
}

} // namespace lakra
