// Wakenor.exe under Wine on a virtual desktop of its own: installed with the
// engine and definitions the way setup installs them, it lives hidden in the
// notification area, shows its settings, writes "qzad.ini" and the Run
// entry, answers its tray menu, gives way to a running copy and ends when
// told to. The test build (WakenorTestBuild.exe, run as Wakenor.exe) covers
// the start-up waits.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/common/proxy_settings.h"
#include "client/protect/protection_test_support.h"
#include "client/protect/wakenor_test_fixture.h"
#include "client/protect/wakenor_app.h"
#include "client/protect/wakenor_resources.h"
#include "olvex/registration_test_support.h"

namespace olvex::protect::testing {
namespace {

TEST_F(WakenorTest, LivesHiddenInTheTrayAndEndsWhenAnotherProgramClosesIt) {
    ASSERT_TRUE(Start());
    // Watched from the start: the window is never seen on the screen.
    bool ever_visible = false;
    DWORD found_at = 0;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kFirstStartMs) {
        const HWND window =
            FindTopLevelWindow({.title = kProtectionTitle, .process_id = process_id_});
        if (window) {
            ever_visible = ever_visible || IsWindowVisible(window);
            window_ = window;
            if (found_at == 0)
                found_at = GetTickCount();
            if (GetTickCount() - found_at > 1500)
                break;
        }
        Sleep(5);
    }
    ASSERT_NE(window_, nullptr);
    EXPECT_FALSE(ever_visible);
    EXPECT_TRUE(TrayIconExists(window_, 129));
    EXPECT_FALSE(TrayIconExists(window_, 130));
    // A new notification area announces itself; the icon comes back.
    NOTIFYICONDATAW icon{};
    icon.cbSize = NOTIFYICONDATAW_V1_SIZE;
    icon.hWnd = window_;
    icon.uID = 129;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &icon));
    EXPECT_FALSE(TrayIconExists(window_, 129));
    ASSERT_TRUE(
        SendWindowMessage(window_, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0).completed);
    EXPECT_TRUE(TrayIconExists(window_, 129));
    EXPECT_TRUE(MutexExists(kWakenorMutexName));
    EXPECT_TRUE(MutexExists(kRunTagMutexName));
    // No settings file: start with Windows is on, so the Run entry is there.
    const auto run = ReadMachineValue(kRunKey, "KelvanQZAP");
    ASSERT_TRUE(run);
    EXPECT_EQ(run->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(run->text, "\"" + Exe().string() + "\"");
    EXPECT_FALSE(fs::exists(ProductFolder() / "qzad.ini")) << "reading makes no file";

    ASSERT_TRUE(PostWindowMessage(window_, WM_CLOSE, 0, 0));
    EXPECT_TRUE(Ended(kStopMs));
    EXPECT_FALSE(TrayIconExists(window_, 129));
    EXPECT_FALSE(MutexExists(kWakenorMutexName));
    EXPECT_FALSE(fs::exists(ProductFolder() / "qzad.ini")) << "nothing to save at close";
}

TEST_F(WakenorTest, GivesWayToARunningCopyOrEitherStartupMutexWithoutAWord) {
    ASSERT_TRUE(Start());
    ASSERT_NE(WaitForWindow(), nullptr);
    const HANDLE first = process_;
    process_ = nullptr;
    const HWND first_window = window_;

    ASSERT_TRUE(Start());
    EXPECT_TRUE(Ended(kWaitMs)) << "a second copy ends";
    EXPECT_EQ(FindTopLevelWindow({.process_id = process_id_, .visible_only = true}), nullptr);
    EndProgram();
    process_ = first;
    window_ = first_window;
    EndProgram();

    for (const char* held : {kWakenorMutexName, kRunTagMutexName}) {
        SCOPED_TRACE(held);
        RunningProgram holder;
        ASSERT_TRUE(StartWhenReady(holder, Quote(GuiProgramPath(L"mutex_holder.exe")) + L" " +
                                               std::wstring(held, held + strlen(held))));
        ASSERT_TRUE(Start());
        EXPECT_TRUE(Ended(kWaitMs));
        EXPECT_EQ(FindTopLevelWindow({.process_id = process_id_}), nullptr) << "no window, no box";
        EndProgram();
    }
}

