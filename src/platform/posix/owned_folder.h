// A folder that only its user may change: what a program can keep code or settings in that run as
// that user.  Another user who could plant files there (its owner, or anyone with write access
// through the group or the others bits) or redirect it (a symbolic link) would have them run with
// the user's rights.
#pragma once

#include <system_error>

#include "platform/files.h"

namespace kovrisk {

enum class FolderFault {
    none,
    cannotMake,        // it is missing and cannot be made; the error tells why
    symbolicLink,      // the path itself is a symbolic link (wherever it leads)
    notAFolder,        // something else than a folder
    otherOwner,        // owned by another user than the effective one
    writableByOthers,  // the group or others may write to it
};

// Makes `folder` with mode 0700 when it is missing (missing parents the usual way, under the
// umask), then accepts it only when it is a folder of the effective user, reached without a
// symbolic link as its last step, that neither its group nor others may write.
FolderFault prepareOwnedFolder(const NativePath& folder, std::error_code& error);

}  // namespace kovrisk
