#include "olvex/remedy/pest_removal.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <userenv.h>

#include <array>
#include <atomic>
#include <limits>

#include "olvex/core/ansi_code_page.h"
#include "olvex/core/leading_decimal.h"
#include "olvex/core/special_folders.h"
#include "olvex/remedy/protected_places.h"
#include "olvex/remedy/quarantine_paths.h"
#include "olvex/remedy/registry_container.h"
#include "win/unique.h"
#include "olvex/scan/user_hives.h"

namespace olvex {
namespace {

constexpr DWORD kExitWaitMs = 10000;
constexpr std::size_t kLongPath = 32768;

std::atomic<WinsockCatalogue*> g_catalogue_override{nullptr};

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// A path on a drive ("C:\...") or a share ("\\server\share\...").
bool IsAbsolutePath(std::string_view path) {
    const bool drive = path.size() >= 3 &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && IsSeparator(path[2]);
    return drive || (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
                     path[2] != '?' && path[2] != '.');
}

DWORD Attributes(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}

bool IsGoneError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool PathIsThere(const std::string& path) {
    if (Attributes(path) != INVALID_FILE_ATTRIBUTES)
        return true;
    return !IsGoneError(GetLastError());
}

void AddFolder(std::vector<std::string>& folders, const std::optional<std::string>& folder) {
    if (folder && !folder->empty())
        folders.push_back(FullLongPath(*folder));
}

std::optional<std::string> ProfilesDirectory() {
    std::array<char, MAX_PATH + 1> buffer{};
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!GetProfilesDirectoryA(buffer.data(), &size))
        return std::nullopt;
    return std::string(buffer.data());
}

std::optional<std::string> AllUsersProfile() {
    std::array<char, MAX_PATH + 1> buffer{};
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!GetAllUsersProfileDirectoryA(buffer.data(), &size))
        return std::nullopt;
    return std::string(buffer.data());
}

using GetModuleFileNameExFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);

// PSAPI is bound at run time: Windows 9x has none.
GetModuleFileNameExFn ModuleFileNameEx() {
    static const GetModuleFileNameExFn function = []() -> GetModuleFileNameExFn {
        const HMODULE library = LoadLibraryA("PSAPI.DLL");
        return library ? reinterpret_cast<GetModuleFileNameExFn>(reinterpret_cast<void*>(
                             GetProcAddress(library, "GetModuleFileNameExA")))
                       : nullptr;
    }();
    return function;
}

std::optional<std::string> ProcessImage(HANDLE process) {
    const auto function = ModuleFileNameEx();
    if (!function)
        return std::nullopt;
    std::vector<char> buffer(kLongPath);
    const DWORD length =
        function(process, nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size())
        return std::nullopt;
    return std::string(buffer.data(), length);
}

HANDLE OpenForEnding(DWORD id, bool& can_query) {
    can_query = true;
    HANDLE process = OpenProcess(
        PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (process || GetLastError() != ERROR_ACCESS_DENIED)
        return process;
    can_query = false;
    process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (process || GetLastError() != ERROR_ACCESS_DENIED)
        return process;
    return OpenProcess(PROCESS_TERMINATE, FALSE, id);
}

bool SamePath(const std::string& a, const std::string& b, const MultiByteText& mb) {
    return mb.Lower(FullLongPath(a)) == mb.Lower(FullLongPath(b));
}

struct RootWord {
    const char* word;
    HKEY root;
};
const std::array<RootWord, 4> kRootWords = {{
    {"hkey_local_machine", HKEY_LOCAL_MACHINE},
    {"hkey_current_user", HKEY_CURRENT_USER},
    {"hkey_classes_root", HKEY_CLASSES_ROOT},
    {"hkey_users", HKEY_USERS},
}};

std::optional<HKEY> RootOf(std::string_view word) {
    for (const auto& root : kRootWords) {
        if (word == root.word)
            return root.root;
    }
    return std::nullopt;
}

// Root word and path of a Key text; the path loses one leading backslash.
struct KeyParts {
    std::string word;
    HKEY root = nullptr;
    std::string path;
};

std::optional<KeyParts> SplitKey(const std::string& key_text, const MultiByteText& mb) {
    const auto blank = mb.Find(key_text, ' ');
    if (blank == std::string::npos)
        return std::nullopt;
    KeyParts parts;
    parts.word = key_text.substr(0, blank);
    const auto root = RootOf(parts.word);
    if (!root)
        return std::nullopt;
    parts.root = *root;
    parts.path = key_text.substr(blank + 1);
    if (!parts.path.empty() && parts.path.front() == '\\')
        parts.path.erase(0, 1);
    return parts;
}

bool IsKeyPresent(const std::string& key_text, const std::optional<std::string>& value,
                  const MultiByteText& mb) {
    const auto key = SplitKey(key_text, mb);
    if (!key || key->path.empty())
        return true;
    win::UniqueKey opened;
    const LONG status =
        RegOpenKeyExA(key->root, key->path.c_str(), 0, KEY_QUERY_VALUE, opened.put());
    if (status != ERROR_SUCCESS)
        return status != ERROR_FILE_NOT_FOUND;
    if (!value)
        return true;
    std::array<BYTE, 4096> data{};
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG read =
        RegQueryValueExA(opened.get(), value->c_str(), nullptr, &type, data.data(), &size);
    return read != ERROR_FILE_NOT_FOUND;
}

// The file types that the extension keys of the classes name (".txt" gives
// "txtfile"), lowered: class keys that Windows and every program rely on.
std::unordered_set<std::string> FileTypesOfExtensions(const MultiByteText& mb) {
    std::unordered_set<std::string> types;
    std::array<char, 1024> name{};
    for (DWORD i = 0; RegEnumKeyA(HKEY_CLASSES_ROOT, i, name.data(),
                                  static_cast<DWORD>(name.size())) == ERROR_SUCCESS;
         ++i) {
        if (name[0] != '.')
            continue;
        std::array<char, 1024> type{};
        LONG size = static_cast<LONG>(type.size());
        if (RegQueryValueA(HKEY_CLASSES_ROOT, name.data(), type.data(), &size) == ERROR_SUCCESS &&
            type[0] != '\0')
            types.insert(mb.Lower(std::string(type.data())));
    }
    return types;
}

}  // namespace

