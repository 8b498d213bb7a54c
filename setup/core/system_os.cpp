#include <windows.h>
#include <wtsapi32.h>

#include "win/unique.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_strings.h"
#include "setup/core/system_utilities.h"
#include "setup/core/utility_messages.h"
#include "setup/core/win_text.h"

namespace olvex::setup::util {
namespace {

std::optional<OsVersion> ReadSystemVersion() {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        return std::nullopt;
    }
    OsVersion version;
    version.platform = info.dwPlatformId;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
    version.service_pack = U(info.szCSDVersion);
    version.service_pack_major = info.wServicePackMajor;
    version.service_pack_minor = info.wServicePackMinor;
    version.suite_mask = info.wSuiteMask;
    version.product_type = info.wProductType;
    return NormalizeOsVersion(version);
}

template <class Function>
Function Bind(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                  : nullptr;
}

// Terminal services are bound at run time: older systems lack them.
std::optional<std::vector<TerminalSession>> ReadSessionTable() {
    using SessionOfProcess = BOOL(WINAPI*)(DWORD, DWORD*);
    using EnumerateSessions = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, WTS_SESSION_INFOW**, DWORD*);
    using QuerySession = BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
    using FreeMemory = void(WINAPI*)(void*);
    const auto session_of_process =
        Bind<SessionOfProcess>(GetModuleHandleW(L"KERNEL32.DLL"), "ProcessIdToSessionId");
    const win::UniqueModule wts(LoadLibraryW(L"WTSAPI32.DLL"));
    const auto enumerate = Bind<EnumerateSessions>(wts.get(), "WTSEnumerateSessionsW");
    const auto query = Bind<QuerySession>(wts.get(), "WTSQuerySessionInformationW");
    const auto free_memory = Bind<FreeMemory>(wts.get(), "WTSFreeMemory");
    if (!session_of_process || !enumerate || !query || !free_memory) {
        return std::nullopt;
    }
    WTS_SESSION_INFOW* sessions = nullptr;
    DWORD count = 0;
    std::vector<TerminalSession> table;
    if (!enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
        return table;
    }
    for (DWORD i = 0; i < count; ++i) {
        TerminalSession session;
        session.id = sessions[i].SessionId;
        session.state = static_cast<uint32_t>(sessions[i].State);
        LPWSTR user = nullptr;
        DWORD bytes = 0;
        if (query(WTS_CURRENT_SERVER_HANDLE, session.id, WTSUserName, &user, &bytes) && user) {
            session.user = U(user);
            free_memory(user);
        }
        table.push_back(std::move(session));
    }
    free_memory(sessions);
    return table;
}

}  // namespace

void ReportUtilityMessage(uint32_t id, std::u16string_view argument, uint32_t code) {
    const MessageEntry entry{id, std::u16string(argument), 0};
    ReportMessage(SetupLogger::Instance(), 3, 3, code, {&entry, 1});
}

std::optional<OsVersion> GetOsVersionInfo() {
    if (Seams().os_version) {
        auto version = Seams().os_version();
        if (!version) {
            ReportUtilityMessage(msg::kVersionUnreadable, u"GetOsVersionInfo");
            return std::nullopt;
        }
        return NormalizeOsVersion(*version);
    }
    static const std::optional<OsVersion> cached = ReadSystemVersion();
    if (!cached) {
        ReportUtilityMessage(msg::kVersionUnreadable, u"GetOsVersionInfo");
    }
    return cached;
}

OsId GetOsId() {
    const auto version = GetOsVersionInfo();
    return version ? OsIdFromVersion(*version) : kOsUnknown;
}

bool IsWin9x() {
    const auto version = GetOsVersionInfo();
    return version && version->platform == kPlatform9x;
}

bool IsWinNT() {
    const auto version = GetOsVersionInfo();
    return version && version->platform == kPlatformNt;
}

bool IsNTWorkstation() {
    if (!IsWinNT()) {
        return false;
    }
    const auto type = ReadRegistryString(
        HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions", u"ProductType");
    return type && IsWorkstationProductType(*type);
}

std::u16string GetWindowsShortName() {
    return std::u16string(WindowsShortName(GetOsId()));
}

std::u16string GetWindowsName() {
    return WindowsName(GetOsId(), IsWinNT() && !IsNTWorkstation());
}

std::u16string GetOperatingSystemDescription() {
    const auto version = GetOsVersionInfo();
    if (!version) {
        return {};
    }
    return OperatingSystemDescription(*version, IsWinNT() && !IsNTWorkstation());
}

uint32_t CountUserSessions() {
    if (!IsWinNT()) {
        return 0;
    }
    const auto table = Seams().sessions ? Seams().sessions() : ReadSessionTable();
    return CheckUserSessions(table, SetupLogger::Instance());
}

void RebootSystem() {
    if (Seams().reboot) {
        Seams().reboot();
        return;
    }
    if (IsWinNT()) {
        // A failed privilege change does not stop the attempt.
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
            const win::UniqueHandle owned(token);
            TOKEN_PRIVILEGES privileges{};
            privileges.PrivilegeCount = 1;
            privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege",
                                      &privileges.Privileges[0].Luid)) {
                AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
            }
        }
    }
    ExitWindowsEx(EWX_REBOOT, 0);
}

}  // namespace olvex::setup::util
