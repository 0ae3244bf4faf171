// COM for the GUI thread: initialised for the life of the owner, released only when initialising
// succeeded.
#pragma once

#include <objbase.h>

namespace kovrisk {

class ComApartment {
public:
    ComApartment() : status_(::CoInitialize(nullptr)) {}
    ~ComApartment() {
        if (SUCCEEDED(status_))
            ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT status_;
};

}  // namespace kovrisk
