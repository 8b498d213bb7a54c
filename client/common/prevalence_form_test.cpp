#include "client/common/prevalence_form.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "testing/http_test_server.h"

namespace olvex {
namespace {

using ::olvex::testing::ParseForm;

TEST(PrevalenceForm, EncodesOnlyWhatAFormValueCannotHold) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Program Files\\x.exe", "C:%5CProgram+Files%5Cx.exe"},
        {"a&b=c", "a%26b%3Dc"},
        {"100%", "100%25"},
        {"line\r\nnext", "line%0D%0Anext"},
        {"caf\xE9", "caf%E9"},
        {"-p-p-pvt=1", "-p-p-pvt%3D1"},
        {"^'`}|[]\"<>+?#/{", "%5E%27%60%7D%7C%5B%5D%22%3C%3E%2B%3F%23%2F%7B"},
        {"AZaz09-_.*:", "AZaz09-_.*:"},
        {std::string("a\0b", 3), "a%00b"},
    };
    for (const auto& [value, encoded] : cases)
        EXPECT_EQ(UrlEncode(value), encoded) << value;
}

TEST(PrevalenceForm, EveryValueArrivesIntactInItsOwnField) {
    PrevalenceForm form;
    form.pest_name = "  Evil & Co=1 %41  ";
    form.location = " C:\\Program Files\\evil\r\nX-Injected: 1&pestid=7\xC3\xA9 ";
    form.pvt = 42;
    form.md5 = "0123456789ABCDEF0123456789ABCDEF";
    form.machine_id = "{1234-ABCD}-p-p-mach=x";
    form.country = "US";
    form.date = FormatReportDate(2024, 3, 9);
    form.pest_id = -5;
    const auto body = BuildPrevalenceFormBody(form);
    EXPECT_EQ(body.find_first_of("\r\n "), std::string::npos);

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"pnam", "Evil & Co=1 %41"},
        {"ploc", "C:\\Program Files\\evil\r\nX-Injected: 1&pestid=7\xC3\xA9"},
        {"pvt", "42"},
        {"md5", form.md5},
        {"mach", form.machine_id},
        {"ctry", "US"},
        {"psdate", "2024-03-09"},
        {"pestid", "-5"},
    };
    EXPECT_EQ(ParseForm(body), expected);
    // A drive path: colon as it is, backslash %5C, blank "+".
    form = {};
    form.location = "C:\\a b";
    EXPECT_NE(BuildPrevalenceFormBody(form).find("&ploc=C:%5Ca+b&"), std::string::npos);
}

TEST(PrevalenceForm, HexAndTrimming) {
    const std::uint8_t bytes[] = {0x00, 0x0F, 0xA5, 0xFF};
    EXPECT_EQ(BytesToHex(bytes), "000FA5FF");
    EXPECT_EQ(BytesToHex({}), "");
    EXPECT_EQ(TrimBlanks("  \t a b \r\n"), "a b");
    EXPECT_EQ(TrimBlanks("   "), "");
}

TEST(PrevalenceForm, SplitsOnlyPlainHttpAddresses) {
    struct Case {
        std::string url;
        bool ok;
        std::string host;
        std::uint16_t port;
        std::string object;
    };
    const Case cases[] = {
        {"http://research.example/prevalence/report", true, "research.example", 80,
         "/prevalence/report"},
        {"HTTP://127.0.0.1:8123/form?a=1#frag", true, "127.0.0.1", 8123, "/form?a=1"},
        {"http://host", true, "host", 80, "/"},
        {"http://host?x", true, "host", 80, "/?x"},
        {"http://host:65535/", true, "host", 65535, "/"},
        {"https://host/", false, "", 0, ""},
        {"ftp://host/", false, "", 0, ""},
        {"http://user:pw@host/", false, "", 0, ""},
        {"http://host:0/", false, "", 0, ""},
        {"http://host:70000/", false, "", 0, ""},
        {"http://host:/", false, "", 0, ""},
        {"http:///path", false, "", 0, ""},
        {"http://host/a b", false, "", 0, ""},
        {"http://host/a\r\nX: y", false, "", 0, ""},
        {"", false, "", 0, ""},
    };
    for (const auto& c : cases) {
        const auto address = SplitHttpUrl(c.url);
        ASSERT_EQ(address.has_value(), c.ok) << c.url;
        if (address) {
            EXPECT_EQ(address->host, c.host) << c.url;
            EXPECT_EQ(address->port, c.port) << c.url;
            EXPECT_EQ(address->object, c.object) << c.url;
        }
    }
}

TEST(PrevalenceForm, HeaderLinesCannotCarryAnotherHeader) {
    EXPECT_EQ(HeaderLine("Proxy-Authorization", "Basic dTpw"),
              "Proxy-Authorization: Basic dTpw\r\n");
    EXPECT_FALSE(HeaderLine("Proxy-Authorization", "Basic x\r\nX-Injected: 1"));
    EXPECT_FALSE(HeaderLine("X", "a\nb"));
    EXPECT_FALSE(HeaderLine("X", std::string("a\0b", 3)));
    EXPECT_FALSE(HeaderLine("X\r\nY", "v"));
}

}  // namespace
}  // namespace olvex
