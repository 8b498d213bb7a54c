#include "olvex/remedy/process_terminator.h"

#include <gtest/gtest.h>

#include <cctype>

#include "olvex/core/os_utilities.h"
#include "testing/scratch_dir.h"
#include "testing/test_programs.h"

namespace olvex {
namespace {

using olvex::testing::HasEnded;
using olvex::testing::PestProcesses;
using olvex::testing::ScratchDir;
using olvex::testing::TestProgramPath;

// A copy of the stand-in pest under a long name of the test's own.
std::string CopyPest(const ScratchDir& dir, const std::string& name) {
    const auto path = dir.File(name);
    EXPECT_TRUE(CopyFileA(TestProgramPath("test_pest.exe").c_str(), path.c_str(), FALSE));
    return path;
}

// Reports Windows 98 to the engine.
class Windows98 : public OsVersionSource {
  public:
    std::optional<OsVersion> Query() const override {
        return OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 10};
    }
};

std::string Upper(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

TEST(ProcessTerminator, EndsEveryCopyOfAPestAndMatchesPathsWithoutRegardToCase) {
    ScratchDir dir;
    const auto pest = CopyPest(dir, "Running Pest.exe");
    PestProcesses pests;
    const HANDLE first = pests.Start(pest);
    const HANDLE second = pests.Start(pest);
    ASSERT_TRUE(first && second);

    CProcessTerminator terminator(VER_PLATFORM_WIN32_NT);
    ASSERT_TRUE(terminator.IsReady());
    EXPECT_EQ(terminator.TerminateProcessesByModulePath(Upper(pest)),
              CProcessTerminator::kTerminated);
    EXPECT_EQ(terminator.TerminatedCount(), 2);
    DWORD code = 1;
    EXPECT_TRUE(HasEnded(first, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(HasEnded(second, &code));
    EXPECT_EQ(code, 0u);
    // Ended and waited for: the file can go at once.
    EXPECT_TRUE(DeleteFileA(pest.c_str()));
}

TEST(ProcessTerminator, AnswersEmptyNoMatchAndNotReady) {
    ScratchDir dir;
    const auto pest = CopyPest(dir, "Long Named Pest.exe");
    PestProcesses pests;
    const HANDLE running = pests.Start(pest);
    ASSERT_TRUE(running);
    char short_path[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(pest.c_str(), short_path, MAX_PATH), 0u);
    ASSERT_NE(std::string(short_path), pest);
    char self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);

    for (const DWORD platform : {DWORD{VER_PLATFORM_WIN32_NT}, DWORD{VER_PLATFORM_WIN32_WINDOWS}}) {
        CProcessTerminator terminator(platform);
        ASSERT_TRUE(terminator.IsReady());
        EXPECT_EQ(terminator.TerminateProcessesByModulePath(""), CProcessTerminator::kNoPath);
        EXPECT_EQ(terminator.TerminateProcessesByModulePath(dir.File("not running.exe")),
                  CProcessTerminator::kNoneTerminated);
        // Paths are compared as given: the 8.3 form does not name the long image.
        EXPECT_EQ(terminator.TerminateProcessesByModulePath(short_path),
                  CProcessTerminator::kNoneTerminated);
        // Never the calling process.
        EXPECT_EQ(terminator.TerminateProcessesByModulePath(self),
                  CProcessTerminator::kNoneTerminated);
        EXPECT_EQ(terminator.TerminatedCount(), 0);
    }
    EXPECT_EQ(WaitForSingleObject(running, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CProcessTerminator win32s(VER_PLATFORM_WIN32s);
    EXPECT_FALSE(win32s.IsReady());
    EXPECT_EQ(win32s.TerminateProcessesByModulePath(pest), CProcessTerminator::kNotReady);
}

TEST(ProcessTerminator, ALoadedLibraryEndsItsProcessOnWindows9xOnly) {
    ScratchDir dir;
    const auto pest = CopyPest(dir, "host.exe");
    const auto library = dir.File("Pest Module.dll");
    ASSERT_TRUE(CopyFileA(TestProgramPath("test_pest_module.dll").c_str(), library.c_str(), FALSE));
    PestProcesses pests;
    const HANDLE host = pests.Start(pest, "--load \"" + library + "\"");
    ASSERT_TRUE(host);

    CProcessTerminator nt(VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(nt.TerminateProcessesByModulePath(library), CProcessTerminator::kNoneTerminated);
    EXPECT_EQ(WaitForSingleObject(host, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // The Windows 9x branch, chosen through the engine's OS-version source.
    const Windows98 windows98;
    const ScopedOsVersionSource pretend(windows98);
    CProcessTerminator win9x;
    ASSERT_TRUE(win9x.IsReady());
    EXPECT_EQ(win9x.TerminateProcessesByModulePath(library), CProcessTerminator::kTerminated);
    EXPECT_EQ(win9x.TerminatedCount(), 1);
    EXPECT_TRUE(HasEnded(host));
}

TEST(ProcessTerminator, KnowsTheCriticalSystemImages) {
    const std::string system = "C:\\WINDOWS\\system32";
    const struct {
        const char* image;
        bool critical;
    } cases[] = {
        {"C:\\WINDOWS\\system32\\csrss.exe", true},
        {"c:\\windows\\SYSTEM32\\Winlogon.EXE", true},
        {"C:\\WINDOWS\\system32\\svchost.exe", true},
        {"C:\\WINDOWS\\system32\\lsass.exe", true},
        {"C:\\WINDOWS\\system32\\pest.exe", false},
        {"C:\\WINDOWS\\svchost.exe", false},  // a pest posing as one, outside the system folder
        {"C:\\Temp\\system32\\csrss.exe", false},
        {"csrss.exe", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsCriticalSystemImage(c.image, system), c.critical) << c.image;
    EXPECT_TRUE(IsCriticalSystemImage("C:\\WINDOWS\\system32\\smss.exe", system + "\\"));
}

}  // namespace
}  // namespace olvex
