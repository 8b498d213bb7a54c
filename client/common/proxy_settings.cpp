#include "client/common/proxy_settings.h"

#include <windows.h>
#include <wininet.h>

#include <array>
#include <atomic>
#include <cstring>
#include <vector>

#include "client/common/client_environment.h"
#include "olvex/core/file_io.h"

namespace olvex {
namespace {

constexpr DWORD kProxyInfoBytes = 4096;

class WinInetProxy final : public SystemProxySource {
  public:
    std::optional<std::string> ProxyList() const override {
        // INTERNET_PROXY_INFO followed by the texts it points to.
        alignas(INTERNET_PROXY_INFO) std::array<char, kProxyInfoBytes> buffer{};
        DWORD size = static_cast<DWORD>(buffer.size());
        if (!InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, buffer.data(), &size) ||
            size < sizeof(INTERNET_PROXY_INFO))
            return std::nullopt;
        INTERNET_PROXY_INFO info;
        std::memcpy(&info, buffer.data(), sizeof(info));
        if (info.dwAccessType != INTERNET_OPEN_TYPE_PROXY || info.lpszProxy == nullptr)
            return std::nullopt;
        const auto* text = reinterpret_cast<const char*>(info.lpszProxy);
        // The list lies inside the buffer; it is read no further than its end.
        if (text >= buffer.data() && text < buffer.data() + buffer.size())
            return std::string(text, strnlen(text, buffer.data() + buffer.size() - text));
        return std::string(text);
    }
};

const SystemProxySource* g_source = nullptr;

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::uint64_t RandomSeed() {
    static std::atomic<std::uint64_t> counter{0};
    LARGE_INTEGER ticks{};
    QueryPerformanceCounter(&ticks);
    return (static_cast<std::uint64_t>(ticks.QuadPart) << 20) ^
           (static_cast<std::uint64_t>(GetCurrentProcessId()) << 8) ^ counter++;
}

}  // namespace

const SystemProxySource& SystemInternetProxy() {
    static const WinInetProxy proxy;
    return proxy;
}

const SystemProxySource& CurrentSystemProxySource() {
    return g_source != nullptr ? *g_source : SystemInternetProxy();
}

ScopedSystemProxySource::ScopedSystemProxySource(const SystemProxySource& source)
    : previous_(g_source) {
    g_source = &source;
}

ScopedSystemProxySource::~ScopedSystemProxySource() {
    g_source = previous_;
}

void CProxySettings::Load(const std::string& folder, std::string_view file_name) {
    from_system_ = false;
    if (const auto list = CurrentSystemProxySource().ProxyList()) {
        if (const auto address = ParseSystemProxyList(*list)) {
            host_ = address->host;
            port_ = address->port;
            from_system_ = true;
        }
    }

    const std::string path = JoinPath(folder, file_name);
    std::optional<ProxyRecord> record;
    RetryWithBackoff(kReadAttempts, [&] {
        const auto file = ReadWholeFile(path, 64 * 1024);
        if (file.error == FileError::kNotFound && !FileExists(path))
            return AttemptResult::kGiveUp;  // no store: nothing to wait for
        if (file.error == FileError::kTooLarge)
            return AttemptResult::kGiveUp;
        if (!file)
            return AttemptResult::kRetry;
        record = DecodeProxyRecord(file.bytes);
        return AttemptResult::kDone;
    });

    if (!from_system_) {
        host_.clear();
        port_ = 0;
        // A stored host that could not stand in a request is no proxy.
        if (record && IsValidHostName(record->host) && record->port > 0 && record->port <= 65535) {
            host_ = record->host;
            port_ = record->port;
        }
    }
    SetCredentials(record ? record->account : std::string(),
                   record ? record->password : std::string());
}

bool CProxySettings::Save(const std::string& folder, std::string_view file_name) const {
    const auto stored = EncodeProxyRecord({host_, port_, account_, password_}, RandomSeed());
    if (!stored)
        return false;
    const std::string path = JoinPath(folder, file_name);
    return RetryWithBackoff(kReadAttempts, [&] {
        if (!IsFolder(folder))
            return AttemptResult::kGiveUp;
        return WriteWholeFile(path, *stored, true) == FileError::kNone ? AttemptResult::kDone
                                                                       : AttemptResult::kRetry;
    });
}

bool CProxySettings::ApplyUseProxyAnswer(std::string_view raw_headers) {
    const auto address = ParseUseProxyAnswer(raw_headers);
    if (!address)
        return false;
    host_ = address->host;
    port_ = address->port;
    return true;
}

bool CProxySettings::SetProxy(std::string_view host, std::int32_t port) {
    if (host.empty()) {
        host_.clear();
        port_ = 0;
        return true;
    }
    if (!IsValidHostName(host) || port < 1 || port > 65535)
        return false;
    host_ = std::string(host);
    port_ = port;
    return true;
}

void CProxySettings::SetCredentials(std::string_view account, std::string_view password) {
    account_ = std::string(account);
    password_ = std::string(password);
    encoded_credentials_ = BasicCredentials(account_, password_);
}

}  // namespace olvex
