#include "olvex/scan/process_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "olvex/core/crc32.h"
#include "olvex/core/os_utilities.h"
#include "testing/image_first_page.h"
#include "testing/scratch_dir.h"
#include "testing/test_programs.h"

namespace olvex {
namespace {

using olvex::testing::ImageFirstPageFromFile;
using olvex::testing::ImagePage;
using olvex::testing::MemorySignatureOfFile;
using olvex::testing::PestProcesses;
using olvex::testing::ScratchDir;
using olvex::testing::TestProgramPath;

class FixedOsVersion : public OsVersionSource {
  public:
    explicit FixedOsVersion(std::optional<OsVersion> version) : version_(version) {}
    std::optional<OsVersion> Query() const override { return version_; }

  private:
    std::optional<OsVersion> version_;
};

const FixedOsVersion kWindows98(OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 10});
const FixedOsVersion kUnreadableVersion(std::nullopt);

// Copies of the stand-in pest and its DLL in a folder deep enough that their
// paths are longer than `min_length` characters.
struct DeepPest {
    std::string exe;
    std::string dll;
};

DeepPest CopyPestDeep(const ScratchDir& dir, std::size_t min_length) {
    std::string folder = dir.path().string() + "\\deep " + std::to_string(min_length);
    EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    for (int level = 0; folder.size() + 20 <= min_length; ++level) {
        folder += "\\folder level " + std::to_string(level);
        EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    }
    DeepPest copy{folder + "\\deep pest.exe", folder + "\\deep pest module.dll"};
    EXPECT_TRUE(CopyFileA(TestProgramPath("test_pest.exe").c_str(), copy.exe.c_str(), FALSE));
    EXPECT_TRUE(
        CopyFileA(TestProgramPath("test_pest_module.dll").c_str(), copy.dll.c_str(), FALSE));
    return copy;
}

std::vector<ProcessRecord> AllProcesses(CProcessList& list) {
    std::vector<ProcessRecord> records;
    ProcessRecord record;
    for (bool more = list.GetFirstProcess(record); more; more = list.GetNextProcess(record)) {
        records.push_back(record);
    }
    return records;
}

std::vector<ModuleRecord> AllModules(CProcessList& list, DWORD process_id) {
    std::vector<ModuleRecord> records;
    if (!list.BuildModuleList(process_id)) {
        return records;
    }
    ModuleRecord record;
    for (bool more = list.GetFirstModule(record); more; more = list.GetNextModule(record)) {
        records.push_back(record);
    }
    return records;
}

std::vector<ProcessRecord> RecordsOf(const std::vector<ProcessRecord>& records, DWORD id) {
    std::vector<ProcessRecord> found;
    for (const auto& record : records) {
        if (record.id == id) {
            found.push_back(record);
        }
    }
    return found;
}

std::optional<ImagePage> ReadFirstPage(DWORD process_id, std::uintptr_t base) {
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id);
    if (!process) {
        return std::nullopt;
    }
    ImagePage page{};
    SIZE_T read = 0;
    const bool ok = ReadProcessMemory(process, reinterpret_cast<const void*>(base), page.data(),
                                      page.size(), &read) &&
                    read == page.size();
    CloseHandle(process);
    return ok ? std::optional(page) : std::nullopt;
}

TEST(ProcessList, ReportsARunningProgramOnceWithItsWholePathAndImageBase) {
    ScratchDir dir;
    // Past the old 128-character limit, and close to MAX_PATH (Windows, and
    // Wine, start no program from a longer path).
    const std::string deep = CopyPestDeep(dir, 140).exe;
    const std::string deeper = CopyPestDeep(dir, 250).exe;
    ASSERT_GT(deep.size(), 128u);
    ASSERT_GT(deeper.size(), 240u);
    const std::string built = TestProgramPath("test_pest.exe");

    for (const std::string& exe : {built, deep, deeper}) {
        SCOPED_TRACE(exe);
        PestProcesses pests;
        const HANDLE process = pests.Start(exe);
        ASSERT_TRUE(process);
        const DWORD id = GetProcessId(process);

        CProcessList list;
        ASSERT_TRUE(list.UsesProcessStatusApi());
        const auto records = RecordsOf(AllProcesses(list), id);
        ASSERT_EQ(records.size(), 1u);
        const ProcessRecord& record = records.front();
        EXPECT_EQ(record.path, exe);
        EXPECT_EQ(record.name, exe.substr(exe.find_last_of('\\') + 1));
        ASSERT_NE(record.image_base, 0u);
        if constexpr (sizeof(void*) == 8) {
            // A 64-bit image lies above 4 GiB: the base must not be cut to 32 bits.
            EXPECT_GT(record.image_base, std::uintptr_t{0xFFFFFFFF});
        }

        // The page at the base is the file's headers followed by zeros, so
        // the memory signature can be taken from the file.
        const auto in_memory = ReadFirstPage(id, record.image_base);
        const auto from_file = ImageFirstPageFromFile(exe);
        ASSERT_TRUE(in_memory && from_file);
        EXPECT_EQ(*in_memory, *from_file);
        EXPECT_EQ(Crc32(*in_memory), MemorySignatureOfFile(exe));
    }
}

