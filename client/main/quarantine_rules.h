// The rules of the Manage Quarantine dialog that need no window: a session's
// name and time from its container's path, the text of its node, how one
// answer of the quarantine's session listing reads, the order in which
// Restore and Delete walk the checked sessions, the buttons after a check
// box changed, and the report that Save Report writes.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

// The session's name: the container's file name without folder and
// extension.
std::string SessionNameFromPath(std::string_view path);

// The UTC time a session name gives: exactly 14 digits yyyyMMddHHmmss of a
// valid date and time; nullopt for anything else.
struct SessionTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    friend bool operator==(const SessionTime&, const SessionTime&) = default;
};
std::optional<SessionTime> ParseSessionTime(std::string_view name);

// "date time  <<name>>"; a name that is no time shows "?" as its date.
std::string SessionNodeText(std::string_view date, std::string_view time, std::string_view name);
inline constexpr char kUnknownSessionDate[] = "?";

// One answer of GetFirst/GetNextQuarantineSession, asked with the last
// error emptied first: a session; no session with the engine's text of a
// session it could not open (any error text after the first answer): a
// broken session, after which the listing goes on; no session and no error:
// the end; any other error of the first answer: the listing failed.
enum class SessionAnswer { kSession, kBroken, kEnd, kFailed };
SessionAnswer ReadSessionAnswer(bool first, bool has_session, std::string_view last_error);
// Broken sessions read before the listing gives up.
inline constexpr int kMaxBrokenSessions = 100;

// Restore takes every newer session along, Delete every older one.
enum class SessionAction { kRestore, kDelete };

// A session node from the top of the tree: its session number (oldest 1)
// and whether it is checked.
struct SessionRow {
    unsigned long number = 0;
    bool checked = false;
};

// What a Restore or Delete does with the rows: those it checks besides the
// user's (indexes) and the checked rows in the order handed to the engine:
// Restore newest first, Delete oldest first, so that each session is found,
// logged and handled by itself. Nothing when no row is checked.
struct SessionWalk {
    std::vector<std::size_t> widened;
    std::vector<std::size_t> order;
};
SessionWalk PlanSessionWalk(SessionAction action, const std::vector<SessionRow>& rows);

// Restore and Delete after a check box changed: enabled when the clicked
// node is now checked or another session still is; Select / Deselect All is
// cleared when none is left.
struct SessionButtons {
    bool act_enabled = false;
    bool clear_select_all = false;
};
SessionButtons ButtonsAfterCheck(bool now_checked, bool any_other_checked);

// The report of Save Report. Each line ends in "\n" (the file writer makes
// CR LF of it). k, the pest's number in its session, is written by
// number_text.
struct ReportPest {
    std::string name;
    std::vector<std::string> locations;
};
struct ReportSession {
    std::string text;
    unsigned long number = 0;
    std::vector<ReportPest> pests;
};
std::string QuarantineReportText(std::string_view generated_on,
                                 const std::vector<ReportSession>& sessions,
                                 const std::function<std::string(unsigned long)>& number_text);

// A chosen path ending in ".txt" twice (any case) ends in one ".txt".
std::string WithSingleTxtExtension(std::string path);

}  // namespace olvex
