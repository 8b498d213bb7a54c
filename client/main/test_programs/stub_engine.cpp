// A stand-in for the engine DLL in the main program's tests of its error
// paths: DllRegisterServer registers the seven classes the program creates
// (with their "olvex.<Class>" names) to this very file, as the engine does,
// and every class factory it hands out refuses to create an object.
#include <windows.h>
#include <ole2.h>

#include <string>

#include "client/main/test_programs/static_class_factory.h"
#include "olvex/olvex.h"

namespace {

HMODULE g_module = nullptr;

struct EngineClass {
    const CLSID* clsid;
    const char* name;
};

const EngineClass kClasses[] = {
    {&CLSID_PestDatabase, "PestDatabase"}, {&CLSID_Exterminator, "Exterminator"},
    {&CLSID_Quarantine, "Quarantine"},     {&CLSID_Excluder, "Excluder"},
    {&CLSID_Location, "Location"},         {&CLSID_Scanner, "Scanner"},
    {&CLSID_VersionInfo, "VersionInfo"},
};

std::string ClassIdText(const CLSID& clsid) {
    wchar_t wide[64] = {};
    StringFromGUID2(clsid, wide, 64);
    std::string text;
    for (const wchar_t* c = wide; *c != L'\0'; ++c)
        text.push_back(static_cast<char>(*c));
    return text;
}

bool SetValue(const std::string& path, const char* name, const std::string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG error =
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return error == ERROR_SUCCESS;
}

class RefusingFactory final : public olvex::StaticClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** object) override {
        if (object != nullptr)
            *object = nullptr;
        return E_FAIL;
    }
};

RefusingFactory g_factory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    char path[MAX_PATH] = {};
    if (GetModuleFileNameA(g_module, path, MAX_PATH) == 0)
        return E_FAIL;
    for (const EngineClass& engine_class : kClasses) {
        const std::string id = ClassIdText(*engine_class.clsid);
        const std::string name = std::string("olvex.") + engine_class.name;
        if (!SetValue("CLSID\\" + id, nullptr, name) ||
            !SetValue("CLSID\\" + id + "\\InprocServer32", nullptr, path) ||
            !SetValue("CLSID\\" + id + "\\InprocServer32", "ThreadingModel", "Both") ||
            !SetValue(name + "\\CLSID", nullptr, id) || !SetValue(name + ".1\\CLSID", nullptr, id))
            return E_FAIL;
    }
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    for (const EngineClass& engine_class : kClasses) {
        if (IsEqualCLSID(clsid, *engine_class.clsid))
            return g_factory.QueryInterface(iid, object);
    }
    if (object != nullptr)
        *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return S_FALSE;
}
