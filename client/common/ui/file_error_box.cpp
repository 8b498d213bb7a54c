#include "client/common/ui/file_error_box.h"

#include <string>

#include "client/common/client_application.h"
#include "client/common/message_boxes.h"
#include "client/common/ui/ansi_text.h"

namespace olvex::ui {

int ShowFileErrorBox(const TextFileError& error, HWND owner) {
    if (!error)
        return 0;
    const std::wstring text = FromAnsi(error.Describe());
    constexpr UINT kStyle = MB_OK | MB_ICONEXCLAMATION;
    if (const ClientApplication* app = ClientApplication::Current())
        return app->MessageBoxText(text, kStyle, owner);
    return CurrentMessageBoxes().Show(owner, text, kProductTitle, kStyle);
}

}  // namespace olvex::ui
