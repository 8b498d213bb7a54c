// Registration of the engine DLL: regsvr32 in and out, the version guard,
// the unregistration rules and the unload test. Every test puts the
// registry back as it found it.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "olvex/registration_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kVersionKey[] = L"olvex";
constexpr wchar_t kMarkerProgId[] = L"olvex.Scanner.1";

class RegistrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        snapshot_ = std::make_unique<RegistrySnapshot>(HKEY_CLASSES_ROOT, RegistrationKeys());
        DeleteRegistrationKeys();
    }
    void TearDown() override {
        snapshot_.reset();
        CoUninitialize();
    }

    static DWORD Regsvr32(const std::wstring& switches) {
        const auto run = RunProcess(L"regsvr32.exe " + switches + L" \"" + EngineDllPath() + L"\"");
        EXPECT_TRUE(run.started);
        return run.exit_code;
    }

    static void SetVersionValue(DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kVersionKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"CurrentVersion", 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }

    static std::optional<std::wstring> RegisteredVersion() {
        return ClassesString(kVersionKey, L"CurrentVersion");
    }

    // A value of the version key as stored: its characters, a terminating
    // zero included when there is one.
    static std::optional<std::wstring> StoredVersionKeyValue(const wchar_t* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kVersionKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return std::nullopt;
        wchar_t data[256] = {};
        DWORD size = sizeof(data);
        const LONG error =
            RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(key);
        if (error != ERROR_SUCCESS)
            return std::nullopt;
        return std::wstring(data, size / sizeof(wchar_t));
    }

    // Whether the classes, the type library and the version key are all there.
    static void ExpectFullyRegistered(const std::wstring& server) {
        for (const auto& c : ContractClasses()) {
            const std::wstring clsid = c.clsid;
            const std::wstring prog_id = Wide(c.prog_id);
            const std::wstring versioned = Wide(c.versioned_prog_id);
            SCOPED_TRACE(c.prog_id);
            EXPECT_EQ(Upper(ClassesString(prog_id + L"\\CLSID").value_or(L"")), clsid);
            EXPECT_EQ(Upper(ClassesString(versioned + L"\\CLSID").value_or(L"")), clsid);
            EXPECT_EQ(ClassesString(prog_id + L"\\CurVer"), versioned);
            const std::wstring key = L"CLSID\\" + clsid;
            EXPECT_EQ(Upper(ClassesString(key + L"\\InprocServer32").value_or(L"")), Upper(server));
            EXPECT_EQ(ClassesString(key + L"\\InprocServer32", L"ThreadingModel"), L"Both");
            EXPECT_EQ(ClassesString(key + L"\\ProgID"), versioned);
            EXPECT_EQ(ClassesString(key + L"\\VersionIndependentProgID"), prog_id);
            EXPECT_EQ(Upper(ClassesString(key + L"\\TypeLib").value_or(L"")), kContractLibraryId);

            // And the class is made from that registration.
            CLSID from_prog_id{};
            EXPECT_EQ(CLSIDFromProgID(prog_id.c_str(), &from_prog_id), S_OK);
            CLSID from_versioned{};
            EXPECT_EQ(CLSIDFromProgID(versioned.c_str(), &from_versioned), S_OK);
            EXPECT_TRUE(IsEqualCLSID(from_prog_id, from_versioned));
            IDispatch* object = nullptr;
            EXPECT_EQ(CoCreateInstance(from_prog_id, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&object)),
                      S_OK);
            if (object) {
                object->Release();
            }
        }
        for (const auto& i : ContractInterfaces()) {
            EXPECT_TRUE(ClassesKeyExists(std::wstring(L"Interface\\") + i.iid)) << i.name;
        }
        GUID library{};
        ASSERT_EQ(CLSIDFromString(kContractLibraryId, &library), S_OK);
        BSTR path = nullptr;
        EXPECT_EQ(QueryPathOfRegTypeLib(library, 1, 0, 0, &path), S_OK);
        EXPECT_EQ(Upper(path ? path : L""), Upper(server));
        SysFreeString(path);
        ITypeLib* registered = nullptr;
        EXPECT_EQ(LoadRegTypeLib(library, 1, 0, 0, &registered), S_OK);
        if (registered) {
            registered->Release();
        }
        EXPECT_EQ(ClassesString(kVersionKey), L"Gorsewatch COM Control");
        // The description without a terminating zero, the version with one.
        EXPECT_EQ(StoredVersionKeyValue(nullptr), std::wstring(L"Gorsewatch COM Control"));
        EXPECT_EQ(StoredVersionKeyValue(L"CurrentVersion"), std::wstring(L"5.6.7.4", 8));
        EXPECT_EQ(RegisteredVersion(), L"5.6.7.4");
        CoFreeUnusedLibrariesEx(0, 0);
    }

    // Whether the classes and the type library are gone (the version key is
    // looked at by each test).
    static void ExpectClassesGone() {
        for (const auto& c : ContractClasses()) {
            EXPECT_FALSE(ClassesKeyExists(Wide(c.prog_id))) << c.prog_id;
            EXPECT_FALSE(ClassesKeyExists(Wide(c.versioned_prog_id))) << c.prog_id;
            EXPECT_FALSE(ClassesKeyExists(std::wstring(L"CLSID\\") + c.clsid)) << c.prog_id;
        }
        for (const auto& i : ContractInterfaces()) {
            EXPECT_FALSE(ClassesKeyExists(std::wstring(L"Interface\\") + i.iid)) << i.name;
        }
        EXPECT_FALSE(ClassesKeyExists(std::wstring(L"TypeLib\\") + kContractLibraryId));
    }

    std::unique_ptr<RegistrySnapshot> snapshot_;
};

