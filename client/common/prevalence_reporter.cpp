#include "client/common/prevalence_reporter.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "client/common/client_environment.h"
#include "client/common/client_md5.h"
#include "client/common/prevalence_form.h"
#include "client/common/url_lookup.h"
#include "win/unique.h"

namespace olvex {
namespace {

constexpr DWORD kStatusUseProxy = 305;

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle Empty() { return nullptr; }
    static bool Owns(Handle handle) { return handle != nullptr; }
    static void Close(Handle handle) { InternetCloseHandle(handle); }
};
using InternetHandle = win::Unique<InternetHandleTraits>;

void SetTimeouts(HINTERNET handle) {
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD value = kPrevalencePostTimeoutMs;
        InternetSetOptionA(handle, option, &value, sizeof(value));
    }
}

std::string SystemCountry() {
    std::array<char, 64> country{};
    if (GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_SISO3166CTRYNAME, country.data(),
                       static_cast<int>(country.size())) == 0)
        return {};
    return country.data();
}

std::string RawHeaders(HINTERNET request) {
    DWORD size = 0;
    HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr);
    if (size == 0 || size > 1024 * 1024)
        return {};
    std::vector<char> text(size + 1, '\0');
    if (!HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &size, nullptr))
        return {};
    return std::string(text.data(), std::min<std::size_t>(size, text.size() - 1));
}

struct PostResult {
    DWORD status = 0;  // 0: no answer
    std::string raw_headers;
};

// One post: through the proxy when the settings name one (the request then
// names the whole address, as a proxy needs), else as the system is set up.
PostResult PostOnce(const HttpAddress& address, const CProxySettings& proxy,
                    const std::string& headers, const std::string& body) {
    PostResult result;
    InternetHandle session;
    if (proxy.HasProxy()) {
        const std::string server = "http=" + proxy.host() + ":" + std::to_string(proxy.port());
        session.reset(InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PROXY, server.c_str(), nullptr, 0));
    } else {
        session.reset(InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    }
    if (!session)
        return result;
    SetTimeouts(session.get());
    const InternetHandle connection(InternetConnectA(session.get(), address.host.c_str(),
                                                     address.port, nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection)
        return result;
    const DWORD flags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RELOAD |
                        INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    const InternetHandle request(HttpOpenRequestA(connection.get(), "POST", address.object.c_str(),
                                                  nullptr, nullptr, nullptr, flags, 0));
    if (!request)
        return result;
    if (!HttpAddRequestHeadersA(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE))
        return result;
    if (!HttpSendRequestA(request.get(), nullptr, 0, const_cast<char*>(body.data()),
                          static_cast<DWORD>(body.size())))
        return result;
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &size, nullptr))
        return result;
    result.status = status;
    if (status == kStatusUseProxy)
        result.raw_headers = RawHeaders(request.get());
    return result;
}

std::optional<std::string> RequestHeaders(const CProxySettings& proxy) {
    auto headers = HeaderLine("Content-Type", "application/x-www-form-urlencoded");
    if (headers && proxy.SendsCredentials()) {
        const auto authorization =
            HeaderLine("Proxy-Authorization", "Basic " + proxy.encoded_credentials());
        if (!authorization)
            return std::nullopt;
        *headers += *authorization;
    }
    return headers;
}

}  // namespace

int CPrevalenceReporter::ReportPest(const std::string& machine_id, std::int32_t pest_id,
                                    std::int32_t pvt, const std::string& pest_name,
                                    bool location_is_file, const std::string& location,
                                    CProxySettings* proxy_settings) const {
    if (proxy_settings == nullptr)
        return -1;
    PrevalenceForm form;
    form.pest_name = TrimBlanks(pest_name);
    form.location = TrimBlanks(location);
    form.pvt = pvt;
    if (location_is_file) {
        if (const auto digest = ClientMd5::DigestFile(form.location))
            form.md5 = BytesToHex(*digest);
    }
    form.machine_id = machine_id;
    form.country = SystemCountry();
    const SYSTEMTIME today = CurrentClientClock().LocalTime();
    form.date = FormatReportDate(today.wYear, today.wMonth, today.wDay);
    form.pest_id = pest_id;
    const std::string body = BuildPrevalenceFormBody(form);

    std::string url = kDefaultPrevalenceFormUrl;
    GetUrl(kPrevalenceFormUrlKey, url);
    const auto address = SplitHttpUrl(url);
    if (!address)
        return -1;

    for (int attempt = 0; attempt < kMaxPrevalencePostAttempts; ++attempt) {
        const auto headers = RequestHeaders(*proxy_settings);
        if (!headers)
            return -1;
        const PostResult post = PostOnce(*address, *proxy_settings, *headers, body);
        if (post.status >= 200 && post.status <= 299)
            return 0;
        if (post.status != kStatusUseProxy ||
            !proxy_settings->ApplyUseProxyAnswer(post.raw_headers))
            return -1;
    }
    return -1;
}

}  // namespace olvex
