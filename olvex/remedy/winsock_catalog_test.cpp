#include "olvex/remedy/winsock_catalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;

GUID Guid(unsigned char n) {
    GUID id{};
    id.Data1 = 0x0A1B0000u + n;
    return id;
}

std::string Name(const GUID& id) {
    return std::to_string(id.Data1 & 0xFF);
}

// A catalogue in memory that logs what is asked of it.
class FakeCatalogue : public WinsockCatalogue {
  public:
    std::vector<WinsockProtocolEntry> protocols;
    std::vector<WinsockNameSpaceEntry> name_spaces;
    std::vector<std::string> log;
    std::vector<unsigned> refuse;  // provider numbers whose removal fails
    bool readable = true;

    void AddProtocol(unsigned char n, int chain_length, std::string path,
                     std::vector<DWORD> chain = {}) {
        WinsockProtocolEntry entry;
        entry.catalog_entry_id = 1000 + n;
        entry.provider_id = Guid(n);
        entry.protocol_name = "protocol " + std::to_string(n);
        entry.provider_path = std::move(path);
        entry.chain_length = chain_length;
        entry.chain = chain.empty() && chain_length == 1
                          ? std::vector<DWORD>{entry.catalog_entry_id}
                          : std::move(chain);
        protocols.push_back(std::move(entry));
    }
    void AddNameSpace(unsigned char n, std::string path) {
        name_spaces.push_back({Guid(n), "name space " + std::to_string(n), std::move(path)});
    }

    std::optional<std::vector<WinsockProtocolEntry>> Protocols() override {
        if (!readable)
            return std::nullopt;
        return protocols;
    }
    std::optional<std::vector<WinsockNameSpaceEntry>> NameSpaceProviders() override {
        if (!readable)
            return std::nullopt;
        return name_spaces;
    }
    int DeinstallProvider(const GUID& id) override {
        log.push_back("deinstall " + Name(id));
        return Refused(id) ? 10022 : 0;
    }
    int EnableNameSpaceProvider(const GUID& id, bool enable) override {
        log.push_back((enable ? "enable " : "disable ") + Name(id));
        return 0;
    }
    int UninstallNameSpace(const GUID& id) override {
        log.push_back("uninstall " + Name(id));
        return Refused(id) ? 10022 : 0;
    }

  private:
    bool Refused(const GUID& id) const {
        return std::find(refuse.begin(), refuse.end(), id.Data1 & 0xFF) != refuse.end();
    }
};

