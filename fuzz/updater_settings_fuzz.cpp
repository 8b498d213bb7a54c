// The updater's own files from hostile bytes: "qzv5upd.ini" always reads as
// one of the three procedures and a time, and what is written back reads the
// same; "updateurls.ini" never gives an address with a line break or
// trailing blanks in it, and the proxy window's fields never give a port
// outside 1 to 65535.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "client/common/proxy_form.h"
#include "client/update/updater_options.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void CheckUrl(const std::string& url) {
    Check(url.find('\n') == std::string::npos);
    Check(url.empty() || (url.back() != ' ' && url.back() != '\t' && url.back() != '\r'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const olvex::UpdaterSettings settings = olvex::ParseUpdaterSettings(text);
    const char procedure = static_cast<char>(settings.procedure);
    Check(procedure == '1' || procedure == '2' || procedure == '3');
    Check(olvex::ParseUpdaterSettings(olvex::FormatUpdaterSettings(settings)) == settings);

    if (const auto urls = olvex::ParseChannelUrls(text)) {
        CheckUrl(urls->core);
        CheckUrl(urls->program);
        CheckUrl(urls->suite);
    } else {
        Check(text.empty());
    }

    // The same bytes as four proxy fields, split at the first three zeros.
    olvex::ProxyFormFields fields;
    std::string* const parts[] = {&fields.host, &fields.port, &fields.account, &fields.password};
    std::size_t part = 0;
    for (const char c : text) {
        if (c == '\0' && part < 3)
            ++part;
        else
            parts[part]->push_back(c);
    }
    const olvex::ProxyFormCheck check = olvex::CheckProxyForm(fields);
    if (check.outcome == olvex::ProxyFormOutcome::kSave) {
        Check(check.port >= 1 && check.port <= 65535);
        Check(!check.host.empty());
    }
    return 0;
}
