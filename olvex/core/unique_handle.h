// A kernel handle with one owner, closed once. Null and INVALID_HANDLE_VALUE
// both mean "none".
#pragma once

#include <windows.h>

#include <utility>

namespace olvex {

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE owned) : handle_(owned) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() { return std::exchange(handle_, nullptr); }
    void Reset(HANDLE owned = nullptr) {
        const HANDLE old = std::exchange(handle_, owned);
        if (old != nullptr && old != INVALID_HANDLE_VALUE) {
            CloseHandle(old);
        }
    }

  private:
    HANDLE handle_ = nullptr;
};

}  // namespace olvex
