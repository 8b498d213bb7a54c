// The update utility Dunmere.exe: applies what the updater downloaded while
// the other programs of the product are closed. One pass in Run: status
// window, checks, updaters, close the programs, apply, start them again,
// clean up, end. Its exit code tells the updater that started it whether
// every update was applied (kExitApplied).
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "client/common/client_application.h"
#include "client/common/named_mutex.h"
#include "client/update/apply_updates_status_dlg.h"
#include "client/update/update_utility.h"
#include "olvex/com/com_ptr.h"
#include "olvex/olvex.h"

namespace olvex {

class CDunmereApp {
  public:
    // instance_mutex: the single-instance mutex, made before anything else.
    CDunmereApp(HINSTANCE instance, NamedMutex instance_mutex);
    ~CDunmereApp();
    CDunmereApp(const CDunmereApp&) = delete;
    CDunmereApp& operator=(const CDunmereApp&) = delete;

    // The exit code: kExitApplied only when every channel's updates are in
    // place.
    int Run(const std::vector<std::string>& arguments);

    // Waits that keep the status window painted: messages are handled
    // while the time passes or until one of the handles is signalled. True
    // when a handle was signalled.
    bool PumpingWait(const HANDLE* handles, DWORD count, DWORD timeout_ms);
    void PumpingSleep(DWORD milliseconds) { PumpingWait(nullptr, 0, milliseconds); }

  private:
    enum Channel { kCore, kProgram, kSuite, kChannels };

    bool CheckWriteAccess() const;
    bool EnsureEngine() const;
    bool CreateUpdaters();
    // True when no channel reported a failure.
    bool ApplyUpdates();
    // The update history the main program shows: when the last update was
    // put in place.
    void WriteUpdateHistory() const;
    void ReleaseEngine();
    void WaitForSwapStub();
    void RestartPrograms(const std::vector<std::string>& files) const;
    void RemoveTempFolders() const;
    void EndRun();

    ClientApplication app_;
    NamedMutex instance_mutex_;
    std::string install_folder_;  // with a trailing backslash
    std::string temp_folder_;     // the user's, with a trailing backslash
    std::unique_ptr<CApplyUpdatesStatusDlg> status_;
    bool com_ = false;
    std::array<com::ComPtr<IUpdater>, kChannels> updaters_;
    std::array<bool, kChannels> initialized_{};
};

}  // namespace olvex
