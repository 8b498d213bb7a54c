#include "client/common/proxy_form.h"

#include <optional>

namespace olvex {
namespace {

// A port is digits only, 1 to 65535.
std::optional<std::int32_t> ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    std::int32_t port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

ProxyFormCheck CheckProxyForm(const ProxyFormFields& fields) {
    ProxyFormCheck check;
    check.host = std::string(TrimBlanks(fields.host));
    check.account = std::string(TrimBlanks(fields.account));
    check.password = std::string(TrimBlanks(fields.password));
    if (check.host.empty() && check.account.empty() && check.password.empty()) {
        check.outcome = ProxyFormOutcome::kClear;
        return check;
    }
    if (check.host.empty()) {
        check.outcome = ProxyFormOutcome::kNoAddress;
        return check;
    }
    const auto port = ParsePort(TrimBlanks(fields.port));
    if (!port) {
        check.outcome = ProxyFormOutcome::kBadPort;
        return check;
    }
    check.port = *port;
    check.outcome = ProxyFormOutcome::kSave;
    check.ask_about_blank_credential = check.account.empty() != check.password.empty();
    return check;
}

}  // namespace olvex
