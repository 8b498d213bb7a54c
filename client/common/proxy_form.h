// What the proxy dialog's OK makes of its four fields: the texts trimmed of
// blanks on both sides, the port read as a whole unsigned number. Free of the
// window system so that the rules are checked natively; the dialog itself is
// client/common/ui/proxy_dialog.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace olvex {

struct ProxyFormFields {
    std::string host;
    std::string port;  // as typed
    std::string account;
    std::string password;
};

enum class ProxyFormOutcome {
    kClear,      // address, account and password all empty: forget the proxy
    kNoAddress,  // an account or password but no address
    kBadPort,    // port 0, above 65535, or not a number ("80x" too)
    kSave,       // store the values
};

struct ProxyFormCheck {
    ProxyFormOutcome outcome = ProxyFormOutcome::kClear;
    // kSave: exactly one of account and password is empty; the user is asked
    // whether that is meant before anything is stored.
    bool ask_about_blank_credential = false;
    std::string host;
    std::int32_t port = 0;
    std::string account;
    std::string password;
};

ProxyFormCheck CheckProxyForm(const ProxyFormFields& fields);

}  // namespace olvex
