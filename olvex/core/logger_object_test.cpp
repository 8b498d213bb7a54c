// The Logger through its interface: the log file it makes, entries written
// and read back, and two processes writing at once.
#include "olvex/core/logger_object.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/core/engine_log.h"
#include "olvex/core/file_io.h"
#include "olvex/core/location_string.h"
#include "olvex/olvex.h"
#include "testing/scratch_dir.h"
#include "testing/windows_test_support.h"

namespace olvex {
namespace {

using com::ComPtr;
using testing::ScratchDir;

class Bstr {
  public:
    explicit Bstr(const std::wstring& text) : bstr_(SysAllocString(text.c_str())) {}
    ~Bstr() { SysFreeString(bstr_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return bstr_; }

  private:
    BSTR bstr_;
};

std::string Text(const std::string& path) {
    const auto bytes = ReadWholeFile(path).bytes;
    return {bytes.begin(), bytes.end()};
}

class LoggerObjectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(com::CreateEngineObject(CLSID_Logger, logger_.Put()), S_OK);
    }
    void TearDown() override {
        logger_.Reset();
        CoUninitialize();
    }

    std::wstring Base() const { return testing::WindowsPath(dir_.path().string()); }
    std::string LogFile() const { return dir_.File("Logs/qzv5log.log"); }
    bool Initialize(const std::wstring& base) {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(logger_->Initialize(Bstr(base), &ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    static ComPtr<ILogEntry> Entry(const std::wstring& text) {
        ComPtr<ILogEntry> entry;
        EXPECT_EQ(com::CreateEngineObject(CLSID_LogEntry, entry.Put()), S_OK);
        entry->SetString(Bstr(text));
        return entry;
    }
    bool Put(ILogEntry* entry) {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(logger_->PutLogEntry(entry, &ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    static std::wstring Value(ILogEntry* entry, const std::wstring& name) {
        com::UniqueBstr value;
        entry->GetAttributeValue(Bstr(name), value.Put());
        return value.Get() ? value.Get() : L"<none>";
    }
    std::vector<ComPtr<ILogEntry>> ReadAll() {
        std::vector<ComPtr<ILogEntry>> entries;
        ComPtr<ILogEntry> entry;
        for (HRESULT hr = logger_->GetFirstLogEntry(entry.Put()); SUCCEEDED(hr) && entry;
             hr = logger_->GetNextLogEntry(entry.Put()))
            entries.push_back(entry);
        return entries;
    }
    ScratchDir dir_;
    ComPtr<ILogger> logger_;
};

TEST_F(LoggerObjectTest, InitializeCreatesTheLogFile) {
    VARIANT_BOOL initialized = 7;
    logger_->IsInitialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_FALSE);
    EXPECT_FALSE(Put(Entry(L"Category \"Adware\"").Get()));

    ASSERT_TRUE(Initialize(Base() + L"\\"));
    logger_->IsInitialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_TRUE);
    ASSERT_TRUE(FileExists(LogFile()));
    EXPECT_EQ(Text(LogFile()), "");
    com::UniqueBstr folder;
    logger_->get_bsLogPath(folder.Put());
    EXPECT_EQ(std::wstring(folder.Get()), Base() + L"\\Logs");
    LONG max_entries = 0;
    logger_->get_nMaxLogEntries(&max_entries);
    EXPECT_EQ(max_entries, 5000);

    // bsLogPath put changes the text only.
    logger_->put_bsLogPath(Bstr(L"c:\\elsewhere"));
    ASSERT_TRUE(Put(Entry(L"a \"b\"").Get()));
    EXPECT_EQ(ReadAll().size(), 1u);

    // A base folder that does not exist.
    EXPECT_FALSE(Initialize(Base() + L"\\gone\\deeper"));
    logger_->IsInitialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_FALSE);
}

TEST_F(LoggerObjectTest, EntriesAreStampedWrittenReadBackAndCleared) {
    ASSERT_TRUE(Initialize(Base()));
    const auto first = Entry(L"Category \"Adware\"");
    ASSERT_TRUE(Put(first.Get()));
    ASSERT_TRUE(Put(Entry(L"PestId \"12\"").Get()));
    // The entry itself carries the stamps afterwards.
    EXPECT_EQ(Value(first.Get(), L"EntryId"), L"1");

    const auto entries = ReadAll();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(Value(entries[0].Get(), L"Category"), L"Adware");
    EXPECT_EQ(Value(entries[0].Get(), L"EntryId"), L"1");
    EXPECT_EQ(Value(entries[1].Get(), L"entryid"), L"2");
    EXPECT_EQ(Value(entries[1].Get(), L"PestId"), L"12");
    for (const auto* name : {L"Date", L"Time", L"UserName"})
        EXPECT_NE(Value(entries[0].Get(), name), L"<none>") << testing::Narrow(name);

    // Stamped pairs follow the entry's own, back to back, in lower case.
    const auto lines = ReadLogLines(Text(LogFile()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Category \"Adware\"entryid \"1\"date \"", 0), 0u) << lines[0];
    EXPECT_EQ(Text(LogFile()).substr(Text(LogFile()).size() - 2), "\r\n");

    ASSERT_EQ(logger_->ClearEntireLog(), S_OK);
    EXPECT_TRUE(ReadAll().empty());
    ComPtr<ILogEntry> none;
    EXPECT_EQ(logger_->GetFirstLogEntry(none.Put()), S_OK);
    EXPECT_FALSE(none);
    EXPECT_EQ(logger_->DeleteByItemCount(1), S_OK);
    EXPECT_EQ(logger_->DeleteEntry(nullptr), S_OK);
}

TEST_F(LoggerObjectTest, NewIdsAreOneAboveTheHighestInTheLog) {
    dir_.Write("Logs/qzv5log.log", std::string("a \"b\"entryid \"3\"\r\n"
                                               "a \"b\"entryid \"9\"\r\n"
                                               "a \"b\"entryid \"4\"\r\n"));
    ASSERT_TRUE(Initialize(Base()));
    ASSERT_TRUE(Put(Entry(L"x \"1\"").Get()));
    ASSERT_TRUE(Put(Entry(L"x \"2\"").Get()));
    const auto entries = ReadAll();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(Value(entries[3].Get(), L"EntryId"), L"10");
    EXPECT_EQ(Value(entries[4].Get(), L"EntryId"), L"11");

    // Another logger on the same log continues from there.
    ComPtr<ILogger> other;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Logger, other.Put()), S_OK);
    VARIANT_BOOL ok = 7;
    other->Initialize(Bstr(Base()), &ok);
    ASSERT_EQ(ok, VARIANT_TRUE);
    const auto entry = Entry(L"x \"3\"");
    other->PutLogEntry(entry.Get(), &ok);
    ASSERT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(Value(entry.Get(), L"EntryId"), L"12");
    const auto mine = Entry(L"x \"4\"");
    ASSERT_TRUE(Put(mine.Get()));
    EXPECT_EQ(Value(mine.Get(), L"EntryId"), L"13");

    // An entry that would not stay one line is not written.
    EXPECT_FALSE(Put(Entry(L"x \"a\r\nb\"").Get()));
    EXPECT_EQ(ReadAll().size(), 7u);
}

TEST_F(LoggerObjectTest, TwoProcessesWritingAtOnceLoseAndMixNothing) {
    constexpr int kEntries = 500;
    const std::wstring event_name = L"olvex-logger-test-" + std::to_wstring(GetCurrentProcessId());
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, event_name.c_str());
    ASSERT_NE(start, nullptr);
    std::vector<PROCESS_INFORMATION> writers;
    for (const wchar_t* writer : {L"first", L"second"}) {
        std::wstring command = L"\"" + testing::WindowsPath(OLVEX_EXCLUDER_LOGGER_HELPER_PATH) +
                               L"\" put-log-entries \"" + Base() + L"\" " +
                               std::to_wstring(kEntries) + L" " + writer + L" " + event_name;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                                   CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process));
        writers.push_back(process);
    }
    SetEvent(start);
    for (const auto& process : writers) {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 240000), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeProcess(process.hProcess, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(start);

    const auto lines = ReadLogLines(Text(LogFile()));
    ASSERT_EQ(lines.size(), 2u * kEntries);
    std::set<std::string> ids;
    std::map<std::string, int> next_seq;
    for (const auto& line : lines) {
        const auto pairs = ParseLocationString(line, AnsiCodePageText(), kUnlimitedPairs).pairs;
        // writer, seq, entryid, date, time, username: one whole entry per line.
        ASSERT_EQ(pairs.size(), 6u) << line;
        ASSERT_EQ(pairs[0].name, "writer") << line;
        EXPECT_EQ(std::stoi(pairs[1].value), next_seq[pairs[0].value]++) << line;
        ASSERT_EQ(pairs[2].name, "entryid") << line;
        ids.insert(pairs[2].value);
    }
    EXPECT_EQ(next_seq["first"], kEntries);
    EXPECT_EQ(next_seq["second"], kEntries);
    EXPECT_EQ(ids.size(), lines.size());
    EXPECT_EQ(HighestLogEntryId(Text(LogFile()), AnsiCodePageText()), 2 * kEntries);
}

}  // namespace
}  // namespace olvex
