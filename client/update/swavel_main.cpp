// Swavel.exe: replaces the engine DLL with a newer copy once the old one is
// no longer in use. The engine writes it from its own resources and starts
// it after an update that brings a new engine:
//   Swavel.exe <path of the older DLL> <path of the newer DLL>
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <objbase.h>

#include <cstdio>

#include <string>
#include <vector>

#include "client/common/unique_handle.h"
#include "olvex/update/swap_stub_names.h"
#include "client/update/windows_swap_operations.h"

int main(int argc, char** argv) {
    // Lines end with a line feed alone.
    _setmode(_fileno(stdout), _O_BINARY);
    // Held until the stub ends, for a program that waits for the swap.
    const olvex::UniqueHandle running(CreateMutexA(nullptr, FALSE, olvex::kSwapStubMutexName));
    // The engine's registration functions use COM and the type library
    // services.
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    olvex::swap::WindowsSwapOperations operations;
    const std::vector<std::string> arguments =
        argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
    const int exit_code = olvex::swap::RunSwapStub(arguments, operations);
    if (com)
        CoUninitialize();
    return exit_code;
}
