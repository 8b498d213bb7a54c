// The firewall member through the real setup program, on a Wine prefix and
// display of the test's own: the engine's installer and uninstaller are the
// setup stand-in (setup-members/fw), which records every start in
// C:\standin.log and asks the engine's questions as message boxes.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "setup/products/member_packaging.h"
#include "setup/core/system_utilities.h"
#include "setup/products/product_fw.h"
#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"
#include "testing/windows_test_support.h"

namespace olvex::setup {
namespace {

namespace fs = std::filesystem;
namespace gui = olvex::gui;
using olvex::testing::WindowsPath;

constexpr wchar_t kSource[] = L"C:\\fwsetup";
constexpr wchar_t kUpgradeSource[] = L"C:\\fwusetup";
constexpr wchar_t kSuiteFolder[] = L"C:\\Program Files\\Kelvan Suite Personal";
constexpr wchar_t kFirewallFolder[] =
    L"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Personal Firewall";
constexpr wchar_t kEngine[] = L"SOFTWARE\\Tessaly Labs";
constexpr wchar_t kEngineProduct[] = L"SOFTWARE\\Tessaly Labs\\Tessaly";
constexpr wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kRunOnce[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr wchar_t kStandinLog[] = L"C:\\standin.log";
constexpr wchar_t kConfigCopy[] = L"C:\\standin.fwconfig.txt";

std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::u16string U(const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
}

std::wstring ReadText(const std::wstring& key, const std::wstring& value) {
    const auto text = util::ReadRegistryString(HKEY_LOCAL_MACHINE, U(key), U(value), 4096);
    return text ? std::wstring(text->begin(), text->end()) : std::wstring();
}

std::optional<DWORD> ReadNumber(const std::wstring& key, const std::wstring& value) {
    util::RegistryData data;
    if (util::ReadRegistryValue(HKEY_LOCAL_MACHINE, U(key), U(value), data) != ERROR_SUCCESS ||
        data.type != REG_DWORD || data.bytes.size() < 4) {
        return std::nullopt;
    }
    return data.bytes[0] | (data.bytes[1] << 8) | (data.bytes[2] << 16) |
           (DWORD{data.bytes[3]} << 24);
}

void WriteText(const std::wstring& key, const std::wstring& value, const std::wstring& text) {
    util::WriteRegistryValue(HKEY_LOCAL_MACHINE, U(key), U(value), U(text), REG_SZ);
}

void WriteNumber(const std::wstring& key, const std::wstring& value, DWORD number) {
    util::WriteRegistryValue(HKEY_LOCAL_MACHINE, U(key), U(value), U(std::to_wstring(number)),
                             REG_DWORD);
}

void DeleteTree(const std::wstring& key) {
    util::DeleteRegistryKeyTree(HKEY_LOCAL_MACHINE, U(key));
}

void DeleteValue(const std::wstring& key, const std::wstring& value) {
    util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, U(key), U(value));
}

bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

std::wstring TempFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return folder;
}

// The setup source the test installs from: the setup program's folder with
// the suite's programs ("sc") and the given firewall folder as "fw".
void AssembleSource(const std::wstring& target, const char* member) {
    std::error_code error;
    fs::remove_all(fs::path(target), error);
    fs::create_directories(fs::path(target) / L"sc");
    const auto options = fs::copy_options::recursive | fs::copy_options::overwrite_existing;
    fs::copy(fs::path(WindowsPath(SETUP_ROOT)), fs::path(target), options);
    fs::copy(fs::path(WindowsPath(SETUP_QZ)) / L"sc", fs::path(target) / L"sc", options);
    fs::copy(fs::path(WindowsPath(member)), fs::path(target) / L"fw", options);
}

// Replaces every occurrence of a text in a stand-in's ini.
void EditIni(const std::wstring& ini, const std::string& from, const std::string& to) {
    std::string text = ReadFileBytes(ini);
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    WriteFileBytes(ini, text);
}

struct SetupRun {
    DWORD exit_code = 0;
};

std::wstring InstallCommand(const std::wstring& source) {
    return L"\"" + source + L"\\Tramlet.exe\" /Silent /NoReboot \"/Path=" + kSuiteFolder + L"\"";
}

DWORD RunSetup(const std::wstring& command) {
    gui::RunningProgram setup;
    EXPECT_TRUE(setup.Start(command));
    const auto code = setup.Wait(180000);
    EXPECT_TRUE(code.has_value()) << "setup still runs";
    return code.value_or(WAIT_TIMEOUT);
}

// Removes what an earlier test installed, so that each test starts on a
// machine without the engine.
void ForgetEngine() {
    for (const wchar_t* key :
         {L"SOFTWARE\\Tessaly Labs", L"SYSTEM\\CurrentControlSet\\Services\\cvdatant",
          L"SOFTWARE\\Vorandel\\Kelvan Suite Personal",
          L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvan Personal Firewall",
          L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvan QX Dovrane",
          L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvan Suite Personal"}) {
        DeleteTree(key);
    }
    DeleteValue(kRunOnce, L"Tromb_TrustList");
    DeleteValue(kRunOnce, L"Tromb_cleanup");
    std::error_code error;
    for (const std::u16string_view file : {u"cvconfig.xml", u"cvdata.dll", u"cvdatant.sys",
                                           u"cvinit.dll", u"cvmonapi.dll", u"cvpubapi.dll",
                                           u"cvregexp.dll", u"cvutil.dll", u"cvxml.dll",
                                           u"tscomm.dll", u"tscommdb.dll"}) {
        fs::remove(fs::path(SystemFolder()) / Wide(file), error);
    }
    fs::remove_all(fs::path(SystemFolder()) / L"TessalyLabs", error);
    fs::remove_all(fs::path(kSuiteFolder), error);
    fs::remove(fs::path(kStandinLog), error);
    fs::remove(fs::path(kConfigCopy), error);
    fs::remove(fs::path(TempFolder()) / L"fwconfig.txt", error);
}

// The programs on the engine's trust list, in lower case.
std::vector<std::wstring> TrustedPrograms() {
    std::vector<std::wstring> programs;
    const std::wstring list = std::wstring(kEngineProduct) + L"\\TrustList";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, list.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return programs;
    }
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = 256;
        if (RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        std::wstring path = ReadText(list + L"\\" + name, L"Path");
        CharLowerBuffW(path.data(), static_cast<DWORD>(path.size()));
        programs.push_back(path);
    }
    RegCloseKey(key);
    return programs;
}

bool Trusted(const std::wstring& program) {
    std::wstring lower = program;
    CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    for (const std::wstring& path : TrustedPrograms()) {
        if (path == lower) {
            return true;
        }
    }
    return false;
}

class FirewallSetup : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetEngine();
        AssembleSource(kSource, SETUP_MEMBER_FW);
    }
    void TearDown() override { ForgetEngine(); }

    std::string StandinLog() { return ReadFileBytes(kStandinLog); }
};

