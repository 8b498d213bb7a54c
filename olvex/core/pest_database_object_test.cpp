// PestDatabase, PestRecord and the iterators through their interfaces, on
// the sample definitions and on sets made here, each test with a process
// database of its own; loading from a web folder against the test's HTTP
// server; the system's special folders through the OS-version seam.
#include "olvex/core/pest_database_object.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/core/crc32.h"
#include "olvex/core/dat_test_support.h"
#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "olvex/core/little_endian.h"
#include "olvex/core/md5.h"
#include "olvex/core/os_utilities.h"
#include "olvex/core/process_dat_database.h"
#include "olvex/core/scrambler.h"
#include "olvex/core/special_folders.h"
#include "olvex/olvex.h"
#include "testing/http_test_server.h"
#include "testing/windows_test_support.h"

namespace olvex {
namespace {

using com::ComPtr;
using testing::ScratchDir;

// A build path as this Windows program reaches it.
std::string BuildPath(const std::string& path) {
    return testing::Narrow(testing::WindowsPath(path));
}

const std::string& SampleFolder() {
    static const std::string folder = BuildPath(OLVEX_SAMPLE_DEFINITIONS_DIR);
    return folder;
}

std::string TestData(const std::string& name) {
    return BuildPath(std::string(OLVEX_TEST_DATA_DIR) + "/" + name);
}

// Owns a BSTR made from a narrow (ASCII) text; null stays null.
class Bstr {
  public:
    explicit Bstr(const char* text) {
        if (text) {
            const std::wstring wide(text, text + std::strlen(text));
            bstr_ = SysAllocString(wide.c_str());
        }
    }
    explicit Bstr(const std::string& text) : Bstr(text.c_str()) {}
    ~Bstr() { SysFreeString(bstr_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return bstr_; }

  private:
    BSTR bstr_ = nullptr;
};

// A BSTR out-parameter read as narrow text; "<null>" for null.
class OutText {
  public:
    ~OutText() { SysFreeString(bstr_); }
    BSTR* Put() {
        SysFreeString(bstr_);
        bstr_ = nullptr;
        return &bstr_;
    }
    std::string Text() const {
        return bstr_ ? testing::Narrow(std::wstring(bstr_, SysStringLen(bstr_))) : "<null>";
    }

  private:
    BSTR bstr_ = nullptr;
};

std::string LastError(IPestDatabase* db) {
    OutText text;
    EXPECT_EQ(db->get_bsLastError(text.Put()), S_OK);
    return text.Text();
}

LONG LastCode(IPestDatabase* db) {
    LONG code = -2;
    EXPECT_EQ(db->get_nLastError(&code), S_OK);
    return code;
}

// "<id> <name> <category> <author> <description> <release date> <pvt>"
std::string Describe(IPestRecord* record) {
    if (!record)
        return "<none>";
    LONG id = 0;
    LONG pvt = 0;
    record->get_nId(&id);
    record->get_nPvt(&pvt);
    OutText name, category, author, description, date;
    record->get_bsName(name.Put());
    record->get_bsCategory(category.Put());
    record->get_bsAuthor(author.Put());
    record->get_bsDescription(description.Put());
    record->get_bsReleaseDate(date.Put());
    return std::to_string(id) + " " + name.Text() + " " + category.Text() + " " + author.Text() +
           " " + description.Text() + " " + date.Text() + " " + std::to_string(pvt);
}

class PestDatabaseObjectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override { CoUninitialize(); }

    static ComPtr<IPestDatabase> Make() {
        ComPtr<IPestDatabase> db;
        EXPECT_EQ(com::CreateEngineObject(CLSID_PestDatabase, db.Put()), S_OK);
        return db;
    }
    static bool Initialize(IPestDatabase* db, const std::string& folder) {
        VARIANT_BOOL success = 7;
        EXPECT_EQ(db->Initialize(Bstr(folder), &success), S_OK);
        EXPECT_TRUE(success == VARIANT_TRUE || success == VARIANT_FALSE);
        return success == VARIANT_TRUE;
    }
    static bool IsInitialized(IPestDatabase* db) {
        VARIANT_BOOL initialized = 7;
        EXPECT_EQ(db->IsInitialized(&initialized), S_OK);
        return initialized == VARIANT_TRUE;
    }
    static std::vector<std::string> CommonLocations(IPestDatabase* db) {
        std::vector<std::string> seen;
        LONG id = 0;
        OutText location;
        EXPECT_EQ(db->GetFirstCommonLocation(&id, location.Put()), S_OK);
        while (id != -1) {
            seen.push_back(std::to_string(id) + " " + location.Text());
            EXPECT_EQ(db->GetNextCommonLocation(&id, location.Put()), S_OK);
        }
        EXPECT_EQ(location.Text(), "<null>");
        return seen;
    }

