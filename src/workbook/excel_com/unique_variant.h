// Owns one VARIANT and whatever it holds (a string, an object reference, ...).
#pragma once

#include <oleauto.h>

namespace kovrisk {

class UniqueVariant {
public:
    UniqueVariant() { ::VariantInit(&value_); }
    UniqueVariant(UniqueVariant&& other) noexcept {
        value_ = other.value_;
        ::VariantInit(&other.value_);
    }
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = other.value_;
            ::VariantInit(&other.value_);
        }
        return *this;
    }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { reset(); }

    VARIANT& get() { return value_; }
    const VARIANT& get() const { return value_; }
    VARTYPE type() const { return value_.vt; }
    // For a call that fills in a new value: clears the old one first.
    VARIANT* put() {
        reset();
        return &value_;
    }
    // Hands the value over to the caller.
    VARIANT release() {
        const VARIANT value = value_;
        ::VariantInit(&value_);
        return value;
    }
    void reset() {
        ::VariantClear(&value_);
        ::VariantInit(&value_);
    }

private:
    VARIANT value_;
};

}  // namespace kovrisk
