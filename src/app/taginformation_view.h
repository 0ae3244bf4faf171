// The status window as the portable part of the program sees it; each platform's window
// implements it.
#pragma once

#include "workflow/run_window.h"

namespace kovrisk {

class TaginformationView : public RunWindow {
public:
    virtual void setTargetPath(const NativePath& path) = 0;  // into Edit1
};

}  // namespace kovrisk
