// LibreOffice's lock file beside a file it opens, `.~lock.<name>#`.  The office opens that name
// for reading whenever it opens the file: anything but a regular file there (a pipe nobody
// writes, a device) keeps it waiting, and anybody who may write in the folder can put one there.
#pragma once

#include "platform/files.h"

namespace kovrisk {

// The office's lock file for the file `path`, beside it.
NativePath officeLockFile(const NativePath& path);

// Whether something other than a regular file is at the office's lock file's place for `path`,
// under the name given or the one its real path has.
bool plantedOfficeLockFile(const NativePath& path);

}  // namespace kovrisk
