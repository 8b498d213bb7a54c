// The registered engine's PestDatabase, created by its ProgIDs as a client
// program creates it: one definition set per process, shared by every
// object; a failed load reports the reader's text and code.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "olvex/olvex.h"
#include "olvex/registration_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {
namespace {

std::string SampleFolder() {
    return Narrow(WindowsPath(OLVEX_SAMPLE_DEFINITIONS_DIR));
}

class Bstr {
  public:
    explicit Bstr(const std::string& text)
        : bstr_(SysAllocString(std::wstring(text.begin(), text.end()).c_str())) {}
    ~Bstr() { SysFreeString(bstr_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return bstr_; }

  private:
    BSTR bstr_;
};

// Releases an interface pointer when it goes.
template <class T>
struct Releaser {
    void operator()(T* object) const { object->Release(); }
};
template <class T>
using Owned = std::unique_ptr<T, Releaser<T>>;

Owned<IPestDatabase> Create(const wchar_t* prog_id) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(prog_id, &clsid), S_OK);
    IPestDatabase* db = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPestDatabase,
                               reinterpret_cast<void**>(&db)),
              S_OK);
    return Owned<IPestDatabase>(db);
}

bool Initialize(IPestDatabase* db, const std::string& folder) {
    VARIANT_BOOL success = VARIANT_FALSE;
    EXPECT_EQ(db->Initialize(Bstr(folder), &success), S_OK);
    return success == VARIANT_TRUE;
}

std::string Text(BSTR text) {
    const std::string narrow = text ? Narrow(std::wstring(text, SysStringLen(text))) : "<null>";
    SysFreeString(text);
    return narrow;
}

std::string NameOf(IPestDatabase* db, LONG id) {
    IPestRecord* record = nullptr;
    EXPECT_EQ(db->GetPestById(id, &record), S_OK);
    if (!record)
        return "<none>";
    BSTR name = nullptr;
    record->get_bsName(&name);
    record->Release();
    return Text(name);
}

TEST(PestDatabaseByProgId, OneSetPerProcessSharedByEveryObject) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        const RegistrySnapshot snapshot(HKEY_CLASSES_ROOT, RegistrationKeys());
        DeleteRegistrationKeys();
        const auto registered = RunProcess(L"regsvr32.exe /s \"" + EngineDllPath() + L"\"");
        ASSERT_TRUE(registered.started);
        ASSERT_EQ(registered.exit_code, 0u);

        const auto first = Create(L"olvex.PestDatabase");
        ASSERT_TRUE(first);
        // A folder without definitions: the reader's text and code.
        const ScratchDir empty;
        EXPECT_FALSE(Initialize(first.get(), empty.path().string()));
        BSTR error = nullptr;
        first->get_bsLastError(&error);
        EXPECT_EQ(Text(error), empty.path().string() + "\\qzinfo.dat does not exist.");
        LONG code = 0;
        first->get_nLastError(&code);
        EXPECT_EQ(code, 1);

        ASSERT_TRUE(Initialize(first.get(), SampleFolder()));
        EXPECT_EQ(NameOf(first.get(), 1001), "OlvexTest.Adware.Alpha");
        int pests = 0;
        IPestRecord* record = nullptr;
        for (first->GetFirstPest(&record); record; first->GetNextPest(&record)) {
            record->Release();
            ++pests;
        }
        EXPECT_EQ(pests, 5);
        int locations = 0;
        LONG id = 0;
        BSTR location = nullptr;
        for (first->GetFirstCommonLocation(&id, &location); id != -1;
             first->GetNextCommonLocation(&id, &location)) {
            EXPECT_NE(Text(location), "<null>");
            ++locations;
        }
        EXPECT_EQ(locations, 7);

        // The versioned ProgID's object shares the loaded set, whatever
        // folder it is given.
        const auto second = Create(L"olvex.PestDatabase.1");
        ASSERT_TRUE(second);
        EXPECT_TRUE(Initialize(second.get(), empty.path().string()));
        EXPECT_EQ(NameOf(second.get(), 1005), "OlvexTest.Dialer.Epsilon");
    }
    CoUninitialize();
}

}  // namespace
}  // namespace olvex::testing
