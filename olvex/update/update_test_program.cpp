// A program that tests publish as an update: it writes its command line to
// "<its own path>.ran", then sleeps for the milliseconds written in
// "<its own path>.sleep" when that file exists.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

int main() {
    char own[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    const std::string path(own, length);
    std::ofstream(path + ".ran", std::ios::binary) << GetCommandLineA() << "\r\n";
    std::ifstream sleep_file(path + ".sleep");
    unsigned long milliseconds = 0;
    if (sleep_file >> milliseconds)
        Sleep(milliseconds);
    return 0;
}
