// Wakenor.exe's background scan under Wine on a virtual desktop, with the
// real engine, definitions published for the test and a copy of the test
// pest running: the alert for a pest in memory and what its answers do, the
// cookie removed without a word, the prevalence reports, a user without
// rights, the worker's life around foreground scans, its failures, and the
// daily work of the test build on a fast clock. The worker's steps are read
// from its debug output (test_programs/with_trace.sh).
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

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
#include "client/protect/protection_test_support.h"
#include "client/protect/wakenor_resources.h"
#include "client/protect/wakenor_test_fixture.h"
#include "olvex/core/crc32.h"
#include "olvex/core/exclusion_file.h"
#include "olvex/olvex.h"
#include "testing/http_test_server.h"
#include "testing/image_first_page.h"
#include "testing/published_definitions.h"
#include "testing/test_programs.h"

namespace olvex::protect::testing {
namespace {

using olvex::testing::HttpTestServer;
using olvex::testing::PestProcesses;
using olvex::testing::PublishDefinitions;
using olvex::testing::RestampImage;
using olvex::testing::TestProgramPath;

constexpr wchar_t kTraceDebug[] = L"-all,warn+debugstr";
constexpr DWORD kPassMs = 60000;  // a pass, with the engine's start, on a loaded machine
constexpr std::int32_t kGammaId = 3003;
constexpr char kGammaName[] = "ProtectTest.Trojan.Gamma";
constexpr std::int32_t kCookieId = 3004;
constexpr char kCookieName[] = "ProtectTest.Cookie.Delta";
constexpr char kCookieSite[] = "protecttest-tracker.example";
constexpr char kOrphanSite[] = "protecttest-orphan.example";

// One step the worker wrote: "Wakenor: <step> <tick count>".
struct TraceStep {
    std::string step;
    DWORD tick = 0;
};

std::vector<TraceStep> ReadTrace() {
    std::vector<TraceStep> steps;
    const std::wstring path = Environment(L"OLVEX_TRACE_LOG");
    for (const std::string& line : ReadLines(path)) {
        const std::size_t at = line.find("Wakenor: ");
        if (at == std::string::npos)
            continue;
        std::string rest = line.substr(at + 9);
        // Wine quotes the text: it ends at the escaped line break.
        rest = rest.substr(0, std::min(rest.find('\\'), rest.find('"')));
        const std::size_t blank = rest.rfind(' ');
        if (blank == std::string::npos)
            continue;
        steps.push_back({rest.substr(0, blank),
                         static_cast<DWORD>(std::strtoul(rest.c_str() + blank + 1, nullptr, 10))});
    }
    return steps;
}

// The PVT number the log gives a file: the CRC-32 of its first 2047 bytes.
std::int32_t HeadCrc(const fs::path& path) {
    auto bytes = olvex::testing::ReadFileBytes(path);
    bytes.resize(std::min<std::size_t>(bytes.size(), 2047));
    return static_cast<std::int32_t>(
        Crc32(std::span<const std::uint8_t>(bytes.data(), bytes.size())));
}

struct LogLine {
    std::string action;
    std::int32_t pest_id = 0;
    std::string pest_name;
    std::string category;
    std::int32_t pvt = 0;
    bool operator==(const LogLine&) const = default;
};

std::ostream& operator<<(std::ostream& out, const LogLine& line) {
    return out << line.action << " " << line.pest_id << " " << line.pest_name << " "
               << line.category << " " << line.pvt;
}

class BackgroundScanTest : public WakenorTest {
  protected:
    void SetUp() override {
        WakenorTest::SetUp();
        fs::remove(ProductFolder() / "QZv5Log.txt");
        history_ = std::make_unique<FilesRestored>(
            std::vector<fs::path>{ProductFolder() / "qzscanhistory.txt"});
        fs::remove(ProductFolder() / "qzscanhistory.txt");
        // No pest here needs the scripted remover: its index is empty.
        std::ofstream(install_ / "core" / "qzsrindex.dat", std::ios::binary);
        fs::copy_file(Narrow(WindowsPath(OLVEX_QZCLEAN_PATH)), install_ / "core" / "qzclean.exe");
        cookies_ = CommonFolder(CSIDL_COOKIES);
        trace_skip_ = ReadTrace().size();
    }

    void TearDown() override {
        EndProgram();
        std::error_code ignored;
        for (const char* site : {kCookieSite, kOrphanSite})
            fs::remove(cookies_ / ("bob@" + std::string(site) + "[1].txt"), ignored);
        for (int i = 0; planted_many_ && i < 3000; ++i)
            fs::remove(cookies_ / ("bob@clean" + std::to_string(i) + ".example[1].txt"), ignored);
        history_.reset();
        WakenorTest::TearDown();
    }

