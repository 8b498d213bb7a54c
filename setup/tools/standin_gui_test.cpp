// standin.exe under Wine on a display of its own: the behaviours the suite
// members' stand-ins are given in their ini, each checked through what the
// real members leave behind (files, registry values, windows, mutexes, the
// log) and driven as setup drives them (window messages, "-k", the
// service manager).
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "setup/products/member_packaging.h"
#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"
#include "testing/windows_test_support.h"

namespace olvex::standin {
namespace {

using gui::RunningProgram;
using testing::Narrow;

constexpr wchar_t kRoot[] = L"C:\\standin-test";
constexpr wchar_t kTestKey[] = L"Software\\OlvexStandinTest";

std::wstring StandinExe() {
    return testing::WindowsPath(OLVEX_STANDIN_EXE);
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out << bytes;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A copy of standin.exe under the path with an ini of the given lines.
std::wstring Place(const std::wstring& path, const std::vector<std::string>& settings) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_TRUE(CopyFileW(StandinExe().c_str(), path.c_str(), FALSE)) << Narrow(path);
    std::string ini = "[standin]\r\n";
    for (const std::string& line : settings) {
        ini += line + "\r\n";
    }
    WriteFile(path + L".ini", ini);
    return path;
}

// The log lines written by copies of that file name.
std::vector<std::string> LogOf(const std::string& name) {
    std::vector<std::string> lines;
    for (const std::string& line : gui::ReadLines(L"C:\\standin.log")) {
        if (line.rfind(name + "|", 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

bool Logged(const std::string& name, const std::string& line) {
    const auto lines = LogOf(name);
    return std::find(lines.begin(), lines.end(), name + "|" + line) != lines.end();
}

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data);
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     nullptr, data, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(data);
}

DWORD ReadType(HKEY root, const std::wstring& key, const wchar_t* name) {
    DWORD type = 0;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, nullptr) !=
        ERROR_SUCCESS) {
        return REG_NONE;
    }
    return type;
}

bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

bool MutexExists(const wchar_t* name) {
    const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, name);
    if (!mutex) {
        return false;
    }
    CloseHandle(mutex);
    return true;
}

int CountProcesses(const std::wstring& name) {
    int count = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, name.c_str()) == 0) {
            ++count;
        }
    }
    CloseHandle(snapshot);
    return count;
}

DWORD RunToEnd(const std::wstring& command_line, DWORD timeout_ms = 30000) {
    RunningProgram program;
    EXPECT_TRUE(program.Start(command_line)) << Narrow(command_line);
    const auto code = program.Wait(timeout_ms);
    EXPECT_TRUE(code.has_value()) << Narrow(command_line) << " still runs";
    return code.value_or(0xFFFFFFFF);
}

// A message box found as it opens is painted once its buttons exist.
void SaveBoxScreenshot(HWND box, const std::string& name) {
    gui::WaitUntil([box] { return gui::FindChild(box, IDYES) != nullptr && IsWindowVisible(box); },
                   5000);
    Sleep(300);
    gui::SaveScreenshot(box, name);
}

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    wchar_t full[MAX_PATH] = {};
    GetLongPathNameW(temp, full, MAX_PATH);
    std::wstring folder = full;
    while (!folder.empty() && folder.back() == L'\\') {
        folder.pop_back();
    }
    return folder;
}

