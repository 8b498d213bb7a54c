// Runs under Wine against testing/http_server.py on 127.0.0.1.
#include "olvex/core/web_downloader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "olvex/core/http_redirect.h"
#include "testing/http_test_server.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::HttpTestServer;
using olvex::testing::PatternBytes;
using olvex::testing::ReadFileBytes;
using olvex::testing::ScratchDir;
using ::testing::HasSubstr;

std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(rng());
    }
    return bytes;
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// Records what DownloadToFile reports; answers false to the progress report
// numbered cancel_at (1 = the first), never when 0.
class RecordingCallback : public DownloadCallback {
  public:
    explicit RecordingCallback(int cancel_at = 0) : cancel_at_(cancel_at) {}

    void DownloadStarting(const std::string& name, std::uint32_t expected_size) override {
        events.push_back("starting " + name + " " + std::to_string(expected_size));
    }
    bool DownloadProgress(const std::string& name, std::uint64_t received,
                          std::uint32_t expected_size) override {
        progress.push_back(received);
        return static_cast<int>(progress.size()) != cancel_at_;
    }
    void DownloadFinished(const std::string& name, std::uint32_t expected_size) override {
        events.push_back("finished " + name + " " + std::to_string(expected_size));
    }

    std::vector<std::string> events;
    std::vector<std::uint64_t> progress;

  private:
    int cancel_at_;
};

class WebDownloaderTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server_.Available()) << HttpTestServer::kHowToRun; }

    HttpTestServer server_;
    ScratchDir scratch_;
};

TEST_F(WebDownloaderTest, ReadyWhereWineReportsAConnection) {
    // Wine answers INTERNET_OPTION_CONNECTED_STATE with INTERNET_STATE_CONNECTED
    // whatever the network; the loopback server must be reachable all the same.
    CWebDownloader downloader;
    EXPECT_TRUE(downloader.IsReady()) << downloader.LastError();
    EXPECT_EQ(downloader.LastError(), "");
}

TEST_F(WebDownloaderTest, DeliversABodyIntoMemoryAndIntoAFile) {
    const auto body = RandomBytes(10000, 1);
    server_.Serve("files/update.bin", body);
    const std::string url = server_.Url("/files/update.bin");

    CWebDownloader downloader;
    EXPECT_EQ(downloader.ReadUrl(url), body);

    RecordingCallback callback;
    downloader.SetCallback(&callback);
    const std::string target = scratch_.File("update.bin.1.2.qzu");
    ASSERT_TRUE(downloader.DownloadToFile(url, target, 10000)) << downloader.LastError();
    EXPECT_EQ(ReadFileBytes(target), body);
    EXPECT_THAT(FolderEntries(scratch_.path()), ::testing::ElementsAre("update.bin.1.2.qzu"));
    EXPECT_THAT(callback.events,
                ::testing::ElementsAre("starting update.bin 10000", "finished update.bin 10000"));
    ASSERT_FALSE(callback.progress.empty());
    EXPECT_EQ(callback.progress.back(), 10000u);
    EXPECT_TRUE(std::is_sorted(callback.progress.begin(), callback.progress.end()));

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.target, "/files/update.bin");
        EXPECT_EQ(request.Header("User-Agent"), "Gorsewatchv5");
        EXPECT_FALSE(request.Header("Range"));
    }
}

TEST_F(WebDownloaderTest, NeverAnswersFromTheCache) {
    server_.Serve("qzmaster.dat", "version 1\r\n");
    const std::string url = server_.Url("/qzmaster.dat");
    CWebDownloader downloader;
    ASSERT_TRUE(downloader.ReadUrl(url));
    server_.Serve("qzmaster.dat", "version 2\r\n");
    const auto second = downloader.ReadUrl(url);
    ASSERT_TRUE(second);
    EXPECT_EQ(std::string(second->begin(), second->end()), "version 2\r\n");
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Header("Pragma"), "no-cache");
}

TEST_F(WebDownloaderTest, SendsPortQueryAndPathAndNoFragment) {
    server_.Serve("cgi/list", "ok");
    CWebDownloader downloader;
    const auto body = downloader.ReadUrl(server_.Url("/cgi/list?product=olvex&v=5.6#part"));
    ASSERT_TRUE(body) << downloader.LastError();
    EXPECT_EQ(std::string(body->begin(), body->end()), "ok");
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/cgi/list?product=olvex&v=5.6");
    EXPECT_EQ(requests[0].Header("Host"), "127.0.0.1:" + std::to_string(server_.port()));
}

