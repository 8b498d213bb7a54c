#include "client/common/engine_registrar.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <memory>

#include "client/common/client_test_support.h"
#include "olvex/registration_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kFakeClassKey[] = L"CLSID\\{6F1C3B52-8A7D-4E21-9C55-0D3E7A9B1F40}";

constexpr std::uint64_t Version(std::uint64_t a, std::uint64_t b, std::uint64_t c,
                                std::uint64_t d) {
    return (a << 48) | (b << 32) | (c << 16) | d;
}
constexpr std::uint64_t kOld = Version(5, 0, 0, 1);
constexpr std::uint64_t kMid = Version(5, 6, 7, 4);
constexpr std::uint64_t kNew = Version(6, 0, 0, 0);
constexpr std::uint64_t kFailing = Version(7, 0, 0, 0);

std::string FakeFor(std::uint64_t version) {
    switch (version) {
        case kOld:
            return FakeEngine("old");
        case kMid:
            return FakeEngine("mid");
        case kNew:
            return FakeEngine("new");
        default:
            return FakeEngine("failing");
    }
}

DWORD RegisterCalls() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kFakeClassKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD count = 0;
    DWORD size = sizeof(count);
    DWORD type = 0;
    if (RegQueryValueExW(key, L"RegisterCalls", nullptr, &type, reinterpret_cast<BYTE*>(&count),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        count = 0;
    RegCloseKey(key);
    return count;
}

bool SamePath(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
           CSTR_EQUAL;
}

bool VersionKeyExists(const char* name) {
    return ClassesKeyExists(std::wstring(L"olvex\\") + Wide(name));
}

class EngineRegistrarTest : public ::testing::Test {
  protected:
    static std::vector<std::wstring> Keys() {
        auto keys = RegistrationKeys();
        keys.push_back(kFakeClassKey);
        return keys;
    }
    void SetUp() override {
        snapshot_ = std::make_unique<RegistrySnapshot>(HKEY_CLASSES_ROOT, Keys());
        StartAfresh();
    }
    void TearDown() override { snapshot_.reset(); }

    // No engine registered, no copies.
    void StartAfresh() {
        for (const auto& key : Keys())
            SHDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
        for (const auto* path : {&program_, &shared_, &registered_})
            std::filesystem::remove(*path);
        std::filesystem::create_directories(dir_.path() / "install");
        std::filesystem::create_directories(dir_.path() / "Common Files" / "Scanner");
        std::filesystem::create_directories(dir_.path() / "registered");
    }

    static void Place(const std::string& from, const std::string& to) {
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    }

    ScratchDir dir_;
    std::unique_ptr<RegistrySnapshot> snapshot_;
    const std::string program_ = dir_.File("install\\olvex.dll");
    const std::string shared_ = dir_.File("Common Files\\Scanner\\olvex.dll");
    const std::string registered_ = dir_.File("registered\\olvex.dll");
    CEngineRegistrar registrar_;
};

TEST_F(EngineRegistrarTest, ReadsFileVersionsAndTheRegisteredPath) {
    EXPECT_EQ(CEngineRegistrar::GetFileVersion64(FakeEngine("old")), kOld);
    EXPECT_EQ(CEngineRegistrar::GetFileVersion64(FakeEngine("new")), kNew);
    EXPECT_EQ(CEngineRegistrar::GetFileVersion64(RealEngine()), kMid);  // the project's version
    EXPECT_EQ(CEngineRegistrar::GetFileVersion64(dir_.File("missing.dll")), 0u);
    EXPECT_EQ(CEngineRegistrar::GetFileVersion64(dir_.Write("plain.dll", "no version")), 0u);

    EXPECT_EQ(CEngineRegistrar::GetRegisteredEnginePath(), "");
    // A class id that is no class id cannot lead the lookup elsewhere.
    ASSERT_TRUE(SetClassesString(L"olvex.Scanner\\CLSID", L"", L"..\\..\\Software"));
    EXPECT_EQ(CEngineRegistrar::GetRegisteredEnginePath(), "");
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L"olvex.Scanner");

    Place(FakeEngine("mid"), registered_);
    ASSERT_TRUE(registrar_.RegisterDll(registered_));
    EXPECT_TRUE(SamePath(CEngineRegistrar::GetRegisteredEnginePath(), registered_));
    EXPECT_EQ(RegisterCalls(), 1u);
    // Unloaded again: the file can be replaced at once.
    EXPECT_TRUE(CopyFileA(FakeEngine("new").c_str(), registered_.c_str(), FALSE));
    EXPECT_FALSE(registrar_.RegisterDll(dir_.File("missing.dll")));
}

