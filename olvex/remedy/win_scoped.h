// One owner for each Windows handle the remediation code opens: kernel
// handles, registry keys, loaded libraries and file searches. Move-only.
#pragma once

#include <windows.h>

#include <utility>

namespace olvex {

template <class Traits>
class Scoped {
  public:
    using Handle = typename Traits::Handle;
    Scoped() = default;
    explicit Scoped(Handle handle) : handle_(handle) {}
    ~Scoped() { Reset(); }
    Scoped(Scoped&& other) noexcept : handle_(std::exchange(other.handle_, Traits::Invalid())) {}
    Scoped& operator=(Scoped&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, Traits::Invalid());
        }
        return *this;
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    Handle Get() const { return handle_; }
    bool IsValid() const { return handle_ != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }
    void Reset(Handle handle = Traits::Invalid()) {
        if (IsValid())
            Traits::Close(handle_);
        handle_ = handle;
    }
    // For functions that hand a new handle back through a pointer.
    Handle* Receive() {
        Reset();
        return &handle_;
    }

  private:
    Handle handle_ = Traits::Invalid();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};
// Files and snapshots fail with INVALID_HANDLE_VALUE rather than null.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};
struct LibraryTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};
struct FindTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};

using ScopedHandle = Scoped<KernelHandleTraits>;
using ScopedFileHandle = Scoped<FileHandleTraits>;
using ScopedRegKey = Scoped<RegKeyTraits>;
using ScopedLibrary = Scoped<LibraryTraits>;
using ScopedFind = Scoped<FindTraits>;

}  // namespace olvex
