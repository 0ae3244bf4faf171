// The start-up inputs of the platform the program runs on.  Windows: the computer name and the
// common application data folder.  Linux: the host name, and $XDG_DATA_HOME (by default
// ~/.local/share).
#pragma once

#include "platform/environment.h"

namespace kovrisk {

class NativeEnvironment : public Environment {
public:
    std::string computerName() override;
    NativePath commonDataFolder() override;
};

}  // namespace kovrisk
