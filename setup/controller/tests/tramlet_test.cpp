// The setup program under Wine, as a user meets it: the real Tramlet.exe
// (or its build with fake products) runs from a setup source of its own with
// the framework and the resource DLLs; the test reads its exit code, its log
// C:\trombolog.txt by message ids, the fake products' record, and drives its
// dialogs through the window driver.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "setup/products/member_packaging.h"
#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"

namespace olvex::gui {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kLog[] = L"C:\\trombolog.txt";
constexpr wchar_t kMainTitle[] = L"Install: Kelvan Suite Personal";
constexpr DWORD kRunMs = 60000;

std::wstring RootFile(const std::wstring& file) {
    return testing::WindowsPath(SETUP_ROOT) + L"\\" + file;
}

std::wstring VariantFile(const std::wstring& file) {
    return testing::WindowsPath(SETUP_VARIANTS) + L"\\" + file;
}

// A setup source in a folder of its own: the root's files, the program
// under the name given (the fake-products build when `fakes` holds lines).
struct Source {
    Source(const std::wstring& folder, const std::wstring& program = L"Tramlet.exe",
           const std::vector<std::string>& fakes = {})
        : folder(L"C:\\sources\\" + folder), program(program) {
        fs::remove_all(fs::path(this->folder));
        fs::create_directories(fs::path(this->folder));
        for (const wchar_t* file : {L"ulmfrm.dll", L"ulmres.dll", L"xjvprod.dll", L"license.txt"}) {
            Copy(RootFile(file), file);
        }
        if (fakes.empty()) {
            Copy(RootFile(L"Tramlet.exe"), program);
        } else {
            Copy(VariantFile(L"faketramlet.exe"), program);
            std::ofstream out(fs::path(Path(L"fakeproducts.txt")), std::ios::binary);
            for (const auto& line : fakes) {
                out << line << "\r\n";
            }
        }
    }
    std::wstring Path(const std::wstring& file) const { return folder + L"\\" + file; }
    void Copy(const std::wstring& from, const std::wstring& file) const {
        EXPECT_TRUE(CopyFileW(from.c_str(), Path(file).c_str(), FALSE)) << fs::path(from);
    }
    bool Start(RunningProgram& run, const std::wstring& arguments) const {
        return run.Start(Quote(Path(program)) + L" " + arguments);
    }
    // Runs to the end; the exit code, read whole.
    DWORD Run(const std::wstring& arguments, DWORD timeout_ms = kRunMs) const {
        RunningProgram run;
        EXPECT_TRUE(Start(run, arguments));
        const auto code = run.Wait(timeout_ms);
        EXPECT_TRUE(code.has_value()) << "the program did not end";
        return code.value_or(0xFFFFFFFF);
    }
    // What the fake products recorded.
    std::vector<std::string> Record() const { return ReadLines(Path(L"fakelog.txt")); }
    bool Recorded(const std::string& line) const {
        for (const auto& recorded : Record()) {
            if (recorded == line) {
                return true;
            }
        }
        return false;
    }

    std::wstring folder;
    std::wstring program;
};

struct LogLine {
    std::string id;  // the five digits of "(NNNNN)"
    std::string text;
};

std::vector<LogLine> ReadLog() {
    std::vector<LogLine> lines;
    for (const auto& line : ReadLines(kLog)) {
        const size_t open = line.find(" (");
        if (open != std::string::npos && line.size() >= open + 9 && line[open + 7] == ')') {
            lines.push_back({line.substr(open + 2, 5), line.substr(open + 9)});
        } else {
            lines.push_back({"", line});
        }
    }
    return lines;
}

std::vector<std::string> LogIds() {
    std::vector<std::string> ids;
    for (const auto& line : ReadLog()) {
        if (!line.id.empty()) {
            ids.push_back(line.id);
        }
    }
    return ids;
}

bool LogHas(const std::string& id) {
    const auto ids = LogIds();
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

std::vector<TopLevelWindow> WindowsOf(DWORD process, bool visible_only = true) {
    std::vector<TopLevelWindow> found;
    for (const auto& window : ListTopLevelWindows()) {
        if (window.process_id == process && (!visible_only || window.visible)) {
            found.push_back(window);
        }
    }
    return found;
}

// A visible dialog of the process holding the control; null when none came
// within the time.
HWND DialogWith(DWORD process, int control, DWORD timeout_ms = 20000) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (const auto& window : WindowsOf(process)) {
                if (window.class_name == L"#32770" && FindChild(window.handle, control)) {
                    found = window.handle;
                    return true;
                }
            }
            return false;
        },
        timeout_ms, 50);
    return found;
}

// Presses a button of a dialog as its click does: the framework's buttons
// are no system buttons, so the command goes to the dialog (posted: a button
// that opens a modal dialog does not block the test). False when the button
// is missing or disabled.
bool Press(HWND dialog, int id) {
    const HWND button = FindChild(dialog, id);
    if (!button || !IsWindowEnabled(button)) {
        return false;
    }
    return PostWindowMessage(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                             reinterpret_cast<LPARAM>(button));
}

// A framework message box of the process (a dialog with the framework's
// message text control).
constexpr int kBoxText = 1073;

struct SeenBox {
    std::wstring title;
    std::wstring text;
};

SeenBox AnswerBox(HWND box, int button = IDOK) {
    SeenBox seen{GetText(box), GetText(FindChild(box, kBoxText))};
    EXPECT_TRUE(Press(box, button)) << fs::path(seen.title);
    EXPECT_TRUE(WaitForWindowGone(box, 10000));
    return seen;
}

