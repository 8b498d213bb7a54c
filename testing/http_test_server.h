// The test side of testing/http_server.py: a test registered with
// olvex_add_test(... HTTP_SERVER) runs with a server of its own on 127.0.0.1,
// and this class finds it through the environment, puts files in its folder,
// sets its rules and reads what requests arrived.
//
//     HttpTestServer server;                    // one per test
//     ASSERT_TRUE(server.Available()) << HttpTestServer::kHowToRun;
//     server.Serve("defs/qzinfo.dat", bytes);   // served as /defs/qzinfo.dat
//     Fetch(server.Url("/@status=500/defs/qzinfo.dat"));
//     server.SetRules("/defs/qzfile.dat cut=100\n");
//     auto requests = server.Requests();        // this test's requests only
//
// The object starts with an empty request log and removes the files it served
// and its rules when it goes. The behaviours ("@status=", "@cut=", ...) are
// listed at the top of testing/http_server.py.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifdef _WIN32
#include "testing/windows_test_support.h"
#endif

namespace olvex::testing {

struct RecordedRequest {
    std::string method;
    std::string target;  // as sent: path and query, or a whole URL through a proxy
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
    std::string body;

    // The first header of that name (any case).
    std::optional<std::string> Header(std::string_view name) const {
        for (const auto& [key, value] : headers) {
            if (key.size() == name.size() &&
                std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                })) {
                return value;
            }
        }
        return std::nullopt;
    }
};

// What a form parser makes of a request body: split at "&", then at the first "=",
// then "+" as a blank and "%XX" as its byte.
inline std::vector<std::pair<std::string, std::string>> ParseForm(std::string_view body) {
    auto decode = [](std::string_view text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '+') {
                out += ' ';
            } else if (text[i] == '%' && i + 2 < text.size()) {
                out +=
                    static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
                i += 2;
            } else {
                out += text[i];
            }
        }
        return out;
    };
    std::vector<std::pair<std::string, std::string>> fields;
    std::size_t at = 0;
    while (at <= body.size()) {
        auto end = body.find('&', at);
        if (end == std::string_view::npos)
            end = body.size();
        const auto field = body.substr(at, end - at);
        const auto equals = field.find('=');
        fields.emplace_back(
            decode(field.substr(0, equals)),
            equals == std::string_view::npos ? "" : decode(field.substr(equals + 1)));
        at = end + 1;
    }
    return fields;
}

// The body the server generates for "@bytes=N": byte i is i % 251.
inline std::vector<std::uint8_t> PatternBytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i % 251);
    }
    return bytes;
}

class HttpTestServer {
  public:
    static constexpr const char* kHowToRun =
        "no test HTTP server: register the test with olvex_add_test(... HTTP_SERVER), or run it "
        "through testing/http_server.py --run -- <test>";

    HttpTestServer() {
        const char* port = std::getenv("OLVEX_HTTP_PORT");
        const char* root = std::getenv("OLVEX_HTTP_ROOT");
        const char* log = std::getenv("OLVEX_HTTP_LOG");
        const char* control = std::getenv("OLVEX_HTTP_CONTROL");
        if (port == nullptr || root == nullptr || log == nullptr || control == nullptr) {
            return;
        }
        port_ = std::atoi(port);
        root_ = Reachable(root);
        log_ = Reachable(log);
        control_ = Reachable(control);
        std::ofstream(log_, std::ios::binary | std::ios::trunc);
    }
    ~HttpTestServer() {
        std::error_code ignored;
        for (const auto& file : served_) {
            std::filesystem::remove(file, ignored);
        }
        if (Available()) {
            std::filesystem::remove(control_, ignored);
        }
    }
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    bool Available() const { return port_ > 0; }
    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by the path (which starts with "/").
    std::string Url(std::string_view path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
    }
    // The served folder, as this process reaches it.
    const std::filesystem::path& root() const { return root_; }

    // Writes a file into the served folder ("a/b.dat" is served as /a/b.dat).
    std::filesystem::path Serve(std::string_view name, const std::vector<std::uint8_t>& bytes) {
        const auto full = root_ / std::filesystem::path(std::string(name)).relative_path();
        std::filesystem::create_directories(full.parent_path());
        std::ofstream out(full, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        served_.push_back(full);
        return full;
    }
    std::filesystem::path Serve(std::string_view name, std::string_view text) {
        return Serve(name, std::vector<std::uint8_t>(text.begin(), text.end()));
    }

    // Replaces the rules: lines of "<path> <directive> ..." (directives without "@").
    void SetRules(std::string_view rules) const {
        std::ofstream(control_, std::ios::binary | std::ios::trunc)
            .write(rules.data(), static_cast<std::streamsize>(rules.size()));
    }

    // The requests that arrived since this object was made, in order.
    std::vector<RecordedRequest> Requests() const {
        std::ifstream in(log_, std::ios::binary);
        const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::vector<RecordedRequest> requests;
        std::size_t pos = 0;
        const auto next_line = [&]() -> std::optional<std::string> {
            const auto end = log.find('\n', pos);
            if (end == std::string::npos) {
                return std::nullopt;
            }
            std::string line = log.substr(pos, end - pos);
            pos = end + 1;
            return line;
        };
        while (auto line = next_line()) {
            if (*line != "request") {
                break;
            }
            RecordedRequest request;
            bool complete = false;
            while (auto field = next_line()) {
                if (field->rfind("line ", 0) == 0) {
                    const std::string text = field->substr(5);
                    const auto first = text.find(' ');
                    const auto last = text.rfind(' ');
                    request.method = text.substr(0, first);
                    if (first != std::string::npos && last > first) {
                        request.target = text.substr(first + 1, last - first - 1);
                        request.version = text.substr(last + 1);
                    }
                } else if (field->rfind("header ", 0) == 0) {
                    const std::string text = field->substr(7);
                    const auto colon = text.find(": ");
                    request.headers.emplace_back(
                        text.substr(0, colon),
                        colon == std::string::npos ? std::string() : text.substr(colon + 2));
                } else if (field->rfind("body ", 0) == 0) {
                    const auto size = static_cast<std::size_t>(std::stoull(field->substr(5)));
                    if (size >= log.size() - pos) {
                        break;
                    }
                    request.body = log.substr(pos, size);
                    pos += size + 1;  // the body's bytes and their line end
                    complete = next_line() == std::optional<std::string>("end");
                    break;
                }
            }
            if (!complete) {
                break;
            }
            requests.push_back(std::move(request));
        }
        return requests;
    }

  private:
    // The environment names Unix paths; a Windows program under Wine reaches
    // them through the Z: drive (or the root its runner names).
    static std::filesystem::path Reachable(const std::string& unix_path) {
#ifdef _WIN32
        return WindowsPath(unix_path);
#else
        return unix_path;
#endif
    }

    int port_ = 0;
    std::filesystem::path root_;
    std::filesystem::path log_;
    std::filesystem::path control_;
    std::vector<std::filesystem::path> served_;
};

}  // namespace olvex::testing
