#include "olvex/core/http_redirect.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace olvex {
namespace {

TEST(HttpRedirectTest, ResolvesEveryFormOfLocation) {
    struct Case {
        const char* base;
        const char* location;
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {"http://h:8080/u/core/qzmaster.dat", "http://mirror/x/qzmaster.dat",
         "http://mirror/x/qzmaster.dat"},
        {"http://h/a", "HTTPS://mirror/b", "HTTPS://mirror/b"},
        {"https://h/a", "//mirror:81/b?c=1", "https://mirror:81/b?c=1"},
        {"http://h:8080/u/core/qzmaster.dat?v=1", "/moved/qzmaster.dat",
         "http://h:8080/moved/qzmaster.dat"},
        {"http://h:8080/u/core/qzmaster.dat?v=1#f", "next.dat", "http://h:8080/u/core/next.dat"},
        {"http://h:8080/u/core/", "../x.dat", "http://h:8080/u/core/../x.dat"},
        {"http://h:8080", "x.dat", "http://h:8080/x.dat"},
        {"http://h:8080?q", "/x.dat", "http://h:8080/x.dat"},
        {"http://h/a/b.dat", "?v=2", "http://h/a/b.dat?v=2"},
        {"http://h/a/b.dat", "c.dat#part", "http://h/a/c.dat"},
        {"http://h/a/b.dat", "", nullptr},
        {"http://h/a/b.dat", "#only", nullptr},
        {"http://h/a/b.dat", "ftp://h/x", nullptr},
        {"http://h/a/b.dat", "file:///c:/windows/x", nullptr},
        {"http://h/a/b.dat", "javascript:alert(1)", nullptr},
        {"http://h/a/b.dat", "http://", nullptr},
        {"http://h/a/b.dat", "http:/x", nullptr},
        {"http://h/a/b.dat", "//", nullptr},
        {"http://h/a/b.dat", "/a b", nullptr},
        {"http://h/a/b.dat", "/a\r\nX-Evil: 1", nullptr},
        {"ftp://h/a", "/b", nullptr},
        {"not a url", "/b", nullptr},
    };
    for (const Case& c : cases) {
        const auto resolved = ResolveRedirect(c.base, c.location);
        if (c.expected == nullptr) {
            EXPECT_FALSE(resolved) << c.base << " + " << c.location << " -> " << *resolved;
        } else {
            ASSERT_TRUE(resolved) << c.base << " + " << c.location;
            EXPECT_EQ(*resolved, c.expected) << c.base << " + " << c.location;
        }
    }
}

TEST(HttpRedirectTest, OnlyRedirectStatusesRedirect) {
    for (const unsigned status : {301u, 302u, 303u, 307u, 308u})
        EXPECT_TRUE(IsRedirectStatus(status)) << status;
    for (const unsigned status : {200u, 206u, 300u, 304u, 305u, 306u, 309u, 404u, 0u})
        EXPECT_FALSE(IsRedirectStatus(status)) << status;
}

// A fake server: each address answers with a status and a Location, and the
// addresses asked for are recorded.
class FakeServer {
  public:
    std::map<std::string, HttpHop> answers;
    std::vector<std::string> asked;

    std::optional<HttpHop> operator()(const std::string& url) {
        asked.push_back(url);
        const auto found = answers.find(url);
        if (found == answers.end())
            return std::nullopt;
        return found->second;
    }
};

TEST(HttpRedirectTest, ALoopEndsAfterTheBoundNumberOfRequests) {
    const std::string self = "http://127.0.0.1:8080/u/core/qzmaster.dat";
    FakeServer server;
    server.answers[self] = {302, "/u/core/qzmaster.dat"};
    const RedirectResult result = FollowRedirects(self, kMaxRedirects, std::ref(server));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Too many redirects from " + self);
    EXPECT_EQ(result.redirects, kMaxRedirects);
    EXPECT_EQ(server.asked.size(), static_cast<std::size_t>(kMaxRedirects) + 1);

    // A loop of two, and a chain longer than the bound, end alike.
    FakeServer pair;
    pair.answers["http://a/1"] = {301, "http://b/2"};
    pair.answers["http://b/2"] = {307, "http://a/1"};
    EXPECT_FALSE(FollowRedirects("http://a/1", kMaxRedirects, std::ref(pair)).ok);
    EXPECT_EQ(pair.asked.size(), static_cast<std::size_t>(kMaxRedirects) + 1);
    FakeServer chain;
    for (int i = 0; i < 20; ++i)
        chain.answers["http://c/" + std::to_string(i)] = {302, std::to_string(i + 1)};
    EXPECT_FALSE(FollowRedirects("http://c/0", kMaxRedirects, std::ref(chain)).ok);
    EXPECT_EQ(chain.asked.size(), static_cast<std::size_t>(kMaxRedirects) + 1);
}

TEST(HttpRedirectTest, FollowsUpToTheBoundAndStopsAtTheFirstFinalAnswer) {
    FakeServer server;
    for (int i = 0; i < kMaxRedirects; ++i)
        server.answers["http://c/" + std::to_string(i)] = {303, std::to_string(i + 1)};
    const std::string last = "http://c/" + std::to_string(kMaxRedirects);
    server.answers[last] = {404, ""};  // final, whatever it says: the caller judges it
    const RedirectResult result = FollowRedirects("http://c/0", kMaxRedirects, std::ref(server));
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.url, last);
    EXPECT_EQ(result.redirects, kMaxRedirects);

    // No redirects allowed: the first redirect is too many.
    server.asked.clear();
    EXPECT_FALSE(FollowRedirects("http://c/0", 0, std::ref(server)).ok);
    EXPECT_EQ(server.asked.size(), 1u);
}

TEST(HttpRedirectTest, AMissingOrForeignLocationAndAFailedRequestEnd) {
    FakeServer server;
    server.answers["http://a/no-location"] = {302, ""};
    server.answers["http://a/ftp"] = {301, "ftp://a/x"};
    server.answers["http://a/gone"] = {302, "http://a/unknown"};
    for (const char* url : {"http://a/no-location", "http://a/ftp"}) {
        const RedirectResult result = FollowRedirects(url, kMaxRedirects, std::ref(server));
        EXPECT_FALSE(result.ok) << url;
        EXPECT_EQ(result.error, std::string("Bad redirect (HTTP status ") +
                                    std::to_string(server.answers[url].status) + ") from " + url);
    }
    // The request the redirect led to failed: the caller's error stands.
    const RedirectResult failed = FollowRedirects("http://a/gone", kMaxRedirects, std::ref(server));
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.url, "http://a/unknown");
    EXPECT_EQ(failed.error, "");
}

TEST(HttpRedirectTest, TimeLimitGrowsWithTheSizeAndNeverOverflows) {
    EXPECT_EQ(TransferTimeLimitMs(0), 61000u);
    EXPECT_EQ(TransferTimeLimitMs(100 * 1024), 161000u);
    EXPECT_LT(TransferTimeLimitMs(1024), TransferTimeLimitMs(1024 * 1024));
    EXPECT_GT(TransferTimeLimitMs(~0ull), TransferTimeLimitMs(1ull << 40));
}

}  // namespace
}  // namespace olvex
