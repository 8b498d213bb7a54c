#include "olvex/core/engine_event_log.h"

#include <windows.h>

#include "olvex/com/module.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/core/os_utilities.h"

namespace olvex {
namespace {

// Today's date or the time now, in the system default locale's format.
std::string FormattedNow(bool date) {
    char text[256] = {};
    const int length =
        date ? GetDateFormatA(LOCALE_SYSTEM_DEFAULT, 0, nullptr, nullptr, text, sizeof text)
             : GetTimeFormatA(LOCALE_SYSTEM_DEFAULT, 0, nullptr, nullptr, text, sizeof text);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length - 1)) : std::string();
}

std::string UserName() {
    std::string name(4096, '\0');
    DWORD size = static_cast<DWORD>(name.size());
    if (!GetUserNameA(name.data(), &size))
        return {};
    name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
    return name;
}

}  // namespace

LogStamps CurrentLogStamps() {
    return {FormattedNow(true), FormattedNow(false), UserName()};
}

bool WriteEngineLogEntry(const std::string& base_folder, std::string_view entry_text) {
    const MultiByteText mb = AnsiCodePageText();
    std::string base = base_folder.empty()
                           ? GetModuleFolder(com::ThisModule()).value_or(std::string())
                           : base_folder;
    if (base.empty())
        return false;
    if (mb.FindLast(base, '\\') == base.size() - 1)
        base.pop_back();
    const std::string folder = base + "\\" + std::string(kLogFolderName);
    CreateDirectoryA(folder.c_str(), nullptr);
    const LogStamps stamps = CurrentLogStamps();
    const auto compose = [&](std::int64_t id) {
        return StampLogEntryText(entry_text, id, stamps, mb);
    };
    return AppendLogEntry(folder + "\\" + std::string(kLogFileName), mb, compose) ==
           LogAppendResult::kAppended;
}

}  // namespace olvex