TEST_F(WebDownloaderTest, StatusOutsideTwoHundredsFails) {
    struct Case {
        const char* path;
        const char* status;
    };
    for (const Case& c :
         {Case{"/missing/qzinfo.dat", "404"}, Case{"/@status=500/@bytes=100", "500"},
          Case{"/@status=302/@bytes=100", "302"}}) {
        const std::string url = server_.Url(c.path);
        CWebDownloader downloader;
        EXPECT_FALSE(downloader.ReadUrl(url)) << c.path;
        EXPECT_THAT(downloader.LastError(), HasSubstr(c.status));
        EXPECT_THAT(downloader.LastError(), HasSubstr(url));

        RecordingCallback callback;
        downloader.SetCallback(&callback);
        EXPECT_FALSE(downloader.DownloadToFile(url, scratch_.File("got.dat"), 0)) << c.path;
        EXPECT_THAT(downloader.LastError(), HasSubstr(c.status));
        EXPECT_TRUE(callback.events.empty());
        EXPECT_TRUE(FolderEntries(scratch_.path()).empty()) << c.path;
    }
}

TEST_F(WebDownloaderTest, MaximumAsksForARangeAndReadsNoFurther) {
    server_.Serve("defs/qzinfo.dat", PatternBytes(5000));
    server_.Serve("defs/short.dat", PatternBytes(200));
    server_.Serve("defs/empty.dat", "");
    struct Case {
        const char* path;
        std::size_t max_length;
        std::size_t expected_size;
    };
    for (const Case& c : {
             Case{"/defs/qzinfo.dat", 512, 512},  // the block header read of a remote database
             Case{"/@norange/defs/qzinfo.dat", 100, 100},  // the server sends all 5000
             Case{"/defs/short.dat", 512, 200},
             Case{"/defs/empty.dat", 512, 0},  // 416: an empty body has no first byte
             Case{"/defs/qzinfo.dat", 0, 5000},
         }) {
        CWebDownloader downloader;
        const auto body = downloader.ReadUrl(server_.Url(c.path), c.max_length);
        ASSERT_TRUE(body) << c.path << ": " << downloader.LastError();
        EXPECT_EQ(*body, PatternBytes(c.expected_size)) << c.path;
        const auto request = server_.Requests().back();
        if (c.max_length > 0) {
            EXPECT_EQ(request.Header("Range"), "bytes=0-" + std::to_string(c.max_length - 1));
        } else {
            EXPECT_FALSE(request.Header("Range"));
        }
    }
}

TEST_F(WebDownloaderTest, ShortOrCutBodyFailsAndLeavesNoFile) {
    const std::string target = scratch_.File("qzfile.dat");
    for (const char* path :
         {"/@cut=3000/@bytes=10000",                               // connection closed mid-body
          "/@cut=0/@bytes=10000", "/@length=9000/@bytes=3000"}) {  // Content-Length promises more
        CWebDownloader downloader;
        EXPECT_FALSE(downloader.ReadUrl(server_.Url(path))) << path;
        EXPECT_THAT(downloader.LastError(), HasSubstr("Incomplete download from"));

        RecordingCallback callback;
        downloader.SetCallback(&callback);
        EXPECT_FALSE(downloader.DownloadToFile(server_.Url(path), target, 0)) << path;
        EXPECT_THAT(downloader.LastError(), HasSubstr("Incomplete download from"));
        EXPECT_EQ(callback.events.size(), 2u) << "finished is reported after a failure too";
        EXPECT_TRUE(FolderEntries(scratch_.path()).empty()) << path;
    }
}

TEST_F(WebDownloaderTest, FailedDownloadKeepsThePreviousFile) {
    const std::vector<std::uint8_t> kOld = {'o', 'l', 'd'};
    const std::string target = scratch_.Write("qzloc.dat", kOld);
    server_.Serve("qzloc.dat", PatternBytes(20000));
    // Cut, cancelled, and larger than expected.
    for (const auto& [path, expected_size, cancel_at] :
         {std::tuple{"/@cut=5000/qzloc.dat", 0u, 0}, std::tuple{"/qzloc.dat", 20000u, 1},
          std::tuple{"/qzloc.dat", 1000u, 0}}) {
        CWebDownloader downloader;
        RecordingCallback callback(cancel_at);
        downloader.SetCallback(&callback);
        EXPECT_FALSE(downloader.DownloadToFile(server_.Url(path), target, expected_size)) << path;
        EXPECT_EQ(ReadFileBytes(target), kOld) << path;
        EXPECT_THAT(FolderEntries(scratch_.path()), ::testing::ElementsAre("qzloc.dat"));
    }
}

