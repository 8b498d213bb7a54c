// One owner for a kernel handle (process, thread, file, mutex), closed once.
#pragma once

#include <windows.h>

#include <utility>

namespace olvex {

class UniqueHandle {
  public:
    UniqueHandle() = default;
    // INVALID_HANDLE_VALUE, what CreateFile gives on failure, counts as none.
    explicit UniqueHandle(HANDLE owned)
        : handle_(owned == INVALID_HANDLE_VALUE ? nullptr : owned) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HANDLE release() { return std::exchange(handle_, nullptr); }
    void reset(HANDLE owned = nullptr) {
        if (handle_ != nullptr)
            CloseHandle(handle_);
        handle_ = owned == INVALID_HANDLE_VALUE ? nullptr : owned;
    }

  private:
    HANDLE handle_ = nullptr;
};

}  // namespace olvex
