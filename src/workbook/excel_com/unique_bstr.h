// Owns one BSTR.
#pragma once

#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>

#include "support/unique_resource.h"

namespace kovrisk {

inline bool freeBstr(BSTR bstr) {
    ::SysFreeString(bstr);
    return true;
}

class UniqueBstr : public UniqueResource<BSTR, freeBstr, BSTR{}> {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(std::wstring_view text)
        : UniqueResource(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!*this && !text.empty())
            throw std::bad_alloc();
    }

    // The text, embedded zeros included; a null BSTR is empty text.
    std::wstring_view view() const {
        return get() == nullptr ? std::wstring_view()
                                : std::wstring_view(get(), ::SysStringLen(get()));
    }
};

}  // namespace kovrisk