// Drives a run at display level 2 to its end: accepts the agreement, takes
// the selection as offered, answers every box with OK; the boxes seen.
struct Driven {
    DWORD exit_code = 0;
    std::vector<SeenBox> boxes;
    bool BoxTitled(const std::wstring& title) const {
        return std::any_of(boxes.begin(), boxes.end(),
                           [&](const SeenBox& box) { return box.title == title; });
    }
};

Driven Drive(const Source& source, const std::wstring& arguments, const std::string& shot) {
    Driven driven;
    RunningProgram run;
    EXPECT_TRUE(source.Start(run, arguments));
    std::set<HWND> shot_windows;
    int step = 0;
    const DWORD deadline = GetTickCount() + kRunMs;
    while (run.running() && GetTickCount() < deadline) {
        bool acted = false;
        for (const auto& window : WindowsOf(run.id())) {
            if (window.class_name != L"#32770") {
                continue;
            }
            const HWND dialog = window.handle;
            if (FindChild(dialog, 1316)) {
                continue;  // the progress window
            }
            if (!shot_windows.count(dialog)) {
                Sleep(300);
                SaveScreenshot(dialog, shot + "-" + std::to_string(++step));
                shot_windows.insert(dialog);
            }
            if (FindChild(dialog, 1451)) {
                Press(dialog, 1451);
            } else if (FindChild(dialog, 1652) || FindChild(dialog, 1292)) {
                Press(dialog, IDOK);
            } else if (FindChild(dialog, kBoxText)) {
                // Yes where the box asks (the restart), else OK.
                driven.boxes.push_back(AnswerBox(dialog, FindChild(dialog, IDYES) ? IDYES : IDOK));
            } else {
                continue;
            }
            WaitForWindowGone(dialog, 10000);
            acted = true;
        }
        if (!acted) {
            Sleep(100);
        }
    }
    driven.exit_code = run.Wait(kRunMs).value_or(0xFFFFFFFF);
    return driven;
}

bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

// --- The program's jobs, its log and its mutexes ---

TEST(Tramlet, TheNameItRunsUnderPicksItsJob) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* program;
        const wchar_t* arguments;
        const char* job_id;
        DWORD exit_code;
    };
    const Case cases[] = {
        {L"names-uninstall", L"xjuninst.exe", L"/Silent", "25547", 9037},
        {L"names-cleanup", L"XJCU_007.EXE", L"/Silent", "25548", 0},
        {L"names-install", L"xjcu.exe", L"/Silent", "25546", 9005},
        {L"names-switch", L"trustadd.exe", L"/u /Silent", "25547", 9037},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fs::path(c.program).string());
        // Only an install empties the log first.
        std::ofstream(fs::path(kLog), std::ios::binary) << "earlier run\r\n";
        const Source source(c.folder, c.program);
        EXPECT_EQ(source.Run(c.arguments), c.exit_code);
        const auto lines = ReadLines(kLog);
        const bool kept = !lines.empty() && lines[0] == "earlier run";
        EXPECT_EQ(kept, std::string(c.job_id) != "25546");
        EXPECT_TRUE(LogHas(c.job_id));
    }
}

TEST(Tramlet, TheLogOpensWithTheCommandLineAndClosesWithTheResult) {
    const Source source(L"log-shape");
    EXPECT_EQ(source.Run(L"/Silent /NoScan"), 9005u);
    const auto lines = ReadLog();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].id, "25501");
    const auto raw = ReadLines(kLog);
    // The date and the time, then the id.
    EXPECT_NE(raw[0].find(", "), std::string::npos);
    EXPECT_LT(raw[0].find(", "), raw[0].find(" (25501)"));
    EXPECT_EQ(lines[1].id, "00000");
    EXPECT_NE(lines[1].text.find("Tramlet.exe\" /Silent /NoScan"), std::string::npos)
        << lines[1].text;
    size_t closing = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].id == "25502") {
            closing = i;
        }
    }
    ASSERT_NE(closing, 0u);
    EXPECT_NE(lines[closing].text.find("9005"), std::string::npos);
    auto last = raw.rbegin();
    while (last != raw.rend() && last->empty()) {
        ++last;
    }
    ASSERT_NE(last, raw.rend());
    EXPECT_EQ(*last, "+++ --- +++ --- +++");
}

TEST(Tramlet, AnInstallWhileAnUninstallRunsEndsAtOnceWith9044) {
    RunningProgram holder;
    ASSERT_TRUE(StartWhenReady(holder, Quote(GuiProgramPath(L"mutex_holder.exe")) +
                                           L" mutex.Tromb.uninstall --seconds 60"));
    const Source source(L"mutex-install");
    const DWORD started = GetTickCount();
    EXPECT_EQ(source.Run(L"/DisplayLevel=2"), 9044u);
    EXPECT_LT(GetTickCount() - started, 10000u);
    EXPECT_EQ(LogIds(), (std::vector<std::string>{"25501", "00000", "25502"}));
    holder.End();

    // The probe does not make the mutex: an uninstall started now is not
    // turned away by the install that just ended.
    const Source uninstall(L"mutex-uninstall", L"xjuninst.exe");
    EXPECT_EQ(uninstall.Run(L"/Silent"), 9037u);
}

