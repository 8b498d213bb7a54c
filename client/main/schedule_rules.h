// What scheduled scans decide without the Task Scheduler or the window
// system: a job's name and the description the Schedule dialog lists, the
// job's contents (program, parameters, flags, its one daily trigger), the
// conflict between two jobs' times, and the account and password rules.
//
// Texts are in the ANSI code page, as the dialog's controls give them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace olvex {

inline constexpr char kScanJobPrefix[] = "QZv5Scan_";
inline constexpr char kScanJobExtension[] = ".job";
inline constexpr char kScanJobNameFormat[] = "%sDaily as %s at %s";
inline constexpr char kScannerFileName[] = "Marvolt.exe";
inline constexpr char kQuarantineParameters[] = "/quarantine";
inline constexpr char kIgnoreParameters[] = "/ignore";

// Work item flags of the Task Scheduler.
inline constexpr std::uint32_t kTaskFlagDeleteWhenDone = 0x2;
inline constexpr std::uint32_t kTaskFlagRunOnlyIfLoggedOn = 0x2000;

// What the scheduler takes at most, in characters, and what the program
// reads back.
inline constexpr std::size_t kMaxJobName = 255;
inline constexpr std::size_t kMaxApplicationName = 102;  // quotes included
inline constexpr std::size_t kMaxParameters = 31;
inline constexpr std::size_t kMaxWorkingDirectory = 259;
inline constexpr std::size_t kMaxAccount = 127;
inline constexpr std::size_t kMaxPassword = 63;
inline constexpr std::size_t kMaxTimeText = 63;

// Two scans closer than this (either way round midnight) may keep one of
// them from running.
inline constexpr int kConflictMinutes = 20;
inline constexpr int kMinutesPerDay = 1440;

// The messages and questions of scheduling (string ids of the main program).
enum ScheduleText : int {
    kTextSchedulerFailed = 246,
    kTextEnumFailed = 247,
    kTextCurrentUserQuestion = 249,
    kTextScheduleCanceled = 253,
    kTextCreateFailed = 255,
    kTextSetApplicationFailed = 258,
    kTextSetParametersFailed = 259,
    kTextSetFlagsFailed = 260,
    kTextSetAccountFailed = 261,
    kTextCreateTriggerFailed = 262,
    kTextSetTriggerFailed = 263,
    kTextPersistFailed = 264,
    kTextSaveFailed = 265,
    kTextSetFolderFailed = 266,
    kTextJobNotFound = 268,
    kTextUnsavedNewScan = 269,
    kTextAccountRequired = 270,
    kTextUnappliedEdit = 271,
    kTextGetTriggerFailed = 272,
    kTextGetTimeFailed = 273,
    kTextGetActionFailed = 274,
    kTextGetFlagsFailed = 275,
    kTextGetAccountFailed = 276,
    kTextEditCanceled = 277,
    kTextNearQuestion = 294,
    kTextPathTooLong = 312,
    kTextSameTime = 321,
};

// Every character but ASCII letters, digits, "_" and "-" made a blank.
std::string SanitiseJobName(std::string_view name);

// The work item's name: the prefix, "Daily as <account> at <time>",
// sanitised; nullopt when it would be longer than the scheduler takes.
std::optional<std::string> MakeScanJobName(std::string_view account, std::string_view time_text);

// The description of a work item's file name of this program (the prefix,
// compared case-sensitively, and as many trailing characters as ".job" has
// taken off); nullopt for any other work item.
std::optional<std::string> DescriptionOfJobFile(std::string_view file_name);
// The file name the dialog rebuilds from a list entry.
std::string JobFileNameOf(std::string_view description);
// The name the scheduler's Activate and Delete take: a trailing ".job" (in
// any case) taken off, only when present.
std::string BareJobName(std::string_view name);
bool SameJobFile(std::string_view a, std::string_view b);

// The quoted program the job runs; nullopt when the scheduler cannot take it.
std::optional<std::string> ScannerApplicationName(std::string_view install_folder);
const char* ScanParameters(bool quarantine);
// Whatever is not exactly "/ignore" is taken for the quarantine action.
bool ParametersQuarantine(std::string_view parameters);
std::uint32_t ScanJobFlags(bool current_user);

// The Task Scheduler's trigger record, field for field (48 bytes).
struct TriggerRecord {
    std::uint16_t cbTriggerSize = 0;
    std::uint16_t Reserved1 = 0;
    std::uint16_t wBeginYear = 0;
    std::uint16_t wBeginMonth = 0;
    std::uint16_t wBeginDay = 0;
    std::uint16_t wEndYear = 0;
    std::uint16_t wEndMonth = 0;
    std::uint16_t wEndDay = 0;
    std::uint16_t wStartHour = 0;
    std::uint16_t wStartMinute = 0;
    std::uint32_t MinutesDuration = 0;
    std::uint32_t MinutesInterval = 0;
    std::uint32_t rgFlags = 0;
    std::uint32_t TriggerType = 0;
    std::uint16_t Type[4] = {};  // a union of 8 bytes; daily: the interval first
    std::uint16_t Reserved2 = 0;
    std::uint16_t wRandomMinutesInterval = 0;

    bool operator==(const TriggerRecord&) const = default;
};
static_assert(sizeof(TriggerRecord) == 48);

inline constexpr std::uint32_t kTriggerDaily = 1;

struct LocalDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// One run a day at the hour and minute, from the date on, with no end.
TriggerRecord DailyTrigger(const LocalDate& begin, int hour, int minute);
// A trigger's start as minutes of the day.
int TriggerMinutes(const TriggerRecord& trigger);

// The list's buttons once an entry has gone (deleted, or replaced by the
// renamed job of an edit): Delete, Edit and Apply Edits act on the selected
// entry, so they are usable only while one is selected. With none, Apply
// Edits would ask its questions and change nothing, and Edit would leave
// Schedule New Scan disabled.
struct ScanListButtons {
    bool delete_enabled = false;
    bool edit_enabled = false;
    bool apply_enabled = false;
    bool operator==(const ScanListButtons&) const = default;
};
ScanListButtons ScanListButtonsAfterRemoval(int entries_left, int selected_entry);

enum class TimeConflict {
    kNone,
    kSameTime,  // refused
    kNear,      // within 20 minutes: asked
};
TimeConflict ConflictBetween(int new_minutes, int existing_minutes);

// The account the scan runs as: leading blanks off (trailing blanks stay);
// the password as typed. Refused (message 270) when either is blank, or
// longer than the scheduler takes.
struct RunAsAccount {
    std::string account;
    std::string password;
};
std::optional<RunAsAccount> TypedRunAsAccount(std::string_view account, std::string_view password);

}  // namespace olvex
