// The start-up entry scan over a machine the test describes: the text rules
// of commands, ini entries and batch lines, every program of every kind of
// entry scanned once and in order, where the Windows folder comes from, the
// user's stop, and the all-users walk over the users' hives.
#include "olvex/scan/autorun_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "olvex/scan/scan_test_support.h"

namespace olvex {
namespace {

using scan_test::FakeTree;
using scan_test::RecordingEvents;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

const MultiByteText kSingleByte = MultiByteText::SingleByte();
constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

TEST(AutorunTextTest, ProgramOfACommand) {
    const std::pair<std::string, std::string> cases[] = {
        {"\"C:\\Program Files\\a b\\x.exe\" -arg", "C:\\Program Files\\a b\\x.exe"},
        {"C:\\x.exe -arg", "C:\\x.exe"},
        {"C:\\X.EXE /s", "C:\\X.EXE"},
        {"notepad", "notepad"},
        {"C:\\tool.com /s", "C:\\tool.com /s"},
        // The text ends at the second double quote; the first is dropped.
        {"\"C:\\a\"b\"c", "C:\\a"},
        {"C:\\a\"b\"c.exe", "C:\\ab"},
        // Cut after the first ".exe".
        {"C:\\x.exe.bak\\y.exe", "C:\\x.exe"},
        {"\"%1\" %*", "%1"},
        {"", ""},
    };
    for (const auto& [command, program] : cases)
        EXPECT_EQ(ProgramOfCommand(command, kSingleByte), program) << command;
    // In a double-byte code page a trail byte is no quote of its own.
    const MultiByteText japanese = MultiByteText::ForCodePage(932);
    EXPECT_EQ(ProgramOfCommand("\"C:\\\x83\"x.exe\" y", japanese), "C:\\\x83\"x.exe");
    EXPECT_EQ(ProgramOfCommand("\"C:\\\x83\"x.exe\" y", kSingleByte), "C:\\\x83");
}

TEST(AutorunTextTest, ProgramsOfIniEntriesAndBatchLines) {
    EXPECT_THAT(ProgramsOfIniEntry("load", "a.exe, b.exe,,c.exe ", kSingleByte),
                ElementsAre("a.exe", "b.exe", "c.exe"));
    EXPECT_THAT(ProgramsOfIniEntry("shell", "Explorer.exe  C:\\x.exe", kSingleByte),
                ElementsAre("Explorer.exe", "C:\\x.exe"));
    EXPECT_THAT(ProgramsOfIniEntry("run", "a.exe b.exe", kSingleByte), ElementsAre("a.exe b.exe"));
    EXPECT_THAT(ProgramsOfIniEntry("other", " x y ", kSingleByte), ElementsAre("x y"));
    EXPECT_THAT(ProgramsOfIniEntry("load", "", kSingleByte), IsEmpty());

    const std::pair<std::string, std::optional<std::string>> lines[] = {
        {"  \tC:\\x.exe /y", "C:\\x.exe"},
        {"setup\r", "setup"},
        {"REM C:\\x.exe", std::nullopt},
        {"Echo off", std::nullopt},
        {"goto :eof", std::nullopt},
        {"", std::nullopt},
        {" \t ", std::nullopt},
        {"remark.exe", "remark.exe"},
        {"@echo off", "@echo"},
    };
    for (const auto& [line, word] : lines)
        EXPECT_EQ(CommandOfBatchLine(line, kSingleByte), word) << line;
}

// A machine: keys, values, ini entries, files and the search path.
class FakeSystem : public AutorunSystem {
  public:
    using Key = std::pair<AutorunRoot, std::string>;
    std::set<Key> keys;
    std::map<Key, std::map<std::string, std::string, std::less<>>> strings;
    std::map<Key, std::vector<AutorunValue>> values;
    Lines hives;
    std::map<std::string, std::string> ini;  // "<file>|<section>|<key>"
    std::map<std::string, Lines> files;
    std::set<std::string> existing;
    std::map<std::string, std::string> search;
    Lines ini_files;