TEST(Tramlet, ASecondCleanupWaitsForTheFirst) {
    const std::wstring done = L"SetupTestCleanupDone";
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, done.c_str());
    RunningProgram first;
    ASSERT_TRUE(StartWhenReady(first, Quote(GuiProgramPath(L"mutex_holder.exe")) +
                                          L" mutex.Tromb.cleanup --seconds 60 --until " + done));
    const Source source(L"cleanup-waits", L"XJCU_003.EXE");
    RunningProgram second;
    ASSERT_TRUE(source.Start(second, L"/Silent"));
    Sleep(1500);
    EXPECT_TRUE(second.running()) << "the second cleanup must wait";
    SetEvent(event);
    EXPECT_EQ(second.Wait(kRunMs), std::optional<DWORD>(0));
    EXPECT_TRUE(LogHas("25548"));
    CloseHandle(event);
}

TEST(Tramlet, NoProductInTheSourceIs9005ShownOverTheMinimisedMainWindow) {
    const Source silent(L"empty-silent");
    EXPECT_EQ(silent.Run(L"/Silent"), 9005u);

    const Source shown(L"empty-shown");
    RunningProgram run;
    ASSERT_TRUE(shown.Start(run, L"/DisplayLevel=2"));
    const HWND main = FindTopLevelWindow({.title = kMainTitle, .process_id = run.id()}, 20000);
    ASSERT_NE(main, nullptr);
    const HWND box = DialogWith(run.id(), kBoxText);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(IsIconic(main));
    EXPECT_EQ(GetWindow(box, GW_OWNER), main);
    Sleep(300);
    SaveScreenshot(box, "error-9005");
    const SeenBox seen = AnswerBox(box);
    EXPECT_TRUE(Contains(seen.text, L"E9005")) << fs::path(seen.text);
    EXPECT_EQ(run.Wait(kRunMs), std::optional<DWORD>(9005));
}

TEST(Tramlet, FrameworkFailures) {
    struct Case {
        const wchar_t* folder;
        std::function<void(const Source&)> change;
        DWORD exit_code;
    };
    const Case cases[] = {
        {L"no-framework",
         [](const Source& source) { DeleteFileW(source.Path(L"ulmfrm.dll").c_str()); }, 9003},
        {L"framework-without-picker",
         [](const Source& source) {
             source.Copy(VariantFile(L"no-folder-picker\\ulmfrm.dll"), L"ulmfrm.dll");
         },
         9003},
        {L"no-suite-name",
         [](const Source& source) {
             source.Copy(VariantFile(L"no-name\\xjvprod.dll"), L"xjvprod.dll");
         },
         9004},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fs::path(c.folder).string());
        const Source source(c.folder);
        c.change(source);
        EXPECT_EQ(source.Run(L"/Silent"), c.exit_code);
        EXPECT_TRUE(LogHas("25006"));
    }
}

// --- Fake products ---

TEST(Tramlet, ProductResultsAsOneTable) {
    struct Case {
        const wchar_t* folder;
        std::vector<std::string> fakes;
        const wchar_t* arguments;
        DWORD exit_code;
        std::vector<std::string> recorded;
        std::vector<std::string> not_recorded;
        bool restart_offered;
    };
    const std::wstring drive = L"/DisplayLevel=2 /Path=C:\\Suite";
    // Every installer but the last case's asks for a restart: the result,
    // /NoReboot and the display level decide whether the user is asked.
    const std::vector<Case> cases = {
        {L"fake-one-failing",
         {"qz|name=One|checks=9009|text=Windows 3.1|restart=1"},
         drive.c_str(),
         9009,
         {},
         {"One:Install"},
         false},
        {L"fake-two-one-failing",
         {"qz|name=One|checks=9011|text=HKLM\\Software|restart=1", "av|name=Two|restart=1"},
         drive.c_str(),
         9011,
         {"Two:Install progress", "reboot"},
         {"One:Install"},
         true},
        {L"fake-three-last-failing",
         {"qz|name=One|restart=1", "as|name=Two|restart=1", "av|name=Three|Install=9026"},
         drive.c_str(),
         9026,
         {"One:Install progress", "Two:Install progress", "Three:Install progress"},
         {"reboot"},
         false},
        {L"fake-three-first-failing",
         {"qz|name=One|Install=9027", "as|name=Two|restart=1", "av|name=Three|restart=1"},
         drive.c_str(),
         9027,
         {"Two:Install progress", "Three:Install progress", "reboot"},
         {},
         true},
        {L"fake-no-reboot",
         {"qz|name=One|restart=1"},
         L"/DisplayLevel=2 /Path=C:\\Suite /NoReboot",
         0,
         {"One:Install progress"},
         {"reboot"},
         false},
        {L"fake-level-one",
         {"qz|name=One|restart=1"},
         L"/DisplayLevel=1 /Path=C:\\Suite",
         0,
         {"One:Install progress"},
         {"reboot"},
         false},
        {L"fake-nothing-waits",
         {"qz|name=One"},
         drive.c_str(),
         0,
         {"One:Install progress"},
         {"reboot"},
         false},
    };
    for (const Case& c : cases) {
        const std::string name = fs::path(c.folder).string();
        SCOPED_TRACE(name);
        const Source source(c.folder, L"Tramlet.exe", c.fakes);
        const Driven driven = Drive(source, c.arguments, name);
        EXPECT_EQ(driven.exit_code, c.exit_code);
        for (const auto& line : c.recorded) {
            EXPECT_TRUE(source.Recorded(line)) << line;
        }
        for (const auto& line : c.not_recorded) {
            EXPECT_FALSE(source.Recorded(line)) << line;
        }
        EXPECT_EQ(driven.BoxTitled(L"Restart Windows"), c.restart_offered);
        if (c.fakes.size() == 1 && c.exit_code != 0) {
            // A single product's install: its boxes carry its name.
            ASSERT_FALSE(driven.boxes.empty());
            EXPECT_EQ(driven.boxes.front().title, L"One");
        }
        const auto record = source.Record();
        EXPECT_LE(std::count(record.begin(), record.end(), "reboot"), 1);
    }
}

