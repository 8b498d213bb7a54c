// The Schedule dialog of the real Gorsewatch5.exe under Wine, with Wine's
// Task Scheduler (its "Schedule" service, which the program's start-up
// check starts) and its store of work items, read back with jobs.exe.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "client/main/home_page_ids.h"
#include "client/main/main_test_support.h"
#include "client/main/scan_page_ids.h"
#include "client/main/schedule_dialog_ids.h"
#include "client/main/test_hooks.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kScheduleTitle[] = L"Kelvan Gorsewatch -- Schedule";
constexpr wchar_t kProductTitle[] = L"Kelvan Gorsewatch";
constexpr wchar_t kInstallFolder[] = L"C:\\Program Files\\Kelvan Gorsewatch";

gui::ProgramOutput Jobs(const std::wstring& arguments) {
    return gui::RunForOutput(gui::Quote(WindowsPath(OLVEX_JOBS_TOOL_PATH)) + L" " + arguments);
}

std::vector<std::string> JobNames() {
    std::vector<std::string> names;
    std::istringstream lines(Jobs(L"list").output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            names.push_back(line);
    }
    return names;
}

fs::path TasksFolder() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    return fs::path(windows) / "Tasks";
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// Every work item goes before and after each test.
class TasksPutBack {
  public:
    TasksPutBack() { Clear(); }
    ~TasksPutBack() { Clear(); }
    static void Clear() {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(TasksFolder(), ignored))
            fs::remove(entry.path(), ignored);
    }
};

std::string UserName() {
    char name[128] = {};
    DWORD size = sizeof(name);
    GetUserNameA(name, &size);
    return name;
}

// "7 05 AM" for 07:05, as the job names show a time of the en-US locale.
std::string TwelveHourText(int hour, int minute) {
    char text[16];
    std::snprintf(text, sizeof(text), "%d %02d %s", hour % 12 == 0 ? 12 : hour % 12, minute,
                  hour < 12 ? "AM" : "PM");
    return text;
}

std::vector<std::wstring> ListEntries(HWND list) {
    std::vector<std::wstring> entries;
    const auto count = gui::SendWindowMessage(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count.result; ++i) {
        wchar_t text[512] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        entries.emplace_back(text);
    }
    return entries;
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

class ScheduleDialogTest : public ::testing::Test {
  protected:
    InstallOptions Options(bool test_build = false) {
        InstallOptions options;
        options.folder = kInstallFolder;
        options.test_build = test_build;
        return options;
    }

    // The program started and its Schedule dialog opened from the scan page.
    HWND OpenDialog(Gorsewatch5Process& program, const TestInstall& install) {
        if (!program.running()) {
            EXPECT_TRUE(program.Start(install));
            EXPECT_NE(program.WaitForMainWindow(), nullptr);
            EXPECT_TRUE(program.WaitUntilIdle());
            EXPECT_TRUE(PressDialogButton(program.ShownPage(), IDC_HOME_NAV_SCAN));
            EXPECT_TRUE(
                gui::WaitUntil([&] { return program.PageControl(IDC_SCAN_SCHEDULE); }, 10000));
        }
        const HWND button = program.PageControl(IDC_SCAN_SCHEDULE);
        EXPECT_TRUE(IsWindowEnabled(button)) << "the Task Scheduler was not found running";
        EXPECT_TRUE(PressDialogButton(program.ShownPage(), IDC_SCAN_SCHEDULE));
        return FindShownWindow(kScheduleTitle, program.id(), 20000);
    }

    std::optional<gui::DialogContents> Answer(const Gorsewatch5Process& program, int button) {
        return gui::AnswerDialog({.title = kProductTitle, .process_id = program.id()}, button,
                                 20000);
    }

    void ClickRadio(HWND dialog, int id) {
        ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, id)));
        ASSERT_TRUE(gui::WaitUntil(
            [&] { return gui::GetCheck(GetDlgItem(dialog, id)) == BST_CHECKED; }, 5000));
    }

    void Select(HWND dialog, int index) {
        const HWND list = GetDlgItem(dialog, IDC_SCHEDULE_LIST);
        gui::SendWindowMessage(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        gui::PostWindowMessage(dialog, WM_COMMAND, MAKEWPARAM(IDC_SCHEDULE_LIST, LBN_SELCHANGE),
                               reinterpret_cast<LPARAM>(list));
    }

    TasksPutBack tasks_;
};

