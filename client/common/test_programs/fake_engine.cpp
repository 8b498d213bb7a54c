// A stand-in for the engine DLL in the registrar's tests. Its version comes
// from its own resources; DllRegisterServer counts its calls and registers
// "olvex.Scanner" to this very file under a class id of its own, which is all
// the registrar reads back; DllUnregisterServer removes that again. Built
// with FAKE_ENGINE_FAILS, registering counts the call and fails.
#include <windows.h>

#include <string>

namespace {

constexpr char kClassId[] = "{6F1C3B52-8A7D-4E21-9C55-0D3E7A9B1F40}";
HMODULE g_module = nullptr;

[[maybe_unused]] bool SetDefaultValue(const std::string& path, const std::string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG error =
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return error == ERROR_SUCCESS;
}

void CountRegisterCall() {
    HKEY key = nullptr;
    const std::string path = std::string("CLSID\\") + kClassId;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    DWORD count = 0;
    DWORD size = sizeof(count);
    RegQueryValueExA(key, "RegisterCalls", nullptr, nullptr, reinterpret_cast<BYTE*>(&count),
                     &size);
    ++count;
    RegSetValueExA(key, "RegisterCalls", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count),
                   sizeof(count));
    RegCloseKey(key);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    CountRegisterCall();
#ifdef FAKE_ENGINE_FAILS
    return E_FAIL;
#else
    char path[MAX_PATH] = {};
    if (GetModuleFileNameA(g_module, path, MAX_PATH) == 0)
        return E_FAIL;
    const std::string class_key = std::string("CLSID\\") + kClassId;
    if (!SetDefaultValue("olvex.Scanner\\CLSID", kClassId) ||
        !SetDefaultValue(class_key + "\\InprocServer32", path))
        return E_FAIL;
    return S_OK;
#endif
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "olvex.Scanner\\CLSID");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "olvex.Scanner");
    const std::string class_key = std::string("CLSID\\") + kClassId;
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (class_key + "\\InprocServer32").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, class_key.c_str());
    return S_OK;
}
