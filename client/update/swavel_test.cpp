// Swavel.exe under Wine, run under its own name from an install folder with
// blanks in its path, on stand-in engine DLLs of two versions whose
// registration functions leave marks in the registry. The case of an older
// DLL held for more than a minute, and the RunOnce command it leaves, run in
// swap_restart_test.sh in a Wine prefix of their own.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/common/engine_registrar.h"
#include "olvex/update/swap_stub_names.h"
#include "testing/scratch_dir.h"
#include "testing/windows_test_support.h"

namespace olvex {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::ScratchDir;
using testing::WindowsPath;

constexpr char kMarkerKey[] = "Software\\OlvexTest\\SwapStub";
constexpr DWORD kExitFailed = 0x80004005;  // E_FAIL
constexpr char kOldVersion[] = "1.0.0.1";
constexpr char kNewVersion[] = "2.0.0.2";

fs::path BuiltFile(const char* path) {
    return fs::path(WindowsPath(path));
}

std::optional<std::string> MarkerValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kMarkerKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    char text[4096] = {};
    DWORD size = sizeof(text) - 1;
    DWORD type = 0;
    const LONG error =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    return std::string(text);
}

void SetMarkers(const std::string& registered) {
    SHDeleteKeyA(HKEY_CURRENT_USER, kMarkerKey);
    if (registered.empty())
        return;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kMarkerKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Registered", 0, REG_SZ, reinterpret_cast<const BYTE*>(registered.c_str()),
                   static_cast<DWORD>(registered.size() + 1));
    RegCloseKey(key);
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

// A process of ours, ended when the test ends.
class Process {
  public:
    explicit Process(std::wstring command_line) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                           nullptr, nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
        }
    }
    ~Process() {
        if (!process_)
            return;
        if (WaitForSingleObject(process_, 30000) != WAIT_OBJECT_0) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 10000);
        }
        CloseHandle(process_);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return process_ != nullptr; }
    // The exit code, or WAIT_TIMEOUT while it runs on.
    DWORD Wait(DWORD milliseconds) const {
        if (WaitForSingleObject(process_, milliseconds) != WAIT_OBJECT_0)
            return WAIT_TIMEOUT;
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        return code;
    }

  private:
    HANDLE process_ = nullptr;
};

bool WaitForFile(const fs::path& path) {
    for (int i = 0; i < 600 && !fs::exists(path); ++i)
        Sleep(50);
    return fs::exists(path);
}

bool MutexExists(const char* name) {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (!mutex)
        return false;
    CloseHandle(mutex);
    return true;
}

enum class Content { kNone, kOld, kNew, kPlain, kJunk };
enum class Hold { kNothing, kOlderForFiveSeconds, kNewerOpen };

class SwapStubTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(install_);
        fs::create_directories(downloads_);
        fs::copy_file(BuiltFile(OLVEX_SWAVEL_PATH), stub_);
    }
    void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, kMarkerKey); }

    static std::vector<unsigned char> Bytes(Content content) {
        switch (content) {
            case Content::kOld:
                return ReadFileBytes(BuiltFile(OLVEX_SWAP_TEST_OLD_DLL));
            case Content::kNew:
                return ReadFileBytes(BuiltFile(OLVEX_SWAP_TEST_NEW_DLL));
            case Content::kPlain:
                return ReadFileBytes(BuiltFile(OLVEX_SWAP_TEST_PLAIN_DLL));
            case Content::kJunk:
                return {'n', 'o', 't', ' ', 'a', ' ', 'D', 'L', 'L'};
            case Content::kNone:
                break;
        }
        return {};
    }
    void Put(const fs::path& path, Content content) const {
        if (content == Content::kNone)
            return;
        const auto bytes = Bytes(content);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    static std::wstring Quoted(const fs::path& path) { return L"\"" + path.wstring() + L"\""; }
    std::wstring StubCommand(const std::vector<fs::path>& arguments) const {
        std::wstring command = Quoted(stub_);
        for (const auto& argument : arguments)
            command += L" " + Quoted(argument);
        return command;
    }
    std::wstring HolderCommand(const char* how, const fs::path& path, DWORD milliseconds) const {
        return Quoted(BuiltFile(OLVEX_SWAP_TEST_HELPER)) + L" hold " +
               std::wstring(how, how + std::strlen(how)) + L" " + Quoted(path) + L" " +
               std::to_wstring(milliseconds) + L" " + Quoted(ready_) + L" " + Quoted(release_);
    }

    ScratchDir scratch_;
    const fs::path install_ = scratch_.path() / "Program Files" / "Kelvan Gorsewatch";
    const fs::path downloads_ = scratch_.path() / "Local Settings" / "Temp" / "_core_";
    const fs::path stub_ = install_ / kSwapStubFileName;
    const fs::path older_ = install_ / "olvex.dll";
    const fs::path newer_ = downloads_ / "olvex.dll.7.6.qzu";
    const fs::path output_ = scratch_.path() / "stub output.txt";
    const fs::path ready_ = scratch_.path() / "held";
    const fs::path release_ = scratch_.path() / "release";
};

