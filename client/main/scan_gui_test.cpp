// Scans from the main program, under Wine with the real engine: the Scan
// dialog that "/scan" opens, its results, the activity log and the scan
// history it leaves, and the scan page that shows that history.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <optional>

#include <string>
#include <thread>
#include <vector>

#include "client/common/activity_log.h"
#include "client/common/named_mutex.h"
#include "client/common/proxy_settings.h"
#include "client/main/cleaning_test_support.h"
#include "client/main/main_test_support.h"
#include "client/main/scan_dialog_ids.h"
#include "client/main/scan_page_ids.h"
#include "client/main/test_hooks.h"
#include "olvex/core/crc32.h"
#include "olvex/olvex.h"
#include "testing/http_test_server.h"
#include "testing/image_first_page.h"
#include "testing/test_programs.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kScanTitle[] = L"Kelvan Gorsewatch -- Scan";
constexpr wchar_t kPrepareLogTitle[] = L"Kelvan Gorsewatch -- Prepare Log";
constexpr char kPlantKey[] = "Software\\OlvexScanDialogTest";
constexpr char kPrevalenceFormPath[] = "/prevalence/report.asp";

// What the tests plant: a running copy of test_pest.exe (memory and file) of
// one pest, a folder and an HKCU key of a second, a cookie of a third, and
// files of two pest ids that share one name.
struct Plant {
    ScratchDir dir;
    PestProcesses processes;
    fs::path gamma;
    fs::path twin_a;
    fs::path twin_b;
    fs::path beta;
    fs::path cookie;
    ~Plant() {
        SHDeleteKeyA(HKEY_CURRENT_USER, kPlantKey);
        std::error_code ignored;
        if (!cookie.empty())
            fs::remove(cookie, ignored);
    }
};

std::string Source(const Plant& plant, std::uint32_t memory_crc) {
    char crc[16];
    std::snprintf(crc, sizeof(crc), "0x%08X", memory_crc);
    return "block 2004-03-15 09:40:00\n"
           "pest 4001 \"ScanTest.Trojan.Gamma\" \"Trojan\"\n"
           "pest 4002 \"ScanTest.Spyware.Beta\" \"Spyware\"\n"
           "pest 4003 \"ScanTest.Adware.Twin\" \"Adware\"\n"
           "pest 4004 \"ScanTest.Adware.Twin\" \"Adware\"\n"
           "pest 4005 \"ScanTest.Cookie.Delta\" \"Tracking Cookie\"\n"
           "memory 4001 " +
           std::string(crc) +
           "\n"
           "cookie 4005 \"scantest-delta.example\"\n"
           "file 4001 \"" +
           plant.gamma.string() +
           "\"\n"
           "folder 4002 \"" +
           plant.beta.string() +
           "\"\n"
           "key 4002 \"hkey_current_user \\" +
           kPlantKey +
           "\\Beta\"\n"
           "file 4003 \"" +
           plant.twin_a.string() +
           "\"\n"
           "file 4004 \"" +
           plant.twin_b.string() + "\"\n";
}

