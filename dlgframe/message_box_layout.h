// The framework's message box: its buttons by type, its size from its text,
// where the buttons go and what Enter, Escape and the buttons end it with.
#pragma once

#include <optional>
#include <span>
#include <vector>

namespace olvex::dlgframe {

struct MessageBoxButton {
    unsigned caption_string;  // string id of the caption
    int command;              // the Windows button id the box ends with
};

// Left to right: type 0 OK; 1 OK, Cancel; 2 Abort, Retry, Ignore; 4 Yes, No;
// 3 and every other value none.
std::span<const MessageBoxButton> MessageBoxButtons(int type);

// The smallest client width: w + 40 for one button (and none), 2w + 60 for
// two, 3w + 80 for three, never below 250.
int MessageBoxMinimumClientWidth(int type, int button_width);

// Left edges of `count` buttons about the client centre.
std::vector<int> MessageBoxButtonLefts(int count, int client_centre, int button_width);

// Top edge of the button row.
int MessageBoxButtonTop(int client_height, int button_height);

struct Extent {
    int width = 0;
    int height = 0;
};

// The rectangle the text is wrapped in when it is measured: three times the
// text control's width, five times its height.
Extent MessageBoxMeasureLimit(Extent text_control);

struct MessageBoxGrowth {
    int text_width = 0;  // the text control grows by these (never shrinks)
    int text_height = 0;
    int dialog_width = 0;  // the dialog by these: as much, or more to reach
    int dialog_height = 0;  // the minimum client width
};

// `measured` is the wrapped text's size, nothing when measuring failed (the
// control's own size is taken then).
MessageBoxGrowth MessageBoxGrowthFor(Extent text_control, std::optional<Extent> measured,
                                     int client_width, int minimum_client_width);

// What a WM_COMMAND id does in a box of `type`: the id to end with, or
// nothing. A button of the box ends it with its own id; IDOK (1) that is no
// button of the box is Enter: the first button's id in types 1, 2 and 4, else
// 1; IDCANCEL (2), Escape or the close button, ends every box with 2, also
// the Yes/No and Abort/Retry/Ignore boxes that have no button of that id: a
// box the user closes is declined, never left open.
std::optional<int> MessageBoxCommandResult(int type, int command);

}  // namespace olvex::dlgframe
