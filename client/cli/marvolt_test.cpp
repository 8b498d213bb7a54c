// Marvolt.exe itself under Wine: installed into a scratch install folder the
// way setup installs it, with definitions published for the test, run as a
// scheduled job starts it: every action over a planted set with its exact
// log lines, the demo's planted set, runs ended from outside in the middle
// of their removals, and a quarantine folder nothing can be written to.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "client/common/activity_log.h"
#include "client/common/client_md5.h"
#include "client/common/named_mutex.h"
#include "client/common/prevalence_form.h"
#include "client/common/proxy_settings.h"
#include "olvex/core/crc32.h"
#include "olvex/core/exclusion_file.h"
#include "olvex/olvex.h"
#include "olvex/registration_test_support.h"
#include "testing/http_test_server.h"
#include "testing/image_first_page.h"
#include "testing/logged_places.h"
#include "testing/published_definitions.h"
#include "testing/scratch_dir.h"
#include "testing/test_programs.h"
#include "testing/windows_test_support.h"

namespace olvex::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kProductKey[] = "Software\\Vorandel\\KelvanGorsewatch";
constexpr char kInstanceMutex[] = "Global\\Gorsewatch5ConsumerCL";  // the prefix reports 5.2
constexpr char kPlantKey[] = "Software\\OlvexMarvoltTest";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunValue[] = "OlvexMarvoltTestAlpha";

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

// A run under the test's eye as its debugger: the program's own traces
// ("Marvolt: ...") are read as they are written, and the run is ended with
// TerminateProcess at the moment it has written its detections and the
// given number of removals to the activity log (the trace of each such
// write follows it), while the program waits on that trace.
struct KilledRun {
    bool started = false;
    bool killed = false;
    bool ended = false;
    std::vector<std::string> traces;
};

KilledRun RunMarvoltKilledAfterRemovals(const std::string& exe, const std::string& arguments,
                                        int removals, DWORD timeout_ms = 120000) {
    KilledRun run;
    std::string command = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    run.started =
        CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE,
                       DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &startup, &process) != FALSE;
    if (!run.started)
        return run;
    CloseHandle(process.hThread);
    bool detections_written = false;
    int removals_written = 0;
    const DWORD start = GetTickCount();
    while (!run.ended && GetTickCount() - start < timeout_ms) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 100))
            continue;
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile)
                    CloseHandle(event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile)
                    CloseHandle(event.u.LoadDll.hFile);
                break;
            case EXCEPTION_DEBUG_EVENT:
                // The program's own exceptions are its own business.
                if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                    status = DBG_EXCEPTION_NOT_HANDLED;
                break;
            case OUTPUT_DEBUG_STRING_EVENT: {
                const auto& info = event.u.DebugString;
                std::string text(info.nDebugStringLength, '\0');
                SIZE_T got = 0;
                if (!info.fUnicode && ReadProcessMemory(process.hProcess, info.lpDebugStringData,
                                                        text.data(), text.size(), &got)) {
                    text.resize(std::min<std::size_t>(got, text.find('\0')));
                    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                        text.pop_back();
                    if (text.starts_with("Marvolt: ")) {
                        run.traces.push_back(text);
                        detections_written =
                            detections_written || text == "Marvolt: detections written";
                        if (text.starts_with("Marvolt: removal written: "))
                            ++removals_written;
                        if (!run.killed && detections_written && removals_written == removals) {
                            TerminateProcess(process.hProcess, 9);
                            run.killed = true;
                        }
                    }
                }
                break;
            }
            case EXIT_PROCESS_DEBUG_EVENT:
                run.ended = true;
                break;
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    if (!run.ended) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 10000);
    }
    CloseHandle(process.hProcess);
    return run;
}

// The activity log's lines as the file holds them, without their line ends.
std::vector<std::string> RawLogLines(const fs::path& path) {
    const std::string text = ReadText(path);
    std::vector<std::string> lines;
    for (const auto line : SplitActivityLogLines(text))
        lines.emplace_back(line);
    return lines;
}

