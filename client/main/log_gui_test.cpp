// The Log dialog of Gorsewatch5.exe (configuration page, Log) under Wine in
// the test build: the activity log's entries in five columns in file order,
// sorting by time and by text, the saved report in the log's own order, the
// log-size limit, the minimum size, and entries that stay what they were
// when the dialog opened while a scan reads the log again.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "client/main/main_test_support.h"
#include "client/main/test_hooks.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kLogTitle[] = L"Kelvan Gorsewatch -- Log";
constexpr wchar_t kScanTitle[] = L"Kelvan Gorsewatch -- Scan";
constexpr int kLogLink = 1045;
constexpr int kList = 1089;
constexpr int kLimit = 1190;
constexpr int kSaveLog = 1074;

// File order: a new line, one with the same date text a few seconds earlier
// and a comma in its location, an older line (no times, no PVT), and a new
// line without PVT whose pest name holds " , ".
constexpr char kLog[] =
    "12/10/2026-10:00,31295629,987250816,Detected,Zeta Pest,Adware,12,C:\\zeta.exe,7,\r\n"
    "12/10/2026-10:00,31295629,947250816,Quarantined,Alpha Pest,Trojan,13,\"C:\\a,b.exe\",8,\r\n"
    "2026/10/12-09:00:00,Deleted,Beta Pest,Dialer,14,C:\\beta.exe,\r\n"
    "12/10/2026-11:00,31295637,-1717454848,Excluded,\"a , b\",(File/Folder),0,C:\\dir,\r\n";

std::vector<std::wstring> Column(HWND list, int column) {
    std::vector<std::wstring> texts;
    for (const auto& row : gui::ReadListView(list).rows)
        texts.push_back(row.at(static_cast<std::size_t>(column)));
    return texts;
}

std::string WithoutDate(std::string text) {
    const std::string marker = "This report was generated on: ";
    const std::size_t at = text.find(marker);
    if (at != std::string::npos)
        text.erase(at + marker.size(), text.find("\r\n", at) - at - marker.size());
    return text;
}

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEnvironmentVariableW(kTestSaveChoiceVariable, save_choice_.wstring().c_str());
    }
    void TearDown() override { SetEnvironmentVariableW(kTestSaveChoiceVariable, nullptr); }

    HWND OpenLog() {
        if (!program_.Start(install_) || program_.WaitForMainWindow() == nullptr ||
            !program_.WaitUntilIdle())
            return nullptr;
        gui::SendWindowMessage(program_.main_window(), 1028, 3, 0);
        if (!gui::ClickControl(program_.PageControl(kLogLink)))
            return nullptr;
        return FindShownWindow(kLogTitle, program_.id(), 30000);
    }
    static void Served(HWND dialog) {
        for (int round = 0; round < 2; ++round) {
            gui::SendWindowMessage(dialog, WM_NULL, 0, 0);
            Sleep(100);
        }
    }
    bool SaveAndWait(HWND dialog, const fs::path& chosen, const fs::path& written) {
        WriteText(save_choice_, chosen.string());
        if (!gui::ClickButton(GetDlgItem(dialog, kSaveLog)))
            return false;
        const bool saved = gui::WaitUntil([&] { return fs::exists(written); }, 10000);
        Served(dialog);
        return saved;
    }
    void CloseDialog(HWND dialog) {
        gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    }

    TestInstall install_{{.test_build = true}};
    ScratchDir scratch_;
    fs::path save_choice_ = scratch_.path() / "save-choice.txt";
    Gorsewatch5Process program_;
};