ScopedWinsockCatalogue::ScopedWinsockCatalogue(WinsockCatalogue& catalogue)
    : previous_(g_catalogue_override.exchange(&catalogue)) {}

ScopedWinsockCatalogue::~ScopedWinsockCatalogue() {
    g_catalogue_override.store(previous_);
}

std::string FullLongPath(const std::string& path) {
    std::vector<char> full(kLongPath);
    const DWORD length =
        GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return path;
    std::vector<char> longer(kLongPath);
    const DWORD long_length =
        GetLongPathNameA(full.data(), longer.data(), static_cast<DWORD>(longer.size()));
    if (long_length == 0 || long_length >= longer.size())
        return std::string(full.data(), length);
    return std::string(longer.data(), long_length);
}

std::vector<std::string> ProtectedFolders() {
    const auto& folders = TheSpecialFolders();
    std::vector<std::string> kept;
    AddFolder(kept, folders.WindowsFolder());
    AddFolder(kept, folders.SystemFolder());
    AddFolder(kept, folders.ShellFolder(CSIDL_PROGRAM_FILES));
    AddFolder(kept, folders.ShellFolder(CSIDL_PROGRAM_FILES_COMMON));
    AddFolder(kept, folders.ShellFolder(CSIDL_PROFILE));
    AddFolder(kept, ProfilesDirectory());
    AddFolder(kept, AllUsersProfile());
    for (const auto& [sid, folder] : GetUserProfileFolders())
        AddFolder(kept, folder);
    return kept;
}

bool IsLocationPresent(const Location& location, const MultiByteText& mb) {
    if (const auto folder = location.GetAttributeValue(kAttrFolder))
        return PathIsThere(*folder);
    if (const auto file = location.GetAttributeValue(kAttrFile))
        return PathIsThere(FilePartOfFileValue(*file, mb));
    if (const auto key = location.GetAttributeValue(kAttrKey))
        return IsKeyPresent(*key, location.GetAttributeValue(kAttrValue), mb);
    return true;
}

PestRemoval::PestRemoval(CRebootFileMover& mover, bool special)
    : mover_(mover), special_(special), mb_(AnsiCodePageText()) {}

PestRemoval::~PestRemoval() = default;

const std::vector<std::string>& PestRemoval::Protected() {
    if (!protected_)
        protected_ = ProtectedFolders();
    return *protected_;
}

