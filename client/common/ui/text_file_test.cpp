#include "client/common/ui/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/scratch_dir.h"

namespace olvex::ui {
namespace {

using olvex::testing::ReadFileBytes;
using olvex::testing::ScratchDir;

std::string FileText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(TextFile, SplitsOnCrLfAndLoneLfKeepingEmptyAndUnendedLines) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitTextLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitTextLines("a\r\n\r\nc"), (Lines{"a", "", "c"}));
    EXPECT_EQ(SplitTextLines("a\nb"), (Lines{"a", "b"}));
    // A carriage return inside a line is data.
    EXPECT_EQ(SplitTextLines("a\rb\r\n"), (Lines{"a\rb"}));
    EXPECT_EQ(SplitTextLines(""), Lines{});
    EXPECT_EQ(SplitTextLines("\r\n"), (Lines{""}));
}

TEST(TextFile, WritesEveryLineEndAsCrLfAndReadsItBack) {
    ScratchDir dir;
    const std::string path = dir.File("report.txt");
    TextFileWriter writer;
    ASSERT_FALSE(writer.Create(path));
    writer.WriteLine("Kelvan Gorsewatch Log Report");
    writer.Write("two\n\nlines , with , commas\n");
    ASSERT_FALSE(writer.Close());
    EXPECT_EQ(FileText(path),
              "Kelvan Gorsewatch Log Report\r\ntwo\r\n\r\nlines , with , commas\r\n");

    const TextFileLines read = ReadTextFileLines(path);
    ASSERT_FALSE(read.error);
    EXPECT_EQ(read.lines, (std::vector<std::string>{"Kelvan Gorsewatch Log Report", "two", "",
                                                    "lines , with , commas"}));
}

TEST(TextFile, CreatingReplacesAnOlderLongerFile) {
    ScratchDir dir;
    const std::string path = dir.Write("old.txt", std::string(100, 'x'));
    TextFileWriter writer;
    ASSERT_FALSE(writer.Create(path));
    writer.WriteLine("new");
    ASSERT_FALSE(writer.Close());
    EXPECT_EQ(FileText(path), "new\r\n");
}

TEST(TextFile, ErrorsNameTheCauseAndThePath) {
    ScratchDir dir;
    const std::string missing = dir.File("no such file.txt");
    const TextFileLines read = ReadTextFileLines(missing);
    EXPECT_EQ(read.error.problem, TextFileProblem::kCannotOpen);
    EXPECT_EQ(read.error.path, missing);
    EXPECT_NE(read.error.Describe().find("\"" + missing + "\""), std::string::npos);
    EXPECT_NE(read.error.Describe().find("could not be opened"), std::string::npos);

    const std::string big = dir.Write("big.txt", std::string(2000, 'y'));
    const TextFileLines too_large = ReadTextFileLines(big, 1000);
    EXPECT_EQ(too_large.error.problem, TextFileProblem::kTooLarge);
    EXPECT_TRUE(too_large.lines.empty());

    // A file in a folder that does not exist cannot be created; writes after
    // the failure do nothing, and Close reports the first error.
    const std::string nowhere = dir.File("missing folder/report.txt");
    TextFileWriter writer;
    const TextFileError created = writer.Create(nowhere);
    EXPECT_EQ(created.problem, TextFileProblem::kCannotCreate);
    writer.WriteLine("lost");
    const TextFileError closed = writer.Close();
    EXPECT_EQ(closed.problem, TextFileProblem::kCannotCreate);
    EXPECT_EQ(closed.path, nowhere);
    EXPECT_NE(closed.Describe().find("could not be created"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(nowhere));
    EXPECT_EQ(TextFileError{}.Describe(), "");
}

}  // namespace
}  // namespace olvex::ui