std::string ShortPath(const std::string& path) {
    char buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return std::string(buffer, length);
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(WinsockCatalog, RemovesAPestsProvidersAndTheChainsOverThem) {
    ScratchDir dir;
    const auto pest = dir.Write("Pest Layered Provider.dll", "x");
    const auto other = dir.Write("other.dll", "y");
    FakeCatalogue fake;
    // The catalogue names the pest by its short path, quoted, in capitals.
    std::string named_short = ShortPath(pest);
    ASSERT_NE(named_short, pest);
    CharUpperBuffA(named_short.data(), static_cast<DWORD>(named_short.size()));
    fake.AddProtocol(1, 0, "\"" + named_short + "\"");  // layered, the pest
    fake.AddProtocol(2, 1, "  " + pest + " ");          // base, the pest
    fake.AddProtocol(3, 1, other);                      // base, someone else
    fake.AddProtocol(4, 3, other, {1001, 1003, 1003});  // chain over the pest's layer
    fake.AddProtocol(5, 2, other, {1003, 1003});        // chain over the other base
    fake.AddProtocol(6, 0, "");                         // layered, no path
    fake.AddNameSpace(7, pest);
    fake.AddNameSpace(8, other);
    fake.AddNameSpace(9, "");

    CWinsockCatalog catalog(fake);
    catalog.EnumerateProtocols();
    catalog.EnumerateNameSpaceProviders();
    EXPECT_EQ(catalog.LayeredProviders().size(), 2u);
    EXPECT_EQ(catalog.BaseProviders().size(), 2u);
    EXPECT_EQ(catalog.ProtocolChains().size(), 2u);
    EXPECT_EQ(catalog.NameSpaceEntries().size(), 3u);
    EXPECT_EQ(catalog.BaseProviders()[0].provider_path, pest);  // quotes and blanks gone

    // Given by its long path.
    EXPECT_EQ(catalog.RemoveProvidersOfFile(pest), 4);
    EXPECT_EQ(Sorted(fake.log),
              Sorted({"deinstall 1", "deinstall 2", "deinstall 4", "disable 7", "uninstall 7"}));
    // A name-space provider is disabled before it is uninstalled.
    const auto disable = std::find(fake.log.begin(), fake.log.end(), "disable 7");
    EXPECT_LT(disable, std::find(fake.log.begin(), fake.log.end(), "uninstall 7"));
    EXPECT_EQ(catalog.LayeredProviders().size(), 1u);
    EXPECT_EQ(catalog.ProtocolChains().size(), 1u);
}

// A folder removal hands each file with the 8.3 name its folder listing gave:
// the file is matched against every form the catalogue may name it by.
TEST(WinsockCatalog, AFileOfAFolderListingMatchesEachFormOfItsPath) {
    ScratchDir dir;
    const auto by_short = dir.Write("Long Folder Name\\Pest Layered Provider.dll", "x");
    const auto by_long = dir.Write("Long Folder Name\\Pest Name Space.dll", "y");
    const auto eight_three = dir.Write("Long Folder Name\\pest.dll", "z");
    const auto bystander = dir.Write("Long Folder Name\\Bystander Library.dll", "w");
    FakeCatalogue fake;
    fake.AddProtocol(1, 1, ShortPath(by_short));
    fake.AddNameSpace(2, by_long);
    fake.AddProtocol(3, 1, ShortPath(eight_three));
    CWinsockCatalog catalog(fake);
    catalog.EnumerateProtocols();
    catalog.EnumerateNameSpaceProviders();

    const auto short_name_of = [](const std::string& path) {
        WIN32_FIND_DATAA found{};
        const HANDLE find = FindFirstFileA(path.c_str(), &found);
        EXPECT_NE(find, INVALID_HANDLE_VALUE) << path;
        FindClose(find);
        return std::string(found.cAlternateFileName);
    };
    EXPECT_EQ(catalog.RemoveProvidersOfFile(bystander, short_name_of(bystander)), 0);
    EXPECT_TRUE(fake.log.empty());
    EXPECT_EQ(catalog.RemoveProvidersOfFile(by_short, short_name_of(by_short)), 1);
    EXPECT_EQ(catalog.RemoveProvidersOfFile(by_long, short_name_of(by_long)), 1);
    // An 8.3 name has no other short name: the listing gives none.
    ASSERT_EQ(short_name_of(eight_three), "");
    EXPECT_EQ(catalog.RemoveProvidersOfFile(eight_three, ""), 1);
    EXPECT_EQ(Sorted(fake.log), Sorted({"deinstall 1", "disable 2", "uninstall 2", "deinstall 3"}));
}

TEST(WinsockCatalog, AnEmptyPathMatchesNothing) {
    ScratchDir dir;
    const auto file = dir.Write("some.dll", "x");
    FakeCatalogue fake;
    // As Wine's catalogue gives them: no provider paths at all.
    fake.AddProtocol(1, 0, "");
    fake.AddProtocol(2, 1, "");
    fake.AddProtocol(3, 2, "", {1001, 1002});
    fake.AddNameSpace(4, "");
    CWinsockCatalog catalog(fake);
    catalog.EnumerateProtocols();
    catalog.EnumerateNameSpaceProviders();
    EXPECT_EQ(catalog.RemoveProvidersOfFile(file), 0);
    EXPECT_EQ(catalog.RemoveProvidersOfFile(""), 0);
    EXPECT_EQ(catalog.RemoveProvidersOfFile("  \"\" "), 0);
    // A path whose short form cannot be learnt (the file is gone) is no empty path.
    EXPECT_EQ(catalog.RemoveProvidersOfFile(dir.File("gone.dll")), 0);
    EXPECT_EQ(catalog.RemoveOrphanedProviders(), 0);
    EXPECT_TRUE(fake.log.empty());
}

TEST(WinsockCatalog, RemovesOrphansAndLeavesWhatCannotBeRemoved) {
    ScratchDir dir;
    const auto present = dir.Write("present.dll", "x");
    FakeCatalogue fake;
    fake.AddProtocol(1, 0, dir.File("missing layer.dll"));
    fake.AddProtocol(2, 1, present);
    fake.AddProtocol(3, 1, dir.File("missing base.dll"));
    fake.AddProtocol(4, 2, present, {1001, 1002});
    fake.AddProtocol(5, 2, present, {1003, 1002});
    fake.AddNameSpace(6, dir.File("missing ns.dll"));
    fake.AddNameSpace(7, present);
    fake.refuse = {3};  // this one will not go: its chain stays too
    CWinsockCatalog catalog(fake);
    catalog.EnumerateProtocols();
    catalog.EnumerateNameSpaceProviders();
    EXPECT_EQ(catalog.RemoveOrphanedProviders(), 3);
    EXPECT_EQ(Sorted(fake.log),
              Sorted({"deinstall 1", "deinstall 3", "deinstall 4", "disable 6", "uninstall 6"}));
    ASSERT_EQ(catalog.ProtocolChains().size(), 1u);
    EXPECT_EQ(catalog.ProtocolChains()[0].catalog_entry_id, 1005u);
}

TEST(WinsockCatalog, ExpandsEnvironmentVariablesInProviderPaths) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_EQ(NormaliseProviderPath(" \"%SystemRoot%\\system32\\x.dll\" "),
              std::string(windows) + "\\system32\\x.dll");
    EXPECT_EQ(NormaliseProviderPath("\"\""), "");
}

TEST(WinsockCatalog, AnUnreadableCatalogueLeavesEmptyListsAndRemovesNothing) {
    FakeCatalogue fake;
    fake.AddProtocol(1, 0, "C:\\x.dll");
    fake.readable = false;
    CWinsockCatalog catalog(fake);
    catalog.EnumerateProtocols();
    catalog.EnumerateNameSpaceProviders();
    EXPECT_TRUE(catalog.LayeredProviders().empty());
    EXPECT_EQ(catalog.RemoveOrphanedProviders(), 0);
    EXPECT_TRUE(fake.log.empty());
}

// Wine's own catalogue lists providers without paths; nothing of it may be
// taken for a pest's or an orphan.
TEST(WinsockCatalog, TheSystemCatalogueLosesNothingToAFileOrToOrphans) {
    ScratchDir dir;
    const auto file = dir.Write("unrelated.dll", "x");
    auto system = MakeSystemWinsockCatalogue();
    CWinsockCatalog catalog(*system);
    catalog.EnumerateProtocols();
    catalog.EnumerateNameSpaceProviders();
    const auto listed = catalog.BaseProviders().size() + catalog.LayeredProviders().size() +
                        catalog.ProtocolChains().size();
    EXPECT_GT(listed, 0u);
    EXPECT_EQ(catalog.RemoveProvidersOfFile(file), 0);
    EXPECT_EQ(catalog.RemoveOrphanedProviders(), 0);
}

}  // namespace
}  // namespace olvex
