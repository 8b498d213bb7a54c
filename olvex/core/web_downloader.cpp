#include "olvex/core/web_downloader.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <utility>

#include "olvex/core/http_redirect.h"

namespace olvex {
namespace {

constexpr char kAgent[] = "Gorsewatchv5";
constexpr DWORD kPieceSize = 4096;
constexpr DWORD kMaxConnectionsPerServer = 10;
// Milliseconds of a clock that never goes back.
std::uint64_t NowMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

// What a call without an expected size is allowed, for its time limit.
constexpr std::uint64_t kUnknownSizeBytes = 1024 * 1024;

void SetDwordOption(HINTERNET handle, DWORD option, DWORD value) {
    // A handle that does not take the option keeps WinINet's default.
    InternetSetOptionA(handle, option, &value, sizeof(value));
}

void ApplyTimeouts(HINTERNET handle, DWORD milliseconds) {
    SetDwordOption(handle, INTERNET_OPTION_CONNECT_TIMEOUT, milliseconds);
    SetDwordOption(handle, INTERNET_OPTION_SEND_TIMEOUT, milliseconds);
    SetDwordOption(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, milliseconds);
}

std::string Component(const char* text, DWORD length) {
    return text != nullptr ? std::string(text, length) : std::string();
}

// The name the progress reports show: the URL's last element.
std::string DisplayName(const std::string& url) {
    const auto slash = url.find_last_of("/\\");
    return slash == std::string::npos ? url : url.substr(slash + 1);
}

// Reads what has arrived, at most wanted bytes; 0 at the end of the body.
// A read of a whole piece would wait until the piece is full, however slowly
// the bytes come: no time limit could end it.
bool ReadArrived(HINTERNET request, std::uint8_t* buffer, DWORD wanted, DWORD& got) {
    got = 0;
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0))
        return false;
    if (available == 0)
        return true;
    return InternetReadFile(request, buffer, std::min(wanted, available), &got) != FALSE;
}

std::string HeaderText(HINTERNET request, DWORD query) {
    std::array<char, 2048> text{};
    DWORD size = static_cast<DWORD>(text.size());
    if (!HttpQueryInfoA(request, query, text.data(), &size, nullptr))
        return {};
    return std::string(text.data(), std::min<std::size_t>(size, text.size()));
}

std::optional<std::uint64_t> ContentLength(HINTERNET request) {
    std::array<char, 32> text{};
    DWORD size = static_cast<DWORD>(text.size());
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text.data(), &size, nullptr)) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const char* end = text.data() + std::min<std::size_t>(size, text.size());
    const auto [last, error] = std::from_chars(text.data(), end, length);
    if (error != std::errc() || last != end) {
        return std::nullopt;
    }
    return length;
}

// A file in the target's folder that receives a download and replaces the
// target only once it is complete; removed unless committed.
class TemporaryFile {
  public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        file_.reset();
        if (!name_.empty()) {
            DeleteFileA(name_.c_str());
        }
    }

    bool Create(const std::string& target) {
        const auto slash = target.find_last_of("/\\");
        const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
        std::array<char, MAX_PATH> name{};
        if (GetTempFileNameA(folder.c_str(), "olx", 0, name.data()) == 0) {
            return false;
        }
        name_ = name.data();
        HANDLE file = CreateFileA(name_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        file_.reset(file);
        return true;
    }

    bool Write(const std::uint8_t* bytes, DWORD count) {
        DWORD written = 0;
        return WriteFile(file_.get(), bytes, count, &written, nullptr) && written == count;
    }

    bool CommitAs(const std::string& target) {
        if (!CloseHandle(file_.release())) {
            return false;
        }
        if (!MoveFileExA(name_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            return false;
        }
        name_.clear();
        return true;
    }

  private:
    std::string name_;
    win::UniqueHandle file_;
};

}  // namespace

struct CWebDownloader::Request {
    // Declared in this order so the request handle closes before its connection.
    InternetHandle connection;
    InternetHandle request;
    DWORD status = 0;
    std::optional<std::uint64_t> content_length;
};

void CWebDownloader::InternetHandleTraits::Close(Handle handle) {
    InternetCloseHandle(handle);
}