TEST_F(FirewallSetup, InstallHandsTheEngineItsConfigurationAndAnswersItsQuestions) {
    ASSERT_EQ(RunSetup(InstallCommand(kSource)), 0u);

    // The engine's installer got the configuration file; its copy is the
    // file byte for byte: ANSI, five CR LF lines in order.
    const std::wstring group = ReadText(kEngine, L"Group");
    EXPECT_FALSE(group.empty());
    std::string expected = "OEM_APPTITLE=Kelvan Personal Firewall\r\n"
                           "OEM_MAINDIR=C:\\Program Files\\Kelvan Suite Personal\\Kelvan Personal "
                           "Firewall\r\n"
                           "OEM_EXENAME=xj.exe\r\n"
                           "OEM_SHTCTFLDR=" +
                           olvex::testing::Narrow(group) +
                           "\r\n"
                           "OEM_CONAME=Brackwith\r\n";
    EXPECT_EQ(ReadFileBytes(kConfigCopy), expected);
    // Deleted after a successful run.
    EXPECT_FALSE(Exists(TempFolder() + L"fwconfig.txt"));

    const std::string log = StandinLog();
    EXPECT_NE(log.find("tssetup.exe|\"C:\\fwsetup\\fw\\tssetup.exe\" /s /M=\""), std::string::npos)
        << log;
    EXPECT_NE(log.find("fwconfig.txt\" /NOREBOOT"), std::string::npos) << log;
    EXPECT_EQ(log.find("answered no"), std::string::npos) << log;

    for (const wchar_t* file : {L"cvpubapi.dll", L"cvdatant.sys", L"tscomm.dll"}) {
        EXPECT_TRUE(Exists(SystemFolder() + L"\\" + file)) << olvex::testing::Narrow(file);
    }
    EXPECT_TRUE(Exists(std::wstring(kFirewallFolder) + L"\\" + Wide(kFirewallCompanionLibrary)));
    EXPECT_TRUE(Exists(std::wstring(kFirewallFolder) + L"\\help\\trombfw.chm"));
    EXPECT_TRUE(Exists(std::wstring(kFirewallFolder) + L"\\xjuninst.exe"));
    EXPECT_EQ(ReadNumber(kEngine, L"IsUnified"), std::optional<DWORD>(0));
    EXPECT_NE(ReadText(std::wstring(kUninstall) + L"Kelvan Personal Firewall", L"UninstallString")
                  .find(L"xjuninst.exe"),
              std::wstring::npos);
    // A fresh install fills the trust list at once.
    EXPECT_TRUE(ReadText(kRunOnce, L"Tromb_TrustList").empty());
    EXPECT_TRUE(Trusted(std::wstring(kFirewallFolder) + L"\\xj.exe"));
    EXPECT_TRUE(Trusted(std::wstring(kFirewallFolder) + L"\\tstutor.exe"));
}

