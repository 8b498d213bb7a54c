#include "olvex/remedy/quarantine_sessions.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <limits>
#include <map>

#include "olvex/core/ansi_code_page.h"
#include "olvex/core/engine_event_log.h"
#include "olvex/core/file_io.h"
#include "olvex/core/location.h"
#include "olvex/remedy/folder_tree.h"
#include "olvex/remedy/quarantine_paths.h"
#include "olvex/remedy/registry_container.h"
#include "olvex/remedy/session_archive.h"
#include "win/unique.h"
#include "olvex/scan/user_hives.h"
#include "olvex/zip/zip_writer.h"

namespace olvex {
namespace {

constexpr char kRegistryItemError[] = "Error adding an item to the quarantine session.";
// A session database holds a few hundred bytes per session.
constexpr std::uint64_t kMaxSessionDbBytes = 64u << 20;

StoreOutcome Failure(std::string error) {
    return {false, std::move(error)};
}

std::string WindowsFolder() {
    std::array<char, MAX_PATH + 1> folder{};
    const UINT length = GetWindowsDirectoryA(folder.data(), MAX_PATH);
    return length > 0 && length <= MAX_PATH ? std::string(folder.data(), length) : std::string();
}

// Our own archives are read without the limits meant for archives found on
// the disk: the writer keeps each below 4 GiB and 65535 entries.
ZipBudget SessionBudget() {
    ZipBudget budget;
    budget.max_directory_bytes = 64u << 20;
    budget.max_entry_bytes = 0xFFFFFFFFu;
    budget.max_total_bytes = std::numeric_limits<std::uint64_t>::max();
    return budget;
}

ZipDateTime LastWriteTime(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    FILETIME local{};
    SYSTEMTIME time{};
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !FileTimeToSystemTime(&local, &time))
        return {};
    return {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
}

bool IsInUseError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool IsGoneError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

enum class AddStatus {
    kAdded,
    kMissing,  // the file is not there: nothing to keep
    kLeftOut,  // this file cannot be kept (in use, unreadable, refused); others can
    kFailed,   // the archive cannot be written: nothing more can be kept
};

// The session's archive for one call: opened (read and copied) once at the
// first file, written once at the end.
class SessionWriter {
  public:
    SessionWriter(const std::string& archive, std::int32_t pest_id, const std::string& location,
                  const MultiByteText& mb)
        : archive_(archive), batch_(archive), pest_id_(pest_id), location_(location), mb_(mb) {
        batch_.SetPassword(kSessionPassword);
    }

    std::size_t Added() const { return batch_.AddedCount(); }

