#include "client/main/pest_info_page.h"

#include <optional>

#include "client/common/ui/ansi_text.h"
#include "client/common/ui/gdi.h"
#include "client/common/ui/system_seams.h"
#include "client/common/url_lookup.h"
#include "client/main/cleaning_rules.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/page_rules.h"
#include "client/main/scan_dialog_actions_ids.h"

namespace olvex {

std::string PestInfoBase() {
    return GetWebAddress("QZPESTINFO_URL", ui::ToAnsi(ui::LoadText(IDS_PEST_INFO_SITE)));
}

void OpenPestInfoPage(HWND owner, std::int32_t pest_id) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return;
    // The started browser is neither waited for nor checked.
    ui::CurrentShellOpener().Open(
        owner, ui::FromAnsi(PestInfoAddress(PestInfoBase(), app->GetPestName(pest_id))));
}

}  // namespace olvex
