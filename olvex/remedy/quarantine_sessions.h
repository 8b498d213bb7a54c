// Quarantine sessions on disk: every cleaning run keeps what it removes in a
// password-protected session archive in the quarantine folder, listed in the
// session database "qzqsdb.dat". This is the work behind IQuarantine's
// session members, without their COM face.
//
// Sound rules beyond the bare operations:
// - An item is reported kept only when the archive and the database hold it:
//   a write that fails (a full disk, a damaged archive, a record that cannot
//   be written) reports false, so that the exterminator leaves the item where
//   it is. A file that is gone adds nothing and is no error. A file that
//   another program holds open without read sharing cannot be kept: for a
//   file location that is a failure ("in use"); a folder's file that cannot
//   be kept is left out and reported, and the exterminator leaves it in place.
// - Nothing is kept that a restore would refuse: each entry's comment is
//   planned the way the restore plans it before the entry is written.
// - One call writes the archive once, however many files it keeps.
// - Folder walks never follow junctions or symbolic links.
// - A restore puts back every entry it can and keeps the others: within one
//   restore a path held by several entries ends with the oldest copy (the
//   oldest session's, within it the first entry's), a file that is there
//   before the restore begins is never overwritten, and an entry that cannot
//   come back (a refused target, registry data for another key, a failed
//   write) stays stored. An archive goes only when all of it came back;
//   otherwise it is rewritten to hold just what stayed, and the restore
//   reports false naming it.
// - A damaged session database hides nothing: what can be read is kept,
//   every session archive of the folder that no record names is added (its
//   name is the session's name), the file is rewritten whole and the repair
//   goes to the engine log. Nothing is ever appended after damage.
// - Only archives that lie directly in the quarantine folder are listed,
//   restored or deleted, whatever the database says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "olvex/core/multibyte_text.h"
#include "olvex/remedy/quarantine_db.h"
#include "olvex/remedy/quarantine_store.h"

namespace olvex {

// What keeping one location in a session did.
struct SessionKeep {
    // false: nothing of the location may be removed (error says why).
    StoreOutcome outcome;
    // The files of the location's folder tree that the session now holds, by
    // the path the walk built; only these may be removed.
    std::unordered_set<std::string> kept_files;
    // Files of the tree that could not be kept (in use, unreadable, or a name
    // a restore would refuse); the first reason among them.
    std::size_t left_out = 0;
    std::string left_out_reason;
};

class QuarantineSessions {
  public:
    // The store gives the quarantine folder; it must outlive this object.
    explicit QuarantineSessions(const QuarantineStore& store);

    // Copies what the location names (its file, the files of its folder
    // tree, its registry data) into the session's archive and lists the
    // session. session_name is a name, not a path.
    SessionKeep Keep(std::int32_t pest_id, const std::string& location,
                     const std::string& session_name);
    // The same for IQuarantine::AddItemToSession, whose caller learns only
    // whether it worked.
    StoreOutcome AddItem(std::int32_t pest_id, const std::string& location,
                         const std::string& session_name) {
        return Keep(pest_id, location, session_name).outcome;
    }

    // The listing, in database order: FirstSession starts it (closing one
    // under way); both give nullopt at the end, which also closes it.
    StoreOutcome FirstSession(std::optional<SessionRecord>& session);
    std::optional<SessionRecord> NextSession();
    void EndListing() { listing_.Close(); }

    // A new session starts: partial archives ("<name>.zip.tmp") that a run
    // ended in the middle of writing left in the quarantine folder are
    // removed (one still being written is open and stays). They hold nothing
    // a session lists: the archive itself is only replaced once complete.
    // Returns how many went; each goes to the engine log.
    std::size_t RemovePartialArchives();

    // Restores the session that matches by id or by path (exactly), and every
    // later one.
    StoreOutcome Restore(std::int32_t session_id, const std::string& path);
    // Deletes the archive of the matching session and of every earlier one.
    StoreOutcome Delete(std::int32_t session_id, const std::string& path);

  private:
    std::optional<SessionRecord> NextFrom(QuarantineSessionDb& db) const;
    // Every listed session in database order; nullopt when the database
    // cannot be opened.
    std::optional<std::vector<SessionRecord>> AllSessions() const;
    // Repairs the session database when it is damaged or leaves an archive
    // of the folder unnamed; false only when it needed a repair that failed.
    bool RepairIfDamaged();
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

// The text the engine gives when a file cannot be kept because another
// program holds it open.
std::string InUseText(const std::string& path);

}  // namespace olvex
