#include "olvex/remedy/exterminator_object.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "olvex/core/ansi_code_page.h"
#include "olvex/core/crc32.h"
#include "olvex/core/engine_log.h"
#include "olvex/core/dat_test_support.h"
#include "olvex/core/path_macros.h"
#include "olvex/core/process_dat_database.h"
#include "olvex/core/location.h"
#include "olvex/remedy/pest_removal.h"
#include "olvex/remedy/remedy_test_support.h"
#include "olvex/remedy/session_archive.h"
#include "olvex/scan/user_hives.h"
#include "olvex/zip/zip_reader.h"
#include "testing/programs/special_remover_standin.h"
#include "testing/test_programs.h"
#include "testing/test_registry_key.h"

namespace olvex {
namespace {

namespace fs = std::filesystem;
using com::ComPtr;
using com::UniqueBstr;
using namespace olvex::testing;

std::string QzcleanStandin() {
    return Narrow(WindowsPath(OLVEX_QZCLEAN_STANDIN));
}

// The folders the host side made for these tests (links, a locked
// quarantine); empty when the tests run without them.
std::string HostFixtures() {
#ifdef OLVEX_REMEDY_FIXTURES_DIR
    const std::string dir = Narrow(WindowsPath(OLVEX_REMEDY_FIXTURES_DIR));
    return fs::exists(dir) ? dir : std::string();
#else
    return {};
#endif
}

std::string Quoted(const std::string& name, const std::string& value) {
    return name + " \"" + value + "\"";
}

struct Exterminator {
    ScratchDir data;
    ComPtr<IExterminator> ext;
    std::string quarantine_folder;