TEST_F(LogTest, ListsSortsAndSavesTheEntriesItOpenedWith) {
    WriteText(ProductDataFolder() / "QZv5Log.txt", kLog);
    WriteText(SettingsFile(), "truncate=1\r\n");
    const HWND dialog = OpenLog();
    ASSERT_NE(dialog, nullptr);
    ScreenshotWhenDrawn(dialog, "log-opened");
    const HWND list = GetDlgItem(dialog, kList);

    const gui::ListViewContents contents = gui::ReadListView(list);
    EXPECT_EQ(contents.columns, (std::vector<std::wstring>{L"Date", L"Action", L"Pest Name",
                                                           L"Category", L"Pest Location"}));
    EXPECT_EQ(Column(list, 2),
              (std::vector<std::wstring>{L"Zeta Pest", L"Alpha Pest", L"Beta Pest", L"a , b"}));
    EXPECT_EQ(Column(list, 4), (std::vector<std::wstring>{L"C:\\zeta.exe", L"C:\\a,b.exe",
                                                          L"C:\\beta.exe", L"C:\\dir"}));
    EXPECT_EQ(Column(list, 0)[0], Column(list, 0)[1]);
    // Typing finds a row by its date, as in any list.
    gui::SendWindowMessage(list, WM_CHAR, L'2', 1);
    EXPECT_EQ(gui::ReadListView(list).selected, (std::vector<bool>{false, false, true, false}));

    // Date by the stored time, not by its text.
    ASSERT_TRUE(gui::ClickListViewColumn(list, 0));
    EXPECT_EQ(Column(list, 2),
              (std::vector<std::wstring>{L"Beta Pest", L"Alpha Pest", L"Zeta Pest", L"a , b"}));
    // Action ascending, and the same again on a second click.
    const std::vector<std::wstring> by_action = {L"Deleted", L"Detected", L"Excluded",
                                                 L"Quarantined"};
    ASSERT_TRUE(gui::ClickListViewColumn(list, 1));
    EXPECT_EQ(Column(list, 1), by_action);
    ASSERT_TRUE(gui::ClickListViewColumn(list, 1));
    EXPECT_EQ(Column(list, 1), by_action);

    // A scan asked for meanwhile reads the log again (and adds to it); the
    // dialog keeps what it opened with.
    gui::PostWindowMessage(program_.main_window(), 1027, static_cast<WPARAM>(-1), 515);
    const HWND scan = FindShownWindow(kScanTitle, program_.id(), 60000);
    ASSERT_NE(scan, nullptr);
    const auto completed = program_.AnswerMessage({}, 300000);
    ASSERT_TRUE(completed.has_value());
    gui::PostWindowMessage(scan, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(gui::WaitForWindowGone(scan, 30000));

    // Saved after sorting by name: the log's order all the same; a doubled
    // extension in any case made single.
    ASSERT_TRUE(gui::ClickListViewColumn(list, 2));
    EXPECT_EQ(Column(list, 2).size(), 4u);
    const fs::path report = scratch_.path() / "r.csv";
    ASSERT_TRUE(SaveAndWait(dialog, scratch_.path() / "r.CSV.csv", report));
    EXPECT_EQ(WithoutDate(ReadText(report)),
              ReadText(BuildPath(OLVEX_MAIN_TESTDATA_DIR) / "log-report.csv"));
    EXPECT_FALSE(fs::exists(scratch_.path() / "r.CSV.csv"));

    // The real Save As dialog, driven as a user would.
    fs::remove(save_choice_);
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kSaveLog)));
    const HWND save_as = gui::FindDialog({.title = L"Save As", .process_id = program_.id()}, 20000);
    ASSERT_NE(save_as, nullptr);
    ScreenshotWhenDrawn(save_as, "log-save-as");
    const fs::path typed = scratch_.path() / "typed.csv";
    HWND name = gui::FindChild(save_as, 1148);
    if (name != nullptr && gui::FindChild(name, 1001) != nullptr)
        name = gui::FindChild(name, 1001);
    if (name == nullptr)
        name = gui::FindChild(save_as, 1152);
    ASSERT_NE(name, nullptr);
    ASSERT_TRUE(gui::SetText(name, typed.wstring()));
    ASSERT_TRUE(gui::PressButton(save_as, IDOK));
    EXPECT_TRUE(gui::WaitUntil([&] { return fs::exists(typed); }, 20000));
    EXPECT_EQ(WithoutDate(ReadText(typed)), WithoutDate(ReadText(report)));

    // The limit box reaches the settings file once the dialog has closed.
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, kLimit)), 1);
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kLimit)));
    Served(dialog);

    // Dragged smaller than it opened, it snaps back.
    RECT opened{};
    GetWindowRect(dialog, &opened);
    SetWindowPos(dialog, nullptr, 0, 0, (opened.right - opened.left) / 2,
                 (opened.bottom - opened.top) / 2, SWP_NOMOVE | SWP_NOZORDER);
    Served(dialog);
    RECT snapped{};
    GetWindowRect(dialog, &snapped);
    EXPECT_EQ(snapped.right - snapped.left, opened.right - opened.left);
    EXPECT_EQ(snapped.bottom - snapped.top, opened.bottom - opened.top);
    ScreenshotWhenDrawn(dialog, "log-snapped-back");
    // Larger, the list grows with it.
    SetWindowPos(dialog, nullptr, 0, 0, opened.right - opened.left + 100,
                 opened.bottom - opened.top + 80, SWP_NOMOVE | SWP_NOZORDER);
    Served(dialog);
    ScreenshotWhenDrawn(dialog, "log-enlarged");

    CloseDialog(dialog);
    EXPECT_TRUE(gui::WaitUntil(
        [] { return ReadText(SettingsFile()).find("truncate=0") != std::string::npos; }, 10000))
        << ReadText(SettingsFile());
    EXPECT_TRUE(program_.Close());
}

