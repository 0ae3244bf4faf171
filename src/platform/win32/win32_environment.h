// The start-up inputs on Windows: the computer name and the common application data folder.
#pragma once

#include "platform/environment.h"

namespace kovrisk {

class Win32Environment : public Environment {
  public:
    std::string computerName() override;
    NativePath commonDataFolder() override;
};

}  // namespace kovrisk
