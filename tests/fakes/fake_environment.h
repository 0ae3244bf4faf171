// Start-up inputs chosen by the test.
#pragma once

#include "platform/environment.h"

namespace kovrisk::testing {

class FakeEnvironment : public Environment {
public:
    std::string name = "PC01";
    NativePath dataFolder;

    std::string computerName() override { return name; }
    NativePath commonDataFolder() override { return dataFolder; }
};

}  // namespace kovrisk::testing