// Whether a line has the nine fields of the activity log, each with its
// comma, exactly as the writer makes them: read and written again, it is
// the same line.
bool HasTheLogsFields(const std::string& line) {
    int legacy = 0;
    const auto entry = ParseActivityLogLine(line, legacy);
    return entry && !entry->date_time.empty() && entry->time != 0 && !entry->action.empty() &&
           FormatActivityLogLine(*entry) == line + "\r\n";
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The places the quarantine sessions of the install folder keep.
std::set<std::string> PlacesKept(const std::vector<std::string>& kept) {
    std::set<std::string> places;
    for (const auto& location : kept)
        places.insert(PlaceOf(location));
    return places;
}

std::uint32_t HeadCrc(const fs::path& path) {
    auto bytes = ReadFileBytes(path);
    bytes.resize(std::min(bytes.size(), kFileHeadBytes));
    return Crc32(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
}

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

// The locations of every item of every quarantine session of the install
// folder, as the engine lists them.
std::vector<std::string> QuarantinedLocations(const fs::path& install) {
    std::vector<std::string> locations;
    IQuarantine* quarantine = nullptr;
    if (!CreateEngineObject(CLSID_Quarantine, IID_IQuarantine,
                            reinterpret_cast<void**>(&quarantine)))
        return locations;
    const std::wstring folder = install.wstring() + L"\\";
    BSTR folder_text = SysAllocString(folder.c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    IQuarantineSession* session = nullptr;
    if (SUCCEEDED(quarantine->Initialize(folder_text, &ok)) && ok == VARIANT_TRUE)
        quarantine->GetFirstQuarantineSession(&session);
    while (session != nullptr) {
        IQuarantinedItem* item = nullptr;
        session->GetFirstQuarantinedItem(&item);
        while (item != nullptr) {
            BSTR location = nullptr;
            if (SUCCEEDED(item->get_bsLocation(&location)) && location != nullptr)
                locations.push_back(Narrow(std::wstring(location, SysStringLen(location))));
            SysFreeString(location);
            item->Release();
            item = nullptr;
            session->GetNextQuarantinedItem(&item);
        }
        session->Release();
        session = nullptr;
        quarantine->GetNextQuarantineSession(&session);
    }
    SysFreeString(folder_text);
    quarantine->Release();
    return locations;
}

// The members of the engine a full run needs that the built DLL does not
// have (E_NOTIMPL): none may be missing.
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

        Install(dir_.path() / "Kelvan Gorsewatch");
    }

    // Installs the product into folder (made when missing) and names it the
    // install folder; what it puts there goes again at the end.
    void Install(const fs::path& folder) {
        install_ = folder;
        fs::create_directories(install_ / "core");
        installed_.push_back(install_ / "core");
        exe_ = (install_ / "Marvolt.exe").string();
        fs::copy_file(Narrow(WindowsPath(OLVEX_MARVOLT_PATH)), exe_);
        installed_.push_back(exe_);
        fs::copy_file(Narrow(EngineDllPath()), install_ / "olvex.dll");
        installed_.push_back(install_ / "olvex.dll");
        installed_.push_back(install_ / "Logs");  // the engine's own log
        // No pest here needs the scripted remover: its index is empty.
        std::ofstream(install_ / "core" / "qzsrindex.dat", std::ios::binary);
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
        SHDeleteValueA(HKEY_CURRENT_USER, kRunKey, kRunValue);
        std::error_code ignored;
        for (const auto& path : installed_)
            fs::remove_all(path, ignored);
        files_.reset();
        folders_.reset();
        plant_key_.reset();
        product_key_.reset();
        registration_.reset();
        if (com_)
            CoUninitialize();
    }

    // Publishes the source's definitions into the install folder's "core".
    // File fixtures of the source are found in base_dir (the sample pests'
    // folder when none is given).
    void Publish(const std::string& source, std::string base_dir = {}) {
        if (base_dir.empty())
            base_dir = Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR));
        ASSERT_NO_FATAL_FAILURE(PublishDefinitions(install_ / "core", source, base_dir));
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
    std::vector<fs::path> installed_;
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
    EXPECT_EQ(run.exit_code, 3u) << "no scan ran: it gave way";
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
        EXPECT_EQ(run.exit_code, 3u) << "no scan ran: it gave way";
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
    EXPECT_EQ(run.exit_code, 2u) << "no scan ran";
    ASSERT_EQ(run.boxes.size(), 1u) << BoxTexts(run);
    EXPECT_EQ(run.boxes[0].text.rfind("Error! Scanner init failed (Error ", 0), 0u)
        << run.boxes[0].text;
    EXPECT_FALSE(run.boxes[0].activity_mutexes_held);
    EXPECT_FALSE(ScanHistoryWritten());
}

// Every run that scanned nothing says so by its exit code, whatever kept it
// from scanning: 2 when it could not (the message box tells why, and waits
// only once the scan mutexes are let go), 3 when it gave way (above).
TEST_F(MarvoltTest, ExitCodeTwoWheneverItCouldNotScan) {
    const std::string source =
        "block 2004-03-15 09:40:00\npest 3001 \"MarvoltTest.Alpha\" \"Adware\"\n";
    {
        SCOPED_TRACE("damaged definitions");
        // One stored bit of each file flipped after its check value.
        ASSERT_NO_FATAL_FAILURE(
            PublishDefinitions(install_ / "core",
                               source + "signature 3001 file \"OlvexTest/alpha.exe\"\n"
                                        "file 3001 \"C:\\OlvexMarvoltTest\\alpha.exe\"\n",
                               Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR)),
                               {.corruption = tools::Corruption::kFlipBit}));
        const MarvoltRun run = RunMarvolt(exe_, "/quarantine");
        ASSERT_TRUE(run.started);
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(run.exit_code, 2u);
        ASSERT_EQ(run.boxes.size(), 1u) << BoxTexts(run);
        EXPECT_EQ(run.boxes[0].text.rfind("Error! ", 0), 0u) << run.boxes[0].text;
        EXPECT_FALSE(run.boxes[0].activity_mutexes_held);
        EXPECT_FALSE(ScanHistoryWritten());
    }
#ifdef OLVEX_HOSTILE_FOLDERS_DIR
    {
        SCOPED_TRACE("an install folder nothing can be written to");
        const fs::path folder =
            Narrow(WindowsPath(OLVEX_HOSTILE_FOLDERS_DIR)) + "\\read-only-install";
        if (!fs::exists(folder / "Marvolt.exe"))
            GTEST_SKIP() << "the read-only install folder is made by the test run (ctest)";
        if (std::ofstream(folder / "probe")) {
            fs::remove(folder / "probe");
            GTEST_SKIP() << "this system lets the test write to any folder";
        }
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::string install = folder.string() + "\\";
        RegSetValueExA(key, "InstallPath", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(install.c_str()),
                       static_cast<DWORD>(install.size() + 1));
        RegCloseKey(key);
        const MarvoltRun run = RunMarvolt((folder / "Marvolt.exe").string(), "/quarantine", 30000);
        ASSERT_TRUE(run.started);
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(run.exit_code, 2u);
        ASSERT_EQ(run.boxes.size(), 1u) << BoxTexts(run);
        EXPECT_NE(run.boxes[0].text.find("does not have the required settings"), std::string::npos)
            << run.boxes[0].text;
        EXPECT_FALSE(ScanHistoryWritten());
    }
#endif
}

#ifdef OLVEX_HOSTILE_FOLDERS_DIR
// The product's data folder on a disk of its own. The product folder follows
// the common application-data folder, which the machine's "User Shell
// Folders" key names; the old value is put back afterwards.
class MarvoltFullDiskTest : public MarvoltTest {
  protected:
    static constexpr char kShellFolders[] =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    static constexpr char kShellFoldersDone[] =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