TEST(StandinGui, FileAndRegistryActionsWithPlaceholders) {
    const std::wstring folder = std::wstring(kRoot) + L"\\files";
    const std::wstring dest = L"C:\\Program Files\\Standin Dest";
    std::filesystem::create_directories(std::filesystem::path(dest + L"\\tree\\inner"));
    WriteFile(dest + L"\\tree\\inner\\a.txt", "a");
    WriteFile(dest + L"\\old1.tmp", "1");
    WriteFile(dest + L"\\old2.tmp", "2");
    WriteFile(dest + L"\\keep.txt", "keep");
    std::filesystem::create_directories(std::filesystem::path(folder));
    WriteFile(folder + L"\\payload.txt", "payload");
    WriteFile(folder + L"\\one.dat", "one");
    WriteFile(folder + L"\\two.dat", "two");
    WriteFile(std::wstring(kRoot) + L"\\config.txt", std::string("OEM_A=1\r\n\xE9\r\n", 11));
    const std::wstring key = std::wstring(kTestKey) + L"\\Files";
    HKEY made = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, (key + L"\\Gone\\Deeper").c_str(), 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &made, nullptr);
    RegCloseKey(made);
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made,
                    nullptr);
    RegSetValueExW(made, L"Old", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    RegCloseKey(made);

    const std::string k = "HKLM\\Software\\OlvexStandinTest\\Files";
    const std::wstring program = Place(
        folder + L"\\setup.exe",
        {"exit=7", "dest=switch:/ProductDest", "copyarg1=/M|C:\\standin-test\\copied.txt",
         "delete1=%DEST%\\*.tmp", "delete2=%DEST%\\tree", "delete3=%DEST%\\missing.txt",
         "copy1=payload.txt|%DEST%\\sub\\", "copy2=*.dat|%DEST%\\data",
         "copy3=%SELFDIR%\\payload.txt|%DEST%\\renamed.txt", "reg1=" + k + "|Path|sz|%DEST%",
         "reg2=" + k + "|Count|dword|0x10", "reg3=" + k + "|Plain|dword|12",
         "reg4=" + k + "||expand|%SYSDIR%\\x.dll", "reg5=" + k + "|Windows|sz|%WINDIR%",
         "reg6=HKCU\\Software\\OlvexStandinTest|User|sz|u", "reg7=HKXX\\Software\\Bad|Name|sz|x",
         "reg8=" + k + "|Bad|dword|twelve", "unreg1=" + k + "\\Gone|*", "unreg2=" + k + "|Old",
         "unreg3=" + k + "|NeverThere", "unreg4=" + k + "\\NeverThere|*",
         // reg9 is missing: reg10 is never read.
         "reg10=" + k + "|Never|sz|x"});
    const std::wstring command = L"\"" + program + L"\" /Silent /ProductDest=\"" + dest +
                                 L"\" /M=C:\\standin-test\\config.txt";
    EXPECT_EQ(RunToEnd(command), 7u);

    EXPECT_EQ(LogOf("setup.exe").front(), "setup.exe|" + Narrow(command));
    EXPECT_EQ(ReadFile(L"C:\\standin-test\\copied.txt"), std::string("OEM_A=1\r\n\xE9\r\n", 11));
    EXPECT_FALSE(Exists(dest + L"\\old1.tmp"));
    EXPECT_FALSE(Exists(dest + L"\\old2.tmp"));
    EXPECT_TRUE(Exists(dest + L"\\keep.txt"));
    EXPECT_FALSE(Exists(dest + L"\\tree"));
    EXPECT_EQ(ReadFile(dest + L"\\sub\\payload.txt"), "payload");
    EXPECT_EQ(ReadFile(dest + L"\\data\\one.dat"), "one");
    EXPECT_EQ(ReadFile(dest + L"\\data\\two.dat"), "two");
    EXPECT_EQ(ReadFile(dest + L"\\renamed.txt"), "payload");

    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"Path"), dest);
    DWORD count = 0;
    DWORD size = sizeof(count);
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Count", RRF_RT_REG_DWORD, nullptr,
                           &count, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(count, 16u);
    size = sizeof(count);
    RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Plain", RRF_RT_REG_DWORD, nullptr, &count,
                 &size);
    EXPECT_EQ(count, 12u);
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, nullptr), std::wstring(system) + L"\\x.dll");
    EXPECT_EQ(ReadType(HKEY_LOCAL_MACHINE, key, nullptr), static_cast<DWORD>(REG_EXPAND_SZ));
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"Windows"), std::wstring(windows));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kTestKey, L"User"), L"u");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key + L"\\Gone"));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"Old"), std::nullopt);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"Never"), std::nullopt);
    // What could not be done is told in the log; a missing file, value or
    // key to delete is no failure.
    EXPECT_EQ(LogOf("setup.exe"), (std::vector<std::string>{
                                      "setup.exe|" + Narrow(command),
                                      "setup.exe|failed: reg7=HKXX\\Software\\Bad|Name|sz|x",
                                      "setup.exe|failed: reg8=" + k + "|Bad|dword|twelve",
                                  }));
}