    // source: the file; expected: how the restore must plan its entry.
    AddStatus AddFile(const std::string& source, SessionRestoreStep::Kind expected,
                      std::string& error) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExA(source.c_str(), GetFileExInfoStandard, &data)) {
            const DWORD failure = GetLastError();
            if (IsGoneError(failure))
                return AddStatus::kMissing;
            error = "Error adding " + source +
                    " to the quarantine session. Last Error: " + SystemErrorText(failure);
            return AddStatus::kLeftOut;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            error = "Error adding " + source + " to the quarantine session: it is a folder.";
            return AddStatus::kLeftOut;
        }
        // Kept only what can come back: the entry as the restore will read it.
        const std::string comment = SessionEntryComment(pest_id_, location_, source, mb_);
        const auto step = PlanSessionEntry(0, comment, mb_);
        if (step.kind != expected ||
            (expected == SessionRestoreStep::Kind::kFile && step.target != source)) {
            error = "Error adding " + source + " to the quarantine session: it could not be " +
                    "restored (" +
                    (step.kind == SessionRestoreStep::Kind::kRefused
                         ? step.reason
                         : std::string("its entry would name another place")) +
                    ").";
            return AddStatus::kLeftOut;
        }
        {
            // The same sharing the archive writer reads with.
            win::UniqueHandle probe(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                nullptr));
            if (!probe) {
                const DWORD failure = GetLastError();
                error = IsInUseError(failure)
                            ? InUseText(source)
                            : "Error adding " + source + " to the quarantine session. Last " +
                                  "Error: " + SystemErrorText(failure);
                return AddStatus::kLeftOut;
            }
        }
        if (!opened_) {
            if (const auto e = batch_.Open(); e != ZipError::kNone) {
                error = (e == ZipError::kWriteFailed
                             ? "Error adding " + source + " to the quarantine session file "
                             : std::string("Error reading the quarantine session file ")) +
                        archive_ + ": " + std::string(ZipErrorText(e));
                return AddStatus::kFailed;
            }
            opened_ = true;
        }
        const ZipNewEntry entry{SessionEntryName(batch_.EntryCount()), comment,
                                LastWriteTime(data)};
        switch (const auto e = batch_.AddFile(source, entry)) {
            case ZipError::kNone:
                return AddStatus::kAdded;
            case ZipError::kOpenFailed:
            case ZipError::kReadFailed:
            case ZipError::kSourceChanged:
                error = "Error adding " + source +
                        " to the quarantine session: " + std::string(ZipErrorText(e));
                return AddStatus::kLeftOut;
            default:
                error = "Error adding " + source + " to the quarantine session file " + archive_ +
                        ": " + std::string(ZipErrorText(e));
                return AddStatus::kFailed;
        }
    }

    bool Commit(std::string& error) {
        if (Added() == 0)
            return true;
        if (const auto e = batch_.Commit(); e != ZipError::kNone) {
            error = "Error writing the quarantine session file " + archive_ + ": " +
                    std::string(ZipErrorText(e));
            return false;
        }
        return true;
    }

  private:
    std::string archive_;
    ZipBatch batch_;
    bool opened_ = false;
    std::int32_t pest_id_;
    const std::string& location_;
    const MultiByteText& mb_;
};

// Every file below folder, subfolders first as they come; links to
// elsewhere are no part of the tree. A file that cannot be kept is counted
// and left out.
bool KeepFolder(SessionWriter& writer, const std::string& folder, SessionKeep& keep,
                std::string& error) {
    WIN32_FIND_DATAA found;
    win::UniqueFind find(FindFirstFileA((folder + "\\*.*").c_str(), &found));
    if (!find)
        return true;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == ".." || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        const std::string path = folder + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!KeepFolder(writer, path, keep, error))
                return false;
            continue;
        }
        std::string reason;
        switch (writer.AddFile(path, SessionRestoreStep::Kind::kFile, reason)) {
            case AddStatus::kAdded:
                keep.kept_files.insert(path);
                break;
            case AddStatus::kMissing:
                break;
            case AddStatus::kLeftOut:
                if (keep.left_out++ == 0)
                    keep.left_out_reason = reason;
                break;
            case AddStatus::kFailed:
                error = reason;
                return false;
        }
    } while (FindNextFileA(find.get(), &found));
    return true;
}

