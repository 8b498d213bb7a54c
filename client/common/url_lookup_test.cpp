#include "client/common/url_lookup.h"

#include <gtest/gtest.h>

#include "client/common/client_test_support.h"
#include "client/common/scrambled_file.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {
namespace {

std::vector<unsigned char> Stored(std::string_view text) {
    const auto stored =
        EncodeScrambled(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    return {stored.begin(), stored.end()};
}

TEST(UrlLookup, FindsAddressesInTheInstallFoldersTableWithoutDecodingItOnDisk) {
    ScratchDir dir;
    FakeFolders folders;
    folders.install_folder = Folder(dir.path());
    const ScopedClientFolders use_folders(folders);
    FakeClock clock;
    const ScopedClientClock use_clock(clock);

    std::string address = "default";
    EXPECT_FALSE(GetUrl("QZSUPPORT_URL", address));  // no table
    EXPECT_EQ(address, "default");

    const auto stored = Stored(
        "XJHOME_URL=http://home.example/\r\n"
        "QZSUPPORT_URL=http://support.example/help  \r\n"
        "PREV_POST_URL=http://research.example/post\r\n");
    const std::string table = dir.Write("URLs.ini", stored);
    EXPECT_TRUE(GetUrl("QZSUPPORT_URL", address));
    EXPECT_EQ(address, "http://support.example/help");
    EXPECT_TRUE(GetUrl("PREV_POST", address));  // a part of the key matches
    EXPECT_EQ(address, "http://research.example/post");
    address = "default";
    EXPECT_TRUE(GetUrl("QZTOUR_URL", address));  // read, but no such key
    EXPECT_EQ(address, "default");
    EXPECT_EQ(ReadFileBytes(table), stored);  // never left decoded

    // A damaged table leaves the caller with its default.
    auto damaged = stored;
    damaged[3] ^= 0x01;
    dir.Write("URLs.ini", damaged);
    EXPECT_FALSE(GetUrl("QZSUPPORT_URL", address));
    EXPECT_EQ(address, "default");
    EXPECT_EQ(ReadFileBytes(table), damaged);
    EXPECT_TRUE(clock.sleeps.empty());

    // A table another program holds is read again after a while.
    dir.Write("URLs.ini", stored);
    win::UniqueHandle holder(CreateFileA(table.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    clock.on_sleep = [&](std::size_t) { holder.reset(); };
    EXPECT_TRUE(GetUrl("XJHOME_URL", address));
    EXPECT_EQ(address, "http://home.example/");
    EXPECT_EQ(clock.sleeps, std::vector<DWORD>{250});
}

}  // namespace
}  // namespace olvex::testing
