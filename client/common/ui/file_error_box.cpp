#include "client/common/ui/file_error_box.h"

#include <string>

#include "client/common/client_application.h"
#include "client/common/message_boxes.h"

namespace olvex::ui {
namespace {

std::wstring FromAnsi(const std::string& text) {
    if (text.empty())
        return {};
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            length);
    return wide;
}

}  // namespace

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