void PlantAll(Plant& plant, const TestInstall& install) {
    const fs::path root = plant.dir.path();
    plant.gamma = root / "gamma.exe";
    plant.beta = root / "Beta";
    plant.twin_a = root / "twin-a.txt";
    plant.twin_b = root / "twin-b.txt";
    fs::copy_file(TestProgramPath("test_pest.exe"), plant.gamma);
    ASSERT_TRUE(RestampImage(plant.gamma.string(), GetTickCount() ^ GetCurrentProcessId()));
    const auto crc = MemorySignatureOfFile(plant.gamma);
    ASSERT_TRUE(crc);
    plant.dir.Write("Beta/beta.txt", std::string("beta"));
    plant.dir.Write("twin-a.txt", std::string("a"));
    plant.dir.Write("twin-b.txt", std::string("b"));
    plant.cookie = ShellFolder(CSIDL_COOKIES) / "user@scantest-delta.example[1].txt";
    WriteText(plant.cookie, "delta\n1\nscantest-delta.example/\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kPlantKey) + "\\Beta").c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_NO_FATAL_FAILURE(PublishDefinitions(install.folder() / "core", Source(plant, *crc)));
    ASSERT_NE(plant.processes.Start(plant.gamma.string()), nullptr);
}

// The settings a user left behind: the error sound and prevalence research
// as given, the other sound off.
void WriteSettings(bool errorsound, bool prevresearch) {
    WriteText(SettingsFile(), std::string("errorsound=") + (errorsound ? "1" : "0") +
                                  "\r\ndonesound=0\r\nprevresearch=" + (prevresearch ? "1" : "0") +
                                  "\r\nguid=0123456789ABCDEF0123456789ABCDEF\r\ntruncate=0\r\n");
}

// Prevalence reports go to a host that exists nowhere: the program reaches
// it only through its proxy, the test's server, which takes the form.
void ReportThroughServer(const TestInstall& install, HttpTestServer& server) {
    server.Serve(std::string(kPrevalenceFormPath).substr(1), std::string("ok"));
    CProxySettings proxy;
    ASSERT_TRUE(proxy.SetProxy("127.0.0.1", server.port()));
    ASSERT_TRUE(proxy.Save(install.folder().string() + "\\"));
}

// The prevalence forms the server took, in order.
std::vector<RecordedRequest> Forms(const HttpTestServer& server) {
    std::vector<RecordedRequest> forms;
    for (const RecordedRequest& request : server.Requests()) {
        const std::string path = kPrevalenceFormPath;
        if (request.method == "POST" && request.target.size() >= path.size() &&
            request.target.compare(request.target.size() - path.size(), path.size(), path) == 0)
            forms.push_back(request);
    }
    return forms;
}

bool Shown(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}
bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

TEST(ScanDialogTest, ScanFromTheCommandLineListsWhatItFoundAndLeavesItsHistory) {
    HttpTestServer server;
    ASSERT_TRUE(server.Available()) << HttpTestServer::kHowToRun;
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    Plant plant;
    ASSERT_NO_FATAL_FAILURE(PlantAll(plant, install));
    // The user takes part in prevalence research.
    WriteSettings(false, true);
    ASSERT_NO_FATAL_FAILURE(ReportThroughServer(install, server));

    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install, L"/scan"));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    const HWND dialog = FindShownWindow(kScanTitle, program.id(), 60000);
    ASSERT_NE(dialog, nullptr);

    // While the worker runs, nothing closes the dialog.
    if (Shown(dialog, IDC_SCAN_STOP)) {
        EXPECT_FALSE(Enabled(dialog, IDCANCEL));
        EXPECT_FALSE(Shown(dialog, IDC_SCAN_START));
        gui::SendWindowMessage(dialog, WM_CLOSE, 0, 0);
        gui::SendWindowMessage(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        gui::SendWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(IsWindow(dialog));
    }

    const auto message = program.AnswerMessage("scan-completed", 120000);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->rfind(L"Scan Completed. ", 0), 0u) << *message;
    EXPECT_NE(message->find(L" items were scanned."), std::wstring::npos) << *message;

    EXPECT_TRUE(Shown(dialog, IDC_SCAN_START));
    EXPECT_FALSE(Shown(dialog, IDC_SCAN_STOP));
    EXPECT_TRUE(Enabled(dialog, IDCANCEL));
    EXPECT_TRUE(Enabled(dialog, IDC_SCAN_QUARANTINE_ALL));
    EXPECT_FALSE(Enabled(dialog, IDC_SCAN_EXCLUDE_CHECKED));
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_STATUS)), L"Ready");
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_PESTS_LABEL)), L"Pests Detected:");
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_ITEMS_LABEL)), L"Items Detected:");

    const HWND tree = GetDlgItem(dialog, IDC_SCAN_RESULTS);
    const std::vector<std::wstring> lines = TreeTextLines(tree);
    const auto has = [&](const std::wstring& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    std::wstring shown;
    for (const auto& line : lines)
        shown += line + L"\n";
    // One root per name; the twins share theirs.
    EXPECT_TRUE(has(L"ScanTest.Adware.Twin")) << shown;
    EXPECT_TRUE(has(L"ScanTest.Spyware.Beta")) << shown;
    EXPECT_TRUE(has(L"ScanTest.Trojan.Gamma")) << shown;
    EXPECT_TRUE(has(L"ScanTest.Cookie.Delta")) << shown;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::wstring& l) { return !l.empty() && l[0] != L' '; }),
              4)
        << shown;
    EXPECT_TRUE(has(L"  File: " + plant.twin_a.wstring())) << shown;
    EXPECT_TRUE(has(L"  File: " + plant.twin_b.wstring())) << shown;
    EXPECT_TRUE(has(L"  Folder: " + plant.beta.wstring())) << shown;
    bool process = false;
    bool key = false;
    bool cookie = false;
    for (const auto& line : lines) {
        process = process || line.rfind(L"  Process: ", 0) == 0;
        cookie = cookie || (line.rfind(L"  Cookie: ", 0) == 0 &&
                            line.find(L"scantest-delta.example") != std::wstring::npos);
        key = key || (line.rfind(L"  Key: ", 0) == 0 &&
                      line.find(L"OlvexScanDialogTest") != std::wstring::npos);
    }
    EXPECT_TRUE(process) << shown;
    EXPECT_TRUE(key) << shown;
    EXPECT_TRUE(cookie) << shown;
    const std::size_t children = std::count_if(
        lines.begin(), lines.end(), [](const std::wstring& l) { return l.rfind(L"  ", 0) == 0; });

    // Five pest ids (the twins count two); every child an item.
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_PESTS)), L"5");
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_ITEMS)), std::to_wstring(children));

    // The log has its "Detected" lines once the completion message closed.
    std::size_t detected = 0;
    for (const auto& entry : ActivityLogEntries()) {
        if (entry.action != "Detected")
            continue;
        ++detected;
        EXPECT_GE(entry.pest_id, 4001);
        EXPECT_LE(entry.pest_id, 4005);
        EXPECT_FALSE(entry.pest_name.empty());
        EXPECT_FALSE(entry.category.empty());
    }
    EXPECT_EQ(detected, children);

    // One prevalence form per detection, each naming its pest.
    const std::vector<RecordedRequest> forms = Forms(server);
    EXPECT_EQ(forms.size(), children);
    for (const RecordedRequest& form : forms) {
        EXPECT_NE(form.body.find("pestid=400"), std::string::npos) << form.body;
        EXPECT_NE(form.body.find("mach=0123456789ABCDEF0123456789ABCDEF"), std::string::npos)
            << form.body;
    }
    for (const gui::TreeItem& item : gui::ReadTree(tree)) {
        if (item.depth == 0)
            gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND,
                                   reinterpret_cast<LPARAM>(item.handle));
    }
    ScreenshotWhenDrawn(dialog, "scan-dialog-results");

    // Close writes the history; the scan page shows it.
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    const std::string history = ReadText(ProductDataFolder() / "qzscanhistory.txt");
    const std::size_t first = history.find("\r\n");
    ASSERT_NE(first, std::string::npos) << history;
    const std::size_t second = history.find("\r\n", first + 2);
    ASSERT_NE(second, std::string::npos) << history;
    EXPECT_EQ(history.substr(first + 2, second - first - 2), "5");
    EXPECT_EQ(history.substr(second + 2), std::to_string(children));
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            return gui::GetText(program.PageControl(IDC_SCAN_PESTS_DETECTED)) ==
                       L"Pests Detected: 5" &&
                   gui::GetText(program.PageControl(IDC_SCAN_ITEMS_DETECTED)) ==
                       L"Items Detected: " + std::to_wstring(children);
        },
        6000));
    ScreenshotWhenDrawn(program.main_window(), "scan-page-history");
    EXPECT_TRUE(program.Close());
}

bool MutexExists(const char* name) {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex == nullptr)
        return false;
    CloseHandle(mutex);
    return true;
}

