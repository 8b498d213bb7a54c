// Dunmere.exe under Wine on a display of its own, with the built engine in a
// test install folder (a path with blanks) and the stand-in window program
// copied in as the four programs it closes, each titled as the product's
// program and logging the messages it gets and its own starts. Downloads are
// put straight into the user's temporary folders, named as the engine names
// them, so no server is needed: the engine's ApplyUpdates finds them there.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "client/update/download_flow.h"
#include "olvex/update/swap_stub_names.h"
#include "client/update/update_utility.h"
#include "olvex/core/dat_database.h"
#include "olvex/core/file_set_replace.h"
#include "olvex/update/delta_index.h"
#include "olvex/update/update_download_name.h"
#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"
#include "testing/windows_test_support.h"
#include "tools/publisher/definition_set.h"
#include "tools/publisher/definition_writer.h"
#include "tools/publisher/synthetic_set.h"
#include "tools/publisher/update_set.h"

namespace olvex {
namespace {

namespace fs = std::filesystem;
using gui::RunningProgram;
using testing::Narrow;
using testing::WindowsPath;

constexpr wchar_t kStatusTitle[] = L"Kelvan Gorsewatch Updates";
constexpr wchar_t kStatusText[] =
    L"Restarting Kelvan Gorsewatch and applying updates. Please wait ...";
constexpr char kProductKey[] = "Software\\Vorandel\\KelvanGorsewatch";
constexpr UINT kWmClose = 16;

// The four programs, in the order the utility closes them.
struct StandIn {
    const char* name;  // file name without ".exe"
    const char* title;
};
constexpr StandIn kMain{"Gorsewatch5", "Kelvan Gorsewatch by Brackwith"};
constexpr StandIn kProtection{"Wakenor", "Kelvan Gorsewatch -- Active Protection"};
constexpr StandIn kScanner{"Marvolt", "Kelvan Gorsewatch -- Command Line Scanner"};
constexpr StandIn kUpdater{"Pellory", "Kelvan Gorsewatch -- Updates"};
constexpr StandIn kStandIns[] = {kMain, kProtection, kScanner, kUpdater};

// The install holds the first block; the update brings the second as a delta
// group of three files.
constexpr const char* kSource = R"(block 2004-03-15 09:40
pest 5101 "Dunmere.First" "Adware"
signature 5101 crc 0x51015101
block 2004-04-01 12:00
pest 5102 "Dunmere.Second" "Spyware"
file 5102 "%WINDOWS%\dunmere-second.exe"
)";

tools::DefinitionSet Blocks(std::size_t count) {
    auto source = tools::ParseDefinitionSource(kSource, ".", "dunmere.defs");
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

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    const std::string text = ReadFileText(path);
    return {text.begin(), text.end()};
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& path, const std::string& text) {
    WriteBytes(path, {text.begin(), text.end()});
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

std::string FileVersion(const fs::path& path) {
    const std::string name = path.string();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(name.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(name.c_str(), 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info)
        return {};
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
}

std::string ClassesString(const std::string& key_name, const char* value_name = nullptr) {
    char value[1024] = {};
    DWORD size = sizeof(value) - 1;
    if (RegGetValueA(HKEY_CLASSES_ROOT, key_name.c_str(), value_name, RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return {};
    return value;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// When a process was made, as a number; 0 when it cannot be read.
std::uint64_t CreationTime(DWORD process_id) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process_id);
    if (!process)
        return 0;
    FILETIME created{}, exited{}, kernel{}, user{};
    const bool read = GetProcessTimes(process, &created, &exited, &kernel, &user) != FALSE;
    CloseHandle(process);
    return read ? (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime
                : 0;
}

class DunmereTest : public ::testing::Test {
  protected:
    void SetUp() override {
        install_ = fs::path(CommonFolder(CSIDL_PROGRAM_FILES)) / "Kelvan Gorsewatch";
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        temp_ = temp;
        std::error_code ignored;
        // The programs of the test before may still be ending.
        for (const StandIn& program : kStandIns)
            EndStandIns(program);
        gui::WaitUntil(
            [&] {
                fs::remove_all(install_, ignored);
                return !fs::exists(install_);
            },
            15000, 100);
        for (const ChannelDescription& channel : kUpdateChannels)
            fs::remove_all(temp_ / channel.temp_folder, ignored);
        fs::create_directories(install_ / "core");
        fs::copy_file(Narrow(WindowsPath(OLVEX_DUNMERE_PATH)), install_ / "Dunmere.exe");
        fs::copy_file(Narrow(WindowsPath(OLVEX_DLL_PATH)), install_ / "olvex.dll");
        for (const StandIn& program : kStandIns) {
            fs::copy_file(Narrow(gui::GuiProgramPath(L"stand_in.exe")),
                          install_ / (std::string(program.name) + ".exe"));
            SetStandIn(program, "");
        }
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
    }

    void TearDown() override {
        dunmere_.End();
        running_.clear();
    }

    // The stand-in's settings beside its copy: its title and what else.
    void SetStandIn(const StandIn& program, const std::string& more) const {
        WriteText(install_ / (std::string(program.name) + ".stand-in"),
                  std::string("title=") + program.title + "\nseconds=60\n" + more);
    }

    void StartStandIn(const StandIn& program) {
        RunningProgram started;
        ASSERT_TRUE(gui::StartWhenReady(
            started,
            gui::Quote(WindowsPath((install_ / (std::string(program.name) + ".exe")).string()))))
            << program.name;
        running_.push_back(std::move(started));
    }

    // Every copy of a stand-in, the first ones and those the utility started.
    void EndStandIns(const StandIn& program) {
        for (const auto& [id, command] : Starts(program)) {
            const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
            if (!process)
                continue;
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }

    std::vector<std::string> LogLines(const StandIn& program) const {
        return Lines(ReadFileText(install_ / (std::string(program.name) + ".log")));
    }
    // Its starts: process id and command line.
    std::vector<std::pair<DWORD, std::string>> Starts(const StandIn& program) const {
        std::vector<std::pair<DWORD, std::string>> starts;
        for (const std::string& line : LogLines(program)) {
            if (line.rfind("start ", 0) != 0)
                continue;
            std::istringstream in(line.substr(6));
            DWORD id = 0;
            in >> id;
            std::string command;
            std::getline(in, command);
            starts.emplace_back(id, command);
        }
        return starts;
    }
    // The ticks at which it got WM_CLOSE.
    std::vector<DWORD> Closes(const StandIn& program) const {
        std::vector<DWORD> ticks;
        for (const std::string& line : LogLines(program)) {
            std::istringstream in(line);
            std::string word;
            UINT message = 0;
            long long wparam = 0, lparam = 0;
            DWORD tick = 0;
            if ((in >> word >> message >> wparam >> lparam >> tick) && word == "message" &&
                message == kWmClose)
                ticks.push_back(tick);
        }
        return ticks;
    }

    bool StartDunmere(const std::wstring& arguments = L"") {
        std::wstring command = gui::Quote(WindowsPath((install_ / "Dunmere.exe").string()));
        if (!arguments.empty())
            command += L" " + arguments;
        return dunmere_.Start(command);
    }
    // Runs the utility to its end; false when it did not end in time.
    bool RunDunmere(const std::wstring& arguments = L"", DWORD timeout_ms = 120000) {
        return StartDunmere(arguments) && dunmere_.Wait(timeout_ms).has_value();
    }

    HWND WaitForStatusWindow(DWORD process_id, DWORD timeout_ms = 30000) {
        return gui::FindTopLevelWindow(
            {.title = std::wstring(kStatusTitle), .process_id = process_id, .visible_only = true},
            timeout_ms);
    }

    // A download in a temporary folder, named as the engine names them.
    void PutDownload(const char* folder, const std::string& file_name, std::int32_t version,
                     std::int32_t type, const std::vector<std::uint8_t>& bytes) const {
        fs::create_directories(temp_ / folder);
        WriteBytes(temp_ / folder / DownloadFileName(file_name, version, type), bytes);
    }

    // The second block's three delta files in "_core_", as the updater
    // downloads them; the delta index entry's version.
    std::int32_t PutDefinitionDeltas(std::map<std::string, std::vector<std::uint8_t>>& deltas) {
        std::string error;
        const auto set = tools::BuildUpdateSet(Blocks(2), {"http://127.0.0.1/u", {}}, error);
        EXPECT_TRUE(set) << error;
        if (!set)
            return 0;
        std::int32_t index_version = 0;
        for (const auto& entry : set->control_entries) {
            if (entry.file_name == kDeltaIndexEntryName)
                index_version = entry.version;
        }
        EXPECT_EQ(set->delta_groups.size(), 1u);
        const DeltaGroup& group = set->delta_groups.at(0);
        for (const DeltaFile& file : group.files) {
            const auto name = DeltaFileName(file.url, group.target_version);
            EXPECT_TRUE(name) << file.url;
            const std::string path = file.url.substr(std::string("http://127.0.0.1/u/").size());
            for (const auto& published : set->files) {
                if (published.path == path) {
                    PutDownload("_core_", *name, index_version, kUpdateDatDelta, published.bytes);
                    deltas[path.substr(path.rfind('/') + 1)] = published.bytes;
                }
            }
        }
        EXPECT_EQ(deltas.size(), 3u);
        return index_version;
    }

    bool TempFoldersGone() const {
        for (const ChannelDescription& channel : kUpdateChannels) {
            if (fs::exists(temp_ / channel.temp_folder))
                return false;
        }
        return true;
    }

    fs::path install_;
    fs::path temp_;
    RunningProgram dunmere_;
    std::vector<RunningProgram> running_;
};

// The headline run: the four programs are closed in the table's order (the
// protection refusing its first three WM_CLOSEs), a copied file and a delta
// group are applied, and the protection, updater and main program start
// again in that order; the scanner does not.
TEST_F(DunmereTest, ClosesAppliesAndRestartsTheProgramsInOrder) {
    // It also takes its time to end once its window has gone.
    SetStandIn(kProtection, "ignore-close=3\nlinger=3000\n");
    for (const StandIn& program : kStandIns)
        StartStandIn(program);
    const std::vector<std::uint8_t> language(5000, 0x4C);
    PutDownload("_qzv5_", "langv5.dat", 7, kUpdateCopyFile, language);
    std::map<std::string, std::vector<std::uint8_t>> deltas;
    const std::int32_t delta_version = PutDefinitionDeltas(deltas);
    const auto old_pests = ReadBytes(install_ / "core" / "qzinfo.dat");
    const auto old_signatures = ReadBytes(install_ / "core" / "qzfile.dat");
    const auto old_locations = ReadBytes(install_ / "core" / "qzloc.dat");

    ASSERT_TRUE(StartDunmere());
    const HWND status = WaitForStatusWindow(dunmere_.id());
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(gui::GetText(gui::FindChild(status, 1000)), kStatusText);
    gui::SaveScreenshot(status, "status-window");
    ASSERT_TRUE(dunmere_.Wait(120000).has_value());

    // WM_CLOSE reached them in the table's order, the protection four times.
    std::vector<DWORD> first_closes;
    for (const StandIn& program : kStandIns) {
        const auto closes = Closes(program);
        ASSERT_FALSE(closes.empty()) << program.name;
        first_closes.push_back(closes.front());
    }
    EXPECT_TRUE(std::is_sorted(first_closes.begin(), first_closes.end()));
    EXPECT_EQ(Closes(kProtection).size(), 4u);
    // The scanner was asked only once the protection program had ended.
    DWORD lingering = 0;
    for (const std::string& line : LogLines(kProtection)) {
        if (line.rfind("lingering ", 0) == 0)
            lingering = std::stoul(line.substr(10));
    }
    ASSERT_NE(lingering, 0u);
    EXPECT_GE(static_cast<LONG>(Closes(kScanner).front() - lingering), 2900);
    for (const StandIn& program : {kMain, kScanner, kUpdater})
        EXPECT_EQ(Closes(program).size(), 1u) << program.name;

    // The copied file is in place, each definition file is the old one
    // followed by its delta block, and the versions are recorded.
    EXPECT_EQ(ReadBytes(install_ / "langv5.dat"), language);
    auto joined = [](std::vector<std::uint8_t> old, const std::vector<std::uint8_t>& delta) {
        old.insert(old.end(), delta.begin(), delta.end());
        return old;
    };
    EXPECT_EQ(ReadBytes(install_ / "core" / "qzinfo.dat"), joined(old_pests, deltas["qzinfo.qzu"]));
    EXPECT_EQ(ReadBytes(install_ / "core" / "qzfile.dat"),
              joined(old_signatures, deltas["qzfile.qzu"]));
    EXPECT_EQ(ReadBytes(install_ / "core" / "qzloc.dat"),
              joined(old_locations, deltas["qzloc.qzu"]));
    EXPECT_NE(ReadFileText(install_ / "lfinfo.dat").find("langv5.dat\r\n7\r\n"), std::string::npos)
        << ReadFileText(install_ / "lfinfo.dat");
    const std::string core_versions = ReadFileText(install_ / "core" / "lfinfo.dat");
    for (const char* name : {"qzfile.dat", "qzinfo.dat", "qzloc.dat"}) {
        EXPECT_NE(core_versions.find(name + ("\r\n" + std::to_string(delta_version) + "\r\n")),
                  std::string::npos)
            << core_versions;
    }

    // Started again: protection, updater, main program, by their full paths
    // and without arguments; the scanner not.
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            return Starts(kProtection).size() == 2 && Starts(kUpdater).size() == 2 &&
                   Starts(kMain).size() == 2;
        },
        10000, 50));
    EXPECT_EQ(Starts(kScanner).size(), 1u);
    std::vector<std::uint64_t> restarted;
    for (const StandIn& program : {kProtection, kUpdater, kMain}) {
        const auto [id, command] = Starts(program).back();
        EXPECT_EQ(Lower(command), Lower(" \"" + (install_ / program.name).string() + ".exe\""))
            << program.name;
        restarted.push_back(CreationTime(id));
        EXPECT_NE(restarted.back(), 0u) << program.name;
    }
    EXPECT_TRUE(std::is_sorted(restarted.begin(), restarted.end()));

    EXPECT_TRUE(TempFoldersGone());
}

// Started by setup: the programs are closed but not started again.
TEST_F(DunmereTest, InstallUpdateRestartsNothing) {
    StartStandIn(kMain);
    StartStandIn(kProtection);
    ASSERT_TRUE(RunDunmere(L"/installupdate"));
    for (const StandIn& program : {kMain, kProtection}) {
        EXPECT_EQ(Closes(program).size(), 1u) << program.name;
        EXPECT_EQ(Starts(program).size(), 1u) << program.name;
    }
    EXPECT_TRUE(TempFoldersGone());
}

// With nothing running nothing is closed or started, and the run still takes
// its two pauses.
TEST_F(DunmereTest, NothingRunningClosesNothingAndTakesItsPauses) {
    const DWORD start = GetTickCount();
    ASSERT_TRUE(RunDunmere());
    EXPECT_GE(GetTickCount() - start, 5000u);
    for (const StandIn& program : kStandIns)
        EXPECT_TRUE(Starts(program).empty()) << program.name;
    EXPECT_TRUE(TempFoldersGone());
}

// A program that stops answering costs the time-out, not the run: the others
// are closed and started again.
TEST_F(DunmereTest, AProgramThatNeverAnswersDoesNotStopTheRun) {
    SetStandIn(kUpdater, "hang-on-close=1\nseconds=40\n");
    StartStandIn(kMain);
    StartStandIn(kUpdater);
    const DWORD start = GetTickCount();
    ASSERT_TRUE(StartDunmere());
    const HWND status = WaitForStatusWindow(dunmere_.id());
    ASSERT_NE(status, nullptr);
    // Its status window answers all along, also while it waits for the hung
    // program.
    DWORD longest = 0;
    int answered = 0;
    while (dunmere_.running() && IsWindow(status)) {
        const gui::SendResult sent = gui::SendWindowMessage(status, WM_NULL, 0, 0, 3000);
        if (sent.completed) {
            ++answered;
            longest = std::max(longest, sent.elapsed_ms);
        } else {
            EXPECT_FALSE(IsWindow(status)) << "the status window did not answer";
        }
        Sleep(100);
    }
    EXPECT_GT(answered, 20);
    EXPECT_LT(longest, 1000u);
    ASSERT_TRUE(dunmere_.Wait(60000).has_value());
    const DWORD took = GetTickCount() - start;
    EXPECT_LT(took, 35000u);
    EXPECT_EQ(Closes(kUpdater).size(), 1u);
    EXPECT_EQ(Closes(kMain).size(), 1u);
    ASSERT_TRUE(gui::WaitUntil([&] { return Starts(kMain).size() == 2; }, 10000, 50));
    // Its window stayed, so it counts as running: another copy is started
    // (a real updater would give way to the hung one).
    EXPECT_TRUE(gui::WaitUntil([&] { return Starts(kUpdater).size() == 2; }, 10000, 50));
}

// A second copy shows its status window and ends while the first runs.
TEST_F(DunmereTest, ASecondInstanceEndsWhileTheFirstRuns) {
    ASSERT_TRUE(StartDunmere());
    ASSERT_NE(WaitForStatusWindow(dunmere_.id()), nullptr);
    RunningProgram second;
    ASSERT_TRUE(second.Start(gui::Quote(WindowsPath((install_ / "Dunmere.exe").string()))));
    ASSERT_TRUE(second.Wait(15000).has_value());
    EXPECT_TRUE(dunmere_.running());
    ASSERT_TRUE(dunmere_.Wait(60000).has_value());
}

// An install folder this account cannot write to (here: "tempu.tmp" cannot be
// made, a folder holds the name) ends the run at once, without a message and
// without closing anything.
TEST_F(DunmereTest, AFailedWriteTestEndsTheRunQuietly) {
    fs::create_directories(install_ / "tempu.tmp");
    StartStandIn(kMain);
    PutDownload("_qzv5_", "langv5.dat", 7, kUpdateCopyFile, {1, 2, 3});
    const DWORD start = GetTickCount();
    ASSERT_TRUE(RunDunmere(L"", 30000));
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_TRUE(Closes(kMain).empty());
    EXPECT_FALSE(fs::exists(install_ / "langv5.dat"));
    EXPECT_TRUE(fs::exists(temp_ / "_qzv5_" / DownloadFileName("langv5.dat", 7, kUpdateCopyFile)));
}

// An engine update through the utility: the engine starts the swap stub,
// the utility lets go of the engine and waits for the stub, and only then
// starts the programs again, which load the new engine.
TEST_F(DunmereTest, ANewEngineIsRegisteredBeforeTheProgramsStartAgain) {
    SetStandIn(kProtection, std::string("note-mutex=") + kSwapStubMutexName + "\n");
    StartStandIn(kProtection);
    std::string error;
    const std::vector<std::uint8_t> engine = ReadBytes(Narrow(WindowsPath(OLVEX_NEXT_DLL_PATH)));
    const tools::ExtraUpdateFile extra{"olvex.dll", kUpdateEngineDll, 6, engine};
    const auto set = tools::BuildUpdateSet(Blocks(1), {"http://127.0.0.1/u", {extra}}, error);
    ASSERT_TRUE(set) << error;
    for (const auto& entry : set->control_entries) {
        if (entry.file_name != "olvex.dll")
            continue;
        EXPECT_EQ(entry.type, kUpdateEngineDll);
        for (const auto& file : set->files) {
            if (file.path == "olvex.dll")
                PutDownload("_core_", entry.file_name, entry.version, entry.type, file.bytes);
        }
    }

    ASSERT_TRUE(RunDunmere(L"", 150000));
    ASSERT_TRUE(gui::WaitUntil([&] { return Starts(kProtection).size() == 2; }, 10000, 50));
    // At its new start the stub had ended.
    const auto lines = LogLines(kProtection);
    std::vector<std::string> notes;
    for (const auto& line : lines) {
        if (line.rfind("mutex ", 0) == 0)
            notes.push_back(line);
    }
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1], std::string("mutex ") + kSwapStubMutexName + " absent");

    // The registered engine is the new build, and a client gets it.
    std::string scanner_clsid = ClassesString("olvex.Scanner\\CLSID");
    ASSERT_FALSE(scanner_clsid.empty());
    const std::string server = ClassesString("CLSID\\" + scanner_clsid + "\\InprocServer32");
    ASSERT_FALSE(server.empty());
    EXPECT_EQ(FileVersion(server), "5.6.8.0") << server;
    EXPECT_EQ(ClassesString("olvex", "CurrentVersion"), "5.6.8.0");
    EXPECT_NE(ReadFileText(install_ / "core" / "lfinfo.dat").find("olvex.dll\r\n6\r\n"),
              std::string::npos);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    {
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(L"olvex.Scanner", &clsid), S_OK);
        IDispatch* scanner = nullptr;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&scanner)),
                  S_OK);
        if (scanner)
            scanner->Release();
    }
    CoUninitialize();
    EXPECT_TRUE(TempFoldersGone());
}

