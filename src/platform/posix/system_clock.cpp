#include "platform/system_clock.h"

#include <time.h>

#include <thread>

namespace kovrisk {

LocalTime SystemClock::now() {
    timespec reading{};
    ::clock_gettime(CLOCK_REALTIME, &reading);
    tm parts{};
    ::localtime_r(&reading.tv_sec, &parts);
    return LocalTime{parts.tm_year + 1900,
                     parts.tm_mon + 1,
                     parts.tm_mday,
                     parts.tm_hour,
                     parts.tm_min,
                     parts.tm_sec,
                     static_cast<int>(reading.tv_nsec / 1000000)};
}

std::uint32_t SystemClock::tickCount() {
    timespec reading{};
    ::clock_gettime(CLOCK_BOOTTIME, &reading);
    const auto ms = static_cast<std::uint64_t>(reading.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(reading.tv_nsec / 1000000);
    return static_cast<std::uint32_t>(ms);
}

void SystemClock::sleep(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

}  // namespace kovrisk
