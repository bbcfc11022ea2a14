#include "platform/platform.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

// Owns a few events for one test.
class EventGroup {
public:
    explicit EventGroup(int count) : events(static_cast<size_t>(count), nullptr) {
        for (PlatformEvent*& event : events) {
            created = eventCreate(&event) && created;
        }
    }

    EventGroup(const EventGroup&) = delete;
    EventGroup& operator=(const EventGroup&) = delete;

    ~EventGroup() {
        for (PlatformEvent* event : events) {
            eventDestroy(event);
        }
    }

    bool created = true;
    std::vector<PlatformEvent*> events;

    PlatformEvent* operator[](int i) const { return events[static_cast<size_t>(i)]; }

    PlatformEvent* const* all() const { return events.data(); }
};

// A wait consumes the signal it returns and takes the lowest signalled event,
// leaving the others; repeated sets leave one signal and a reset drops a
// pending one. 100 events are more than one kernel wait covers on Windows.
TEST(AutoResetEvents, WaitTakesTheLowestAndConsumesItsSignal) {
    EventGroup group(100);
    ASSERT_TRUE(group.created);
    ASSERT_TRUE(eventSet(group[0]));
    ASSERT_TRUE(eventSet(group[0]));
    EXPECT_EQ(eventWaitAny(group.all(), 1), 0);
    ASSERT_TRUE(eventSet(group[0]));
    ASSERT_TRUE(eventReset(group[0]));
    for (int i : {99, 63, 64, 40, 5}) {
        ASSERT_TRUE(eventSet(group[i]));
    }
    for (int expected : {5, 40, 63, 64, 99}) {
        EXPECT_EQ(eventWaitAny(group.all(), 100), expected);
    }
}

// Refused waits return -1 and leave the signals alone.
TEST(EventWaitFailure, BadArgumentsReturnMinusOne) {
    EventGroup group(kMaxWaitEvents + 1);
    ASSERT_TRUE(group.created);
    ASSERT_TRUE(eventSet(group[0]));
    for (int count : {0, -1, kMaxWaitEvents + 1}) {
        EXPECT_EQ(eventWaitAny(group.all(), count), -1) << count;
    }
    EXPECT_EQ(eventWaitAny(nullptr, 1), -1);
    PlatformEvent* const withNull[2] = {group[0], nullptr};
    EXPECT_EQ(eventWaitAny(withNull, 2), -1);
    EXPECT_EQ(eventWaitAny(group.all(), 1), 0);
    EXPECT_FALSE(eventSet(nullptr));
    EXPECT_FALSE(eventReset(nullptr));
    eventDestroy(nullptr);
}

// A render driver in miniature: each worker waits on its own start event, runs
// the unit its slot names (-1 ends it) and sets its own done event; the main
// thread, woken by sets on the workers' threads, refills a slot as soon as
// its done event fires.
struct Slot {
    PlatformEvent* start = nullptr;
    PlatformEvent* done = nullptr;
    int unit = -1;
    std::vector<int>* runs = nullptr;
};

void runSlot(void* argument) {
    Slot* slot = static_cast<Slot*>(argument);
    while (eventWaitAny(&slot->start, 1) == 0 && slot->unit >= 0) {
        ++(*slot->runs)[static_cast<size_t>(slot->unit)];
        if (!eventSet(slot->done)) {
            return;
        }
    }
}

class EventPingPong : public testing::TestWithParam<int> {};

TEST_P(EventPingPong, EveryUnitRunsOnceAndNoSignalIsLost) {
    const int workers = GetParam();
    const int units = workers * 40;
    EventGroup starts(workers);
    EventGroup dones(workers);
    ASSERT_TRUE(starts.created && dones.created);
    std::vector<int> runs(static_cast<size_t>(units), 0);
    std::vector<Slot> slots(static_cast<size_t>(workers));
    std::vector<PlatformThread*> threads(slots.size(), nullptr);
    for (int i = 0; i < workers; ++i) {
        slots[static_cast<size_t>(i)] = Slot{starts[i], dones[i], i, &runs};
        ASSERT_TRUE(eventSet(starts[i]));
        ASSERT_TRUE(threadStart(&threads[static_cast<size_t>(i)], runSlot,
                                &slots[static_cast<size_t>(i)], kRenderWorkerStackBytes));
    }
    int started = workers;
    for (int finished = 0; finished < units; ++finished) {
        const int slot = eventWaitAny(dones.all(), workers);
        ASSERT_GE(slot, 0);
        if (started < units) {
            slots[static_cast<size_t>(slot)].unit = started++;
            ASSERT_TRUE(eventSet(starts[slot]));
        }
    }
    for (size_t i = 0; i < slots.size(); ++i) {
        slots[i].unit = -1;
        EXPECT_TRUE(eventSet(slots[i].start));
        threadJoin(threads[i]);
    }
    EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), units) << "every unit runs once";
}

INSTANTIATE_TEST_SUITE_P(Workers, EventPingPong, testing::Values(1, 2, 7, 64, 100));

} // namespace
} // namespace lakra
