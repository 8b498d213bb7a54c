// Quarantine sessions on disk: every cleaning run keeps what it removes in a
// password-protected session archive in the quarantine folder, listed in the
// session database "qzqsdb.dat". This is the work behind IQuarantine's
// session members, without their COM face.
//
// Sound rules beyond the bare operations:
// - An item is reported added only when the archive and the database hold it:
//   a write that fails (a full disk, a damaged archive, a record that cannot
//   be written) reports false, so that the exterminator leaves the item where
//   it is. A file that is gone adds nothing and is no error. A file that
//   another program holds open without read sharing cannot be copied; it is
//   passed over (the caller then deletes it at the next restart).
// - Folder walks never follow junctions or symbolic links.
// - A restore checks every entry before it writes anything: file targets must
//   be absolute local paths, registry data must stay under the key its entry
//   names. It never overwrites a file, and imports registry data through the
//   checked import. An archive is deleted only after all of it came back.
// - Only archives that lie directly in the quarantine folder are listed,
//   restored or deleted, whatever the database says.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "olvex/core/multibyte_text.h"
#include "olvex/remedy/quarantine_db.h"
#include "olvex/remedy/quarantine_store.h"

namespace olvex {

class QuarantineSessions {
  public:
    // The store gives the quarantine folder; it must outlive this object.
    explicit QuarantineSessions(const QuarantineStore& store);

    // Copies what the location names (its file, the files of its folder
    // tree, its registry data) into the session's archive and lists the
    // session. session_name is a name, not a path.
    StoreOutcome AddItem(std::int32_t pest_id, const std::string& location,
                         const std::string& session_name);

    // The listing, in database order: FirstSession starts it (closing one
    // under way); both give nullopt at the end, which also closes it.
    StoreOutcome FirstSession(std::optional<SessionRecord>& session);
    std::optional<SessionRecord> NextSession();
    void EndListing() { listing_.Close(); }

    // Restores the session that matches by id or by path (exactly), and every
    // later one, newest first, deleting each archive once it is restored.
    StoreOutcome Restore(std::int32_t session_id, const std::string& path);
    // Deletes the archive of the matching session and of every earlier one.
    StoreOutcome Delete(std::int32_t session_id, const std::string& path);

  private:
    std::optional<SessionRecord> NextFrom(QuarantineSessionDb& db) const;
    // Every listed session in database order; nullopt when the database
    // cannot be opened.
    std::optional<std::vector<SessionRecord>> AllSessions() const;
    StoreOutcome RestoreArchive(const std::string& archive);
    StoreOutcome Compact();

    const QuarantineStore& store_;
    MultiByteText mb_;
    QuarantineSessionDb listing_;
};

// The entry comments of a session archive, in entry order.
struct SessionComments {
    bool ok = false;
    std::vector<std::string> comments;
};
SessionComments ReadSessionComments(const std::string& archive);

}  // namespace olvex
