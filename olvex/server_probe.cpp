// Test helper: loads an engine DLL by path and calls one of its registration
// exports, as the swap stub does. Exit code: the export's HRESULT, or 2 for a
// bad command line, 3 when the DLL or export cannot be found.
//   olvex_server_probe register|unregister <dll path>
#include <windows.h>
#include <ole2.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 2;
    }
    const bool register_server = std::wcscmp(argv[1], L"register") == 0;
    if (!register_server && std::wcscmp(argv[1], L"unregister") != 0) {
        return 2;
    }
    if (FAILED(CoInitialize(nullptr))) {
        return 3;
    }
    HMODULE engine = LoadLibraryW(argv[2]);
    if (!engine) {
        CoUninitialize();
        return 3;
    }
    using Export = HRESULT(STDAPICALLTYPE*)();
    const auto call = reinterpret_cast<Export>(reinterpret_cast<void*>(
        GetProcAddress(engine, register_server ? "DllRegisterServer" : "DllUnregisterServer")));
    const HRESULT result = call ? call() : 3;
    FreeLibrary(engine);
    CoUninitialize();
    return static_cast<int>(result);
}