    ScopedProcessDatDatabase process_database_;
};

// The cookie, then the two keys in bucket order.
const std::vector<std::string> kSampleLocations = {
    R"(1003 Cookie "olvextest-tracker.example")",
    R"(1001 Key "hkey_current_user \Software\OlvexTest\Alpha")",
    R"(1001 Key "hkey_current_user \Software\Microsoft\Windows\CurrentVersion\Run" value "OlvexTestAlpha")",
};

TEST_F(PestDatabaseObjectTest, LoadsTheSampleSetAndAnswers) {
    const auto db = Make();
    // Before Initialize the members say so.
    EXPECT_FALSE(IsInitialized(db.Get()));
    ComPtr<IPestRecord> record;
    EXPECT_EQ(db->GetPestById(1001, record.Put()), S_OK);
    EXPECT_FALSE(record);
    EXPECT_EQ(LastError(db.Get()), "Pest database is not initialized.");

    ASSERT_TRUE(Initialize(db.Get(), SampleFolder()));
    EXPECT_TRUE(IsInitialized(db.Get()));
    EXPECT_EQ(LastError(db.Get()), "Success.");  // a success leaves no earlier text

    EXPECT_EQ(db->GetPestById(1005, record.Put()), S_OK);
    EXPECT_EQ(Describe(record.Get()),
              "1005 OlvexTest.Dialer.Epsilon Dialer Unknown Unknown Unknown -1");
    EXPECT_EQ(db->GetPestById(4242, record.Put()), S_OK);
    EXPECT_FALSE(record);

    // Every pest once, by bucket and chain, then null.
    std::vector<LONG> ids;
    EXPECT_EQ(db->GetFirstPest(record.Put()), S_OK);
    while (record) {
        LONG id = 0;
        record->get_nId(&id);
        ids.push_back(id);
        EXPECT_EQ(db->GetNextPest(record.Put()), S_OK);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<LONG>{1001, 1002, 1003, 1004, 1005}));

    // Cookies, then registry keys, then files and folders; the key that the
    // delta withdrew is gone and the "exclude" entry never was.
    const auto locations = CommonLocations(db.Get());
    ASSERT_EQ(locations.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(locations.begin(), locations.begin() + 3), kSampleLocations);
    std::vector<std::string> paths(locations.begin() + 3, locations.end());
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{
                         R"(1001 File "%PROGRAM_FILES%\OlvexTest\alpha.exe")",
                         R"(1002 File "%PROGRAM_FILES%\OlvexTest\beta.dll")",
                         R"(1002 Folder "%PROGRAM_FILES%\OlvexTest\Beta")",
                         R"(1005 File "%WINDOWS%\olvextest-epsilon.exe")",
                     }));
    // The walk ended: asking again keeps giving -1 and null.
    LONG id = 0;
    OutText location;
    EXPECT_EQ(db->GetNextCommonLocation(&id, location.Put()), S_OK);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(location.Text(), "<null>");
}

TEST_F(PestDatabaseObjectTest, ObjectsShareOneDatabase) {
    const auto first = Make();
    const auto second = Make();
    ASSERT_TRUE(Initialize(first.Get(), SampleFolder()));
    // Another folder, even one without definitions: the set loaded serves.
    ScratchDir empty;
    EXPECT_TRUE(Initialize(second.Get(), empty.path().string()));
    EXPECT_EQ(process_database_.database().GetDatFolder(), SampleFolder());
    ComPtr<IPestRecord> record;
    EXPECT_EQ(second->GetPestById(1003, record.Put()), S_OK);
    EXPECT_EQ(Describe(record.Get()),
              "1003 OlvexTest.Cookie.Gamma Tracking Cookie Unknown Unknown Unknown -1");
    // And a third object made by its ProgID's class id through COM.
    ComPtr<IPestDatabase> third;
    ASSERT_EQ(com::CreateEngineObject(CLSID_PestDatabase, third.Put()), S_OK);
    EXPECT_TRUE(Initialize(third.Get(), ""));
    EXPECT_EQ(CommonLocations(third.Get()).size(), 7u);
}

