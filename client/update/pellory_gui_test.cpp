// Pellory.exe under Wine on a display of its own, with the built engine, an
// HTTP server of the test's own on 127.0.0.1 serving update sets the
// publisher made, and as the update utility "Dunmere.exe" either the real
// one (the runs that apply) or the stand-in window program, which records how
// it was started (the runs that only download). Every window opened is saved
// as a screenshot.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "client/common/proxy_record.h"
#include "olvex/olvex.h"
#include "olvex/update/update_control_file.h"
#include "client/update/pellory_resources.h"
#include "client/update/updater_options.h"
#include "olvex/core/http_redirect.h"
#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"
#include "testing/http_test_server.h"
#include "testing/windows_test_support.h"
#include "tools/publisher/definition_set.h"
#include "tools/publisher/definition_writer.h"
#include "tools/publisher/update_set.h"

namespace olvex {
namespace {

namespace fs = std::filesystem;
using gui::RunningProgram;
using testing::HttpTestServer;
using testing::Narrow;
using testing::WindowsPath;

constexpr wchar_t kDownloadTitle[] = L"Kelvan Gorsewatch -- Check for Updates";
constexpr wchar_t kMainTitle[] = L"Kelvan Gorsewatch -- Updates";
constexpr wchar_t kProxyTitle[] = L"Kelvan Gorsewatch -- Proxy";
constexpr wchar_t kNewUpdatesTitle[] = L"Kelvan Gorsewatch -- New Updates Available";
constexpr wchar_t kBoxTitle[] = L"Kelvan Gorsewatch";
constexpr char kProductKey[] = "Software\\Vorandel\\KelvanGorsewatch";

// Two blocks: the install holds the first, the update brings the second,
// whose pest only the update adds.
constexpr const char* kSource = R"(block 2004-03-15 09:40
pest 4101 "Pellory.First" "Adware"
signature 4101 crc 0x41014101
block 2004-04-01 12:00
pest 4102 "Pellory.Second" "Spyware"
file 4102 "%WINDOWS%\pellory-second.exe"
)";

constexpr std::size_t kBigFileBytes = 100000;

tools::DefinitionSet Blocks(std::size_t count) {
    auto source = tools::ParseDefinitionSource(kSource, ".", "pellory.defs");
    EXPECT_TRUE(source.ok()) << source.error;
    source.set.blocks.resize(count);
    return source.set;
}

std::string CommonFolder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::string ReadFileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

bool IsVisible(HWND window) {
    return window != nullptr && IsWindowVisible(window);
}

// Whether a process of that file name runs.
bool ProcessRuns(const wchar_t* file_name) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry))
        found = lstrcmpiW(entry.szExeFile, file_name) == 0;
    CloseHandle(snapshot);
    return found;
}

class PelloryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Available()) << HttpTestServer::kHowToRun;
        install_ = fs::path(CommonFolder(CSIDL_PROGRAM_FILES)) / "Kelvan Gorsewatch";
        product_ = fs::path(CommonFolder(CSIDL_COMMON_APPDATA)) / "XJ" / "KelvanGorsewatch";
        std::error_code ignored;
        // The update utility (or its stand-in) of the test before may still be ending.
        WaitForUtilityEnd();
        gui::WaitUntil(
            [&] {
                fs::remove_all(install_, ignored);
                return !fs::exists(install_);
            },
            15000, 100);
        fs::remove_all(product_, ignored);
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        temp_ = temp;
        for (const char* folder : {"_core_", "_qzv5_", "_tromb_"})
            fs::remove_all(temp_ / folder, ignored);
        fs::create_directories(install_ / "core");
        fs::copy_file(Narrow(WindowsPath(OLVEX_PELLORY_PATH)), install_ / "Pellory.exe");
        fs::copy_file(Narrow(WindowsPath(OLVEX_DLL_PATH)), install_ / "olvex.dll");
        fs::copy_file(Narrow(gui::GuiProgramPath(L"stand_in.exe")), install_ / "Dunmere.exe");
        WriteText(install_ / "Dunmere.stand-in", "hidden=1\nseconds=1\n");
        // The install holds the first block, recorded at its version.
        const auto files = tools::BuildDefinitionFiles(Blocks(1));
        ASSERT_TRUE(files.ok()) << files.error;
        WriteBytes(install_ / "core" / "qzinfo.dat", files.pests);
        WriteBytes(install_ / "core" / "qzfile.dat", files.signatures);
        WriteBytes(install_ / "core" / "qzloc.dat", files.locations);

        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::string install = install_.string() + "\\";
        RegSetValueExA(key, "InstallPath", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(install.c_str()),
                       static_cast<DWORD>(install.size() + 1));
        RegCloseKey(key);
        WriteChannelUrls("/u/core/qzmaster.dat", "/u/prog/qzmaster.dat");
    }

    void TearDown() override {
        pellory_.End();
        WaitForUtilityEnd();
        std::error_code ignored;
        fs::remove(install_ / "proxyinfo.dat", ignored);
    }

    // The real update utility in place of the stand-in.
    void InstallRealUpdateUtility() const {
        std::error_code ignored;
        fs::remove(install_ / "Dunmere.stand-in", ignored);
        fs::copy_file(Narrow(WindowsPath(OLVEX_DUNMERE_PATH)), install_ / "Dunmere.exe",
                      fs::copy_options::overwrite_existing);
    }
    static bool WaitForUtilityEnd(DWORD timeout_ms = 120000) {
        return gui::WaitUntil([] { return !ProcessRuns(L"Dunmere.exe"); }, timeout_ms, 100);
    }
    bool TempFoldersGone() const {
        for (const char* folder : {"_core_", "_qzv5_", "_tromb_"}) {
            if (fs::exists(temp_ / folder))
                return false;
        }
        return true;
    }

    static void WriteText(const fs::path& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    static void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    void WriteChannelUrls(const std::string& core, const std::string& program) {
        std::string text;
        if (!core.empty())
            text += "coreurl=" + server_.Url(core) + "\r\n";
        if (!program.empty())
            text += "progurl=" + server_.Url(program) + "\r\n";
        WriteText(install_ / "updateurls.ini", text);
    }

    void WriteSettings(UpdateProcedure procedure, std::int64_t last_update) {
        fs::create_directories(product_);
        WriteText(product_ / "qzv5upd.ini",
                  FormatUpdaterSettings(UpdaterSettings{procedure, last_update}));
    }
    UpdaterSettings Settings() const {
        return ParseUpdaterSettings(ReadFileText(product_ / "qzv5upd.ini"));
    }

    // The core channel: the whole source; the program channel: one copied
    // file of 100,000 bytes. Returns the core set.
    tools::UpdateSet ServeUpdates(bool wrong_program_check_value = false) {
        std::string error;
        auto core = tools::BuildUpdateSet(Blocks(2), {server_.Url("/u/core"), {}}, error);
        EXPECT_TRUE(core) << error;
        for (const auto& file : tools::UpdateSetFiles(*core))
            server_.Serve("u/core/" + file.path, file.bytes);
        tools::ExtraUpdateFile big{"pellory-big.bin", kUpdateCopyFile, 1,
                                   testing::PatternBytes(kBigFileBytes)};
        auto program = tools::BuildUpdateSet(Blocks(1), {server_.Url("/u/prog"), {big}}, error);
        EXPECT_TRUE(program) << error;
        std::vector<UpdateControlRecord> extras;
        for (const auto& entry : program->control_entries) {
            if (entry.file_name == big.name)
                extras.push_back(entry);
        }
        if (wrong_program_check_value) {
            for (auto& entry : extras)
                entry.check_value ^= 0x5A5A5A5A;
        }
        // Its files are served; its control file lists the big one alone.
        for (const auto& file : tools::UpdateSetFiles(*program))
            server_.Serve("u/prog/" + file.path, file.bytes);
        const std::string control = tools::RenderControlFile(extras);
        server_.Serve("u/prog/qzmaster.dat",
                      std::vector<std::uint8_t>(control.begin(), control.end()));
        return *core;
    }
    // Nothing new on either channel.
    void ServeNothingNew() {
        const std::string empty = tools::RenderControlFile({});
        const std::vector<std::uint8_t> bytes(empty.begin(), empty.end());
        server_.Serve("u/core/qzmaster.dat", bytes);
        server_.Serve("u/prog/qzmaster.dat", bytes);
    }

    bool StartPellory(const std::wstring& arguments) {
        std::wstring command = gui::Quote(WindowsPath((install_ / "Pellory.exe").string()));
        if (!arguments.empty())
            command += L" " + arguments;
        return pellory_.Start(command);
    }
    // Runs Pellory to its end; false when it did not end in time.
    bool RunPellory(const std::wstring& arguments, DWORD timeout_ms = 60000) {
        return StartPellory(arguments) && pellory_.Wait(timeout_ms).has_value();
    }

    // The stand-in holds its log open while it runs: removed once it let go.
    void ClearUtilityLog() const {
        gui::WaitUntil(
            [&] {
                std::error_code ignored;
                fs::remove(install_ / "Dunmere.log", ignored);
                return !fs::exists(install_ / "Dunmere.log");
            },
            10000, 50);
    }
    std::vector<std::string> UtilityStarts() const {
        std::vector<std::string> starts;
        for (const std::string& line : Lines(ReadFileText(install_ / "Dunmere.log"))) {
            if (line.rfind("start ", 0) == 0)
                starts.push_back(line);
        }
        return starts;
    }
    std::vector<std::string> UpdatedLogLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : Lines(ReadFileText(product_ / "QZv5Log.txt"))) {
            if (line.find(",Updated,") != std::string::npos)
                lines.push_back(line);
        }
        return lines;
    }
    // The activity log's "Update problem" lines that mention the text.
    std::vector<std::string> ProblemLogLines(const std::string& about) const {
        std::vector<std::string> lines;
        for (const std::string& line : Lines(ReadFileText(product_ / "QZv5Log.txt"))) {
            if (line.find("Update problem") != std::string::npos &&
                line.find(about) != std::string::npos)
                lines.push_back(line);
        }
        return lines;
    }
    // Runs Pellory to its end, answering every box of its own with OK; their
    // texts. Empty with "(did not end)" when it ran on.
    std::vector<std::wstring> RunAnsweringBoxes(const std::wstring& arguments,
                                                const std::string& screenshot) {
        std::vector<std::wstring> boxes;
        if (!StartPellory(arguments))
            return {L"(not started)"};
        const bool ended = gui::WaitUntil(
            [&] {
                if (const HWND box = gui::FindDialog(
                        {.title = std::wstring(kBoxTitle), .process_id = pellory_.id()}, 0)) {
                    gui::SaveScreenshot(box, screenshot);
                    boxes.push_back(AnswerBox());
                }
                return !pellory_.running();
            },
            120000, 50);
        if (!ended)
            boxes.push_back(L"(did not end)");
        return boxes;
    }
    std::vector<std::string> Downloads(const char* folder) const {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(temp_ / folder, ignored))
            names.push_back(entry.path().filename().string());
        return names;
    }

    // How many requests for that path (query aside) reached the server.
    std::size_t RequestsTo(const std::string& path) const {
        std::size_t count = 0;
        for (const auto& request : server_.Requests())
            count += request.target.substr(0, request.target.find('?')) == path;
        return count;
    }

    // The message box with the product's title: its text, answered with OK.
    std::wstring AnswerBox(int button = IDOK, DWORD timeout_ms = 30000) {
        const auto box = gui::AnswerDialog(
            {.title = std::wstring(kBoxTitle), .process_id = pellory_.id()}, button, timeout_ms);
        return box ? box->text : L"(no box)";
    }

    HWND WaitForWindow(const wchar_t* title, DWORD timeout_ms = 30000) {
        return gui::FindTopLevelWindow(
            {.title = std::wstring(title), .process_id = pellory_.id(), .visible_only = true},
            timeout_ms);
    }

    std::wstring ItemText(HWND window, int id) { return gui::GetText(gui::FindChild(window, id)); }

    // What a new engine process reports of the installed definitions.
    struct DefinitionReport {
        std::string version;
        std::string pest_4102;  // the name of the pest only the update adds
        std::string output;
    };
    DefinitionReport ReportDefinitions() const;

    HttpTestServer server_;
    fs::path install_;
    fs::path product_;
    fs::path temp_;
    RunningProgram pellory_;
};