// The sample definitions' install, started with the arguments; the Scan
// dialog once it shows (null when none came).
HWND StartAndFindScanDialog(Gorsewatch5Process& program, const TestInstall& install,
                            const std::wstring& arguments) {
    if (!program.Start(install, arguments) || program.WaitForMainWindow() == nullptr)
        return nullptr;
    return FindShownWindow(kScanTitle, program.id(), 60000);
}

TEST(ScanDialogTest, StopRightAfterOpeningCancelsAndScanNowThenCompletes) {
    TestInstall install;
    Gorsewatch5Process program;
    const HWND dialog = StartAndFindScanDialog(program, install, L"/scan");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCAN_STOP));
    const auto canceled = program.AnswerMessage("scan-canceled", 120000);
    ASSERT_TRUE(canceled);
    EXPECT_EQ(canceled->rfind(L"Scan canceled after scanning ", 0), 0u) << *canceled;

    ASSERT_TRUE(gui::WaitUntil([&] { return Enabled(dialog, IDC_SCAN_START); }, 10000));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCAN_START));
    const auto completed = program.AnswerMessage({}, 120000);
    ASSERT_TRUE(completed);
    EXPECT_EQ(completed->rfind(L"Scan Completed. ", 0), 0u) << *completed;
    // The sample pests are not planted: nothing listed, nothing to act on.
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_PESTS)), L"0");
    EXPECT_FALSE(Enabled(dialog, IDC_SCAN_QUARANTINE_ALL));
    EXPECT_FALSE(Enabled(dialog, IDC_SCAN_RESULTS));
    ScreenshotWhenDrawn(dialog, "scan-dialog-nothing-found");
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    // Closing writes the history even for a scan that found nothing.
    const std::string history = ReadText(ProductDataFolder() / "qzscanhistory.txt");
    EXPECT_EQ(history.substr(history.find("\r\n")), "\r\n0\r\n0");
    EXPECT_TRUE(program.Close());
}

TEST(ScanDialogTest, WithoutDefinitionsTheScanEndsInAnErrorNotACompletion) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install, L"/scan"));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    // The start-up reports the engine's failures first; then the scan.
    std::vector<std::wstring> messages;
    HWND dialog = nullptr;
    for (int i = 0; i < 8; ++i) {
        const auto message = program.AnswerMessage("nodefs-" + std::to_string(i), 30000);
        if (!message)
            break;
        messages.push_back(*message);
        dialog = FindShownWindow(kScanTitle, program.id(), 0);
        if (dialog != nullptr && Shown(dialog, IDC_SCAN_START))
            break;
    }
    ASSERT_NE(dialog, nullptr);
    ASSERT_FALSE(messages.empty());
    for (const auto& message : messages)
        EXPECT_EQ(message.find(L"Scan Completed"), std::wstring::npos) << message;
    EXPECT_EQ(messages.back().rfind(L"Error! Scanner init failed (Error ", 0), 0u)
        << messages.back();
    EXPECT_TRUE(program.Close());
}

TEST(ScanDialogTest, OtherPestActivityRefusesTheScan) {
    TestInstall install;
    const HANDLE other = CreateMutexA(nullptr, FALSE, "GorsewatchV5PestActivity");
    ASSERT_NE(other, nullptr);
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install, L"/scan"));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    const auto message = program.AnswerMessage("scan-refused", 60000);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->rfind(L"The scan has been canceled because there is other pest cleaning "
                             L"activity occurring.",
                             0),
              0u)
        << *message;
    EXPECT_EQ(FindShownWindow(kScanTitle, program.id(), 500), nullptr);

    // Message 1027 asks the same.
    const gui::SendResult sent = gui::SendWindowMessage(program.main_window(), 1027, -1, 515);
    EXPECT_TRUE(sent.completed);
    EXPECT_LT(sent.elapsed_ms, 1000u);
    const auto again = program.AnswerMessage({}, 60000);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->rfind(L"The scan has been canceled", 0), 0u) << *again;
    EXPECT_EQ(FindShownWindow(kScanTitle, program.id(), 500), nullptr);
    CloseHandle(other);
    EXPECT_TRUE(program.Close());
}

std::size_t ScanDialogCount(DWORD process_id) {
    std::size_t count = 0;
    for (const HWND dialog : DialogsOf(process_id)) {
        if (IsWindowVisible(dialog) && gui::GetText(dialog) == kScanTitle)
            ++count;
    }
    return count;
}

TEST(ScanDialogTest, Message1027RunsAStandardScanOnceAndAnswersAtOnce) {
    TestInstall install;
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());
    // Custom Scan chosen on the scan page: 1027 still scans the standard way.
    gui::SendWindowMessage(program.main_window(), 1028, 2, 0);
    const HWND custom = program.PageControl(IDC_SCAN_CUSTOM);
    ASSERT_NE(custom, nullptr);
    gui::SendWindowMessage(custom, BM_CLICK, 0, 0);
    ASSERT_TRUE(gui::WaitUntil(
        [&] { return IsWindowVisible(program.PageControl(IDC_SCAN_DRIVE_TREE)); }, 5000));
    ScreenshotWhenDrawn(program.main_window(), "scan-page-custom");

    const gui::SendResult sent = gui::SendWindowMessage(program.main_window(), 1027, -1, 515);
    EXPECT_TRUE(sent.completed);
    EXPECT_LT(sent.elapsed_ms, 1000u);
    const HWND dialog = FindShownWindow(kScanTitle, program.id(), 60000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(MutexExists("GorsewatchV5PestActivity"));
    EXPECT_TRUE(MutexExists("Gorsewatch5ScannerWindow"));
    // A second request while it is open opens no second dialog.
    gui::SendWindowMessage(program.main_window(), 1027, -1, 515);
    Sleep(1000);
    EXPECT_EQ(ScanDialogCount(program.id()), 1u);
    const auto completed = program.AnswerMessage({}, 120000);
    ASSERT_TRUE(completed);
    EXPECT_EQ(completed->rfind(L"Scan Completed. ", 0), 0u) << *completed;
    EXPECT_EQ(ScanDialogCount(program.id()), 1u);
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(gui::WaitUntil([] { return !MutexExists("GorsewatchV5PestActivity"); }, 5000));
    EXPECT_FALSE(MutexExists("Gorsewatch5ScannerWindow"));
    EXPECT_TRUE(program.Close());
}

