// What the updater Pellory.exe is told at start: its command line, its own
// settings file "qzv5upd.ini", the control-file addresses of "updateurls.ini",
// and the decision, from these and the clock, of what a start does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

struct PelloryCommandLine {
    bool autoupdate = false;      // the background protection's daily start
    bool installupdate = false;   // setup's restart after an install
    bool noninteractive = false;  // always update, asking nothing
    bool invalid = false;         // the start shows message 170 and ends

    bool any_option() const { return autoupdate || installupdate || noninteractive; }
};

// The parameters in order (without the program's name). A flag ("/" or "-")
// that begins, case ignored, with "autoupdate", "installupdate" or
// "noninteractive" sets that option; any other flag is invalid unless an
// earlier parameter set an option; a plain word is invalid unless it is
// empty. The last parameter decides invalid.
PelloryCommandLine ParsePelloryCommandLine(const std::vector<std::string>& parameters);

// How automatic updates behave ("updateproc").
enum class UpdateProcedure : char {
    kInstallAutomatically = '1',
    kNotifyFirst = '2',  // the default
    kManualOnly = '3',
};

struct UpdaterSettings {
    UpdateProcedure procedure = UpdateProcedure::kNotifyFirst;
    // Time of the last completed check, seconds since 1970 (UTC).
    std::int64_t last_update = 0;
    bool operator==(const UpdaterSettings&) const = default;
};

inline constexpr char kUpdaterSettingsFileName[] = "qzv5upd.ini";

// Reads "qzv5upd.ini": a line naming "lastupdate" sets the time, else one
// naming "updateproc" the procedure; the value is what follows the first "="
// with trailing blanks removed. A procedure other than "1", "2" or "3" reads
// as "2"; a time is read as a decimal number, as far as it goes.
UpdaterSettings ParseUpdaterSettings(std::string_view text);
// The file's text: "updateproc=N\nlastupdate=T\n".
std::string FormatUpdaterSettings(const UpdaterSettings& settings);

// The control-file addresses of the three update channels.
struct ChannelUrls {
    std::string core;
    std::string program;
    std::string suite;
    bool operator==(const ChannelUrls&) const = default;
};

inline constexpr char kChannelUrlsFileName[] = "updateurls.ini";

// Reads "updateurls.ini": nullopt when it has no lines (the addresses then
// come from "URLs.ini" or the built-in defaults). Otherwise the first of
// "coreurl", "progurl", "tromburl" that a line holds takes the text after the
// line's first "=", trailing blanks removed; a key no line holds stays empty.
std::optional<ChannelUrls> ParseChannelUrls(std::string_view text);

// What a start does after its checks.
enum class StartupAction {
    kShowMainDialog,  // no option: the user's window
    kSilentUpdate,    // check, download and apply, asking nothing
    kPromptedUpdate,  // the download window, waiting for Next
    kAutoApply,       // hidden: check, download, start the update utility
    kNothing,         // not due, or updates left to the user
};

struct StartupDecision {
    StartupAction action = StartupAction::kShowMainDialog;
    // The run is an update; a completed check moves "lastupdate" to now.
    bool records_update = false;
};

inline constexpr std::int64_t kSecondsPerDay = 86400;

// "noninteractive": a silent update. "autoupdate" alone: nothing until a day
// has passed since the last update (or the last update lies in the future,
// after the clock was set back), then what "updateproc" says: 1 a silent
// update, 2 the download window waiting for Next, 3 nothing. "installupdate":
// a silent update once a day has passed, else what "updateproc" says (1 the
// hidden automatic apply, 2 the waiting window, 3 nothing).
StartupDecision DecideStartup(const PelloryCommandLine& command_line, std::int64_t now,
                              const UpdaterSettings& settings);

}  // namespace olvex
