// The prevalence report form: the fields of one anonymous detection report,
// encoded as application/x-www-form-urlencoded, and the small texts around
// the post (form address, header lines).
//
// Every value is percent-encoded on its own and the fields are joined with
// real "&" afterwards, so no value, whatever it holds ("&", "=", "%", line
// breaks, bytes above 127), can end its field or add one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace olvex {

struct PrevalenceForm {
    std::string pest_name;  // sent without leading and trailing blanks
    std::string location;   // likewise
    std::int32_t pvt = -1;
    std::string md5;  // 32 upper-case hex digits, or empty
    std::string machine_id;
    std::string country;  // ISO 3166 country name of the system locale
    std::string date;     // "YYYY-MM-DD", local
    std::int32_t pest_id = -1;
};

// A form value: letters, digits and "-_.*:" stay, a blank becomes "+", every
// other byte "%XX" in upper-case hex.
std::string UrlEncode(std::string_view value);

// "pnam=...&ploc=...&pvt=...&md5=...&mach=...&ctry=...&psdate=...&pestid=...".
std::string BuildPrevalenceFormBody(const PrevalenceForm& form);

// Two upper-case hex digits per byte, high nibble first.
std::string BytesToHex(std::span<const std::uint8_t> bytes);

// The text without leading and trailing blanks, tabs and line breaks.
std::string TrimBlanks(std::string_view text);

// "%04d-%02d-%02d".
std::string FormatReportDate(int year, int month, int day);

struct HttpAddress {
    std::string host;
    std::uint16_t port = 80;
    std::string object;  // path and query, "/" at least
};

// An "http://host[:port][/object]" address; nullopt for any other scheme,
// user information, an invalid host or port.
std::optional<HttpAddress> SplitHttpUrl(std::string_view url);

// "name: value\r\n"; nullopt when the value holds a line break or a zero
// byte, which would end the header and start another.
std::optional<std::string> HeaderLine(std::string_view name, std::string_view value);

}  // namespace olvex
