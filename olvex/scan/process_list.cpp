#include "olvex/scan/process_list.h"

#include <tlhelp32.h>

#include <cstring>
#include <optional>

#include "olvex/core/os_utilities.h"
#include "win/unique.h"

namespace olvex {
namespace {

using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using ModuleTextFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
using MappedNameFn = DWORD(WINAPI*)(HANDLE, LPVOID, LPWSTR, DWORD);
using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using Process32Fn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
using Module32Fn = BOOL(WINAPI*)(HANDLE, MODULEENTRY32*);

// Lists grow up to these many entries.
constexpr std::size_t kMaxProcessIds = 1 << 16;
constexpr std::size_t kMaxModules = 1 << 16;
// Longest path the system can give (the \\?\ form).
constexpr DWORD kMaxPathChars = 32768;

template <class Fn>
bool BindFunction(HMODULE library, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return fn != nullptr;
}

// A text the system writes into a buffer of ours, asked again with a larger
// buffer while the answer fills it (it may have been cut). Empty on failure.
template <class Query>
std::wstring QueryGrowing(Query query) {
    for (DWORD size = MAX_PATH + 1; size <= kMaxPathChars * 2; size *= 2) {
        std::wstring buffer(size, L'\0');
        const DWORD length = query(buffer.data(), size);
        if (length == 0) {
            return {};
        }
        if (length < size - 1) {
            buffer.resize(length);
            return buffer;
        }
    }
    return {};
}

// The text in the ANSI code page, only when every character has its own
// byte form there.
std::optional<std::string> ToAnsiExactly(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    const int wide_length = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, flags, text.data(), wide_length, nullptr, 0,
                                           nullptr, utf8 ? nullptr : &lossy);
    if (length <= 0 || lossy) {
        return std::nullopt;
    }
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, flags, text.data(), wide_length, result.data(), length, nullptr,
                        utf8 ? nullptr : &lossy);
    if (lossy) {
        return std::nullopt;
    }
    return result;
}

std::string AfterLastBackslash(const std::string& path) {
    const auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A path in the engine's ANSI texts: as it is, or in its short form when the
// code page lacks some of its characters; empty when neither is exact.
std::string EnginePath(const std::wstring& path) {
    if (auto exact = ToAnsiExactly(path)) {
        return *exact;
    }
    const auto short_path = QueryGrowing(
        [&](wchar_t* buffer, DWORD size) { return GetShortPathNameW(path.c_str(), buffer, size); });
    if (auto exact = ToAnsiExactly(short_path); exact && !short_path.empty()) {
        return *exact;
    }
    return {};
}

std::string EngineName(const std::wstring& name, const std::string& engine_path) {
    if (auto exact = ToAnsiExactly(name)) {
        return *exact;
    }
    return AfterLastBackslash(engine_path);
}

// Each drive's device ("\\Device\\HarddiskVolume1"), as mapped file names give it.
DeviceDrives DeviceDrivesNow() {
    DeviceDrives devices;
    const DWORD drives = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if (!(drives & (1u << letter))) {
            continue;
        }
        const std::wstring drive = {static_cast<wchar_t>(L'A' + letter), L':'};
        wchar_t target[MAX_PATH + 1] = {};
        if (QueryDosDeviceW(drive.c_str(), target, MAX_PATH) && target[0]) {
            devices.emplace_back(target, drive);
        }
    }
    return devices;
}

// A Tool Help path field: it holds at most MAX_PATH - 1 characters, so a full
// field may have been cut and is kept only when it names an existing file.
std::string ToolHelpPath(const char* field) {
    const std::size_t length = strnlen(field, MAX_PATH);
    std::string path(field, length);
    if (length >= MAX_PATH - 1 && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return {};
    }
    return path;
}

}  // namespace

// A mapped file's name as a path with a drive letter: "\\??\\C:\\..." (the form
// Wine gives) without its prefix, or "\\Device\\HarddiskVolume1\\..." with the
// drive that device stands for. Empty when neither fits.
std::wstring DrivePathOfMappedName(const std::wstring& mapped, const DeviceDrives& devices) {
    static constexpr std::wstring_view kNtPrefix = L"\\??\\";
    const std::wstring_view name(mapped);
    if (name.starts_with(kNtPrefix)) {
        const std::wstring_view rest = name.substr(kNtPrefix.size());
        if (rest.size() > 3 && rest[1] == L':' && rest[2] == L'\\')
            return std::wstring(rest);
        return {};
    }
    for (const auto& [device, drive] : devices) {
        if (name.size() > device.size() && name[device.size()] == L'\\' &&
            name.substr(0, device.size()) == device)
            return drive + std::wstring(name.substr(device.size()));
    }
    return {};
}

