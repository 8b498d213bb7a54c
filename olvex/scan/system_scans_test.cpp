// The scanner's memory and registry scans under Wine, through IScanner:
// running stand-in pests found by their image in memory, by their file, and
// by a module they load; registry locations in the real registry, keys that
// refuse the user, and another user's hive mounted for an all-users scan.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "olvex/scan/registry_test_support.h"
#include "olvex/scan/scanner_scan_fixture.h"
#include "testing/image_first_page.h"
#include "testing/test_programs.h"

namespace olvex {
namespace {

using scan_test::Bstr;
using scan_test::FileSignature;
using scan_test::FixedOsVersion;
using scan_test::Hex;
using scan_test::TextOf;
using scan_test::UniqueCopy;
using scan_test::Wide;
using scan_test::WideLines;
using SystemScanTest = scan_test::ScannerScanTest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

std::wstring ProcessLocation(HANDLE process, const std::string& exe) {
    return L"ProcessId \"" + std::to_wstring(GetProcessId(process)) + L"\" File \"" + Wide(exe) +
           L"\"";
}

const std::wstring kWithCheck = L"VerboseInformation IScanner::DetectWithExclusionCheck invoked.";

// --- Memory ----------------------------------------------------------------

TEST_F(SystemScanTest, ARunningPestIsReportedOnceByItsImageOrByItsFile) {
    const std::string by_memory = UniqueCopy(dir_, "test_pest.exe", "memory pest.exe");
    const std::string by_file = UniqueCopy(dir_, "test_pest.exe", "file pest.exe");
    const auto signature = testing::MemorySignatureOfFile(by_memory);
    ASSERT_TRUE(signature);
    // The memory pest's file is known as well: its memory decides, once.
    Define("memory 2001 " + Hex(*signature) + "\n" + FileSignature(2003, by_memory) +
           FileSignature(2002, by_file));
    testing::PestProcesses pests;
    const HANDLE memory_pest = pests.Start(by_memory);
    const HANDLE file_pest = pests.Start(by_file);
    ASSERT_TRUE(memory_pest && file_pest);

    ASSERT_TRUE(ScanMemory(false));
    const std::wstring at_memory = ProcessLocation(memory_pest, by_memory);
    const std::wstring at_file = ProcessLocation(file_pest, by_file);
    EXPECT_THAT(About(at_memory),
                ElementsAre(L"StartingItem " + at_memory, L"PestDetected 2001 " + at_memory,
                            L"FinishedItem " + at_memory));
    EXPECT_THAT(About(at_file),
                ElementsAre(L"StartingItem " + at_file, L"PestDetected 2002 " + at_file,
                            L"FinishedItem " + at_file));
    EXPECT_EQ(sink_.Only(L"PestDetected").size(), 2u);
    const WideLines lines = sink_.Lines();
    EXPECT_EQ(lines.front(), L"StartingItem Memory");
    EXPECT_THAT(WideLines(lines.end() - 2, lines.end()),
                ElementsAre(L"FinishedItem Memory", L"ScanComplete"));
    // The scanner's own process is listed too, and is no pest.
    const std::wstring me = L"StartingItem ProcessId \"" + std::to_wstring(GetCurrentProcessId());
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::wstring& line) { return line.starts_with(me); }),
              1);
}

