// The registry scan over a registry of the test's own: splitting key texts,
// the value test, the event sequence of the common scan, and the all-users
// loop with users' hives and keys that refuse the user.
#include "olvex/scan/registry_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "olvex/scan/scan_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using scan_test::FakeExclusions;
using scan_test::RecordingEvents;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(RegistryKeyText, SplitsIntoRootAndPath) {
    struct Case {
        std::string_view text;
        bool split;
        std::optional<RegistryRoot> root;
        std::string_view path;
    };
    const Case cases[] = {
        {"hkey_local_machine \\Software\\X", true, RegistryRoot::kLocalMachine, "Software\\X"},
        {"hkey_current_user Software\\X  ", true, RegistryRoot::kCurrentUser, "Software\\X"},
        {"hkey_classes_root   \\\\CLSID\\{1}", true, RegistryRoot::kClassesRoot, "CLSID\\{1}"},
        {"hkey_users \\S-1-5-21-1\\Software", true, RegistryRoot::kUsers, "S-1-5-21-1\\Software"},
        // The root word is looked for anywhere in the first word, in case.
        {"[hkey_current_user] \\Software", true, RegistryRoot::kCurrentUser, "Software"},
        {"HKEY_CURRENT_USER \\Software", true, std::nullopt, "Software"},
        {"hklm \\Software", true, std::nullopt, "Software"},
        {"hkey_local_machine\\Software\\X", false, std::nullopt, ""},
        {"", false, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto split = SplitRegistryKeyText(c.text);
        ASSERT_EQ(split.has_value(), c.split);
        if (split) {
            EXPECT_EQ(split->root, c.root);
            EXPECT_EQ(split->path, c.path);
        }
    }
}

class FakeKey : public RegistryReader::Key {
  public:
    explicit FakeKey(std::map<std::string, RegistryValue> values) : values_(std::move(values)) {}
    std::optional<RegistryValue> Query(const std::string& name) override {
        const auto found = values_.find(name);
        return found == values_.end() ? std::nullopt : std::optional(found->second);
    }

  private:
    std::map<std::string, RegistryValue> values_;
};

TEST(RegistryValueTest, KeysValuesAndData) {
    struct Case {
        const char* what;
        std::string value_name, data;
        std::optional<RegistryValue> stored;  // under the name "V", or the default value
        bool found;
    };
    const RegistryValue sz{kRegSz, Bytes(std::string_view("abc", 4))};
    const Case cases[] = {
        {"key only", "", "", std::nullopt, true},
        {"value present", "V", "", sz, true},
        {"value missing", "W", "", sz, false},
        {"value of no bytes", "V", "", RegistryValue{kRegBinary, {}}, false},
        {"string equal", "V", "abc", sz, true},
        {"string in other case", "V", "ABC", sz, false},
        {"string shorter", "V", "ab", sz, false},
        {"expandable string", "V", "%x%", RegistryValue{kRegExpandSz, Bytes({"%x%", 4})}, true},
        {"one-string list", "V", "abc", RegistryValue{kRegMultiSz, Bytes({"abc\0", 5})}, false},
        {"string without its zero", "V", "abc", RegistryValue{kRegSz, Bytes("abc")}, true},
        {"longer string without its zero", "V", "abc", RegistryValue{kRegSz, Bytes("abcd")}, false},
        {"DWORD of the text's bytes", "V", "abcd", RegistryValue{kRegDword, Bytes("abcd")}, true},
        {"DWORD against a text of another length", "V", "1", RegistryValue{kRegDword, {1, 0, 0, 0}},
         false},
        {"binary keeps a last zero", "V", "ab", RegistryValue{kRegBinary, Bytes({"ab", 3})}, false},
        {"default value", "", "abc", sz, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::map<std::string, RegistryValue> values;
        if (c.stored)
            values[c.value_name.empty() && !c.data.empty() ? "" : "V"] = *c.stored;
        FakeKey key(values);
        const DatKeyLocation entry{"hkey_current_user \\Software\\X", c.value_name, c.data, 7};
        EXPECT_EQ(RegistryValueMatches(entry, key), c.found);
    }
}

// Keys by root and path (compared as written), each with its values; some
// refuse the user, and of those some let access be granted.
class FakeRegistry : public RegistryReader {
  public:
    struct FakeKeyData {
        std::map<std::string, RegistryValue> values;
        bool refuses = false;
        bool grantable = true;
    };
    std::map<std::pair<RegistryRoot, std::string>, FakeKeyData> keys;
    std::vector<std::string> hives;
    std::vector<std::string> granted;
    int open_now = 0;

    std::unique_ptr<Key> Open(RegistryRoot root, const std::string& path, bool grant_access,
                              OpenError& error) override {
        const auto found = keys.find({root, path});
        if (found == keys.end()) {
            error = OpenError::kOther;
            return nullptr;
        }
        if (found->second.refuses) {
            if (!grant_access || !found->second.grantable) {
                error = OpenError::kAccessDenied;
                return nullptr;
            }
            granted.push_back(path);
        }
        error = OpenError::kNone;
        return std::make_unique<Opened>(found->second.values, open_now);
    }
    std::vector<std::string> UserHiveNames() override { return hives; }

  private:
    class Opened : public FakeKey {
      public:
        Opened(std::map<std::string, RegistryValue> values, int& open_now)
            : FakeKey(std::move(values)), open_now_(open_now) {
            ++open_now_;
        }
        ~Opened() override { --open_now_; }

      private:
        int& open_now_;
    };
};

const std::string kDetect = "VerboseInformation IScanner::DetectPest invoked.";

class RegistryScanTest : public ::testing::Test {
  protected:
    void Load(const std::string& locations) {
        database_ = scan_test::LoadDefinitions(dir_.path().string(),
                                               "block 2004-03-15 09:40:00\n"
                                               "pest 1 \"Reg.One\" \"Adware\"\n"
                                               "pest 2 \"Reg.Two\" \"Adware\"\n" +
                                                   locations);
    }
    RegistryLoopResult Loop(bool all_users, ExclusionCheck* exclusions = nullptr) {
        DetectedItems detected;
        ScanReporter reporter(&events_, exclusions, detected);
        const auto result = ScanRegistryLocations(*database_, registry_, reporter,
                                                  MultiByteText::SingleByte(), all_users);
        EXPECT_EQ(registry_.open_now, 0);
        return result;
    }

    testing::ScratchDir dir_;
    std::unique_ptr<CDatDatabase> database_;
    FakeRegistry registry_;
    RecordingEvents events_;
};

TEST_F(RegistryScanTest, CommonScanEventSequence) {
    Load(
        "key 1 \"hkey_local_machine \\Software\\Found\" value \"Run\" data \"x.exe\"\n"
        "key 2 \"hkey_local_machine \\Software\\Excluded\"\n"
        "key 2 \"hkey_local_machine\\Software\\NoBlank\"\n"
        "key 2 \"hklm \\Software\\Found\"\n"
        "key 2 \"hkey_current_user \\Software\\Refused\"\n");
    registry_.keys[{RegistryRoot::kLocalMachine, "Software\\Found"}].values["Run"] =
        RegistryValue{kRegSz, Bytes({"x.exe", 6})};
    registry_.keys[{RegistryRoot::kLocalMachine, "Software\\Excluded"}] = {};
    registry_.keys[{RegistryRoot::kLocalMachine, "Software\\NoBlank"}] = {};
    registry_.keys[{RegistryRoot::kCurrentUser, "Software\\Refused"}].refuses = true;
    FakeExclusions exclusions;
    exclusions.locations = {"Key \"hkey_local_machine \\Software\\Excluded\""};

    // Table order is the database's; compare as a set of per-location runs.
    DetectedItems detected;
    ScanReporter reporter(&events_, &exclusions, detected);
    ScanCommonRegistry(*database_, registry_, reporter, MultiByteText::SingleByte());
    const std::string found =
        "Key \"hkey_local_machine \\Software\\Found\" value \"Run\" data \"x.exe\"";
    const std::string unknown_root = "Key \"hklm \\Software\\Found\"";
    const std::string refused = "Key \"hkey_current_user \\Software\\Refused\"";
    EXPECT_EQ(events_.lines.front(), "StartingItem Common Registry Locations");
    EXPECT_EQ(events_.lines.back(), "FinishedItem Common Registry Locations");
    EXPECT_EQ(events_.Only({"ShouldScanContinue"}).size(), 5u);
    EXPECT_THAT(events_.Only({"PestDetected"}), ElementsAre("PestDetected 1 " + found));
    EXPECT_THAT(events_.Only({"VerboseInformation Location"}),
                ElementsAre("VerboseInformation Location Key \"hkey_local_machine "
                            "\\Software\\Excluded\" was excluded from scan."));
    const Lines starts = events_.Only({"StartingItem Key"});
    EXPECT_THAT(starts, ::testing::UnorderedElementsAre("StartingItem " + found,
                                                        "StartingItem " + unknown_root,
                                                        "StartingItem " + refused));
    // Each item: StartingItem, at most the detection, FinishedItem.
    const auto at = std::find(events_.lines.begin(), events_.lines.end(), "StartingItem " + found);
    ASSERT_NE(at, events_.lines.end());
    EXPECT_THAT(Lines(at, at + 4), ElementsAre("StartingItem " + found, kDetect,
                                               "PestDetected 1 " + found, "FinishedItem " + found));
    // The common scan never asks for access to a refused key.
    EXPECT_THAT(registry_.granted, IsEmpty());
}

TEST_F(RegistryScanTest, TheClientsStopEndsTheSectionAndReportsTheAbort) {
    Load(
        "key 1 \"hkey_local_machine \\Software\\A\"\nkey 2 \"hkey_local_machine \\Software\\B\"\n");
    events_.should_continue = [](int question) { return question < 2; };
    DetectedItems detected;
    ScanReporter reporter(&events_, nullptr, detected);
    ScanCommonRegistry(*database_, registry_, reporter, MultiByteText::SingleByte());
    ASSERT_EQ(events_.lines.size(), 7u);
    EXPECT_THAT(Lines(events_.lines.end() - 3, events_.lines.end()),
                ElementsAre("ShouldScanContinue", "FinishedItem Common Registry Locations",
                            "ScanAborted Aborted by user."));
}

TEST_F(RegistryScanTest, AllUsersChecksCurrentUserLocationsInEveryHive) {
    Load(
        "key 1 \"hkey_current_user \\Software\\Pest\" value \"Home\"\n"
        "key 2 \"hkey_local_machine \\Software\\Refused\"\n");
    registry_.hives = {".DEFAULT", "S-1-5-21-7", "XJHive_S-1-5-21-8", "bad\"name"};
    registry_.keys[{RegistryRoot::kUsers, "S-1-5-21-7\\Software\\Pest"}].values["Home"] =
        RegistryValue{kRegSz, Bytes({"x", 2})};
    auto& in_mounted = registry_.keys[{RegistryRoot::kUsers, "XJHive_S-1-5-21-8\\Software\\Pest"}];
    in_mounted.values["Home"] = RegistryValue{kRegSz, Bytes({"y", 2})};
    in_mounted.refuses = true;
    registry_.keys[{RegistryRoot::kUsers, "bad\"name\\Software\\Pest"}].values["Home"] =
        RegistryValue{kRegSz, Bytes({"z", 2})};
    registry_.keys[{RegistryRoot::kLocalMachine, "Software\\Refused"}].refuses = true;

    const auto result = Loop(true);
    EXPECT_FALSE(result.access_denied);
    EXPECT_FALSE(result.stopped);
    EXPECT_THAT(events_.Only({"PestDetected"}),
                ::testing::UnorderedElementsAre(
                    "PestDetected 1 key \"hkey_users \\S-1-5-21-7\\Software\\Pest\" value \"Home\"",
                    "PestDetected 1 key \"hkey_users \\XJHive_S-1-5-21-8\\Software\\Pest\" value "
                    "\"Home\"",
                    "PestDetected 2 Key \"hkey_local_machine \\Software\\Refused\""));
    EXPECT_THAT(registry_.granted, ::testing::UnorderedElementsAre(
                                       "XJHive_S-1-5-21-8\\Software\\Pest", "Software\\Refused"));
    // One StartingItem and one FinishedItem per location, whatever the hives.
    EXPECT_EQ(events_.Only({"StartingItem"}).size(), 2u);
    EXPECT_EQ(events_.Only({"FinishedItem"}).size(), 2u);
}

TEST_F(RegistryScanTest, AllUsersEndsAtAKeyThatStaysRefused) {
    Load("key 1 \"hkey_local_machine \\Software\\Locked\"\n");
    auto& locked = registry_.keys[{RegistryRoot::kLocalMachine, "Software\\Locked"}];
    locked.refuses = true;
    locked.grantable = false;
    const auto result = Loop(true);
    EXPECT_TRUE(result.access_denied);
    EXPECT_THAT(events_.lines,
                ElementsAre("ShouldScanContinue",
                            "StartingItem Key \"hkey_local_machine \\Software\\Locked\""));
    // The common form passes it over.
    events_ = RecordingEvents();
    EXPECT_FALSE(Loop(false).access_denied);
    EXPECT_EQ(events_.lines.back(), "FinishedItem Key \"hkey_local_machine \\Software\\Locked\"");
}

}  // namespace
}  // namespace olvex
