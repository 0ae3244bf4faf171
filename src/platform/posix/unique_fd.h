// Owns a POSIX file descriptor.
#pragma once

#include <unistd.h>

#include "support/unique_resource.h"

namespace kovrisk {

inline bool closeFd(int fd) {
    return ::close(fd) == 0;
}

using UniqueFd = UniqueResource<int, closeFd, -1>;

}  // namespace kovrisk
