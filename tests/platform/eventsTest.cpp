#include "platform/platform.h"

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

} // namespace
} // namespace lakra
