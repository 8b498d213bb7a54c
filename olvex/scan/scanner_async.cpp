// The scanner's asynchronous scans: each runs a worker of the scanner on a
// thread of its own through the engine's launcher (async_launcher.h).
#include <memory>
#include <utility>

#include "olvex/com/com_ptr.h"
#include "olvex/scan/async_launcher.h"
#include "olvex/scan/scanner_object.h"

namespace olvex {
namespace {

// What the scan thread runs. It holds the scanner (and, through the run,
// the callback, excluder and pest database of the moment the scan began)
// until it ends, so a client that lets go of them early frees nothing the
// thread uses; the run goes before the scanner it belongs to.
class AsyncScan {
  public:
    AsyncScan(com::ComPtr<IScanner> scanner, std::shared_ptr<ScanRun> run,
              std::function<void(ScanRun&)> worker)
        : scanner_(std::move(scanner)), run_(std::move(run)), worker_(std::move(worker)) {}

    void operator()(const AsyncToken& token) {
        ScanReporter& reporter = run_->reporter();
        // A stopped scan ends its loops at the next checkpoint and sends
        // nothing more (ScanComplete included); everything held is released
        // on the way out.
        reporter.SetCheckpoint([token] { return token.Checkpoint(); });
        worker_(*run_);
        reporter.ScanComplete();
        worker_ = nullptr;
        run_.reset();
    }

  private:
    com::ComPtr<IScanner> scanner_;
    std::shared_ptr<ScanRun> run_;
    std::function<void(ScanRun&)> worker_;
};

}  // namespace

HRESULT CScanner::LaunchScan(IThreadControl** control, bool not_initialized_code,
                             const std::function<ScanWorker()>& make_worker) {
    if (!control)
        return E_POINTER;
    *control = nullptr;
    if (!initialized_) {
        if (not_initialized_code)
            last_error_.Set(com::kNotInitializedText, 9);
        else
            last_error_.SetText(com::kNotInitializedText);
        return S_OK;
    }
    LaunchResult result = LaunchResult::kNoMemory;
    const HRESULT hr = com::Guarded([&]() -> HRESULT {
        AsyncScan scan(com::ComPtr<IScanner>::Share(this), BeginRun(), make_worker());
        result = LaunchAsync(ComApartment::kMultiThreaded, std::move(scan), control);
        return S_OK;
    });
    if (FAILED(hr))
        return hr;
    if (const char* text = LaunchErrorText(result, kThreadCreationErrorText))
        last_error_.SetText(text);
    return S_OK;
}

}  // namespace olvex
