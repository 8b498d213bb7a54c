#include "client/common/url_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "client/common/scrambled_file.h"
#include "olvex/core/file_io.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;

TEST(UrlTable, FindsTheFirstLineWhoseKeyHoldsTheKey) {
    const std::string table =
        "XJHOME_URL=http://127.0.0.1/home\r\n"
        "QZSUPPORT_URL=http://127.0.0.1/support  \r\n"
        "QZTOUR_URL=http://127.0.0.1/tour?from=QZGLOSSARY_URL\r\n"
        "OLD_QZPESTINFO_URL_2=http://127.0.0.1/old-pests\r\n"
        "QZPESTINFO_URL=http://127.0.0.1/pests\r\n"
        "QZEMERGING_URL= http://127.0.0.1/a=b \t\r\n"
        "QZFASTEST_URL\r\n"
        "PRGRAPH_URL=\n"
        "KXRHOME_URL=http://127.0.0.1/last";
    struct Case {
        const char* key;
        std::optional<std::string> address;
    } const cases[] = {
        {"XJHOME_URL", "http://127.0.0.1/home"},
        {"QZSUPPORT_URL", "http://127.0.0.1/support"},  // trailing blanks removed
        {"QZTOUR_URL", "http://127.0.0.1/tour?from=QZGLOSSARY_URL"},
        // A key named only inside another line's address is not found there.
        {"QZGLOSSARY_URL", std::nullopt},
        // Contained in a longer key: still a match, and the first line wins.
        {"QZPESTINFO_URL", "http://127.0.0.1/old-pests"},
        // Only the first "=" splits; leading blanks of the address stay.
        {"QZEMERGING_URL", " http://127.0.0.1/a=b"},
        // A line without "=" is its own address.
        {"QZFASTEST_URL", "QZFASTEST_URL"},
        {"PRGRAPH_URL", ""},
        {"KXRHOME_URL", "http://127.0.0.1/last"},
        {"qzsupport_url", std::nullopt},  // case matters
        {"PREV_POST_URL", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindUrlInTable(table, c.key), c.address) << c.key;
}

TEST(UrlTable, LinksOpenOnlyWebAddressesFromTheTable) {
    const std::string built_in = "http://www.example.com/support/";
    struct Case {
        std::optional<std::string> from_table;
        std::string opened;
    };
    const Case cases[] = {
        {"http://support.example.org/", "http://support.example.org/"},
        {"https://support.example.org/x?y=1", "https://support.example.org/x?y=1"},
        {"HTTPS://SUPPORT.EXAMPLE.ORG/", "HTTPS://SUPPORT.EXAMPLE.ORG/"},
        {std::nullopt, built_in},
        {"", built_in},
        {"http:/", built_in},
        {"C:\\Windows\\notepad.exe", built_in},
        {"calc.exe", built_in},
        {"file:///C:/boot.ini", built_in},
        {"ftp://files.example.org/", built_in},
        {" http://padded.example.org/", built_in},
        {"javascript:alert(1)", built_in},
        {"C:\\windows\\system32\\winver.exe", built_in},
        {"\\\\server\\share\\run.bat", built_in},
        {"http", built_in},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from_table.value_or("(none)"));
        EXPECT_EQ(ChooseLinkAddress(c.from_table, built_in), c.opened);
    }
}

TEST(UrlTable, LookupDecodesTheTableInMemoryOnly) {
    ScratchDir dir;
    const std::string text = "PREV_POST_URL=http://127.0.0.1:8080/form\r\n";
    const auto path = dir.File("URLs.ini");
    ASSERT_EQ(WriteScrambledFile(
                  path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
              ScrambledError::kNone);
    const auto stored = ReadWholeFile(path).bytes;

    auto found = LookupUrl(path, "PREV_POST_URL");
    EXPECT_TRUE(found.table_read);
    EXPECT_EQ(found.address, "http://127.0.0.1:8080/form");
    auto missing = LookupUrl(path, "QZTOUR_URL");
    EXPECT_TRUE(missing.table_read);
    EXPECT_FALSE(missing.address);
    EXPECT_EQ(ReadWholeFile(path).bytes, stored) << "the table on disk changed";

    // A corrupt table, a missing one and an empty one leave callers with
    // their defaults, and the corrupt file as it was.
    auto corrupt = stored;
    corrupt.back() ^= 1;
    const auto bad =
        dir.Write("bad.ini", std::vector<unsigned char>(corrupt.begin(), corrupt.end()));
    EXPECT_FALSE(LookupUrl(bad, "PREV_POST_URL").table_read);
    EXPECT_EQ(ReadWholeFile(bad).bytes, corrupt);
    EXPECT_FALSE(LookupUrl(dir.File("none.ini"), "PREV_POST_URL").table_read);
    const auto empty = dir.File("empty.ini");
    ASSERT_EQ(WriteScrambledFile(empty, {}), ScrambledError::kNone);
    EXPECT_FALSE(LookupUrl(empty, "PREV_POST_URL").table_read);
}

}  // namespace
}  // namespace olvex
