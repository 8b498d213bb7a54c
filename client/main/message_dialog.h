// `CMessageDlg`, the main program's own Message dialog (template 151): every
// warning, error and completion notice of the program is shown in it, so
// that it can play a sound as it opens: "ALARM.WAV" with warnings and errors
// when errorsound is on, "DONE.WAV" when a task completes and donesound is
// on. Opened through CGorsewatch5App::ShowMessage and ShowMessageText, from
// any thread; off the user-interface thread it has no owner.
#pragma once

#include <windows.h>

#include <string>

#include "client/main/program_dialog.h"

namespace olvex {

class CMessageDlg : public ProgramDialog {
  public:
    CMessageDlg(std::wstring text, int sound_kind);
    CMessageDlg(UINT string_id, int sound_kind);

  protected:
    bool OnInitDialog() override;

  private:
    std::wstring text_;
    int sound_kind_;
};

}  // namespace olvex
