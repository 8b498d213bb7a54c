#include "olvex/remedy/process_terminator.h"

#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <vector>

#include "olvex/core/os_utilities.h"
#include "win/unique.h"

namespace olvex {
namespace {

using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleBaseNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using GetModuleFileNameExFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using Process32Fn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
using Module32Fn = BOOL(WINAPI*)(HANDLE, MODULEENTRY32*);

// An ended process is waited for this long, so that its file can be deleted
// right after the call.
constexpr DWORD kExitWaitMs = 5000;
// The process list grows up to this many ids.
constexpr DWORD kMaxProcessIds = 65536;

template <class Fn>
bool Bind(HMODULE library, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return fn != nullptr;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    // Case never changes a path's length in the code pages Windows uses for
    // paths, and most files of a tree differ from an image in length.
    if (a.size() != b.size())
        return false;
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::string SystemFolder() {
    std::array<char, MAX_PATH + 1> buffer{};
    const UINT length = GetSystemDirectoryA(buffer.data(), MAX_PATH);
    return length > 0 && length <= MAX_PATH ? std::string(buffer.data(), length) : std::string();
}

}  // namespace

struct CProcessTerminator::Bound {
    win::UniqueModule library;
    EnumProcessesFn enum_processes = nullptr;
    EnumProcessModulesFn enum_process_modules = nullptr;
    GetModuleBaseNameFn get_module_base_name = nullptr;
    GetModuleFileNameExFn get_module_file_name_ex = nullptr;
    CreateSnapshotFn create_snapshot = nullptr;
    Process32Fn process_first = nullptr;
    Process32Fn process_next = nullptr;
    Module32Fn module_first = nullptr;
    Module32Fn module_next = nullptr;
    std::string system_folder = SystemFolder();
};

bool IsCriticalSystemImage(std::string_view image_path, std::string_view system_folder) {
    const auto slash = image_path.find_last_of('\\');
    if (slash == std::string_view::npos || system_folder.empty())
        return false;
    auto folder = system_folder;
    while (!folder.empty() && folder.back() == '\\')
        folder.remove_suffix(1);
    if (!EqualIgnoringCase(image_path.substr(0, slash), folder))
        return false;
    static constexpr std::string_view kCritical[] = {
        "smss.exe",     "csrss.exe", "wininit.exe", "winlogon.exe",
        "services.exe", "lsass.exe", "lsm.exe",     "svchost.exe",
    };
    const auto name = image_path.substr(slash + 1);
    for (const auto critical : kCritical) {
        if (EqualIgnoringCase(name, critical))
            return true;
    }
    return false;
}

CProcessTerminator::CProcessTerminator()
    : CProcessTerminator(CurrentOsVersionSource().Query().value_or(OsVersion{}).platform_id) {}

CProcessTerminator::CProcessTerminator(DWORD platform_id) : platform_id_(platform_id) {
    auto bound = std::make_unique<Bound>();
    bool ok = false;
    if (platform_id == VER_PLATFORM_WIN32_NT) {
        bound->library.reset(LoadLibraryA("PSAPI.DLL"));
        const HMODULE lib = bound->library.get();
        ok = lib && Bind(lib, "EnumProcesses", bound->enum_processes) &&
             Bind(lib, "EnumProcessModules", bound->enum_process_modules) &&
             Bind(lib, "GetModuleBaseNameA", bound->get_module_base_name) &&
             Bind(lib, "GetModuleFileNameExA", bound->get_module_file_name_ex);
    } else if (platform_id == VER_PLATFORM_WIN32_WINDOWS) {
        bound->library.reset(LoadLibraryA("Kernel32.DLL"));
        const HMODULE lib = bound->library.get();
        ok = lib && Bind(lib, "CreateToolhelp32Snapshot", bound->create_snapshot) &&
             Bind(lib, "Process32First", bound->process_first) &&
             Bind(lib, "Process32Next", bound->process_next) &&
             Bind(lib, "Module32First", bound->module_first) &&
             Bind(lib, "Module32Next", bound->module_next);
    }
    if (ok)
        bound_ = std::move(bound);
}

// The running processes with the files they run, each held open from the
// moment it was looked at.
struct CProcessTerminator::Snapshot {
    struct Process {
        win::UniqueHandle handle;
        std::vector<std::string> files;  // the image on NT, every module on 9x
        bool critical = false;
    };
    std::vector<Process> processes;
};

CProcessTerminator::~CProcessTerminator() = default;

bool CProcessTerminator::IsReady() const {
    return bound_ != nullptr;
}

int CProcessTerminator::TerminateProcessesByModulePath(std::string_view path) {
    snapshot_.reset();
    const int result = TerminateProcessesFromSnapshot(path);
    snapshot_.reset();
    return result;
}

int CProcessTerminator::TerminateProcessesFromSnapshot(std::string_view path) {
    terminated_ = 0;
    if (!IsReady())
        return kNotReady;
    if (path.empty())
        return kNoPath;
    if (!snapshot_ && !TakeSnapshot())
        return kListFailed;
    return Terminate(path);
}

bool CProcessTerminator::TakeSnapshot() {
    auto snapshot = std::make_unique<Snapshot>();
    const bool taken = platform_id_ == VER_PLATFORM_WIN32_NT ? TakeSnapshotOnNt(*snapshot)
                                                             : TakeSnapshotOn9x(*snapshot);
    if (taken)
        snapshot_ = std::move(snapshot);
    return taken;
}

int CProcessTerminator::Terminate(std::string_view path) {
    for (auto& process : snapshot_->processes) {
        if (process.critical || !process.handle)
            continue;
        const bool runs =
            std::any_of(process.files.begin(), process.files.end(),
                        [&](const std::string& file) { return EqualIgnoringCase(file, path); });
        // One that has ended since the list was taken needs nothing.
        if (runs && WaitForSingleObject(process.handle.get(), 0) == WAIT_TIMEOUT)
            EndProcess(process.handle.get());
    }
    if (terminated_ == 0)
        return kNoneTerminated;
    // Whatever else was running may have changed with it.
    snapshot_.reset();
    return kTerminated;
}

void CProcessTerminator::EndProcess(HANDLE process) {
    if (!TerminateProcess(process, 0))
        return;
    ++terminated_;
    WaitForSingleObject(process, kExitWaitMs);
}

bool CProcessTerminator::TakeSnapshotOnNt(Snapshot& snapshot) {
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
        if (!bound_->enum_processes(ids.data(), capacity, &bytes))
            return false;
        if (bytes < capacity || ids.size() >= kMaxProcessIds)
            break;
        ids.resize(ids.size() * 2);  // the list may have been cut: ask again
    }
    ids.resize(bytes / sizeof(DWORD));
    const DWORD self = GetCurrentProcessId();
    for (const DWORD id : ids) {
        if (id == 0 || id == self)
            continue;
        // One handle both reads the image and ends the process, so the image
        // checked is the image of the process that is ended.
        win::UniqueHandle process(OpenProcess(
            PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
            id));
        if (!process)
            continue;
        HMODULE first = nullptr;
        DWORD needed = 0;
        std::array<char, 1024> image{};
        if (!bound_->enum_process_modules(process.get(), &first, sizeof(first), &needed))
            continue;
        const DWORD length = bound_->get_module_file_name_ex(process.get(), first, image.data(),
                                                             static_cast<DWORD>(image.size()));
        if (length == 0 || length >= image.size() - 1)
            continue;  // unreadable or cut: compared as unknown, never matches
        Snapshot::Process entry;
        entry.files.emplace_back(image.data(), length);
        entry.critical = IsCriticalSystemImage(entry.files.front(), bound_->system_folder);
        entry.handle = std::move(process);
        snapshot.processes.push_back(std::move(entry));
    }
    return true;
}

bool CProcessTerminator::TakeSnapshotOn9x(Snapshot& snapshot) {
    win::UniqueHandle processes(bound_->create_snapshot(TH32CS_SNAPPROCESS, 0));
    if (!processes)
        return false;
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = bound_->process_first(processes.get(), &entry); more;
         more = bound_->process_next(processes.get(), &entry)) {
        const DWORD id = entry.th32ProcessID;
        if (id == 0 || id == self)
            continue;
        // The handle is taken before the modules are listed: while it is
        // open the id cannot pass to another process.
        win::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process)
            continue;
        win::UniqueHandle modules(bound_->create_snapshot(TH32CS_SNAPMODULE, id));
        if (!modules)
            continue;
        Snapshot::Process listed;
        MODULEENTRY32 module{};
        module.dwSize = sizeof(module);
        for (BOOL more_modules = bound_->module_first(modules.get(), &module); more_modules;
             more_modules = bound_->module_next(modules.get(), &module)) {
            if (listed.files.empty())
                listed.critical = IsCriticalSystemImage(module.szExePath, bound_->system_folder);
            listed.files.emplace_back(module.szExePath);
        }
        listed.handle = std::move(process);
        snapshot.processes.push_back(std::move(listed));
    }
    return true;
}

}  // namespace olvex
