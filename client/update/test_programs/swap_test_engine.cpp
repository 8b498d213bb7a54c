// Stands in for an engine DLL in the swap stub's tests: its registration
// functions write down what they did under the marker key, so a test can
// tell which DLL was registered and unregistered in what order.
//   HKCU\Software\OlvexTest\SwapStub  "Log": "register 1.0.0.1;unregister 1.0.0.1;..."
//                                     "Registered": the version registered now
// SWAP_TEST_VERSION is the DLL's version; its version resource says the same.
#include <windows.h>

#include <string>

namespace {

constexpr char kMarkerKey[] = "Software\\OlvexTest\\SwapStub";

std::string ReadLog(HKEY key) {
    char text[4096] = {};
    DWORD size = sizeof(text) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, "Log", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return text;
}

bool SetString(HKEY key, const char* name, const std::string& value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

HRESULT Mark(const char* action, bool registered) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kMarkerKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return E_FAIL;
    bool ok = SetString(key, "Log", ReadLog(key) + action + " " SWAP_TEST_VERSION ";");
    if (registered)
        ok = SetString(key, "Registered", SWAP_TEST_VERSION) && ok;
    else
        RegDeleteValueA(key, "Registered");
    RegCloseKey(key);
    return ok ? S_OK : E_FAIL;
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    return Mark("register", true);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return Mark("unregister", false);
}
