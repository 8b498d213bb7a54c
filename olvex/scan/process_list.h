// The running processes and the modules of one process, for the memory scan.
// On the NT family the Process Status API (PSAPI.DLL) gives them, with each
// process's image base; on Windows 95, 98 and Me the Tool Help functions of
// KERNEL32 do, without image bases. Both are bound at run time by name; which
// one follows the engine's OS-version source.
//
// Paths are whole: a path that cannot be told exactly (cut short, or with
// characters the ANSI code page lacks and no short form) is reported empty,
// never as a different file. A module of another process is named by the file
// mapped at its base (one question each, where the loader's own path and name
// cost two questions that walk the process's module list each time); when
// that name has no drive, by the loader's path and name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace olvex {

struct ProcessRecord {
    std::string path;  // the executable's full path; empty when it cannot be told exactly
    std::string name;  // its file name
    DWORD id = 0;
    std::uintptr_t image_base = 0;  // where its image is mapped; 0 when unknown (Tool Help)
};

// Each drive's device name and the drive ("\\Device\\HarddiskVolume1", "C:").
using DeviceDrives = std::vector<std::pair<std::wstring, std::wstring>>;

// A mapped file's name as a path with a drive letter: "\\??\\C:\\..." (the form
// Wine gives) without its prefix, or "\\Device\\HarddiskVolume1\\..." with the
// drive that device stands for. Empty when neither fits (a network path).
std::wstring DrivePathOfMappedName(const std::wstring& mapped, const DeviceDrives& devices);

struct ModuleRecord {
    std::uintptr_t handle = 0;  // the module handle, its base in the process
    std::string path;           // full path; empty when it cannot be told exactly
    std::string name;           // file name
};

class CProcessList {
  public:
    CProcessList();
    ~CProcessList();
    CProcessList(const CProcessList&) = delete;
    CProcessList& operator=(const CProcessList&) = delete;

    // Rebuilds the process list and hands out its first record; false when
    // the list is empty or cannot be built.
    bool GetFirstProcess(ProcessRecord& record);
    // The next record; false at the end.
    bool GetNextProcess(ProcessRecord& record);

    // Rebuilds the module list of one process (its main image first); false
    // when the process cannot be opened or its modules cannot be listed.
    bool BuildModuleList(DWORD process_id);
    bool GetFirstModule(ModuleRecord& record);
    bool GetNextModule(ModuleRecord& record);

    bool UsesProcessStatusApi() const { return use_process_status_api_; }

  private:
    struct ProcessStatusApi;
    struct ToolHelp;

    bool BuildProcessListWithProcessStatusApi();
    bool BuildProcessListWithToolHelp();
    bool BuildModuleListWithProcessStatusApi(DWORD process_id);
    bool BuildModuleListWithToolHelp(DWORD process_id);

    bool use_process_status_api_ = false;
    std::unique_ptr<ProcessStatusApi> psapi_;  // null when it could not be bound
    std::unique_ptr<ToolHelp> tool_help_;      // null when it could not be bound
    std::vector<ProcessRecord> processes_;
    std::vector<ModuleRecord> modules_;
    std::optional<DeviceDrives> devices_;  // learnt once a pass
    std::size_t next_process_ = 0;
    std::size_t next_module_ = 0;
};

}  // namespace olvex
