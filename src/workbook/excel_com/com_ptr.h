// Owns one reference to a COM interface.
#pragma once

#include <unknwn.h>

#include <utility>

namespace kovrisk {

template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already holds.
    static ComPtr attach(Interface* pointer) {
        ComPtr owner;
        owner.pointer_ = pointer;
        return owner;
    }
    // Takes a reference of its own.
    static ComPtr share(Interface* pointer) {
        if (pointer != nullptr)
            pointer->AddRef();
        return attach(pointer);
    }

    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // For a call that hands out a new reference: releases the old one first.
    Interface** put() {
        reset();
        return &pointer_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    void reset() {
        if (Interface* pointer = std::exchange(pointer_, nullptr))
            pointer->Release();
    }

private:
    Interface* pointer_ = nullptr;
};

}  // namespace kovrisk
