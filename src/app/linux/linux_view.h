// What the program entry needs of a status window on Linux, on top of what the portable part uses:
// the tick handler of Timer1 and the showing of the window.
#pragma once

#include <functional>

#include "app/taginformation_view.h"

namespace kovrisk {

class LinuxView : public TaginformationView {
public:
    // What Timer1's tick runs.
    virtual void setTimer1Handler(std::function<void()> handler) = 0;
    // Shows the window; its show handler arms Timer1.
    virtual void showTaginformation() = 0;
};

}  // namespace kovrisk