TEST(ProcessList, ListsTheModulesOfAHostWithTheirWholePaths) {
    ScratchDir dir;
    const DeepPest deep = CopyPestDeep(dir, 200);
    const std::string built_exe = TestProgramPath("test_pest.exe");
    const std::string built_dll = TestProgramPath("test_pest_module.dll");
    struct Case {
        std::string exe, dll;
    };
    for (const Case& host : {Case{built_exe, built_dll}, Case{deep.exe, deep.dll}}) {
        SCOPED_TRACE(host.dll);
        PestProcesses pests;
        const HANDLE process = pests.Start(host.exe, "--load \"" + host.dll + "\"");
        ASSERT_TRUE(process);
        const DWORD id = GetProcessId(process);

        CProcessList list;
        const auto modules = AllModules(list, id);
        ASSERT_GE(modules.size(), 2u);
        // The main image comes first, at the process's image base.
        EXPECT_EQ(modules.front().path, host.exe);
        const auto processes = RecordsOf(AllProcesses(list), id);
        ASSERT_EQ(processes.size(), 1u);
        EXPECT_EQ(modules.front().handle, processes.front().image_base);

        int dll_seen = 0;
        for (const auto& module : modules) {
            if (module.path == host.dll) {
                ++dll_seen;
                EXPECT_EQ(module.name, host.dll.substr(host.dll.find_last_of('\\') + 1));
                EXPECT_NE(module.handle, 0u);
            }
        }
        EXPECT_EQ(dll_seen, 1);
    }
}

// A copy of the stand-in pest started through the wide API, for paths the
// ANSI code page cannot write. Ended when the object goes.
class WidePest {
  public:
    explicit WidePest(const std::wstring& exe) {
        const std::wstring event_name =
            L"OlvexWidePestReady-" + std::to_wstring(GetCurrentProcessId());
        const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, event_name.c_str());
        std::wstring command = L"\"" + exe + L"\" --ready " + event_name;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (ready && CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                    nullptr, nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
            const HANDLE waits[] = {ready, process_};
            running_ = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
        }
        if (ready) {
            CloseHandle(ready);
        }
    }
    ~WidePest() {
        if (process_) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 10000);
            CloseHandle(process_);
        }
    }
    WidePest(const WidePest&) = delete;
    WidePest& operator=(const WidePest&) = delete;

    DWORD Id() const { return running_ ? GetProcessId(process_) : 0; }

  private:
    HANDLE process_ = nullptr;
    bool running_ = false;
};

