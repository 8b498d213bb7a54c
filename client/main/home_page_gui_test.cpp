// The home page of Gorsewatch5.exe under Wine with the real engine: the
// protection status as the background protection comes and goes and its
// settings change, the last update line from the update history, and the
// three web links through the URL table to the prefix's URL recorder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/common/scrambled_file.h"
#include "client/main/main_test_support.h"

namespace olvex::testing {
namespace {

constexpr int kStatus = 1001;
constexpr int kLastUpdate = 1012;
constexpr wchar_t kStopped[] = L"Stopped";
constexpr wchar_t kProtecting[] = L"Protecting your computer";
constexpr wchar_t kNotProtecting[] = L"Active Protection is not protecting your computer.";
constexpr wchar_t kLastUpdateCaption[] = L"Your last update was on: ";

fs::path ProtectionSettingsFile() {
    return ProductDataFolder() / "qzad.ini";
}
fs::path UpdateHistoryFile() {
    return ProductDataFolder() / "qzupdateshistory.txt";
}

void WriteProtectionSettings(bool memory, bool cookies) {
    WriteText(ProtectionSettingsFile(), std::string("mem=") + (memory ? "on" : "off") +
                                            "\r\ncookies=" + (cookies ? "on" : "off") +
                                            "\r\nheur=off\r\nonboot=on\r\n");
}

// The background protection, as far as the main program sees it: the
// holder of its single-instance mutex.
bool StartBackgroundProtection(gui::RunningProgram& holder) {
    return gui::StartWhenReady(holder, gui::Quote(gui::GuiProgramPath(L"mutex_holder.exe")) +
                                           L" WakenorMAINAPP --seconds 120");
}

class HomePageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::error_code ignored;
        fs::remove(ProtectionSettingsFile(), ignored);
    }

    // Starts the program and waits until its start-up is over.
    void StartProgram() {
        ASSERT_TRUE(program_.Start(install_));
        frame_ = program_.WaitForMainWindow();
        ASSERT_NE(frame_, nullptr);
        ASSERT_TRUE(program_.WaitUntilIdle());
    }

    bool StatusBecomes(const std::wstring& text, DWORD timeout_ms = 1000) const {
        return gui::WaitUntil([&] { return gui::GetText(program_.PageControl(kStatus)) == text; },
                              timeout_ms);
    }
    std::wstring Status() const { return gui::GetText(program_.PageControl(kStatus)); }

    // Shows another page and the home page again: the page reads the update
    // history each time it shows.
    void ShowHomePageAgain() const {
        gui::SendWindowMessage(frame_, 1028, 2, 0);
        gui::SendWindowMessage(frame_, 1028, 1, 0);
    }

    TestInstall install_;
    Gorsewatch5Process program_;
    HWND frame_ = nullptr;
};

TEST_F(HomePageTest, StatusFollowsTheBackgroundProtectionAndItsSettings) {
    StartProgram();
    EXPECT_TRUE(StatusBecomes(kStopped)) << Status();
    ScreenshotWhenDrawn(frame_, "home-page-stopped");

    WriteProtectionSettings(true, false);
    {
        gui::RunningProgram protection;
        ASSERT_TRUE(StartBackgroundProtection(protection));
        EXPECT_TRUE(StatusBecomes(kProtecting)) << Status();
        ScreenshotWhenDrawn(frame_, "home-page-protecting");

        WriteProtectionSettings(false, true);
        gui::WaitUntil([] { return false; }, 600);
        EXPECT_EQ(Status(), kProtecting);

        WriteProtectionSettings(false, false);
        EXPECT_TRUE(StatusBecomes(kNotProtecting)) << Status();
        ScreenshotWhenDrawn(frame_, "home-page-not-protecting");
    }
    // The holder ended: its mutex went with it.
    EXPECT_TRUE(StatusBecomes(kStopped)) << Status();

    // No settings file: the defaults (both protections off), and the page
    // makes neither the file nor anything else.
    std::error_code ignored;
    fs::remove(ProtectionSettingsFile(), ignored);
    gui::RunningProgram protection;
    ASSERT_TRUE(StartBackgroundProtection(protection));
    EXPECT_TRUE(StatusBecomes(kNotProtecting)) << Status();
    gui::WaitUntil([] { return false; }, 1000);
    EXPECT_FALSE(fs::exists(ProtectionSettingsFile()));
    protection.End();
    EXPECT_TRUE(StatusBecomes(kStopped)) << Status();
    EXPECT_TRUE(program_.Close());
}