TEST_F(FirewallSetup, AQuestionNobodyAnswersFailsTheInstall) {
    // The engine asks a question the watcher does not know: the person at
    // the screen says No.
    const std::wstring ini = std::wstring(kSource) + L"\\fw\\tssetup.exe.ini";
    EditIni(ini, "askset=firewall", "ask1=Tessaly Firewall Setup - Unknown Question|Go on?");
    gui::RunningProgram setup;
    ASSERT_TRUE(setup.Start(InstallCommand(kSource)));
    const HWND box = gui::FindTopLevelWindow(
        {L"Tessaly Firewall Setup - Unknown Question", L"#32770"}, 60000);
    ASSERT_NE(box, nullptr);
    gui::SaveScreenshot(box, "unknown-question");
    // Unanswered, it stays: the watcher never presses anything on it.
    Sleep(1500);
    EXPECT_TRUE(IsWindow(box));
    ASSERT_TRUE(gui::PressButton(box, IDNO));
    const auto code = setup.Wait(120000);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 9027u);
    EXPECT_NE(StandinLog().find("answered no: Tessaly Firewall Setup - Unknown Question"),
              std::string::npos);
    EXPECT_TRUE(ReadText(kEngineProduct, L"CurrentVersion").empty());
    // Left for a look at what the engine's installer was given.
    EXPECT_TRUE(Exists(TempFolder() + L"fwconfig.txt"));
}

