#include "olvex/core/file_io.h"

#include "olvex/core/native_file.h"

#include <cstdio>
#include <random>
#include <utility>
#include <vector>

#ifdef _WIN32
#include "win/unique.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace olvex {

namespace {

// What an append writes: a line end first when the file's last byte (last)
// ends no line, so every append starts on a line of its own.
std::vector<std::uint8_t> OnALineOfItsOwn(std::uint8_t last, std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> text;
    text.reserve(bytes.size() + 2);
    if (last != '\n') {
        text.push_back('\r');
        text.push_back('\n');
    }
    text.insert(text.end(), bytes.begin(), bytes.end());
    return text;
}

}  // namespace

#ifdef _WIN32

namespace {

bool SeekHandle(HANDLE handle, std::uint64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

std::optional<std::uint64_t> SizeOf(HANDLE handle) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size))
        return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<std::size_t> ReadUpTo(HANDLE handle, std::uint64_t offset,
                                    std::span<std::uint8_t> buffer) {
    if (!SeekHandle(handle, offset))
        return std::nullopt;
    std::size_t done = 0;
    while (done < buffer.size()) {
        const std::size_t left = buffer.size() - done;
        const DWORD want = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD got = 0;
        if (!ReadFile(handle, buffer.data() + done, want, &got, nullptr))
            return std::nullopt;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

bool WriteAll(HANDLE handle, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD wrote = 0;
        if (!WriteFile(handle, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0)
            return false;
        done += wrote;
    }
    return true;
}

struct InputFile::Impl {
    win::UniqueHandle handle;
};

bool InputFile::Open(const std::string& path) {
    Close();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    impl_ = std::make_unique<Impl>();
    impl_->handle.reset(h);
    return true;
}

std::optional<std::uint64_t> InputFile::Size() const {
    if (!IsOpen())
        return std::nullopt;
    return SizeOf(impl_->handle.get());
}

bool InputFile::Seek(std::uint64_t offset) {
    if (!IsOpen())
        return false;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(impl_->handle.get(), to, nullptr, FILE_BEGIN) != 0;
}

std::optional<std::size_t> InputFile::Read(std::span<std::uint8_t> buffer) {
    if (!IsOpen())
        return std::nullopt;
    const DWORD want =
        buffer.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(buffer.size());
    DWORD got = 0;
    if (!ReadFile(impl_->handle.get(), buffer.data(), want, &got, nullptr))
        return std::nullopt;
    return got;
}

struct OutputFile::Impl {
    win::UniqueHandle handle;
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
    impl_->handle.reset(h);
    return FileError::kNone;
}

FileError OutputFile::Write(std::span<const std::uint8_t> bytes) {
    if (!IsOpen() || !WriteAll(impl_->handle.get(), bytes))
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileError OutputFile::Seek(std::uint64_t offset) {
    if (!IsOpen())
        return FileError::kWriteFailed;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(impl_->handle.get(), to, nullptr, FILE_BEGIN) ? FileError::kNone
                                                                          : FileError::kWriteFailed;
}

FileError OutputFile::TruncateHere() {
    if (!IsOpen() || !SetEndOfFile(impl_->handle.get()))
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileError OutputFile::Flush() {
    if (!IsOpen() || !FlushFileBuffers(impl_->handle.get()))
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileError OutputFile::Close() {
    if (!IsOpen())
        return FileError::kNone;
    const bool ok = CloseHandle(impl_->handle.release()) != 0;
    impl_.reset();
    return ok ? FileError::kNone : FileError::kWriteFailed;
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

FileError AppendToFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    // Append access alone (no FILE_WRITE_DATA) makes every write land at the
    // end of the file. Wine does not make such a write atomic against another
    // appender, so appenders also take turns on a lock of one byte far past
    // any data (reads and writes of the data never meet it).
    HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return FileError::kWriteFailed;
    OVERLAPPED lock_at = {};
    lock_at.Offset = 0xFFFFFFFEu;
    lock_at.OffsetHigh = 0x7FFFFFFFu;
    const bool locked = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock_at) != 0;
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD wrote = 0;
        ok = WriteFile(h, bytes.data() + done, chunk, &wrote, nullptr) && wrote == chunk;
        done += wrote;
    }
    if (locked)
        UnlockFileEx(h, 0, 1, 0, &lock_at);
    ok = (CloseHandle(h) != 0) && ok;
    return ok ? FileError::kNone : FileError::kWriteFailed;
}

FileError AppendLinesToFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    // Read and write access (not append-only): the last byte is looked at,
    // and a failed write is cut off again. The offset is taken under the
    // appenders' lock, so it stays the end of the file until the lock goes.
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_DISK_FULL ? FileError::kNoSpace : FileError::kWriteFailed;
    OVERLAPPED lock_at = {};
    lock_at.Offset = 0xFFFFFFFEu;
    lock_at.OffsetHigh = 0x7FFFFFFFu;
    const bool locked = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock_at) != 0;
    FileError result = FileError::kNone;
    const auto size = SizeOf(h);
    if (!size) {
        result = FileError::kWriteFailed;
    } else if (!bytes.empty()) {
        std::uint8_t last = '\n';
        if (*size > 0 && ReadUpTo(h, *size - 1, std::span(&last, 1)).value_or(0) != 1)
            result = FileError::kWriteFailed;
        const std::vector<std::uint8_t> text = OnALineOfItsOwn(last, bytes);
        if (result == FileError::kNone) {
            DWORD error = ERROR_SUCCESS;
            if (!SeekHandle(h, *size) || !WriteAll(h, text)) {
                error = GetLastError();
                result = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL
                             ? FileError::kNoSpace
                             : FileError::kWriteFailed;
            }
            // Whatever part of a failed write landed goes again.
            if (result != FileError::kNone && SeekHandle(h, *size))
                SetEndOfFile(h);
        }
    }
    if (locked)
        UnlockFileEx(h, 0, 1, 0, &lock_at);
    if (!CloseHandle(h) && result == FileError::kNone)
        result = FileError::kWriteFailed;
    return result;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct SharedFile::Impl {
    win::UniqueHandle handle;
};

bool SharedFile::Open(const std::string& path, Access access, bool create) {
    Close();
    const DWORD rights = access == Access::kReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    HANDLE h =
        CreateFileA(path.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    created_ = create && GetLastError() != ERROR_ALREADY_EXISTS;
    impl_ = std::make_unique<Impl>();
    impl_->handle.reset(h);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Close();
        return false;
    }
    return true;
}

std::optional<std::uint64_t> SharedFile::Size() const {
    if (!IsOpen())
        return std::nullopt;
    return SizeOf(impl_->handle.get());
}

std::optional<std::size_t> SharedFile::ReadAt(std::uint64_t offset,
                                              std::span<std::uint8_t> buffer) {
    if (!IsOpen())
        return std::nullopt;
    return ReadUpTo(impl_->handle.get(), offset, buffer);
}

bool SharedFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    return IsOpen() && SeekHandle(impl_->handle.get(), offset) &&
           WriteAll(impl_->handle.get(), bytes);
}

bool SharedFile::Resize(std::uint64_t size) {
    return IsOpen() && SeekHandle(impl_->handle.get(), size) &&
           SetEndOfFile(impl_->handle.get()) != 0;
}

bool SharedFile::Flush() {
    return IsOpen() && FlushFileBuffers(impl_->handle.get()) != 0;
}

#else

std::optional<std::uint64_t> SizeOf(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::size_t> ReadUpTo(int fd, std::uint64_t offset, std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = ::pread(fd, buffer.data() + done, buffer.size() - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

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
    return SizeOf(impl_->fd);
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
    if (!IsOpen() || !WriteAll(impl_->fd, bytes))
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileError OutputFile::Seek(std::uint64_t offset) {
    if (!IsOpen() || ::lseek(impl_->fd, static_cast<off_t>(offset), SEEK_SET) < 0)
        return FileError::kWriteFailed;
    return FileError::kNone;
}

FileError OutputFile::TruncateHere() {
    if (!IsOpen())
        return FileError::kWriteFailed;
    const off_t here = ::lseek(impl_->fd, 0, SEEK_CUR);
    if (here < 0 || ::ftruncate(impl_->fd, here) != 0)
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

FileError AppendToFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return FileError::kWriteFailed;
    bool ok = WriteAll(fd, bytes);
    ok = (::close(fd) == 0) && ok;
    return ok ? FileError::kNone : FileError::kWriteFailed;
}

FileError AppendLinesToFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno == ENOSPC ? FileError::kNoSpace : FileError::kWriteFailed;
    // Appenders take turns on a lock of one byte far past any data, as on
    // Windows: the offset read under it stays the end of the file.
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0x7FFFFFFFFFFFFFFE;
    lock.l_len = 1;
    while (::fcntl(fd, F_SETLKW, &lock) != 0 && errno == EINTR) {
    }
    FileError result = FileError::kNone;
    const auto size = SizeOf(fd);
    if (!size) {
        result = FileError::kWriteFailed;
    } else if (!bytes.empty()) {
        std::uint8_t last = '\n';
        if (*size > 0 && ReadUpTo(fd, *size - 1, std::span(&last, 1)).value_or(0) != 1)
            result = FileError::kWriteFailed;
        const std::vector<std::uint8_t> text = OnALineOfItsOwn(last, bytes);
        std::size_t done = 0;
        while (result == FileError::kNone && done < text.size()) {
            const ssize_t wrote = ::pwrite(fd, text.data() + done, text.size() - done,
                                           static_cast<off_t>(*size + done));
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote <= 0)
                result = wrote < 0 && (errno == ENOSPC || errno == EDQUOT || errno == EFBIG)
                             ? FileError::kNoSpace
                             : FileError::kWriteFailed;
            else
                done += static_cast<std::size_t>(wrote);
        }
        // Whatever part of a failed write landed goes again.
        if (result != FileError::kNone && done > 0)
            while (::ftruncate(fd, static_cast<off_t>(*size)) != 0 && errno == EINTR) {
            }
    }
    lock.l_type = F_UNLCK;
    ::fcntl(fd, F_SETLK, &lock);
    if (::close(fd) != 0 && result == FileError::kNone)
        result = FileError::kWriteFailed;
    return result;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool PathExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

struct SharedFile::Impl {
    int fd = -1;
    ~Impl() {
        if (fd >= 0)
            ::close(fd);
    }
};

bool SharedFile::Open(const std::string& path, Access access, bool create) {
    Close();
    const int mode = access == Access::kReadWrite ? O_RDWR : O_RDONLY;
    int fd = -1;
    bool made = false;
    if (create) {
        fd = ::open(path.c_str(), mode | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        made = fd >= 0;
    }
    if (fd < 0)
        fd = ::open(path.c_str(), mode | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    impl_ = std::make_unique<Impl>();
    impl_->fd = fd;
    created_ = made;
    return true;
}

std::optional<std::uint64_t> SharedFile::Size() const {
    if (!IsOpen())
        return std::nullopt;
    return SizeOf(impl_->fd);
}

std::optional<std::size_t> SharedFile::ReadAt(std::uint64_t offset,
                                              std::span<std::uint8_t> buffer) {
    if (!IsOpen())
        return std::nullopt;
    return ReadUpTo(impl_->fd, offset, buffer);
}

bool SharedFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    if (!IsOpen())
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::pwrite(impl_->fd, bytes.data() + done, bytes.size() - done,
                                       static_cast<off_t>(offset + done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

bool SharedFile::Resize(std::uint64_t size) {
    return IsOpen() && ::ftruncate(impl_->fd, static_cast<off_t>(size)) == 0;
}

bool SharedFile::Flush() {
    return IsOpen() && ::fsync(impl_->fd) == 0;
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

SharedFile::SharedFile() = default;
SharedFile::~SharedFile() = default;
SharedFile::SharedFile(SharedFile&&) noexcept = default;
SharedFile& SharedFile::operator=(SharedFile&&) noexcept = default;

bool SharedFile::IsOpen() const {
    return impl_ != nullptr;
}
bool SharedFile::Created() const {
    return IsOpen() && created_;
}
void SharedFile::Close() {
    impl_.reset();
    created_ = false;
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

std::optional<std::string> CreateUniqueSibling(const std::string& path, OutputFile& out) {
    thread_local std::mt19937 generator{std::random_device{}()};
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(generator()));
        std::string name = path + suffix;
        const FileError created = out.Create(name, CreateMode::kNew);
        if (created == FileError::kNone)
            return name;
        if (created != FileError::kExists)
            return std::nullopt;
    }
    return std::nullopt;
}

FileError WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes,
                         bool atomic) {
    OutputFile out;
    std::string target = path;
    if (atomic) {
        auto sibling = CreateUniqueSibling(path, out);
        if (!sibling)
            return FileError::kWriteFailed;
        target = std::move(*sibling);
    } else if (out.Create(path, CreateMode::kReplace) != FileError::kNone) {
        return FileError::kWriteFailed;
    }
    bool ok = out.Write(bytes) == FileError::kNone;
    ok = ok && out.Flush() == FileError::kNone;
    ok = out.Close() == FileError::kNone && ok;
    if (ok && atomic)
        ok = MoveFileReplacing(target, path);
    if (!ok) {
        RemoveFile(target);
        return FileError::kWriteFailed;
    }
    return FileError::kNone;
}

}  // namespace olvex
