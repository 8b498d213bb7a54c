// Redirects and time limits of the downloader, free of the network: which
// answers redirect, where a Location header leads, and how many hops a
// request may take before it is given up. WinINet left to itself follows a
// redirect loop for ever, so the downloader follows redirects itself,
// through FollowRedirects.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace olvex {

// Hops a request may take after the first answer: enough for a moved file
// and a mirror, few enough that a loop ends at once.
inline constexpr int kMaxRedirects = 5;

// 301, 302, 303, 307 and 308.
bool IsRedirectStatus(std::uint32_t status);

// The absolute address a Location header leads to from base (an absolute
// http or https address): absolute, scheme-relative ("//host/path"),
// host-relative ("/path") or relative to base's folder. A fragment is
// dropped. Nothing for an empty location, another scheme, or a character
// that has no place in an address (controls, blanks).
std::optional<std::string> ResolveRedirect(const std::string& base, const std::string& location);

// One answer as the follower sees it.
struct HttpHop {
    std::uint32_t status = 0;
    std::string location;  // the Location header, empty when none
};

struct RedirectResult {
    bool ok = false;
    std::string url;    // the address whose answer was final (or failed)
    int redirects = 0;  // hops taken
    std::string error;  // when not ok and open gave an answer
};

// Opens url, and each address its redirects lead to, with open, which sends
// the request, keeps it, and answers its status and Location (nothing when
// the request failed: the caller has its own error text). Ends at the first
// answer that does not redirect; at most max_redirects hops are taken.
RedirectResult FollowRedirects(
    const std::string& url, int max_redirects,
    const std::function<std::optional<HttpHop>(const std::string&)>& open);

// Milliseconds a transfer of that many bytes may take in all: a minute, and
// a second more for each KB, as a link of a modem's speed needs.
std::uint64_t TransferTimeLimitMs(std::uint64_t bytes);

}  // namespace olvex
