#include "client/common/proxy_form.h"

#include <optional>

namespace olvex {
namespace {

constexpr std::uint32_t kHighestPort = 65535;

// A port of 1 to 65535 written in digits alone.
std::optional<std::int32_t> ReadPort(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > kHighestPort)
            return std::nullopt;
    }
    if (value == 0)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
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
    check.host = TrimBlanks(fields.host);
    check.account = TrimBlanks(fields.account);
    check.password = TrimBlanks(fields.password);
    if (check.host.empty() && check.account.empty() && check.password.empty()) {
        check.outcome = ProxyFormOutcome::kClear;
        return check;
    }
    if (check.host.empty()) {
        check.outcome = ProxyFormOutcome::kNoAddress;
        return check;
    }
    const auto port = ReadPort(TrimBlanks(fields.port));
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
