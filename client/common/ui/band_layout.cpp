#include "client/common/ui/band_layout.h"

#include <algorithm>

namespace olvex::ui {

Rect MovedAboveBand(const Rect& control) {
    return {control.left, control.top - kBandHeight, control.right, control.bottom - kBandHeight};
}

Rect ShortenedByBand(const Rect& window) {
    const int height = std::max(0, window.height() - kBandHeight);
    return {window.left, window.top, window.right, window.top + height};
}

Rect PlacedOnCorner(const Rect& window, const Rect& anchor) {
    return {anchor.left, anchor.top, anchor.left + window.width(), anchor.top + window.height()};
}

void ResizeTracker::Reset() {
    minimum_.reset();
    last_ = {};
}

ResizeTracker::Step ResizeTracker::OnClientSize(Size client) {
    Step step;
    if (!minimum_) {
        // A minimised dialog reports 0 by 0 before anything is known: such a
        // report must not become the minimum.
        if (client.width > 0 || client.height > 0) {
            minimum_ = client;
            last_ = client;
        }
        step.kind = Step::Kind::kRecorded;
    } else if (client.width >= minimum_->width && client.height >= minimum_->height) {
        step.kind = Step::Kind::kLayout;
        step.dx = client.width - last_.width;
        step.dy = client.height - last_.height;
        last_ = client;
    } else {
        step.kind = Step::Kind::kSnapBack;
        step.snap_to = {std::max(client.width, minimum_->width),
                        std::max(client.height, minimum_->height)};
    }
    return step;
}

}  // namespace olvex::ui
