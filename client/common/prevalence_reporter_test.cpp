#include "client/common/prevalence_reporter.h"

#include <gtest/gtest.h>

#include "client/common/client_md5.h"
#include "client/common/client_test_support.h"
#include "client/common/prevalence_form.h"
#include "client/common/scrambled_file.h"
#include "testing/http_test_server.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {
namespace {

constexpr char kFormPath[] = "/prevalence/post";

std::string Field(const std::vector<std::pair<std::string, std::string>>& fields,
                  std::string_view name) {
    for (const auto& [key, value] : fields) {
        if (key == name)
            return value;
    }
    return "<missing>";
}

class PrevalenceReporterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Available()) << HttpTestServer::kHowToRun;
        folders_.install_folder = Folder(dir_.path());
        server_.Serve("prevalence/post", "thanks");
        SetFormUrl(server_.Url(kFormPath));
    }

    void SetFormUrl(const std::string& url) {
        const std::string table =
            "XJHOME_URL=http://home.example/\r\nPREV_POST_URL=" + url + "\r\n";
        const auto stored = EncodeScrambled(
            std::span(reinterpret_cast<const std::uint8_t*>(table.data()), table.size()));
        dir_.Write("URLs.ini", std::vector<unsigned char>(stored.begin(), stored.end()));
    }

    // The requests that arrived since the last call.
    std::vector<RecordedRequest> NewRequests() {
        auto all = server_.Requests();
        std::vector<RecordedRequest> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_),
                                           all.end());
        seen_ = all.size();
        return fresh;
    }

    CProxySettings ProxyOnServer(const std::string& account, const std::string& password) {
        CProxySettings proxy;
        EXPECT_TRUE(proxy.SetProxy("127.0.0.1", server_.port()));
        proxy.SetCredentials(account, password);
        return proxy;
    }

    HttpTestServer server_;
    ScratchDir dir_;
    FakeFolders folders_;
    ScopedClientFolders use_folders_{folders_};
    FakeClock clock_;
    ScopedClientClock use_clock_{clock_};
    FakeSystemProxy system_;
    ScopedSystemProxySource use_system_{system_};
    CPrevalenceReporter reporter_;
    std::size_t seen_ = 0;
};

// Every value arrives as it was given, in its own field, however it is
// made: ampersands, equals signs, percent signs, line breaks, bytes above 127.
TEST_F(PrevalenceReporterTest, FormFieldsArriveIntactAndEncoded) {
    const std::string pest_file = dir_.Write("Program Files\\evil & co\\evil.exe", "MZ evil bytes");
    const std::string digest = BytesToHex(*ClientMd5::DigestFile(pest_file));
    CProxySettings no_proxy;

    struct Case {
        std::string machine;
        std::string name;
        std::string location;
        bool is_file;
        std::string expect_md5;
    };
    const Case cases[] = {
        {"{0A1B-2C3D}", "  Evil Toolbar  ", " " + pest_file + " ", true, digest},
        {"m&pestid=99", "a=b&c=d%20e", "HKLM\\Software\\Evil\r\nX-Injected: 1", false, ""},
        {"-p-p-mach=x", "caf\xE9 \xC3\xA9\x01", "C:\\a b\\100%.txt", true, ""},  // no such file
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(
            reporter_.ReportPest(c.machine, 1234, 56, c.name, c.is_file, c.location, &no_proxy), 0);
        const auto requests = NewRequests();
        ASSERT_EQ(requests.size(), 1u);
        const auto& request = requests[0];
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.target, kFormPath);
        EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(request.Header("Proxy-Authorization"), std::nullopt);
        EXPECT_EQ(request.Header("X-Injected"), std::nullopt);
        EXPECT_EQ(request.body.find_first_of(" \r\n"), std::string::npos);

        const std::vector<std::pair<std::string, std::string>> expected = {
            {"pnam", TrimBlanks(c.name)},
            {"ploc", TrimBlanks(c.location)},
            {"pvt", "56"},
            {"md5", c.expect_md5},
            {"mach", c.machine},
            {"ctry", Field(ParseForm(request.body), "ctry")},
            {"psdate", "2024-03-09"},
            {"pestid", "1234"},
        };
        EXPECT_EQ(ParseForm(request.body), expected);
        EXPECT_NE(Field(expected, "ctry"), "<missing>");
    }
    // The separators are real ampersands, a value's own are %26; the
    // location's colon stays, its backslash is %5C and its blank "+".
    EXPECT_EQ(reporter_.ReportPest("m", 1, 2, "a&b", false, "C:\\x y", &no_proxy), 0);
    const auto requests = NewRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].body.find("pnam=a%26b&ploc=C:%5Cx+y&pvt=2&md5=&mach=m&ctry="),
              std::string::npos)
        << requests[0].body;
}