ProcessEnd EndPestProcess(DWORD process_id, const std::optional<std::string>& image) {
    // Ending the caller would end the client that asked.
    if (process_id == GetCurrentProcessId())
        return ProcessEnd::kRefused;
    bool can_query = false;
    win::UniqueHandle process(OpenForEnding(process_id, can_query));
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER ? ProcessEnd::kNoSuchProcess
                                                         : ProcessEnd::kNotOpened;
    // A process that has ended but is still held open by someone is no pest
    // any more.
    if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0)
        return ProcessEnd::kNoSuchProcess;
    const auto running = can_query ? ProcessImage(process.get()) : std::nullopt;
    if (running) {
        const auto mb = AnsiCodePageText();
        // The pest has ended and its id went to another program.
        if (image && !image->empty() && !SamePath(*running, *image, mb))
            return ProcessEnd::kOtherImage;
        if (const auto system = TheSpecialFolders().SystemFolder();
            system && IsCriticalSystemImage(*running, *system))
            return ProcessEnd::kRefused;
    }
    if (!TerminateProcess(process.get(), 0))
        return ProcessEnd::kNotEnded;
    WaitForSingleObject(process.get(), kExitWaitMs);
    return ProcessEnd::kEnded;
}

bool PestRemoval::TerminateProcessId(const std::string& id_text,
                                     const std::optional<std::string>& image) {
    const auto id = static_cast<DWORD>(
        ParseLeadingDecimal(id_text, 0, std::numeric_limits<std::uint32_t>::max()));
    switch (EndPestProcess(id, image)) {
        case ProcessEnd::kEnded:
        case ProcessEnd::kNoSuchProcess:
        case ProcessEnd::kOtherImage:
            return true;
        default:
            return false;
    }
}

void PestRemoval::RemoveProvidersOf(const std::string& file,
                                    const std::optional<std::string>& short_name) {
    if (!catalog_) {
        WinsockCatalogue* catalogue = g_catalogue_override.load();
        if (!catalogue) {
            system_catalogue_ = MakeSystemWinsockCatalogue();
            catalogue = system_catalogue_.get();
        }
        catalog_ = std::make_unique<CWinsockCatalog>(*catalogue);
        catalog_->EnumerateProtocols();
        catalog_->EnumerateNameSpaceProviders();
    }
    catalog_->RemoveProvidersOfFile(file, short_name);
}

void PestRemoval::EndProcessesRunning(const std::string& file) {
    // A library is never a process's image.
    if (file.find(".dll") != std::string::npos)
        return;
    if (!terminator_)
        terminator_ = std::make_unique<CProcessTerminator>();
    terminator_->TerminateProcessesFromSnapshot(file);
}