TEST_F(LogTest, AnEmptyLogHasNothingToSave) {
    const HWND dialog = OpenLog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(gui::ReadListView(GetDlgItem(dialog, kList)).rows.empty());
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kSaveLog)));
    EXPECT_EQ(program_.AnswerMessage("log-empty"), L"No log data found");
    CloseDialog(dialog);
    EXPECT_TRUE(program_.Close());
}

TEST_F(LogTest, ALogOverTheSizeItIsReadAtSaysSoAndTheLimitCanStillBeSet) {
    // Whole lines up to just past 64 MB, the newest of them last.
    const fs::path log = ProductDataFolder() / "QZv5Log.txt";
    {
        const std::string line =
            "12/10/2026-10:00,31295629,987250816,Detected,Zeta Pest,Adware,12,C:\\zeta.exe,7,\r\n";
        std::string block;
        while (block.size() < (1u << 20))
            block += line;
        fs::create_directories(log.parent_path());
        std::ofstream out(log, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < 64; ++i)
            out << block;
        out << line;
    }
    ASSERT_GT(fs::file_size(log), 64u << 20);
    WriteText(SettingsFile(), "truncate=0\r\n");
    ASSERT_TRUE(program_.Start(install_));
    ASSERT_NE(program_.WaitForMainWindow(), nullptr);
    ASSERT_TRUE(program_.WaitUntilIdle());
    gui::SendWindowMessage(program_.main_window(), 1028, 3, 0);
    ASSERT_TRUE(gui::ClickControl(program_.PageControl(kLogLink)));
    const auto told = program_.AnswerMessage("log-too-large");
    ASSERT_TRUE(told.has_value());
    EXPECT_EQ(*told,
              L"The activity log " + log.wstring() + L" is larger than 64 MB and cannot be shown.");
    // The list is empty, and the limit that would shorten the log is there.
    const HWND dialog = FindShownWindow(kLogTitle, program_.id(), 30000);
    ASSERT_NE(dialog, nullptr);
    ScreenshotWhenDrawn(dialog, "log-too-large-dialog");
    EXPECT_TRUE(gui::ReadListView(GetDlgItem(dialog, kList)).rows.empty());
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kLimit)));
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, kLimit)), 0);
    CloseDialog(dialog);
    EXPECT_TRUE(program_.Close());
    // Reading it changed nothing.
    EXPECT_GT(fs::file_size(log), 64u << 20);
}

TEST_F(LogTest, WithLimitedRightsTheLimitShowsButCannotChange) {
    WriteText(SettingsFile(), "truncate=1\r\n");
    const ProgramKeyReadOnly read_only;
    ASSERT_TRUE(read_only.applied());
    ASSERT_TRUE(program_.Start(install_));
    ASSERT_TRUE(program_.AnswerMessage().has_value());  // the limited-rights notice
    ASSERT_NE(program_.WaitForMainWindow(), nullptr);
    ASSERT_TRUE(program_.WaitUntilIdle());
    gui::SendWindowMessage(program_.main_window(), 1028, 3, 0);
    ASSERT_TRUE(gui::ClickControl(program_.PageControl(kLogLink)));
    const HWND dialog = FindShownWindow(kLogTitle, program_.id(), 30000);
    ASSERT_NE(dialog, nullptr);
    ScreenshotWhenDrawn(dialog, "log-limited-rights");
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, kLimit)), 1);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kLimit)));
    CloseDialog(dialog);
    EXPECT_TRUE(program_.Close());
}

}  // namespace
}  // namespace olvex::testing