TEST_F(WakenorTest, SettingsShowAtHalfTheScreenAndApplyWritesTheFileAndRunEntry) {
    WriteText(ProductFolder() / "qzad.ini", "mem=on\r\ncookies=off\r\nheur=on\r\nonboot=on\r\n");
    WriteMachineValue(kRunKey, "Kelvan Gorsewatch Active Protection", REG_SZ, "old.exe");
    ASSERT_TRUE(Start());
    ASSERT_NE(WaitForWindow(), nullptr);
    EXPECT_FALSE(ReadMachineValue(kRunKey, "Kelvan Gorsewatch Active Protection"))
        << "the older value goes whenever the key is touched";

    ShowSettings();
    const RECT rect = WindowRectOf(window_);
    EXPECT_EQ(rect.left, GetSystemMetrics(SM_CXSCREEN) / 2);
    EXPECT_EQ(rect.top, GetSystemMetrics(SM_CYSCREEN) / 2);
    EXPECT_EQ(GetText(window_), kProtectionTitle);
    EXPECT_TRUE(MutexOwnedElsewhere(kSettingsMutex));
    EXPECT_EQ(Check(IDC_MEMORY), BST_CHECKED);
    EXPECT_EQ(Check(IDC_COOKIES), BST_UNCHECKED);
    EXPECT_EQ(Check(IDC_ON_BOOT), BST_CHECKED);
    EXPECT_EQ(GetText(Item(IDC_STATUS)), L"Active Protection is protecting your computer.");
    EXPECT_FALSE(Enabled(IDC_APPLY)) << "nothing to apply yet";
    EXPECT_FALSE(IsWindowVisible(Item(IDC_VIEW_LOG)));
    EXPECT_FALSE(IsWindowVisible(Item(IDC_PROGRESS)));
    EXPECT_FALSE(Shot(window_, "settings").empty());

    Toggle(IDC_MEMORY);
    Toggle(IDC_ON_BOOT);
    ASSERT_TRUE(ClickButton(Item(IDC_APPLY)));
    ASSERT_TRUE(WaitUntil([&] { return !Enabled(IDC_APPLY); }, kWaitMs));
    EXPECT_EQ(Settings(), "mem=off\r\ncookies=off\r\nheur=on\r\nonboot=off\r\n");
    EXPECT_FALSE(ReadMachineValue(kRunKey, "KelvanQZAP"));
    EXPECT_FALSE(ReadMachineValue(kRunKey, "Kelvan Gorsewatch Active Protection"));
    EXPECT_EQ(GetText(Item(IDC_STATUS)), L"Active Protection is not protecting your computer.");
    EXPECT_FALSE(Enabled(IDC_APPLY));
    EXPECT_FALSE(Enabled(IDC_HIDE));
    EXPECT_FALSE(Shot(window_, "settings-applied").empty());

    Toggle(IDC_ON_BOOT);
    EXPECT_FALSE(Enabled(IDC_HIDE)) << "a change after Apply brings back Apply only";
    ASSERT_TRUE(ClickButton(Item(IDC_SETTINGS_OK)));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window_); }, kWaitMs));
    EXPECT_EQ(Settings(), "mem=off\r\ncookies=off\r\nheur=on\r\nonboot=on\r\n");
    const auto run = ReadMachineValue(kRunKey, "KelvanQZAP");
    ASSERT_TRUE(run);
    EXPECT_EQ(run->text, "\"" + Exe().string() + "\"");
    EXPECT_FALSE(MutexExists(kSettingsMutex)) << "hiding lets go of the settings mutex";
    EXPECT_TRUE(TrayIconExists(window_, 129));

    // Stop: No changes nothing but Apply; Yes ends protection.
    ShowSettings();
    EXPECT_TRUE(Enabled(IDC_HIDE)) << "a new showing starts afresh";
    ASSERT_TRUE(ClickButton(Item(IDC_STOP_NOW)));
    auto answer =
        AnswerDialog({.title = kMessageCaption, .process_id = process_id_}, IDNO, kWaitMs);
    ASSERT_TRUE(answer);
    EXPECT_NE(answer->text.find(L"WARNING! Stopping Active Protection"), std::wstring::npos);
    EXPECT_TRUE(WaitUntil([&] { return Enabled(IDC_APPLY); }, kWaitMs));
    EXPECT_TRUE(Running());
    ASSERT_TRUE(ClickButton(Item(IDC_STOP_NOW)));
    ASSERT_TRUE(
        AnswerDialog({.title = kMessageCaption, .process_id = process_id_}, IDYES, kWaitMs));
    EXPECT_TRUE(Ended(kStopMs));
    EXPECT_FALSE(TrayIconExists(window_, 129));
    EXPECT_FALSE(MutexExists(kSettingsMutex));
    EXPECT_EQ(Settings(), "mem=off\r\ncookies=off\r\nheur=on\r\nonboot=on\r\n");
}

