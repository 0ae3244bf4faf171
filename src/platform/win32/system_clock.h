// The real clock on Windows: the local time, GetTickCount and Sleep.
#pragma once

#include "support/clock.h"

namespace kovrisk {

class SystemClock : public Clock {
  public:
    LocalTime now() override;
    std::uint32_t tickCount() override;
    void sleep(std::chrono::milliseconds duration) override;
};

}  // namespace kovrisk