    // Definitions of the test's pests (with the running copy's memory
    // signature when there is one) in the install folder's "core".
    void Publish(std::optional<std::uint32_t> memory_crc) {
        std::string source =
            "block 2004-03-15 09:40:00\n"
            "pest 3003 \"" +
            std::string(kGammaName) +
            "\" \"Trojan\"\n"
            "pest 3004 \"" +
            std::string(kCookieName) +
            "\" \"Tracking Cookie\"\n"
            "cookie 3004 \"" +
            std::string(kCookieSite) +
            "\"\n"
            "cookie 3999 \"" +
            std::string(kOrphanSite) + "\"\n";
        if (memory_crc) {
            char crc[16];
            std::snprintf(crc, sizeof(crc), "0x%08X", *memory_crc);
            source += "memory 3003 " + std::string(crc) + "\n";
        }
        ASSERT_NO_FATAL_FAILURE(PublishDefinitions(install_ / "core", source, install_.string()));
    }

    // A restamped copy of the test pest, running, with the definitions that
    // find it in memory.
    void PlantPest(PestProcesses& processes) {
        pest_file_ = scratch_.path() / "gamma.exe";
        fs::copy_file(TestProgramPath("test_pest.exe"), pest_file_);
        ASSERT_TRUE(RestampImage(pest_file_, GetTickCount() ^ (GetCurrentProcessId() << 8)));
        const auto crc = olvex::testing::MemorySignatureOfFile(pest_file_);
        ASSERT_TRUE(crc);
        pest_pvt_ = HeadCrc(pest_file_);
        Publish(crc);
        pest_ = processes.Start(pest_file_.string());
        ASSERT_NE(pest_, nullptr);
    }

    void PlantCookies() {
        for (const char* site : {kCookieSite, kOrphanSite})
            WriteText(cookies_ / ("bob@" + std::string(site) + "[1].txt"), "id\n1234\n");
    }

    void Protect(const std::string& options) {
        WriteText(ProductFolder() / "qzad.ini", options + "heur=off\r\nonboot=off\r\n");
    }

    bool StartTraced(bool test_build = false,
                     std::vector<std::pair<std::wstring, std::wstring>> environment = {}) {
        environment.emplace_back(L"WINEDEBUG", kTraceDebug);
        return Start({test_build, {}, std::move(environment)});
    }

    std::vector<TraceStep> Trace() const {
        auto steps = ReadTrace();
        steps.erase(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(
                                                       std::min(trace_skip_, steps.size())));
        return steps;
    }
    std::size_t Count(const std::string& step) const {
        const auto steps = Trace();
        return static_cast<std::size_t>(std::count_if(
            steps.begin(), steps.end(), [&](const TraceStep& s) { return s.step == step; }));
    }
    bool WaitForTrace(const std::string& step, std::size_t count = 1, DWORD timeout_ms = kPassMs) {
        return WaitUntil([&] { return Count(step) >= count; }, timeout_ms, 100);
    }
    // The steps in order, without their ticks.
    std::vector<std::string> Steps() const {
        std::vector<std::string> names;
        for (const auto& step : Trace())
            names.push_back(step.step);
        return names;
    }

    std::vector<LogLine> LogLines() const {
        int legacy = 0;
        std::vector<LogLine> lines;
        for (const auto& entry :
             ReadActivityLog((ProductFolder() / "QZv5Log.txt").string(), legacy).contents.entries)
            lines.push_back(
                {entry.action, entry.pest_id, entry.pest_name, entry.category, entry.pvt});
        return lines;
    }

    // The alert with rights (its Quarantine button) or without.
    HWND WaitForAlert(DWORD timeout_ms = kPassMs) const {
        return FindDialogWithControl(process_id_, IDC_PEST_NAME, timeout_ms);
    }
    HWND WaitForAdvice(DWORD timeout_ms = kPassMs) const {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                for (const auto& window : ListTopLevelWindows()) {
                    if (window.process_id == process_id_ && window.visible &&
                        FindChildByText(window.handle, L"Button", L"Scan Now") != nullptr) {
                        found = window.handle;
                        return true;
                    }
                }
                return false;
            },
            timeout_ms, 100);
        return found;
    }

    // The alert flush with the screen's bottom-right corner, with the name
    // and the place; its picture saved.
    void ExpectAlertShows(HWND alert, const std::string& shot) const {
        const RECT rect = WindowRectOf(alert);
        EXPECT_EQ(rect.right, GetSystemMetrics(SM_CXSCREEN));
        EXPECT_EQ(rect.bottom, GetSystemMetrics(SM_CYSCREEN));
        EXPECT_EQ(GetText(FindChild(alert, IDC_PEST_NAME)), L"ProtectTest.Trojan.Gamma");
        EXPECT_NE(Narrow(GetText(FindChild(alert, IDC_PEST_LOCATION))).find(pest_file_.string()),
                  std::string::npos)
            << Narrow(GetText(FindChild(alert, IDC_PEST_LOCATION)));
        EXPECT_FALSE(Shot(alert, shot).empty());
    }

