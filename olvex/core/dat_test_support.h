// For the pest database tests: definition sets published by the publisher
// into a scratch folder, from a readable source or from records, and a
// special-folder source whose answers a test sets.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <ostream>
#include <optional>
#include <string>
#include <string_view>

#include "olvex/core/dat_tables.h"
#include "olvex/core/path_macros.h"
#include "testing/scratch_dir.h"
#include "tools/publisher/definition_set.h"
#include "tools/publisher/definition_writer.h"

namespace olvex {

// Readable test failures for the database's entry types.
inline void PrintTo(const DatPestEntry& e, std::ostream* os) {
    *os << "{" << e.pest_id << ", \"" << e.name << "\", \"" << e.category << "\"}";
}
inline void PrintTo(const DatCookieEntry& e, std::ostream* os) {
    *os << "{\"" << e.name << "\", " << e.pest_id << "}";
}
inline void PrintTo(const DatKeyLocation& e, std::ostream* os) {
    *os << "{\"" << e.key << "\", \"" << e.value << "\", \"" << e.data << "\", " << e.pest_id
        << "}";
}
inline void PrintTo(const DatPathLocation& e, std::ostream* os) {
    *os << "{\"" << e.path << "\", " << e.pest_id << (e.is_folder ? ", folder}" : "}");
}

}  // namespace olvex

namespace olvex::testing {

// Publishes a definition source (the format of samples/sample.defs) into
// folder; the test fails when the source or the writing does.
inline void PublishSource(const std::string& folder, std::string_view source,
                          const tools::WriteOptions& options = {}) {
    const auto parsed = tools::ParseDefinitionSource(source, folder, "test source");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const std::string error = tools::WriteDefinitionFiles(parsed.set, folder, options);
    ASSERT_TRUE(error.empty()) << error;
}

inline void PublishSet(const std::string& folder, const tools::DefinitionSet& set) {
    const std::string error = tools::WriteDefinitionFiles(set, folder);
    ASSERT_TRUE(error.empty()) << error;
}

// A machine as a test describes it. Folders the shell knows come first;
// the "Shell Folders" key opens when told so and holds the values given.
class FakeSpecialFolders : public SpecialFolderSource {
  public:
    std::map<int, std::string> shell;
    bool current_user_key_opens = true;
    bool local_machine_key_opens = true;
    std::map<std::string, std::string, std::less<>> current_user_values;
    std::map<std::string, std::string, std::less<>> local_machine_values;
    std::optional<std::string> windows = "C:\\WINDOWS";
    std::optional<std::string> system = "C:\\WINDOWS\\system32";
    std::optional<std::string> user = "bob";
    bool win9x = false;
    bool nt4 = false;
    mutable std::atomic<int> shell_calls{0};

    // An XP machine whose shell knows every folder of the table but the
    // alternate startup folder, which falls back to the all-users one.
    static FakeSpecialFolders Xp() {
        FakeSpecialFolders machine;
        const std::string profile = "C:\\Documents and Settings\\bob";
        const std::string all_users = "C:\\Documents and Settings\\All Users";
        machine.shell = {
            {kCsidlCommonAltStartup, all_users + "\\Start Menu\\Programs\\Startup"},
            {kCsidlCommonDesktopDirectory, all_users + "\\Desktop"},
            {kCsidlCommonPrograms, all_users + "\\Start Menu\\Programs"},
            {kCsidlCommonStartMenu, all_users + "\\Start Menu"},
            {kCsidlCommonStartup, all_users + "\\Start Menu\\Programs\\Startup"},
            {kCsidlCookies, profile + "\\Cookies"},
            {kCsidlDesktopDirectory, profile + "\\Desktop"},
            {kCsidlProfile, profile},
            {kCsidlProgramFiles, "C:\\Program Files"},
            {kCsidlStartMenu, profile + "\\Start Menu"},
            {kCsidlStartup, profile + "\\Start Menu\\Programs\\Startup"},
            {kCsidlSystem, "C:\\WINDOWS\\system32"},
            {kCsidlWindows, "C:\\WINDOWS"},
            {kCsidlFavorites, profile + "\\Favorites"},
            {kCsidlPrograms, profile + "\\Start Menu\\Programs"},
        };
        return machine;
    }

    FakeSpecialFolders() = default;
    FakeSpecialFolders(const FakeSpecialFolders& other)
        : shell(other.shell),
          current_user_key_opens(other.current_user_key_opens),
          local_machine_key_opens(other.local_machine_key_opens),
          current_user_values(other.current_user_values),
          local_machine_values(other.local_machine_values),
          windows(other.windows),
          system(other.system),
          user(other.user),
          win9x(other.win9x),
          nt4(other.nt4) {}

    std::optional<std::string> ShellFolder(int csidl) const override {
        ++shell_calls;
        const auto it = shell.find(csidl);
        return it == shell.end() ? std::nullopt : std::optional(it->second);
    }
    bool ShellFoldersKeyOpens(ShellFoldersRoot root) const override {
        return root == ShellFoldersRoot::kCurrentUser ? current_user_key_opens
                                                      : local_machine_key_opens;
    }
    std::optional<std::string> ShellFoldersValue(ShellFoldersRoot root,
                                                 std::string_view name) const override {
        if (!ShellFoldersKeyOpens(root))
            return std::nullopt;
        const auto& values =
            root == ShellFoldersRoot::kCurrentUser ? current_user_values : local_machine_values;
        const auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<std::string> WindowsFolder() const override { return windows; }
    std::optional<std::string> SystemFolder() const override { return system; }
    std::optional<std::string> UserName() const override { return user; }
    bool IsWin9x() const override { return win9x; }
    bool IsNt4OrOlder() const override { return nt4; }
};

}  // namespace olvex::testing