// The stub ended at each of its steps as a kill would end it (the test seam
// OLVEX_SWAVEL_END_AT), then a client starts: the first step of its engine
// check (CEngineRegistrar::FinishEngineSwap, which every client program runs
// through EnsureCurrentEngine) finishes the swap, and the newer engine is the
// one registered, its file whole. (The rest of EnsureCurrentEngine follows
// the machine's real registration, which this shared prefix cannot fix.)
TEST_F(SwapStubTest, AStubEndedAtAnyStepIsFinishedByTheNextClientStart) {
    for (const char* mark : {"1", "4", "2", "3", "5"}) {
        SCOPED_TRACE(std::string("ended at ") + mark);
        std::error_code ignored;
        for (const fs::path& path : {older_, fs::path(older_.string() + ".new")})
            fs::remove(path, ignored);
        Put(older_, Content::kOld);
        Put(newer_, Content::kNew);
        SetMarkers(kOldVersion);
        SetEnvironmentVariableA("OLVEX_SWAVEL_END_AT", mark);
        {
            Process stub(StubCommand({older_, newer_}));
            ASSERT_TRUE(stub.started());
            EXPECT_EQ(stub.Wait(60000), 9u);
        }
        SetEnvironmentVariableA("OLVEX_SWAVEL_END_AT", nullptr);
        EXPECT_FALSE(MutexExists(kSwapStubMutexName));

        CEngineRegistrar::FinishEngineSwap();
        EXPECT_EQ(FileVersion(older_), kNewVersion);
        EXPECT_EQ(ReadFileBytes(older_), Bytes(Content::kNew));
        EXPECT_EQ(MarkerValue("Registered"), kNewVersion);
        EXPECT_FALSE(fs::exists(older_.string() + ".new"));
        EXPECT_FALSE(fs::exists(older_.string() + ".new.part"));
        EXPECT_FALSE(fs::exists(newer_));
        // Nothing is left for Windows to run at its next start.
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            const bool left = RegQueryValueExA(key, "qzupdstub", nullptr, nullptr, nullptr,
                                               nullptr) == ERROR_SUCCESS;
            RegDeleteValueA(key, "qzupdstub");  // never left in the shared prefix
            RegCloseKey(key);
            EXPECT_FALSE(left);
        }
    }
}

