#include "client/common/detection_list.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

TEST(DetectionListTest, OneRecordPerPestInFirstDetectionOrder) {
    DetectionList list;
    list.Add(1002, "File=b1", 7, "Beta", "Spyware");
    list.Add(1001, "File=a1", 5, "Alpha", "Adware");
    list.Add(1002, "Key=b2", -1, "ignored", "ignored");
    list.Add(1002, "File=b1", 9, "ignored", "ignored");
    EXPECT_EQ(list.pest_count(), 2u);
    EXPECT_EQ(list.detection_count(), 4u);
    ASSERT_EQ(list.records().size(), 2u);
    const DetectionRecord& beta = list.records()[0];
    EXPECT_EQ(beta.pest_id, 1002);
    EXPECT_EQ(beta.pvt, 7);
    EXPECT_EQ(beta.name, "Beta");
    EXPECT_EQ(beta.locations, (std::vector<std::string>{"File=b1", "Key=b2", "File=b1"}));
    EXPECT_EQ(list.Find(1001), 1u);
    EXPECT_FALSE(list.Find(-1));

    const auto first = list.TakeFirst();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->pest_id, 1002);
    EXPECT_EQ(list.Find(1001), 0u);
    EXPECT_TRUE(list.TakeFirst());
    EXPECT_FALSE(list.TakeFirst());
    // Taking records off leaves the detection count as it was.
    EXPECT_EQ(list.detection_count(), 4u);
}

TEST(DetectionListTest, ScanHistoryHasNoLineEndAfterTheLastNumber) {
    EXPECT_EQ(FormatScanHistory("3/15/2004-9:40:00 AM", "0", "0"),
              "3/15/2004-9:40:00 AM\r\n0\r\n0");
}

}  // namespace
}  // namespace olvex