    bool PestRuns() const { return WaitForSingleObject(pest_, 0) == WAIT_TIMEOUT; }

    fs::path cookies_;
    fs::path pest_file_;
    HANDLE pest_ = nullptr;
    std::int32_t pest_pvt_ = 0;
    std::size_t trace_skip_ = 0;
    bool planted_many_ = false;
    std::unique_ptr<FilesRestored> history_;
};

// The pest ids in the newest quarantine session of the install folder.
std::vector<long> NewestSessionPests(const std::string& install_folder) {
    std::vector<long> ids;
    if (FAILED(CoInitialize(nullptr)))
        return ids;
    IQuarantine* quarantine = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_Quarantine, nullptr, CLSCTX_INPROC_SERVER, IID_IQuarantine,
                                   reinterpret_cast<void**>(&quarantine)))) {
        const std::wstring folder(install_folder.begin(), install_folder.end());
        BSTR path = SysAllocString(folder.c_str());
        VARIANT_BOOL ok = VARIANT_FALSE;
        quarantine->Initialize(path, &ok);
        SysFreeString(path);
        IQuarantineSession* newest = nullptr;
        IQuarantineSession* session = nullptr;
        quarantine->GetFirstQuarantineSession(&session);
        while (session != nullptr) {
            if (newest != nullptr)
                newest->Release();
            newest = session;
            session = nullptr;
            quarantine->GetNextQuarantineSession(&session);
        }
        if (newest != nullptr) {
            IQuarantinedItem* item = nullptr;
            newest->GetFirstQuarantinedItem(&item);
            while (item != nullptr) {
                long id = 0;
                item->get_nPestId(&id);
                ids.push_back(id);
                item->Release();
                item = nullptr;
                newest->GetNextQuarantinedItem(&item);
            }
            newest->Release();
        }
        quarantine->Release();
    }
    CoUninitialize();
    return ids;
}