TEST(Tramlet, AnUninstallWithoutAPackageCodeRemovesTheWholeSuite) {
    const Source source(L"uninstall-suite", L"Tramlet.exe",
                        {"qz|name=One|installed=1", "av|name=Two|installed=1|version=0",
                         "pause|One:Uninstall|2000"});
    source.Copy(VariantFile(L"no-code\\xjvprod.dll"), L"xjvprod.dll");
    RunningProgram run;
    ASSERT_TRUE(source.Start(run, L"/u /DisplayLevel=2 /NoReboot"));
    const HWND selection = DialogWith(run.id(), 1652);
    ASSERT_NE(selection, nullptr);
    Sleep(300);
    SaveScreenshot(selection, "uninstall-selection");
    EXPECT_EQ(GetText(FindChild(selection, 1650)), L"Select the programs you want to remove:");
    EXPECT_EQ(GetText(FindChild(selection, IDOK)), L"Uninstall");
    EXPECT_EQ(GetText(FindChild(selection, 1652)), L"One");
    EXPECT_FALSE(IsWindowVisible(FindChild(selection, 1653))) << "Two is installed in name only";
    ASSERT_TRUE(Press(selection, IDOK));
    const HWND progress = DialogWith(run.id(), 1316);
    ASSERT_NE(progress, nullptr);
    Sleep(300);
    EXPECT_EQ(GetText(progress), L"Uninstall Progress");
    SaveScreenshot(progress, "uninstall-progress");
    EXPECT_EQ(run.Wait(kRunMs), std::optional<DWORD>(0));
    EXPECT_TRUE(source.Recorded("One:Uninstall progress"));
    EXPECT_FALSE(source.Recorded("Two:Uninstall progress"));
    EXPECT_TRUE(source.Recorded("Two:FinishUninstall progress"));
    EXPECT_TRUE(source.Recorded("Kelvan Suite Personal:Uninstall progress"));
}

// The question is a Yes/No box: only Yes removes; No, Escape and its close
// button end the uninstall with 9017 and remove nothing. An uninstall that
// left something for the restart asks about it in a Yes/No box of its own,
// which Escape declines.
TEST(Tramlet, AnUninstallOfOneProductAsksFirst) {
    enum class Way { kNo, kEscape, kClose, kYes };
    for (const Way way : {Way::kNo, Way::kEscape, Way::kClose, Way::kYes}) {
        const std::wstring folder = L"uninstall-" + std::to_wstring(static_cast<int>(way));
        SCOPED_TRACE(fs::path(folder).string());
        const Source source(folder, L"Tramlet.exe", {"qz|name=One|installed=1|restart=1"});
        source.Copy(VariantFile(L"antispyware\\xjvprod.dll"), L"xjvprod.dll");
        RunningProgram run;
        ASSERT_TRUE(source.Start(run, L"/u /DisplayLevel=2"));
        const HWND box = DialogWith(run.id(), kBoxText);
        ASSERT_NE(box, nullptr);
        Sleep(300);
        SaveScreenshot(box, "uninstall-question-" + std::to_string(static_cast<int>(way)));
        SeenBox seen{GetText(box), GetText(FindChild(box, kBoxText))};
        switch (way) {
            case Way::kNo:
                EXPECT_TRUE(Press(box, IDNO));
                break;
            case Way::kYes:
                EXPECT_TRUE(Press(box, IDYES));
                break;
            case Way::kEscape:
                EXPECT_TRUE(PostWindowMessage(box, WM_KEYDOWN, VK_ESCAPE, 0));
                break;
            case Way::kClose:
                // What the title bar's close button sends.
                EXPECT_TRUE(PostWindowMessage(box, WM_SYSCOMMAND, SC_CLOSE, 0));
                break;
        }
        EXPECT_TRUE(WaitForWindowGone(box, 10000)) << "the box closes";
        EXPECT_EQ(seen.title, L"One");
        EXPECT_TRUE(Contains(seen.text, L"Do you want to remove One from this computer?"))
            << fs::path(seen.text);
        const bool yes = way == Way::kYes;
        if (yes) {
            const HWND restart = DialogWith(run.id(), kBoxText);
            ASSERT_NE(restart, nullptr);
            Sleep(300);
            SaveScreenshot(restart, "uninstall-restart-question");
            EXPECT_EQ(GetText(restart), L"Restart Windows");
            EXPECT_TRUE(Contains(GetText(FindChild(restart, kBoxText)), L"Restart Windows now?"));
            EXPECT_NE(FindChild(restart, IDYES), nullptr);
            EXPECT_NE(FindChild(restart, IDNO), nullptr);
            EXPECT_TRUE(PostWindowMessage(restart, WM_KEYDOWN, VK_ESCAPE, 0));
            EXPECT_TRUE(WaitForWindowGone(restart, 10000));
        }
        EXPECT_EQ(run.Wait(kRunMs), std::optional<DWORD>(yes ? 0 : 9017));
        EXPECT_FALSE(source.Recorded("reboot")) << "declined";
        EXPECT_EQ(source.Recorded("One:Uninstall progress"), yes);
        EXPECT_EQ(source.Recorded("One:FinishUninstall progress"), yes);
    }
}

