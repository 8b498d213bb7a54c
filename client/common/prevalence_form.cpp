#include "client/common/prevalence_form.h"

#include <cstdio>

#include "client/common/proxy_record.h"

namespace olvex {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool StaysAsIs(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '*' || c == ':';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void AppendField(std::string& body, std::string_view name, std::string_view value) {
    if (!body.empty())
        body += '&';
    body += name;
    body += '=';
    body += UrlEncode(value);
}

}  // namespace

std::string UrlEncode(std::string_view value) {
    std::string encoded;
    encoded.reserve(value.size());
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (StaysAsIs(byte)) {
            encoded += c;
        } else if (byte == ' ') {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += kHexDigits[byte >> 4];
            encoded += kHexDigits[byte & 0xF];
        }
    }
    return encoded;
}

std::string BuildPrevalenceFormBody(const PrevalenceForm& form) {
    std::string body;
    AppendField(body, "pnam", TrimBlanks(form.pest_name));
    AppendField(body, "ploc", TrimBlanks(form.location));
    AppendField(body, "pvt", std::to_string(form.pvt));
    AppendField(body, "md5", form.md5);
    AppendField(body, "mach", form.machine_id);
    AppendField(body, "ctry", form.country);
    AppendField(body, "psdate", form.date);
    AppendField(body, "pestid", std::to_string(form.pest_id));
    return body;
}

std::string BytesToHex(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const auto byte : bytes) {
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0xF];
    }
    return text;
}

std::string TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

std::string FormatReportDate(int year, int month, int day) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

std::optional<HttpAddress> SplitHttpUrl(std::string_view url) {
    constexpr std::string_view kScheme = "http://";
    if (url.size() < kScheme.size())
        return std::nullopt;
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        const char c = url[i] >= 'A' && url[i] <= 'Z' ? char(url[i] - 'A' + 'a') : url[i];
        if (c != kScheme[i])
            return std::nullopt;
    }
    url.remove_prefix(kScheme.size());
    const auto authority_end = url.find_first_of("/?#");
    const std::string_view authority = url.substr(0, authority_end);
    std::string_view object =
        authority_end == std::string_view::npos ? std::string_view() : url.substr(authority_end);
    object = object.substr(0, object.find('#'));  // a fragment is never sent

    HttpAddress address;
    const auto colon = authority.find(':');
    address.host = std::string(authority.substr(0, colon));
    if (!IsValidHostName(address.host))
        return std::nullopt;
    if (colon != std::string_view::npos) {
        const auto port_text = authority.substr(colon + 1);
        if (port_text.empty() || port_text.size() > 5)
            return std::nullopt;
        unsigned port = 0;
        for (const char c : port_text) {
            if (c < '0' || c > '9')
                return std::nullopt;
            port = port * 10 + static_cast<unsigned>(c - '0');
        }
        if (port < 1 || port > 65535)
            return std::nullopt;
        address.port = static_cast<std::uint16_t>(port);
    }
    for (const char c : object) {
        if (static_cast<unsigned char>(c) <= ' ')
            return std::nullopt;  // a request line cannot carry it
    }
    const std::string_view slash = object.empty() || object.front() == '?' ? "/" : "";
    address.object = std::string(slash) + std::string(object);
    return address;
}

std::optional<std::string> HeaderLine(std::string_view name, std::string_view value) {
    for (const std::string_view text : {name, value}) {
        if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
            return std::nullopt;
    }
    std::string line(name);
    line += ": ";
    line += value;
    line += "\r\n";
    return line;
}

}  // namespace olvex
