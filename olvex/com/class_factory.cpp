#include "olvex/com/class_factory.h"

#include <memory>
#include <new>

namespace olvex::com {

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID riid,
                                                       void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    // The classes do not support aggregation.
    if (outer) {
        return CLASS_E_NOAGGREGATION;
    }
    return create_(riid, object);
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) {
    if (lock) {
        ModuleLock();
    } else {
        ModuleUnlock();
    }
    return S_OK;
}

const EngineClass* FindEngineClass(REFCLSID clsid) {
    for (const EngineClass& engine_class : EngineClasses()) {
        if (IsEqualCLSID(*engine_class.clsid, clsid)) {
            return &engine_class;
        }
    }
    return nullptr;
}

HRESULT CreateEngineObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    const EngineClass* engine_class = FindEngineClass(clsid);
    if (!engine_class) {
        return REGDB_E_CLASSNOTREG;
    }
    return engine_class->create(riid, object);
}

HRESULT GetEngineClassFactory(REFCLSID clsid, REFIID riid, void** factory) {
    if (!factory) {
        return E_POINTER;
    }
    *factory = nullptr;
    const EngineClass* engine_class = FindEngineClass(clsid);
    if (!engine_class) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return Guarded([&]() -> HRESULT {
        // Released by its last Release, like every object.
        auto made =
            std::unique_ptr<ClassFactory>(new (std::nothrow) ClassFactory(engine_class->create));
        if (!made) {
            return E_OUTOFMEMORY;
        }
        ClassFactory* const owned = made.release();
        owned->AddRef();
        const HRESULT hr = owned->QueryInterface(riid, factory);
        owned->Release();
        return hr;
    });
}

}  // namespace olvex::com
