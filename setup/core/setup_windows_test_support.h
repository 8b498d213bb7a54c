// Helpers of the setup core's Windows tests under Wine.
#pragma once

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "setup/core/setup_logger.h"
#include "setup/core/setup_text.h"
#include "setup/core/win_text.h"
#include "testing/scratch_dir.h"
#include "testing/windows_test_support.h"

namespace olvex::setup::testing {

// A build path as Wine shows it.
inline std::u16string BuildPath(const std::string& path) {
    return U(olvex::testing::WindowsPath(path));
}

// A fresh folder removed afterwards, as a setup path.
class ScratchFolder {
  public:
    std::u16string path() const { return dir_.path().u16string(); }
    std::u16string operator/(std::u16string_view name) const {
        return path() + u"\\" + std::u16string(name);
    }

  private:
    olvex::testing::ScratchDir dir_;
};

inline bool WriteFileText(const std::u16string& path, const std::string& text) {
    const HANDLE file = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

inline std::string ReadFileText(const std::u16string& path) {
    const HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    CloseHandle(file);
    return text;
}

inline bool Exists(const std::u16string& path) {
    return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES;
}

// The process logger's file so far.
inline std::string ProcessLog() {
    return ReadFileText(SetupLogger::Instance().path());
}

}  // namespace olvex::setup::testing
