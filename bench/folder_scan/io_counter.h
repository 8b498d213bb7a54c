// Marks around the measured part of a benchmark program. Under Wine a
// Windows program is a host process whose byte counters sit in
// /proc/<pid>/io, but the program cannot read its own (Wine opens files in
// its server, so "self" is the server, and GetProcessIoCounters answers
// zeros). With OLVEX_BENCH_MARKS set, the program prints "mark begin" and
// "mark end" and waits for a line on its input at each, so that the script
// driving it (run.sh) reads the counters there.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace bench {

inline void Mark(const char* what) {
    if (!std::getenv("OLVEX_BENCH_MARKS"))
        return;
    std::printf("mark %s\n", what);
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof(line), stdin))
        return;
}

inline void PrintFigures(const char* what, long files, double seconds) {
    std::printf("%s files %ld\n", what, files);
    std::printf("%s seconds %.3f\n", what, seconds);
    std::printf("%s files_per_second %.0f\n", what, seconds > 0 ? files / seconds : 0.0);
    std::fflush(stdout);
}

}  // namespace bench