TEST_F(HomePageTest, NoSettingsFolderIsMadeForTheStatus) {
    // The product's data folder is made by the start-up; taken away again
    // while the program runs, the status timer does not make it back.
    StartProgram();
    gui::RunningProgram protection;
    ASSERT_TRUE(StartBackgroundProtection(protection));
    const fs::path company = ProductDataFolder().parent_path();
    const fs::path moved = company.parent_path() / "XJ-moved-by-test";
    std::error_code ignored;
    fs::remove_all(moved, ignored);
    fs::rename(company, moved);
    EXPECT_TRUE(StatusBecomes(kNotProtecting)) << Status();
    gui::WaitUntil([] { return false; }, 1000);
    EXPECT_FALSE(fs::exists(company));
    protection.End();
    // Back before the program ends: it saves its settings there.
    fs::remove_all(company, ignored);
    fs::rename(moved, company);
    EXPECT_TRUE(program_.Close());
}

TEST_F(HomePageTest, LastUpdateLineComesFromTheHistorysFirstLine) {
    WriteText(UpdateHistoryFile(), "12/10/2026-10:15:00 AM\r\n11/30/2026-09:00:00 AM\r\n");
    StartProgram();
    EXPECT_EQ(gui::GetText(program_.PageControl(kLastUpdate)),
              std::wstring(kLastUpdateCaption) + L"12/10/2026-10:15:00 AM");

    // An empty history: the caption alone.
    WriteText(UpdateHistoryFile(), "");
    ShowHomePageAgain();
    EXPECT_EQ(gui::GetText(program_.PageControl(kLastUpdate)), kLastUpdateCaption);

    // No history: it is made empty, and the caption stands alone.
    WriteText(UpdateHistoryFile(), "01/02/2026-03:04:05 AM\r\n");
    ShowHomePageAgain();
    EXPECT_EQ(gui::GetText(program_.PageControl(kLastUpdate)),
              std::wstring(kLastUpdateCaption) + L"01/02/2026-03:04:05 AM");
    fs::remove(UpdateHistoryFile());
    ShowHomePageAgain();
    EXPECT_EQ(gui::GetText(program_.PageControl(kLastUpdate)), kLastUpdateCaption);
    ASSERT_TRUE(fs::exists(UpdateHistoryFile()));
    EXPECT_EQ(fs::file_size(UpdateHistoryFile()), 0u);
    EXPECT_TRUE(program_.Close());
}

TEST(HomePageHelpTest, TheHelpFileIsInstalledWithTheProgram) {
    const TestInstall install({.help_file = true});
    EXPECT_EQ(ReadText(install.folder() / "KvQZHelp.chm").substr(0, 4), "ITSF");
}

TEST_F(HomePageTest, LinksOpenTheTablesWebAddressesElseTheBuiltInOnes) {
    const std::wstring url_log = gui::Environment(L"OLVEX_URL_LOG");
    ASSERT_FALSE(url_log.empty());
    std::error_code ignored;
    fs::remove(fs::path(url_log), ignored);
    // Support from the table; the research centre's entry names a program
    // (the built-in page opens, nothing starts); no entry for the home page.
    const std::string table =
        "QZSUPPORT_URL=https://support.example.org/kelvan  \r\n"
        "KXRHOME_URL=C:\\windows\\notepad.exe\r\n"
        "QZTOUR_URL=http://tour.example.org/\r\n";
    ASSERT_EQ(WriteScrambledFile(
                  (install_.folder() / "URLs.ini").string(),
                  std::span(reinterpret_cast<const std::uint8_t*>(table.data()), table.size())),
              ScrambledError::kNone);
    StartProgram();
    const std::vector<std::string> expected = {"https://support.example.org/kelvan",
                                               "http://www.example.com/research/",
                                               "http://www.example.com/"};
    std::vector<std::string> so_far;
    for (std::size_t i = 0; i < 3; ++i) {
        const int link = 1007 + static_cast<int>(i == 0 ? 0 : i == 1 ? 1 : 3);
        SCOPED_TRACE(link);
        ASSERT_TRUE(gui::ClickControl(program_.PageControl(link)));
        so_far.push_back(expected[i]);
        EXPECT_TRUE(gui::WaitUntil([&] { return gui::ReadLines(url_log) == so_far; }, 10000))
            << ReadText(fs::path(url_log));
    }
    EXPECT_EQ(gui::FindTopLevelWindow({.title = L"Untitled - Notepad"}, 500), nullptr);
    ScreenshotWhenDrawn(frame_, "home-page-after-links");
    EXPECT_TRUE(program_.Close());
}

}  // namespace
}  // namespace olvex::testing
