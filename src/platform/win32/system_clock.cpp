#include "platform/system_clock.h"

#include <windows.h>

namespace kovrisk {

LocalTime SystemClock::now() {
    SYSTEMTIME time{};
    ::GetLocalTime(&time);
    return LocalTime{time.wYear,   time.wMonth,  time.wDay,         time.wHour,
                     time.wMinute, time.wSecond, time.wMilliseconds};
}

std::uint32_t SystemClock::tickCount() {
    return ::GetTickCount();
}

void SystemClock::sleep(std::chrono::milliseconds duration) {
    ::Sleep(static_cast<DWORD>(duration.count()));
}

}  // namespace kovrisk