// The runner's script made linked-tree\link, a Unix link to "outside".
TEST(StandinGui, DeletingAFolderLeavesWhatALinkInItPointsTo) {
    const std::wstring outside = std::wstring(kRoot) + L"\\outside";
    const std::wstring tree = std::wstring(kRoot) + L"\\linked-tree";
    ASSERT_NE(GetFileAttributesW((tree + L"\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    ASSERT_EQ(ReadFile(tree + L"\\link\\precious.txt"), "precious");
    const std::wstring program =
        Place(std::wstring(kRoot) + L"\\links\\unlinker.exe", {"delete1=" + Narrow(tree)});
    EXPECT_EQ(RunToEnd(L"\"" + program + L"\""), 0u);
    EXPECT_FALSE(Exists(tree + L"\\own.txt"));
    EXPECT_EQ(ReadFile(outside + L"\\precious.txt"), "precious");
    // Wine removes no Unix link to a folder: then the link alone stays, and
    // the stand-in says it could not delete the tree.
    if (Exists(tree)) {
        EXPECT_TRUE(Exists(tree + L"\\link"));
        EXPECT_TRUE(Logged("unlinker.exe", "failed: delete1=" + Narrow(tree)));
    }
}

TEST(StandinGui, DestinationAfterTextIsTheRestOfTheLine) {
    const std::wstring program = Place(
        std::wstring(kRoot) + L"\\as\\Anti-Spam.exe",
        {"dest=after:/silent ", "reg1=HKLM\\Software\\OlvexStandinTest\\AS|Folder|sz|%DEST%"});
    EXPECT_EQ(RunToEnd(L"\"" + program + L"\" /silent C:\\Program Files\\Suite AS  "), 0u);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\AS", L"Folder"),
              L"C:\\Program Files\\Suite AS");

    // Without its destination a copy touches nothing the destination's
    // paths would have named, nor a drive's root.
    WriteFile(L"C:\\victim.txt", "victim");
    const std::wstring lost = Place(std::wstring(kRoot) + L"\\as\\lost.exe",
                                    {"dest=switch:/ProductDest", "delete1=%DEST%\\victim.txt",
                                     "delete2=C:\\*", "delete3=victim.txt"});
    EXPECT_EQ(RunToEnd(L"\"" + lost + L"\" /Silent"), 0u);
    EXPECT_EQ(ReadFile(L"C:\\victim.txt"), "victim");
    EXPECT_TRUE(Exists(L"C:\\windows"));
    EXPECT_TRUE(Logged("lost.exe", "failed: delete1=%DEST%\\victim.txt"));
    EXPECT_TRUE(Logged("lost.exe", "failed: delete2=C:\\*"));
    EXPECT_TRUE(Logged("lost.exe", "failed: delete3=victim.txt"));
}

TEST(StandinGui, QuestionsGoOnOnlyOnYes) {
    const std::wstring program =
        Place(std::wstring(kRoot) + L"\\ask\\asker.exe",
              {"askfail=5", "ask1=First Question|Go on?", "ask2=Second Question|Really?",
               "reg1=HKLM\\Software\\OlvexStandinTest\\Ask|Done|sz|yes"});
    RunningProgram run;
    ASSERT_TRUE(run.Start(L"\"" + program + L"\""));
    const HWND first = gui::FindDialog({.title = L"First Question"}, 20000);
    ASSERT_NE(first, nullptr);
    SaveBoxScreenshot(first, "ask-first");
    const auto shown = gui::ReadDialog(first);
    EXPECT_NE(shown.text.find(L"Go on?"), std::wstring::npos);
    EXPECT_TRUE(gui::PressButton(first, IDYES));
    const HWND second = gui::FindDialog({.title = L"Second Question"}, 20000);
    ASSERT_NE(second, nullptr);
    SaveBoxScreenshot(second, "ask-second");
    EXPECT_TRUE(gui::PressButton(second, IDNO));
    EXPECT_EQ(run.Wait(20000), 5u);
    EXPECT_TRUE(Logged("asker.exe", "answered no: Second Question"));
    EXPECT_FALSE(Logged("asker.exe", "answered no: First Question"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\Ask"));

    // Answered Yes every time, as setup's dialog watcher does (WM_COMMAND 6
    // to the box): the firewall installer's seven questions in order, then
    // its own, then the actions.
    const std::wstring firewall = Place(std::wstring(kRoot) + L"\\fw\\tssetup.exe",
                                        {"askset=firewall", "ask1=Last One|Done?",
                                         "reg1=HKLM\\Software\\OlvexStandinTest\\Ask|Done|sz|yes"});
    RunningProgram installer;
    ASSERT_TRUE(installer.Start(L"\"" + firewall + L"\""));
    std::vector<std::wstring> titles;
    for (const auto& question : setup::kFirewallQuestions) {
        titles.emplace_back(reinterpret_cast<const wchar_t*>(question.title));
    }
    titles.emplace_back(L"Last One");
    for (size_t i = 0; i < titles.size(); ++i) {
        const HWND box =
            gui::FindTopLevelWindow({.title = titles[i], .class_name = L"#32770"}, 20000);
        ASSERT_NE(box, nullptr) << Narrow(titles[i]);
        if (i == 0) {
            SaveBoxScreenshot(box, "ask-firewall-first");
        }
        EXPECT_TRUE(gui::SendWindowMessage(box, WM_COMMAND, IDYES, 0).completed);
        EXPECT_TRUE(gui::WaitForWindowGone(box, 10000));
    }
    EXPECT_EQ(installer.Wait(20000), 0u);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\Ask", L"Done"), L"yes");
    EXPECT_EQ(LogOf("tssetup.exe").size(), 1u);
}

TEST(StandinGui, WindowsLogWhatTheyGetAndEndAsTold) {
    const std::wstring program =
        Place(std::wstring(kRoot) + L"\\win\\NimTray.exe",
              {"exit=3", "window1=NimTrayClass|Nim Tray", "window2=#32770|AutoDownload Error"});
    RunningProgram run;
    ASSERT_TRUE(run.Start(L"\"" + program + L"\""));
    const HWND tray =
        gui::FindTopLevelWindow({.title = L"Nim Tray", .class_name = L"NimTrayClass"}, 20000);
    const HWND error =
        gui::FindTopLevelWindow({.title = L"AutoDownload Error", .class_name = L"#32770"}, 20000);
    ASSERT_NE(tray, nullptr);
    ASSERT_NE(error, nullptr);
    Sleep(300);  // both painted
    gui::SaveScreenshot(tray, "window-class");
    gui::SaveScreenshot(error, "window-dialog");
    // By default each of the three messages ends the window it reaches.
    EXPECT_TRUE(gui::SendWindowMessage(tray, 1124, 0, 0).completed);
    EXPECT_TRUE(gui::WaitForWindowGone(tray, 5000));
    EXPECT_TRUE(run.running());
    EXPECT_TRUE(gui::SendWindowMessage(error, WM_CLOSE, 0, 0).completed);
    EXPECT_EQ(run.Wait(10000), 3u);
    EXPECT_EQ(LogOf("NimTray.exe"),
              (std::vector<std::string>{"NimTray.exe|\"" + Narrow(program) + "\"",
                                        "NimTray.exe|Nim Tray|1124",
                                        "NimTray.exe|AutoDownload Error|16"}));

    // Ending only on WM_DESTROY: a close and a 1124 are logged and left.
    const std::wstring picky = Place(std::wstring(kRoot) + L"\\win\\Hoplin.exe",
                                     {"window1=HoplinClass|Hoplin", "windowends=2"});
    RunningProgram second;
    ASSERT_TRUE(second.Start(L"\"" + picky + L"\""));
    const HWND hoplin = gui::FindTopLevelWindow({.title = L"Hoplin"}, 20000);
    ASSERT_NE(hoplin, nullptr);
    EXPECT_TRUE(gui::SendWindowMessage(hoplin, WM_CLOSE, 0, 0).completed);
    EXPECT_TRUE(gui::SendWindowMessage(hoplin, 1124, 0, 0).completed);
    EXPECT_TRUE(IsWindow(hoplin));
    EXPECT_TRUE(gui::SendWindowMessage(hoplin, WM_DESTROY, 0, 0).completed);
    EXPECT_EQ(second.Wait(10000), 0u);
    EXPECT_EQ(
        LogOf("Hoplin.exe"),
        (std::vector<std::string>{"Hoplin.exe|\"" + Narrow(picky) + "\"", "Hoplin.exe|Hoplin|16",
                                  "Hoplin.exe|Hoplin|1124", "Hoplin.exe|Hoplin|2"}));

    // Ignoring everything: only a stop request ends it, its window with it.
    const std::wstring stubborn = Place(std::wstring(kRoot) + L"\\win\\xjv.exe",
                                        {"window1=#32770|Stubborn", "windowends=none"});
    RunningProgram third;
    ASSERT_TRUE(third.Start(L"\"" + stubborn + L"\""));
    const HWND window = gui::FindTopLevelWindow({.title = L"Stubborn"}, 20000);
    ASSERT_NE(window, nullptr);
    const UINT messages[] = {WM_CLOSE, 1124, WM_DESTROY};
    for (const UINT message : messages) {
        EXPECT_TRUE(gui::SendWindowMessage(window, message, 0, 0).completed);
    }
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(third.running());
    EXPECT_EQ(RunToEnd(L"\"" + stubborn + L"\" -k"), 0u);
    EXPECT_EQ(third.Wait(10000), 0u);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(LogOf("xjv.exe"), (std::vector<std::string>{
                                    "xjv.exe|\"" + Narrow(stubborn) + "\"", "xjv.exe|Stubborn|16",
                                    "xjv.exe|Stubborn|1124", "xjv.exe|Stubborn|2",
                                    "xjv.exe|\"" + Narrow(stubborn) + "\" -k", "xjv.exe|stopped"}));
}

TEST(StandinGui, StopRequestsAndHeldMutexes) {
    const std::wstring obeying =
        Place(std::wstring(kRoot) + L"\\stop\\AutoDown.exe",
              {"exit=4", "mutex1=OlvexStandinTestA", "mutex2=OlvexStandinTestB"});
    RunningProgram run;
    ASSERT_TRUE(run.Start(L"\"" + obeying + L"\" /FullInstallSilent"));
    ASSERT_TRUE(gui::WaitUntil([] { return MutexExists(L"OlvexStandinTestB"); }, 20000));
    EXPECT_TRUE(MutexExists(L"OlvexStandinTestA"));
    EXPECT_TRUE(run.running());
    // The stopping copy does nothing else and exits 0, whatever its ini says.
    EXPECT_EQ(RunToEnd(L"\"" + obeying + L"\" /exit"), 0u);
    EXPECT_EQ(run.Wait(10000), 4u);
    EXPECT_FALSE(MutexExists(L"OlvexStandinTestA"));
    EXPECT_TRUE(Logged("AutoDown.exe", "stopped"));

    const std::wstring ignoring = Place(std::wstring(kRoot) + L"\\stop\\BrelScanner.exe",
                                        {"ignorestop=1", "mutex1=OlvexStandinTestC"});
    RunningProgram stubborn;
    ASSERT_TRUE(stubborn.Start(L"\"" + ignoring + L"\""));
    ASSERT_TRUE(gui::WaitUntil([] { return MutexExists(L"OlvexStandinTestC"); }, 20000));
    EXPECT_EQ(RunToEnd(L"\"" + ignoring + L"\" -k"), 0u);
    EXPECT_EQ(RunToEnd(L"\"" + ignoring + L"\" /EXIT"), 0u);
    EXPECT_FALSE(stubborn.Wait(2000).has_value());
    EXPECT_TRUE(MutexExists(L"OlvexStandinTestC"));
    EXPECT_FALSE(Logged("BrelScanner.exe", "stopped"));
    stubborn.End();

    // Without windows or mutexes a copy waits its delay, and a stop ends it.
    const std::wstring waiting =
        Place(std::wstring(kRoot) + L"\\stop\\waiter.exe", {"delay=600000"});
    RunningProgram waiter;
    ASSERT_TRUE(waiter.Start(L"\"" + waiting + L"\""));
    // Once its start is logged, a stop request reaches it.
    ASSERT_TRUE(gui::WaitUntil([] { return LogOf("waiter.exe").size() == 1; }, 20000));
    EXPECT_EQ(RunToEnd(L"\"" + waiting + L"\" -k"), 0u);
    EXPECT_EQ(waiter.Wait(10000), 0u);
    EXPECT_TRUE(Logged("waiter.exe", "stopped"));
}

TEST(StandinGui, RespawnsFromTheTemporaryFolder) {
    const std::wstring program =
        Place(std::wstring(kRoot) + L"\\uninst\\z-update.exe",
              {"respawn=1", "exit=6", "delay=3000",
               "reg1=HKLM\\Software\\OlvexStandinTest\\Respawn|Folder|sz|%SELFDIR%"});
    const std::wstring command = L"\"" + program + L"\" /u_silent";
    EXPECT_EQ(RunToEnd(command), 6u);
    // The first copy is gone at once; the one in TEMP does the work.
    const std::wstring copy = TempFolder() + L"\\z-update.exe";
    EXPECT_EQ(CountProcesses(L"z-update.exe"), 1);
    EXPECT_TRUE(Exists(copy + L".ini"));
    ASSERT_TRUE(gui::WaitUntil([] { return CountProcesses(L"z-update.exe") == 0; }, 20000));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\Respawn", L"Folder"),
              TempFolder());
    EXPECT_EQ(LogOf("z-update.exe"),
              (std::vector<std::string>{"z-update.exe|" + Narrow(command),
                                        "z-update.exe|\"" + Narrow(copy) + "\" /u_silent"}));
}

TEST(StandinGui, RunsAsAService) {
    const std::wstring program =
        Place(std::wstring(kRoot) + L"\\svc\\NimMsg.exe", {"service=OlvexStandinSvc", "exit=9"});
    // Outside the service manager it only logs.
    EXPECT_EQ(RunToEnd(L"\"" + program + L"\""), 0u);
    EXPECT_EQ(LogOf("NimMsg.exe").size(), 1u);

    const auto created =
        gui::RunForOutput(L"sc create OlvexStandinSvc binPath= \"" + program + L"\"");
    ASSERT_EQ(created.exit_code, 0u) << created.output;
    const auto started = gui::RunForOutput(L"sc start OlvexStandinSvc");
    EXPECT_EQ(started.exit_code, 0u) << started.output;
    EXPECT_TRUE(gui::WaitUntil(
        [] {
            return gui::RunForOutput(L"sc query OlvexStandinSvc").output.find("RUNNING") !=
                   std::string::npos;
        },
        20000, 200));
    EXPECT_EQ(CountProcesses(L"NimMsg.exe"), 1);
    const auto stopped = gui::RunForOutput(L"sc stop OlvexStandinSvc");
    EXPECT_EQ(stopped.exit_code, 0u) << stopped.output;
    EXPECT_TRUE(gui::WaitUntil([] { return CountProcesses(L"NimMsg.exe") == 0; }, 20000, 100));
    EXPECT_TRUE(Logged("NimMsg.exe", "service stop"));
    gui::RunForOutput(L"sc delete OlvexStandinSvc");
}

}  // namespace
}  // namespace olvex::standin
