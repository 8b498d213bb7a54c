// Checks for, downloads and applies definition and engine updates from the
// update server.
// COM class Updater, default interface IUpdater.
//
// Defaults for a client that sets nothing: MaxDeltaBytes is 0xFFFFFFFF, so
// the definition files come as deltas whenever the delta chain is not larger
// than the whole files; vbExecuteAtReboot is false, so a program in an
// update runs during ApplyUpdates and needs no restart.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "olvex/com/com_object.h"
#include "olvex/com/last_error.h"
#include "olvex/core/web_downloader.h"
#include "olvex/olvex.h"
#include "olvex/scan/async_launcher.h"
#include "olvex/update/delta_index.h"
#include "olvex/update/local_update_database.h"
#include "olvex/update/restart_replacer.h"
#include "olvex/update/update_control_file.h"

namespace olvex {

inline constexpr ULONG kDefaultMaxDeltaBytes = 0xFFFFFFFFu;
// How long ApplyUpdates waits for a program of an update to finish.
inline constexpr DWORD kDefaultProgramWaitMs = 60000;

// Starts the swap stub (its path, its parameters) and answers what
// ShellExecuteEx leaves in hInstApp: more than 32 when it started.
using SwapStubStarter =
    std::function<INT_PTR(const std::string& stub, const std::string& parameters)>;

class CUpdater final : public com::DispatchObject<CUpdater, IUpdater> {
  public:
    CUpdater();
    ~CUpdater() override;

    // IUpdater, in virtual-table order.
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsAppFolder, BSTR bsMasterControlFileUrl, LONG nPort,
                                         VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbInitialized) override;
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_nLastError(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE CheckForUpdates(LONG* pnNumberOfUpdatesAvailable,
                                              LONG* pnTotalBytesInUpdate) override;
    HRESULT STDMETHODCALLTYPE get_vbForceAllUpdates(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbForceAllUpdates(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE DownloadUpdates(BSTR bsTempFolder, IUpdaterCallback* pUpdaterCallback,
                                              LONG* pnFilesReceived) override;
    HRESULT STDMETHODCALLTYPE IsRebootRequired(VARIANT_BOOL* pvbReboot) override;
    HRESULT STDMETHODCALLTYPE ApplyUpdates(BSTR bsTempFolder,
                                           LONG* pnNumberOfUpdatesApplied) override;
    HRESULT STDMETHODCALLTYPE DownloadUpdatesAsync(BSTR bsTempFolder,
                                                   IUpdaterCallback* pUpdaterCallback,
                                                   IThreadControl** ppThreadControl) override;
    HRESULT STDMETHODCALLTYPE get_bsUpdateServer(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsUpdateServer(BSTR value) override;
    HRESULT STDMETHODCALLTYPE InitializeEx(BSTR bsAppFolder, BSTR bsMasterControlFileUrl,
                                           LONG nPort, BSTR bsUsername, BSTR bsPassword,
                                           VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_MaxDeltaBytes(ULONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_MaxDeltaBytes(ULONG value) override;
    HRESULT STDMETHODCALLTYPE get_vbExecuteAtReboot(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbExecuteAtReboot(VARIANT_BOOL value) override;

    // Not on the interface: what tests replace.
    void SetRestartReplacer(std::unique_ptr<RestartReplacer> replacer);
    void SetProgramWait(DWORD milliseconds);
    void SetRunOnceKey(HKEY root, std::string path);
    void SetSwapStubStarter(SwapStubStarter starter);

  private:
    struct CheckTotals {
        std::uint32_t count = 0;
        std::uint64_t bytes = 0;
    };
    class Events;

    // Each returns what the member reports; the caller holds mutex_.
    std::optional<CheckTotals> Check();
    std::optional<DeltaPlan> ComputeDeltas(const UpdateControlRecord& delta_index_entry,
                                           std::uint64_t whole_file_bytes);
    long Download(const std::string& temp_folder, Events& events);
    bool DownloadEntry(UpdateControlRecord& entry, const std::string& temp_folder,
                       IVersionInfo* version_info, Events& events);
    long Apply(const std::string& temp_folder);

    // ApplyUpdates' steps (updater_apply.cpp).
    std::vector<UpdateControlRecord> PendingFromFolder(const std::string& temp_folder) const;
    // The whole files of one channel, replaced as one set; false when
    // nothing was replaced.
    bool ApplyCopies(const std::vector<const UpdateControlRecord*>& copies);
    // Why a downloaded file must not be installed (the block reader's text
    // for a definition file), or nullopt.
    std::optional<std::string> RefusalOf(const UpdateControlRecord& entry,
                                         std::span<const std::uint8_t> bytes) const;
    std::string ReplaceJournalPath() const;
    // The block reader's text for the first installed definition file that
    // does not load; empty when all three do.
    std::string DefinitionLoadFailure() const;
    // Removes the downloads ("*.qzu") and cut-off downloads ("olx*.tmp")
    // that earlier runs left in the temporary folder.
    static void RemoveEarlierDownloads(const std::string& temp_folder);
    // Removes the temporaries of writes an earlier run was killed in (the
    // replacement journal's, the local update database's).
    void RemoveCutOffWrites() const;
    static void RemoveMatching(const std::string& folder, std::initializer_list<std::string> names);
    bool ApplyProgram(const UpdateControlRecord& entry);
    bool ScheduleProgram(const std::string& program);
    bool RunProgram(const std::string& program);
    struct SwapStubStart {
        std::string stub;
        std::string parameters;
    };
    std::optional<SwapStubStart> WriteSwapStub(const std::string& new_engine);
    bool StartSwapStub(const SwapStubStart& start);
    void SaveLocalDatabase();
    std::string LocalPath(const std::string& file_name) const;

    std::string TempFolderOf(BSTR argument) const;
    std::string ControlUrl() const;
    void SetControlUrl(std::string url);

    // One operation (initialise, check, download, apply) at a time. It is
    // recursive, so that a callback may call the updater during a download;
    // the properties do not take it, so that a client can read them while an
    // asynchronous download runs.
    mutable std::recursive_mutex mutex_;
    com::LastError last_error_;

    std::string app_folder_;
    mutable std::mutex url_mutex_;
    std::string control_url_;  // also the bsUpdateServer property
    long port_ = 80;           // kept; requests use the address's own port
    std::atomic<bool> initialized_{false};
    std::atomic<bool> reboot_required_{false};
    std::atomic<bool> execute_at_reboot_{false};
    std::atomic<ULONG> max_delta_bytes_{kDefaultMaxDeltaBytes};
    LocalUpdateDatabase local_database_;
    std::unique_ptr<CWebDownloader> downloader_;
    std::vector<UpdateControlRecord> pending_;

    std::unique_ptr<RestartReplacer> restart_replacer_;
    DWORD program_wait_ms_ = kDefaultProgramWaitMs;
    HKEY run_once_root_ = HKEY_LOCAL_MACHINE;
    std::string run_once_key_;
    SwapStubStarter swap_stub_starter_;
};

}  // namespace olvex