TEST_F(FirewallSetup, TheEngineInstallerAsksItsSevenQuestionsInOrder) {
    // The engine's installer on its own, each question answered by hand.
    const std::wstring config = L"C:\\fwconfig-by-hand.txt";
    WriteFileBytes(config, "OEM_APPTITLE=By hand\r\n");
    gui::RunningProgram installer;
    ASSERT_TRUE(installer.Start(L"\"" + std::wstring(kSource) + L"\\fw\\tssetup.exe\" /s /M=\"" +
                                config + L"\" /NOREBOOT"));
    int number = 0;
    for (const FirewallQuestion& question : kFirewallQuestions) {
        const std::wstring title = Wide(question.title);
        const HWND box = gui::FindTopLevelWindow({title, L"#32770"}, 30000);
        ASSERT_NE(box, nullptr) << olvex::testing::Narrow(title);
        gui::SaveScreenshot(box, "question-" + std::to_string(++number));
        ASSERT_TRUE(gui::PressButton(box, IDYES));
        ASSERT_TRUE(gui::WaitForWindowGone(box, 10000));
    }
    EXPECT_EQ(installer.Wait(60000), std::optional<DWORD>(0));
    EXPECT_EQ(ReadFileBytes(kConfigCopy), "OEM_APPTITLE=By hand\r\n");
    EXPECT_EQ(ReadText(kEngineProduct, L"CurrentVersion"), L"5.0.0.1");
    std::error_code error;
    fs::remove(fs::path(config), error);
}

TEST_F(FirewallSetup, AllSevenQuestionsAreAnsweredYes) {
    // Without the watcher's answers the installer would stop at the first.
    ASSERT_EQ(RunSetup(InstallCommand(kSource)), 0u);
    const std::string log = StandinLog();
    for (const FirewallQuestion& question : kFirewallQuestions) {
        const std::u16string_view title(question.title);
        EXPECT_EQ(log.find("answered no: " + std::string(title.begin(), title.end())),
                  std::string::npos);
    }
    EXPECT_EQ(ReadText(kEngineProduct, L"CurrentVersion"), L"5.0.0.1");
}

TEST_F(FirewallSetup, TheMakersRegisteredNameIsReplacedAnotherKept) {
    struct Case {
        const wchar_t* before;
        const wchar_t* after;
    };
    for (const Case& c : {Case{L"Kelvan QX Firewall", L"Kelvan Personal Firewall"},
                          Case{L"QX Firewall Plus", L"Kelvan Personal Firewall"},
                          Case{L"Tessaly Pro", L"Tessaly Pro"}}) {
        ForgetEngine();
        const std::wstring registration = std::wstring(kEngineProduct) + L"\\Registration\\4.2.0.0";
        WriteText(kEngineProduct, L"CurrentVersion", L"4.2.0.0");
        WriteText(registration, L"ProductName", c.before);
        ASSERT_EQ(RunSetup(InstallCommand(kSource)), 0u);
        EXPECT_EQ(ReadText(registration, L"ProductName"), c.after)
            << olvex::testing::Narrow(c.before);
    }
}

TEST_F(FirewallSetup, UnifiedEngineBelongsToTheUpgradeOnly) {
    // The firewall as the suite installed it: the suite's entry for it,
    // which both packages know.
    WriteText(std::wstring(kUninstall) + L"Kelvan Suite Personal\\fw", L"UninstallString",
              L"\"C:\\Program Files\\Kelvan Suite Personal\\xjuninst.exe\" /u");
    WriteText(kEngineProduct, L"CurrentVersion", L"5.0.0.1");
    ProductFW firewall;
    ProductFWU upgrade;
    struct Case {
        std::optional<DWORD> unified;
        bool firewall_sees;
    };
    for (const Case& c : {Case{std::nullopt, true}, Case{0, true}, Case{1, false}}) {
        if (c.unified) {
            WriteNumber(kEngine, L"IsUnified", *c.unified);
        } else {
            DeleteValue(kEngine, L"IsUnified");
        }
        EXPECT_EQ(firewall.IsInstalled(true), c.firewall_sees) << c.unified.value_or(99);
        EXPECT_EQ(upgrade.IsInstalled(true), !c.firewall_sees) << c.unified.value_or(99);
        std::u16string version;
        firewall.GetInstalledVersion(version);
        EXPECT_EQ(version, c.firewall_sees ? u"5.0.0.1" : u"0");
    }
}