// The headline run: "/noninteractive" checks, shows its progress, downloads
// both channels, logs each file, writes the history and the time, and starts
// the update utility, which applies: a new engine process then reports the
// new definitions. Once by the delta route from the installed first block,
// once as whole files onto an install without definitions.
TEST_F(PelloryTest, NoninteractiveRunDownloadsAndTheUpdateUtilityApplies) {
    InstallRealUpdateUtility();
    for (const bool delta_route : {true, false}) {
        SCOPED_TRACE(delta_route ? "delta route" : "whole files");
        std::error_code ignored;
        fs::remove_all(product_, ignored);
        for (const char* folder : {"_core_", "_qzv5_"})
            fs::remove_all(temp_ / folder, ignored);
        fs::remove(install_ / "pellory-big.bin", ignored);
        if (!delta_route) {
            for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"})
                fs::remove(install_ / "core" / name, ignored);
        }
        const DefinitionReport before_update = ReportDefinitions();
        EXPECT_TRUE(before_update.pest_4102.empty()) << before_update.output;
        ServeUpdates();
        // Slow enough to watch the progress.
        server_.SetRules("/u/prog/pellory-big.bin slow=40 chunk=4096\n");
        const std::int64_t before = Now();
        ASSERT_TRUE(StartPellory(L"/noninteractive"));
        const HWND window = WaitForWindow(kDownloadTitle);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(gui::WaitUntil(
            [&] {
                return ItemText(window, IDC_DOWNLOAD_STATUS).find(L"pellory-big.bin") !=
                       std::wstring::npos;
            },
            30000));
        gui::SaveScreenshot(window, delta_route ? "noninteractive-progress"
                                                : "noninteractive-progress-whole-files");
        EXPECT_TRUE(IsWindowVisible(gui::FindChild(window, IDC_DOWNLOAD_PROGRESS)));
        EXPECT_EQ(ItemText(window, IDC_DOWNLOAD_BUTTON), L"Cancel");
        ASSERT_TRUE(pellory_.Wait(60000).has_value());

        // What was downloaded is logged before the utility applies it.
        const std::size_t downloads = 3 + 1;
        EXPECT_EQ(UpdatedLogLines().size(), downloads);
        EXPECT_EQ(Lines(ReadFileText(product_ / "qzupdateshistory.txt")).size(), 1u);
        const UpdaterSettings settings = Settings();
        EXPECT_GE(settings.last_update, before);
        EXPECT_LE(settings.last_update, Now() + 60);

        // The utility applies, removes the downloads and ends.
        ASSERT_TRUE(gui::WaitUntil([&] { return TempFoldersGone(); }, 120000, 100));
        ASSERT_TRUE(WaitForUtilityEnd());
        EXPECT_EQ(ReadFileText(install_ / "pellory-big.bin").size(), kBigFileBytes);

        const DefinitionReport after_update = ReportDefinitions();
        EXPECT_EQ(after_update.pest_4102, "Pellory.Second") << after_update.output;
        EXPECT_FALSE(after_update.version.empty()) << after_update.output;
        EXPECT_NE(after_update.version, before_update.version) << after_update.output;
    }
}

// A new engine process: this program again, running only the report below.
PelloryTest::DefinitionReport PelloryTest::ReportDefinitions() const {
    SetEnvironmentVariableW(L"OLVEX_REPORT_CORE",
                            WindowsPath((install_ / "core").string()).c_str());
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const auto run = gui::RunForOutput(gui::Quote(self) +
                                           L" --gtest_also_run_disabled_tests"
                                           L" --gtest_filter=*DISABLED_DefinitionReport",
                                       60000);
    SetEnvironmentVariableW(L"OLVEX_REPORT_CORE", nullptr);
    DefinitionReport report;
    report.output = run.output;
    for (const std::string& line : Lines(run.output)) {
        if (line.rfind("version ", 0) == 0)
            report.version = line.substr(8);
        if (line.rfind("pest 4102 ", 0) == 0)
            report.pest_4102 = line.substr(10);
    }
    return report;
}

// The definitions' composite version and the pest only the update adds.
TEST(PelloryEngineReport, DISABLED_DefinitionReport) {
    const std::wstring core = gui::Environment(L"OLVEX_REPORT_CORE");
    ASSERT_FALSE(core.empty());
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        BSTR folder = SysAllocString(core.c_str());
        IVersionInfo* version = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_VersionInfo, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IVersionInfo, reinterpret_cast<void**>(&version)),
                  S_OK);
        BSTR text = nullptr;
        version->GetCompositeVersion(folder, &text);
        printf("version %ls\n", text ? text : L"");
        SysFreeString(text);
        version->Release();

        IPestDatabase* database = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_PestDatabase, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IPestDatabase, reinterpret_cast<void**>(&database)),
                  S_OK);
        VARIANT_BOOL ok = VARIANT_FALSE;
        database->Initialize(folder, &ok);
        IPestRecord* record = nullptr;
        if (SUCCEEDED(database->GetPestById(4102, &record)) && record != nullptr) {
            BSTR name = nullptr;
            record->get_bsName(&name);
            printf("pest 4102 %ls\n", name ? name : L"");
            SysFreeString(name);
            record->Release();
        }
        database->Release();
        SysFreeString(folder);
    }
    fflush(stdout);
    CoUninitialize();
}

