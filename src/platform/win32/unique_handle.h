// Owns a Win32 kernel handle (a file, a token, ...).
#pragma once

#include <windows.h>

#include "support/unique_resource.h"

namespace kovrisk {

inline bool closeHandle(HANDLE handle) {
    return handle == nullptr || ::CloseHandle(handle) != 0;
}
inline HANDLE invalidHandle() {
    return INVALID_HANDLE_VALUE;
}

// What CreateFileW returns when it fails is the value that holds nothing.
using UniqueHandle = UniqueResource<HANDLE, closeHandle, invalidHandle>;

}  // namespace kovrisk