TEST_F(ScheduleDialogTest, NewScanIsScheduledListedEditedAndDeleted) {
    TestInstall install(Options());
    // Another program's job and a damaged job file of ours are never listed.
    ASSERT_EQ(Jobs(L"plant \"Other program\" 09:00").exit_code, 0u);
    WriteText(TasksFolder() / "QZv5Scan_bad.job", "not a job");
    Gorsewatch5Process program;
    HWND dialog = OpenDialog(program, install);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(ListEntries(GetDlgItem(dialog, IDC_SCHEDULE_LIST)).empty());
    // The start state: log only, the current user, the account greyed.
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, IDC_SCHEDULE_LOG_ONLY)), BST_CHECKED);
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, IDC_SCHEDULE_CURRENT_USER)), BST_CHECKED);
    for (const int id : {IDC_SCHEDULE_ACCOUNT, IDC_SCHEDULE_PASSWORD, IDC_SCHEDULE_DELETE,
                         IDC_SCHEDULE_EDIT, IDC_SCHEDULE_APPLY})
        EXPECT_FALSE(Enabled(dialog, id)) << id;
    ScreenshotWhenDrawn(dialog, "schedule-dialog");

    // Quarantine, as the current user, 249 answered Yes.
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, IDC_SCHEDULE_QUARANTINE)));
    ASSERT_TRUE(gui::WaitUntil(
        [&] { return gui::GetCheck(GetDlgItem(dialog, IDC_SCHEDULE_QUARANTINE)) == BST_CHECKED; },
        5000));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCHEDULE_NEW));
    const auto question = Answer(program, IDYES);
    ASSERT_TRUE(question);
    EXPECT_NE(question->text.find(L"only run when the user is logged in"), std::wstring::npos);
    const HWND list = GetDlgItem(dialog, IDC_SCHEDULE_LIST);
    ASSERT_TRUE(gui::WaitUntil([&] { return ListEntries(list).size() == 1; }, 10000));
    const std::wstring entry = ListEntries(list)[0];
    const std::string job = "QZv5Scan_" + std::string(entry.begin(), entry.end());

    const auto shown = Jobs(L"show " + gui::Quote(Wide(job)));
    ASSERT_EQ(shown.exit_code, 0u) << shown.output;
    const std::string install_folder = install.folder().string() + "\\";
    EXPECT_NE(shown.output.find("application: \"" + install_folder + "Marvolt.exe\""),
              std::string::npos)
        << shown.output;
    EXPECT_NE(shown.output.find("parameters: /quarantine\r\n"), std::string::npos);
    EXPECT_NE(shown.output.find("directory: " + install_folder + "\r\n"), std::string::npos);
    EXPECT_NE(shown.output.find("flags: 0x2002\r\n"), std::string::npos);
    EXPECT_NE(shown.output.find("triggers: 1\r\n"), std::string::npos);
    SYSTEMTIME today{};
    GetLocalTime(&today);
    char begin[64];
    std::snprintf(begin, sizeof(begin), "type 1 every 1 from %04u-%02u-%02u at ", today.wYear,
                  today.wMonth, today.wDay);
    const std::size_t at = shown.output.find(begin);
    ASSERT_NE(at, std::string::npos) << shown.output;
    int hour = -1;
    int minute = -1;
    std::sscanf(shown.output.c_str() + at + std::strlen(begin), "%d:%d", &hour, &minute);
    // The list's entry names the trigger's time.
    EXPECT_EQ(std::string(entry.begin(), entry.end()),
              "Daily as " + UserName() + " at " + TwelveHourText(hour, minute));
    ScreenshotWhenDrawn(dialog, "schedule-dialog-scheduled");

    // OK closes without a question: nothing waits.
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));

    // Reopened, only the job made here is listed.
    dialog = OpenDialog(program, install);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ListEntries(GetDlgItem(dialog, IDC_SCHEDULE_LIST)), std::vector<std::wstring>{entry});

    // Selecting it loads it: Apply Edits with the same name changes it in place.
    Select(dialog, 0);
    ASSERT_TRUE(gui::WaitUntil([&] { return Enabled(dialog, IDC_SCHEDULE_APPLY); }, 10000));
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, IDC_SCHEDULE_QUARANTINE)), BST_CHECKED);
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, IDC_SCHEDULE_LOG_ONLY)));
    ASSERT_TRUE(gui::WaitUntil(
        [&] { return gui::GetCheck(GetDlgItem(dialog, IDC_SCHEDULE_LOG_ONLY)) == BST_CHECKED; },
        5000));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCHEDULE_APPLY));
    ASSERT_TRUE(Answer(program, IDYES));
    ASSERT_TRUE(gui::WaitUntil([&] { return !Enabled(dialog, IDC_SCHEDULE_APPLY); }, 10000));
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            return Jobs(L"show " + gui::Quote(Wide(job))).output.find("parameters: /ignore\r\n") !=
                   std::string::npos;
        },
        10000));
    EXPECT_EQ(ListEntries(GetDlgItem(dialog, IDC_SCHEDULE_LIST)), std::vector<std::wstring>{entry});

    // Delete removes the job's file and its entry; the other jobs stay.
    Select(dialog, 0);
    ASSERT_TRUE(gui::WaitUntil([&] { return Enabled(dialog, IDC_SCHEDULE_DELETE); }, 10000));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCHEDULE_DELETE));
    ASSERT_TRUE(gui::WaitUntil([&] { return ListEntries(list).empty(); }, 10000));
    EXPECT_TRUE(gui::WaitUntil([&] { return !fs::exists(TasksFolder() / (job + ".job")); }, 10000));
    const auto names = JobNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), job + ".job"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Other program.job"), 1);
    for (const int id : {IDC_SCHEDULE_DELETE, IDC_SCHEDULE_EDIT, IDC_SCHEDULE_APPLY})
        EXPECT_FALSE(Enabled(dialog, id)) << id;
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));

    // Not listed again.
    dialog = OpenDialog(program, install);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(ListEntries(GetDlgItem(dialog, IDC_SCHEDULE_LIST)).empty());
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