// --- Dialogs ---

TEST(Tramlet, TheAgreementShowsTheLicenseAndItsCancelIs9018) {
    const Source source(L"agreement", L"Tramlet.exe", {"qz|name=Kelvan Anti-Spyware"});
    RunningProgram run;
    ASSERT_TRUE(source.Start(run, L"/DisplayLevel=2"));
    const HWND agreement = DialogWith(run.id(), 1036);
    ASSERT_NE(agreement, nullptr);
    Sleep(300);
    SaveScreenshot(agreement, "agreement");
    EXPECT_TRUE(Contains(GetText(FindChild(agreement, 1036)),
                         L"KELVAN SUITE PERSONAL - LICENSE AGREEMENT"));
    EXPECT_EQ(GetText(FindChild(agreement, 1288)), L"Kelvan Anti-Spyware License Agreement");
    ASSERT_TRUE(Press(agreement, IDCANCEL));
    EXPECT_EQ(run.Wait(kRunMs), std::optional<DWORD>(9018));
    EXPECT_TRUE(LogHas("25002"));
}

TEST(Tramlet, TheDestinationDialogRefusesAFolderAndAcceptsAnother) {
    const Source source(L"destination", L"Tramlet.exe", {"qz|name=One"});
    RunningProgram run;
    ASSERT_TRUE(source.Start(run, L"/DisplayLevel=2 /NoReboot"));
    const HWND agreement = DialogWith(run.id(), 1451);
    ASSERT_NE(agreement, nullptr);
    ASSERT_TRUE(Press(agreement, 1451));
    const HWND dialog = DialogWith(run.id(), 1292);
    ASSERT_NE(dialog, nullptr);
    Sleep(300);
    SaveScreenshot(dialog, "destination");
    const HWND edit = FindChild(dialog, 1292);
    EXPECT_EQ(GetText(edit), L"C:\\Program Files\\Kelvan Suite Personal");
    EXPECT_EQ(GetText(FindChild(dialog, IDOK)), L"Install") << "one product: the OK installs";
    EXPECT_TRUE(IsWindowEnabled(FindChild(dialog, 1030)));

    ASSERT_TRUE(SetText(edit, L"C:\\Program Files"));
    ASSERT_TRUE(Press(dialog, IDOK));
    const HWND error = DialogWith(run.id(), kBoxText);
    ASSERT_NE(error, nullptr);
    Sleep(300);
    SaveScreenshot(error, "destination-refused");
    int boxes = 0;
    for (const auto& window : WindowsOf(run.id())) {
        boxes += window.class_name == L"#32770" && FindChild(window.handle, kBoxText) ? 1 : 0;
    }
    EXPECT_EQ(boxes, 1);
    const SeenBox seen = AnswerBox(error);
    EXPECT_TRUE(Contains(seen.text, L"C:\\Program Files")) << fs::path(seen.text);
    EXPECT_TRUE(IsWindow(dialog)) << "the dialog stays for another folder";

    ASSERT_TRUE(SetText(edit, L"C:\\Suite"));
    ASSERT_TRUE(Press(dialog, IDOK));
    EXPECT_TRUE(WaitForWindowGone(dialog, 10000));
    EXPECT_EQ(run.Wait(kRunMs), std::optional<DWORD>(0));
    EXPECT_TRUE(source.Recorded("One path=C:\\Suite"));
}