TEST_F(FirewallSetup, AChangedEngineVersionLeavesTheTrustListToTheNextStart) {
    ASSERT_EQ(RunSetup(InstallCommand(kSource)), 0u);
    DeleteTree(std::wstring(kEngineProduct) + L"\\TrustList");

    // The same version again: the list is filled at once.
    ASSERT_EQ(RunSetup(InstallCommand(kSource)), 0u);
    EXPECT_TRUE(ReadText(kRunOnce, L"Tromb_TrustList").empty());
    EXPECT_TRUE(Trusted(std::wstring(kFirewallFolder) + L"\\xj.exe"));
    DeleteTree(std::wstring(kEngineProduct) + L"\\TrustList");

    // A newer engine: its driver starts with Windows, the list waits.
    EditIni(std::wstring(kSource) + L"\\fw\\tssetup.exe.ini", "5.0.0.1", "5.1.0.0");
    ASSERT_EQ(RunSetup(InstallCommand(kSource)), 0u);
    const std::wstring copy = std::wstring(kFirewallFolder) + L"\\trustadd.exe";
    EXPECT_EQ(ReadText(kRunOnce, L"Tromb_TrustList"), L"\"" + copy + L"\" /trustlist");
    EXPECT_TRUE(Exists(copy));
    EXPECT_FALSE(Trusted(std::wstring(kFirewallFolder) + L"\\xj.exe"));

    // The restart runs the copy in trust-list mode: the list is filled and
    // the copy goes.
    olvex::testing::RunProcess(L"wineboot.exe -r");
    EXPECT_TRUE(gui::WaitUntil([] { return util::FindProcessId(u"trustadd") == 0; }, 60000, 250));
    EXPECT_TRUE(Trusted(std::wstring(kFirewallFolder) + L"\\xj.exe"));
    EXPECT_TRUE(Trusted(std::wstring(kFirewallFolder) + L"\\tstutor.exe"));
    EXPECT_TRUE(ReadText(kRunOnce, L"Tromb_TrustList").empty());
    olvex::testing::RunProcess(L"wineboot.exe -r");
    EXPECT_FALSE(Exists(copy));
}

TEST_F(FirewallSetup, UninstallWaitsForTheRespawnedUninstallerThenRemovesTheEngine) {
    ASSERT_EQ(RunSetup(InstallCommand(kSource)), 0u);
    const std::wstring uninstaller = std::wstring(kFirewallFolder) + L"\\xjuninst.exe";
    ASSERT_TRUE(Exists(uninstaller));
    ASSERT_EQ(RunSetup(L"\"" + uninstaller + L"\" /u /Silent /NoReboot"), 0u);

    // Both the uninstaller and its copy in the temporary folder ran, and
    // the copy had ended when setup did.
    const std::string log = StandinLog();
    const size_t first = log.find("tsuninst.exe|");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find("tsuninst.exe|", first + 1), std::string::npos) << log;
    EXPECT_NE(log.find("/s /noreboot"), std::string::npos) << log;
    EXPECT_EQ(util::FindProcessId(u"tsuninst"), 0u);

    for (const std::u16string_view file :
         {u"cvconfig.xml", u"cvdatant.sys", u"cvpubapi.dll", u"tscomm.dll", u"tscommdb.dll"}) {
        EXPECT_FALSE(Exists(SystemFolder() + L"\\" + Wide(file))) << olvex::testing::Narrow(Wide(file));
    }
    EXPECT_FALSE(Exists(SystemFolder() + L"\\TessalyLabs"));
    EXPECT_FALSE(KeyExists(L"SYSTEM\\CurrentControlSet\\Services\\cvdatant"));
    EXPECT_FALSE(KeyExists(kEngine));
    EXPECT_FALSE(KeyExists(std::wstring(kUninstall) + L"Kelvan Personal Firewall"));
}

