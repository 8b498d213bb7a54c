// The protection program's alerts, scan reminder and log viewer under Wine
// on a virtual desktop, shown by WakenorDialogHost.exe from the program's own
// sources and resources and driven from outside: where they stand, what they
// say, what their buttons answer, how the reminder reaches the main program
// and the log viewer sorts. Also: dates the user's locale writes read back.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/common/activity_log.h"
#include "client/protect/protection_test_support.h"
#include "client/protect/wakenor_resources.h"

namespace olvex::protect::testing {
namespace {

using namespace olvex::gui;

constexpr DWORD kFirstStartMs = 120000;
constexpr DWORD kWaitMs = 20000;
constexpr UINT kQueryCursor = WM_APP + 1;
constexpr wchar_t kLogTitle[] = L"Kelvan Gorsewatch Active Protection -- Log";

RECT DesktopRect() {
    RECT rect{};
    GetClientRect(GetDesktopWindow(), &rect);
    return rect;
}

std::string SizeName() {
    const RECT desktop = DesktopRect();
    return std::to_string(desktop.right) + "x" + std::to_string(desktop.bottom);
}

class DialogHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        install_ = scratch_.path() / "Kelvan Gorsewatch";
        fs::create_directories(install_);
    }

    void TearDown() override { host_.End(); }

    void StartHost(const std::wstring& arguments) {
        host_.End();
        ASSERT_TRUE(host_.Start(Quote(WindowsPath(OLVEX_DIALOG_HOST)) + L" --install " +
                                Quote(install_.wstring()) + L" " + arguments));
    }

    // The host's dialog with the control; the first one waits for the desktop.
    HWND WaitForDialog(int control_id) {
        return FindDialogWithControl(host_.id(), control_id, kFirstStartMs);
    }

    std::optional<DWORD> Result() { return host_.Wait(kWaitMs); }

    bool FlushInTheCorner(HWND dialog) const {
        const RECT rect = WindowRectOf(dialog);
        const RECT desktop = DesktopRect();
        return rect.right == desktop.right && rect.bottom == desktop.bottom;
    }

