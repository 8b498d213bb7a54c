#include "setup/core/system_utilities.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "setup/core/setup_windows_test_support.h"

namespace olvex::setup::util {
namespace {

using setup::testing::BuildPath;
using setup::testing::Exists;
using setup::testing::ProcessLog;
using setup::testing::ScratchFolder;

// The utilities log through the process's logger: into a scratch file, so
// that the shared prefix keeps no log of ours.
class LogInScratch : public ::testing::Environment {
  public:
    void SetUp() override {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        path_ = U(folder) + u"olvex-setup-windows-tests-" + UnsignedText(GetCurrentProcessId()) +
                u".log";
        SetupLogger::Instance().SetDisplayLevel(0);
        SetupLogger::Instance().Open(path_, true);
    }
    void TearDown() override { DeleteFileW(W(path_)); }

  private:
    std::u16string path_;
};
::testing::Environment* const log_in_scratch =
    ::testing::AddGlobalTestEnvironment(new LogInScratch);

OsVersion Windows98() {
    OsVersion version;
    version.platform = 1;
    version.major = 4;
    version.minor = 10;
    version.build = 0x040A08AE;
    return version;
}

std::u16string ShortName(const std::u16string& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(W(path), buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? U(buffer) : std::u16string();
}

TEST(SetupSystemOsTest, TheTestPrefixAndTheSeams) {
    const auto version = GetOsVersionInfo();
    ASSERT_TRUE(version);
    EXPECT_EQ(version->platform, kPlatformNt);
    EXPECT_EQ(version->major, 5u);
    EXPECT_EQ(version->minor, 2u);
    EXPECT_EQ(GetOsId(), kOsWindows2003);
    EXPECT_TRUE(IsWinNT());
    EXPECT_FALSE(IsWin9x());
    // Wine writes "WinNT"; the comparison ignores case.
    EXPECT_TRUE(IsNTWorkstation());
    EXPECT_EQ(GetWindowsName(), u"Windows .NET");
    EXPECT_EQ(GetWindowsShortName(), u"2003");
    EXPECT_EQ(GetOperatingSystemDescription().substr(0, 28), u"Windows .NET 5.02 (5.02.3790");
    // Wine's session table is always empty.
    EXPECT_EQ(CountUserSessions(), 0u);

    ScopedSeams seams;
    seams->sessions = [] {
        return std::optional<std::vector<TerminalSession>>(
            std::vector<TerminalSession>{{0, 0, u"alice"}, {3, 4, u"bob"}});
    };
    EXPECT_EQ(CountUserSessions(), 9007u);
    EXPECT_NE(ProcessLog().find("(25507) Other user sessions are open - Value = 2"),
              std::string::npos);

    seams->os_version = [] { return std::optional<OsVersion>(Windows98()); };
    EXPECT_TRUE(IsWin9x());
    EXPECT_FALSE(IsNTWorkstation());
    EXPECT_EQ(GetOsId(), kOsWindows98);
    EXPECT_EQ(GetWindowsShortName(), u"98");
    EXPECT_EQ(CountUserSessions(), 0u);  // NT only
    EXPECT_EQ(GetStartProgramsDir(true), GetStartProgramsDir(false));

    seams->os_version = [] { return std::optional<OsVersion>(); };
    EXPECT_FALSE(GetOsVersionInfo());
    EXPECT_EQ(GetOsId(), kOsUnknown);
    EXPECT_NE(ProcessLog().find("(25519) The Windows version could not be read"),
              std::string::npos);
}

TEST(SetupSystemOsTest, RebootGoesThroughTheSeam) {
    ScopedSeams seams;
    int reboots = 0;
    seams->reboot = [&] { ++reboots; };
    RebootSystem();
    EXPECT_EQ(reboots, 1);
}

TEST(SetupSystemFoldersTest, FoldersOfTheSystemAndTheProgram) {
    EXPECT_EQ(GetCurrentAppModuleName(), u"olvex_setup_windows_tests.exe");
    EXPECT_EQ(GetCurrentAppDir() + u"\\" + GetCurrentAppModuleName(), GetCurrentAppPath());
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_TRUE(EqualsNoCase(GetWinDir(), U(windows)));
    EXPECT_EQ(GetWindowsDrive(), u"C:");
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(GetWinSysDir(), U(system));
    EXPECT_EQ(GetProgramFilesDir(), u"C:\\Program Files");
    EXPECT_EQ(GetDocumentsDir(true), u"C:\\users");
    EXPECT_NE(GetDocumentsDir(false), u"");
    EXPECT_NE(GetStartProgramsDir(true), GetStartProgramsDir(false));
    EXPECT_NE(GetDesktopDir(true), u"");
    const std::u16string temp = GetTempDir();
    EXPECT_TRUE(Exists(temp)) << ToUtf8(temp);
    EXPECT_EQ(GetSetupFilePath(u"xjvprod.dll", u"qz"), GetCurrentAppDir() + u"\\qz\\xjvprod.dll");
    EXPECT_EQ(GetSetupFilePath(u"license.txt", std::nullopt),
              GetCurrentAppDir() + u"\\license.txt");
    EXPECT_EQ(
        ReadRegistryDirectory(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", u"ProgramFilesDir"),
        u"C:\\Program Files\\");
    EXPECT_EQ(ReadRegistryDirectory(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", u"NoSuch"),
              u"");
}

TEST(SetupSystemFoldersTest, MacrosShortFormsAndComparisons) {
    EXPECT_EQ(ExpandSystemMacros(u"%SystemRoot%\\x"), GetWinDir() + u"\\x");
    EXPECT_EQ(ExpandSystemMacros(u"%SYSTEMPATH%|%SystemDrive%|%NoSuchVariable%"),
              GetWinSysDir() + u"|C:|");

    const std::u16string program_files = GetProgramFilesDir();
    const std::u16string short_form = ShortName(program_files);
    ASSERT_NE(short_form, u"");
    EXPECT_NE(short_form, program_files);
    EXPECT_EQ(ShortPathForm(program_files), short_form);
    // What does not exist yet keeps its written form behind the short one.
    EXPECT_EQ(ShortPathForm(program_files + u"\\No Such Folder\\x.exe"),
              short_form + u"\\No Such Folder\\x.exe");
    EXPECT_TRUE(ComparePaths(short_form, program_files, true));
    EXPECT_TRUE(ComparePaths(program_files + u"\\Suite", short_form, false));
    EXPECT_TRUE(ComparePaths(u"%SystemRoot%\\x", GetWinDir(), false));
}

TEST(SetupSystemVersionsTest, VersionResources) {
    const std::u16string library = BuildPath(OLVEX_SETUP_TRUST_LIBRARY);
    const auto info = ReadFileVersionInfo(library);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->file_version_ms, (3u << 16) | 1u);
    EXPECT_EQ(info->file_version_ls, 7u);
    EXPECT_EQ(GetVersionInfoData(library, u"ProductVersion"), u"3.1");
    EXPECT_EQ(GetVersionInfoData(library, u"FileVersion"), u"3.1.0.7");
    EXPECT_FALSE(GetVersionInfoData(library, u"NoSuchValue"));
    EXPECT_FALSE(GetVersionInfoData(library + u".missing", u"ProductVersion"));

    EXPECT_EQ(CheckFileVersion(library, 3, 1), 0u);
    EXPECT_EQ(CheckFileVersion(library, 2, 90), 0u);
    EXPECT_EQ(CheckFileVersion(library, 3, 2), 25008u);
    EXPECT_NE(ProcessLog().find("cvpubapi.dll 3.01"), std::string::npos);
    EXPECT_EQ(CheckFileVersion(u"C:\\no such file.dll", 1, 0), 25008u);
    EXPECT_NE(ProcessLog().find("(25008) A newer version of a system component is needed: "
                                "C:\\no such file.dll 0.00"),
              std::string::npos);

    ScopedSeams seams;
    seams->file_version = [](const std::u16string& path) -> std::optional<FileVersionInfo> {
        if (path != u"RICHED20.DLL") {
            return std::nullopt;
        }
        FileVersionInfo version;
        version.file_version_ms = (5u << 16) | 31u;
        version.strings[u"ProductVersion"] = u"5.31";
        return version;
    };
    EXPECT_EQ(CheckFileVersion(u"RICHED20.DLL", 5, 30), 0u);
    EXPECT_EQ(CheckFileVersion(u"RICHED20.DLL", 5, 32), 25008u);
    EXPECT_EQ(GetVersionInfoData(u"RICHED20.DLL", u"ProductVersion"), u"5.31");
}

TEST(SetupSystemShortcutsTest, LinksAndInternetShortcutsReadBack) {
    ScratchFolder folder;
    const std::u16string target = GetCurrentAppPath();
    ASSERT_EQ(CreateShortcut(folder.path(), u"Kelvan Gorsewatch", target, u"/scan",
                             GetCurrentAppDir(), u"Scans the computer", target, 2),
              S_OK);
    const std::u16string link_path = folder / u"Kelvan Gorsewatch.lnk";
    ASSERT_TRUE(Exists(link_path));

    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    IShellLinkW* link = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                               reinterpret_cast<void**>(&link)),
              S_OK);
    IPersistFile* file = nullptr;
    ASSERT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
    ASSERT_EQ(file->Load(W(link_path), STGM_READ), S_OK);
    wchar_t text[MAX_PATH] = {};
    link->GetPath(text, MAX_PATH, nullptr, 0);
    EXPECT_TRUE(EqualsNoCase(U(text), target));
    link->GetArguments(text, MAX_PATH);
    EXPECT_EQ(U(text), u"/scan");
    link->GetWorkingDirectory(text, MAX_PATH);
    EXPECT_TRUE(EqualsNoCase(U(text), GetCurrentAppDir()));
    link->GetDescription(text, MAX_PATH);
    EXPECT_EQ(U(text), u"Scans the computer");
    int icon = -1;
    link->GetIconLocation(text, MAX_PATH, &icon);
    EXPECT_EQ(icon, 2);
    file->Release();
    link->Release();
    CoUninitialize();

    const std::u16string address = u"http://www.example.com/support?product=qz&x=1";
    ASSERT_EQ(CreateInternetShortcut(folder.path(), u"Support", address), S_OK);
    const std::u16string url_path = folder / u"Support.url";
    wchar_t url[512] = {};
    GetPrivateProfileStringW(L"InternetShortcut", L"URL", L"", url, 512, W(url_path));
    EXPECT_EQ(U(url), address);
    // A name that carries its extension keeps it single.
    ASSERT_EQ(CreateInternetShortcut(folder.path(), u"Home.url", address), S_OK);
    EXPECT_TRUE(Exists(folder / u"Home.url"));
}

TEST(SetupSystemStringsTest, TheStringChain) {
    // The product library beside the program answers first, the program's
    // own table after it.
    EXPECT_EQ(LoadResourceString(nullptr, 22006), u"Test Suite Personal");
    EXPECT_EQ(LoadResourceString(nullptr, 25501), u"Started by the product library");
    EXPECT_EQ(LoadResourceString(nullptr, 25502), u"Setup finished");
    EXPECT_EQ(LoadResourceString(nullptr, 31999), u"");
    EXPECT_EQ(LoadResourceString(nullptr, 25551, 10), u"Setup ign");

    const std::u16string library = BuildPath(OLVEX_SETUP_XJVPROD);
    const HMODULE module = LoadLibraryExW(W(library), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    EXPECT_EQ(LoadResourceString(module, 22006), u"Test Suite Personal");
    EXPECT_EQ(LoadResourceString(module, 25502), u"");
    FreeLibrary(module);

    SetFrameworkStringLoader([](uint32_t id, size_t) {
        return id == 22006 ? std::u16string(u"From the framework") : std::u16string();
    });
    EXPECT_EQ(LoadResourceString(nullptr, 22006), u"From the framework");
    EXPECT_EQ(LoadResourceString(nullptr, 25502), u"Setup finished");
    SetFrameworkStringLoader(nullptr);

    ScopedSeams seams;
    seams->strings = [](uint32_t id, size_t) { return u"seam " + UnsignedText(id); };
    EXPECT_EQ(LoadResourceString(nullptr, 22006), u"seam 22006");
}

TEST(SetupSystemStringsTest, ConversionsAndTimeText) {
    EXPECT_EQ(WideToNarrow(u"C:\\Program Files\\x.exe"), "C:\\Program Files\\x.exe");
    EXPECT_EQ(NarrowToWide("C:\\x"), u"C:\\x");
    EXPECT_EQ(WideToNarrow(u""), "");
    EXPECT_NE(GetLocalTimeText().find(u", "), std::u16string::npos);
}

TEST(SetupSystemProcessesTest, FindsProcessesByName) {
    // Wine keeps no performance data: the Toolhelp snapshot answers.
    EXPECT_EQ(FindProcessId(u"olvex_setup_windows_tests"), GetCurrentProcessId());
    EXPECT_EQ(FindProcessId(u"OLVEX_SETUP_WINDOWS_TESTS.EXE"), GetCurrentProcessId());
    EXPECT_EQ(FindProcessId(u"no_such_process_anywhere"), 0u);
    EXPECT_EQ(FindProcessId(u""), 0u);

    ScopedSeams seams;
    uint64_t now = 0;
    int sleeps = 0;
    seams->clock_ms = [&] { return now; };
    seams->sleep = [&](uint32_t milliseconds) {
        now += milliseconds;
        ++sleeps;
    };
    // Never appears: the wait ends after its time-out in 100 ms polls.
    EXPECT_EQ(WaitForProcess(u"no_such_process_anywhere", 1000), 0u);
    EXPECT_EQ(sleeps, 10);
    seams->find_process = [](const std::u16string& name) { return name == u"trombo" ? 4242u : 0u; };
    EXPECT_EQ(FindProcessId(u"trombo"), 4242u);
}

}  // namespace
}  // namespace olvex::setup::util