    void SetUp() override {
        disk_ = Narrow(WindowsPath(OLVEX_HOSTILE_FOLDERS_DIR)) + "\\full";
        if (!fs::exists(disk_) || fs::exists(disk_ / "not-a-disk-of-its-own"))
            GTEST_SKIP() << "no disk of its own could be mounted for the data folder";
        for (const char* key : {kShellFolders, kShellFoldersDone})
            saved_.push_back(SavedValue(key));
        MarvoltTest::SetUp();
        for (const char* key : {kShellFolders, kShellFoldersDone}) {
            const std::string value = disk_.string();
            ASSERT_EQ(SHSetValueA(HKEY_LOCAL_MACHINE, key, "Common AppData", REG_SZ, value.c_str(),
                                  static_cast<DWORD>(value.size() + 1)),
                      ERROR_SUCCESS);
        }
        ASSERT_EQ(CommonFolder(CSIDL_COMMON_APPDATA), disk_.string())
            << "the common application-data folder does not follow the machine's key";
        data_ = disk_ / "XJ" / "KelvanGorsewatch";
        fs::create_directories(data_);
    }

    void TearDown() override {
        std::error_code ignored;
        if (!disk_.empty()) {
            for (const auto& entry : fs::directory_iterator(disk_, ignored))
                if (entry.path().filename() != "not-a-disk-of-its-own")
                    fs::remove_all(entry.path(), ignored);
        }
        MarvoltTest::TearDown();
        for (const Saved& saved : saved_) {
            if (saved.value)
                SHSetValueA(HKEY_LOCAL_MACHINE, saved.key.c_str(), "Common AppData", saved.type,
                            saved.value->c_str(), static_cast<DWORD>(saved.value->size() + 1));
            else
                SHDeleteValueA(HKEY_LOCAL_MACHINE, saved.key.c_str(), "Common AppData");
        }
    }

    struct Saved {
        std::string key;
        DWORD type = REG_SZ;
        std::optional<std::string> value;
    };

    static Saved SavedValue(const char* key) {
        Saved saved{key};
        char value[MAX_PATH * 2] = {};
        DWORD size = sizeof(value) - 1;
        if (RegGetValueA(HKEY_LOCAL_MACHINE, key, "Common AppData", RRF_RT_ANY | RRF_NOEXPAND,
                         &saved.type, value, &size) == ERROR_SUCCESS)
            saved.value = std::string(value);
        return saved;
    }

    // Fills the disk: a file grows until nothing more fits.
    void Fill() {
        std::ofstream filler(disk_ / "filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) &&
               filler.flush()) {
        }
    }

    fs::path disk_;
    fs::path data_;
    std::vector<Saved> saved_;
};

// A full data folder: the run scans, cannot write its lines, takes back
// what part of them landed (the log keeps exactly its bytes, its torn last
// line too) and says so by its exit code. With room again, the next run's
// lines all stand whole, each on a line of its own after the torn one.
TEST_F(MarvoltFullDiskTest, AFullDataFolderLeavesNoTornLineAndTheNextRunLosesNoEntry) {
    ScratchDir plant;
    std::string source =
        "block 2004-03-15 09:40:00\npest 3001 \"MarvoltTest.Adware.Alpha\" \"Adware\"\n";
    constexpr int kFiles = 40;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "planted-file-with-a-long-name-" + std::to_string(i) + ".txt";
        plant.Write(name, std::string("x"));
        source += "file 3001 \"" + (plant.path() / name).string() + "\"\n";
    }
    Publish(source);
    // A last line another program left without its end, nearly one page
    // long: the disk's last free bytes are in that page.
    const std::string torn =
        "12/05/2004-13:00:00,127288404,0,Detected,Torn," + std::string(3900, 't');
    { std::ofstream(data_ / "QZv5Log.txt", std::ios::binary) << torn; }
    Fill();

    const MarvoltRun full = RunMarvolt(exe_, "/ignore", 180000);
    ASSERT_TRUE(full.started);
    EXPECT_TRUE(full.ended);
    EXPECT_EQ(full.exit_code, 4u) << "scanned, but its record could not be written";
    EXPECT_TRUE(ReadText(data_ / "QZv5Log.txt") == torn) << "the log is not as it was";
    for (const auto& box : full.boxes)
        EXPECT_FALSE(box.activity_mutexes_held) << box.text;

    fs::remove(disk_ / "filler");
    const MarvoltRun room = RunMarvolt(exe_, "/ignore", 180000);
    ASSERT_TRUE(room.started);
    EXPECT_TRUE(room.ended);
    EXPECT_EQ(room.exit_code, 0u);
    EXPECT_TRUE(room.boxes.empty()) << BoxTexts(room);
    const std::string text = ReadText(data_ / "QZv5Log.txt");
    ASSERT_EQ(text.rfind(torn + "\r\n", 0), 0u) << text.substr(0, 100);
    const auto lines = RawLogLines(data_ / "QZv5Log.txt");
    ASSERT_EQ(lines.size(), kFiles + 1u);
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_TRUE(HasTheLogsFields(lines[i])) << lines[i];
}
#endif

// A log of 70 MB without a single line end, shortened at the end of a run
// (truncate=1): the run's own entries are all there, whole, and nothing of
// the broken text before them.
TEST_F(MarvoltTest, ShorteningALogWithoutLineEndsKeepsTheRunsEntries) {
    ScratchDir plant;
    std::string source =
        "block 2004-03-15 09:40:00\npest 3001 \"MarvoltTest.Adware.Alpha\" \"Adware\"\n";
    constexpr int kFiles = 3;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "planted-" + std::to_string(i) + ".txt";
        plant.Write(name, std::string("x"));
        source += "file 3001 \"" + (plant.path() / name).string() + "\"\n";
    }
    Publish(source);
    fs::create_directories(product_folder_);
    {
        std::ofstream out(product_folder_ / "QZv5Log.txt", std::ios::binary);
        const std::string block(1 << 20, 'x');
        for (int mb = 0; mb < 70; ++mb)
            out << block;
    }
    std::ofstream(product_folder_ / "qzv5exe.ini", std::ios::binary) << "truncate=1\r\n";

    const MarvoltRun run = RunMarvolt(exe_, "/ignore", 180000);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(run.boxes.empty()) << BoxTexts(run);
    EXPECT_LE(fs::file_size(product_folder_ / "QZv5Log.txt"), kActivityLogTruncateTo);
    const auto lines = RawLogLines(product_folder_ / "QZv5Log.txt");
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kFiles));
    for (const auto& line : lines)
        EXPECT_TRUE(HasTheLogsFields(line)) << line.substr(0, 200);
}

