#include "client/common/client_application.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "client/common/client_test_support.h"
#include "client/common/program_launcher.h"
#include "client/common/test_programs/client_test_strings.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {
namespace {

std::string UniqueName(const char* what) {
    return std::string("OlvexClientTest") + what + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(GetTickCount());
}

// Waits (without a limit of its own: the test's time-out ends a hang) until a
// window with the title exists or the process has ended.
HWND WaitForWindow(const std::wstring& title, HANDLE process) {
    for (;;) {
        if (HWND window = FindWindowW(nullptr, title.c_str()))
            return window;
        if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0)
            return nullptr;
    }
}

DWORD WaitForExit(const StartedProgram& program) {
    WaitForSingleObject(program.process.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(program.process.get(), &code);
    return code;
}

TEST(ClientApplication, MessageBoxesTakeTheirTextFromTheStringTable) {
    RecordingMessageBoxes boxes;
    boxes.answer = IDNO;
    const ScopedMessageBoxes use(boxes);
    ClientApplication app;

    EXPECT_EQ(app.LoadResourceString(IDS_TEST_QUESTION), L"Remove the pest \"Test\" now?");
    EXPECT_EQ(app.LoadResourceString(9999), L"");
    EXPECT_EQ(app.MessageBoxFromResource(IDS_TEST_QUESTION, MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(app.MessageBoxText(L"Windows sockets initialization failed", MB_OK), IDNO);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, L"Remove the pest \"Test\" now?");
    EXPECT_EQ(boxes.shown[0].caption, L"Kelvan Gorsewatch");
    EXPECT_EQ(boxes.shown[0].style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes.shown[1].text, L"Windows sockets initialization failed");
}

// An unattended run never waits: no box is shown and each answers its
// default button.
TEST(ClientApplication, UnattendedRunsAnswerTheDefaultButtonWithoutShowing) {
    RecordingMessageBoxes boxes;
    const ScopedMessageBoxes use(boxes);
    ClientApplication app;
    app.SetUnattended(true);
    EXPECT_EQ(app.MessageBoxFromResource(IDS_TEST_MESSAGE, MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(app.MessageBoxFromResource(IDS_TEST_QUESTION, MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_TRUE(boxes.shown.empty());

    const std::pair<UINT, int> cases[] = {
        {MB_OK, IDOK},
        {MB_OKCANCEL, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNO, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_YESNO | MB_DEFBUTTON3, IDYES},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
        {MB_RETRYCANCEL | MB_ICONWARNING, IDRETRY},
    };
    for (const auto& [style, answer] : cases)
        EXPECT_EQ(DefaultButtonAnswer(style), answer) << std::hex << style;
}

TEST(ClientApplication, HiddenMainWindowCarriesTheTitleAndClosesOnWmClose) {
    const std::string name = UniqueName("Window");
    const std::wstring title(name.begin(), name.end());
    ClientApplication app;
    ASSERT_TRUE(app.CreateMainWindow(title));
    const HWND window = app.main_window();
    EXPECT_EQ(FindWindowW(nullptr, title.c_str()), window);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(app.PumpMessages());
    EXPECT_FALSE(app.close_requested());

    // How the update utility closes a program.
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    EXPECT_FALSE(app.PumpMessages());
    EXPECT_TRUE(app.close_requested());
    EXPECT_EQ(app.main_window(), nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(FindWindowW(nullptr, title.c_str()), nullptr);
}

// A second instance gives way while the first runs; the first, closed by
// WM_CLOSE, ends cleanly and frees the name.
TEST(ClientApplication, SecondInstanceGivesWayToTheFirst) {
    const std::string mutex = UniqueName("Mutex");
    const std::string title = UniqueName("Title");
    const std::wstring wide_title(title.begin(), title.end());
    const auto first = StartProgram(HelperProgram(), "instance " + mutex + " " + title);
    const EndsWithTest end_first(first);
    ASSERT_TRUE(first);
    const HWND window = WaitForWindow(wide_title, first->process.get());
    ASSERT_NE(window, nullptr);

    const auto second = StartProgram(HelperProgram(), "instance " + mutex + " " + title);
    const EndsWithTest end_second(second);
    ASSERT_TRUE(second);
    EXPECT_EQ(WaitForExit(*second), 3u);  // gave way
    {
        ClientApplication app;
        EXPECT_EQ(app.ClaimSingleInstance(mutex), MutexClaim::kExists);
    }

    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    EXPECT_EQ(WaitForExit(*first), 0u);  // closed cleanly
    ClientApplication app;
    EXPECT_EQ(app.ClaimSingleInstance(mutex), MutexClaim::kClaimed);
    ClientApplication another;
    EXPECT_EQ(another.ClaimSingleInstance(mutex), MutexClaim::kExists);
}

// Programs are started by their quoted full path: a blank in a folder name
// cannot split the command line.
class SettingsApplication : public ClientApplication {
  public:
    int truncate = 1;
};
class OtherApplication : public ClientApplication {};

TEST(ClientApplication, TheRunningApplicationIsReachedByItsOwnType) {
    EXPECT_EQ(ClientApplication::Current(), nullptr);
    EXPECT_EQ(CurrentApplication<SettingsApplication>(), nullptr) << "none runs";
    {
        SettingsApplication app;
        EXPECT_EQ(ClientApplication::Current(), &app);
        ASSERT_EQ(CurrentApplication<SettingsApplication>(), &app);
        EXPECT_EQ(CurrentApplication<SettingsApplication>()->truncate, 1);
        EXPECT_EQ(CurrentApplication<OtherApplication>(), nullptr) << "another type";
        EXPECT_EQ(app.ui_thread_id(), GetCurrentThreadId());
    }
    EXPECT_EQ(ClientApplication::Current(), nullptr);
}

TEST(ProgramLauncher, StartsProgramsByTheirQuotedFullPath) {
    ScratchDir dir;
    std::filesystem::create_directories(dir.path() / "Program Files" / "Kelvan Gorsewatch");
    const std::string program =
        (dir.path() / "Program Files" / "Kelvan Gorsewatch" / "helper.exe").string();
    std::filesystem::copy_file(HelperProgram(), program);
    const std::string output = dir.File("args.txt");

    EXPECT_EQ(ProgramCommandLine(program, "-autoupdate"), "\"" + program + "\" -autoupdate");
    EXPECT_EQ(ProgramCommandLine(program, ""), "\"" + program + "\"");
    EXPECT_EQ(ProgramCommandLine("helper.exe", ""), std::nullopt);
    EXPECT_EQ(ProgramCommandLine("\\helper.exe", ""), std::nullopt);
    EXPECT_EQ(ProgramCommandLine("C:\\a\"b.exe", ""), std::nullopt);
    EXPECT_FALSE(StartProgram("helper.exe").has_value());

    const auto started = StartProgram(program, "args \"" + output + "\" /quarantine second");
    ASSERT_TRUE(started);
    EXPECT_EQ(WaitForExit(*started), 0u);
    std::ifstream in(output);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(text, "/quarantine\nsecond\n");

    EXPECT_FALSE(StartProgram(dir.File("missing.exe")).has_value());
}

}  // namespace
}  // namespace olvex::testing
