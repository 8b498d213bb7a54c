// The HTTP proxy the client programs post and download through: host and
// port from the system's Internet settings when a proxy is set there, else
// from the user's own settings in the scrambled store "proxyinfo.dat" in the
// install folder (format: proxy_record.h), which also holds the account and
// password for the proxy's Basic authentication.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "client/common/proxy_record.h"

namespace olvex {

// The system's proxy list (e.g. "ftp=a:21 http=b:8080"), or nullopt when the
// system reaches the Internet without one. Tests replace it.
class SystemProxySource {
  public:
    virtual ~SystemProxySource() = default;
    virtual std::optional<std::string> ProxyList() const = 0;
};

// WinINet's view of the system settings.
const SystemProxySource& SystemInternetProxy();
const SystemProxySource& CurrentSystemProxySource();

class ScopedSystemProxySource {
  public:
    explicit ScopedSystemProxySource(const SystemProxySource& source);
    ~ScopedSystemProxySource();
    ScopedSystemProxySource(const ScopedSystemProxySource&) = delete;
    ScopedSystemProxySource& operator=(const ScopedSystemProxySource&) = delete;

  private:
    const SystemProxySource* previous_;
};

class CProxySettings {
  public:
    // Host and port from the system when it names an HTTP proxy (from_system
    // set), else from the store; account and password from the store. A
    // missing or damaged store leaves them empty.
    void Load(const std::string& folder, std::string_view file_name = kProxySettingsFileName);

    // Writes host, port, account and password to a fresh store, replacing the
    // old one only once it is complete. False when they cannot be stored
    // (texts too long) or the file cannot be written after 5 attempts.
    bool Save(const std::string& folder, std::string_view file_name = kProxySettingsFileName) const;

    // Takes host and port from a use-proxy (305) answer's raw headers; the
    // store is not changed. False (nothing changed) when it names no proxy.
    bool ApplyUseProxyAnswer(std::string_view raw_headers);

    // The user's entries. A host that cannot stand in a request is refused
    // (false, nothing changed); an empty host clears the proxy.
    bool SetProxy(std::string_view host, std::int32_t port);
    void SetCredentials(std::string_view account, std::string_view password);

    const std::string& host() const { return host_; }
    std::int32_t port() const { return port_; }
    const std::string& account() const { return account_; }
    const std::string& password() const { return password_; }
    // Base64 of account ":" password; empty unless both are given.
    const std::string& encoded_credentials() const { return encoded_credentials_; }
    bool from_system() const { return from_system_; }

    // A proxy is used: a host and a port above 0.
    bool HasProxy() const { return !host_.empty() && port_ > 0; }
    // Requests through the proxy carry "Proxy-Authorization: Basic ...".
    bool SendsCredentials() const { return HasProxy() && !encoded_credentials_.empty(); }

  private:
    std::string host_;
    std::int32_t port_ = 0;
    std::string account_;
    std::string password_;
    std::string encoded_credentials_;
    bool from_system_ = false;
};

}  // namespace olvex
