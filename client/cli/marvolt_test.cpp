// Marvolt.exe itself under Wine: installed into a scratch install folder the
// way setup installs it, with definitions published for the test, run as a
// scheduled job starts it.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/common/activity_log.h"
#include "client/common/named_mutex.h"
#include "olvex/core/exclusion_file.h"
#include "olvex/olvex.h"
#include "olvex/registration_test_support.h"
#include "testing/image_first_page.h"
#include "testing/scratch_dir.h"
#include "testing/test_programs.h"
#include "testing/windows_test_support.h"
#include "tools/publisher/definition_set.h"
#include "tools/publisher/definition_writer.h"

namespace olvex::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kProductKey[] = "Software\\Vorandel\\KelvanGorsewatch";
constexpr char kInstanceMutex[] = "Global\\Gorsewatch5ConsumerCL";  // the prefix reports 5.2
constexpr char kPlantKey[] = "Software\\OlvexMarvoltTest";

std::string CommonFolder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

bool MutexExists(const char* name) {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex == nullptr)
        return false;
    CloseHandle(mutex);
    return true;
}

std::string ReadText(const fs::path& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Puts files back as they were: restored when they existed, removed when not.
class FilesRestored {
  public:
    explicit FilesRestored(std::vector<fs::path> paths) {
        for (auto& path : paths) {
            std::optional<std::vector<unsigned char>> bytes;
            if (fs::exists(path))
                bytes = ReadFileBytes(path);
            saved_.emplace_back(std::move(path), std::move(bytes));
        }
    }
    ~FilesRestored() {
        std::error_code ignored;
        for (const auto& [path, bytes] : saved_) {
            fs::remove(path, ignored);
            if (bytes) {
                std::ofstream out(path, std::ios::binary);
                out.write(reinterpret_cast<const char*>(bytes->data()),
                          static_cast<std::streamsize>(bytes->size()));
            }
        }
    }
    FilesRestored(const FilesRestored&) = delete;
    FilesRestored& operator=(const FilesRestored&) = delete;

  private:
    std::vector<std::pair<fs::path, std::optional<std::vector<unsigned char>>>> saved_;
};

// Folders that did not exist before are removed again when empty.
class FoldersRemoved {
  public:
    explicit FoldersRemoved(std::vector<fs::path> deepest_first) {
        for (auto& path : deepest_first) {
            if (!fs::exists(path))
                made_.push_back(std::move(path));
        }
    }
    ~FoldersRemoved() {
        std::error_code ignored;
        for (const auto& path : made_)
            fs::remove(path, ignored);
    }
    FoldersRemoved(const FoldersRemoved&) = delete;
    FoldersRemoved& operator=(const FoldersRemoved&) = delete;

  private:
    std::vector<fs::path> made_;
};

struct MessageBoxSeen {
    std::string text;
    bool activity_mutexes_held = false;
};

struct MarvoltRun {
    bool started = false;
    bool ended = false;
    DWORD exit_code = 0;
    std::vector<MessageBoxSeen> boxes;
};

struct BoxSearch {
    DWORD process_id;
    std::vector<HWND> found;
};

BOOL CALLBACK FindDialogs(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    if (owner == search->process_id && std::string(name) == "#32770")
        search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK LongestStatic(HWND child, LPARAM context) {
    auto* text = reinterpret_cast<std::string*>(context);
    char name[64] = {};
    GetClassNameA(child, name, sizeof(name));
    if (std::string(name) == "Static") {
        std::string value(4096, '\0');
        value.resize(static_cast<std::size_t>(
            GetWindowTextA(child, value.data(), static_cast<int>(value.size()))));
        if (value.size() > text->size())
            *text = value;
    }
    return TRUE;
}

// Runs the program and answers every message box it shows, noting its text
// and whether the activity mutexes existed while it was up.
MarvoltRun RunMarvolt(const std::string& exe, const std::string& arguments,
                      DWORD timeout_ms = 90000) {
    MarvoltRun run;
    std::string command = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    run.started = CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &process) != FALSE;
    if (!run.started)
        return run;
    CloseHandle(process.hThread);
    std::vector<HWND> answered;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > timeout_ms)
            break;
        BoxSearch search{process.dwProcessId, {}};
        EnumWindows(FindDialogs, reinterpret_cast<LPARAM>(&search));
        for (const HWND box : search.found) {
            if (std::find(answered.begin(), answered.end(), box) != answered.end())
                continue;
            MessageBoxSeen seen;
            seen.activity_mutexes_held =
                MutexExists(kPestActivityMutexName) || MutexExists(kScannerWindowMutexName);
            EnumChildWindows(box, LongestStatic, reinterpret_cast<LPARAM>(&seen.text));
            if (seen.text.empty())
                continue;  // found before its text was set: look again
            run.boxes.push_back(seen);
            answered.push_back(box);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    run.ended = WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
    if (!run.ended) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, &run.exit_code);
    CloseHandle(process.hProcess);
    return run;
}