TEST(ScanDialogTest, ClosingTheWindowDuringAScanEndsTheProgramAndFreesTheMutexes) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    Plant plant;
    ASSERT_NO_FATAL_FAILURE(PlantAll(plant, install));
    Gorsewatch5Process program;
    const HWND dialog = StartAndFindScanDialog(program, install, L"/scan");
    ASSERT_NE(dialog, nullptr);
    const DWORD posted = GetTickCount();
    ASSERT_TRUE(gui::PostWindowMessage(program.main_window(), WM_CLOSE, 0, 0));
    const auto exit_code = program.WaitForExit(10000);
    ASSERT_TRUE(exit_code) << "still running";
    EXPECT_LT(GetTickCount() - posted, 10000u);
    EXPECT_EQ(*exit_code, 0u);
    EXPECT_FALSE(MutexExists("GorsewatchV5PestActivity"));
    EXPECT_FALSE(MutexExists("Gorsewatch5ScannerWindow"));
    // Whatever was found before the stop is in the log.
    for (const auto& entry : ActivityLogEntries()) {
        if (entry.action == "Detected") {
            EXPECT_GE(entry.pest_id, 4001);
            EXPECT_LE(entry.pest_id, 4005);
        }
    }
}

// Another program keeps the activity log's mutex: a scan waits for it at
// most about half a minute and then reads the log all the same; a mutex
// whose owner ended without giving it up counts as free.
TEST(ScanDialogTest, ScanWaitsForTheLogAtMostHalfAMinute) {
    TestInstall install;
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());

    // A thread of this process owns the mutex the program made, until told
    // to end; it ends without giving the mutex up.
    const HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE finish = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> owned{false};
    std::thread holder([&] {
        const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Gorsewatchv5LogMutex");
        owned = mutex != nullptr && WaitForSingleObject(mutex, 10000) == WAIT_OBJECT_0;
        SetEvent(taken);
        WaitForSingleObject(finish, 120000);
        if (mutex != nullptr)
            CloseHandle(mutex);
    });
    ASSERT_EQ(WaitForSingleObject(taken, 15000), WAIT_OBJECT_0);
    ASSERT_TRUE(owned);

    const DWORD asked = GetTickCount();
    gui::SendWindowMessage(program.main_window(), 1027, -1, 515);
    const HWND wait = FindShownWindow(kPrepareLogTitle, program.id(), 30000);
    EXPECT_NE(wait, nullptr);
    if (wait != nullptr) {
        // Its thread is busy waiting for the log: the window was drawn as
        // it opened, and is shot without asking that thread anything.
        gui::SaveScreenshot(wait, "prepare-log");
        EXPECT_EQ(MarginColour(wait), RGB(255, 255, 255));
    }
    const auto completed = program.AnswerMessage({}, 150000);
    const DWORD waited = GetTickCount() - asked;
    ASSERT_TRUE(completed);
    EXPECT_EQ(completed->rfind(L"Scan Completed. ", 0), 0u) << *completed;
    EXPECT_GE(waited, 25000u);
    EXPECT_LT(waited, 100000u);
    const HWND dialog = FindShownWindow(kScanTitle, program.id(), 5000);
    ASSERT_NE(dialog, nullptr);

    // The owner ends without releasing it: the next scan starts at once.
    SetEvent(finish);
    holder.join();
    CloseHandle(taken);
    CloseHandle(finish);
    const DWORD again = GetTickCount();
    ASSERT_TRUE(gui::WaitUntil([&] { return Enabled(dialog, IDC_SCAN_START); }, 10000));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCAN_START));
    const auto second = program.AnswerMessage({}, 120000);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->rfind(L"Scan Completed. ", 0), 0u) << *second;
    EXPECT_LT(GetTickCount() - again, 25000u);
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

// The engine registered from the install as setup leaves it, but its
// scanner class served by the scripted scanner: the program meets it through
// the same class factory call. The install's registry snapshot puts the
// registration back.
void UseScriptedScanner(const TestInstall& install) {
    const HMODULE engine = LoadLibraryW((install.folder() / "olvex.dll").c_str());
    ASSERT_NE(engine, nullptr);
    const auto register_server = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(engine, "DllRegisterServer")));
    ASSERT_NE(register_server, nullptr);
    EXPECT_EQ(register_server(), S_OK);
    FreeLibrary(engine);
    const fs::path scripted = install.folder() / "scripted_scanner.dll";
    fs::copy_file(BuildPath(OLVEX_SCRIPTED_SCANNER_PATH), scripted);
    wchar_t class_id[64] = {};
    StringFromGUID2(CLSID_Scanner, class_id, 64);
    const std::wstring key = std::wstring(L"CLSID\\") + class_id + L"\\InprocServer32";
    const std::wstring path = scripted.wstring();
    HKEY server = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &server, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExW(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
    RegCloseKey(server);
}

// The scripted scanner's files, named to the program through the
// environment it inherits; the sound seam's log too.
struct ScannerScript {
    ScratchDir dir;
    fs::path script = dir.path() / "script.txt";
    fs::path report = dir.path() / "report.txt";
    fs::path sounds = dir.path() / "sounds.txt";
    explicit ScannerScript(const std::string& lines) {
        WriteText(script, lines);
        SetEnvironmentVariableW(L"OLVEX_SCRIPTED_SCANNER_SCRIPT", script.c_str());
        SetEnvironmentVariableW(L"OLVEX_SCRIPTED_SCANNER_REPORT", report.c_str());
        SetEnvironmentVariableW(kTestSoundLogVariable, sounds.c_str());
    }
    ~ScannerScript() {
        SetEnvironmentVariableW(L"OLVEX_SCRIPTED_SCANNER_SCRIPT", nullptr);
        SetEnvironmentVariableW(L"OLVEX_SCRIPTED_SCANNER_REPORT", nullptr);
        SetEnvironmentVariableW(kTestSoundLogVariable, nullptr);
    }
    ScannerScript(const ScannerScript&) = delete;
    ScannerScript& operator=(const ScannerScript&) = delete;