// A temporary REGEDIT4 file in the quarantine folder, removed when done.
class TemporaryRegistryFile {
  public:
    explicit TemporaryRegistryFile(const std::string& folder) {
        std::array<char, MAX_PATH + 1> name{};
        if (GetTempFileNameA(folder.c_str(), "reg", 0, name.data()))
            path_ = name.data();
    }
    ~TemporaryRegistryFile() {
        if (!path_.empty())
            DeleteFileA(path_.c_str());
    }
    TemporaryRegistryFile(const TemporaryRegistryFile&) = delete;
    TemporaryRegistryFile& operator=(const TemporaryRegistryFile&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Mounts the user hive a Key text names below HKEY_USERS, for one call.
MountedHives MountHiveOf(const std::string& key_text) {
    MountedHives hives;
    std::string mount_name;
    if (ExtractHiveMountName(key_text, mount_name))
        EnsureUserHiveLoaded(mount_name, hives);
    return hives;
}

// Whether registry data as written would be imported back under its key.
std::optional<std::string> RegistryTextRefusal(const std::vector<std::uint8_t>& text,
                                               const std::string& key, const MultiByteText& mb) {
    const auto parsed = ParseRegedit4(std::string(text.begin(), text.end()));
    if (!parsed.ok)
        return "its registry data cannot be read back (line " + std::to_string(parsed.line) + ": " +
               parsed.error + ")";
    if (!RegistryContainerStaysUnder(parsed, key, mb))
        return "its registry data do not belong to " + key;
    return std::nullopt;
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The session's name for an archive "<name>.zip".
std::string SessionNameOf(const std::string& archive) {
    std::string name = FileNameOf(archive);
    if (name.size() > 4)
        name.resize(name.size() - 4);
    return name;
}

}  // namespace

std::string InUseText(const std::string& path) {
    return "The file " + path +
           " is in use by another program and could not be kept in the quarantine; it was not "
           "deleted.";
}

QuarantineSessions::QuarantineSessions(const QuarantineStore& store)
    : store_(store), mb_(AnsiCodePageText()) {}

SessionKeep QuarantineSessions::Keep(std::int32_t pest_id, const std::string& location,
                                     const std::string& session_name) {
    SessionKeep keep;
    const auto fail = [&](std::string error) {
        keep.outcome = Failure(std::move(error));
        keep.kept_files.clear();
        return keep;
    };
    if (!store_.IsInitialized())
        return fail("Not initialized.");
    const std::string archive = SessionArchivePath(store_.Folder(), session_name);
    if (session_name.empty() || !store_.IsContainerPath(archive))
        return fail("Error.  Invalid quarantine session name: " + session_name);
    // Never appended after damage.
    RepairIfDamaged();
    QuarantineSessionDb db;
    switch (db.Open(store_.SessionDbPath(), QuarantineDbFile::Purpose::kUpdate)) {
        case QuarantineDbError::kNone:
            break;
        case QuarantineDbError::kShortHeader:
        case QuarantineDbError::kReadFailed:
            return fail("Error reading quarantine session database.");
        default:
            return fail("Error opening quarantine session database.");
    }
    Location parsed(mb_);
    parsed.SetString(location);
    SessionWriter writer(archive, pest_id, location, mb_);
    std::string error;
    bool listed = false;

    if (const auto file = parsed.GetAttributeValue(kAttrFile)) {
        // A file is kept whole or the location fails: it is all there is of it.
        const std::string source = FilePartOfFileValue(*file, mb_);
        const auto status = writer.AddFile(source, SessionRestoreStep::Kind::kFile, error);
        if (status == AddStatus::kLeftOut || status == AddStatus::kFailed)
            return fail(error);
        listed = true;
    }
    if (const auto folder = parsed.GetAttributeValue(kAttrFolder)) {
        if (!KeepFolder(writer, *folder, keep, error))
            return fail(error);
        listed = true;
    }
    // The registry file goes when the call ends, after the archive took it.
    std::optional<TemporaryRegistryFile> container;
    if (const auto key_text = parsed.GetAttributeValue(kAttrKey)) {
        const auto key = ParseRegistryKeyText(*key_text, error);
        if (!key)
            return fail(kRegistryItemError);
        const MountedHives hives = MountHiveOf(*key_text);
        container.emplace(store_.Folder());
        if (container->Path().empty())
            return fail(kRegistryItemError);
        const auto value = parsed.GetAttributeValue(kAttrValue);
        const auto written = value ? WriteRegistryValueContainer(*key, *value, container->Path())
                                   : WriteRegistryKeyContainer(*key, container->Path());
        if (written.status == ContainerOutcome::Status::kFailed)
            return fail(kRegistryItemError);
        if (written.status == ContainerOutcome::Status::kWritten) {
            const FileBytes text = ReadWholeFile(container->Path());
            if (!text)
                return fail(kRegistryItemError);
            if (const auto refusal = RegistryTextRefusal(text.bytes, *key_text, mb_))
                return fail("Error adding " + *key_text +
                            " to the quarantine session: " + *refusal + ".");
            if (writer.AddFile(container->Path(), SessionRestoreStep::Kind::kRegistry, error) !=
                AddStatus::kAdded)
                return fail(error.empty() ? kRegistryItemError : error);
            listed = true;
        }
    }
    if (!writer.Commit(error))
        return fail(error);
    // A crash right here leaves an archive no record names; the next repair
    // adds it.
    if (listed) {
        bool appended = false;
        if (db.Append(session_name, archive, appended) != QuarantineDbError::kNone)
            return fail("Error writing quarantine session database.");
    }
    return keep;
}

std::optional<SessionRecord> QuarantineSessions::NextFrom(QuarantineSessionDb& db) const {
    while (auto record = db.NextListed()) {
        if (store_.IsContainerPath(record->path))
            return record;
    }
    return std::nullopt;
}

StoreOutcome QuarantineSessions::FirstSession(std::optional<SessionRecord>& session) {
    session.reset();
    if (!store_.IsInitialized())
        return Failure("Not initialized.");
    listing_.Close();
    RepairIfDamaged();
    if (listing_.Open(store_.SessionDbPath(), QuarantineDbFile::Purpose::kList) !=
        QuarantineDbError::kNone) {
        listing_.Close();
        return Failure("Error opening quarantine session database.");
    }
    session = NextSession();
    return {};
}

std::optional<SessionRecord> QuarantineSessions::NextSession() {
    if (!listing_.IsOpen())
        return std::nullopt;
    auto session = NextFrom(listing_);
    if (!session)
        listing_.Close();
    return session;
}

std::optional<std::vector<SessionRecord>> QuarantineSessions::AllSessions() const {
    QuarantineSessionDb db;
    if (db.Open(store_.SessionDbPath(), QuarantineDbFile::Purpose::kList) !=
        QuarantineDbError::kNone)
        return std::nullopt;
    std::vector<SessionRecord> sessions;
    while (auto session = NextFrom(db))
        sessions.push_back(std::move(*session));
    return sessions;
}

bool QuarantineSessions::RepairIfDamaged() {
    const std::string path = store_.SessionDbPath();
    const FileBytes bytes = ReadWholeFile(path, kMaxSessionDbBytes);
    // A missing file is made fresh by the next open; one that cannot be read
    // cannot be judged.
    if (!bytes && bytes.error != FileError::kNotFound)
        return true;
    MemoryRecordSource source(bytes.bytes);
    SessionDbScan scan = bytes ? ScanSessionDb(source) : SessionDbScan{{}, false, false};
    if (scan.read_error)
        return true;
    // An empty file is a fresh database, not a damaged one.
    bool damaged = scan.damaged && !bytes.bytes.empty();
    std::size_t dropped = 0;
    std::vector<SessionRecord> kept;
    std::vector<std::string> named;
    for (auto& record : scan.records) {
        // A record must name an archive of this folder by its session's name.
        const bool sound = store_.IsContainerPath(record.path) &&
                           mb_.Lower(record.path).ends_with(".zip") &&
                           record.session_id == SessionIdFromName(SessionNameOf(record.path));
        const std::string lower = mb_.Lower(record.path);
        const bool repeated = std::find(named.begin(), named.end(), lower) != named.end();
        if (!sound || repeated) {
            damaged = true;
            ++dropped;
            continue;
        }
        named.push_back(lower);
        if (PathExists(record.path))
            kept.push_back(std::move(record));
    }
    // Archives of the folder that no record names.
    std::vector<SessionRecord> adopted;
    WIN32_FIND_DATAA found;
    win::UniqueFind find(FindFirstFileA((store_.Folder() + "\\*.zip").c_str(), &found));
    if (find) {
        do {
            if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
                continue;
            const std::string archive = store_.Folder() + "\\" + found.cFileName;
            if (!store_.IsContainerPath(archive) || !mb_.Lower(archive).ends_with(".zip") ||
                std::find(named.begin(), named.end(), mb_.Lower(archive)) != named.end())
                continue;
            // Only what opens as an archive: anything else would end a listing.
            ZipReader reader;
            if (reader.OpenFile(archive, SessionBudget()) != ZipError::kNone)
                continue;
            const std::string name = SessionNameOf(archive);
            if (SessionArchivePath(store_.Folder(), name).size() > kMaxSessionPathLength)
                continue;
            adopted.push_back({SessionIdFromName(name), 0, 0, archive});
        } while (FindNextFileA(find.get(), &found));
    }
    if (!damaged && adopted.empty())
        return true;
    // Session names are the times of their runs: an archive found goes in
    // before the first listed session named later, so restoring and deleting
    // "every later" and "every earlier" session keep their meaning.
    const auto name_of = [&](const SessionRecord& record) {
        return mb_.Lower(SessionNameOf(record.path));
    };
    std::sort(adopted.begin(), adopted.end(), [&](const SessionRecord& a, const SessionRecord& b) {
        return name_of(a) < name_of(b);
    });
    const std::size_t readable = kept.size();
    for (auto& record : adopted) {
        const auto later = std::find_if(kept.begin(), kept.end(), [&](const SessionRecord& k) {
            return name_of(record) < name_of(k);
        });
        kept.insert(later, std::move(record));
    }
    listing_.Close();
    const bool written = RewriteSessionDb(path, kept) == QuarantineDbError::kNone;
    std::string entry = "Event \"Quarantine session database repaired\" Database \"" +
                        LogPairValue(path) + "\" Result \"" +
                        (written ? "Rewritten" : "Not written") + "\" Listed \"" +
                        std::to_string(readable) + "\" Added \"" + std::to_string(adopted.size()) +
                        "\" Dropped \"" + std::to_string(dropped) + "\"";
    if (damaged)
        entry += " Damage \"records could not be read\"";
    WriteEngineLogEntry(store_.BaseFolder(), entry);
    return written;
}

std::size_t QuarantineSessions::RemovePartialArchives() {
    if (!store_.IsInitialized())
        return 0;
    std::size_t removed = 0;
    WIN32_FIND_DATAA found;
    win::UniqueFind find(FindFirstFileA((store_.Folder() + "\\*.zip.tmp").c_str(), &found));
    if (!find)
        return 0;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        // The pattern also matches short names: take only what ends so.
        const std::string name = found.cFileName;
        if (!mb_.Lower(name).ends_with(".zip.tmp"))
            continue;
        const std::string path = store_.Folder() + "\\" + name;
        if (!DeleteFileA(path.c_str()))
            continue;
        ++removed;
        WriteEngineLogEntry(
            store_.BaseFolder(),
            "Event \"Partial session archive removed\" File \"" + LogPairValue(path) + "\"");
    } while (FindNextFileA(find.get(), &found));
    return removed;
}

StoreOutcome QuarantineSessions::Compact() {
    listing_.Close();
    if (CompactSessionDb(store_.SessionDbPath()) != QuarantineDbError::kNone)
        return Failure("Error writing quarantine session database.");
    return {};
}

namespace {

// One entry of a restore and what became of it.
struct RestoreEntry {
    enum class Fate {
        kPending,
        kRestored,    // written back or imported
        kSuperseded,  // an older copy of the same path came back instead; stays stored
        kKept,        // stays stored; reason says why
    };
    std::size_t archive = 0;
    SessionRestoreStep step;
    std::vector<std::uint8_t> registry_text;
    Fate fate = Fate::kPending;
    std::string reason;
};

struct RestoreArchive {
    std::string path;
    ZipReader reader;
    std::string unreadable;            // why the archive could not be read at all
    std::vector<std::size_t> entries;  // indexes into the restore's entries
};

// A file target as a key: case and separators as Windows compares them.
std::string TargetKey(const std::string& target, const MultiByteText& mb) {
    std::string key = mb.Lower(target);
    std::replace(key.begin(), key.end(), '/', '\\');
    return key;
}

std::string Describe(const RestoreEntry& entry, const RestoreArchive& archive) {
    std::string what;
    switch (entry.step.kind) {
        case SessionRestoreStep::Kind::kFile:
            what = entry.step.target;
            break;
        case SessionRestoreStep::Kind::kRegistry:
            what = entry.step.key;
            break;
        case SessionRestoreStep::Kind::kRefused:
            what = "entry " + std::to_string(entry.step.entry) + " of " + archive.path;
            break;
    }
    return what + " (" + entry.reason + ")";
}

}  // namespace

StoreOutcome QuarantineSessions::Restore(std::int32_t session_id, const std::string& path) {
    if (!store_.IsInitialized())
        return Failure("Not initialized.");
    RepairIfDamaged();
    const auto sessions = AllSessions();
    if (!sessions)
        return Failure("Error opening quarantine session database.");
    std::vector<RestoreArchive> archives;
    for (const auto& session : *sessions) {
        if (!archives.empty() || session.session_id == session_id || session.path == path) {
            archives.emplace_back();
            archives.back().path = session.path;
        }
    }

    // Every entry planned and every registry text checked before anything
    // is written. Archives are in database order, oldest first.
    std::vector<RestoreEntry> entries;
    for (std::size_t a = 0; a < archives.size(); ++a) {
        auto& archive = archives[a];
        if (const auto e = archive.reader.OpenFile(archive.path, SessionBudget());
            e != ZipError::kNone) {
            archive.unreadable = "Error reading the quarantine session file " + archive.path +
                                 ": " + std::string(ZipErrorText(e));
            continue;
        }
        archive.reader.SetPassword(kSessionPassword);
        for (std::size_t i = 0; i < archive.reader.EntryCount(); ++i) {
            RestoreEntry entry;
            entry.archive = a;
            const ZipEntryInfo* info = archive.reader.Entry(i);
            entry.step = info ? PlanSessionEntry(i, info->comment, mb_) : SessionRestoreStep{};
            if (!info) {
                entry.step.entry = i;
                entry.step.reason = "The entry cannot be read.";
            }
            if (entry.step.kind == SessionRestoreStep::Kind::kRegistry) {
                if (const auto e = archive.reader.ReadEntry(i, entry.registry_text);
                    e != ZipError::kNone) {
                    entry.step.kind = SessionRestoreStep::Kind::kRefused;
                    entry.step.reason = std::string(ZipErrorText(e));
                } else if (const auto refusal =
                               RegistryTextRefusal(entry.registry_text, entry.step.key, mb_)) {
                    entry.step.kind = SessionRestoreStep::Kind::kRefused;
                    entry.step.reason = *refusal;
                }
            }
            if (entry.step.kind == SessionRestoreStep::Kind::kRefused) {
                entry.fate = RestoreEntry::Fate::kKept;
                entry.reason = entry.step.reason;
            }
            archive.entries.push_back(entries.size());
            entries.push_back(std::move(entry));
        }
    }

    // Files: the oldest copy of each path comes back, unless the path was
    // taken before the restore began; then every copy of it stays stored.
    std::map<std::string, std::vector<std::size_t>> by_target;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].fate == RestoreEntry::Fate::kPending &&
            entries[i].step.kind == SessionRestoreStep::Kind::kFile)
            by_target[TargetKey(entries[i].step.target, mb_)].push_back(i);
    }
    for (auto& [key, copies] : by_target) {
        auto& oldest = entries[copies.front()];
        std::string reason;
        if (PathExists(oldest.step.target)) {
            reason = "a file is already there";
        } else {
            CreateParentFolders(oldest.step.target);
            const auto e =
                archives[oldest.archive].reader.ExtractEntry(oldest.step.entry, oldest.step.target);
            if (e != ZipError::kNone)
                reason = std::string(ZipErrorText(e));
        }
        for (const std::size_t i : copies) {
            auto& entry = entries[i];
            if (!reason.empty()) {
                entry.fate = RestoreEntry::Fate::kKept;
                entry.reason = reason;
            } else {
                entry.fate = i == copies.front() ? RestoreEntry::Fate::kRestored
                                                 : RestoreEntry::Fate::kSuperseded;
            }
        }
    }
    // Registry data newest first, so that the oldest is imported last and
    // stands.
    for (std::size_t i = entries.size(); i-- > 0;) {
        auto& entry = entries[i];
        if (entry.fate != RestoreEntry::Fate::kPending)
            continue;
        const MountedHives hives = MountHiveOf(entry.step.key);
        TemporaryRegistryFile container(store_.Folder());
        if (container.Path().empty() ||
            WriteWholeFile(container.Path(), entry.registry_text) != FileError::kNone) {
            entry.fate = RestoreEntry::Fate::kKept;
            entry.reason = "Error creating a container in " + store_.Folder();
            continue;
        }
        const auto imported = ImportRegistryContainer(container.Path(), WindowsFolder());
        entry.fate = imported.ok ? RestoreEntry::Fate::kRestored : RestoreEntry::Fate::kKept;
        entry.reason = imported.error;
    }

    // An archive goes when all of it came back; else it keeps just what
    // stayed, renumbered, with its comments. A newer copy of a restored path
    // is the user's data as much as the oldest: it stays, restorable once
    // the path is free again.
    std::vector<std::string> kept;
    std::vector<std::string> newer;
    std::vector<std::string> errors;
    for (auto& archive : archives) {
        if (!archive.unreadable.empty()) {
            kept.push_back(archive.path + " (" + archive.unreadable + ")");
            continue;
        }
        std::vector<std::size_t> staying;
        for (const std::size_t i : archive.entries) {
            if (entries[i].fate == RestoreEntry::Fate::kKept) {
                staying.push_back(i);
                kept.push_back(Describe(entries[i], archive));
            } else if (entries[i].fate == RestoreEntry::Fate::kSuperseded) {
                staying.push_back(i);
                newer.push_back(entries[i].step.target + " (session " +
                                SessionNameOf(archive.path) + ")");
            }
        }
        if (staying.size() == archive.entries.size() && !staying.empty()) {
            archive.reader.Close();
            continue;
        }
        if (staying.empty()) {
            archive.reader.Close();
            if (!DeleteFileA(archive.path.c_str()))
                errors.push_back("Error deleting session file " + archive.path);
            continue;
        }
        ZipBatch rewrite(archive.path, ZipBatch::Mode::kReplace);
        rewrite.SetPassword(kSessionPassword);
        ZipError e = ZipError::kNone;
        for (std::size_t n = 0; n < staying.size() && e == ZipError::kNone; ++n) {
            const auto& entry = entries[staying[n]];
            const ZipEntryInfo* info = archive.reader.Entry(entry.step.entry);
            std::vector<std::uint8_t> data;
            e = info ? archive.reader.ReadEntry(entry.step.entry, data) : ZipError::kBadIndex;
            if (e == ZipError::kNone)
                e = rewrite.AddBytes(data, {SessionEntryName(n), info->comment, info->modified});
        }
        archive.reader.Close();
        if (e == ZipError::kNone)
            e = rewrite.Commit();
        // The whole archive stays when it cannot be cut down.
        if (e != ZipError::kNone)
            errors.push_back("Error rewriting session file " + archive.path + ": " +
                             std::string(ZipErrorText(e)));
    }
    const auto compacted = Compact();
    const auto joined = [](const std::vector<std::string>& parts) {
        std::string text;
        for (std::size_t i = 0; i < parts.size(); ++i)
            text += (i ? "; " : "") + parts[i];
        return text;
    };
    std::string newer_text;
    if (!newer.empty())
        newer_text =
            "Newer copies of restored files stay in the quarantine: " + joined(newer) + ".";
    if (kept.empty() && errors.empty()) {
        if (newer.empty() || !compacted.ok)
            return compacted;
        return {true, "Success. " + newer_text};
    }
    std::string text;
    if (!kept.empty())
        text = "Not everything could be restored; kept in the quarantine: " + joined(kept) + ".";
    for (const auto& error : errors)
        text += (text.empty() ? "" : " ") + error;
    if (!newer_text.empty())
        text += " " + newer_text;
    return Failure(text);
}

StoreOutcome QuarantineSessions::Delete(std::int32_t session_id, const std::string& path) {
    if (!store_.IsInitialized())
        return Failure("Not initialized.");
    RepairIfDamaged();
    const auto sessions = AllSessions();
    if (!sessions)
        return Failure("Error opening quarantine session database.");
    for (std::size_t i = 0; i < sessions->size(); ++i) {
        const auto& session = (*sessions)[i];
        if (session.session_id != session_id && session.path != path)
            continue;
        // This one and every earlier one; one that cannot go stays listed.
        for (std::size_t j = 0; j <= i; ++j)
            DeleteFileA((*sessions)[j].path.c_str());
        break;
    }
    Compact();
    return {};
}

SessionComments ReadSessionComments(const std::string& archive) {
    SessionComments read;
    ZipReader reader;
    if (reader.OpenFile(archive, SessionBudget()) != ZipError::kNone)
        return read;
    for (std::size_t i = 0; i < reader.EntryCount(); ++i)
        read.comments.push_back(reader.Entry(i)->comment);
    read.ok = true;
    return read;
}

}  // namespace olvex