    void String(AutorunRoot root, const std::string& key, const std::string& name,
                const std::string& value) {
        strings[{root, key}][name] = value;
    }
    void Value(AutorunRoot root, const std::string& key, AutorunValue::Kind kind,
               const std::string& data) {
        values[{root, key}].push_back({kind, data});
    }

    bool KeyOpens(AutorunRoot root, const std::string& key) override {
        const Key k{root, key};
        return keys.count(k) || strings.count(k) || values.count(k);
    }
    std::optional<std::string> StringValue(AutorunRoot root, const std::string& key,
                                           std::string_view name) override {
        const auto found = strings.find({root, key});
        if (found == strings.end())
            return std::nullopt;
        const auto value = found->second.find(name);
        return value == found->second.end() ? std::nullopt : std::optional(value->second);
    }
    std::optional<std::vector<AutorunValue>> Values(AutorunRoot root,
                                                    const std::string& key) override {
        const auto found = values.find({root, key});
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
    std::vector<std::string> UserHives() override { return hives; }
    std::string IniEntry(const std::string& file, std::string_view section,
                         std::string_view key) override {
        ini_files.push_back(file);
        const auto found = ini.find(file + "|" + std::string(section) + "|" + std::string(key));
        return found == ini.end() ? std::string() : found->second;
    }
    bool ReadLines(const std::string& path,
                   const std::function<bool(std::string_view line)>& each) override {
        const auto found = files.find(path);
        if (found == files.end())
            return false;
        for (const auto& line : found->second) {
            if (!each(line))
                break;
        }
        return true;
    }
    bool Exists(const std::string& path) override {
        return existing.count(path) > 0 || files.count(path) > 0;
    }
    std::optional<std::string> FindOnSearchPath(const std::string& name) override {
        const auto found = search.find(name);
        return found == search.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<std::string> ExpandEnvironment(const std::string& text) override {
        constexpr std::string_view kVariable = "%ProgramFiles%";
        if (text.starts_with(kVariable))
            return "C:\\Program Files" + text.substr(kVariable.size());
        return text;
    }
};

class AutorunScanTest : public ::testing::Test {
  protected:
    Lines ScanCurrentUser() {
        ScanReporter reporter(&events_, nullptr, detected_);
        AutorunScan scan(system_, tree_, reporter, kSingleByte,
                         [&](const std::string& path) { scanned_.push_back(path); });
        scan.ScanCurrentUser("C:\\autoexec.bat");
        windows_folder_ = scan.windows_folder();
        return scanned_;
    }
    Lines ScanAllUsers() {
        ScanReporter reporter(&events_, nullptr, detected_);
        AutorunScan scan(system_, tree_, reporter, kSingleByte,
                         [&](const std::string& path) { scanned_.push_back(path); });
        scan.ScanAllUsers("C:\\autoexec.bat");
        return scanned_;
    }

    FakeSystem system_;
    FakeTree tree_;
    RecordingEvents events_;
    DetectedItems detected_;
    Lines scanned_;
    std::string windows_folder_;
};

TEST_F(AutorunScanTest, EveryProgramOfEveryEntryIsScannedOnceInOrder) {
    using Kind = AutorunValue::Kind;
    const auto lm = AutorunRoot::kLocalMachine;
    const auto cu = AutorunRoot::kCurrentUser;
    system_.String(lm, std::string(kWindowsNtCurrentVersionKey), "SystemRoot", "C:\\WINNT\\");
    system_.String(cu, kShellFolders, "Startup", "C:\\Startup");
    tree_.AddFolder("C:\\Startup");
    tree_.AddFile("C:\\Startup\\a.lnk");
    tree_.AddFile("C:\\Startup\\pest.exe");
    tree_.AddFolder("C:\\Startup\\sub");
    tree_.AddFile("C:\\Startup\\sub\\inner.exe");

    system_.Value(lm, kRun, Kind::kString,
                  "\"C:\\Program Files\\Olvex\\pest one.exe\" /background");
    system_.Value(lm, kRun, Kind::kOther, "");
    system_.Value(lm, kRun, Kind::kExpandString, "%ProgramFiles%\\Olvex\\two.EXE -x");
    system_.Value(lm, kRun, Kind::kString, "olvexbare");
    system_.Value(lm, kRun, Kind::kString, "c:\\startup\\PEST.exe");  // named twice
    system_.Value(lm, kRun, Kind::kString, "C:\\gone.exe");           // missing
    system_.Value(cu, kRun, Kind::kString, "rundll32.exe olvex.dll,Entry");
    system_.Value(AutorunRoot::kClassesRoot, "exefile\\shell\\open\\command", Kind::kString,
                  "\"%1\" %*");
    system_.existing = {"C:\\Program Files\\Olvex\\pest one.exe",
                        "C:\\Program Files\\Olvex\\two.EXE",
                        "c:\\startup\\PEST.exe",
                        "C:\\load1.exe",
                        "C:\\load2.exe",
                        "C:\\shell2.exe",
                        "C:\\batch.exe",
                        "C:\\DOS\\tool.com",
                        "C:\\remmed.exe"};
    system_.search = {{"olvexbare", "C:\\WINNT\\system32\\olvexbare"},
                      {"rundll32.exe", "C:\\WINNT\\system32\\rundll32.exe"},
                      {"Explorer.exe", "C:\\WINNT\\explorer.exe"},
                      {"setup.exe", "C:\\WINNT\\setup.exe"}};
    system_.ini = {{"C:\\WINNT\\Win.ini|windows|load", "C:\\load1.exe, C:\\load2.exe"},
                   {"C:\\WINNT\\Win.ini|windows|run", "C:\\load1.exe"},
                   {"C:\\WINNT\\System.ini|boot|shell", "Explorer.exe C:\\shell2.exe"}};
    system_.files["C:\\WINNT\\winstart.bat"] = {
        "rem C:\\remmed.exe", "  echo hi", "", "\tsetup /q", "goto end", "C:\\batch.exe arg"};
    system_.files["C:\\autoexec.bat"] = {"C:\\DOS\\tool", "C:\\DOS\\missing"};

    EXPECT_THAT(ScanCurrentUser(), ElementsAreArray(Lines{
                                       "C:\\Startup\\a.lnk",
                                       "C:\\Startup\\pest.exe",
                                       "C:\\Program Files\\Olvex\\pest one.exe",
                                       "C:\\Program Files\\Olvex\\two.EXE",
                                       "C:\\WINNT\\system32\\olvexbare",
                                       "C:\\WINNT\\system32\\rundll32.exe",
                                       "C:\\load1.exe",
                                       "C:\\load2.exe",
                                       "C:\\WINNT\\explorer.exe",
                                       "C:\\shell2.exe",
                                       "C:\\WINNT\\setup.exe",
                                       "C:\\batch.exe",
                                       "C:\\DOS\\tool.com",
                                   }));
    EXPECT_EQ(windows_folder_, "C:\\WINNT");
    EXPECT_THAT(tree_.listed, ElementsAre("C:\\Startup\\*.*"));
}

TEST_F(AutorunScanTest, WindowsFolderComesFromSystemRootOrDefaults) {
    const auto lm = AutorunRoot::kLocalMachine;
    const std::string nt(kWindowsNtCurrentVersionKey);
    const std::string nine_x(kWindowsCurrentVersionKey);
    // Neither key: the default.
    ScanCurrentUser();
    EXPECT_EQ(windows_folder_, "C:\\WINDOWS");
    EXPECT_EQ(system_.ini_files.front(), "C:\\WINDOWS\\Win.ini");
    // Only the Windows 9x key.
    system_.String(lm, nine_x, "SystemRoot", "C:\\WIN98");
    ScanCurrentUser();
    EXPECT_EQ(windows_folder_, "C:\\WIN98");
    // The NT key opens: it alone is read, even without the value.
    system_.keys.insert({lm, nt});
    ScanCurrentUser();
    EXPECT_EQ(windows_folder_, "C:\\WINDOWS");
    system_.String(lm, nt, "SystemRoot", "D:\\WINNT");
    ScanCurrentUser();
    EXPECT_EQ(windows_folder_, "D:\\WINNT");
    EXPECT_EQ(system_.ini_files.back(), "D:\\WINNT\\System.ini");
}

TEST_F(AutorunScanTest, AStopEndsOnlyTheWalkItCameIn) {
    system_.String(AutorunRoot::kCurrentUser, kShellFolders, "Startup", "C:\\Startup\\");
    tree_.AddFolder("C:\\Startup");
    tree_.AddFile("C:\\Startup\\a.exe");
    system_.Value(AutorunRoot::kLocalMachine, kRun, AutorunValue::Kind::kString, "C:\\b.exe");
    system_.Value(AutorunRoot::kLocalMachine, kRun, AutorunValue::Kind::kString, "C:\\c.exe");
    system_.existing = {"C:\\b.exe", "C:\\c.exe"};
    // 1 is the Startup folder's ".", 2 the first registry row, 3 its first
    // value, 4 its second.
    events_.should_continue = [](int question) { return question != 1 && question != 4; };
    EXPECT_THAT(ScanCurrentUser(), ElementsAre("C:\\b.exe"));
    // Before each of the 17 rows, each value and each of the 3 ini rows.
    EXPECT_EQ(events_.Only({"ShouldScanContinue"}).size(), 1u + 17 + 2 + 3);
}

TEST_F(AutorunScanTest, AllUsersWalkEveryHiveButTheClassesOnes) {
    using Kind = AutorunValue::Kind;
    const auto users = AutorunRoot::kUsers;
    system_.hives = {".DEFAULT", "S-1-5-21-1", "S-1-5-21-1_Classes", "XJHive_S-1-5-21-2"};
    system_.String(users, std::string("S-1-5-21-1\\") + kShellFolders, "Startup",
                   "C:\\Shared Startup");
    system_.String(users, std::string("XJHive_S-1-5-21-2\\") + kShellFolders, "Startup",
                   "C:\\Shared Startup\\");
    system_.String(users, std::string(".DEFAULT\\") + kShellFolders, "Common Startup",
                   "C:\\All Startup");
    tree_.AddFolder("C:\\Shared Startup");
    tree_.AddFile("C:\\Shared Startup\\shared.exe");
    tree_.AddFolder("C:\\All Startup");
    tree_.AddFile("C:\\All Startup\\all.exe");
    system_.Value(users, std::string("S-1-5-21-1\\") + kRun, Kind::kString, "C:\\one.exe");
    system_.Value(users, std::string("S-1-5-21-1_Classes\\") + kRun, Kind::kString,
                  "C:\\classes.exe");
    system_.Value(users, std::string("XJHive_S-1-5-21-2\\") + kRun, Kind::kString, "C:\\two.exe");
    system_.Value(AutorunRoot::kCurrentUser, kRun, Kind::kString, "C:\\current.exe");
    system_.Value(AutorunRoot::kLocalMachine, kRun, Kind::kString, "C:\\machine.exe");
    system_.existing = {"C:\\one.exe", "C:\\classes.exe", "C:\\two.exe", "C:\\current.exe",
                        "C:\\machine.exe"};

    EXPECT_THAT(ScanAllUsers(),
                ElementsAre("C:\\All Startup\\all.exe", "C:\\Shared Startup\\shared.exe",
                            "C:\\machine.exe", "C:\\one.exe", "C:\\two.exe"));
    // The folder two hives share is listed once.
    EXPECT_THAT(tree_.listed, ElementsAre("C:\\All Startup\\*.*", "C:\\Shared Startup\\*.*"));
}

}  // namespace
}  // namespace olvex
