// Owns one resource of a C interface (a file descriptor, a handle, a string the system allocated)
// and releases it when the owner goes, is reset or is given another one.
//
//   Close    bool(T): releases a value; true when that succeeded.
//   Invalid  the value that holds nothing: a constant of T, or a function returning one (for
//            values no constant expression can spell, such as INVALID_HANDLE_VALUE).
//
// Each kind of resource is one alias: using UniqueFd = UniqueResource<int, closeFd, -1>.
#pragma once

#include <type_traits>
#include <utility>

namespace kovrisk {

template <typename T, auto Close, auto Invalid>
class UniqueResource {
public:
    static T invalid() noexcept {
        if constexpr (std::is_invocable_v<decltype(Invalid)>)
            return Invalid();
        else
            return Invalid;
    }

    UniqueResource() noexcept = default;
    explicit UniqueResource(T value) noexcept : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    explicit operator bool() const noexcept { return value_ != invalid(); }
    T get() const noexcept { return value_; }
    // For a call that hands out a new value through a pointer: what was held is released first.
    T* put() noexcept {
        reset();
        return &value_;
    }
    // Hands the value over to the caller; the owner holds nothing.
    T release() noexcept { return std::exchange(value_, invalid()); }
    // Releases what is held and holds `value`; true when nothing was held or releasing succeeded.
    bool reset(T value = invalid()) noexcept {
        const T old = std::exchange(value_, value);
        return old == invalid() || Close(old);
    }

private:
    T value_ = invalid();
};

}  // namespace kovrisk
