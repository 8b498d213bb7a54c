#include "olvex/remedy/quarantine_sessions.h"

#include <windows.h>

#include <array>
#include <limits>

#include "olvex/core/ansi_code_page.h"
#include "olvex/core/file_io.h"
#include "olvex/core/location.h"
#include "olvex/remedy/folder_tree.h"
#include "olvex/remedy/quarantine_paths.h"
#include "olvex/remedy/registry_container.h"
#include "olvex/remedy/session_archive.h"
#include "olvex/remedy/win_scoped.h"
#include "olvex/scan/user_hives.h"
#include "olvex/zip/zip_writer.h"

namespace olvex {
namespace {

constexpr char kRegistryItemError[] = "Error adding an item to the quarantine session.";

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

enum class AddStatus { kAdded, kMissing, kInUse, kFailed };

// One file as the archive's next entry.
class ArchiveAdder {
  public:
    ArchiveAdder(std::string archive, std::int32_t pest_id, const std::string& location,
                 const MultiByteText& mb)
        : archive_(std::move(archive)), pest_id_(pest_id), location_(location), mb_(mb) {}

    AddStatus AddFile(const std::string& source, std::string& error) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExA(source.c_str(), GetFileExInfoStandard, &data))
            return AddStatus::kMissing;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            error = "Error adding " + source + " to the quarantine session: it is a folder.";
            return AddStatus::kFailed;
        }
        {
            // The same sharing the archive writer reads with.
            ScopedFileHandle probe(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                               nullptr));
            if (!probe) {
                const DWORD failure = GetLastError();
                if (IsInUseError(failure))
                    return AddStatus::kInUse;
                error = "Error adding " + source +
                        " to the quarantine session. Last Error: " + SystemErrorText(failure);
                return AddStatus::kFailed;
            }
        }
        std::size_t entries = 0;
        if (PathExists(archive_)) {
            ZipReader reader;
            if (const auto e = reader.OpenFile(archive_, SessionBudget()); e != ZipError::kNone) {
                error = "Error reading the quarantine session file " + archive_ + ": " +
                        std::string(ZipErrorText(e));
                return AddStatus::kFailed;
            }
            entries = reader.EntryCount();
        }
        ZipWriter writer(archive_);
        writer.SetPassword(kSessionPassword);
        const ZipNewEntry entry{SessionEntryName(entries),
                                SessionEntryComment(pest_id_, location_, source, mb_),
                                LastWriteTime(data)};
        if (const auto e = writer.AddFile(source, entry); e != ZipError::kNone) {
            error = "Error adding " + source + " to the quarantine session file " + archive_ +
                    ": " + std::string(ZipErrorText(e));
            return AddStatus::kFailed;
        }
        return AddStatus::kAdded;
    }

    // Every file below folder, subfolders first as they come; links to
    // elsewhere are no part of the tree.
    bool AddFolder(const std::string& folder, std::string& error) {
        WIN32_FIND_DATAA found;
        ScopedFind find(FindFirstFileA((folder + "\\*.*").c_str(), &found));
        if (!find)
            return true;
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == ".." ||
                (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                continue;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!AddFolder(path, error))
                    return false;
            } else if (AddFile(path, error) == AddStatus::kFailed) {
                return false;
            }
        } while (FindNextFileA(find.Get(), &found));
        return true;
    }

  private:
    std::string archive_;
    std::int32_t pest_id_;
    const std::string& location_;
    const MultiByteText& mb_;
};

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

}  // namespace

QuarantineSessions::QuarantineSessions(const QuarantineStore& store)
    : store_(store), mb_(AnsiCodePageText()) {}

