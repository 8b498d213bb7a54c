// The client programs' lookup in the install folder's URL table "URLs.ini"
// (url_table.h): the table is decoded in memory, never on disk, so no other
// program and no crash can find it decoded.
#pragma once

#include <string>
#include <string_view>

namespace olvex {

// True when the table could be read (its check held and it is not empty);
// address is set only when a line holds key. A table another program holds
// open is read again up to 5 times. On false the caller uses its built-in
// address.
bool GetUrl(std::string_view key, std::string& address);

// The web address to open for key: the table's when it is an "http://" or
// "https://" address (ChooseLinkAddress), else built_in.
std::string GetWebAddress(std::string_view key, std::string_view built_in);

}  // namespace olvex
