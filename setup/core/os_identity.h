// Which Windows setup runs on, from the version record: the OS id, its names
// and description, and the terminal-session rule.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/core/setup_seams.h"

namespace olvex::setup {
class SetupLogger;
}

namespace olvex::setup::util {

enum OsId : uint32_t {
    kOsUnknown = 0,
    kOsWindows95 = 1,
    kOsWindows98 = 2,
    kOsWindowsMe = 3,
    kOsWindowsNt4 = 4,
    kOsWindows2000 = 5,
    kOsWindowsXp = 6,
    kOsWindows2003 = 7,
};

inline constexpr uint32_t kPlatform9x = 1;
inline constexpr uint32_t kPlatformNt = 2;

// The record as setup keeps it: on 9x with major 4, a minor of 1 to 89 is
// replaced by the build's minor byte when that is 90 or more (Windows ME
// can report 4.10).
OsVersion NormalizeOsVersion(OsVersion version);

OsId OsIdFromVersion(const OsVersion& version);

// "95", "98", "ME", "NT", "2000", "XP", "2003"; empty for an unknown id.
std::u16string_view WindowsShortName(OsId id);
// "Windows 95" ... "Windows .NET", with " Server" on an NT server.
std::u16string WindowsName(OsId id, bool server);
// The long name, " major.minor" (or "OSID=n"), the build and " + " the
// service pack, at most 383 characters.
std::u16string OperatingSystemDescription(const OsVersion& version, bool server);

// Whether the "ProductType" of the product options names a workstation
// ("WinNT", in any case).
bool IsWorkstationProductType(std::u16string_view product_type);

// The number of user sessions in the table: active or disconnected
// sessions with a user.
uint32_t UserSessionCount(const std::vector<TerminalSession>& sessions);

// 9007 (other users are logged on, logged with 25507 and the count) when
// the table holds two user sessions or more, else 0; 0 also without a
// table.
uint32_t CheckUserSessions(const std::optional<std::vector<TerminalSession>>& sessions,
                           SetupLogger& logger);

}  // namespace olvex::setup::util
