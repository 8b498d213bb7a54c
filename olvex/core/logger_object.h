// The engine log "Logs\qzv5log.log": appends entries to its file and reads
// them back. COM class Logger, default interface ILogger.
//
// PutLogEntry stamps the entry with EntryId, Date, Time and UserName and
// appends its text as one line. The id is one above the highest in the log
// when the line is written; loggers in any number of processes take turns on
// the file (a lock on the log file itself), so ids never repeat and lines
// never mix.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "olvex/com/com_object.h"
#include "olvex/com/last_error.h"
#include "olvex/core/engine_log.h"
#include "olvex/olvex.h"

namespace olvex {

class CLogger final : public com::DispatchObject<CLogger, ILogger> {
  public:
    // ILogger, in virtual-table order.
    HRESULT STDMETHODCALLTYPE PutLogEntry(ILogEntry* pLogEntry, VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE GetFirstLogEntry(ILogEntry** ppLogEntry) override;
    HRESULT STDMETHODCALLTYPE GetNextLogEntry(ILogEntry** ppLogEntry) override;
    HRESULT STDMETHODCALLTYPE get_bsLogPath(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLogPath(BSTR value) override;
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsLogPath, VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_nMaxLogEntries(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_nMaxLogEntries(LONG value) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbInitialized) override;
    HRESULT STDMETHODCALLTYPE ClearEntireLog() override;
    HRESULT STDMETHODCALLTYPE DeleteByRelativeDate(LONG nDaysOld) override;
    HRESULT STDMETHODCALLTYPE DeleteBySizeQuota(LONG nBytes) override;
    HRESULT STDMETHODCALLTYPE DeleteByItemCount(LONG nMaxItems) override;
    HRESULT STDMETHODCALLTYPE DeleteEntry(ILogEntry* pLogEntry) override;

  private:
    HRESULT NextEntry(ILogEntry** entry);

    std::mutex mutex_;
    bool initialized_ = false;
    std::string log_folder_;  // bsLogPath
    std::string file_path_;   // chosen by Initialize
    LONG max_entries_ = 0;
    // Where this logger's last line ended, so the next append reads only
    // what others wrote since.
    LogPosition position_;
    // The current read pass.
    std::vector<std::string> lines_;
    std::size_t read_count_ = 0;
    com::LastError last_error_;
};

}  // namespace olvex
