#include "olvex/core/locked_file.h"

#include "olvex/core/native_file.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace olvex {

#ifdef _WIN32

namespace {

// The lock covers one byte far past any data, so it never stands in the way
// of reading or writing the content itself. It differs from the byte that
// AppendToFile locks, so the two never wait for each other.
OVERLAPPED LockPosition() {
    OVERLAPPED at = {};
    at.Offset = 0xFFFFFFFCu;
    at.OffsetHigh = 0x7FFFFFFFu;
    return at;
}

bool ReadAllFrom(HANDLE h, std::uint64_t max_bytes, FileBytes& result) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size)) {
        result.error = FileError::kReadFailed;
        return false;
    }
    const auto total = static_cast<std::uint64_t>(size.QuadPart);
    if (total > max_bytes || total >= 0x100000000ull) {
        result.error = FileError::kTooLarge;
        return false;
    }
    result.bytes.resize(static_cast<std::size_t>(total));
    // Fewer bytes when someone who takes no lock shortened the file meanwhile.
    const auto got = ReadUpTo(h, 0, result.bytes);
    if (!got) {
        result.bytes.clear();
        result.error = FileError::kReadFailed;
        return false;
    }
    result.bytes.resize(*got);
    return true;
}

}  // namespace

struct LockedFile::Impl {
    NativeFile file = INVALID_HANDLE_VALUE;
    bool locked = false;
    ~Impl() {
        if (locked) {
            OVERLAPPED at = LockPosition();
            UnlockFileEx(file, 0, 1, 0, &at);
        }
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
};

FileError LockedFile::Open(const std::string& path) {
    Close();
    auto impl = std::make_unique<Impl>();
    impl->file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (impl->file == INVALID_HANDLE_VALUE)
        return FileError::kWriteFailed;
    OVERLAPPED at = LockPosition();
    if (!LockFileEx(impl->file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at))
        return FileError::kWriteFailed;
    impl->locked = true;
    impl_ = std::move(impl);
    return FileError::kNone;
}

FileError LockedFile::Append(std::span<const std::uint8_t> bytes) {
    if (!IsOpen())
        return FileError::kWriteFailed;
    LARGE_INTEGER none = {};
    if (!SetFilePointerEx(impl_->file, none, nullptr, FILE_END) || !WriteAll(impl_->file, bytes))
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileError LockedFile::Truncate() {
    if (!IsOpen())
        return FileError::kWriteFailed;
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(impl_->file, start, nullptr, FILE_BEGIN) || !SetEndOfFile(impl_->file))
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileBytes ReadSharedFile(const std::string& path, std::uint64_t max_bytes) {
    FileBytes result;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        result.error = FileError::kNotFound;
        return result;
    }
    ReadAllFrom(h, max_bytes, result);
    CloseHandle(h);
    return result;
}

#else

namespace {

bool ReadAllFrom(int fd, std::uint64_t max_bytes, FileBytes& result) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result.error = FileError::kReadFailed;
        return false;
    }
    const auto total = static_cast<std::uint64_t>(st.st_size);
    if (total > max_bytes || total >= 0x100000000ull) {
        result.error = FileError::kTooLarge;
        return false;
    }
    result.bytes.resize(static_cast<std::size_t>(total));
    // Fewer bytes when someone who takes no lock shortened the file meanwhile.
    const auto got = ReadUpTo(fd, 0, result.bytes);
    if (!got) {
        result.bytes.clear();
        result.error = FileError::kReadFailed;
        return false;
    }
    result.bytes.resize(*got);
    return true;
}

}  // namespace

struct LockedFile::Impl {
    NativeFile file = -1;
    ~Impl() {
        // Closing the descriptor releases its lock.
        if (file >= 0)
            ::close(file);
    }
};

FileError LockedFile::Open(const std::string& path) {
    Close();
    auto impl = std::make_unique<Impl>();
    impl->file = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (impl->file < 0)
        return FileError::kWriteFailed;
    // flock locks belong to the open file, not to the process: two
    // LockedFiles of one process exclude each other as well.
    int locked;
    do {
        locked = ::flock(impl->file, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0)
        return FileError::kWriteFailed;
    impl_ = std::move(impl);
    return FileError::kNone;
}

FileError LockedFile::Append(std::span<const std::uint8_t> bytes) {
    if (!IsOpen() || ::lseek(impl_->file, 0, SEEK_END) < 0 || !WriteAll(impl_->file, bytes))
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileError LockedFile::Truncate() {
    if (!IsOpen() || ::ftruncate(impl_->file, 0) != 0)
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileBytes ReadSharedFile(const std::string& path, std::uint64_t max_bytes) {
    FileBytes result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // A folder cannot be opened as a file on Windows either.
        if (fd >= 0)
            ::close(fd);
        result.error = FileError::kNotFound;
        return result;
    }
    ReadAllFrom(fd, max_bytes, result);
    ::close(fd);
    return result;
}

#endif

std::optional<std::uint64_t> LockedFile::Size() {
    if (!IsOpen())
        return std::nullopt;
    return SizeOf(impl_->file);
}

FileBytes LockedFile::ReadAll(std::uint64_t max_bytes) {
    FileBytes result;
    if (!IsOpen()) {
        result.error = FileError::kReadFailed;
        return result;
    }
    ReadAllFrom(impl_->file, max_bytes, result);
    return result;
}

FileBytes LockedFile::ReadRange(std::uint64_t offset, std::size_t count) {
    FileBytes result;
    if (!IsOpen()) {
        result.error = FileError::kReadFailed;
        return result;
    }
    result.bytes.resize(count);
    const auto got = ReadUpTo(impl_->file, offset, result.bytes);
    if (!got) {
        result.bytes.clear();
        result.error = FileError::kReadFailed;
        return result;
    }
    result.bytes.resize(*got);
    return result;
}

LockedFile::LockedFile() = default;
LockedFile::~LockedFile() = default;
LockedFile::LockedFile(LockedFile&&) noexcept = default;
LockedFile& LockedFile::operator=(LockedFile&&) noexcept = default;

bool LockedFile::IsOpen() const {
    return impl_ != nullptr;
}

void LockedFile::Close() {
    impl_.reset();
}

}  // namespace olvex
