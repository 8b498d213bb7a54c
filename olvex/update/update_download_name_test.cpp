#include "olvex/update/update_download_name.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

TEST(DownloadName, RoundTrips) {
    EXPECT_EQ(DownloadFileName("qzinfo.dat", 4031512, 2), "qzinfo.dat.4031512.2.qzu");
    const struct {
        const char* name;
        std::int32_t version;
        std::int32_t type;
    } cases[] = {{"qzinfo.dat", 4031512, 2},
                 {"qzfile4040112.qzu", 9, 3},
                 {"olvex.dll", 7, 6},
                 {"setup", -1, 5},
                 {"a.b.c.txt", 0, 1}};
    for (const auto& c : cases) {
        const auto parts = ParseDownloadFileName(DownloadFileName(c.name, c.version, c.type));
        ASSERT_TRUE(parts) << c.name;
        EXPECT_EQ(*parts, (DownloadNameParts{c.name, c.version, c.type})) << c.name;
    }
    EXPECT_EQ(ParseDownloadFileName("tool.exe.3.5.QZU"), (DownloadNameParts{"tool.exe", 3, 5}));
}

TEST(DownloadName, RefusesWhatIsNotOne) {
    for (const char* name :
         {"", ".qzu", "x.qzu", "x.1.qzu", "x.a.2.qzu", "x.1.b.qzu", "x.1.2.qzux", "x.1.2",
          "nul.1.2.qzu", "a .1.2.qzu", "..1.2.qzu", "x.1.-.qzu", "x.99999999999.2.qzu.tmp"})
        EXPECT_FALSE(ParseDownloadFileName(name)) << name;
    // Numbers saturate like the rest of the update texts.
    EXPECT_EQ(ParseDownloadFileName("x.99999999999.2.qzu")->version, 2147483647);
}

}  // namespace
}  // namespace olvex
