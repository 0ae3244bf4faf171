// A folder tree that only its user may read: the data folder, whose log names the user's workbooks
// and whose backup copies carry a password everybody may know.
#pragma once

#include "platform/files.h"

namespace kovrisk {

// Takes the group's and the others' permissions from `folder` and from every folder and file of
// this user's below it, never through a symbolic link.  Returns whether any had them.
bool makeOwnerOnly(const NativePath& folder);

}  // namespace kovrisk
