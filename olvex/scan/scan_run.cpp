#include "olvex/scan/scan_run.h"

#include <new>

#include "olvex/com/bstr.h"
#include "olvex/core/engine_event_log.h"
#include "olvex/core/process_dat_database.h"

namespace olvex {
namespace {

// A BSTR of an engine text; running out of memory ends the scan with
// E_OUTOFMEMORY (the COM boundary turns the exception into it).
com::UniqueBstr MakeBstr(std::string_view text) {
    com::UniqueBstr bstr;
    if (FAILED(com::BstrFromAnsi(text, bstr.Put())))
        throw std::bad_alloc();
    return bstr;
}

// Text of code page from_page as text of the ANSI code page.
std::string ConvertCodePage(const std::string& text, UINT from_page) {
    if (text.empty())
        return text;
    const int length = static_cast<int>(text.size());
    const int wide_length = MultiByteToWideChar(from_page, 0, text.data(), length, nullptr, 0);
    if (wide_length <= 0)
        return std::string(text.size(), '?');
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    MultiByteToWideChar(from_page, 0, text.data(), length, wide.data(), wide_length);
    const int ansi_length =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    if (ansi_length <= 0)
        return std::string(wide.size(), '?');
    std::string ansi(static_cast<std::size_t>(ansi_length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, ansi.data(), ansi_length, nullptr,
                        nullptr);
    return ansi;
}

}  // namespace

void CallbackScanEvents::ScanComplete() {
    callback_->ScanComplete();
}

void CallbackScanEvents::ScanAborted(std::string_view reason) {
    callback_->ScanAborted(MakeBstr(reason).Get());
}

void CallbackScanEvents::FinishedItem(std::string_view location) {
    callback_->FinishedItem(MakeBstr(location).Get());
}

void CallbackScanEvents::StartingItem(std::string_view location) {
    callback_->StartingItem(MakeBstr(location).Get());
}

std::int32_t CallbackScanEvents::PestDetected(std::int32_t pest_id, std::string_view location) {
    return callback_->PestDetected(pest_id, MakeBstr(location).Get());
}

bool CallbackScanEvents::ShouldScanContinue() {
    VARIANT_BOOL go_on = VARIANT_TRUE;
    callback_->ShouldScanContinue(&go_on);
    return go_on != VARIANT_FALSE;
}

void CallbackScanEvents::VerboseInformation(std::string_view message) {
    callback_->VerboseInformation(MakeBstr(message).Get());
}

ExclusionCheck::Answer ExcluderCheck::IsLocationExcluded(std::int32_t pest_id,
                                                         std::string_view location) {
    VARIANT_BOOL excluded = VARIANT_FALSE;
    const HRESULT hr = excluder_->IsLocationExcluded(pest_id, MakeBstr(location).Get(),
                                                     database_.Get(), &excluded);
    if (hr == E_OUTOFMEMORY)
        throw std::bad_alloc();
    return {SUCCEEDED(hr) && excluded == VARIANT_TRUE, hr};
}

bool ExcluderCheck::IsFolderExcluded(std::string_view folder) {
    VARIANT_BOOL excluded = VARIANT_FALSE;
    const HRESULT hr =
        excluder_->IsFolderExcluded(MakeBstr(folder).Get(), database_.Get(), &excluded);
    if (hr == E_OUTOFMEMORY)
        throw std::bad_alloc();
    return SUCCEEDED(hr) && excluded == VARIANT_TRUE;
}

ScanRun::ScanRun(com::ComPtr<IScannerCallback> callback, com::ComPtr<IExcluder> excluder,
                 com::ComPtr<IPestDatabase> database, DetectedItems& detected)
    : events_(callback ? std::optional<CallbackScanEvents>(std::in_place, std::move(callback))
                       : std::nullopt),
      exclusions_(excluder ? std::optional<ExcluderCheck>(std::in_place, std::move(excluder),
                                                          std::move(database))
                           : std::nullopt),
      reporter_(events_ ? &*events_ : nullptr, exclusions_ ? &*exclusions_ : nullptr, detected) {}

FolderLister::PathKind WindowsFolderLister::Kind(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::kMissing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
}

bool WindowsFolderLister::List(const std::string& pattern, std::vector<FolderEntry>& entries) {
    entries.clear();
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        entries.push_back({found.cFileName,
                           (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

WindowsArchiveEnvironment::WindowsArchiveEnvironment() : folder_(TemporaryFolder(), '\\') {}

std::string WindowsArchiveEnvironment::EntryNameText(const ZipEntryInfo& entry) {
    return ConvertCodePage(entry.name, entry.utf8 ? CP_UTF8 : 437);
}

std::string WindowsArchiveEnvironment::TemporaryFilePath(unsigned attempt) {
    return folder_.TemporaryFilePath(attempt);
}

void WindowsArchiveEnvironment::BudgetReached(const std::string& display_name,
                                              const std::string& limit) {
    // The log is a record for the user; a scan never fails for want of it.
    WriteEngineLogEntry(log_folder_, "Event \"Zip scan cut short\" File \"" +
                                         LogPairValue(display_name) + "\" Limit \"" + limit +
                                         " per scan\"");
}

}  // namespace olvex
