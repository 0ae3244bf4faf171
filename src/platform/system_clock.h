// The real clock: the local time, the system's tick count and real pauses.
#pragma once

#include "platform/clock.h"

namespace kovrisk {

class SystemClock : public Clock {
public:
    LocalTime now() override;
    std::uint32_t tickCount() override;
    void sleep(std::chrono::milliseconds duration) override;
};

}  // namespace kovrisk