std::string BoxTexts(const MarvoltRun& run) {
    std::string texts;
    for (const auto& box : run.boxes)
        texts += "[" + box.text + "] ";
    return texts;
}

// The members of the engine a full run needs, asked of the built DLL
// directly: until they are there, the runs that need them are skipped.
// An engine object made by the built DLL's own class factory.
bool CreateEngineObject(REFCLSID clsid, REFIID iid, void** object) {
    static const HMODULE dll = LoadLibraryW(EngineDllPath().c_str());
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto get = dll == nullptr ? nullptr
                                    : reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(
                                          GetProcAddress(dll, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    if (get == nullptr || FAILED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return false;
    const bool made = SUCCEEDED(factory->CreateInstance(nullptr, iid, object));
    factory->Release();
    return made;
}

// Restores the first quarantine session of the install folder; its result.
bool RestoreFirstQuarantineSession(const fs::path& install) {
    IQuarantine* quarantine = nullptr;
    if (!CreateEngineObject(CLSID_Quarantine, IID_IQuarantine,
                            reinterpret_cast<void**>(&quarantine)))
        return false;
    const std::wstring folder = install.wstring() + L"\\";
    BSTR folder_text = SysAllocString(folder.c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    IQuarantineSession* session = nullptr;
    const bool restored =
        SUCCEEDED(quarantine->Initialize(folder_text, &ok)) && ok == VARIANT_TRUE &&
        SUCCEEDED(quarantine->GetFirstQuarantineSession(&session)) && session != nullptr &&
        SUCCEEDED(quarantine->RestoreQuarantineSession(session, &ok)) && ok == VARIANT_TRUE;
    if (session != nullptr)
        session->Release();
    SysFreeString(folder_text);
    quarantine->Release();
    return restored;
}

std::string MissingEngineMembers() {
    std::string missing;
    const auto create = CreateEngineObject;
    IScanner* scanner = nullptr;
    if (create(CLSID_Scanner, IID_IScanner, reinterpret_cast<void**>(&scanner))) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        // Uninitialised, each scan that exists refuses at once.
        if (scanner->ScanMemory(&ok) == E_NOTIMPL)
            missing += "ScanMemory ";
        if (scanner->ScanRegistry(&ok) == E_NOTIMPL)
            missing += "ScanRegistry ";
        if (scanner->ScanCookies(&ok) == E_NOTIMPL)
            missing += "ScanCookies ";
        if (scanner->ScanCommonLocations(&ok) == E_NOTIMPL)
            missing += "ScanCommonLocations ";
        scanner->Release();
    }
    IExterminator* exterminator = nullptr;
    if (create(CLSID_Exterminator, IID_IExterminator, reinterpret_cast<void**>(&exterminator))) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        if (exterminator->ExterminatePest(-1, nullptr, VARIANT_FALSE, &ok) == E_NOTIMPL)
            missing += "ExterminatePest ";
        exterminator->Release();
    }
    return missing;
}

// The product as setup leaves it: Marvolt.exe and the engine in an install
// folder named by "InstallPath", definitions in its "core" folder. The
// registry, the shared engine copy and the product's data files are put back
// as they were afterwards.
class MarvoltTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The quarantine check makes engine objects in this process.
        com_ = SUCCEEDED(CoInitialize(nullptr));
        registration_ = std::make_unique<RegistrySnapshot>(HKEY_CLASSES_ROOT, RegistrationKeys());
        product_key_ = std::make_unique<RegistrySnapshot>(
            HKEY_LOCAL_MACHINE, std::vector<std::wstring>{L"Software\\Vorandel"});
        plant_key_ = std::make_unique<RegistrySnapshot>(
            HKEY_CURRENT_USER, std::vector<std::wstring>{L"Software\\OlvexMarvoltTest"});
        const fs::path shared = fs::path(CommonFolder(CSIDL_PROGRAM_FILES_COMMON)) / "Scanner";
        const fs::path company = fs::path(CommonFolder(CSIDL_COMMON_APPDATA)) / "XJ";
        product_folder_ = company / "KelvanGorsewatch";
        folders_ = std::make_unique<FoldersRemoved>(
            std::vector<fs::path>{product_folder_, company, shared});
        files_ = std::make_unique<FilesRestored>(std::vector<fs::path>{
            shared / "olvex.dll", product_folder_ / "QZv5Log.txt",
            product_folder_ / "qzscanhistory.txt", product_folder_ / "qzv5exe.ini"});
        for (const char* name : {"QZv5Log.txt", "qzscanhistory.txt", "qzv5exe.ini"})
            fs::remove(product_folder_ / name);

        install_ = dir_.path() / "Kelvan Gorsewatch";
        fs::create_directories(install_ / "core");
        exe_ = (install_ / "Marvolt.exe").string();
        fs::copy_file(Narrow(WindowsPath(OLVEX_MARVOLT_PATH)), exe_);
        fs::copy_file(Narrow(EngineDllPath()), install_ / "olvex.dll");
        // No pest here needs the scripted remover: its index is empty.
        dir_.Write("Kelvan Gorsewatch/core/qzsrindex.dat", std::string());
#ifdef OLVEX_QZCLEAN_PATH
        fs::copy_file(Narrow(WindowsPath(OLVEX_QZCLEAN_PATH)), install_ / "core" / "qzclean.exe");
#endif
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::string install = install_.string() + "\\";
        RegSetValueExA(key, "InstallPath", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(install.c_str()),
                       static_cast<DWORD>(install.size() + 1));
        RegCloseKey(key);
    }

    void TearDown() override {
        files_.reset();
        folders_.reset();
        plant_key_.reset();
        product_key_.reset();
        registration_.reset();
        if (com_)
            CoUninitialize();
    }

    // Publishes the source's definitions into the install folder's "core".
    void Publish(const std::string& source) {
        const auto parsed = tools::ParseDefinitionSource(
            source, Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR)), "marvolt-test.defs");
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        const auto files = tools::BuildDefinitionFiles(parsed.set);
        ASSERT_TRUE(files.ok()) << files.error;
        dir_.Write("Kelvan Gorsewatch/core/qzinfo.dat", files.pests);
        dir_.Write("Kelvan Gorsewatch/core/qzfile.dat", files.signatures);
        dir_.Write("Kelvan Gorsewatch/core/qzloc.dat", files.locations);
    }

    bool ScanHistoryWritten() const {
        return fs::exists(product_folder_ / "qzscanhistory.txt");
    }

    std::vector<ActivityLogEntry> LogEntries() const {
        int legacy = 0;
        return ReadActivityLog((product_folder_ / "QZv5Log.txt").string(), legacy).contents.entries;
    }

    bool com_ = false;
    ScratchDir dir_;
    fs::path install_;
    fs::path product_folder_;
    std::string exe_;
    std::unique_ptr<RegistrySnapshot> registration_;
    std::unique_ptr<RegistrySnapshot> product_key_;
    std::unique_ptr<RegistrySnapshot> plant_key_;
    std::unique_ptr<FoldersRemoved> folders_;
    std::unique_ptr<FilesRestored> files_;
};

