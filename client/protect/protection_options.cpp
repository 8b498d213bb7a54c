#include "client/protect/protection_options.h"

namespace olvex::protect {

void ProtectionOptions::Show() {
    view_.ShowBoxes({applied_.memory == 1, applied_.cookies == 1, applied_.on_boot == 1});
    view_.PublishScanOptions(applied_.memory == 1, applied_.cookies == 1);
}

void ProtectionOptions::OnBoxClicked() {
    PublishBoxes();
}

void ProtectionOptions::PublishBoxes() {
    const OptionBoxes boxes = view_.Boxes();
    view_.PublishScanOptions(boxes.memory, boxes.cookies);
}

const ActiveProtectionSettings& ProtectionOptions::Apply() {
    const OptionBoxes boxes = view_.Boxes();
    applied_.memory = boxes.memory ? 1 : 0;
    applied_.cookies = boxes.cookies ? 1 : 0;
    applied_.on_boot = boxes.on_boot ? 1 : 0;
    view_.PublishScanOptions(boxes.memory, boxes.cookies);
    return applied_;
}

void ProtectionOptions::Revert() {
    Show();
}

}  // namespace olvex::protect
