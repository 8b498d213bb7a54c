// A whole definition set as the publisher builds it: one base block and any
// number of delta blocks, each adding and removing pests, signatures and
// locations. Every block of the set becomes one block of each of "qzinfo.dat",
// "qzfile.dat" and "qzloc.dat".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/definition_records.h"

namespace olvex::tools {

struct PublishedBlock {
    std::uint64_t block_time = 0;  // FILETIME (UTC)
    std::vector<PestInfoRecord> pests;
    std::vector<SignatureRecord> signatures;
    std::vector<LocationRecord> locations;
};

struct DefinitionSet {
    std::vector<PublishedBlock> blocks;  // the base block first, then the deltas
};

struct SourceResult {
    DefinitionSet set;
    std::string error;  // "<source>:<line>: <what>" when the source is wrong
    bool ok() const { return error.empty(); }
};

// Compiles the readable definition source (see samples/sample.defs for the
// format). Fixture files named by "signature ... file" lines are found
// relative to base_dir; source_name only labels the errors.
SourceResult ParseDefinitionSource(std::string_view text, const std::string& base_dir,
                                   const std::string& source_name);

// Reads and compiles a source file; fixture files are relative to its folder.
SourceResult ReadDefinitionSource(const std::string& path);

// The "qzloc.dat" entry texts the source lines stand for. They are written so
// that the engine's entry-text parser reads back exactly these parts.
std::string KeyEntryText(std::string_view key, std::string_view value, std::string_view data);
std::string QuotedEntryText(std::string_view kind_word, std::string_view text);

}  // namespace olvex::tools
