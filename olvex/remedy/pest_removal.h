// Removal of what one pest location names, for the exterminator: a process
// ended, a folder tree or a file deleted (at the next restart when it is in
// use), the Winsock providers of a deleted file taken out of the catalogue,
// registry keys deleted and values deleted or reset.
//
// Sound rules beyond the bare operations:
// - A folder is never removed when it is a drive or share root, the Windows
//   or system folder, Program Files, a user profile, the folder of the
//   profiles, or a folder that holds one of them; a key never when it is a
//   root or a hive, holds one of the shared start-up and system keys, or is
//   one of the keys Windows keeps directly in a hive or in the classes
//   (protected_places.h). A relative path is refused.
// - A folder walk never follows a junction or symbolic link: the link itself
//   is removed, what it points at is left alone.
// - A folder is removed only when it is gone (or all that is left of it goes
//   at the next restart); otherwise the removal reports how many items
//   stayed. When the folder was kept in a quarantine session, only the
//   files the session holds are deleted: a file it could not keep stays.
// - The processes running a file of a folder are found in one list of the
//   running processes per removal, taken again only after one was ended.
// - A process id is ended only while it still runs the image the location
//   names; the engine's own process and the system's critical processes are
//   never ended. A process that is ended is waited for, so that its file can
//   be deleted at once.
// - A file's Winsock providers leave the catalogue before the file goes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "olvex/core/location.h"
#include "olvex/core/multibyte_text.h"
#include "olvex/remedy/process_terminator.h"
#include "olvex/remedy/reboot_file_mover.h"
#include "olvex/remedy/winsock_catalog.h"

namespace olvex {

// The Winsock catalogue the exterminator works on: the system's unless a
// test put one of its own in place for the lifetime of this object (not
// thread-safe against removals running at the same time).
class ScopedWinsockCatalogue {
  public:
    explicit ScopedWinsockCatalogue(WinsockCatalogue& catalogue);
    ~ScopedWinsockCatalogue();
    ScopedWinsockCatalogue(const ScopedWinsockCatalogue&) = delete;
    ScopedWinsockCatalogue& operator=(const ScopedWinsockCatalogue&) = delete;

  private:
    WinsockCatalogue* previous_;
};

// The folders removal spares on this machine, full and long: the Windows
// and system folders, Program Files and its Common Files, the folder of the
// profiles, the All Users profile and every user's profile.
std::vector<std::string> ProtectedFolders();

// A path in full (GetFullPathName) and, when it exists, long form.
std::string FullLongPath(const std::string& path);

// Whether the location is still there (the exterminator passes over one
// that is not): a Folder or File whose path cannot be found is gone, a Key
// that does not open is gone, a Value that cannot be read is gone. Anything
// else (a process, a cookie without a file, a location that cannot be
// judged) counts as present.
bool IsLocationPresent(const Location& location, const MultiByteText& mb);

// One removal: the attributes of one location, handled one after the other.
class PestRemoval {
  public:
    // special: the pest went to the scripted remover, whose run already took
    // the catalogue's orphaned providers out; its files' providers are then
    // left alone.
    PestRemoval(CRebootFileMover& mover, bool special);
    ~PestRemoval();
    PestRemoval(const PestRemoval&) = delete;
    PestRemoval& operator=(const PestRemoval&) = delete;

    // The error text when removal must refuse the location (a protected
    // folder or key, a file that is no absolute path or is a folder):
    // checked before anything is kept or removed.
    std::optional<std::string> Refusal(const Location& location);

    // Each answers whether the removal succeeded (or was not needed).
    // image: the location's File, the image the process must still run.
    bool TerminateProcessId(const std::string& id_text, const std::optional<std::string>& image);
    // kept: the files of the tree a session holds, the only ones that may go;
    // null when nothing was kept (everything may go).
    struct FolderOutcome {
        bool removed = false;
        std::size_t stayed = 0;  // items left in the folder (not even scheduled)
    };
    FolderOutcome DeleteFolder(const std::string& folder,
                               const std::unordered_set<std::string>* kept);
    bool RemoveFile(const std::string& file);
    // Key text, value name, data and default value as the location gives them.
    bool DeleteRegistry(const std::string& key_text, const std::optional<std::string>& value,
                        const std::optional<std::string>& data,
                        const std::optional<std::string>& default_value);

    // A deletion was scheduled for the next restart, which Windows must
    // then make.
    bool RebootRequired() const { return reboot_required_; }

  private:
    bool RefusesFolder(const std::string& folder);
    bool RefusesFile(const std::string& file) const;
    bool RefusesKey(const std::string& key_text);
    enum class ItemEnd { kRemoved, kScheduled, kStayed };
    // Whether the folder is gone; stayed counts what is left of it that is
    // not scheduled for the next restart.
    bool DeleteFolderTree(const std::string& folder, const std::unordered_set<std::string>* kept,
                          std::size_t& stayed);
    // short_name: the file's 8.3 name from its folder's listing.
    ItemEnd DeleteTreeFile(const std::string& file, const std::string& short_name);
    void EndProcessesRunning(const std::string& file);
    void RemoveProvidersOf(const std::string& file,
                           const std::optional<std::string>& short_name = std::nullopt);
    const std::vector<std::string>& Protected();

    CRebootFileMover& mover_;
    bool special_;
    MultiByteText mb_;
    bool reboot_required_ = false;
    std::unique_ptr<CProcessTerminator> terminator_;
    std::unique_ptr<WinsockCatalogue> system_catalogue_;
    std::unique_ptr<CWinsockCatalog> catalog_;
    std::optional<std::vector<std::string>> protected_;
    std::optional<std::unordered_set<std::string>> file_types_;
};

// Ends a process by id: opened with the terminate right, checked, ended and
// waited for.
enum class ProcessEnd {
    kEnded,
    kNoSuchProcess,  // no process has that id
    kOtherImage,     // the id now runs another image: the pest has ended already
    kNotOpened,      // it cannot be opened
    kNotEnded,       // it was opened, but would not end
    kRefused,        // the engine's own process, or one of the system's critical ones
};
ProcessEnd EndPestProcess(DWORD process_id, const std::optional<std::string>& image);

// Takes the orphaned providers (whose DLL is gone) out of the catalogue.
void RemoveOrphanedWinsockProviders();

}  // namespace olvex
