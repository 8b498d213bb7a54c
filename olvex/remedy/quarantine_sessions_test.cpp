#include "olvex/remedy/quarantine_sessions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "olvex/remedy/quarantine_object.h"
#include "olvex/remedy/remedy_test_support.h"
#include "olvex/remedy/session_archive.h"
#include "olvex/zip/zip_reader.h"
#include "olvex/zip/zip_writer.h"
#include "testing/test_registry_key.h"

namespace olvex {
namespace {

namespace fs = std::filesystem;
using com::ComPtr;
using com::UniqueBstr;
using namespace olvex::testing;

struct Sessions {
    ScratchDir data;
    ComPtr<IQuarantine> quarantine;
    std::string folder;
    Sessions() {
        EXPECT_EQ(com::CreateEngineObject(CLSID_Quarantine, quarantine.Put()), S_OK);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(quarantine->Initialize(Bstr(data.path().string()).Get(), &ok), S_OK);
        EXPECT_EQ(ok, VARIANT_TRUE);
        folder = data.path().string() + "\\Quarantine";
    }
    bool Add(long pest, const std::string& location, const std::string& session) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(
            quarantine->AddItemToSession(pest, Bstr(location).Get(), Bstr(session).Get(), &ok),
            S_OK);
        EXPECT_TRUE(ok == VARIANT_TRUE || ok == VARIANT_FALSE);
        return ok == VARIANT_TRUE;
    }
    std::string Archive(const std::string& session) const {
        return folder + "\\" + session + ".zip";
    }
    std::vector<ComPtr<IQuarantineSession>> List() {
        std::vector<ComPtr<IQuarantineSession>> sessions;
        ComPtr<IQuarantineSession> session;
        EXPECT_EQ(quarantine->GetFirstQuarantineSession(session.Put()), S_OK);
        while (session) {
            sessions.push_back(session);
            EXPECT_EQ(quarantine->GetNextQuarantineSession(session.Put()), S_OK);
        }
        return sessions;
    }
    std::size_t RecordCount() const {
        QuarantineSessionDb db;
        EXPECT_EQ(db.Open(folder + "\\qzqsdb.dat", QuarantineDbFile::Purpose::kList),
                  QuarantineDbError::kNone);
        std::size_t count = 0;
        while (db.NextRecord())
            ++count;
        return count;
    }
    bool Restore(IQuarantineSession* session) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(quarantine->RestoreQuarantineSession(session, &ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    bool Delete(IQuarantineSession* session) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(quarantine->DeleteQuarantineSession(session, &ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    std::string Error() { return LastErrorOf(quarantine.Get()); }
};

std::string SessionPath(IQuarantineSession* session) {
    UniqueBstr path;
    EXPECT_EQ(session->get_bsSessionFilePath(path.Put()), S_OK);
    return Text(path.Get());
}

std::vector<ComPtr<IQuarantinedItem>> ItemsOf(IQuarantineSession* session) {
    std::vector<ComPtr<IQuarantinedItem>> items;
    ComPtr<IQuarantinedItem> item;
    EXPECT_EQ(session->GetFirstQuarantinedItem(item.Put()), S_OK);
    while (item) {
        items.push_back(item);
        EXPECT_EQ(session->GetNextQuarantinedItem(item.Put()), S_OK);
    }
    return items;
}

std::vector<std::string> CommentsOf(const std::string& archive) {
    ZipReader reader;
    EXPECT_EQ(reader.OpenFile(archive), ZipError::kNone);
    std::vector<std::string> comments;
    for (std::size_t i = 0; i < reader.EntryCount(); ++i) {
        EXPECT_EQ(reader.Entry(i)->name, std::to_string(i));
        EXPECT_TRUE(reader.Entry(i)->encrypted);
        comments.push_back(reader.Entry(i)->comment);
    }
    return comments;
}

TEST(QuarantineSessions, KeepFilesTreesAndRegistryDataAndRestoreThemByteForByte) {
    Sessions q;
    ScratchDir victim;
    TestRegistryKey registry;
    const auto file_bytes = PatternBytes(70000, 13);
    const auto file = victim.Write("Pest\\pest.exe", file_bytes);
    victim.Write("Tree\\a.txt", "alpha");
    victim.Write("Tree\\Sub\\b.bin", PatternBytes(5000, 7));
    victim.Write("Tree\\Sub\\Deeper\\c.dat", std::string());
    const auto tree = victim.path() / "Tree";
    const auto tree_before = TreeOf(tree);
    // A key with values of every common type and a subkey, and one value of
    // another key on its own.
    const std::string pest_key = registry.Path() + "\\Pest";
    const std::string run_key = registry.Path() + "\\Run";
    SetValue(registry.Root(), pest_key, "", REG_SZ, Sz("default text"));
    SetValue(registry.Root(), pest_key, "Path", REG_SZ, Sz("C:\\Pest\\pest.exe \"quoted\""));
    SetValue(registry.Root(), pest_key, "Expand", REG_EXPAND_SZ, Sz("%SystemRoot%\\pest"));
    SetValue(registry.Root(), pest_key, "Count", REG_DWORD, {0x1f, 0, 0, 0});
    SetValue(registry.Root(), pest_key, "Blob", REG_BINARY, {0, 1, 2, 0xfe, 0xff});
    SetValue(registry.Root(), pest_key, "List", REG_MULTI_SZ, {'a', 0, 'b', 'c', 0, 0});
    SetValue(registry.Root(), pest_key, "Big", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
    SetValue(registry.Root(), pest_key + "\\Sub", "Inner", REG_SZ, Sz("inner"));
    SetValue(registry.Root(), run_key, "Pest", REG_SZ, Sz("C:\\Pest\\pest.exe /start"));
    SetValue(registry.Root(), run_key, "Other", REG_SZ, Sz("kept"));
    const auto pest_key_before = RegistryTreeOf(registry.Root(), pest_key);
    const auto run_key_before = RegistryTreeOf(registry.Root(), run_key);

    const std::string session = "20051231120000";
    const std::string file_location = "File \"" + file + "\"";
    const std::string folder_location = "Folder \"" + tree.string() + "\"";
    const std::string key_location = "Key \"hkey_current_user \\" + pest_key + "\"";
    const std::string value_location =
        "Key \"hkey_current_user \\" + run_key + "\" value \"Pest\" data \"C:\\Pest\\pest.exe\"";
    ASSERT_TRUE(q.Add(11, file_location, session)) << q.Error();
    ASSERT_TRUE(q.Add(12, folder_location, session)) << q.Error();
    ASSERT_TRUE(q.Add(13, key_location, session)) << q.Error();
    ASSERT_TRUE(q.Add(14, value_location, session)) << q.Error();

    // One archive, named after the session, one entry per file; one record.
    const auto comments = CommentsOf(q.Archive(session));
    ASSERT_EQ(comments.size(), 6u);
    EXPECT_EQ(comments[0], " PestId \"11\" " + file_location);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_TRUE(comments[i].starts_with(" File \"" + tree.string() + "\\")) << comments[i];
        EXPECT_TRUE(comments[i].ends_with("\" PestId \"12\" " + folder_location)) << comments[i];
    }
    EXPECT_TRUE(comments[4].starts_with(" File \"" + q.folder + "\\reg")) << comments[4];
    EXPECT_TRUE(comments[4].ends_with("\" PestId \"13\" " + key_location)) << comments[4];
    EXPECT_TRUE(comments[5].ends_with("\" PestId \"14\" " + value_location)) << comments[5];
    EXPECT_EQ(q.RecordCount(), 1u);
    // The temporary registry files are gone again.
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(q.folder))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{session + ".zip", "qzqdb.dat", "qzqsdb.dat"}));

    const auto sessions = q.List();
    ASSERT_EQ(sessions.size(), 1u);
    LONG id = 0;
    sessions[0]->get_nSessionId(&id);
    EXPECT_EQ(id, SessionIdFromName(session));
    EXPECT_EQ(SessionPath(sessions[0].Get()), q.Archive(session));
    const auto items = ItemsOf(sessions[0].Get());
    ASSERT_EQ(items.size(), 6u);
    const LONG pests[] = {11, 12, 12, 12, 13, 14};
    for (std::size_t i = 0; i < items.size(); ++i) {
        LONG pest = 0, record = 0;
        items[i]->get_nPestId(&pest);
        items[i]->get_nRecordId(&record);
        EXPECT_EQ(pest, pests[i]);
        EXPECT_EQ(record, -1);
        UniqueBstr text;
        items[i]->get_bsLocation(text.Put());
        EXPECT_EQ(Text(text.Get()), comments[i]);
    }

    // What the exterminator would do next.
    fs::remove_all(victim.path() / "Pest");
    fs::remove_all(tree);
    ASSERT_EQ(SHDeleteKeyA(registry.Root(), pest_key.c_str()), ERROR_SUCCESS);
    SetValue(registry.Root(), run_key, "Pest", REG_SZ, Sz(" "));

    ASSERT_TRUE(q.Restore(sessions[0].Get())) << q.Error();
    EXPECT_EQ(ReadFileBytes(file), file_bytes);
    EXPECT_EQ(TreeOf(tree), tree_before);
    EXPECT_EQ(RegistryTreeOf(registry.Root(), pest_key), pest_key_before);
    EXPECT_EQ(RegistryTreeOf(registry.Root(), run_key), run_key_before);
    // The archive is gone, and with it the session.
    EXPECT_FALSE(fs::exists(q.Archive(session)));
    EXPECT_TRUE(q.List().empty());
    EXPECT_EQ(q.RecordCount(), 0u);
}

std::size_t ItemCount(IQuarantineSession* session) {
    return ItemsOf(session).size();
}

// Three cleaning runs that each removed a version of the same file, and
// files of their own; the second also removed a file the user may make again.
struct ThreeRuns {
    Sessions q;
    ScratchDir victim;
    std::string shared, again;
    std::vector<std::string> own;
    const std::string names[3] = {"20051231120001", "20051231120002", "20051231120003"};

