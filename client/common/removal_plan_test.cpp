#include "client/common/removal_plan.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

using Kind = LocationKind;

TEST(RemovalPlan, PassesByKindEachPlaceOnceTheFirstReportedStanding) {
    const std::vector<LocationPlace> locations = {
        {Kind::kRegistryItem, RegistryPlace("hkey_current_user \\software\\a", "")},  // 0
        {Kind::kFile, "c:\\program files\\x\\alpha.exe"},                             // 1
        {Kind::kFolder, "c:\\program files\\x\\beta"},                                // 2
        {Kind::kProcess, "1234"},                                                     // 3
        {Kind::kFile, "c:\\program files\\x\\alpha.exe"},                             // 4: as 1
        {Kind::kNone, "c:\\program files\\x\\alpha.exe"},                             // 5
        {Kind::kCookie, "c:\\cookies\\user@site[1].txt"},                             // 6
        {Kind::kFile, "c:\\program files\\x\\beta"},  // 7: a file, not the folder
        {Kind::kRegistryItem, RegistryPlace("hkey_current_user software\\a", "")},     // 8: as 0
        {Kind::kRegistryItem, RegistryPlace("hkey_current_user \\software\\a", "v")},  // 9
        {Kind::kProcess, "1234"},                                                      // 10: as 3
        {Kind::kFile, "c:\\program files\\x\\gamma.exe"},                              // 11
    };
    EXPECT_EQ(PlanRemovals(locations), (std::vector<std::size_t>{3, 6, 1, 7, 11, 2, 0, 9}));
    EXPECT_TRUE(PlanRemovals({}).empty());
}

TEST(RemovalPlan, RegistryPlacesAreKeyAndValue) {
    struct Case {
        std::string key, value;
        std::string same_as_key, same_as_value;
    } const cases[] = {
        {"hkey_local_machine \\software\\x", "", "hkey_local_machine software\\x", ""},
        {"hkey_local_machine \\software\\x", "run", "hkey_local_machine \\\\software\\x", "run"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RegistryPlace(c.key, c.value), RegistryPlace(c.same_as_key, c.same_as_value));
    }
    // A value is not its key, nor another key whose name runs on.
    EXPECT_NE(RegistryPlace("hkey_users \\a", "b"), RegistryPlace("hkey_users \\a", ""));
    EXPECT_NE(RegistryPlace("hkey_users \\a", "b"), RegistryPlace("hkey_users \\ab", ""));
    EXPECT_NE(RegistryPlace("hkey_users \\a", "b"), RegistryPlace("hkey_current_user \\a", "b"));
}

}  // namespace
}  // namespace olvex
