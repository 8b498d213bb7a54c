// The client library's proxy dialog "Kelvan Gorsewatch -- Proxy" (template
// 182) driven through the window driver: its messages, the store written,
// loaded and deleted; and a prevalence report posted through the stored
// proxy on 127.0.0.1 that demands Basic authentication.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "client/common/proxy_record.h"
#include "client/common/ui/proxy_dialog.h"
#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"
#include "testing/http_test_server.h"
#include "testing/windows_test_support.h"

namespace olvex {
namespace {

namespace fs = std::filesystem;
using gui::RunningProgram;
using testing::HttpTestServer;
using testing::Narrow;
using testing::WindowsPath;

constexpr wchar_t kProxyTitle[] = L"Kelvan Gorsewatch -- Proxy";

std::string ReadFileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<ProxyRecord> StoredRecord(const fs::path& path) {
    const std::string bytes = ReadFileText(path);
    return DecodeProxyRecord(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

class ProxyDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        folder_ = fs::path(temp) / "proxy-dialog-test";
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        fs::create_directories(folder_);
    }

    std::wstring Command(const std::wstring& extra = {}) const {
        return gui::Quote(WindowsPath(OLVEX_PROXY_DIALOG_PROGRAM)) + L" " +
               gui::Quote(WindowsPath(folder_.string())) + extra;
    }
    HWND Open() {
        if (!program_.Start(Command()))
            return nullptr;
        return gui::FindTopLevelWindow(
            {.title = std::wstring(kProxyTitle), .process_id = program_.id(), .visible_only = true},
            20000);
    }
    void Fill(HWND dialog, const std::wstring& host, const std::wstring& port,
              const std::wstring& account, const std::wstring& password) {
        gui::SetText(gui::FindChild(dialog, ui::kProxyHostId), host);
        gui::SetText(gui::FindChild(dialog, ui::kProxyPortId), port);
        gui::SetText(gui::FindChild(dialog, ui::kProxyAccountId), account);
        gui::SetText(gui::FindChild(dialog, ui::kProxyPasswordId), password);
    }
    // The box the dialog shows: "caption: text", answered with the button.
    std::wstring Answer(int button) {
        const auto box = gui::AnswerDialog(
            {.title = std::wstring(L"Kelvan Gorsewatch"), .process_id = program_.id()}, button,
            10000);
        return box ? box->title + L": " + box->text : L"(no box)";
    }

    fs::path folder_;
    RunningProgram program_;
};

TEST_F(ProxyDialogTest, MessagesAndTheStore) {
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    // Painted whole before the picture: it is taken the moment the dialog shows.
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    gui::SaveScreenshot(dialog, "proxy-dialog");
    std::wstring texts;
    for (const auto& child : gui::ListChildren(dialog))
        texts += child.text + L"\n";
    for (const wchar_t* text : {L"Network Proxy Settings", L"Network Address", L"Port (1 - 65535)",
                                L"Account", L"Password"})
        EXPECT_NE(texts.find(text), std::wstring::npos) << Narrow(text);

    struct Refusal {
        std::wstring host, port, account, password, message;
    };
    const std::wstring bad_port =
        L"Kelvan Gorsewatch: A bad port number was specified for the proxy server.";
    const Refusal refusals[] = {
        {L"127.0.0.1", L"0", L"", L"", bad_port},
        {L"127.0.0.1", L"70000", L"", L"", bad_port},
        {L"127.0.0.1", L"80x", L"a", L"b", bad_port},
        {L"", L"8080", L"", L"pw",
         L"Kelvan Gorsewatch: Network address of proxy server not specified."},
    };
    for (const Refusal& r : refusals) {
        Fill(dialog, r.host, r.port, r.account, r.password);
        ASSERT_TRUE(gui::PressButton(dialog, IDOK));
        EXPECT_EQ(Answer(IDOK), r.message);
        EXPECT_TRUE(IsWindow(dialog));
    }
    Fill(dialog, L"127.0.0.1", L"8080", L"", L"pw");
    ASSERT_TRUE(gui::PressButton(dialog, IDOK));
    EXPECT_EQ(Answer(IDNO),
              L"Kelvan Gorsewatch: WARNING! Either the username or the password for "
              L"authenticating with the network proxy is blank. Are you sure that one of these "
              L"fields should be blank?");
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_FALSE(fs::exists(folder_ / "proxyinfo.dat"));
    Fill(dialog, L"proxy.example.invalid", L"3128", L"DOMAIN\\user", L"secret");
    ASSERT_TRUE(gui::PressButton(dialog, IDOK));
    EXPECT_EQ(program_.Wait(10000), std::optional<DWORD>(IDOK));
    EXPECT_EQ(StoredRecord(folder_ / "proxyinfo.dat"),
              (ProxyRecord{"proxy.example.invalid", 3128, "DOMAIN\\user", "secret"}));

    // Loaded again; Cancel at once asks nothing, after a change it asks.
    dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(gui::GetText(gui::FindChild(dialog, ui::kProxyHostId)), L"proxy.example.invalid");
    EXPECT_EQ(gui::GetText(gui::FindChild(dialog, ui::kProxyPortId)), L"3128");
    EXPECT_EQ(gui::GetText(gui::FindChild(dialog, ui::kProxyAccountId)), L"DOMAIN\\user");
    gui::SaveScreenshot(dialog, "proxy-dialog-loaded");
    ASSERT_TRUE(gui::PressButton(dialog, IDCANCEL));
    EXPECT_EQ(program_.Wait(10000), std::optional<DWORD>(IDCANCEL));

    dialog = Open();
    ASSERT_NE(dialog, nullptr);
    gui::SetText(gui::FindChild(dialog, ui::kProxyAccountId), L"other");
    gui::PostWindowMessage(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(Answer(IDNO),
              L"Kelvan Gorsewatch: You have made changes to your network proxy settings. Are you "
              L"sure you want to exit without saving your changes?");
    EXPECT_TRUE(IsWindow(dialog));
    ASSERT_TRUE(gui::PressButton(dialog, IDCANCEL));
    Answer(IDYES);
    EXPECT_EQ(program_.Wait(10000), std::optional<DWORD>(IDCANCEL));
    EXPECT_EQ(StoredRecord(folder_ / "proxyinfo.dat")->account, "DOMAIN\\user");

    // Address, account and password cleared: the store goes.
    dialog = Open();
    ASSERT_NE(dialog, nullptr);
    Fill(dialog, L" ", L"3128", L"", L"");
    ASSERT_TRUE(gui::PressButton(dialog, IDOK));
    EXPECT_EQ(program_.Wait(10000), std::optional<DWORD>(IDOK));
    EXPECT_FALSE(fs::exists(folder_ / "proxyinfo.dat"));
}

TEST_F(ProxyDialogTest, ReportThroughAnAuthenticatingProxy) {
    HttpTestServer server;
    ASSERT_TRUE(server.Available()) << HttpTestServer::kHowToRun;
    // The report's own address names a host that exists nowhere: only the
    // proxy can take it, and only with the account.
    server.SetRules("/prevalence/report.asp proxyauth=ruser:rpass\n");
    server.Serve("prevalence/report.asp", std::vector<std::uint8_t>{'o', 'k'});

    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    Fill(dialog, L"127.0.0.1", std::to_wstring(server.port()), L"ruser", L"rpass");
    ASSERT_TRUE(gui::PressButton(dialog, IDOK));
    ASSERT_EQ(program_.Wait(10000), std::optional<DWORD>(IDOK));

    RunningProgram report;
    ASSERT_TRUE(report.Start(Command(L" --report")));
    EXPECT_EQ(report.Wait(60000), std::optional<DWORD>(0));
    bool authorised = false;
    for (const auto& request : server.Requests()) {
        const auto header = request.Header("Proxy-Authorization");
        authorised = authorised || (header && *header == "Basic cnVzZXI6cnBhc3M=" &&
                                    request.target.rfind("http://research.", 0) == 0);
    }
    EXPECT_TRUE(authorised);

    // A wrong password is refused by the proxy: the report is not taken.
    dialog = Open();
    ASSERT_NE(dialog, nullptr);
    gui::SetText(gui::FindChild(dialog, ui::kProxyPasswordId), L"wrong");
    ASSERT_TRUE(gui::PressButton(dialog, IDOK));
    ASSERT_EQ(program_.Wait(10000), std::optional<DWORD>(IDOK));
    ASSERT_TRUE(report.Start(Command(L" --report")));
    EXPECT_EQ(report.Wait(60000), std::optional<DWORD>(1));
}

}  // namespace
}  // namespace olvex