// What a start does by its options, "lastupdate" and "updateproc". The daily
// "-autoupdate" follows the user's choice: 3 sends nothing, 2 shows the
// download window waiting for Next (closed: nothing is sent), 1 updates
// silently.
TEST_F(PelloryTest, ModesByOptionsAndTheLastUpdate) {
    ServeUpdates();
    enum class Answer { kNone, kDecline, kAccept };
    struct Case {
        const char* name;
        std::wstring arguments;
        UpdateProcedure procedure;
        std::int64_t age;  // seconds since the last update; negative: in the future
        Answer answer;     // what the user does with a download window waiting for Next
        bool requests;
        bool utility;
        bool window_shown;
        bool installupdate;
    };
    const auto automatic = UpdateProcedure::kInstallAutomatically;
    const auto notify = UpdateProcedure::kNotifyFirst;
    const auto manual = UpdateProcedure::kManualOnly;
    const Case cases[] = {
        {"autoupdate within a day", L"-autoupdate", automatic, 3600, Answer::kNone, false, false,
         false, false},
        {"autoupdate after 25 hours, procedure 3", L"-autoupdate", manual, 25 * 3600, Answer::kNone,
         false, false, false, false},
        {"autoupdate after 25 hours, procedure 2, declined", L"-autoupdate", notify, 25 * 3600,
         Answer::kDecline, false, false, true, false},
        {"autoupdate after 25 hours, procedure 2, accepted", L"-autoupdate", notify, 25 * 3600,
         Answer::kAccept, true, true, true, false},
        {"autoupdate after 25 hours, procedure 1", L"-autoupdate", automatic, 25 * 3600,
         Answer::kNone, true, true, true, false},
        {"autoupdate, last update in the future, procedure 1", L"-autoupdate", automatic,
         -3 * 86400, Answer::kNone, true, true, true, false},
        {"autoupdate, last update in the future, procedure 3", L"-autoupdate", manual, -3 * 86400,
         Answer::kNone, false, false, false, false},
        {"installupdate, procedure 1", L"/installupdate", automatic, 60, Answer::kNone, true, true,
         false, true},
        {"installupdate, procedure 3", L"/installupdate", manual, 60, Answer::kNone, false, false,
         false, false},
    };
    const std::string definitions_before = ReadFileText(install_ / "core" / "qzinfo.dat");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        ClearUtilityLog();
        for (const char* folder : {"_core_", "_qzv5_"})
            fs::remove_all(temp_ / folder, ignored);
        const std::int64_t last = Now() - c.age;
        WriteSettings(c.procedure, last);
        const std::size_t requests_before = server_.Requests().size();
        ASSERT_TRUE(StartPellory(c.arguments));
        bool shown = false;
        bool answered = false;
        while (pellory_.running()) {
            const HWND window = gui::FindTopLevelWindow(
                {.title = std::wstring(kDownloadTitle), .process_id = pellory_.id()});
            shown = shown || IsVisible(window);
            if (IsVisible(window) && c.answer != Answer::kNone && !answered) {
                // The question: the window waits for Next, nothing sent yet.
                ASSERT_TRUE(gui::WaitUntil(
                    [&] { return IsWindowVisible(gui::FindChild(window, IDC_DOWNLOAD_NEXT)); },
                    10000));
                EXPECT_EQ(ItemText(window, IDC_DOWNLOAD_BUTTON), L"Close");
                gui::SaveScreenshot(window, std::string("mode-") + c.name);
                EXPECT_EQ(server_.Requests().size(), requests_before);
                answered = true;
                if (c.answer == Answer::kDecline) {
                    ASSERT_TRUE(gui::PressButton(window, IDC_DOWNLOAD_BUTTON));
                } else {
                    ASSERT_TRUE(gui::PressButton(window, IDC_DOWNLOAD_NEXT));
                    ASSERT_TRUE(gui::WaitUntil(
                        [&] { return ItemText(window, IDC_DOWNLOAD_BUTTON) == L"Apply Updates"; },
                        60000))
                        << Narrow(ItemText(window, IDC_DOWNLOAD_STATUS));
                    gui::SaveScreenshot(window, std::string("mode-") + c.name + "-apply");
                    ASSERT_TRUE(gui::PressButton(window, IDC_DOWNLOAD_BUTTON));
                }
            } else if (IsVisible(window) && c.answer == Answer::kNone) {
                gui::SaveScreenshot(window, std::string("mode-") + c.name);
            }
            Sleep(20);
        }
        EXPECT_EQ(answered, c.answer != Answer::kNone);
        EXPECT_EQ(server_.Requests().size() > requests_before, c.requests);
        // The utility's stand-in logs its start a moment after it was started.
        if (c.utility)
            gui::WaitUntil([&] { return !UtilityStarts().empty(); }, 10000, 50);
        const auto starts = UtilityStarts();
        EXPECT_EQ(starts.size(), c.utility ? 1u : 0u);
        if (!starts.empty()) {
            EXPECT_EQ(starts[0].find("/installupdate") != std::string::npos, c.installupdate);
        }
        EXPECT_EQ(shown, c.window_shown);
        // Only an update moves the time; a run that sent nothing downloaded nothing.
        if (c.utility) {
            EXPECT_GE(Settings().last_update, Now() - 120);
        } else {
            EXPECT_EQ(Settings(), (UpdaterSettings{c.procedure, last}));
        }
        if (!c.requests) {
            EXPECT_TRUE(Downloads("_core_").empty());
            EXPECT_TRUE(Downloads("_qzv5_").empty());
        }
        // The stand-in utility applies nothing: the definitions stay.
        EXPECT_EQ(ReadFileText(install_ / "core" / "qzinfo.dat"), definitions_before);
    }
}