// The sample definitions copied into folder, the first block of "qzinfo.dat"
// declaring one byte more than its stream decodes to (its check value made
// to fit again).
void WriteShortPayloadSet(const std::filesystem::path& folder) {
    for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"})
        std::filesystem::copy_file(std::filesystem::path(SampleFolder()) / name, folder / name);
    const std::string path = (folder / "qzinfo.dat").string();
    auto bytes = ReadWholeFile(path).bytes;
    const std::uint32_t length = *LoadLe32(bytes, kHeaderLengthOffset);
    const auto payload = std::span(bytes).subspan(kDefinitionHeaderBytes, length);
    DescrambleBuffer(payload);
    StoreLe(payload, 2, *LoadLe32(payload, 2) + 1);
    ScrambleBuffer(payload);
    StoreLe(std::span(bytes), kHeaderCheckOffset, DefinitionCheckValue(payload));
    ASSERT_EQ(WriteWholeFile(path, bytes), FileError::kNone);
}

TEST_F(PestDatabaseObjectTest, LoadFailuresGiveTheReadersTextAndCode) {
    ScratchDir empty;
    ScratchDir short_payload;
    WriteShortPayloadSet(short_payload.path());
    const std::string short_folder = short_payload.path().string();
    struct Case {
        std::string folder;
        std::string text;
        LONG code;
    } const cases[] = {
        {empty.path().string(), empty.path().string() + "\\qzinfo.dat does not exist.", 1},
        {TestData("flip-bit"), TestData("flip-bit") + "\\qzinfo.dat is corrupt.", 2},
        {TestData("other-date"), TestData("other-date") + "\\qzinfo.dat is not compatible.", 3},
        {TestData("bad-magic"), TestData("bad-magic") + "\\qzinfo.dat format not recognized.", 6},
        {TestData("bad-jc"), TestData("bad-jc") + "\\qzinfo.dat could not be decompressed.", 19},
        {TestData("no-jc-tag"),
         TestData("no-jc-tag") + "\\qzinfo.dat holds a block that is not JC-compressed.", 18},
        // A stream that ends short of the size its header declares.
        {short_folder, short_folder + "\\qzinfo.dat could not be decompressed.", 19},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        ScopedProcessDatDatabase fresh;  // nothing loaded yet
        const auto db = Make();
        EXPECT_FALSE(Initialize(db.Get(), c.folder));
        EXPECT_EQ(LastError(db.Get()), c.text);
        EXPECT_EQ(LastCode(db.Get()), c.code);
        EXPECT_FALSE(IsInitialized(db.Get()));
        EXPECT_FALSE(fresh.database().IsLoaded());
        // The enumeration members keep refusing.
        ComPtr<IPestRecord> record;
        EXPECT_EQ(db->GetFirstPest(record.Put()), S_OK);
        EXPECT_FALSE(record);
        EXPECT_EQ(LastError(db.Get()), "Pest database is not initialized.");
        // A later Initialize tries again, and its success clears the text
        // and the code the failure left.
        EXPECT_TRUE(Initialize(db.Get(), SampleFolder()));
        EXPECT_TRUE(fresh.database().IsLoaded());
        EXPECT_EQ(LastError(db.Get()), "Success.");
        EXPECT_EQ(LastCode(db.Get()), 0);
        // So does one that finds the definitions already loaded.
        const auto other = Make();
        EXPECT_EQ(other->put_bsLastError(Bstr("left over")), S_OK);
        EXPECT_TRUE(Initialize(other.Get(), c.folder));
        EXPECT_EQ(LastError(other.Get()), "Success.");
    }
}

