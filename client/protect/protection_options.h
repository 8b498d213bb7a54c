// The protection window's three boxes, the settings they were last applied
// as, and the options the detection worker follows. A click reaches the
// worker at once, before Apply, so that the next background pass follows the
// box; whatever hides the window without applying (Cancel, Escape, a
// minimise, another program's hide request) puts the boxes and the worker's
// options back to what was applied.
#pragma once

#include "client/common/active_protection_settings.h"

namespace olvex::protect {

struct OptionBoxes {
    bool memory = false;
    bool cookies = false;
    bool on_boot = false;
    bool operator==(const OptionBoxes&) const = default;
};

// The window side: its boxes and the worker's options.
class ProtectionOptionsView {
  public:
    virtual ~ProtectionOptionsView() = default;
    virtual OptionBoxes Boxes() const = 0;
    virtual void ShowBoxes(const OptionBoxes& boxes) = 0;
    // What the next background pass scans.
    virtual void PublishScanOptions(bool memory, bool cookies) = 0;
};

class ProtectionOptions {
  public:
    explicit ProtectionOptions(ProtectionOptionsView& view) : view_(view) {}

    // The applied settings ("qzad.ini" as read or as last applied); the file
    // is read into them directly.
    ActiveProtectionSettings& applied() { return applied_; }
    const ActiveProtectionSettings& applied() const { return applied_; }

    // The applied settings shown in the boxes and published.
    void Show();
    // A box was clicked: the worker follows the boxes already.
    void OnBoxClicked();
    // The boxes published again (before a new worker starts).
    void PublishBoxes();
    // OK or Apply: the boxes become the applied settings (the rest kept).
    const ActiveProtectionSettings& Apply();
    // A hide without applying: back to the applied settings.
    void Revert();

  private:
    ProtectionOptionsView& view_;
    ActiveProtectionSettings applied_;
};

}  // namespace olvex::protect
