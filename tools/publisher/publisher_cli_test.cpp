#include "tools/publisher/publisher_cli.h"

#include <gtest/gtest.h>

#include <sstream>

#include "olvex/core/definition_blocks.h"
#include "testing/scratch_dir.h"

namespace olvex::tools {
namespace {

using olvex::testing::ScratchDir;

struct Run {
    int code;
    std::string out;
    std::string err;
};

Run Publish(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunPublisher(args, out, err);
    return {code, out.str(), err.str()};
}

constexpr const char* kSource = R"(block 2004-03-15 09:40
pest 1001 "Cli.Test" "Adware"
signature 1001 crc 0xABCDEF01
key 1001 "HKEY_CURRENT_USER\Software\CliTest" value "v" data "d"
block 2004-03-16 10:00
pest 1002 "Cli.Test.Two" "Spyware"
memory 1002 0x42
remove key 1001 "HKEY_CURRENT_USER\Software\CliTest" value "v" data "d"
)";

TEST(PublisherCli, PublishesAndDumps) {
    ScratchDir dir;
    const auto source = dir.Write("cli.defs", std::string(kSource));
    const auto out = dir.File("defs");
    const auto published = Publish({"--out", out, source});
    ASSERT_EQ(published.code, 0) << published.err;

    const auto dump =
        Publish({"--dump", out + "/qzinfo.dat", out + "/qzfile.dat", out + "/qzloc.dat"});
    EXPECT_EQ(dump.code, 0) << dump.out;
    for (const char* line : {
             "block 0 at 0: time 2004-03-15 09:40:00, payload ",
             "    magic PEST, compatibility date 2002-09-17 00:00:00, check value 0x",
             "read: ok, 2 payloads decoded, data version 4031610\n",
             "  pest 1001 \"Cli.Test\" \"Adware\"\n",
             "  signature 1001 crc 0xABCDEF01\n",
             "  memory 1002 0x00000042\n",
             "    magic PEST, compatibility date 2003-06-17 00:00:00, check value 0x",
             "  remove key 1001 \"HKEY_CURRENT_USER\\Software\\CliTest\" value \"v\" data \"d\"\n",
         })
        EXPECT_NE(dump.out.find(line), std::string::npos) << line << "\nin:\n" << dump.out;
}

TEST(PublisherCli, CorruptionSwitchesReachTheFiles) {
    ScratchDir dir;
    const auto source = dir.Write("cli.defs", std::string(kSource));
    const struct {
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {{"--corrupt", "bad-magic"}, kBlockNotRecognized},
        {{"--corrupt", "other-date"}, kBlockNotCompatible},
        {{"--corrupt", "flip-bit", "--corrupt-block", "1"}, kBlockCorrupt},
        {{"--corrupt", "no-jc-tag"}, kBlockNoJcTag},
        {{"--corrupt", "bad-jc", "--corrupt-block", "1"}, kBlockUndecodable},
        {{"--corrupt", "truncate"}, kBlockCorrupt},
    };
    for (const auto& c : cases) {
        const auto out = dir.File("defs-" + c.args[1]);
        std::vector<std::string> args = {"--out", out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back(source);
        ASSERT_EQ(Publish(args).code, 0) << c.args[1];
        for (const char* name : {"/qzinfo.dat", "/qzfile.dat", "/qzloc.dat"})
            EXPECT_EQ(ReadBlockFile(out + name).code, c.code) << c.args[1] << name;
        const auto dump = Publish({"--dump", out + "/qzloc.dat"});
        EXPECT_EQ(dump.code, 1) << c.args[1];
        EXPECT_NE(dump.out.find("read: failed, code " + std::to_string(c.code)), std::string::npos)
            << dump.out;
    }
}

TEST(PublisherCli, SyntheticSets) {
    ScratchDir dir;
    const auto out = dir.File("synthetic");
    const auto run = Publish({"--out", out, "--synthetic", "--pests", "50", "--signatures", "80",
                              "--locations", "90", "--deltas", "2", "--seed", "7"});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto read = ReadBlockFile(out + "/qzloc.dat");
    ASSERT_TRUE(read.ok());
    ASSERT_EQ(read.blocks.size(), 3u);
    EXPECT_EQ(read.blocks[0].record_count, 90u);
    EXPECT_EQ(ReadHeaderTotals(out).block_count, 2);
}

TEST(PublisherCli, UsageErrors) {
    ScratchDir dir;
    const auto source = dir.Write("bad.defs", std::string("block 2004-03-15 09:40\npest x a b\n"));
    const struct {
        std::vector<std::string> args;
        int code;
        const char* message;
    } cases[] = {
        {{}, 2, "usage:"},
        {{"--out", dir.File("o")}, 2, "give either a definition source or --synthetic"},
        {{source}, 2, "--out is missing"},
        {{"--out", dir.File("o"), "--corrupt", "gently", source}, 2, "--corrupt wants one of"},
        {{"--out", dir.File("o"), "--synthetic", "--pests", "many"}, 2, "--pests wants a number"},
        {{"--out", dir.File("o"), "--frobnicate", source}, 2, "unknown switch --frobnicate"},
        {{"--out", dir.File("o"), source, source}, 2, "one definition source at a time"},
        {{"--dump"}, 2, "--dump wants at least one file"},
        {{"--out", dir.File("o"), source}, 1, "bad.defs:2: the pest id must be"},
        {{"--out", dir.File("o"), dir.File("missing.defs")}, 1, "cannot read the definition"},
        {{"--dump", dir.File("missing.dat")}, 1, ""},
    };
    for (const auto& c : cases) {
        const auto run = Publish(c.args);
        EXPECT_EQ(run.code, c.code) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.message << "\n" << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("o")));
    EXPECT_EQ(Publish({"--help"}).code, 0);
}

}  // namespace
}  // namespace olvex::tools