TEST_F(FirewallSetup, AHungWindowWithAQuestionsTitleDoesNotHoldSetupUp) {
    ASSERT_EQ(RunSetup(InstallCommand(kSource)), 0u);
    // A window of the dialog class with one of the questions' titles whose
    // thread answers no message while the uninstaller runs.
    const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const std::wstring title = Wide(kFirewallQuestions[2].title);
    std::atomic<HWND> hung{nullptr};
    std::thread owner([&] {
        WNDCLASSW dialog{};
        GetClassInfoW(nullptr, L"#32770", &dialog);
        hung = CreateWindowExW(0, L"#32770", title.c_str(), WS_POPUP | WS_CAPTION | WS_VISIBLE,
                               10, 10, 300, 80, nullptr, nullptr, GetModuleHandleW(nullptr),
                               nullptr);
        SetEvent(created);
        WaitForSingleObject(release, INFINITE);
        if (hung.load()) {
            DestroyWindow(hung.load());
        }
    });
    WaitForSingleObject(created, 10000);
    const bool found = FindWindowW(L"#32770", title.c_str()) != nullptr;
    if (found) {
        const std::wstring uninstaller = std::wstring(kFirewallFolder) + L"\\xjuninst.exe";
        EXPECT_EQ(RunSetup(L"\"" + uninstaller + L"\" /u /Silent /NoReboot"), 0u);
    }
    SetEvent(release);
    owner.join();
    CloseHandle(release);
    CloseHandle(created);
    ASSERT_TRUE(found) << "no window " << GetLastError();
    EXPECT_FALSE(KeyExists(kEngine));
}

TEST_F(FirewallSetup, ServersAreRefusedWhateverTheCaseOfTheProductType) {
    const std::wstring options = L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
    const std::wstring before = ReadText(options, L"ProductType");
    struct Case {
        const wchar_t* product_type;
        DWORD exit_code;
    };
    for (const Case& c : {Case{L"ServerNT", 9009}, Case{L"LanmanNT", 9009}, Case{L"WINNT", 0},
                          Case{L"winnt", 0}}) {
        ForgetEngine();
        WriteText(options, L"ProductType", c.product_type);
        EXPECT_EQ(RunSetup(InstallCommand(kSource)), c.exit_code)
            << olvex::testing::Narrow(c.product_type);
    }
    WriteText(options, L"ProductType", before);
}

TEST_F(FirewallSetup, AStandaloneEngineIsToldApartByItsFiles) {
    const std::wstring folder = L"C:\\Tessaly";
    std::error_code error;
    fs::create_directories(fs::path(folder));
    WriteText(kEngineProduct, L"InstallDirectory", folder);
    EXPECT_FALSE(IsStandaloneTessalyInstalled());
    WriteFileBytes(folder + L"\\alert.tsa", "alerts\r\n");
    EXPECT_TRUE(IsStandaloneTessalyInstalled());
    // The suite edition's companion library marks the suite's engine.
    WriteFileBytes(folder + L"\\" + Wide(kFirewallCompanionLibrary), "suite\r\n");
    EXPECT_FALSE(IsStandaloneTessalyInstalled());
    fs::remove_all(fs::path(folder), error);
}

TEST_F(FirewallSetup, ACleanupLeavesAStandaloneEngineAlone) {
    const std::wstring folder = L"C:\\Tessaly";
    // The engine's files and settings left on the machine: the cleanup
    // removes them unless the engine was installed on its own.
    for (const bool standalone : {true, false}) {
        ForgetEngine();
        // A cleanup copy removes itself when it is done.
        fs::copy_file(fs::path(kSource) / L"Tramlet.exe", fs::path(kSource) / L"xjcu_001.exe",
                      fs::copy_options::overwrite_existing);
        std::error_code error;
        fs::remove_all(fs::path(folder), error);
        fs::create_directories(fs::path(folder));
        if (standalone) {
            WriteFileBytes(folder + L"\\alert.tsa", "alerts\r\n");
        }
        WriteText(kEngineProduct, L"InstallDirectory", folder);
        WriteText(kEngine, L"OEM", L"Tessaly Labs");
        WriteText(L"SYSTEM\\CurrentControlSet\\Services\\cvdatant", L"Start", L"1");
        WriteFileBytes(SystemFolder() + L"\\cvdatant.sys", "driver\r\n");
        EXPECT_EQ(
            RunSetup(L"\"" + std::wstring(kSource) + L"\\xjcu_001.exe\" /Silent /NoReboot"), 0u);
        EXPECT_EQ(ReadText(kEngine, L"OEM").empty(), !standalone) << standalone;
        EXPECT_EQ(Exists(SystemFolder() + L"\\cvdatant.sys"), standalone) << standalone;
        EXPECT_EQ(KeyExists(L"SYSTEM\\CurrentControlSet\\Services\\cvdatant"), standalone)
            << standalone;
        fs::remove_all(fs::path(folder), error);
    }
}

