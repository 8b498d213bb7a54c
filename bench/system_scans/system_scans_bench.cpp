// The memory and registry scans as the product runs them: one Scanner object
// with a client callback, timed around each call.
//
//   bench_system_scans <definitions folder> memory [processes] [passes]
//       starts that many sleeping copies of itself (50 by default), then runs
//       ScanMemory without and with the modules flag in turn, passes times
//       each, and holds the pass with modules against its goal and against
//       the pass without them;
//   bench_system_scans <definitions folder> registry [passes]
//       plants the keys the definitions' present locations name (under
//       HKEY_CURRENT_USER\Software\OlvexBench, removed at the end), then runs
//       ScanRegistry for the current user and for all users, passes times
//       each.
// Prints one line per pass ("<label> seconds <s> items <n> pests <n>") and
// the median of each label; the memory mode then a line per goal: our
// figure (min and median), the reference and their ratio.
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/scanner_bench_support.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/olvex.h"

namespace {

constexpr char kBenchKey[] = "Software\\OlvexBench";
// The definitions name a present key for every 100th location (see
// make_system_definitions.py).
constexpr int kLocations = 20000;
constexpr int kPresentEvery = 100;

std::string ReadySemaphoreName(DWORD parent) {
    return "Local\\olvex_bench_ready_" + std::to_string(parent);
}

// A child: says it is running, then lives as long as its parent does.
int Sleeper(DWORD parent) {
    HANDLE parent_process = OpenProcess(SYNCHRONIZE, FALSE, parent);
    HANDLE ready =
        OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, ReadySemaphoreName(parent).c_str());
    if (!parent_process || !ready)
        return 1;
    ReleaseSemaphore(ready, 1, nullptr);
    CloseHandle(ready);
    WaitForSingleObject(parent_process, INFINITE);
    CloseHandle(parent_process);
    return 0;
}

// Sleeping copies of this program, ended when this object goes.
class Sleepers {
  public:
    bool Start(int count) {
        const DWORD me = GetCurrentProcessId();
        HANDLE ready = CreateSemaphoreA(nullptr, 0, count, ReadySemaphoreName(me).c_str());
        if (!ready)
            return false;
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        for (int i = 0; i < count; ++i) {
            std::string command = "\"" + std::string(exe) + "\" --sleep " + std::to_string(me);
            STARTUPINFOA startup{};
            startup.cb = sizeof(startup);
            PROCESS_INFORMATION info{};
            if (!CreateProcessA(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &info)) {
                break;
            }
            CloseHandle(info.hThread);
            processes_.push_back(info.hProcess);
        }
        bool all = processes_.size() == static_cast<std::size_t>(count);
        for (std::size_t i = 0; all && i < processes_.size(); ++i)
            all = WaitForSingleObject(ready, 30000) == WAIT_OBJECT_0;
        CloseHandle(ready);
        return all;
    }
    ~Sleepers() {
        for (HANDLE process : processes_) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }

  private:
    std::vector<HANDLE> processes_;
};