TEST_F(SwapStubTest, SwapTable) {
    struct {
        const char* name;
        Content older;
        Content newer;
        Hold hold;
        DWORD exit_code;
        Content older_after;
        bool newer_left;
        std::string log;
        std::string registered;
    } const cases[] = {
        {"unlocked swap", Content::kOld, Content::kNew, Hold::kNothing, 0, Content::kNew, false,
         "unregister 1.0.0.1;register 2.0.0.2;", kNewVersion},
        {"older DLL held for 5 s, then freed", Content::kOld, Content::kNew,
         Hold::kOlderForFiveSeconds, 0, Content::kNew, false,
         "unregister 1.0.0.1;register 2.0.0.2;", kNewVersion},
        {"older DLL missing", Content::kNone, Content::kNew, Hold::kNothing, 0, Content::kNew,
         false, "register 2.0.0.2;", kNewVersion},
        {"newer DLL missing", Content::kOld, Content::kNone, Hold::kNothing, kExitFailed,
         Content::kOld, false, "", kOldVersion},
        {"newer DLL undeletable after the copy", Content::kOld, Content::kNew, Hold::kNewerOpen, 0,
         Content::kNew, true, "unregister 1.0.0.1;register 2.0.0.2;", kNewVersion},
        // The download went once staged; the staged copy goes with the failure.
        {"older DLL without the exports", Content::kPlain, Content::kNew, Hold::kNothing,
         kExitFailed, Content::kPlain, false, "", ""},
        {"newer DLL without the exports", Content::kOld, Content::kPlain, Hold::kNothing,
         kExitFailed, Content::kOld, true, "", kOldVersion},
        {"older file damaged: replaced", Content::kJunk, Content::kNew, Hold::kNothing, 0,
         Content::kNew, false, "register 2.0.0.2;", kNewVersion},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& path : {older_, newer_, ready_, release_})
            fs::remove(path);
        Put(older_, c.older);
        Put(newer_, c.newer);
        SetMarkers(c.older == Content::kOld ? kOldVersion : "");

        std::unique_ptr<Process> holder;
        if (c.hold != Hold::kNothing) {
            holder = c.hold == Hold::kOlderForFiveSeconds
                         ? std::make_unique<Process>(HolderCommand("load", older_, 5000))
                         : std::make_unique<Process>(HolderCommand("open", newer_, 60000));
            ASSERT_TRUE(holder->started());
            ASSERT_TRUE(WaitForFile(ready_));
        }
        const DWORD start = GetTickCount();
        Process stub(StubCommand({older_, newer_}));
        ASSERT_TRUE(stub.started());
        if (c.hold == Hold::kOlderForFiveSeconds) {
            // While it waits, the stub says that it runs.
            bool seen = false;
            for (int i = 0; i < 100 && !seen; ++i, Sleep(20))
                seen = MutexExists(kSwapStubMutexName);
            EXPECT_TRUE(seen);
        }
        EXPECT_EQ(stub.Wait(120000), c.exit_code);
        const DWORD elapsed = GetTickCount() - start;
        if (c.hold == Hold::kOlderForFiveSeconds) {
            EXPECT_GE(elapsed, 3000u);
            EXPECT_LT(elapsed, 30000u);
        }
        std::ofstream(release_).put('x');
        holder.reset();
        EXPECT_FALSE(MutexExists(kSwapStubMutexName));

        EXPECT_EQ(ReadFileBytes(older_), Bytes(c.older_after));
        if (c.older_after == Content::kNew) {
            EXPECT_EQ(FileVersion(older_), kNewVersion);
        }
        EXPECT_EQ(fs::exists(newer_), c.newer_left);
        if (c.newer_left) {
            EXPECT_EQ(ReadFileBytes(newer_), Bytes(c.newer));
        }
        EXPECT_EQ(MarkerValue("Log").value_or(""), c.log);
        EXPECT_EQ(MarkerValue("Registered").value_or(""), c.registered);
        // Nothing was left for the next start.
        EXPECT_FALSE(fs::exists(older_.string() + ".new"));
    }
}

TEST_F(SwapStubTest, NamesBothPathsOnItsOutput) {
    Put(older_, Content::kOld);
    Put(newer_, Content::kNew);
    const auto run = testing::RunProcess(StubCommand({older_, newer_}), output_.wstring());
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0u);
    const auto text = ReadFileBytes(output_);
    EXPECT_EQ(std::string(text.begin(), text.end()),
              older_.string() + "\n" + newer_.string() + "\n");
}

TEST_F(SwapStubTest, OneArgumentOnlyShowsTheUsage) {
    Put(older_, Content::kOld);
    Put(newer_, Content::kNew);
    SetMarkers(kOldVersion);
    for (const auto& arguments : {std::vector<fs::path>{}, std::vector<fs::path>{older_}}) {
        // A file for each run: Wine's console host may hold the last one a
        // moment longer.
        const fs::path output = output_.string() + std::to_string(arguments.size());
        const auto run = testing::RunProcess(StubCommand(arguments), output.wstring());
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exit_code, 0u);
        const auto text = ReadFileBytes(output);
        EXPECT_EQ(std::string(text.begin(), text.end()),
                  "Usage: Swavel path_to_older_dll path_to_newer_dll\n");
    }
    EXPECT_EQ(ReadFileBytes(older_), Bytes(Content::kOld));
    EXPECT_EQ(ReadFileBytes(newer_), Bytes(Content::kNew));
    EXPECT_FALSE(MarkerValue("Log"));
    EXPECT_EQ(MarkerValue("Registered"), kOldVersion);
}

}  // namespace
}  // namespace olvex
