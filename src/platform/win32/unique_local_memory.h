// Owns what the system allocated with LocalAlloc for the caller: the security descriptors and SID
// texts of the security functions.
#pragma once

#include <windows.h>

#include "support/unique_resource.h"

namespace kovrisk {

inline bool freeLocal(HLOCAL memory) {
    return ::LocalFree(memory) == nullptr;
}

using UniqueLocalMemory = UniqueResource<HLOCAL, freeLocal, HLOCAL{}>;

}  // namespace kovrisk