TEST(Tramlet, AnInstalledSuiteFixesTheDestination) {
    const Source source(L"destination-fixed", L"Tramlet.exe",
                        {"suite|path=C:\\Kept|flag=2", "qz|name=One"});
    RunningProgram run;
    ASSERT_TRUE(source.Start(run, L"/DisplayLevel=2"));
    const HWND agreement = DialogWith(run.id(), 1451);
    ASSERT_NE(agreement, nullptr);
    ASSERT_TRUE(Press(agreement, 1451));
    const HWND dialog = DialogWith(run.id(), 1292);
    ASSERT_NE(dialog, nullptr);
    Sleep(300);
    SaveScreenshot(dialog, "destination-fixed");
    const HWND edit = FindChild(dialog, 1292);
    EXPECT_EQ(GetText(edit), L"C:\\Kept");
    EXPECT_TRUE(GetWindowLongW(edit, GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(IsWindowEnabled(FindChild(dialog, 1030)));
    EXPECT_TRUE(Contains(GetText(FindChild(dialog, 1293)), L"is already installed"));
    ASSERT_TRUE(Press(dialog, IDCANCEL));
    EXPECT_EQ(run.Wait(kRunMs), std::optional<DWORD>(9017));
}

TEST(Tramlet, ProductSelectionShowsOneRowAProduct) {
    const Source source(L"selection", L"Tramlet.exe",
                        {"qz|name=Anti-Spyware", "as|name=Anti-Spam", "av|name=Antivirus",
                         "fw|name=Firewall|checks=9009|text=Windows 95",
                         "fwu|name=Firewall Upgrade|checks=9009|text=Windows 95"});
    RunningProgram run;
    ASSERT_TRUE(source.Start(run, L"/DisplayLevel=2 /Path=C:\\Suite /NoReboot"));
    // The two refused members are warnings, one box each.
    for (int warning = 0; warning < 2; ++warning) {
        const HWND box = DialogWith(run.id(), kBoxText);
        ASSERT_NE(box, nullptr);
        if (warning == 0) {
            Sleep(300);
            SaveScreenshot(box, "selection-warning");
        }
        AnswerBox(box);
    }
    const HWND agreement = DialogWith(run.id(), 1451);
    ASSERT_NE(agreement, nullptr);
    ASSERT_TRUE(Press(agreement, 1451));
    const HWND dialog = DialogWith(run.id(), 1652);
    ASSERT_NE(dialog, nullptr);
    Sleep(300);
    SaveScreenshot(dialog, "selection");
    const wchar_t* names[] = {L"Anti-Spyware", L"Anti-Spam", L"Antivirus", L"Firewall",
                              L"Firewall Upgrade"};
    for (int row = 0; row < 8; ++row) {
        const HWND box = FindChild(dialog, 1652 + row);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(IsWindowVisible(box) != FALSE, row < 5) << row;
        if (row < 5) {
            EXPECT_EQ(GetText(box), names[row]);
            EXPECT_EQ(IsWindowEnabled(box) != FALSE, row < 3) << row;
            // The framework's check box answers BM_GETCHECK as a button does.
            EXPECT_EQ(SendWindowMessage(box, BM_GETCHECK, 0, 0).result,
                      row < 3 ? BST_CHECKED : BST_UNCHECKED)
                << row;
        }
    }
    // Shorter by exactly three rows: the OK button stands as far below the
    // fifth row as it stood below the eighth.
    const RECT first = RectIn(FindChild(dialog, 1652), dialog);
    const RECT second = RectIn(FindChild(dialog, 1653), dialog);
    const RECT fifth = RectIn(FindChild(dialog, 1656), dialog);
    const RECT eighth = RectIn(FindChild(dialog, 1659), dialog);
    const RECT ok = RectIn(FindChild(dialog, IDOK), dialog);
    const int row = second.top - first.top;
    EXPECT_NEAR(eighth.bottom - fifth.bottom, 3 * row, 2);
    EXPECT_NEAR(ok.top - fifth.bottom, 2 * row, 2) << "28 units below the last row used";
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_LT(client.bottom - ok.bottom, row) << "the unused rows are cut off";
    EXPECT_FALSE(IsWindowVisible(FindChild(dialog, 1651)))
        << "the note only when none can be chosen";

    // Nothing ticked: OK is off; one ticked: it installs that one only.
    for (int id = 1652; id <= 1654; ++id) {
        SendWindowMessage(FindChild(dialog, id), BM_SETCHECK, BST_UNCHECKED, 0);
        SendWindowMessage(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                          reinterpret_cast<LPARAM>(FindChild(dialog, id)));
    }
    EXPECT_FALSE(IsWindowEnabled(FindChild(dialog, IDOK)));
    SaveScreenshot(dialog, "selection-none");
    SendWindowMessage(FindChild(dialog, 1653), BM_SETCHECK, BST_CHECKED, 0);
    SendWindowMessage(dialog, WM_COMMAND, MAKEWPARAM(1653, BN_CLICKED),
                      reinterpret_cast<LPARAM>(FindChild(dialog, 1653)));
    EXPECT_TRUE(IsWindowEnabled(FindChild(dialog, IDOK)));
    ASSERT_TRUE(Press(dialog, IDOK));
    // Two members failed their checks: the run never exits 0.
    EXPECT_EQ(run.Wait(kRunMs), std::optional<DWORD>(9009));
    EXPECT_TRUE(source.Recorded("Anti-Spam:Install progress"));
    EXPECT_FALSE(source.Recorded("Anti-Spyware:Install progress"));
    EXPECT_FALSE(source.Recorded("Antivirus:Install progress"));
}

TEST(Tramlet, NoticesOfMissingComponentsAndTheCompetitorQuestion) {
    struct Case {
        const wchar_t* folder;
        const char* fake;
        int control;  // a control only this dialog has
        DWORD exit_code;
        const wchar_t* text;  // in control 1087
        int button;
    };
    const Case cases[] = {
        {L"notice-component", "qz|name=One|checks=9006", 1446, 9006, L"rich edit component",
         IDCANCEL},
        {L"notice-winsock", "qz|name=Mail Guard|checks=9014", 1446, 9014,
         L"Mail Guard needs Winsock 2", IDCANCEL},
    };
    for (const Case& c : cases) {
        const std::string name = fs::path(c.folder).string();
        SCOPED_TRACE(name);
        const Source source(c.folder, L"Tramlet.exe", {c.fake});
        RunningProgram run;
        ASSERT_TRUE(source.Start(run, L"/DisplayLevel=2"));
        const HWND dialog = DialogWith(run.id(), c.control);
        ASSERT_NE(dialog, nullptr);
        Sleep(300);
        SaveScreenshot(dialog, name);
        EXPECT_TRUE(Contains(GetText(FindChild(dialog, 1087)), c.text))
            << fs::path(GetText(FindChild(dialog, 1087)));
        ASSERT_TRUE(Press(dialog, c.button));
        EXPECT_EQ(run.Wait(kRunMs), std::optional<DWORD>(c.exit_code));
    }

    // The competitor question: its name, the product's in the question;
    // "No" keeps it (9021).
    const Source source(L"competitor", L"Tramlet.exe",
                        {"qz|name=One", "compete|One:Install|Rival Antivirus 2005"});
    RunningProgram run;
    ASSERT_TRUE(source.Start(run, L"/DisplayLevel=2 /Path=C:\\Suite /NoReboot"));
    const HWND agreement = DialogWith(run.id(), 1451);
    ASSERT_NE(agreement, nullptr);
    ASSERT_TRUE(Press(agreement, 1451));
    const HWND question = DialogWith(run.id(), 1455);
    ASSERT_NE(question, nullptr);
    Sleep(300);
    SaveScreenshot(question, "competitor");
    EXPECT_EQ(GetText(FindChild(question, 1455)), L"Rival Antivirus 2005");
    EXPECT_TRUE(Contains(GetText(FindChild(question, 1091)), L"before it installs One"));
    ASSERT_TRUE(Press(question, IDCANCEL));
    EXPECT_EQ(run.Wait(kRunMs), std::optional<DWORD>(0));
    EXPECT_TRUE(source.Recorded("compete 9021"));
}

TEST(Tramlet, TheProgressWindowFillsItsBarAtTheEnd) {
    const Source source(L"progress", L"Tramlet.exe", {"qz|name=One", "pause|One:Install|3000"});
    RunningProgram run;
    ASSERT_TRUE(source.Start(run, L"/DisplayLevel=2 /Path=C:\\Suite /NoReboot"));
    const HWND agreement = DialogWith(run.id(), 1451);
    ASSERT_NE(agreement, nullptr);
    ASSERT_TRUE(Press(agreement, 1451));
    const HWND progress = DialogWith(run.id(), 1316);
    ASSERT_NE(progress, nullptr);
    Sleep(500);
    SaveScreenshot(progress, "progress");
    EXPECT_EQ(GetText(progress), L"Install Progress");
    EXPECT_EQ(GetText(FindChild(progress, 1144)), L"One: Install");
    // Closing it does not end it.
    PostWindowMessage(progress, WM_CLOSE, 0, 0);
    Sleep(300);
    EXPECT_TRUE(IsWindow(progress));
    EXPECT_EQ(run.Wait(kRunMs), std::optional<DWORD>(0));
    // One product: six steps; the bar stands at its end however few were made.
    EXPECT_TRUE(source.Recorded("stop 6 6"));
}

TEST(Tramlet, SilentRunsShowNothingAndStartNoProgressThread) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* arguments;
        DWORD exit_code;
        const char* recorded;
    };
    const Case cases[] = {
        {L"silent-default", L"/Silent", 0, "One path=C:\\Program Files\\Kelvan Suite Personal"},
        {L"silent-refused", L"/Silent /Path=\"C:\\Program Files\"", 9019, nullptr},
        {L"silent-given", L"/Silent /Path=\"C:\\My Suite\"", 0, "One path=C:\\My Suite"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fs::path(c.folder).string());
        const Source source(c.folder, L"Tramlet.exe", {"qz|name=One", "pause|One:Install|1500"});
        RunningProgram run;
        ASSERT_TRUE(source.Start(run, c.arguments));
        if (c.exit_code == 0) {
            // The main window is there, hidden, while the product installs.
            const HWND main =
                FindTopLevelWindow({.title = kMainTitle, .process_id = run.id()}, 20000);
            ASSERT_NE(main, nullptr);
            EXPECT_FALSE(IsWindowVisible(main));
        }
        EXPECT_EQ(run.Wait(kRunMs), std::optional<DWORD>(c.exit_code));
        if (c.recorded) {
            EXPECT_TRUE(source.Recorded(c.recorded));
            EXPECT_TRUE(source.Recorded("One:Install")) << "no progress thread at level 0";
        } else {
            EXPECT_FALSE(source.Recorded("One:Install"));
            EXPECT_TRUE(LogHas("25025"));
        }
    }
}

