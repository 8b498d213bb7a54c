#include "client/protect/detection_worker.h"

#include <objbase.h>
#include <oleauto.h>

#include <fstream>
#include <mutex>
#include <optional>
#include <utility>

#include "client/common/activity_log.h"
#include "client/common/client_environment.h"
#include "client/common/engine_registrar.h"
#include "client/common/engine_retries.h"
#include "client/common/named_mutex.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/gdi.h"
#include "client/common/ui/resource_values.h"
#include "client/protect/alert_dialogs.h"
#include "client/protect/background_pass.h"
#include "client/protect/engine_calls.h"
#include "client/protect/main_program.h"
#include "client/protect/protection_clock.h"
#include "client/protect/protection_messages.h"
#include "client/protect/protection_scanner_callback.h"
#include "client/protect/wakenor_app.h"
#include "client/protect/wakenor_resources.h"
#include "client/protect/worker_trace.h"
#include "olvex/core/file_io.h"

namespace olvex::protect {
namespace {

constexpr char kCleanLogName[] = "qzcleanlog.csv";
constexpr DWORD kForegroundWaitMs = 5000;
constexpr int kLooksForMainProgram = 40;
constexpr DWORD kLookIntervalMs = 250;

// A message whose format holds "%ld" (the number) and "%s" (the text).
void ShowEngineFailure(UINT format_id, long number, const std::wstring& text) {
    std::wstring format = ui::LoadText(format_id);
    if (const std::size_t at = format.find(L"%ld"); at != std::wstring::npos)
        format.replace(at, 3, std::to_wstring(number));
    ShowProtectionMessageText(ui::FillInTexts(format, {text}));
}

// Engine calls wait between tries on the protection's own clock.
constexpr EngineRetries kEngineRetries([](DWORD milliseconds) {
    ProgramClock().Sleep(milliseconds);
});

class DetectionWorker {
  public:
    explicit DetectionWorker(CWakenorApp& app) : app_(app) {}

    void Run() {
        TraceWorkerStep("worker start");
        if (!app_.restricted()) {
            std::lock_guard lock(app_.activity_log_lock);
            app_.activity_log.Load();
        }
        Sleep(1);
        if (Prepare()) {
            TraceWorkerStep("engine objects ready");
            RunPasses();
        }
        // The sink's references go with it; the scanner last.
        if (scanner_)
            scanner_->put_Callback(nullptr);
        sink_.Reset();
        scanner_.Reset();
        TraceWorkerStep("worker end");
    }

  private:
    bool Prepare() {
        DetectionObjects objects;
        const bool created =
            kEngineRetries.Create(CLSID_Scanner, scanner_, 120, 500) &&
            kEngineRetries.Create(CLSID_Exterminator, objects.exterminator, 10, 200) &&
            kEngineRetries.Create(CLSID_PestDatabase, objects.pest_database, 10, 200) &&
            kEngineRetries.Create(CLSID_Excluder, objects.excluder, 10, 200) &&
            kEngineRetries.Create(CLSID_Location, objects.location, 10, 200);
        if (!created) {
            ShowProtectionMessage(IDS_ENGINE_NOT_INSTALLED);
            return false;
        }
        const OwnedBstr data(app_.data_folder());
        if (!kEngineRetries.Initialize(20, 100, [&](VARIANT_BOOL* ok) {
                return objects.pest_database->Initialize(data.get(), ok);
            })) {
            ShowEngineFailure(IDS_DATABASE_INIT_FAILED,
                              LastErrorNumber(objects.pest_database.Get()),
                              LastErrorText(objects.pest_database.Get()));
            return false;
        }
        if (!app_.restricted() && !kEngineRetries.Initialize(20, 100, [&](VARIANT_BOOL* ok) {
                return objects.excluder->Initialize(data.get(), ok);
            })) {
            ShowEngineFailure(IDS_EXCLUDER_INIT_FAILED, 0, LastErrorText(objects.excluder.Get()));
            return false;
        }
        sink_ = CProtectionScannerCallback::Create(app_, std::move(objects));
        scanner_->put_Callback(sink_.Get());
        if (!kEngineRetries.Initialize(60, 500, [&](VARIANT_BOOL* ok) {
                return scanner_->InitializeEx(data.get(), data.get(), data.get(), ok);
            })) {
            ShowEngineFailure(IDS_SCANNER_INIT_FAILED, LastErrorNumber(scanner_.Get()),
                              LastErrorText(scanner_.Get()));
            return false;
        }
        const SharedEngineFolder shared = MakeSharedEngineFolder();
        if (!shared.path) {
            ShowSharedFolderFailure(shared.error);
            return false;
        }
        shared_engine_ = JoinPath(*shared.path, kEngineDllName);
        return true;
    }

