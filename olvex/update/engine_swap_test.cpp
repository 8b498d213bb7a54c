// The engine replaced through its own updater, under Wine: an update set
// published with olvex-publish (engine_swap_test.sh, into this test's HTTP
// server) carries a test build of the engine under version 5.6.8.0. The
// installed and registered engine 5.6.7.4 downloads it; ApplyUpdates writes
// the swap stub beside the definitions and starts it; once this process has
// let go of the engine, the stub makes the new build the registered engine.
// The registry is put back as it was afterwards.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "olvex/update/swap_stub_names.h"
#include "olvex/olvex.h"
#include "olvex/registration_test_support.h"
#include "testing/http_test_server.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kOldVersion[] = "5.6.7.4";
constexpr char kNewVersion[] = "5.6.8.0";
constexpr wchar_t kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::wstring WideText(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

BSTR Bstr(const std::string& text) {
    return SysAllocString(WideText(text).c_str());
}

std::string Text(BSTR text) {
    return text ? Narrow(std::wstring(text, SysStringLen(text))) : std::string();
}

std::string FileVersion(const fs::path& path) {
    const std::string name = path.string();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(name.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(name.c_str(), 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info)
        return {};
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
}

bool MutexExists(const char* name) {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (!mutex)
        return false;
    CloseHandle(mutex);
    return true;
}

template <class Interface>
HRESULT CreateByProgId(const wchar_t* prog_id, REFIID iid, Interface** object) {
    CLSID clsid{};
    if (const HRESULT hr = CLSIDFromProgID(prog_id, &clsid); FAILED(hr))
        return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                            reinterpret_cast<void**>(object));
}

std::wstring ScannerServerKey() {
    for (const auto& c : ContractClasses()) {
        if (std::string(c.prog_id) == "olvex.Scanner")
            return std::wstring(L"CLSID\\") + c.clsid + L"\\InprocServer32";
    }
    return {};
}

TEST(EngineSwap, AnEngineUpdateBecomesTheRegisteredEngine) {
    HttpTestServer server;
    ASSERT_TRUE(server.Available()) << HttpTestServer::kHowToRun;
    const RegistrySnapshot registration(HKEY_CLASSES_ROOT, RegistrationKeys());
    const RegistrySnapshot run_once(HKEY_LOCAL_MACHINE, {kRunOnceKey});
    DeleteRegistrationKeys();

    const ScratchDir scratch;
    const fs::path install = scratch.path() / "Program Files" / "Kelvan Gorsewatch";
    const fs::path core = install / "core";
    const fs::path temp = scratch.path() / "Local Settings" / "Temp" / "_core_";
    const fs::path engine = install / "olvex.dll";
    fs::create_directories(core);
    fs::create_directories(temp);
    fs::copy_file(EngineDllPath(), engine);
    const auto registered = RunProcess(L"regsvr32.exe /s \"" + engine.wstring() + L"\"");
    ASSERT_TRUE(registered.started);
    ASSERT_EQ(registered.exit_code, 0u);
    ASSERT_EQ(ClassesString(L"olvex", L"CurrentVersion"), WideText(kOldVersion));

    // The update, as the update utility applies it: this process loads the
    // registered engine and lets go of it afterwards.
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    {
        IUpdater* updater = nullptr;
        ASSERT_EQ(CreateByProgId(L"olvex.Updater", IID_IUpdater, &updater), S_OK);
        VARIANT_BOOL ok = VARIANT_FALSE;
        BSTR folder = Bstr(core.string());
        BSTR url = Bstr(server.Url("/u/qzmaster.dat"));
        BSTR temp_folder = Bstr(temp.string());
        EXPECT_EQ(updater->Initialize(folder, url, 0, &ok), S_OK);
        EXPECT_EQ(ok, VARIANT_TRUE);
        LONG available = 0;
        LONG bytes = 0;
        EXPECT_EQ(updater->CheckForUpdates(&available, &bytes), S_OK);
        LONG received = 0;
        EXPECT_EQ(updater->DownloadUpdates(temp_folder, nullptr, &received), S_OK);
        EXPECT_GE(received, 1);
        EXPECT_TRUE(fs::exists(temp / "olvex.dll.2.6.qzu"));
        LONG applied = 0;
        EXPECT_EQ(updater->ApplyUpdates(temp_folder, &applied), S_OK);
        EXPECT_GE(applied, 1);
        BSTR error = nullptr;
        EXPECT_EQ(updater->get_bsLastError(&error), S_OK);
        EXPECT_EQ(Text(error), "Success.");
        SysFreeString(error);
        SysFreeString(folder);
        SysFreeString(url);
        SysFreeString(temp_folder);
        updater->Release();
    }
    CoUninitialize();
    EXPECT_EQ(GetModuleHandleW(engine.wstring().c_str()), nullptr)
        << "the engine is still loaded: the stub cannot replace it";
    // The stub is the one the engine carries, and the update is recorded.
    EXPECT_EQ(ReadFileBytes(core / "Swavel.exe"),
              ReadFileBytes(fs::path(WindowsPath(OLVEX_SWAP_STUB_PATH))));
    {
        std::ifstream database(core / "lfinfo.dat", std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(database)),
                               std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("olvex.dll\r\n2\r\n"), std::string::npos) << text;
    }

    // The stub holds its mutex while it runs.
    bool seen = false;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 90000; Sleep(100)) {
        const bool running = MutexExists(kSwapStubMutexName);
        seen = seen || running;
        if (!running && (seen || FileVersion(engine) == kNewVersion))
            break;
    }
    EXPECT_FALSE(MutexExists(kSwapStubMutexName));

    // The new build is the registered engine, in the same place.
    EXPECT_EQ(FileVersion(engine), kNewVersion);
    EXPECT_EQ(Upper(ClassesString(ScannerServerKey()).value_or(L"")), Upper(engine.wstring()));
    EXPECT_EQ(ClassesString(L"olvex", L"CurrentVersion"), WideText(kNewVersion));
    EXPECT_FALSE(fs::exists(temp / "olvex.dll.2.6.qzu"));
    EXPECT_FALSE(fs::exists(install / "olvex.dll.new"));
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        EXPECT_NE(RegQueryValueExW(key, L"qzupdstub", nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // And it is what a client gets by ProgID.
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    {
        IDispatch* scanner = nullptr;
        EXPECT_EQ(CreateByProgId(L"olvex.Scanner", IID_IDispatch, &scanner), S_OK);
        if (scanner)
            scanner->Release();
        IVersionInfo* info = nullptr;
        ASSERT_EQ(CreateByProgId(L"olvex.VersionInfo", IID_IVersionInfo, &info), S_OK);
        BSTR version = nullptr;
        EXPECT_EQ(info->GetControlVersionAsString(&version), S_OK);
        EXPECT_EQ(Text(version), kNewVersion);
        SysFreeString(version);
        info->Release();
    }
    CoUninitialize();
}

}  // namespace
}  // namespace olvex::testing