// The planted set: a file, a folder, a registry key and a running program of
// three pests, and a file of a pest id the database has no record of. The
// file is named twice: by the definitions, and by a Run value that gives its
// short (8.3) path, so the scans report that one place in two spellings.
struct PlantedSet {
    fs::path root;
    fs::path alpha_file;
    std::string alpha_short;
    fs::path beta_folder;
    fs::path orphan_file;
    std::string process_file;
    HANDLE process = nullptr;
    // The check values of the files, taken while they exist.
    std::int32_t alpha_crc = -1;
    std::int32_t orphan_crc = -1;
    std::int32_t process_crc = -1;
};

std::string PlantedDefinitions(const PlantedSet& set, std::optional<std::uint32_t> memory_crc) {
    std::string memory;
    if (memory_crc) {
        char crc[16];
        std::snprintf(crc, sizeof(crc), "0x%08X", *memory_crc);
        memory = "memory 3003 " + std::string(crc) + "\n";
    }
    return "block 2004-03-15 09:40:00\n"
           "pest 3001 \"MarvoltTest.Adware.Alpha\" \"Adware\"\n"
           "pest 3002 \"MarvoltTest.Spyware.Beta\" \"Spyware\"\n"
           "pest 3003 \"MarvoltTest.Trojan.Gamma\" \"Trojan\"\n"
           "signature 3001 file \"OlvexTest/alpha.exe\"\n" +
           memory + "file 3001 \"" + set.alpha_file.string() +
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

// One line of the activity log as a test expects it.
struct LogLine {
    std::string action;
    std::int32_t pest_id = 0;
    std::string pest_name;
    std::string category;
    std::string location;
    std::int32_t pvt = -1;
    bool operator==(const LogLine&) const = default;
};

std::ostream& operator<<(std::ostream& out, const LogLine& line) {
    return out << line.action << " " << line.pest_id << " " << line.pest_name << " "
               << line.category << " [" << line.location << "] " << line.pvt;
}

LogLine LineOf(const ActivityLogEntry& entry) {
    return {entry.action,   entry.pest_id,  entry.pest_name,
            entry.category, entry.location, entry.pvt};
}

class MarvoltPlantedTest : public MarvoltTest {
  protected:
    // Plants the set in plant's folder (with its running program when
    // with_process is set) and publishes its definitions.
    void Plant(const ScratchDir& plant, PestProcesses& processes, PlantedSet& set,
               bool with_process = true) {
        set.root = plant.path();
        set.alpha_file = set.root / "alpha.exe";
        set.beta_folder = set.root / "Beta";
        set.orphan_file = set.root / "orphan.txt";
        fs::copy_file(
            fs::path(Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR))) / "OlvexTest" / "alpha.exe",
            set.alpha_file);
        plant.Write("Beta/beta.txt", std::string("beta"));
        plant.Write("orphan.txt", std::string("orphan"));
        set.alpha_crc = static_cast<std::int32_t>(HeadCrc(set.alpha_file));
        set.orphan_crc = static_cast<std::int32_t>(HeadCrc(set.orphan_file));
        char short_path[MAX_PATH] = {};
        ASSERT_GT(GetShortPathNameA(set.alpha_file.string().c_str(), short_path, MAX_PATH), 0u);
        set.alpha_short = short_path;
        ASSERT_NE(LowerAscii(set.alpha_short), LowerAscii(set.alpha_file.string()))
            << "the folder has no short name of its own";
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kPlantKey) + "\\Alpha").c_str(),
                                  0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        ASSERT_EQ(
            SHSetValueA(HKEY_CURRENT_USER, kRunKey, kRunValue, REG_SZ, set.alpha_short.c_str(),
                        static_cast<DWORD>(set.alpha_short.size() + 1)),
            ERROR_SUCCESS);
        std::optional<std::uint32_t> crc;
        if (with_process) {
            set.process_file = (set.root / "gamma.exe").string();
            fs::copy_file(TestProgramPath("test_pest.exe"), set.process_file);
            // A stamp of its own, so the memory signature is this copy's alone
            // and the run cannot end other tests' copies of the same program.
            ASSERT_TRUE(RestampImage(set.process_file, GetTickCount() ^ GetCurrentProcessId()));
            crc = MemorySignatureOfFile(set.process_file);
            ASSERT_TRUE(crc);
            set.process_crc = static_cast<std::int32_t>(HeadCrc(set.process_file));
        }
        for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat", "qzexc_en.dat"})
            fs::remove(install_ / "core" / name);
        Publish(PlantedDefinitions(set, crc));
        if (with_process) {
            set.process = processes.Start(set.process_file);
            ASSERT_NE(set.process, nullptr);
        }
    }

    // A removal the set's run makes: its log line, and whether its place is
    // gone.
    struct ExpectedRemoval {
        LogLine line;
        std::function<bool()> gone;
    };

    // What the set's removal writes to the log, in the order of the run:
    // the pests in the order the scans first found them (the log's
    // detections tell), each pest's places by the passes (processes, files,
    // folders, keys). Alpha's file stands in the spelling found first, the
    // Run value's; its other spelling gets no line.
    static std::vector<ExpectedRemoval> ExpectedRemovals(
        const PlantedSet& set, const std::vector<ActivityLogEntry>& entries) {
        std::vector<ExpectedRemoval> removals;
        if (set.process != nullptr)
            removals.push_back(
                {{"Quarantined", 3003, "MarvoltTest.Trojan.Gamma", "Trojan",
                  "ProcessId \"" + std::to_string(GetProcessId(set.process)) + "\" File \"" +
                      set.process_file + "\"",
                  set.process_crc},
                 [&set] { return WaitForSingleObject(set.process, 0) == WAIT_OBJECT_0; }});
        removals.push_back({{"Quarantined", 3001, "MarvoltTest.Adware.Alpha", "Adware",
                             "File \"" + set.alpha_short + "\"", set.alpha_crc},
                            [&set] { return !fs::exists(set.alpha_file); }});
        removals.push_back(
            {{"Quarantined", 3001, "MarvoltTest.Adware.Alpha", "Adware",
              "Key \"hkey_current_user \\" + std::string(kPlantKey) + "\\Alpha\"", -1},
             [] {
                 HKEY key = nullptr;
                 if (RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kPlantKey) + "\\Alpha").c_str(),
                                   0, KEY_READ, &key) != ERROR_SUCCESS)
                     return true;
                 RegCloseKey(key);
                 return false;
             }});
        removals.push_back({{"Quarantined", 3002, "MarvoltTest.Spyware.Beta", "Spyware",
                             "Folder \"" + set.beta_folder.string() + "\"", -1},
                            [&set] { return !fs::exists(set.beta_folder); }});
        removals.push_back({{"Quarantined", 3999, "Unknown", "Unknown",
                             "File \"" + set.orphan_file.string() + "\"", set.orphan_crc},
                            [&set] { return !fs::exists(set.orphan_file); }});
        std::vector<std::int32_t> found;
        for (const auto& entry : entries) {
            if (entry.action == "Detected" &&
                std::find(found.begin(), found.end(), entry.pest_id) == found.end())
                found.push_back(entry.pest_id);
        }
        const auto rank = [&found](std::int32_t pest_id) {
            return std::find(found.begin(), found.end(), pest_id) - found.begin();
        };
        std::stable_sort(removals.begin(), removals.end(),
                         [&](const ExpectedRemoval& a, const ExpectedRemoval& b) {
                             return rank(a.line.pest_id) < rank(b.line.pest_id);
                         });
        return removals;
    }

    static std::vector<LogLine> Lines(const std::vector<ExpectedRemoval>& removals,
                                      std::size_t count) {
        std::vector<LogLine> lines;
        for (std::size_t i = 0; i < count && i < removals.size(); ++i)
            lines.push_back(removals[i].line);
        return lines;
    }

    fs::path LogPath() const { return product_folder_ / "QZv5Log.txt"; }
};

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// With prevalence research on, every detection is reported once, in its own
// form through the proxy, to the test's server; the MD5 of the location is
// sent only for a file (the alpha file in both spellings, the orphan file),
// never for a folder or a key.
TEST_F(MarvoltPlantedTest, PrevalenceReportsOneFormPerDetectionWithTheMd5OfFilesOnly) {
    HttpTestServer server;
    ASSERT_TRUE(server.Available()) << HttpTestServer::kHowToRun;
    constexpr char kFormPath[] = "/prevalence/report.asp";
    server.Serve(std::string(kFormPath).substr(1), std::string("ok"));
    CProxySettings proxy;
    ASSERT_TRUE(proxy.SetProxy("127.0.0.1", server.port()));
    ASSERT_TRUE(proxy.Save(install_.string() + "\\"));
    installed_.push_back(install_ / std::string(kProxySettingsFileName));
    fs::create_directories(product_folder_);
    WriteFile(product_folder_ / "qzv5exe.ini",
              "prevresearch=1\r\nguid=0123456789ABCDEF0123456789ABCDEF\r\ntruncate=0\r\n");
    ScratchDir plant;
    PestProcesses processes;
    PlantedSet set;
    ASSERT_NO_FATAL_FAILURE(Plant(plant, processes, set, false));
    const auto alpha_md5 = ClientMd5::DigestFile(set.alpha_file.string());
    ASSERT_TRUE(alpha_md5);

    const MarvoltRun run = RunMarvolt(exe_, "/ignore");
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.ended);
    EXPECT_TRUE(run.boxes.empty()) << BoxTexts(run);

    std::vector<std::map<std::string, std::string>> forms;
    for (const RecordedRequest& request : server.Requests()) {
        if (request.method == "POST" && request.target.ends_with(kFormPath)) {
            std::map<std::string, std::string> fields;
            for (const auto& [name, value] : ParseForm(request.body))
                fields[name] = value;
            forms.push_back(fields);
        }
    }
    // One form per "Detected" line, naming its pest and location.
    std::multiset<std::pair<std::string, std::string>> detected, reported;
    for (const auto& entry : LogEntries()) {
        if (entry.action == "Detected")
            detected.insert({std::to_string(entry.pest_id), entry.location});
    }
    ASSERT_EQ(detected.size(), 5u);  // alpha twice, its key, beta, the orphan
    for (const auto& form : forms)
        reported.insert({form.at("pestid"), form.at("ploc")});
    std::multiset<std::string> detected_ids, reported_ids;
    for (const auto& [id, location] : detected)
        detected_ids.insert(id);
    for (const auto& [id, location] : reported)
        reported_ids.insert(id);
    EXPECT_EQ(reported_ids, detected_ids);
    const std::map<std::string, std::string> md5_of = {
        {LowerAscii(set.alpha_file.string()), BytesToHex(*alpha_md5)},
        {LowerAscii(set.alpha_short), BytesToHex(*alpha_md5)},
        {LowerAscii(set.orphan_file.string()), "5C8AD194B0F0302F5A8A2C3BF502DCB2"},
    };
    int files = 0;
    for (const auto& form : forms) {
        EXPECT_EQ(form.at("mach"), "0123456789ABCDEF0123456789ABCDEF");
        const auto file = md5_of.find(LowerAscii(form.at("ploc")));
        if (file != md5_of.end()) {
            ++files;
            EXPECT_EQ(form.at("md5"), file->second) << form.at("ploc");
        } else {
            EXPECT_EQ(form.at("md5"), "") << form.at("ploc");
        }
    }
    EXPECT_EQ(files, 3);
}

