// Small file layer for the portable code: whole-file reads, bounded reads from
// an open file, and writes (whole files, or streamed through an OutputFile). Paths are narrow
// strings (the ANSI code page on Windows, as everywhere inside the engine). A read error is always
// reported, never passed off as data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace olvex {

enum class FileError {
    kNone = 0,
    kNotFound,     // the file cannot be opened
    kReadFailed,   // opened, but a read failed
    kWriteFailed,  // cannot be created or written
    kTooLarge,     // larger than the caller's limit, or 4 GiB and more
    kExists,       // create-new asked for, and the path exists already
    kNoSpace,      // the disk (or the writer's quota) is full
};

// A file opened for reading, shared with other readers. Move-only.
class InputFile {
  public:
    InputFile();
    ~InputFile();
    InputFile(InputFile&&) noexcept;
    InputFile& operator=(InputFile&&) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens an existing file for reading; false when it cannot be opened.
    bool Open(const std::string& path);
    bool IsOpen() const;
    void Close();

    // Size of the open file in bytes; nullopt when it cannot be told.
    std::optional<std::uint64_t> Size() const;
    bool Seek(std::uint64_t offset);
    // Reads up to buffer.size() bytes; the count read (0 at the end), or nullopt on error.
    std::optional<std::size_t> Read(std::span<std::uint8_t> buffer);
    // Reads exactly buffer.size() bytes unless the file ends first; the count
    // read, or nullopt on error.
    std::optional<std::size_t> ReadFull(std::span<std::uint8_t> buffer);
    // ReadFull at an offset: the count read (short only at the end of the
    // file), or nullopt on error. Moves the file position.
    std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

enum class CreateMode {
    kNew,      // fails with kExists when the path exists: never touches another file
    kReplace,  // creates or truncates
};

// A file opened for writing, not shared. Move-only. Closing without Close()
// (destructor) drops errors: call Close() to learn whether the data got out.
class OutputFile {
  public:
    OutputFile();
    ~OutputFile();
    OutputFile(OutputFile&&) noexcept;
    OutputFile& operator=(OutputFile&&) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // kNone, kExists (kNew only) or kWriteFailed.
    FileError Create(const std::string& path, CreateMode mode);
    bool IsOpen() const;
    // Writes all the bytes at the current position, or fails.
    FileError Write(std::span<const std::uint8_t> bytes);
    FileError Seek(std::uint64_t offset);
    // Ends the file at the current position (what lay beyond it is dropped).
    FileError TruncateHere();
    // Forces the written data to the disk.
    FileError Flush();
    FileError Close();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

struct FileBytes {
    FileError error = FileError::kNone;
    std::vector<std::uint8_t> bytes;
    explicit operator bool() const { return error == FileError::kNone; }
};

// What separates a folder from the names inside it on this system.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Reads a whole file. Files larger than max_bytes give kTooLarge.
FileBytes ReadWholeFile(const std::string& path, std::uint64_t max_bytes = 0xFFFFFFFFull);

// Writes bytes to path, replacing it. With atomic set, the data goes to a
// temporary file of its own in the same folder that is renamed over the
// target, so a crash leaves either the old file or the new one, and two
// writers at once never share a temporary.

FileError WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes,
                         bool atomic = false);

// Creates a new file beside path under a name no one else holds
// ("<path>.<random>.tmp") and opens it in out; the name, or nullopt.
std::optional<std::string> CreateUniqueSibling(const std::string& path, OutputFile& out);

// Renames from over to (replacing it), durably: the only moment a reader can
// see the change is the rename itself. False when it failed (from is kept).
bool MoveFileReplacing(const std::string& from, const std::string& to);
// Appends bytes to the end of path, creating it when missing and never
// truncating it. The bytes go out in one write at the end of the file, as a
// whole, even while other threads or processes append to the same file
// through this function: O_APPEND on POSIX; on Windows, append-only access
// plus a lock the appenders take in turn (Wine alone does not keep
// concurrent appends apart). Other openers are not kept out: readers and
// writers share the file as usual.
FileError AppendToFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Appends lines of text the way AppendToFile appends bytes (created when
// missing, one write at the end, appenders taking turns), and so that they
// begin a line of their own: a file whose last byte is no line feed first
// gets a CR LF. A write that fails or falls short is undone: the file is cut
// back to the length it had, so a full disk leaves no torn line for the next
// append to run on from. kNoSpace when the disk was full, kWriteFailed for
// any other failure; nothing to append changes nothing but the file's being
// there.
FileError AppendLinesToFile(const std::string& path, std::span<const std::uint8_t> bytes);

bool FileExists(const std::string& path);
// True for a file or a folder.
bool PathExists(const std::string& path);
bool RemoveFile(const std::string& path);

// A file opened for reading (and writing), shared with other readers, writers
// and renamers, so that a database can be listed while it is appended to or
// replaced. Reads and writes name their offset. Move-only.
class SharedFile {
  public:
    enum class Access { kRead, kReadWrite };

    SharedFile();
    ~SharedFile();
    SharedFile(SharedFile&&) noexcept;
    SharedFile& operator=(SharedFile&&) noexcept;
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    // Opens a file; with create set, a missing file is made (empty) and
    // Created() then tells so. False when it cannot be opened.
    bool Open(const std::string& path, Access access, bool create);
    bool IsOpen() const;
    bool Created() const;
    void Close();

    std::optional<std::uint64_t> Size() const;
    // Reads buffer.size() bytes at offset unless the file ends first; the count
    // read, or nullopt on error.
    std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer);
    // Writes all bytes at offset; false when any of them could not be written.
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Cuts or extends the file to size bytes.
    bool Resize(std::uint64_t size);
    // Waits until the written bytes are on the disk.
    bool Flush();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool created_ = false;
};

}  // namespace olvex
