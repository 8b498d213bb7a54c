// The stand-in program's parts: what it knows of itself (its name, folder,
// ini and command line), its actions, and how it runs, waits and stops.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/tools/standin_rules.h"

namespace olvex::standin {

// The portable rules take UTF-16 text; wchar_t is UTF-16 here.
inline std::u16string U16(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}
inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}
// SplitFields for the program's wide texts.
std::optional<std::vector<std::wstring>> Fields(std::wstring_view value, size_t count);

class Program {
  public:
    Program();

    const std::wstring& name() const { return name_; }
    const std::wstring& path() const { return path_; }
    const std::wstring& folder() const { return folder_; }
    const std::wstring& ini() const { return ini_; }
    const std::wstring& command_line() const { return command_line_; }
    const std::wstring& arguments() const { return arguments_; }

    // A value of section [standin]; `present` tells a missing key from an
    // empty one.
    std::wstring Setting(const std::wstring& key, bool* present = nullptr) const;
    UINT SettingNumber(const wchar_t* key, UINT fallback) const;
    // key1, key2, ... until the first missing number.
    std::vector<std::wstring> NumberedSettings(const std::wstring& key) const;

    // %DEST%, %SELFDIR%, %SYSDIR%, then the environment's variables.
    std::wstring Expand(std::wstring_view text) const;
    // False when the text needs the destination and none was found.
    bool CanExpand(std::wstring_view text) const {
        return !NeedsMissingDestination(U16(text), placeholders_);
    }

    // Appends "<own file name>|<text>" to the shared log.
    void Log(std::wstring_view text) const;

  private:
    std::wstring path_;
    std::wstring name_;
    std::wstring folder_;
    std::wstring ini_;
    std::wstring command_line_;
    std::wstring arguments_;
    Placeholders placeholders_;
};

// Appends one line (CR LF added) in UTF-8 to C:\standin.log.
void AppendLogLine(const std::wstring& line);

// The Yes/No questions of "askset=" and "ask<N>="; false as soon as one is
// answered No (logged).
bool AskQuestions(const Program& program);

// copyarg<N>, delete<N>, copy<N>, reg<N> and unreg<N>, in that order. A
// step that fails is logged as "<name>|failed: <key>=<value>".
void RunActions(const Program& program);

// Tells the running copies of this program's file name to end.
void StopRunningCopies(const Program& program);

// Runs as the named service until the service manager stops it; false
// when the program was not started by the service manager.
bool RunAsService(const Program& program, const std::wstring& service);

// When not running from the temporary folder: copies itself and its ini
// there, starts that copy with the same arguments and returns true.
bool RespawnFromTemp(const Program& program);

// The event a later copy sets to stop this one; null with "ignorestop=1".
// Made before the start is logged, so that a stop request sent once the
// start is seen in the log is never lost.
HANDLE CreateStopEvent(const Program& program);

// Holds the mutexes and owns the windows of the ini, then waits until it
// is stopped (the event set), its windows are gone or its delay has passed.
void HoldAndWait(const Program& program, HANDLE stop);

}  // namespace olvex::standin
