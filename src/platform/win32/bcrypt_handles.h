// Owners of CNG handles: algorithm providers, keys and hash objects.
#pragma once

#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <utility>

namespace kovrisk {

template <typename Handle, typename Close>
class UniqueBcryptHandle {
public:
    UniqueBcryptHandle() = default;
    explicit UniqueBcryptHandle(Handle handle) : handle_(handle) {}
    UniqueBcryptHandle(UniqueBcryptHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueBcryptHandle& operator=(UniqueBcryptHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    UniqueBcryptHandle(const UniqueBcryptHandle&) = delete;
    UniqueBcryptHandle& operator=(const UniqueBcryptHandle&) = delete;
    ~UniqueBcryptHandle() { reset(); }

    Handle get() const { return handle_; }
    // For the functions that hand out a new handle; whatever was held is closed first.
    Handle* put() {
        reset();
        return &handle_;
    }
    void reset() {
        if (Handle handle = std::exchange(handle_, nullptr))
            Close{}(handle);
    }

private:
    Handle handle_ = nullptr;
};

struct CloseAlgorithmProvider {
    void operator()(BCRYPT_ALG_HANDLE handle) const { BCryptCloseAlgorithmProvider(handle, 0); }
};
struct DestroyKey {
    void operator()(BCRYPT_KEY_HANDLE handle) const { BCryptDestroyKey(handle); }
};
struct DestroyHash {
    void operator()(BCRYPT_HASH_HANDLE handle) const { BCryptDestroyHash(handle); }
};

using UniqueAlgorithmProvider = UniqueBcryptHandle<BCRYPT_ALG_HANDLE, CloseAlgorithmProvider>;
using UniqueKey = UniqueBcryptHandle<BCRYPT_KEY_HANDLE, DestroyKey>;
using UniqueHash = UniqueBcryptHandle<BCRYPT_HASH_HANDLE, DestroyHash>;

}  // namespace kovrisk
