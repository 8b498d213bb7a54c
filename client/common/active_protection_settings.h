// The active-protection settings file "qzad.ini", which the main program's
// settings dialog and the background protection program both read and
// write: four lines "mem=", "cookies=", "heur=" and "onboot=", each "on" or
// "off", ending in CR LF, in the product's folder under the common
// application-data folder.
//
// Lines are read by position, whatever their key says: the first sets
// memory, the second cookies, the third heuristics, the fourth start with
// Windows. A value is the text after the line's first "=" (the whole line
// without one) less trailing blanks; exactly "on" sets the flag, exactly
// "off" clears it, anything else (and a missing line) leaves it as it was.
//
// Both programs open the file with no sharing, so each briefly keeps the
// other out: reads and writes try up to five times while another program
// holds the file, sleeping 250, 500, 1000 and 2000 ms between tries (never
// after the last). Reading never makes the file or a folder: a missing file
// leaves the settings as they are at once.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace olvex {

inline constexpr char kActiveProtectionFileName[] = "qzad.ini";

struct ActiveProtectionSettings {
    int memory = 0;      // "mem": detect pests in memory
    int cookies = 0;     // "cookies": scan for and delete spyware cookies
    int heuristics = 0;  // "heur": no control of its own; kept as read
    int on_boot = 1;     // "onboot": start the background protection with Windows

    bool operator==(const ActiveProtectionSettings&) const = default;
};

// Applies the file's text to settings, by position.
void ApplyActiveProtectionText(std::string_view text, ActiveProtectionSettings& settings);
// The file's text for the settings: four CR LF lines, a flag equal to 1
// written "on", any other value "off".
std::string FormatActiveProtectionSettings(const ActiveProtectionSettings& settings);

// "<common application data>/XJ/KelvanGorsewatch/qzad.ini" with the
// system's separator.
std::string ActiveProtectionSettingsPath(const std::string& common_app_data);

enum class SettingsFileStatus {
    kDone,     // read or written
    kMissing,  // read: no such file (the settings are left as they were)
    kBusy,     // another program held the file through every try
    kFailed,   // it could not be opened, read, written or its folder made
};

// How the retries wait; the system's sleep unless a test gives its own.
using RetrySleep = std::function<void(unsigned milliseconds)>;
void SleepMilliseconds(unsigned milliseconds);

inline constexpr int kSettingsFileAttempts = 5;
inline constexpr unsigned kSettingsFileFirstSleepMs = 250;

// Reads the file into settings (left as they were unless kDone).
SettingsFileStatus ReadActiveProtectionSettings(const std::string& path,
                                                ActiveProtectionSettings& settings,
                                                const RetrySleep& sleep = SleepMilliseconds);

// Writes the settings under the common application-data folder, making "XJ"
// and "KelvanGorsewatch" when missing (never the common folder itself).
SettingsFileStatus WriteActiveProtectionSettings(const std::string& common_app_data,
                                                 const ActiveProtectionSettings& settings,
                                                 const RetrySleep& sleep = SleepMilliseconds);

// The protection status the main program's configuration page shows.
enum class ProtectionStatus {
    kStopped,        // the background protection does not run
    kNotProtecting,  // it runs with memory and cookie protection both off
    kProtecting,     // it runs with either on
};

// String ids and texts of the statuses in the main program's string table.
inline constexpr int kStoppedStringId = 145;
inline constexpr int kProtectingStringId = 146;
inline constexpr int kNotProtectingStringId = 375;
int ProtectionStatusStringId(ProtectionStatus status);
const char* ProtectionStatusText(ProtectionStatus status);

ProtectionStatus ProtectionStatusOf(bool protection_running,
                                    const ActiveProtectionSettings& settings);

// The status, reading the settings file only while the protection runs and
// only to look: nothing is made, and a file that cannot be read counts as
// the defaults (memory and cookies off).
ProtectionStatus ReadProtectionStatus(bool protection_running, const std::string& common_app_data,
                                      const RetrySleep& sleep = SleepMilliseconds);

}  // namespace olvex
