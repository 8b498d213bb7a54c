// What the scan, cleaning and quarantine tests of Gorsewatch5.exe share: pest
// definitions published into a test install, the activity log read back,
// a results tree as lines, and the engine's own objects made in the test's
// process from the installed DLL (for quarantine sessions made by real
// cleanings without a scan).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "client/common/activity_log.h"
#include "client/main/main_test_support.h"
#include "olvex/olvex.h"
#include "testing/published_definitions.h"

namespace olvex::testing {

inline fs::path ActivityLogFile() {
    return ProductDataFolder() / "QZv5Log.txt";
}

inline std::vector<ActivityLogEntry> ActivityLogEntries() {
    int legacy = 0;
    return ReadActivityLog(ActivityLogFile().string(), legacy).contents.entries;
}

// The tree as "text" lines, children indented by two blanks per level.
inline std::vector<std::wstring> TreeTextLines(HWND tree) {
    std::vector<std::wstring> lines;
    for (const gui::TreeItem& item : gui::ReadTree(tree))
        lines.push_back(std::wstring(static_cast<std::size_t>(item.depth) * 2, L' ') + item.text);
    return lines;
}

inline std::wstring Joined(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const auto& line : lines)
        text += line + L"\n";
    return text;
}

// The session archives of the install's quarantine, by name.
inline std::vector<fs::path> SessionArchives(const TestInstall& install) {
    std::vector<fs::path> archives;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(install.folder() / "Quarantine", ignored)) {
        if (entry.path().extension() == ".zip")
            archives.push_back(entry.path());
    }
    std::sort(archives.begin(), archives.end());
    return archives;
}

// The installed engine's objects, made through its own class factories.
class InstalledEngine {
  public:
    explicit InstalledEngine(const TestInstall& install)
        : dll_(LoadLibraryW((install.folder() / "olvex.dll").c_str())) {}
    ~InstalledEngine() {
        if (dll_ != nullptr)
            FreeLibrary(dll_);
    }
    InstalledEngine(const InstalledEngine&) = delete;
    InstalledEngine& operator=(const InstalledEngine&) = delete;

    template <typename Interface>
    Interface* Create(REFCLSID clsid, REFIID iid) const {
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto get = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(dll_, "DllGetClassObject")));
        IClassFactory* factory = nullptr;
        if (get == nullptr ||
            FAILED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
            return nullptr;
        Interface* object = nullptr;
        factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
        factory->Release();
        return object;
    }

  private:
    HMODULE dll_;
};

// One cleaning as the main program does it: a new session, then each
// location removed (and recorded in the session). False when any failed.
inline bool CleanWithEngine(const InstalledEngine& engine, const TestInstall& install,
                            const std::vector<std::pair<long, std::string>>& locations) {
    IExterminator* exterminator =
        engine.Create<IExterminator>(CLSID_Exterminator, IID_IExterminator);
    if (exterminator == nullptr)
        return false;
    const std::wstring quarantine = install.folder().wstring() + L"\\";
    const std::wstring data = (install.folder() / "core").wstring();
    BSTR quarantine_text = SysAllocString(quarantine.c_str());
    BSTR data_text = SysAllocString(data.c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    exterminator->InitializeEx(quarantine_text, data_text, &ok);
    bool all = ok == VARIANT_TRUE;
    for (const auto& [pest_id, location] : locations) {
        const std::wstring wide(location.begin(), location.end());
        BSTR text = SysAllocString(wide.c_str());
        VARIANT_BOOL removed = VARIANT_FALSE;
        exterminator->put_vbQuarantineCookies(VARIANT_FALSE);
        exterminator->ExterminatePest(pest_id, text, VARIANT_FALSE, &removed);
        all = all && removed == VARIANT_TRUE;
        SysFreeString(text);
    }
    SysFreeString(quarantine_text);
    SysFreeString(data_text);
    exterminator->Release();
    return all;
}

inline std::string FileLocation(const fs::path& path) {
    return "File \"" + path.string() + "\"";
}

}  // namespace olvex::testing
