// What GUI tests share besides the window driver: the helper programs'
// paths, programs started for one test and ended with it, and the files the
// runner (scripts/gui-run.sh) names in the environment.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "testing/windows_test_support.h"

namespace olvex::gui {

// A helper program of testing/gui (windriver.exe, stand_in.exe, ...).
inline std::wstring GuiProgramPath(const std::wstring& file_name) {
#ifdef OLVEX_GUI_PROGRAMS_DIR
    return testing::WindowsPath(OLVEX_GUI_PROGRAMS_DIR) + L"\\" + file_name;
#else
    return file_name;
#endif
}

// A command line's word, quoted.
inline std::wstring Quote(const std::wstring& word) {
    return L"\"" + word + L"\"";
}

// A program started by a test; still running when this goes, it is ended.
class RunningProgram {
  public:
    RunningProgram() = default;
    RunningProgram(RunningProgram&& other) noexcept
        : process_(std::exchange(other.process_, nullptr)), id_(other.id_) {}
    RunningProgram& operator=(RunningProgram&& other) noexcept {
        if (this != &other) {
            End();
            process_ = std::exchange(other.process_, nullptr);
            id_ = other.id_;
        }
        return *this;
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    ~RunningProgram() { End(); }

    // Starts the command line (its first word the program, quoted when it
    // holds blanks); false when it did not start.
    bool Start(std::wstring command_line) {
        End();
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!testing::StartProcess(nullptr, command_line, FALSE, 0, nullptr, startup, info))
            return false;
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        id_ = info.dwProcessId;
        return true;
    }

    HANDLE process() const { return process_; }
    DWORD id() const { return id_; }
    bool running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

    // Waits up to timeout_ms for the program to end; its exit code, or
    // nullopt when it still runs.
    std::optional<DWORD> Wait(DWORD timeout_ms) const {
        if (!process_ || WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0)
            return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        return code;
    }

    void End() {
        if (!process_)
            return;
        if (running()) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 10000);
        }
        CloseHandle(process_);
        process_ = nullptr;
    }

  private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Starts a helper program that signals "--ready <event>" (added to the
// command line here) and waits up to timeout_ms until it has; false when it
// did not start or ended first.
inline bool StartWhenReady(RunningProgram& program, const std::wstring& command_line,
                           DWORD timeout_ms = 20000) {
    static LONG counter = 0;
    const std::wstring event_name = L"OlvexGuiHelperReady-" +
                                    std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(InterlockedIncrement(&counter));
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, event_name.c_str());
    if (!ready)
        return false;
    bool started = program.Start(command_line + L" --ready " + event_name);
    if (started) {
        const HANDLE waits[] = {ready, program.process()};
        started = WaitForMultipleObjects(2, waits, FALSE, timeout_ms) == WAIT_OBJECT_0;
    }
    CloseHandle(ready);
    return started;
}

// Runs a command line to its end (at most timeout_ms) and gives its exit
// code and its standard output.
struct ProgramOutput {
    bool ended = false;
    DWORD exit_code = 0;
    std::string output;
};

inline ProgramOutput RunForOutput(const std::wstring& command_line, DWORD timeout_ms = 30000) {
    ProgramOutput result;
    wchar_t folder[MAX_PATH] = {};
    wchar_t file[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"out", 0, file);
    const auto run = testing::RunProcess(command_line, file, timeout_ms);
    result.ended = run.started && run.exit_code != WAIT_TIMEOUT;
    result.exit_code = run.exit_code;
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    in.close();
    result.output = text.str();
    DeleteFileW(file);
    return result;
}

// An environment variable; empty when unset.
inline std::wstring Environment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value ? value : L"";
}

// The lines of a text file (CR LF or LF); empty when it cannot be read.
inline std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace olvex::gui