TEST_F(BackgroundScanTest, QuarantineFromThePestAlertEndsThePestAndAScanIsAdvised) {
    PestProcesses processes;
    PlantPest(processes);
    Protect("mem=on\r\ncookies=off\r\n");
    const fs::path main_log = scratch_.path() / "main-window.log";
    RunningProgram main_window;
    ASSERT_TRUE(StartWhenReady(main_window, Quote(GuiProgramPath(L"stand_in.exe")) +
                                                L" --title \"Kelvan Gorsewatch by Brackwith\""
                                                L" --log " +
                                                Quote(main_log.wstring())));
    ASSERT_TRUE(StartTraced());
    const HWND alert = WaitForAlert(kFirstStartMs);
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(IsWindowVisible(FindChild(alert, IDOK)));
    EXPECT_EQ(GetText(FindChild(alert, IDOK)), L"Quarantine");
    EXPECT_EQ(GetText(FindChild(alert, IDCANCEL)), L"Exclude");
    ExpectAlertShows(alert, "pest-alert");
    EXPECT_TRUE(PestRuns()) << "nothing is done before the answer";
    const std::vector<LogLine> detected = {{"Detected", kGammaId, kGammaName, "Trojan", pest_pvt_}};
    EXPECT_EQ(LogLines(), detected);

    ASSERT_TRUE(PressButton(alert, IDOK));
    EXPECT_TRUE(olvex::testing::HasEnded(pest_));
    ASSERT_TRUE(WaitUntil([&] { return LogLines().size() >= 2; }, kWaitMs));
    const std::vector<LogLine> quarantined = {
        {"Detected", kGammaId, kGammaName, "Trojan", pest_pvt_},
        {"Quarantined", kGammaId, kGammaName, "Trojan", pest_pvt_}};
    EXPECT_EQ(LogLines(), quarantined);
    const auto kept = NewestSessionPests(InstallFolder());
    EXPECT_NE(std::find(kept.begin(), kept.end(), kGammaId), kept.end());

    // The scan advice follows; Scan Now asks the main program for a
    // standard scan.
    const HWND advice = WaitForAdvice();
    ASSERT_NE(advice, nullptr);
    EXPECT_EQ(WindowRectOf(advice).right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(WindowRectOf(advice).bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_FALSE(Shot(advice, "scan-advice").empty());
    ASSERT_TRUE(PressButton(advice, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !LoggedMessages(main_log, 1027).empty(); }, kWaitMs));
    const auto scan = LoggedMessages(main_log, 1027);
    ASSERT_EQ(scan.size(), 1u);
    EXPECT_EQ(scan[0].wparam, -1);
    EXPECT_EQ(scan[0].lparam, 515);
}

TEST_F(BackgroundScanTest, ExcludeAndEscapeExcludeThePestAndLaterPassesLeaveItAlone) {
    PestProcesses processes;
    PlantPest(processes);
    Protect("mem=on\r\ncookies=off\r\n");
    ASSERT_TRUE(StartTraced());
    HWND alert = WaitForAlert(kFirstStartMs);
    ASSERT_NE(alert, nullptr);
    // Escape on the alert for a user with rights excludes.
    PostWindowMessage(FindChild(alert, IDOK), WM_KEYDOWN, VK_ESCAPE, 1);
    ASSERT_TRUE(WaitForWindowGone(alert, kWaitMs));
    ASSERT_TRUE(WaitUntil([&] { return LogLines().size() >= 2; }, kWaitMs));
    const std::vector<LogLine> excluded = {{"Detected", kGammaId, kGammaName, "Trojan", pest_pvt_},
                                           {"Excluded", kGammaId, kGammaName, "Trojan", pest_pvt_}};
    EXPECT_EQ(LogLines(), excluded);
    EXPECT_TRUE(PestRuns());
    const auto stored = olvex::testing::ReadFileBytes(install_ / "core" / "qzexc_en.dat");
    const auto exclusions =
        DecodeExclusionFile(std::span<const std::uint8_t>(stored.data(), stored.size()));
    // The store keeps them in lower case.
    EXPECT_TRUE(std::any_of(exclusions.begin(), exclusions.end(),
                            [](const std::string& text) {
                                return text.find("pestid") != std::string::npos &&
                                       text.find("\"3003\"") != std::string::npos;
                            }))
        << exclusions.size() << " exclusions, " << stored.size() << " bytes";
    const HWND advice = WaitForAdvice();
    ASSERT_NE(advice, nullptr);
    ASSERT_TRUE(PressButton(advice, IDCANCEL));
    // Two more passes: no alert, nothing more in the log.
    const std::size_t passes = Count("pass start");
    ASSERT_TRUE(WaitForTrace("pass start", passes + 2));
    EXPECT_EQ(FindDialogWithControl(process_id_, IDC_PEST_NAME, 0), nullptr);
    EXPECT_EQ(LogLines(), excluded);
}

TEST_F(BackgroundScanTest, CookiesAreDeletedWithoutAWordAndUnknownIdsLoggedAsUnknown) {
    Publish(std::nullopt);
    PlantCookies();
    Protect("mem=off\r\ncookies=on\r\n");
    ASSERT_TRUE(StartTraced());
    ASSERT_TRUE(WaitForTrace("cookie scan", 1, kFirstStartMs));
    const auto gone = [&](const char* site) {
        return !fs::exists(cookies_ / ("bob@" + std::string(site) + "[1].txt"));
    };
    ASSERT_TRUE(WaitUntil([&] { return gone(kCookieSite) && gone(kOrphanSite); }, kPassMs));
    ASSERT_TRUE(WaitUntil([&] { return LogLines().size() >= 4; }, kWaitMs));
    auto lines = LogLines();
    for (auto& line : lines)
        line.pvt = 0;  // the cookies' own check values
    std::sort(lines.begin(), lines.end(), [](const LogLine& a, const LogLine& b) {
        return std::tie(a.pest_id, a.action) < std::tie(b.pest_id, b.action);
    });
    const std::vector<LogLine> expected = {
        {"Deleted", kCookieId, kCookieName, "Tracking Cookie", 0},
        {"Detected", kCookieId, kCookieName, "Tracking Cookie", 0},
        {"Deleted", 3999, "Unknown", "Unknown", 0},
        {"Detected", 3999, "Unknown", "Unknown", 0}};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(FindTopLevelWindow({.process_id = process_id_, .visible_only = true}), nullptr)
        << "no window";
    EXPECT_EQ(Count("memory scan"), 0u) << "memory is off";
}

TEST_F(BackgroundScanTest, PrevalenceReportsGoOutForEveryFindWhenAgreedToWithOrWithoutRights) {
    HttpTestServer server;
    ASSERT_TRUE(server.Available()) << HttpTestServer::kHowToRun;
    WriteUrlTable(install_ / "URLs.ini",
                  "PREV_POST_URL=" + server.Url("/prevalence/post.asp") + "\r\n");
    PestProcesses processes;
    PlantPest(processes);
    Protect("mem=on\r\ncookies=off\r\n");
    const auto posts = [&] {
        std::vector<olvex::testing::RecordedRequest> found;
        for (const auto& request : server.Requests())
            if (request.method == "POST" && request.target == "/prevalence/post.asp")
                found.push_back(request);
        return found;
    };
    for (const bool restricted : {false, true}) {
        SCOPED_TRACE(restricted ? "restricted" : "with rights");
        const std::size_t before = posts().size();
        WriteText(ProductFolder() / "qzv5exe.ini", "prevresearch=1\r\nguid=0123456789abcdef\r\n");
        if (restricted)
            fs::create_directories(install_ / "tempa.tmp");
        ASSERT_TRUE(StartTraced());
        if (restricted)
            ASSERT_TRUE(AnswerDialog({.title = kMessageCaption, .process_id = process_id_}, IDOK,
                                     kFirstStartMs));
        const HWND alert = WaitForAlert(kFirstStartMs);
        ASSERT_NE(alert, nullptr);
        ASSERT_TRUE(PressButton(alert, IDCANCEL));  // Exclude, or the only button
        ASSERT_TRUE(WaitUntil([&] { return posts().size() == before + 1; }, kWaitMs));
        const auto form = olvex::testing::ParseForm(posts().back().body);
        const auto field = [&](const std::string& value) {
            return std::any_of(form.begin(), form.end(),
                               [&](const auto& pair) { return pair.second == value; });
        };
        EXPECT_TRUE(field("3003")) << posts().back().body;
        EXPECT_TRUE(field(kGammaName)) << posts().back().body;
        EXPECT_TRUE(field("0123456789abcdef")) << posts().back().body;
        EXPECT_NE(posts().back().body.find("gamma.exe"), std::string::npos);
        if (!restricted) {
            if (const HWND advice = WaitForAdvice())
                PressButton(advice, IDCANCEL);
        }
        EndProgram();
        fs::remove(install_ / "tempa.tmp");
        // The exclusion of the first run is undone for the next.
        fs::remove(install_ / "core" / "qzexc_en.dat");
    }
    // Not agreed to: nothing is sent.
    const std::size_t before = posts().size();
    WriteText(ProductFolder() / "qzv5exe.ini", "prevresearch=0\r\n");
    ASSERT_TRUE(StartTraced());
    const HWND alert = WaitForAlert(kFirstStartMs);
    ASSERT_NE(alert, nullptr);
    ASSERT_TRUE(PressButton(alert, IDCANCEL));
    ASSERT_TRUE(WaitForAdvice() != nullptr);
    EXPECT_EQ(posts().size(), before);
}

TEST_F(BackgroundScanTest, UserWithoutRightsIsAlertedAndNothingIsRemovedOrLogged) {
    fs::create_directories(install_ / "tempa.tmp");
    PestProcesses processes;
    PlantPest(processes);
    PlantCookies();
    Protect("mem=on\r\ncookies=on\r\n");
    ASSERT_TRUE(StartTraced());
    ASSERT_TRUE(
        AnswerDialog({.title = kMessageCaption, .process_id = process_id_}, IDOK, kFirstStartMs));
    const HWND alert = WaitForAlert(kFirstStartMs);
    ASSERT_NE(alert, nullptr);
    EXPECT_FALSE(IsWindowVisible(FindChild(alert, IDOK)));
    EXPECT_EQ(GetText(FindChild(alert, IDCANCEL)), L"OK");
    ExpectAlertShows(alert, "pest-alert-other-users");
    ASSERT_TRUE(PressButton(alert, IDCANCEL));
    // Two more passes: the cookie scan stays off after the memory find, and
    // the alert comes again for the pest that is still there.
    const std::size_t passes = Count("pass start");
    for (std::size_t more = 1; more <= 2; ++more) {
        const HWND again = WaitForAlert();
        ASSERT_NE(again, nullptr);
        ASSERT_TRUE(PressButton(again, IDCANCEL));
        ASSERT_TRUE(WaitForTrace("pass start", passes + more));
    }
    EXPECT_TRUE(PestRuns());
    EXPECT_TRUE(fs::exists(cookies_ / ("bob@" + std::string(kCookieSite) + "[1].txt")));
    EXPECT_FALSE(fs::exists(ProductFolder() / "QZv5Log.txt") && !LogLines().empty());
    EXPECT_EQ(Count("cookie scan"), 0u) << "a find in memory keeps the cookie scan off";
    EXPECT_EQ(Count("scan advice"), 0u);
}

TEST_F(BackgroundScanTest, WorkerGivesWayToForegroundScans) {
    Publish(std::nullopt);
    Protect("mem=on\r\ncookies=on\r\n");
    {
        // A scan window open: no worker starts.
        RunningProgram holder;
        ASSERT_TRUE(StartWhenReady(
            holder, Quote(GuiProgramPath(L"mutex_holder.exe")) + L" Gorsewatch5ScannerWindow"));
        ASSERT_TRUE(StartTraced());
        ASSERT_NE(WaitForWindow(), nullptr);
        Sleep(5000);
        EXPECT_EQ(Count("worker start"), 0u);
    }
    ASSERT_TRUE(WaitForTrace("pass start", 1, kPassMs));

    // Unticking memory between passes (not applied) leaves only the cookies
    // from the next pass on.
    // The steps from the pass after the next one on.
    const auto steps_after = [&](std::size_t passes) {
        const auto steps = Steps();
        std::size_t seen = 0;
        auto from = steps.end();
        for (auto step = steps.begin(); step != steps.end(); ++step) {
            if (*step == "pass start" && ++seen == passes + 1) {
                from = step;
                break;
            }
        }
        return std::vector<std::string>(from, steps.end());
    };
    ShowSettings();
    Toggle(IDC_MEMORY);
    std::size_t passes = Count("pass start");
    ASSERT_TRUE(WaitForTrace("pass start", passes + 2));
    auto later = steps_after(passes);
    EXPECT_EQ(std::count(later.begin(), later.end(), "memory scan"), 0);
    EXPECT_GT(std::count(later.begin(), later.end(), "cookie scan"), 0);

    // Cancel puts the box and the worker back to what was applied: memory
    // again from the next pass on.
    ASSERT_TRUE(ClickButton(Item(IDC_HIDE)));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(window_) == FALSE; }, kWaitMs));
    EXPECT_EQ(Check(IDC_MEMORY), BST_CHECKED);
    passes = Count("pass start");
    ASSERT_TRUE(WaitForTrace("pass start", passes + 2));
    later = steps_after(passes);
    EXPECT_GT(std::count(later.begin(), later.end(), "memory scan"), 0);
    EXPECT_GT(std::count(later.begin(), later.end(), "cookie scan"), 0);
    // Unticked again (not applied) for what follows.
    ShowSettings();
    Toggle(IDC_MEMORY);

    // A scan or clean starting during a pass ends it within 250 ms; the
    // worker then waits in 5 s steps. Many cookies make the pass long.
    for (int i = 0; i < 3000; ++i)
        WriteText(cookies_ / ("bob@clean" + std::to_string(i) + ".example[1].txt"), "x\n");
    planted_many_ = true;
    ASSERT_TRUE(WaitForTrace("cookie scan", Count("cookie scan") + 1));
    Sleep(300);
    RunningProgram scan;
    ASSERT_TRUE(StartWhenReady(
        scan, Quote(GuiProgramPath(L"mutex_holder.exe")) + L" GorsewatchV5PestActivity"));
    const DWORD made = GetTickCount();  // the mutex exists by now
    ASSERT_TRUE(WaitForTrace("aborted", 1, kWaitMs));
    const auto trace = Trace();
    const auto aborted = std::find_if(trace.rbegin(), trace.rend(),
                                      [](const TraceStep& step) { return step.step == "aborted"; });
    ASSERT_NE(aborted, trace.rend());
    // A look every 250 ms: at most that, and the item being scanned, after
    // the mutex came.
    EXPECT_LE(static_cast<long>(aborted->tick - made), 300L);
    // The stopped worker ends, and none starts while the scan runs.
    ASSERT_TRUE(WaitForTrace("worker end", 1, kWaitMs));
    Sleep(3000);
    const std::size_t workers = Count("worker start");
    scan.End();
    for (int i = 0; i < 3000; ++i)
        fs::remove(cookies_ / ("bob@clean" + std::to_string(i) + ".example[1].txt"));
    ASSERT_TRUE(WaitForTrace("worker start", workers + 1, kWaitMs));

    // A scan starting between two passes: the worker waits in 5 s steps and
    // scans again once it has ended.
    ASSERT_TRUE(WaitForTrace("pass end", Count("pass end") + 1));
    RunningProgram later_scan;
    ASSERT_TRUE(StartWhenReady(
        later_scan, Quote(GuiProgramPath(L"mutex_holder.exe")) + L" GorsewatchV5PestActivity"));
    ASSERT_TRUE(WaitForTrace("waiting for a foreground scan", 1, kWaitMs));
    const std::size_t passes_before = Count("pass start");
    Sleep(12000);
    EXPECT_EQ(Count("pass start"), passes_before) << "no pass while the scan runs";
    later_scan.End();
    EXPECT_TRUE(WaitForTrace("pass start", passes_before + 1, kWaitMs));
}

