#include "olvex/com/module.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "olvex/com/com_ptr.h"

// Defined by the linker at the start of every image.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace olvex::com {
namespace {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

struct IidLess {
    bool operator()(const IID& a, const IID& b) const {
        return std::memcmp(&a, &b, sizeof(IID)) < 0;
    }
};

struct TypeInfoCache {
    std::mutex mutex;
    ComPtr<ITypeLib> library;
    std::map<IID, ComPtr<ITypeInfo>, IidLess> infos;
};

TypeInfoCache& Cache() {
    static TypeInfoCache cache;
    return cache;
}

HRESULT LoadTypeLibraryLocked(TypeInfoCache& cache) {
    if (cache.library) {
        return S_OK;
    }
    const auto path = ThisModulePath();
    if (!path) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    return LoadTypeLibEx(path->c_str(), REGKIND_NONE, cache.library.Put());
}

// For a dual interface the library answers with its dispatch part; calls go
// through the virtual table, so take the interface part it refers to.
HRESULT VtablePart(ComPtr<ITypeInfo> info, ComPtr<ITypeInfo>& out) {
    TYPEATTR* attr = nullptr;
    HRESULT hr = info->GetTypeAttr(&attr);
    if (FAILED(hr)) {
        return hr;
    }
    const bool dual_dispatch =
        attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL) != 0;
    info->ReleaseTypeAttr(attr);
    if (!dual_dispatch) {
        out = std::move(info);
        return S_OK;
    }
    HREFTYPE vtable_ref = 0;
    hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable_ref);
    if (FAILED(hr)) {
        return hr;
    }
    return info->GetRefTypeInfo(vtable_ref, out.Put());
}

}  // namespace

HMODULE ThisModule() {
    // The linker's symbol for the image this code is linked into: no API
    // call, and right for a DLL and for a program alike.
    return reinterpret_cast<HMODULE>(&__ImageBase);
}

std::optional<std::wstring> ThisModulePath() {
    try {
        std::wstring path(MAX_PATH, L'\0');
        for (;;) {
            const DWORD length =
                GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
            if (length == 0) {
                return std::nullopt;
            }
            if (length < path.size()) {
                path.resize(length);
                return path;
            }
            if (path.size() >= 32768) {
                return std::nullopt;
            }
            path.resize(path.size() * 2);
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

void ModuleObjectCreated() {
    ++g_objects;
}
void ModuleObjectDestroyed() {
    --g_objects;
}
void ModuleLock() {
    ++g_locks;
}
void ModuleUnlock() {
    --g_locks;
}
bool ModuleCanUnload() {
    return g_objects.load() == 0 && g_locks.load() == 0;
}

HRESULT EngineTypeLib(ITypeLib** library) {
    if (!library) {
        return E_POINTER;
    }
    *library = nullptr;
    auto& cache = Cache();
    std::lock_guard lock(cache.mutex);
    if (const HRESULT hr = LoadTypeLibraryLocked(cache); FAILED(hr)) {
        return hr;
    }
    *library = ComPtr<ITypeLib>(cache.library).Detach();
    return S_OK;
}

HRESULT EngineTypeInfo(REFIID iid, ITypeInfo** info) {
    if (!info) {
        return E_POINTER;
    }
    *info = nullptr;
    try {
        auto& cache = Cache();
        std::lock_guard lock(cache.mutex);
        if (auto found = cache.infos.find(iid); found != cache.infos.end()) {
            *info = ComPtr<ITypeInfo>(found->second).Detach();
            return S_OK;
        }
        if (const HRESULT hr = LoadTypeLibraryLocked(cache); FAILED(hr)) {
            return hr;
        }
        ComPtr<ITypeInfo> described;
        HRESULT hr = cache.library->GetTypeInfoOfGuid(iid, described.Put());
        if (FAILED(hr)) {
            return hr;
        }
        ComPtr<ITypeInfo> vtable;
        hr = VtablePart(std::move(described), vtable);
        if (FAILED(hr)) {
            return hr;
        }
        cache.infos.emplace(iid, vtable);
        *info = vtable.Detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace olvex::com