TEST_F(ScheduleDialogTest, EditToANewTimeMakesTheNewJobBeforeTheOldGoes) {
    TestInstall install(Options());
    // A job of ours named for another account (Wine's scheduler keeps no
    // account in a job's file, so a job loads only as a current-user one),
    // and one more of ours.
    const std::wstring old_job = L"QZv5Scan_Daily as bob at 9 00 PM";
    ASSERT_EQ(Jobs(L"plant " + gui::Quote(old_job) + L" 21:00 notepad.exe /ignore *").exit_code,
              0u);
    ASSERT_EQ(Jobs(L"plant QZv5Scan_Other 01:10 notepad.exe /ignore *").exit_code, 0u);
    Gorsewatch5Process program;
    const HWND dialog = OpenDialog(program, install);
    ASSERT_NE(dialog, nullptr);
    const HWND list = GetDlgItem(dialog, IDC_SCHEDULE_LIST);
    const auto entries = ListEntries(list);
    ASSERT_EQ(entries.size(), 2u);
    const int old_index = entries[0] == L"Other" ? 1 : 0;
    ASSERT_EQ(entries[old_index], L"Daily as bob at 9 00 PM");

    // Loading it shows its time, its action and the current user.
    Select(dialog, old_index);
    ASSERT_TRUE(gui::WaitUntil([&] { return Enabled(dialog, IDC_SCHEDULE_APPLY); }, 10000))
        << (program.HasMessageDialog() ? *program.AnswerMessage() : L"no message");
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, IDC_SCHEDULE_CURRENT_USER)), BST_CHECKED);
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, IDC_SCHEDULE_LOG_ONLY)), BST_CHECKED);
    EXPECT_FALSE(Enabled(dialog, IDC_SCHEDULE_ACCOUNT));
    // Changed to quarantine.
    ASSERT_NO_FATAL_FAILURE(ClickRadio(dialog, IDC_SCHEDULE_QUARANTINE));
    // Leaving now asks 271; No keeps the dialog and the edit.
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    const auto unapplied = Answer(program, IDNO);
    ASSERT_TRUE(unapplied);
    EXPECT_NE(unapplied->text.find(L"being edited"), std::wstring::npos);
    // Another entry with the edit unapplied: 271 again; No selects the
    // edited job again and keeps the edit.
    Select(dialog, 1 - old_index);
    ASSERT_TRUE(Answer(program, IDNO));
    EXPECT_TRUE(gui::WaitUntil(
        [&] { return gui::SendWindowMessage(list, LB_GETCURSEL, 0, 0).result == old_index; },
        5000));
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, IDC_SCHEDULE_QUARANTINE)), BST_CHECKED);

    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCHEDULE_APPLY));
    ASSERT_TRUE(Answer(program, IDYES));
    const std::string new_job = "QZv5Scan_Daily as " + UserName() + " at 9 00 PM";
    ASSERT_TRUE(gui::WaitUntil([&] { return !Enabled(dialog, IDC_SCHEDULE_APPLY); }, 10000));
    EXPECT_TRUE(gui::WaitUntil(
        [&] { return !fs::exists(TasksFolder() / (std::wstring(old_job) + L".job")); }, 10000));
    const auto names = JobNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), new_job + ".job"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "QZv5Scan_Other.job"), 1);
    const auto shown = Jobs(L"show " + gui::Quote(Wide(new_job)));
    EXPECT_NE(shown.output.find("flags: 0x2002\r\n"), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find("parameters: /quarantine\r\n"), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find(" at 21:00\r\n"), std::string::npos) << shown.output;
    std::vector<std::wstring> expected{L"Other", Wide(new_job.substr(9))};
    EXPECT_EQ(ListEntries(list), expected);
    ScreenshotWhenDrawn(dialog, "schedule-dialog-edited");
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

