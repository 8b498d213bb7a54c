// The Log dialog's saved report.
#include "client/main/log_report.h"

#include <gtest/gtest.h>

#include <vector>

namespace olvex {
namespace {

ActivityLogEntry Entry(std::string date, std::string action, std::string name, std::string category,
                       std::string location, std::int32_t pvt) {
    ActivityLogEntry entry;
    entry.date_time = std::move(date);
    entry.action = std::move(action);
    entry.pest_name = std::move(name);
    entry.category = std::move(category);
    entry.location = std::move(location);
    entry.pvt = pvt;
    return entry;
}

TEST(LogReportTest, EntriesGoOutInLogOrderWithTheirFieldsAsTheyAre) {
    const std::vector<ActivityLogEntry> entries = {
        Entry("3/4/2026-10:00:01", "Detected", "Zeta", "Adware", "File \"c:\\a,b.exe\"", 12),
        // A field holding the separator is written unchanged.
        Entry("3/4/2026-10:00:00", "Excluded", "a , b", "(File/Folder)", "c:\\temp", -1),
    };
    EXPECT_EQ(FormatLogReport(entries, "3/4/2026-11:00:00"),
              "Kelvan Gorsewatch Log Report\n"
              "This report was generated on: 3/4/2026-11:00:00\n\n"
              "3/4/2026-10:00:01 , Detected , Zeta , Adware , File \"c:\\a,b.exe\" , 12\n"
              "3/4/2026-10:00:00 , Excluded , a , b , (File/Folder) , c:\\temp , -1\n"
              "***End Report***\n\n");
}

TEST(LogReportTest, AnEmptyLogHasTitleAndEndOnly) {
    EXPECT_EQ(FormatLogReport({}, "now"),
              "Kelvan Gorsewatch Log Report\nThis report was generated on: now\n\n"
              "***End Report***\n\n");
}

}  // namespace
}  // namespace olvex
