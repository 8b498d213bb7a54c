// The Excluder through its interface: the exclusion file on disk, the
// criteria with pest facts from a pest database, a second process changing
// the file, and a folder that cannot be written.
#include "olvex/core/excluder_object.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/core/dat_test_support.h"
#include "olvex/core/exclusion_file.h"
#include "olvex/core/file_io.h"
#include "olvex/core/process_dat_database.h"
#include "olvex/core/scrambler.h"
#include "olvex/core/seconds_clock.h"
#include "olvex/olvex.h"
#include "testing/scratch_dir.h"
#include "testing/windows_test_support.h"

namespace olvex {
namespace {

using com::ComPtr;
using testing::ScratchDir;
using Texts = std::vector<std::wstring>;

class Bstr {
  public:
    explicit Bstr(const std::wstring& text) : bstr_(SysAllocString(text.c_str())) {}
    Bstr() = default;
    ~Bstr() { SysFreeString(bstr_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return bstr_; }

  private:
    BSTR bstr_ = nullptr;
};

std::wstring Wide(const std::string& text) {
    return {text.begin(), text.end()};
}

// ---- A pest database of the test's own -----------------------------------

struct FakePest {
    std::wstring name;
    std::wstring category;
    LONG pvt;
};

class FakePestRecord final : public com::DispatchObject<FakePestRecord, IPestRecord> {
  public:
    FakePestRecord(LONG id, FakePest pest) : id_(id), pest_(std::move(pest)) {}

