// Owners of CNG handles: algorithm providers, keys and hash objects.
#pragma once

#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include "support/unique_resource.h"

namespace kovrisk {

inline bool closeAlgorithmProvider(BCRYPT_ALG_HANDLE handle) {
    return BCRYPT_SUCCESS(BCryptCloseAlgorithmProvider(handle, 0));
}
inline bool destroyKey(BCRYPT_KEY_HANDLE handle) {
    return BCRYPT_SUCCESS(BCryptDestroyKey(handle));
}
inline bool destroyHash(BCRYPT_HASH_HANDLE handle) {
    return BCRYPT_SUCCESS(BCryptDestroyHash(handle));
}

using UniqueAlgorithmProvider =
    UniqueResource<BCRYPT_ALG_HANDLE, closeAlgorithmProvider, BCRYPT_ALG_HANDLE{}>;
using UniqueKey = UniqueResource<BCRYPT_KEY_HANDLE, destroyKey, BCRYPT_KEY_HANDLE{}>;
using UniqueHash = UniqueResource<BCRYPT_HASH_HANDLE, destroyHash, BCRYPT_HASH_HANDLE{}>;

}  // namespace kovrisk
