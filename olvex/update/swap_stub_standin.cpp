// Stands in for the engine DLL swap stub "Swavel.exe" until the real one is
// built: ApplyUpdates writes it from the engine's resources and starts it
// with the running engine's path and the new engine's path. It changes
// nothing; it writes its arguments, one a line, to "<its own path>.args" so
// that the hand-over can be seen.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
    char own[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    std::string text;
    for (int i = 1; i < argc; ++i) {
        text += argv[i];
        text += "\r\n";
    }
    const std::string record = std::string(own, length) + ".args";
    const HANDLE file = CreateFileA(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    CloseHandle(file);
    return ok ? 0 : 1;
}
