#include "client/common/log_entry_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "client/common/ui/band_layout.h"

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

int Plain(std::string_view a, std::string_view b) {
    return a.compare(b);
}

// The entries' pest names in the order a column sorts them.
std::vector<std::string> SortedNames(std::vector<ActivityLogEntry> entries, int column) {
    std::stable_sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
        return CompareLogEntries(a, b, column, Plain) < 0;
    });
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.pest_name);
    return names;
}

TEST(LogEntryOrderTest, DateSortsByTimeWhateverTheTextsSay) {
    // Texts that sort the other way round from the times they stand for,
    // and times before 1601 (a negative high half) sorting first.
    const std::vector<ActivityLogEntry> entries = {
        Entry("9/1/2006-10:00:00 AM", 0x01C6000000000100ull, "Detected", "B", "Adware", "x"),
        Entry("10/1/2006-9:00:00 AM", 0x01C6000000000200ull, "Deleted", "C", "Trojan", "y"),
        Entry("1/1/2006-11:00:00 AM", 0x01C6000000000080ull, "Excluded", "A", "Dialer", "z"),
        Entry("legacy", 0xFFFFFFFF00000000ull, "Quarantined", "Old", "Adware", "w"),
    };
    const std::vector<std::string> by_time = {"Old", "A", "B", "C"};
    EXPECT_EQ(SortedNames(entries, kDateColumn), by_time);
    EXPECT_EQ(SortedNames(entries, 7), by_time) << "an unknown column sorts by time too";
    EXPECT_EQ(SortedNames(entries, -1), by_time);
    EXPECT_EQ(SortedNames(entries, kActionColumn),
              (std::vector<std::string>{"C", "B", "A", "Old"}));
    EXPECT_EQ(SortedNames(entries, kPestNameColumn),
              (std::vector<std::string>{"A", "B", "C", "Old"}));
    EXPECT_EQ(SortedNames(entries, kCategoryColumn),
              (std::vector<std::string>{"B", "Old", "A", "C"}));
    EXPECT_EQ(SortedNames(entries, kLocationColumn),
              (std::vector<std::string>{"Old", "B", "C", "A"}));
}

TEST(LogEntryOrderTest, TextColumnsUseTheGivenCollation) {
    const auto a = Entry("", 1, "apple", "x", "", "");
    const auto b = Entry("", 2, "Banana", "x", "", "");
    const auto ignoring_case = [](std::string_view x, std::string_view y) {
        std::string lx(x), ly(y);
        for (auto* s : {&lx, &ly})
            std::transform(s->begin(), s->end(), s->begin(), ::tolower);
        return lx.compare(ly);
    };
    EXPECT_LT(CompareLogEntries(b, a, kActionColumn, Plain), 0);
    EXPECT_GT(CompareLogEntries(b, a, kActionColumn, ignoring_case), 0);
    EXPECT_EQ(CompareLogEntries(a, a, kPestNameColumn, ignoring_case), 0);
    EXPECT_LT(CompareLogEntries(a, b, kDateColumn, ignoring_case), 0);
}

// The viewer keeps the size it opened with as its minimum.
TEST(LogEntryOrderTest, ViewerSnapsBackBelowItsOpeningSize) {
    ui::ResizeTracker tracker;
    using Kind = ui::ResizeTracker::Step::Kind;
    EXPECT_EQ(tracker.OnClientSize({600, 300}).kind, Kind::kRecorded);
    const auto grown = tracker.OnClientSize({700, 340});
    EXPECT_EQ(grown.kind, Kind::kLayout);
    EXPECT_EQ(grown.dx, 100);
    EXPECT_EQ(grown.dy, 40);
    const auto shrunk = tracker.OnClientSize({500, 320});
    EXPECT_EQ(shrunk.kind, Kind::kSnapBack);
    EXPECT_EQ(shrunk.snap_to, (ui::Size{600, 320}));
    const auto back = tracker.OnClientSize({600, 320});
    EXPECT_EQ(back.kind, Kind::kLayout);
    EXPECT_EQ(back.dx, -100);
    EXPECT_EQ(back.dy, -20);
}

}  // namespace
}  // namespace olvex