TEST_F(MarvoltTest, GivesWayToARunningInstanceWithoutAWord) {
    Publish("block 2004-03-15 09:40:00\npest 3001 \"MarvoltTest.Alpha\" \"Adware\"\n");
    const HANDLE first = CreateMutexA(nullptr, FALSE, kInstanceMutex);
    ASSERT_NE(first, nullptr);
    const MarvoltRun run = RunMarvolt(exe_, "/ignore", 30000);
    CloseHandle(first);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(run.boxes.empty()) << BoxTexts(run);
    EXPECT_FALSE(ScanHistoryWritten());
    EXPECT_FALSE(fs::exists(product_folder_ / "QZv5Log.txt"));
}

TEST_F(MarvoltTest, GivesWayWhileAnotherProgramScansOrCleans) {
    Publish("block 2004-03-15 09:40:00\npest 3001 \"MarvoltTest.Alpha\" \"Adware\"\n");
    for (const char* held : {kPestActivityMutexName, kScannerWindowMutexName}) {
        SCOPED_TRACE(held);
        const HANDLE other = CreateMutexA(nullptr, FALSE, held);
        ASSERT_NE(other, nullptr);
        const MarvoltRun run = RunMarvolt(exe_, "/quarantine", 30000);
        ASSERT_TRUE(run.started);
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(run.exit_code, 0u);
        EXPECT_TRUE(run.boxes.empty()) << BoxTexts(run);
        // It got through its start-up (the log was opened, the engine
        // registered) but scanned nothing: no history.
        EXPECT_FALSE(ScanHistoryWritten());
        EXPECT_TRUE(fs::exists(product_folder_ / "QZv5Log.txt"));
        EXPECT_TRUE(ClassesKeyExists(L"olvex\\KelvanGorsewatch"));
        // The other program's mutex is untouched, and the program let go of
        // the other activity mutex it may have made.
        EXPECT_TRUE(MutexExists(held));
        CloseHandle(other);
        EXPECT_FALSE(MutexExists(kPestActivityMutexName));
        EXPECT_FALSE(MutexExists(kScannerWindowMutexName));
    }
}

