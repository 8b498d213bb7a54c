// The four exports of the engine DLL as an in-process COM server.
#include <windows.h>
#include <ole2.h>

#include "olvex/com/com_object.h"
#include "olvex/com/engine_class.h"
#include "olvex/com/module.h"
#include "olvex/core/module_registration.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* factory) {
    return olvex::com::GetEngineClassFactory(clsid, riid, factory);
}

STDAPI DllCanUnloadNow() {
    return olvex::com::ModuleCanUnload() ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    return olvex::com::Guarded([] { return olvex::RegisterEngineServer(); });
}

STDAPI DllUnregisterServer() {
    return olvex::com::Guarded([] { return olvex::UnregisterEngineServer(); });
}
