#include "dlgframe/message_box_layout.h"

#include <algorithm>
#include <array>

namespace olvex::dlgframe {
namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

constexpr std::array<MessageBoxButton, 1> kOk = {{{20160, 1}}};
constexpr std::array<MessageBoxButton, 2> kOkCancel = {{{20160, 1}, {20161, 2}}};
constexpr std::array<MessageBoxButton, 3> kAbortRetryIgnore = {
    {{22204, 3}, {20156, 4}, {22203, 5}}};
constexpr std::array<MessageBoxButton, 2> kYesNo = {{{20158, 6}, {20159, 7}}};

}  // namespace

std::span<const MessageBoxButton> MessageBoxButtons(int type) {
    switch (type) {
        case 0:
            return kOk;
        case 1:
            return kOkCancel;
        case 2:
            return kAbortRetryIgnore;
        case 4:
            return kYesNo;
        default:
            return {};
    }
}

int MessageBoxMinimumClientWidth(int type, int button_width) {
    int width = button_width + 40;
    if (type == 1 || type == 4)
        width = 2 * button_width + 60;
    else if (type == 2)
        width = 3 * button_width + 80;
    return std::max(width, 250);
}

std::vector<int> MessageBoxButtonLefts(int count, int client_centre, int button_width) {
    const int c = client_centre;
    const int w = button_width;
    switch (count) {
        case 1:
            return {c - w / 2};
        case 2:
            return {c - w - 10, c + 10};
        case 3:
            return {c - (3 * w) / 2 - 20, c - w / 2, c + w / 2 + 20};
        default:
            return {};
    }
}

int MessageBoxButtonTop(int client_height, int button_height) {
    return client_height - button_height - 14;
}

Extent MessageBoxMeasureLimit(Extent text_control) {
    return {3 * text_control.width, 5 * text_control.height};
}

MessageBoxGrowth MessageBoxGrowthFor(Extent text_control, std::optional<Extent> measured,
                                     int client_width, int minimum_client_width) {
    const Extent text = measured.value_or(text_control);
    const int wanted_width = std::max(text.width, text_control.width) + 4;
    MessageBoxGrowth growth;
    growth.text_width = std::max(0, wanted_width - text_control.width);
    growth.text_height = std::max(0, text.height - text_control.height);
    growth.dialog_width =
        std::max(growth.text_width, minimum_client_width - client_width);
    growth.dialog_height = growth.text_height;
    return growth;
}

std::optional<int> MessageBoxCommandResult(int type, int command) {
    const auto buttons = MessageBoxButtons(type);
    for (const MessageBoxButton& button : buttons) {
        if (button.command == command)
            return command;
    }
    const bool enter_picks_first = type == 1 || type == 2 || type == 4;
    if (command == kIdOk)
        return enter_picks_first ? buttons.front().command : kIdOk;
    if (command == kIdCancel)
        return kIdCancel;
    return std::nullopt;
}

}  // namespace olvex::dlgframe