TEST_F(WakenorTest, EveryHideLetsGoOfTheSettingsMutexAndAHolderKeepsThemClosed) {
    ASSERT_TRUE(Start());
    ASSERT_NE(WaitForWindow(), nullptr);

    // The main program's settings starting protection: 1026 with wParam -1.
    ShowSettings();
    const auto hidden = SendWindowMessage(window_, kTrayMessage, static_cast<WPARAM>(-1), 515);
    ASSERT_TRUE(hidden.completed);
    EXPECT_EQ(hidden.result, 1);
    EXPECT_FALSE(IsWindowVisible(window_));
    EXPECT_FALSE(MutexExists(kSettingsMutex));

    // A 32-bit sender's -1, on any message.
    ShowSettings();
    ASSERT_TRUE(SendWindowMessage(window_, WM_APP + 7, 0xFFFFFFFFu, 0).completed);
    EXPECT_FALSE(IsWindowVisible(window_));
    EXPECT_FALSE(MutexExists(kSettingsMutex));

    // Escape, and a minimise that reaches the window anyway.
    ShowSettings();
    PostWindowMessage(Item(IDC_MEMORY), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window_); }, kWaitMs));
    EXPECT_FALSE(MutexExists(kSettingsMutex));
    ShowSettings();
    ASSERT_TRUE(SendWindowMessage(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0).completed);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window_); }, kWaitMs));
    EXPECT_FALSE(MutexExists(kSettingsMutex));

    // Every 1026 is the icon's: a dialog would otherwise take it for
    // DM_REPOSITION and pull a window that reaches past the screen back.
    ShowSettings();
    SetWindowPos(window_, nullptr, 900, 700, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(SendWindowMessage(window_, kTrayMessage, 0, 0).completed);
    EXPECT_EQ(WindowRectOf(window_).left, 900);
    EXPECT_EQ(WindowRectOf(window_).top, 700);
    EXPECT_TRUE(IsWindowVisible(window_));

    // A double-click while it shows them brings them up again, still held.
    ShowSettings();
    ShowSettings();
    EXPECT_TRUE(MutexOwnedElsewhere(kSettingsMutex));
    ASSERT_TRUE(ClickButton(Item(IDC_HIDE)));
    EXPECT_TRUE(WaitUntil([&] { return !MutexExists(kSettingsMutex); }, kWaitMs));

    {
        // The main program's settings are open: a double-click shows nothing;
        // a right click with another icon still opens the menu, a double-click
        // with another icon nothing.
        RunningProgram holder;
        ASSERT_TRUE(StartWhenReady(
            holder, Quote(GuiProgramPath(L"mutex_holder.exe")) + L" QZAPSettingsDialog"));
        ASSERT_TRUE(SendWindowMessage(window_, kTrayMessage, 129, WM_LBUTTONDBLCLK).completed);
        Sleep(500);
        EXPECT_FALSE(IsWindowVisible(window_));
        ASSERT_TRUE(SendWindowMessage(window_, kTrayMessage, 7, WM_LBUTTONDBLCLK).completed);
        EXPECT_FALSE(IsWindowVisible(window_));
        const auto menu = OpenMenu(7);
        ASSERT_TRUE(menu);
        EXPECT_TRUE(ClosePopupMenu(*menu));
        // A holder that ends without letting go leaves the mutex to the next.
        holder.End();
    }
    ShowSettings();
    EXPECT_TRUE(MutexOwnedElsewhere(kSettingsMutex));
}

