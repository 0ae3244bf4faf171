// The user's home folder: $HOME when it holds an absolute path, otherwise the folder the password
// database gives the real user.  Empty when neither names one; never a shared folder in its place.
#pragma once

#include "platform/files.h"

namespace kovrisk {

NativePath userHomeFolder();

// A base folder of the XDG layout: $`variable` when it holds an absolute path (a relative one is
// invalid and ignored), otherwise `belowHome` in the user's home folder; empty when there is no
// home folder either.
NativePath xdgBaseFolder(const char* variable, const NativePath& belowHome);

}  // namespace kovrisk
