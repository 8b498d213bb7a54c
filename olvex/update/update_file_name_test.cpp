#include "olvex/update/update_file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace olvex {
namespace {

TEST(UpdateFileName, RejectsEveryNameThatLeavesItsFolderOrIsNoFile) {
    const std::string unsafe[] = {
        "",
        "..\\x",
        "..",
        ".",
        "...",
        "a/b",
        "/abs",
        "a\\b",
        "C:x",
        "C:\\x.dat",
        "qzfile.dat:stream",
        "\\\\server\\x",
        "//server/x",
        "CON",
        "con",
        "nul.txt",
        "NUL.tar.gz",
        "con .log",
        "Aux.",
        "PRN",
        "LPT1",
        "lpt9.dat",
        "COM1",
        "com0",
        "CONIN$",
        "conout$.txt",
        "CLOCK$",
        "COM\xB9",
        "x.",
        "x ",
        "qzfile.dat. ",
        "a\tb",
        std::string("a\0b", 3),
        "a\x7f",
        "a<b",
        "a>b",
        "a\"b",
        "a|b",
        "a?b",
        "*.dat",
        std::string(256, 'a'),
    };
    for (const auto& name : unsafe)
        EXPECT_FALSE(IsSafeUpdateFileName(name)) << '"' << name << '"';
}

TEST(UpdateFileName, AcceptsPlainFileNames) {
    const std::string safe[] = {
        "qzfile.dat",  "incupdates.inf", "Swavel.exe",   "langv5.dat",
        "console.dll", "nullify.txt",    "com10.txt",    "lpt.txt",
        "COM1x",       "auxiliary",      ".hidden",      "a..b",
        "a b.txt",     " leading.txt",   "na\xEFve.txt", std::string(255, 'a'),
    };
    for (const auto& name : safe)
        EXPECT_TRUE(IsSafeUpdateFileName(name)) << '"' << name << '"';
}

}  // namespace
}  // namespace olvex
