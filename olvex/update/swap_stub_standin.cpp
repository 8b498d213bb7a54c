// Stands in for the engine DLL swap stub "Swavel.exe" until the real one is
// built: ApplyUpdates writes it from the engine's resources and starts it
// with the running engine's path and the new engine's path. It changes
// nothing; it writes its arguments, one a line, to "<its own path>.args" so
// that the hand-over can be seen. Plain Win32 only, to keep the resource small.
#include <windows.h>

namespace {

bool WriteText(HANDLE file, const char* text) {
    const DWORD length = static_cast<DWORD>(lstrlenA(text));
    DWORD written = 0;
    return WriteFile(file, text, length, &written, nullptr) && written == length;
}

}  // namespace

int main(int argc, char** argv) {
    char record[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameA(nullptr, record, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    lstrcatA(record, ".args");
    const HANDLE file = CreateFileA(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    bool ok = true;
    for (int i = 1; i < argc && ok; ++i)
        ok = WriteText(file, argv[i]) && WriteText(file, "\r\n");
    CloseHandle(file);
    return ok ? 0 : 1;
}