// The present keys of the definitions, planted for the scan and removed.
class PlantedKeys {
  public:
    bool Plant() {
        for (int i = 0; i < kLocations; i += kPresentEvery) {
            const std::string path = std::string(kBenchKey) + "\\Present" + std::to_string(i);
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr) != ERROR_SUCCESS) {
                return false;
            }
            static const char kData[] = "bench pest";
            RegSetValueExA(key, "Marker", 0, REG_SZ, reinterpret_cast<const BYTE*>(kData),
                           sizeof(kData));
            RegCloseKey(key);
        }
        return true;
    }
    ~PlantedKeys() {
        for (int i = 0; i < kLocations; i += kPresentEvery) {
            const std::string path = std::string(kBenchKey) + "\\Present" + std::to_string(i);
            RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
        }
        RegDeleteKeyA(HKEY_CURRENT_USER, kBenchKey);
    }
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Min(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

// Runs one scan, prints its line and adds its seconds to the label's.
template <typename Scan>
void TimeOnce(const char* label, std::vector<double>& seconds, bench::CountingSink& sink,
              Scan scan) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    sink.items = sink.pests = 0;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    scan();
    QueryPerformanceCounter(&end);
    seconds.push_back(static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
    std::printf("%s seconds %.3f items %ld pests %ld\n", label, seconds.back(), sink.items,
                sink.pests);
    std::fflush(stdout);
}

// Runs scan passes times and prints each pass and the median.
template <typename Scan>
void Time(const char* label, int passes, bench::CountingSink& sink, Scan scan) {
    std::vector<double> seconds;
    for (int i = 0; i < passes; ++i)
        TimeOnce(label, seconds, sink, scan);
    std::printf("%s median_seconds %.3f\n", label, Median(seconds));
    std::fflush(stdout);
}

void PrintGoal(const char* what, const std::vector<double>& ours, double reference,
               const char* reference_is) {
    std::printf("goal %-36s ours %.3f s (median %.3f s)  reference %.3f s (%s)  ratio %.2f\n", what,
                Min(ours), Median(ours), reference, reference_is, Min(ours) / reference);
}

int Bench(IScanner* scanner, bench::CountingSink& sink, const std::string& mode, int argc,
          char** argv) {
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (mode == "memory") {
        const int count = argc > 3 ? std::atoi(argv[3]) : 50;
        const int passes = argc > 4 ? std::atoi(argv[4]) : 5;
        Sleepers sleepers;
        if (!sleepers.Start(count)) {
            std::fprintf(stderr, "the sleeping processes did not start\n");
            return 1;
        }
        std::printf("memory processes_started %d\n", count);
        // The two passes in turn, so that both meet the machine as it is.
        std::vector<double> without, with;
        for (int i = 0; i < passes; ++i) {
            for (const VARIANT_BOOL modules : {VARIANT_FALSE, VARIANT_TRUE}) {
                scanner->put_vbMemScanModules(modules);
                TimeOnce(modules ? "memory_with_modules" : "memory", modules ? with : without,
                         sink, [&] { scanner->ScanMemory(&ok); });
            }
        }
        std::printf("memory median_seconds %.3f\n", Median(without));
        std::printf("memory_with_modules median_seconds %.3f\n", Median(with));
        const std::string with_label =
            "memory with modules, " + std::to_string(count) + " processes";
        PrintGoal(with_label.c_str(), with, 1.0, "goal");
        PrintGoal("memory with modules against without", with, Min(without),
                  "without modules, min of this run; goal ratio < 4");
        return 0;
    }
    if (mode == "registry") {
        const int passes = argc > 3 ? std::atoi(argv[3]) : 5;
        PlantedKeys keys;
        if (!keys.Plant()) {
            std::fprintf(stderr, "the bench keys could not be made\n");
            return 1;
        }
        for (const VARIANT_BOOL all_users : {VARIANT_FALSE, VARIANT_TRUE}) {
            scanner->put_vbScanAllUsers(all_users);
            Time(all_users ? "registry_all_users" : "registry", passes, sink,
                 [&] { scanner->ScanRegistry(&ok); });
        }
        return 0;
    }
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--sleep")
        return Sleeper(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: bench_system_scans <definitions folder> memory [processes] [passes]\n"
                     "       bench_system_scans <definitions folder> registry [passes]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 1;
    {
        olvex::com::ComPtr<IScanner> scanner;
        if (FAILED(olvex::com::CreateEngineObject(CLSID_Scanner, scanner.Put())))
            return 1;
        VARIANT_BOOL ok = VARIANT_FALSE;
        scanner->Initialize(bench::Text(argv[1]).Get(), &ok);
        bench::CountingSink sink;
        scanner->put_Callback(&sink);
        if (ok == VARIANT_TRUE)
            status = Bench(scanner.Get(), sink, argv[2], argc, argv);
        else
            std::fprintf(stderr, "the definitions did not load\n");
        scanner->put_Callback(nullptr);
    }
    CoUninitialize();
    return status;
}
