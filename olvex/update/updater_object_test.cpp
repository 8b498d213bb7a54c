// The updater against update sets served by testing/http_server.py on
// 127.0.0.1, under Wine: checking, downloading (also on its own thread) and
// applying, with the version information object reading the result.
#include "olvex/update/updater_object.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "olvex/core/file_set_replace.h"
#include "olvex/core/process_dat_database.h"
#include "olvex/core/registry_key.h"
#include "win/unique.h"
#include "olvex/update/definition_delta_apply.h"
#include "olvex/update/local_update_database.h"
#include "olvex/update/update_download_name.h"
#include "testing/http_test_server.h"
#include "testing/scratch_dir.h"
#include "testing/windows_test_support.h"
#include "tools/publisher/definition_writer.h"
#include "tools/publisher/update_set.h"

namespace olvex {
namespace {

namespace fs = std::filesystem;
using olvex::testing::HttpTestServer;
using olvex::testing::ReadFileBytes;
using olvex::testing::ScratchDir;
using tools::ExtraUpdateFile;
using tools::UpdateSet;

// Three blocks: data versions 4031509, 4040112 and 4040213. The last one
// also withdraws the first pest.
constexpr const char* kSource = R"(block 2004-03-15 09:40
pest 1 "Update.One" "Adware"
signature 1 crc 0x11111111
key 1 "HKEY_CURRENT_USER\Software\UpdateTest" value "v" data "d"
block 2004-04-01 12:00
pest 2 "Update.Two" "Spyware"
file 2 "%WINDOWS%\two.exe"
block 2004-04-02 13:00
pest 3 "Update.Three" "Dialer"
signature 3 crc 0x33333333
remove pest 1 "Update.One" "Adware"
)";
constexpr std::int32_t kOldest = 4031509;
constexpr std::int32_t kNewest = 4040213;
constexpr const char* kDefinitionNames[] = {"qzfile.dat", "qzinfo.dat", "qzloc.dat"};

com::UniqueBstr Bstr(const std::string& text) {
    com::UniqueBstr bstr;
    EXPECT_EQ(com::BstrFromAnsi(text, bstr.Put()), S_OK);
    return bstr;
}

std::string Ansi(BSTR text) {
    std::string out;
    EXPECT_EQ(com::AnsiFromBstr(text, out), S_OK);
    return out;
}

std::vector<std::uint8_t> AsBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

tools::DefinitionSet Blocks(std::size_t count) {
    auto source = tools::ParseDefinitionSource(kSource, ".", "update.defs");
    EXPECT_TRUE(source.ok()) << source.error;
    source.set.blocks.resize(count);
    return source.set;
}

std::vector<std::uint8_t> TestProgramBytes() {
    const auto program =
        olvex::testing::Narrow(olvex::testing::WindowsPath(OLVEX_UPDATE_TEST_PROGRAM));
    auto file = ReadWholeFile(program);
    EXPECT_TRUE(file) << program;
    return file.bytes;
}

// Deletes a file that a program we started may still hold, waiting for it
// to let go (a running program's file cannot be deleted).
void RemoveWhenFree(const fs::path& path) {
    for (int attempt = 0; attempt < 600 && fs::exists(path); ++attempt) {
        std::error_code ignored;
        if (fs::remove(path, ignored))
            return;
        Sleep(50);
    }
}

bool WaitForFile(const fs::path& path) {
    for (int attempt = 0; attempt < 600; ++attempt) {
        if (fs::exists(path) && fs::file_size(path) > 0)
            return true;
        Sleep(50);
    }
    return false;
}

// An IUpdaterCallback that writes down what it is told, one line per event.
// Consecutive progress reports of one file are kept as one line with the last
// count, since how a body arrives in pieces is the network's business.
class RecordingCallback final : public IUpdaterCallback {
  public:
    // Answers; a rule that returns false stops (or cancels) at that event.
    std::function<bool(const std::string& file, long received)> on_download_progress;
    std::function<bool(long files)> on_update_progress;
    std::function<bool(const std::string& file)> on_update_error;

    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::size_t Count() const {
        std::lock_guard lock(mutex_);
        return events_.size();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IUpdaterCallback)) {
            *object = static_cast<IUpdaterCallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on the stack
    ULONG References() const { return references_; }

    HRESULT STDMETHODCALLTYPE UpdateBegin(LONG files, LONG bytes) override {
        Add("UpdateBegin " + std::to_string(files) + " " + std::to_string(bytes));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DownloadStarting(BSTR file, LONG size) override {
        Add("DownloadStarting " + Ansi(file) + " " + std::to_string(size));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DownloadProgress(BSTR file, LONG received, LONG size,
                                               VARIANT_BOOL* go_on) override {
        const std::string name = Ansi(file);
        const std::string line = "DownloadProgress " + name + " " + std::to_string(received) + " " +
                                 std::to_string(size);
        {
            std::lock_guard lock(mutex_);
            const std::string prefix = "DownloadProgress " + name + " ";
            if (!events_.empty() && events_.back().rfind(prefix, 0) == 0)
                events_.back() = line;
            else
                events_.push_back(line);
        }
        if (on_download_progress && !on_download_progress(name, received))
            *go_on = VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DownloadFinished(BSTR file, LONG size) override {
        Add("DownloadFinished " + Ansi(file) + " " + std::to_string(size));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateComplete(LONG files, LONG bytes) override {
        Add("UpdateComplete " + std::to_string(files) + " " + std::to_string(bytes));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateProgress(LONG files, LONG total_files, LONG bytes,
                                             LONG total_bytes, VARIANT_BOOL* go_on) override {
        Add("UpdateProgress " + std::to_string(files) + " " + std::to_string(total_files) + " " +
            std::to_string(bytes) + " " + std::to_string(total_bytes));
        if (on_update_progress && !on_update_progress(files))
            *go_on = VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateError(LONG code, BSTR file, BSTR message,
                                          VARIANT_BOOL* go_on) override {
        const std::string name = Ansi(file);
        Add("UpdateError " + std::to_string(code) + " " + name + " " + Ansi(message));
        if (on_update_error && !on_update_error(name))
            *go_on = VARIANT_FALSE;
        return S_OK;
    }

  private:
    void Add(std::string line) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(line));
    }

    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::atomic<ULONG> references_{1};
};

// Records the replacements the updater schedules for the next start.
class RecordingReplacer final : public RestartReplacer {
  public:
    explicit RecordingReplacer(std::vector<std::pair<std::string, std::string>>* calls)
        : calls_(calls) {}
    bool ReplaceFileAtReboot(const std::string& source, const std::string& target) override {
        calls_->emplace_back(source, target);
        return true;
    }

  private:
    std::vector<std::pair<std::string, std::string>>* calls_;
};

struct CheckResult {
    HRESULT hr = E_FAIL;
    LONG count = -2;
    LONG bytes = -2;
};

class UpdaterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(server_.Available()) << HttpTestServer::kHowToRun;
        fs::create_directories(app_);
        fs::create_directories(temp_);
    }
    void TearDown() override { CoUninitialize(); }

    // The first `blocks` blocks of the source, with extra files, published
    // under /u/ (not yet served).
    UpdateSet Publish(std::size_t blocks, std::vector<ExtraUpdateFile> extras = {}) {
        std::string error;
        auto set =
            tools::BuildUpdateSet(Blocks(blocks), {server_.Url("/u"), std::move(extras)}, error);
        EXPECT_TRUE(set) << error;
        return set.value_or(UpdateSet{});
    }
    void Serve(const UpdateSet& set) {
        for (const auto& file : tools::UpdateSetFiles(set))
            server_.Serve("u/" + file.path, file.bytes);
    }
    UpdateSet PublishAndServe(std::size_t blocks, std::vector<ExtraUpdateFile> extras = {}) {
        auto set = Publish(blocks, std::move(extras));
        Serve(set);
        return set;
    }
    // Installs the definition files of the first `blocks` blocks (none for 0),
    // and records them in lfinfo.dat at their data version when asked.
    void Install(std::size_t blocks, bool record = true) {
        if (blocks == 0)
            return;
        const auto files = tools::BuildDefinitionFiles(Blocks(blocks));
        ASSERT_TRUE(files.ok()) << files.error;
        WriteWholeFile(App("qzfile.dat"), files.signatures);
        WriteWholeFile(App("qzinfo.dat"), files.pests);
        WriteWholeFile(App("qzloc.dat"), files.locations);
        if (record) {
            const auto version = DataVersionFromFileTime(Blocks(blocks).blocks.back().block_time);
            std::string text;
            for (const char* name : kDefinitionNames)
                text += std::string(name) + "\r\n" + std::to_string(*version) + "\r\n";
            WriteWholeFile(App("lfinfo.dat"), AsBytes(text));
        }
    }

    std::string App(const std::string& name) const { return (app_ / name).string(); }
    std::string Temp(const std::string& name) const { return (temp_ / name).string(); }

    com::ComPtr<IUpdater> MakeUpdater(const std::string& control_path = "/u/qzmaster.dat") {
        com::ComPtr<IUpdater> updater;
        EXPECT_EQ(com::CreateEngineObject(CLSID_Updater, updater.Put()), S_OK);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(
            updater->InitializeEx(Bstr(app_.string()).Get(), Bstr(server_.Url(control_path)).Get(),
                                  0, nullptr, nullptr, &ok),
            S_OK);
        EXPECT_EQ(ok, VARIANT_TRUE);
        return updater;
    }
    static CUpdater& Inside(const com::ComPtr<IUpdater>& updater) {
        return *static_cast<CUpdater*>(updater.Get());  // made by our own factory
    }

    static CheckResult Check(const com::ComPtr<IUpdater>& updater) {
        CheckResult result;
        result.hr = updater->CheckForUpdates(&result.count, &result.bytes);
        return result;
    }
    LONG Download(const com::ComPtr<IUpdater>& updater, IUpdaterCallback* callback) {
        LONG files = -2;
        EXPECT_EQ(updater->DownloadUpdates(Bstr(temp_.string()).Get(), callback, &files), S_OK);
        return files;
    }
    LONG Apply(const com::ComPtr<IUpdater>& updater) {
        LONG applied = -2;
        EXPECT_EQ(updater->ApplyUpdates(Bstr(temp_.string()).Get(), &applied), S_OK);
        return applied;
    }
    static std::string LastError(const com::ComPtr<IUpdater>& updater) {
        com::UniqueBstr text;
        EXPECT_EQ(updater->get_bsLastError(text.Put()), S_OK);
        return Ansi(text.Get());
    }
    static LONG LastErrorCode(const com::ComPtr<IUpdater>& updater) {
        LONG code = -1;
        EXPECT_EQ(updater->get_nLastError(&code), S_OK);
        return code;
    }
    std::int32_t RecordedVersion(const std::string& name) const {
        LocalUpdateDatabase database;
        database.Load(App("lfinfo.dat"));
        return database.FindVersion(name).version;
    }
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The installed definitions are the published whole files, they load,
    // and they are of the newest data.
    void ExpectNewestDefinitions(const UpdateSet& set) {
        for (const char* name : kDefinitionNames) {
            const auto& published =
                *std::find_if(set.files.begin(), set.files.end(),
                              [&](const auto& file) { return file.path == name; });
            EXPECT_EQ(ReadFileBytes(App(name)),
                      std::vector<unsigned char>(published.bytes.begin(), published.bytes.end()))
                << name;
            EXPECT_TRUE(ReadBlockFile(App(name)).ok()) << name;
        }
        EXPECT_EQ(ReadHeaderTotals(app_.string()).data_version, kNewest);
        ExpectPestDatabaseLoads(kNewest, {{2, "Update.Two"}, {3, "Update.Three"}}, {1});
    }
    // A new pest database on the data folder loads the set there: it finds
    // the pests present and not the ones absent, and its data version is the
    // one expected, as is the version information object's. The engine loads
    // one set per process, so this one gets a process-wide database of its own.
    void ExpectPestDatabaseLoads(std::int32_t version, const std::map<LONG, std::string>& present,
                                 const std::vector<LONG>& absent) {
        ScopedProcessDatDatabase process_database;
        {
            com::ComPtr<IPestDatabase> database;
            ASSERT_EQ(com::CreateEngineObject(CLSID_PestDatabase, database.Put()), S_OK);
            VARIANT_BOOL ok = VARIANT_FALSE;
            ASSERT_EQ(database->Initialize(Bstr(app_.string()).Get(), &ok), S_OK);
            ASSERT_EQ(ok, VARIANT_TRUE) << "data version " << version;
            for (const auto& [id, name] : present) {
                com::ComPtr<IPestRecord> record;
                EXPECT_EQ(database->GetPestById(id, record.Put()), S_OK);
                ASSERT_TRUE(record) << "pest " << id << ", data version " << version;
                com::UniqueBstr found;
                EXPECT_EQ(record->get_bsName(found.Put()), S_OK);
                EXPECT_EQ(Ansi(found.Get()), name);
            }
            for (const LONG id : absent) {
                com::ComPtr<IPestRecord> record;
                EXPECT_EQ(database->GetPestById(id, record.Put()), S_OK);
                EXPECT_FALSE(record) << "pest " << id << ", data version " << version;
            }
        }
        EXPECT_EQ(process_database.database().GetDatVersion(), version);

        com::ComPtr<IVersionInfo> info;
        ASSERT_EQ(com::CreateEngineObject(CLSID_VersionInfo, info.Put()), S_OK);
        FILETIME time{};
        VARIANT_BOOL ok = VARIANT_FALSE;
        ASSERT_EQ(info->GetDATTimeStamp(Bstr(app_.string()).Get(), &time, &ok), S_OK);
        EXPECT_EQ(ok, VARIANT_TRUE);
        const std::uint64_t stamp =
            (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
        EXPECT_EQ(DataVersionFromFileTime(stamp), version);
    }
    static std::uint64_t GroupBytes(const UpdateSet& set, std::size_t groups) {
        std::uint64_t bytes = 0;
        for (std::size_t g = 0; g < groups; ++g)
            bytes += set.delta_groups[g].size;
        return bytes;
    }
    static std::uint64_t WholeBytes(const UpdateSet& set) {
        return set.control_entries[0].size + set.control_entries[1].size +
               set.control_entries[2].size;
    }

    HttpTestServer server_;
    ScratchDir scratch_;
    fs::path app_ = scratch_.path() / "app";
    fs::path temp_ = scratch_.path() / "temp";
};

TEST_F(UpdaterTest, CheckRoutes) {
    const UpdateSet set = PublishAndServe(3);
    const struct {
        const char* name;
        std::size_t installed_blocks;
        bool record;
        ULONG max_delta_bytes;
        const char* missing;
        LONG count;
        std::uint64_t bytes;
    } cases[] = {
        {"nothing newer", 3, true, kDefaultMaxDeltaBytes, nullptr, 0, 0},
        {"two delta groups", 1, true, kDefaultMaxDeltaBytes, nullptr, 6, GroupBytes(set, 2)},
        {"one delta group", 2, true, kDefaultMaxDeltaBytes, nullptr, 3, GroupBytes(set, 1)},
        {"never recorded: deltas all the same", 1, false, kDefaultMaxDeltaBytes, nullptr, 6,
         GroupBytes(set, 2)},
        {"deltas over MaxDeltaBytes", 1, true, 10, nullptr, 3, WholeBytes(set)},
        {"a definition file missing", 2, true, kDefaultMaxDeltaBytes, "qzloc.dat", 3,
         WholeBytes(set)},
        {"nothing installed", 0, false, kDefaultMaxDeltaBytes, nullptr, 3, WholeBytes(set)},
    };
    for (const auto& c : cases) {
        for (const char* name : {"qzfile.dat", "qzinfo.dat", "qzloc.dat", "lfinfo.dat"})
            fs::remove(App(name));
        Install(c.installed_blocks, c.record);
        if (c.missing)
            fs::remove(App(c.missing));
        const auto updater = MakeUpdater();
        ASSERT_EQ(updater->put_MaxDeltaBytes(c.max_delta_bytes), S_OK);
        const CheckResult result = Check(updater);
        EXPECT_EQ(result.hr, S_OK) << c.name;
        EXPECT_EQ(result.count, c.count) << c.name;
        EXPECT_EQ(result.bytes, static_cast<LONG>(c.bytes)) << c.name;
    }
}

TEST_F(UpdaterTest, DefaultsForAClientThatSetsNothing) {
    com::ComPtr<IUpdater> updater;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Updater, updater.Put()), S_OK);
    ULONG max = 0;
    VARIANT_BOOL at_reboot = VARIANT_TRUE, initialized = VARIANT_TRUE;
    EXPECT_EQ(updater->get_MaxDeltaBytes(&max), S_OK);
    EXPECT_EQ(max, 0xFFFFFFFFu);
    EXPECT_EQ(updater->get_vbExecuteAtReboot(&at_reboot), S_OK);
    EXPECT_EQ(at_reboot, VARIANT_FALSE);
    EXPECT_EQ(updater->IsInitialized(&initialized), S_OK);
    EXPECT_EQ(initialized, VARIANT_FALSE);
    const CheckResult result = Check(updater);
    EXPECT_EQ(result.hr, S_FALSE);
    EXPECT_EQ(LastError(updater), "Not initialized.");
    LONG applied = -2;
    EXPECT_EQ(updater->ApplyUpdates(nullptr, &applied), S_OK);
    EXPECT_EQ(applied, 0);

    // Initialised without an address: the default server; a missing
    // lfinfo.dat is reported and initialisation goes on.
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(updater->Initialize(Bstr(app_.string()).Get(), nullptr, 0, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    com::UniqueBstr server;
    ASSERT_EQ(updater->get_bsUpdateServer(server.Put()), S_OK);
    EXPECT_EQ(Ansi(server.Get()),
              "http://update.vorandel.example/Downloads/Components/qzmaster.dat");
    EXPECT_EQ(LastError(updater), "Error loading local file update info.");
    ASSERT_EQ(updater->put_bsUpdateServer(Bstr(server_.Url("/elsewhere")).Get()), S_OK);
    ASSERT_EQ(updater->get_bsUpdateServer(server.Put()), S_OK);
    EXPECT_EQ(Ansi(server.Get()), server_.Url("/elsewhere"));
}

TEST_F(UpdaterTest, ControlFileThatCannotBeUsed) {
    std::string oversized = "QZUPDATE_CONTROL\r\n";
    oversized.append(kMaxControlFileBytes, 'x');
    oversized += "\r\n";
    server_.Serve("bad/oversized.dat", oversized);
    server_.Serve("bad/unmarked.dat", std::string("header\r\n").append(40, '1'));
    for (const char* path : {"/bad/oversized.dat", "/bad/unmarked.dat", "/bad/missing.dat",
                             "/@status=500/bad/unmarked.dat"}) {
        const auto updater = MakeUpdater(path);
        const CheckResult result = Check(updater);
        EXPECT_EQ(result.hr, S_FALSE) << path;
        EXPECT_EQ(result.count, -1) << path;
        EXPECT_EQ(LastError(updater), "Error retrieving remote update database.") << path;
        // Downloading fails the same way, without events.
        RecordingCallback callback;
        EXPECT_EQ(Download(updater, &callback), -1) << path;
        EXPECT_TRUE(callback.Events().empty()) << path;
    }
    // The oversized file was never read whole.
    for (const auto& request : server_.Requests()) {
        if (request.target == "/bad/oversized.dat") {
            EXPECT_EQ(request.Header("Range"), "bytes=0-" + std::to_string(kMaxControlFileBytes));
        }
    }
}

TEST_F(UpdaterTest, NamesThatAreNotPlainFileNames) {
    UpdateSet set = Publish(1, {{"good.txt", kUpdateCopyFile, 1, AsBytes("good")}});
    const UpdateControlRecord good = set.control_entries.back();
    for (const char* name :
         {"..\\evil.txt", "..", "sub\\evil.txt", "sub/evil.txt", "C:evil.txt", "C:\\evil.txt",
          "\\\\host\\share\\evil.txt", "nul", "CON.txt", "evil.txt:stream", "evil.txt."}) {
        UpdateControlRecord evil = good;
        evil.file_name = name;
        set.control_entries.push_back(evil);
    }
    Serve(set);
    Install(1);
    const auto updater = MakeUpdater();
    EXPECT_EQ(Check(updater).count, 1);
    EXPECT_EQ(Download(updater, nullptr), 1);
    EXPECT_EQ(Apply(updater), 1);
    EXPECT_EQ(ReadFileBytes(App("good.txt")), std::vector<unsigned char>({'g', 'o', 'o', 'd'}));
    // Nothing beside or above the two folders.
    for (const auto& folder : {scratch_.path(), app_, temp_, app_ / "sub"}) {
        EXPECT_FALSE(fs::exists(folder / "evil.txt")) << folder;
    }
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});
}

TEST_F(UpdaterTest, DeltaRouteEndToEnd) {
    const UpdateSet set = PublishAndServe(3);
    Install(1);
    const auto updater = MakeUpdater();
    ASSERT_EQ(Check(updater).count, 6);
    RecordingCallback callback;
    EXPECT_EQ(Download(updater, &callback), 6);
    const std::uint64_t total = GroupBytes(set, 2);
    std::vector<std::string> expected = {"UpdateBegin 6 " + std::to_string(total)};
    std::uint64_t received = 0;
    int files = 0;
    for (const auto& group : set.delta_groups) {
        for (std::size_t f = 0; f < 3; ++f) {
            const std::string name = std::string(kDeltaStems[f]) + ".qzu";
            const std::string size = std::to_string(group.files[f].size);
            received += group.files[f].size;
            expected.push_back("DownloadStarting " + name + " " + size);
            expected.push_back("DownloadProgress " + name + " " + size + " " + size);
            expected.push_back("DownloadFinished " + name + " " + size);
            expected.push_back("UpdateProgress " + std::to_string(++files) + " 6 " +
                               std::to_string(received) + " " + std::to_string(total));
        }
    }
    expected.push_back("UpdateComplete 6 " + std::to_string(total));
    EXPECT_EQ(callback.Events(), expected);
    EXPECT_EQ(TempFiles().size(), 6u);

    EXPECT_EQ(Apply(updater), 6);
    EXPECT_EQ(LastError(updater), "Success.");
    ExpectNewestDefinitions(set);
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});  // the deltas are consumed
    for (const char* name : kDefinitionNames)
        EXPECT_EQ(RecordedVersion(name), kNewest) << name;
    VARIANT_BOOL reboot = VARIANT_TRUE;
    EXPECT_EQ(updater->IsRebootRequired(&reboot), S_OK);
    EXPECT_EQ(reboot, VARIANT_FALSE);