TEST_F(SystemScanTest, APestModuleIsReportedOnlyWithTheModulesFlag) {
    const std::string host = UniqueCopy(dir_, "test_pest.exe", "host.exe");
    const std::string module = UniqueCopy(dir_, "test_pest_module.dll", "pest module.dll");
    Define(FileSignature(2003, module));
    testing::PestProcesses pests;
    const HANDLE process = pests.Start(host, "--load \"" + module + "\"");
    ASSERT_TRUE(process);
    const std::wstring at_module = L"ModuleName \"pest module.dll\" File \"" + Wide(module) + L"\"";

    ASSERT_TRUE(ScanMemory(false));
    EXPECT_THAT(sink_.Only(L"StartingItem ModuleName"), IsEmpty());
    EXPECT_THAT(sink_.Only(L"PestDetected"), IsEmpty());
    // The host itself is no pest.
    EXPECT_THAT(About(ProcessLocation(process, host)),
                ElementsAre(L"StartingItem " + ProcessLocation(process, host)));

    sink_.Clear();
    ASSERT_TRUE(ScanMemory(true));
    EXPECT_THAT(About(at_module),
                ElementsAre(L"StartingItem " + at_module, L"PestDetected 2003 " + at_module,
                            L"FinishedItem " + at_module));
    EXPECT_EQ(sink_.Only(L"PestDetected").size(), 1u);
    // The main image is not checked again as a module.
    EXPECT_THAT(sink_.Only(L"StartingItem ModuleName \"host.exe\""), IsEmpty());
}

TEST_F(SystemScanTest, OnWindows9xProcessesAreJudgedByTheirFilesAlone) {
    const std::string by_memory = UniqueCopy(dir_, "test_pest.exe", "memory pest.exe");
    const std::string by_file = UniqueCopy(dir_, "test_pest.exe", "file pest.exe");
    Define("memory 2001 " + Hex(*testing::MemorySignatureOfFile(by_memory)) + "\n" +
           FileSignature(2002, by_file));
    testing::PestProcesses pests;
    const HANDLE memory_pest = pests.Start(by_memory);
    const HANDLE file_pest = pests.Start(by_file);
    ASSERT_TRUE(memory_pest && file_pest);

    const FixedOsVersion windows98(OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 10});
    const ScopedOsVersionSource seam(windows98);
    ASSERT_TRUE(ScanMemory(false));
    EXPECT_THAT(sink_.Only(L"PestDetected"),
                ElementsAre(L"PestDetected 2002 " + ProcessLocation(file_pest, by_file)));
    EXPECT_THAT(About(ProcessLocation(memory_pest, by_memory)),
                ElementsAre(L"StartingItem " + ProcessLocation(memory_pest, by_memory)));
}

TEST_F(SystemScanTest, WithoutCallbackAMemoryFindingWaitsInTheList) {
    const std::string exe = UniqueCopy(dir_, "test_pest.exe", "listed pest.exe");
    Define(FileSignature(2002, exe));
    testing::PestProcesses pests;
    const HANDLE process = pests.Start(exe);
    ASSERT_TRUE(process);
    scanner_->put_Callback(nullptr);
    ASSERT_TRUE(ScanMemory(true));
    LONG id = 0;
    BSTR location = nullptr;
    ASSERT_EQ(scanner_->GetNextDetectedItem(&id, &location), S_OK);
    EXPECT_EQ(id, 2002);
    EXPECT_EQ(TextOf(location), ProcessLocation(process, exe));
    SysFreeString(location);
    EXPECT_EQ(scanner_->GetNextDetectedItem(&id, &location), S_OK);
    EXPECT_EQ(location, nullptr);
}

// --- Registry ----------------------------------------------------------------

std::string KeyText(const char* root_word, const std::string& path) {
    return std::string(root_word) + " \\" + path;
}