    std::vector<std::string> Report() const { return gui::ReadLines(report.wstring()); }
    std::vector<std::string> Sounds() const {
        return fs::exists(sounds) ? gui::ReadLines(sounds.wstring()) : std::vector<std::string>{};
    }
};

// A known pest at a file, a pest id the definitions do not hold, and the
// known pest at a location of no known kind.
constexpr char kScript[] =
    "memory 4201 File \"C:\\scripted\\known.txt\"\r\n"
    "memory 4299 File \"C:\\scripted\\unknown.txt\"\r\n"
    "registry 4201 Gadget \"C:\\scripted\\thing\"\r\n";
constexpr char kScriptedDefinitions[] =
    "block 2004-03-15 09:40:00\n"
    "pest 4201 \"ScanTest.Scripted.Known\" \"Adware\"\n";

// The scan a scripted scanner runs under /scan, ended with Close; the
// results tree as it showed. A program with limited rights says so first.
std::vector<std::wstring> RunScriptedScan(const TestInstall& install, const std::string& shot,
                                          bool limited_rights = false) {
    Gorsewatch5Process program;
    HWND dialog = nullptr;
    if (limited_rights) {
        EXPECT_TRUE(program.Start(install, L"/scan"));
        const auto message = program.AnswerMessage({}, 60000);
        EXPECT_TRUE(message && message->find(L"sufficient privileges") != std::wstring::npos);
        dialog = FindShownWindow(kScanTitle, program.id(), 60000);
    } else {
        dialog = StartAndFindScanDialog(program, install, L"/scan");
    }
    EXPECT_NE(dialog, nullptr);
    if (dialog == nullptr)
        return {};
    const auto completed = program.AnswerMessage({}, 120000);
    EXPECT_TRUE(completed);
    if (completed) {
        EXPECT_EQ(completed->rfind(L"Scan Completed. ", 0), 0u) << *completed;
    }
    const HWND tree = GetDlgItem(dialog, IDC_SCAN_RESULTS);
    for (const gui::TreeItem& item : gui::ReadTree(tree)) {
        if (item.depth == 0)
            gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND,
                                   reinterpret_cast<LPARAM>(item.handle));
    }
    const std::vector<std::wstring> lines = TreeTextLines(tree);
    ScreenshotWhenDrawn(dialog, shot);
    EXPECT_TRUE(PressDialogButton(dialog, IDCANCEL));
    EXPECT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
    return lines;
}

// The test build installed with the scripted scanner and its script, its
// prevalence reports going to the test's server.
class ScanSinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Available()) << HttpTestServer::kHowToRun;
        ASSERT_NO_FATAL_FAILURE(
            PublishDefinitions(install_.folder() / "core", kScriptedDefinitions));
        ASSERT_NO_FATAL_FAILURE(UseScriptedScanner(install_));
        ASSERT_NO_FATAL_FAILURE(ReportThroughServer(install_, server_));
    }

    HttpTestServer server_;
    TestInstall install_{{.definitions = Definitions::kNone, .test_build = true}};
    const ScannerScript script_{kScript};
};

TEST_F(ScanSinkTest, WhatTheEngineNeverReportsShowsWithoutCrashOrUpload) {
    WriteSettings(true, true);
    const std::vector<std::wstring> lines = RunScriptedScan(install_, "scan-dialog-scripted");
    std::wstring shown;
    for (const auto& line : lines)
        shown += line + L"\n";
    EXPECT_EQ(lines, (std::vector<std::wstring>{
                         L"ScanTest.Scripted.Known",
                         L"  File: C:\\scripted\\known.txt",
                         L"  Unknown type: Gadget \"C:\\scripted\\thing\"",
                         L"Unknown",
                         L"  File: C:\\scripted\\unknown.txt",
                     }))
        << shown;

    // The sink is no dispatch object, and takes every detection.
    const std::vector<std::string> report = script_.Report();
    EXPECT_EQ(std::count(report.begin(), report.end(), "QueryInterface IDispatch 0x80004002 null"),
              1)
        << report.size();
    for (const char* detected : {"PestDetected 4201 0x00000000", "PestDetected 4299 0x00000000"})
        EXPECT_NE(std::find(report.begin(), report.end(), detected), report.end()) << detected;
    for (const char* section :
         {"complete memory", "complete registry", "complete cookies", "complete common"})
        EXPECT_NE(std::find(report.begin(), report.end(), section), report.end()) << section;

    // Every detection logged, the unknown pest as "Unknown".
    std::vector<std::pair<int, std::string>> logged;
    for (const auto& entry : ActivityLogEntries()) {
        if (entry.action == "Detected")
            logged.emplace_back(entry.pest_id, entry.pest_name);
    }
    EXPECT_EQ(logged,
              (std::vector<std::pair<int, std::string>>{{4201, "ScanTest.Scripted.Known"},
                                                        {4299, "Unknown"},
                                                        {4201, "ScanTest.Scripted.Known"}}));

    // The alarm for each detection; forms for the known pest only.
    EXPECT_EQ(script_.Sounds(), (std::vector<std::string>{"ALARM.WAV", "ALARM.WAV", "ALARM.WAV"}));
    const std::vector<RecordedRequest> forms = Forms(server_);
    EXPECT_EQ(forms.size(), 2u);
    for (const RecordedRequest& form : forms) {
        EXPECT_NE(form.body.find("pestid=4201"), std::string::npos) << form.body;
        EXPECT_EQ(form.body.find("pestid=4299"), std::string::npos) << form.body;
    }
}