    // The version information object reads the new definitions.
    com::ComPtr<IVersionInfo> info;
    ASSERT_EQ(com::CreateEngineObject(CLSID_VersionInfo, info.Put()), S_OK);
    FILETIME time{};
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(info->GetDATTimeStamp(Bstr(app_.string()).Get(), &time, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    const std::uint64_t stamp =
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    EXPECT_EQ(DataVersionFromFileTime(stamp), kNewest);
    com::UniqueBstr composite;
    ASSERT_EQ(info->GetCompositeVersion(Bstr(app_.string()).Get(), composite.Put()), S_OK);
    EXPECT_EQ(Ansi(composite.Get()), "2009.10.9.17");  // 5.6.7.4 + 2004-04-02 13h

    // And there is nothing newer now.
    const auto again = MakeUpdater();
    EXPECT_EQ(Check(again).count, 0);
}

TEST_F(UpdaterTest, ANewPestDatabaseLoadsWhatAnUpdateApplied) {
    // From the oldest set, by either route: the update adds pests 2 and 3
    // and withdraws pest 1.
    const UpdateSet set = PublishAndServe(3);
    const struct {
        const char* name;
        ULONG max_delta_bytes;
        LONG files;
    } routes[] = {
        {"deltas", kDefaultMaxDeltaBytes, 6},
        {"whole files", 10, 3},
    };
    for (const auto& route : routes) {
        SCOPED_TRACE(route.name);
        for (const char* name : {"qzfile.dat", "qzinfo.dat", "qzloc.dat", "lfinfo.dat"})
            fs::remove(App(name));
        Install(1);
        ExpectPestDatabaseLoads(kOldest, {{1, "Update.One"}}, {2, 3});
        const auto updater = MakeUpdater();
        ASSERT_EQ(updater->put_MaxDeltaBytes(route.max_delta_bytes), S_OK);
        ASSERT_EQ(Check(updater).count, route.files);
        ASSERT_EQ(Download(updater, nullptr), route.files);
        EXPECT_EQ(Apply(updater), route.files);
        EXPECT_EQ(LastError(updater), "Success.");
        ExpectNewestDefinitions(set);
    }
}

TEST_F(UpdaterTest, WholeFilesEndToEndAndApplyingFromTheFolder) {
    // Downloaded by one updater, applied by another that only has the folder.
    const UpdateSet set = PublishAndServe(3, {{"langv5.dat", kUpdateCopyFile, 3, AsBytes("lang")},
                                              {"notes.txt", kUpdateRecordOnly4, 2, AsBytes("n")}});
    const auto downloader = MakeUpdater();
    EXPECT_EQ(Check(downloader).count, 5);
    EXPECT_EQ(Download(downloader, nullptr), 5);
    EXPECT_EQ(TempFiles().size(), 5u);

    const auto applier = MakeUpdater();
    EXPECT_EQ(Apply(applier), 5);
    EXPECT_EQ(LastError(applier), "Success.");
    ExpectNewestDefinitions(set);
    EXPECT_EQ(ReadFileBytes(App("langv5.dat")), std::vector<unsigned char>({'l', 'a', 'n', 'g'}));
    EXPECT_FALSE(fs::exists(App("notes.txt")));  // only recorded
    EXPECT_EQ(RecordedVersion("langv5.dat"), 3);
    EXPECT_EQ(RecordedVersion("notes.txt"), 2);
    EXPECT_EQ(RecordedVersion("qzinfo.dat"), kNewest);
    EXPECT_EQ(Check(MakeUpdater()).count, 0);
}

TEST_F(UpdaterTest, DownloadsThatFail) {
    // Whole files; one of them spoilt in each case. The callback answers
    // "go on" unless the case says otherwise.
    const struct {
        const char* name;
        std::function<void(UpdateSet&)> spoil;
        std::function<void(RecordingCallback&)> answer;
        const char* error;
        LONG received;
        bool complete;  // UpdateProgress and UpdateError for the later files too
    } cases[] = {
        {"a wrong check value",
         [](UpdateSet& s) { s.control_entries[1].check_value ^= 1; },
         {},
         "Checksum of downloaded file is incorrect.",
         2,
         true},
        {"a 404",
         [](UpdateSet& s) { s.control_entries[1].url += ".missing"; },
         {},
         "Error downloading file from server.",
         2,
         true},
        {"a body longer than announced",
         [](UpdateSet& s) { s.control_entries[1].size -= 1; },
         {},
         "Error downloading file from server.",
         2,
         true},
        {"a page that is no definition file",
         [this](UpdateSet& s) {
             server_.Serve("u/page.html", std::string("<html>sorry</html>"));
             s.control_entries[1].url = server_.Url("/u/page.html");
             s.control_entries[1].size = 18;
         },
         {},
         "Could not obtain valid version of file.",
         2,
         true},
        {"a cancel from the callback",
         {},
         [](RecordingCallback& c) {
             c.on_download_progress = [](const std::string&, long received) {
                 return received < 1;
             };
             c.on_update_error = [](const std::string&) { return false; };
         },
         "Error downloading file from server.",
         0,
         false},
        {"the client stops after the first file",
         {},
         [](RecordingCallback& c) { c.on_update_progress = [](long files) { return files < 1; }; },
         nullptr,
         1,
         false},
    };
    for (const auto& c : cases) {
        for (const auto& name : TempFiles())
            fs::remove(temp_ / name);
        UpdateSet set = Publish(3);
        if (c.spoil)
            c.spoil(set);
        Serve(set);
        const auto updater = MakeUpdater();
        RecordingCallback callback;
        if (c.answer)
            c.answer(callback);
        EXPECT_EQ(Download(updater, &callback), c.received) << c.name;
        const auto events = callback.Events();
        const std::string spoilt = DownloadFileName("qzinfo.dat", kNewest, kUpdateCopyFile);
        if (c.error) {
            const std::string error_line =
                std::string("UpdateError 1 ") +
                (c.received == 0 ? DownloadFileName("qzfile.dat", kNewest, 2) : spoilt) + " " +
                c.error;
            EXPECT_NE(std::find(events.begin(), events.end(), error_line), events.end())
                << c.name << "\n"
                << ::testing::PrintToString(events);
        }
        EXPECT_EQ(events.back().rfind("UpdateComplete " + std::to_string(c.received) + " ", 0), 0u)
            << c.name << ": " << events.back();
        const auto progress = std::count_if(events.begin(), events.end(), [](const std::string& e) {
            return e.rfind("UpdateProgress ", 0) == 0;
        });
        EXPECT_EQ(progress, c.complete ? 3 : 1) << c.name;
        // What failed is gone: no spoilt download, no half-written file.
        const auto files = TempFiles();
        EXPECT_EQ(files.size(), static_cast<std::size_t>(c.received)) << c.name;
        EXPECT_EQ(std::find(files.begin(), files.end(), spoilt), files.end()) << c.name;
    }
}

TEST_F(UpdaterTest, NothingNewerStillReportsBeginAndComplete) {
    PublishAndServe(3);
    Install(3);
    const auto updater = MakeUpdater();
    RecordingCallback callback;
    EXPECT_EQ(Download(updater, &callback), 0);
    EXPECT_EQ(callback.Events(),
              (std::vector<std::string>{"UpdateBegin 0 0", "UpdateComplete 0 0"}));
    EXPECT_EQ(Apply(updater), 0);
}

TEST_F(UpdaterTest, ADeltaThatDoesNotApplyChangesNothing) {
    // A delta package whose blocks are spoilt but whose check value is right
    // downloads, and then fails before any definition file is touched.
    UpdateSet set = Publish(3);
    for (auto& file : set.files) {
        if (file.path == "deltas/4040213/qzinfo.qzu") {
            file.bytes[file.bytes.size() - 3] ^= 0x10;
            set.delta_groups[0].files[1].check_value = UpdateCheckValue(file.bytes);
        }
    }
    // The index then lists the new check value, and the control file the
    // index's own.
    const std::string index = tools::RenderDeltaIndex(set.delta_groups);
    for (auto& entry : set.control_entries) {
        if (entry.file_name == kDeltaIndexEntryName)
            entry.check_value = UpdateCheckValue(
                {reinterpret_cast<const std::uint8_t*>(index.data()), index.size()});
    }
    Serve(set);
    Install(2);
    const auto before = ReadFileBytes(App("qzinfo.dat"));
    const auto updater = MakeUpdater();
    ASSERT_EQ(Check(updater).count, 3);
    EXPECT_EQ(Download(updater, nullptr), 3);
    EXPECT_EQ(Apply(updater), 0);
    EXPECT_NE(LastError(updater).find(" is corrupt."), std::string::npos) << LastError(updater);
    EXPECT_EQ(LastErrorCode(updater), kDeltaApplyErrorCode);
    EXPECT_EQ(ReadFileBytes(App("qzinfo.dat")), before);
    EXPECT_EQ(ReadHeaderTotals(app_.string()).data_version, 4040112);
    EXPECT_EQ(RecordedVersion("qzinfo.dat"), 4040112);
    EXPECT_EQ(TempFiles().size(), 3u);  // kept for another try
}

TEST_F(UpdaterTest, DeltasFromTheFolderNeedTheWholeSet) {
    // Five of six downloaded deltas: nothing changes and nothing is recorded.
    PublishAndServe(3);
    Install(1);
    const auto downloader = MakeUpdater();
    ASSERT_EQ(Download(downloader, nullptr), 6);
    const auto files = TempFiles();
    fs::remove(temp_ / files.back());
    const auto before = ReadFileBytes(App("qzloc.dat"));
    const auto applier = MakeUpdater();
    EXPECT_EQ(Apply(applier), 0);
    EXPECT_EQ(LastError(applier), "Missing delta files.");
    EXPECT_EQ(LastErrorCode(applier), kDeltaApplyErrorCode);
    EXPECT_EQ(ReadFileBytes(App("qzloc.dat")), before);
    EXPECT_EQ(RecordedVersion("qzloc.dat"), 4031509);
}

TEST_F(UpdaterTest, ACopyOverAFileInUseWaitsForTheRestart) {
    PublishAndServe(1, {{"notes.txt", kUpdateCopyFile, 2, AsBytes("new")}});
    Install(1);
    WriteWholeFile(App("notes.txt"), AsBytes("old"));
    const win::UniqueHandle in_use(CreateFileA(App("notes.txt").c_str(), GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(in_use);
    const auto updater = MakeUpdater();
    std::vector<std::pair<std::string, std::string>> scheduled;
    Inside(updater).SetRestartReplacer(std::make_unique<RecordingReplacer>(&scheduled));
    ASSERT_EQ(Download(updater, nullptr), 1);
    EXPECT_EQ(Apply(updater), 1);
    // The new file waits beside the old one and takes its place at the
    // restart (or at the next apply, if that comes first).
    const std::string staged = App("notes.txt") + std::string(kStagedFileSuffix);
    ASSERT_EQ(scheduled.size(), 1u);
    EXPECT_EQ(scheduled[0], std::make_pair(staged, App("notes.txt")));
    VARIANT_BOOL reboot = VARIANT_FALSE;
    EXPECT_EQ(updater->IsRebootRequired(&reboot), S_OK);
    EXPECT_EQ(reboot, VARIANT_TRUE);
    EXPECT_EQ(ReadFileBytes(staged), AsBytes("new"));
    EXPECT_EQ(RecordedVersion("notes.txt"), 2);
}

TEST_F(UpdaterTest, ProgramsRunOnceAndAreNotRunAgain) {
    const auto program = TestProgramBytes();
    PublishAndServe(1, {{"tool.exe", kUpdateExecutable, 3, program},
                        {"slow.exe", kUpdateExecutable, 4, program},
                        {"odd.bin", 9, 1, AsBytes("?")}});
    Install(1);
    // The slow one sleeps for ten seconds; the updater waits a tenth of one.
    std::ofstream(temp_ / "slow.exe.sleep") << 10000;
    const auto updater = MakeUpdater();
    Inside(updater).SetProgramWait(100);
    ASSERT_EQ(Check(updater).count, 3);
    ASSERT_EQ(Download(updater, nullptr), 3);
    EXPECT_EQ(Apply(updater), 2);
    EXPECT_EQ(LastError(updater), "Error applying update, type not recognized!");
    EXPECT_TRUE(WaitForFile(temp_ / "tool.exe.ran"));
    EXPECT_TRUE(WaitForFile(temp_ / "slow.exe.ran"));
    EXPECT_EQ(RecordedVersion("tool.exe"), 3);
    EXPECT_EQ(RecordedVersion("slow.exe"), 4);  // it ran, though it did not finish in time
    EXPECT_EQ(RecordedVersion("odd.bin"), -1);

    const auto next = MakeUpdater();
    EXPECT_EQ(Check(next).count, 1);  // only the unknown kind again
    RemoveWhenFree(temp_ / "slow.exe");
    RemoveWhenFree(temp_ / "tool.exe");
}

TEST_F(UpdaterTest, ASlowProgramIsReported) {
    PublishAndServe(1, {{"slow.exe", kUpdateExecutable, 4, TestProgramBytes()}});
    Install(1);
    std::ofstream(temp_ / "slow.exe.sleep") << 10000;
    const auto updater = MakeUpdater();
    Inside(updater).SetProgramWait(100);
    ASSERT_EQ(Download(updater, nullptr), 1);
    EXPECT_EQ(Apply(updater), 1);
    EXPECT_EQ(LastError(updater),
              "Executable " + Temp("slow.exe") + " did not complete during ApplyUpdates()!");
    RemoveWhenFree(temp_ / "slow.exe");
}

TEST_F(UpdaterTest, ProgramsScheduledForTheNextStart) {
    const auto program = TestProgramBytes();
    PublishAndServe(1, {{"first.exe", kUpdateExecutable, 1, program},
                        {"second.exe", kUpdateExecutable, 1, program}});
    Install(1);
    const std::string key = "Software\\OlvexUpdaterTest" + std::to_string(GetCurrentProcessId());
    const auto updater = MakeUpdater();
    Inside(updater).SetRunOnceKey(HKEY_CURRENT_USER, key);
    ASSERT_EQ(updater->put_vbExecuteAtReboot(VARIANT_TRUE), S_OK);
    ASSERT_EQ(Download(updater, nullptr), 2);
    EXPECT_EQ(Apply(updater), 2);
    VARIANT_BOOL reboot = VARIANT_FALSE;
    EXPECT_EQ(updater->IsRebootRequired(&reboot), S_OK);
    EXPECT_EQ(reboot, VARIANT_TRUE);

    RegistryKey run_once;
    ASSERT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, std::wstring(key.begin(), key.end()), KEY_READ,
                                run_once),
              ERROR_SUCCESS);
    const auto first = run_once.GetString(L"qzupdate");
    const auto second = run_once.GetString(L"qzupdate2");
    run_once.Close();
    DeleteKeyTree(HKEY_CURRENT_USER, std::wstring(key.begin(), key.end()));
    ASSERT_TRUE(first && second);
    // Each value names its own program (as a short path).
    std::array<char, MAX_PATH> long_path{};
    ASSERT_GT(GetLongPathNameA(olvex::testing::Narrow(*first).c_str(), long_path.data(), MAX_PATH),
              0u);
    EXPECT_EQ(fs::path(long_path.data()).filename(), "first.exe");
    ASSERT_GT(GetLongPathNameA(olvex::testing::Narrow(*second).c_str(), long_path.data(), MAX_PATH),
              0u);
    EXPECT_EQ(fs::path(long_path.data()).filename(), "second.exe");
    EXPECT_FALSE(fs::exists(temp_ / "first.exe.ran"));  // not run now
}

// The stub itself is started by the engine tests that run the real DLL
// (engine_swap_test.cpp): here it would wait for this very program.
// A new engine: a real engine DLL (the one built with this test).
std::vector<std::uint8_t> EngineBytes() {
    const auto bytes = ReadFileBytes(olvex::testing::WindowsPath(OLVEX_DLL_PATH));
    return {bytes.begin(), bytes.end()};
}

TEST_F(UpdaterTest, EngineUpdateIsRecordedBeforeTheSwapStubStarts) {
    const std::vector<std::uint8_t> new_engine = EngineBytes();
    PublishAndServe(1, {{"olvex.dll", kUpdateEngineDll, 7, new_engine}});
    Install(1);
    const auto updater = MakeUpdater();
    std::vector<std::string> starts;
    std::int32_t recorded_at_start = -2;
    Inside(updater).SetSwapStubStarter(
        [&](const std::string& stub, const std::string& parameters) -> INT_PTR {
            starts.push_back(stub + "|" + parameters);
            recorded_at_start = RecordedVersion("olvex.dll");
            return 42;
        });
    ASSERT_EQ(Download(updater, nullptr), 1);
    EXPECT_EQ(Apply(updater), 1);
    EXPECT_EQ(LastError(updater), "Success.");
    EXPECT_EQ(RecordedVersion("olvex.dll"), 7);
    // lfinfo.dat held the record when the stub started.
    EXPECT_EQ(recorded_at_start, 7);
    // The stub the engine carries, started with the running engine (this
    // program links it) and the new one.
    std::array<char, MAX_PATH> self{};
    GetModuleFileNameA(nullptr, self.data(), MAX_PATH);
    const std::string download = Temp(DownloadFileName("olvex.dll", 7, kUpdateEngineDll));
    EXPECT_EQ(starts, std::vector<std::string>{App("Swavel.exe") + "|\"" + self.data() + "\" \"" +
                                               download + "\""});
    EXPECT_EQ(ReadFileBytes(app_ / "Swavel.exe"),
              ReadFileBytes(olvex::testing::WindowsPath(OLVEX_SWAP_STUB_PATH)));
    EXPECT_EQ(ReadFileBytes(download),
              std::vector<unsigned char>(new_engine.begin(), new_engine.end()));
}

TEST_F(UpdaterTest, EngineUpdateThatCannotStartIsNotRecorded) {
    PublishAndServe(1, {{"olvex.dll", kUpdateEngineDll, 7, EngineBytes()}});
    Install(1);
    // An engine update of an earlier run is on record.
    {
        LocalUpdateDatabase database;
        database.Load(App("lfinfo.dat"));
        ASSERT_TRUE(database.SetVersion("olvex.dll", 5));
        ASSERT_GE(database.Save(App("lfinfo.dat")), 0);
    }
    const struct {
        INT_PTR code;
        const char* error;
    } failures[] = {
        {0, "The system is out of resources."},
        {ERROR_FILE_NOT_FOUND, "The olvex update stub could not be found."},
        {ERROR_PATH_NOT_FOUND, "The olvex update stub path is invalid."},
        {ERROR_NOT_ENOUGH_MEMORY, "The system is out of memory."},
        {ERROR_BAD_FORMAT, "The olvex update stub is corrupt."},
        {ERROR_ACCESS_DENIED, "The olvex update stub failed to execute."},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.error);
        const auto updater = MakeUpdater();
        int starts = 0;
        Inside(updater).SetSwapStubStarter([&](const std::string&, const std::string&) {
            ++starts;
            EXPECT_EQ(RecordedVersion("olvex.dll"), 7);
            return failure.code;
        });
        ASSERT_EQ(Download(updater, nullptr), 1);
        EXPECT_EQ(Apply(updater), 0);
        EXPECT_EQ(starts, 1);
        EXPECT_EQ(LastError(updater), failure.error);
        // Taken back: the earlier record and the definitions' are as they were.
        EXPECT_EQ(RecordedVersion("olvex.dll"), 5);
        EXPECT_EQ(RecordedVersion("qzinfo.dat"), kOldest);
        EXPECT_EQ(Check(MakeUpdater()).count, 1);  // still due
    }

    // A folder where the stub would go: it cannot be written, and nothing
    // is started.
    fs::remove(app_ / "Swavel.exe");
    fs::create_directories(app_ / "Swavel.exe");
    const auto updater = MakeUpdater();
    Inside(updater).SetSwapStubStarter([](const std::string&, const std::string&) -> INT_PTR {
        ADD_FAILURE() << "started a stub that was not written";
        return 42;
    });
    ASSERT_EQ(Download(updater, nullptr), 1);
    EXPECT_EQ(Apply(updater), 0);
    EXPECT_EQ(LastError(updater), "The olvex update stub could not be written.");
    EXPECT_EQ(RecordedVersion("olvex.dll"), 5);
}

// A download that is no engine the stub would install (not a DLL, or a DLL
// that cannot register itself) is refused before anything is written or
// started: not recorded, not counted, and not left behind.
TEST_F(UpdaterTest, EngineDownloadTheStubWouldRefuseIsNotRecorded) {
    const auto empty_module = ReadFileBytes(olvex::testing::WindowsPath(OLVEX_UPDATE_TEST_PROGRAM));
    for (const auto& bytes :
         {std::vector<std::uint8_t>{'M', 'Z', 'n', 'e', 'w'},
          std::vector<std::uint8_t>(empty_module.begin(), empty_module.end())}) {
        PublishAndServe(1, {{"olvex.dll", kUpdateEngineDll, 7, bytes}});
        Install(1);
        const auto updater = MakeUpdater();
        Inside(updater).SetSwapStubStarter([](const std::string&, const std::string&) -> INT_PTR {
            ADD_FAILURE() << "started the stub for a refused engine";
            return 42;
        });
        ASSERT_EQ(Download(updater, nullptr), 1);
        const std::string download = Temp(DownloadFileName("olvex.dll", 7, kUpdateEngineDll));
        EXPECT_EQ(Apply(updater), 0);
        EXPECT_EQ(LastError(updater),
                  "Error applying update, " + download + " is not a usable engine.");
        EXPECT_EQ(RecordedVersion("olvex.dll"), -1);
        EXPECT_FALSE(fs::exists(download));
        EXPECT_FALSE(fs::exists(app_ / "Swavel.exe"));
        EXPECT_EQ(Check(MakeUpdater()).count, 1);  // still due
    }
}

// The asynchronous download: the same events as the synchronous call, a
// cooperative stop, and no handle left behind.
TEST_F(UpdaterTest, AsynchronousDownloadSendsTheSameEvents) {
    PublishAndServe(3, {{"langv5.dat", kUpdateCopyFile, 3, AsBytes("lang")}});
    Install(1);
    RecordingCallback sync_events;
    EXPECT_EQ(Download(MakeUpdater(), &sync_events), 7);
    for (const auto& name : TempFiles())
        fs::remove(temp_ / name);

    RecordingCallback async_events;
    {
        const auto updater = MakeUpdater();
        com::ComPtr<IThreadControl> control;
        ASSERT_EQ(
            updater->DownloadUpdatesAsync(Bstr(temp_.string()).Get(), &async_events, control.Put()),
            S_OK);
        ASSERT_TRUE(control) << LastError(updater);
        EXPECT_EQ(control->WaitForCompletion(), S_OK);
        VARIANT_BOOL running = VARIANT_TRUE;
        EXPECT_EQ(control->IsRunning(&running), S_OK);
        EXPECT_EQ(running, VARIANT_FALSE);
        EXPECT_EQ(Apply(updater), 7);
    }
    EXPECT_EQ(async_events.Events(), sync_events.Events());
    EXPECT_EQ(async_events.References(), 1u);  // the thread let go of the callback
    ExpectNewestDefinitions(Publish(3));
}

TEST_F(UpdaterTest, StopEndsAnAsynchronousDownloadWithNoLaterEvent) {
    // The first file is large and arrives slowly, a piece at a time.
    PublishAndServe(3, {{"big.bin", kUpdateCopyFile, 1, olvex::testing::PatternBytes(64 * 1024)}});
    server_.SetRules("/u/big.bin slow=100 chunk=4096\n");
    RecordingCallback callback;
    const auto arriving = std::make_shared<std::atomic<bool>>(false);
    callback.on_download_progress = [arriving](const std::string& file, long) {
        if (file == "big.bin")
            *arriving = true;
        return true;
    };
    const auto updater = MakeUpdater();
    com::ComPtr<IThreadControl> control;
    ASSERT_EQ(updater->DownloadUpdatesAsync(Bstr(temp_.string()).Get(), &callback, control.Put()),
              S_OK);
    ASSERT_TRUE(control);
    for (int i = 0; i < 600 && !*arriving; ++i)
        Sleep(10);
    ASSERT_TRUE(*arriving);
    EXPECT_EQ(control->Stop(), S_OK);
    const auto at_stop = callback.Events();
    VARIANT_BOOL running = VARIANT_TRUE;
    EXPECT_EQ(control->IsRunning(&running), S_OK);
    EXPECT_EQ(running, VARIANT_FALSE);
    Sleep(300);
    EXPECT_EQ(callback.Events(), at_stop);
    ASSERT_EQ(at_stop.size(), 3u) << ::testing::PrintToString(at_stop);
    EXPECT_EQ(at_stop[1], "DownloadStarting big.bin 65536");
    EXPECT_EQ(at_stop[2].rfind("DownloadProgress big.bin ", 0), 0u) << at_stop[2];
    EXPECT_NE(at_stop[2], "DownloadProgress big.bin 65536 65536");
    // Nothing is left of the file cut short.
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});
    EXPECT_EQ(callback.References(), 1u);

    // The updater is free again.
    server_.SetRules("");
    EXPECT_EQ(Download(updater, nullptr), 4);
}

TEST_F(UpdaterTest, NoHandleLeftBehindOverFiftyAsynchronousDownloads) {
    PublishAndServe(1, {{"notes.txt", kUpdateCopyFile, 2, AsBytes("notes")}});
    Install(1);
    const auto updater = MakeUpdater();
    const auto run = [&] {
        RecordingCallback callback;
        com::ComPtr<IThreadControl> control;
        ASSERT_EQ(
            updater->DownloadUpdatesAsync(Bstr(temp_.string()).Get(), &callback, control.Put()),
            S_OK);
        ASSERT_TRUE(control);
        control->WaitForCompletion();
        control.Reset();
        ASSERT_EQ(callback.Events().back(), "UpdateComplete 1 5");
    };
    run();
    run();  // WinINet and COM have set up what they keep
    const DWORD before = olvex::testing::OpenHandleCount();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 50; ++i)
        run();
    const DWORD after = olvex::testing::OpenHandleCount();
    RecordProperty("handles_before", static_cast<int>(before));
    RecordProperty("handles_after", static_cast<int>(after));
    EXPECT_LE(after, before + 3) << "before " << before << ", after " << after;
}

}  // namespace
}  // namespace olvex
