#include "olvex/remedy/quarantine_store.h"

#include <windows.h>
#include <oleauto.h>

#include <array>

#include "olvex/com/module.h"
#include "olvex/core/location.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/core/os_utilities.h"
#include "olvex/remedy/folder_tree.h"
#include "olvex/remedy/quarantine_paths.h"
#include "olvex/remedy/registry_container.h"
#include "win/unique.h"

namespace olvex {
namespace {

std::string WindowsFolder() {
    std::array<char, MAX_PATH + 1> folder{};
    const UINT length = GetWindowsDirectoryA(folder.data(), MAX_PATH);
    return length > 0 && length <= MAX_PATH ? std::string(folder.data(), length) : std::string();
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Removes a container, file or folder, that a failed quarantine made.
void DiscardContainer(const std::string& container) {
    if (!DeleteFileA(container.c_str()))
        RemoveFolderTree(container);
}

std::optional<double> ContainerDate(const std::string& container) {
    win::UniqueHandle file(CreateFileA(container.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;  // a folder
    FILETIME created{};
    FILETIME local{};
    SYSTEMTIME system{};
    double date = 0;
    if (!GetFileTime(file.get(), &created, nullptr, nullptr) ||
        !FileTimeToLocalFileTime(&created, &local) || !FileTimeToSystemTime(&local, &system) ||
        !SystemTimeToVariantTime(&system, &date))
        return 0.0;
    return date;
}

struct LocationParts {
    std::optional<std::string> file;
    std::optional<std::string> folder;
    std::optional<std::string> key;
    std::optional<std::string> value;
};

LocationParts PartsOf(const std::string& location, const MultiByteText& mb) {
    Location parsed(mb);
    parsed.SetString(location);
    LocationParts parts;
    parts.file = parsed.GetAttributeValue(kAttrFile);
    if (parts.file)
        parts.file = FilePartOfFileValue(*parts.file, mb);
    parts.folder = parsed.GetAttributeValue(kAttrFolder);
    parts.key = parsed.GetAttributeValue(kAttrKey);
    parts.value = parsed.GetAttributeValue(kAttrValue);
    return parts;
}

StoreOutcome Failure(std::string error) {
    return {false, std::move(error)};
}

StoreOutcome QuarantineFile(const std::string& source, const std::string& container) {
    // A file that is already gone leaves the container empty; that is no error.
    if (!Exists(source))
        return {};
    if (!CopyFileA(source.c_str(), container.c_str(), FALSE))
        return Failure("Error quarantining file " + source + " to " + container +
                       ". Last Error: " + SystemErrorText(GetLastError()));
    // The copy is ours to list, restore and delete, whatever the pest's flags.
    SetFileAttributesA(container.c_str(), FILE_ATTRIBUTE_NORMAL);
    return {};
}

// Whether path is folder or lies below it, without regard to ASCII case.
bool IsAtOrBelow(const std::string& path, std::string folder, const MultiByteText& mb) {
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    if (folder.empty() || path.size() < folder.size() ||
        mb.Lower(path.substr(0, folder.size())) != mb.Lower(folder))
        return false;
    return path.size() == folder.size() || path[folder.size()] == '\\' ||
           path[folder.size()] == '/';
}

StoreOutcome QuarantineFolder(const std::string& source, const std::string& container,
                              const MultiByteText& mb) {
    // A copy into itself would never end.
    if (IsAtOrBelow(container, source, mb))
        return Failure("Error quarantining folder " + source + " to " + container +
                       ". The folder holds the quarantine folder.");
    DeleteFileA(container.c_str());
    if (!CreateDirectoryA(container.c_str(), nullptr))
        return Failure("Error creating quarantine target folder: " + container);
    if (!CopyFolderTree(source, container))
        return Failure("Error quarantining folder " + source + " to " + container +
                       ". Last Error: " + SystemErrorText(GetLastError()));
    return {};
}

StoreOutcome QuarantineKey(const LocationParts& parts, const std::string& container) {
    std::string error;
    const auto key = ParseRegistryKeyText(*parts.key, error);
    if (!key)
        return Failure(error);
    const auto written = parts.value ? WriteRegistryValueContainer(*key, *parts.value, container)
                                     : WriteRegistryKeyContainer(*key, container);
    if (!written.ok())
        return Failure(written.error);
    return {};
}

StoreOutcome RestoreFile(const std::string& container, const std::string& target) {
    CreateParentFolders(target);
    if (!CopyFileA(container.c_str(), target.c_str(), FALSE))
        return Failure("Error unquarantining file " + container + " to " + target +
                       ". Last Error: " + SystemErrorText(GetLastError()));
    if (!DeleteFileA(container.c_str()))
        return Failure("Error deleting container file " + container);
    return {};
}

StoreOutcome RestoreFolder(const std::string& container, const std::string& target) {
    CreateParentFolders(target);
    if (!CopyFolderTree(container, target))
        return Failure("Error unquarantining folder " + container + " to " + target +
                       ". Last Error: " + SystemErrorText(GetLastError()));
    if (!RemoveFolderTree(container))
        return Failure("Error deleting container folder " + container);
    return {};
}

}  // namespace

QuarantineStore::QuarantineStore() : mb_(AnsiCodePageText()) {}

std::string QuarantineStore::ItemDbPath() const {
    return folder_ + "\\" + kQuarantineItemDbName;
}

std::string QuarantineStore::SessionDbPath() const {
    return folder_ + "\\" + kQuarantineSessionDbName;
}

bool QuarantineStore::IsContainerPath(const std::string& path) const {
    return !folder_.empty() && IsQuarantineContainerPath(path, folder_, mb_);
}

StoreOutcome QuarantineStore::Initialize(const std::optional<std::string>& base_folder) {
    listing_.Close();
    initialized_ = true;
    std::string base =
        base_folder ? *base_folder : GetModuleFolder(com::ThisModule()).value_or(std::string());
    if (base.empty()) {
        initialized_ = false;
        folder_.clear();
        base_.clear();
        return Failure("Error creating the Quarantine directory.");
    }
    if (!base.empty() && base.back() == '\\' && mb_.EndsOnCharBoundary(base))
        base.pop_back();
    base_ = base;
    folder_ = base + "\\Quarantine";
    if (!CreateDirectoryA(folder_.c_str(), nullptr)) {
        const DWORD attributes = GetFileAttributesA(folder_.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return {};
        initialized_ = false;
        return Failure("Error creating the Quarantine directory.");
    }
    QuarantineItemDb items;
    if (items.Open(ItemDbPath(), QuarantineDbFile::Purpose::kUpdate) != QuarantineDbError::kNone) {
        initialized_ = false;
        return Failure("Error opening or creating the quarantine database.");
    }
    QuarantineSessionDb sessions;
    if (sessions.Open(SessionDbPath(), QuarantineDbFile::Purpose::kUpdate) !=
        QuarantineDbError::kNone) {
        initialized_ = false;
        return Failure("Error opening or creating the quarantine session database.");
    }
    return {};
}

bool QuarantineStore::IsDuplicate(std::int32_t pest_id, const std::string& location) {
    QuarantineItemDb db;
    if (db.Open(ItemDbPath(), QuarantineDbFile::Purpose::kList) != QuarantineDbError::kNone)
        return false;
    const auto wanted = mb_.Lower(location);
    bool duplicate = false;
    while (const auto item = NextFrom(db))
        duplicate = duplicate || (item->pest_id == pest_id && mb_.Lower(item->location) == wanted);
    return duplicate;
}

StoreOutcome QuarantineStore::Quarantine(std::int32_t pest_id, const std::string& location,
                                         bool allow_duplicates) {
    if (!initialized_)
        return Failure("Not initialized.");
    if (!allow_duplicates && IsDuplicate(pest_id, location)) {
        OutputDebugStringA("IQuarantine::Quarantine - Item already exists in quarantine.");
        return Failure("Pest already exists in database.");
    }
    QuarantineItemDb db;
    switch (db.Open(ItemDbPath(), QuarantineDbFile::Purpose::kUpdate)) {
        case QuarantineDbError::kNone:
            break;
        case QuarantineDbError::kReadFailed:
            return Failure("Error reading quarantine database.");
        default:
            return Failure("Error opening quarantine database.");
    }
    std::array<char, MAX_PATH + 1> name{};
    if (!GetTempFileNameA(folder_.c_str(), "qzq", 0, name.data()))
        return Failure("Error creating a container in " + folder_ +
                       ". Last Error: " + SystemErrorText(GetLastError()));
    const std::string container(name.data());

    const auto parts = PartsOf(location, mb_);
    StoreOutcome outcome;
    if (parts.file)
        outcome = QuarantineFile(*parts.file, container);
    if (outcome.ok && parts.folder)
        outcome = QuarantineFolder(*parts.folder, container, mb_);
    if (outcome.ok && parts.key)
        outcome = QuarantineKey(parts, container);
    if (outcome.ok) {
        std::int32_t record_id = 0;
        switch (db.Append(pest_id, location, container, record_id)) {
            case QuarantineDbError::kNone:
                break;
            case QuarantineDbError::kTooLong:
                outcome =
                    Failure("Location or container path too long for the quarantine database.");
                break;
            case QuarantineDbError::kDamaged:
                outcome = Failure("Error reading quarantine database.");
                break;
            default:
                outcome = Failure("Error writing quarantine database.");
                break;
        }
    }
    if (!outcome.ok)
        DiscardContainer(container);
    return outcome;
}

std::optional<QuarantinedItemInfo> QuarantineStore::NextFrom(QuarantineItemDb& db) const {
    while (auto record = db.NextListed()) {
        // A record that names anything outside the quarantine folder is not ours.
        if (!IsContainerPath(record->container))
            continue;
        QuarantinedItemInfo item;
        item.record_id = record->record_id;
        item.pest_id = record->pest_id;
        item.location = std::move(record->location);
        item.container = std::move(record->container);
        return item;
    }
    return std::nullopt;
}

StoreOutcome QuarantineStore::FirstItem(std::optional<QuarantinedItemInfo>& item) {
    item.reset();
    if (!initialized_)
        return Failure("Not initialized.");
    listing_.Close();
    if (listing_.Open(ItemDbPath(), QuarantineDbFile::Purpose::kList) != QuarantineDbError::kNone) {
        listing_.Close();
        return Failure("Error opening quarantine database.");
    }
    item = NextItem();
    return {};
}

std::optional<QuarantinedItemInfo> QuarantineStore::NextItem() {
    if (!listing_.IsOpen())
        return std::nullopt;
    auto item = NextFrom(listing_);
    if (!item) {
        listing_.Close();
        return std::nullopt;
    }
    item->quarantine_date = ContainerDate(item->container);
    return item;
}

StoreOutcome QuarantineStore::Restore(const std::string& location, const std::string& container) {
    if (!IsContainerPath(container))
        return Failure("The container is not in the quarantine folder: " + container);
    const auto parts = PartsOf(location, mb_);
    // Every target is checked before anything is written.
    for (const auto* target : {&parts.file, &parts.folder}) {
        if (*target && !IsAbsoluteLocalPath(**target, mb_))
            return Failure("The restore target is not an absolute local path: " + **target);
    }
    StoreOutcome outcome;
    if (parts.file)
        outcome = RestoreFile(container, *parts.file);
    if (outcome.ok && parts.folder)
        outcome = RestoreFolder(container, *parts.folder);
    if (outcome.ok && parts.key) {
        const auto imported = ImportRegistryContainer(container, WindowsFolder());
        if (!imported.ok)
            outcome = Failure(imported.error);
    }
    return outcome;
}

StoreOutcome QuarantineStore::DeleteItem(const std::string& container) {
    if (container.empty())
        return Failure({});
    if (!IsContainerPath(container))
        return Failure("The container is not in the quarantine folder: " + container);
    if (DeleteFileA(container.c_str()) || RemoveFolderTree(container))
        return {};
    return Failure({});
}

int QuarantineStore::DeleteAllItems() {
    int deleted = 0;
    std::optional<QuarantinedItemInfo> item;
    if (!FirstItem(item).ok)
        return 0;
    for (; item; item = NextItem())
        deleted += DeleteItem(item->container).ok ? 1 : 0;
    return deleted;
}

}  // namespace olvex
