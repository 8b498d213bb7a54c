// The quarantine's session archives: one password-protected zip archive per
// cleaning run, "<quarantine folder>\<session name>.zip", one entry per file
// removed, each entry's comment the location it came from. This is the
// portable half: names, comments, and what a restore will do with each entry
// of an archive, decided before anything is written.
//
// An archive is read as untrusted bytes: an entry comment decides where the
// entry is written back, so every target is checked, and a registry entry
// may only hold the key its comment names and the keys below it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/multibyte_text.h"
#include "olvex/remedy/regedit4.h"
#include "olvex/zip/zip_reader.h"

namespace olvex {

// The same for every session archive.
inline constexpr char kSessionPassword[] = "RWMTKQ8";

// "<folder>\<session name>.zip".
std::string SessionArchivePath(std::string_view quarantine_folder, std::string_view session_name);

// The comment of an entry added for a location: " PestId "<id>" " and the
// location; when the location has no non-empty File attribute, the added
// file's path goes in front as " File "<path>"".
std::string SessionEntryComment(std::int32_t pest_id, std::string_view location,
                                std::string_view added_file, const MultiByteText& mb);

// The entry name of the next entry: the number of entries before it.
inline std::string SessionEntryName(std::size_t entries_before) {
    return std::to_string(entries_before);
}

// What a restore does with one entry.
struct SessionRestoreStep {
    enum class Kind {
        kRegistry,  // registry data for the key: imported with the registry editor
        kFile,      // a file: written back to target unless something is there already
        kRefused,   // nothing may be done with it; reason says why
    };
    Kind kind = Kind::kRefused;
    std::size_t entry = 0;
    std::string key;     // kRegistry: the location's Key text
    std::string target;  // kFile: where the file goes
    std::string reason;  // kRefused
};

// What a restore does with the entry of that index and comment. File
// targets must be absolute local paths (IsAbsoluteLocalPath). The same rules
// decide, before anything is kept and removed, whether a kept item could ever
// come back.
SessionRestoreStep PlanSessionEntry(std::size_t entry, std::string_view comment,
                                    const MultiByteText& mb);

// The steps for every entry of an opened archive, last entry first.
std::vector<SessionRestoreStep> PlanSessionRestore(const ZipReader& archive,
                                                   const MultiByteText& mb);

// A Key text ("hkey_current_user \Software\X"): the root word before the
// first blank, the path after it less one leading backslash.
struct RegistryKeyText {
    std::string root_word;
    std::string path;
};
std::optional<RegistryKeyText> SplitRegistryKeyText(std::string_view key_text,
                                                    const MultiByteText& mb);

// Whether every key of a REGEDIT4 text is the key of key_text or below it
// (root names and paths compared without regard to ASCII case). An empty text
// (no keys) passes.
bool RegistryContainerStaysUnder(const Regedit4Parse& container, std::string_view key_text,
                                 const MultiByteText& mb);

}  // namespace olvex
