// The engine's classes as the module sees them: identity, ProgIDs and the
// function that makes one. Class factories, registration and
// CreateEngineObject all work from this one table.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <span>

namespace olvex::com {

using CreateFunction = HRESULT (*)(REFIID riid, void** object);

struct EngineClass {
    const CLSID* clsid;
    // The class name without its leading C, as in the type library
    // ("Scanner"); the description in the registry is "<name> Class".
    const char* name;
    // The version-independent ProgID ("olvex.Scanner"); the versioned one
    // adds ".1".
    const char* prog_id;
    CreateFunction create;
};

// Every class of the engine, in type-library order. Defined with the classes.
std::span<const EngineClass> EngineClasses();

// The class with that CLSID, or null.
const EngineClass* FindEngineClass(REFCLSID clsid);

// Makes an engine object through this module's own class, never through the
// registry: a registration that points at another copy of the engine must
// not hand this module an object of that copy. REGDB_E_CLASSNOTREG for a
// CLSID that is not one of ours.
HRESULT CreateEngineObject(REFCLSID clsid, REFIID riid, void** object);

template <class Interface>
HRESULT CreateEngineObject(REFCLSID clsid, Interface** object) {
    return CreateEngineObject(clsid, __uuidof(Interface), reinterpret_cast<void**>(object));
}

// The class factory of one engine class, for DllGetClassObject.
HRESULT GetEngineClassFactory(REFCLSID clsid, REFIID riid, void** factory);

}  // namespace olvex::com