TEST_F(WakenorTest, TrayMenuOpensTheMainProgramTheHomePageAndStops) {
    ASSERT_TRUE(Start());
    ASSERT_NE(WaitForWindow(), nullptr);
    auto menu = OpenMenu();
    ASSERT_TRUE(menu);
    EXPECT_FALSE(Shot(nullptr, "tray-menu").empty());
    std::vector<std::pair<UINT, std::wstring>> items;
    for (const auto& item : menu->items) {
        items.emplace_back(item.id, item.separator ? L"-" : item.text);
        EXPECT_EQ(item.is_default, item.id == 32773) << item.id;
        if (!item.separator) {
            EXPECT_FALSE(item.grayed) << item.id;
        }
    }
    const std::vector<std::pair<UINT, std::wstring>> expected = {
        {32775, L"Open Kelvan Gorsewatch"},
        {0, L"-"},
        {32776, L"XJ Home"},
        {0, L"-"},
        {32773, L"Configure Active Protection"},
        {32772, L"Configure Proxy"},
        {32774, L"Stop Active Protection"},
    };
    EXPECT_EQ(items, expected);
    ASSERT_TRUE(ClosePopupMenu(*menu));

    // Open with the main program running: it is asked to come to the front.
    {
        const fs::path log = scratch_.path() / "main-window.log";
        RunningProgram main_window;
        ASSERT_TRUE(StartWhenReady(main_window, Quote(GuiProgramPath(L"stand_in.exe")) +
                                                    L" --title \"Kelvan Gorsewatch by Brackwith\""
                                                    L" --log " +
                                                    Quote(log.wstring())));
        Choose(32775);
        EXPECT_TRUE(WaitUntil([&] { return !LoggedMessages(log, 1029).empty(); }, kWaitMs));
        const auto front = LoggedMessages(log, 1029);
        ASSERT_EQ(front.size(), 1u);
        EXPECT_EQ(front[0].wparam, 0);
        EXPECT_EQ(front[0].lparam, 0);
    }
    ASSERT_TRUE(WaitForNoWindow({.title = kMainTitle}, kWaitMs));

    // Without it: Gorsewatch5.exe is started from the install folder and
    // asked once its window is there.
    const fs::path started_log = InstallMainProgramStandIn(install_);
    Choose(32775);
    EXPECT_TRUE(WaitUntil([&] { return !LoggedMessages(started_log, 1029).empty(); }, kWaitMs));
    EXPECT_TRUE(Started(started_log));
    if (const HWND main_window = FindTopLevelWindow({.title = kMainTitle}))
        PostWindowMessage(main_window, WM_CLOSE, 0, 0);

    // The home page: the URL table's address, else the built-in one.
    const UrlLog urls;
    WriteUrlTable(install_ / "URLs.ini",
                  "CORE_UPDATES_URL=http://updates.example/\r\n"
                  "XJHOME_URL=http://home.kelvangorsewatch.test.example/\r\n");
    Choose(32776);
    EXPECT_TRUE(urls.WaitFor("http://home.kelvangorsewatch.test.example/", kWaitMs));
    fs::remove(install_ / "URLs.ini");
    Choose(32776);
    EXPECT_TRUE(urls.WaitFor("http://www.kelvangorsewatch.example/", kWaitMs));

    // A program (or any address that is not a web page) in the table is
    // never handed to the shell: the built-in address opens, nothing runs.
    {
        const fs::path planted = scratch_.path() / "planted.exe";
        fs::copy_file(Narrow(GuiProgramPath(L"stand_in.exe")), planted);
        WriteText(scratch_.path() / "planted.stand-in", "title=Planted by the table\nseconds=30\n");
        const std::string addresses[] = {planted.string(), "file:///" + planted.string(),
                                         "planted.exe"};
        for (const std::string& address : addresses) {
            SCOPED_TRACE(address);
            WriteUrlTable(install_ / "URLs.ini", "XJHOME_URL=" + address + "\r\n");
            const UrlLog opened;
            Choose(32776);
            EXPECT_TRUE(opened.WaitFor("http://www.kelvangorsewatch.example/", kWaitMs));
            EXPECT_EQ(opened.Opened().size(), 1u);
        }
        // A started copy would have logged its start and shown its window.
        Sleep(1000);
        EXPECT_FALSE(fs::exists(scratch_.path() / "planted.log"));
        EXPECT_EQ(FindTopLevelWindow({.title = L"Planted by the table"}), nullptr);
        fs::remove(install_ / "URLs.ini");
    }

    // Configure from the menu shows the settings.
    Choose(32773);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window_) != FALSE; }, kWaitMs));
    ASSERT_TRUE(ClickButton(Item(IDC_HIDE)));

    // Stop, answered Yes: the program ends and its icon goes.
    Choose(32774);
    const auto answer =
        AnswerDialog({.title = kMessageCaption, .process_id = process_id_}, IDYES, kWaitMs);
    ASSERT_TRUE(answer);
    EXPECT_NE(answer->text.find(L"vulnerable to pests"), std::wstring::npos);
    EXPECT_TRUE(Ended(kStopMs));
    EXPECT_FALSE(TrayIconExists(window_, 129));
}

