// The start-up inputs on Linux: the host name, and $XDG_DATA_HOME (by default ~/.local/share).
#pragma once

#include "platform/environment.h"

namespace kovrisk {

class PosixEnvironment : public Environment {
public:
    std::string computerName() override;
    NativePath commonDataFolder() override;
};

}  // namespace kovrisk