TEST_F(PestDatabaseObjectTest, CommonLocationsNeedTheirFirstCall) {
    const auto db = Make();
    ASSERT_TRUE(Initialize(db.Get(), SampleFolder()));
    LONG id = 7;
    OutText location;
    EXPECT_EQ(db->GetNextCommonLocation(&id, location.Put()), S_OK);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(location.Text(), "<null>");
    EXPECT_EQ(LastError(db.Get()), "GetFirstCommonLocation() not called prior to this call.");
    // A new Initialize forgets a walk begun before.
    EXPECT_EQ(db->GetFirstCommonLocation(&id, location.Put()), S_OK);
    ASSERT_TRUE(Initialize(db.Get(), SampleFolder()));
    db->put_bsLastError(Bstr("x"));
    EXPECT_EQ(db->GetNextCommonLocation(&id, location.Put()), S_OK);
    EXPECT_EQ(LastError(db.Get()), "GetFirstCommonLocation() not called prior to this call.");
}

TEST_F(PestDatabaseObjectTest, IteratorsWalkAndCompare) {
    const auto db = Make();
    ASSERT_TRUE(Initialize(db.Get(), SampleFolder()));

    ComPtr<IPestDatabasePestIterator> pests, pests_end;
    ASSERT_EQ(db->GetFirstPestIterator(pests.Put()), S_OK);
    ASSERT_EQ(db->GetEndPestIterator(pests_end.Put()), S_OK);
    int count = 0;
    for (VARIANT_BOOL at_end = VARIANT_FALSE;; ++count) {
        ASSERT_EQ(pests->Equals(pests_end.Get(), &at_end), S_OK);
        if (at_end == VARIANT_TRUE)
            break;
        ComPtr<IPestRecord> record;
        ASSERT_EQ(pests->GetValue(record.Put()), S_OK);
        ASSERT_TRUE(record);
        ComPtr<IPestDatabasePestIterator> same;
        ASSERT_EQ(pests->Next(same.Put()), S_OK);
        EXPECT_EQ(same.Get(), pests.Get());
    }
    EXPECT_EQ(count, 5);
    ComPtr<IPestRecord> none;
    EXPECT_EQ(pests->GetValue(none.Put()), E_FAIL);
    // Two iterators on the first pest are equal; one that moved is not.
    ComPtr<IPestDatabasePestIterator> a, b;
    db->GetFirstPestIterator(a.Put());
    db->GetFirstPestIterator(b.Put());
    VARIANT_BOOL equal = VARIANT_FALSE;
    EXPECT_EQ(a->Equals(b.Get(), &equal), S_OK);
    EXPECT_EQ(equal, VARIANT_TRUE);
    EXPECT_EQ(a->Next(nullptr), S_OK);
    EXPECT_EQ(a->Equals(b.Get(), &equal), S_OK);
    EXPECT_EQ(equal, VARIANT_FALSE);
    EXPECT_EQ(a->Equals(nullptr, &equal), S_OK);
    EXPECT_EQ(equal, VARIANT_FALSE);

    ComPtr<IPestDatabaseLocationIterator> walk, walk_end;
    ASSERT_EQ(db->GetFirstLocationIterator(walk.Put()), S_OK);
    ASSERT_EQ(db->GetEndLocationIterator(walk_end.Put()), S_OK);
    std::vector<std::string> seen;
    for (VARIANT_BOOL at_end = VARIANT_FALSE;;) {
        ASSERT_EQ(walk->Equals(walk_end.Get(), &at_end), S_OK);
        if (at_end == VARIANT_TRUE)
            break;
        LONG id = 0;
        OutText location;
        ASSERT_EQ(walk->GetValue(&id, location.Put()), S_OK);
        seen.push_back(std::to_string(id) + " " + location.Text());
        ASSERT_EQ(walk->Next(nullptr), S_OK);
        ASSERT_LT(seen.size(), 8u);
    }
    EXPECT_EQ(seen, CommonLocations(db.Get()));
    LONG id = 0;
    OutText location;
    EXPECT_EQ(walk->GetValue(&id, location.Put()), E_FAIL);
    EXPECT_EQ(walk->Next(nullptr), E_FAIL);
    EXPECT_EQ(walk_end->GetValue(&id, location.Put()), E_FAIL);

    // The cookie-exclusion iterator has nothing to walk.
    ComPtr<IPestDatabaseCookieExclusionIterator> exclusions;
    ASSERT_EQ(com::CreateEngineObject(CLSID_PestDatabaseCookieExclusionIterator, exclusions.Put()),
              S_OK);
    id = 5;
    EXPECT_EQ(exclusions->GetValue(&id, location.Put()), S_OK);
    EXPECT_EQ(id, 0);
    equal = VARIANT_TRUE;
    EXPECT_EQ(exclusions->Equals(exclusions.Get(), &equal), S_OK);
    EXPECT_EQ(equal, VARIANT_FALSE);
}