StoreOutcome QuarantineSessions::AddItem(std::int32_t pest_id, const std::string& location,
                                         const std::string& session_name) {
    if (!store_.IsInitialized())
        return Failure("Not initialized.");
    const std::string archive = SessionArchivePath(store_.Folder(), session_name);
    if (session_name.empty() || !store_.IsContainerPath(archive))
        return Failure("Error.  Invalid quarantine session name: " + session_name);
    QuarantineSessionDb db;
    switch (db.Open(store_.SessionDbPath(), QuarantineDbFile::Purpose::kUpdate)) {
        case QuarantineDbError::kNone:
            break;
        case QuarantineDbError::kShortHeader:
        case QuarantineDbError::kReadFailed:
            return Failure("Error reading quarantine session database.");
        default:
            return Failure("Error opening quarantine session database.");
    }
    Location parsed(mb_);
    parsed.SetString(location);
    ArchiveAdder adder(archive, pest_id, location, mb_);
    std::string error;
    bool listed = false;

    if (const auto file = parsed.GetAttributeValue(kAttrFile)) {
        if (adder.AddFile(FilePartOfFileValue(*file, mb_), error) == AddStatus::kFailed)
            return Failure(error);
        listed = true;
    }
    if (const auto folder = parsed.GetAttributeValue(kAttrFolder)) {
        if (!adder.AddFolder(*folder, error))
            return Failure(error);
        listed = true;
    }
    if (const auto key_text = parsed.GetAttributeValue(kAttrKey)) {
        const auto key = ParseRegistryKeyText(*key_text, error);
        if (!key)
            return Failure(kRegistryItemError);
        const MountedHives hives = MountHiveOf(*key_text);
        TemporaryRegistryFile container(store_.Folder());
        if (container.Path().empty())
            return Failure(kRegistryItemError);
        const auto value = parsed.GetAttributeValue(kAttrValue);
        const auto written = value ? WriteRegistryValueContainer(*key, *value, container.Path())
                                   : WriteRegistryKeyContainer(*key, container.Path());
        if (written.status == ContainerOutcome::Status::kFailed)
            return Failure(kRegistryItemError);
        if (written.status == ContainerOutcome::Status::kWritten) {
            if (adder.AddFile(container.Path(), error) != AddStatus::kAdded)
                return Failure(error.empty() ? kRegistryItemError : error);
            listed = true;
        }
    }
    if (listed) {
        bool appended = false;
        if (db.Append(session_name, archive, appended) != QuarantineDbError::kNone)
            return Failure("Error writing quarantine session database.");
    }
    return {};
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

StoreOutcome QuarantineSessions::Compact() {
    listing_.Close();
    if (CompactSessionDb(store_.SessionDbPath()) != QuarantineDbError::kNone)
        return Failure("Error writing quarantine session database.");
    return {};
}

StoreOutcome QuarantineSessions::Restore(std::int32_t session_id, const std::string& path) {
    if (!store_.IsInitialized())
        return Failure("Not initialized.");
    const auto sessions = AllSessions();
    if (!sessions)
        return Failure("Error opening quarantine session database.");
    std::vector<const SessionRecord*> chosen;
    for (const auto& session : *sessions) {
        if (!chosen.empty() || session.session_id == session_id || session.path == path)
            chosen.push_back(&session);
    }
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
        if (const auto restored = RestoreArchive((*it)->path); !restored.ok)
            return restored;
        if (!DeleteFileA((*it)->path.c_str()))
            return Failure("Error deleting session file " + (*it)->path);
    }
    return Compact();
}

StoreOutcome QuarantineSessions::Delete(std::int32_t session_id, const std::string& path) {
    if (!store_.IsInitialized())
        return Failure("Not initialized.");
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

StoreOutcome QuarantineSessions::RestoreArchive(const std::string& archive) {
    if (!PathExists(archive))
        return Failure("Failure opening session file.  File not found.");
    ZipReader reader;
    if (const auto e = reader.OpenFile(archive, SessionBudget()); e != ZipError::kNone)
        return Failure("Error reading the quarantine session file " + archive + ": " +
                       std::string(ZipErrorText(e)));
    reader.SetPassword(kSessionPassword);
    const auto steps = PlanSessionRestore(reader, mb_);
    const auto refuse = [&](std::size_t entry, const std::string& reason) {
        return Failure("Error restoring entry " + std::to_string(entry) + " of " + archive + ": " +
                       reason);
    };
    // Nothing is written from an archive with an entry that cannot go back:
    // every target is checked, and every registry text read and checked,
    // first.
    std::vector<std::vector<std::uint8_t>> registry_texts(steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto& step = steps[i];
        if (step.kind == SessionRestoreStep::Kind::kRefused)
            return refuse(step.entry, step.reason);
        if (step.kind != SessionRestoreStep::Kind::kRegistry)
            continue;
        if (const auto e = reader.ReadEntry(step.entry, registry_texts[i]); e != ZipError::kNone)
            return refuse(step.entry, std::string(ZipErrorText(e)));
        const auto parsed =
            ParseRegedit4(std::string(registry_texts[i].begin(), registry_texts[i].end()));
        if (!parsed.ok || !RegistryContainerStaysUnder(parsed, step.key, mb_))
            return refuse(step.entry, "its registry data do not belong to " + step.key);
    }
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto& step = steps[i];
        if (step.kind == SessionRestoreStep::Kind::kFile) {
            // The newest copy of a path wins; nothing is ever overwritten.
            if (PathExists(step.target))
                continue;
            CreateParentFolders(step.target);
            if (const auto e = reader.ExtractEntry(step.entry, step.target); e != ZipError::kNone)
                return refuse(step.entry, std::string(ZipErrorText(e)));
            continue;
        }
        const MountedHives hives = MountHiveOf(step.key);
        TemporaryRegistryFile container(store_.Folder());
        if (container.Path().empty() ||
            WriteWholeFile(container.Path(), registry_texts[i]) != FileError::kNone)
            return Failure("Error creating a container in " + store_.Folder());
        const auto imported = ImportRegistryContainer(container.Path(), WindowsFolder());
        if (!imported.ok)
            return Failure(imported.error);
    }
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
