// ApplyUpdates: installing what DownloadUpdates left in the temporary folder.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <memory>
#include <type_traits>

#include "olvex/com/module.h"
#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "olvex/core/file_set_replace.h"
#include "win/unique.h"
#include "olvex/update/definition_delta_apply.h"
#include "olvex/update/swap_stub_names.h"
#include "olvex/update/update_download_name.h"
#include "olvex/update/update_plan.h"
#include "olvex/update/updater_object.h"

namespace olvex {
namespace {

constexpr char kTypeNotRecognized[] = "Error applying update, type not recognized!";
constexpr char kStubResourceType[] = "UPDATE_STUB";
constexpr WORD kStubResourceId = 211;
constexpr char kRunOnceValue[] = "qzupdate";
// RunOnce values "qzupdate", "qzupdate2", ... : one per program waiting for
// the next start.
constexpr int kMaxRunOnceValues = 100;

bool EndsWithIgnoringCase(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE,
                          text.c_str() + text.size() - suffix.size(),
                          static_cast<int>(suffix.size()), suffix.data(),
                          static_cast<int>(suffix.size())) == CSTR_EQUAL;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string StubStartError(INT_PTR code) {
    switch (code) {
        case 0:
            return "The system is out of resources.";
        case ERROR_FILE_NOT_FOUND:
            return "The olvex update stub could not be found.";
        case ERROR_PATH_NOT_FOUND:
            return "The olvex update stub path is invalid.";
        case ERROR_NOT_ENOUGH_MEMORY:
            return "The system is out of memory.";
        case ERROR_BAD_FORMAT:
            return "The olvex update stub is corrupt.";
        default:
            return "The olvex update stub failed to execute.";
    }
}

std::optional<std::string> ThisModuleFileName() {
    std::array<char, MAX_PATH + 1> path{};
    const DWORD length =
        GetModuleFileNameA(com::ThisModule(), path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return std::nullopt;
    return std::string(path.data(), length);
}

// The swap stub the engine carries in its resources, written to path.
bool WriteStub(const std::string& path) {
    const HMODULE module = com::ThisModule();
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(kStubResourceId), kStubResourceType);
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = found ? SizeofResource(module, found) : 0;
    if (!bytes || size == 0)
        return false;
    win::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file.get(), bytes, size, &written, nullptr) && written == size &&
                    FlushFileBuffers(file.get());
    file.reset();
    if (!ok)
        DeleteFileA(path.c_str());
    return ok;
}

// Whether the downloaded engine is a DLL this system can load that can
// register itself: looked at without running any of its code. The swap stub
// refuses anything else, so it must not be recorded as installed.
bool IsLoadableEngine(const std::string& path) {
    const HMODULE library = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!library)
        return false;
    const bool registers = GetProcAddress(library, "DllRegisterServer") != nullptr;
    FreeLibrary(library);
    return registers;
}

// Started hidden and not waited for: it waits for this DLL to be let go.
INT_PTR ShellExecuteStub(const std::string& stub, const std::string& parameters) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpFile = stub.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    const bool started = ShellExecuteExA(&info) != FALSE;
    const INT_PTR code = reinterpret_cast<INT_PTR>(info.hInstApp);
    // A failure leaves its reason in hInstApp, a value up to 32.
    return started || code <= 32 ? code : 32;
}

}  // namespace

long CUpdater::Apply(const std::string& temp_folder) {
    if (!initialized_) {
        last_error_.SetText(com::kNotInitializedText);
        return 0;
    }
    last_error_.SetSuccess();
    // An earlier apply that was killed while it replaced files is finished
    // (or undone) before anything else is replaced.
    FinishInterruptedReplace(ReplaceJournalPath());
    RemoveCutOffWrites();
    std::vector<UpdateControlRecord> entries =
        pending_.empty() ? PendingFromFolder(temp_folder) : std::move(pending_);
    pending_.clear();

    long applied = 0;
    const auto record = [&](const UpdateControlRecord& entry) {
        local_database_.SetVersion(entry.file_name, entry.version);
        ++applied;
    };
    std::vector<DeltaFileRef> deltas;
    std::int32_t delta_version = 0;
    std::vector<const UpdateControlRecord*> copies;
    const UpdateControlRecord* engine = nullptr;
    for (const auto& entry : entries) {
        if (entry.type < kUpdateRecordOnly1 || entry.type > kUpdateEngineDll) {
            last_error_.SetText(kTypeNotRecognized);
            // Never applied by any run: it would only stay behind.
            if (!entry.download_path.empty())
                RemoveFile(entry.download_path);
            continue;
        }
        // A file whose download failed has nothing to install, and must stay
        // due for the next update.
        if (entry.download_path.empty())
            continue;
        switch (entry.type) {
            case kUpdateCopyFile:
                copies.push_back(&entry);
                break;
            case kUpdateDatDelta:
                deltas.push_back({entry.file_name, entry.download_path});
                delta_version = entry.version;
                break;
            case kUpdateExecutable:
                if (ApplyProgram(entry))
                    record(entry);
                break;
            case kUpdateEngineDll:
                engine = &entry;
                break;
            default:  // kinds that are only recorded
                record(entry);
                break;
        }
    }
    if (!copies.empty() && ApplyCopies(copies)) {
        for (const UpdateControlRecord* copy : copies)
            record(*copy);
    }
    if (!deltas.empty()) {
        const std::string base = app_folder_ + "\\";
        const DeltaApplyResult result = ApplyDefinitionDeltas(
            deltas, {base + "qzfile.dat", base + "qzinfo.dat", base + "qzloc.dat"});
        if (result.ok) {
            local_database_.SetVersion(kDeltaIndexEntryName, delta_version);
            applied += static_cast<long>(result.applied);
        } else {
            last_error_.Set(result.error, kDeltaApplyErrorCode);
        }
    }
    // The new engine counts as applied only once its stub runs. It is
    // recorded and saved before the start, since the stub may replace this
    // DLL at once, and taken back when the stub cannot be started.
    std::optional<SwapStubStart> stub;
    std::optional<LocalUpdateDatabase> before_engine;
    if (engine && !IsLoadableEngine(engine->download_path)) {
        last_error_.SetText("Error applying update, " + engine->download_path +
                            " is not a usable engine.");
        RemoveFile(engine->download_path);
        engine = nullptr;
    }
    if (engine && (stub = WriteSwapStub(engine->download_path))) {
        before_engine = local_database_;
        record(*engine);
    }
    SaveLocalDatabase();
    if (before_engine && !StartSwapStub(*stub)) {
        local_database_ = std::move(*before_engine);
        --applied;
        SaveLocalDatabase();
    }
    return applied;
}