// A settings file over 64 KB cannot be ours. A run with an option has
// nobody to answer a box: it notes the problem in the activity log and goes
// on with the defaults (notify first, never updated), so "/noninteractive"
// and "/installupdate" update (and write a good file), and the daily start
// asks with the download window. The spoiled file begins with a manual
// choice and a fresh time: a run that read it in part would do nothing. An
// interactive start still shows the box.
TEST_F(PelloryTest, SettingsFileOver64KbInARunWithAnOptionGoesToTheLog) {
    ServeNothingNew();
    struct Case {
        const char* name;
        std::wstring arguments;
        bool boxes;     // the problem is shown, not logged
        bool requests;  // the run checked for updates
        bool prompted;  // the download window waits for Next (closed by the test)
        bool main_window;
        bool rewritten;  // a good file with the defaults replaced the spoiled one
    };
    const Case cases[] = {
        {"noninteractive", L"/noninteractive", false, true, false, false, true},
        {"installupdate", L"/installupdate", false, true, false, false, true},
        {"autoupdate", L"-autoupdate", false, false, true, false, false},
        {"interactive", L"", true, false, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        fs::remove(product_ / "QZv5Log.txt", ignored);
        fs::create_directories(product_);
        const std::int64_t before = Now();
        WriteText(product_ / "qzv5upd.ini", "updateproc=3\nlastupdate=" + std::to_string(before) +
                                                "\n" + std::string(70000, ';') + "\n");
        const std::size_t requests_before = server_.Requests().size();
        ASSERT_TRUE(StartPellory(c.arguments));
        std::vector<std::wstring> boxes;
        bool download_seen = false;
        bool prompted = false;
        bool main_window = false;
        ASSERT_TRUE(gui::WaitUntil(
            [&] {
                if (const HWND box = gui::FindDialog(
                        {.title = std::wstring(kBoxTitle), .process_id = pellory_.id()}, 0)) {
                    gui::SaveScreenshot(box, std::string("settings-over-64kb-") + c.name + "-box");
                    boxes.push_back(AnswerBox());
                }
                const HWND download =
                    gui::FindTopLevelWindow({.title = std::wstring(kDownloadTitle),
                                             .process_id = pellory_.id(),
                                             .visible_only = true});
                if (download != nullptr && !download_seen) {
                    download_seen = true;
                    gui::SaveScreenshot(download,
                                        std::string("settings-over-64kb-") + c.name + "-download");
                }
                if (download != nullptr && !prompted &&
                    IsWindowVisible(gui::FindChild(download, IDC_DOWNLOAD_NEXT))) {
                    prompted = true;
                    gui::SaveScreenshot(download, std::string("settings-over-64kb-") + c.name);
                    EXPECT_EQ(ItemText(download, IDC_DOWNLOAD_BUTTON), L"Close");
                    gui::PressButton(download, IDC_DOWNLOAD_BUTTON);
                }
                const HWND main = gui::FindTopLevelWindow({.title = std::wstring(kMainTitle),
                                                           .process_id = pellory_.id(),
                                                           .visible_only = true});
                if (main != nullptr && !main_window &&
                    !gui::FindDialog(
                        {.title = std::wstring(kBoxTitle), .process_id = pellory_.id()}, 0)) {
                    main_window = true;
                    // The defaults: notify first.
                    EXPECT_EQ(gui::GetCheck(gui::FindChild(main, IDC_PROC_NOTIFY)), BST_CHECKED);
                    gui::SaveScreenshot(main, std::string("settings-over-64kb-") + c.name);
                    gui::PressButton(main, IDCANCEL);
                }
                return !pellory_.running();
            },
            120000, 50));
        EXPECT_EQ(prompted, c.prompted);
        EXPECT_EQ(main_window, c.main_window);
        EXPECT_EQ(!boxes.empty(), c.boxes);
        for (const std::wstring& text : boxes) {
            EXPECT_EQ(text.rfind(L"The file \"", 0), 0u) << Narrow(text);
            EXPECT_NE(text.find(L"qzv5upd.ini\" could not be read or written."), std::wstring::npos)
                << Narrow(text);
        }
        EXPECT_EQ(ProblemLogLines("qzv5upd.ini").empty(), c.boxes);
        EXPECT_EQ(server_.Requests().size() > requests_before, c.requests);
        EXPECT_TRUE(UtilityStarts().empty());
        const std::size_t size = fs::file_size(product_ / "qzv5upd.ini", ignored);
        EXPECT_EQ(size < 1000, c.rewritten) << size;
        if (c.rewritten) {
            EXPECT_EQ(Settings().procedure, UpdateProcedure::kNotifyFirst);
            // Only a check moves the time.
            if (c.requests) {
                EXPECT_GE(Settings().last_update, before);
            } else {
                EXPECT_EQ(Settings().last_update, 0);
            }
        }
    }
}

TEST_F(PelloryTest, InvalidCommandLinesShowMessage170) {
    for (const wchar_t* arguments : {L"word", L"/unknown", L"/unknown -autoupdate"}) {
        SCOPED_TRACE(Narrow(arguments));
        ASSERT_TRUE(StartPellory(arguments));
        const HWND box =
            gui::FindDialog({.title = std::wstring(kBoxTitle), .process_id = pellory_.id()}, 30000);
        ASSERT_NE(box, nullptr);
        gui::SaveScreenshot(box, "invalid-parameter");
        EXPECT_EQ(AnswerBox(),
                  L"An invalid parameter was entered. Please reenter valid parameter for the "
                  L"command line to execute.");
        EXPECT_TRUE(pellory_.Wait(10000).has_value());
    }
    // An option followed by an unknown flag is accepted.
    WriteSettings(UpdateProcedure::kNotifyFirst, Now());
    EXPECT_TRUE(RunPellory(L"-autoupdate /unknown"));
    EXPECT_TRUE(UtilityStarts().empty());
}

TEST_F(PelloryTest, GivesWayToScansOtherCopiesAndRestrictedAccounts) {
    ServeNothingNew();
    {
        RunningProgram holder;
        ASSERT_TRUE(
            gui::StartWhenReady(holder, gui::Quote(gui::GuiProgramPath(L"mutex_holder.exe")) +
                                            L" GorsewatchV5PestActivity --seconds 60"));
        // With an option: silently.
        EXPECT_TRUE(RunPellory(L"/noninteractive", 30000));
        EXPECT_TRUE(server_.Requests().empty());
        // Without: message 165.
        ASSERT_TRUE(StartPellory(L""));
        EXPECT_EQ(AnswerBox(),
                  L"The update has been canceled because there is other pest cleaning activity "
                  L"occurring. Possibly, a previously scheduled scan is running, or another "
                  L"application is scanning or performing other activity related to pest "
                  L"cleaning. Please wait till the other pest cleaning activity has completed.");
        EXPECT_TRUE(pellory_.Wait(10000).has_value());
    }
    // A second copy ends without a word while the first shows its window.
    ASSERT_TRUE(StartPellory(L""));
    const HWND main = WaitForWindow(kMainTitle);
    ASSERT_NE(main, nullptr);
    RunningProgram second;
    ASSERT_TRUE(second.Start(gui::Quote(WindowsPath((install_ / "Pellory.exe").string()))));
    EXPECT_TRUE(second.Wait(30000).has_value());
    EXPECT_TRUE(gui::PressButton(main, IDCANCEL));
    EXPECT_TRUE(pellory_.Wait(10000).has_value());

    // An install folder it cannot write to: message 133. A run with an
    // option (the daily start of a user without the rights) logs it and ends.
    fs::create_directories(install_ / "tempu.tmp");
    ASSERT_TRUE(StartPellory(L""));
    const std::wstring text = AnswerBox();
    EXPECT_EQ(text.rfind(L"The 'User Account' that you logged into the computer with", 0), 0u)
        << Narrow(text);
    EXPECT_TRUE(pellory_.Wait(10000).has_value());
    EXPECT_TRUE(ProblemLogLines("User Account").empty());
    for (const wchar_t* arguments : {L"/noninteractive", L"-autoupdate"}) {
        SCOPED_TRACE(Narrow(arguments));
        std::error_code ignored;
        fs::remove(product_ / "QZv5Log.txt", ignored);
        const auto boxes = RunAnsweringBoxes(arguments, "restricted-account-silent-box");
        EXPECT_TRUE(boxes.empty()) << Narrow(boxes.front());
        EXPECT_EQ(
            ProblemLogLines("The 'User Account' that you logged into the computer with").size(),
            1u);
    }
    EXPECT_TRUE(server_.Requests().empty());
    fs::remove(install_ / "tempu.tmp");
}

// A wrong check value and a missing file: nothing applied, the time kept.
TEST_F(PelloryTest, FailedDownloadsAreCancelledAndNothingIsApplied) {
    struct Case {
        const char* name;
        bool wrong_check_value;
        std::string rules;
    };
    const Case cases[] = {
        {"wrong check value", true, ""},
        {"missing file", false, "/u/prog/pellory-big.bin status=404\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearUtilityLog();
        ServeUpdates(c.wrong_check_value);
        server_.SetRules(c.rules);
        // Prompted: the window waits for Next and keeps its outcome.
        const std::int64_t last = Now() - 60;
        WriteSettings(UpdateProcedure::kNotifyFirst, last);
        ASSERT_TRUE(StartPellory(L"/installupdate"));
        const HWND window = WaitForWindow(kDownloadTitle);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(gui::PressButton(window, IDC_DOWNLOAD_NEXT));
        ASSERT_TRUE(gui::WaitUntil(
            [&] {
                return ItemText(window, IDC_DOWNLOAD_STATUS) ==
                       L"Update cancelled due to user action or processing error!";
            },
            30000))
            << Narrow(ItemText(window, IDC_DOWNLOAD_STATUS));
        gui::SaveScreenshot(window, std::string("failed-") + c.name);
        EXPECT_EQ(ItemText(window, IDC_DOWNLOAD_BUTTON), L"Close");
        ASSERT_TRUE(gui::PressButton(window, IDC_DOWNLOAD_BUTTON));
        ASSERT_TRUE(pellory_.Wait(20000).has_value());
        EXPECT_TRUE(UtilityStarts().empty());
        EXPECT_FALSE(fs::exists(product_ / "qzupdateshistory.txt"));
        EXPECT_EQ(Settings().last_update, last);
    }

    // A silent run (the daily start, updates installed automatically) whose
    // download fails keeps "lastupdate".
    ClearUtilityLog();
    server_.SetRules("/u/prog/pellory-big.bin status=404\n");
    const std::int64_t last = Now() - 5 * 86400;
    WriteSettings(UpdateProcedure::kInstallAutomatically, last);
    ASSERT_TRUE(RunPellory(L"-autoupdate"));
    EXPECT_TRUE(UtilityStarts().empty());
    EXPECT_EQ(Settings().last_update, last);
}

// Whole definition files served with the right check values, one of which
// the block reader refuses: nothing is replaced, the update counts as failed
// (the utility is never started, no history) and "lastupdate" stays, so the
// next daily run tries again.
TEST_F(PelloryTest, ServedWholeFilesThatDoNotLoadReplaceNothing) {
    std::string error;
    auto core = tools::BuildUpdateSet(Blocks(2), {server_.Url("/u/core"), {}}, error);
    ASSERT_TRUE(core) << error;
    std::vector<UpdateControlRecord> whole;
    for (const auto& entry : core->control_entries) {
        if (entry.file_name == "qzinfo.dat" || entry.file_name == "qzfile.dat" ||
            entry.file_name == "qzloc.dat")
            whole.push_back(entry);
    }
    ASSERT_EQ(whole.size(), 3u);
    for (const auto& file : tools::UpdateSetFiles(*core)) {
        std::vector<std::uint8_t> bytes = file.bytes;
        for (auto& entry : whole) {
            if (entry.file_name != "qzfile.dat" ||
                entry.url != server_.Url("/u/core") + "/" + file.path)
                continue;
            bytes[512 + 2] ^= 0x5A;  // its first block fails its own check
            entry.check_value = UpdateCheckValue(bytes);
        }
        server_.Serve("u/core/" + file.path, bytes);
    }
    const std::string control = tools::RenderControlFile(whole);
    server_.Serve("u/core/qzmaster.dat", std::vector<std::uint8_t>(control.begin(), control.end()));
    const std::string empty = tools::RenderControlFile({});
    server_.Serve("u/prog/qzmaster.dat", std::vector<std::uint8_t>(empty.begin(), empty.end()));
    const std::string before_pests = ReadFileText(install_ / "core" / "qzinfo.dat");
    const std::string before_signatures = ReadFileText(install_ / "core" / "qzfile.dat");
    const std::int64_t last = Now() - 5 * 86400;
    // The daily start of a user who has updates installed automatically:
    // silent (with "notify first" it would wait for Next).
    WriteSettings(UpdateProcedure::kInstallAutomatically, last);

    ASSERT_TRUE(RunPellory(L"-autoupdate"));
    EXPECT_TRUE(UtilityStarts().empty());
    EXPECT_EQ(Settings().last_update, last);
    EXPECT_FALSE(fs::exists(product_ / "qzupdateshistory.txt"));
    EXPECT_EQ(ReadFileText(install_ / "core" / "qzinfo.dat"), before_pests);
    EXPECT_EQ(ReadFileText(install_ / "core" / "qzfile.dat"), before_signatures);
    // The refused file was not kept.
    for (const std::string& name : Downloads("_core_"))
        EXPECT_EQ(name.find("qzfile.dat"), std::string::npos) << name;
}

// A channel without an address cannot be checked: message 108 when the user
// pressed Next; a silent run, with nobody to answer, logs it and ends.
TEST_F(PelloryTest, ChannelWithoutAnAddressShowsMessage108AndDownloadsNothing) {
    ServeUpdates();
    WriteChannelUrls("/u/core/qzmaster.dat", "");
    const std::int64_t last = Now() - 5 * 86400;
    WriteSettings(UpdateProcedure::kNotifyFirst, last);
    ASSERT_TRUE(StartPellory(L"-autoupdate"));
    const HWND window = WaitForWindow(kDownloadTitle);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(gui::PressButton(window, IDC_DOWNLOAD_NEXT));
    const HWND box =
        gui::FindDialog({.title = std::wstring(kBoxTitle), .process_id = pellory_.id()}, 30000);
    ASSERT_NE(box, nullptr);
    gui::SaveScreenshot(box, "updater-init-failed");
    const std::wstring text = AnswerBox();
    EXPECT_EQ(text.rfind(L"Error! Updater init failed (Error ", 0), 0u) << Narrow(text);
    ASSERT_TRUE(pellory_.Wait(20000).has_value());
    EXPECT_TRUE(ProblemLogLines("Updater init failed").empty());

    for (const wchar_t* arguments : {L"/noninteractive", L"/installupdate"}) {
        SCOPED_TRACE(Narrow(arguments));
        const auto boxes = RunAnsweringBoxes(arguments, "updater-init-failed-silent");
        EXPECT_TRUE(boxes.empty()) << Narrow(boxes.front());
        const auto lines = ProblemLogLines("Error! Updater init failed (Error ");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("progurl is not set in updateurls.ini"), std::string::npos)
            << lines[0];
        std::error_code ignored;
        fs::remove(product_ / "QZv5Log.txt", ignored);
    }
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_TRUE(UtilityStarts().empty());
    EXPECT_EQ(Settings().last_update, last);
}

// Cancel during a slow download: the window stays until the worker has
// ended, then nothing is applied.
TEST_F(PelloryTest, CancelStopsASlowDownloadAndTheWindowWaitsForTheWorker) {
    ServeUpdates();
    server_.SetRules("/u/prog/pellory-big.bin slow=300 chunk=1024\n");
    WriteSettings(UpdateProcedure::kNotifyFirst, Now() - 60);
    ASSERT_TRUE(StartPellory(L"/installupdate"));
    const HWND window = WaitForWindow(kDownloadTitle);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(gui::PressButton(window, IDC_DOWNLOAD_NEXT));
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            return ItemText(window, IDC_DOWNLOAD_STATUS).find(L"pellory-big.bin") !=
                   std::wstring::npos;
        },
        30000));
    // Escape (as the close box and WM_CLOSE) acts as Cancel while it downloads.
    gui::PostWindowMessage(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(
        gui::WaitUntil([&] { return ItemText(window, IDC_DOWNLOAD_BUTTON) == L"Close"; }, 10000));
    gui::SaveScreenshot(window, "cancelled-while-downloading");
    ASSERT_TRUE(pellory_.Wait(30000).has_value());
    EXPECT_TRUE(UtilityStarts().empty());
    EXPECT_FALSE(fs::exists(product_ / "qzupdateshistory.txt"));
}

