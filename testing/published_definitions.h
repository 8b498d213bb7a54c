// Definition files for tests of the installed programs: a readable source
// compiled by the publisher and written over the three files an install's
// "core" folder holds, in place, as an update would leave them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "tools/publisher/definition_set.h"
#include "tools/publisher/definition_writer.h"

namespace olvex::testing {

// Writes the three definition files of the source into the folder. File
// fixtures the source names are looked up in base_dir; options may spoil a
// block of each file. Call it inside ASSERT_NO_FATAL_FAILURE: a source that
// does not compile fails the test.
inline void PublishDefinitions(const std::filesystem::path& folder, const std::string& source,
                               const std::string& base_dir = ".",
                               const tools::WriteOptions& options = {}) {
    const auto parsed = tools::ParseDefinitionSource(source, base_dir, "test.defs");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const auto files = tools::BuildDefinitionFiles(parsed.set, options);
    ASSERT_TRUE(files.ok()) << files.error;
    for (const auto& [name, bytes] :
         {std::pair{"qzinfo.dat", &files.pests}, std::pair{"qzfile.dat", &files.signatures},
          std::pair{"qzloc.dat", &files.locations}}) {
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes->data()),
                  static_cast<std::streamsize>(bytes->size()));
    }
}

}  // namespace olvex::testing
