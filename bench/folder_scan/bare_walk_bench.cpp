// The yardstick of the folder scan: a bare walk of the same tree with
// FindFirstFileA that opens every file and reads its first 2047 bytes, the
// least any signature scan must do. Prints files, seconds, files per second
// (run.sh adds the bytes read per file).
//
//   bench_bare_walk <tree folder>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/folder_scan/io_counter.h"

namespace {

long Walk(const std::string& folder) {
    long files = 0;
    std::vector<std::string> pending{folder};
    char head[2047];
    while (!pending.empty()) {
        const std::string current = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((current + "\\*.*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = current + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                pending.push_back(path);
                continue;
            }
            const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                continue;
            DWORD got = 0;
            ReadFile(file, head, sizeof(head), &got, nullptr);
            CloseHandle(file);
            ++files;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_bare_walk <tree folder>\n");
        return 2;
    }
    bench::Mark("begin");
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const long files = Walk(argv[1]);
    QueryPerformanceCounter(&end);
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    bench::Mark("end");
    bench::PrintFigures("bare", files, seconds);
    return 0;
}
