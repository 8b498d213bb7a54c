// The proxy the engine's downloads go through. The engine opens its WinINet
// sessions with the system's (preconfigured) settings and its published
// interface takes no proxy address, so a proxy the user typed into the proxy
// dialog reaches its downloads only as this process's own WinINet proxy. The
// system's settings are never changed: another program keeps seeing them.
#pragma once

#include <optional>
#include <string>

#include "client/common/proxy_settings.h"

namespace olvex {

// The "host:port" this process's downloads are routed through: the user's
// own proxy when the system names none; nullopt (the system's settings, a
// proxy of their own or none) otherwise.
std::optional<std::string> OwnDownloadProxy(const CProxySettings& settings);

// Routes the WinINet sessions this process opens from now on with the
// preconfigured settings through OwnDownloadProxy, or back to the system's
// settings when it is nullopt. Call it before the engine's updaters are
// initialised (they open their sessions then).
void RouteDownloadsThroughProxy(const CProxySettings& settings);

// Takes the routing away again before another program is started, so that
// it inherits nothing of it.
void EndDownloadProxyRouting();

}  // namespace olvex
