// The update utility's decisions, kept apart from the system: its command
// line, which programs it closes (by their window titles, in order, with a
// bounded number of WM_CLOSEs each) and which of them it starts again after
// the apply. The windows and the sleeps come through ProgramWindows, so that
// tests drive the close sequence with windows that refuse, hang or go.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace olvex::update_utility {

// Its single-instance mutex: a second copy ends while the first runs.
inline constexpr char kInstanceMutexName[] = "QZV5UpdateUtil";
// Created and removed in the install and common data folders to see that
// this account may write there.
inline constexpr char kWriteTestFileName[] = "tempu.tmp";
// The suite's key under HKEY_LOCAL_MACHINE: its updater is initialised
// only when the suite is installed. (The channels themselves, their download
// folders and control-file addresses, are the updater's: download_flow.h.)
inline constexpr char kSuiteRegistryKey[] = "Software\\Vorandel\\Kelvan Suite Personal";
inline constexpr char kSuitePathValue[] = "Path";

// The utility's exit codes.
inline constexpr int kExitApplied = 0;
inline constexpr int kExitApplyFailed = 1;  // a channel's apply reported an error
inline constexpr int kExitNotRun = 2;       // the run ended before the apply
// Written in the product's data folder after a good apply.
inline constexpr char kUpdateHistoryName[] = "qzupdateshistory.txt";

// Between two WM_CLOSEs to the same program.
inline constexpr unsigned kCloseSpacingMs = 200;
// How long one WM_CLOSE may take to be handled; a program that does not
// answer in that time is taken for hung.
inline constexpr unsigned kCloseAnswerMs = 5000;
// How long a program whose window went may take to end, so that its files
// are free before the apply.
inline constexpr unsigned kProgramEndWaitMs = 10000;
// After closing, before the apply.
inline constexpr unsigned kSettleMs = 2000;
// After the apply, before the programs start again.
inline constexpr unsigned kRestartDelayMs = 3000;
// The longest the swap stub may run: its 61 one-second tries and the swap.
inline constexpr unsigned kSwapStubWaitMs = 65000;

enum class Program { kMain, kProtection, kScanner, kUpdater };

struct ProgramToClose {
    Program program;
    const char* title;         // its main window's title
    int attempts;              // WM_CLOSEs at most
    const char* program_file;  // in the install folder; null: never started again
};

// In the order they are closed.
inline constexpr std::array<ProgramToClose, 4> kProgramsToClose = {{
    {Program::kMain, "Kelvan Gorsewatch by Brackwith", 50, "Gorsewatch5.exe"},
    {Program::kProtection, "Kelvan Gorsewatch -- Active Protection", 20, "Wakenor.exe"},
    {Program::kScanner, "Kelvan Gorsewatch -- Command Line Scanner", 50, nullptr},
    {Program::kUpdater, "Kelvan Gorsewatch -- Updates", 25, "Pellory.exe"},
}};

// The order in which closed programs start again: the protection first, so
// that the main program finds it running, the main program last.
inline constexpr std::array<Program, 3> kRestartOrder = {Program::kProtection, Program::kUpdater,
                                                         Program::kMain};

struct Options {
    bool installupdate = false;  // started by setup, which starts the programs itself
};

// A flag ("/" or "-") that begins, without regard to case, with
// "installupdate" sets installupdate; anything else is ignored.
Options ParseCommandLine(const std::vector<std::string>& arguments);

// The windows of the other programs, and the utility's waits (which keep
// its status window painted).
class ProgramWindows {
  public:
    using WindowId = std::uintptr_t;  // 0: none
    virtual ~ProgramWindows() = default;
    // The top-level window with exactly this title; 0 when there is none.
    virtual WindowId Find(const std::string& title) = 0;
    // Sends WM_CLOSE and waits, at most kCloseAnswerMs, until it was
    // handled; false when the program did not answer (hung or busy).
    virtual bool SendClose(WindowId window) = 0;
    // The window that was sent WM_CLOSE has gone: waits up to timeout_ms
    // for its program to end.
    virtual void WaitForProgramEnd(WindowId window, unsigned timeout_ms) = 0;
    virtual void Sleep(unsigned milliseconds) = 0;
};

struct CloseOutcome {
    // Whether each program's window was found (by Program), closed or not.
    std::array<bool, 4> was_running{};
    // Whether it was still there after its last attempt.
    std::array<bool, 4> left_running{};
};

// Closes the programs in the table's order: for each, up to its attempts,
// finds its window (none: on to the next), sends WM_CLOSE and sleeps
// kCloseSpacingMs. A window that went is followed by a wait for its program
// to end. A program that stays is left running: the apply goes on anyway.
CloseOutcome ClosePrograms(ProgramWindows& windows);

// The program files to start again, in kRestartOrder: those that were
// running, none with installupdate and never the scanner.
std::vector<std::string> ProgramsToRestart(const CloseOutcome& outcome, const Options& options);

}  // namespace olvex::update_utility