// After its run the scanner shortens the activity log when the settings say
// truncate=1: a log above 5 MiB keeps its newest lines, at most 2 MiB, this
// run's among them; with truncate=0 nothing is dropped.
TEST_F(MarvoltPlantedTest, ShortensTheActivityLogAfterItsRunOnlyWhenAskedTo) {
    ActivityLogEntry old;
    old.date_time = "3/15/2004-9:40:00 AM";
    old.time = 127238052000000000;
    old.action = "Detected";
    old.pest_name = "OldPest";
    old.category = "Adware";
    old.pest_id = 3990;
    old.location = "File \"C:\\old\\" + std::string(200, 'x') + ".exe\"";
    const std::string line = FormatActivityLogLine(old);
    const std::size_t old_lines = 0x500000 / line.size() + 100;
    for (const bool truncate : {true, false}) {
        SCOPED_TRACE(truncate);
        fs::create_directories(product_folder_);
        WriteFile(product_folder_ / "qzv5exe.ini",
                  std::string("prevresearch=0\r\ntruncate=") + (truncate ? "1" : "0") + "\r\n");
        {
            std::ofstream out(LogPath(), std::ios::binary | std::ios::trunc);
            for (std::size_t i = 0; i < old_lines; ++i)
                out << line;
        }
        ScratchDir plant;
        PestProcesses processes;
        PlantedSet set;
        ASSERT_NO_FATAL_FAILURE(Plant(plant, processes, set, false));
        const MarvoltRun run = RunMarvolt(exe_, "/ignore");
        ASSERT_TRUE(run.started);
        EXPECT_TRUE(run.ended);

        const auto entries = LogEntries();
        const auto size = fs::file_size(LogPath());
        std::size_t kept_old = 0;
        std::size_t new_lines = 0;
        for (const auto& entry : entries)
            (entry.pest_id == old.pest_id ? kept_old : new_lines) += 1;
        EXPECT_EQ(new_lines, 5u);
        // This run's lines come last.
        ASSERT_GE(entries.size(), 5u);
        for (std::size_t i = entries.size() - 5; i < entries.size(); ++i)
            EXPECT_NE(entries[i].pest_id, old.pest_id);
        if (truncate) {
            EXPECT_LE(size, 0x200000u);
            EXPECT_GT(size, 0x200000u - 2 * line.size());
            EXPECT_LT(kept_old, old_lines);
        } else {
            EXPECT_EQ(kept_old, old_lines);
            EXPECT_GT(size, 0x500000u);
        }
        fs::remove(LogPath());
    }
}