TEST_F(RegistrationTest, Regsvr32RegistersAndUnregistersEverything) {
    ASSERT_EQ(Regsvr32(L"/s"), 0u);
    ExpectFullyRegistered(EngineDllPath());

    ASSERT_EQ(Regsvr32(L"/u /s"), 0u);
    ExpectClassesGone();
    EXPECT_FALSE(ClassesKeyExists(kVersionKey));
}

TEST_F(RegistrationTest, VersionGuard) {
    // Each row starts from a full registration by this engine, then puts a
    // registered version in place and takes one ProgID away: whether the
    // ProgID comes back tells whether the engine registered.
    enum class Value { kText, kMissing, kDword };
    struct Case {
        const char* label;
        Value value;
        const wchar_t* text;
        bool server_missing;
        bool registers;
    };
    const Case cases[] = {
        {"newer 5.6.8.0", Value::kText, L"5.6.8.0", false, false},
        {"newer 6", Value::kText, L"6", false, false},
        {"newer 5.6.7.10", Value::kText, L"5.6.7.10", false, false},
        {"same 5.6.7.4", Value::kText, L"5.6.7.4", false, true},
        {"older 5.6.7.3", Value::kText, L"5.6.7.3", false, true},
        {"older 4.99.99.99", Value::kText, L"4.99.99.99", false, true},
        {"no digits", Value::kText, L"latest", false, true},
        {"empty", Value::kText, L"", false, true},
        {"no value", Value::kMissing, nullptr, false, true},
        {"not a string", Value::kDword, nullptr, false, true},
        {"newer, its DLL gone", Value::kText, L"5.6.8.0", true, true},
    };
    LoadedEngine engine;
    ASSERT_TRUE(engine.loaded());
    const std::wstring missing_server = L"C:\\no such folder\\olvex.dll";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        DeleteRegistrationKeys();
        ASSERT_EQ(engine.Register(), S_OK);
        ASSERT_EQ(SHDeleteKeyW(HKEY_CLASSES_ROOT, kMarkerProgId), ERROR_SUCCESS);
        if (c.value == Value::kText) {
            SetVersionValue(REG_SZ, c.text, static_cast<DWORD>((wcslen(c.text) + 1) * 2));
        } else if (c.value == Value::kDword) {
            const DWORD number = 0x7fffffff;
            SetVersionValue(REG_DWORD, &number, sizeof(number));
        } else {
            HKEY key = nullptr;
            ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, kVersionKey, 0, KEY_WRITE, &key),
                      ERROR_SUCCESS);
            RegDeleteValueW(key, L"CurrentVersion");
            RegCloseKey(key);
        }
        if (c.server_missing) {
            for (const auto& cls : ContractClasses()) {
                SetClassesString(std::wstring(L"CLSID\\") + cls.clsid + L"\\InprocServer32", L"",
                                 missing_server);
            }
        }

        EXPECT_EQ(engine.Register(), S_OK);
        EXPECT_EQ(ClassesKeyExists(kMarkerProgId), c.registers);
        if (c.registers) {
            EXPECT_EQ(RegisteredVersion(), L"5.6.7.4");
            const std::wstring server =
                ClassesString(std::wstring(L"CLSID\\") + ContractClasses().front().clsid +
                              L"\\InprocServer32")
                    .value_or(L"");
            EXPECT_EQ(Upper(server), Upper(EngineDllPath()));
        } else {
            EXPECT_EQ(RegisteredVersion(), std::wstring(c.text));
        }
    }
}

