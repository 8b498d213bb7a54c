// The platform facts that setup's branches depend on, replaceable for tests
// in one process-wide place. An empty function means the real system: the
// Windows library asks Windows. Tests set what they need through ScopedSeams,
// which puts everything back when it ends.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace olvex::setup {

// The parts of the extended version record setup reads.
struct OsVersion {
    uint32_t platform = 0;  // 1 Windows 9x, 2 NT family
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;           // on 9x the high word repeats major and minor
    std::u16string service_pack;  // "Service Pack 2", or "A" on 9x
    uint16_t service_pack_major = 0;
    uint16_t service_pack_minor = 0;
    uint16_t suite_mask = 0;
    uint8_t product_type = 0;  // 1 workstation, 2 domain controller, 3 server
};

// One terminal session as the session table lists it.
struct TerminalSession {
    uint32_t id = 0;
    uint32_t state = 0;  // 0 active, 4 disconnected, ...
    std::u16string user;
};

// A file's version resource: the fixed file version and the string values of
// its first translation.
struct FileVersionInfo {
    uint32_t file_version_ms = 0;  // major << 16 | minor
    uint32_t file_version_ls = 0;  // build << 16 | revision
    uint32_t product_version_ms = 0;
    uint32_t product_version_ls = 0;
    std::map<std::u16string, std::u16string> strings;  // "ProductVersion", ...
};

struct SetupSeams {
    // The version record; nullopt as when GetVersionEx fails.
    std::function<std::optional<OsVersion>()> os_version;
    // Restarts Windows (the real one ends the session).
    std::function<void()> reboot;
    // Milliseconds of a monotonic clock, and a sleep.
    std::function<uint64_t()> clock_ms;
    std::function<void(uint32_t milliseconds)> sleep;
    // The terminal-session table; nullopt when the session functions are
    // missing. Wine's table is always empty.
    std::function<std::optional<std::vector<TerminalSession>>()> sessions;
    // The id of a running process by name, 0 when none.
    std::function<uint32_t(const std::u16string& name)> find_process;
    // A file's version resource; nullopt when it has none or is unreadable.
    std::function<std::optional<FileVersionInfo>(const std::u16string& path)> file_version;
    // The text of a setup string id (before any resource DLL is asked).
    std::function<std::u16string(uint32_t id, size_t max_chars)> strings;
    // Winsock's answer to a start-up request for the version (low byte
    // major, high byte minor): 0 or its error (10092 when the version is
    // not supported).
    std::function<int(uint16_t version)> winsock_startup;
};

SetupSeams& Seams();

// Replaces seams for its lifetime; the previous set comes back at its end.
class ScopedSeams {
  public:
    ScopedSeams() : saved_(Seams()) {}
    ~ScopedSeams() { Seams() = saved_; }
    ScopedSeams(const ScopedSeams&) = delete;
    ScopedSeams& operator=(const ScopedSeams&) = delete;

    SetupSeams* operator->() { return &Seams(); }

  private:
    SetupSeams saved_;
};

}  // namespace olvex::setup
