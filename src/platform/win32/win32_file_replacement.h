// Replacing a file with a new version of it on Windows: the new version is written in a folder
// beside the file that only this user (and the system) may enter, and ReplaceFileW puts it in the
// file's place keeping the file's attributes, owner, access control list and streams.
#pragma once

#include <memory>
#include <string_view>

#include "platform/files.h"

namespace kovrisk::win32 {

std::unique_ptr<FileReplacement> beginFileReplacement(const NativePath& target,
                                                      std::string_view suffix,
                                                      ReplacementRefusal& refusal);

}  // namespace kovrisk::win32
