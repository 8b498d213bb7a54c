#include "olvex/remedy/process_terminator.h"

#include <tlhelp32.h>

#include <array>
#include <vector>

#include "olvex/core/os_utilities.h"
#include "olvex/remedy/win_scoped.h"

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
    ScopedLibrary library;
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
        bound->library.Reset(LoadLibraryA("PSAPI.DLL"));
        const HMODULE lib = bound->library.Get();
        ok = lib && Bind(lib, "EnumProcesses", bound->enum_processes) &&
             Bind(lib, "EnumProcessModules", bound->enum_process_modules) &&
             Bind(lib, "GetModuleBaseNameA", bound->get_module_base_name) &&
             Bind(lib, "GetModuleFileNameExA", bound->get_module_file_name_ex);
    } else if (platform_id == VER_PLATFORM_WIN32_WINDOWS) {
        bound->library.Reset(LoadLibraryA("Kernel32.DLL"));
        const HMODULE lib = bound->library.Get();
        ok = lib && Bind(lib, "CreateToolhelp32Snapshot", bound->create_snapshot) &&
             Bind(lib, "Process32First", bound->process_first) &&
             Bind(lib, "Process32Next", bound->process_next) &&
             Bind(lib, "Module32First", bound->module_first) &&
             Bind(lib, "Module32Next", bound->module_next);
    }
    if (ok)
        bound_ = std::move(bound);
}

CProcessTerminator::~CProcessTerminator() = default;

bool CProcessTerminator::IsReady() const {
    return bound_ != nullptr;
}

int CProcessTerminator::TerminateProcessesByModulePath(std::string_view path) {
    terminated_ = 0;
    if (!IsReady())
        return kNotReady;
    if (path.empty())
        return kNoPath;
    const int error =
        platform_id_ == VER_PLATFORM_WIN32_NT ? TerminateOnNt(path) : TerminateOn9x(path);
    if (error != kTerminated)
        return error;
    return terminated_ > 0 ? kTerminated : kNoneTerminated;
}

void CProcessTerminator::EndProcess(HANDLE process) {
    if (!TerminateProcess(process, 0))
        return;
    ++terminated_;
    WaitForSingleObject(process, kExitWaitMs);
}

int CProcessTerminator::TerminateOnNt(std::string_view path) {
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
        if (!bound_->enum_processes(ids.data(), capacity, &bytes))
            return kListFailed;
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
        ScopedHandle process(OpenProcess(
            PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
            id));
        if (!process)
            continue;
        HMODULE first = nullptr;
        DWORD needed = 0;
        std::array<char, 1024> image{};
        if (!bound_->enum_process_modules(process.Get(), &first, sizeof(first), &needed))
            continue;
        const DWORD length = bound_->get_module_file_name_ex(process.Get(), first, image.data(),
                                                             static_cast<DWORD>(image.size()));
        if (length == 0 || length >= image.size() - 1)
            continue;  // unreadable or cut: compared as unknown, never matches
        const std::string_view image_path(image.data(), length);
        if (EqualIgnoringCase(image_path, path) &&
            !IsCriticalSystemImage(image_path, bound_->system_folder))
            EndProcess(process.Get());
    }
    return kTerminated;
}

int CProcessTerminator::TerminateOn9x(std::string_view path) {
    ScopedFileHandle processes(bound_->create_snapshot(TH32CS_SNAPPROCESS, 0));
    if (!processes)
        return kListFailed;
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = bound_->process_first(processes.Get(), &entry); more;
         more = bound_->process_next(processes.Get(), &entry)) {
        const DWORD id = entry.th32ProcessID;
        if (id == 0 || id == self)
            continue;
        // The handle is taken before the modules are listed: while it is
        // open the id cannot pass to another process.
        ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process)
            continue;
        ScopedFileHandle modules(bound_->create_snapshot(TH32CS_SNAPMODULE, id));
        if (!modules)
            continue;
        MODULEENTRY32 module{};
        module.dwSize = sizeof(module);
        bool matches = false;
        bool critical = false;
        bool first_module = true;
        for (BOOL more_modules = bound_->module_first(modules.Get(), &module); more_modules;
             more_modules = bound_->module_next(modules.Get(), &module)) {
            const std::string_view module_path(module.szExePath);
            if (first_module)
                critical = IsCriticalSystemImage(module_path, bound_->system_folder);
            first_module = false;
            matches = matches || EqualIgnoringCase(module_path, path);
        }
        if (matches && !critical)
            EndProcess(process.Get());
    }
    return kTerminated;
}

}  // namespace olvex