TEST_F(BackgroundScanTest, StoppingDuringAPassEndsTheProgramWithinThreeSeconds) {
    Publish(std::nullopt);
    Protect("mem=off\r\ncookies=on\r\n");
    for (int i = 0; i < 3000; ++i)
        WriteText(cookies_ / ("bob@clean" + std::to_string(i) + ".example[1].txt"), "x\n");
    planted_many_ = true;
    ASSERT_TRUE(StartTraced());
    ASSERT_NE(WaitForWindow(), nullptr);
    ASSERT_TRUE(WaitForTrace("cookie scan", 1, kFirstStartMs));
    Sleep(300);
    ASSERT_TRUE(PostWindowMessage(window_, WM_CLOSE, 0, 0));
    EXPECT_TRUE(Ended(kStopMs));
}

TEST_F(BackgroundScanTest, EngineFailuresAreToldOncePerWorkerAndANewWorkerFollows) {
    // No definitions: the database cannot be readied.
    for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"})
        fs::remove(install_ / "core" / name);
    ASSERT_TRUE(StartTraced());
    for (std::size_t worker = 1; worker <= 2; ++worker) {
        const HWND box = FindTopLevelWindow(
            {.title = kMessageCaption, .class_name = L"#32770", .process_id = process_id_},
            kFirstStartMs);
        ASSERT_NE(box, nullptr) << worker;
        const auto shown = ReadDialog(box);
        EXPECT_EQ(shown.text.rfind(L"Error! Database init failed (Error ", 0), 0u)
            << Narrow(shown.text);
        Sleep(3000);
        EXPECT_EQ(Count("worker start"), worker) << "no other worker while it is open";
        ASSERT_TRUE(PressButton(box, IDOK));
        ASSERT_TRUE(WaitForWindowGone(box, kWaitMs));
    }
    EndProgram();

    // No scripted remover: the exterminator is tried, more slowly, for ten
    // minutes (a few seconds on the test build's clock) and then given up.
    Publish(std::nullopt);
    fs::remove(install_ / "core" / "qzclean.exe");
    ASSERT_TRUE(StartTraced(true, {{L"OLVEX_WAKENOR_TIME_SCALE", L"100"}}));
    const auto told =
        AnswerDialog({.title = kMessageCaption, .process_id = process_id_}, IDOK, kFirstStartMs);
    ASSERT_TRUE(told);
    EXPECT_EQ(told->text.rfind(L"Error! Exterminator init failed (Error ", 0), 0u)
        << Narrow(told->text);
    EXPECT_EQ(Count("pass start"), 0u);
}

