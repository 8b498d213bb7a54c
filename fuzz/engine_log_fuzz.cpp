// The engine log "Logs\qzv5log.log" from hostile bytes: another process, an
// older engine or a damaged disk may have written anything. The reader must
// stay inside the text, the highest entry id must stay in range, and an
// entry appended to such a log must come back as its last line, with the
// next id, whether the writer reads the whole log or only what was added.
//
// Input: one selector byte (bit 0: a double-byte code page), then the log.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

#include "olvex/core/engine_log.h"
#include "olvex/core/file_io.h"

namespace {

// Stops the run at the first broken promise, saying where.
void Check(bool condition, int line = __builtin_LINE()) {
    if (!condition) {
        std::fprintf(stderr, "check failed at line %d\n", line);
        std::abort();
    }
}

std::string FolderPath() {
    return "/tmp/olvex-engine-log-fuzz-" + std::to_string(::getpid());
}

// The fuzzer's own folder, removed when it exits.
const std::string& Folder() {
    static const std::string folder = [] {
        std::filesystem::create_directories(FolderPath());
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(FolderPath(), ignored);
        });
        return FolderPath();
    }();
    return folder;
}

// The file's bytes; nullopt when the machine cannot give them (a disk that
// is full or failing is no fault of the log's).
std::optional<std::string> ReadBack(const std::string& path) {
    const auto file = olvex::ReadWholeFile(path, 64u << 20);
    if (file.error != olvex::FileError::kNone)
        return std::nullopt;
    return std::string(file.bytes.begin(), file.bytes.end());
}

// Appends an entry; checks that it went after what the log held (an
// unfinished last line ended first) and answers the id it was given;
// nullopt when the machine could not open, read or write the file.
std::optional<std::int64_t> Append(const std::string& path, const olvex::MultiByteText& mb,
                                   olvex::LogPosition* position) {
    const auto read = ReadBack(path);
    if (!read)
        return std::nullopt;
    const std::string& before = *read;
    const std::string ended = before.empty() || before.back() == '\n' ? before : before + "\r\n";
    std::int64_t given = -1;
    const auto result = olvex::AppendLogEntry(
        path, mb,
        [&](std::int64_t id) -> std::optional<std::string> {
            given = id;
            return "Message \"fuzz\" EntryId \"" + std::to_string(id) + "\"";
        },
        position);
    if (result != olvex::LogAppendResult::kAppended) {
        // Only the machine may fail an append: the entry is a good one.
        Check(result != olvex::LogAppendResult::kRefused);
        return std::nullopt;
    }
    Check(given > 0);
    const auto after = ReadBack(path);
    if (!after)
        return std::nullopt;
    Check(*after == ended + "Message \"fuzz\" EntryId \"" + std::to_string(given) + "\"\r\n");
    return given;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto mb =
        (data[0] & 1) ? olvex::MultiByteText::ForCodePage(932) : olvex::MultiByteText::SingleByte();
    const std::string_view content(reinterpret_cast<const char*>(data + 1), size - 1);

    // Lines are trimmed and never empty, and a carriage return always ends
    // one (a line feed only where no carriage return follows in the text);
    // the highest id stays in range.
    for (const auto& line : olvex::ReadLogLines(content)) {
        Check(!line.empty() && line.size() <= content.size());
        Check(line.find('\r') == std::string::npos);
        Check(line.front() != ' ' && line.back() != ' ');
    }
    const std::int64_t highest = olvex::HighestLogEntryId(content, mb);
    Check(highest >= 0 && highest < std::numeric_limits<std::int64_t>::max());

    // Appended to the log as it is, reading it whole, an entry gets the id
    // after the highest (as the writer reads it: an unfinished last line
    // ended). From a position the next writer reads only its own line and
    // goes on from that id.
    const std::string path = Folder() + "/qzv5log.log";
    if (olvex::WriteWholeFile(path, {data + 1, size - 1}) != olvex::FileError::kNone ||
        ReadBack(path) != std::string(content))
        return 0;  // the machine could not keep the log: nothing to learn
    const std::string ended = content.empty() || content.back() == '\n'
                                  ? std::string(content)
                                  : std::string(content) + "\r\n";
    const auto whole = Append(path, mb, nullptr);
    if (!whole)
        return 0;
    Check(*whole == olvex::HighestLogEntryId(ended, mb) + 1);
    olvex::LogPosition position;
    const auto first = Append(path, mb, &position);
    const auto second = first ? Append(path, mb, &position) : std::nullopt;
    if (!second)
        return 0;
    // Ids stop one below the largest number, so the next one can be formed.
    constexpr std::int64_t kLast = std::numeric_limits<std::int64_t>::max();
    Check(*second == (*first == kLast ? kLast : *first + 1));
    return 0;
}
