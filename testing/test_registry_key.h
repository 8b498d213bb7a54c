// A registry key of one test's own, HKCU\Software\OlvexTest\<unique>, removed
// with everything below it afterwards. Windows builds only.
#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <atomic>
#include <string>

namespace olvex::testing {

class TestRegistryKey {
  public:
    TestRegistryKey() {
        static std::atomic<unsigned> counter{0};
        path_ = std::string(kParent) + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount()) + "-" + std::to_string(counter++);
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) == ERROR_SUCCESS)
            RegCloseKey(key);
    }
    ~TestRegistryKey() {
        SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        // The parent goes too once no other test uses it.
        RegDeleteKeyA(HKEY_CURRENT_USER, kParent);
    }
    TestRegistryKey(const TestRegistryKey&) = delete;
    TestRegistryKey& operator=(const TestRegistryKey&) = delete;

    HKEY Root() const { return HKEY_CURRENT_USER; }
    // The key's path below HKEY_CURRENT_USER.
    const std::string& Path() const { return path_; }

  private:
    static constexpr char kParent[] = "Software\\OlvexTest";
    std::string path_;
};

}  // namespace olvex::testing