// Whether two paths name the same file.
bool SameFile(const std::wstring& a, const std::string& b) {
    const HANDLE first =
        CreateFileW(a.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    const HANDLE second =
        CreateFileA(b.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION one{}, two{};
    const bool same =
        first != INVALID_HANDLE_VALUE && second != INVALID_HANDLE_VALUE &&
        GetFileInformationByHandle(first, &one) && GetFileInformationByHandle(second, &two) &&
        one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
        one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
    if (first != INVALID_HANDLE_VALUE) {
        CloseHandle(first);
    }
    if (second != INVALID_HANDLE_VALUE) {
        CloseHandle(second);
    }
    return same;
}

TEST(ProcessList, APathTheCodePageCannotWriteIsReportedInAFormThatNamesTheFile) {
    ScratchDir dir;
    // Cyrillic and Japanese: no single-byte code page holds both.
    const std::wstring exe = dir.path().wstring() + L"\\\u0432\u0440\u0435\u0434 \u5bb3\u866b.exe";
    ASSERT_TRUE(CopyFileW(std::filesystem::path(TestProgramPath("test_pest.exe")).wstring().c_str(),
                          exe.c_str(), FALSE));
    WidePest pest(exe);
    const DWORD id = pest.Id();
    ASSERT_NE(id, 0u);

    CProcessList list;
    const auto records = RecordsOf(AllProcesses(list), id);
    ASSERT_EQ(records.size(), 1u);
    const ProcessRecord& record = records.front();
    ASSERT_FALSE(record.path.empty());
    EXPECT_EQ(record.path.find('?'), std::string::npos) << record.path;
    EXPECT_TRUE(SameFile(exe, record.path)) << record.path;
    EXPECT_EQ(record.name, record.path.substr(record.path.find_last_of('\\') + 1));
    EXPECT_NE(record.image_base, 0u);
}

// Windows 95, 98 and Me, and a system whose version cannot be read, list
// through Tool Help: whole paths still, but no image bases.
TEST(ProcessList, ToolHelpListsPathsWithoutImageBases) {
    ScratchDir dir;
    const DeepPest deep = CopyPestDeep(dir, 200);
    PestProcesses pests;
    const HANDLE process = pests.Start(deep.exe, "--load \"" + deep.dll + "\"");
    ASSERT_TRUE(process);
    const DWORD id = GetProcessId(process);

    for (const OsVersionSource* version :
         {static_cast<const OsVersionSource*>(&kWindows98),
          static_cast<const OsVersionSource*>(&kUnreadableVersion)}) {
        ScopedOsVersionSource seam(*version);
        CProcessList list;
        EXPECT_FALSE(list.UsesProcessStatusApi());

        const auto all = AllProcesses(list);
        EXPECT_GT(all.size(), 1u);
        for (const auto& record : all) {
            EXPECT_EQ(record.image_base, 0u) << record.name;
        }
        const auto records = RecordsOf(all, id);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records.front().path, deep.exe);
        EXPECT_EQ(records.front().name, "deep pest.exe");

        int dll_seen = 0;
        for (const auto& module : AllModules(list, id)) {
            if (module.path == deep.dll) {
                ++dll_seen;
                EXPECT_EQ(module.name, "deep pest module.dll");
                EXPECT_NE(module.handle, 0u);
            }
        }
        EXPECT_EQ(dll_seen, 1);
    }
}

TEST(ProcessList, MappedFileNamesBecomeDrivePaths) {
    const DeviceDrives devices = {{L"\\Device\\HarddiskVolume1", L"C:"},
                                  {L"\\Device\\HarddiskVolume12", L"D:"}};
    struct Case {
        const wchar_t* mapped;
        const wchar_t* path;  // empty: the loader is asked instead
    } const cases[] = {
        {L"\\??\\C:\\windows\\system32\\ntdll.dll", L"C:\\windows\\system32\\ntdll.dll"},
        {L"\\??\\Z:\\Deep Dir\\x.dll", L"Z:\\Deep Dir\\x.dll"},
        {L"\\Device\\HarddiskVolume1\\Windows\\a.dll", L"C:\\Windows\\a.dll"},
        {L"\\Device\\HarddiskVolume12\\b.dll", L"D:\\b.dll"},
        // A device whose name merely begins like a known one.
        {L"\\Device\\HarddiskVolume123\\c.dll", L""},
        {L"\\Device\\HarddiskVolume1", L""},
        // Network paths, and anything else, go to the loader.
        {L"\\Device\\Mup\\server\\share\\d.dll", L""},
        {L"\\??\\UNC\\server\\share\\d.dll", L""},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DrivePathOfMappedName(c.mapped, devices), c.path) << testing::Narrow(c.mapped);
}

TEST(ProcessList, AProcessThatCannotBeOpenedHasNoModuleList) {
    CProcessList list;
    ModuleRecord module;
    ASSERT_GE(AllModules(list, GetCurrentProcessId()).size(), 1u);
    // Id 0 is the idle process, which nobody opens; the old list is gone.
    EXPECT_FALSE(list.BuildModuleList(0));
    EXPECT_FALSE(list.GetFirstModule(module));

    // The process cursor ends, and a new GetFirstProcess starts over.
    ProcessRecord record;
    ASSERT_TRUE(list.GetFirstProcess(record));
    while (list.GetNextProcess(record)) {
    }
    EXPECT_FALSE(list.GetNextProcess(record));
    EXPECT_TRUE(list.GetFirstProcess(record));
}

}  // namespace
}  // namespace olvex
