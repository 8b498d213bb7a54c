// A file of setup's own: one Win32 handle, read and written at offsets.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace olvex::setup {

class SetupFile {
  public:
    enum Mode {
        kRead = 1,       // existing file, read access
        kWrite = 2,      // created anew, write access
        kReadWrite = 3,  // opened or created, read and write access
    };

    SetupFile() = default;
    virtual ~SetupFile() { Close(); }
    SetupFile(const SetupFile&) = delete;
    SetupFile& operator=(const SetupFile&) = delete;

    // Shared for reading, normal attributes.
    bool Open(const std::u16string& path, Mode mode);
    void Close();
    bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }

    virtual bool ReadAt(uint64_t offset, void* buffer, DWORD size, DWORD& read);
    // True only when every byte was written.
    virtual bool WriteAt(uint64_t offset, const void* buffer, DWORD size);
    virtual bool GetSize(uint64_t& size);
    // Moves to the offset and ends the file there.
    virtual bool SetSize(uint64_t size);

  private:
    bool Seek(uint64_t offset);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace olvex::setup
