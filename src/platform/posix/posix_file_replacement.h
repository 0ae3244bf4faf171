// Replacing a file with a new version of it on POSIX systems: the new version is written in a
// private folder beside the file (so the final rename stays on one file system), takes over the
// file's owner, group, mode, access control lists and extended attributes, and is renamed over the
// file in one step.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string_view>

#include "platform/files.h"

namespace kovrisk::posix {

// Whether a file with this status could be replaced by one this process writes, keeping what it
// has: a regular file whose group this process may give, and whose owner this process may give or
// who could still read the new version through its group or the others' bits.
ReplacementRefusal refusalFor(const struct stat& file);

std::unique_ptr<FileReplacement> beginFileReplacement(const NativePath& target,
                                                      std::string_view suffix,
                                                      ReplacementRefusal& refusal);

}  // namespace kovrisk::posix