    Exterminator() {
        EXPECT_EQ(com::CreateEngineObject(CLSID_Exterminator, ext.Put()), S_OK);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(ext->Initialize(Bstr(data.path().string()).Get(), &ok), S_OK);
        EXPECT_EQ(ok, VARIANT_TRUE) << Error();
        quarantine_folder = data.path().string() + "\\Quarantine";
    }
    bool Exterminate(long pest, const std::string& location, bool quarantine = false) {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(ext->ExterminatePest(pest, Bstr(location).Get(),
                                       quarantine ? VARIANT_TRUE : VARIANT_FALSE, &ok),
                  S_OK);
        EXPECT_TRUE(ok == VARIANT_TRUE || ok == VARIANT_FALSE);
        return ok == VARIANT_TRUE;
    }
    std::string Error() { return LastErrorOf(ext.Get()); }
    bool RebootRequired() {
        VARIANT_BOOL reboot = 7;
        EXPECT_EQ(ext->IsRebootRequired(&reboot), S_OK);
        return reboot == VARIANT_TRUE;
    }
    // The session archives in the quarantine folder.
    std::vector<std::string> Archives() const {
        std::vector<std::string> archives;
        if (!fs::exists(quarantine_folder))
            return archives;
        for (const auto& entry : fs::directory_iterator(quarantine_folder)) {
            if (entry.path().extension() == ".zip")
                archives.push_back(entry.path().string());
        }
        return archives;
    }
    // A client's quarantine object on the same folder.
    ComPtr<IQuarantine> Quarantine() {
        ComPtr<IQuarantine> quarantine;
        EXPECT_EQ(com::CreateEngineObject(CLSID_Quarantine, quarantine.Put()), S_OK);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(quarantine->Initialize(Bstr(data.path().string()).Get(), &ok), S_OK);
        EXPECT_EQ(ok, VARIANT_TRUE);
        return quarantine;
    }
};

// The engine's own log of a data folder.
std::string EngineLog(const std::string& base) {
    const auto path = fs::path(base) / "Logs" / "qzv5log.log";
    if (!fs::exists(path))
        return {};
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The engine log line of a failed removal holds the engine's text.
void ExpectLoggedFailure(const std::string& base, long pest, const std::string& location,
                         const std::string& error) {
    const std::string log = EngineLog(base);
    const std::string expected = "Event \"Removal failed\"PestId \"" + std::to_string(pest) +
                                 "\"Location \"" + LogPairValue(location) + "\"Error \"" +
                                 LogPairValue(error) + "\"entryid \"";
    EXPECT_NE(log.find(expected), std::string::npos) << expected << "\nin:\n" << log;
}

// A file held open without any sharing, as a running pest holds its files.
class HeldFile {
  public:
    explicit HeldFile(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << path;
    }
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    void Release() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE handle_;
};

// A reset value is written without a terminating zero; reading it back with
// the ANSI calls may add one (Wine does), which is no part of the text.
StoredValue TextOf(StoredValue value) {
    while (!value.data.empty() && value.data.back() == 0)
        value.data.pop_back();
    return value;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Leaves a copy of a session archive in the host-side fixture folder, with a
// manifest, for session_archive_oracle.py to open with Python's zipfile and
// Info-ZIP's unzip after this program ends (those tools run natively only).
// Manifest lines: entry name, comment (hex), CRC-32 of the original file
// ("-" for registry data, whose text the engine makes).
void KeepForOutsideTools(const std::string& archive,
                         const std::map<std::string, std::vector<unsigned char>>& originals) {
    const auto fixtures = HostFixtures();
    if (fixtures.empty())
        return;
    const std::string folder = fixtures + "\\session";
    fs::create_directories(folder);
    ASSERT_TRUE(CopyFileA(archive.c_str(), (folder + "\\session.zip").c_str(), FALSE));
    ZipReader reader;
    ASSERT_EQ(reader.OpenFile(archive), ZipError::kNone);
    std::ofstream manifest(folder + "\\manifest.txt", std::ios::binary);
    const MultiByteText mb(AnsiCodePageText());
    std::size_t known = 0;
    for (std::size_t i = 0; i < reader.EntryCount(); ++i) {
        const auto* entry = reader.Entry(i);
        Location location(mb);
        location.SetString(entry->comment);
        std::string crc = "-";
        const auto file = location.GetAttributeValue(kAttrFile);
        for (const auto& [path, bytes] : originals) {
            if (!file || Lower(*file) != Lower(path))
                continue;
            char text[9];
            std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(Crc32(bytes)));
            crc = text;
            ++known;
        }
        manifest << entry->name << "\t" << Hex(entry->comment) << "\t" << crc << "\n";
    }
    // Every original the test knew is in the archive, so its data get checked.
    EXPECT_EQ(known, originals.size());
}

std::vector<std::string> CommentsOf(const std::string& archive) {
    ZipReader reader;
    EXPECT_EQ(reader.OpenFile(archive), ZipError::kNone);
    std::vector<std::string> comments;
    for (std::size_t i = 0; i < reader.EntryCount(); ++i)
        comments.push_back(reader.Entry(i)->comment);
    return comments;
}

std::size_t QuarantinedItemCount(IQuarantine* quarantine) {
    std::size_t count = 0;
    ComPtr<IQuarantinedItem> item;
    EXPECT_EQ(quarantine->GetFirstQuarantinedItem(item.Put()), S_OK);
    while (item) {
        ++count;
        EXPECT_EQ(quarantine->GetNextQuarantinedItem(item.Put()), S_OK);
    }
    return count;
}

bool RestoreOnlySession(IQuarantine* quarantine) {
    ComPtr<IQuarantineSession> session;
    EXPECT_EQ(quarantine->GetFirstQuarantineSession(session.Put()), S_OK);
    if (!session)
        return false;
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(quarantine->RestoreQuarantineSession(session.Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE) << LastErrorOf(quarantine);
    return ok == VARIANT_TRUE;
}

// Puts PendingFileRenameOperations back as it was: a test that makes the
// engine schedule a deletion must not leave it for the shared prefix.
class PendingRenamesGuard {
  public:
    PendingRenamesGuard() { had_ = Read(saved_); }
    ~PendingRenamesGuard() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return;
        if (had_)
            RegSetValueExA(key, kValue, 0, REG_MULTI_SZ, saved_.data(),
                           static_cast<DWORD>(saved_.size()));
        else
            RegDeleteValueA(key, kValue);
        RegCloseKey(key);
    }
    PendingRenamesGuard(const PendingRenamesGuard&) = delete;
    PendingRenamesGuard& operator=(const PendingRenamesGuard&) = delete;

    // What is pending now, one path after the other.
    std::string Now() const {
        std::vector<BYTE> data;
        Read(data);
        std::string text(data.begin(), data.end());
        std::replace(text.begin(), text.end(), '\0', '\n');
        return text;
    }

  private:
    static constexpr char kKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
    static constexpr char kValue[] = "PendingFileRenameOperations";
    static bool Read(std::vector<BYTE>& data) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return false;
        DWORD size = 0;
        DWORD type = 0;
        bool found = RegQueryValueExA(key, kValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
        data.resize(size);
        found = found &&
                RegQueryValueExA(key, kValue, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
        RegCloseKey(key);
        return found;
    }
    bool had_ = false;
    std::vector<BYTE> saved_;
};

// The client's callback during a scan: the detections, as the scan dialog
// collects them for the cleaning that follows.
class DetectionSink final : public IScannerCallback {
  public:
    std::vector<std::pair<LONG, std::string>> detections;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IScannerCallback)) {
            *object = static_cast<IScannerCallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Owned by the test: counted, never deleted here.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE ScanComplete() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ScanAborted(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishedItem(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE StartingItem(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PestDetected(LONG pest_id, BSTR location) override {
        detections.emplace_back(pest_id, Text(location));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShouldScanContinue(VARIANT_BOOL*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE VerboseInformation(BSTR) override { return S_OK; }

  private:
    std::atomic<ULONG> references_{0};
};

// Scans with definitions published for the test pest: a folder scan of
// Program Files finds its program by signature, the common-location scan its
// data folder, the cookie scan its cookie. Gives the locations they reported
// for the pest, sorted.
std::vector<std::string> ScanForTestPest(const std::string& program_files,
                                         const std::string& cookies, const std::string& defs,
                                         const std::string& exe) {
    FakeSpecialFolders folders;
    folders.shell = {{kCsidlProgramFiles, program_files}};
    const ScopedProcessDatDatabase database(&folders);
    std::uint32_t crc = 0;
    EXPECT_TRUE(GetFileHeadCrc32(exe, crc));
    char crc_text[16];
    std::snprintf(crc_text, sizeof crc_text, "%08x", static_cast<unsigned>(crc));
    fs::create_directories(defs);
    PublishSource(defs, std::string("block 2004-03-15 09:40:00\n"
                                    "pest 1001 \"OlvexTest.Adware.Alpha\" \"Adware\"\n"
                                    "signature 1001 crc ") +
                            crc_text +
                            "\n"
                            "folder 1001 \"%PROGRAM_FILES%\\OlvexTest\\Beta\"\n"
                            "cookie 1001 \"olvextest-tracker\"\n");
    ComPtr<IScanner> scanner;
    EXPECT_EQ(com::CreateEngineObject(CLSID_Scanner, scanner.Put()), S_OK);
    DetectionSink sink;
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(scanner->Initialize(Bstr(defs).Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(scanner->put_Callback(&sink), S_OK);
    EXPECT_EQ(scanner->ScanFolder(Bstr(program_files).Get(), VARIANT_TRUE, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(scanner->ScanCommonLocations(&ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(scanner->ScanCookiesEx(Bstr(cookies).Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    scanner.Reset();
    std::vector<std::string> found;
    for (const auto& [id, location] : sink.detections) {
        EXPECT_EQ(id, 1001) << location;
        if (std::find(found.begin(), found.end(), location) == found.end())
            found.push_back(location);
    }
    std::sort(found.begin(), found.end());
    return found;
}

TEST(Exterminator, RemovesEveryKindOfLocationAfterKeepingItInOneSession) {
    Exterminator x;
    ScratchDir machine;
    TestRegistryKey registry;
    const std::string install = machine.File("Program Files\\OlvexTest");
    fs::create_directories(install);
    const std::string exe = install + "\\alpha.exe";
    ASSERT_TRUE(CopyFileA(TestProgramPath("test_pest.exe").c_str(), exe.c_str(), FALSE));
    const auto exe_bytes = ReadFileBytes(exe);
    const std::string tree = install + "\\Beta";
    machine.Write("Program Files\\OlvexTest\\Beta\\a.txt", "alpha");
    machine.Write("Program Files\\OlvexTest\\Beta\\Sub\\b.bin", PatternBytes(9000, 5));
    const auto tree_before = TreeOf(tree);
    const std::string cookie = machine.Write("Cookies\\user@olvextest-tracker[1].txt", "cookie");
    const std::string key = registry.Path() + "\\Alpha";
    SetValue(registry.Root(), key, "Installed", REG_DWORD, {1, 0, 0, 0});
    SetValue(registry.Root(), key + "\\Settings", "Home", REG_SZ, Sz("http://olvextest.example/"));
    const std::string run = registry.Path() + "\\Run";
    SetValue(registry.Root(), run, "OlvexTestAlpha", REG_SZ, Sz(exe));
    SetValue(registry.Root(), run, "Other", REG_SZ, Sz("kept"));
    const auto key_before = RegistryTreeOf(registry.Root(), key);
    const auto run_before = RegistryTreeOf(registry.Root(), run);

    // The scans find the program, its folder and its cookie; the process and
    // the registry entries are given as the memory and registry scans name
    // such places, which keeps this test to the definitions above.
    const auto scanned = ScanForTestPest(machine.File("Program Files"), machine.File("Cookies"),
                                         machine.File("defs"), exe);
    const std::string cookie_location =
        Quoted("Cookie", "olvextest-tracker") + " " + Quoted("File", cookie);
    ASSERT_EQ(scanned.size(), 3u);
    EXPECT_EQ(scanned[0], cookie_location);
    EXPECT_EQ(scanned[1], Quoted("File", exe));
    // The common-location scan names the folder as its record expands, in
    // whatever case that gives.
    EXPECT_EQ(Lower(scanned[2]), Lower(Quoted("Folder", tree)));
    PestProcesses pests;
    const HANDLE process = pests.Start(exe);
    ASSERT_NE(process, nullptr);
    // In the scan dialog's order: processes, cookies, files, folders, registry.
    const std::vector<std::string> locations = {
        Quoted("ProcessId", std::to_string(GetProcessId(process))) + " " + Quoted("File", exe),
        scanned[0],
        scanned[1],
        scanned[2],
        Quoted("Key", "hkey_current_user \\" + key),
        Quoted("Key", "hkey_current_user \\" + run) + " " + Quoted("value", "OlvexTestAlpha") +
            " " + Quoted("data", exe),
    };
    for (const auto& location : locations) {
        EXPECT_TRUE(x.Exterminate(1001, location, true)) << location << ": " << x.Error();
        EXPECT_EQ(x.Error(), "Success.");
    }
    EXPECT_TRUE(HasEnded(process));
    EXPECT_FALSE(fs::exists(exe));
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_FALSE(fs::exists(cookie));
    EXPECT_FALSE(KeyExists(registry.Root(), key));
    // A value with data is reset to a harmless text; the key's others stay.
    auto run_after = RegistryTreeOf(registry.Root(), run);
    EXPECT_EQ(TextOf(run_after["|OlvexTestAlpha"]), (StoredValue{REG_SZ, TextBytes(" ")}));
    run_after.erase("|OlvexTestAlpha");
    auto others_before = run_before;
    others_before.erase("|OlvexTestAlpha");
    EXPECT_EQ(run_after, others_before);
    EXPECT_FALSE(x.RebootRequired());

    // One session for the run; the file location found its file gone.
    const auto archives = x.Archives();
    ASSERT_EQ(archives.size(), 1u);
    const auto comments = CommentsOf(archives[0]);
    ASSERT_EQ(comments.size(), 6u);  // exe, cookie, two tree files, key, value
    EXPECT_EQ(comments[0], " PestId \"1001\" " + locations[0]);
    EXPECT_EQ(comments[1], " PestId \"1001\" " + locations[1]);
    EXPECT_TRUE(comments[2].ends_with(" PestId \"1001\" " + locations[3])) << comments[2];
    EXPECT_TRUE(comments[3].ends_with(" PestId \"1001\" " + locations[3])) << comments[3];
    EXPECT_TRUE(comments[4].ends_with(" PestId \"1001\" " + locations[4])) << comments[4];
    EXPECT_TRUE(comments[5].ends_with(" PestId \"1001\" " + locations[5])) << comments[5];
    auto quarantine = x.Quarantine();
    EXPECT_EQ(QuarantinedItemCount(quarantine.Get()), 5u);
    KeepForOutsideTools(archives[0], {{exe, exe_bytes},
                                      {cookie, TextBytes("cookie")},
                                      {tree + "\\a.txt", tree_before.at("a.txt")},
                                      {tree + "\\Sub\\b.bin", tree_before.at("Sub\\b.bin")}});

    ASSERT_TRUE(RestoreOnlySession(quarantine.Get()));
    EXPECT_EQ(ReadFileBytes(exe), exe_bytes);
    EXPECT_EQ(TreeOf(tree), tree_before);
    EXPECT_EQ(ReadFileBytes(cookie), TextBytes("cookie"));
    EXPECT_EQ(RegistryTreeOf(registry.Root(), key), key_before);
    EXPECT_EQ(RegistryTreeOf(registry.Root(), run), run_before);
    EXPECT_TRUE(x.Archives().empty());
}

TEST(Exterminator, KeepsNothingAndRemovesNothingWhenTheSessionOrTheQuarantineFails) {
    ScratchDir machine;
    const std::string victim = machine.Write("Pest\\pest.exe", "pest");
    const std::string location = Quoted("File", victim);
    {
        // A session database that cannot be opened: no record can be written.
        Exterminator x;
        fs::remove(x.quarantine_folder + "\\qzqsdb.dat");
        fs::create_directory(x.quarantine_folder + "\\qzqsdb.dat");
        EXPECT_FALSE(x.Exterminate(7, location));
        EXPECT_EQ(x.Error(), "Error opening quarantine session database.");
        EXPECT_TRUE(fs::exists(victim));
        ExpectLoggedFailure(x.data.path().string(), 7, location, x.Error());
    }
    {
        // The quarantine refuses a duplicate: its text, and the file stays.
        Exterminator x;
        auto quarantine = x.Quarantine();
        VARIANT_BOOL ok = VARIANT_FALSE;
        quarantine->Q4(7, Bstr(location).Get(), &ok);
        ASSERT_EQ(ok, VARIANT_TRUE);
        EXPECT_FALSE(x.Exterminate(7, location, true));
        EXPECT_EQ(x.Error(), "Pest already exists in database.");
        EXPECT_TRUE(fs::exists(victim));
        x.ext->put_vbAllowQuarantineDuplicates(VARIANT_TRUE);
        EXPECT_TRUE(x.Exterminate(7, location, true)) << x.Error();
        EXPECT_FALSE(fs::exists(victim));
    }
    const auto fixtures = HostFixtures();
    if (fixtures.empty())
        GTEST_SKIP() << "the host-side fixtures are missing";
    // A quarantine folder that takes no new file: the session archive cannot
    // be written.
    machine.Write("Pest\\pest.exe", "pest");
    ComPtr<IExterminator> locked;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Exterminator, locked.Put()), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(locked->Initialize(Bstr(fixtures + "\\locked").Get(), &ok), S_OK);
    ASSERT_EQ(ok, VARIANT_TRUE);
    ASSERT_EQ(locked->ExterminatePest(7, Bstr(location).Get(), VARIANT_FALSE, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_TRUE(LastErrorOf(locked.Get()).starts_with("Error adding "))
        << LastErrorOf(locked.Get());
    EXPECT_TRUE(fs::exists(victim));
    // Nobody sees the error text of an unattended run: the engine log says why.
    ExpectLoggedFailure(fixtures + "\\locked", 7, location, LastErrorOf(locked.Get()));
}

TEST(Exterminator, RefusesProtectedPlacesAndNeverFollowsALink) {
    Exterminator x;
    char windows[MAX_PATH] = {};
    char system[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    char profile[MAX_PATH] = {};
    GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH);
    const std::string profiles = fs::path(profile).parent_path().string();
    char program_files[MAX_PATH] = {};
    GetEnvironmentVariableA("ProgramFiles", program_files, MAX_PATH);
    const struct {
        std::string location;
        std::string error;
    } refused[] = {
        {Quoted("Folder", windows), std::string("Error deleting folder ") + windows},
        {Quoted("Folder", system), std::string("Error deleting folder ") + system},
        {Quoted("Folder", "C:\\"), "Error deleting folder C:\\"},
        {Quoted("Folder", "C:"), "Error deleting folder C:"},
        {Quoted("Folder", profile), std::string("Error deleting folder ") + profile},
        {Quoted("Folder", profiles), "Error deleting folder " + profiles},
        {Quoted("Folder", program_files), std::string("Error deleting folder ") + program_files},
        {Quoted("Folder", std::string(program_files) + "\\..\\" + "Windows"),
         std::string("Error deleting folder ") + program_files + "\\..\\Windows"},
        {Quoted("File", windows), std::string("Error deleting file ") + windows},
        {Quoted("File", "win.ini"), "Error deleting file win.ini"},
        {Quoted("Key", "hkey_current_user \\Software"),
         "Error deleting registry key hkey_current_user \\Software"},
        {Quoted("Key", "hkey_local_machine \\Software\\Microsoft"),
         "Error deleting registry key hkey_local_machine \\Software\\Microsoft"},
        {Quoted("Key", "hkey_current_user \\Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
         "Error deleting registry key hkey_current_user "
         "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {Quoted("Key", "hkey_local_machine \\System\\CurrentControlSet\\Services"),
         "Error deleting registry key hkey_local_machine \\System\\CurrentControlSet\\Services"},
        {Quoted("Key", "HKEY_CURRENT_USER \\Software\\Pest"),
         "Error deleting registry key HKEY_CURRENT_USER \\Software\\Pest"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(x.Exterminate(1, r.location)) << r.location;
        EXPECT_EQ(x.Error(), r.error);
    }
    // Nothing of them was kept or touched.
    EXPECT_TRUE(x.Archives().empty());
    EXPECT_TRUE(fs::exists(std::string(windows) + "\\win.ini"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
    EXPECT_FALSE(x.RebootRequired());

    const auto fixtures = HostFixtures();
    if (fixtures.empty())
        GTEST_SKIP() << "the host-side fixtures are missing";
    // A pest folder with a link to a folder outside it: the pest's own file
    // goes, the file behind the link stays and is kept out of the session.
    // Wine cannot remove the link itself, so the folder's own removal is left
    // to the restart.
    const PendingRenamesGuard pending;
    const std::string pest = fixtures + "\\links\\pest";
    const std::string kept = fixtures + "\\links\\outside\\keep.txt";
    EXPECT_TRUE(x.Exterminate(2, Quoted("Folder", pest), true)) << x.Error();
    EXPECT_FALSE(fs::exists(pest + "\\own.txt"));
    EXPECT_EQ(ReadFileBytes(kept), TextBytes("keep"));
    const auto archives = x.Archives();
    ASSERT_EQ(archives.size(), 1u);
    const auto comments = CommentsOf(archives[0]);
    ASSERT_EQ(comments.size(), 1u);
    EXPECT_TRUE(comments[0].starts_with(" File \"" + pest + "\\own.txt\"")) << comments[0];
}

TEST(Exterminator, AFileInUseIsNeverDeletedWithoutItsCopy) {
    Exterminator x;
    ScratchDir machine;
    const PendingRenamesGuard pending;
    const std::string folder = machine.File("Pest");
    const std::string held = machine.Write("Pest\\held.exe", "held");
    const std::string other = machine.Write("Pest\\other.txt", "other");
    const std::string cookie = machine.Write("Cookies\\user@tracker[1].txt", "cookie");
    HeldFile hold(held);
    HeldFile hold_cookie(cookie);

    // The file itself: not deleted, not scheduled, false with the reason.
    const std::string file_location = Quoted("File", held);
    EXPECT_FALSE(x.Exterminate(4, file_location));
    EXPECT_EQ(x.Error(), "The file " + held +
                             " is in use by another program and could not be kept in the "
                             "quarantine; it was not deleted.");
    EXPECT_EQ(x.Error(), InUseText(held));
    EXPECT_TRUE(fs::exists(held));
    EXPECT_TRUE(x.Archives().empty());
    ExpectLoggedFailure(x.data.path().string(), 4, file_location, x.Error());

    // Its folder: the rest goes into the session and away, the held file and
    // so the folder stay, and the call says so.
    const std::string folder_location = Quoted("Folder", folder);
    EXPECT_FALSE(x.Exterminate(4, folder_location));
    EXPECT_EQ(x.Error(), "Error deleting folder " + folder +
                             ": 1 item stayed in it (1 could not be kept in the quarantine; the "
                             "first: " +
                             InUseText(held) + ").");
    EXPECT_TRUE(fs::exists(held));
    EXPECT_FALSE(fs::exists(other));
    ExpectLoggedFailure(x.data.path().string(), 4, folder_location, x.Error());
    EXPECT_EQ(pending.Now().find(held), std::string::npos) << pending.Now();
    EXPECT_FALSE(x.RebootRequired());

    // What the client has removed without keeping it (a cookie, here) is
    // still deleted at the restart when it is in use.
    x.ext->put_vbQuarantineCookies(VARIANT_FALSE);
    EXPECT_TRUE(x.Exterminate(3, Quoted("Cookie", "tracker") + " " + Quoted("File", cookie)))
        << x.Error();
    EXPECT_NE(pending.Now().find(cookie), std::string::npos) << pending.Now();
    EXPECT_TRUE(x.RebootRequired());

    // What went is in the session, and only that.
    hold.Release();
    const auto archives = x.Archives();
    ASSERT_EQ(archives.size(), 1u);
    const auto comments = CommentsOf(archives[0]);
    ASSERT_EQ(comments.size(), 1u);
    EXPECT_TRUE(comments[0].starts_with(" File \"" + other + "\"")) << comments[0];
    ASSERT_TRUE(RestoreOnlySession(x.Quarantine().Get()));
    EXPECT_EQ(ReadFileBytes(other), TextBytes("other"));
    EXPECT_EQ(ReadFileBytes(held), TextBytes("held"));
}

TEST(Exterminator, AFolderKeepsWhatCouldNotComeBackAndSaysHowMuchStayed) {
    const auto fixtures = HostFixtures();
    if (fixtures.empty())
        GTEST_SKIP() << "the host-side fixtures are missing";
    Exterminator x;
    const std::string pest = fixtures + "\\odd\\pest";
    const auto names_in = [](const std::string& folder) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
                names.emplace_back(found.cFileName);
        } while (FindNextFileA(find, &found));
        FindClose(find);
        return names;
    };
    const auto before = names_in(pest);
    ASSERT_EQ(before.size(), 5u);
    EXPECT_FALSE(x.Exterminate(2, Quoted("Folder", pest)));
    EXPECT_TRUE(x.Error().starts_with("Error deleting folder " + pest +
                                      ": 3 items stayed in it (3 could not be kept in the "
                                      "quarantine; the first: "))
        << x.Error();
    // Only the odd three are left; what went is in the session.
    EXPECT_EQ(names_in(pest).size(), 3u);
    EXPECT_FALSE(fs::exists(pest + "\\own.txt"));
    EXPECT_FALSE(fs::exists(pest + "\\Sub"));
    const auto archives = x.Archives();
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(CommentsOf(archives[0]).size(), 2u);
    ASSERT_TRUE(RestoreOnlySession(x.Quarantine().Get()));
    EXPECT_EQ(ReadFileBytes(pest + "\\own.txt"), TextBytes("own"));
    EXPECT_EQ(ReadFileBytes(pest + "\\Sub\\own2.txt"), TextBytes("own2"));
}

TEST(Exterminator, RemovesPestClassesAndPestKeysOfAHiveButNotWhatWindowsOwns) {
    Exterminator x;
    const std::string suffix = std::to_string(GetCurrentProcessId());
    const std::string progid = "OlvexTest.Toolbar" + suffix;
    const std::string own = "OlvexTestPest" + suffix;
    // An extension and the file type it names, as programs register them.
    const std::string extension = ".olvextest" + suffix;
    const std::string file_type = "olvextestfile" + suffix;
    struct Cleanup {
        std::vector<std::pair<HKEY, std::string>> keys;
        ~Cleanup() {
            for (const auto& [root, key] : keys)
                SHDeleteKeyA(root, key.c_str());
        }
    } cleanup{{{HKEY_CLASSES_ROOT, progid},
               {HKEY_CURRENT_USER, own},
               {HKEY_CLASSES_ROOT, extension},
               {HKEY_CLASSES_ROOT, file_type}}};
    SetValue(HKEY_CLASSES_ROOT, progid, "", REG_SZ, Sz("Olvex test toolbar"));
    SetValue(HKEY_CLASSES_ROOT, progid + "\\CLSID", "", REG_SZ,
             Sz("{0A1B2C3D-0000-4000-8000-0000000000AB}"));
    SetValue(HKEY_CURRENT_USER, own, "Marker", REG_SZ, Sz("pest"));
    SetValue(HKEY_CLASSES_ROOT, extension, "", REG_SZ, Sz(file_type));
    SetValue(HKEY_CLASSES_ROOT, file_type + "\\shell\\open\\command", "", REG_SZ,
             Sz("notepad.exe %1"));
    const auto progid_before = RegistryTreeOf(HKEY_CLASSES_ROOT, progid);
    const auto own_before = RegistryTreeOf(HKEY_CURRENT_USER, own);

    // Windows' own classes stay: the class ids, an extension key, and a file
    // type an extension names. Refused before anything is kept or touched.
    for (const std::string owned : {std::string("CLSID"), std::string(".exe"), extension, file_type,
                                    std::string("Directory")}) {
        const std::string key_text = "hkey_classes_root \\" + owned;
        EXPECT_FALSE(x.Exterminate(9, Quoted("Key", key_text))) << owned;
        EXPECT_EQ(x.Error(), "Error deleting registry key " + key_text);
    }
    for (const auto& owned : {std::string("CLSID"), extension, file_type})
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, owned)) << owned;
    EXPECT_TRUE(x.Archives().empty());

    // A pest's ProgID and a pest's key directly in the user's hive go.
    EXPECT_TRUE(x.Exterminate(9, Quoted("Key", "hkey_classes_root \\" + progid))) << x.Error();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, progid));
    EXPECT_TRUE(x.Exterminate(9, Quoted("Key", "hkey_current_user \\" + own))) << x.Error();
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, own));
    // Both were kept and come back as they were.
    const auto archives = x.Archives();
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(CommentsOf(archives[0]).size(), 2u);
    ASSERT_TRUE(RestoreOnlySession(x.Quarantine().Get()));
    EXPECT_EQ(RegistryTreeOf(HKEY_CLASSES_ROOT, progid), progid_before);
    EXPECT_EQ(RegistryTreeOf(HKEY_CURRENT_USER, own), own_before);
}

TEST(Exterminator, PassesOverWhatIsGoneAndHonoursItsFlags) {
    Exterminator x;
    ScratchDir machine;
    TestRegistryKey registry;
    // Gone already: true, "Success.", nothing kept.
    x.ext->put_bsLastError(Bstr("old text").Get());
    const std::string gone[] = {
        Quoted("File", machine.File("gone.exe")),
        Quoted("Folder", machine.File("Gone Folder")),
        Quoted("File", machine.File("No Folder\\gone.exe")),
        Quoted("Key", "hkey_current_user \\" + registry.Path() + "\\Gone"),
        Quoted("Key", "hkey_current_user \\" + registry.Path()) + " " + Quoted("value", "Gone"),
    };
    for (const auto& location : gone) {
        x.ext->put_bsLastError(Bstr("old text").Get());
        EXPECT_TRUE(x.Exterminate(1, location, true)) << location;
        EXPECT_EQ(x.Error(), "Success.");
    }
    EXPECT_TRUE(x.Archives().empty());
    EXPECT_EQ(QuarantinedItemCount(x.Quarantine().Get()), 0u);

    // A value without data is deleted; "DefaultValue" is what a reset writes.
    SetValue(registry.Root(), registry.Path(), "Plain", REG_SZ, Sz("x"));
    SetValue(registry.Root(), registry.Path(), "Hijacked", REG_SZ, Sz("http://pest.example/"));
    const std::string key_text = "hkey_current_user \\" + registry.Path();
    EXPECT_TRUE(x.Exterminate(1, Quoted("Key", key_text) + " " + Quoted("value", "Plain")));
    EXPECT_TRUE(x.Exterminate(1, Quoted("Key", key_text) + " " + Quoted("value", "Hijacked") + " " +
                                     Quoted("data", "http://pest.example/") + " " +
                                     Quoted("DefaultValue", "about:blank")));
    const auto values = RegistryTreeOf(registry.Root(), registry.Path());
    EXPECT_EQ(values.count("|Plain"), 0u);
    EXPECT_EQ(TextOf(values.at("|Hijacked")), (StoredValue{REG_SZ, TextBytes("about:blank")}));

    // Flags: only -1 is true.
    VARIANT_BOOL flag = 0;
    x.ext->get_vbQuarantineCookies(&flag);
    EXPECT_EQ(flag, VARIANT_TRUE);
    x.ext->put_vbQuarantineCookies(1);
    x.ext->get_vbQuarantineCookies(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);
    x.ext->put_vbAllowQuarantineDuplicates(1);
    x.ext->get_vbAllowQuarantineDuplicates(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);
    // Cookies are then removed without being kept.
    const std::string cookie = machine.Write("user@tracker[2].txt", "c");
    ASSERT_EQ(x.Archives().size(), 1u);  // the two values above
    const auto kept_before = CommentsOf(x.Archives()[0]).size();
    EXPECT_TRUE(x.Exterminate(3, Quoted("Cookie", "tracker") + " " + Quoted("File", cookie)))
        << x.Error();
    EXPECT_FALSE(fs::exists(cookie));
    EXPECT_EQ(CommentsOf(x.Archives()[0]).size(), kept_before);

    // Members that are accepted and do nothing.
    VARIANT_BOOL untouched = 7;
    EXPECT_EQ(x.ext->get_vbLogEnabled(&untouched), S_OK);
    EXPECT_EQ(x.ext->Immunize(&untouched), S_OK);
    EXPECT_EQ(x.ext->RemoveImmunization(&untouched), S_OK);
    EXPECT_EQ(untouched, 7);
    UniqueBstr folder;
    ASSERT_EQ(x.ext->get_bsQuarantineFolder(folder.Put()), S_OK);
    EXPECT_EQ(Text(folder.Get()), x.quarantine_folder);
}

TEST(Exterminator, EndsOnlyThePestsOwnProcess) {
    Exterminator x;
    ScratchDir machine;
    const std::string exe = machine.File("pest.exe");
    const std::string other = machine.File("other.exe");
    ASSERT_TRUE(CopyFileA(TestProgramPath("test_pest.exe").c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(TestProgramPath("test_pest.exe").c_str(), other.c_str(), FALSE));
    PestProcesses pests;
    const HANDLE running = pests.Start(other);
    ASSERT_NE(running, nullptr);
    const std::string id = std::to_string(GetProcessId(running));

    // The id now runs another program than the location names: the pest has
    // ended, and the other program is left alone.
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(x.ext->TerminatePestProcess(
                  1, Bstr(Quoted("ProcessId", id) + " " + Quoted("File", exe)).Get(), &ok),
              S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(WaitForSingleObject(running, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // The engine's own process is never ended.
    EXPECT_FALSE(x.Exterminate(1, Quoted("ProcessId", std::to_string(GetCurrentProcessId()))));
    EXPECT_EQ(x.Error(), "Error terminating process ID " + std::to_string(GetCurrentProcessId()));

    ASSERT_EQ(x.ext->TerminatePestProcess(1, Bstr(Quoted("File", other)).Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(x.Error(), "Location is not a process.");
    ASSERT_EQ(x.ext->TerminatePestProcess(
                  1, Bstr(Quoted("ProcessId", id) + " " + Quoted("File", other)).Get(), &ok),
              S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_TRUE(HasEnded(running));
    ASSERT_EQ(x.ext->TerminatePestProcess(1, Bstr(Quoted("ProcessId", id)).Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(x.Error(), "Error opening process with terminate permissions.");
    // For ExterminatePest a process that is gone is no error.
    EXPECT_TRUE(x.Exterminate(1, Quoted("ProcessId", id)));
}

// A catalogue that records which providers were removed, and whether their
// DLL was still there at that moment.
class FakeCatalogue : public WinsockCatalogue {
  public:
    explicit FakeCatalogue(std::string dll) : dll_(std::move(dll)) {}
    std::optional<std::vector<WinsockProtocolEntry>> Protocols() override {
        if (removed_)
            return std::vector<WinsockProtocolEntry>{};
        WinsockProtocolEntry entry;
        entry.catalog_entry_id = 1001;
        entry.provider_id.Data1 = 0x0A1B0001;
        entry.provider_path = dll_;
        entry.chain_length = 0;
        return std::vector<WinsockProtocolEntry>{entry};
    }
    std::optional<std::vector<WinsockNameSpaceEntry>> NameSpaceProviders() override {
        return std::vector<WinsockNameSpaceEntry>{};
    }
    int DeinstallProvider(const GUID&) override {
        removed_ = true;
        dll_present_at_removal_ = fs::exists(dll_);
        return 0;
    }
    int EnableNameSpaceProvider(const GUID&, bool) override { return 0; }
    int UninstallNameSpace(const GUID&) override { return 0; }
    bool removed_ = false;
    bool dll_present_at_removal_ = false;

  private:
    std::string dll_;
};

TEST(Exterminator, TakesADllsWinsockProvidersOutBeforeTheDllGoes) {
    Exterminator x;
    ScratchDir machine;
    const std::string dll = machine.Write("layered.dll", "not really a dll");
    FakeCatalogue catalogue(dll);
    const ScopedWinsockCatalogue seam(catalogue);
    EXPECT_TRUE(x.Exterminate(5, Quoted("File", dll))) << x.Error();
    EXPECT_FALSE(fs::exists(dll));
    EXPECT_TRUE(catalogue.removed_);
    EXPECT_TRUE(catalogue.dll_present_at_removal_);
}

// In a folder that goes, the DLL is found by the short path the catalogue
// names it by, among files whose names match no provider.
TEST(Exterminator, TakesAWinsockProviderOutOfAFolderBeforeTheFolderGoes) {
    Exterminator x;
    ScratchDir machine;
    for (int i = 0; i < 20; ++i)
        machine.Write("Pest Folder\\Sub Folder\\Other File " + std::to_string(i) + ".txt", "x");
    const std::string dll = machine.Write("Pest Folder\\Sub Folder\\Layered Provider.dll", "dll");
    char short_path[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(dll.c_str(), short_path, MAX_PATH), 0u);
    ASSERT_NE(std::string(short_path), dll);
    FakeCatalogue catalogue(short_path);
    const ScopedWinsockCatalogue seam(catalogue);
    EXPECT_TRUE(x.Exterminate(5, Quoted("Folder", machine.File("Pest Folder")))) << x.Error();
    EXPECT_FALSE(fs::exists(machine.File("Pest Folder")));
    EXPECT_TRUE(catalogue.removed_);
    EXPECT_TRUE(catalogue.dll_present_at_removal_);
}

// A profile of a user who is not logged on, whose hive holds a pest key.
class OtherUser {
  public:
    OtherUser() : seam_(location_) {
        static std::atomic<unsigned> counter{0};
        sid_ = "S-1-5-21-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(counter++) + "-1004";
        location_.root = registry_.Root();
        location_.path = registry_.Path() + "\\ProfileList";
        const std::string folder = profiles_.path().string();
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(location_.root, (location_.path + "\\" + sid_).c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "ProfileImagePath", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>(folder.size() + 1));
        RegCloseKey(key);
        const std::string source = registry_.Path() + "\\Hive";
        SetValue(registry_.Root(), source + "\\Software\\OlvexPest", "Marker", REG_SZ, Sz("pest"));
        SetValue(registry_.Root(), source + "\\Software\\Kept", "Marker", REG_SZ, Sz("kept"));
        EXPECT_TRUE(EnableBackupRestorePrivileges());
        EXPECT_EQ(RegOpenKeyExA(registry_.Root(), source.c_str(), 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSaveKeyA(key, (folder + "\\ntuser.dat").c_str(), nullptr), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    ~OtherUser() { RegUnLoadKeyA(HKEY_USERS, MountName().c_str()); }
    OtherUser(const OtherUser&) = delete;
    OtherUser& operator=(const OtherUser&) = delete;

    std::string MountName() const { return kHiveMountPrefix + sid_; }
    bool Mounted() const { return KeyExists(HKEY_USERS, MountName()); }

  private:
    TestRegistryKey registry_;
    ScratchDir profiles_;
    ProfileListLocation location_;
    ScopedProfileListLocation seam_;
    std::string sid_;
};

TEST(Exterminator, AHiveMountedForOneCallIsUnloadedHoweverTheCallEnds) {
    Exterminator x;
    OtherUser user;
    const std::string hive = "hkey_users \\" + user.MountName();
    // Refused (a hive's top-level key), gone already, removed: each unloads.
    EXPECT_FALSE(x.Exterminate(1, Quoted("Key", hive + "\\Software")));
    EXPECT_FALSE(user.Mounted());
    EXPECT_TRUE(x.Exterminate(1, Quoted("Key", hive + "\\Software\\Gone")));
    EXPECT_FALSE(user.Mounted());
    EXPECT_TRUE(x.Exterminate(1, Quoted("Key", hive + "\\Software\\OlvexPest"))) << x.Error();
    EXPECT_FALSE(user.Mounted());
    // The session kept the key as it was in the hive.
    const auto archives = x.Archives();
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(CommentsOf(archives[0]).size(), 1u);
    // Wine does not write an unloaded hive back to its file, so the removal
    // itself is looked at with the hive mounted beforehand: a hive the call
    // did not mount stays mounted.
    MountedHives mounted;
    ASSERT_TRUE(EnsureUserHiveLoaded(user.MountName(), mounted));
    EXPECT_TRUE(x.Exterminate(1, Quoted("Key", hive + "\\Software\\OlvexPest"))) << x.Error();
    EXPECT_TRUE(user.Mounted());
    EXPECT_FALSE(KeyExists(HKEY_USERS, user.MountName() + "\\Software\\OlvexPest"));
    EXPECT_TRUE(KeyExists(HKEY_USERS, user.MountName() + "\\Software\\Kept"));
}

// A QZClean folder of the test's own: the stand-in remover and its index.
struct RemoverFolder {
    ScratchDir install;  // the main program's install folder
    std::string core;    // the data folder beside it, with the remover
    RemoverFolder(const std::string& index) {
        core = install.path().string() + "\\core";
        fs::create_directories(core);
        EXPECT_TRUE(CopyFileA(QzcleanStandin().c_str(), (core + "\\qzclean.exe").c_str(), FALSE));
        std::ofstream(core + "\\qzsrindex.dat", std::ios::binary) << index;
    }
    std::vector<ActivityLogEntry> Log() const { return ReadSpecialRemoverLog(install.path()); }
};

TEST(Exterminator, HandsSpecialPestsToTheScriptedRemoverOncePerSession) {
    ScratchDir machine;
    const std::string doomed = machine.Write("doomed.dll", "special");
    const std::string leftover = machine.Write("leftover.exe", "left");
    const RemoverFolder remover("500=delete:" + doomed + ";exit:3;\r\n" +
                                "501=exit:300;\r\n"
                                "500=exit:7;\r\n");
    ComPtr<IExterminator> ext;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Exterminator, ext.Put()), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(ext->InitializeEx(Bstr(remover.install.path().string() + "\\").Get(),
                                Bstr(remover.core + "\\").Get(), &ok),
              S_OK);
    ASSERT_EQ(ok, VARIANT_TRUE) << LastErrorOf(ext.Get());
    VARIANT_BOOL required = VARIANT_FALSE;
    ext->RequiresSpecialRemover(500, &required);
    EXPECT_EQ(required, VARIANT_TRUE);
    ext->RequiresSpecialRemover(502, &required);
    EXPECT_EQ(required, VARIANT_FALSE);
    const auto exterminate = [&](long pest, const std::string& location, bool quarantine) {
        VARIANT_BOOL success = 7;
        EXPECT_EQ(ext->ExterminatePest(pest, Bstr(location).Get(),
                                       quarantine ? VARIANT_TRUE : VARIANT_FALSE, &success),
                  S_OK);
        return success == VARIANT_TRUE;
    };

    // Such a pest cannot be quarantined; nothing runs, nothing goes.
    EXPECT_FALSE(exterminate(500, Quoted("File", leftover), true));
    EXPECT_EQ(LastErrorOf(ext.Get()),
              "This pest requires a special remover and cannot be quarantined.");
    EXPECT_TRUE(remover.Log().empty());
    EXPECT_TRUE(fs::exists(doomed));

    // The remover gets "/clean /" and the pest's texts in index order; its
    // exit code comes back; the pest's other locations go without a session.
    EXPECT_TRUE(exterminate(500, Quoted("File", leftover), false)) << LastErrorOf(ext.Get());
    auto log = remover.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].location, "/clean /delete:" + doomed + ";exit:3;exit:7;");
    EXPECT_EQ(log[1].action, "Deleted");
    EXPECT_FALSE(fs::exists(doomed));
    EXPECT_FALSE(fs::exists(leftover));
    ULONG code = 0;
    ext->get_dwLastQZCleanExitCode(&code);
    EXPECT_EQ(code, 7u);
    VARIANT_BOOL reboot = VARIANT_FALSE;
    ext->IsRebootRequired(&reboot);
    EXPECT_EQ(reboot, VARIANT_TRUE);
    // Nothing of a special pest goes into the session.
    for (const auto& entry : fs::directory_iterator(remover.install.path() / "Quarantine"))
        EXPECT_NE(entry.path().extension(), ".zip") << entry.path();

    // Once per pest and session.
    EXPECT_TRUE(exterminate(500, Quoted("File", machine.File("again.exe")), false));
    EXPECT_EQ(remover.Log().size(), 4u);

    // Silent, and an exit code above 255 arrives whole.
    ext->put_vbQZCleanSilent(1);
    VARIANT_BOOL silent = VARIANT_TRUE;
    ext->get_vbQZCleanSilent(&silent);
    EXPECT_EQ(silent, VARIANT_FALSE);
    ext->put_vbQZCleanSilent(VARIANT_TRUE);
    EXPECT_TRUE(exterminate(501, Quoted("File", machine.File("gone.exe")), false));
    log = remover.Log();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[4].location, "/clean /silent /exit:300;");
    ext->get_dwLastQZCleanExitCode(&code);
    EXPECT_EQ(code, 300u);

    // A remover that is missing: the shell's answer in words, and false.
    ASSERT_EQ(ext->InitializeEx(Bstr(remover.install.path().string() + "\\").Get(),
                                Bstr(remover.core).Get(), &ok),
              S_OK);
    ASSERT_EQ(ok, VARIANT_TRUE);
    fs::remove(remover.core + "\\qzclean.exe");
    const std::string still = machine.Write("still.exe", "still");
    EXPECT_FALSE(exterminate(500, Quoted("File", still), false));
    EXPECT_EQ(LastErrorOf(ext.Get()), "The scripted removal application could not be found.");
    EXPECT_TRUE(fs::exists(still));
}

TEST(Exterminator, InitializeExChecksTheRemoversFolder) {
    const RemoverFolder complete("1=exit:0;\n");
    ScratchDir empty;
    const std::string no_index = empty.path().string() + "\\no-index";
    fs::create_directories(no_index);
    ASSERT_TRUE(CopyFileA(QzcleanStandin().c_str(), (no_index + "\\qzclean.exe").c_str(), FALSE));
    const struct {
        const char* what;
        std::optional<std::string> folder;
        const char* error;
    } cases[] = {
        {"null", std::nullopt, "Error.  bsQZCleanFolder parameter must be non-null"},
        {"missing", empty.File("missing"),
         "Error.  bsQZCleanFolder does not represent a valid folder. "},
        {"no remover", empty.path().string(),
         "Error. QZClean.exe could not be found in the specified folder."},
        {"no index", no_index, "Error. QZSRIndex.dat could not be found in the specified folder."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<IExterminator> ext;
        ASSERT_EQ(com::CreateEngineObject(CLSID_Exterminator, ext.Put()), S_OK);
        VARIANT_BOOL ok = VARIANT_TRUE;
        const auto folder = c.folder ? Bstr(*c.folder) : UniqueBstr();
        ASSERT_EQ(ext->InitializeEx(Bstr(empty.path().string()).Get(), folder.Get(), &ok), S_OK);
        EXPECT_EQ(ok, VARIANT_FALSE);
        EXPECT_EQ(LastErrorOf(ext.Get()), c.error);
        VARIANT_BOOL initialized = VARIANT_TRUE;
        ext->IsInitialized(&initialized);
        EXPECT_EQ(initialized, VARIANT_FALSE);
    }

    // InitializeEx2 passes its first two on; the plain Initialize reads the
    // index beside the engine, where a test build has none.
    ComPtr<IExterminator> ext;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Exterminator, ext.Put()), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(ext->InitializeEx2(Bstr(empty.path().string()).Get(), Bstr(complete.core).Get(),
                                 nullptr, nullptr, &ok),
              S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE) << LastErrorOf(ext.Get());
    VARIANT_BOOL required = VARIANT_FALSE;
    ext->RequiresSpecialRemover(1, &required);
    EXPECT_EQ(required, VARIANT_TRUE);
    ASSERT_EQ(ext->Initialize(Bstr(empty.path().string()).Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    ext->RequiresSpecialRemover(1, &required);
    EXPECT_EQ(required, VARIANT_FALSE);

    // A web address as the quarantine folder means the temporary folder.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string expected = temp;
    if (expected.ends_with("\\"))
        expected.pop_back();
    expected += "\\Quarantine";
    const bool was_there = fs::exists(expected);
    ASSERT_EQ(ext->Initialize(Bstr("HTTP://example.invalid/data").Get(), &ok), S_OK);
    UniqueBstr folder;
    ext->get_bsQuarantineFolder(folder.Put());
    EXPECT_EQ(Text(folder.Get()), expected);
    if (!was_there)
        fs::remove_all(expected);
}

TEST(Exterminator, ANewSessionRemovesPartialArchivesOfARunEndedMidWrite) {
    Exterminator x;
    ScratchDir victim;
    const auto pest = victim.Write("pest.exe", "pest");
    ASSERT_TRUE(x.Exterminate(5, "File \"" + pest + "\"")) << x.Error();
    ASSERT_EQ(x.Archives().size(), 1u);
    const std::string folder = x.quarantine_folder + "\\";
    // What killed runs left: partial archives of large sessions; one another
    // run is still writing; things that only look alike.
    const auto write = [](const std::string& path, std::size_t size) {
        std::ofstream(path, std::ios::binary) << std::string(size, 'z');
    };
    write(folder + "20050101000000.zip.tmp", 200000);
    write(folder + "20050101000001.ZIP.TMP", 10);
    write(folder + "20050101000002.zip.tmp", 10);
    write(folder + "notes.tmp", 10);
    write(folder + "20050101000003.zip.tmp.keep", 10);
    fs::create_directory(folder + "folder.zip.tmp");
    const HeldFile writing(folder + "20050101000002.zip.tmp");

    // Only a new session clears them.
    ASSERT_TRUE(x.Exterminate(5, "File \"" + victim.Write("again.exe", "again") + "\""));
    EXPECT_TRUE(fs::exists(folder + "20050101000000.zip.tmp"));
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(x.ext->Initialize(Bstr(x.data.path().string()).Get(), &ok), S_OK);
    ASSERT_EQ(ok, VARIANT_TRUE);
    EXPECT_FALSE(fs::exists(folder + "20050101000000.zip.tmp"));
    EXPECT_FALSE(fs::exists(folder + "20050101000001.ZIP.TMP"));
    EXPECT_TRUE(fs::exists(folder + "20050101000002.zip.tmp"));
    EXPECT_TRUE(fs::exists(folder + "notes.tmp"));
    EXPECT_TRUE(fs::exists(folder + "20050101000003.zip.tmp.keep"));
    EXPECT_TRUE(fs::is_directory(folder + "folder.zip.tmp"));
    // The session of the first run is untouched and still listed.
    EXPECT_EQ(x.Archives().size(), 1u);
    const std::string log = EngineLog(x.data.path().string());
    EXPECT_NE(log.find("Event \"Partial session archive removed\"File \"" +
                       LogPairValue(folder + "20050101000000.zip.tmp") + "\""),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("20050101000002.zip.tmp"), std::string::npos) << log;
}

TEST(Exterminator, SessionNamesAreFourteenUtcDigits) {
    SYSTEMTIME time{};
    time.wYear = 2005;
    time.wMonth = 12;
    time.wDay = 31;
    time.wHour = 23;
    time.wMinute = 59;
    time.wSecond = 9;
    EXPECT_EQ(SessionNameFor(time), "20051231235909");
}

}  // namespace
}  // namespace olvex
