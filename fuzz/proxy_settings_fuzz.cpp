// The proxy settings store and the proxy texts from hostile bytes: a record
// that decodes is stored again as the same settings, every host that comes
// out of a system list, a use-proxy answer or a form address is one that can
// stand in a request, and form values never leave their field.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "client/common/prevalence_form.h"
#include "client/common/proxy_record.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void CheckAddress(const std::optional<olvex::ProxyAddress>& address) {
    if (!address)
        return;
    Check(olvex::IsValidHostName(address->host));
    Check(address->port >= 1 && address->port <= 65535);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto record = olvex::DecodeProxyRecord(input)) {
        const auto stored = olvex::EncodeProxyRecord(*record, size);
        Check(stored.has_value() && stored->size() == olvex::kProxyRecordBytes);
        Check(olvex::DecodeProxyRecord(*stored) == record);
    }

    CheckAddress(olvex::ParseSystemProxyList(text));
    CheckAddress(olvex::ParseUseProxyAnswer(text));
    if (const auto address = olvex::SplitHttpUrl(text)) {
        Check(olvex::IsValidHostName(address->host) && address->port >= 1);
        Check(!address->object.empty() && address->object.front() == '/');
        Check(address->object.find_first_of(std::string_view("\r\n \0", 4)) == std::string::npos);
    }

    const std::string encoded = olvex::UrlEncode(text);
    Check(encoded.find_first_of("&=\r\n \0") == std::string::npos);
    Check(encoded.size() <= 3 * size);
    const auto credentials = olvex::Base64Encode(input);
    Check(credentials.size() == (size + 2) / 3 * 4);
    Check(olvex::HeaderLine("Proxy-Authorization", "Basic " + credentials).has_value());
    if (olvex::HeaderLine("X", text))
        Check(text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos);
    return 0;
}
