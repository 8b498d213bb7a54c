// setupprobe.exe: the setup core's Windows library from the command line,
// so that test scripts can show its behaviour on a real prefix and across a
// restart.
//   setupprobe [--os=98] validate <path>...   one destination code a line
//   setupprobe [--os=98] delete <path>        deleted, pending or failed
//   setupprobe trust <path> <replace>         AddProgramToTrustList's code
//   setupprobe findprocess <name>             the process id, or 0
//   setupprobe waitprocess <name> <ms>        WaitForProcess's result
//   setupprobe run <command line>             runs it, prints its whole exit code
// Its log goes to C:\setupprobe.log.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "setup/core/command_line.h"
#include "setup/core/destination_check.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/trust_list.h"
#include "setup/core/win_text.h"

namespace {

using namespace olvex::setup;

void Print(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void PrintNumber(uint64_t value) {
    Print(olvex::setup::ToUtf8(UnsignedText(value)));
}

// Windows 98 Second Edition.
OsVersion Windows98() {
    OsVersion version;
    version.platform = 1;
    version.major = 4;
    version.minor = 10;
    version.build = 0x040A08AE;
    version.service_pack = u" A ";
    return version;
}

// The raw text after the first `count` words of the arguments (the words
// themselves hold no quotes).
std::u16string_view RestAfterWords(std::u16string_view arguments, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const size_t end = arguments.find_first_of(u" \t");
        arguments =
            end == std::u16string_view::npos ? std::u16string_view{} : arguments.substr(end);
        const size_t next = arguments.find_first_not_of(u" \t");
        arguments =
            next == std::u16string_view::npos ? std::u16string_view{} : arguments.substr(next);
    }
    return arguments;
}

int Usage() {
    Print("usage: setupprobe [--os=98] validate|delete|trust|findprocess|waitprocess|run ...");
    return 2;
}

int Run(std::u16string command_line) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, W(command_line), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        Print("not started: " + std::to_string(GetLastError()));
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    PrintNumber(code);
    return 0;
}

}  // namespace

int main() {
    SetupLogger& logger = SetupLogger::Instance();
    logger.SetDisplayLevel(0);
    logger.Open(u"C:\\setupprobe.log", false);

    const std::u16string whole = U(GetCommandLineW());
    std::u16string_view raw = SkipProgramName(whole);
    const ArgumentList list = SplitCommandLine(raw);
    std::vector<std::u16string> arguments;
    for (const Argument& argument : list.arguments) {
        arguments.push_back(argument.text);
    }
    size_t next = 0;
    ScopedSeams seams;
    if (next < arguments.size() && arguments[next] == u"--os=98") {
        seams->os_version = [] { return std::optional<OsVersion>(Windows98()); };
        ++next;
        raw = RestAfterWords(raw, 1);
    }
    if (next >= arguments.size()) {
        return Usage();
    }
    const std::u16string command = arguments[next++];
    const size_t left = arguments.size() - next;

    if (command == u"validate") {
        for (; next < arguments.size(); ++next) {
            PrintNumber(ValidateDestinationPath(std::u16string_view(arguments[next]), false,
                                                std::vector<std::u16string>{}));
        }
        return 0;
    }
    if (command == u"delete" && left == 1) {
        const util::DeleteOutcome outcome = util::DeleteFileNowOrAtReboot(arguments[next]);
        Print(outcome == util::DeleteOutcome::kDeleted   ? "deleted"
              : outcome == util::DeleteOutcome::kPending ? "pending"
                                                         : "failed");
        return 0;
    }
    if (command == u"trust" && left == 2) {
        const PermissionRow row = {2, 2, 3, 3, 3, 3};
        PrintNumber(
            AddProgramToTrustList(arguments[next], arguments[next + 1] != u"0", 1, true, row));
        return 0;
    }
    if (command == u"findprocess" && left == 1) {
        PrintNumber(util::FindProcessId(arguments[next]));
        return 0;
    }
    if (command == u"waitprocess" && left == 2) {
        PrintNumber(util::WaitForProcess(arguments[next], util::ParseDecimal(arguments[next + 1])));
        return 0;
    }
    if (command == u"run" && left >= 1) {
        return Run(std::u16string(RestAfterWords(raw, 1)));
    }
    return Usage();
}
