// Reads the activity log back for tests.
#pragma once

#include <string>
#include <vector>

#include "platform/files.h"

namespace kovrisk::testing {

// The messages of every log line below `dataFolder`, oldest day first, without the date, time
// and tag columns.  A line break inside a message splits it.
std::vector<std::string> logMessages(const NativePath& dataFolder);

// Every file below `folder` whose name ends in `suffix`.
std::vector<NativePath> filesEndingIn(const NativePath& folder, const std::string& suffix);

}  // namespace kovrisk::testing
