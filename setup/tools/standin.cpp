// standin.exe: stands in for the setup programs and other programs of the
// suite's other members in tests, copied under each name a test needs.
// Every start appends "<own file name>|<whole command line>" to
// C:\standin.log. What the copy then does is set in "<own path>.ini",
// section [standin]:
//   exit=<code> (default 0)  delay=<ms>  hold=<file kept open, unshared>
//   ignorestop=1             a running copy goes on when told to stop
//   dest=switch:<name> | after:<text>   the destination, as %DEST%
//   askset=firewall, ask<N>=<title>|<text>, askfail=<code> (default 1)
//   copyarg<N>=<switch>|<to>  delete<N>=<path>  copy<N>=<from>|<to>
//   reg<N>=<root>\<key>|<name>|sz|expand|dword|<data>
//   unreg<N>=<root>\<key>|<name or *>
//   mutex<N>=<name>  window<N>=<class>|<title>  windowends=16,1124,2|none
//   respawn=1  service=<name>
// Paths and data take %DEST%, %SELFDIR%, %SYSDIR% and environment
// variables. Started with a last argument "-k" or "/exit" it tells the
// running copies of its file name to end and exits 0. As trombo.exe, the
// suite's launcher, it plays what the launcher does with a product's switch
// ("/t3"): it starts that product's installed main program, found through
// the product's key, before it goes on as its ini says.
#include <windows.h>

#include "setup/core/command_line.h"
#include "setup/core/setup_text.h"
#include "setup/tools/standin_program.h"

namespace olvex::standin {
namespace {

constexpr wchar_t kLogPath[] = L"C:\\standin.log";
constexpr wchar_t kSection[] = L"standin";
// Returned for a missing key: a value the ini cannot hold.
constexpr wchar_t kMissing[] = L"\x01";

std::wstring WithoutTrailingBackslash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

// The launcher's part: the product's main program from the folder its key
// names, started in that folder and not waited for.
void LaunchProduct(const Program& program) {
    if (lstrcmpiW(program.name().c_str(), L"trombo.exe") != 0) {
        return;
    }
    const auto product = ProductForLauncherSwitch(U16(program.arguments()));
    if (!product) {
        return;
    }
    const std::wstring key = Wide(product->key);
    const std::wstring value = Wide(product->folder_value);
    wchar_t folder[MAX_PATH] = {};
    DWORD size = sizeof(folder) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, folder,
                     &size) != ERROR_SUCCESS ||
        folder[0] == L'\0') {
        program.Log(L"no installed product for " + program.arguments());
        return;
    }
    const std::wstring directory = WithoutTrailingBackslash(folder);
    std::wstring command = L"\"" + directory + L"\\" + Wide(product->program) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &process)) {
        program.Log(L"cannot start " + command);
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace

// Copies started at the same moment take turns: a named mutex around the
// append, and a retry while another process still has the file open.
void AppendLogLine(const std::wstring& text) {
    const std::string line = setup::ToUtf8(U16(text)) + "\r\n";
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, L"OlvexSetupStandinLog");
    if (mutex) {
        WaitForSingleObject(mutex, 30000);
    }
    for (int attempt = 0; attempt < 200; ++attempt) {
        const HANDLE file = CreateFileW(kLogPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
            break;
        }
        Sleep(25);
    }
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

Program::Program() {
    std::wstring buffer(32768, L'\0');
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    path_ = buffer.substr(0, length);
    const size_t slash = path_.rfind(L'\\');
    name_ = slash == std::wstring::npos ? path_ : path_.substr(slash + 1);
    folder_ = slash == std::wstring::npos ? L"." : WithoutTrailingBackslash(path_.substr(0, slash));
    ini_ = path_ + L".ini";
    command_line_ = GetCommandLineW();
    arguments_ = Wide(setup::SkipProgramName(U16(command_line_)));

    wchar_t system[MAX_PATH] = {};
    const UINT system_length = GetSystemDirectoryW(system, MAX_PATH);
    placeholders_.self_dir = U16(folder_);
    placeholders_.system_dir =
        system_length > 0 && system_length < MAX_PATH ? U16(WithoutTrailingBackslash(system)) : u"";
    placeholders_.dest = DestinationByRule(U16(Setting(L"dest")), U16(arguments_));
}

std::wstring Program::Setting(const std::wstring& key, bool* present) const {
    std::wstring value(32768, L'\0');
    const DWORD length = GetPrivateProfileStringW(kSection, key.c_str(), kMissing, value.data(),
                                                  static_cast<DWORD>(value.size()), ini_.c_str());
    value.resize(length);
    const bool found = value != kMissing;
    if (present) {
        *present = found;
    }
    return found ? value : std::wstring();
}

UINT Program::SettingNumber(const wchar_t* key, UINT fallback) const {
    return GetPrivateProfileIntW(kSection, key, static_cast<INT>(fallback), ini_.c_str());
}

std::vector<std::wstring> Program::NumberedSettings(const std::wstring& key) const {
    std::vector<std::wstring> values;
    for (int number = 1;; ++number) {
        bool present = false;
        std::wstring value = Setting(key + std::to_wstring(number), &present);
        if (!present) {
            return values;
        }
        values.push_back(std::move(value));
    }
}

std::wstring Program::Expand(std::wstring_view text) const {
    const std::wstring replaced = Wide(ReplacePlaceholders(U16(text), placeholders_));
    const DWORD size = ExpandEnvironmentStringsW(replaced.c_str(), nullptr, 0);
    if (size == 0) {
        return replaced;
    }
    std::wstring expanded(size, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(replaced.c_str(), expanded.data(), size);
    if (written == 0 || written > size) {
        return replaced;
    }
    expanded.resize(written - 1);
    return expanded;
}

std::optional<std::vector<std::wstring>> Fields(std::wstring_view value, size_t count) {
    const auto fields = SplitFields(U16(value), count);
    if (!fields) {
        return std::nullopt;
    }
    std::vector<std::wstring> wide;
    for (const std::u16string& field : *fields) {
        wide.push_back(Wide(field));
    }
    return wide;
}

void Program::Log(std::wstring_view text) const {
    AppendLogLine(name_ + L"|" + std::wstring(text));
}

}  // namespace olvex::standin

int main() {
    using olvex::standin::Program;
    const Program program;
    const bool stop_request =
        olvex::standin::IsStopRequest(olvex::standin::U16(program.arguments()));
    const HANDLE stop = stop_request ? nullptr : olvex::standin::CreateStopEvent(program);
    olvex::standin::AppendLogLine(program.name() + L"|" + program.command_line());

    if (stop_request) {
        olvex::standin::StopRunningCopies(program);
        return 0;
    }
    const std::wstring service = program.Setting(L"service");
    if (!service.empty()) {
        olvex::standin::RunAsService(program, service);
        return 0;
    }
    olvex::standin::LaunchProduct(program);
    const int exit_code = static_cast<int>(program.SettingNumber(L"exit", 0));
    if (program.SettingNumber(L"respawn", 0) != 0 && olvex::standin::RespawnFromTemp(program)) {
        return exit_code;
    }
    if (!olvex::standin::AskQuestions(program)) {
        return static_cast<int>(program.SettingNumber(L"askfail", 1));
    }
    olvex::standin::RunActions(program);
    olvex::standin::HoldAndWait(program, stop);
    return exit_code;
}
