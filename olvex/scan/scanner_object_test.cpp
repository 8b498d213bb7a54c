// The scanner object under Wine, through IScanner: properties and
// initialisation, folder scans of a planted tree with definitions made by
// the publisher (the event sequence against a golden list, the kinds of
// detection, filters, recursion, exclusions, the user's stop), single-file
// scans, and archives written by zipfile and Info-ZIP, hostile ones
// included, with the temporary folder checked empty after each.
#include "olvex/scan/scanner_object.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <optional>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/core/crc32.h"
#include "olvex/core/dat_test_support.h"
#include "olvex/core/engine_log.h"
#include "olvex/core/file_io.h"
#include "olvex/core/md5.h"
#include "olvex/core/process_dat_database.h"
#include "olvex/scan/scanner_com_test_support.h"
#include "testing/windows_test_support.h"

namespace olvex {
namespace {

using com::ComPtr;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;
using Lines = std::vector<std::wstring>;

using scan_test::Bstr;
using scan_test::LastErrorCode;
using scan_test::LastErrorText;
using scan_test::TextOf;
using scan_test::Wide;

// The client's callback: every event as one line; ShouldScanContinue
// answers by the question's number.
class Sink final : public IScannerCallback {
  public:
    Lines lines;
    std::function<bool(int)> should_continue;
    bool record_questions = true;

