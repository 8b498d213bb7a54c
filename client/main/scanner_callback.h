// `CScannerCallback`, the sink through which the engine's scanner reports
// to the main program. The application owns it for its whole life and hands
// it to the scanner at start-up, so its counting never frees it. It tells
// the scanner whether the user has stopped the scan. Each detection becomes
// an entry of the detected-pest list, an activity-log line, an item of the
// open Scan dialog's results tree (grouped under its pest's name) with new
// counts (the tree redrawn at most every 100 ms), and, when the user takes
// part in prevalence research, a report; each scanned item is counted and
// shown at most every 100 ms. Without a Scan dialog the window updates are
// skipped; list and log still are kept.
#pragma once

#include <windows.h>

#include <string>

#include "client/common/scanner_callback_base.h"
#include "client/main/scan_rules.h"
#include "olvex/olvex.h"

namespace olvex {

class CScannerCallback final
    : public ScannerCallbackBase<CScannerCallback, SinkLifetime::kEmbedded> {
  public:
    CScannerCallback() : ScannerCallbackBase(0) {}
    virtual ~CScannerCallback() = default;

    HRESULT STDMETHODCALLTYPE StartingItem(BSTR location) override;
    HRESULT STDMETHODCALLTYPE PestDetected(long pest_id, BSTR location) override;
    // The application's continue flag; nothing is written without one.
    HRESULT STDMETHODCALLTYPE ShouldScanContinue(VARIANT_BOOL* continue_scan) override;

  private:
    ProgressThrottle progress_;
    // The results tree is redrawn at most this often while pests are found.
    ProgressThrottle redraw_;
    // "Detected", read once.
    std::string detected_text_;
};

}  // namespace olvex
