#include "setup/core/setup_file.h"

#include "setup/core/win_text.h"

namespace olvex::setup {

bool SetupFile::Open(const std::u16string& path, Mode mode) {
    Close();
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    if (mode == kWrite) {
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
    } else if (mode == kReadWrite) {
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
    }
    handle_ = CreateFileW(W(path), access, FILE_SHARE_READ, nullptr, disposition,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    return is_open();
}

void SetupFile::Close() {
    if (is_open()) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

bool SetupFile::Seek(uint64_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    return is_open() && SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN);
}

bool SetupFile::ReadAt(uint64_t offset, void* buffer, DWORD size, DWORD& read) {
    read = 0;
    return Seek(offset) && ReadFile(handle_, buffer, size, &read, nullptr);
}

bool SetupFile::WriteAt(uint64_t offset, const void* buffer, DWORD size) {
    DWORD written = 0;
    return Seek(offset) && WriteFile(handle_, buffer, size, &written, nullptr) && written == size;
}

bool SetupFile::GetSize(uint64_t& size) {
    LARGE_INTEGER value{};
    if (!is_open() || !GetFileSizeEx(handle_, &value)) {
        size = 0;
        return false;
    }
    size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool SetupFile::SetSize(uint64_t size) {
    return Seek(size) && SetEndOfFile(handle_);
}

}  // namespace olvex::setup