// With the main program open a prompted run asks first; No leaves the
// downloads. The 100,000-byte file moves the bar from 0 to 100,000.
TEST_F(PelloryTest, NewUpdatesQuestionWhileTheMainProgramRuns) {
    ServeUpdates();
    server_.SetRules("/u/prog/pellory-big.bin slow=40 chunk=4096\n");
    fs::copy_file(Narrow(gui::GuiProgramPath(L"stand_in.exe")), install_ / "MainStandIn.exe");
    RunningProgram main_program;
    ASSERT_TRUE(gui::StartWhenReady(
        main_program, gui::Quote(WindowsPath((install_ / "MainStandIn.exe").string())) +
                          L" --title \"Kelvan Gorsewatch by Brackwith\" --seconds 90"));
    WriteSettings(UpdateProcedure::kNotifyFirst, Now() - 60);
    ASSERT_TRUE(StartPellory(L"/installupdate"));
    const HWND window = WaitForWindow(kDownloadTitle);
    ASSERT_NE(window, nullptr);
    gui::SaveScreenshot(window, "prompted-waiting-for-next");
    EXPECT_EQ(ItemText(window, IDC_DOWNLOAD_BUTTON), L"Close");
    ASSERT_TRUE(gui::PressButton(window, IDC_DOWNLOAD_NEXT));
    const HWND bar = gui::FindChild(window, IDC_DOWNLOAD_PROGRESS);
    std::vector<int> positions;
    HWND question = nullptr;
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            const auto sent = gui::SendWindowMessage(bar, PBM_GETPOS, 0, 0);
            const auto high = gui::SendWindowMessage(bar, PBM_GETRANGE, FALSE, 0);
            if (sent.completed && high.completed &&
                high.result == static_cast<LRESULT>(kBigFileBytes))
                positions.push_back(static_cast<int>(sent.result));
            question = gui::FindDialog(
                {.title = std::wstring(kNewUpdatesTitle), .process_id = pellory_.id()}, 0);
            return question != nullptr;
        },
        60000, 10));
    gui::SaveScreenshot(question, "new-updates-available");
    const auto asked = gui::ReadDialog(question);
    EXPECT_NE(asked.text.find(L"Do you wish to apply the updates?"), std::wstring::npos);
    ASSERT_TRUE(gui::PressButton(question, L"No, Continue Scanning and Other Activities"));
    ASSERT_TRUE(
        gui::WaitUntil([&] { return ItemText(window, IDC_DOWNLOAD_BUTTON) == L"Close"; }, 10000));
    EXPECT_EQ(ItemText(window, IDC_DOWNLOAD_STATUS),
              L"Download complete. Kelvan Gorsewatch will need to\nrestart when applying updates");
    gui::SaveScreenshot(window, "declined");
    // The bar went from 0 to the whole file.
    ASSERT_FALSE(positions.empty());
    bool between = false;
    for (const int p : positions)
        between = between || (p > 0 && p < static_cast<int>(kBigFileBytes));
    EXPECT_TRUE(between);
    EXPECT_EQ(gui::SendWindowMessage(bar, PBM_GETPOS, 0, 0).result,
              static_cast<LRESULT>(kBigFileBytes));
    ASSERT_TRUE(gui::PressButton(window, IDC_DOWNLOAD_BUTTON));
    ASSERT_TRUE(pellory_.Wait(20000).has_value());
    EXPECT_TRUE(UtilityStarts().empty());
    EXPECT_EQ(Downloads("_qzv5_").size(), 1u);
}

TEST_F(PelloryTest, MainWindow) {
    ServeNothingNew();
    WriteSettings(static_cast<UpdateProcedure>('7'), 1000);
    ASSERT_TRUE(StartPellory(L""));
    const HWND main = WaitForWindow(kMainTitle);
    ASSERT_NE(main, nullptr);
    gui::SaveScreenshot(main, "main-window");
    EXPECT_TRUE(GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_TOPMOST);
    // "updateproc=7" reads as 2.
    EXPECT_EQ(gui::GetCheck(gui::FindChild(main, IDC_PROC_NOTIFY)), BST_CHECKED);
    EXPECT_EQ(gui::GetCheck(gui::FindChild(main, IDC_PROC_AUTOMATIC)), BST_UNCHECKED);

    // The radio buttons write the file at once.
    struct Radio {
        int id;
        UpdateProcedure procedure;
    };
    for (const Radio radio : {Radio{IDC_PROC_MANUAL, UpdateProcedure::kManualOnly},
                              Radio{IDC_PROC_AUTOMATIC, UpdateProcedure::kInstallAutomatically},
                              Radio{IDC_PROC_NOTIFY, UpdateProcedure::kNotifyFirst}}) {
        ASSERT_TRUE(gui::ClickButton(gui::FindChild(main, radio.id)));
        EXPECT_TRUE(gui::WaitUntil([&] { return Settings().procedure == radio.procedure; }, 5000));
    }
    EXPECT_EQ(Settings().last_update, 1000);

    // 1029 brings it to the front; 1026 leaves it as it is.
    ShowWindow(main, SW_MINIMIZE);
    EXPECT_TRUE(gui::WaitUntil([&] { return IsIconic(main) != FALSE; }, 5000));
    EXPECT_TRUE(gui::SendWindowMessage(main, 1026, static_cast<WPARAM>(-1), 515).completed);
    EXPECT_TRUE(IsIconic(main));
    EXPECT_TRUE(gui::SendWindowMessage(main, 1029, 0, 0).completed);
    EXPECT_TRUE(gui::WaitUntil([&] { return !IsIconic(main) && IsWindowVisible(main); }, 5000));

    // Check Now with nothing new: up to date; the time is saved at Close.
    ASSERT_TRUE(gui::PressButton(main, IDC_CHECK_NOW));
    const HWND download = WaitForWindow(kDownloadTitle);
    ASSERT_NE(download, nullptr);
    gui::SaveScreenshot(download, "check-now-ready");
    ASSERT_TRUE(gui::PressButton(download, IDC_DOWNLOAD_NEXT));
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            return ItemText(download, IDC_DOWNLOAD_STATUS) == L"Kelvan Gorsewatch is up-to-date";
        },
        30000))
        << Narrow(ItemText(download, IDC_DOWNLOAD_STATUS));
    gui::SaveScreenshot(download, "check-now-up-to-date");
    EXPECT_EQ(ItemText(download, IDC_DOWNLOAD_BUTTON), L"Close");
    ASSERT_TRUE(gui::PressButton(download, IDC_DOWNLOAD_BUTTON));
    ASSERT_TRUE(gui::WaitForWindowGone(download, 10000));
    EXPECT_EQ(Settings().last_update, 1000);
    const std::int64_t before = Now();
    ASSERT_TRUE(gui::PressButton(main, IDCANCEL));
    ASSERT_TRUE(pellory_.Wait(10000).has_value());
    EXPECT_GE(Settings().last_update, before - 60);
    EXPECT_TRUE(UtilityStarts().empty());
}