TEST(Tramlet, TheWatcherPressesYesOnlyOnTheFirewallsQuestions) {
    const Source source(L"watcher", L"Tramlet.exe", {"qz|name=One", "watch|One:Install|5000"});
    const std::u16string_view first_question(setup::kFirewallQuestions[0].title);
    const std::wstring title(first_question.begin(), first_question.end());
    // Another class's window of the same title is left alone.
    const std::wstring stand_in_log = source.Path(L"stand_in.log");
    RunningProgram other;
    ASSERT_TRUE(StartWhenReady(other, Quote(GuiProgramPath(L"stand_in.exe")) + L" --title " +
                                          Quote(title) + L" --class TessalyFrame --log " +
                                          Quote(stand_in_log) + L" --seconds 60"));
    int answer = 0;
    std::thread asker(
        [&] { answer = MessageBoxW(nullptr, L"Replace the files?", title.c_str(), MB_YESNO); });
    ASSERT_NE(FindDialog({.title = title}, 10000), nullptr);
    EXPECT_EQ(source.Run(L"/Silent"), 0u);
    asker.join();
    EXPECT_EQ(answer, IDYES);
    EXPECT_TRUE(source.Recorded("watcher ended"));
    for (const auto& line : ReadLines(stand_in_log)) {
        EXPECT_NE(line.rfind("message 273 ", 0), 0u) << line;
    }
}

