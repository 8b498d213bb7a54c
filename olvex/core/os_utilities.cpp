#include "olvex/core/os_utilities.h"

#include <atomic>
#include <new>

#include "olvex/core/path_parts.h"

namespace olvex {
namespace {

class SystemSource final : public OsVersionSource {
  public:
    std::optional<OsVersion> Query() const override {
        OSVERSIONINFOEXA extended{};
        extended.dwOSVersionInfoSize = sizeof(extended);
        if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
            return OsVersion{extended.dwPlatformId, extended.dwMajorVersion,
                             extended.dwMinorVersion};
        }
        // Systems before NT 4 SP6 know only the basic structure.
        OSVERSIONINFOA basic{};
        basic.dwOSVersionInfoSize = sizeof(basic);
        if (GetVersionExA(&basic)) {
            return OsVersion{basic.dwPlatformId, basic.dwMajorVersion, basic.dwMinorVersion};
        }
        return std::nullopt;
    }
};

std::atomic<const OsVersionSource*> g_source{nullptr};

}  // namespace

const OsVersionSource& SystemOsVersion() {
    static const SystemSource source;
    return source;
}

const OsVersionSource& CurrentOsVersionSource() {
    const OsVersionSource* replaced = g_source.load();
    return replaced ? *replaced : SystemOsVersion();
}

ScopedOsVersionSource::ScopedOsVersionSource(const OsVersionSource& source)
    : previous_(g_source.exchange(&source)) {}

ScopedOsVersionSource::~ScopedOsVersionSource() {
    g_source.store(previous_);
}

bool IsWin9xPlatform() {
    const auto version = CurrentOsVersionSource().Query();
    return version && version->platform_id != VER_PLATFORM_WIN32_NT;
}

int WindowsVersionCode(const std::optional<OsVersion>& version) {
    if (!version) {
        return 0;
    }
    const auto [platform, major, minor] = *version;
    if (platform == VER_PLATFORM_WIN32_WINDOWS && major == 4) {
        switch (minor) {
            case 0:
                return 1;
            case 10:
                return 2;
            case 90:
                return 3;
            default:
                return 0;
        }
    }
    if (platform == VER_PLATFORM_WIN32_NT) {
        if (major <= 4) {
            return 6;
        }
        if (major == 5 && minor == 0) {
            return 4;
        }
        if (major == 5 && (minor == 1 || minor == 2)) {
            return 5;
        }
    }
    return 0;
}

int GetWindowsVersionCode() {
    return WindowsVersionCode(CurrentOsVersionSource().Query());
}

std::optional<std::string> GetModuleFolder(HMODULE module) {
    try {
        std::string name(MAX_PATH, '\0');
        for (;;) {
            const DWORD length =
                GetModuleFileNameA(module, name.data(), static_cast<DWORD>(name.size()));
            if (length == 0) {
                return std::nullopt;
            }
            if (length < name.size()) {
                name.resize(length);
                return FolderPart(name);
            }
            // Cut short: try a larger buffer, up to the longest path there is.
            if (name.size() >= 32768) {
                return std::nullopt;
            }
            name.resize(name.size() * 2);
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace olvex
