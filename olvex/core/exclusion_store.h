// The excluder's list and its file: reads the exclusion file of a folder
// (converting the older file once), keeps the exclusions in file order,
// writes every change to disk before taking it into the list, and picks up
// changes that other processes make to the file.
//
// Writes go to a new file in the same folder that is then renamed over the
// old one, so the file on disk is always a whole version of the list. A
// change that cannot be written leaves the list as the file has it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/attribute_list.h"
#include "olvex/core/file_stamp.h"
#include "olvex/core/multibyte_text.h"

namespace olvex {

enum class ExclusionError {
    kNone = 0,
    kOpenFailed,       // the file cannot be opened or created
    kReadFailed,       // opened, but not read whole (or far too large)
    kWriteOpenFailed,  // the new version cannot be created
    kWriteFailed,      // the new version cannot be written or put in place
    kNotFound,         // no stored exclusion has the text to remove
    kUnstorable,       // an empty text, or one holding a line break
};

// The product's message for an error; "Success" for kNone.
std::string_view ExclusionErrorText(ExclusionError error);

// Seconds between two looks at the file for changes made by others.
inline constexpr std::int64_t kExclusionFreshnessSeconds = 4;

class ExclusionStore {
  public:
    explicit ExclusionStore(MultiByteText mb) : mb_(mb) {}

    // Reads the file at path, which is created empty when neither it nor
    // the older file at old_path exists. When only the older file exists it
    // is converted: its content, scrambled, goes to path, and the older file
    // is removed. A conversion that fails leaves the older file as it was and
    // its exclusions in use; the next change written makes the new file.
    // On failure the list is empty.
    ExclusionError Open(const std::string& path, const std::string& old_path);

    // The exclusions in file order; GetString() of each is its stored text.
    const std::vector<AttributeList>& Exclusions() const { return exclusions_; }

    // Appends an exclusion. Before changing anything the list is brought up
    // to date with the file, so changes that another process wrote are kept.
    ExclusionError Add(std::string_view text);
    // Removes every exclusion whose text equals this one, ignoring case.
    ExclusionError Remove(std::string_view text);
    // Empties the list and leaves an empty file.
    ExclusionError RemoveAll();

    // The freshness check: once kExclusionFreshnessSeconds have passed since
    // the last check (or at the first one), the file is read again when it
    // changed. A file that cannot be read now keeps the list as it was.
    void Refresh(std::int64_t now);

  private:
    ExclusionError ReadCurrent();
    ExclusionError ReloadIfChanged();
    ExclusionError Store(const std::vector<std::string>& texts);
    void Take(const std::vector<std::string>& texts);
    std::vector<std::string> Texts() const;

    MultiByteText mb_;
    std::string path_;
    std::string old_path_;
    // The older file is what is read while its conversion has not happened.
    bool reading_old_ = false;
    // The version of the file the list was read from or written as.
    std::optional<FileStampResult> seen_;
    std::optional<std::int64_t> last_check_;
    std::vector<AttributeList> exclusions_;
};

}  // namespace olvex
