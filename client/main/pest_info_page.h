// A pest's page on the product's pest-information site, which the Scan
// dialog and the Manage Quarantine dialog open when a pest's name is
// clicked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace olvex {

// The site's address: "QZPESTINFO_URL" of the URL table when it names a web
// page, else the built-in one (string 169).
std::string PestInfoBase();

// Opens the page of the pest (its name from the pest database) with the
// shell.
void OpenPestInfoPage(HWND owner, std::int32_t pest_id);

}  // namespace olvex