PestRemoval::ItemEnd PestRemoval::DeleteTreeFile(const std::string& file,
                                                 const std::string& short_name) {
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EndProcessesRunning(file);
    RemoveProvidersOf(file, short_name);
    if (::DeleteFileA(file.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
        return ItemEnd::kRemoved;
    return mover_.DeleteFileAtReboot(file) ? ItemEnd::kScheduled : ItemEnd::kStayed;
}

bool PestRemoval::DeleteFolderTree(const std::string& folder,
                                   const std::unordered_set<std::string>* kept,
                                   std::size_t& stayed) {
    if (folder.size() < 4)
        return false;
    const DWORD attributes = Attributes(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    // A junction or link: the link goes, what it points at stays.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return RemoveDirectoryA(folder.c_str()) || ::DeleteFileA(folder.c_str());
    WIN32_FIND_DATAA found;
    win::UniqueFind find(FindFirstFileA((folder + "\\*.*").c_str(), &found));
    if (find) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + "\\" + name;
            const bool link = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
            if (link) {
                // Only the link goes; what it points at is no part of the tree.
                const bool gone =
                    (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                        ? RemoveDirectoryA(path.c_str()) || ::DeleteFileA(path.c_str())
                        : ::DeleteFileA(path.c_str()) != 0;
                if (!gone && !mover_.DeleteFileAtReboot(path))
                    ++stayed;
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                std::size_t below = 0;
                if (!DeleteFolderTree(path, kept, below) && below == 0 &&
                    !mover_.DeleteFileAtReboot(path))
                    ++below;  // an empty folder that would not go
                stayed += below;
            } else if (kept && !kept->contains(path)) {
                // Not in the session: it must not go without its copy.
                ++stayed;
            } else if (DeleteTreeFile(path, found.cAlternateFileName) == ItemEnd::kStayed) {
                ++stayed;
            }
        } while (FindNextFileA(find.get(), &found));
    }
    return RemoveDirectoryA(folder.c_str()) != 0;
}

bool PestRemoval::RefusesFolder(const std::string& folder) {
    return CheckFolderRemoval(FullLongPath(folder), Protected(), mb_) != FolderVerdict::kAllowed;
}

bool PestRemoval::RefusesFile(const std::string& file) const {
    const DWORD attributes = Attributes(file);
    return !IsAbsolutePath(file) ||
           (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

bool PestRemoval::RefusesKey(const std::string& key_text) {
    const auto key = SplitKey(key_text, mb_);
    if (!key)
        return true;
    if (key->path.empty())
        return false;
    return IsProtectedRegistryKey(key->word, key->path, mb_, [&](std::string_view name) {
        if (!file_types_)
            file_types_ = FileTypesOfExtensions(mb_);
        return file_types_->contains(std::string(name));
    });
}

std::optional<std::string> PestRemoval::Refusal(const Location& location) {
    if (const auto folder = location.GetAttributeValue(kAttrFolder);
        folder && RefusesFolder(*folder))
        return "Error deleting folder " + *folder;
    if (const auto file = location.GetAttributeValue(kAttrFile);
        file && RefusesFile(FilePartOfFileValue(*file, mb_)))
        return "Error deleting file " + *file;
    if (const auto key = location.GetAttributeValue(kAttrKey); key) {
        const auto value = location.GetAttributeValue(kAttrValue);
        // A value is only ever reset or deleted; a whole key must not be a shared one.
        if (!SplitKey(*key, mb_) || ((!value || value->empty()) && RefusesKey(*key)))
            return "Error deleting registry key " + *key;
    }
    return std::nullopt;
}

PestRemoval::FolderOutcome PestRemoval::DeleteFolder(const std::string& folder,
                                                     const std::unordered_set<std::string>* kept) {
    FolderOutcome outcome;
    if (RefusesFolder(folder))
        return outcome;
    const DWORD attributes = Attributes(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFolderTree(folder, kept, outcome.stayed)) {
        outcome.removed = true;
        return outcome;
    }
    // All that is left goes at the next restart, the folder after its
    // content; anything else left means the folder stays.
    if (outcome.stayed > 0 || !mover_.DeleteFileAtReboot(folder))
        return outcome;
    reboot_required_ = true;
    outcome.removed = true;
    return outcome;
}

bool PestRemoval::RemoveFile(const std::string& file) {
    if (RefusesFile(file))
        return false;
    const DWORD attributes = Attributes(file);
    const bool link =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!link) {
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        EndProcessesRunning(file);
        if (!special_)
            RemoveProvidersOf(file);
    }
    if (::DeleteFileA(file.c_str()) || !PathIsThere(file))
        return true;
    std::vector<char> short_path(4096);
    const DWORD length =
        GetShortPathNameA(file.c_str(), short_path.data(), static_cast<DWORD>(short_path.size()));
    if (length == 0 || length >= short_path.size())
        return false;
    if (::DeleteFileA(short_path.data()) || !PathIsThere(file))
        return true;
    if (!mover_.DeleteFileAtReboot(file))
        return false;
    reboot_required_ = true;
    return true;
}

bool PestRemoval::DeleteRegistry(const std::string& key_text,
                                 const std::optional<std::string>& value,
                                 const std::optional<std::string>& data,
                                 const std::optional<std::string>& default_value) {
    const auto key = SplitKey(key_text, mb_);
    if (!key)
        return false;
    if (key->path.empty())
        return true;
    if (value && !value->empty()) {
        win::UniqueKey opened;
        const LONG status =
            RegOpenKeyExA(key->root, key->path.c_str(), 0, KEY_SET_VALUE, opened.put());
        if (status == ERROR_FILE_NOT_FOUND)
            return true;
        if (status != ERROR_SUCCESS)
            return false;
        if (data && !data->empty()) {
            // A hijacked setting goes back to a harmless text instead of vanishing.
            const std::string text =
                default_value && !default_value->empty() ? *default_value : std::string(" ");
            return RegSetValueExA(opened.get(), value->c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(text.data()),
                                  static_cast<DWORD>(text.size())) == ERROR_SUCCESS;
        }
        RegDeleteValueA(opened.get(), value->c_str());
        return true;
    }
    if (RefusesKey(key_text))
        return false;
    const DWORD status = SHDeleteKeyA(key->root, key->path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

void RemoveOrphanedWinsockProviders() {
    std::unique_ptr<WinsockCatalogue> system;
    WinsockCatalogue* catalogue = g_catalogue_override.load();
    if (!catalogue) {
        system = MakeSystemWinsockCatalogue();
        catalogue = system.get();
    }
    CWinsockCatalog catalog(*catalogue);
    catalog.EnumerateProtocols();
    catalog.EnumerateNameSpaceProviders();
    catalog.RemoveOrphanedProviders();
}

}  // namespace olvex
