#include <windows.h>
#include <tlhelp32.h>

#include "win/unique.h"
#include "setup/core/perf_data.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup::util {
namespace {

constexpr DWORD kCounterNamesBytes = 128 * 1024;
constexpr DWORD kFirstPerfBuffer = 128 * 1024;
constexpr DWORD kMaxPerfBuffer = 64 * 1024 * 1024;
constexpr uint32_t kAppearPoll = 100;
constexpr uint32_t kExitPoll = 750;

template <class Function>
Function Bind(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                  : nullptr;
}

// The Process object of the performance data; nullopt when the system has
// no such data (Wine keeps none).
std::optional<std::vector<PerfProcess>> PerfProcesses() {
    RegistryData names;
    if (ReadRegistryValue(HKEY_LOCAL_MACHINE,
                          u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Perflib\\009",
                          u"Counter", names, kCounterNamesBytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::u16string text;
    for (size_t i = 0; i + 1 < names.bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(names.bytes[i] | (names.bytes[i + 1] << 8)));
    }
    const ProcessCounterIndexes indexes = FindProcessCounterIndexes(text);
    if (!indexes.process || !indexes.process_id) {
        return std::nullopt;
    }
    const std::u16string object = UnsignedText(*indexes.process);
    std::vector<uint8_t> block(kFirstPerfBuffer);
    LONG error = ERROR_MORE_DATA;
    while (error == ERROR_MORE_DATA) {
        DWORD size = static_cast<DWORD>(block.size());
        error = RegQueryValueExW(HKEY_PERFORMANCE_DATA, W(object), nullptr, nullptr, block.data(),
                                 &size);
        if (error == ERROR_SUCCESS) {
            block.resize(size);
        } else if (error == ERROR_MORE_DATA) {
            if (block.size() >= kMaxPerfBuffer) {
                break;
            }
            block.resize(block.size() * 2);
        }
    }
    RegCloseKey(HKEY_PERFORMANCE_DATA);
    if (error != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return ReadPerfProcesses(block, *indexes.process, *indexes.process_id);
}

// The Toolhelp snapshot, bound at run time (NT 4 has none).
uint32_t SnapshotProcessId(std::u16string_view name) {
    using CreateSnapshot = HANDLE(WINAPI*)(DWORD, DWORD);
    using WalkProcess = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32W*);
    const HMODULE kernel = GetModuleHandleW(L"KERNEL32.DLL");
    const auto create = Bind<CreateSnapshot>(kernel, "CreateToolhelp32Snapshot");
    const auto first = Bind<WalkProcess>(kernel, "Process32FirstW");
    const auto next = Bind<WalkProcess>(kernel, "Process32NextW");
    if (!create || !first || !next) {
        return 0;
    }
    const win::UniqueHandle snapshot(create(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return 0;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = first(snapshot.get(), &entry); more; more = next(snapshot.get(), &entry)) {
        const std::u16string exe = U(entry.szExeFile);
        const std::u16string_view file = FileNamePart(exe);
        const size_t dot = file.rfind(u'.');
        const std::u16string_view stem =
            dot == std::u16string_view::npos ? file : file.substr(0, dot);
        if (EqualsNoCase(file, name) || EqualsNoCase(stem, name)) {
            return entry.th32ProcessID;
        }
    }
    return 0;
}

}  // namespace

uint32_t FindProcessId(std::u16string_view name) {
    if (name.empty()) {
        return 0;
    }
    if (Seams().find_process) {
        return Seams().find_process(std::u16string(name));
    }
    if (IsWinNT()) {
        if (const auto processes = PerfProcesses()) {
            // The performance data name processes without their extension.
            std::u16string_view stem = name;
            if (stem.size() > 4 && EqualsNoCase(stem.substr(stem.size() - 4), u".exe")) {
                stem.remove_suffix(4);
            }
            // Terminal servers of that maker put the session number in
            // front of every instance name.
            const bool sessions =
                GetRegistryKeyInfo(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Citrix", nullptr, nullptr);
            return FindPerfProcess(*processes, stem, sessions);
        }
    }
    return SnapshotProcessId(name);
}

uint32_t WaitForProcess(std::u16string_view name, uint32_t timeout_ms) {
    const uint64_t start = ClockMilliseconds();
    uint32_t id = FindProcessId(name);
    while (id == 0 && ClockMilliseconds() - start < timeout_ms) {
        SleepMilliseconds(kAppearPoll);
        id = FindProcessId(name);
    }
    if (id == 0) {
        return 0;
    }
    const win::UniqueHandle process(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id));
    if (!process) {
        return 0;
    }
    // Waiting on the process itself: an exit code of 259 (STILL_ACTIVE)
    // cannot be taken for a running process.
    while (WaitForSingleObject(process.get(), kExitPoll) == WAIT_TIMEOUT) {
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

}  // namespace olvex::setup::util