void CUpdater::SaveLocalDatabase() {
    if (local_database_.Save(app_folder_ + "\\" + std::string(kLocalUpdateDatabaseName)) < 0)
        last_error_.SetText(local_database_.last_error());
}

std::vector<UpdateControlRecord> CUpdater::PendingFromFolder(const std::string& temp_folder) const {
    std::vector<UpdateControlRecord> entries;
    WIN32_FIND_DATAA found{};
    const std::string pattern = temp_folder + "\\*" + std::string(kDownloadExtension);
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        const auto parts = ParseDownloadFileName(found.cFileName);
        if (!parts)
            continue;
        UpdateControlRecord entry;
        entry.file_name = parts->file_name;
        entry.version = parts->version;
        entry.type = parts->type;
        entry.size = found.nFileSizeHigh != 0 ? 0xFFFFFFFFu : found.nFileSizeLow;
        entry.download_path = temp_folder + "\\" + found.cFileName;
        entries.push_back(std::move(entry));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    // The folder's listing order is the file system's; take them by name.
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.download_path < b.download_path; });
    return entries;
}

std::string CUpdater::ReplaceJournalPath() const {
    return app_folder_ + "\\" + std::string(kReplaceJournalName);
}

std::optional<std::string> CUpdater::RefusalOf(const UpdateControlRecord& entry,
                                               std::span<const std::uint8_t> bytes) const {
    if (bytes.empty())
        return entry.download_path + std::string(kCorruptSuffix);
    if (!IsDefinitionFileName(entry.file_name))
        return std::nullopt;
    // The download's own path names it in the text and, by its stem, picks
    // the compatibility date its blocks must carry.
    const BlockFileResult read = ReadBlockBuffer(bytes, entry.download_path);
    if (!read.ok())
        return read.text;
    if (WalkBlockHeaders(bytes).blocks < 1)
        return entry.download_path + std::string(kCorruptSuffix);
    return std::nullopt;
}

std::string CUpdater::DefinitionLoadFailure() const {
    for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"}) {
        const BlockFileResult read = ReadBlockFile(LocalPath(name));
        if (!read.ok())
            return read.text;
    }
    return {};
}

void CUpdater::RemoveCutOffWrites() const {
    RemoveMatching(app_folder_, {std::string(kReplaceJournalName) + ".*.tmp",
                                 std::string(kLocalUpdateDatabaseName) + ".*.tmp"});
}

void CUpdater::RemoveEarlierDownloads(const std::string& temp_folder) {
    RemoveMatching(temp_folder, {"*" + std::string(kDownloadExtension), std::string("olx*.tmp")});
}

