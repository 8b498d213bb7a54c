#include "olvex/remedy/quarantine_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "testing/scratch_dir.h"
#include "testing/test_registry_key.h"

namespace olvex {
namespace {

namespace fs = std::filesystem;
using olvex::testing::ReadFileBytes;
using olvex::testing::ScratchDir;
using olvex::testing::TestRegistryKey;

std::vector<QuarantinedItemInfo> ListItems(QuarantineStore& store) {
    std::vector<QuarantinedItemInfo> items;
    std::optional<QuarantinedItemInfo> item;
    EXPECT_TRUE(store.FirstItem(item).ok);
    for (; item; item = store.NextItem())
        items.push_back(*item);
    return items;
}

std::size_t RecordCount(const QuarantineStore& store) {
    QuarantineItemDb db;
    EXPECT_EQ(db.Open(store.ItemDbPath(), QuarantineDbFile::Purpose::kList),
              QuarantineDbError::kNone);
    std::size_t count = 0;
    while (db.NextRecord())
        ++count;
    return count;
}

// Every file below a folder with its bytes, by relative path.
std::map<std::string, std::vector<unsigned char>> TreeOf(const fs::path& root) {
    std::map<std::string, std::vector<unsigned char>> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto relative = fs::relative(entry.path(), root).string();
        tree[relative] =
            entry.is_regular_file() ? ReadFileBytes(entry.path()) : std::vector<unsigned char>{'/'};
    }
    return tree;
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<unsigned char> Bytes(std::size_t n, unsigned seed) {
    std::vector<unsigned char> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<unsigned char>(i * seed + (i >> 8));
    return bytes;
}

struct Quarantine {
    ScratchDir data;
    QuarantineStore store;
    Quarantine() {
        const auto outcome = store.Initialize(data.path().string() + "\\");
        EXPECT_TRUE(outcome.ok) << outcome.error;
    }
};

TEST(QuarantineStore, ANewFolderGetsBothDatabases) {
    ScratchDir data;
    QuarantineStore store;
    ASSERT_TRUE(store.Initialize(data.path().string()).ok);
    EXPECT_TRUE(store.IsInitialized());
    EXPECT_EQ(store.Folder(), data.path().string() + "\\Quarantine");
    std::vector<unsigned char> header{0x44, 0x51, 0x5A, 0x51};
    header.resize(32, 0);
    EXPECT_EQ(ReadFileBytes(store.ItemDbPath()), header);
    EXPECT_EQ(ReadFileBytes(store.SessionDbPath()), header);
    EXPECT_EQ(FolderEntries(store.Folder()), (std::vector<std::string>{"qzqdb.dat", "qzqsdb.dat"}));

    // An existing folder is taken as it is.
    fs::remove(store.SessionDbPath());
    QuarantineStore again;
    ASSERT_TRUE(again.Initialize(data.path().string()).ok);
    EXPECT_FALSE(fs::exists(again.SessionDbPath()));

    QuarantineStore nowhere;
    const auto failed = nowhere.Initialize(data.File("no\\such\\parent"));
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, "Error creating the Quarantine directory.");
    EXPECT_FALSE(nowhere.IsInitialized());
}

TEST(QuarantineStore, FilesFolderTreesAndRegistryDataGoAndComeBackByteForByte) {
    Quarantine q;
    ScratchDir victim;
    TestRegistryKey key;
    // A file in a folder of its own, which is gone when the file is restored.
    const auto file_bytes = Bytes(70000, 13);
    const auto file = victim.Write("Pest Folder\\pest.exe", file_bytes);
    // A folder tree with an empty folder and a read-only file.
    victim.Write("Tree\\a.txt", "alpha");
    victim.Write("Tree\\Sub\\b.bin", Bytes(5000, 7));
    victim.Write("Tree\\Sub\\Deeper\\c.dat", std::string());
    fs::create_directories(victim.path() / "Tree" / "Empty");
    const auto read_only = victim.Write("Tree\\ro.txt", "read only");
    SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_READONLY);
    const auto tree = victim.path() / "Tree";
    const auto tree_before = TreeOf(tree);
    // A registry value.
    HKEY hkey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(key.Root(), (key.Path() + "\\Run").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &hkey, nullptr),
              ERROR_SUCCESS);
    const char data[] = "C:\\pest\\pest.exe /start";
    ASSERT_EQ(RegSetValueExA(hkey, "Pest", 0, REG_SZ, (const BYTE*)data, sizeof(data)),
              ERROR_SUCCESS);

    const std::string file_location = "File \"" + file + "|inner.txt\"";
    const std::string folder_location = "Folder \"" + tree.string() + "\"";
    const std::string value_location =
        "Key \"hkey_current_user \\" + key.Path() + "\\Run\" value \"Pest\"";
    ASSERT_TRUE(q.store.Quarantine(11, file_location, false).ok);
    const auto folder_outcome = q.store.Quarantine(12, folder_location, false);
    ASSERT_TRUE(folder_outcome.ok) << folder_outcome.error;
    const auto key_outcome = q.store.Quarantine(13, value_location, false);
    ASSERT_TRUE(key_outcome.ok) << key_outcome.error;

    const auto items = ListItems(q.store);
    ASSERT_EQ(items.size(), 3u);
    const std::int32_t pests[] = {11, 12, 13};
    const std::string* locations[] = {&file_location, &folder_location, &value_location};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(items[i].record_id, i + 1);
        EXPECT_EQ(items[i].pest_id, pests[i]);
        EXPECT_EQ(items[i].location, *locations[i]);
        EXPECT_TRUE(q.store.IsContainerPath(items[i].container)) << items[i].container;
        EXPECT_EQ(fs::path(items[i].container).filename().string().substr(0, 3), "qzq");
    }
    EXPECT_EQ(ReadFileBytes(items[0].container), file_bytes);
    EXPECT_TRUE(items[0].quarantine_date.has_value());
    EXPECT_GT(*items[0].quarantine_date, 36526.0);       // after 2000
    EXPECT_FALSE(items[1].quarantine_date.has_value());  // a folder
    EXPECT_EQ(TreeOf(items[1].container), tree_before);

    // What the exterminator would do next.
    SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(victim.path() / "Pest Folder");
    fs::remove_all(tree);
    ASSERT_EQ(RegDeleteValueA(hkey, "Pest"), ERROR_SUCCESS);

    for (const auto& item : items) {
        const auto restored = q.store.Restore(item.location, item.container);
        EXPECT_TRUE(restored.ok) << restored.error;
        EXPECT_FALSE(fs::exists(item.container));
    }
    EXPECT_EQ(ReadFileBytes(file), file_bytes);
    EXPECT_EQ(TreeOf(tree), tree_before);
    // The copy kept the file's attributes; the scratch folder must be able to go.
    EXPECT_EQ(GetFileAttributesA(read_only.c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_NORMAL);
    char restored_data[64] = {};
    DWORD size = sizeof(restored_data);
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExA(hkey, "Pest", nullptr, &type, (BYTE*)restored_data, &size),
              ERROR_SUCCESS);
    RegCloseKey(hkey);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(restored_data, size), std::string(data, sizeof(data)));

    // Restored items leave the list; their records stay.
    EXPECT_TRUE(ListItems(q.store).empty());
    EXPECT_EQ(RecordCount(q.store), 3u);
    EXPECT_EQ(FolderEntries(q.store.Folder()),
              (std::vector<std::string>{"qzqdb.dat", "qzqsdb.dat"}));
}

