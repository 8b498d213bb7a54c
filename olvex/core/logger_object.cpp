#include "olvex/core/logger_object.h"

#include <windows.h>

#include <optional>
#include <string_view>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/com/module.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/core/engine_event_log.h"
#include "olvex/core/locked_file.h"
#include "olvex/core/os_utilities.h"

namespace olvex {
namespace {

constexpr char kOpenFailed[] = "Error opening log file.";
constexpr char kWriteFailed[] = "Error writing log file.";
constexpr char kNotOneLine[] = "Log entry cannot be written as one line.";
constexpr char kEntryCreationFailed[] = "Error allocating olvex.LogEntry object.";

void Trace(std::string_view label, const std::string& text) {
    OutputDebugStringA((std::string(label) + text).c_str());
}

HRESULT SetStamp(ILogEntry* entry, std::string_view name, const std::string& value) {
    // An attribute list holds no empty value: a stamp the system could not
    // give is left out.
    if (value.empty())
        return S_OK;
    com::UniqueBstr bstr_name, bstr_value;
    HRESULT hr = com::BstrFromAnsi(name, bstr_name.Put());
    if (SUCCEEDED(hr))
        hr = com::BstrFromAnsi(value, bstr_value.Put());
    if (SUCCEEDED(hr))
        hr = entry->SetAttributeValue(bstr_name.Get(), bstr_value.Get());
    return hr;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CLogger::Initialize(BSTR bsLogPath, VARIANT_BOOL* pvbSuccess) {
    if (!pvbSuccess)
        return E_POINTER;
    *pvbSuccess = VARIANT_FALSE;
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        max_entries_ = 5000;
        initialized_ = false;
        std::string base;
        if (const HRESULT hr = com::AnsiFromBstr(bsLogPath, base); FAILED(hr))
            return hr;
        if (base.empty()) {
            // The engine's own folder; without it there is no folder at all
            // (not the root of the current drive).
            base = GetModuleFolder(com::ThisModule()).value_or(std::string());
            if (base.empty()) {
                last_error_.SetText(kOpenFailed);
                return S_OK;
            }
        }
        if (!base.empty() && AnsiCodePageText().FindLast(base, '\\') == base.size() - 1)
            base.pop_back();
        log_folder_ = base + "\\" + std::string(kLogFolderName);
        Trace("Log folder: ", log_folder_);
        // Only the last level is made: a base folder that is missing is an
        // error below.
        CreateDirectoryA(log_folder_.c_str(), nullptr);
        file_path_ = log_folder_ + "\\" + std::string(kLogFileName);
        Trace("Log file: ", file_path_);
        position_ = {};
        LockedFile created;
        if (created.Open(file_path_) != FileError::kNone) {
            last_error_.SetText(kOpenFailed);
            OutputDebugStringA(kOpenFailed);
            return S_OK;
        }
        initialized_ = true;
        *pvbSuccess = VARIANT_TRUE;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CLogger::PutLogEntry(ILogEntry* pLogEntry, VARIANT_BOOL* pvbSuccess) {
    if (!pvbSuccess)
        return E_POINTER;
    *pvbSuccess = VARIANT_FALSE;
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        if (!last_error_.RequireInitialized(initialized_, pvbSuccess, kOpenFailed) || !pLogEntry)
            return S_OK;
        const LogStamps stamps = CurrentLogStamps();
        HRESULT entry_error = S_OK;
        // Runs while this logger holds the log: the id is the next one then.
        const auto stamp_and_take = [&](std::int64_t id) -> std::optional<std::string> {
            for (const auto& [name, value] :
                 {std::pair{kLogEntryId, std::to_string(id)}, std::pair{kLogDate, stamps.date},
                  std::pair{kLogTime, stamps.time}, std::pair{kLogUserName, stamps.user_name}}) {
                entry_error = SetStamp(pLogEntry, name, value);
                if (FAILED(entry_error))
                    return std::nullopt;
            }
            com::UniqueBstr text;
            std::string ansi;
            entry_error = pLogEntry->GetString(text.Put());
            if (SUCCEEDED(entry_error))
                entry_error = com::AnsiFromBstr(text.Get(), ansi);
            if (FAILED(entry_error))
                return std::nullopt;
            return ansi;
        };
        switch (AppendLogEntry(file_path_, AnsiCodePageText(), stamp_and_take, &position_)) {
            case LogAppendResult::kAppended:
                *pvbSuccess = VARIANT_TRUE;
                return S_OK;
            case LogAppendResult::kOpenFailed:
                last_error_.SetText(kOpenFailed);
                return S_OK;
            case LogAppendResult::kRefused:
                if (entry_error == E_OUTOFMEMORY)
                    return entry_error;
                last_error_.SetText(kNotOneLine);
                return S_OK;
            case LogAppendResult::kReadFailed:
            case LogAppendResult::kWriteFailed:
                break;
        }
        last_error_.SetText(kWriteFailed);
        return S_OK;
    });
}

HRESULT CLogger::NextEntry(ILogEntry** entry) {
    if (read_count_ >= lines_.size())
        return S_OK;
    com::ComPtr<ILogEntry> made;
    if (FAILED(com::CreateEngineObject(CLSID_LogEntry, made.Put()))) {
        last_error_.SetText(kEntryCreationFailed);
        return S_OK;
    }
    com::UniqueBstr text;
    if (const HRESULT hr = com::BstrFromAnsi(lines_[read_count_], text.Put()); FAILED(hr))
        return hr;
    if (const HRESULT hr = made->SetString(text.Get()); FAILED(hr))
        return hr;
    ++read_count_;
    *entry = made.Detach();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CLogger::GetFirstLogEntry(ILogEntry** ppLogEntry) {
    if (!ppLogEntry)
        return E_POINTER;
    *ppLogEntry = nullptr;
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        read_count_ = 0;
        lines_.clear();
        // Read without a lock: writers are not held up, and a line still
        // being written is left out until it is whole.
        const FileBytes content = ReadSharedFile(file_path_, 0xFFFFFFFFull);
        if (!initialized_ || !content) {
            last_error_.SetText(kOpenFailed);
            return S_OK;
        }
        lines_ = ReadLogLines(std::string_view(reinterpret_cast<const char*>(content.bytes.data()),
                                               content.bytes.size()));
        return NextEntry(ppLogEntry);
    });
}

HRESULT STDMETHODCALLTYPE CLogger::GetNextLogEntry(ILogEntry** ppLogEntry) {
    if (!ppLogEntry)
        return E_POINTER;
    *ppLogEntry = nullptr;
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        return NextEntry(ppLogEntry);
    });
}

