#include "olvex/core/file_io.h"

#include <cstdio>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace olvex {

#ifdef _WIN32

struct InputFile::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~Impl() {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

bool InputFile::Open(const std::string& path) {
    Close();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    impl_ = std::make_unique<Impl>();
    impl_->handle = h;
    return true;
}

std::optional<std::uint64_t> InputFile::Size() const {
    if (!IsOpen())
        return std::nullopt;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(impl_->handle, &size))
        return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool InputFile::Seek(std::uint64_t offset) {
    if (!IsOpen())
        return false;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(impl_->handle, to, nullptr, FILE_BEGIN) != 0;
}

std::optional<std::size_t> InputFile::Read(std::span<std::uint8_t> buffer) {
    if (!IsOpen())
        return std::nullopt;
    const DWORD want =
        buffer.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(buffer.size());
    DWORD got = 0;
    if (!ReadFile(impl_->handle, buffer.data(), want, &got, nullptr))
        return std::nullopt;
    return got;
}

FileError WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes,
                         bool atomic) {
    const std::string target = atomic ? path + ".tmp" : path;
    HANDLE h = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return FileError::kWriteFailed;
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD wrote = 0;
        ok = WriteFile(h, bytes.data() + done, chunk, &wrote, nullptr) && wrote == chunk;
        done += wrote;
    }
    ok = ok && FlushFileBuffers(h);
    CloseHandle(h);
    if (!ok) {
        DeleteFileA(target.c_str());
        return FileError::kWriteFailed;
    }
    if (atomic && !MoveFileExA(target.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(target.c_str());
        return FileError::kWriteFailed;
    }
    return FileError::kNone;
}

struct OutputFile::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~Impl() {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

FileError OutputFile::Create(const std::string& path, CreateMode mode) {
    impl_.reset();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                           mode == CreateMode::kNew ? CREATE_NEW : CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                   ? FileError::kExists
                   : FileError::kWriteFailed;
    }
    impl_ = std::make_unique<Impl>();
    impl_->handle = h;
    return FileError::kNone;
}

FileError OutputFile::Write(std::span<const std::uint8_t> bytes) {
    if (!IsOpen())
        return FileError::kWriteFailed;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD wrote = 0;
        if (!WriteFile(impl_->handle, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0)
            return FileError::kWriteFailed;
        done += wrote;
    }
    return FileError::kNone;
}

FileError OutputFile::Seek(std::uint64_t offset) {
    if (!IsOpen())
        return FileError::kWriteFailed;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(impl_->handle, to, nullptr, FILE_BEGIN) ? FileError::kNone
                                                                    : FileError::kWriteFailed;
}

FileError OutputFile::Flush() {
    if (!IsOpen() || !FlushFileBuffers(impl_->handle))
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileError OutputFile::Close() {
    if (!IsOpen())
        return FileError::kNone;
    const bool ok = CloseHandle(impl_->handle) != 0;
    impl_->handle = INVALID_HANDLE_VALUE;
    impl_.reset();
    return ok ? FileError::kNone : FileError::kWriteFailed;
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

#else

struct InputFile::Impl {
    int fd = -1;
    ~Impl() {
        if (fd >= 0)
            ::close(fd);
    }
};

bool InputFile::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    impl_ = std::make_unique<Impl>();
    impl_->fd = fd;
    return true;
}

std::optional<std::uint64_t> InputFile::Size() const {
    if (!IsOpen())
        return std::nullopt;
    struct stat st;
    if (::fstat(impl_->fd, &st) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool InputFile::Seek(std::uint64_t offset) {
    if (!IsOpen())
        return false;
    return ::lseek(impl_->fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::optional<std::size_t> InputFile::Read(std::span<std::uint8_t> buffer) {
    if (!IsOpen())
        return std::nullopt;
    for (;;) {
        const ssize_t got = ::read(impl_->fd, buffer.data(), buffer.size());
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            return std::nullopt;
    }
}

FileError WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes,
                         bool atomic) {
    const std::string target = atomic ? path + ".tmp" : path;
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return FileError::kWriteFailed;
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        ok = wrote > 0;
        if (ok)
            done += static_cast<std::size_t>(wrote);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(target.c_str());
        return FileError::kWriteFailed;
    }
    if (atomic && std::rename(target.c_str(), path.c_str()) != 0) {
        ::unlink(target.c_str());
        return FileError::kWriteFailed;
    }
    return FileError::kNone;
}

struct OutputFile::Impl {
    int fd = -1;
    ~Impl() {
        if (fd >= 0)
            ::close(fd);
    }
};

FileError OutputFile::Create(const std::string& path, CreateMode mode) {
    impl_.reset();
    const int flags =
        O_WRONLY | O_CREAT | O_CLOEXEC | (mode == CreateMode::kNew ? O_EXCL : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0)
        return errno == EEXIST ? FileError::kExists : FileError::kWriteFailed;
    impl_ = std::make_unique<Impl>();
    impl_->fd = fd;
    return FileError::kNone;
}

FileError OutputFile::Write(std::span<const std::uint8_t> bytes) {
    if (!IsOpen())
        return FileError::kWriteFailed;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(impl_->fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return FileError::kWriteFailed;
        done += static_cast<std::size_t>(wrote);
    }
    return FileError::kNone;
}

FileError OutputFile::Seek(std::uint64_t offset) {
    if (!IsOpen() || ::lseek(impl_->fd, static_cast<off_t>(offset), SEEK_SET) < 0)
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileError OutputFile::Flush() {
    if (!IsOpen() || ::fsync(impl_->fd) != 0)
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileError OutputFile::Close() {
    if (!IsOpen())
        return FileError::kNone;
    const bool ok = ::close(impl_->fd) == 0;
    impl_->fd = -1;
    impl_.reset();
    return ok ? FileError::kNone : FileError::kWriteFailed;
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0)
        return false;
    // The rename itself must reach the disk too: sync the folder entry.
    const auto slash = to.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : to.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return true;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

#endif

InputFile::InputFile() = default;
InputFile::~InputFile() = default;
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() = default;
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;

bool OutputFile::IsOpen() const {
    return impl_ != nullptr;
}

bool InputFile::IsOpen() const {
    return impl_ != nullptr;
}
void InputFile::Close() {
    impl_.reset();
}

std::optional<std::size_t> InputFile::ReadFull(std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const auto got = Read(buffer.subspan(done));
        if (!got)
            return std::nullopt;
        if (*got == 0)
            break;
        done += *got;
    }
    return done;
}

std::optional<std::size_t> InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
    if (!Seek(offset))
        return std::nullopt;
    return ReadFull(buffer);
}

FileBytes ReadWholeFile(const std::string& path, std::uint64_t max_bytes) {
    FileBytes result;
    InputFile file;
    if (!file.Open(path)) {
        result.error = FileError::kNotFound;
        return result;
    }
    const auto size = file.Size();
    if (!size) {
        result.error = FileError::kReadFailed;
        return result;
    }
    if (*size > max_bytes || *size >= 0x100000000ull) {
        result.error = FileError::kTooLarge;
        return result;
    }
    result.bytes.resize(static_cast<std::size_t>(*size));
    const auto got = file.ReadFull(result.bytes);
    if (!got || *got != result.bytes.size()) {
        result.bytes.clear();
        result.error = FileError::kReadFailed;
    }
    return result;
}

}  // namespace olvex
