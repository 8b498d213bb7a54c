// Update sets as the engine's own parsers read them: the control file, the
// delta index and the packages, which are the delta blocks themselves.
#include "tools/publisher/update_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "olvex/update/delta_index.h"
#include "olvex/update/update_control_file.h"
#include "testing/scratch_dir.h"
#include "tools/publisher/definition_writer.h"
#include "tools/publisher/publisher_cli.h"

namespace olvex::tools {
namespace {

using olvex::testing::ScratchDir;

constexpr const char* kSource = R"(block 2004-03-15 09:40
pest 1 "Set.One" "Adware"
signature 1 crc 0x11111111
key 1 "HKEY_CURRENT_USER\Software\SetTest" value "v" data "d"
block 2004-04-01 12:00
pest 2 "Set.Two" "Spyware"
file 2 "%WINDOWS%\two.exe"
block 2004-04-02 13:00
pest 3 "Set.Three" "Dialer"
)";

DefinitionSet Blocks(std::size_t count) {
    auto source = ParseDefinitionSource(kSource, ".", "set.defs");
    EXPECT_TRUE(source.ok()) << source.error;
    source.set.blocks.resize(count);
    return source.set;
}

const PublishedFile& FileAt(const UpdateSet& set, const std::string& path) {
    for (const auto& file : set.files)
        if (file.path == path)
            return file;
    ADD_FAILURE() << "no " << path;
    static const PublishedFile none;
    return none;
}

std::vector<std::uint8_t> Joined(std::vector<std::uint8_t> first,
                                 const std::vector<std::uint8_t>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(UpdateSet, ControlFileListsEveryFileWithItsCheckValue) {
    UpdateSetOptions options;
    options.url_base = "http://127.0.0.1:8080/set";
    options.extras.push_back({"tool.exe", kUpdateExecutable, 7, {'M', 'Z', 1, 2}});
    std::string error;
    const auto set = BuildUpdateSet(Blocks(3), options, error);
    ASSERT_TRUE(set) << error;
    EXPECT_EQ(set->data_version, 4040213);

    const std::string text = RenderControlFile(set->control_entries);
    const ControlFile control = ParseControlFile(text);
    ASSERT_TRUE(control);
    EXPECT_TRUE(control.rejected.empty());
    ASSERT_EQ(control.entries, set->control_entries);
    const std::vector<std::string> names = {"qzfile.dat", "qzinfo.dat", "qzloc.dat",
                                            "incupdates.inf", "tool.exe"};
    ASSERT_EQ(control.entries.size(), names.size());
    const auto files = UpdateSetFiles(*set);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& entry = control.entries[i];
        EXPECT_EQ(entry.file_name, names[i]);
        EXPECT_EQ(entry.url, options.url_base + "/" + names[i]);
        EXPECT_EQ(entry.version, i < 4 ? 4040213 : 7);
        EXPECT_EQ(entry.type, i < 4 ? kUpdateCopyFile : kUpdateExecutable);
        const auto served = std::find_if(files.begin(), files.end(),
                                         [&](const auto& f) { return f.path == names[i]; });
        ASSERT_NE(served, files.end()) << names[i];
        EXPECT_EQ(entry.size, served->bytes.size()) << names[i];
        EXPECT_EQ(entry.check_value, UpdateCheckValue(served->bytes)) << names[i];
    }
}

TEST(UpdateSet, DeltaPackagesAreTheLaterBlocks) {
    std::string error;
    const auto set = BuildUpdateSet(Blocks(3), {"http://h/u", {}}, error);
    ASSERT_TRUE(set) << error;
    const auto files = UpdateSetFiles(*set);
    ASSERT_EQ(files[1].path, "incupdates.inf");
    const auto parse = ParseDeltaIndex(files[1].bytes);
    ASSERT_TRUE(parse);
    ASSERT_EQ(parse.index.groups, set->delta_groups);
    ASSERT_EQ(parse.index.groups.size(), 2u);
    EXPECT_FALSE(parse.index.cut_short);
    // Newest first, each group taking the data one block further.
    EXPECT_EQ(parse.index.groups[0].base_version, 4040112);
    EXPECT_EQ(parse.index.groups[0].target_version, 4040213);
    EXPECT_EQ(parse.index.groups[1].base_version, 4031509);
    EXPECT_EQ(parse.index.groups[1].target_version, 4040112);

    // From the base block's version the chain takes both groups.
    DeltaChainInput input;
    input.installed_version = 4031509;
    input.max_delta_bytes = 0xFFFFFFFFu;
    input.whole_file_bytes = 1u << 20;
    input.delta_entry_version = set->data_version;
    const auto plan = PlanDeltaChain(parse.index, input);
    ASSERT_TRUE(plan);
    ASSERT_EQ(plan->files.size(), 6u);
    EXPECT_EQ(plan->files[0].file_name, "qzfile4040213.qzu");
    EXPECT_EQ(plan->files[5].file_name, "qzloc4040112.qzu");
    EXPECT_EQ(plan->bytes, parse.index.groups[0].size + parse.index.groups[1].size);

    // The whole files are the base files followed by the deltas, in order.
    const DefinitionFiles base = BuildDefinitionFiles(Blocks(1));
    ASSERT_TRUE(base.ok());
    const struct {
        const char* stem;
        const std::vector<std::uint8_t>& base_bytes;
    } kinds[] = {{"qzfile", base.signatures}, {"qzinfo", base.pests}, {"qzloc", base.locations}};
    for (const auto& kind : kinds) {
        const std::string name = std::string(kind.stem) + ".dat";
        const auto expected =
            Joined(Joined(kind.base_bytes,
                          FileAt(*set, std::string("deltas/4040112/") + kind.stem + ".qzu").bytes),
                   FileAt(*set, std::string("deltas/4040213/") + kind.stem + ".qzu").bytes);
        EXPECT_EQ(FileAt(*set, name).bytes, expected) << name;
        EXPECT_TRUE(ReadBlockBuffer(FileAt(*set, name).bytes, "defs/" + name).ok()) << name;
    }
}

TEST(UpdateSet, OneBlockGivesAnEmptyIndex) {
    std::string error;
    const auto set = BuildUpdateSet(Blocks(1), {"http://h", {}}, error);
    ASSERT_TRUE(set) << error;
    EXPECT_TRUE(set->delta_groups.empty());
    const auto parse = ParseDeltaIndex(RenderDeltaIndex(set->delta_groups));
    ASSERT_TRUE(parse);
    EXPECT_EQ(parse.index.declared_groups, 0);
    EXPECT_FALSE(BuildUpdateSet(DefinitionSet{}, {"http://h", {}}, error));
    EXPECT_EQ(error, "the definition set has no block");
}

TEST(UpdateSet, PublisherWritesTheSet) {
    ScratchDir dir;
    const auto source = dir.Write("set.defs", std::string(kSource));
    const auto tool = dir.Write("tool.exe", std::string("MZ tool"));
    const auto out = dir.File("served");
    std::ostringstream stdout_text, stderr_text;
    const std::vector<std::string> args = {
        "--update-set",         out,   "--url", "http://127.0.0.1:9/x/", "--extra",
        "tool.exe:5:3:" + tool, source};
    ASSERT_EQ(RunPublisher(args, stdout_text, stderr_text), 0) << stderr_text.str();
    for (const char* path :
         {"qzmaster.dat", "incupdates.inf", "qzinfo.dat", "qzfile.dat", "qzloc.dat", "tool.exe",
          "deltas/4040112/qzinfo.qzu", "deltas/4040213/qzloc.qzu"})
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(out) / path)) << path;
    const auto control = ParseControlFile(ReadWholeFile(out + "/qzmaster.dat").bytes);
    ASSERT_TRUE(control);
    ASSERT_EQ(control.entries.size(), 5u);
    EXPECT_EQ(control.entries[4].url, "http://127.0.0.1:9/x/tool.exe");
    EXPECT_EQ(control.entries[4].type, kUpdateExecutable);
    EXPECT_EQ(control.entries[4].version, 3);

    const struct {
        std::vector<std::string> args;
        const char* message;
    } refused[] = {
        {{"--update-set", out, source}, "--update-set wants --url"},
        {{"--out", out, "--url", "http://h", source}, "--url and --extra go with --update-set"},
        {{"--update-set", out, "--url", "http://h", "--extra", "..\\x.exe:5:1:" + tool, source},
         "--extra wants NAME:TYPE:VERSION:FILE"},
        {{"--update-set", out, "--url", "http://h", "--corrupt", "truncate", source},
         "--corrupt goes with --out"},
        {{"--update-set", out, "--out", out, "--url", "http://h", source},
         "give either --out or --update-set"},
    };
    for (const auto& c : refused) {
        std::ostringstream ignored, err;
        EXPECT_EQ(RunPublisher(c.args, ignored, err), 2) << c.message;
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    }
}

}  // namespace
}  // namespace olvex::tools