TEST_F(ScheduleDialogTest, SchedulerFailuresShowTheirMessages) {
    struct Case {
        const wchar_t* fault;
        const wchar_t* message;
        bool at_open;  // the failure comes while the dialog fills its list
    };
    const Case cases[] = {
        {L"Create:1:0x80004005", L"start up communications with the Windows Task Scheduler", true},
        {L"Enum:1:0x80004005", L"begin the process of enumerating", true},
        {L"SetParameters:1:0x80070005", L"Cannot set parameters for scan executable", false},
        {L"SetFlags:1:0x80070005", L"Cannot set behavior of scan", false},
        {L"SetAccountInformation:1:0x80070005", L"Cannot set account information for scan", false},
        {L"CreateTrigger:1:0x80070005", L"Cannot create timing object", false},
        {L"Save:1:0x80070005", L"bad account name or password", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        TasksPutBack::Clear();
        TestInstall install(Options(true));
        SetEnvironmentVariableW(kTestSchedulerFaultVariable, c.fault);
        Gorsewatch5Process program;
        HWND dialog = nullptr;
        if (c.at_open) {
            ASSERT_TRUE(program.Start(install));
            ASSERT_NE(program.WaitForMainWindow(), nullptr);
            ASSERT_TRUE(program.WaitUntilIdle());
            ASSERT_TRUE(PressDialogButton(program.ShownPage(), IDC_HOME_NAV_SCAN));
            ASSERT_TRUE(
                gui::WaitUntil([&] { return program.PageControl(IDC_SCAN_SCHEDULE); }, 10000));
            ASSERT_TRUE(PressDialogButton(program.ShownPage(), IDC_SCAN_SCHEDULE));
        } else {
            dialog = OpenDialog(program, install);
            ASSERT_NE(dialog, nullptr);
            ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, IDC_SCHEDULE_THIS_USER)));
            ASSERT_TRUE(
                gui::WaitUntil([&] { return Enabled(dialog, IDC_SCHEDULE_ACCOUNT); }, 5000));
            gui::SetText(GetDlgItem(dialog, IDC_SCHEDULE_ACCOUNT), L"bob");
            gui::SetText(GetDlgItem(dialog, IDC_SCHEDULE_PASSWORD), L"pw");
            ASSERT_TRUE(PressDialogButton(dialog, IDC_SCHEDULE_NEW));
        }
        const auto message = program.AnswerMessage();
        SetEnvironmentVariableW(kTestSchedulerFaultVariable, nullptr);
        ASSERT_TRUE(message);
        EXPECT_NE(message->find(c.message), std::wstring::npos) << *message;
        if (dialog == nullptr)
            dialog = FindShownWindow(kScheduleTitle, program.id(), 20000);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(ListEntries(GetDlgItem(dialog, IDC_SCHEDULE_LIST)).empty());
        // No job is left, the refused save's neither.
        EXPECT_TRUE(JobNames().empty());
        PressDialogButton(dialog, IDCANCEL);
        // A new scan was set up and not scheduled: 269, Yes leaves.
        if (!c.at_open) {
            ASSERT_TRUE(Answer(program, IDYES));
        }
        ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
        EXPECT_TRUE(program.Close());
    }
}

