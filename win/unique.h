// One owner for every Windows handle the product opens: a move-only template
// over a small traits type that says what an empty handle is and how one is
// given back, and one alias per kind of handle. Header-only and free of our
// other code, so that the engine, setup, the dialog framework and the client
// programs all own their handles the same way.
//
//   win::UniqueHandle process(OpenProcess(...));
//   if (!process) ...;
//   WaitForSingleObject(process.get(), INFINITE);
//   RegOpenKeyExA(root, path, 0, KEY_READ, key.put());
#pragma once

#include <windows.h>

#include <utility>

namespace olvex::win {

// Traits: `Handle`, `static Handle Empty()`, `static bool Owns(Handle)` and
// `Close(Handle)`. Traits with members (the window a device context belongs
// to, the device context an object was selected into) travel with the owner.
template <class Traits>
class Unique : private Traits {
  public:
    using Handle = typename Traits::Handle;

    Unique() = default;
    explicit Unique(Handle owned, Traits traits = Traits()) : Traits(std::move(traits)) {
        reset(owned);
    }
    ~Unique() { reset(); }
    Unique(Unique&& other) noexcept
        : Traits(static_cast<Traits&&>(other)), handle_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) {
            reset();
            static_cast<Traits&>(*this) = static_cast<Traits&&>(other);
            handle_ = other.release();
        }
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return Traits::Owns(handle_); }
    // Gives the handle up without closing it.
    Handle release() { return std::exchange(handle_, Traits::Empty()); }
    void reset(Handle owned = Traits::Empty()) {
        const Handle old = std::exchange(handle_, Traits::Owns(owned) ? owned : Traits::Empty());
        if (Traits::Owns(old))
            Traits::Close(old);
    }
    // For functions that hand a new handle back through a pointer: closes
    // what is held and lends the slot.
    Handle* put() {
        reset();
        return &handle_;
    }

  private:
    Handle handle_ = Traits::Empty();
};

// Kernel objects: processes, threads, files, mutexes, events, mappings,
// snapshots, tokens. Creation fails with null or, for files and snapshots,
// INVALID_HANDLE_VALUE: either is empty and held as null.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static bool Owns(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static bool Owns(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Empty() { return nullptr; }
    static bool Owns(Handle h) { return h != nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Empty() { return nullptr; }
    static bool Owns(Handle h) { return h != nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};

struct MappedViewTraits {
    using Handle = void*;
    static Handle Empty() { return nullptr; }
    static bool Owns(Handle h) { return h != nullptr; }
    static void Close(Handle h) { UnmapViewOfFile(h); }
};

// A pen, brush, font, bitmap, region or palette. Stock objects must not be
// put in one.
template <class GdiHandle>
struct GdiObjectTraits {
    using Handle = GdiHandle;
    static Handle Empty() { return nullptr; }
    static bool Owns(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DeleteObject(h); }
};

// A device context of our own making (CreateCompatibleDC, CreateDC).
struct CreatedDcTraits {
    using Handle = HDC;
    static Handle Empty() { return nullptr; }
    static bool Owns(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DeleteDC(h); }
};

// A window's (or with no window, the screen's) device context from GetDC.
struct WindowDcTraits {
    using Handle = HDC;
    HWND window = nullptr;
    static Handle Empty() { return nullptr; }
    static bool Owns(Handle h) { return h != nullptr; }
    void Close(Handle h) const { ReleaseDC(window, h); }
};

// A device context from BeginPaint: EndPaint with the same paint record.
struct PaintDcTraits {
    using Handle = HDC;
    HWND window = nullptr;
    PAINTSTRUCT paint{};
    static Handle Empty() { return nullptr; }
    static bool Owns(Handle h) { return h != nullptr; }
    void Close(Handle) { EndPaint(window, &paint); }
};

// The object a selection put out of a device context: selected back in.
struct SelectionTraits {
    using Handle = HGDIOBJ;
    HDC dc = nullptr;
    static Handle Empty() { return nullptr; }
    static bool Owns(Handle h) { return h != nullptr && h != HGDI_ERROR; }
    void Close(Handle previous) const { SelectObject(dc, previous); }
};

using UniqueHandle = Unique<KernelHandleTraits>;
using UniqueFind = Unique<FindHandleTraits>;
using UniqueKey = Unique<RegistryKeyTraits>;
using UniqueModule = Unique<ModuleTraits>;
using UniqueView = Unique<MappedViewTraits>;
using UniqueBitmap = Unique<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = Unique<GdiObjectTraits<HBRUSH>>;
using UniqueFont = Unique<GdiObjectTraits<HFONT>>;
using UniquePen = Unique<GdiObjectTraits<HPEN>>;
using UniqueRegion = Unique<GdiObjectTraits<HRGN>>;
using UniquePalette = Unique<GdiObjectTraits<HPALETTE>>;
using UniqueDc = Unique<CreatedDcTraits>;
using UniqueWindowDc = Unique<WindowDcTraits>;
using UniquePaintDc = Unique<PaintDcTraits>;
using UniqueSelection = Unique<SelectionTraits>;

// A memory device context compatible with another.
inline UniqueDc CreateMemoryDc(HDC compatible_with) {
    return UniqueDc(CreateCompatibleDC(compatible_with));
}

// The window's device context (the screen's with no window), released once.
inline UniqueWindowDc GetWindowDc(HWND window) {
    return UniqueWindowDc(GetDC(window), WindowDcTraits{window});
}

// BeginPaint now, EndPaint when the owner goes.
inline UniquePaintDc BeginWindowPaint(HWND window) {
    PaintDcTraits traits{window};
    const HDC dc = BeginPaint(window, &traits.paint);
    return UniquePaintDc(dc, traits);
}

// Selects the object into the device context and the one it put out back in
// at the end. With no object nothing is selected.
inline UniqueSelection SelectInto(HDC dc, HGDIOBJ object) {
    if (object == nullptr)
        return UniqueSelection(nullptr, SelectionTraits{dc});
    return UniqueSelection(SelectObject(dc, object), SelectionTraits{dc});
}

}  // namespace olvex::win
