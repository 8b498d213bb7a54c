// The setup controller's options: its mode, taken from the name it runs
// under, and the switches of its command line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::setup {

class SetupLogger;

enum SetupMode : int32_t {
    kModeInstall = 1,
    kModeUninstall = 2,
    kModeCleanup = 3,
    kModeTrustList = 4,
};

// The mode a copy running under this file name starts in: "xjuninst.exe"
// uninstalls, "trustadd.exe" fills the trust list, a name beginning "xjcu_"
// cleans up, anything else installs (compared without regard to case).
SetupMode ModeFromFileName(std::u16string_view file_name);

class SetupOptions {
  public:
    explicit SetupOptions(std::u16string_view module_name = {});

    // The process's options, the mode taken from the running program's file
    // name (defined by the Windows library).
    static SetupOptions& Instance();

    // Applies the switches of the command line (without the program's name)
    // in order and hands given levels to the logger; always 0. Refused
    // arguments (over 2048 characters) are dropped; a refused destination
    // switch still counts as given, with an empty path that no check
    // accepts.
    int32_t Parse(std::u16string_view command_line, SetupLogger& logger);
    // Logs the beginning of every refused argument. The log is opened after
    // the command line is parsed (its mode decides whether it is emptied),
    // so the run reports them then.
    void ReportRefusedArguments(SetupLogger& logger) const;

    const std::u16string& GetPath() const { return destination_path_; }
    void SetPath(std::u16string_view path) { destination_path_.assign(path); }
    const std::u16string& GetGroup() const { return group_; }
    void SetGroup(std::u16string_view group) { group_.assign(group); }

    int32_t mode = kModeInstall;
    int32_t display_level = -1;  // -1: not given
    int32_t log_level = -1;      // -1: not given
    bool destination_given = false;
    bool scan = true;
    bool update_from_web = true;
    bool update_firewall = true;
    bool product_check = true;
    bool uninstall_info = true;
    bool program_group = true;
    bool reboot = true;

  private:
    void Apply(std::u16string_view argument);

    std::u16string destination_path_;
    std::u16string group_;
    std::vector<std::u16string> refused_;
};

}  // namespace olvex::setup