// Failures on a listed job: loading it, and deleting it (the entry stays).
TEST_F(ScheduleDialogTest, FailuresOnAListedJobShowTheirMessages) {
    struct Case {
        const wchar_t* fault;
        int button;  // pressed after selecting the entry (0: none)
        const wchar_t* message;
    };
    const Case cases[] = {
        {L"Activate:2:0x80070002", 0, L"could not be located or retrieved"},
        {L"GetTrigger:1:0x80004005", 0, L"Cannot get information about scheduled scan time."},
        {L"GetTriggerRecord:1:0x80004005", 0, L"Cannot get time at which scan is scheduled"},
        {L"GetParameters:1:0x80004005", 0, L"Cannot get action to perform"},
        {L"GetFlags:1:0x80004005", 0, L"Cannot get account information for scheduled scan."},
        {L"Delete:1:0x80070020", IDC_SCHEDULE_DELETE, L"could not be located or retrieved"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        TasksPutBack::Clear();
        ASSERT_EQ(Jobs(L"plant QZv5Scan_Listed 10:00 notepad.exe /ignore *").exit_code, 0u);
        TestInstall install(Options(true));
        SetEnvironmentVariableW(kTestSchedulerFaultVariable, c.fault);
        Gorsewatch5Process program;
        const HWND dialog = OpenDialog(program, install);
        SetEnvironmentVariableW(kTestSchedulerFaultVariable, nullptr);
        ASSERT_NE(dialog, nullptr);
        const HWND list = GetDlgItem(dialog, IDC_SCHEDULE_LIST);
        ASSERT_EQ(ListEntries(list), std::vector<std::wstring>{L"Listed"});
        Select(dialog, 0);
        if (c.button != 0) {
            ASSERT_TRUE(gui::WaitUntil([&] { return Enabled(dialog, c.button); }, 10000));
            ASSERT_TRUE(PressDialogButton(dialog, c.button));
        }
        const auto message = program.AnswerMessage();
        ASSERT_TRUE(message);
        EXPECT_NE(message->find(c.message), std::wstring::npos) << *message;
        // The job and its entry stay; a failed load starts no edit.
        EXPECT_EQ(ListEntries(list), std::vector<std::wstring>{L"Listed"});
        EXPECT_TRUE(fs::exists(TasksFolder() / "QZv5Scan_Listed.job"));
        if (c.button == 0) {
            EXPECT_FALSE(Enabled(dialog, IDC_SCHEDULE_APPLY));
        }
        ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
        ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
        EXPECT_TRUE(program.Close());
    }
}

TEST_F(ScheduleDialogTest, ClockFormatAndWindowsNineXSeams) {
    TestInstall install(Options(true));
    SetEnvironmentVariableW(kTestClockVariable, L"24");
    SetEnvironmentVariableW(kTestSchedulePlatformVariable, L"1");
    Gorsewatch5Process program;
    const HWND dialog = OpenDialog(program, install);
    SetEnvironmentVariableW(kTestClockVariable, nullptr);
    SetEnvironmentVariableW(kTestSchedulePlatformVariable, nullptr);
    ASSERT_NE(dialog, nullptr);
    for (const int id : {IDC_SCHEDULE_RUN_AS_LABEL, IDC_SCHEDULE_CURRENT_USER,
                         IDC_SCHEDULE_THIS_USER, IDC_SCHEDULE_ACCOUNT_LABEL,
                         IDC_SCHEDULE_PASSWORD_LABEL, IDC_SCHEDULE_ACCOUNT, IDC_SCHEDULE_PASSWORD})
        EXPECT_FALSE(Enabled(dialog, id)) << id;
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, IDC_SCHEDULE_CURRENT_USER)), BST_CHECKED);
    ScreenshotWhenDrawn(dialog, "schedule-dialog-24-hours-9x");
    // Windows 9x asks no question 249 and sets no account.
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCHEDULE_NEW));
    const HWND list = GetDlgItem(dialog, IDC_SCHEDULE_LIST);
    ASSERT_TRUE(gui::WaitUntil([&] { return ListEntries(list).size() == 1; }, 10000));
    const std::wstring entry = ListEntries(list)[0];
    const auto shown = Jobs(L"show " + gui::Quote(L"QZv5Scan_" + entry));
    EXPECT_NE(shown.output.find("flags: 0x2002\r\n"), std::string::npos) << shown.output;
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

}  // namespace
}  // namespace olvex::testing