// Check Now, then Apply Updates: the update utility closes the main window,
// applies, and starts the updater again, whose main window comes back.
TEST_F(PelloryTest, CheckNowThenApplyEndsInTheUtilityRestartingTheMainWindow) {
    InstallRealUpdateUtility();
    ServeUpdates();
    WriteSettings(UpdateProcedure::kNotifyFirst, 1000);
    ASSERT_TRUE(StartPellory(L""));
    const HWND main = WaitForWindow(kMainTitle);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(gui::PressButton(main, IDC_CHECK_NOW));
    const HWND download = WaitForWindow(kDownloadTitle);
    ASSERT_NE(download, nullptr);
    ASSERT_TRUE(gui::PressButton(download, IDC_DOWNLOAD_NEXT));
    ASSERT_TRUE(gui::WaitUntil(
        [&] { return ItemText(download, IDC_DOWNLOAD_BUTTON) == L"Apply Updates"; }, 60000))
        << Narrow(ItemText(download, IDC_DOWNLOAD_STATUS));
    gui::SaveScreenshot(download, "apply-updates");
    ASSERT_TRUE(gui::PressButton(download, IDC_DOWNLOAD_BUTTON));
    ASSERT_TRUE(pellory_.Wait(60000).has_value());
    EXPECT_GE(Settings().last_update, Now() - 120);

    ASSERT_TRUE(gui::WaitUntil([&] { return TempFoldersGone(); }, 120000, 100));
    ASSERT_TRUE(WaitForUtilityEnd());
    // The utility wrote the history once the update was in place.
    EXPECT_EQ(Lines(ReadFileText(product_ / "qzupdateshistory.txt")).size(), 1u);
    EXPECT_EQ(ReadFileText(install_ / "pellory-big.bin").size(), kBigFileBytes);
    const HWND restarted =
        gui::FindTopLevelWindow({.title = std::wstring(kMainTitle), .visible_only = true}, 30000);
    ASSERT_NE(restarted, nullptr);
    gui::SaveScreenshot(restarted, "main-window-restarted");
    DWORD restarted_id = 0;
    GetWindowThreadProcessId(restarted, &restarted_id);
    EXPECT_NE(restarted_id, pellory_.id());
    PostMessageW(restarted, WM_CLOSE, 0, 0);
    EXPECT_TRUE(gui::WaitForWindowGone(restarted, 10000));
}

// A control file that redirects to itself: each channel's check gives up
// after a bounded number of requests and the silent run ends by itself.
// While it waits on the server it keeps no scan out: the command-line
// scanner started meanwhile scans. The program channel's first request is
// held by the server until the scan is over, so the scan surely runs while
// the updater does.
TEST_F(PelloryTest, RedirectLoopEndsTheSilentRunAndAScanStartedMeanwhileRuns) {
    ServeNothingNew();
    server_.SetRules(
        "/u/core/qzmaster.dat location=/u/core/qzmaster.dat\n"
        "/u/prog/qzmaster.dat location=/u/prog/qzmaster.dat until=scan-over\n");
    const std::int64_t last = Now() - 5 * 86400;
    WriteSettings(UpdateProcedure::kNotifyFirst, last);
    fs::copy_file(Narrow(WindowsPath(OLVEX_MARVOLT_PATH)), install_ / "Marvolt.exe");
    // The exterminator wants the scripted remover and its index beside the
    // definitions; no pest here needs it.
    WriteText(install_ / "core" / "qzsrindex.dat", "");
    fs::copy_file(Narrow(WindowsPath(OLVEX_QZCLEAN_PATH)), install_ / "core" / "qzclean.exe");
    const fs::path history = product_ / "qzscanhistory.txt";
    ASSERT_FALSE(fs::exists(history));

    ASSERT_TRUE(StartPellory(L"/noninteractive"));
    // The core channel's loop is over once the program channel is asked.
    ASSERT_TRUE(gui::WaitUntil([&] { return RequestsTo("/u/prog/qzmaster.dat") > 0; }, 120000))
        << RequestsTo("/u/core/qzmaster.dat") << " requests for the core channel";
    EXPECT_EQ(RequestsTo("/u/core/qzmaster.dat"), static_cast<std::size_t>(kMaxRedirects + 1));
    const HWND window = WaitForWindow(kDownloadTitle);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ItemText(window, IDC_DOWNLOAD_STATUS), L"Checking for available updates ...");
    gui::SaveScreenshot(window, "redirect-loop-checking");

    RunningProgram scanner;
    ASSERT_TRUE(
        scanner.Start(gui::Quote(WindowsPath((install_ / "Marvolt.exe").string())) + L" /ignore"));
    std::vector<std::wstring> boxes;
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            // A box of the scanner's is an error: noted, saved and answered.
            if (const HWND box = gui::FindDialog({.process_id = scanner.id()}, 0)) {
                gui::SaveScreenshot(box, "scanner-box");
                const auto answered = gui::AnswerDialog({.process_id = scanner.id()}, IDOK, 5000);
                boxes.push_back(answered ? answered->text : L"(unread)");
            }
            return !scanner.running();
        },
        300000, 100));
    EXPECT_TRUE(boxes.empty()) << Narrow(boxes.front());
    // It scanned (the history is written after a scan) rather than gave way.
    EXPECT_TRUE(fs::exists(history));
    // Held by the server all along.
    EXPECT_TRUE(pellory_.running());
    EXPECT_EQ(RequestsTo("/u/prog/qzmaster.dat"), 1u);

    server_.Serve("scan-over", std::string_view());
    ASSERT_TRUE(pellory_.Wait(120000).has_value());
    EXPECT_EQ(RequestsTo("/u/core/qzmaster.dat"), static_cast<std::size_t>(kMaxRedirects + 1));
    EXPECT_EQ(RequestsTo("/u/prog/qzmaster.dat"), static_cast<std::size_t>(kMaxRedirects + 1));
    // A failed check: no update recorded, nothing to apply.
    EXPECT_EQ(Settings().last_update, last);
    EXPECT_TRUE(UtilityStarts().empty());
}

// A silent run whose server takes the request and never answers: the
// request's own limit is long (its size is unknown), the run's limit ends
// it. The limit is shortened for the test (OLVEX_UPDATE_RUN_LIMIT_MS).
TEST_F(PelloryTest, ASilentRunWhoseServerNeverAnswersEndsAtTheRunsTimeLimit) {
    ServeNothingNew();
    server_.SetRules("/u/core/qzmaster.dat until=never-answered\n");
    const std::int64_t last = Now() - 5 * 86400;
    WriteSettings(UpdateProcedure::kNotifyFirst, last);
    SetEnvironmentVariableW(L"OLVEX_UPDATE_RUN_LIMIT_MS", L"20000");
    const bool started = StartPellory(L"/noninteractive");
    SetEnvironmentVariableW(L"OLVEX_UPDATE_RUN_LIMIT_MS", nullptr);
    ASSERT_TRUE(started);
    ASSERT_TRUE(gui::WaitUntil([&] { return RequestsTo("/u/core/qzmaster.dat") > 0; }, 60000));
    const HWND window = WaitForWindow(kDownloadTitle);
    ASSERT_NE(window, nullptr);
    gui::SaveScreenshot(window, "silent-run-waiting-on-a-silent-server");
    ASSERT_TRUE(pellory_.Wait(300000).has_value());
    // Given up while the core channel waited: the program channel was never asked.
    EXPECT_EQ(RequestsTo("/u/core/qzmaster.dat"), 1u);
    EXPECT_EQ(RequestsTo("/u/prog/qzmaster.dat"), 0u);
    EXPECT_EQ(Settings().last_update, last);
    EXPECT_TRUE(UtilityStarts().empty());
}

