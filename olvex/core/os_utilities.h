// Small OS routines the engine shares: the platform test, the Windows version
// code, the engine's own folder. The version comes through a replaceable
// source so that tests reach the Windows 9x and NT 4 branches on any system.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace olvex {

struct OsVersion {
    DWORD platform_id = 0;  // VER_PLATFORM_WIN32_WINDOWS (9x) or VER_PLATFORM_WIN32_NT
    DWORD major = 0;
    DWORD minor = 0;
};

class OsVersionSource {
  public:
    virtual ~OsVersionSource() = default;
    // The version of the running system; nullopt when it cannot be read.
    virtual std::optional<OsVersion> Query() const = 0;
};

// The real system: GetVersionExA with the extended structure, then with the
// basic one.
const OsVersionSource& SystemOsVersion();

// The source the engine asks: the system unless a test replaced it.
const OsVersionSource& CurrentOsVersionSource();

// Replaces the source for its lifetime (tests only; not thread-safe against
// code that is running at the same time).
class ScopedOsVersionSource {
  public:
    explicit ScopedOsVersionSource(const OsVersionSource& source);
    ~ScopedOsVersionSource();
    ScopedOsVersionSource(const ScopedOsVersionSource&) = delete;
    ScopedOsVersionSource& operator=(const ScopedOsVersionSource&) = delete;

  private:
    const OsVersionSource* previous_;
};

// True on the Windows 9x family: the platform is not NT. A version that
// cannot be read is not taken for 9x.
bool IsWin9xPlatform();

// 1 Windows 95 (4.0), 2 Windows 98 (4.10), 3 Windows Me (4.90), 4 Windows
// 2000 (5.0), 5 Windows XP and Server 2003 (5.1, 5.2), 6 NT 4 and older;
// 0 for anything else or when the version cannot be read.
int GetWindowsVersionCode();
int WindowsVersionCode(const std::optional<OsVersion>& version);

// The folder of a loaded module, without a trailing backslash; nullopt when
// its file name cannot be read. The engine passes GetModuleHandleA("olvex.dll").
std::optional<std::string> GetModuleFolder(HMODULE module);

}  // namespace olvex