TEST_F(PestDatabaseObjectTest, SetsWithoutPestsOrLocations) {
    ScratchDir files_only;
    testing::PublishSource(files_only.path().string(),
                           "block 2004-03-15 09:40:00\nfile 1 \"%WINDOWS%\\a.exe\"\n");
    const auto db = Make();
    ASSERT_TRUE(Initialize(db.Get(), files_only.path().string()));
    ComPtr<IPestRecord> record;
    db->put_bsLastError(Bstr("Success."));
    EXPECT_EQ(db->GetFirstPest(record.Put()), S_OK);
    EXPECT_FALSE(record);
    EXPECT_EQ(LastError(db.Get()), "Success.");
    // An orphan entry reports the pest id it was defined for.
    EXPECT_EQ(CommonLocations(db.Get()), (std::vector<std::string>{R"(1 File "%WINDOWS%\a.exe")"}));
}

TEST_F(PestDatabaseObjectTest, NoLocationsAtAll) {
    ScratchDir pests_only;
    testing::PublishSource(pests_only.path().string(),
                           "block 2004-03-15 09:40:00\npest 1 \"One\" \"Adware\"\n");
    const auto db = Make();
    ASSERT_TRUE(Initialize(db.Get(), pests_only.path().string()));
    ComPtr<IPestDatabaseLocationIterator> first, end;
    db->GetFirstLocationIterator(first.Put());
    db->GetEndLocationIterator(end.Put());
    VARIANT_BOOL equal = VARIANT_FALSE;
    EXPECT_EQ(first->Equals(end.Get(), &equal), S_OK);
    EXPECT_EQ(equal, VARIANT_TRUE);
    EXPECT_TRUE(CommonLocations(db.Get()).empty());
}