TEST_F(ScanSinkTest, WithTheSoundAndResearchOffNothingSoundsOrUploads) {
    WriteSettings(false, false);
    const std::vector<std::wstring> lines = RunScriptedScan(install_, "scan-dialog-scripted-quiet");
    EXPECT_EQ(lines.size(), 5u);
    EXPECT_TRUE(script_.Sounds().empty());
    EXPECT_TRUE(Forms(server_).empty());
}

// Expands the item the way a click on its button does: the program reads
// the folder as it opens.
void ExpandItem(HWND tree, HTREEITEM item) {
    gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

// Opens the tree along the path's folders, from the drive; the last item.
HTREEITEM OpenTreePath(HWND tree, const fs::path& folder) {
    std::vector<std::wstring> texts;
    for (const auto& part : folder) {
        std::wstring text = part.wstring();
        if (text == L"\\")
            continue;
        if (texts.empty())
            text += L"\\";
        texts.push_back(text);
    }
    std::vector<std::wstring> path;
    HTREEITEM item = nullptr;
    for (const auto& text : texts) {
        path.push_back(text);
        // Folder names are shown as the system spells them; compare
        // without regard to case.
        item = nullptr;
        for (const gui::TreeItem& candidate : gui::ReadTree(tree)) {
            if (candidate.depth + 1 == static_cast<int>(path.size()) &&
                _wcsicmp(candidate.text.c_str(), text.c_str()) == 0) {
                std::vector<std::wstring> exact = path;
                exact.back() = candidate.text;
                item = gui::FindTreeItem(tree, exact);
                path.back() = candidate.text;
                break;
            }
        }
        if (item == nullptr)
            return nullptr;
        ExpandItem(tree, item);
    }
    return item;
}

TEST_F(ScanSinkTest, WithLimitedRightsDetectionsShowButAreNotLogged) {
    std::vector<std::wstring> lines;
    {
        const ProgramKeyReadOnly read_only;
        ASSERT_TRUE(read_only.applied());
        lines = RunScriptedScan(install_, "scan-dialog-scripted-limited", true);
    }
    EXPECT_EQ(lines.size(), 5u);
    // The scan read the log (and made it, empty) but wrote nothing to it.
    EXPECT_TRUE(ReadText(ProductDataFolder() / "QZv5Log.txt").empty());
}

// The scanner faults in the middle of its memory scan, after one detection:
// the program tells the user, frees both mutexes at once, keeps and logs
// what was found, and scans again.
TEST_F(ScanSinkTest, AFaultInTheScannerEndsTheScanButNotTheProgram) {
    WriteSettings(false, false);
    WriteText(script_.script, "memory 4201 File \"C:\\scripted\\known.txt\"\r\nmemory fault\r\n");
    Gorsewatch5Process program;
    const HWND dialog = StartAndFindScanDialog(program, install_, L"/scan");
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(program.WaitForMessageDialog(120000), nullptr);
    EXPECT_FALSE(MutexExists("GorsewatchV5PestActivity"));
    EXPECT_FALSE(MutexExists("Gorsewatch5ScannerWindow"));
    const auto internal = program.AnswerMessage("scan-fault-internal-error", 10000);
    ASSERT_TRUE(internal);
    EXPECT_EQ(internal->rfind(L"An internal error has been encountered while performing a pest "
                              L"cleaning activity.",
                              0),
              0u)
        << *internal;
    const auto ended = program.AnswerMessage({}, 60000);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->rfind(L"Scan Completed. ", 0), 0u) << *ended;

    // Idle, with what was found before the fault.
    ASSERT_TRUE(gui::WaitUntil([&] { return Enabled(dialog, IDC_SCAN_START); }, 10000));
    EXPECT_TRUE(Shown(dialog, IDC_SCAN_START));
    EXPECT_FALSE(Shown(dialog, IDC_SCAN_STOP));
    EXPECT_TRUE(Enabled(dialog, IDCANCEL));
    EXPECT_TRUE(Enabled(dialog, IDC_SCAN_QUARANTINE_ALL));
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_PESTS)), L"1");
    const HWND tree = GetDlgItem(dialog, IDC_SCAN_RESULTS);
    for (const gui::TreeItem& item : gui::ReadTree(tree)) {
        if (item.depth == 0)
            gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND,
                                   reinterpret_cast<LPARAM>(item.handle));
    }
    EXPECT_EQ(TreeTextLines(tree), (std::vector<std::wstring>{L"ScanTest.Scripted.Known",
                                                              L"  File: C:\\scripted\\known.txt"}));
    ScreenshotWhenDrawn(dialog, "scan-dialog-after-fault");
    std::vector<int> logged;
    for (const auto& entry : ActivityLogEntries()) {
        if (entry.action == "Detected")
            logged.push_back(entry.pest_id);
    }
    EXPECT_EQ(logged, std::vector<int>{4201});
    const std::vector<std::string> report = script_.Report();
    EXPECT_NE(std::find(report.begin(), report.end(), "fault memory"), report.end());
    EXPECT_EQ(std::find(report.begin(), report.end(), "complete memory"), report.end());

    // A second scan claims the mutexes again and runs to its end.
    WriteText(script_.script, kScript);
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCAN_START));
    const auto completed = program.AnswerMessage({}, 120000);
    ASSERT_TRUE(completed);
    EXPECT_EQ(completed->rfind(L"Scan Completed. ", 0), 0u) << *completed;
    EXPECT_TRUE(MutexExists("GorsewatchV5PestActivity"));
    EXPECT_TRUE(MutexExists("Gorsewatch5ScannerWindow"));
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_PESTS)), L"2");
    ScreenshotWhenDrawn(dialog, "scan-dialog-after-fault-second-scan");
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    const std::string history = ReadText(ProductDataFolder() / "qzscanhistory.txt");
    EXPECT_NE(history.find("\r\n2\r\n"), std::string::npos) << history;
    // The scan page lets go of the mutexes it claimed again once the dialog
    // is gone.
    EXPECT_TRUE(gui::WaitUntil([] { return !MutexExists("GorsewatchV5PestActivity"); }, 5000));
    EXPECT_FALSE(MutexExists("Gorsewatch5ScannerWindow"));
    EXPECT_TRUE(program.Close());
}

