// An owning pointer to a COM interface: one reference, released once.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <utility>

namespace olvex::com {

template <class T>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr& other) : ptr_(other.ptr_) {
        if (ptr_) {
            ptr_->AddRef();
        }
    }
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(ptr_, other.ptr_);
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComPtr Adopt(T* ptr) {
        ComPtr result;
        result.ptr_ = ptr;
        return result;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* ptr) {
        if (ptr) {
            ptr->AddRef();
        }
        return Adopt(ptr);
    }

    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

    // For out-parameters: releases what is held and hands out the slot.
    T** Put() {
        Reset();
        return &ptr_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    // Gives the reference to the caller (an out-parameter, usually).
    T* Detach() { return std::exchange(ptr_, nullptr); }

    void Reset() {
        if (T* old = std::exchange(ptr_, nullptr)) {
            old->Release();
        }
    }

    template <class U>
    HRESULT As(ComPtr<U>& out) const {
        if (!ptr_) {
            return E_POINTER;
        }
        return ptr_->QueryInterface(__uuidof(U), out.PutVoid());
    }

  private:
    T* ptr_ = nullptr;
};

}  // namespace olvex::com