TEST_F(PestDatabaseObjectTest, LanguageTexts) {
    ScratchDir folder;
    for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"})
        std::filesystem::copy_file(SampleFolder() + "\\" + name, folder.path() / name);
    const auto db = Make();
    ASSERT_TRUE(Initialize(db.Get(), folder.path().string()));
    OutText text;

    // No file yet.
    EXPECT_EQ(db->GetPestRisk(1001, text.Put()), S_OK);
    EXPECT_EQ(text.Text(), "Unknown");
    EXPECT_EQ(LastError(db.Get()), "Error opening pest extended information database.");

    folder.Write("langv5.dat",
                 "[English]\r\nAdware_Risk = Medium Risk\r\nAdware_Advice=Remove It\r\n"
                 "[Deutsch]\r\nAdware_Threat=Mittel\r\n");
    db->put_bsLastError(Bstr("Success."));
    struct Case {
        HRESULT (STDMETHODCALLTYPE IPestDatabase::*member)(LONG, BSTR*);
        LONG id;
        const char* text;
        const char* error;
    } const cases[] = {
        {&IPestDatabase::GetPestRisk, 1001, "medium risk", "Success."},
        {&IPestDatabase::GetPestAdvice, 1001, "remove it", "Success."},
        {&IPestDatabase::GetPestThreat, 1001, "Unknown", "Success."},  // another section's
        {&IPestDatabase::GetPestRisk, 1002, "Unknown", "Success."},    // no Spyware line
        {&IPestDatabase::GetPestRisk, 4242, "Unknown", "Error looking up pest by id."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ((db.Get()->*c.member)(c.id, text.Put()), S_OK);
        EXPECT_EQ(text.Text(), c.text) << c.id;
        EXPECT_EQ(LastError(db.Get()), c.error) << c.id;
    }

    OutText language;
    EXPECT_EQ(db->get_bsLanguage(language.Put()), S_OK);
    EXPECT_EQ(language.Text(), "English");
    EXPECT_EQ(db->put_bsLanguage(Bstr("DEUTSCH")), S_OK);
    EXPECT_EQ(db->GetPestThreat(1001, text.Put()), S_OK);
    EXPECT_EQ(text.Text(), "mittel");
    EXPECT_EQ(db->put_bsLanguage(Bstr("Klingon")), S_OK);
    EXPECT_EQ(db->GetPestThreat(1001, text.Put()), S_OK);
    EXPECT_EQ(text.Text(), "Unknown");
    EXPECT_EQ(LastError(db.Get()), "Error finding language in langv5.dat.");
    // Initialize puts English back.
    ASSERT_TRUE(Initialize(db.Get(), folder.path().string()));
    EXPECT_EQ(db->get_bsLanguage(language.Put()), S_OK);
    EXPECT_EQ(language.Text(), "English");
}

TEST_F(PestDatabaseObjectTest, FileChecksumsByLocation) {
    ScratchDir folder;
    const std::string file = folder.Write("probe.bin", std::string(3000, 'z'));
    const auto db = Make();  // works without Initialize
    std::uint32_t crc = 0;
    ASSERT_TRUE(GetFileHeadCrc32(file, crc));
    Md5Digest digest{};
    ASSERT_TRUE(CMD5Hasher().HashFileByName(file, digest));

    LONG pvt = 0;
    EXPECT_EQ(db->GetPVTByLocation(Bstr("File \"" + file + "\""), &pvt), S_OK);
    EXPECT_EQ(pvt, static_cast<LONG>(crc));
    OutText md5;
    EXPECT_EQ(db->GetMD5ByLocation(Bstr("Cookie \"x\" File \"" + file + "\""), md5.Put()), S_OK);
    EXPECT_EQ(md5.Text(), DigestToHex(digest));

    const char* const no_file[] = {"Folder \"C:\\windows\"", "File \"C:\\no\\such.file\"", "",
                                   nullptr};
    for (const char* location : no_file) {
        SCOPED_TRACE(location ? location : "null");
        EXPECT_EQ(db->GetPVTByLocation(Bstr(location), &pvt), S_OK);
        EXPECT_EQ(pvt, -1);
        EXPECT_EQ(db->GetMD5ByLocation(Bstr(location), md5.Put()), S_OK);
        EXPECT_EQ(md5.Text(), "<null>");
    }
}

TEST_F(PestDatabaseObjectTest, RecordPropertiesKeepWhatIsPut) {
    ComPtr<IPestRecord> record;
    ASSERT_EQ(com::CreateEngineObject(CLSID_PestRecord, record.Put()), S_OK);
    EXPECT_EQ(Describe(record.Get()), "-1      -1");
    record->put_nPvt(77);
    record->put_nId(12);
    record->put_bsName(Bstr("Name"));
    record->put_bsAuthor(nullptr);
    record->put_bsDescription(Bstr("Text"));
    record->put_bsCategory(Bstr("Cat"));
    record->put_bsReleaseDate(Bstr("2004"));
    EXPECT_EQ(Describe(record.Get()), "12 Name Cat <null> Text 2004 77");
    LONG* no_place = nullptr;
    EXPECT_EQ(record->get_nId(no_place), E_POINTER);
}

// Loading from a web folder: the test's HTTP server serves the sample set.
TEST_F(PestDatabaseObjectTest, LoadsFromAWebFolder) {
    testing::HttpTestServer server;
    ASSERT_TRUE(server.Available()) << testing::HttpTestServer::kHowToRun;
    for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"})
        server.Serve(std::string("defs/") + name,
                     ReadWholeFile(SampleFolder() + "\\" + name).bytes);
    ScratchDir downloads;
    WebDefinitionFetcher fetcher;
    const RemoteSource remote{&fetcher, downloads.path().string()};
    const std::string url = server.Url("/defs");
    CDatDatabase& db = process_database_.database();

    ASSERT_EQ(db.LoadFrom(url, remote), 0) << db.GetLastErrorText();
    EXPECT_EQ(db.FindPest(1005)->name, "OlvexTest.Dialer.Epsilon");
    EXPECT_EQ(db.GetDatFolder(), downloads.path().string());
    const auto first = server.Requests();
    ASSERT_EQ(first.size(), 4u);  // the block time, then the three files
    EXPECT_EQ(first[0].Header("Range"), "bytes=0-511");

    // The remote block time has not moved: nothing is downloaded again.
    const auto before = first.size();
    ASSERT_EQ(db.LoadFrom(url, remote), 0);
    const auto second = server.Requests();
    ASSERT_EQ(second.size(), before + 1);
    EXPECT_EQ(second.back().target, "/defs/qzinfo.dat");
    EXPECT_EQ(second.back().Header("Range"), "bytes=0-511");

    // A newer set whose second file fails: the loaded set stays.
    ScratchDir newer;
    testing::PublishSource(newer.path().string(),
                           "block 2005-01-01 00:00:00\npest 7 \"Seven\" \"Trojan\"\n");
    for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"})
        server.Serve(std::string("defs/") + name, ReadWholeFile(newer.File(name)).bytes);
    server.SetRules("/defs/qzfile.dat status=500\n");
    EXPECT_EQ(db.LoadFrom(url, remote), 1);
    EXPECT_FALSE(db.GetLastErrorText().empty());
    EXPECT_EQ(db.FindPest(1005)->name, "OlvexTest.Dialer.Epsilon");
    EXPECT_FALSE(db.FindPest(7));

    // Once the server is well again, the new set arrives whole.
    server.SetRules("");
    ASSERT_EQ(db.LoadFrom(url, remote), 0) << db.GetLastErrorText();
    EXPECT_EQ(db.FindPest(7)->name, "Seven");
    EXPECT_FALSE(db.FindPest(1005));
}

// Initialize with a web folder downloads into the temporary folder.
TEST_F(PestDatabaseObjectTest, InitializeFromAWebFolder) {
    testing::HttpTestServer server;
    ASSERT_TRUE(server.Available()) << testing::HttpTestServer::kHowToRun;
    for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"})
        server.Serve(std::string("web/") + name, ReadWholeFile(SampleFolder() + "\\" + name).bytes);
    ScratchDir temp;
    char previous[4096] = {};
    const DWORD had = GetEnvironmentVariableA("TMP", previous, sizeof(previous));
    SetEnvironmentVariableA("TMP", temp.path().string().c_str());
    const auto db = Make();
    const bool loaded = Initialize(db.Get(), server.Url("/web"));
    SetEnvironmentVariableA("TMP", had ? previous : nullptr);
    ASSERT_TRUE(loaded) << LastError(db.Get());
    EXPECT_TRUE(std::filesystem::exists(temp.path() / "qzloc.dat"));
    ComPtr<IPestRecord> record;
    EXPECT_EQ(db->GetPestById(1002, record.Put()), S_OK);
    EXPECT_TRUE(record);

    // A web folder that fails leaves the object uninitialised, with the
    // download's text and no code.
    ScratchDir other;
    ScopedProcessDatDatabase fresh;
    const auto failing = Make();
    SetEnvironmentVariableA("TMP", other.path().string().c_str());
    EXPECT_FALSE(Initialize(failing.Get(), server.Url("/missing")));
    SetEnvironmentVariableA("TMP", had ? previous : nullptr);
    EXPECT_NE(LastError(failing.Get()), "Success.");
    EXPECT_EQ(LastCode(failing.Get()), 0);
}

// "HTTP://" is an address as much as "http://": the pest database and the
// scanner load the same definitions from either, each into a process
// database of its own.
TEST_F(PestDatabaseObjectTest, AnAddressInCapitalsLoadsTheSameDefinitions) {
    testing::HttpTestServer server;
    ASSERT_TRUE(server.Available()) << testing::HttpTestServer::kHowToRun;
    for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"})
        server.Serve(std::string("web/") + name, ReadWholeFile(SampleFolder() + "\\" + name).bytes);
    const std::string url = server.Url("/web");
    ASSERT_EQ(url.rfind("http://", 0), 0u) << url;
    char previous[4096] = {};
    const DWORD had = GetEnvironmentVariableA("TMP", previous, sizeof(previous));

    // What a database object sees once the definitions are in.
    const auto contents = [](IPestDatabase* db) {
        std::vector<std::string> seen = CommonLocations(db);
        ComPtr<IPestRecord> record;
        EXPECT_EQ(db->GetFirstPest(record.Put()), S_OK);
        while (record) {
            seen.push_back(Describe(record.Get()));
            EXPECT_EQ(db->GetNextPest(record.Put()), S_OK);
        }
        return seen;
    };
    std::vector<std::string> expected;
    for (const std::string scheme : {"http", "HTTP", "Http"}) {
        for (const bool through_scanner : {false, true}) {
            const std::string address = scheme + url.substr(4);
            SCOPED_TRACE(address + (through_scanner ? " through the scanner" : ""));
            ScopedProcessDatDatabase fresh;
            ScratchDir temp;
            SetEnvironmentVariableA("TMP", temp.path().string().c_str());
            VARIANT_BOOL ok = VARIANT_FALSE;
            std::string error;
            if (through_scanner) {
                ComPtr<IScanner> scanner;
                ASSERT_EQ(com::CreateEngineObject(CLSID_Scanner, scanner.Put()), S_OK);
                EXPECT_EQ(scanner->InitializeEx(Bstr(address), Bstr(address), Bstr(address), &ok),
                          S_OK);
                OutText text;
                scanner->get_bsLastError(text.Put());
                error = text.Text();
            }
            const auto db = Make();
            const bool loaded = Initialize(db.Get(), address);
            SetEnvironmentVariableA("TMP", had ? previous : nullptr);
            if (through_scanner) {
                EXPECT_EQ(ok, VARIANT_TRUE) << error;
            }
            ASSERT_TRUE(loaded) << LastError(db.Get());
            EXPECT_TRUE(std::filesystem::exists(temp.path() / "qzinfo.dat"));
            const auto seen = contents(db.Get());
            if (expected.empty())
                expected = seen;
            EXPECT_EQ(seen, expected);
        }
    }
    EXPECT_EQ(expected.size(), 7u + 5u);
}

// The system's folders, and the platform through the OS-version seam.
class FixedVersion : public OsVersionSource {
  public:
    explicit FixedVersion(OsVersion version) : version_(version) {}
    std::optional<OsVersion> Query() const override { return version_; }

  private:
    OsVersion version_;
};

// The system, but with a shell that answers nothing: every folder comes
// from the fallback rules.
class NoShell : public SystemSpecialFolders {
  public:
    std::optional<std::string> ShellFolder(int) const override { return std::nullopt; }
};

TEST(SpecialFolders, TheSystemsAnswersAndItsPlatform) {
    const SpecialFolderSource& system = TheSpecialFolders();
    char buffer[MAX_PATH] = {};
    GetSystemDirectoryA(buffer, MAX_PATH);
    EXPECT_EQ(system.ShellFolder(kCsidlSystem), std::string(buffer));
    EXPECT_EQ(system.SystemFolder(), std::string(buffer));
    EXPECT_TRUE(system.UserName().has_value());

    // The macro table built from it puts real paths into macro form.
    const CDatDatabase db(&system);
    EXPECT_EQ(db.ToMacroForm(std::string(buffer) + "\\X.EXE"), "%SYSTEM%\\x.exe");

    // The fallback of the profile folder follows the platform the seam gives.
    const NoShell no_shell;
    const std::string user = *system.UserName();
    const struct {
        OsVersion version;
        std::string profile;
    } platforms[] = {
        {{VER_PLATFORM_WIN32_WINDOWS, 4, 10}, "C:\\Windows"},
        {{VER_PLATFORM_WIN32_NT, 4, 0}, "c:\\Winnt\\Profiles\\" + user},
        {{VER_PLATFORM_WIN32_NT, 5, 1}, "C:\\Documents and Settings\\" + user},
    };
    for (const auto& platform : platforms) {
        const FixedVersion version(platform.version);
        const ScopedOsVersionSource scoped(version);
        EXPECT_EQ(no_shell.IsWin9x(), platform.version.platform_id == VER_PLATFORM_WIN32_WINDOWS);
        EXPECT_EQ(GetFolderFromRegistry(kCsidlProfile, no_shell), platform.profile);
    }
}

}  // namespace
}  // namespace olvex