    void RunPasses() {
        for (;;) {
            app_.scan_may_continue = true;
            bool told_waiting = false;
            while (ForegroundScanRunning()) {
                if (!told_waiting)
                    TraceWorkerStep("waiting for a foreground scan");
                told_waiting = true;
                ProgramClock().Sleep(kForegroundWaitMs);
                app_.scan_may_continue = true;
            }
            // The boxes as they are now, applied or not.
            const bool memory = app_.scan_memory;
            const bool cookies = app_.scan_cookies;
            const CEngineRegistrar registrar;
            if (!registrar.EnsureCurrentEngine(ui::ToAnsi(ui::LoadText(IDS_PRODUCT_KEY_NAME)),
                                               app_.install_folder() + kEngineDllName,
                                               shared_engine_)) {
                ShowProtectionMessage(IDS_ENGINE_DAMAGED);
                return;
            }
            if (!app_.restricted() && !ReadyExterminator())
                return;
            const DWORD pass_start = GetTickCount();
            app_.scan_may_continue = true;
            TraceWorkerStep("pass start");
            VARIANT_BOOL ignored = VARIANT_FALSE;
            if (memory) {
                Sleep(1);
                TraceWorkerStep("memory scan");
                scanner_->ScanMemory(&ignored);
            }
            if (cookies && app_.memory_find == 0) {
                Sleep(1);
                TraceWorkerStep("cookie scan");
                scanner_->ScanCookies(&ignored);
            }
            if (!app_.restricted() && app_.memory_find == 1) {
                app_.memory_find = 0;
                AdviseScan();
            }
            std::string log_path;
            if (app_.GetActivityLogPath(log_path) &&
                MoveCleanLogIntoActivityLog(app_.install_folder(), log_path))
                TraceWorkerStep("clean-log moved");
            TraceWorkerStep("pass end");
            if (!app_.scan_may_continue)
                return;
            ProgramClock().Sleep(RestAfterPass(GetTickCount() - pass_start));
        }
    }

    // The exterminator is tried again, more slowly as time passes, until it
    // is ready, protection stops, or ten minutes have gone by.
    bool ReadyExterminator() {
        const OwnedBstr install(app_.install_folder());
        const OwnedBstr data(app_.data_folder());
        IExterminator* exterminator = sink_->objects().exterminator.Get();
        const std::int64_t first_try = ProgramClock().Now();
        for (;;) {
            if (!app_.scan_may_continue)
                return false;
            VARIANT_BOOL ready = VARIANT_FALSE;
            exterminator->InitializeEx(install.get(), data.get(), &ready);
            if (IsTrue(ready))
                return true;
            std::optional<std::uint32_t> wait;
            if (ready == VARIANT_FALSE)
                wait =
                    ExterminatorRetryWaitMs(static_cast<double>(ProgramClock().Now() - first_try));
            if (!wait) {
                ShowProtectionMessageText(ui::FillInTexts(
                    ui::LoadText(IDS_EXTERMINATOR_INIT_FAILED), {LastErrorText(exterminator)}));
                return false;
            }
            ProgramClock().Sleep(*wait);
        }
    }

    // After a find in memory: Scan Now asks the main program for a standard
    // scan (starting it when it does not run). The request is posted: the
    // main program runs a whole scan in its handler.
    void AdviseScan() const {
        TraceWorkerStep("scan advice");
        CScanAdviceDlg advice;
        if (advice.RunModal(nullptr) != IDOK || PestActivityRunning())
            return;
        if (const HWND main_window = FindMainProgramWindow()) {
            PostStandardScan(main_window);
            return;
        }
        if (!StartMainProgram(app_.install_folder()))
            return;
        for (int look = 0; look < kLooksForMainProgram; ++look) {
            if (const HWND main_window = FindMainProgramWindow()) {
                PostStandardScan(main_window);
                return;
            }
            Sleep(kLookIntervalMs);
        }
    }

    CWakenorApp& app_;
    com::ComPtr<IScanner> scanner_;
    com::ComPtr<CProtectionScannerCallback> sink_;
    std::string shared_engine_;
};

DWORD WINAPI DetectionThreadProc(void* parameter) {
    auto& app = *static_cast<CWakenorApp*>(parameter);
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    {
        DetectionWorker worker(app);
        worker.Run();
    }
    if (com)
        CoUninitialize();
    return 0;
}

}  // namespace

win::UniqueHandle StartDetectionWorker(CWakenorApp& app) {
    win::UniqueHandle thread(
        CreateThread(nullptr, 0, DetectionThreadProc, &app, CREATE_SUSPENDED, nullptr));
    if (!thread)
        return thread;
    SetThreadPriority(thread.get(), THREAD_PRIORITY_BELOW_NORMAL);
    ResumeThread(thread.get());
    return thread;
}

bool MoveCleanLogIntoActivityLog(const std::string& install_folder, const std::string& log_path) {
    const std::string clean_log = install_folder + kCleanLogName;
    if (!FileExists(clean_log))
        return false;
    // Other programs append to the activity log meanwhile; the mutex keeps
    // the ones that shorten or rewrite it out.
    const win::UniqueHandle mutex = OpenOrCreateMutex(kActivityLogMutexName);
    const MutexLock lock(mutex.get());
    CleanLogMove outcome = CleanLogMove::kReadFailed;
    {
        std::ifstream source(clean_log, std::ios::binary);
        if (!source)
            return false;
        outcome = MoveCleanLog(source, [&](std::string_view text) {
            return RetryWithBackoff(kAppendAttempts, [&] {
                switch (AppendActivityLogLines(log_path, text)) {
                    case FileError::kNone:
                        return AttemptResult::kDone;
                    case FileError::kNoSpace:
                        return AttemptResult::kGiveUp;  // the clean log stays for later
                    default:
                        return AttemptResult::kRetry;
                }
            });
        });
    }
    if (outcome != CleanLogMove::kCopied)
        return false;
    DeleteFileA(clean_log.c_str());
    return true;
}

}  // namespace olvex::protect