TEST_F(SystemScanTest, RegistryValueTests) {
    const testing::TestRegistryKey test_key;
    const std::string base = test_key.Path();
    scan_test::SetStringValue(HKEY_CURRENT_USER, base + "\\Key", "Text", "abc");
    scan_test::SetStringValue(HKEY_CURRENT_USER, base + "\\Key", "Path", "%SystemRoot%\\x.exe",
                              REG_EXPAND_SZ);
    scan_test::SetStringValue(HKEY_CURRENT_USER, base + "\\Key", "", "http://home.example/");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (base + "\\Key").c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const DWORD abcd = 0x64636261;  // the bytes of "abcd"
    RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&abcd), sizeof(abcd));
    RegCloseKey(key);

    struct Case {
        const char* what;
        std::string value, data;
        bool found;
        std::string key = "Key";
    };
    const Case cases[] = {
        {"key only", "", "", true},
        {"missing key", "", "", false, "Missing"},
        {"value present", "Text", "", true},
        {"value missing", "Other", "", false},
        {"data equal", "Text", "abc", true},
        {"data different", "Text", "abd", false},
        {"data longer", "Text", "abcd", false},
        {"expandable string as stored", "Path", "%SystemRoot%\\x.exe", true},
        {"DWORD against its bytes as text", "Number", "abcd", true},
        {"DWORD against a text of another length", "Number", "1684234849", false},
        {"default value", "", "http://home.example/", true},
        {"default value, other data", "", "http://other.example/", false},
    };
    std::string records;
    WideLines expected;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        records +=
            "pest " + std::to_string(3000 + i) + " \"Case " + std::to_string(i) + "\" \"Adware\"\n";
        const std::string key_text = KeyText("hkey_current_user", base + "\\" + c.key);
        records += "key " + std::to_string(3000 + i) + " \"" + key_text + "\"";
        std::wstring location = L"Key \"" + Wide(key_text) + L"\"";
        if (!c.value.empty() || !c.data.empty())
            records += " value \"" + c.value + "\"";
        if (!c.value.empty())
            location += L" value \"" + Wide(c.value) + L"\"";
        if (!c.data.empty()) {
            records += " data \"" + c.data + "\"";
            location += L" data \"" + Wide(c.data) + L"\"";
        }
        records += "\n";
        if (c.found)
            expected.push_back(L"PestDetected " + std::to_wstring(3000 + i) + L" " + location);
    }
    Define(records);
    ASSERT_TRUE(ScanRegistry(false));
    EXPECT_THAT(sink_.Only(L"PestDetected"), UnorderedElementsAreArray(expected));
    const WideLines lines = sink_.Lines();
    EXPECT_EQ(lines.front(), L"StartingItem Common Registry Locations");
    EXPECT_THAT(WideLines(lines.end() - 2, lines.end()),
                ElementsAre(L"FinishedItem Common Registry Locations", L"ScanComplete"));
    EXPECT_EQ(sink_.Only(L"StartingItem Key").size(), std::size(cases));
    EXPECT_EQ(sink_.Only(L"FinishedItem Key").size(), std::size(cases));
}

TEST_F(SystemScanTest, RefusedKeysAreReadOnlyByTheAllUsersScanAndPutBackByteForByte) {
    const scan_test::RefusedKey user_key(HKEY_CURRENT_USER);
    const scan_test::RefusedKey machine_key(HKEY_LOCAL_MACHINE);
    const scan_test::FakeProfiles no_other_users;
    const std::string user_text = KeyText("hkey_current_user", user_key.Path());
    const std::string machine_text = KeyText("hkey_local_machine", machine_key.Path());
    Define("key 2001 \"" + user_text + "\" value \"Marker\" data \"present\"\n" + "key 2002 \"" +
           machine_text + "\" value \"Marker\"\n");
    struct Saved {
        HKEY root;
        std::string path;
        std::vector<BYTE> bytes;
    };
    std::vector<Saved> saved;
    for (const auto* refused : {&user_key, &machine_key}) {
        for (const std::string& path : {refused->Path(), refused->Path() + "\\Child"}) {
            saved.push_back(
                {refused->Root(), path, scan_test::SecurityBytes(refused->Root(), path)});
            ASSERT_FALSE(saved.back().bytes.empty()) << path;
        }
    }
    const auto unchanged = [&] {
        for (const Saved& s : saved)
            EXPECT_EQ(scan_test::SecurityBytes(s.root, s.path), s.bytes) << s.path;
    };

    // The common scan passes them over and changes nothing.
    ASSERT_TRUE(ScanRegistry(false));
    EXPECT_THAT(sink_.Only(L"PestDetected"), IsEmpty());
    EXPECT_EQ(sink_.Only(L"FinishedItem Key").size(), 2u);
    unchanged();

    sink_.Clear();
    ASSERT_TRUE(ScanRegistry(true));
    const std::string me = scan_test::CurrentUserSidText();
    ASSERT_FALSE(me.empty());
    EXPECT_THAT(sink_.Only(L"PestDetected"),
                UnorderedElementsAreArray(WideLines{
                    L"PestDetected 2001 key \"hkey_users \\" + Wide(me + "\\" + user_key.Path()) +
                        L"\" value \"Marker\" data \"present\"",
                    L"PestDetected 2002 Key \"" + Wide(machine_text) + L"\" value \"Marker\"",
                }));
    const WideLines lines = sink_.Lines();
    EXPECT_THAT(WideLines(lines.end() - 2, lines.end()),
                ElementsAre(L"FinishedItem Common Registry Locations", L"ScanComplete"));
    unchanged();
}