// The drive tree's items under the item, with their check states.
std::vector<std::pair<std::wstring, int>> ChildChecks(HWND tree, HTREEITEM parent) {
    std::vector<std::pair<std::wstring, int>> children;
    for (const auto& item : gui::ReadTree(tree)) {
        if (TreeView_GetParent(tree, item.handle) == parent)
            children.emplace_back(item.text, item.check);
    }
    return children;
}

std::optional<gui::TreeItem> TreeItemOf(HWND tree, HTREEITEM handle) {
    for (const auto& item : gui::ReadTree(tree)) {
        if (item.handle == handle)
            return item;
    }
    return std::nullopt;
}

// The scan page with Custom Scan chosen; its drive tree.
HWND ShowCustomScanTree(Gorsewatch5Process& program) {
    gui::SendWindowMessage(program.main_window(), 1028, 2, 0);
    const HWND tree = program.PageControl(IDC_SCAN_DRIVE_TREE);
    if (tree == nullptr)
        return nullptr;
    gui::SendWindowMessage(program.PageControl(IDC_SCAN_CUSTOM), BM_CLICK, 0, 0);
    return gui::WaitUntil([&] { return IsWindowVisible(tree) != FALSE; }, 5000) ? tree : nullptr;
}

// The test's drives (testing/gui/test_drives.sh): T: a prepared tree with
// "custom\inner" and "other", D: a CD-ROM drive without a disc, E: one with
// an empty disc, and no Z:.
TEST(ScanPageTest, DriveTreeChecksAndACustomScanOfACheckedFolder) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    const fs::path drive = L"T:\\";
    ASSERT_TRUE(fs::is_directory(drive / "custom" / "inner"));
    ASSERT_TRUE(fs::is_directory(drive / "other"));
    // A pest known only by its file's signature, planted only in "custom";
    // another beside it, outside the folder the scan is given.
    const fs::path samples = fs::path(Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR))) / "OlvexTest";
    fs::copy_file(samples / "alpha.exe", drive / "custom" / "hidden.exe",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(samples / "beta.dll", drive / "elsewhere.dll",
                  fs::copy_options::overwrite_existing);
    ASSERT_NO_FATAL_FAILURE(
        PublishDefinitions(install.folder() / "core",
                           "block 2004-03-15 09:40:00\n"
                           "pest 4101 \"ScanTest.Custom.Only\" \"Adware\"\n"
                           "pest 4102 \"ScanTest.Custom.Elsewhere\" \"Adware\"\n"
                           "signature 4101 file \"" +
                               (samples / "alpha.exe").string() +
                               "\"\n"
                               "signature 4102 file \"" +
                               (samples / "beta.dll").string() + "\"\n"));

    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());
    gui::SendWindowMessage(program.main_window(), 1028, 2, 0);
    ScreenshotWhenDrawn(program.main_window(), "scan-page-standard");
    const HWND grey = program.PageControl(IDC_SCAN_DRIVE_TREE_GREY);
    const HWND tree = program.PageControl(IDC_SCAN_DRIVE_TREE);
    ASSERT_NE(tree, nullptr);
    // Both trees list the machine's drives, in order, and no Z:.
    const auto roots = [](HWND of) {
        std::vector<std::wstring> drives;
        for (const auto& item : gui::ReadTree(of)) {
            if (item.depth == 0)
                drives.push_back(item.text);
        }
        return drives;
    };
    const std::vector<std::wstring> drives = roots(tree);
    EXPECT_EQ(drives, (std::vector<std::wstring>{L"C:\\", L"D:\\", L"E:\\", L"T:\\"}));
    EXPECT_EQ(roots(grey), drives);

    ASSERT_EQ(ShowCustomScanTree(program), tree);
    ScreenshotWhenDrawn(program.main_window(), "scan-page-custom");

    const HTREEITEM root = OpenTreePath(tree, drive);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(ChildChecks(tree, root),
              (std::vector<std::pair<std::wstring, int>>{{L"custom", 0}, {L"other", 0}}));
    // A folder made after the tree was read appears when its parent opens
    // again, checked under a checked drive; one deleted goes.
    fs::create_directories(drive / "later");
    fs::remove_all(drive / "other");
    gui::SendWindowMessage(tree, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(root));
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, root));
    // Opening it again from the keyboard reads the folder again.
    gui::SendWindowMessage(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(root));
    gui::PostWindowMessage(tree, WM_KEYDOWN, VK_ADD, 0);
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            return ChildChecks(tree, root) ==
                   std::vector<std::pair<std::wstring, int>>{{L"custom", 1}, {L"later", 1}};
        },
        5000));
    ScreenshotWhenDrawn(program.main_window(), "scan-page-custom-tree");

    // Under the checked drive "custom" cannot be cleared, by click or space.
    const HTREEITEM custom = OpenTreePath(tree, drive / "custom");
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(gui::TreeItemCheck(tree, custom), 1);
    EXPECT_FALSE(gui::ToggleTreeItemByClick(tree, custom, 1500));
    EXPECT_FALSE(gui::ToggleTreeItemBySpace(tree, custom, 1500));
    EXPECT_EQ(gui::TreeItemCheck(tree, custom), 1);

    // The drive cleared, "custom" alone checked: a Custom Scan of that
    // folder finds what only it holds, and nothing of the rest of T:.
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, root));
    EXPECT_EQ(gui::TreeItemCheck(tree, custom), 0);
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, custom));
    ASSERT_TRUE(PressDialogButton(program.ShownPage(), IDC_SCAN_NOW));
    const HWND dialog = FindShownWindow(kScanTitle, program.id(), 60000);
    ASSERT_NE(dialog, nullptr);
    const auto completed = program.AnswerMessage({}, 120000);
    ASSERT_TRUE(completed);
    EXPECT_EQ(completed->rfind(L"Scan Completed. ", 0), 0u) << *completed;
    const auto lines = TreeTextLines(GetDlgItem(dialog, IDC_SCAN_RESULTS));
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"ScanTest.Custom.Only",
                                                L"  File: T:\\custom\\hidden.exe"}));
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
    std::error_code ignored;
    for (const char* planted : {"custom\\hidden.exe", "elsewhere.dll", "later"})
        fs::remove_all(drive / planted, ignored);
}