TEST_F(MarvoltTest, ShowsAnEngineFailureOnlyAfterLettingGoOfTheActivityMutexes) {
    // No definitions: the scanner cannot be initialised.
    const MarvoltRun run = RunMarvolt(exe_, "/quarantine");
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.boxes.size(), 1u) << BoxTexts(run);
    EXPECT_EQ(run.boxes[0].text.rfind("Error! Scanner init failed (Error ", 0), 0u)
        << run.boxes[0].text;
    EXPECT_FALSE(run.boxes[0].activity_mutexes_held);
    EXPECT_FALSE(ScanHistoryWritten());
}

// The planted set: a file, a folder, a registry key and a running program of
// three pests, and a file of a pest id the database has no record of.
struct PlantedSet {
    fs::path root;
    fs::path alpha_file;
    fs::path beta_folder;
    fs::path orphan_file;
    std::string process_file;
    HANDLE process = nullptr;
};

// Rewrites the time stamp in a program's file header.
bool RestampImage(const std::string& path, DWORD stamp) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    std::uint32_t pe = 0;
    file.seekg(0x3C);
    file.read(reinterpret_cast<char*>(&pe), sizeof(pe));
    if (!file || pe == 0 || pe > 0x1000)
        return false;
    file.seekp(pe + 8);
    file.write(reinterpret_cast<const char*>(&stamp), sizeof(stamp));
    return static_cast<bool>(file);
}

std::string PlantedDefinitions(const PlantedSet& set, std::uint32_t memory_crc) {
    char crc[16];
    std::snprintf(crc, sizeof(crc), "0x%08X", memory_crc);
    return "block 2004-03-15 09:40:00\n"
           "pest 3001 \"MarvoltTest.Adware.Alpha\" \"Adware\"\n"
           "pest 3002 \"MarvoltTest.Spyware.Beta\" \"Spyware\"\n"
           "pest 3003 \"MarvoltTest.Trojan.Gamma\" \"Trojan\"\n"
           "signature 3001 file \"OlvexTest/alpha.exe\"\n"
           "memory 3003 " +
           std::string(crc) +
           "\n"
           "file 3001 \"" +
           set.alpha_file.string() +
           "\"\n"
           "key 3001 \"hkey_current_user \\" +
           kPlantKey +
           "\\Alpha\"\n"
           "folder 3002 \"" +
           set.beta_folder.string() +
           "\"\n"
           "file 3999 \"" +
           set.orphan_file.string() + "\"\n";
}

