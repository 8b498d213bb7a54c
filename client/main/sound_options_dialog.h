// `CSoundOptionsDlg`, the Sound Options dialog (template 150): whether
// warnings and errors, and completed tasks, play a sound (the errorsound and
// donesound settings). OK takes the two choices; the settings file is
// written by whoever opened the dialog, at the latest when the program ends.
// With limited rights the choices show greyed and OK cannot be pressed.
#pragma once

#include "client/main/program_dialog.h"

namespace olvex {

class CSoundOptionsDlg : public ProgramDialog {
  public:
    CSoundOptionsDlg();

  protected:
    bool OnInitDialog() override;
    void OnOk() override;
};

}  // namespace olvex