// A log line of the size the log keeps: for a log above 5 MiB.
std::string BigLog(std::size_t bytes) {
    ActivityLogEntry entry;
    entry.date_time = "1/2/2024-10:00:00 AM";
    entry.time = 133490000000000000ULL;
    entry.action = "Detected";
    entry.pest_name = "ProtectTest.Padding";
    entry.category = "Adware";
    entry.pest_id = 3005;
    entry.location = "File \"C:\\padding\\" + std::string(40, 'p') + ".exe\"";
    entry.pvt = 7;
    const std::string line = FormatActivityLogLine(entry);
    std::string text;
    text.reserve(bytes + line.size());
    while (text.size() < bytes)
        text += line;
    return text;
}

TEST_F(BackgroundScanTest, TestBuildStartsTheUpdaterAtTick401AndKeepsTheLogInSize) {
    // The updater stand-in records its command line.
    fs::copy_file(Narrow(GuiProgramPath(L"stand_in.exe")), install_ / "Pellory.exe");
    WriteText(install_ / "Pellory.stand-in", "title=Updater stand-in\nseconds=5\n");
    const fs::path started = install_ / "Pellory.log";
    const fs::path log = ProductFolder() / "QZv5Log.txt";
    for (const bool restricted : {true, false}) {
        SCOPED_TRACE(restricted ? "restricted" : "with rights");
        fs::remove(started);
        WriteText(log, BigLog(0x500000 + 4096));
        WriteText(ProductFolder() / "qzv5exe.ini", "truncate=1\r\n");
        if (restricted)
            fs::create_directories(install_ / "tempa.tmp");
        // The first tick near the day's end: the 401st tick comes within
        // seconds.
        ASSERT_TRUE(StartTraced(true, {{L"OLVEX_WAKENOR_FIRST_TICK", L"86397"}}));
        if (restricted) {
            ASSERT_TRUE(AnswerDialog({.title = kMessageCaption, .process_id = process_id_}, IDOK,
                                     kFirstStartMs));
            Sleep(15000);
            EXPECT_FALSE(fs::exists(started)) << "never for a user without rights";
            EXPECT_GT(fs::file_size(log), 0x500000u) << "the log is left alone";
        } else {
            ASSERT_TRUE(WaitUntil([&] { return Started(started); }, kFirstStartMs, 200));
            std::string line;
            for (const auto& entry : ReadLines(started.wstring()))
                if (entry.rfind("start ", 0) == 0)
                    line = entry;
            EXPECT_NE(line.find("Pellory.exe\" -autoupdate"), std::string::npos) << line;
            ASSERT_TRUE(WaitUntil([&] { return fs::file_size(log) <= 0x200000u; }, kWaitMs));
            EXPECT_GT(fs::file_size(log), 0u);
        }
        EndProgram();
        fs::remove(install_ / "tempa.tmp");
    }
}

