// Helper of the swap stub's tests under Wine.
//   swap_test_helper hold load|open <path> <max ms> <ready file> [<release file>]
//     keeps a DLL loaded (so it cannot be opened for writing) or a file open
//     for reading with only reading shared (so it cannot be deleted); writes
//     the ready file once it holds it, and lets go when the release file
//     appears or after max ms.
//   swap_test_helper run <program> [<argument> ...]
//     runs the program with each argument in double quotes, waits for it and
//     prints "exit <code>", the whole code as a signed decimal (a shell sees
//     only its low 8 bits).
//   swap_test_helper longpath <path>
//     prints the long form of an existing path.
// Exit code 0, or 2 for a bad command line, 3 when something failed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int Hold(int argc, char** argv) {
    if (argc < 6)
        return 2;
    const bool load = std::strcmp(argv[2], "load") == 0;
    if (!load && std::strcmp(argv[2], "open") != 0)
        return 2;
    const char* path = argv[3];
    const DWORD limit = static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10));
    const char* ready = argv[5];
    const char* release = argc > 6 ? argv[6] : nullptr;

    HMODULE library = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (load)
        library = LoadLibraryA(path);
    else
        file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!library && file == INVALID_HANDLE_VALUE)
        return 3;
    const HANDLE marker = CreateFileA(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < limit && !(release && Exists(release)))
        Sleep(50);
    if (library)
        FreeLibrary(library);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return 0;
}

int Run(int argc, char** argv) {
    if (argc < 3)
        return 2;
    std::string command;
    for (int i = 2; i < argc; ++i)
        command += (i > 2 ? " \"" : "\"") + std::string(argv[i]) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return 3;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("exit %ld\n", static_cast<long>(static_cast<LONG>(code)));
    return 0;
}

int LongPath(int argc, char** argv) {
    if (argc != 3)
        return 2;
    char path[4096] = {};
    const DWORD length = GetLongPathNameA(argv[2], path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        return 3;
    std::printf("%s\n", path);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    if (std::strcmp(argv[1], "hold") == 0)
        return Hold(argc, argv);
    if (std::strcmp(argv[1], "run") == 0)
        return Run(argc, argv);
    if (std::strcmp(argv[1], "longpath") == 0)
        return LongPath(argc, argv);
    return 2;
}