// The engine swap stub cut short at each of its steps (the test seam
// OLVEX_SWAVEL_END_AT ends it there as a kill would), then the command-line
// scanner starts: its engine check finishes the swap, so the newer engine is
// the one registered, in the install folder and the shared copy alike, and
// nothing is left staged or for Windows to run at its next start.
TEST_F(DunmereTest, AClientStartFinishesAnEngineSwapCutShort) {
    const fs::path engine = install_ / "olvex.dll";
    const fs::path shared =
        fs::path(CommonFolder(CSIDL_PROGRAM_FILES_COMMON)) / "Scanner" / "olvex.dll";
    const std::string older_version = FileVersion(engine);
    const std::string next_path = Narrow(WindowsPath(OLVEX_NEXT_DLL_PATH));
    const std::string newer_version = FileVersion(next_path);
    ASSERT_NE(older_version, newer_version);
    const std::vector<std::uint8_t> newer = ReadBytes(next_path);
    fs::copy_file(Narrow(WindowsPath(OLVEX_MARVOLT_PATH)), install_ / "Marvolt.exe",
                  fs::copy_options::overwrite_existing);
    // The exterminator wants the scripted remover and its index beside the
    // definitions; no pest here needs it.
    WriteText(install_ / "core" / "qzsrindex.dat", "");
    fs::copy_file(Narrow(WindowsPath(OLVEX_QZCLEAN_PATH)), install_ / "core" / "qzclean.exe");
    const fs::path stub = install_ / kSwapStubFileName;
    fs::copy_file(Narrow(WindowsPath(OLVEX_SWAVEL_PATH)), stub);
    const fs::path download = temp_ / "_core_" / DownloadFileName("olvex.dll", 7, kUpdateEngineDll);
    const auto registered_engine = [] {
        const std::string clsid = ClassesString("olvex.Scanner\\CLSID");
        return clsid.empty() ? std::string()
                             : ClassesString("CLSID\\" + clsid + "\\InprocServer32");
    };
    const auto run_once_left = [] {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0,
                          KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return false;
        const bool left =
            RegQueryValueExA(key, "qzupdstub", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
        return left;
    };

    for (const char* mark : {"1", "4", "2", "3", "5"}) {
        SCOPED_TRACE(std::string("stub ended at ") + mark);
        // As the install was before the update: the older engine in both
        // places and registered (as a client registers it, then unloaded).
        std::error_code ignored;
        for (const char* staged : {"olvex.dll.new", "olvex.dll.new.part"})
            fs::remove(install_ / staged, ignored);
        // (CopyFile: the library's copy takes any two files of one drive for the same.)
        ASSERT_TRUE(
            CopyFileW(WindowsPath(OLVEX_DLL_PATH).c_str(), engine.wstring().c_str(), FALSE));
        fs::create_directories(shared.parent_path());
        ASSERT_TRUE(CopyFileW(engine.wstring().c_str(), shared.wstring().c_str(), FALSE));
        {
            const HMODULE module = LoadLibraryA(engine.string().c_str());
            ASSERT_NE(module, nullptr);
            using Export = HRESULT(STDAPICALLTYPE*)();
            const auto register_server = reinterpret_cast<Export>(
                reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
            ASSERT_NE(register_server, nullptr);
            EXPECT_EQ(register_server(), S_OK);
            FreeLibrary(module);
        }
        ASSERT_EQ(FileVersion(registered_engine()), older_version);
        PutDownload("_core_", "olvex.dll", 7, kUpdateEngineDll, newer);

        SetEnvironmentVariableA("OLVEX_SWAVEL_END_AT", mark);
        RunningProgram cut_short;
        const bool started = cut_short.Start(gui::Quote(WindowsPath(stub.string())) + L" " +
                                             gui::Quote(WindowsPath(engine.string())) + L" " +
                                             gui::Quote(WindowsPath(download.string())));
        SetEnvironmentVariableA("OLVEX_SWAVEL_END_AT", nullptr);
        ASSERT_TRUE(started);
        EXPECT_EQ(cut_short.Wait(120000), std::optional<DWORD>(9u));

        RunningProgram scanner;
        ASSERT_TRUE(scanner.Start(gui::Quote(WindowsPath((install_ / "Marvolt.exe").string())) +
                                  L" /ignore"));
        std::vector<std::wstring> boxes;
        ASSERT_TRUE(gui::WaitUntil(
            [&] {
                // A box of the scanner's is an error: noted, saved and answered.
                if (gui::FindDialog({.process_id = scanner.id()}, 0) != nullptr) {
                    gui::SaveScreenshot(gui::FindDialog({.process_id = scanner.id()}, 0),
                                        std::string("scanner-box-") + mark);
                    const auto answered =
                        gui::AnswerDialog({.process_id = scanner.id()}, IDOK, 5000);
                    boxes.push_back(answered ? answered->text : L"(unread)");
                }
                return !scanner.running();
            },
            300000, 100));
        EXPECT_TRUE(boxes.empty()) << Narrow(boxes.front());

        const std::string server = registered_engine();
        EXPECT_EQ(Lower(fs::path(server).filename().string()), "olvex.dll") << server;
        EXPECT_EQ(FileVersion(server), newer_version) << server;
        EXPECT_EQ(ClassesString("olvex", "CurrentVersion"), newer_version);
        EXPECT_EQ(ReadBytes(engine), newer);
        EXPECT_EQ(FileVersion(shared), newer_version);
        EXPECT_FALSE(fs::exists(install_ / "olvex.dll.new"));
        EXPECT_FALSE(fs::exists(install_ / "olvex.dll.new.part"));
        EXPECT_FALSE(fs::exists(download));
        EXPECT_FALSE(run_once_left());
    }
}

// An engine without the updater class: the utility says so, closes nothing
// and applies nothing. (The stand-in engine registers itself as the newest
// engine, so it goes again afterwards.)
TEST_F(DunmereTest, AnEngineWithoutTheUpdaterEndsTheRunWithAMessage) {
    struct RemoveStandInEngine {
        ~RemoveStandInEngine() {
            SHDeleteKeyA(HKEY_CLASSES_ROOT, "olvex.Scanner");
            SHDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{6F1C3B52-8A7D-4E21-9C55-0D3E7A9B1F40}");
            std::error_code ignored;
            fs::remove(fs::path(CommonFolder(CSIDL_PROGRAM_FILES_COMMON)) / "Scanner" / "olvex.dll",
                       ignored);
        }
    } remove_stand_in_engine;
    fs::copy_file(Narrow(WindowsPath(OLVEX_FAKE_ENGINE_PATH)), install_ / "olvex.dll",
                  fs::copy_options::overwrite_existing);
    StartStandIn(kMain);
    PutDownload("_qzv5_", "langv5.dat", 7, kUpdateCopyFile, {1, 2, 3});
    ASSERT_TRUE(StartDunmere());
    const HWND box = gui::FindDialog(
        {.title = std::wstring(L"Kelvan Gorsewatch"), .process_id = dunmere_.id()}, 60000);
    ASSERT_NE(box, nullptr);
    gui::SaveScreenshot(box, "engine-not-installed");
    EXPECT_EQ(gui::ReadDialog(box).text, L"Error! OLVEX component not properly installed!");
    EXPECT_TRUE(gui::PressButton(box, IDOK));
    ASSERT_TRUE(dunmere_.Wait(30000).has_value());
    EXPECT_EQ(gui::FindTopLevelWindow({.title = std::wstring(kStatusTitle)}), nullptr);
    EXPECT_TRUE(Closes(kMain).empty());
    EXPECT_FALSE(fs::exists(install_ / "langv5.dat"));
}

// The three definition files as whole files, in the order of their names.
using WholeSet = std::array<std::vector<std::uint8_t>, 3>;
constexpr std::array<const char*, 3> kWholeNames = {"qzinfo.dat", "qzfile.dat", "qzloc.dat"};

WholeSet SyntheticWholeSet(std::uint64_t seed, std::uint32_t days_later) {
    tools::SyntheticOptions options;
    options.pests = 10000;
    options.signatures = 100000;
    options.locations = 50000;
    options.seed = seed;
    options.base_time += std::uint64_t{days_later} * 864000000000ull;
    const auto files = tools::BuildDefinitionFiles(tools::MakeSyntheticSet(options));
    EXPECT_TRUE(files.ok()) << files.error;
    return {files.pests, files.signatures, files.locations};
}

// The update utility killed at ten points of an apply of three large whole
// files, from the moment the first file begins to change: the engine then
// loads the whole old set or the whole new set, every time, and a following
// run puts the new set in place.
TEST_F(DunmereTest, KilledDuringAnApplyOfWholeFilesLeavesTheOldOrTheNewSet) {
    const WholeSet old_set = SyntheticWholeSet(1, 0);
    const WholeSet new_set = SyntheticWholeSet(2, 1);
    const fs::path core = install_ / "core";
    const auto install_old = [&] {
        std::error_code ignored;
        fs::remove(core / kReplaceJournalName, ignored);
        for (std::size_t i = 0; i < kWholeNames.size(); ++i) {
            WriteBytes(core / kWholeNames[i], old_set[i]);
            fs::remove(core / (std::string(kWholeNames[i]) + std::string(kStagedFileSuffix)),
                       ignored);
        }
    };
    const auto put_downloads = [&] {
        for (std::size_t i = 0; i < kWholeNames.size(); ++i)
            PutDownload("_core_", kWholeNames[i], 4040001, kUpdateCopyFile, new_set[i]);
    };
    // Anything of the apply in the core folder: the journal, a staged file
    // or a target that changed.
    const auto apply_began = [&] {
        if (fs::exists(core / kReplaceJournalName))
            return true;
        for (std::size_t i = 0; i < kWholeNames.size(); ++i) {
            std::error_code ignored;
            if (fs::exists(core / (std::string(kWholeNames[i]) + std::string(kStagedFileSuffix))) ||
                fs::file_size(core / kWholeNames[i], ignored) != old_set[i].size())
                return true;
        }
        return false;
    };
    // 0: old, 1: new, -1: anything else.
    const auto which_set = [&] {
        int which = -2;
        for (std::size_t i = 0; i < kWholeNames.size(); ++i) {
            const auto bytes = ReadBytes(core / kWholeNames[i]);
            const int file = bytes == old_set[i] ? 0 : bytes == new_set[i] ? 1 : -1;
            if (file < 0 || (which != -2 && which != file))
                return -1;
            which = file;
        }
        return which;
    };

    std::string outcomes;
    for (const DWORD delay : {0u, 2u, 5u, 10u, 20u, 35u, 50u, 70u, 95u, 120u}) {
        SCOPED_TRACE("killed " + std::to_string(delay) + " ms after the apply began");
        install_old();
        put_downloads();
        ASSERT_TRUE(StartDunmere());
        ASSERT_TRUE(gui::WaitUntil([&] { return apply_began() || !dunmere_.running(); }, 60000, 1));
        Sleep(delay);
        TerminateProcess(dunmere_.process(), 9);
        ASSERT_TRUE(dunmere_.Wait(10000).has_value());

        // A new load, as the next program that starts the engine makes.
        CDatDatabase database;
        database.SetDatFolder(core.string());
        ASSERT_EQ(database.Load(), 0) << database.GetLastErrorText();
        const int which = which_set();
        ASSERT_NE(which, -1);
        outcomes += which == 0 ? "old " : "new ";
        EXPECT_FALSE(fs::exists(core / kReplaceJournalName));
    }
    std::printf("sets after the kills: %s\n", outcomes.c_str());

    // The next run, with the downloads fetched again, completes the update.
    install_old();
    put_downloads();
    ASSERT_TRUE(StartDunmere());
    ASSERT_TRUE(gui::WaitUntil([&] { return apply_began(); }, 60000, 1));
    Sleep(10);
    TerminateProcess(dunmere_.process(), 9);
    ASSERT_TRUE(dunmere_.Wait(10000).has_value());
    put_downloads();
    ASSERT_TRUE(RunDunmere());
    EXPECT_EQ(which_set(), 1);
    const std::string versions = ReadFileText(core / "lfinfo.dat");
    for (const char* name : kWholeNames)
        EXPECT_NE(versions.find(name + std::string("\r\n4040001\r\n")), std::string::npos)
            << versions;
    for (const auto& entry : fs::directory_iterator(core)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "lfinfo.dat" || name == kWholeNames[0] || name == kWholeNames[1] ||
                    name == kWholeNames[2])
            << name;
    }
}

// Whole definition files that carry the right check values but one of which
// the block reader refuses: nothing is replaced or recorded, the run ends
// with its failure code and writes no update history, and the refused file
// is not left behind.
TEST_F(DunmereTest, WholeFilesThatDoNotLoadReplaceNothing) {
    const auto old_files = tools::BuildDefinitionFiles(Blocks(1));
    const auto new_files = tools::BuildDefinitionFiles(Blocks(2));
    ASSERT_TRUE(new_files.ok()) << new_files.error;
    auto broken = new_files.signatures;
    broken[512 + 2] ^= 0x5A;  // inside the first payload: its check fails
    const std::string product =
        (fs::path(CommonFolder(CSIDL_COMMON_APPDATA)) / "XJ" / "KelvanGorsewatch").string();
    std::error_code ignored;
    fs::remove(fs::path(product) / update_utility::kUpdateHistoryName, ignored);
    for (const std::vector<std::uint8_t>& qzfile : {broken, std::vector<std::uint8_t>{}}) {
        SCOPED_TRACE(qzfile.empty() ? "an empty qzfile.dat" : "a qzfile.dat that fails its check");
        PutDownload("_core_", "qzinfo.dat", 4040112, kUpdateCopyFile, new_files.pests);
        PutDownload("_core_", "qzfile.dat", 4040112, kUpdateCopyFile, qzfile);
        PutDownload("_core_", "qzloc.dat", 4040112, kUpdateCopyFile, new_files.locations);
        ASSERT_TRUE(StartDunmere());
        const auto code = dunmere_.Wait(120000);
        ASSERT_TRUE(code.has_value());
        EXPECT_EQ(*code, static_cast<DWORD>(update_utility::kExitApplyFailed));
        EXPECT_EQ(ReadBytes(install_ / "core" / "qzinfo.dat"), old_files.pests);
        EXPECT_EQ(ReadBytes(install_ / "core" / "qzfile.dat"), old_files.signatures);
        EXPECT_EQ(ReadBytes(install_ / "core" / "qzloc.dat"), old_files.locations);
        EXPECT_EQ(ReadFileText(install_ / "core" / "lfinfo.dat").find("4040112"),
                  std::string::npos);
        EXPECT_FALSE(fs::exists(temp_ / "_core_" /
                                DownloadFileName("qzfile.dat", 4040112, kUpdateCopyFile)));
        EXPECT_FALSE(fs::exists(fs::path(product) / update_utility::kUpdateHistoryName));
    }
    // The same files whole and good: applied, recorded, the history written.
    PutDownload("_core_", "qzinfo.dat", 4040112, kUpdateCopyFile, new_files.pests);
    PutDownload("_core_", "qzfile.dat", 4040112, kUpdateCopyFile, new_files.signatures);
    PutDownload("_core_", "qzloc.dat", 4040112, kUpdateCopyFile, new_files.locations);
    ASSERT_TRUE(StartDunmere());
    const auto code = dunmere_.Wait(120000);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, static_cast<DWORD>(update_utility::kExitApplied));
    EXPECT_EQ(ReadBytes(install_ / "core" / "qzfile.dat"), new_files.signatures);
    EXPECT_EQ(ReadBytes(install_ / "core" / "qzinfo.dat"), new_files.pests);
    EXPECT_TRUE(fs::exists(fs::path(product) / update_utility::kUpdateHistoryName));
}

}  // namespace
}  // namespace olvex