    ThreeRuns() {
        shared = victim.File("Pest\\pest.exe");
        again = victim.File("Pest\\again.txt");
        for (int i = 0; i < 3; ++i) {
            victim.Write("Pest\\pest.exe", "version " + std::to_string(i + 1));
            EXPECT_TRUE(q.Add(1, "File \"" + shared + "\"", names[i])) << q.Error();
            own.push_back(
                victim.Write("own" + std::to_string(i) + ".exe", "own " + std::to_string(i)));
            EXPECT_TRUE(q.Add(2, "File \"" + own.back() + "\"", names[i]));
            if (i == 1) {
                victim.Write("Pest\\again.txt", "stored");
                EXPECT_TRUE(q.Add(3, "File \"" + again + "\"", names[i]));
            }
        }
        // What the exterminator did after keeping them.
        fs::remove_all(victim.path() / "Pest");
        for (const auto& file : own)
            fs::remove(file);
    }
};

TEST(QuarantineSessions, ARestorePutsBackTheOldestCopyAndNeverThrowsAStoredCopyAway) {
    {
        // Restoring the first restores all three: the oldest version stands,
        // everything else came back, and the newer versions of the shared
        // file stay stored, each in its own cut-down session, named in the
        // answer.
        ThreeRuns runs;
        EXPECT_EQ(runs.q.RecordCount(), 3u);
        auto sessions = runs.q.List();
        ASSERT_EQ(sessions.size(), 3u);
        ASSERT_TRUE(runs.q.Restore(sessions[0].Get())) << runs.q.Error();
        EXPECT_EQ(runs.q.Error(),
                  "Success. Newer copies of restored files stay in the quarantine: " + runs.shared +
                      " (session " + runs.names[1] + "); " + runs.shared + " (session " +
                      runs.names[2] + ").");
        EXPECT_EQ(ReadFileBytes(runs.shared), TextBytes("version 1"));
        EXPECT_EQ(ReadFileBytes(runs.again), TextBytes("stored"));
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(ReadFileBytes(runs.own[i]), TextBytes("own " + std::to_string(i)));
        EXPECT_FALSE(fs::exists(runs.q.Archive(runs.names[0])));
        sessions = runs.q.List();
        ASSERT_EQ(sessions.size(), 2u);
        EXPECT_EQ(runs.q.RecordCount(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(SessionPath(sessions[i].Get()), runs.q.Archive(runs.names[i + 1]));
            const auto items = ItemsOf(sessions[i].Get());
            ASSERT_EQ(items.size(), 1u);
            UniqueBstr location;
            items[0]->get_bsLocation(location.Put());
            EXPECT_EQ(Text(location.Get()), " PestId \"1\" File \"" + runs.shared + "\"");
        }
        // Each newer version comes back once the place is free: the second
        // (the third stays, newer still), then the third.
        for (const char* version : {"version 2", "version 3"}) {
            fs::remove(runs.shared);
            sessions = runs.q.List();
            ASSERT_FALSE(sessions.empty());
            ASSERT_TRUE(runs.q.Restore(sessions[0].Get())) << runs.q.Error();
            EXPECT_EQ(ReadFileBytes(runs.shared), TextBytes(version));
        }
        EXPECT_TRUE(runs.q.List().empty());
        EXPECT_EQ(runs.q.RecordCount(), 0u);
        for (const auto& name : runs.names)
            EXPECT_FALSE(fs::exists(runs.q.Archive(name)));
    }
    {
        // Restoring the second leaves the first alone: the second's version,
        // the third's stays stored.
        ThreeRuns runs;
        auto sessions = runs.q.List();
        ASSERT_TRUE(runs.q.Restore(sessions[1].Get())) << runs.q.Error();
        EXPECT_EQ(ReadFileBytes(runs.shared), TextBytes("version 2"));
        EXPECT_FALSE(fs::exists(runs.own[0]));
        EXPECT_TRUE(fs::exists(runs.own[2]));
        EXPECT_TRUE(fs::exists(runs.q.Archive(runs.names[0])));
        sessions = runs.q.List();
        ASSERT_EQ(sessions.size(), 2u);
        EXPECT_EQ(ItemCount(sessions[0].Get()), 2u);
        EXPECT_EQ(SessionPath(sessions[1].Get()), runs.q.Archive(runs.names[2]));
        EXPECT_EQ(ItemCount(sessions[1].Get()), 1u);
    }
    {
        // A file made again after the cleaning is never overwritten; its entry
        // stays stored, everything else comes back, and the restore says so.
        ThreeRuns runs;
        runs.victim.Write("Pest\\again.txt", "made by the user");
        auto sessions = runs.q.List();
        EXPECT_FALSE(runs.q.Restore(sessions[0].Get()));
        EXPECT_EQ(runs.q.Error(),
                  "Not everything could be restored; kept in the quarantine: " + runs.again +
                      " (a file is already there). Newer copies of restored "
                      "files stay in the quarantine: " +
                      runs.shared + " (session " + runs.names[1] + "); " + runs.shared +
                      " (session " + runs.names[2] + ").");
        EXPECT_EQ(ReadFileBytes(runs.again), TextBytes("made by the user"));
        EXPECT_EQ(ReadFileBytes(runs.shared), TextBytes("version 1"));
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_TRUE(fs::exists(runs.own[i]));
        // The second run's archive now holds that entry and its newer copy of
        // the shared file, renumbered, with their comments.
        EXPECT_FALSE(fs::exists(runs.q.Archive(runs.names[0])));
        sessions = runs.q.List();
        ASSERT_EQ(sessions.size(), 2u);
        EXPECT_EQ(SessionPath(sessions[0].Get()), runs.q.Archive(runs.names[1]));
        const auto items = ItemsOf(sessions[0].Get());
        ASSERT_EQ(items.size(), 2u);
        const std::string expected[] = {" PestId \"1\" File \"" + runs.shared + "\"",
                                        " PestId \"3\" File \"" + runs.again + "\""};
        for (std::size_t i = 0; i < 2; ++i) {
            UniqueBstr location;
            items[i]->get_bsLocation(location.Put());
            EXPECT_EQ(Text(location.Get()), expected[i]);
        }
        EXPECT_EQ(CommentsOf(runs.q.Archive(runs.names[1])).size(), 2u);
        // Once the places are free, they come back too.
        fs::remove(runs.again);
        fs::remove(runs.shared);
        ASSERT_TRUE(runs.q.Restore(sessions[0].Get())) << runs.q.Error();
        EXPECT_EQ(ReadFileBytes(runs.again), TextBytes("stored"));
        EXPECT_EQ(ReadFileBytes(runs.shared), TextBytes("version 2"));
        sessions = runs.q.List();
        ASSERT_EQ(sessions.size(), 1u);
        EXPECT_EQ(SessionPath(sessions[0].Get()), runs.q.Archive(runs.names[2]));
    }
    {
        // A path taken before the restore keeps every copy of it stored.
        ThreeRuns runs;
        runs.victim.Write("Pest\\pest.exe", "reinstalled");
        auto sessions = runs.q.List();
        EXPECT_FALSE(runs.q.Restore(sessions[0].Get()));
        EXPECT_EQ(ReadFileBytes(runs.shared), TextBytes("reinstalled"));
        sessions = runs.q.List();
        ASSERT_EQ(sessions.size(), 3u);
        for (const auto& session : sessions)
            EXPECT_EQ(ItemCount(session.Get()), 1u);
    }
}

TEST(QuarantineSessions, DeletingASessionDeletesTheEarlierOnes) {
    Sessions q;
    ScratchDir victim;
    const auto target = victim.Write("pest.exe", "pest");
    const std::string names[] = {"20060101000001", "20060101000002", "20060101000003"};
    for (const auto& name : names)
        ASSERT_TRUE(q.Add(3, "File \"" + target + "\"", name));
    auto sessions = q.List();
    ASSERT_EQ(sessions.size(), 3u);
    ASSERT_TRUE(q.Delete(sessions[1].Get()));
    EXPECT_FALSE(fs::exists(q.Archive(names[0])));
    EXPECT_FALSE(fs::exists(q.Archive(names[1])));
    EXPECT_TRUE(fs::exists(q.Archive(names[2])));
    EXPECT_EQ(q.RecordCount(), 1u);
    // The files themselves are untouched by a delete.
    EXPECT_TRUE(fs::exists(target));

    // A session that is not listed restores nothing and still succeeds.
    ComPtr<IQuarantineSession> stranger;
    ASSERT_EQ(com::CreateEngineObject(CLSID_QuarantineSession, stranger.Put()), S_OK);
    stranger->put_nSessionId(12345);
    EXPECT_TRUE(q.Restore(stranger.Get()));
    EXPECT_TRUE(fs::exists(q.Archive(names[2])));
}

// An archive put into the quarantine folder by hand, listed like our own.
void PlantArchive(Sessions& q, const std::string& name,
                  const std::vector<std::pair<std::string, std::string>>& entries) {
    ZipWriter writer(q.Archive(name));
    writer.SetPassword(kSessionPassword);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& [comment, data] = entries[i];
        ASSERT_EQ(writer.AddBytes(std::vector<std::uint8_t>(data.begin(), data.end()),
                                  {std::to_string(i), comment, {}}),
                  ZipError::kNone);
    }
    QuarantineSessionDb db;
    ASSERT_EQ(db.Open(q.folder + "\\qzqsdb.dat", QuarantineDbFile::Purpose::kUpdate),
              QuarantineDbError::kNone);
    bool appended = false;
    ASSERT_EQ(db.Append(name, q.Archive(name), appended), QuarantineDbError::kNone);
}

TEST(QuarantineSessions, ARestorePutsBackEveryGoodEntryAndKeepsTheOnesItRefuses) {
    Sessions q;
    ScratchDir victim;
    TestRegistryKey registry;
    const auto fresh = victim.File("New Folder\\fresh.txt");
    PlantArchive(q, "20070101000000", {{" PestId \"1\" File \"" + fresh + "\"", "fresh"}});
    auto sessions = q.List();
    ASSERT_EQ(sessions.size(), 1u);
    ASSERT_TRUE(q.Restore(sessions[0].Get())) << q.Error();
    // The missing folder is made.
    EXPECT_EQ(ReadFileBytes(fresh), TextBytes("fresh"));

    // A target outside any drive, a relative one, registry data for a key
    // other than the entry's, no target at all: the good entry comes back,
    // the bad one stays in the archive, alone, and is named.
    const std::string victim_key = registry.Path() + "\\Victim";
    const std::string regedit = "REGEDIT4\r\n\r\n[hkey_current_user\\" + registry.Path() +
                                "\\Elsewhere]\r\n\"Planted\"=\"yes\"\r\n";
    const std::string good = " PestId \"1\" File \"" + victim.File("good.txt") + "\"";
    const struct {
        std::string name;
        std::string bad;
        std::string data;
        std::string kept;
    } hostile[] = {
        {"20070101000001", " PestId \"1\" File \"..\\..\\evil.txt\"", "evil",
         "(The entry's target is not an absolute local path: ..\\..\\evil.txt)"},
        {"20070101000002", " PestId \"1\" File \"\\\\server\\share\\evil.txt\"", "evil",
         "(The entry's target is not an absolute local path: \\\\server\\share\\evil.txt)"},
        {"20070101000003",
         " File \"" + q.folder + "\\reg1.tmp\" PestId \"1\" Key \"hkey_current_user \\" +
             victim_key + "\"",
         regedit, "(its registry data do not belong to hkey_current_user \\" + victim_key + ")"},
        {"20070101000004", " PestId \"1\"", "no target",
         "(The entry's target is not an absolute local path: )"},
    };
    for (const auto& h : hostile) {
        SCOPED_TRACE(h.name);
        PlantArchive(q, h.name, {{good, "good"}, {h.bad, h.data}});
        sessions = q.List();
        ASSERT_EQ(sessions.size(), 1u);
        EXPECT_FALSE(q.Restore(sessions[0].Get()));
        EXPECT_TRUE(
            q.Error().starts_with("Not everything could be restored; kept in the "
                                  "quarantine: "))
            << q.Error();
        EXPECT_TRUE(q.Error().ends_with(h.kept + ".")) << q.Error();
        EXPECT_EQ(ReadFileBytes(victim.File("good.txt")), TextBytes("good"));
        EXPECT_FALSE(KeyExists(registry.Root(), registry.Path() + "\\Elsewhere"));
        EXPECT_EQ(CommentsOf(q.Archive(h.name)), std::vector<std::string>{h.bad});
        fs::remove(victim.File("good.txt"));
        fs::remove(q.Archive(h.name));
    }
}

std::string EngineLogOf(const Sessions& q) {
    const auto path = q.data.path() / "Logs" / "qzv5log.log";
    if (!fs::exists(path))
        return {};
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Damage as a crash, a bad disk or another program leaves it in the session
// database: afterwards every archive of the folder is listed, restorable and
// deletable, a new run's session is listed too, and the repair is logged.
TEST(QuarantineSessions, ADamagedSessionDatabaseHidesNothing) {
    using Damage = std::function<void(std::vector<unsigned char>&)>;
    const struct {
        const char* what;
        Damage damage;
    } cases[] = {
        {"cut inside a record", [](auto& db) { db.resize(db.size() - 5); }},
        {"cut inside the header", [](auto& db) { db.resize(20); }},
        {"flipped bytes in a path",
         [](auto& db) {
             // A digit of the second record's session name, inside its path
             // (records are the same size: their paths are).
             const std::size_t size = (db.size() - 32) / 3;
             db[32 + 2 * size - 8] ^= 0x0F;
         }},
        {"a huge path length",
         [](auto& db) {
             const std::size_t second = 32 + (db.size() - 32) / 3;
             db[second + 12] = 0xFF;
             db[second + 13] = 0xFF;
             db[second + 14] = 0xFF;
             db[second + 15] = 0x7F;
         }},
        {"garbage", [](auto& db) { db.assign(300, 0xA5); }},
        {"zero length", [](auto& db) { db.clear(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sessions q;
        ScratchDir victim;
        const std::string names[] = {"20100101000001", "20100101000002", "20100101000003",
                                     "20100101000004"};
        std::vector<std::string> files;
        for (int i = 0; i < 3; ++i) {
            files.push_back(
                victim.Write("f" + std::to_string(i) + ".txt", "run " + std::to_string(i)));
            ASSERT_TRUE(q.Add(1, "File \"" + files.back() + "\"", names[i])) << q.Error();
        }
        ASSERT_EQ(q.RecordCount(), 3u);
        const std::string db = q.folder + "\\qzqsdb.dat";
        auto bytes = ReadFileBytes(db);
        c.damage(bytes);
        {
            std::ofstream out(db, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
        for (const auto& file : files)
            fs::remove(file);

        auto sessions = q.List();
        ASSERT_EQ(sessions.size(), 3u);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(SessionPath(sessions[i].Get()), q.Archive(names[i]));
        EXPECT_NE(EngineLogOf(q).find("Event \"Quarantine session database repaired\""),
                  std::string::npos)
            << EngineLogOf(q);
        EXPECT_EQ(q.RecordCount(), 3u);

        // A new run is listed after them, never after damage.
        files.push_back(victim.Write("f3.txt", "run 3"));
        ASSERT_TRUE(q.Add(1, "File \"" + files.back() + "\"", names[3])) << q.Error();
        fs::remove(files.back());
        sessions = q.List();
        ASSERT_EQ(sessions.size(), 4u);
        EXPECT_EQ(SessionPath(sessions[3].Get()), q.Archive(names[3]));

        // Restorable and deletable.
        ASSERT_TRUE(q.Restore(sessions[1].Get())) << q.Error();
        for (int i = 1; i < 4; ++i)
            EXPECT_EQ(ReadFileBytes(files[i]), TextBytes("run " + std::to_string(i)));
        sessions = q.List();
        ASSERT_EQ(sessions.size(), 1u);
        ASSERT_TRUE(q.Delete(sessions[0].Get()));
        EXPECT_TRUE(q.List().empty());
        EXPECT_FALSE(fs::exists(q.Archive(names[0])));
        EXPECT_EQ(q.RecordCount(), 0u);
    }
}

TEST(QuarantineSessions, AnItemIsReportedAddedOnlyWhenTheSessionHoldsIt) {
    Sessions q;
    ScratchDir victim;
    TestRegistryKey registry;
    const auto file = victim.Write("pest.exe", "pest");
    const std::string location = "File \"" + file + "\"";

    // Something that is no archive where the session's archive belongs.
    {
        Sessions damaged;
        std::ofstream(damaged.Archive("20080101000000"), std::ios::binary) << "not a zip";
        EXPECT_FALSE(damaged.Add(1, location, "20080101000000"));
        EXPECT_TRUE(damaged.Error().starts_with("Error reading the quarantine session file "))
            << damaged.Error();
        EXPECT_EQ(damaged.RecordCount(), 0u);
        // A folder in its place cannot be written either.
        fs::create_directory(damaged.Archive("20080101000001"));
        EXPECT_FALSE(damaged.Add(1, location, "20080101000001"));
        EXPECT_EQ(damaged.RecordCount(), 0u);
    }
    {
        // A session database that cannot be opened.
        Sessions blocked;
        fs::remove(blocked.folder + "\\qzqsdb.dat");
        fs::create_directory(blocked.folder + "\\qzqsdb.dat");
        EXPECT_FALSE(blocked.Add(1, location, "20080101000002"));
        EXPECT_EQ(blocked.Error(), "Error opening quarantine session database.");
        EXPECT_FALSE(fs::exists(blocked.Archive("20080101000002")));
    }
    // A session name that is no plain name.
    EXPECT_FALSE(q.Add(1, location, "..\\..\\escape"));
    EXPECT_FALSE(q.Add(1, location, ""));
    EXPECT_FALSE(fs::exists(q.data.path() / "escape.zip"));

    // Nothing there to keep is no error: a missing file, a value whose key
    // is gone.
    EXPECT_TRUE(q.Add(1, "File \"" + victim.File("gone.exe") + "\"", "20080101000003"));
    EXPECT_FALSE(fs::exists(q.Archive("20080101000003")));
    EXPECT_TRUE(q.Add(1, "Key \"hkey_current_user \\" + registry.Path() + "\\Gone\" value \"V\"",
                      "20080101000003"));
    EXPECT_FALSE(fs::exists(q.Archive("20080101000003")));
    // An unknown root word is an error.
    EXPECT_FALSE(q.Add(1, "Key \"HKEY_CURRENT_USER \\" + registry.Path() + "\"", "20080101000003"));
    EXPECT_EQ(q.Error(), "Error adding an item to the quarantine session.");

    // Before Initialize nothing is written anywhere.
    ComPtr<IQuarantine> fresh;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Quarantine, fresh.Put()), S_OK);
    VARIANT_BOOL ok = VARIANT_TRUE;
    fresh->AddItemToSession(1, Bstr(location).Get(), Bstr("20080101000004").Get(), &ok);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(LastErrorOf(fresh.Get()), "Not initialized.");
    ComPtr<IQuarantineSession> none;
    EXPECT_EQ(fresh->GetFirstQuarantineSession(none.Put()), S_OK);
    EXPECT_FALSE(none);
}

TEST(QuarantineSessions, ASessionObjectReadsItsArchiveOnce) {
    Sessions q;
    ScratchDir victim;
    const auto file = victim.Write("pest.exe", "pest");
    ASSERT_TRUE(q.Add(7, "File \"" + file + "\"", "20090101000000"));

    ComPtr<IQuarantineSession> session;
    ASSERT_EQ(com::CreateEngineObject(CLSID_QuarantineSession, session.Put()), S_OK);
    VARIANT_BOOL ok = VARIANT_TRUE;
    ASSERT_EQ(session->Initialize(nullptr, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(LastErrorOf(session.Get()), "Error. No session file was provided.");
    ASSERT_EQ(session->Initialize(Bstr(victim.File("none.zip")).Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(LastErrorOf(session.Get()), "Error.  The specified session file does not exist.");
    const auto garbage = victim.Write("garbage.zip", "no archive");
    ASSERT_EQ(session->Initialize(Bstr(garbage).Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(LastErrorOf(session.Get()), "Error processing session file.");

    ASSERT_EQ(session->Initialize(Bstr(q.Archive("20090101000000")).Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    fs::remove(q.Archive("20090101000000"));  // read already
    const auto items = ItemsOf(session.Get());
    ASSERT_EQ(items.size(), 1u);
    LONG pest = 0;
    items[0]->get_nPestId(&pest);
    EXPECT_EQ(pest, 7);
}

}  // namespace
}  // namespace olvex
