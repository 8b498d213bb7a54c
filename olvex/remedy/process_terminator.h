// Ends every process that runs a given file, before the file is deleted.
// On the NT family a process runs the file when the file is its image (its
// first module); on Windows 95, 98 and Me when the file is any of its modules.
// The process functions are bound at run time by name: PSAPI's on NT, Tool
// Help's of KERNEL32 on Windows 9x.
//
// A process is judged by the files it ran when the list of processes was
// taken, through a handle opened then and used to end it, so a process id
// that was reused in between can never end the wrong program. The calling
// process and the system's critical processes are never ended.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace olvex {

class CProcessTerminator {
  public:
    enum Result : int {
        kTerminated = 0,      // at least one process was ended
        kListFailed = 1,      // the process list could not be read
        kNoPath = 2,          // the path is empty
        kNoneTerminated = 3,  // no process was ended
        kNotReady = 4,        // the platform's functions could not be bound
    };

    // The platform as the engine's OS-version source reports it; a version
    // that cannot be read leaves the object not ready.
    CProcessTerminator();
    // platform_id: VER_PLATFORM_WIN32_NT or VER_PLATFORM_WIN32_WINDOWS; any
    // other value leaves the object not ready.
    explicit CProcessTerminator(DWORD platform_id);
    ~CProcessTerminator();
    CProcessTerminator(const CProcessTerminator&) = delete;
    CProcessTerminator& operator=(const CProcessTerminator&) = delete;

    bool IsReady() const;
    // Paths are compared without regard to case, as given (a short 8.3 path
    // does not match a long image path).
    int TerminateProcessesByModulePath(std::string_view path);
    // The same, against one list of the running processes and their files
    // that the first call takes and later calls reuse until one of them ends
    // a process (the call after that takes a fresh list): a folder of many
    // files costs one pass over the processes, not one per file. Processes
    // started after the list was taken are not seen.
    int TerminateProcessesFromSnapshot(std::string_view path);
    // Processes ended by the last call.
    int TerminatedCount() const { return terminated_; }

  private:
    struct Bound;
    struct Snapshot;
    bool TakeSnapshot();
    bool TakeSnapshotOnNt(Snapshot& snapshot);
    bool TakeSnapshotOn9x(Snapshot& snapshot);
    int Terminate(std::string_view path);
    void EndProcess(HANDLE process);

    DWORD platform_id_;
    std::unique_ptr<Bound> bound_;
    std::unique_ptr<Snapshot> snapshot_;
    int terminated_ = 0;
};

// Whether the image is one of the system's critical processes (session
// manager, client/server runtime, logon, service control manager, security
// authority, service hosts) in the system folder; ending one of these stops
// or destabilises Windows.
bool IsCriticalSystemImage(std::string_view image_path, std::string_view system_folder);

}  // namespace olvex