TEST_F(WakenorTest, ProxyCommandEditsTheStoreInTheInstallFolder) {
    ASSERT_TRUE(Start());
    ASSERT_NE(WaitForWindow(), nullptr);
    constexpr wchar_t kProxyTitle[] = L"Kelvan Gorsewatch -- Proxy";
    const auto open = [&] {
        Choose(32772);
        return FindTopLevelWindow({.title = kProxyTitle, .process_id = process_id_}, kWaitMs);
    };
    HWND proxy = open();
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(GetText(FindChild(proxy, 1204)), L"");
    ASSERT_TRUE(SetText(FindChild(proxy, 1204), L"proxy.example"));
    ASSERT_TRUE(SetText(FindChild(proxy, 1206), L"80x"));
    ASSERT_TRUE(PressButton(proxy, IDOK));
    const auto refused =
        AnswerDialog({.title = kMessageCaption, .process_id = process_id_}, IDOK, kWaitMs);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->text, L"A bad port number was specified for the proxy server.");
    ASSERT_TRUE(SetText(FindChild(proxy, 1206), L"3128"));
    EXPECT_FALSE(Shot(proxy, "proxy").empty());
    ASSERT_TRUE(PressButton(proxy, IDOK));
    ASSERT_TRUE(WaitForWindowGone(proxy, kWaitMs));
    ASSERT_TRUE(fs::exists(install_ / "proxyinfo.dat"));
    CProxySettings stored;
    stored.Load(InstallFolder());
    EXPECT_EQ(stored.host(), "proxy.example");
    EXPECT_EQ(stored.port(), 3128);

    // Shown again with what is stored; all fields emptied forget the proxy.
    proxy = open();
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(GetText(FindChild(proxy, 1206)), L"3128");
    ASSERT_TRUE(SetText(FindChild(proxy, 1204), L""));
    ASSERT_TRUE(PressButton(proxy, IDOK));
    ASSERT_TRUE(WaitForWindowGone(proxy, kWaitMs));
    EXPECT_FALSE(fs::exists(install_ / "proxyinfo.dat"));
}

TEST_F(WakenorTest, ProgramSettingsThatCannotBeReadAreReportedUnlessRestricted) {
    const fs::path settings = ProductFolder() / "qzv5exe.ini";
    for (const bool restricted : {false, true}) {
        SCOPED_TRACE(restricted ? "restricted" : "with rights");
        if (restricted)
            fs::create_directories(install_ / "tempa.tmp");
        RunningProgram locker;
        ASSERT_TRUE(StartWhenReady(
            locker, Quote(GuiProgramPath(L"file_locker.exe")) + L" " + Quote(settings.wstring())));
        ASSERT_TRUE(Start());
        if (restricted) {
            ASSERT_TRUE(AnswerDialog({.title = kMessageCaption, .process_id = process_id_}, IDOK,
                                     kFirstStartMs));
        } else {
            // After five tries with growing sleeps between them.
            const auto told = AnswerDialog({.title = kMessageCaption, .process_id = process_id_},
                                           IDOK, kFirstStartMs);
            ASSERT_TRUE(told);
            EXPECT_EQ(
                told->text.rfind(L"Cannot read the settings file " + settings.wstring() + L": ", 0),
                0u)
                << Narrow(told->text);
        }
        ASSERT_NE(WaitForWindow(kWaitMs), nullptr) << "the program goes on";
        EXPECT_EQ(FindTopLevelWindow({.title = kMessageCaption, .process_id = process_id_}),
                  nullptr);
        EndProgram();
    }
}

