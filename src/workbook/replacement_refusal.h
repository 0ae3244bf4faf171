// The log lines that say why a file cannot be replaced by its new version, and where it is after a
// replacement failed.
#pragma once

#include <string>

#include "platform/files.h"

namespace kovrisk {

std::string describeRefusal(ReplacementRefusal refusal, const NativePath& path);

// The log line that says where the replaced file is after a failed commit, when it had gone from
// its place; empty when it stayed there.
std::string describeFailedCommit(const FileReplacement& replacement);

}  // namespace kovrisk