TEST_F(SystemScanTest, AllUsersScanMountsAnotherUsersHiveAndLeavesNoneBehind) {
    scan_test::FakeProfiles profiles;
    const std::string sid = profiles.Add("Software\\OlvexPest", "Marker", "from the hive");
    Define("key 2003 \"hkey_current_user \\Software\\OlvexPest\" value \"Marker\"\n");

    // Without all users, the hive is not looked at.
    ASSERT_TRUE(ScanRegistry(false));
    EXPECT_THAT(sink_.Only(L"PestDetected"), IsEmpty());

    sink_.Clear();
    ASSERT_TRUE(ScanRegistry(true));
    const std::wstring found = L"PestDetected 2003 key \"hkey_users \\XJHive_" + Wide(sid) +
                               L"\\Software\\OlvexPest\" value \"Marker\"";
    EXPECT_THAT(sink_.Lines(),
                ElementsAre(L"StartingItem Common Registry Locations", L"ShouldScanContinue",
                            L"StartingItem Key \"hkey_current_user \\Software\\OlvexPest\" value "
                            L"\"Marker\"",
                            L"VerboseInformation IScanner::DetectPest invoked.", found,
                            L"FinishedItem Key \"hkey_current_user \\Software\\OlvexPest\" value "
                            L"\"Marker\"",
                            L"FinishedItem Common Registry Locations", L"ScanComplete"));
    EXPECT_THAT(scan_test::FakeProfiles::MountedFakeHives(), IsEmpty());
}

TEST_F(SystemScanTest, AllUsersScanNeedsAnNtSystem) {
    Define("key 2001 \"hkey_local_machine \\Software\\OlvexNothing\"\n");
    struct Case {
        std::optional<OsVersion> version;
        LONG code;
        const wchar_t* text;
    };
    const Case cases[] = {
        {std::nullopt, 17, L"Couldn't determine OS version."},
        {OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 0}, 22, L"Unsupported OS version."},
        {OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 90}, 22, L"Unsupported OS version."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        sink_.Clear();
        const FixedOsVersion version(c.version);
        const ScopedOsVersionSource seam(version);
        EXPECT_FALSE(ScanRegistry(true));
        EXPECT_EQ(LastCode(), c.code);
        EXPECT_EQ(LastError(), c.text);
        EXPECT_THAT(sink_.Lines(),
                    ElementsAre(L"StartingItem Common Registry Locations", L"ScanComplete"));
        // The common scan does not ask.
        sink_.Clear();
        EXPECT_TRUE(ScanRegistry(false));
        EXPECT_EQ(sink_.Lines().back(), L"ScanComplete");
    }
}

TEST_F(SystemScanTest, ScansBeforeInitialisationAreRefused) {
    for (const bool all_users : {false, true}) {
        EXPECT_FALSE(ScanRegistry(all_users));
        EXPECT_EQ(LastCode(), 9);
    }
    EXPECT_FALSE(ScanMemory(false));
    EXPECT_EQ(LastError(), L"Not initialized.");
    EXPECT_THAT(sink_.Lines(), IsEmpty());
}

}  // namespace
}  // namespace olvex
