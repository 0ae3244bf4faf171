// Owns one BSTR.
#pragma once

#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace kovrisk {

class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(std::wstring_view text)
        : bstr_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (bstr_ == nullptr && !text.empty())
            throw std::bad_alloc();
    }
    UniqueBstr(UniqueBstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) {
            reset();
            bstr_ = std::exchange(other.bstr_, nullptr);
        }
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { reset(); }

    BSTR get() const { return bstr_; }
    // For a call that hands out a new string: frees the old one first.
    BSTR* put() {
        reset();
        return &bstr_;
    }
    // The text, embedded zeros included; a null BSTR is empty text.
    std::wstring_view view() const {
        return bstr_ == nullptr ? std::wstring_view()
                                : std::wstring_view(bstr_, ::SysStringLen(bstr_));
    }
    // Hands the string over to the caller.
    BSTR release() { return std::exchange(bstr_, nullptr); }
    void reset() {
        if (BSTR bstr = std::exchange(bstr_, nullptr))
            ::SysFreeString(bstr);
    }

private:
    BSTR bstr_ = nullptr;
};

}  // namespace kovrisk
