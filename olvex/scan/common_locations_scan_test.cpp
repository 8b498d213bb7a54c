// The common locations scan over published definitions and a machine the
// test describes: the events of the plain form against a golden list built
// in table order, the user's stop, and the all-users form with its profile
// macros, "User Shell Folders" values and a profile that refuses access.
#include "olvex/scan/common_locations_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "olvex/core/dat_test_support.h"
#include "olvex/scan/scan_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using scan_test::FakeExclusions;
using scan_test::RecordingEvents;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::UnorderedElementsAreArray;
using Lines = std::vector<std::string>;

const MultiByteText kSingleByte = MultiByteText::SingleByte();

class FakeProbe : public PathProbe {
  public:
    std::map<std::string, PathState> states;
    Lines asked;
    PathState Probe(const std::string& path) override {
        asked.push_back(path);
        const auto found = states.find(path);
        return found == states.end() ? PathState::kMissing : found->second;
    }
};

class FakePlaces : public AllUsersPlaces {
  public:
    std::map<std::string, std::string> profiles;
    std::map<std::string, std::string, std::less<>> shell_folders;
    std::map<std::string, std::string> ProfileFolders() override { return profiles; }
    std::optional<std::string> UserShellFolder(std::string_view name) override {
        const auto found = shell_folders.find(name);
        return found == shell_folders.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<std::string> ExpandEnvironment(const std::string& text) override {
        constexpr std::string_view kDrive = "%SYSTEMDRIVE%";
        if (text.starts_with(kDrive))
            return "C:" + text.substr(kDrive.size());
        return text;
    }
};

TEST(ProfileMacroTest, FoundInAnyCaseInTheirOrder) {
    struct Case {
        std::string path;
        std::optional<std::size_t> index;
        std::size_t position = 0;
    };
    const Case cases[] = {
        {"%STARTUP%\\a.exe", 6},
        {"%startup%\\a.exe", 6},
        {"%ALTSTARTUP%\\a.exe", 0},
        {"%PROFILE%\\Local Settings\\a.exe", 4},
        {"x\\%COOKIES%\\a.txt", 1, 2},
        // Other macros that only end like one of them are not profile macros.
        {"%COMMON_STARTUP%\\a.exe", std::nullopt},
        {"%COMMON_PROGRAMS%\\a.exe", std::nullopt},
        {"%COMMONDESKTOPDIRECTORY%\\a.exe", std::nullopt},
        {"%PROGRAM_FILES%\\a.exe", std::nullopt},
        // The first of the table wins, wherever it stands.
        {"%STARTMENU%\\%COOKIES%", 1, 12},
    };
    for (const Case& c : cases) {
        const auto found = FindProfileMacro(c.path, kSingleByte);
        ASSERT_EQ(found.has_value(), c.index.has_value()) << c.path;
        if (found) {
            EXPECT_EQ(found->index, *c.index) << c.path;
            EXPECT_EQ(found->position, c.position) << c.path;
        }
    }
    EXPECT_EQ(ProfileRelativePart("%USERPROFILE%\\Start Menu", kSingleByte), "\\Start Menu");
    EXPECT_EQ(ProfileRelativePart("%userprofile%\\Cookies", kSingleByte), "\\Cookies");
    EXPECT_EQ(ProfileRelativePart("D:\\Cookies", kSingleByte), std::nullopt);
    EXPECT_EQ(ProfileRelativePart("%USERPROF", kSingleByte), std::nullopt);
}

class CommonLocationsTest : public ::testing::Test {
  protected:
    CommonLocationsTest() : folders_(testing::FakeSpecialFolders::Xp()), database_(&folders_) {}

    void Load(const std::string& locations) {
        const std::string folder = (scratch_.path() / "defs").string();
        testing::PublishSource(folder, "block 2004-03-15 09:40:00\n" + locations);
        database_.SetDatFolder(folder);
        ASSERT_EQ(database_.Load(), 0) << database_.GetLastErrorText();
    }

    // The file and folder locations in the order the scan meets them.
    std::vector<DatPathLocation> TableOrder() const {
        std::vector<DatPathLocation> entries;
        for (DatCursor cursor = database_.FirstPathLocation(); !cursor.AtEnd(); cursor.Advance())
            entries.push_back(*cursor.GetPathLocation());
        return entries;
    }

