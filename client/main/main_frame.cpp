#include "client/main/main_frame.h"

#include "client/main/gorsewatch5_app.h"
#include "client/main/start_up_rules.h"

namespace olvex {

CMainFrame::CMainFrame() {
    OnMessage(kShowPageMessage, [](WPARAM page, LPARAM) {
        CGorsewatch5App* app = CGorsewatch5App::Current();
        if (app != nullptr && IsPageNumber(static_cast<int>(page)))
            app->SwitchView(static_cast<int>(page));
        return LRESULT{0};
    });
    OnMessage(kComeToFrontMessage, [this](WPARAM, LPARAM) {
        ComeToFront();
        return LRESULT{0};
    });
    const auto show_configuration = [this](WPARAM, LPARAM) {
        if (CGorsewatch5App* app = CGorsewatch5App::Current())
            app->SwitchView(kConfigurationPage);
        ComeToFront();
        return LRESULT{0};
    };
    OnMessage(kShowConfigurationMessage, show_configuration);
    OnMessage(kShowConfigurationMessage2, show_configuration);
    ListenForScans();
}

void CMainFrame::ComeToFront() const {
    if (!exists())
        return;
    ShowWindow(handle(), SW_SHOWNORMAL);
    SetForegroundWindow(handle());
    SetFocus(handle());
}

}  // namespace olvex