TEST_F(WakenorTest, RestrictedUserIsToldOnceAndChangesNothing) {
    // Under root every file can be made: a folder of the test file's name
    // keeps it from being made.
    fs::create_directories(install_ / "tempa.tmp");
    WriteText(ProductFolder() / "qzad.ini", "mem=on\r\ncookies=on\r\nheur=off\r\nonboot=on\r\n");
    ASSERT_TRUE(Start());
    const HWND box = WaitForMessageBox(kFirstStartMs);
    ASSERT_NE(box, nullptr);
    const auto shown = ReadDialog(box);
    EXPECT_NE(shown.text.find(L"does not have the required settings to enable Kelvan Gorsewatch"),
              std::wstring::npos)
        << testing::Narrow(shown.text);
    ASSERT_TRUE(PressButton(box, IDOK));
    ASSERT_NE(WaitForWindow(), nullptr);
    Sleep(500);
    EXPECT_EQ(FindTopLevelWindow({.title = kMessageCaption, .process_id = process_id_}), nullptr)
        << "the message comes once";

    ShowSettings();
    for (const int id : {IDC_MEMORY, IDC_COOKIES, IDC_ON_BOOT, IDC_SETTINGS_OK, IDC_APPLY})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Enabled(IDC_STOP_NOW));
    EXPECT_TRUE(Enabled(IDC_HIDE));
    EXPECT_EQ(Check(IDC_MEMORY), BST_CHECKED) << "the settings are shown as read";
    EXPECT_FALSE(Shot(window_, "settings-restricted").empty());
    ASSERT_TRUE(ClickButton(Item(IDC_HIDE)));

    const auto menu = OpenMenu();
    ASSERT_TRUE(menu);
    for (const auto& item : menu->items) {
        if (!item.separator) {
            EXPECT_EQ(item.grayed, item.id == 32772) << item.id;
        }
    }
    ASSERT_TRUE(ClosePopupMenu(*menu));

    WriteText(ProductFolder() / "qzad.ini", "mem=off\r\n");
    ASSERT_TRUE(PostWindowMessage(window_, WM_CLOSE, 0, 0));
    EXPECT_TRUE(Ended(kStopMs));
    EXPECT_EQ(Settings(), "mem=off\r\n") << "nothing is written at close";
}

TEST_F(WakenorTest, TestBuildWithoutAProductKeyWorksInItsStartFolderAfterTheScaledWait) {
    // The folder it starts in has its own URL table, which shows where it
    // works from.
    WriteUrlTable(install_ / "URLs.ini", "XJHOME_URL=http://start.folder.test.example/\r\n");
    const fs::path elsewhere = scratch_.path() / "elsewhere";
    fs::create_directories(elsewhere);
    const StartOptions scaled{true, install_.wstring(), {{L"OLVEX_WAKENOR_TIME_SCALE", L"100"}}};
    for (const bool expandable : {false, true}) {
        SCOPED_TRACE(expandable ? "InstallPath as REG_EXPAND_SZ" : "no product key");
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kProductKey);
        if (expandable)
            WriteMachineValue(kProductKey, "InstallPath", REG_EXPAND_SZ, elsewhere.string() + "\\");
        const UrlLog urls;
        const DWORD start = GetTickCount();
        ASSERT_TRUE(Start(scaled));
        ASSERT_NE(WaitForWindow(), nullptr);
        // 180 tries 500 ms apart make 90 s; a hundred times faster, a second.
        EXPECT_LT(GetTickCount() - start, 60000u);
        Choose(32776);
        EXPECT_TRUE(urls.WaitFor("http://start.folder.test.example/", kWaitMs));
        EndProgram();
    }
}

TEST_F(WakenorTest, WithoutAnEngineAnywhereItSaysSoAndEnds) {
    const fs::path shared = CommonFolder(CSIDL_PROGRAM_FILES_COMMON) / "Scanner" / "olvex.dll";
    const FilesRestored shared_copy({shared});
    olvex::testing::DeleteRegistrationKeys();
    fs::remove(install_ / "olvex.dll");
    fs::remove(shared);
    ASSERT_TRUE(Start());
    const auto answer =
        AnswerDialog({.title = kMessageCaption, .process_id = process_id_}, IDOK, kFirstStartMs);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->text.rfind(L"Error! olvex.dll is damaged and could not be repaired!", 0), 0u)
        << testing::Narrow(answer->text);
    EXPECT_TRUE(Ended(kWaitMs));
    EXPECT_EQ(FindTopLevelWindow({.title = kProtectionTitle, .process_id = process_id_}), nullptr);
}

}  // namespace
}  // namespace olvex::protect::testing