CWebDownloader::CWebDownloader(const std::string& user, const std::string& password) {
    if (!user.empty() && !password.empty()) {
        user_ = user;
        password_ = password;
        has_credentials_ = true;
    }
    root_.reset(InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root_) {
        last_error_ = "Error obtaining network connectivity.";
        return;
    }
    DWORD state = 0;
    DWORD size = sizeof(state);
    if (!InternetQueryOptionA(root_.get(), INTERNET_OPTION_CONNECTED_STATE, &state, &size) ||
        state == 0) {
        last_error_ = "Connection to the internet is not established.";
        return;
    }
    SetDwordOption(root_.get(), INTERNET_OPTION_MAX_CONNS_PER_SERVER, kMaxConnectionsPerServer);
    SetDwordOption(root_.get(), INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, kMaxConnectionsPerServer);
    ApplyTimeouts(root_.get(), timeout_ms_);
    ready_ = true;
}

CWebDownloader::~CWebDownloader() = default;

void CWebDownloader::SetTimeout(std::uint32_t milliseconds) {
    timeout_ms_ = milliseconds;
    if (root_) {
        ApplyTimeouts(root_.get(), timeout_ms_);
    }
}

bool CWebDownloader::Fail(std::string text) {
    last_error_ = std::move(text);
    return false;
}

void CWebDownloader::StartClock(std::uint64_t expected_bytes) {
    const std::uint64_t limit =
        time_limit_ms_ > 0
            ? time_limit_ms_
            : TransferTimeLimitMs(expected_bytes > 0 ? expected_bytes : kUnknownSizeBytes);
    deadline_ = NowMs() + limit;
}

std::uint64_t CWebDownloader::RemainingMs() const {
    const std::uint64_t now = NowMs();
    return now >= deadline_ ? 0 : deadline_ - now;
}

bool CWebDownloader::TimeIsUp(const std::string& url) {
    if (RemainingMs() > 0)
        return false;
    Fail("Download from " + url + " took too long.");
    return true;
}

// Sends the request and follows its redirects ourselves: WinINet would
// follow a loop for ever. A final response whose status is not 2xx is a
// failure. With a range length, only the body's first range_length bytes
// are asked for, and 416 (an empty body has no first byte) is accepted too.
std::optional<CWebDownloader::Request> CWebDownloader::OpenUrl(const std::string& url,
                                                               std::size_t range_length) {
    std::optional<Request> request;
    const RedirectResult followed = FollowRedirects(
        url, kMaxRedirects, [&](const std::string& address) -> std::optional<HttpHop> {
            request.reset();
            if (TimeIsUp(url))
                return std::nullopt;
            request = OpenOnce(address, range_length);
            if (!request)
                return std::nullopt;
            HttpHop hop{request->status, {}};
            if (IsRedirectStatus(request->status))
                hop.location = HeaderText(request->request.get(), HTTP_QUERY_LOCATION);
            return hop;
        });
    if (!followed.ok) {
        if (!followed.error.empty())
            Fail(followed.error);
        return std::nullopt;
    }
    const bool empty_range = range_length > 0 && request->status == 416;
    if ((request->status < 200 || request->status > 299) && !empty_range) {
        Fail("Server returned HTTP status " + std::to_string(request->status) + " for " +
             followed.url);
        return std::nullopt;
    }
    request->content_length = ContentLength(request->request.get());
    return request;
}