// Through a proxy on 127.0.0.1 that demands Basic authentication: the
// request names the whole address and carries the credentials.
TEST_F(PrevalenceReporterTest, ReportsGoThroughAProxyThatDemandsBasicAuthentication) {
    server_.SetRules(std::string(kFormPath) + " proxyauth=scan-user:s3cr:et\n");
    CProxySettings no_proxy;
    EXPECT_EQ(reporter_.ReportPest("m", 1, 2, "Evil", false, "C:\\evil.exe", &no_proxy), -1);

    {
        NewRequests();
        CProxySettings proxy = ProxyOnServer("scan-user", "s3cr:et");
        EXPECT_EQ(reporter_.ReportPest("m&x", 1, 2, "Evil=1", false, "C:\\evil.exe", &proxy), 0);
        const auto requests = NewRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].target, server_.Url(kFormPath));  // proxy form
        EXPECT_EQ(requests[0].Header("Proxy-Authorization"),
                  "Basic " + BasicCredentials("scan-user", "s3cr:et"));
        const auto fields = ParseForm(requests[0].body);
        EXPECT_EQ(Field(fields, "mach"), "m&x");
        EXPECT_EQ(Field(fields, "pnam"), "Evil=1");
    }
    {
        CProxySettings wrong = ProxyOnServer("scan-user", "wrong");
        EXPECT_EQ(reporter_.ReportPest("m", 1, 2, "Evil", false, "C:\\evil.exe", &wrong), -1);
        CProxySettings anonymous = ProxyOnServer("", "");
        EXPECT_EQ(reporter_.ReportPest("m", 1, 2, "Evil", false, "C:\\evil.exe", &anonymous), -1);
    }
    // Credentials without a proxy are never sent to the server itself.
    server_.SetRules("");
    NewRequests();
    CProxySettings credentials_only;
    credentials_only.SetCredentials("scan-user", "s3cr:et");
    EXPECT_EQ(reporter_.ReportPest("m", 1, 2, "Evil", false, "C:\\evil.exe", &credentials_only), 0);
    const auto requests = NewRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("Proxy-Authorization"), std::nullopt);
    EXPECT_EQ(requests[0].target, kFormPath);
}

TEST_F(PrevalenceReporterTest, FailuresGiveMinusOne) {
    CProxySettings no_proxy;
    EXPECT_EQ(reporter_.ReportPest("m", 1, 2, "Evil", false, "C:\\evil.exe", nullptr), -1);

    server_.SetRules(std::string(kFormPath) + " status=500\n");
    EXPECT_EQ(reporter_.ReportPest("m", 1, 2, "Evil", false, "C:\\evil.exe", &no_proxy), -1);
    server_.SetRules("");

    // A form address that cannot be posted to is not tried.
    SetFormUrl("https://127.0.0.1:" + std::to_string(server_.port()) + kFormPath);
    NewRequests();
    EXPECT_EQ(reporter_.ReportPest("m", 1, 2, "Evil", false, "C:\\evil.exe", &no_proxy), -1);
    SetFormUrl(server_.Url("/missing/form"));
    EXPECT_EQ(reporter_.ReportPest("m", 1, 2, "Evil", false, "C:\\evil.exe", &no_proxy), -1);
    EXPECT_EQ(NewRequests().size(), 1u);  // only the second
}

}  // namespace
}  // namespace olvex::testing