TEST_F(MarvoltPlantedTest, EachActionOverThePlantedSet) {
    ASSERT_EQ(MissingEngineMembers(), "") << "members the engine does not have";

    struct Case {
        const char* argument;
        bool removed;
        bool excluded;
    };
    const Case cases[] = {
        {"/ignore", false, false},
        {"/quarantine", true, false},
        {"/delete", true, false},
        {"/exclude", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        ScratchDir plant;
        // Declared after the folder, so a failed case ends the planted
        // program before its folder is removed.
        PestProcesses processes;
        PlantedSet set;
        ASSERT_NO_FATAL_FAILURE(Plant(plant, processes, set));
        fs::remove(LogPath());
        fs::remove(product_folder_ / "qzscanhistory.txt");
        const auto exclusions_before = ReadFileBytes(install_ / "core" / "qzexc_en.dat");
        // What the scripted remover logged; removal runs move it into the log.
        ActivityLogEntry cleaned;
        cleaned.date_time = "3/15/2004-9:40:00 AM";
        cleaned.time = 127238052000000000;
        cleaned.action = "Deleted";
        cleaned.pest_name = "CleanedByRemover";
        cleaned.category = "Adware";
        cleaned.pest_id = 3998;
        cleaned.location = "File \"C:\\gone.exe\"";
        const fs::path clean_log = install_ / "qzcleanlog.csv";
        {
            std::ofstream out(clean_log, std::ios::binary);
            out << FormatActivityLogLine(cleaned);
        }
        const MarvoltRun run = RunMarvolt(exe_, c.argument);
        ASSERT_TRUE(run.started);
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(run.exit_code, 0u);
        EXPECT_TRUE(run.boxes.empty()) << BoxTexts(run);
        EXPECT_FALSE(MutexExists(kPestActivityMutexName));
        EXPECT_FALSE(MutexExists(kScannerWindowMutexName));

        // Every line has the log's fields; locations stand bare (none holds
        // a comma).
        for (const auto& line : RawLogLines(LogPath()))
            EXPECT_TRUE(HasTheLogsFields(line)) << line;
        // Every planted item was found and logged, alpha's file in both of its
        // spellings; the unknown pest as "Unknown".
        const auto entries = LogEntries();
        const auto expected_removals = ExpectedRemovals(set, entries);
        std::map<std::int32_t, int> detected;
        std::vector<LogLine> detections, removals;
        for (const auto& entry : entries) {
            if (entry.action == "Detected") {
                ++detected[entry.pest_id];
                detections.push_back(LineOf(entry));
            } else if (entry.pest_id != cleaned.pest_id) {
                removals.push_back(LineOf(entry));
            }
        }
        EXPECT_EQ(detected,
                  (std::map<std::int32_t, int>{{3001, 3}, {3002, 1}, {3003, 1}, {3999, 1}}));
        std::set<std::string> alpha_spellings;
        for (const auto& line : detections) {
            if (line.pest_id == 3001 && line.location.starts_with("File "))
                alpha_spellings.insert(line.location);
            if (line.pest_id == 3999) {
                EXPECT_EQ(line.pest_name + " " + line.category, "Unknown Unknown");
            }
        }
        EXPECT_EQ(alpha_spellings.size(), 2u);
        EXPECT_EQ(alpha_spellings.count("File \"" + set.alpha_short + "\""), 1u);
        if (c.removed) {
            // One line per place, after all the detections, in the run's order.
            EXPECT_EQ(removals, Lines(expected_removals, expected_removals.size()));
            ASSERT_EQ(entries.size(), detections.size() + removals.size() + 1);
            for (std::size_t i = 0; i < detections.size(); ++i)
                EXPECT_EQ(entries[i].action, "Detected") << i;
            // The scripted remover's lines follow the removals; its file is gone.
            EXPECT_EQ(entries.back().pest_id, cleaned.pest_id);
            EXPECT_EQ(entries.back().location, cleaned.location);
            EXPECT_FALSE(fs::exists(clean_log));
        } else {
            EXPECT_TRUE(removals.empty());
            EXPECT_TRUE(fs::exists(clean_log));
        }
        fs::remove(clean_log);

        // The history: date and time, distinct pests, all detections.
        const std::string history = ReadText(product_folder_ / "qzscanhistory.txt");
        const std::string tail = "\r\n4\r\n6";
        ASSERT_GE(history.size(), tail.size());
        EXPECT_EQ(history.substr(history.size() - tail.size()), tail) << history;

        for (const auto& removal : expected_removals)
            EXPECT_EQ(removal.gone(), c.removed) << removal.line.location;

        // Sessions are kept in the "Quarantine" folder of the install folder;
        // the session holds every place removed but the process.
        const fs::path quarantine = install_ / "Quarantine";
        bool session = false;
        if (fs::exists(quarantine)) {
            for (const auto& item : fs::directory_iterator(quarantine))
                session = session || item.path().extension() == ".zip";
        }
        EXPECT_EQ(session, c.removed);
        if (session) {
            const auto kept = PlacesKept(QuarantinedLocations(install_));
            for (const auto& removal : expected_removals)
                EXPECT_EQ(kept.count(PlaceOf(removal.line.location)), 1u) << removal.line.location;
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
            fs::remove(LogPath());
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
        SHDeleteValueA(HKEY_CURRENT_USER, kRunKey, kRunValue);
    }
}

// A run ended from outside in the middle of its removals (by the update
// utility, a shutdown, a user's kill) keeps its record: the detections are
// in the log before the first removal, and each removal's line right after
// the removal. Ended just after writing its detections and after 1, 2 and 4
// of its 5 removals, the log holds every detection and exactly the removals
// that happened, each line with the log's fields.
TEST_F(MarvoltPlantedTest, ARunEndedDuringItsRemovalsKeepsItsRecord) {
    ASSERT_EQ(MissingEngineMembers(), "") << "members the engine does not have";
    for (const int removals : {0, 1, 2, 4}) {
        SCOPED_TRACE(std::to_string(removals) + " removals before the end");
        ScratchDir plant;
        PestProcesses processes;
        PlantedSet set;
        ASSERT_NO_FATAL_FAILURE(Plant(plant, processes, set));
        fs::remove(LogPath());

        const KilledRun run = RunMarvoltKilledAfterRemovals(exe_, "/quarantine", removals);
        ASSERT_TRUE(run.started);
        EXPECT_TRUE(run.killed);
        EXPECT_TRUE(run.ended);
        EXPECT_FALSE(MutexExists(kPestActivityMutexName));

        const auto lines = RawLogLines(LogPath());
        for (const auto& line : lines)
            EXPECT_TRUE(HasTheLogsFields(line)) << line;
        const auto entries = LogEntries();
        const auto expected = ExpectedRemovals(set, entries);
        std::vector<LogLine> removed;
        int detections = 0;
        for (const auto& entry : entries) {
            if (entry.action == "Detected")
                ++detections;
            else
                removed.push_back(LineOf(entry));
        }
        EXPECT_EQ(detections, 6);
        EXPECT_EQ(removed, Lines(expected, static_cast<std::size_t>(removals)));
        // Exactly the places with a line are gone.
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(expected[i].gone(), static_cast<int>(i) < removals)
                << expected[i].line.location;

        SHDeleteKeyA(HKEY_CURRENT_USER, kPlantKey);
        SHDeleteValueA(HKEY_CURRENT_USER, kRunKey, kRunValue);
        fs::remove_all(install_ / "Quarantine");
    }
}

#ifdef OLVEX_READ_ONLY_QUARANTINE_DIR
// A quarantine folder that nothing can be written to (made by the test run:
// immutable for root, without write permission for others): nothing is
// removed without its copy, no message box waits, and the exit code says
// that something could not be removed.
TEST_F(MarvoltPlantedTest, AQuarantineFolderThatCannotBeWrittenEndsWithExitCodeOne) {
    const fs::path folder = Narrow(WindowsPath(OLVEX_READ_ONLY_QUARANTINE_DIR));
    if (!fs::exists(folder / "Quarantine"))
        GTEST_SKIP() << "the read-only quarantine folder is made by the test run (ctest)";
    {
        std::ofstream probe(folder / "Quarantine" / "probe");
        if (probe) {
            probe.close();
            fs::remove(folder / "Quarantine" / "probe");
            GTEST_SKIP() << "this system lets the test write to any folder";
        }
    }
    ASSERT_NO_FATAL_FAILURE(Install(folder));
    ScratchDir plant;
    PestProcesses processes;
    PlantedSet set;
    ASSERT_NO_FATAL_FAILURE(Plant(plant, processes, set, false));
    fs::remove(LogPath());

    const MarvoltRun run = RunMarvolt(exe_, "/quarantine");
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_TRUE(run.boxes.empty()) << BoxTexts(run);

    const auto entries = LogEntries();
    for (const auto& removal : ExpectedRemovals(set, entries))
        EXPECT_FALSE(removal.gone()) << removal.line.location;
    EXPECT_EQ(entries.size(), 5u);
    for (const auto& entry : entries)
        EXPECT_EQ(entry.action, "Detected") << entry.location;
    EXPECT_TRUE(fs::is_empty(folder / "Quarantine"));
    // The engine's log says what could not be removed, place by place.
    const std::string engine_log = ReadText(install_ / "Logs" / "qzv5log.log");
    for (const auto& removal : ExpectedRemovals(set, entries)) {
        // A pair's value holds no double quote: the engine writes them as
        // single ones.
        std::string location = removal.line.location;
        std::replace(location.begin(), location.end(), '"', '\'');
        EXPECT_NE(engine_log.find("Event \"Removal failed\"PestId \"" +
                                  std::to_string(removal.line.pest_id) + "\"Location \"" +
                                  location + "\""),
                  std::string::npos)
            << removal.line.location << "\n"
            << engine_log;
    }
    SHDeleteKeyA(HKEY_CURRENT_USER, kPlantKey);
    SHDeleteValueA(HKEY_CURRENT_USER, kRunKey, kRunValue);
}
#endif

// The demo's planted set (scripts/demo.sh): the sample definitions, the
// sample pests in "Program Files\OlvexTest" with a running agent, the Run
// value that names alpha.exe as the user typed it while the definitions name
// it in lower case, a key and a cookie. Each place found gets exactly one
// removal line, whose location stands bare in the log, and the session keeps
// every place it quarantined. The definitions name the Run value without its
// data, so it is found whatever folder the pest's installer wrote into it.
TEST_F(MarvoltTest, TheDemosPlantedSetGetsOneRemovalLinePerPlace) {
    const fs::path pests = fs::path(CommonFolder(CSIDL_PROGRAM_FILES)) / "OlvexTest";
    ASSERT_FALSE(fs::exists(pests)) << "left behind by an earlier run";
    const fs::path cookie =
        fs::path(CommonFolder(CSIDL_COOKIES)) / "user@olvextest-tracker.example[1].txt";
    const RegistrySnapshot sample_key(HKEY_CURRENT_USER,
                                      std::vector<std::wstring>{L"Software\\OlvexTest"});
    struct Cleanup {
        fs::path pests, cookie;
        ~Cleanup() {
            std::error_code ignored;
            fs::remove_all(pests, ignored);
            fs::remove(cookie, ignored);
            SHDeleteValueA(HKEY_CURRENT_USER, kRunKey, "OlvexTestAlpha");
        }
    } cleanup{pests, cookie};
    const fs::path samples = fs::path(Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR))) / "OlvexTest";
    fs::create_directories(pests / "Beta");
    fs::copy_file(samples / "alpha.exe", pests / "alpha.exe");
    fs::copy_file(samples / "beta.dll", pests / "beta.dll");
    std::ofstream(pests / "Beta" / "readme.txt") << "beta's own folder\n";
    fs::copy_file(TestProgramPath("test_pest.exe"), pests / "alpha-agent.exe");
    ASSERT_EQ(
        SHSetValueA(HKEY_CURRENT_USER, "Software\\OlvexTest\\Alpha", "Installed", REG_SZ, "yes", 4),
        ERROR_SUCCESS);
    const std::string alpha = (pests / "alpha.exe").string();
    ASSERT_EQ(SHSetValueA(HKEY_CURRENT_USER, kRunKey, "OlvexTestAlpha", REG_SZ, alpha.c_str(),
                          static_cast<DWORD>(alpha.size() + 1)),
              ERROR_SUCCESS);
    fs::create_directories(cookie.parent_path());
    std::ofstream(cookie, std::ios::binary) << "id\n1\nolvextest-tracker.example/\n";
    const auto crc = MemorySignatureOfFile(pests / "alpha-agent.exe");
    ASSERT_TRUE(crc);
    char memory[32];
    std::snprintf(memory, sizeof(memory), "memory 1001 0x%08X\n", *crc);
    const fs::path samples_folder =
        fs::path(Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR))).parent_path();
    Publish(ReadText(samples_folder / "sample.defs") + memory, samples_folder.string());
    PestProcesses processes;
    const HANDLE agent = processes.Start((pests / "alpha-agent.exe").string());
    ASSERT_NE(agent, nullptr);

    const MarvoltRun run = RunMarvolt(exe_, "/quarantine");
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(run.boxes.empty()) << BoxTexts(run);

    std::map<std::string, int> removals_by_place, detections_by_place;
    for (const auto& line : RawLogLines(product_folder_ / "QZv5Log.txt")) {
        EXPECT_TRUE(HasTheLogsFields(line)) << line;
        int legacy = 0;
        const auto entry = ParseActivityLogLine(line, legacy);
        ASSERT_TRUE(entry) << line;
        // No location here holds a comma: each stands bare, quotes and all.
        EXPECT_NE(line.find("," + entry->location + ","), std::string::npos) << line;
        const std::string place = PlaceOf(entry->location);
        if (entry->action == "Detected") {
            ++detections_by_place[place];
        } else {
            EXPECT_EQ(entry->action, place.starts_with("file " + LowerAscii(cookie.string()))
                                         ? "Deleted"
                                         : "Quarantined")
                << line;
            ++removals_by_place[place];
        }
    }
    const std::string lower_pests = LowerAscii(pests.string());
    const std::map<std::string, int> one_each = {
        {"process " + std::to_string(GetProcessId(agent)), 1},
        {"file " + lower_pests + "\\alpha.exe", 1},
        {"file " + lower_pests + "\\beta.dll", 1},
        {"folder " + lower_pests + "\\beta", 1},
        {"file " + LowerAscii(cookie.string()), 1},
        {"key hkey_current_user \\software\\olvextest\\alpha value ", 1},
        {"key hkey_current_user \\" + LowerAscii(kRunKey) + " value olvextestalpha", 1},
    };
    EXPECT_EQ(removals_by_place, one_each) << ReadText(product_folder_ / "QZv5Log.txt");
    // The scans found alpha.exe twice (the start-up entry and the definitions'
    // location): one place, one removal.
    EXPECT_EQ(detections_by_place["file " + lower_pests + "\\alpha.exe"], 2);
    EXPECT_EQ(detections_by_place["key hkey_current_user \\" + LowerAscii(kRunKey) +
                                  " value olvextestalpha"],
              1);

    EXPECT_FALSE(fs::exists(pests / "alpha.exe"));
    EXPECT_FALSE(fs::exists(pests / "beta.dll"));
    EXPECT_FALSE(fs::exists(pests / "Beta"));
    EXPECT_FALSE(fs::exists(cookie));
    EXPECT_NE(SHGetValueA(HKEY_CURRENT_USER, kRunKey, "OlvexTestAlpha", nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(agent, 10000), WAIT_OBJECT_0);
    // Every place but the cookie (which is only deleted) is in the session.
    auto quarantined = one_each;
    quarantined.erase("file " + LowerAscii(cookie.string()));
    std::map<std::string, int> kept;
    for (const auto& place : PlacesKept(QuarantinedLocations(install_)))
        kept[place] = 1;
    EXPECT_EQ(kept, quarantined);
}

}  // namespace
}  // namespace olvex::testing
