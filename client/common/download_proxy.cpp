#include "client/common/download_proxy.h"

#include <windows.h>
#include <wininet.h>

#include <mutex>
#include <vector>

namespace olvex {
namespace {

// Wine's WinINet takes the process-wide proxy option but lets the system's
// settings override it even when they name no proxy; it honours the
// process's "http_proxy" instead (Windows ignores that variable).
constexpr char kProxyVariable[] = "http_proxy";
// Wine's WinINet reads the variable through the C runtime DLL it is built
// on, whose copy of the environment is taken at its first read (our own
// proxy lookup at start-up reads it already): it is set there too.
constexpr char kWinInetRuntime[] = "ucrtbase.dll";

struct Routing {
    std::mutex lock;
    bool routed = false;
    std::optional<std::string> previous_variable;  // as the process started with it
};

Routing& State() {
    static Routing routing;
    return routing;
}

std::optional<std::string> Variable(const char* name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0)
        return std::nullopt;
    std::vector<char> value(size);
    const DWORD length = GetEnvironmentVariableA(name, value.data(), size);
    if (length == 0 || length >= size)
        return std::nullopt;
    return std::string(value.data(), length);
}

bool SetProcessProxy(DWORD access_type, const char* proxy) {
    INTERNET_PROXY_INFO info{};
    info.dwAccessType = access_type;
    info.lpszProxy = reinterpret_cast<LPCTSTR>(proxy);
    info.lpszProxyBypass = nullptr;
    return InternetSetOptionA(nullptr, INTERNET_OPTION_PROXY, &info, sizeof(info)) != FALSE;
}

// Null removes the variable.
void SetProxyVariable(const char* value) {
    SetEnvironmentVariableA(kProxyVariable, value);
    const HMODULE runtime = GetModuleHandleA(kWinInetRuntime);
    if (runtime == nullptr)
        return;
    using PutEnvironment = int(__cdecl*)(const char*, const char*);
    const auto put = reinterpret_cast<PutEnvironment>(
        reinterpret_cast<void*>(GetProcAddress(runtime, "_putenv_s")));
    if (put != nullptr)
        put(kProxyVariable, value != nullptr ? value : "");
}

void Unroute(Routing& routing) {
    if (!routing.routed)
        return;
    SetProcessProxy(INTERNET_OPEN_TYPE_PRECONFIG, nullptr);
    SetProxyVariable(routing.previous_variable ? routing.previous_variable->c_str() : nullptr);
    routing.routed = false;
}

}  // namespace

std::optional<std::string> OwnDownloadProxy(const CProxySettings& settings) {
    if (settings.from_system() || !settings.HasProxy())
        return std::nullopt;
    return settings.host() + ":" + std::to_string(settings.port());
}

void RouteDownloadsThroughProxy(const CProxySettings& settings) {
    Routing& routing = State();
    const std::lock_guard guard(routing.lock);
    const auto proxy = OwnDownloadProxy(settings);
    if (!proxy) {
        Unroute(routing);
        return;
    }
    if (!routing.routed)
        routing.previous_variable = Variable(kProxyVariable);
    SetProcessProxy(INTERNET_OPEN_TYPE_PROXY, proxy->c_str());
    SetProxyVariable(proxy->c_str());
    routing.routed = true;
}

void EndDownloadProxyRouting() {
    Routing& routing = State();
    const std::lock_guard guard(routing.lock);
    Unroute(routing);
}

}  // namespace olvex
