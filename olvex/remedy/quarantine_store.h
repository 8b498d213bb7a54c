// The quarantine's work without its COM face: the quarantine folder and its
// item database, copying a location's file, folder tree or registry data into
// a container, listing the items, restoring and deleting them. CQuarantine
// turns its results into out-parameters and bsLastError.
//
// Sound rules beyond the bare operations:
// - Quarantining refuses to run before Initialize (it would otherwise write
//   into the current folder and the drive's root).
// - A quarantine that fails leaves neither a container nor a record.
// - Items are listed, restored and deleted only when their container lies
//   directly in the quarantine folder; a restore writes only to absolute
//   paths on a drive. Anything else is refused before anything is touched.
// - The duplicate check reads the database on its own, so it does not end a
//   listing that a client has under way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "olvex/core/multibyte_text.h"
#include "olvex/remedy/quarantine_db.h"

namespace olvex {

struct QuarantinedItemInfo {
    std::int32_t record_id = 0;
    std::int32_t pest_id = 0;
    std::string location;
    std::string container;
    // Creation time of a container file, local time, as an OLE date; none
    // for a container folder.
    std::optional<double> quarantine_date;
};

struct StoreOutcome {
    bool ok = true;
    std::string error;  // the text for bsLastError; empty when the failure has none
};

class QuarantineStore {
  public:
    QuarantineStore();

    // Makes base_folder + "\Quarantine" (one trailing backslash of the base
    // is dropped) and, when the folder is new, its two databases. No base
    // folder means the folder of the engine module; an empty one is refused
    // (it would put the quarantine in the root of the current drive).
    StoreOutcome Initialize(const std::optional<std::string>& base_folder);
    bool IsInitialized() const { return initialized_; }
    const std::string& Folder() const { return folder_; }
    // The folder the quarantine folder lies in; the engine's own log lines
    // of this quarantine go to its "Logs" folder.
    const std::string& BaseFolder() const { return base_; }

    // Copies what the location names (its File, Folder and Key attributes)
    // into a new container and records it.
    StoreOutcome Quarantine(std::int32_t pest_id, const std::string& location,
                            bool allow_duplicates);

    // The listing: FirstItem starts it (closing a listing under way), both
    // give nullopt at the end, which also closes it.
    StoreOutcome FirstItem(std::optional<QuarantinedItemInfo>& item);
    std::optional<QuarantinedItemInfo> NextItem();

    // Puts the container's content back where the location says and deletes
    // the container. The record stays; the item leaves the list.
    StoreOutcome Restore(const std::string& location, const std::string& container);
    // Deletes a container file or folder. The record stays.
    StoreOutcome DeleteItem(const std::string& container);
    // Deletes every listed item's container; the number deleted.
    int DeleteAllItems();

    std::string ItemDbPath() const;
    std::string SessionDbPath() const;
    bool IsContainerPath(const std::string& path) const;

  private:
    bool IsDuplicate(std::int32_t pest_id, const std::string& location);
    std::optional<QuarantinedItemInfo> NextFrom(QuarantineItemDb& db) const;

    MultiByteText mb_;
    bool initialized_ = false;
    std::string base_;
    std::string folder_;
    QuarantineItemDb listing_;
};

}  // namespace olvex