HRESULT STDMETHODCALLTYPE CLogger::get_bsLogPath(BSTR* pVal) {
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        return com::BstrFromAnsi(log_folder_, pVal);
    });
}

HRESULT STDMETHODCALLTYPE CLogger::put_bsLogPath(BSTR value) {
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        // Only the text: entries still go to the file Initialize chose.
        return com::AnsiFromBstr(value, log_folder_);
    });
}

HRESULT STDMETHODCALLTYPE CLogger::get_nMaxLogEntries(LONG* pVal) {
    if (!pVal)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    *pVal = max_entries_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CLogger::put_nMaxLogEntries(LONG value) {
    std::lock_guard lock(mutex_);
    max_entries_ = value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CLogger::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    if (!pvbInitialized)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    *pvbInitialized = com::ToVariantBool(initialized_);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CLogger::ClearEntireLog() {
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        // Emptied in turn with writers rather than deleted, which would fail
        // while another logger has the file open.
        if (!initialized_ || !ClearLog(file_path_))
            last_error_.SetText(kOpenFailed);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CLogger::DeleteByRelativeDate(LONG nDaysOld) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CLogger::DeleteBySizeQuota(LONG nBytes) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CLogger::DeleteByItemCount(LONG nMaxItems) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CLogger::DeleteEntry(ILogEntry* pLogEntry) {
    return S_OK;
}

}  // namespace olvex