    ULONG References() const { return references_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IScannerCallback)) {
            *object = static_cast<IScannerCallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Owned by the test: counted, never deleted here.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE ScanComplete() override {
        lines.push_back(L"ScanComplete");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ScanAborted(BSTR reason) override {
        lines.push_back(L"ScanAborted " + TextOf(reason));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FinishedItem(BSTR location) override {
        lines.push_back(L"FinishedItem " + TextOf(location));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE StartingItem(BSTR location) override {
        lines.push_back(L"StartingItem " + TextOf(location));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PestDetected(LONG pest_id, BSTR location) override {
        lines.push_back(L"PestDetected " + std::to_wstring(pest_id) + L" " + TextOf(location));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShouldScanContinue(VARIANT_BOOL* go_on) override {
        ++questions_;
        if (record_questions)
            lines.push_back(L"ShouldScanContinue");
        if (should_continue && !should_continue(questions_))
            *go_on = VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE VerboseInformation(BSTR message) override {
        lines.push_back(L"VerboseInformation " + TextOf(message));
        return S_OK;
    }

    Lines Only(std::wstring_view prefix) const {
        Lines kept;
        for (const auto& line : lines) {
            if (std::wstring_view(line).starts_with(prefix))
                kept.push_back(line);
        }
        return kept;
    }
    void Clear() {
        lines.clear();
        questions_ = 0;
    }

  private:
    std::atomic<ULONG> references_{0};
    int questions_ = 0;
};

std::string HeadCrcHex(const std::string& path) {
    std::uint32_t crc = 0;
    EXPECT_TRUE(GetFileHeadCrc32(path, crc)) << path;
    char text[16];
    std::snprintf(text, sizeof(text), "%08x", crc);
    return text;
}

std::string Md5Hex(const std::string& path) {
    Md5Digest digest{};
    EXPECT_TRUE(CMD5Hasher().HashFileByName(path, digest)) << path;
    return DigestToHex(digest);
}

std::string Fixture(const std::string& name) {
    return testing::Narrow(
        testing::WindowsPath(std::string(OLVEX_TEST_DATA_DIR) + "/archives/" + name));
}

class ScannerObjectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        root_ = scratch_.path().string();
        for (const char* folder : {"defs", "tmp", "exclusions", "pf\\OlvexTest", "tree\\s"})
            std::filesystem::create_directories(scratch_.path() / folder);
        // Archive scans put their temporary files here, so a test sees them.
        char previous[MAX_PATH + 1] = {};
        if (GetEnvironmentVariableA("TMP", previous, sizeof(previous)) > 0)
            previous_tmp_ = previous;
        SetEnvironmentVariableA("TMP", Path("tmp").c_str());

        folders_.shell = {{kCsidlProgramFiles, Path("pf")}};
        database_.emplace(&folders_);
        crc_pest_ = Fixture("crc_pest.exe");
        md5_pest_ = Fixture("md5_pest.exe");
        testing::PublishSource(Path("defs"),
                               "block 2004-03-15 09:40:00\n"
                               "pest 1001 \"Test.CrcOnly\" \"Adware\"\n"
                               "pest 1002 \"Test.CrcMd5\" \"Spyware\"\n"
                               "pest 1003 \"Test.Listed\" \"Dialer\"\n"
                               "pest 1004 \"Test.Cookie\" \"Tracking Cookie\"\n"
                               "signature 1001 crc " +
                                   HeadCrcHex(crc_pest_) +
                                   "\n"
                                   "signature 1002 crc " +
                                   HeadCrcHex(md5_pest_) + " md5 " + Md5Hex(md5_pest_) +
                                   "\n"
                                   "file 1003 \"%PROGRAM_FILES%\\OlvexTest\\listed.exe\"\n"
                                   "cookie 1004 \"tracker.example\"\n");
        ASSERT_EQ(com::CreateEngineObject(CLSID_Scanner, scanner_.Put()), S_OK);
    }

    void TearDown() override {
        scanner_.Reset();
        EXPECT_EQ(sink_.References(), 0u);
        SetEnvironmentVariableA("TMP", previous_tmp_ ? previous_tmp_->c_str() : nullptr);
        database_.reset();
        CoUninitialize();
    }

    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }

    void Copy(const std::string& from, const std::string& relative) {
        ASSERT_TRUE(CopyFileA(from.c_str(), Path(relative).c_str(), TRUE)) << relative;
    }
    void Write(const std::string& relative, const std::string& text) {
        ASSERT_EQ(WriteWholeFile(Path(relative),
                                 {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}),
                  FileError::kNone);
    }

    bool Initialize(const std::string& exclusions = {}) {
        VARIANT_BOOL ok = 7;
        if (exclusions.empty())
            EXPECT_EQ(scanner_->Initialize(Bstr(Path("defs")), &ok), S_OK);
        else
            EXPECT_EQ(
                scanner_->InitializeEx(Bstr(Path("defs")), Bstr(exclusions), Bstr(exclusions), &ok),
                S_OK);
        return ok == VARIANT_TRUE;
    }
    void UseSink() { ASSERT_EQ(scanner_->put_Callback(&sink_), S_OK); }

    bool ScanFolder(const std::string& folder, VARIANT_BOOL recurse) {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(scanner_->ScanFolder(Bstr(folder), recurse, &ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    std::optional<bool> ScanFileEx(const std::string& file) {
        VARIANT_BOOL ok = 7, pest = 7;
        EXPECT_EQ(scanner_->ScanFileEx(Bstr(file), &pest, &ok), S_OK);
        if (ok != VARIANT_TRUE)
            return std::nullopt;
        return pest == VARIANT_TRUE;
    }
    void PutFilters(const std::wstring& filters) {
        ASSERT_EQ(scanner_->put_bsScanFilters(Bstr(filters)), S_OK);
    }
    std::wstring LastError() { return LastErrorText(scanner_.Get()); }
    LONG LastCode() { return LastErrorCode(scanner_.Get()); }
    bool TemporaryFolderEmpty() const { return std::filesystem::is_empty(scratch_.path() / "tmp"); }

    std::wstring FileAt(const std::string& relative) const {
        return L"File \"" + Wide(Path(relative)) + L"\"";
    }
    std::wstring FolderAt(const std::string& relative) const {
        return L"Folder \"" + Wide(Path(relative)) + L"\"";
    }

    testing::ScratchDir scratch_;
    std::string root_;
    std::optional<std::string> previous_tmp_;
    testing::FakeSpecialFolders folders_;
    std::optional<ScopedProcessDatDatabase> database_;
    std::string crc_pest_, md5_pest_;
    Sink sink_;
    ComPtr<IScanner> scanner_;
};

TEST_F(ScannerObjectTest, BeforeInitialisationScansAreRefusedWithoutEvents) {
    UseSink();
    VARIANT_BOOL flag = 7;
    EXPECT_EQ(scanner_->IsInitialized(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    EXPECT_FALSE(ScanFolder(Path("tree"), VARIANT_TRUE));
    EXPECT_EQ(LastError(), L"Not initialized.");
    EXPECT_EQ(LastCode(), 9);
    EXPECT_FALSE(ScanFileEx(crc_pest_));
    EXPECT_THAT(sink_.lines, IsEmpty());
    LONG id = 7;
    BSTR location = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(scanner_->GetNextDetectedItem(&id, &location), S_OK);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(location, nullptr);
}

TEST_F(ScannerObjectTest, PropertiesAndTheirResetByInitialisation) {
    VARIANT_BOOL flag = 7;
    // Only VARIANT_TRUE puts true.
    EXPECT_EQ(scanner_->put_vbScanAllUsers(1), S_OK);
    scanner_->get_vbScanAllUsers(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);
    scanner_->put_vbScanAllUsers(VARIANT_TRUE);
    scanner_->get_vbScanAllUsers(&flag);
    EXPECT_EQ(flag, VARIANT_TRUE);
    // Two names, one flag.
    scanner_->put_bMemScanModules(VARIANT_TRUE);
    scanner_->get_vbMemScanModules(&flag);
    EXPECT_EQ(flag, VARIANT_TRUE);
    scanner_->put_vbDeepScan(VARIANT_TRUE);
    scanner_->get_bDeepScan(&flag);
    EXPECT_EQ(flag, VARIANT_TRUE);
    // The log value is kept as put.
    scanner_->put_vbLogEnabled(5);
    scanner_->get_vbLogEnabled(&flag);
    EXPECT_EQ(flag, 5);
    scanner_->put_bsLanguage(Bstr(L"Deutsch"));
    BSTR text = nullptr;
    scanner_->get_bsLanguage(&text);
    EXPECT_EQ(TextOf(text), L"Deutsch");
    SysFreeString(text);
    // A filter piece over 259 characters fails and leaves "*.*" in its place.
    EXPECT_EQ(scanner_->put_bsScanFilters(Bstr(L"*.exe;" + std::wstring(260, L'a'))), E_FAIL);
    PutFilters(L"*.exe");

    ASSERT_TRUE(Initialize());
    scanner_->get_bsScanFilters(&text);
    EXPECT_EQ(TextOf(text), L"*.*");
    SysFreeString(text);
    scanner_->get_vbDeepScan(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);
    scanner_->get_vbLogEnabled(&flag);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_EQ(LastError(), L"Success.");
    EXPECT_EQ(LastCode(), 0);
}

TEST_F(ScannerObjectTest, DefinitionsLoadOncePerProcess) {
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(scanner_->Initialize(Bstr(Path("missing")), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_NE(LastCode(), 0);
    EXPECT_NE(LastError(), L"Success.");
    scanner_->IsInitialized(&ok);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_FALSE(ScanFolder(Path("tree"), VARIANT_TRUE));
    EXPECT_EQ(LastCode(), 9);

    ASSERT_TRUE(Initialize());
    // A second scanner naming another folder uses what is loaded.
    ComPtr<IScanner> second;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Scanner, second.Put()), S_OK);
    EXPECT_EQ(second->Initialize(Bstr(Path("missing")), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
}

TEST_F(ScannerObjectTest, CallbackIsHeldByACountedReference) {
    EXPECT_EQ(scanner_->put_Callback(&sink_), S_OK);
    EXPECT_EQ(sink_.References(), 1u);
    IScannerCallback* got = nullptr;
    EXPECT_EQ(scanner_->get_Callback(&got), S_OK);
    EXPECT_EQ(got, &sink_);
    EXPECT_EQ(sink_.References(), 2u);
    got->Release();
    Sink other;
    scanner_->put_Callback(&other);
    EXPECT_EQ(sink_.References(), 0u);
    EXPECT_EQ(other.References(), 1u);
    scanner_->put_Callback(nullptr);
    EXPECT_EQ(other.References(), 0u);
    scanner_->get_Callback(&got);
    EXPECT_EQ(got, nullptr);
    // Held to the end of the scanner.
    scanner_->put_Callback(&sink_);
    scanner_.Reset();
    EXPECT_EQ(sink_.References(), 0u);
}

TEST_F(ScannerObjectTest, EventSequenceOfASmallTreeMatchesTheGoldenList) {
    Copy(crc_pest_, "tree\\a.exe");
    Copy(md5_pest_, "tree\\s\\c.exe");
    ASSERT_TRUE(Initialize());
    UseSink();
    EXPECT_TRUE(ScanFolder(Path("tree"), VARIANT_TRUE));
    const std::wstring check = L"VerboseInformation IScanner::DetectWithExclusionCheck invoked.";
    EXPECT_THAT(sink_.lines, ElementsAreArray(Lines{
                                 L"StartingItem " + FolderAt("tree"),
                                 L"ShouldScanContinue",  // .
                                 L"ShouldScanContinue",  // ..
                                 L"ShouldScanContinue",  // a.exe
                                 L"StartingItem " + FileAt("tree\\a.exe"),
                                 check,
                                 L"PestDetected 1001 " + FileAt("tree\\a.exe"),
                                 L"FinishedItem " + FileAt("tree\\a.exe"),
                                 L"ShouldScanContinue",  // s
                                 L"StartingItem " + FolderAt("tree\\s"),
                                 L"ShouldScanContinue",
                                 L"ShouldScanContinue",
                                 L"ShouldScanContinue",
                                 L"StartingItem " + FileAt("tree\\s\\c.exe"),
                                 check,
                                 L"PestDetected 1002 " + FileAt("tree\\s\\c.exe"),
                                 L"FinishedItem " + FileAt("tree\\s\\c.exe"),
                                 L"FinishedItem " + FolderAt("tree\\s"),
                                 L"FinishedItem " + FolderAt("tree"),
                                 L"ScanComplete",
                             }));
}

class PlantedTreeTest : public ScannerObjectTest {
  protected:
    void SetUp() override {
        ScannerObjectTest::SetUp();
        Copy(crc_pest_, "tree\\a.exe");
        Copy(md5_pest_, "tree\\b.txt");
        Copy(md5_pest_, "tree\\README");
        Copy(md5_pest_, "tree\\s\\c.exe");
        auto bytes = ReadWholeFile(md5_pest_).bytes;
        bytes[4000] ^= 0xFF;  // the same head, another MD5
        ASSERT_EQ(WriteWholeFile(Path("tree\\s\\lookalike.exe"), bytes), FileError::kNone);
        Write("tree\\s\\clean.dll", "nothing to see");
        Write("pf\\OlvexTest\\listed.exe", "listed by its path only");
    }

    // The files that got a StartingItem, by path below the root.
    Lines Scanned() const {
        Lines files;
        const std::wstring prefix = L"StartingItem File \"" + Wide(root_) + L"\\";
        for (const auto& line : sink_.lines) {
            if (line.starts_with(prefix))
                files.push_back(line.substr(prefix.size(), line.size() - prefix.size() - 1));
        }
        std::sort(files.begin(), files.end());
        return files;
    }
};

TEST_F(PlantedTreeTest, FindsPestsByCrcByMd5AndByListedPath) {
    ASSERT_TRUE(Initialize());
    UseSink();
    EXPECT_TRUE(ScanFolder(Path("tree"), VARIANT_TRUE));
    EXPECT_TRUE(ScanFolder(Path("pf"), VARIANT_TRUE));
    EXPECT_THAT(sink_.Only(L"PestDetected"),
                UnorderedElementsAreArray(Lines{
                    L"PestDetected 1001 " + FileAt("tree\\a.exe"),
                    L"PestDetected 1002 " + FileAt("tree\\b.txt"),
                    L"PestDetected 1002 " + FileAt("tree\\README"),
                    L"PestDetected 1002 " + FileAt("tree\\s\\c.exe"),
                    L"PestDetected 1003 " + FileAt("pf\\OlvexTest\\listed.exe"),
                }));
    EXPECT_EQ(sink_.Only(L"ScanComplete").size(), 2u);
}

TEST_F(PlantedTreeTest, FiltersRecursionAndTrailingBackslash) {
    struct Case {
        const wchar_t* filters;
        const char* folder;
        VARIANT_BOOL recurse;
        Lines scanned;
    };
    const Case cases[] = {
        {L"*.EXE", "tree", 0, {L"tree\\a.exe"}},
        {L"*.EXE",
         "tree",
         VARIANT_TRUE,
         {L"tree\\a.exe", L"tree\\s\\c.exe", L"tree\\s\\lookalike.exe"}},
        {L"*.EXE", "tree", 1, {L"tree\\a.exe"}},  // only -1 recurses
        {L"*.*;!*.TXT", "tree", 0, {L"tree\\README", L"tree\\a.exe"}},
        {L"*.*",
         "tree\\",
         VARIANT_TRUE,
         {L"tree\\README", L"tree\\a.exe", L"tree\\b.txt", L"tree\\s\\c.exe", L"tree\\s\\clean.dll",
          L"tree\\s\\lookalike.exe"}},
        {L"*.*", "tree\\s\\*.dll", VARIANT_TRUE, {L"tree\\s\\clean.dll"}},
    };
    ASSERT_TRUE(Initialize());
    UseSink();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Narrow(c.filters) + " " + c.folder + " " + std::to_string(c.recurse));
        sink_.Clear();
        PutFilters(c.filters);
        EXPECT_TRUE(ScanFolder(Path(c.folder), c.recurse));
        EXPECT_EQ(Scanned(), c.scanned);
    }
}

TEST_F(PlantedTreeTest, ExclusionsGiveTheirNoticesAndExcludedFoldersNoEvents) {
    {
        ComPtr<IExcluder> excluder;
        ASSERT_EQ(com::CreateEngineObject(CLSID_Excluder, excluder.Put()), S_OK);
        VARIANT_BOOL ok = 7;
        ASSERT_EQ(excluder->Initialize(Bstr(Path("exclusions") + "\\"), &ok), S_OK);
        ASSERT_EQ(ok, VARIANT_TRUE);
        for (const std::string& text :
             std::vector<std::string>{"PestId \"1001\"", "Path \"" + Path("tree\\s") + "\""}) {
            ComPtr<IExcludedItem> item;
            ASSERT_EQ(com::CreateEngineObject(CLSID_ExcludedItem, item.Put()), S_OK);
            item->SetString(Bstr(text));
            ASSERT_EQ(excluder->AddExclusion(item.Get(), &ok), S_OK);
            ASSERT_EQ(ok, VARIANT_TRUE) << text;
        }
    }
    ASSERT_TRUE(Initialize(Path("exclusions")));
    UseSink();
    EXPECT_TRUE(ScanFolder(Path("tree"), VARIANT_TRUE));
    EXPECT_THAT(sink_.Only(L"VerboseInformation Pest at"),
                ElementsAre(L"VerboseInformation Pest at " + FileAt("tree\\a.exe") +
                            L" was excluded from detection."));
    EXPECT_THAT(sink_.Only(L"PestDetected"),
                UnorderedElementsAreArray(Lines{L"PestDetected 1002 " + FileAt("tree\\b.txt"),
                                                L"PestDetected 1002 " + FileAt("tree\\README")}));
    for (const auto& line : sink_.lines)
        EXPECT_EQ(line.find(Wide(Path("tree\\s"))), std::wstring::npos) << testing::Narrow(line);
}

TEST_F(PlantedTreeTest, ShouldScanContinueStopsTheScan) {
    ASSERT_TRUE(Initialize());
    UseSink();
    sink_.should_continue = [](int) { return false; };
    EXPECT_TRUE(ScanFolder(Path("tree"), VARIANT_TRUE));
    EXPECT_THAT(sink_.lines, ElementsAre(L"StartingItem " + FolderAt("tree"), L"ShouldScanContinue",
                                         L"FinishedItem " + FolderAt("tree"),
                                         L"ScanAborted Aborted by user.", L"ScanComplete"));
}

TEST_F(PlantedTreeTest, WithoutCallbackFindingsWaitInTheList) {
    ASSERT_TRUE(Initialize());
    EXPECT_TRUE(ScanFolder(Path("tree"), VARIANT_TRUE));
    Lines found;
    LONG id = 0;
    BSTR location = nullptr;
    while (scanner_->GetFirstDetectedItem(&id, &location) == S_OK && location) {
        found.push_back(std::to_wstring(id) + L" " + TextOf(location));
        SysFreeString(location);
    }
    EXPECT_EQ(id, 0);
    EXPECT_EQ(found.size(), 4u);
    // A callback set afterwards gets nothing of them; a new initialisation
    // empties the list.
    EXPECT_TRUE(ScanFolder(Path("tree"), VARIANT_FALSE));
    ASSERT_TRUE(Initialize());
    EXPECT_EQ(scanner_->GetNextDetectedItem(&id, &location), S_OK);
    EXPECT_EQ(location, nullptr);
}

TEST_F(PlantedTreeTest, SingleFilesAndTheirVerdicts) {
    const std::string zip = Fixture("py_stored.zip");
    Copy(crc_pest_, "tree\\user@tracker.example[1].txt");
    ASSERT_TRUE(Initialize());
    UseSink();
    EXPECT_EQ(ScanFileEx(Path("tree\\a.exe")), true);
    EXPECT_EQ(ScanFileEx(zip), false);
    EXPECT_THAT(sink_.Only(L"PestDetected"),
                ElementsAre(L"PestDetected 1001 " + FileAt("tree\\a.exe"),
                            L"PestDetected 1001 File \"" + Wide(zip) +
                                L"|x.exe\" Certainty \"Confirmed\""));
    // A cookie file is a cookie, checked as one only when asked to.
    sink_.Clear();
    const std::string cookie = Path("tree\\user@tracker.example[1].txt");
    EXPECT_EQ(ScanFileEx(cookie), false);
    EXPECT_THAT(sink_.Only(L"PestDetected"), IsEmpty());
    scanner_->put_vbDetectCookiesAsFiles(VARIANT_TRUE);
    EXPECT_EQ(ScanFileEx(cookie), true);
    EXPECT_THAT(sink_.Only(L"PestDetected"),
                ElementsAre(L"PestDetected 1004 Cookie \"tracker.example\" File \"" + Wide(cookie) +
                            L"\""));
    // A file the filters keep out still ends with ScanComplete.
    sink_.Clear();
    PutFilters(L"*.dll");
    EXPECT_EQ(ScanFileEx(Path("tree\\a.exe")), false);
    EXPECT_THAT(sink_.lines, ElementsAre(L"ScanComplete"));
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(scanner_->ScanFile(Bstr(Path("tree\\a.exe")), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
}

TEST_F(ScannerObjectTest, TheWalkDoesNotFollowALinkOutOfItsFolder) {
    // Made by the test run around this program (reparse_tree.sh).
    const std::string tree =
        testing::Narrow(testing::WindowsPath(std::string(OLVEX_REPARSE_TREE_DIR) + "/tree"));
    ASSERT_NE(GetFileAttributesA((tree + "\\link\\p.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(Initialize());
    UseSink();
    EXPECT_TRUE(ScanFolder(tree, VARIANT_TRUE));
    EXPECT_THAT(sink_.Only(L"PestDetected"),
                ElementsAre(L"PestDetected 1001 File \"" + Wide(tree) + L"\\real.exe\""));
    for (const auto& line : sink_.lines)
        EXPECT_EQ(line.find(L"link"), std::wstring::npos) << testing::Narrow(line);
}

TEST_F(ScannerObjectTest, ArchivesFromZipfileAndInfoZip) {
    struct Case {
        const char* archive;
        bool deep;
        std::vector<std::pair<std::wstring, LONG>> found;  // inside the archive, pest id
    };
    const Case cases[] = {
        {"py_stored.zip", false, {{L"x.exe", 1001}}},
        {"py_deflate.zip", false, {{L"dir/y.dll", 1002}}},  // z.dll has another MD5
        {"py_zip64.zip", false, {{L"x.exe", 1001}}},
        {"py_utf8.zip", false, {{L"p\u00e9st.exe", 1001}}},
        {"py_descriptor.zip", false, {{L"x.exe", 1001}}},
        {"iz_deflate.zip", false, {{L"x.exe", 1001}}},
        {"iz_stored.zip", false, {{L"x.exe", 1001}}},
        {"iz_zip64.zip", false, {{L"x.exe", 1001}}},
        {"entries600.zip", false, {{L"e500.exe", 1001}}},  // e501.exe is past the limit
        {"inner.zip", false, {}},
        {"inner.zip", true, {{L"in.zip|x.exe", 1001}}},
        {"myzipfile.zip", true, {{L"MYZIPFILE.DAT|x.exe", 1001}}},
        {"nested12.zip", true, {}},
        {"nested11.zip",
         true,
         {{L"l2.zip|l3.zip|l4.zip|l5.zip|l6.zip|l7.zip|l8.zip|l9.zip|l10.zip|l11.zip|x.exe",
           1001}}},
    };
    ASSERT_TRUE(Initialize());
    UseSink();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.archive) + (c.deep ? " deep" : ""));
        sink_.Clear();
        scanner_->put_vbDeepScan(c.deep ? VARIANT_TRUE : VARIANT_FALSE);
        VARIANT_BOOL ok = 7;
        const std::string path = Fixture(c.archive);
        EXPECT_EQ(scanner_->ScanFile(Bstr(path), &ok), S_OK);
        Lines expected;
        for (const auto& [inside, id] : c.found)
            expected.push_back(L"PestDetected " + std::to_wstring(id) + L" File \"" + Wide(path) +
                               L"|" + inside + L"\" Certainty \"Confirmed\"");
        EXPECT_EQ(sink_.Only(L"PestDetected"), expected);
        EXPECT_TRUE(TemporaryFolderEmpty());
    }
}

// The archive budget keeps a deep scan from reaching the pest in x.zip, and
// the scan says so: a notice to the client and a line in the engine log of
// the scanner's log folder, once.
TEST_F(ScannerObjectTest, AnArchiveScanCutShortByItsBudgetSaysSo) {
    ASSERT_TRUE(Initialize());
    UseSink();
    sink_.record_questions = false;
    scanner_->put_vbDeepScan(VARIANT_TRUE);
    const std::string path = Fixture("pest_past_budget.zip");
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(scanner_->ScanFile(Bstr(path), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_THAT(sink_.Only(L"PestDetected"), IsEmpty());
    // The 256th archive is the 254th leaf of b0.zip; the next is refused.
    const std::string cut = path + "|b0.zip|l254.zip";
    EXPECT_THAT(sink_.Only(L"VerboseInformation The scan"),
                ElementsAre(L"VerboseInformation The scan of Zip \"" + Wide(cut) +
                            L"\" was cut short: it reached the limit of 256 archives per scan."));
    EXPECT_TRUE(TemporaryFolderEmpty());

    const auto log = ReadWholeFile(Path("defs") + "\\Logs\\qzv5log.log");
    ASSERT_TRUE(log) << "no engine log";
    const std::string text(log.bytes.begin(), log.bytes.end());
    const auto lines = ReadLogLines(text);
    ASSERT_EQ(lines.size(), 1u) << text;
    EXPECT_NE(lines[0].find("Event \"Zip scan cut short\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("File \"" + cut + "\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("Limit \"256 archives per scan\""), std::string::npos) << lines[0];
}

TEST_F(ScannerObjectTest, HostileArchivesEndInBoundedMemoryWithNoResidue) {
    ASSERT_TRUE(Initialize());
    UseSink();
    sink_.record_questions = false;
    scanner_->put_vbDeepScan(VARIANT_TRUE);
    PROCESS_MEMORY_COUNTERS before{};
    before.cb = sizeof(before);
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof(before)));
    for (const char* archive : {"bomb_honest.zip", "bomb_lying.zip", "bomb_md5.zip",
                                "bomb_nested.zip", "overlap.zip", "truncated.zip", "garbage.zip"}) {
        SCOPED_TRACE(archive);
        sink_.Clear();
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(scanner_->ScanFile(Bstr(Fixture(archive)), &ok), S_OK);
        EXPECT_EQ(ok, VARIANT_TRUE);
        EXPECT_THAT(sink_.Only(L"PestDetected"), IsEmpty());
        EXPECT_EQ(sink_.lines.back(), L"ScanComplete");
        EXPECT_TRUE(TemporaryFolderEmpty());
    }
    PROCESS_MEMORY_COUNTERS after{};
    after.cb = sizeof(after);
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof(after)));
    // The 100 MiB bomb is never inflated whole, and MD5s are streamed.
    EXPECT_LT(after.PeakWorkingSetSize, before.PeakWorkingSetSize + (64u << 20));
}

}  // namespace
}  // namespace olvex
