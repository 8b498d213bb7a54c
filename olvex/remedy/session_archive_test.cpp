#include "olvex/remedy/session_archive.h"

#include <gtest/gtest.h>

#include "olvex/zip/zip_writer.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;

TEST(SessionArchive, CommentsCarryThePestIdAndTheAddedFileWhenTheLocationHasNone) {
    const auto mb = MultiByteText::SingleByte();
    EXPECT_EQ(SessionArchivePath("C:\\Data\\Quarantine", "20051231120000"),
              "C:\\Data\\Quarantine\\20051231120000.zip");
    EXPECT_EQ(SessionEntryName(0), "0");
    EXPECT_EQ(SessionEntryName(12), "12");
    // A file location keeps its own File pair.
    EXPECT_EQ(SessionEntryComment(7, "File \"C:\\P\\a.exe\"", "C:\\P\\a.exe", mb),
              " PestId \"7\" File \"C:\\P\\a.exe\"");
    // A folder's file, and a registry item's REGEDIT4 file, go in front.
    EXPECT_EQ(SessionEntryComment(7, "Folder \"C:\\P\"", "C:\\P\\sub\\b.txt", mb),
              " File \"C:\\P\\sub\\b.txt\" PestId \"7\" Folder \"C:\\P\"");
    EXPECT_EQ(SessionEntryComment(-3, "Key \"hkey_current_user \\Software\\X\" value \"V\"",
                                  "C:\\Q\\reg1.tmp", mb),
              " File \"C:\\Q\\reg1.tmp\" PestId \"-3\" Key \"hkey_current_user \\Software\\X\" "
              "value \"V\"");
    EXPECT_EQ(SessionEntryComment(1, "Cookie \"c\"", "C:\\x.txt", mb),
              " File \"C:\\x.txt\" PestId \"1\" Cookie \"c\"");
}

TEST(SessionArchive, RestorePlanGoesFromTheLastEntryAndChecksEveryTarget) {
    const auto mb = MultiByteText::SingleByte();
    ScratchDir dir;
    const auto path = dir.File("20051231120000.zip");
    ZipWriter writer(path);
    writer.SetPassword(kSessionPassword);
    const std::vector<std::string> comments = {
        SessionEntryComment(1, "File \"C:\\P\\a.exe\"", "C:\\P\\a.exe", mb),
        SessionEntryComment(1, "Folder \"C:\\P\\Tree\"", "C:\\P\\Tree\\b.txt", mb),
        SessionEntryComment(2, "Key \"hkey_current_user \\Software\\X\"", "C:\\Q\\reg1.tmp", mb),
        SessionEntryComment(3, "File \"C:\\P\\c.zip|inner.exe\"", "C:\\P\\c.zip", mb),
        " PestId \"4\" File \"..\\..\\evil.dll\"",
        " PestId \"4\" File \"C:\\P\\..\\..\\Windows\\evil.dll\"",
        " PestId \"4\" Key \"nothing\"",
        " PestId \"5\"",
    };
    const std::vector<std::uint8_t> data = {'x'};
    for (std::size_t i = 0; i < comments.size(); ++i)
        ASSERT_EQ(writer.AddBytes(data, {SessionEntryName(i), comments[i], {}}), ZipError::kNone);

    ZipReader reader;
    ASSERT_EQ(reader.OpenFile(path), ZipError::kNone);
    const auto steps = PlanSessionRestore(reader, mb);
    ASSERT_EQ(steps.size(), comments.size());
    using Kind = SessionRestoreStep::Kind;
    const struct {
        std::size_t entry;
        Kind kind;
        const char* detail;
    } expected[] = {
        {7, Kind::kRefused, ""},
        {6, Kind::kRefused, ""},
        {5, Kind::kRefused, ""},
        {4, Kind::kRefused, ""},
        {3, Kind::kFile, "C:\\P\\c.zip"},
        {2, Kind::kRegistry, "hkey_current_user \\Software\\X"},
        {1, Kind::kFile, "C:\\P\\Tree\\b.txt"},
        {0, Kind::kFile, "C:\\P\\a.exe"},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(steps[i].entry, expected[i].entry);
        EXPECT_EQ(steps[i].kind, expected[i].kind);
        if (expected[i].kind == Kind::kFile) {
            EXPECT_EQ(steps[i].target, expected[i].detail);
        } else if (expected[i].kind == Kind::kRegistry) {
            EXPECT_EQ(steps[i].key, expected[i].detail);
        } else {
            EXPECT_FALSE(steps[i].reason.empty());
        }
    }
}

TEST(SessionArchive, RegistryDataMustStayUnderTheKeyItsCommentNames) {
    const auto mb = MultiByteText::SingleByte();
    const auto parse = [](const char* keys) {
        return ParseRegedit4(std::string("REGEDIT4\r\n\r\n") + keys);
    };
    const auto own = parse(
        "[hkey_current_user\\Software\\X]\r\n\"A\"=\"1\"\r\n"
        "[HKEY_CURRENT_USER\\software\\x\\Sub]\r\n");
    ASSERT_TRUE(own.ok) << own.error;
    EXPECT_TRUE(RegistryContainerStaysUnder(own, "hkey_current_user \\Software\\X", mb));
    EXPECT_TRUE(RegistryContainerStaysUnder(own, "hkey_current_user Software\\X\\", mb));
    EXPECT_FALSE(RegistryContainerStaysUnder(own, "hkey_current_user \\Software\\X\\Sub", mb));
    EXPECT_FALSE(RegistryContainerStaysUnder(own, "hkey_local_machine \\Software\\X", mb));
    EXPECT_FALSE(RegistryContainerStaysUnder(own, "hkey_current_user \\Software\\XY", mb));
    EXPECT_FALSE(RegistryContainerStaysUnder(own, "hkey_current_user \\", mb));
    EXPECT_FALSE(RegistryContainerStaysUnder(own, "no-blank", mb));

    const auto sibling = parse("[hkey_current_user\\Software\\XY]\r\n");
    ASSERT_TRUE(sibling.ok);
    EXPECT_FALSE(RegistryContainerStaysUnder(sibling, "hkey_current_user \\Software\\X", mb));
    const auto run = parse(
        "[hkey_current_user\\Software\\X]\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
        "\"evil\"=\"c:\\\\evil.exe\"\r\n");
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_FALSE(RegistryContainerStaysUnder(run, "hkey_current_user \\Software\\X", mb));
    const auto none = parse("");
    ASSERT_TRUE(none.ok);
    EXPECT_TRUE(RegistryContainerStaysUnder(none, "hkey_current_user \\Software\\X", mb));
}

}  // namespace
}  // namespace olvex