TEST(QuarantineStore, DuplicatesAreRecognisedWithoutRegardToCase) {
    Quarantine q;
    ScratchDir victim;
    const auto file = victim.Write("dup.exe", "d");
    const std::string location = "File \"" + file + "\"";
    ASSERT_TRUE(q.store.Quarantine(5, location, false).ok);
    std::string upper = location;
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    const auto again = q.store.Quarantine(5, upper, false);
    EXPECT_FALSE(again.ok);
    EXPECT_EQ(again.error, "Pest already exists in database.");
    EXPECT_TRUE(q.store.Quarantine(6, location, false).ok);  // another pest
    EXPECT_TRUE(q.store.Quarantine(5, location, true).ok);   // duplicates allowed
    EXPECT_EQ(ListItems(q.store).size(), 3u);

    // The check does not end a listing under way.
    std::optional<QuarantinedItemInfo> item;
    ASSERT_TRUE(q.store.FirstItem(item).ok);
    ASSERT_TRUE(item);
    EXPECT_FALSE(q.store.Quarantine(5, location, false).ok);
    EXPECT_TRUE(q.store.NextItem().has_value());
}

TEST(QuarantineStore, AFailedCopyLeavesNoContainerAndNoRecord) {
    Quarantine q;
    ScratchDir victim;
    const auto file = victim.Write("locked.exe", "locked");
    // Held open without sharing: the copy cannot read it.
    const HANDLE lock =
        CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    const auto failed = q.store.Quarantine(1, "File \"" + file + "\"", false);
    CloseHandle(lock);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error.rfind(
                  "Error quarantining file " + file + " to " + q.store.Folder() + "\\qzq", 0),
              0u)
        << failed.error;
    EXPECT_NE(failed.error.find(". Last Error: "), std::string::npos);

    TestRegistryKey key;
    const auto no_value = q.store.Quarantine(
        2, "Key \"hkey_current_user \\" + key.Path() + "\" value \"Missing\"", false);
    EXPECT_FALSE(no_value.ok);
    EXPECT_EQ(no_value.error, "Error retrieving value Missing from key " + key.Path());
    const auto bad_root = q.store.Quarantine(3, "Key \"HKEY_CURRENT_USER \\Software\"", false);
    EXPECT_EQ(bad_root.error,
              "Location string is in incorrect format (predefined key name unrecognized): "
              "HKEY_CURRENT_USER");

    EXPECT_EQ(RecordCount(q.store), 0u);
    EXPECT_EQ(FolderEntries(q.store.Folder()),
              (std::vector<std::string>{"qzqdb.dat", "qzqsdb.dat"}));
}

