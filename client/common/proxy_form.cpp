#include "client/common/proxy_form.h"

#include "client/common/proxy_record.h"

#include <optional>

namespace olvex {
namespace {

// The field without blanks (spaces and tabs) on either side.
std::string_view TrimSpacesAndTabs(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

ProxyFormCheck CheckProxyForm(const ProxyFormFields& fields) {
    ProxyFormCheck check;
    check.host = std::string(TrimSpacesAndTabs(fields.host));
    check.account = std::string(TrimSpacesAndTabs(fields.account));
    check.password = std::string(TrimSpacesAndTabs(fields.password));
    if (check.host.empty() && check.account.empty() && check.password.empty()) {
        check.outcome = ProxyFormOutcome::kClear;
        return check;
    }
    if (check.host.empty()) {
        check.outcome = ProxyFormOutcome::kNoAddress;
        return check;
    }
    const auto port = ParsePort(TrimSpacesAndTabs(fields.port));
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
