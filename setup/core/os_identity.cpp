#include "setup/core/os_identity.h"

#include "setup/core/setup_logger.h"
#include "setup/core/setup_results.h"
#include "setup/core/setup_strings.h"
#include "setup/core/setup_text.h"

namespace olvex::setup::util {
namespace {

constexpr size_t kDescriptionChars = 384;
constexpr uint32_t kSessionActive = 0;
constexpr uint32_t kSessionDisconnected = 4;

std::u16string TwoDigits(uint32_t value) {
    return UnsignedText(value, 2);
}

}  // namespace

OsVersion NormalizeOsVersion(OsVersion version) {
    if (version.platform == kPlatform9x && version.major == 4 && version.minor >= 1 &&
        version.minor <= 89) {
        const uint32_t build_minor = (version.build >> 16) & 0xFF;
        if (build_minor >= 90) {
            version.minor = build_minor;
        }
    }
    return version;
}

OsId OsIdFromVersion(const OsVersion& raw) {
    const OsVersion version = NormalizeOsVersion(raw);
    if (version.platform == kPlatform9x) {
        if (version.major == 4 && version.minor == 10) {
            return kOsWindows98;
        }
        if (version.major == 4 && version.minor == 90) {
            return kOsWindowsMe;
        }
        return kOsWindows95;
    }
    if (version.platform == kPlatformNt) {
        if (version.major != 5 || version.minor > 2) {
            return kOsWindowsNt4;
        }
        return version.minor == 0   ? kOsWindows2000
               : version.minor == 1 ? kOsWindowsXp
                                    : kOsWindows2003;
    }
    return kOsUnknown;
}

std::u16string_view WindowsShortName(OsId id) {
    switch (id) {
        case kOsWindows95:
            return u"95";
        case kOsWindows98:
            return u"98";
        case kOsWindowsMe:
            return u"ME";
        case kOsWindowsNt4:
            return u"NT";
        case kOsWindows2000:
            return u"2000";
        case kOsWindowsXp:
            return u"XP";
        case kOsWindows2003:
            return u"2003";
        default:
            return {};
    }
}

std::u16string WindowsName(OsId id, bool server) {
    std::u16string name;
    switch (id) {
        case kOsUnknown:
            return name;
        case kOsWindows2003:
            name = u"Windows .NET";
            break;
        default:
            name = u"Windows " + std::u16string(WindowsShortName(id));
            break;
    }
    if (server) {
        name += u" Server";
    }
    return name;
}

std::u16string OperatingSystemDescription(const OsVersion& raw, bool server) {
    const OsVersion version = NormalizeOsVersion(raw);
    const OsId id = OsIdFromVersion(version);
    const bool nt = version.platform == kPlatformNt;
    std::u16string text = WindowsName(id, server && nt);
    if (id == kOsUnknown) {
        text += u"OSID=" + UnsignedText(id);
    } else {
        text += u" " + UnsignedText(version.major) + u"." + TwoDigits(version.minor);
    }
    if (version.platform == kPlatform9x) {
        text += u" (" + UnsignedText(version.build & 0xFFFF) + u")";
    } else {
        text += u" (" + UnsignedText(version.major) + u"." + TwoDigits(version.minor) + u"." +
                UnsignedText(version.build) + u")";
    }
    if (!version.service_pack.empty()) {
        text += u" + " + version.service_pack;
    }
    if (text.size() > kDescriptionChars - 1) {
        text.resize(kDescriptionChars - 1);
    }
    return text;
}

bool IsWorkstationProductType(std::u16string_view product_type) {
    return EqualsNoCase(product_type, u"WINNT");
}

uint32_t UserSessionCount(const std::vector<TerminalSession>& sessions) {
    uint32_t count = 0;
    for (const TerminalSession& session : sessions) {
        if ((session.state == kSessionActive || session.state == kSessionDisconnected) &&
            !session.user.empty()) {
            ++count;
        }
    }
    return count;
}

uint32_t CheckUserSessions(const std::optional<std::vector<TerminalSession>>& sessions,
                           SetupLogger& logger) {
    if (!sessions) {
        return 0;
    }
    const uint32_t count = UserSessionCount(*sessions);
    if (count < 2) {
        return 0;
    }
    logger.InfoValue(msg::kUserSessions, count);
    return kResultUserSessions;
}

}  // namespace olvex::setup::util