// Connects and sends a GET for the URL, and reads the status.
std::optional<CWebDownloader::Request> CWebDownloader::OpenOnce(const std::string& url,
                                                                std::size_t range_length) {
    if (!root_) {
        return std::nullopt;  // the constructor's text stays
    }
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = 1;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts) || parts.dwHostNameLength == 0) {
        Fail("Error cracking provided URL ");
        return std::nullopt;
    }
    DWORD flags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RELOAD |
                  INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
        flags |= INTERNET_FLAG_SECURE;
    } else if (parts.nScheme != INTERNET_SCHEME_HTTP) {
        Fail("Protocol is not supported.");
        return std::nullopt;
    }
    const std::string host = Component(parts.lpszHostName, parts.dwHostNameLength);
    std::string object = Component(parts.lpszUrlPath, parts.dwUrlPathLength) +
                         Component(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    object = object.substr(0, object.find('#'));  // a fragment is never sent
    if (object.empty()) {
        object = "/";
    }

    Request request;
    request.connection.reset(InternetConnectA(root_.get(), host.c_str(), parts.nPort, nullptr,
                                              nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!request.connection) {
        Fail("Error connecting to " + url);
        return std::nullopt;
    }
    if (has_credentials_) {
        // The lengths count the terminating NUL.
        if (!InternetSetOptionA(request.connection.get(), INTERNET_OPTION_PROXY_USERNAME,
                                user_.data(), static_cast<DWORD>(user_.size() + 1)) ||
            !InternetSetOptionA(request.connection.get(), INTERNET_OPTION_PROXY_PASSWORD,
                                password_.data(), static_cast<DWORD>(password_.size() + 1))) {
            Fail("Error setting up proxy username/password ");
            return std::nullopt;
        }
    }
    request.request.reset(HttpOpenRequestA(request.connection.get(), "GET", object.c_str(), nullptr,
                                           nullptr, nullptr, flags, 0));
    if (!request.request) {
        Fail("Error connecting to " + url);
        return std::nullopt;
    }
    // WinINet does not pass the root handle's time-outs on to its requests
    // everywhere; none may outlast the call's own limit.
    ApplyTimeouts(request.request.get(),
                  static_cast<DWORD>(std::min<std::uint64_t>(timeout_ms_, RemainingMs() + 1)));

    std::string headers;
    if (range_length > 0) {
        headers = "Range: bytes=0-" + std::to_string(range_length - 1) + "\r\n";
    }
    if (!HttpSendRequestA(request.request.get(), headers.empty() ? nullptr : headers.c_str(),
                          static_cast<DWORD>(headers.size()), nullptr, 0)) {
        Fail("Error sending URL request to " + url);
        return std::nullopt;
    }
    DWORD size = sizeof(request.status);
    if (!HttpQueryInfoA(request.request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                        &request.status, &size, nullptr)) {
        Fail("Error sending URL request to " + url);
        return std::nullopt;
    }
    return request;
}

std::optional<std::vector<std::uint8_t>> CWebDownloader::ReadUrl(const std::string& url,
                                                                 std::size_t max_length) {
    StartClock(max_length);
    auto request = OpenUrl(url, max_length);
    if (!request) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> body;
    if (request->status == 416) {
        return body;
    }
    std::array<std::uint8_t, kPieceSize> piece{};
    for (;;) {
        std::size_t wanted = piece.size();
        if (max_length > 0) {
            wanted = std::min(wanted, max_length - body.size());
            if (wanted == 0) {
                return body;  // the limit: the rest is never read
            }
        }
        DWORD got = 0;
        if (!ReadArrived(request->request.get(), piece.data(), static_cast<DWORD>(wanted), got)) {
            if (!TimeIsUp(url))
                Fail("Error reading from " + url);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        body.insert(body.end(), piece.begin(), piece.begin() + got);
        if (TimeIsUp(url))
            return std::nullopt;
    }
    // WinINet ends a body quietly when the connection drops early.
    if (request->content_length && *request->content_length != body.size()) {
        Fail("Incomplete download from " + url);
        return std::nullopt;
    }
    return body;
}

bool CWebDownloader::DownloadToFile(const std::string& url, const std::string& path,
                                    std::uint32_t expected_size) {
    const std::string name = DisplayName(url);
    StartClock(expected_size);
    auto request = OpenUrl(url, 0);
    if (!request) {
        return false;
    }
    TemporaryFile file;
    if (!file.Create(path)) {
        return Fail("Error creating " + path);
    }
    if (callback_ != nullptr) {
        callback_->DownloadStarting(name, expected_size);
    }
    const auto receive = [&]() {
        std::array<std::uint8_t, kPieceSize> piece{};
        std::uint64_t received = 0;
        for (;;) {
            DWORD got = 0;
            if (!ReadArrived(request->request.get(), piece.data(), kPieceSize, got)) {
                return TimeIsUp(url) ? false : Fail("Error reading from " + url);
            }
            if (got == 0) {
                break;
            }
            if (expected_size > 0 && received + got > expected_size) {
                return Fail("Download from " + url + " is larger than the expected " +
                            std::to_string(expected_size) + " bytes.");
            }
            if (!file.Write(piece.data(), got)) {
                return Fail("Error writing " + path);
            }
            received += got;
            if (callback_ != nullptr &&
                !callback_->DownloadProgress(name, received, expected_size)) {
                return Fail("Download from " + url + " was cancelled.");
            }
            if (TimeIsUp(url))
                return false;
        }
        if (request->content_length && *request->content_length != received) {
            return Fail("Incomplete download from " + url);
        }
        return true;
    };
    const bool received = receive();
    if (callback_ != nullptr) {
        callback_->DownloadFinished(name, expected_size);
    }
    request.reset();
    if (!received) {
        return false;
    }
    if (!file.CommitAs(path)) {
        return Fail("Error creating " + path);
    }
    return true;
}

}  // namespace olvex
