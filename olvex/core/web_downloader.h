// HTTP and HTTPS downloads over WinINet for the updater and the remote loading
// of definitions: a whole body into memory (ReadUrl) or into a file
// (DownloadToFile). Failures leave a text in LastError().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "win/unique.h"

namespace olvex {

// What DownloadToFile reports while it runs; the updater passes these on to
// its client's callback.
class DownloadCallback {
  public:
    virtual ~DownloadCallback() = default;
    virtual void DownloadStarting(const std::string& name, std::uint32_t expected_size) = 0;
    // After each piece written; received counts the bytes in the file so far.
    // Answering false cancels the download.
    virtual bool DownloadProgress(const std::string& name, std::uint64_t received,
                                  std::uint32_t expected_size) = 0;
    // Also after a failed or cancelled download.
    virtual void DownloadFinished(const std::string& name, std::uint32_t expected_size) = 0;
};

class CWebDownloader {
  public:
    static constexpr std::uint32_t kDefaultTimeoutMs = 60000;

    // The proxy credentials are used only when both are given (non-empty).
    explicit CWebDownloader(const std::string& user = {}, const std::string& password = {});
    ~CWebDownloader();
    CWebDownloader(const CWebDownloader&) = delete;
    CWebDownloader& operator=(const CWebDownloader&) = delete;

    // False when WinINet could not be opened or the machine reports no
    // connection; LastError() says which.
    bool IsReady() const { return ready_; }
    // Empty until something failed.
    const std::string& LastError() const { return last_error_; }

    // The callback DownloadToFile reports to; null for none. Not owned.
    void SetCallback(DownloadCallback* callback) { callback_ = callback; }
    // Time-out for connecting, sending and each read.
    void SetTimeout(std::uint32_t milliseconds);
    // How long one ReadUrl or DownloadToFile may take in all, redirects
    // included; 0 (the default) gives a limit by the size expected
    // (TransferTimeLimitMs), so that a body dripped slowly still ends.
    void SetTimeLimit(std::uint64_t milliseconds) { time_limit_ms_ = milliseconds; }

    // Redirects are followed up to kMaxRedirects hops (http_redirect.h).

    // The response body. With a maximum, only the first max_length bytes are
    // asked for (a Range request) and read; a longer body is cut there.
    std::optional<std::vector<std::uint8_t>> ReadUrl(const std::string& url,
                                                     std::size_t max_length = 0);

    // Writes the response body to path. The body goes to a temporary file in
    // the same folder that replaces path only when the download is complete;
    // on failure or cancel, path is left as it was. With an expected size
    // (non-zero), a longer body fails.
    bool DownloadToFile(const std::string& url, const std::string& path,
                        std::uint32_t expected_size);

  private:
    // WinINet's handles, closed with InternetCloseHandle.
    struct InternetHandleTraits {
        using Handle = void*;
        static Handle Empty() { return nullptr; }
        static bool Owns(Handle handle) { return handle != nullptr; }
        static void Close(Handle handle);
    };
    using InternetHandle = win::Unique<InternetHandleTraits>;
    struct Request;

    // Follows redirects to the final answer.
    std::optional<Request> OpenUrl(const std::string& url, std::size_t range_length);
    // One request, redirects not followed.
    std::optional<Request> OpenOnce(const std::string& url, std::size_t range_length);
    bool Fail(std::string text);
    // The call's overall limit starts; how much of it is left (0 once spent).
    void StartClock(std::uint64_t expected_bytes);
    std::uint64_t RemainingMs() const;
    bool TimeIsUp(const std::string& url);

    InternetHandle root_;
    std::string user_;
    std::string password_;
    bool has_credentials_ = false;
    bool ready_ = false;
    std::uint32_t timeout_ms_ = kDefaultTimeoutMs;
    std::uint64_t time_limit_ms_ = 0;
    std::uint64_t deadline_ = 0;  // of a steady clock, in milliseconds
    std::string last_error_;
    DownloadCallback* callback_ = nullptr;
};

}  // namespace olvex
