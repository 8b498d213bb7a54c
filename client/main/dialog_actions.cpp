#include "client/main/dialog_actions.h"

#include <optional>

#include "client/common/ui/ansi_text.h"
#include "client/common/url_lookup.h"
#include "client/common/ui/file_error_box.h"
#include "client/common/ui/gdi.h"
#include "client/common/ui/system_seams.h"
#include "client/common/ui/text_file.h"
#include "client/common/version_report.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/page_look_ids.h"
#include "client/main/page_rules.h"

namespace olvex {

void OpenHelpFile(HWND dialog) {
    if (const CGorsewatch5App* app = CGorsewatch5App::Current())
        ui::CurrentShellOpener().Open(
            dialog, ui::FromAnsi(app->install_folder()) + ui::LoadText(IDS_HELP_FILE_NAME));
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void OpenTableAddress(HWND owner, std::string_view key, UINT default_address_id) {
    const std::string chosen = GetWebAddress(key, ui::ToAnsi(ui::LoadText(default_address_id)));
    ui::CurrentShellOpener().Open(owner, ui::FromAnsi(chosen));
}

bool SaveReport(HWND dialog, const ReportRequest& request,
                const std::function<std::string()>& report) {
    ui::SaveFileRequest save;
    save.default_extension = request.extension;
    save.file_name = request.file_name;
    save.filter = request.filter;
    // Owned by the dialog, so that it cannot be asked twice meanwhile.
    const auto chosen = ui::CurrentSaveFileChooser().Choose(dialog, save);
    if (chosen) {
        const std::string path =
            FixDoubledExtension(ui::ToAnsi(*chosen), ui::ToAnsi(save.default_extension));
        ui::TextFileWriter file;
        if (const ui::TextFileError error = file.Create(path)) {
            ui::ShowFileErrorBox(error, dialog);
        } else {
            file.Write(report());
            if (const ui::TextFileError error = file.Close())
                ui::ShowFileErrorBox(error, dialog);
        }
    }
    if (const CGorsewatch5App* app = CGorsewatch5App::Current())
        SetCurrentDirectoryA(app->install_folder().c_str());
    return chosen.has_value();
}

}  // namespace olvex
