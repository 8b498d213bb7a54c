// Detection and the events around it: with and without a callback, with and
// without an excluder.
#include "olvex/scan/scan_reporter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "olvex/scan/scan_test_support.h"

namespace olvex {
namespace {

using scan_test::FakeExclusions;
using scan_test::RecordingEvents;
using ::testing::ElementsAre;

TEST(ScanReporterTest, WithoutCallbackFindingsAreKeptNewestFirst) {
    DetectedItems detected;
    ScanReporter reporter(nullptr, nullptr, detected);
    EXPECT_TRUE(reporter.ShouldScanContinue());
    reporter.StartingItem("ignored");
    EXPECT_EQ(reporter.DetectWithExclusionCheck(1, "File \"A\""), 0);
    reporter.DetectPest(2, "File \"B\"");
    ASSERT_EQ(detected.Size(), 2u);
    auto item = detected.TakeNewest();
    EXPECT_EQ(item->pest_id, 2);
    EXPECT_EQ(item->location, "File \"B\"");
    item = detected.TakeNewest();
    EXPECT_EQ(item->pest_id, 1);
    EXPECT_FALSE(detected.TakeNewest());
}

TEST(ScanReporterTest, WithCallbackNothingIsKeptAndTheClientsResultComesBack) {
    DetectedItems detected;
    RecordingEvents events;
    events.detected_result = 42;
    ScanReporter reporter(&events, nullptr, detected);
    EXPECT_EQ(reporter.DetectWithExclusionCheck(7, "File \"A\""), 42);
    reporter.DetectPest(8, "File \"B\"");
    reporter.ReportAborted();
    EXPECT_EQ(detected.Size(), 0u);
    EXPECT_THAT(
        events.lines,
        ElementsAre("VerboseInformation IScanner::DetectWithExclusionCheck invoked.",
                    "PestDetected 7 File \"A\"", "VerboseInformation IScanner::DetectPest invoked.",
                    "PestDetected 8 File \"B\"", "ScanAborted Aborted by user."));
}

TEST(ScanReporterTest, ExcludedLocationGivesOnlyTheNotice) {
    DetectedItems detected;
    FakeExclusions exclusions;
    exclusions.locations = {"File \"X\""};
    exclusions.status = 5;
    RecordingEvents events;
    ScanReporter with_callback(&events, &exclusions, detected);
    EXPECT_EQ(with_callback.DetectWithExclusionCheck(3, "File \"X\""), 0);
    EXPECT_THAT(events.lines,
                ElementsAre("VerboseInformation IScanner::DetectWithExclusionCheck invoked.",
                            "VerboseInformation Pest at File \"X\" was excluded from detection."));
    // Without a callback the excluder's own result comes back, and nothing
    // is kept.
    ScanReporter without(nullptr, &exclusions, detected);
    EXPECT_EQ(without.DetectWithExclusionCheck(3, "File \"X\""), 5);
    EXPECT_EQ(detected.Size(), 0u);
    // DetectPest makes no exclusion check of its own.
    without.DetectPest(3, "File \"X\"");
    EXPECT_EQ(detected.Size(), 1u);
}

TEST(ScanReporterTest, ExclusionsBeforeLookingAndOfFolders) {
    DetectedItems detected;
    FakeExclusions exclusions;
    exclusions.locations = {"Key \"HKEY_CURRENT_USER\\X\""};
    exclusions.folders = {"C:\\skip"};
    RecordingEvents events;
    ScanReporter reporter(&events, &exclusions, detected);
    EXPECT_TRUE(reporter.IsExcludedFromScan(1, "Key \"HKEY_CURRENT_USER\\X\""));
    EXPECT_FALSE(reporter.IsExcludedFromScan(1, "Key \"HKEY_CURRENT_USER\\Y\""));
    EXPECT_TRUE(reporter.IsFolderExcluded("C:\\skip"));
    EXPECT_FALSE(reporter.IsFolderExcluded("C:\\other"));
    EXPECT_THAT(events.lines, ElementsAre("VerboseInformation Location Key "
                                          "\"HKEY_CURRENT_USER\\X\" was excluded from scan."));
    ScanReporter no_excluder(&events, nullptr, detected);
    EXPECT_FALSE(no_excluder.IsFolderExcluded("C:\\skip"));
}

TEST(ScanReporterTest, AStoppedCheckpointSilencesEverythingAfterIt) {
    DetectedItems detected;
    RecordingEvents events;
    ScanReporter reporter(&events, nullptr, detected);
    int asked = 0;
    reporter.SetCheckpoint([&] { return ++asked < 3; });
    reporter.StartingItem("one");                 // 1
    EXPECT_TRUE(reporter.ShouldScanContinue());   // 2
    EXPECT_FALSE(reporter.ShouldScanContinue());  // 3: stopped
    reporter.DetectWithExclusionCheck(1, "File \"A\"");
    reporter.FinishedItem("one");
    reporter.ReportAborted();
    reporter.ScanComplete();
    EXPECT_TRUE(reporter.Stopped());
    EXPECT_EQ(asked, 3);  // not asked again once stopped
    EXPECT_THAT(events.lines, ElementsAre("StartingItem one", "ShouldScanContinue"));
    // Without a callback nothing is kept after the stop either.
    ScanReporter quiet(nullptr, nullptr, detected);
    quiet.SetCheckpoint([] { return false; });
    quiet.DetectPest(1, "File \"A\"");
    EXPECT_EQ(detected.Size(), 0u);
}

}  // namespace
}  // namespace olvex