void CUpdater::RemoveMatching(const std::string& folder, std::initializer_list<std::string> names) {
    for (const std::string& name : names) {
        WIN32_FIND_DATAA found{};
        const HANDLE search = FindFirstFileA((folder + "\\" + name).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                DeleteFileA((folder + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
}

bool CUpdater::ApplyCopies(const std::vector<const UpdateControlRecord*>& copies) {
    // Every file is read and checked before the first one is replaced: one
    // that would not load keeps the whole set from being installed.
    std::vector<std::vector<std::uint8_t>> contents;
    std::vector<ReplacementFile> files;
    contents.reserve(copies.size());
    for (const UpdateControlRecord* entry : copies) {
        FileBytes file = ReadWholeFile(entry->download_path);
        if (!file) {
            last_error_.SetText("Error applying update, " + entry->download_path +
                                " could not be read.");
            return false;
        }
        if (const auto refusal = RefusalOf(*entry, file.bytes)) {
            last_error_.SetText("Error applying update, " + *refusal);
            RemoveFile(entry->download_path);
            return false;
        }
        contents.push_back(std::move(file.bytes));
    }
    for (std::size_t i = 0; i < copies.size(); ++i)
        files.push_back({LocalPath(copies[i]->file_name), contents[i]});

    const ReplaceSetResult result = ReplaceFileSet(files, ReplaceJournalPath());
    if (result.outcome == ReplaceOutcome::kNotStaged) {
        last_error_.SetText("Error applying update, " + result.failed_path +
                            " could not be replaced.");
        return false;
    }
    // In use: the new files are in place beside their targets and take their
    // places at the next start (or the next apply, whichever comes first).
    for (const auto& [staged, target] : result.pending) {
        if (!restart_replacer_ || !restart_replacer_->ReplaceFileAtReboot(staged, target)) {
            last_error_.SetText("Error applying update, " + target + " could not be replaced.");
            continue;
        }
        reboot_required_ = true;
    }
    for (const UpdateControlRecord* entry : copies)
        RemoveFile(entry->download_path);
    return true;
}

bool CUpdater::ApplyProgram(const UpdateControlRecord& entry) {
    // The program keeps its own name, beside its download.
    const std::string program = FolderOf(entry.download_path) + "\\" + entry.file_name;
    if (!EndsWithIgnoringCase(entry.file_name, ".exe") ||
        !MoveFileExA(entry.download_path.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        last_error_.SetText("Executable " + program +
                            " could not be executed during ApplyUpdates()!");
        return false;
    }
    return execute_at_reboot_ ? ScheduleProgram(program) : RunProgram(program);
}

bool CUpdater::ScheduleProgram(const std::string& program) {
    const std::string failure =
        "Executable " + program + " could not be schedule to run at reboot!";
    std::array<char, MAX_PATH + 1> short_path{};
    const DWORD length = GetShortPathNameA(program.c_str(), short_path.data(),
                                           static_cast<DWORD>(short_path.size()));
    const std::string command = length > 0 && length < short_path.size()
                                    ? std::string(short_path.data(), length)
                                    : "\"" + program + "\"";
    HKEY opened = nullptr;
    if (RegCreateKeyExA(run_once_root_, run_once_key_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &opened,
                        nullptr) != ERROR_SUCCESS) {
        last_error_.SetText(failure);
        return false;
    }
    const win::UniqueKey key(opened);
    // A program already waiting for the next start keeps its value.
    for (int n = 1; n <= kMaxRunOnceValues; ++n) {
        const std::string name = n == 1 ? kRunOnceValue : kRunOnceValue + std::to_string(n);
        std::array<char, MAX_PATH + 3> held{};
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(held.size());
        const LONG query = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(held.data()), &size);
        const bool free =
            query == ERROR_FILE_NOT_FOUND ||
            (query == ERROR_SUCCESS && type == REG_SZ && std::string(held.data()) == command);
        if (!free)
            continue;
        if (RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(command.c_str()),
                           static_cast<DWORD>(command.size() + 1)) != ERROR_SUCCESS)
            break;
        reboot_required_ = true;
        return true;
    }
    last_error_.SetText(failure);
    return false;
}

bool CUpdater::RunProgram(const std::string& program) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    info.lpFile = program.c_str();
    info.nShow = SW_HIDE;
    const bool started = ShellExecuteExA(&info) != FALSE;
    const win::UniqueHandle process(info.hProcess);
    if (!started || reinterpret_cast<INT_PTR>(info.hInstApp) <= 32) {
        last_error_.SetText("Executable " + program +
                            " could not be executed during ApplyUpdates()!");
        return false;
    }
    // It ran: recorded even when it is still running, so that the next
    // update does not start it again.
    if (process && WaitForSingleObject(process.get(), program_wait_ms_) == WAIT_TIMEOUT)
        last_error_.SetText("Executable " + program + " did not complete during ApplyUpdates()!");
    return true;
}

std::optional<CUpdater::SwapStubStart> CUpdater::WriteSwapStub(const std::string& new_engine) {
    const auto engine = ThisModuleFileName();
    if (!engine) {
        last_error_.SetText("Error retrieving olvex module filename.");
        return std::nullopt;
    }
    SwapStubStart start{app_folder_ + "\\" + kSwapStubFileName,
                        "\"" + *engine + "\" \"" + new_engine + "\""};
    if (!WriteStub(start.stub)) {
        last_error_.SetText("The olvex update stub could not be written.");
        return std::nullopt;
    }
    return start;
}

bool CUpdater::StartSwapStub(const SwapStubStart& start) {
    const INT_PTR code = swap_stub_starter_ ? swap_stub_starter_(start.stub, start.parameters)
                                            : ShellExecuteStub(start.stub, start.parameters);
    if (code <= 32) {
        last_error_.SetText(StubStartError(code));
        return false;
    }
    return true;
}

}  // namespace olvex
