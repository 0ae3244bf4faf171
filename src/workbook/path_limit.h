// Excel opens and saves no path longer than 218 characters; a workbook that opened fine can
// still have a new version whose path crosses the limit.  Such a lock is refused before anything
// changes, naming the cause.
#pragma once

#include <string>
#include <string_view>

#include "platform/files.h"

namespace kovrisk {

// The length, in characters of the platform's own text, of the longest path under which the new
// version of `target` can be written where the application limits paths: that of the file's own
// path followed by `suffix`, as if saved beside it (the replacement there keeps the private
// folder's name and the name inside it short enough).  Where paths are not limited, the new
// version's path may be longer.
std::size_t longestNewVersionPath(const NativePath& target, std::string_view suffix);

// The text to log and show when a path `length` characters long is longer than `longest` (0: no
// limit); empty when it fits.  `target` is the workbook the path belongs to.
std::string pathTooLong(const NativePath& target, std::size_t length, std::size_t longest);

// The text to log and show when the workbook's own path is longer than `longest` (0: no limit),
// so that the application cannot open it; empty when it fits.
std::string openPathTooLong(const NativePath& target, std::size_t longest);

}  // namespace kovrisk
