// The log line that says why a file cannot be replaced by its new version.
#pragma once

#include <string>

#include "platform/files.h"

namespace kovrisk {

std::string describeRefusal(ReplacementRefusal refusal, const NativePath& path);

}  // namespace kovrisk