TEST_F(WebDownloaderTest, ProgressCanCancel) {
    server_.Serve("big.qzu", PatternBytes(40000));
    CWebDownloader downloader;
    RecordingCallback callback(/*cancel_at=*/1);
    downloader.SetCallback(&callback);
    EXPECT_FALSE(
        downloader.DownloadToFile(server_.Url("/big.qzu"), scratch_.File("big.qzu"), 40000));
    EXPECT_THAT(downloader.LastError(), HasSubstr("cancelled"));
    EXPECT_EQ(callback.progress.size(), 1u);
    EXPECT_THAT(callback.events,
                ::testing::ElementsAre("starting big.qzu 40000", "finished big.qzu 40000"));
    EXPECT_TRUE(FolderEntries(scratch_.path()).empty());
}

TEST_F(WebDownloaderTest, BodyLargerThanExpectedFails) {
    CWebDownloader downloader;
    EXPECT_FALSE(
        downloader.DownloadToFile(server_.Url("/@bytes=5000/x.qzu"), scratch_.File("x.qzu"), 4999));
    EXPECT_THAT(downloader.LastError(), HasSubstr("larger than the expected 4999 bytes"));
    EXPECT_TRUE(FolderEntries(scratch_.path()).empty());
    // Exactly the expected size, and an unknown one (0), are fine.
    EXPECT_TRUE(
        downloader.DownloadToFile(server_.Url("/@bytes=5000/x.qzu"), scratch_.File("x.qzu"), 5000));
    EXPECT_TRUE(
        downloader.DownloadToFile(server_.Url("/@bytes=5000/y.qzu"), scratch_.File("y.qzu"), 0));
}

TEST_F(WebDownloaderTest, StalledServerTimesOut) {
    CWebDownloader downloader;
    downloader.SetTimeout(1000);
    // Stalled before the status line, and in the middle of the body.
    EXPECT_FALSE(downloader.ReadUrl(server_.Url("/@wait=20000/@bytes=100")));
    EXPECT_THAT(downloader.LastError(), HasSubstr("Error sending URL request to"));
    EXPECT_FALSE(downloader.DownloadToFile(server_.Url("/@slow=20000/@chunk=5000/@bytes=10000"),
                                           scratch_.File("slow.qzu"), 0));
    EXPECT_THAT(downloader.LastError(), HasSubstr("Error reading from"));
    EXPECT_TRUE(FolderEntries(scratch_.path()).empty());
}

// Redirects are followed by the downloader itself: a few hops, to another
// path and back to the server by a full address, then a final answer.
TEST_F(WebDownloaderTest, FollowsAFewRedirects) {
    server_.Serve("mirror/qzinfo.dat", PatternBytes(3000));
    server_.SetRules(
        "/old/qzinfo.dat location=/moved/qzinfo.dat\n"
        "/moved/qzinfo.dat status=301 location=" +
        server_.Url("/mirror/qzinfo.dat") + "\n");
    CWebDownloader downloader;
    const auto body = downloader.ReadUrl(server_.Url("/old/qzinfo.dat"));
    ASSERT_TRUE(body) << downloader.LastError();
    EXPECT_EQ(*body, PatternBytes(3000));
    RecordingCallback callback;
    downloader.SetCallback(&callback);
    ASSERT_TRUE(
        downloader.DownloadToFile(server_.Url("/old/qzinfo.dat"), scratch_.File("q.dat"), 3000))
        << downloader.LastError();
    EXPECT_EQ(ReadFileBytes(scratch_.File("q.dat")), PatternBytes(3000));
    std::vector<std::string> targets;
    for (const auto& request : server_.Requests())
        targets.push_back(request.target);
    EXPECT_THAT(targets, ::testing::ElementsAre("/old/qzinfo.dat", "/moved/qzinfo.dat",
                                                "/mirror/qzinfo.dat", "/old/qzinfo.dat",
                                                "/moved/qzinfo.dat", "/mirror/qzinfo.dat"));
}