// The install-folder copy older, newer or missing against the common-files
// copy, with or without an engine registered already: the newest copy ends
// up registered and both copies follow it.
TEST_F(EngineRegistrarTest, TheNewestCopyEndsUpRegistered) {
    struct Case {
        const char* what;
        std::uint64_t program;     // 0: missing
        std::uint64_t shared;      // 0: missing
        std::uint64_t registered;  // 0: none registered
        bool ok;
        std::uint64_t expect_copies;    // version of both copies afterwards
        const char* expect_registered;  // "shared", "registered" or "none"
        DWORD expect_calls;
    };
    const Case cases[] = {
        {"nothing registered, no shared copy", kMid, 0, 0, true, kMid, "shared", 1},
        {"program copy older", kOld, kMid, 0, true, kMid, "shared", 1},
        {"program copy newer", kNew, kMid, 0, true, kNew, "shared", 1},
        {"program copy missing", 0, kMid, 0, true, kMid, "shared", 1},
        {"older engine registered", kNew, kNew, kOld, true, kNew, "shared", 2},
        {"newer engine registered", kOld, kMid, kNew, true, kNew, "registered", 1},
        {"same engine registered", kMid, kMid, kMid, true, kMid, "registered", 1},
        {"registration fails", kFailing, kMid, 0, false, kFailing, "none", 1},
        {"no copy at all", 0, 0, 0, false, 0, "none", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartAfresh();
        if (c.program)
            Place(FakeFor(c.program), program_);
        if (c.shared)
            Place(FakeFor(c.shared), shared_);
        if (c.registered) {
            Place(FakeFor(c.registered), registered_);
            ASSERT_TRUE(registrar_.RegisterDll(registered_));
        }

        EXPECT_EQ(registrar_.EnsureCurrentEngine(kProductVersionKeyName, program_, shared_), c.ok);
        EXPECT_EQ(CEngineRegistrar::GetFileVersion64(program_), c.expect_copies);
        EXPECT_EQ(CEngineRegistrar::GetFileVersion64(shared_), c.expect_copies);
        const std::string path = CEngineRegistrar::GetRegisteredEnginePath();
        const std::string expected_path = std::string(c.expect_registered) == "shared" ? shared_
                                          : std::string(c.expect_registered) == "registered"
                                              ? registered_
                                              : std::string();
        EXPECT_TRUE(SamePath(path, expected_path)) << path;
        EXPECT_EQ(RegisterCalls(), c.expect_calls);
        EXPECT_EQ(VersionKeyExists(kProductVersionKeyName), c.ok);
    }
}

TEST_F(EngineRegistrarTest, RemovingAVersionKeepsTheEngineWhileAnotherProgramUsesIt) {
    Place(FakeEngine("mid"), program_);
    ASSERT_TRUE(registrar_.EnsureCurrentEngine(kProductVersionKeyName, program_, shared_));
    ASSERT_TRUE(registrar_.EnsureVersionKey("OtherProduct"));
    EXPECT_FALSE(registrar_.EnsureVersionKey("a\\b"));
    EXPECT_FALSE(registrar_.EnsureVersionKey(""));

    // Another program's key remains: only our key goes.
    EXPECT_FALSE(registrar_.RemoveEngineVersion(kProductVersionKeyName, shared_));
    EXPECT_FALSE(VersionKeyExists(kProductVersionKeyName));
    EXPECT_TRUE(VersionKeyExists("OtherProduct"));
    EXPECT_TRUE(std::filesystem::exists(shared_));
    EXPECT_TRUE(SamePath(CEngineRegistrar::GetRegisteredEnginePath(), shared_));

    // Another DLL than the registered one is never unregistered.
    EXPECT_FALSE(registrar_.RemoveEngineVersion("OtherProduct", program_));
    EXPECT_TRUE(std::filesystem::exists(program_));

    // The last program: unregistered and deleted ("CurrentVersion" is no program).
    ASSERT_TRUE(registrar_.EnsureVersionKey("OtherProduct"));
    ASSERT_TRUE(registrar_.EnsureVersionKey("CurrentVersion"));
    std::string other_spelling = shared_;  // the drive is not compared by its spelling
    other_spelling[0] = static_cast<char>(std::isupper(static_cast<unsigned char>(shared_[0]))
                                              ? std::tolower(shared_[0])
                                              : std::toupper(shared_[0]));
    EXPECT_TRUE(registrar_.RemoveEngineVersion("OtherProduct", other_spelling));
    EXPECT_FALSE(std::filesystem::exists(shared_));
    EXPECT_EQ(CEngineRegistrar::GetRegisteredEnginePath(), "");
    EXPECT_TRUE(std::filesystem::exists(program_));
}

TEST_F(EngineRegistrarTest, SharedFolderIsMadeInCommonProgramFiles) {
    FakeFolders folders;
    folders.common_program_files = (dir_.path() / "Common2").string();
    std::filesystem::create_directories(*folders.common_program_files);
    const ScopedClientFolders use(folders);
    for (int round = 0; round < 2; ++round) {
        const auto folder = MakeSharedEngineFolder();
        ASSERT_TRUE(folder.path) << round;
        EXPECT_EQ(*folder.path, *folders.common_program_files + "\\Scanner");
        EXPECT_TRUE(std::filesystem::is_directory(*folder.path));
    }
    folders.common_program_files = (dir_.path() / "install").string();
    dir_.Write("install\\Scanner", "a file");
    const auto blocked = MakeSharedEngineFolder();
    EXPECT_FALSE(blocked.path);
    EXPECT_NE(blocked.error, 0u);
    folders.common_program_files.reset();
    EXPECT_FALSE(MakeSharedEngineFolder().path);
}

// The real engine: registered from the shared copy and created through COM.
TEST_F(EngineRegistrarTest, RegistersTheRealEngineForCom) {
    Place(RealEngine(), program_);
    ASSERT_TRUE(registrar_.EnsureCurrentEngine(kProductVersionKeyName, program_, shared_));
    EXPECT_TRUE(SamePath(CEngineRegistrar::GetRegisteredEnginePath(), shared_));
    EXPECT_TRUE(VersionKeyExists(kProductVersionKeyName));

    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    CLSID scanner{};
    EXPECT_EQ(CLSIDFromProgID(L"olvex.Scanner", &scanner), S_OK);
    IDispatch* object = nullptr;
    EXPECT_EQ(CoCreateInstance(scanner, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    if (object)
        object->Release();
    CoUninitialize();

    EXPECT_TRUE(registrar_.RemoveEngineVersion(kProductVersionKeyName, shared_));
    EXPECT_FALSE(std::filesystem::exists(shared_));
    EXPECT_FALSE(ClassesKeyExists(L"olvex.Scanner"));
}

}  // namespace
}  // namespace olvex::testing