struct CProcessList::ProcessStatusApi {
    win::UniqueModule library;
    EnumProcessesFn enum_processes = nullptr;
    EnumProcessModulesFn enum_process_modules = nullptr;
    ModuleTextFn get_module_file_name_ex = nullptr;
    ModuleTextFn get_module_base_name = nullptr;
    MappedNameFn get_mapped_file_name = nullptr;  // optional: the quick way to a module's file

    static std::unique_ptr<ProcessStatusApi> Bind() {
        auto api = std::make_unique<ProcessStatusApi>();
        api->library.reset(LoadLibraryA("PSAPI.DLL"));
        const HMODULE lib = api->library.get();
        const bool bound =
            lib && BindFunction(lib, "EnumProcesses", api->enum_processes) &&
            BindFunction(lib, "EnumProcessModules", api->enum_process_modules) &&
            BindFunction(lib, "GetModuleFileNameExW", api->get_module_file_name_ex) &&
            BindFunction(lib, "GetModuleBaseNameW", api->get_module_base_name);
        if (bound)
            BindFunction(lib, "GetMappedFileNameW", api->get_mapped_file_name);
        return bound ? std::move(api) : nullptr;
    }

    // A module of another process by the file mapped at its base: one
    // question to the system, where its loader's own path and name take two
    // that each walk the process's list of modules up to it. False when the
    // mapped name cannot be had or has no drive.
    bool DescribeByMapping(HANDLE process, HMODULE module, const DeviceDrives& devices,
                           std::string& path, std::string& name) const {
        if (!get_mapped_file_name)
            return false;
        const auto mapped = QueryGrowing([&](wchar_t* buffer, DWORD size) {
            return get_mapped_file_name(process, module, buffer, size);
        });
        const std::wstring wide_path = DrivePathOfMappedName(mapped, devices);
        if (wide_path.empty())
            return false;
        path = EnginePath(wide_path);
        name = EngineName(wide_path.substr(wide_path.find_last_of(L'\\') + 1), path);
        return true;
    }

    // The module's path and name in the engine's texts; false when the
    // process no longer answers.
    bool Describe(HANDLE process, HMODULE module, std::string& path, std::string& name) const {
        const auto wide_path = QueryGrowing([&](wchar_t* buffer, DWORD size) {
            return get_module_file_name_ex(process, module, buffer, size);
        });
        const auto wide_name = QueryGrowing([&](wchar_t* buffer, DWORD size) {
            return get_module_base_name(process, module, buffer, size);
        });
        if (wide_path.empty() && wide_name.empty()) {
            return false;
        }
        path = EnginePath(wide_path);
        name = EngineName(wide_name, path);
        return true;
    }
};

struct CProcessList::ToolHelp {
    win::UniqueModule library;
    CreateSnapshotFn create_snapshot = nullptr;
    Process32Fn process_first = nullptr;
    Process32Fn process_next = nullptr;
    Module32Fn module_first = nullptr;
    Module32Fn module_next = nullptr;

    static std::unique_ptr<ToolHelp> Bind() {
        auto api = std::make_unique<ToolHelp>();
        api->library.reset(LoadLibraryA("KERNEL32.DLL"));
        const HMODULE lib = api->library.get();
        const bool bound = lib &&
                           BindFunction(lib, "CreateToolhelp32Snapshot", api->create_snapshot) &&
                           BindFunction(lib, "Process32First", api->process_first) &&
                           BindFunction(lib, "Process32Next", api->process_next) &&
                           BindFunction(lib, "Module32First", api->module_first) &&
                           BindFunction(lib, "Module32Next", api->module_next);
        return bound ? std::move(api) : nullptr;
    }

    // Calls visit(entry) for each module of the process until it answers false.
    template <class Visit>
    bool ForEachModule(DWORD process_id, Visit visit) const {
        const win::UniqueHandle snapshot(create_snapshot(TH32CS_SNAPMODULE, process_id));
        if (!snapshot) {
            return false;
        }
        MODULEENTRY32 entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = module_first(snapshot.get(), &entry); more && visit(entry);
             more = module_next(snapshot.get(), &entry)) {
        }
        return true;
    }

    // Windows 9x gives a process's full path; the NT family only its file
    // name, and its main module then gives the path.
    std::string ProcessPath(const PROCESSENTRY32& entry) const {
        std::string path = ToolHelpPath(entry.szExeFile);
        if (path.find('\\') != std::string::npos) {
            return path;
        }
        path.clear();
        ForEachModule(entry.th32ProcessID, [&](const MODULEENTRY32& module) {
            path = ToolHelpPath(module.szExePath);
            return false;
        });
        return path.find('\\') != std::string::npos ? path : std::string();
    }
};

CProcessList::CProcessList() {
    const auto version = CurrentOsVersionSource().Query();
    use_process_status_api_ = version && version->platform_id != VER_PLATFORM_WIN32_WINDOWS;
    if (use_process_status_api_) {
        psapi_ = ProcessStatusApi::Bind();
    } else {
        tool_help_ = ToolHelp::Bind();
    }
}