// A control file that redirects to itself: WinINet alone asks for ever; the
// downloader gives up after a bounded number of requests, and leaves no file.
TEST_F(WebDownloaderTest, RedirectLoopEndsAfterABoundedNumberOfRequests) {
    server_.SetRules(
        "/u/qzmaster.dat location=/u/qzmaster.dat\n"
        "/u/a.qzu location=b.qzu\n/u/b.qzu status=307 location=a.qzu\n");
    struct Case {
        const char* path;
        bool to_file;
    };
    for (const Case& c :
         {Case{"/u/qzmaster.dat", false}, Case{"/u/qzmaster.dat", true}, Case{"/u/a.qzu", false}}) {
        const std::size_t before = server_.Requests().size();
        CWebDownloader downloader;
        const std::string url = server_.Url(c.path);
        if (c.to_file) {
            EXPECT_FALSE(downloader.DownloadToFile(url, scratch_.File("loop.dat"), 100));
        } else {
            EXPECT_FALSE(downloader.ReadUrl(url));
        }
        EXPECT_EQ(downloader.LastError(), "Too many redirects from " + url) << c.path;
        EXPECT_EQ(server_.Requests().size() - before, static_cast<std::size_t>(kMaxRedirects) + 1)
            << c.path;
        EXPECT_TRUE(FolderEntries(scratch_.path()).empty());
    }
    // A redirect with nowhere to go, or to another protocol, is an error too.
    server_.SetRules("/u/x.dat location=ftp://127.0.0.1/x.dat\n");
    CWebDownloader downloader;
    EXPECT_FALSE(downloader.ReadUrl(server_.Url("/u/x.dat")));
    EXPECT_THAT(downloader.LastError(), HasSubstr("Bad redirect (HTTP status 302) from"));
}

// A body dripped a byte at a time never trips the time-out of each read; the
// call's own limit ends it, and what it wrote is removed.
TEST_F(WebDownloaderTest, DrippedBodyEndsAtTheTimeLimit) {
    CWebDownloader downloader;
    downloader.SetTimeLimit(1500);
    const std::string drip = server_.Url("/@slow=300/@chunk=1/@bytes=1000/drip.qzu");
    EXPECT_FALSE(downloader.ReadUrl(drip));
    EXPECT_EQ(downloader.LastError(), "Download from " + drip + " took too long.");
    RecordingCallback callback;
    downloader.SetCallback(&callback);
    EXPECT_FALSE(downloader.DownloadToFile(drip, scratch_.File("drip.qzu"), 1000));
    EXPECT_EQ(downloader.LastError(), "Download from " + drip + " took too long.");
    EXPECT_EQ(callback.events.size(), 2u);
    EXPECT_LT(callback.progress.size(), 1000u);
    EXPECT_TRUE(FolderEntries(scratch_.path()).empty());
    // A slow redirect loop ends too (by the limit or by the hops, whichever
    // comes first).
    server_.SetRules("/slow-loop location=/slow-loop wait=400\n");
    EXPECT_FALSE(downloader.ReadUrl(server_.Url("/slow-loop")));
    EXPECT_LE(server_.Requests().size(), 2u + kMaxRedirects + 1);
}

TEST_F(WebDownloaderTest, RejectsWhatIsNotAnHttpUrl) {
    CWebDownloader downloader;
    EXPECT_FALSE(downloader.ReadUrl("not a url"));
    EXPECT_EQ(downloader.LastError(), "Error cracking provided URL ");
    EXPECT_FALSE(downloader.ReadUrl("ftp://127.0.0.1:" + std::to_string(server_.port()) + "/x"));
    EXPECT_EQ(downloader.LastError(), "Protocol is not supported.");
    // https is spoken as TLS: the plain server never sees a GET.
    EXPECT_FALSE(
        downloader.ReadUrl("https://127.0.0.1:" + std::to_string(server_.port()) + "/@bytes=10/x"));
    EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(WebDownloaderTest, ProxyCredentialsDoNotGetInTheWayOfADirectConnection) {
    server_.Serve("qzmaster.dat", "ok");
    CWebDownloader downloader("user", "secret");
    const auto body = downloader.ReadUrl(server_.Url("/qzmaster.dat"));
    ASSERT_TRUE(body) << downloader.LastError();
    EXPECT_EQ(body->size(), 2u);
}

}  // namespace
}  // namespace olvex
