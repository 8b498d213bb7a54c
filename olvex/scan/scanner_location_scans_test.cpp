// The scanner's cookie, common-location and start-up entry scans under Wine,
// through IScanner, on a machine the test builds: registry roots under a key
// of its own, scratch folders for the cookie, Startup, Windows and profile
// folders, fake profiles in a profile list of its own whose hives are saved
// at test time, and the OS-version seam. Also their asynchronous forms:
// waiting, pausing and stopping, and the handles they leave.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/core/crc32.h"
#include "olvex/core/dat_test_support.h"
#include "olvex/core/file_io.h"
#include "olvex/core/os_utilities.h"
#include "olvex/core/process_dat_database.h"
#include "olvex/core/registry_key.h"
#include "olvex/olvex.h"
#include "olvex/scan/scan_places.h"
#include "olvex/scan/scanner_com_test_support.h"
#include "olvex/scan/user_hives.h"
#include "testing/scratch_dir.h"
#include "testing/test_registry_key.h"
#include "testing/windows_test_support.h"

namespace olvex {
namespace {

using com::ComPtr;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::UnorderedElementsAreArray;
using Lines = std::vector<std::wstring>;

constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kNtCurrentVersion[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";

using scan_test::Bstr;
using scan_test::LastErrorCode;
using scan_test::LastErrorText;
using scan_test::TextOf;
using scan_test::Wide;

// A Win32 event, closed when it goes.
class Event {
  public:
    Event() : handle_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Event() { CloseHandle(handle_); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    void Set() const { SetEvent(handle_); }
    bool Wait(DWORD ms = 60000) const { return WaitForSingleObject(handle_, ms) == WAIT_OBJECT_0; }

  private:
    HANDLE handle_;
};

// The client's callback: every event as one line, in the order they came
// (an asynchronous scan calls it from its own thread; the test reads the
// lines once that thread has ended).
class Sink final : public IScannerCallback {
  public:
    Lines lines;
    std::function<bool(int)> should_continue;
    bool record_questions = true;
    // Called after a line was recorded.
    std::function<void(const std::wstring& line)> on_line;

    ULONG References() const { return references_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IScannerCallback)) {
            *object = static_cast<IScannerCallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE ScanComplete() override { return Add(L"ScanComplete"); }
    HRESULT STDMETHODCALLTYPE ScanAborted(BSTR reason) override {
        return Add(L"ScanAborted " + TextOf(reason));
    }
    HRESULT STDMETHODCALLTYPE FinishedItem(BSTR location) override {
        return Add(L"FinishedItem " + TextOf(location));
    }
    HRESULT STDMETHODCALLTYPE StartingItem(BSTR location) override {
        return Add(L"StartingItem " + TextOf(location));
    }
    HRESULT STDMETHODCALLTYPE PestDetected(LONG pest_id, BSTR location) override {
        return Add(L"PestDetected " + std::to_wstring(pest_id) + L" " + TextOf(location));
    }
    HRESULT STDMETHODCALLTYPE ShouldScanContinue(VARIANT_BOOL* go_on) override {
        ++questions_;
        if (should_continue && !should_continue(questions_))
            *go_on = VARIANT_FALSE;
        return record_questions ? Add(L"ShouldScanContinue") : S_OK;
    }
    HRESULT STDMETHODCALLTYPE VerboseInformation(BSTR message) override {
        return Add(L"VerboseInformation " + TextOf(message));
    }

    // The lines that start with prefix.
    Lines Only(std::wstring_view prefix) const {
        Lines kept;
        for (const auto& line : lines) {
            if (std::wstring_view(line).starts_with(prefix))
                kept.push_back(line);
        }
        return kept;
    }
    // The lines that mention text.
    Lines Mentioning(const std::wstring& text) const {
        Lines kept;
        for (const auto& line : lines) {
            if (line.find(text) != std::wstring::npos)
                kept.push_back(line);
        }
        return kept;
    }
    void Clear() {
        lines.clear();
        questions_ = 0;
    }

  private:
    HRESULT Add(std::wstring line) {
        lines.push_back(std::move(line));
        if (on_line)
            on_line(lines.back());
        return S_OK;
    }

    std::atomic<ULONG> references_{0};
    int questions_ = 0;
};

class FixedOsVersion final : public OsVersionSource {
  public:
    explicit FixedOsVersion(std::optional<OsVersion> version) : version_(version) {}
    std::optional<OsVersion> Query() const override { return version_; }

  private:
    std::optional<OsVersion> version_;
};

// Fake users of this test process.
std::string NewFakeSid() {
    static std::atomic<unsigned> counter{0};
    return "S-1-5-21-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount()) + "-" + std::to_string(counter++) + "-1004";
}

std::vector<std::string> OurMountedHives() {
    const std::string ours =
        std::string(kHiveMountPrefix) + "S-1-5-21-" + std::to_string(GetCurrentProcessId()) + "-";
    std::vector<std::string> names;
    char name[256];
    for (DWORD index = 0; RegEnumKeyA(HKEY_USERS, index, name, sizeof(name)) == ERROR_SUCCESS;
         ++index) {
        if (std::string_view(name).starts_with(ours))
            names.emplace_back(name);
    }
    return names;
}

class LocationScansTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        root_ = scratch_.path().string();
        for (const char* folder : {"defs", "exclusions", "cookies", "mystartup", "windows",
                                   "programs", "path", "profiles", "pf\\OlvexTest"})
            std::filesystem::create_directories(scratch_.path() / folder);

        // Registry roots of the test's own, and the places the scans read.
        for (const char* name : {"HKLM", "HKCU", "HKCR"}) {
            RegistryKey key;
            ASSERT_EQ(RegistryKey::Create(registry_.Root(), Wide(registry_.Path() + "\\" + name),
                                          KEY_ALL_ACCESS, key),
                      ERROR_SUCCESS);
            roots_.push_back(std::move(key));
        }
        places_.local_machine = roots_[0].handle();
        places_.current_user = roots_[1].handle();
        places_.classes_root = roots_[2].handle();
        places_.cookie_folder = [this]() -> std::optional<std::string> { return cookie_folder_; };
        places_.autoexec_path = Path("autoexec.bat");
        cookie_folder_ = Path("cookies");
        SetString(places_.local_machine, kNtCurrentVersion, "SystemRoot", Path("windows"));
        SetString(places_.current_user, kShellFolders, "Startup", Path("mystartup"));

        profile_list_.root = registry_.Root();
        profile_list_.path = registry_.Path() + "\\ProfileList";

        // A program on the search path, found by its bare name.
        char path[32768] = {};
        if (GetEnvironmentVariableA("PATH", path, sizeof(path)) > 0)
            previous_path_ = path;
        SetEnvironmentVariableA("PATH", (Path("path") + ";" + previous_path_.value_or("")).c_str());
        SetEnvironmentVariableA("OLVEX_TEST_PROGRAMS", Path("programs").c_str());

        folders_.shell = {{kCsidlProgramFiles, Path("pf")}, {kCsidlStartup, Path("mystartup")}};
        database_.emplace(&folders_);
        pest_ = Path("pest.bin");
        Write(pest_, "an olvex test start-up pest, whose head is its signature");
        std::uint32_t crc = 0;
        ASSERT_TRUE(GetFileHeadCrc32(pest_, crc));
        char hex[16];
        std::snprintf(hex, sizeof(hex), "%08x", crc);
        testing::PublishSource(Path("defs"),
                               "block 2004-03-15 09:40:00\n"
                               "pest 1001 \"Test.Startup\" \"Adware\"\n"
                               "pest 1003 \"Test.Listed\" \"Dialer\"\n"
                               "pest 1004 \"Test.Cookie\" \"Tracking Cookie\"\n"
                               "pest 1005 \"Test.Excluded\" \"Adware\"\n"
                               "pest 1006 \"Test.InStartup\" \"Adware\"\n"
                               "signature 1001 crc " +
                                   std::string(hex) +
                                   "\n"
                                   "file 1003 \"%PROGRAM_FILES%\\OlvexTest\\listed.exe\"\n"
                                   "file 1003 \"%PROGRAM_FILES%\\OlvexTest\\absent.exe\"\n"
                                   "folder 1005 \"%PROGRAM_FILES%\\OlvexTest\\Excluded\"\n"
                                   "file 1006 \"%STARTUP%\\olvexstart.exe\"\n"
                                   "cookie 1004 \"tracker.example\"\n");
        ASSERT_EQ(com::CreateEngineObject(CLSID_Scanner, scanner_.Put()), S_OK);
    }

    void TearDown() override {
        scanner_.Reset();
        EXPECT_EQ(sink_.References(), 0u);
        const auto left = OurMountedHives();
        EXPECT_THAT(left, IsEmpty());
        for (const auto& name : left)
            RegUnLoadKeyA(HKEY_USERS, name.c_str());
        SetEnvironmentVariableA("PATH", previous_path_ ? previous_path_->c_str() : nullptr);
        SetEnvironmentVariableA("OLVEX_TEST_PROGRAMS", nullptr);
        database_.reset();
        CoUninitialize();
    }

    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }

    void Write(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        ASSERT_EQ(
            WriteWholeFile(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}),
            FileError::kNone)
            << path;
    }
    // A start-up program that the definitions know by its signature.
    std::string Pest(const std::string& relative) {
        const std::string path = Path(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        EXPECT_TRUE(CopyFileA(pest_.c_str(), path.c_str(), TRUE)) << path;
        return path;
    }

    static void SetString(HKEY root, const std::string& key, const std::string& name,
                          const std::string& value, DWORD type = REG_SZ) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &handle, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(handle, name.empty() ? nullptr : name.c_str(), 0, type,
                       reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(handle);
    }

    bool Initialize() {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(scanner_->InitializeEx(Bstr(Path("defs")), Bstr(Path("exclusions")),
                                         Bstr(Path("exclusions")), &ok),
                  S_OK);
        return ok == VARIANT_TRUE;
    }
    void UseSink() { ASSERT_EQ(scanner_->put_Callback(&sink_), S_OK); }
    void AllUsers(bool on) {
        ASSERT_EQ(scanner_->put_vbScanAllUsers(on ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    }

    bool ScanCookies() {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(scanner_->ScanCookies(&ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    bool ScanCookiesEx(const std::string& folder) {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(scanner_->ScanCookiesEx(Bstr(folder), &ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    bool ScanCommonLocations() {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(scanner_->ScanCommonLocations(&ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    std::wstring LastError() { return LastErrorText(scanner_.Get()); }
    LONG LastCode() { return LastErrorCode(scanner_.Get()); }

    // A profile of the test's profile list, its folder under "profiles", with
    // a hive saved from keys under the test key: its Run key names run, and
    // its Startup folder is the profile's own.
    std::string AddProfile(const std::string& sid, const std::string& name, const std::string& run,
                           bool trailing_backslash = false) {
        const std::string folder = Path("profiles\\" + name);
        const std::string startup = folder + "\\Start Menu\\Programs\\Startup";
        std::filesystem::create_directories(startup);
        const std::string source = registry_.Path() + "\\Hive-" + name;
        SetString(registry_.Root(), source + "\\" + kRun, "OlvexTest", run);
        SetString(registry_.Root(), source + "\\" + kShellFolders, "Startup", startup);
        EXPECT_TRUE(EnableBackupRestorePrivileges());
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(registry_.Root(), source.c_str(), 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSaveKeyA(key, (folder + "\\ntuser.dat").c_str(), nullptr), ERROR_SUCCESS);
        RegCloseKey(key);
        SetString(registry_.Root(), profile_list_.path + "\\" + sid, "ProfileImagePath",
                  trailing_backslash ? folder + "\\" : folder, REG_EXPAND_SZ);
        return folder;
    }

    std::wstring FileAt(const std::string& path) const { return L"File \"" + Wide(path) + L"\""; }

    testing::ScratchDir scratch_;
    std::string root_;
    testing::TestRegistryKey registry_;
    std::vector<RegistryKey> roots_;
    ScanPlaces places_;
    std::optional<std::string> cookie_folder_;
    ScopedScanPlaces places_seam_{places_};
    ProfileListLocation profile_list_;
    ScopedProfileListLocation profile_list_seam_{profile_list_};
    std::optional<std::string> previous_path_;
    testing::FakeSpecialFolders folders_;
    std::optional<ScopedProcessDatDatabase> database_;
    std::string pest_;
    Sink sink_;
    ComPtr<IScanner> scanner_;
};

// --- Cookies -------------------------------------------------------------------

TEST_F(LocationScansTest, TheCurrentUsersCookiesAreChecked) {
    Write(Path("cookies\\Bob@Tracker.Example[1].txt"), "cookie");
    Write(Path("cookies\\bob@clean.example[1].txt"), "cookie");
    Write(Path("cookies\\bob@tracker.example.txt"), "cookie");
    std::filesystem::create_directories(scratch_.path() / "cookies" / "bob@tracker.example[2].txt");
    Write(Path("cookies\\bob@tracker.example[2].txt\\bob@tracker.example[3].txt"), "cookie");
    ASSERT_TRUE(Initialize());
    UseSink();

    EXPECT_TRUE(ScanCookies());
    const auto found = [&](const std::string& name) {
        return L"PestDetected 1004 Cookie \"tracker.example\" File \"" +
               Wide(Path("cookies\\" + name)) + L"\"";
    };
    EXPECT_THAT(sink_.Only(L"PestDetected"),
                UnorderedElementsAreArray(
                    Lines{found("bob@tracker.example[1].txt"), found("bob@tracker.example.txt")}));
    // Lower-cased names; the folder is neither an item nor entered.
    EXPECT_THAT(sink_.Only(L"StartingItem"),
                UnorderedElementsAreArray(Lines{L"StartingItem bob@tracker.example[1].txt",
                                                L"StartingItem bob@clean.example[1].txt",
                                                L"StartingItem bob@tracker.example.txt"}));
    EXPECT_EQ(sink_.lines.back(), L"ScanComplete");
    EXPECT_EQ(sink_.Only(L"ScanComplete").size(), 1u);
    EXPECT_EQ(LastCode(), 0);

    // Without a callback the findings wait in the list.
    scanner_->put_Callback(nullptr);
    EXPECT_TRUE(ScanCookies());
    Lines kept;
    LONG id = 0;
    BSTR location = nullptr;
    while (scanner_->GetNextDetectedItem(&id, &location) == S_OK && location) {
        kept.push_back(std::to_wstring(id) + L" " + TextOf(location));
        SysFreeString(location);
    }
    EXPECT_EQ(kept.size(), 2u);
}

TEST_F(LocationScansTest, AMissingCookieFolderIsReportedButNoFailure) {
    ASSERT_TRUE(Initialize());
    UseSink();
    cookie_folder_.reset();
    EXPECT_TRUE(ScanCookies());
    EXPECT_EQ(LastError(), L"Error obtaining cookies folder.");
    EXPECT_EQ(LastCode(), 23);
    EXPECT_THAT(sink_.lines, ElementsAre(L"ScanComplete"));

    sink_.Clear();
    EXPECT_TRUE(ScanCookiesEx(Path("no such folder")));
    EXPECT_EQ(LastCode(), 23);
    EXPECT_THAT(sink_.lines, ElementsAre(L"ScanComplete"));

    // A folder given with a trailing backslash names its files with one.
    Write(Path("other\\bob@tracker.example[1].txt"), "cookie");
    sink_.Clear();
    EXPECT_TRUE(ScanCookiesEx(Path("other") + "\\"));
    EXPECT_THAT(sink_.Only(L"PestDetected"),
                ElementsAre(L"PestDetected 1004 Cookie \"tracker.example\" " +
                            FileAt(Path("other\\bob@tracker.example[1].txt"))));
}

TEST_F(LocationScansTest, AllUsersCookiesComeFromEveryProfile) {
    const std::string alice = AddProfile(NewFakeSid(), "alice", "unused");
    const std::string bob = AddProfile(NewFakeSid(), "bob", "unused", true);
    Write(alice + "\\cookies\\alice@tracker.example[1].txt", "cookie");
    Write(bob + "\\cookies\\bob@tracker.example[1].txt", "cookie");
    Write(bob + "\\cookies\\bob@clean.example[1].txt", "cookie");
    // The current user's folder of the shell is not where an all-users scan looks.
    Write(Path("cookies\\me@tracker.example[1].txt"), "cookie");
    ASSERT_TRUE(Initialize());
    UseSink();
    AllUsers(true);

    EXPECT_TRUE(ScanCookies());
    EXPECT_THAT(sink_.Only(L"PestDetected"),
                UnorderedElementsAreArray(Lines{
                    L"PestDetected 1004 Cookie \"tracker.example\" " +
                        FileAt(alice + "\\cookies\\alice@tracker.example[1].txt"),
                    L"PestDetected 1004 Cookie \"tracker.example\" " +
                        FileAt(bob + "\\cookies\\bob@tracker.example[1].txt"),
                }));
    EXPECT_EQ(sink_.lines.back(), L"ScanComplete");

    // The asynchronous form scans the current user's folder whatever the flag.
    sink_.Clear();
    ComPtr<IThreadControl> control;
    ASSERT_EQ(scanner_->ScanCookiesAsync(control.Put()), S_OK);
    ASSERT_TRUE(control);
    control->WaitForCompletion();
    EXPECT_THAT(sink_.Only(L"PestDetected"),
                ElementsAre(L"PestDetected 1004 Cookie \"tracker.example\" " +
                            FileAt(Path("cookies\\me@tracker.example[1].txt"))));
}

TEST_F(LocationScansTest, AllUsersFormsRefuseSystemsWithoutProfiles) {
    ASSERT_TRUE(Initialize());
    UseSink();
    AllUsers(true);
    struct Case {
        std::optional<OsVersion> version;
        LONG code;
        bool complete;
    };
    const Case cases[] = {
        {std::nullopt, 17, false},                                 // unknown
        {OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 0}, 22, false},  // Windows 95
        {OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 10}, 22, true},  // Windows 98
        {OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 90}, 22, true},  // Windows Me
    };
    for (const Case& c : cases) {
        const FixedOsVersion version(c.version);
        const ScopedOsVersionSource seam(version);
        for (const bool cookies : {true, false}) {
            sink_.Clear();
            EXPECT_FALSE(cookies ? ScanCookies() : ScanCommonLocations());
            EXPECT_EQ(LastCode(), c.code);
            EXPECT_EQ(sink_.lines, c.complete ? Lines{L"ScanComplete"} : Lines{});
        }
    }
}

// --- Start-up entries and common locations ---------------------------------------------

TEST_F(LocationScansTest, EveryStartupProgramIsScannedOnce) {
    const std::string startup_pest = Pest("mystartup\\pest.exe");
    std::filesystem::create_directories(scratch_.path() / "mystartup" / "folder");
    const std::string pest_one = Pest("programs\\pest one.exe");
    const std::string two = Pest("programs\\two.exe");
    const std::string bare = Pest("path\\olvexbare");
    const std::string hijack = Pest("programs\\hijack.exe");
    const std::string classes = Pest("programs\\classes.exe");
    const std::string shell = Pest("programs\\shell.exe");
    const std::string setup = Pest("path\\olvexsetup.exe");
    const std::string remmed = Pest("programs\\remmed.exe");
    const std::string tool = Pest("programs\\tool.com");

    const HKEY lm = places_.local_machine;
    const HKEY cu = places_.current_user;
    SetString(lm, kRun, "one", "\"" + pest_one + "\" /background");
    SetString(lm, kRun, "again", startup_pest);  // also in the Startup folder
    SetString(lm, kRun, "gone", Path("programs\\gone.exe"));
    SetString(lm, kRunOnce, "bare", "olvexbare");
    SetString(lm, "Software\\CLASSES\\comfile\\shell\\open\\command", "", classes + " \"%1\"");
    SetString(cu, kRun, "two", "%OLVEX_TEST_PROGRAMS%\\two.exe -x", REG_EXPAND_SZ);
    SetString(cu, kRun, "count", "7", REG_DWORD);
    SetString(places_.classes_root, "exefile\\shell\\open\\command", "", hijack + " \"%1\" %*");
    SetString(places_.classes_root, "batfile\\shell\\open\\command", "", "\"%1\" %*");
    // Win.ini's [windows] entries are the current user's "Windows" key on the
    // NT family (Wine maps them too): a shared key, left alone here.
    Write(Path("windows\\System.ini"), "[boot]\r\nshell=" + shell + "\r\n");
    Write(Path("windows\\winstart.bat"),
          "rem " + remmed + "\r\n  echo " + remmed + "\r\n\r\nolvexsetup /q\r\n");
    Write(Path("autoexec.bat"), Path("programs\\tool") + "\r\n");
    ASSERT_TRUE(Initialize());
    UseSink();

    EXPECT_TRUE(ScanCommonLocations());
    const std::wstring scratch = Wide(root_);
    Lines started;
    for (const auto& line : sink_.Only(L"StartingItem File")) {
        if (line.find(scratch) != std::wstring::npos &&
            line.find(L"\\pf\\") == std::wstring::npos &&
            line.find(L"olvexstart.exe") == std::wstring::npos)
            started.push_back(line);
    }
    const auto starting = [&](const std::string& path) { return L"StartingItem " + FileAt(path); };
    EXPECT_THAT(started, ElementsAreArray(Lines{
                             starting(startup_pest),
                             starting(pest_one),
                             starting(bare),
                             starting(two),
                             starting(hijack),
                             starting(classes),
                             starting(shell),
                             starting(setup),
                             starting(tool),
                         }));
    EXPECT_EQ(sink_.Only(L"PestDetected 1001").size(), 9u);
    // One scan, one end.
    EXPECT_THAT(sink_.Only(L"ScanComplete"), ElementsAre(L"ScanComplete"));
    EXPECT_EQ(sink_.lines.back(), L"ScanComplete");
}

TEST_F(LocationScansTest, CommonLocationEventsFollowTheGoldenList) {
    Pest("pf\\OlvexTest\\listed.exe");
    std::filesystem::create_directories(scratch_.path() / "pf" / "OlvexTest" / "Excluded");
    {
        ComPtr<IExcluder> excluder;
        ASSERT_EQ(com::CreateEngineObject(CLSID_Excluder, excluder.Put()), S_OK);
        VARIANT_BOOL ok = 7;
        ASSERT_EQ(excluder->Initialize(Bstr(Path("exclusions") + "\\"), &ok), S_OK);
        ComPtr<IExcludedItem> item;
        ASSERT_EQ(com::CreateEngineObject(CLSID_ExcludedItem, item.Put()), S_OK);
        item->SetString(Bstr("PestId \"1005\""));
        ASSERT_EQ(excluder->AddExclusion(item.Get(), &ok), S_OK);
        ASSERT_EQ(ok, VARIANT_TRUE);
    }
    ASSERT_TRUE(Initialize());
    UseSink();

    EXPECT_TRUE(ScanCommonLocations());

    // The start-up entries (an empty Startup folder, no registry entries, no
    // ini entries, no batch files) ask their questions first.
    Lines expected = {L"StartingItem Common Locations"};
    expected.insert(expected.end(), 2 + 17 + 3, L"ShouldScanContinue");
    const CDatDatabase& database = database_->database();
    for (DatCursor cursor = database.FirstPathLocation(); !cursor.AtEnd(); cursor.Advance()) {
        const DatPathLocation entry = *cursor.GetPathLocation();
        const std::wstring location = (entry.is_folder ? L"Folder \"" : L"File \"") +
                                      Wide(database.ExpandPathMacros(entry.path)) + L"\"";
        expected.push_back(L"ShouldScanContinue");
        if (entry.pest_id == 1005) {
            expected.push_back(L"VerboseInformation Location " + location +
                               L" was excluded from scan.");
            continue;
        }
        expected.push_back(L"StartingItem " + location);
        if (entry.path.find("listed.exe") != std::string::npos) {
            expected.push_back(L"VerboseInformation IScanner::DetectPest invoked.");
            expected.push_back(L"PestDetected 1003 " + location);
        }
        expected.push_back(L"FinishedItem " + location);
    }
    expected.push_back(L"FinishedItem Common Locations");
    expected.push_back(L"ScanComplete");
    EXPECT_THAT(sink_.lines, ElementsAreArray(expected));

    // A stop at the first location ends the section with the abort.
    sink_.Clear();
    sink_.should_continue = [](int question) { return question <= 2 + 17 + 3; };
    EXPECT_TRUE(ScanCommonLocations());
    const Lines tail(sink_.lines.end() - 4, sink_.lines.end());
    EXPECT_THAT(tail, ElementsAre(L"ShouldScanContinue", L"FinishedItem Common Locations",
                                  L"ScanAborted Aborted by user.", L"ScanComplete"));
}

TEST_F(LocationScansTest, AllUsersCommonLocationsMountEveryProfileAndLeaveNoHive) {
    const std::string alice_sid = NewFakeSid();
    const std::string bob_sid = NewFakeSid();
    const std::string alice_program = Pest("programs\\alice.exe");
    const std::string bob_program = Pest("programs\\bob.exe");
    const std::string alice = AddProfile(alice_sid, "alice", alice_program);
    const std::string bob = AddProfile(bob_sid, "bob", bob_program);
    const std::string bob_start =
        Pest("profiles\\bob\\Start Menu\\Programs\\Startup\\olvexstart.exe");
    // The current user's own entries are reached through the users' hives,
    // not as the current user.
    SetString(places_.current_user, kRun, "mine", Pest("programs\\mine.exe"));
    SetString(places_.current_user,
              "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
              "Startup", "%USERPROFILE%\\Start Menu\\Programs\\Startup", REG_EXPAND_SZ);
    ASSERT_TRUE(Initialize());
    UseSink();
    AllUsers(true);

    EXPECT_TRUE(ScanCommonLocations());
    // The programs the hives start, and every profile's Startup folder.
    EXPECT_THAT(sink_.Mentioning(L"StartingItem " + FileAt(alice_program)), ::testing::SizeIs(1));
    EXPECT_THAT(sink_.Mentioning(L"StartingItem " + FileAt(bob_program)), ::testing::SizeIs(1));
    EXPECT_THAT(sink_.lines, Not(Contains(L"StartingItem " + FileAt(Path("programs\\mine.exe")))));
    // %STARTUP% in every profile: the file scan of bob's Startup folder and
    // the location check both find his.
    const std::wstring alice_start =
        FileAt(alice + "\\Start Menu\\Programs\\Startup\\olvexstart.exe");
    EXPECT_THAT(sink_.lines, Contains(L"StartingItem " + alice_start));
    EXPECT_THAT(sink_.lines, Not(Contains(L"PestDetected 1006 " + alice_start)));
    EXPECT_THAT(sink_.Only(L"PestDetected 1006"),
                ElementsAre(L"PestDetected 1006 " + FileAt(bob_start)));
    EXPECT_EQ(sink_.lines.back(), L"ScanComplete");
    EXPECT_THAT(OurMountedHives(), IsEmpty());

    // The asynchronous form is the current user's scan whatever the flag.
    sink_.Clear();
    ComPtr<IThreadControl> control;
    ASSERT_EQ(scanner_->ScanCommonLocationsAsync(control.Put()), S_OK);
    ASSERT_TRUE(control);
    control->WaitForCompletion();
    EXPECT_THAT(sink_.lines, Not(Contains(L"StartingItem " + FileAt(alice_program))));
    EXPECT_THAT(sink_.lines, Contains(L"StartingItem " + FileAt(Path("programs\\mine.exe"))));
    const std::string mine_start =
        database_->database().ExpandPathMacros("%STARTUP%\\olvexstart.exe");
    EXPECT_THAT(sink_.Only(L"StartingItem " + FileAt(mine_start)), ::testing::SizeIs(1));
    EXPECT_EQ(sink_.lines.back(), L"ScanComplete");
}

// --- Asynchronous forms ------------------------------------------------------------

TEST_F(LocationScansTest, AsynchronousScansRefuseBeforeInitialisation) {
    UseSink();
    ComPtr<IThreadControl> control;
    EXPECT_EQ(scanner_->ScanCookiesAsync(control.Put()), S_OK);
    EXPECT_FALSE(control);
    EXPECT_EQ(LastError(), L"Not initialized.");
    EXPECT_EQ(LastCode(), 0);
    EXPECT_EQ(scanner_->ScanCommonLocationsAsync(control.Put()), S_OK);
    EXPECT_FALSE(control);
    EXPECT_THAT(sink_.lines, IsEmpty());
}

TEST_F(LocationScansTest, WaitForCompletionReturnsAfterScanComplete) {
    Write(Path("cookies\\bob@tracker.example[1].txt"), "cookie");
    ASSERT_TRUE(Initialize());
    UseSink();
    ComPtr<IThreadControl> control;
    ASSERT_EQ(scanner_->ScanCookiesAsync(control.Put()), S_OK);
    ASSERT_TRUE(control);
    EXPECT_EQ(control->WaitForCompletion(), S_OK);
    EXPECT_EQ(sink_.lines.back(), L"ScanComplete");
    EXPECT_THAT(sink_.Only(L"PestDetected"), ::testing::SizeIs(1));
    VARIANT_BOOL running = 7;
    EXPECT_EQ(control->IsRunning(&running), S_OK);
    EXPECT_EQ(running, VARIANT_FALSE);
}

TEST_F(LocationScansTest, StopEndsAScanWithNoLaterEvent) {
    for (int i = 0; i < 5; ++i)
        Pest("mystartup\\pest" + std::to_string(i) + ".exe");
    ASSERT_TRUE(Initialize());
    UseSink();
    // The scan holds at its first start-up program until the test has
    // paused it; it then stops before its next event.
    Event reached, release;
    sink_.on_line = [&](const std::wstring& line) {
        if (line.starts_with(L"StartingItem File") &&
            sink_.Only(L"StartingItem File").size() == 1) {
            reached.Set();
            release.Wait();
        }
    };
    ComPtr<IThreadControl> control;
    ASSERT_EQ(scanner_->ScanCommonLocationsAsync(control.Put()), S_OK);
    ASSERT_TRUE(control);
    ASSERT_TRUE(reached.Wait());
    EXPECT_EQ(control->Pause(), S_OK);
    release.Set();
    EXPECT_EQ(control->Stop(), S_OK);

    VARIANT_BOOL running = 7;
    control->IsRunning(&running);
    EXPECT_EQ(running, VARIANT_FALSE);
    ASSERT_FALSE(sink_.lines.empty());
    EXPECT_TRUE(sink_.lines.back().starts_with(L"StartingItem File"))
        << testing::Narrow(sink_.lines.back());
    EXPECT_THAT(sink_.Only(L"ScanComplete"), IsEmpty());
    EXPECT_THAT(sink_.Only(L"ScanAborted"), IsEmpty());
    // The scanner is free for the next scan.
    sink_.on_line = nullptr;
    sink_.Clear();
    EXPECT_TRUE(ScanCommonLocations());
    EXPECT_EQ(sink_.lines.back(), L"ScanComplete");
}

TEST_F(LocationScansTest, AsynchronousScansLeaveNoHandleBehind) {
    ASSERT_TRUE(Initialize());
    UseSink();
    sink_.record_questions = false;
    const auto run = [&] {
        ComPtr<IThreadControl> control;
        ASSERT_EQ(scanner_->ScanCookiesAsync(control.Put()), S_OK);
        ASSERT_TRUE(control);
        control->WaitForCompletion();
    };
    for (int i = 0; i < 5; ++i)
        run();
    const DWORD before = testing::OpenHandleCount();
    for (int i = 0; i < 200; ++i)
        run();
    EXPECT_LE(testing::OpenHandleCount(), before + 2);
    EXPECT_EQ(sink_.Only(L"ScanComplete").size(), 205u);
}

}  // namespace
}  // namespace olvex
