// Message boxes of the client programs go through a replaceable presenter:
// the system's MessageBox normally, an answering presenter for unattended
// runs (nothing is shown, nothing waits) and whatever a test installs.
#pragma once

#include <windows.h>

#include <string>

namespace olvex {

class MessageBoxPresenter {
  public:
    virtual ~MessageBoxPresenter() = default;
    // Shows the box and answers the button pressed (IDOK, IDYES, ...).
    virtual int Show(HWND owner, const std::wstring& text, const std::wstring& caption,
                     UINT style) const = 0;
};

// MessageBoxW.
const MessageBoxPresenter& SystemMessageBoxes();
// Shows nothing: sends the text to the debugger output and answers the
// style's default button at once.
const MessageBoxPresenter& UnattendedMessageBoxes();
// The presenter attended programs use: the system's unless a test replaced it.
const MessageBoxPresenter& CurrentMessageBoxes();

// The answer of a box's default button: the first button of the style's
// button set unless MB_DEFBUTTON2/3 names another.
int DefaultButtonAnswer(UINT style);

class ScopedMessageBoxes {
  public:
    explicit ScopedMessageBoxes(const MessageBoxPresenter& presenter);
    ~ScopedMessageBoxes();
    ScopedMessageBoxes(const ScopedMessageBoxes&) = delete;
    ScopedMessageBoxes& operator=(const ScopedMessageBoxes&) = delete;

  private:
    const MessageBoxPresenter* previous_;
};

}  // namespace olvex
