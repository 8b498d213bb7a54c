// The Prevalence Research dialog of Gorsewatch5.exe (configuration page,
// Prevalence Options) under Wine: the consent box stored by Close and not by
// Esc, the eight links opening the URL table's web addresses or the built-in
// ones (seen through the prefix's browser, a recording script), and the hand
// cursor over the links.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/common/scrambled_file.h"
#include "client/main/main_test_support.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kPrevalenceTitle[] = L"Kelvan Gorsewatch -- Prevalence Research";
constexpr int kPrevalenceLink = 1040;
constexpr int kAgree = 1121;
// The links in the order of the dialog.
constexpr int kLinks[] = {1126, 1127, 1129, 1130, 1132, 1133, 1137, 1135};

class PrevalenceTest : public ::testing::Test {
  protected:
    void StartProgram() {
        ASSERT_TRUE(program_.Start(install_));
        ASSERT_NE(program_.WaitForMainWindow(), nullptr);
        ASSERT_TRUE(program_.WaitUntilIdle());
        gui::SendWindowMessage(program_.main_window(), 1028, 3, 0);
    }
    HWND OpenDialog() {
        if (!gui::ClickControl(program_.PageControl(kPrevalenceLink)))
            return nullptr;
        return FindShownWindow(kPrevalenceTitle, program_.id(), 30000);
    }
    static void Served(HWND dialog) {
        for (int round = 0; round < 2; ++round) {
            gui::SendWindowMessage(dialog, WM_NULL, 0, 0);
            Sleep(100);
        }
    }
    static bool SettingIs(const std::string& line) {
        return gui::WaitUntil(
            [&] { return ReadText(SettingsFile()).find(line) != std::string::npos; }, 10000);
    }

    TestInstall install_;
    Gorsewatch5Process program_;
};

TEST_F(PrevalenceTest, CloseStoresTheConsentAndEscStoresNothing) {
    WriteText(SettingsFile(), "prevresearch=1\r\n");
    StartProgram();
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    ScreenshotWhenDrawn(dialog, "prevalence-opened");
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, kAgree)), 1);
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kAgree)));
    Served(dialog);
    ASSERT_TRUE(PressDialogButton(dialog, IDOK));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(SettingIs("prevresearch=0")) << ReadText(SettingsFile());

    dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, kAgree)), 0);
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kAgree)));
    Served(dialog);
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, kAgree)), 1);
    gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    // The page writes the settings all the same, with the value unchanged.
    Sleep(500);
    EXPECT_TRUE(SettingIs("prevresearch=0")) << ReadText(SettingsFile());
    EXPECT_TRUE(program_.Close());
}

TEST_F(PrevalenceTest, LinksOpenTheTablesAddressesElseTheBuiltInOnes) {
    const std::wstring url_log = gui::Environment(L"OLVEX_URL_LOG");
    ASSERT_FALSE(url_log.empty());
    std::error_code ignored;
    fs::remove(fs::path(url_log), ignored);
    // No entry for the graph; the statistics entry names no web page.
    const std::string table =
        "QZEMERGING_URL=http://stats.example.org/emerging\r\n"
        "QZFASTEST_URL=http://stats.example.org/fastest\r\n"
        "PRMOSTPREVALENTPESTS_URL=https://stats.example.org/common\r\n"
        "PRTOPTENPESTS_URL=http://stats.example.org/top-ten\r\n"
        "PRMOSTPREVALENTTYPES_URL=http://stats.example.org/types\r\n"
        "PRTOPTENPESTSTYPES_URL=http://stats.example.org/top-ten-types\r\n"
        "PRSTATS_URL=C:\\windows\\notepad.exe\r\n";
    ASSERT_EQ(WriteScrambledFile(
                  (install_.folder() / "URLs.ini").string(),
                  std::span(reinterpret_cast<const std::uint8_t*>(table.data()), table.size())),
              ScrambledError::kNone);
    StartProgram();
    const HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    const std::vector<std::string> expected = {
        "http://stats.example.org/emerging",
        "http://stats.example.org/fastest",
        "https://stats.example.org/common",
        "http://stats.example.org/top-ten",
        "http://stats.example.org/types",
        "http://stats.example.org/top-ten-types",
        "http://research.example.org/graphs/PrevalenceForm.jsp",
        "http://www.example.com/Support/Stats/Research/index.asp",
    };
    std::vector<std::string> so_far;
    for (std::size_t i = 0; i < std::size(kLinks); ++i) {
        SCOPED_TRACE(kLinks[i]);
        ASSERT_TRUE(gui::ClickControl(GetDlgItem(dialog, kLinks[i])));
        so_far.push_back(expected[i]);
        EXPECT_TRUE(gui::WaitUntil([&] { return gui::ReadLines(url_log) == so_far; }, 10000))
            << ReadText(fs::path(url_log));
    }
    EXPECT_EQ(gui::FindTopLevelWindow({.title = L"Untitled - Notepad"}, 500), nullptr);

    // The hand over a link, the arrow elsewhere.
    const HCURSOR arrow = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    const auto cursor_over = [&](HWND control) {
        RECT rect{};
        GetWindowRect(control, &rect);
        SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        gui::SendWindowMessage(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        CURSORINFO info{};
        info.cbSize = sizeof(info);
        GetCursorInfo(&info);
        return info.hCursor;
    };
    // The pointer's move reaches the program on its own as well, so a read
    // counts once two in a row agree.
    const auto settled_cursor_over = [&](HWND control) {
        HCURSOR last = cursor_over(control);
        for (int i = 0; i < 50; ++i) {
            const HCURSOR now = cursor_over(control);
            if (now == last) {
                return now;
            }
            last = now;
            Sleep(100);
        }
        return last;
    };
    // (The program's arrow is its own handle: the hand is told apart from it.)
    const HCURSOR hand = settled_cursor_over(GetDlgItem(dialog, 1130));
    EXPECT_NE(hand, arrow);
    const HCURSOR elsewhere = settled_cursor_over(GetDlgItem(dialog, 1113));
    EXPECT_NE(elsewhere, hand);
    EXPECT_TRUE(
        gui::WaitUntil([&] { return cursor_over(GetDlgItem(dialog, 1135)) == hand; }, 5000));
    EXPECT_TRUE(
        gui::WaitUntil([&] { return cursor_over(GetDlgItem(dialog, 1121)) == elsewhere; }, 5000));

    gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program_.Close());
}

}  // namespace
}  // namespace olvex::testing
