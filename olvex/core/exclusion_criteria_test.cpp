#include "olvex/core/exclusion_criteria.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex {
namespace {

struct Case {
    const char* what;
    std::string exclusion;  // the exclusion's text
    std::int32_t pest_id;
    PestFacts pest;
    std::string location;
    bool excluded;
    unsigned code_page = 1252;
};

const PestFacts kNoRecord{};
const PestFacts kAdwareTools{"Adware Tools", "Foo Bar", 7};

TEST(ExclusionCriteria, TheCriteriaTable) {
    const std::vector<Case> cases = {
        // Category: the pest's category contains it, in lower case.
        {"category inside the pest's", R"(Category "adware")", 12, kAdwareTools, "", true},
        {"category not inside", R"(Category "dialer")", 12, kAdwareTools, "", false},
        {"category without a record", R"(Category "adware")", 12, kNoRecord, "", false},
        {"blank category value", R"(Category " ")", 12, kAdwareTools, "", false},
        // PestName: the whole name, case aside.
        {"name ignoring case", R"(PestName "FOO bar")", 12, kAdwareTools, "", true},
        {"name is the whole name", R"(PestName "Foo")", 12, kAdwareTools, "", false},
        {"name without a record", R"(PestName "Foo Bar")", 12, kNoRecord, "", false},
        // PVT: only a known PVT is compared.
        {"pvt equal", R"(PVT "7")", 12, kAdwareTools, "", true},
        {"pvt different", R"(PVT "8")", 12, kAdwareTools, "", false},
        {"pvt -1 against no record", R"(PVT "-1")", 12, kNoRecord, "", false},
        {"pvt -1 against pest id -1", R"(PVT "-1")", -1, kNoRecord, R"(File "c:\x")", false},
        {"pvt that is no number", R"(PVT "none")", 12, {"Adware", "X", 0}, "", false},
        // PestId: against the id asked about, unless that is -1.
        {"pest id equal", R"(PestId "12")", 12, kNoRecord, "", true},
        {"pest id different", R"(PestId "13")", 12, kNoRecord, "", false},
        {"pest id -1 skips the test", R"(PestId "-1")", -1, kNoRecord, "", false},
        {"pest id 0 is still tested", R"(PestId "0")", 0, kNoRecord, "", true},
        {"pest id None is no id 0", R"(PestId "None")", 0, kNoRecord, "", false},
        {"blank pest id is no id 0", R"(PestId " ")", 0, kNoRecord, "", false},
        // Path: inside the File or the Folder value, in lower case.
        {"path inside a file", R"(Path "c:\temp")", 12, kNoRecord, R"(File "C:\TEMP\x.exe")", true},
        {"path inside a folder", R"(Path "c:\temp")", 12, kNoRecord, R"(Folder "c:\temp2")", true},
        {"path elsewhere", R"(Path "c:\temp")", 12, kNoRecord, R"(File "d:\temp\x.exe")", false},
        {"path against a registry key", R"(Path "run")", 12, kNoRecord,
         R"(Key "hkey_local_machine software\run")", false},
        {"empty quoted path", R"(Path "")", 12, kNoRecord, R"(File "c:\x.exe")", false},
        {"blank path", R"(Path " ")", 12, kNoRecord, R"(File "c:\a b.exe")", false},
        {"path with pest id -1", R"(Path "c:\temp")", -1, kNoRecord, R"(File "c:\temp\x")", true},
        // Names match without regard to case; any one criterion excludes.
        {"criterion names ignore case", R"(pestid "12")", 12, kNoRecord, "", true},
        {"second criterion matches", R"(PestId "5" Path "c:\x")", 9, kNoRecord,
         R"(File "c:\x\y.dll")", true},
        {"no criterion matches", R"(PestId "5" Path "c:\x")", 9, kAdwareTools,
         R"(File "c:\y\y.dll")", false},
        {"no criteria at all", R"(Comment "anything")", 12, kAdwareTools, R"(File "c:\x")", false},
        // In a double-byte code page a trail byte that looks like a
        // backslash starts no match.
        {"trail byte is no backslash", "Path \"\\x\"", 12, kNoRecord, "File \"c:\\\x95\\x.exe\"",
         false, 932},
        {"same bytes single-byte", "Path \"\\x\"", 12, kNoRecord, "File \"c:\\\x95\\x.exe\"", true,
         1252},
    };
    for (const auto& c : cases) {
        const auto mb = MultiByteText::ForCodePage(c.code_page);
        const auto exclusion = ParseLocationString(c.exclusion, mb, kUnlimitedPairs).pairs;
        const auto query = MakeExclusionQuery(c.pest_id, c.pest, c.location, mb);
        EXPECT_EQ(ExclusionCoversDetection(exclusion, query, mb), c.excluded) << c.what;
    }
}

TEST(ExclusionCriteria, EmptyValuesNeverExclude) {
    // The text form cannot carry an empty value, but pairs made otherwise can.
    const auto mb = MultiByteText::SingleByte();
    const auto query = MakeExclusionQuery(0, kAdwareTools, R"(File "c:\x.exe")", mb);
    for (const char* name : {"Category", "PestName", "PVT", "PestId", "Path"}) {
        const std::vector<AttributePair> exclusion = {{name, ""}};
        EXPECT_FALSE(ExclusionCoversDetection(exclusion, query, mb)) << name;
        EXPECT_FALSE(ExclusionCoversFolder(exclusion, "c:\\x", mb)) << name;
    }
}

TEST(ExclusionCriteria, FoldersAreCoveredByPathsOnly) {
    const auto mb = MultiByteText::SingleByte();
    struct FolderCase {
        std::string exclusion;
        std::string folder;
        bool excluded;
    };
    const std::vector<FolderCase> cases = {
        {R"(Path "c:\temp")", R"(C:\Temp\Sub)", true},
        {R"(PATH "c:\temp")", R"(c:\temp)", true},
        {R"(Path "c:\temp")", R"(c:\tmp)", false},
        {R"(Path "")", R"(c:\temp)", false},
        {R"(PestId "12" Category "adware")", R"(c:\adware)", false},
        {R"(Path "c:\temp")", "", false},
    };
    for (const auto& c : cases) {
        const auto exclusion = ParseLocationString(c.exclusion, mb, kUnlimitedPairs).pairs;
        EXPECT_EQ(ExclusionCoversFolder(exclusion, c.folder, mb), c.excluded)
            << c.exclusion << " / " << c.folder;
    }
}

}  // namespace
}  // namespace olvex