// A check whose server never answers: the window keeps answering, Cancel
// gives the check up and Close then closes it, the close box closes it at
// once, and the updater ends though its checks still wait.
TEST_F(PelloryTest, TheWindowClosesWhileACheckHangs) {
    ServeNothingNew();
    server_.SetRules("/u/core/qzmaster.dat until=never-answered\n");
    WriteSettings(UpdateProcedure::kNotifyFirst, 1000);
    ASSERT_TRUE(StartPellory(L""));
    const HWND main = WaitForWindow(kMainTitle);
    ASSERT_NE(main, nullptr);
    // Check Now, Next, and the check's request waits at the server.
    const auto start_check = [&](std::size_t requests) -> HWND {
        EXPECT_TRUE(gui::PressButton(main, IDC_CHECK_NOW));
        const HWND download = WaitForWindow(kDownloadTitle);
        if (download == nullptr)
            return nullptr;
        EXPECT_TRUE(gui::PressButton(download, IDC_DOWNLOAD_NEXT));
        EXPECT_TRUE(
            gui::WaitUntil([&] { return RequestsTo("/u/core/qzmaster.dat") == requests; }, 60000));
        EXPECT_TRUE(gui::WaitUntil(
            [&] {
                return ItemText(download, IDC_DOWNLOAD_STATUS) ==
                       L"Checking for available updates ...";
            },
            10000));
        return download;
    };

    HWND download = start_check(1);
    ASSERT_NE(download, nullptr);
    // It answers while the check waits.
    EXPECT_TRUE(gui::SendWindowMessage(download, WM_NULL, 0, 0).completed);
    EXPECT_EQ(ItemText(download, IDC_DOWNLOAD_BUTTON), L"Cancel");
    gui::SaveScreenshot(download, "check-hangs");
    ASSERT_TRUE(gui::PressButton(download, IDC_DOWNLOAD_BUTTON));
    ASSERT_TRUE(
        gui::WaitUntil([&] { return ItemText(download, IDC_DOWNLOAD_BUTTON) == L"Close"; }, 10000));
    EXPECT_EQ(ItemText(download, IDC_DOWNLOAD_STATUS),
              L"Update cancelled due to user action or processing error!");
    gui::SaveScreenshot(download, "hanging-check-cancelled");
    ASSERT_TRUE(gui::PressButton(download, IDC_DOWNLOAD_BUTTON));
    ASSERT_TRUE(gui::WaitForWindowGone(download, 10000));

    // The close box during the check closes the window at once.
    download = start_check(2);
    ASSERT_NE(download, nullptr);
    gui::PostWindowMessage(download, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(gui::WaitForWindowGone(download, 10000));
    EXPECT_TRUE(IsWindowVisible(main));
    gui::SaveScreenshot(main, "main-window-after-hanging-checks");

    // Neither check was done: the main window records no update.
    ASSERT_TRUE(gui::PressButton(main, IDCANCEL));
    ASSERT_TRUE(pellory_.Wait(30000).has_value());
    EXPECT_EQ(Settings().last_update, 1000);
    EXPECT_TRUE(UtilityStarts().empty());
}

// The proxy window: its messages, the store written, loaded and deleted.
TEST_F(PelloryTest, ProxyWindow) {
    ServeNothingNew();
    ASSERT_TRUE(StartPellory(L""));
    const HWND main = WaitForWindow(kMainTitle);
    ASSERT_NE(main, nullptr);
    const auto open_proxy = [&] {
        EXPECT_TRUE(gui::PressButton(main, IDC_CONFIGURE_PROXY));
        return WaitForWindow(kProxyTitle, 10000);
    };
    const auto fill = [&](HWND proxy, const std::wstring& host, const std::wstring& port,
                          const std::wstring& account, const std::wstring& password) {
        gui::SetText(gui::FindChild(proxy, IDC_PROXY_HOST), host);
        gui::SetText(gui::FindChild(proxy, IDC_PROXY_PORT), port);
        gui::SetText(gui::FindChild(proxy, IDC_PROXY_ACCOUNT), account);
        gui::SetText(gui::FindChild(proxy, IDC_PROXY_PASSWORD), password);
    };
    // The updater's boxes have a caption of their own.
    const auto box_text = [&](int button) {
        std::optional<gui::DialogContents> box;
        gui::WaitUntil(
            [&] {
                for (const wchar_t* title : {L"Kelvan Gorsewatch", L"KelvanGorsewatch"}) {
                    if (gui::FindDialog({.title = std::wstring(title), .process_id = pellory_.id()},
                                        0) != nullptr) {
                        box = gui::AnswerDialog(
                            {.title = std::wstring(title), .process_id = pellory_.id()}, button,
                            5000);
                        return true;
                    }
                }
                return false;
            },
            10000);
        return box ? box->title + L": " + box->text : std::wstring(L"(no box)");
    };

    HWND proxy = open_proxy();
    ASSERT_NE(proxy, nullptr);
    gui::SaveScreenshot(proxy, "proxy-window");
    // A second Configure Proxy while it is open opens nothing more.
    gui::PostWindowMessage(main, WM_COMMAND, MAKEWPARAM(IDC_CONFIGURE_PROXY, BN_CLICKED),
                           reinterpret_cast<LPARAM>(gui::FindChild(main, IDC_CONFIGURE_PROXY)));
    Sleep(500);
    int proxies = 0;
    for (const auto& window : gui::ListTopLevelWindows())
        proxies += window.title == kProxyTitle && window.visible;
    EXPECT_EQ(proxies, 1);

    struct Refusal {
        std::wstring host, port, account, password, message;
    };
    const std::wstring bad_port =
        L"KelvanGorsewatch: A bad port number was specified for the proxy server.";
    const Refusal refusals[] = {
        {L"127.0.0.1", L"0", L"", L"", bad_port},
        {L"127.0.0.1", L"70000", L"", L"", bad_port},
        {L"127.0.0.1", L"80x", L"", L"", bad_port},
        {L"", L"8080", L"user", L"",
         L"KelvanGorsewatch: Network address of proxy server not specified."},
    };
    for (const Refusal& r : refusals) {
        fill(proxy, r.host, r.port, r.account, r.password);
        ASSERT_TRUE(gui::PressButton(proxy, IDOK));
        EXPECT_EQ(box_text(IDOK), r.message);
        EXPECT_TRUE(IsWindow(proxy));
    }
    EXPECT_FALSE(fs::exists(install_ / "proxyinfo.dat"));

    // One blank credential asks; No keeps the window, Yes saves.
    fill(proxy, L" 127.0.0.1 ", L"3128", L"user", L"");
    ASSERT_TRUE(gui::PressButton(proxy, IDOK));
    EXPECT_EQ(box_text(IDNO),
              L"KelvanGorsewatch: WARNING! Either the username or the password for authenticating "
              L"with the network proxy is blank. Are you sure that one of these fields should be "
              L"blank?");
    EXPECT_TRUE(IsWindow(proxy));
    fill(proxy, L" 127.0.0.1 ", L"3128", L"user", L"secret");
    ASSERT_TRUE(gui::PressButton(proxy, IDOK));
    ASSERT_TRUE(gui::WaitForWindowGone(proxy, 10000));
    ASSERT_TRUE(fs::exists(install_ / "proxyinfo.dat"));
    const auto bytes = ReadFileText(install_ / "proxyinfo.dat");
    const auto record = DecodeProxyRecord(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, (ProxyRecord{"127.0.0.1", 3128, "user", "secret"}));

    // Loaded again: the fields show it. Cancel right away asks nothing.
    proxy = open_proxy();
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(ItemText(proxy, IDC_PROXY_HOST), L"127.0.0.1");
    EXPECT_EQ(ItemText(proxy, IDC_PROXY_PORT), L"3128");
    EXPECT_EQ(ItemText(proxy, IDC_PROXY_ACCOUNT), L"user");
    gui::SaveScreenshot(proxy, "proxy-window-loaded");
    ASSERT_TRUE(gui::PressButton(proxy, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(proxy, 10000));

    // After a change Cancel asks; No keeps it open, Yes drops the change.
    proxy = open_proxy();
    ASSERT_NE(proxy, nullptr);
    gui::SetText(gui::FindChild(proxy, IDC_PROXY_PORT), L"3129");
    ASSERT_TRUE(gui::PressButton(proxy, IDCANCEL));
    EXPECT_EQ(box_text(IDNO),
              L"KelvanGorsewatch: You have made changes to your network proxy settings. Are you "
              L"sure you want to exit without saving your changes?");
    EXPECT_TRUE(IsWindow(proxy));
    ASSERT_TRUE(gui::PressButton(proxy, IDCANCEL));
    box_text(IDYES);
    ASSERT_TRUE(gui::WaitForWindowGone(proxy, 10000));
    EXPECT_EQ(DecodeProxyRecord(std::span(reinterpret_cast<const std::uint8_t*>(
                                              ReadFileText(install_ / "proxyinfo.dat").data()),
                                          kProxyRecordBytes))
                  ->port,
              3128);

    // All fields empty: the store goes.
    proxy = open_proxy();
    ASSERT_NE(proxy, nullptr);
    fill(proxy, L"", L"", L"", L"");
    ASSERT_TRUE(gui::PressButton(proxy, IDOK));
    ASSERT_TRUE(gui::WaitForWindowGone(proxy, 10000));
    EXPECT_FALSE(fs::exists(install_ / "proxyinfo.dat"));
    ASSERT_TRUE(gui::PressButton(main, IDCANCEL));
    EXPECT_TRUE(pellory_.Wait(10000).has_value());
}

// A download through a proxy that demands Basic authentication: the account
// saved in the proxy window reaches it.
TEST_F(PelloryTest, DownloadsThroughAnAuthenticatingProxy) {
    ServeUpdates();
    // Every request goes to the test server as the system's proxy; the
    // addresses name a host that exists nowhere, so only the proxy can answer.
    HKEY settings = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                              "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &settings, nullptr),
              ERROR_SUCCESS);
    const DWORD enable = 1;
    const std::string server = "127.0.0.1:" + std::to_string(server_.port());
    RegSetValueExA(settings, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                   sizeof(enable));
    RegSetValueExA(settings, "ProxyServer", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(server.c_str()),
                   static_cast<DWORD>(server.size() + 1));
    const std::string core_base = "http://updates.gorsewatch.invalid/u/core";
    std::string error;
    auto core = tools::BuildUpdateSet(Blocks(2), {core_base, {}}, error);
    ASSERT_TRUE(core) << error;
    for (const auto& file : tools::UpdateSetFiles(*core))
        server_.Serve("u/core/" + file.path, file.bytes);
    std::string rules;
    for (const auto& file : tools::UpdateSetFiles(*core))
        rules += "/u/core/" + file.path + " proxyauth=proxyuser:s3cret\n";
    server_.SetRules(rules);
    WriteText(install_ / "updateurls.ini", "coreurl=" + core_base + "/qzmaster.dat\r\nprogurl=" +
                                               core_base + "/qzmaster.dat\r\n");

    // The account goes in through the proxy window.
    ASSERT_TRUE(StartPellory(L""));
    const HWND main = WaitForWindow(kMainTitle);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(gui::PressButton(main, IDC_CONFIGURE_PROXY));
    const HWND proxy = WaitForWindow(kProxyTitle, 10000);
    ASSERT_NE(proxy, nullptr);
    // The system's proxy wins: address and port are not ours to change.
    EXPECT_FALSE(IsWindowEnabled(gui::FindChild(proxy, IDC_PROXY_HOST)));
    EXPECT_EQ(ItemText(proxy, IDC_PROXY_HOST), L"127.0.0.1");
    gui::SetText(gui::FindChild(proxy, IDC_PROXY_ACCOUNT), L"proxyuser");
    gui::SetText(gui::FindChild(proxy, IDC_PROXY_PASSWORD), L"s3cret");
    gui::SaveScreenshot(proxy, "proxy-from-system");
    ASSERT_TRUE(gui::PressButton(proxy, IDOK));
    ASSERT_TRUE(gui::WaitForWindowGone(proxy, 10000));
    ASSERT_TRUE(gui::PressButton(main, IDCANCEL));
    ASSERT_TRUE(pellory_.Wait(10000).has_value());

    ASSERT_TRUE(RunPellory(L"/noninteractive"));
    RegDeleteValueA(settings, "ProxyEnable");
    RegDeleteValueA(settings, "ProxyServer");
    RegCloseKey(settings);

    gui::WaitUntil([&] { return !UtilityStarts().empty(); }, 10000, 50);
    EXPECT_EQ(UtilityStarts().size(), 1u);
    EXPECT_FALSE(Downloads("_core_").empty());
    bool authorised = false;
    for (const auto& request : server_.Requests()) {
        const auto header = request.Header("Proxy-Authorization");
        authorised = authorised || (header && *header == "Basic cHJveHl1c2VyOnMzY3JldA==");
    }
    EXPECT_TRUE(authorised);
}

// No system proxy: the proxy typed into the proxy window carries the
// downloads, with its account, and the update applies. Without one stored
// the downloads go straight to the server, and the system's settings are
// never touched.
TEST_F(PelloryTest, DownloadsThroughTheProxyTypedInTheProxyWindow) {
    InstallRealUpdateUtility();
    const auto system_proxy = [] {
        HKEY settings = nullptr;
        std::string state = "none";
        if (RegOpenKeyExA(HKEY_CURRENT_USER,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                          KEY_READ, &settings) != ERROR_SUCCESS)
            return state;
        DWORD enabled = 0;
        DWORD size = sizeof(enabled);
        if (RegQueryValueExA(settings, "ProxyEnable", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&enabled), &size) == ERROR_SUCCESS &&
            enabled != 0)
            state = "enabled";
        if (RegQueryValueExA(settings, "ProxyServer", nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS)
            state += " with a server";
        RegCloseKey(settings);
        return state;
    };
    const std::string system_before = system_proxy();
    ASSERT_EQ(system_before.find("enabled"), std::string::npos) << system_before;
    ASSERT_EQ(system_before.find("server"), std::string::npos) << system_before;

    // Nothing stored: straight to the server, in origin form.
    ServeNothingNew();
    ASSERT_TRUE(RunPellory(L"/noninteractive"));
    auto requests = server_.Requests();
    ASSERT_FALSE(requests.empty());
    for (const auto& request : requests) {
        EXPECT_EQ(request.target.rfind("/u/", 0), 0u) << request.target;
        EXPECT_FALSE(request.Header("Proxy-Authorization").has_value());
    }

    // The addresses name a host that exists nowhere: only a proxy can answer.
    constexpr char kNowhere[] = "updates.gorsewatch.invalid";
    const std::string base = std::string("http://") + kNowhere + "/u";
    std::string error;
    auto core = tools::BuildUpdateSet(Blocks(2), {base + "/core", {}}, error);
    ASSERT_TRUE(core) << error;
    std::string rules;
    for (const auto& file : tools::UpdateSetFiles(*core)) {
        server_.Serve("u/core/" + file.path, file.bytes);
        rules += "/u/core/" + file.path + " proxyauth=typeduser:pa55\n";
    }
    server_.SetRules(rules);
    WriteText(install_ / "updateurls.ini", "coreurl=" + base + "/core/qzmaster.dat\r\nprogurl=" +
                                               base + "/prog/qzmaster.dat\r\n");

    // The proxy typed in: address, port and account.
    ASSERT_TRUE(StartPellory(L""));
    const HWND main = WaitForWindow(kMainTitle);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(gui::PressButton(main, IDC_CONFIGURE_PROXY));
    const HWND proxy = WaitForWindow(kProxyTitle, 10000);
    ASSERT_NE(proxy, nullptr);
    EXPECT_TRUE(IsWindowEnabled(gui::FindChild(proxy, IDC_PROXY_HOST)));
    gui::SetText(gui::FindChild(proxy, IDC_PROXY_HOST), L"127.0.0.1");
    gui::SetText(gui::FindChild(proxy, IDC_PROXY_PORT), std::to_wstring(server_.port()));
    gui::SetText(gui::FindChild(proxy, IDC_PROXY_ACCOUNT), L"typeduser");
    gui::SetText(gui::FindChild(proxy, IDC_PROXY_PASSWORD), L"pa55");
    gui::SaveScreenshot(proxy, "proxy-typed");
    ASSERT_TRUE(gui::PressButton(proxy, IDOK));
    ASSERT_TRUE(gui::WaitForWindowGone(proxy, 10000));
    ASSERT_TRUE(gui::PressButton(main, IDCANCEL));
    ASSERT_TRUE(pellory_.Wait(10000).has_value());
    ASSERT_TRUE(fs::exists(install_ / "proxyinfo.dat"));

    const std::size_t before = server_.Requests().size();
    ASSERT_TRUE(RunPellory(L"/noninteractive"));
    requests = server_.Requests();
    ASSERT_GT(requests.size(), before);
    bool authorised = false;
    for (std::size_t i = before; i < requests.size(); ++i) {
        // Proxy form: the whole address (WinINet names the port).
        EXPECT_EQ(requests[i].target.rfind(std::string("http://") + kNowhere, 0), 0u)
            << requests[i].target;
        const auto header = requests[i].Header("Proxy-Authorization");
        authorised = authorised || (header && *header == "Basic dHlwZWR1c2VyOnBhNTU=");
    }
    EXPECT_TRUE(authorised);

    // The update utility applies what came through the proxy.
    ASSERT_TRUE(gui::WaitUntil([&] { return TempFoldersGone(); }, 120000, 100));
    ASSERT_TRUE(WaitForUtilityEnd());
    const DefinitionReport report = ReportDefinitions();
    EXPECT_EQ(report.pest_4102, "Pellory.Second") << report.output;
    EXPECT_EQ(system_proxy(), system_before);
}

}  // namespace
}  // namespace olvex
