#include "client/main/log_report.h"

namespace olvex {

std::string FormatLogReport(std::span<const ActivityLogEntry> entries,
                            std::string_view generated_on) {
    constexpr std::string_view kSeparator = " , ";
    std::string text = "Kelvan Gorsewatch Log Report\n";
    text += "This report was generated on: ";
    text += generated_on;
    text += "\n\n";
    for (const ActivityLogEntry& entry : entries) {
        for (const std::string* field : {&entry.date_time, &entry.action, &entry.pest_name,
                                         &entry.category, &entry.location}) {
            text += *field;
            text += kSeparator;
        }
        text += std::to_string(entry.pvt);
        text += "\n";
    }
    text += "***End Report***\n\n";
    return text;
}

}  // namespace olvex