TEST(QuarantineStore, AFolderHoldingTheQuarantineIsNotCopiedIntoItself) {
    Quarantine q;
    for (const auto& folder : {q.data.path().string(), q.store.Folder()}) {
        const auto outcome = q.store.Quarantine(1, "Folder \"" + folder + "\"", false);
        EXPECT_FALSE(outcome.ok) << folder;
        EXPECT_NE(outcome.error.find("The folder holds the quarantine folder."), std::string::npos);
    }
    EXPECT_EQ(FolderEntries(q.store.Folder()),
              (std::vector<std::string>{"qzqdb.dat", "qzqsdb.dat"}));
}

TEST(QuarantineStore, AFileThatIsAlreadyGoneGivesAnEmptyContainer) {
    Quarantine q;
    ScratchDir victim;
    ASSERT_TRUE(q.store.Quarantine(1, "File \"" + victim.File("gone.exe") + "\"", false).ok);
    const auto items = ListItems(q.store);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(fs::file_size(items[0].container), 0u);
}

TEST(QuarantineStore, ACraftedRecordPointingOutsideIsRefusedAndNothingOutsideIsTouched) {
    Quarantine q;
    ScratchDir outside;
    const auto victim = outside.Write("precious.txt", "keep me");
    const auto victim_folder = outside.path() / "Precious Folder";
    outside.Write("Precious Folder\\inside.txt", "keep me too");
    {
        QuarantineItemDb db;
        ASSERT_EQ(db.Open(q.store.ItemDbPath(), QuarantineDbFile::Purpose::kUpdate),
                  QuarantineDbError::kNone);
        std::int32_t id = 0;
        const std::string to_victim = "File \"" + outside.File("restored.txt") + "\"";
        ASSERT_EQ(db.Append(1, to_victim, victim, id), QuarantineDbError::kNone);
        ASSERT_EQ(db.Append(2, to_victim, victim_folder.string(), id), QuarantineDbError::kNone);
        ASSERT_EQ(
            db.Append(3, to_victim,
                      q.store.Folder() + "\\..\\" + fs::path(q.data.path()).filename().string(),
                      id),
            QuarantineDbError::kNone);
        ASSERT_EQ(db.Append(4, to_victim, q.store.ItemDbPath(), id), QuarantineDbError::kNone);
    }
    // Not listed, so DeleteAllItems cannot reach them either.
    EXPECT_TRUE(ListItems(q.store).empty());
    EXPECT_EQ(q.store.DeleteAllItems(), 0);

    // Items a client fills in itself are checked too.
    const auto deleted = q.store.DeleteItem(victim);
    EXPECT_FALSE(deleted.ok);
    EXPECT_EQ(deleted.error, "The container is not in the quarantine folder: " + victim);
    EXPECT_FALSE(q.store.DeleteItem(victim_folder.string()).ok);
    EXPECT_FALSE(q.store.DeleteItem(q.store.ItemDbPath()).ok);
    const auto restored = q.store.Restore("File \"" + outside.File("restored.txt") + "\"", victim);
    EXPECT_FALSE(restored.ok);

    EXPECT_EQ(ReadFileBytes(victim),
              (std::vector<unsigned char>{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    EXPECT_TRUE(fs::exists(victim_folder / "inside.txt"));
    EXPECT_FALSE(fs::exists(outside.File("restored.txt")));
    EXPECT_TRUE(fs::exists(q.store.ItemDbPath()));
}

TEST(QuarantineStore, ARestoreTargetMustBeAnAbsoluteLocalPath) {
    Quarantine q;
    ScratchDir victim;
    const auto file = victim.Write("x.exe", "x");
    ASSERT_TRUE(q.store.Quarantine(1, "File \"" + file + "\"", false).ok);
    const auto container = ListItems(q.store).at(0).container;
    for (const std::string target : {"relative\\x.exe", "\\\\server\\share\\x.exe",
                                     "C:\\a\\..\\..\\x.exe", "C:\\a\\nul", "C:x.exe"}) {
        const auto restored = q.store.Restore("File \"" + target + "\"", container);
        EXPECT_FALSE(restored.ok) << target;
        EXPECT_EQ(restored.error, "The restore target is not an absolute local path: " + target);
    }
    EXPECT_TRUE(fs::exists(container));
    EXPECT_EQ(ListItems(q.store).size(), 1u);
}

TEST(QuarantineStore, DeletedItemsLeaveTheListButKeepTheirRecords) {
    Quarantine q;
    ScratchDir victim;
    victim.Write("Tree\\a.txt", "a");
    ASSERT_TRUE(q.store.Quarantine(1, "File \"" + victim.Write("one.exe", "1") + "\"", false).ok);
    ASSERT_TRUE(q.store.Quarantine(2, "File \"" + victim.Write("two.exe", "2") + "\"", false).ok);
    ASSERT_TRUE(
        q.store.Quarantine(3, "Folder \"" + (victim.path() / "Tree").string() + "\"", false).ok);
    const auto items = ListItems(q.store);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(q.store.DeleteItem(items[0].container).ok);
    EXPECT_FALSE(q.store.DeleteItem(items[0].container).ok);
    EXPECT_FALSE(q.store.DeleteItem("").ok);
    EXPECT_EQ(ListItems(q.store).size(), 2u);
    EXPECT_EQ(q.store.DeleteAllItems(), 2);
    EXPECT_TRUE(ListItems(q.store).empty());
    EXPECT_EQ(RecordCount(q.store), 3u);
}

TEST(QuarantineStore, NothingRunsBeforeInitialize) {
    QuarantineStore store;
    ScratchDir victim;
    const auto outcome = store.Quarantine(1, "File \"" + victim.Write("x.exe", "x") + "\"", false);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, "Not initialized.");
    std::optional<QuarantinedItemInfo> item;
    EXPECT_EQ(store.FirstItem(item).error, "Not initialized.");
    EXPECT_FALSE(item);
}

}  // namespace
}  // namespace olvex