    // Whether the host shows the cursor (1 the link hand, 2 the arrow) with
    // the mouse over the control: the dialog handles WM_SETCURSOR as a move
    // of the mouse makes it. The pointer reaches the other program a moment
    // later, so the question is asked until the answer comes or time is up.
    bool CursorOver(HWND dialog, HWND control, LRESULT cursor) const {
        const RECT rect = WindowRectOf(control);
        SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        const HWND probe = FindWindowExW(HWND_MESSAGE, nullptr, L"WakenorDialogHostProbe", nullptr);
        return probe != nullptr &&
               WaitUntil(
                   [&] {
                       SendWindowMessage(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
                       return SendWindowMessage(probe, kQueryCursor, 0, 0).result == cursor;
                   },
                   5000, 100);
    }

    olvex::testing::ScratchDir scratch_;
    fs::path install_;
    RunningProgram host_;
};

TEST_F(DialogHostTest,
       AlertsStandFlushInTheCornerWhateverTheScreensSizeAndAnswerAsTheirCallersRead) {
    const std::wstring name = L"Adware.Test & Co";
    const std::wstring location = L"File \"C:\\Program Files\\Test Pest\\pest.exe\"";
    // A word of the command line with its quotes escaped.
    const auto word = [](std::wstring text) {
        for (std::size_t at = 0; (at = text.find(L'"', at)) != std::wstring::npos; at += 2)
            text.insert(at, 1, L'\\');
        return Quote(text);
    };
    struct Step {
        const char* shot;
        std::wstring command;
        int control;  // finds the dialog
        int press;    // 0: Escape
        DWORD result;
    };
    const std::vector<std::pair<int, int>> sizes = {{1024, 768}, {800, 600}};
    for (const auto& [width, height] : sizes) {
        ASSERT_TRUE(ResizeScreen(width, height));
        ASSERT_TRUE(WaitUntil([&] { return DesktopRect().right == width; }, kWaitMs));
        const bool first = width == 1024;
        const std::vector<Step> steps = {
            {"pest-found", L"pest-found " + word(name) + L" " + word(location), IDC_PEST_NAME,
             first ? IDOK : IDCANCEL, first ? 1u : 2u},
            {"pest-found-user", L"pest-found-user " + word(name) + L" " + word(location),
             IDC_PEST_NAME, IDCANCEL, 2u},
            {"scan-advice", L"scan-advice", IDOK, first ? IDOK : IDCANCEL, first ? 1u : 2u},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(std::string(step.shot) + " at " + SizeName());
            StartHost(step.command);
            const HWND dialog = WaitForDialog(step.control);
            ASSERT_NE(dialog, nullptr);
            EXPECT_TRUE(FlushInTheCorner(dialog));
            EXPECT_EQ(GetText(dialog), L"") << "no caption";
            if (step.control == IDC_PEST_NAME) {
                EXPECT_EQ(GetText(FindChild(dialog, IDC_PEST_NAME)), name);
                EXPECT_EQ(GetText(FindChild(dialog, IDC_PEST_LOCATION)), location);
            }
            EXPECT_FALSE(Shot(dialog, std::string(step.shot) + "-" + SizeName()).empty());
            ASSERT_TRUE(PressButton(dialog, step.press));
            EXPECT_EQ(Result(), step.result);
        }
    }
    // Escape on the alert for users with rights answers Cancel: its caller
    // excludes the pest.
    StartHost(L"pest-found " + word(name) + L" " + word(location));
    const HWND dialog = WaitForDialog(IDC_PEST_NAME);
    ASSERT_NE(dialog, nullptr);
    PostWindowMessage(FindChild(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_EQ(Result(), 2u);

    // The alert for other users: its "Ok" is hidden, its visible OK cancels.
    StartHost(L"pest-found-user " + word(name) + L" " + word(location));
    const HWND user = WaitForDialog(IDC_PEST_NAME);
    ASSERT_NE(user, nullptr);
    EXPECT_FALSE(IsWindowVisible(FindChild(user, IDOK)));
    EXPECT_FALSE(IsWindowEnabled(FindChild(user, IDOK)));
    EXPECT_EQ(GetText(FindChild(user, IDCANCEL)), L"OK");
    PressButton(user, IDCANCEL);
    EXPECT_EQ(Result(), 2u);
    ASSERT_TRUE(ResizeScreen(1024, 768));
}

TEST_F(DialogHostTest, ReminderScanNowAsksTheMainProgramOrStartsItAndKeepsOutOfARunningScan) {
    const fs::path log = scratch_.path() / "main-window.log";
    RunningProgram main_window;
    ASSERT_TRUE(StartWhenReady(main_window, Quote(GuiProgramPath(L"stand_in.exe")) +
                                                L" --title \"Kelvan Gorsewatch by Brackwith\""
                                                L" --log " +
                                                Quote(log.wstring())));
    StartHost(L"reminder");
    HWND reminder = WaitForDialog(IDC_SCAN_NOW);
    ASSERT_NE(reminder, nullptr);
    EXPECT_TRUE(FlushInTheCorner(reminder));
    EXPECT_EQ(GetText(FindChild(reminder, IDC_DISABLE_REMINDER)), L"Disable this message.");
    EXPECT_FALSE(Shot(reminder, "reminder").empty());
    // The hand shows over the link only.
    EXPECT_TRUE(CursorOver(reminder, FindChild(reminder, IDC_DISABLE_REMINDER), 1));
    EXPECT_TRUE(CursorOver(reminder, FindChild(reminder, IDC_SCAN_NOW), 2));
    EXPECT_TRUE(CursorOver(reminder, FindChild(reminder, IDC_REMINDER_PICTURE), 2));
    EXPECT_TRUE(CursorOver(reminder, FindChild(reminder, IDC_DISABLE_REMINDER), 1));

    {
        // A scan or clean runs: Scan Now does nothing.
        RunningProgram activity;
        ASSERT_TRUE(StartWhenReady(
            activity, Quote(GuiProgramPath(L"mutex_holder.exe")) + L" GorsewatchV5PestActivity"));
        ASSERT_TRUE(ClickButton(FindChild(reminder, IDC_SCAN_NOW)));
        Sleep(1000);
        EXPECT_TRUE(IsWindow(reminder));
        EXPECT_TRUE(LoggedMessages(log, 1027).empty());
    }
    ASSERT_TRUE(ClickButton(FindChild(reminder, IDC_SCAN_NOW)));
    EXPECT_EQ(Result(), 1u) << "the reminder closes once the scan is asked for";
    ASSERT_TRUE(WaitUntil([&] { return !LoggedMessages(log, 1027).empty(); }, kWaitMs));
    const auto scan = LoggedMessages(log, 1027);
    ASSERT_EQ(scan.size(), 1u);
    EXPECT_EQ(static_cast<std::uint32_t>(scan[0].wparam), 0xFFFFFFFFu);
    EXPECT_EQ(scan[0].lparam, 515);
    main_window.End();
    ASSERT_TRUE(WaitForNoWindow({.title = kMainTitle}, kWaitMs));

    // No main program running: Gorsewatch5.exe is started and asked.
    const fs::path started_log = InstallMainProgramStandIn(install_);
    StartHost(L"reminder");
    reminder = WaitForDialog(IDC_SCAN_NOW);
    ASSERT_NE(reminder, nullptr);
    ASSERT_TRUE(ClickButton(FindChild(reminder, IDC_SCAN_NOW)));
    EXPECT_EQ(Result(), 1u);
    EXPECT_TRUE(Started(started_log));
    ASSERT_TRUE(WaitUntil([&] { return !LoggedMessages(started_log, 1027).empty(); }, kWaitMs));
    EXPECT_EQ(LoggedMessages(started_log, 1027)[0].lparam, 515);
    if (const HWND started = FindTopLevelWindow({.title = kMainTitle}))
        PostWindowMessage(started, WM_CLOSE, 0, 0);

    // Later closes it.
    StartHost(L"reminder");
    reminder = WaitForDialog(IDC_SCAN_LATER);
    ASSERT_NE(reminder, nullptr);
    ASSERT_TRUE(ClickButton(FindChild(reminder, IDC_SCAN_LATER)));
    EXPECT_EQ(Result(), 1u);
}

TEST_F(DialogHostTest, ReminderLinkOpensTheTablesAddressOrTheBuiltInOne) {
    const UrlLog urls;
    WriteUrlTable(install_ / "URLs.ini",
                  "XJHOME_URL=http://home.example/\r\n"
                  "STOP_SCANREMINDER_URL=http://stop.reminder.test.example/\r\n");
    for (const char* expected : {"http://stop.reminder.test.example/",
                                 "http://www.kelvangorsewatch.example/scanreminder/stop.html"}) {
        SCOPED_TRACE(expected);
        StartHost(L"reminder");
        const HWND reminder = WaitForDialog(IDC_DISABLE_REMINDER);
        ASSERT_NE(reminder, nullptr);
        ASSERT_TRUE(ClickControl(FindChild(reminder, IDC_DISABLE_REMINDER)));
        EXPECT_EQ(Result(), 1u);
        EXPECT_TRUE(urls.WaitFor(expected, kWaitMs));
        fs::remove(install_ / "URLs.ini");
    }
}

// Four entries whose date texts sort the other way round from their times.
std::string FixtureLog() {
    const struct {
        const char* text;
        std::uint64_t time;
        const char* action;
        const char* name;
        const char* category;
    } entries[] = {
        {"9/9/2006-9:00:00 AM", 0x01C6D40000000300ull, "Deleted", "Beta", "Trojan"},
        {"10/1/2006-8:00:00 AM", 0x01C6D40000000100ull, "Detected", "Delta", "Adware"},
        {"1/1/2006-7:00:00 AM", 0x01C6D40000000400ull, "Quarantined", "Alpha", "Dialer"},
        {"12/12/2006-6:00:00 AM", 0x01C6D40000000200ull, "Excluded", "Gamma", "Adware"},
    };
    std::string text;
    for (const auto& e : entries) {
        ActivityLogEntry entry;
        entry.date_time = e.text;
        entry.time = e.time;
        entry.action = e.action;
        entry.pest_name = e.name;
        entry.category = e.category;
        entry.pest_id = 7;
        entry.location = std::string("File \"C:\\Pests\\") + e.name + ".exe\"";
        entry.pvt = 1;
        text += FormatActivityLogLine(entry);
    }
    return text;
}

std::vector<std::wstring> Column(const ListViewContents& list, std::size_t column) {
    std::vector<std::wstring> texts;
    for (const auto& row : list.rows)
        texts.push_back(row.size() > column ? row[column] : L"");
    return texts;
}

TEST_F(DialogHostTest, LogViewerSortsByTimeOrTextAndKeepsItsOpeningSize) {
    const fs::path log = scratch_.path() / "QZv5Log.txt";
    WriteText(log, FixtureLog());
    StartHost(L"log " + Quote(log.wstring()));
    const HWND viewer =
        FindTopLevelWindow({.title = kLogTitle, .process_id = host_.id()}, kFirstStartMs);
    ASSERT_NE(viewer, nullptr);
    const HWND list = FindChild(viewer, IDC_LOG_LIST);
    auto shown = ReadListView(list);
    EXPECT_EQ(shown.columns, (std::vector<std::wstring>{L"Date", L"Action", L"Pest Name",
                                                        L"Category", L"Pest Location"}));
    EXPECT_EQ(Column(shown, 2), (std::vector<std::wstring>{L"Beta", L"Delta", L"Alpha", L"Gamma"}))
        << "in the file's order";
    EXPECT_EQ(shown.rows[0][4], L"File \"C:\\Pests\\Beta.exe\"");
    EXPECT_FALSE(IsWindowVisible(FindChild(viewer, IDCANCEL)));
    const std::vector<std::wstring> by_time = {L"Delta", L"Gamma", L"Beta", L"Alpha"};
    for (int click = 0; click < 2; ++click) {
        ASSERT_TRUE(ClickListViewColumn(list, 0));
        EXPECT_EQ(Column(ReadListView(list), 2), by_time) << "click " << click;
    }
    ASSERT_TRUE(ClickListViewColumn(list, 1));
    EXPECT_EQ(Column(ReadListView(list), 1),
              (std::vector<std::wstring>{L"Deleted", L"Detected", L"Excluded", L"Quarantined"}));
    ASSERT_TRUE(ClickListViewColumn(list, 3));
    EXPECT_EQ(Column(ReadListView(list), 3),
              (std::vector<std::wstring>{L"Adware", L"Adware", L"Dialer", L"Trojan"}));
    EXPECT_FALSE(Shot(viewer, "log-viewer").empty());

    // Shrinking below the opening size snaps back; growing moves OK down and
    // grows the list.
    const RECT opening = WindowRectOf(viewer);
    const int width = opening.right - opening.left;
    const int height = opening.bottom - opening.top;
    SetWindowPos(viewer, nullptr, 0, 0, width - 120, height - 80,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(WaitUntil(
        [&] {
            const RECT now = WindowRectOf(viewer);
            return now.right - now.left == width && now.bottom - now.top == height;
        },
        kWaitMs));
    const RECT ok_before = RectIn(FindChild(viewer, IDOK), viewer);
    const RECT list_before = RectIn(list, viewer);
    SetWindowPos(viewer, nullptr, 0, 0, width + 100, height + 50,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(
        WaitUntil([&] { return RectIn(FindChild(viewer, IDOK), viewer).top == ok_before.top + 50; },
                  kWaitMs));
    const RECT list_after = RectIn(list, viewer);
    EXPECT_EQ(list_after.right - list_after.left, list_before.right - list_before.left + 100);
    EXPECT_EQ(list_after.bottom - list_after.top, list_before.bottom - list_before.top + 50);
    ASSERT_TRUE(PressButton(viewer, IDOK));
    EXPECT_EQ(Result(), static_cast<DWORD>(IDOK));
}

TEST_F(DialogHostTest, LogViewerOpensEmptyOnAnEmptyOrLockedLog) {
    const fs::path log = scratch_.path() / "QZv5Log.txt";
    WriteText(log, "");
    StartHost(L"log " + Quote(log.wstring()));
    HWND viewer = FindTopLevelWindow({.title = kLogTitle, .process_id = host_.id()}, kFirstStartMs);
    ASSERT_NE(viewer, nullptr);
    auto shown = ReadListView(FindChild(viewer, IDC_LOG_LIST));
    EXPECT_EQ(shown.columns.size(), 5u);
    EXPECT_TRUE(shown.rows.empty());
    PressButton(viewer, IDOK);
    EXPECT_EQ(Result(), static_cast<DWORD>(IDOK));

    WriteText(log, FixtureLog());
    RunningProgram locker;
    ASSERT_TRUE(StartWhenReady(
        locker, Quote(GuiProgramPath(L"file_locker.exe")) + L" " + Quote(log.wstring())));
    StartHost(L"log " + Quote(log.wstring()));
    viewer = FindTopLevelWindow({.title = kLogTitle, .process_id = host_.id()}, kWaitMs);
    ASSERT_NE(viewer, nullptr);
    shown = ReadListView(FindChild(viewer, IDC_LOG_LIST));
    EXPECT_EQ(shown.columns.size(), 5u);
    EXPECT_TRUE(shown.rows.empty());
    PressButton(viewer, IDOK);
    EXPECT_EQ(Result(), static_cast<DWORD>(IDOK));
}

// Sets values of HKEY_CURRENT_USER\Control Panel\International; the key is
// put back as it was afterwards.
void SetInternational(const std::vector<std::pair<const char*, const char*>>& values) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\International", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, value] : values)
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>(strlen(value) + 1));
    RegCloseKey(key);
}

TEST_F(DialogHostTest, DatesTheUsersLocaleWritesReadBackToTheMinute) {
    const olvex::testing::RegistrySnapshot international(
        HKEY_CURRENT_USER, std::vector<std::wstring>{L"Control Panel\\International"});
    const struct {
        const char* name;
        std::vector<std::pair<const char*, const char*>> values;
    } locales[] = {
        {"German", {{"sShortDate", "dd.MM.yy"}, {"sTimeFormat", "HH:mm:ss"}}},
        {"US 12-hour",
         {{"sShortDate", "M/d/yyyy"},
          {"sTimeFormat", "h:mm:ss tt"},
          {"s1159", "AM"},
          {"s2359", "PM"}}},
        {"two-character separator",
         {{"sShortDate", "d. M. yyyy"}, {"sTimeFormat", "h:mm tt"}, {"s2359", "nachm."}}},
        {"ISO-like", {{"sShortDate", "yyyy-MM-dd"}, {"sTimeFormat", "HH:mm"}}},
    };
    for (const auto& locale : locales) {
        SetInternational(locale.values);
        for (const wchar_t* time :
             {L"2006 4 20 17 5 34", L"2006 12 31 0 30 0", L"2007 1 2 12 1 0"}) {
            const auto run =
                RunForOutput(Quote(WindowsPath(OLVEX_DIALOG_HOST)) + L" date-check " + time);
            EXPECT_TRUE(run.ended);
            EXPECT_EQ(run.exit_code, 0u) << locale.name << ": " << run.output;
        }
    }
}

}  // namespace
}  // namespace olvex::protect::testing