    void ScanPlain() {
        ScanReporter reporter(&events_, &exclusions_, detected_);
        ScanCommonLocations(database_, probe_, reporter,
                            [&] { events_.lines.push_back("start-up entries"); });
    }

    bool ScanAllUsers() {
        ScanReporter reporter(&events_, &exclusions_, detected_);
        return ScanCommonLocationsAllUsers(database_, probe_, places_, reporter,
                                           [&] { events_.lines.push_back("start-up entries"); });
    }

    testing::ScratchDir scratch_;
    testing::FakeSpecialFolders folders_;
    CDatDatabase database_;
    FakeProbe probe_;
    FakePlaces places_;
    FakeExclusions exclusions_;
    RecordingEvents events_;
    DetectedItems detected_;
};

constexpr char kProgramFiles[] = "c:\\program files";
constexpr char kBobStartup[] = "c:\\documents and settings\\bob\\start menu\\programs\\startup";

TEST_F(CommonLocationsTest, EventsFollowTheProtocolInTableOrder) {
    Load(
        "pest 2001 \"Present\" \"Adware\"\n"
        "pest 2002 \"Missing\" \"Adware\"\n"
        "pest 2003 \"Excluded\" \"Adware\"\n"
        "pest 2004 \"Startup\" \"Adware\"\n"
        "file 2001 \"%PROGRAM_FILES%\\Olvex\\present.exe\"\n"
        "file 2002 \"%PROGRAM_FILES%\\Olvex\\missing.exe\"\n"
        "folder 2003 \"%PROGRAM_FILES%\\Olvex\\Excluded\"\n"
        "file 2004 \"%STARTUP%\\run.exe\"\n");
    const std::string present = std::string(kProgramFiles) + "\\Olvex\\present.exe";
    const std::string excluded = std::string(kProgramFiles) + "\\Olvex\\Excluded";
    const std::string startup = std::string(kBobStartup) + "\\run.exe";
    probe_.states[present] = PathState::kPresent;
    probe_.states[startup] = PathState::kPresent;
    probe_.states[excluded] = PathState::kPresent;
    exclusions_.locations.insert("Folder \"" + excluded + "\"");

    ScanPlain();

    Lines expected = {"StartingItem Common Locations", "start-up entries"};
    for (const DatPathLocation& entry : TableOrder()) {
        const std::string path = database_.ExpandPathMacros(entry.path);
        const std::string location = (entry.is_folder ? "Folder \"" : "File \"") + path + "\"";
        expected.push_back("ShouldScanContinue");
        if (entry.pest_id == 2003) {
            expected.push_back("VerboseInformation Location " + location +
                               " was excluded from scan.");
            continue;
        }
        expected.push_back("StartingItem " + location);
        if (entry.pest_id != 2002) {
            expected.push_back("VerboseInformation IScanner::DetectPest invoked.");
            expected.push_back("PestDetected " + std::to_string(entry.pest_id) + " " + location);
        }
        expected.push_back("FinishedItem " + location);
    }
    expected.push_back("FinishedItem Common Locations");
    EXPECT_THAT(events_.lines, ElementsAreArray(expected));
    // An excluded location is not even looked at.
    EXPECT_THAT(probe_.asked, ::testing::Not(::testing::Contains(excluded)));
}

TEST_F(CommonLocationsTest, AStopEndsTheSectionAndReportsTheAbort) {
    Load(
        "pest 2001 \"A\" \"Adware\"\n"
        "file 2001 \"%PROGRAM_FILES%\\a.exe\"\n"
        "file 2001 \"%PROGRAM_FILES%\\b.exe\"\n");
    events_.should_continue = [](int question) { return question < 2; };
    ScanPlain();
    const std::string first = "File \"" + database_.ExpandPathMacros(TableOrder()[0].path) + "\"";
    EXPECT_THAT(
        events_.lines,
        ElementsAre("StartingItem Common Locations", "start-up entries", "ShouldScanContinue",
                    "StartingItem " + first, "FinishedItem " + first, "ShouldScanContinue",
                    "FinishedItem Common Locations", "ScanAborted Aborted by user."));
}

class AllUsersTest : public CommonLocationsTest {
  protected:
    void SetUp() override {
        places_.profiles = {{"S-1-5-21-1", "C:\\Documents and Settings\\alice"},
                            // A trailing backslash does not double the separator.
                            {"S-1-5-21-2", "C:\\Documents and Settings\\bob\\"}};
        places_.shell_folders = {{"Startup", "%USERPROFILE%\\Start Menu\\Programs\\Startup"},
                                 {"Cookies", "%SYSTEMDRIVE%\\Shared Cookies"}};
        Load(
            "pest 2001 \"A\" \"Adware\"\n"
            "file 2001 \"%PROGRAM_FILES%\\Olvex\\present.exe\"\n"
            "file 2001 \"%STARTUP%\\run.exe\"\n"
            "file 2001 \"%COOKIES%\\bob@evil.txt\"\n"
            "file 2001 \"%DESKTOPDIRECTORY%\\nowhere.exe\"\n"
            "folder 2001 \"%profile%\\Olvex\"\n");
    }
    std::string AliceStartup() const {
        return "C:\\Documents and Settings\\alice\\Start Menu\\Programs\\Startup\\run.exe";
    }
    std::string BobStartup() const {
        return "C:\\Documents and Settings\\bob\\Start Menu\\Programs\\Startup\\run.exe";
    }
};

TEST_F(AllUsersTest, ProfileMacrosAreCheckedInEveryProfile) {
    const std::string present = std::string(kProgramFiles) + "\\Olvex\\present.exe";
    probe_.states[present] = PathState::kPresent;
    probe_.states[BobStartup()] = PathState::kPresent;
    probe_.states["C:\\Documents and Settings\\alice\\Olvex"] = PathState::kPresent;
    exclusions_.locations.insert("Folder \"C:\\Documents and Settings\\alice\\Olvex\"");

    EXPECT_TRUE(ScanAllUsers());

    const auto file = [](const std::string& path) { return "File \"" + path + "\""; };
    const auto folder = [](const std::string& path) { return "Folder \"" + path + "\""; };
    // %DESKTOPDIRECTORY% has no value: its location is left out; a folder
    // outside the profiles is checked once.
    EXPECT_THAT(events_.Only({"StartingItem"}),
                UnorderedElementsAreArray(Lines{
                    "StartingItem Common Locations",
                    "StartingItem " + file(present),
                    "StartingItem " + file(AliceStartup()),
                    "StartingItem " + file(BobStartup()),
                    "StartingItem " + file("C:\\Shared Cookies\\bob@evil.txt"),
                    "StartingItem " + folder("C:\\Documents and Settings\\alice\\Olvex"),
                    "StartingItem " + folder("C:\\Documents and Settings\\bob\\Olvex"),
                }));
    // Found ones go through the exclusion check at detection.
    EXPECT_THAT(
        events_.Only({"PestDetected", "VerboseInformation"}),
        UnorderedElementsAreArray(Lines{
            "VerboseInformation IScanner::DetectWithExclusionCheck invoked.",
            "VerboseInformation IScanner::DetectWithExclusionCheck invoked.",
            "VerboseInformation IScanner::DetectWithExclusionCheck invoked.",
            "PestDetected 2001 " + file(present),
            "PestDetected 2001 " + file(BobStartup()),
            "VerboseInformation Pest at " + folder("C:\\Documents and Settings\\alice\\Olvex") +
                " was excluded from detection.",
        }));
    EXPECT_EQ(events_.lines.front(), "StartingItem Common Locations");
    EXPECT_EQ(events_.lines[1], "start-up entries");
    EXPECT_EQ(events_.lines.back(), "FinishedItem Common Locations");
    EXPECT_EQ(events_.Only({"ShouldScanContinue"}).size(), 5u);
}

TEST_F(AllUsersTest, AProfileThatRefusesAccessEndsTheScan) {
    probe_.states[AliceStartup()] = PathState::kAccessDenied;
    EXPECT_FALSE(ScanAllUsers());
    EXPECT_EQ(events_.lines.back(), "StartingItem File \"" + AliceStartup() + "\"");
    EXPECT_THAT(probe_.asked, ::testing::Not(::testing::Contains(BobStartup())));
}

TEST_F(AllUsersTest, AStopEndsTheSectionAndReportsTheAbort) {
    events_.should_continue = [](int) { return false; };
    EXPECT_TRUE(ScanAllUsers());
    EXPECT_THAT(events_.lines, ElementsAre("StartingItem Common Locations", "start-up entries",
                                           "ShouldScanContinue", "FinishedItem Common Locations",
                                           "ScanAborted Aborted by user."));
}

}  // namespace
}  // namespace olvex
