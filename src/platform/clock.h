// Time as the program sees it: the local clock, the system tick count and pauses.  Everything that
// depends on time takes a Clock, so tests run with fixed readings and without waiting.
#pragma once

#include <chrono>
#include <cstdint>

namespace kovrisk {

struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() = 0;
    // Milliseconds since the system started, wrapping at 2^32.
    virtual std::uint32_t tickCount() = 0;
    virtual void sleep(std::chrono::milliseconds duration) = 0;
};

}  // namespace kovrisk
