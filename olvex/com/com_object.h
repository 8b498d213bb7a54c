// The base of every engine class: reference counting, QueryInterface over the
// object's interfaces and, for dual interfaces, IDispatch through the engine's
// own type library.
//
// An engine class derives from DispatchObject<CClass, IClass>, overrides the
// members of IClass and is made with CreateInstance<CClass> (its class
// factory and CreateEngineObject do that). Objects count towards the module's
// live objects until they are destroyed.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <memory>
#include <new>
#include <type_traits>

#include "olvex/com/module.h"

namespace olvex::com {

// Runs a member's body so that no C++ exception crosses the COM boundary:
// running out of memory becomes E_OUTOFMEMORY, anything else E_UNEXPECTED.
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// IUnknown for an object with one interface (and IDispatch when that
// interface derives from it). Reference counts are atomic: the classes are
// registered for both apartment kinds, and the asynchronous scans call
// objects from threads of their own.
template <class Derived, class Interface>
class ComObject : public Interface {
  public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(Interface)) ||
            (std::is_base_of_v<IDispatch, Interface> && IsEqualIID(riid, IID_IDispatch))) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }

    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // Called once after construction, before the object is handed out; a
    // failure destroys it. Classes that create other objects or allocate at
    // start hide it with their own.
    HRESULT FinalConstruct() { return S_OK; }

  protected:
    ComObject() { ModuleObjectCreated(); }
    virtual ~ComObject() { ModuleObjectDestroyed(); }

  private:
    std::atomic<ULONG> references_{0};
};

// IDispatch over the type information of Interface in the engine's type
// library. A class whose interface has a member that DispInvoke cannot call
// (a structure parameter) overrides Invoke for that member's DISPID and
// passes every other call here.
template <class Derived, class Interface>
class DispatchObject : public ComObject<Derived, Interface> {
    static_assert(std::is_base_of_v<IDispatch, Interface>, "a dual interface");

  public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) {
            return E_POINTER;
        }
        *info = nullptr;
        if (index != 0) {
            return DISP_E_BADINDEX;
        }
        return EngineTypeInfo(__uuidof(Interface), info);
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (!IsEqualIID(riid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        ITypeInfo* info = nullptr;
        HRESULT hr = EngineTypeInfo(__uuidof(Interface), &info);
        if (FAILED(hr)) {
            return hr;
        }
        hr = DispGetIDsOfNames(info, names, count, ids);
        info->Release();
        return hr;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* bad_argument) override {
        if (!IsEqualIID(riid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        ITypeInfo* info = nullptr;
        HRESULT hr = EngineTypeInfo(__uuidof(Interface), &info);
        if (FAILED(hr)) {
            return hr;
        }
        hr = DispInvoke(static_cast<Interface*>(this), info, id, flags, params, result, exception,
                        bad_argument);
        info->Release();
        return hr;
    }

  protected:
    DispatchObject() = default;
    ~DispatchObject() override = default;
};

// Makes a T and hands out its interface riid: the body of every class
// factory. E_OUTOFMEMORY when it cannot be made, or FinalConstruct's failure.
template <class T>
HRESULT CreateInstance(REFIID riid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    return Guarded([&]() -> HRESULT {
        // The one place objects are allocated: Release deletes them.
        std::unique_ptr<T> made(new (std::nothrow) T());
        if (!made) {
            return E_OUTOFMEMORY;
        }
        if (const HRESULT hr = made->FinalConstruct(); FAILED(hr)) {
            return hr;
        }
        // From here the reference count owns it.
        T* const owned = made.release();
        owned->AddRef();
        const HRESULT hr = owned->QueryInterface(riid, object);
        owned->Release();
        return hr;
    });
}

}  // namespace olvex::com