TEST_F(RegistrationTest, AFailedRegistrationWritesNoVersion) {
    // A volatile ProgID key takes no lasting subkey, so registering the
    // first class fails. The version key must not then claim this version,
    // or an older copy could never repair the registration.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"olvex.ThreadControl.1", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    HKEY child = nullptr;
    const LONG refused = RegCreateKeyExW(key, L"CLSID", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_WRITE, nullptr, &child, nullptr);
    RegCloseKey(key);
    if (refused == ERROR_SUCCESS) {
        RegCloseKey(child);
        GTEST_SKIP() << "the registry here lets a volatile key hold a lasting one";
    }

    LoadedEngine engine;
    ASSERT_TRUE(engine.loaded());
    EXPECT_TRUE(FAILED(engine.Register()));
    EXPECT_FALSE(ClassesKeyExists(kVersionKey));

    // Registered over an older version, the older version stays.
    SetVersionValue(REG_SZ, L"5.6.7.3", sizeof(L"5.6.7.3"));
    EXPECT_TRUE(FAILED(engine.Register()));
    EXPECT_EQ(RegisteredVersion(), L"5.6.7.3");
}

TEST_F(RegistrationTest, ASubkeyOfTheVersionKeyBlocksUnregistration) {
    LoadedEngine engine;
    ASSERT_TRUE(engine.loaded());
    ASSERT_EQ(engine.Register(), S_OK);
    ASSERT_TRUE(SetClassesString(L"olvex\\Product", L"", L"another product's data"));

    EXPECT_EQ(engine.Unregister(), E_UNEXPECTED);
    // Nothing was unregistered.
    ExpectFullyRegistered(EngineDllPath());
    EXPECT_TRUE(ClassesKeyExists(L"olvex\\Product"));
}

TEST_F(RegistrationTest, UnregistrationRemovesEverything) {
    LoadedEngine engine;
    ASSERT_TRUE(engine.loaded());
    ASSERT_EQ(engine.Register(), S_OK);
    EXPECT_EQ(engine.Unregister(), S_OK);
    ExpectClassesGone();
    EXPECT_FALSE(ClassesKeyExists(kVersionKey));
    // Nothing registered: still a success.
    EXPECT_EQ(engine.Unregister(), S_OK);
}

TEST_F(RegistrationTest, TheSwapStubKeepsTheVersionKey) {
    // The swap stub unregisters the old DLL and registers the new one; the
    // version key must survive between the two, even with a subkey in it.
    const ScratchDir scratch;
    const auto stub = scratch.path() / "Swavel.exe";
    std::filesystem::copy_file(WindowsPath(OLVEX_SERVER_PROBE_PATH), stub);
    const std::wstring command =
        L"\"" + stub.wstring() + L"\" unregister \"" + EngineDllPath() + L"\"";

    LoadedEngine engine;
    ASSERT_TRUE(engine.loaded());
    ASSERT_EQ(engine.Register(), S_OK);
    ASSERT_TRUE(SetClassesString(L"olvex\\Product", L"", L"another product's data"));

    const auto run = RunProcess(command);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, static_cast<DWORD>(S_OK));
    ExpectClassesGone();
    EXPECT_EQ(RegisteredVersion(), L"5.6.7.4");
    EXPECT_TRUE(ClassesKeyExists(L"olvex\\Product"));

    // The same program under another name removes the key as usual.
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L"olvex\\Product");
    ASSERT_EQ(engine.Register(), S_OK);
    const auto other = scratch.path() / "swapper.exe";
    std::filesystem::copy_file(stub, other);
    const auto renamed =
        RunProcess(L"\"" + other.wstring() + L"\" unregister \"" + EngineDllPath() + L"\"");
    EXPECT_EQ(renamed.exit_code, static_cast<DWORD>(S_OK));
    EXPECT_FALSE(ClassesKeyExists(kVersionKey));
}

TEST_F(RegistrationTest, CanUnloadNowFollowsObjectsAndLocks) {
    LoadedEngine engine;
    ASSERT_TRUE(engine.loaded());
    EXPECT_EQ(engine.CanUnloadNow(), S_OK);

    GUID clsid{};
    ASSERT_EQ(CLSIDFromString(ContractClasses().front().clsid, &clsid), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(engine.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(engine.CanUnloadNow(), S_FALSE);

    IDispatch* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)),
              S_OK);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(engine.CanUnloadNow(), S_FALSE);  // the object and the lock
    object->Release();
    EXPECT_EQ(engine.CanUnloadNow(), S_FALSE);  // the lock
    ASSERT_EQ(engine.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(engine.CanUnloadNow(), S_OK);

    void* none = nullptr;
    EXPECT_EQ(engine.GetClassObject(IID_IDispatch, IID_IClassFactory, &none),
              CLASS_E_CLASSNOTAVAILABLE);
}

}  // namespace
}  // namespace olvex::testing
