// The user's home folder: $HOME when it holds an absolute path, otherwise the folder the password
// database gives the real user.  Empty when neither names one; never a shared folder in its place.
#pragma once

#include "platform/files.h"

namespace kovrisk {

NativePath userHomeFolder();

}  // namespace kovrisk
