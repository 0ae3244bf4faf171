#include "platform/system_clock.h"

#include <time.h>

#include <thread>

namespace kovrisk {

LocalTime SystemClock::now() {
    timespec spec{};
    ::clock_gettime(CLOCK_REALTIME, &spec);
    tm parts{};
    ::localtime_r(&spec.tv_sec, &parts);
    return LocalTime{parts.tm_year + 1900,
                     parts.tm_mon + 1,
                     parts.tm_mday,
                     parts.tm_hour,
                     parts.tm_min,
                     parts.tm_sec,
                     static_cast<int>(spec.tv_nsec / 1000000)};
}

std::uint32_t SystemClock::tickCount() {
    timespec spec{};
    ::clock_gettime(CLOCK_BOOTTIME, &spec);
    const auto ms = static_cast<std::uint64_t>(spec.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(spec.tv_nsec / 1000000);
    return static_cast<std::uint32_t>(ms);
}

void SystemClock::sleep(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

}  // namespace kovrisk