TEST_F(BackgroundScanTest, TestBuildRemindsOfAScanAfterAWeekAndAgainADayLater) {
    // An eight-day-old scan, written as the programs write the history.
    SYSTEMTIME now{};
    GetLocalTime(&now);
    FILETIME file_time{};
    SystemTimeToFileTime(&now, &file_time);
    ULARGE_INTEGER value{};
    value.LowPart = file_time.dwLowDateTime;
    value.HighPart = file_time.dwHighDateTime;
    value.QuadPart -= 8ULL * 86400 * 10000000;
    file_time.dwLowDateTime = value.LowPart;
    file_time.dwHighDateTime = value.HighPart;
    SYSTEMTIME old{};
    FileTimeToSystemTime(&file_time, &old);
    char date[64] = {};
    char time[64] = {};
    GetDateFormatA(LOCALE_USER_DEFAULT, 0, &old, nullptr, date, sizeof(date));
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &old, nullptr, time, sizeof(time));
    WriteText(ProductFolder() / "qzscanhistory.txt",
              std::string(date) + "-" + time + "\r\n1 pests, 2 detections\r\n");
    // No worker meanwhile: a scan window is open.
    RunningProgram holder;
    ASSERT_TRUE(StartWhenReady(holder, Quote(GuiProgramPath(L"mutex_holder.exe")) +
                                           L" Gorsewatch5ScannerWindow --seconds 600"));
    // A day is 28.8 s on this clock.
    ASSERT_TRUE(StartTraced(true, {{L"OLVEX_WAKENOR_TIME_SCALE", L"3000"}}));
    HWND reminder = FindDialogWithControl(process_id_, IDC_SCAN_NOW, kFirstStartMs);
    ASSERT_NE(reminder, nullptr);
    EXPECT_FALSE(Shot(reminder, "scan-reminder").empty());
    Sleep(2000);
    EXPECT_EQ(FindDialogWithControl(process_id_, IDC_SCAN_NOW, 0), reminder) << "only one";
    ASSERT_TRUE(PressButton(reminder, IDC_SCAN_LATER));
    ASSERT_TRUE(WaitForWindowGone(reminder, kWaitMs));
    const DWORD later = GetTickCount();
    reminder = FindDialogWithControl(process_id_, IDC_SCAN_NOW, 90000);
    ASSERT_NE(reminder, nullptr) << "again a scaled day later";
    const DWORD gap = GetTickCount() - later;
    EXPECT_GE(gap, 20000u);
    EXPECT_LE(gap, 60000u);
    ASSERT_TRUE(PressButton(reminder, IDC_SCAN_LATER));
}

