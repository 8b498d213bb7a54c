#include "client/main/quarantine_rules.h"

#include <algorithm>
#include <cctype>

namespace olvex {

std::string SessionNameFromPath(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    return std::string(name);
}

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int Number(std::string_view digits) {
    int value = 0;
    for (const char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

}  // namespace

std::optional<SessionTime> ParseSessionTime(std::string_view name) {
    if (name.size() != 14 ||
        !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    SessionTime time;
    time.year = Number(name.substr(0, 4));
    time.month = Number(name.substr(4, 2));
    time.day = Number(name.substr(6, 2));
    time.hour = Number(name.substr(8, 2));
    time.minute = Number(name.substr(10, 2));
    time.second = Number(name.substr(12, 2));
    // The system's time conversions start at 1601.
    if (time.year < 1601 || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.day > DaysInMonth(time.year, time.month) || time.hour > 23 || time.minute > 59 ||
        time.second > 59)
        return std::nullopt;
    return time;
}

std::string SessionNodeText(std::string_view date, std::string_view time, std::string_view name) {
    std::string text(date);
    if (!time.empty()) {
        text += ' ';
        text += time;
    }
    text += "  <<";
    text += name;
    text += ">>";
    return text;
}

SessionAnswer ReadSessionAnswer(bool first, bool has_session, std::string_view last_error) {
    if (has_session)
        return SessionAnswer::kSession;
    if (last_error.empty())
        return SessionAnswer::kEnd;
    if (!first)
        return SessionAnswer::kBroken;
    // The first answer also fails for the whole quarantine (not initialised,
    // its session database unreadable): only the session object's own
    // failures are one broken session.
    for (const std::string_view broken :
         {"Error creating QuarantineSession.", "Error initializing QuarantineSession."}) {
        if (last_error.substr(0, broken.size()) == broken)
            return SessionAnswer::kBroken;
    }
    return SessionAnswer::kFailed;
}

SessionWalk PlanSessionWalk(SessionAction action, const std::vector<SessionRow>& rows) {
    SessionWalk walk;
    std::optional<unsigned long> reference;
    for (const SessionRow& row : rows) {
        if (!row.checked)
            continue;
        // Restore: the oldest checked session; Delete: the newest.
        if (!reference ||
            (action == SessionAction::kRestore ? row.number < *reference : row.number > *reference))
            reference = row.number;
    }
    if (!reference)
        return walk;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool takes_along = action == SessionAction::kRestore ? rows[i].number > *reference
                                                                   : rows[i].number < *reference;
        if (rows[i].checked || takes_along) {
            if (!rows[i].checked)
                walk.widened.push_back(i);
            walk.order.push_back(i);
        }
    }
    std::stable_sort(walk.order.begin(), walk.order.end(), [&](std::size_t a, std::size_t b) {
        return action == SessionAction::kRestore ? rows[a].number > rows[b].number
                                                 : rows[a].number < rows[b].number;
    });
    return walk;
}

SessionButtons ButtonsAfterCheck(bool now_checked, bool any_other_checked) {
    SessionButtons buttons;
    buttons.act_enabled = now_checked || any_other_checked;
    buttons.clear_select_all = !buttons.act_enabled;
    return buttons;
}

std::string QuarantineReportText(std::string_view generated_on,
                                 const std::vector<ReportSession>& sessions,
                                 const std::function<std::string(unsigned long)>& number_text) {
    std::string text = "Kelvan Gorsewatch Quarantined Pests Report\n";
    text += "This report was generated on: ";
    text += generated_on;
    text += "\n\n";
    for (const ReportSession& session : sessions) {
        const std::string heading =
            " Session " + session.text + " (ID " + std::to_string(session.number) + ") ===\n";
        text += "=== Begin" + heading;
        unsigned long k = 0;
        for (const ReportPest& pest : session.pests) {
            text += "(" + number_text(++k) + ") " + pest.name + "\n";
            for (const std::string& location : pest.locations)
                text += "     " + location + "\n";
            text += "\n";
        }
        text += "=== End" + heading;
    }
    text += "***End Report***\n\n";
    return text;
}

std::string WithSingleTxtExtension(std::string path) {
    const auto ends_with_txt = [](std::string_view text) {
        if (text.size() < 4)
            return false;
        const std::string_view tail = text.substr(text.size() - 4);
        return std::equal(tail.begin(), tail.end(), ".txt", [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == b;
        });
    };
    if (ends_with_txt(path) && ends_with_txt(std::string_view(path).substr(0, path.size() - 4)))
        path.replace(path.size() - 8, 8, ".txt");
    return path;
}

}  // namespace olvex