TEST(Tramlet, ACleanupCopyLeavesNoCopyAfterTheRestart) {
    const Source source(L"cleanup-copies", L"xjcu_002.exe");
    source.Copy(RootFile(L"Tramlet.exe"), L"xjcu_005.exe");
    EXPECT_EQ(source.Run(L"/Silent"), 0u);
    const auto restart = RunForOutput(L"wineboot.exe -r", 120000);
    EXPECT_TRUE(restart.ended);
    WaitUntil([&] { return !fs::exists(fs::path(source.Path(L"xjcu_002.exe"))); }, 20000, 200);
    for (const auto& entry : fs::directory_iterator(fs::path(source.folder))) {
        const std::wstring name = entry.path().filename().wstring();
        EXPECT_NE(_wcsnicmp(name.c_str(), L"xjcu_", 5), 0) << entry.path();
    }
}

// --- This product from its own package (the setup source setup-qz) ---

// The whole setup source with this product's package, in a folder of its
// own.
std::wstring CopyProductSource(const std::wstring& name) {
    const fs::path folder(L"C:\\sources\\" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy(fs::path(testing::WindowsPath(SETUP_QZ)), folder, fs::copy_options::recursive);
    return folder.wstring();
}

constexpr wchar_t kMainWindowTitle[] = L"Kelvan Gorsewatch by Brackwith";

// Waits for the run to end; a restart question on the way is declined by
// Escape (after a screenshot). Whether one was asked.
bool DeclineRestartQuestion(RunningProgram& run, const std::string& shot, DWORD timeout_ms) {
    bool asked = false;
    const DWORD deadline = GetTickCount() + timeout_ms;
    while (run.running() && GetTickCount() < deadline) {
        for (const auto& window : WindowsOf(run.id())) {
            if (window.class_name == L"#32770" && window.title == L"Restart Windows" &&
                FindChild(window.handle, kBoxText)) {
                asked = true;
                Sleep(300);
                SaveScreenshot(window.handle, shot);
                EXPECT_NE(FindChild(window.handle, IDNO), nullptr) << "a Yes/No question";
                PostWindowMessage(window.handle, WM_KEYDOWN, VK_ESCAPE, 0);
                WaitForWindowGone(window.handle, 10000);
            }
        }
        Sleep(100);
    }
    return asked;
}
constexpr wchar_t kProductFolder[] = L"C:\\Suite\\Kelvan Gorsewatch";

TEST(Tramlet, ThisProductInstallsAtLevel2StartsItsFirstScanAndUninstalls) {
    const std::wstring folder = CopyProductSource(L"product");
    Source source(L"product-driver");
    source.folder = folder;

    // The agreement, then the destination dialog with a folder of our own.
    RunningProgram run;
    ASSERT_TRUE(source.Start(run, L"/DisplayLevel=2"));
    const HWND agreement = DialogWith(run.id(), 1451, 60000);
    ASSERT_NE(agreement, nullptr);
    ASSERT_TRUE(Press(agreement, 1451));
    const HWND destination = DialogWith(run.id(), 1292, 60000);
    ASSERT_NE(destination, nullptr);
    ASSERT_TRUE(SetText(FindChild(destination, 1292), L"C:\\Suite"));
    Sleep(300);
    SaveScreenshot(destination, "product-destination");
    ASSERT_TRUE(Press(destination, IDOK));
    EXPECT_FALSE(DeclineRestartQuestion(run, "product-install-restart", 180000))
        << "nothing of the install waits for a restart";
    EXPECT_EQ(run.Wait(10000), std::optional<DWORD>(0));
    EXPECT_TRUE(fs::exists(fs::path(kProductFolder) / L"Gorsewatch5.exe"));

    // Installed alone at level 2: the first scan opens the main window.
    const HWND main_window = FindTopLevelWindow({.title = kMainWindowTitle}, 60000);
    ASSERT_NE(main_window, nullptr);
    Sleep(1000);
    SaveScreenshot(main_window, "product-main-window");
    DWORD main_process = 0;
    GetWindowThreadProcessId(main_window, &main_process);
    if (const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, main_process)) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }

    // Its own uninstaller removes it again, desktop shortcut and all. Its
    // cleanup copy waits for the restart: the user is asked, Yes or No.
    RunningProgram uninstall;
    ASSERT_TRUE(uninstall.Start(Quote(std::wstring(kProductFolder) + L"\\xjuninst.exe") +
                                L" /u /DisplayLevel=2"));
    const HWND question = DialogWith(uninstall.id(), kBoxText, 60000);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(GetText(question), L"Kelvan Gorsewatch");
    ASSERT_TRUE(Press(question, IDYES));
    EXPECT_TRUE(DeclineRestartQuestion(uninstall, "product-uninstall-restart", 180000));
    EXPECT_EQ(uninstall.Wait(10000), std::optional<DWORD>(0));
    EXPECT_FALSE(fs::exists(fs::path(kProductFolder) / L"Gorsewatch5.exe"));
}

TEST(Tramlet, ThisProductWithNoScanStartsNoScan) {
    const std::wstring folder = CopyProductSource(L"product-noscan");
    Source source(L"product-noscan-driver");
    source.folder = folder;
    const Driven driven = Drive(source, L"/DisplayLevel=2 /NoReboot /NoScan", "product-noscan");
    EXPECT_EQ(driven.exit_code, 0u);
    EXPECT_EQ(FindTopLevelWindow({.title = kMainWindowTitle}, 5000), nullptr);
    RunningProgram uninstall;
    ASSERT_TRUE(uninstall.Start(
        Quote(L"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Gorsewatch\\xjuninst.exe") +
        L" /u /Silent /NoReboot"));
    EXPECT_EQ(uninstall.Wait(180000), std::optional<DWORD>(0));
}

}  // namespace
}  // namespace olvex::gui
