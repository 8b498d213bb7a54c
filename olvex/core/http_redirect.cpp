#include "olvex/core/http_redirect.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace olvex {
namespace {

constexpr std::uint64_t kBaseTimeMs = 60000;
constexpr std::uint64_t kBytesPerSecond = 1024;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "http:" or "https:" (lower case), or nothing when the text begins with
// another scheme; an empty text when it begins with none.
std::optional<std::string> SchemeOf(const std::string& text) {
    const auto colon = text.find(':');
    const auto slash = text.find('/');
    if (colon == std::string::npos || (slash != std::string::npos && slash < colon))
        return std::string();
    const std::string scheme = Lower(text.substr(0, colon + 1));
    if (scheme == "http:" || scheme == "https:")
        return scheme;
    return std::nullopt;
}

bool FitsInAnAddress(const std::string& text) {
    return std::none_of(text.begin(), text.end(),
                        [](unsigned char c) { return c <= 0x20 || c == 0x7f; });
}

}  // namespace

bool IsRedirectStatus(std::uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<std::string> ResolveRedirect(const std::string& base, const std::string& location) {
    std::string target = location.substr(0, location.find('#'));
    if (target.empty() || !FitsInAnAddress(target))
        return std::nullopt;
    const auto base_scheme = SchemeOf(base);
    if (!base_scheme || base_scheme->empty() || base.compare(base_scheme->size(), 2, "//") != 0)
        return std::nullopt;
    const auto target_scheme = SchemeOf(target);
    if (!target_scheme)
        return std::nullopt;
    if (!target_scheme->empty()) {
        // Absolute: it needs a host of its own.
        if (target.compare(target_scheme->size(), 2, "//") != 0 ||
            target.size() == target_scheme->size() + 2)
            return std::nullopt;
        return target;
    }
    if (target.rfind("//", 0) == 0)
        return target.size() > 2 ? std::optional(*base_scheme + target) : std::nullopt;
    // The base's scheme and host, and its path without query.
    const std::size_t host_start = base_scheme->size() + 2;
    const std::size_t path_start = std::min(base.find_first_of("/?#", host_start), base.size());
    const std::string origin = base.substr(0, path_start);
    if (target.front() == '/')
        return origin + target;
    std::string path = base.substr(path_start);
    path = path.substr(0, path.find_first_of("?#"));
    const auto last_slash = path.rfind('/');
    const std::string folder =
        last_slash == std::string::npos ? "/" : path.substr(0, last_slash + 1);
    if (target.front() == '?')
        return origin + (path.empty() ? "/" : path) + target;
    return origin + folder + target;
}

RedirectResult FollowRedirects(
    const std::string& url, int max_redirects,
    const std::function<std::optional<HttpHop>(const std::string&)>& open) {
    RedirectResult result;
    result.url = url;
    for (;;) {
        const auto hop = open(result.url);
        if (!hop)
            return result;
        if (!IsRedirectStatus(hop->status)) {
            result.ok = true;
            return result;
        }
        if (result.redirects >= max_redirects) {
            result.error = "Too many redirects from " + url;
            return result;
        }
        const auto next = ResolveRedirect(result.url, hop->location);
        if (!next) {
            result.error =
                "Bad redirect (HTTP status " + std::to_string(hop->status) + ") from " + result.url;
            return result;
        }
        result.url = *next;
        ++result.redirects;
    }
}

std::uint64_t TransferTimeLimitMs(std::uint64_t bytes) {
    const std::uint64_t seconds = bytes / kBytesPerSecond + 1;
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max() / 2000;
    return kBaseTimeMs + std::min(seconds, most) * 1000;
}

}  // namespace olvex
