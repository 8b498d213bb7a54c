// A registry key of one test's own, <root>\Software\OlvexTest\<unique> (root
// HKEY_CURRENT_USER unless the test names HKEY_LOCAL_MACHINE), removed with
// everything below it afterwards. Windows builds only.
#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <atomic>
#include <string>

namespace olvex::testing {

class TestRegistryKey {
  public:
    explicit TestRegistryKey(HKEY root = HKEY_CURRENT_USER) : root_(root) {
        static std::atomic<unsigned> counter{0};
        path_ = std::string(kParent) + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount()) + "-" + std::to_string(counter++);
        HKEY key = nullptr;
        if (RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) == ERROR_SUCCESS)
            RegCloseKey(key);
    }
    ~TestRegistryKey() {
        SHDeleteKeyA(root_, path_.c_str());
        // The parent goes too once no other test uses it.
        RegDeleteKeyA(root_, kParent);
    }
    TestRegistryKey(const TestRegistryKey&) = delete;
    TestRegistryKey& operator=(const TestRegistryKey&) = delete;

    HKEY Root() const { return root_; }
    // The key's path below Root().
    const std::string& Path() const { return path_; }

  private:
    static constexpr char kParent[] = "Software\\OlvexTest";
    HKEY root_;
    std::string path_;
};

}  // namespace olvex::testing