TEST_F(MarvoltTest, EachActionOverThePlantedSet) {
    const std::string missing = MissingEngineMembers();
    if (!missing.empty())
        GTEST_SKIP() << "the engine does not have these yet: " << missing;

    enum Expect { kKept, kRemoved };
    struct Case {
        const char* argument;
        const char* removal_action;  // the log's word for a removed item; null: none
        Expect items;
        bool quarantine_session;
        bool excluded;
    };
    const Case cases[] = {
        {"/ignore", nullptr, kKept, false, false},
        {"/quarantine", "Quarantined", kRemoved, true, false},
        {"/delete", "Quarantined", kRemoved, true, false},
        {"/exclude", nullptr, kKept, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        ScratchDir plant;
        // Declared after the folder, so a failed case ends the planted
        // program before its folder is removed.
        PestProcesses processes;
        PlantedSet set;
        set.root = plant.path();
        set.alpha_file = set.root / "alpha.exe";
        set.beta_folder = set.root / "Beta";
        set.orphan_file = set.root / "orphan.txt";
        fs::copy_file(
            fs::path(Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR))) / "OlvexTest" / "alpha.exe",
            set.alpha_file);
        plant.Write("Beta/beta.txt", std::string("beta"));
        plant.Write("orphan.txt", std::string("orphan"));
        set.process_file = (set.root / "gamma.exe").string();
        fs::copy_file(TestProgramPath("test_pest.exe"), set.process_file);
        // A stamp of its own, so the memory signature is this copy's alone and
        // the run cannot end other tests' copies of the same program.
        ASSERT_TRUE(RestampImage(set.process_file, GetTickCount() ^ GetCurrentProcessId()));
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kPlantKey) + "\\Alpha").c_str(),
                                  0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        const auto crc = MemorySignatureOfFile(set.process_file);
        ASSERT_TRUE(crc);
        for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat", "qzexc_en.dat"})
            fs::remove(install_ / "core" / name);
        Publish(PlantedDefinitions(set, *crc));
        set.process = processes.Start(set.process_file);
        ASSERT_NE(set.process, nullptr);
        fs::remove(product_folder_ / "QZv5Log.txt");
        fs::remove(product_folder_ / "qzscanhistory.txt");
        const auto exclusions_before = ReadFileBytes(install_ / "core" / "qzexc_en.dat");
        // What the scripted remover logged; removal runs move it into the log.
        ActivityLogEntry cleaned;
        cleaned.date_time = "3/15/2004-9:40:00 AM";
        cleaned.action = "Deleted";
        cleaned.pest_name = "CleanedByRemover";
        cleaned.category = "Adware";
        cleaned.pest_id = 3998;
        cleaned.location = "File \"C:\\gone.exe\"";
        const fs::path clean_log = install_ / "qzcleanlog.csv";
        dir_.Write("Kelvan Gorsewatch/qzcleanlog.csv", FormatActivityLogLine(cleaned));

        const MarvoltRun run = RunMarvolt(exe_, c.argument);
        ASSERT_TRUE(run.started);
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(run.exit_code, 0u);
        EXPECT_TRUE(run.boxes.empty()) << BoxTexts(run);
        EXPECT_FALSE(MutexExists(kPestActivityMutexName));
        EXPECT_FALSE(MutexExists(kScannerWindowMutexName));

        // Every planted item was found and logged; the unknown pest as "Unknown".
        const auto entries = LogEntries();
        std::map<std::int32_t, int> detected;
        std::map<std::string, std::vector<std::string>> actions_by_location;
        int removals = 0;
        for (const auto& entry : entries) {
            actions_by_location[entry.location].push_back(entry.action);
            if (entry.action == "Detected")
                ++detected[entry.pest_id];
            if (c.removal_action && entry.action == c.removal_action)
                ++removals;
            if (entry.pest_id == 3999) {
                EXPECT_EQ(entry.pest_name, "Unknown");
                EXPECT_EQ(entry.category, "Unknown");
            }
            if (entry.pest_id == 3001) {
                EXPECT_EQ(entry.pest_name, "MarvoltTest.Adware.Alpha");
            }
        }
        for (const std::int32_t id : {3001, 3002, 3003, 3999})
            EXPECT_GT(detected[id], 0) << "pest " << id;
        if (c.removal_action) {
            // Every planted item was removed once, each after its detection
            // (one place reported twice is removed the first time).
            EXPECT_GE(removals, 5);
            std::map<std::int32_t, int> removed_per_pest;
            for (const auto& entry : entries) {
                if (entry.action == c.removal_action)
                    ++removed_per_pest[entry.pest_id];
            }
            for (const std::int32_t id : {3001, 3002, 3003, 3999})
                EXPECT_GT(removed_per_pest[id], 0) << "pest " << id;
            for (const auto& [location, actions] : actions_by_location) {
                if (location != cleaned.location) {
                    EXPECT_EQ(actions.front(), "Detected") << location;
                }
            }
            // The clean log went in ahead of the run's own lines, and is gone.
            ASSERT_FALSE(entries.empty());
            EXPECT_EQ(entries.front().pest_id, cleaned.pest_id);
            EXPECT_EQ(entries.front().location, cleaned.location);
            EXPECT_FALSE(fs::exists(clean_log));
        } else {
            for (const auto& entry : entries)
                EXPECT_EQ(entry.action, "Detected");
            EXPECT_TRUE(fs::exists(clean_log));
        }
        fs::remove(clean_log);

        // The history: date and time, distinct pests, all detections.
        const std::string history = ReadText(product_folder_ / "qzscanhistory.txt");
        int total = 0;
        for (const auto& [id, count] : detected)
            total += count;
        const std::string tail =
            "\r\n" + std::to_string(detected.size()) + "\r\n" + std::to_string(total);
        ASSERT_GE(history.size(), tail.size());
        EXPECT_EQ(history.substr(history.size() - tail.size()), tail) << history;

        const bool removed = c.items == kRemoved;
        EXPECT_EQ(fs::exists(set.alpha_file), !removed);
        EXPECT_EQ(fs::exists(set.beta_folder), !removed);
        EXPECT_EQ(fs::exists(set.orphan_file), !removed);
        HKEY planted = nullptr;
        const bool key_there =
            RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kPlantKey) + "\\Alpha").c_str(), 0,
                          KEY_READ, &planted) == ERROR_SUCCESS;
        if (key_there)
            RegCloseKey(planted);
        EXPECT_EQ(key_there, !removed);
        EXPECT_EQ(WaitForSingleObject(set.process, removed ? 10000 : 0) == WAIT_OBJECT_0, removed);

        // Sessions are kept in the "Quarantine" folder of the install folder.
        const fs::path quarantine = install_ / "Quarantine";
        bool session = false;
        for (const auto& item : fs::directory_iterator(install_))
            session = session || item.path().extension() == ".zip";
        if (fs::exists(quarantine)) {
            for (const auto& item : fs::directory_iterator(quarantine))
                session = session || item.path().extension() == ".zip";
        }
        EXPECT_EQ(session, c.quarantine_session);
        if (session && c.quarantine_session) {
            // What was quarantined comes back from its session.
            EXPECT_TRUE(RestoreFirstQuarantineSession(install_));
            EXPECT_TRUE(fs::exists(set.alpha_file));
            EXPECT_TRUE(fs::exists(set.beta_folder));
            HKEY restored = nullptr;
            EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kPlantKey) + "\\Alpha").c_str(),
                                    0, KEY_READ, &restored),
                      ERROR_SUCCESS);
            if (restored)
                RegCloseKey(restored);
        }
        fs::remove_all(quarantine);

        const auto exclusions_after = ReadFileBytes(install_ / "core" / "qzexc_en.dat");
        if (c.excluded) {
            const auto texts = DecodeExclusionFile(exclusions_after);
            for (const char* id : {"3001", "3002", "3003", "3999"}) {
                EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const std::string& t) {
                    // The store keeps them in lower case.
                    return t.find("pestid") != std::string::npos &&
                           t.find(std::string("\"") + id + "\"") != std::string::npos;
                })) << id;
            }
            // Excluded pests are not found again.
            fs::remove(product_folder_ / "QZv5Log.txt");
            const MarvoltRun again = RunMarvolt(exe_, "/ignore");
            EXPECT_TRUE(again.boxes.empty()) << BoxTexts(again);
            EXPECT_TRUE(LogEntries().empty());
            const std::string second = ReadText(product_folder_ / "qzscanhistory.txt");
            EXPECT_EQ(second.substr(second.find("\r\n")), "\r\n0\r\n0");
            fs::remove(install_ / "core" / "qzexc_en.dat");
        } else {
            EXPECT_EQ(exclusions_after, exclusions_before);
        }
        SHDeleteKeyA(HKEY_CURRENT_USER, kPlantKey);
    }
}

}  // namespace
}  // namespace olvex::testing
