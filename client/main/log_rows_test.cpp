// The Log dialog's rows: an order over the entries that sorts without
// touching the entries.
#include "client/main/log_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex {
namespace {

ActivityLogEntry Entry(std::string date, std::uint64_t time, std::string action, std::string name,
                       std::string category, std::string location) {
    ActivityLogEntry entry;
    entry.date_time = std::move(date);
    entry.time = time;
    entry.action = std::move(action);
    entry.pest_name = std::move(name);
    entry.category = std::move(category);
    entry.location = std::move(location);
    return entry;
}

int ByteOrder(std::string_view a, std::string_view b) {
    return a.compare(b);
}

std::vector<std::string> ColumnOf(const LogRows& rows, int column) {
    std::vector<std::string> texts;
    for (std::size_t row = 0; row < rows.size(); ++row)
        texts.push_back(rows.Cell(row, column));
    return texts;
}

// File order: two entries with the same date text whose times differ (the
// later one first), equal actions, and an older line.
std::vector<ActivityLogEntry> FileOrder() {
    return {
        Entry("12/10/2026-10:00", 300, "Detected", "Zeta", "Adware", "C:\\zeta.exe"),
        Entry("12/10/2026-10:00", 200, "Quarantined", "Alpha", "Trojan", "C:\\a,b.exe"),
        Entry("2026/10/12-09:00:00", 100, "Detected", "Beta", "Dialer", "C:\\beta.exe"),
        Entry("12/10/2026-11:00", 400, "Excluded", "a , b", "(File/Folder)", "C:\\dir"),
    };
}

TEST(LogRowsTest, RowsShowTheEntriesInFileOrderUntilSorted) {
    const LogRows rows(FileOrder());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(ColumnOf(rows, kPestNameColumn),
              (std::vector<std::string>{"Zeta", "Alpha", "Beta", "a , b"}));
    EXPECT_EQ(rows.Cell(1, kDateColumn), "12/10/2026-10:00");
    EXPECT_EQ(rows.Cell(1, kActionColumn), "Quarantined");
    EXPECT_EQ(rows.Cell(1, kCategoryColumn), "Trojan");
    EXPECT_EQ(rows.Cell(1, kLocationColumn), "C:\\a,b.exe");
    EXPECT_EQ(rows.Cell(1, 5), "");
    EXPECT_EQ(rows.Cell(1, -1), "");
    EXPECT_TRUE(LogRows().size() == 0);
}

TEST(LogRowsTest, SortingOrdersTheRowsAndLeavesTheEntriesInFileOrder) {
    LogRows rows(FileOrder());
    // Date by the stored time, not by its text.
    rows.SortBy(kDateColumn, ByteOrder);
    EXPECT_EQ(ColumnOf(rows, kPestNameColumn),
              (std::vector<std::string>{"Beta", "Alpha", "Zeta", "a , b"}));
    // Equal actions keep the order the rows had (time), and the same click
    // again changes nothing.
    const std::vector<std::string> by_action = {"Beta", "Zeta", "a , b", "Alpha"};
    rows.SortBy(kActionColumn, ByteOrder);
    EXPECT_EQ(ColumnOf(rows, kPestNameColumn), by_action);
    rows.SortBy(kActionColumn, ByteOrder);
    EXPECT_EQ(ColumnOf(rows, kPestNameColumn), by_action);
    // The collation given decides the text columns; any other column sorts
    // by time.
    rows.SortBy(kLocationColumn,
                [](std::string_view a, std::string_view b) { return b.compare(a); });
    EXPECT_EQ(ColumnOf(rows, kLocationColumn),
              (std::vector<std::string>{"C:\\zeta.exe", "C:\\dir", "C:\\beta.exe", "C:\\a,b.exe"}));
    rows.SortBy(7, ByteOrder);
    EXPECT_EQ(ColumnOf(rows, kPestNameColumn),
              (std::vector<std::string>{"Beta", "Alpha", "Zeta", "a , b"}));
    // The report and anything else that wants the log's own order.
    rows.SortBy(kCategoryColumn, ByteOrder);
    EXPECT_EQ(std::vector<ActivityLogEntry>(rows.entries().begin(), rows.entries().end()),
              FileOrder());
    EXPECT_EQ(rows.Row(0).category, "(File/Folder)");
}

TEST(LogRowsTest, TypingFindsTheNextRowWhoseDateBeginsSo) {
    LogRows rows(FileOrder());
    EXPECT_EQ(rows.FindRow("12/10", 0, false), 0u);
    EXPECT_EQ(rows.FindRow("12/10", 1, false), 1u);
    // From past the last match it wraps round to the top.
    EXPECT_EQ(rows.FindRow("2026/", 3, false), 2u);
    EXPECT_EQ(rows.FindRow("12/10/2026-11", 0, false), 3u);
    EXPECT_EQ(rows.FindRow("12/10/2026-10:00", 2, true), 0u);
    EXPECT_EQ(rows.FindRow("12/10/2026-10", 0, true), std::nullopt);
    EXPECT_EQ(rows.FindRow("9", 0, false), std::nullopt);
    // It follows the order shown.
    rows.SortBy(kDateColumn, ByteOrder);
    EXPECT_EQ(rows.FindRow("12/10", 0, false), 1u);
    EXPECT_EQ(rows.Row(1).pest_name, "Alpha");
    EXPECT_EQ(LogRows().FindRow("1", 0, false), std::nullopt);
}

}  // namespace
}  // namespace olvex