    HRESULT STDMETHODCALLTYPE get_nPvt(LONG* value) override { return Give(pest_.pvt, value); }
    HRESULT STDMETHODCALLTYPE put_nPvt(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_nId(LONG* value) override { return Give(id_, value); }
    HRESULT STDMETHODCALLTYPE put_nId(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_bsName(BSTR* value) override { return Give(pest_.name, value); }
    HRESULT STDMETHODCALLTYPE put_bsName(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_bsAuthor(BSTR* value) override { return Give(L"", value); }
    HRESULT STDMETHODCALLTYPE put_bsAuthor(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_bsDescription(BSTR* value) override { return Give(L"", value); }
    HRESULT STDMETHODCALLTYPE put_bsDescription(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_bsCategory(BSTR* value) override {
        return Give(pest_.category, value);
    }
    HRESULT STDMETHODCALLTYPE put_bsCategory(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_bsReleaseDate(BSTR* value) override { return Give(L"", value); }
    HRESULT STDMETHODCALLTYPE put_bsReleaseDate(BSTR) override { return E_NOTIMPL; }

  private:
    static HRESULT Give(LONG number, LONG* out) {
        *out = number;
        return S_OK;
    }
    static HRESULT Give(const std::wstring& text, BSTR* out) {
        return com::BstrFromWide(text.c_str(), out);
    }
    LONG id_;
    FakePest pest_;
};

class FakePestDatabase final : public com::DispatchObject<FakePestDatabase, IPestDatabase> {
  public:
    FakePestDatabase(std::map<LONG, FakePest> pests, bool loads)
        : pests_(std::move(pests)), loads_(loads) {}

    int lookups = 0;
    int initializations = 0;

    HRESULT STDMETHODCALLTYPE GetPestById(LONG id, IPestRecord** record) override {
        ++lookups;
        *record = nullptr;
        const auto found = pests_.find(id);
        if (found == pests_.end())
            return S_OK;
        return Adopt(std::make_unique<FakePestRecord>(id, found->second), record);
    }
    HRESULT STDMETHODCALLTYPE Initialize(BSTR, VARIANT_BOOL* success) override {
        ++initializations;
        *success = com::ToVariantBool(loads_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* initialized) override {
        *initialized = com::ToVariantBool(loads_ && initializations > 0);
        return S_OK;
    }
    // Nothing else is asked by the excluder.
    HRESULT STDMETHODCALLTYPE GetFirstPest(IPestRecord**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextPest(IPestRecord**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFirstCommonLocation(LONG*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextCommonLocation(LONG*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_bsLastError(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPestRisk(LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPestAdvice(LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPestThreat(LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_bsLanguage(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_bsLanguage(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_nLastError(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFirstCookieExclusion(LONG*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextCookieExclusion(LONG*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPVTByLocation(BSTR, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFirstLocationIterator(IPestDatabaseLocationIterator**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetEndLocationIterator(IPestDatabaseLocationIterator**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetFirstPestIterator(IPestDatabasePestIterator**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetEndPestIterator(IPestDatabasePestIterator**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    GetFirstCookieExclusionIterator(IPestDatabaseCookieExclusionIterator**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    GetEndCookieExclusionIterator(IPestDatabaseCookieExclusionIterator**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMD5ByLocation(BSTR, BSTR*) override { return E_NOTIMPL; }

    // Hands an object made here to its reference count.
    template <class T, class I>
    static HRESULT Adopt(std::unique_ptr<T> object, I** out) {
        object->AddRef();
        *out = object.release();
        return S_OK;
    }

  private:
    std::map<LONG, FakePest> pests_;
    bool loads_;
};

const std::map<LONG, FakePest> kPests = {
    {12, {L"Foo Bar", L"Adware Tools", 7}},
    {13, {L"Dial Home", L"Dialer", 3}},
};

// The database the excluder makes for itself when it is given none.
FakePestDatabase* g_made = nullptr;
bool g_made_loads = true;
HRESULT MakeFakeDatabase(IPestDatabase** database) {
    auto made = std::make_unique<FakePestDatabase>(kPests, g_made_loads);
    g_made = made.get();
    return FakePestDatabase::Adopt(std::move(made), database);
}

// ---- The excluder ----------------------------------------------------------

class ExcluderObjectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(com::CreateEngineObject(CLSID_Excluder, excluder_.Put()), S_OK);
    }
    void TearDown() override {
        excluder_.Reset();
        CoUninitialize();
    }

    static ComPtr<IExcludedItem> Item(const std::wstring& text) {
        ComPtr<IExcludedItem> item;
        EXPECT_EQ(com::CreateEngineObject(CLSID_ExcludedItem, item.Put()), S_OK);
        item->SetString(Bstr(text));
        return item;
    }
    std::wstring Folder() const { return testing::WindowsPath(dir_.path().string()); }
    bool Initialize(IExcluder* excluder, const std::wstring& folder) const {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(excluder->Initialize(Bstr(folder), &ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    bool Add(const std::wstring& text) const {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(excluder_->AddExclusion(Item(text).Get(), &ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    bool Remove(const std::wstring& text) const {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(excluder_->RemoveExclusion(Item(text).Get(), &ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    static Texts List(IExcluder* excluder) {
        Texts texts;
        ComPtr<IExcludedItem> item;
        for (HRESULT hr = excluder->GetFirstExclusion(item.Put()); SUCCEEDED(hr) && item;
             hr = excluder->GetNextExclusion(item.Put())) {
            com::UniqueBstr text;
            item->GetString(text.Put());
            texts.emplace_back(text.Get() ? text.Get() : L"");
        }
        return texts;
    }
    static std::wstring LastError(IExcluder* excluder) {
        com::UniqueBstr text;
        excluder->get_bsLastError(text.Put());
        return text.Get() ? text.Get() : L"<null>";
    }
    static bool Excluded(IExcluder* excluder, LONG pest_id, const std::wstring& location,
                         IPestDatabase* database) {
        VARIANT_BOOL excluded = 7;
        EXPECT_EQ(excluder->IsLocationExcluded(pest_id, Bstr(location), database, &excluded), S_OK);
        return excluded == VARIANT_TRUE;
    }
    static bool FolderExcluded(IExcluder* excluder, const std::wstring& folder) {
        VARIANT_BOOL excluded = 7;
        EXPECT_EQ(excluder->IsFolderExcluded(Bstr(folder), nullptr, &excluded), S_OK);
        return excluded == VARIANT_TRUE;
    }

    ScratchDir dir_;
    ComPtr<IExcluder> excluder_;
};

TEST_F(ExcluderObjectTest, FirstUseCreatesAnEmptyExclusionFile) {
    EXPECT_EQ(LastError(excluder_.Get()), L"Success.");
    VARIANT_BOOL initialized = 7;
    excluder_->IsInitialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_FALSE);
    // Before Initialize nothing is excluded and nothing can change.
    EXPECT_FALSE(Excluded(excluder_.Get(), 12, L"File \"c:\\x\"", nullptr));
    EXPECT_FALSE(Add(L"PestId \"12\""));
    EXPECT_EQ(LastError(excluder_.Get()), L"Not initialized.");

    // A folder with or without its trailing backslash.
    ASSERT_TRUE(Initialize(excluder_.Get(), Folder() + L"\\"));
    ASSERT_TRUE(Initialize(excluder_.Get(), Folder()));
    EXPECT_EQ(LastError(excluder_.Get()), L"Success");
    excluder_->IsInitialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_TRUE);
    const auto content = ReadWholeFile(dir_.File("qzexc_en.dat"));
    ASSERT_TRUE(content);
    EXPECT_TRUE(content.bytes.empty());
    EXPECT_TRUE(List(excluder_.Get()).empty());
    EXPECT_FALSE(Excluded(excluder_.Get(), 12, L"File \"c:\\x\"", nullptr));
    EXPECT_FALSE(FolderExcluded(excluder_.Get(), L"c:\\x"));

    // A folder that does not exist cannot hold the file.
    EXPECT_FALSE(Initialize(excluder_.Get(), Folder() + L"\\gone"));
    EXPECT_EQ(LastError(excluder_.Get()), L"Error opening exclusions database.");
    excluder_->IsInitialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_FALSE);
}

TEST_F(ExcluderObjectTest, TheOlderFileIsConvertedOnce) {
    const std::string plain = "PestId \"12\"\nPath \"c:\\temp\"\n";
    dir_.Write("qzv5exc.dat", plain);
    ASSERT_TRUE(Initialize(excluder_.Get(), Folder()));
    EXPECT_EQ(List(excluder_.Get()), (Texts{L"PestId \"12\"", L"Path \"c:\\temp\""}));
    EXPECT_FALSE(FileExists(dir_.File("qzv5exc.dat")));
    std::vector<std::uint8_t> expected(plain.begin(), plain.end());
    ScrambleBuffer(expected);
    EXPECT_EQ(ReadWholeFile(dir_.File("qzexc_en.dat")).bytes, expected);
}

TEST_F(ExcluderObjectTest, ChangesAreWrittenBeforeTheyCount) {
    ASSERT_TRUE(Initialize(excluder_.Get(), Folder()));
    ASSERT_TRUE(Add(L"PestId \"12\""));
    ASSERT_TRUE(Add(L"Category \"adware\""));
    ASSERT_TRUE(Add(L"pestid \"12\""));
    const Texts three = {L"PestId \"12\"", L"Category \"adware\"", L"pestid \"12\""};
    EXPECT_EQ(List(excluder_.Get()), three);
    const auto on_disk = DecodeExclusionFile(ReadWholeFile(dir_.File("qzexc_en.dat")).bytes);
    EXPECT_EQ(on_disk, (std::vector<std::string>{R"(PestId "12")", R"(Category "adware")",
                                                 R"(pestid "12")"}));

    // Handed-out items are copies.
    ComPtr<IExcludedItem> first;
    ASSERT_EQ(excluder_->GetFirstExclusion(first.Put()), S_OK);
    first->SetString(Bstr(L"PestId \"99\""));
    EXPECT_EQ(List(excluder_.Get()), three);

    // Removal ignores case and takes both copies.
    EXPECT_TRUE(Remove(L"PESTID \"12\""));
    EXPECT_EQ(List(excluder_.Get()), Texts{L"Category \"adware\""});
    EXPECT_FALSE(Remove(L"PestId \"12\""));
    EXPECT_EQ(LastError(excluder_.Get()),
              L"Item requested for removal is not in exclusions database.");
    EXPECT_FALSE(Add(L""));
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(excluder_->AddExclusion(nullptr, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(excluder_->AddExclusion(Item(L"x \"1\"").Get(), nullptr), E_POINTER);

    // Another excluder on the same folder reads what this one wrote.
    ComPtr<IExcluder> other;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Excluder, other.Put()), S_OK);
    ASSERT_TRUE(Initialize(other.Get(), Folder()));
    EXPECT_EQ(List(other.Get()), Texts{L"Category \"adware\""});

    EXPECT_EQ(excluder_->RemoveAllExclusions(), S_OK);
    EXPECT_TRUE(List(excluder_.Get()).empty());
    EXPECT_TRUE(FileExists(dir_.File("qzexc_en.dat")));
    EXPECT_TRUE(DecodeExclusionFile(ReadWholeFile(dir_.File("qzexc_en.dat")).bytes).empty());
    EXPECT_EQ(excluder_->RefreshExclusions(Bstr(L"c:\\elsewhere")), S_OK);
}

struct DetectionCase {
    const wchar_t* exclusion;
    LONG pest_id;
    const wchar_t* location;
    bool excluded;
};

TEST_F(ExcluderObjectTest, CriteriaUseThePestFactsOfTheDatabase) {
    ASSERT_TRUE(Initialize(excluder_.Get(), Folder()));
    const std::vector<DetectionCase> cases = {
        {L"Category \"adware\"", 12, L"File \"c:\\a.exe\"", true},
        {L"Category \"adware\"", 13, L"File \"c:\\a.exe\"", false},
        {L"PestName \"foo bar\"", 12, L"", true},
        {L"PVT \"7\"", 12, L"", true},
        {L"PVT \"7\"", 13, L"", false},
        // No record for the pest: its PVT is unknown, never -1.
        {L"PVT \"-1\"", 99, L"File \"c:\\a.exe\"", false},
        {L"PestId \"99\"", 99, L"", true},
        {L"PestId \"None\"", 0, L"", false},
        {L"Path \"c:\\temp\"", -1, L"File \"C:\\TEMP\\x.exe\"", true},
        {L"Path \"c:\\temp\"", 12, L"Folder \"c:\\temp2\"", true},
        {L"Path \" \"", 12, L"File \"c:\\temp\\x.exe\"", false},
    };
    ComPtr<IPestDatabase> given;
    auto made = std::make_unique<FakePestDatabase>(kPests, true);
    const FakePestDatabase& fake = *made;
    FakePestDatabase::Adopt(std::move(made), given.Put());
    for (const auto& c : cases) {
        ASSERT_EQ(excluder_->RemoveAllExclusions(), S_OK);
        ASSERT_TRUE(Add(c.exclusion));
        EXPECT_EQ(Excluded(excluder_.Get(), c.pest_id, c.location, given.Get()), c.excluded)
            << testing::Narrow(c.exclusion) << " / " << c.pest_id << " / "
            << testing::Narrow(c.location);
    }
    EXPECT_EQ(fake.initializations, 0);  // a given database is used as it is
    EXPECT_GT(fake.lookups, 0);
}

TEST_F(ExcluderObjectTest, ADatabaseOfItsOwnIsMadeWhenNoneIsGiven) {
    const ScopedPestDatabaseMaker maker(&MakeFakeDatabase);
    ASSERT_TRUE(Initialize(excluder_.Get(), Folder()));
    ASSERT_TRUE(Add(L"Category \"adware\""));
    ASSERT_TRUE(Add(L"Path \"c:\\tools\""));

    g_made_loads = true;
    g_made = nullptr;
    EXPECT_TRUE(Excluded(excluder_.Get(), 12, L"File \"c:\\a.exe\"", nullptr));
    EXPECT_NE(g_made, nullptr);
    // Ids 0 and -1 need no pest record.
    g_made = nullptr;
    EXPECT_FALSE(Excluded(excluder_.Get(), 0, L"File \"c:\\a.exe\"", nullptr));
    EXPECT_EQ(g_made, nullptr);

    // A database that cannot be loaded leaves the pest's facts unknown; it
    // does not switch path exclusions off.
    g_made_loads = false;
    EXPECT_FALSE(Excluded(excluder_.Get(), 12, L"File \"c:\\a.exe\"", nullptr));
    EXPECT_TRUE(Excluded(excluder_.Get(), 12, L"File \"c:\\tools\\a.exe\"", nullptr));
    EXPECT_TRUE(FolderExcluded(excluder_.Get(), L"C:\\Tools\\Sub"));
    EXPECT_FALSE(FolderExcluded(excluder_.Get(), L"C:\\Other"));
    g_made_loads = true;
}

// ---- The real pest database -----------------------------------------------

// The exclusion in the folder, asked about by a copy of the helper program
// that sits in engine_folder: given no pest database, its excluder makes its
// own, which loads the definitions of that folder (the engine's own there).
bool ExcludedFromEngineFolder(const std::filesystem::path& engine_folder,
                              const std::wstring& folder, LONG pest_id,
                              const std::wstring& location) {
    const std::filesystem::path helper = engine_folder / "excluder_helper.exe";
    if (!std::filesystem::exists(helper))
        std::filesystem::copy_file(testing::WindowsPath(OLVEX_EXCLUDER_LOGGER_HELPER_PATH), helper);
    const std::wstring command = L"\"" + helper.wstring() + L"\" is-excluded \"" + folder + L"\" " +
                                 std::to_wstring(pest_id) + L" \"" + location + L"\"";
    const auto result = testing::RunProcess(command);
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.exit_code == 0 || result.exit_code == 4) << result.exit_code;
    return result.started && result.exit_code == 0;
}

TEST_F(ExcluderObjectTest, CriteriaAgainstALoadedPestDatabase) {
    ScratchDir engine;
    testing::PublishSource(engine.path().string(), R"(block 2004-03-15 09:40:00
pest 21 "Real.Adware.One" "Adware"
pest 22 "Real.Dialer.Two" "Dialer"
block 2004-04-01 12:00:00
pest 23 "Real.Spyware.Three" "Spyware"
)");
    // A process-wide database of the test's own, loaded from that set.
    ScopedProcessDatDatabase process_database;
    ComPtr<IPestDatabase> database;
    ASSERT_EQ(com::CreateEngineObject(CLSID_PestDatabase, database.Put()), S_OK);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ASSERT_EQ(database->Initialize(Bstr(Wide(engine.path().string())), &loaded), S_OK);
    ASSERT_EQ(loaded, VARIANT_TRUE);

    ASSERT_TRUE(Initialize(excluder_.Get(), Folder()));
    const std::vector<DetectionCase> cases = {
        {L"PestName \"real.adware.one\"", 21, L"File \"c:\\a.exe\"", true},
        {L"PestName \"Real.Adware.One\"", 22, L"File \"c:\\a.exe\"", false},
        {L"PestName \"Real.Spyware.Three\"", 23, L"", true},  // from the second block
        {L"PestName \"Real\"", 21, L"", false},
        {L"Category \"DIALER\"", 22, L"File \"c:\\a.exe\"", true},
        {L"Category \"dialer\"", 21, L"File \"c:\\a.exe\"", false},
        {L"Category \"spyware\"", 23, L"", true},
        // A pest the set does not have: no name or category to match.
        {L"Category \"adware\"", 99, L"File \"c:\\a.exe\"", false},
        {L"PestId \"22\"", 22, L"File \"c:\\a.exe\"", true},
        {L"PestId \"22\"", 21, L"File \"c:\\a.exe\"", false},
        {L"PestId \"99\"", 99, L"", true},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(excluder_->RemoveAllExclusions(), S_OK);
        ASSERT_TRUE(Add(c.exclusion));
        EXPECT_EQ(Excluded(excluder_.Get(), c.pest_id, c.location, database.Get()), c.excluded)
            << testing::Narrow(c.exclusion) << " / " << c.pest_id << " / "
            << testing::Narrow(c.location);
    }

    // Given no database, the excluder makes its own: in this process it
    // shares the set loaded here.
    ASSERT_EQ(excluder_->RemoveAllExclusions(), S_OK);
    ASSERT_TRUE(Add(L"Category \"adware\""));
    EXPECT_TRUE(Excluded(excluder_.Get(), 21, L"File \"c:\\a.exe\"", nullptr));
    EXPECT_FALSE(Excluded(excluder_.Get(), 23, L"File \"c:\\a.exe\"", nullptr));

    // In a process of its own, it loads the set beside the engine; with no
    // set there the pest's facts are unknown.
    EXPECT_TRUE(ExcludedFromEngineFolder(engine.path(), Folder(), 21, L"File \"c:\\a.exe\""));
    EXPECT_FALSE(ExcludedFromEngineFolder(engine.path(), Folder(), 23, L"File \"c:\\a.exe\""));
    ScratchDir bare;
    EXPECT_FALSE(ExcludedFromEngineFolder(bare.path(), Folder(), 21, L"File \"c:\\a.exe\""));
}

// ---- Another process -------------------------------------------------------

class SteppedClock final : public SecondsClock {
  public:
    std::int64_t Now() const override { return now; }
    std::int64_t now = 1000;
};

// The other process adds an exclusion to the folder.
void AddInOtherProcess(const std::wstring& folder, const std::wstring& text) {
    const std::wstring command = L"\"" + testing::WindowsPath(OLVEX_EXCLUDER_LOGGER_HELPER_PATH) +
                                 L"\" add-exclusion \"" + folder + L"\" \"" + text + L"\"";
    const auto result = testing::RunProcess(command);
    ASSERT_TRUE(result.started);
    ASSERT_EQ(result.exit_code, 0u);
}

TEST_F(ExcluderObjectTest, AnotherProcessesChangeIsSeenAtTheNextCheck) {
    SteppedClock clock;
    {
        const ScopedSecondsClock stepped(clock);
        ASSERT_TRUE(Initialize(excluder_.Get(), Folder()));
        ASSERT_TRUE(Add(L"PestId \"1\""));
        EXPECT_FALSE(Excluded(excluder_.Get(), 2, L"", nullptr));  // checked at 1000

        AddInOtherProcess(Folder(), L"PestId 2");
        clock.now = 1003;
        EXPECT_FALSE(Excluded(excluder_.Get(), 2, L"", nullptr));
        clock.now = 1004;
        EXPECT_TRUE(Excluded(excluder_.Get(), 2, L"", nullptr));
        EXPECT_EQ(List(excluder_.Get()), (Texts{L"PestId \"1\"", L"PestId 2"}));
    }

    // Once more with the real clock.
    EXPECT_FALSE(Excluded(excluder_.Get(), 3, L"", nullptr));
    AddInOtherProcess(Folder(), L"PestId 3");
    Sleep(static_cast<DWORD>(kExclusionFreshnessSeconds + 1) * 1000);
    EXPECT_TRUE(Excluded(excluder_.Get(), 3, L"", nullptr));
}

// ---- A folder that cannot be written ---------------------------------------

// Made read-only (immutable) by the test run before this program starts,
// holding an exclusion file with two exclusions, and an older file alone in
// a folder of its own.
std::string ReadOnlyFolder(const char* name) {
    return testing::Narrow(testing::WindowsPath(OLVEX_READ_ONLY_EXCLUSIONS_DIR)) + "\\" + name;
}

bool CanWriteTo(const std::string& folder) {
    const std::string probe = folder + "\\probe";
    if (WriteWholeFile(probe, std::vector<std::uint8_t>{1}) != FileError::kNone)
        return false;
    RemoveFile(probe);
    return true;
}

TEST_F(ExcluderObjectTest, AReadOnlyFolderGivesFalseAndKeepsTheList) {
    const std::string folder = ReadOnlyFolder("current");
    const std::string old_folder = ReadOnlyFolder("old");
    if (!std::filesystem::exists(folder))
        GTEST_SKIP() << "the read-only folders are made by the test run (ctest)";
    ASSERT_FALSE(CanWriteTo(folder));
    const std::string file = folder + "\\qzexc_en.dat";
    const auto before = ReadWholeFile(file).bytes;
    const Texts two = {L"PestId \"12\"", L"Path \"c:\\temp\""};

    ASSERT_TRUE(Initialize(excluder_.Get(), Wide(folder)));
    EXPECT_EQ(List(excluder_.Get()), two);
    EXPECT_FALSE(Add(L"PestId \"13\""));
    EXPECT_EQ(LastError(excluder_.Get()), L"Error opening exclusions database for writing.");
    EXPECT_EQ(List(excluder_.Get()), two);
    EXPECT_FALSE(Remove(L"PestId \"12\""));
    EXPECT_EQ(LastError(excluder_.Get()), L"Error opening exclusions database for writing.");
    EXPECT_EQ(excluder_->RemoveAllExclusions(), S_OK);
    EXPECT_EQ(LastError(excluder_.Get()), L"Error opening exclusions database for writing.");
    EXPECT_EQ(List(excluder_.Get()), two);
    EXPECT_TRUE(Excluded(excluder_.Get(), 12, L"", nullptr));
    EXPECT_EQ(ReadWholeFile(file).bytes, before);

    // The older file cannot be converted there: it stays, and is used.
    ASSERT_TRUE(Initialize(excluder_.Get(), Wide(old_folder)));
    EXPECT_EQ(List(excluder_.Get()), two);
    EXPECT_TRUE(FileExists(old_folder + "\\qzv5exc.dat"));
    EXPECT_FALSE(FileExists(old_folder + "\\qzexc_en.dat"));
    EXPECT_TRUE(Excluded(excluder_.Get(), 12, L"", nullptr));
}

}  // namespace
}  // namespace olvex