TEST(FirewallCompetitors, CountOnlyWhenTheirFilesSaySo) {
    // A silent run keeps a competitor it finds and stops with 9021; an
    // entry whose test fails is no competitor.
    struct Case {
        const char* name;
        const wchar_t* source;
        const char* member;
        const wchar_t* entry;
        const wchar_t* key;
        const wchar_t* value;
        const wchar_t* file;
    };
    const Case cases[] = {
        {"stand-alone engine", kSource, SETUP_MEMBER_FW, L"Tessaly", L"SOFTWARE\\Tessaly Labs\\Tessaly",
         L"InstallDirectory", L"alert.tsa"},
        {"earlier firewall", kSource, SETUP_MEMBER_FW, L"Kelvan QX Firewall",
         L"SOFTWARE\\Vorandel\\Kelvan QX Firewall", L"InstallDirectory", L"voveruv.exe"},
        {"suite's antivirus", kUpgradeSource, SETUP_MEMBER_FW_UPGRADE,
         L"Kelvan Suite Personal\\av", L"SOFTWARE\\Vorandel\\Vuvu-Roved\\Install", L"ProgramPath",
         L"nim.dat"},
    };
    const std::wstring folder = L"C:\\Competitor";
    for (const Case& c : cases) {
        AssembleSource(c.source, c.member);
        for (const bool marked : {false, true}) {
            ForgetEngine();
            std::error_code error;
            fs::remove_all(fs::path(folder), error);
            fs::create_directories(fs::path(folder));
            if (marked) {
                WriteFileBytes(folder + L"\\" + c.file, "marker\r\n");
            }
            WriteText(c.key, c.value, folder);
            const std::wstring entry = std::wstring(kUninstall) + c.entry;
            WriteText(entry, L"DisplayName", c.entry);
            WriteText(entry, L"UninstallString", folder + L"\\uninstall.exe");
            EXPECT_EQ(RunSetup(InstallCommand(c.source)), marked ? 9021u : 0u)
                << c.name << (marked ? " with its file" : " without its file");
            DeleteTree(entry);
            DeleteTree(c.key);
            fs::remove_all(fs::path(folder), error);
        }
    }
    ForgetEngine();
}

TEST(FirewallUpgradeSetup, InstallsAUnifiedEngine) {
    ForgetEngine();
    AssembleSource(kUpgradeSource, SETUP_MEMBER_FW_UPGRADE);
    ASSERT_EQ(RunSetup(InstallCommand(kUpgradeSource)), 0u);
    EXPECT_EQ(ReadNumber(kEngine, L"IsUnified"), std::optional<DWORD>(1));
    ProductFW firewall;
    ProductFWU upgrade;
    EXPECT_FALSE(firewall.IsInstalled(true));
    EXPECT_TRUE(upgrade.IsInstalled(true));
    // The same version again passes the upgrade's version guard; an
    // installed engine newer than the package's installer stops it.
    EXPECT_EQ(RunSetup(InstallCommand(kUpgradeSource)), 0u);
    WriteText(kEngineProduct, L"CurrentVersion", L"5.1.0.0");
    EXPECT_EQ(RunSetup(InstallCommand(kUpgradeSource)), 9015u);
    ForgetEngine();
}

}  // namespace
}  // namespace olvex::setup
