#include "client/common/proxy_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "client/common/client_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {
namespace {

class ProxySettingsTest : public ::testing::Test {
  protected:
    ScratchDir dir_;
    FakeClock clock_;
    ScopedClientClock use_clock_{clock_};
    FakeSystemProxy system_;
    ScopedSystemProxySource use_system_{system_};
    const std::string folder_ = Folder(dir_.path());
    const std::string store_ = dir_.File("proxyinfo.dat");
};

TEST_F(ProxySettingsTest, SavedSettingsLoadBack) {
    CProxySettings saved;
    ASSERT_TRUE(saved.SetProxy("proxy.example", 3128));
    saved.SetCredentials("DOMAIN\\user", "p@ss:w\xF6rd");
    ASSERT_TRUE(saved.Save(folder_));
    const auto first = ReadFileBytes(store_);
    EXPECT_EQ(first.size(), kProxyRecordBytes);
    ASSERT_TRUE(saved.Save(folder_));
    EXPECT_NE(ReadFileBytes(store_), first);  // fresh random bytes each time

    CProxySettings loaded;
    loaded.Load(folder_);
    EXPECT_EQ(loaded.host(), "proxy.example");
    EXPECT_EQ(loaded.port(), 3128);
    EXPECT_EQ(loaded.account(), "DOMAIN\\user");
    EXPECT_EQ(loaded.password(), "p@ss:w\xF6rd");
    EXPECT_EQ(loaded.encoded_credentials(), BasicCredentials("DOMAIN\\user", "p@ss:w\xF6rd"));
    EXPECT_FALSE(loaded.from_system());
    EXPECT_TRUE(loaded.SendsCredentials());
    EXPECT_TRUE(clock_.sleeps.empty());
}

TEST_F(ProxySettingsTest, MissingOrDamagedStoreGivesEmptySettings) {
    CProxySettings settings;
    ASSERT_TRUE(settings.SetProxy("old", 1));
    settings.SetCredentials("a", "b");
    settings.Load(folder_);  // no store
    EXPECT_EQ(settings.host(), "");
    EXPECT_EQ(settings.port(), 0);
    EXPECT_EQ(settings.account(), "");
    EXPECT_EQ(settings.encoded_credentials(), "");
    EXPECT_FALSE(settings.HasProxy());
    EXPECT_TRUE(clock_.sleeps.empty());  // a missing store is not waited for

    dir_.Write("proxyinfo.dat", std::vector<unsigned char>(100, 0x41));
    settings.Load(folder_);
    EXPECT_FALSE(settings.HasProxy());

    // A stored host that cannot stand in a request is no proxy.
    const auto hostile = EncodeProxyRecord({"evil\r\nX-Injected: 1", 80, "u", "p"}, 1);
    ASSERT_TRUE(hostile);
    dir_.Write("proxyinfo.dat", std::vector<unsigned char>(hostile->begin(), hostile->end()));
    settings.Load(folder_);
    EXPECT_FALSE(settings.HasProxy());
    EXPECT_EQ(settings.account(), "u");

    // A store another program holds is read again after a while.
    CProxySettings saved;
    saved.SetProxy("proxy", 8080);
    ASSERT_TRUE(saved.Save(folder_));
    win::UniqueHandle holder(CreateFileA(store_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    clock_.on_sleep = [&](std::size_t) { holder.reset(); };
    settings.Load(folder_);
    EXPECT_EQ(settings.host(), "proxy");
    EXPECT_EQ(clock_.sleeps, std::vector<DWORD>{250});
}

TEST_F(ProxySettingsTest, SystemProxyGivesHostAndPortAndTheStoreTheAccount) {
    CProxySettings saved;
    saved.SetProxy("stored", 1);
    saved.SetCredentials("user", "secret");
    ASSERT_TRUE(saved.Save(folder_));

    system_.list = "ftp=a:21 http=b:8080";
    CProxySettings settings;
    settings.Load(folder_);
    EXPECT_TRUE(settings.from_system());
    EXPECT_EQ(settings.host(), "b");
    EXPECT_EQ(settings.port(), 8080);
    EXPECT_EQ(settings.account(), "user");
    EXPECT_EQ(settings.encoded_credentials(), "dXNlcjpzZWNyZXQ=");

    system_.list = "b";
    settings.Load(folder_);
    EXPECT_EQ(settings.port(), 80);

    system_.list = "ftp=a:21";  // no HTTP proxy: the store's
    settings.Load(folder_);
    EXPECT_FALSE(settings.from_system());
    EXPECT_EQ(settings.host(), "stored");
    EXPECT_EQ(settings.port(), 1);

    EXPECT_TRUE(SystemInternetProxy().ProxyList() == std::nullopt);  // the test prefix has none
}

TEST_F(ProxySettingsTest, UseProxyAnswerChangesTheProxyButNotTheStore) {
    CProxySettings settings;
    settings.SetCredentials("user", "secret");
    ASSERT_TRUE(settings.Save(folder_));
    const auto stored = ReadFileBytes(store_);
    EXPECT_TRUE(settings.ApplyUseProxyAnswer(
        "HTTP/1.1 305 Use Proxy\r\nLocation: http://next.example:8080/\r\n\r\n"));
    EXPECT_EQ(settings.host(), "next.example");
    EXPECT_EQ(settings.port(), 8080);
    EXPECT_EQ(settings.account(), "user");
    EXPECT_EQ(ReadFileBytes(store_), stored);
    EXPECT_FALSE(settings.ApplyUseProxyAnswer("HTTP/1.1 305 Use Proxy\r\n\r\n"));
    EXPECT_EQ(settings.host(), "next.example");
}

TEST_F(ProxySettingsTest, EntriesThatCannotBeStoredAreRefused) {
    CProxySettings settings;
    EXPECT_FALSE(settings.SetProxy("evil\r\nX: 1", 80));
    EXPECT_FALSE(settings.SetProxy("host", 0));
    EXPECT_FALSE(settings.SetProxy("host", 65536));
    EXPECT_TRUE(settings.SetProxy("host", 65535));
    EXPECT_TRUE(settings.SetProxy("", 0));
    EXPECT_FALSE(settings.HasProxy());

    settings.SetCredentials(std::string(4000, 'a'), "b");
    EXPECT_FALSE(settings.Save(folder_));
    EXPECT_FALSE(std::filesystem::exists(store_));
    settings.SetCredentials("a", "b");
    EXPECT_FALSE(settings.Save(folder_ + "missing\\"));
    EXPECT_TRUE(clock_.sleeps.empty());
}

}  // namespace
}  // namespace olvex::testing
