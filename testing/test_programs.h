// The helper programs of testing/programs as the Windows tests find and start
// them. Windows builds only; OLVEX_TEST_PROGRAMS_DIR is the folder they are
// built in.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "testing/windows_test_support.h"

namespace olvex::testing {

inline std::string TestProgramPath(const std::string& file_name) {
#ifdef OLVEX_TEST_PROGRAMS_DIR
    return Narrow(WindowsPath(OLVEX_TEST_PROGRAMS_DIR)) + "\\" + file_name;
#else
    return file_name;
#endif
}

// Stand-in pests started by one test; any still running at the end are ended.
class PestProcesses {
  public:
    PestProcesses() = default;
    PestProcesses(const PestProcesses&) = delete;
    PestProcesses& operator=(const PestProcesses&) = delete;
    ~PestProcesses() {
        for (const HANDLE process : processes_) {
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, 10000);
            }
            CloseHandle(process);
        }
    }

    // Starts exe (a copy of test_pest.exe) with extra arguments and waits until
    // it runs; the process handle, or null.
    HANDLE Start(const std::string& exe, const std::string& arguments = {}) {
        static std::atomic<unsigned> counter{0};
        const std::string event_name = "OlvexTestPestReady-" +
                                       std::to_string(GetCurrentProcessId()) + "-" +
                                       std::to_string(counter++);
        const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event_name.c_str());
        std::string command = "\"" + exe + "\" " + arguments + " --ready " + event_name;
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!ready || !CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                      nullptr, nullptr, &startup, &info)) {
            if (ready)
                CloseHandle(ready);
            return nullptr;
        }
        CloseHandle(info.hThread);
        processes_.push_back(info.hProcess);
        const HANDLE waits[] = {ready, info.hProcess};
        const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 30000);
        CloseHandle(ready);
        return woke == WAIT_OBJECT_0 ? info.hProcess : nullptr;
    }

  private:
    std::vector<HANDLE> processes_;
};

// Whether the process has ended (waiting a little for it), and with what code.
inline bool HasEnded(HANDLE process, DWORD* exit_code = nullptr) {
    if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    if (exit_code)
        *exit_code = code;
    return true;
}

}  // namespace olvex::testing