CProcessList::~CProcessList() = default;

bool CProcessList::GetFirstProcess(ProcessRecord& record) {
    processes_.clear();
    next_process_ = 0;
    devices_.reset();  // a new pass may meet drives mapped since
    const bool built = use_process_status_api_ ? BuildProcessListWithProcessStatusApi()
                                               : BuildProcessListWithToolHelp();
    return built && GetNextProcess(record);
}

bool CProcessList::GetNextProcess(ProcessRecord& record) {
    if (next_process_ >= processes_.size()) {
        return false;
    }
    record = processes_[next_process_++];
    return true;
}

bool CProcessList::BuildModuleList(DWORD process_id) {
    modules_.clear();
    next_module_ = 0;
    return use_process_status_api_ ? BuildModuleListWithProcessStatusApi(process_id)
                                   : BuildModuleListWithToolHelp(process_id);
}

bool CProcessList::GetFirstModule(ModuleRecord& record) {
    next_module_ = 0;
    return GetNextModule(record);
}

bool CProcessList::GetNextModule(ModuleRecord& record) {
    if (next_module_ >= modules_.size()) {
        return false;
    }
    record = modules_[next_module_++];
    return true;
}

bool CProcessList::BuildProcessListWithProcessStatusApi() {
    if (!psapi_) {
        return false;
    }
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
        if (!psapi_->enum_processes(ids.data(), capacity, &bytes)) {
            return false;
        }
        if (bytes < capacity || ids.size() >= kMaxProcessIds) {
            break;
        }
        ids.resize(ids.size() * 2);  // the list may have been cut: ask again
    }
    ids.resize(bytes / sizeof(DWORD));
    for (const DWORD id : ids) {
        // Reading is all the list needs; ending a process is the terminator's
        // business, and asking for it here would hide processes that refuse it.
        const win::UniqueHandle process(
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
        if (!process) {
            continue;
        }
        HMODULE main_image = nullptr;
        DWORD needed = 0;
        if (!psapi_->enum_process_modules(process.get(), &main_image, sizeof(main_image),
                                          &needed) ||
            !main_image) {
            continue;
        }
        ProcessRecord record;
        record.id = id;
        record.image_base = reinterpret_cast<std::uintptr_t>(main_image);
        if (psapi_->Describe(process.get(), main_image, record.path, record.name)) {
            processes_.push_back(std::move(record));
        }
    }
    return true;
}

bool CProcessList::BuildProcessListWithToolHelp() {
    if (!tool_help_) {
        return false;
    }
    const win::UniqueHandle snapshot(tool_help_->create_snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return false;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = tool_help_->process_first(snapshot.get(), &entry); more;
         more = tool_help_->process_next(snapshot.get(), &entry)) {
        ProcessRecord record;
        record.id = entry.th32ProcessID;
        record.path = tool_help_->ProcessPath(entry);
        const std::string field(entry.szExeFile, strnlen(entry.szExeFile, MAX_PATH));
        record.name = AfterLastBackslash(record.path.empty() ? field : record.path);
        processes_.push_back(std::move(record));
    }
    return true;
}

bool CProcessList::BuildModuleListWithProcessStatusApi(DWORD process_id) {
    if (!psapi_) {
        return false;
    }
    const win::UniqueHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
    if (!process) {
        return false;
    }
    std::vector<HMODULE> handles(256);
    DWORD needed = 0;
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(handles.size() * sizeof(HMODULE));
        if (!psapi_->enum_process_modules(process.get(), handles.data(), capacity, &needed)) {
            return false;
        }
        if (needed <= capacity || handles.size() >= kMaxModules) {
            break;
        }
        handles.resize(needed / sizeof(HMODULE) + 16);  // more modules than room: ask again
    }
    handles.resize(std::min<std::size_t>(handles.size(), needed / sizeof(HMODULE)));
    if (!devices_) {
        devices_ = DeviceDrivesNow();
    }
    for (const HMODULE handle : handles) {
        ModuleRecord record;
        record.handle = reinterpret_cast<std::uintptr_t>(handle);
        if (handle && (psapi_->DescribeByMapping(process.get(), handle, *devices_, record.path,
                                                 record.name) ||
                       psapi_->Describe(process.get(), handle, record.path, record.name))) {
            modules_.push_back(std::move(record));
        }
    }
    return true;
}

bool CProcessList::BuildModuleListWithToolHelp(DWORD process_id) {
    if (!tool_help_) {
        return false;
    }
    return tool_help_->ForEachModule(process_id, [&](const MODULEENTRY32& entry) {
        ModuleRecord record;
        record.handle = reinterpret_cast<std::uintptr_t>(entry.hModule);
        record.path = ToolHelpPath(entry.szExePath);
        record.name = std::string(entry.szModule, strnlen(entry.szModule, sizeof(entry.szModule)));
        modules_.push_back(std::move(record));
        return true;
    });
}

}  // namespace olvex