// Two checked places, a folder two levels down on C: and a folder at the top
// of the later drive T:: the custom scan walks the drive tree depth first,
// so the folder under C: is scanned, and its find logged, first.
TEST(ScanPageTest, CheckedPlacesAreScannedInTheDriveTreesDepthFirstOrder) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    const fs::path deep = L"C:\\olvex-order\\deep";
    const fs::path shallow = L"T:\\other";
    struct Cleanup {
        ~Cleanup() {
            std::error_code ignored;
            fs::remove_all(L"C:\\olvex-order", ignored);
            fs::remove(L"T:\\other\\near.dll", ignored);
        }
    } cleanup;
    fs::create_directories(deep);
    fs::create_directories(shallow);
    const fs::path samples = fs::path(Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR))) / "OlvexTest";
    fs::copy_file(samples / "alpha.exe", deep / "deep.exe", fs::copy_options::overwrite_existing);
    fs::copy_file(samples / "beta.dll", shallow / "near.dll", fs::copy_options::overwrite_existing);
    ASSERT_NO_FATAL_FAILURE(PublishDefinitions(install.folder() / "core",
                                               "block 2004-03-15 09:40:00\n"
                                               "pest 4121 \"ScanTest.Order.Deep\" \"Adware\"\n"
                                               "pest 4122 \"ScanTest.Order.Near\" \"Adware\"\n"
                                               "signature 4121 file \"" +
                                                   (samples / "alpha.exe").string() +
                                                   "\"\n"
                                                   "signature 4122 file \"" +
                                                   (samples / "beta.dll").string() + "\"\n"));

    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());
    const HWND tree = ShowCustomScanTree(program);
    ASSERT_NE(tree, nullptr);
    // T: first, then C:, so the order of ticking says nothing.
    for (const fs::path& folder : {shallow, deep}) {
        const HTREEITEM item = OpenTreePath(tree, folder);
        ASSERT_NE(item, nullptr) << folder;
        ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, item)) << folder;
    }
    ScreenshotWhenDrawn(program.main_window(), "scan-page-two-checked-places");
    ASSERT_TRUE(PressDialogButton(program.ShownPage(), IDC_SCAN_NOW));
    const HWND dialog = FindShownWindow(kScanTitle, program.id(), 60000);
    ASSERT_NE(dialog, nullptr);
    const auto completed = program.AnswerMessage({}, 120000);
    ASSERT_TRUE(completed);
    EXPECT_EQ(completed->rfind(L"Scan Completed. ", 0), 0u) << *completed;

    std::vector<std::string> found;
    for (const auto& entry : ActivityLogEntries()) {
        if (entry.action == "Detected")
            found.push_back(entry.location);
    }
    EXPECT_EQ(found, (std::vector<std::string>{"File \"C:\\olvex-order\\deep\\deep.exe\"",
                                               "File \"T:\\other\\near.dll\""}));
    const HWND results = GetDlgItem(dialog, IDC_SCAN_RESULTS);
    for (const gui::TreeItem& item : gui::ReadTree(results)) {
        if (item.depth == 0)
            gui::SendWindowMessage(results, TVM_EXPAND, TVE_EXPAND,
                                   reinterpret_cast<LPARAM>(item.handle));
    }
    ScreenshotWhenDrawn(dialog, "scan-dialog-two-checked-places");
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

// A CD-ROM drive is read at every expansion: without a disc it shows "No
// Files Found" and stays closed, each time once; a disc put in meanwhile
// shows its folders.
TEST(ScanPageTest, DiscDrivesAreReadAtEveryExpansion) {
    TestInstall install;
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());
    const HWND tree = ShowCustomScanTree(program);
    ASSERT_NE(tree, nullptr);
    const HTREEITEM no_disc = gui::FindTreeItem(tree, {L"D:\\"});
    const HTREEITEM empty_disc = gui::FindTreeItem(tree, {L"E:\\"});
    ASSERT_NE(no_disc, nullptr);
    ASSERT_NE(empty_disc, nullptr);
    // Unread discs show an expand button.
    EXPECT_EQ(ChildChecks(tree, no_disc), (std::vector<std::pair<std::wstring, int>>{{L"", 0}}));

    for (const HTREEITEM disc : {no_disc, empty_disc}) {
        for (int expansion = 0; expansion < 2; ++expansion) {
            ExpandItem(tree, disc);
            EXPECT_EQ(ChildChecks(tree, disc),
                      (std::vector<std::pair<std::wstring, int>>{{L"No Files Found", 0}}))
                << expansion;
            const auto item = TreeItemOf(tree, disc);
            ASSERT_TRUE(item);
            EXPECT_FALSE(item->expanded) << expansion;
        }
    }
    ScreenshotWhenDrawn(program.main_window(), "scan-page-no-disc");

    // A disc with a folder in E:.
    fs::create_directories(L"E:\\Disc Folder");
    ExpandItem(tree, empty_disc);
    EXPECT_EQ(ChildChecks(tree, empty_disc),
              (std::vector<std::pair<std::wstring, int>>{{L"Disc Folder", 0}}));
    const auto item = TreeItemOf(tree, empty_disc);
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->expanded);
    ScreenshotWhenDrawn(program.main_window(), "scan-page-disc-folder");
    std::error_code ignored;
    fs::remove_all(L"E:\\Disc Folder", ignored);
    EXPECT_TRUE(program.Close());
}

}  // namespace
}  // namespace olvex::testing
