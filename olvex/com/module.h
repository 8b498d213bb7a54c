// State of the module that holds the engine classes: its handle and path, the
// count of live objects and server locks that decides whether it may be
// unloaded, and the type information of its own type library.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <optional>
#include <string>

namespace olvex::com {

// The module this code is linked into: the engine DLL, or a test program that
// links the engine statically.
HMODULE ThisModule();
// Its full path; nullopt when it cannot be read.
std::optional<std::wstring> ThisModulePath();

// Live engine objects and class factories, and IClassFactory::LockServer locks.
void ModuleObjectCreated();
void ModuleObjectDestroyed();
void ModuleLock();
void ModuleUnlock();
// True when no object is alive and no lock is held (DllCanUnloadNow).
bool ModuleCanUnload();

// The type information of one interface of the engine's type library, read
// from this module's own resource (never from the registry, which may name
// another copy of the engine). For a dual interface it is the virtual-table
// part, which DispInvoke needs. The caller owns the reference.
HRESULT EngineTypeInfo(REFIID iid, ITypeInfo** info);
// The engine's type library itself; the caller owns the reference.
HRESULT EngineTypeLib(ITypeLib** library);

}  // namespace olvex::com