TEST_F(BackgroundScanTest, CleanLogLandsWholeInTheActivityLogWhileAnotherProgramAppends) {
    Publish(std::nullopt);
    Protect("mem=off\r\ncookies=off\r\n");
    std::string clean;
    for (int i = 0; i < 3000; ++i)
        clean += "3/9/2024,Removed,Clean " + std::to_string(i) + ",C:\\x.exe\r\n";
    WriteText(install_ / "qzcleanlog.csv", clean);
    const fs::path log = ProductFolder() / "QZv5Log.txt";
    // Another program appends its own lines all the while.
    std::atomic<bool> stop{false};
    int appended = 0;
    std::thread other([&] {
        while (!stop) {
            const std::string line = "other line " + std::to_string(appended) + "\r\n";
            if (AppendActivityLogLines(log.string(), line) == FileError::kNone)
                ++appended;
            Sleep(2);
        }
    });
    ASSERT_TRUE(StartTraced());
    const bool moved = WaitForTrace("clean-log moved", 1, kFirstStartMs);
    Sleep(500);
    stop = true;
    other.join();
    ASSERT_TRUE(moved);
    EXPECT_FALSE(fs::exists(install_ / "qzcleanlog.csv"));
    const std::string text = ReadText(log);
    EXPECT_NE(text.find(clean), std::string::npos) << "the clean log lands whole";
    for (int i = 0; i < appended; ++i)
        EXPECT_NE(text.find("other line " + std::to_string(i) + "\r\n"), std::string::npos) << i;
    EXPECT_EQ(
        text.size(), clean.size() + [&] {
            std::size_t size = 0;
            for (int i = 0; i < appended; ++i)
                size += ("other line " + std::to_string(i) + "\r\n").size();
            return size;
        }());

    // An empty one stays where it is.
    WriteText(install_ / "qzcleanlog.csv", "");
    const std::size_t passes = Count("pass end");
    ASSERT_TRUE(WaitForTrace("pass end", passes + 1));
    EXPECT_TRUE(fs::exists(install_ / "qzcleanlog.csv"));
    EXPECT_EQ(Count("clean-log moved"), 1u);
}

}  // namespace
}  // namespace olvex::protect::testing
