// A clock for tests: readings are set by the test, pauses are recorded and advance the clock.
#pragma once

#include <deque>
#include <vector>

#include "platform/clock.h"

namespace kovrisk::testing {

class FakeClock : public Clock {
public:
    LocalTime time{2026, 12, 6, 22, 48, 5, 7};
    std::uint32_t ticks = 0;
    // Readings returned by now() before `time`, one per call.
    std::deque<LocalTime> queuedTimes;
    // Tick counts returned by tickCount() before `ticks`, one per call.
    std::deque<std::uint32_t> queuedTicks;
    std::vector<std::chrono::milliseconds> sleeps;

    LocalTime now() override {
        if (queuedTimes.empty())
            return time;
        const LocalTime next = queuedTimes.front();
        queuedTimes.pop_front();
        return next;
    }
    std::uint32_t tickCount() override {
        if (queuedTicks.empty())
            return ticks;
        const std::uint32_t next = queuedTicks.front();
        queuedTicks.pop_front();
        return next;
    }
    void sleep(std::chrono::milliseconds duration) override {
        sleeps.push_back(duration);
        ticks += static_cast<std::uint32_t>(duration.count());
    }
};

}  // namespace kovrisk::testing
