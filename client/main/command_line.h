// The main program's command line. Besides the shell's own parameters it
// takes three switches of its own ("/" or "-" before them), each a request
// that the pages act on once the window is up:
//
//   scan...             scan at once (the first four letters, any case)
//   showquarantine...   open the quarantine manager (a prefix, any case)
//   showexclusions...   open the exclusions manager (a prefix, any case)
//
// The first that matches wins; a recognised switch goes nowhere else. The
// first plain word (no "/" or "-") names a document to open at start-up;
// other switches are the shell's and change nothing here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

struct CommandLineRequests {
    int scan = 0;             // 1: a scan is requested
    int show_quarantine = 0;  // 1: the quarantine manager is requested
    int show_exclusions = 0;  // 1: the exclusions manager is requested
    bool operator==(const CommandLineRequests&) const = default;
};

// The switch words, from the program's string table.
struct CommandLineSwitchWords {
    std::string scan = "scan";
    std::string show_quarantine = "showquarantine";
    std::string show_exclusions = "showexclusions";
};

class CGorsewatch5CommandLineInfo {
  public:
    explicit CGorsewatch5CommandLineInfo(CommandLineSwitchWords words = {});

    // One parameter as the shell hands it over: a switch without its leading
    // "/" or "-" (is_flag), or a plain word.
    void ParseParam(std::string_view param, bool is_flag, bool is_last);

    const CommandLineRequests& requests() const { return requests_; }
    // The first plain word: a document to open.
    const std::optional<std::string>& file_name() const { return file_name_; }

  private:
    // What the shell's own parsing does with a parameter that is not ours.
    void ParseShellParam(std::string_view param, bool is_flag);

    CommandLineSwitchWords words_;
    CommandLineRequests requests_;
    std::optional<std::string> file_name_;
};

// The parameters in order, without the program's name, each handed to
// ParseParam with a leading "/" or "-" taken as a switch.
CGorsewatch5CommandLineInfo ParseGorsewatch5CommandLine(const std::vector<std::string>& parameters,
                                                        CommandLineSwitchWords words = {});

}  // namespace olvex
