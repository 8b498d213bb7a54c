// The definitions' time stamp from hostile bytes: the version information
// object, the updater and the web load read the block time of a definition
// file's last header without checking or decoding anything, from a file on
// disk or from the first bytes a server sent. Every reader must stay inside
// the data and agree with the walk over the same bytes in memory; the
// composite version made from any time stays four 16-bit numbers.
//
// Input: the file ("qzinfo.dat"; the same bytes serve as "qzloc.dat" and
// "qzfile.dat" for the header totals).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <unistd.h>

#include "olvex/core/dat_database.h"
#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "olvex/core/little_endian.h"
#include "olvex/update/version_info.h"

namespace {

// Stops the run at the first broken promise, saying where.
void Check(bool condition, int line = __builtin_LINE()) {
    if (!condition) {
        std::fprintf(stderr, "check failed at line %d\n", line);
        std::abort();
    }
}

std::string FolderPath() {
    return "/tmp/olvex-time-stamp-fuzz-" + std::to_string(::getpid());
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

// A server that sends the file's first bytes.
class HeadOfFile final : public olvex::DefinitionFetcher {
  public:
    explicit HeadOfFile(std::span<const std::uint8_t> file) : file_(file) {}
    std::optional<std::vector<std::uint8_t>> ReadHead(const std::string&,
                                                      std::size_t max_bytes) override {
        const auto head = file_.first(std::min(max_bytes, file_.size()));
        return std::vector<std::uint8_t>(head.begin(), head.end());
    }
    bool Download(const std::string&, const std::string&, std::string& error) override {
        error = "no downloads here";
        return false;
    }

  private:
    std::span<const std::uint8_t> file_;
};

// Four dotted numbers, each at most 65535.
void CheckCompositeVersion(const std::string& version) {
    int parts = 0;
    std::size_t start = 0;
    while (start <= version.size()) {
        const std::size_t end = std::min(version.find('.', start), version.size());
        const std::string part = version.substr(start, end - start);
        Check(!part.empty() && part.size() <= 5);
        for (const char c : part)
            Check(c >= '0' && c <= '9');
        Check(std::stoul(part) <= 65535);
        ++parts;
        start = end + 1;
    }
    Check(parts == 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    const olvex::HeaderWalk walk = olvex::WalkBlockHeaders(file);
    Check(walk.blocks >= 0 &&
          static_cast<std::size_t>(walk.blocks) <= size / olvex::kDefinitionHeaderBytes);
    Check(walk.payload_bytes_after_first >= 0);
    Check(walk.last_block_time.has_value() == (walk.blocks > 0));

    // From the file on disk: the same walk.
    // A machine that cannot keep the files (a full disk) has nothing to say
    // about the readers.
    for (const char* name : {"qzinfo.dat", "qzloc.dat", "qzfile.dat"}) {
        if (olvex::WriteWholeFile(Folder() + "/" + name, file) != olvex::FileError::kNone)
            return 0;
    }
    const std::string path = Folder() + "/qzinfo.dat";
    const auto on_disk = olvex::WalkBlockHeaderFile(path);
    Check(on_disk && on_disk->blocks == walk.blocks &&
          on_disk->last_block_time == walk.last_block_time &&
          on_disk->payload_bytes_after_first == walk.payload_bytes_after_first);
    const olvex::DefinitionTimeStamp stamp = olvex::ReadDefinitionTimeStamp(path);
    if (walk.last_block_time) {
        Check(stamp.error == olvex::TimeStampError::kNone &&
              stamp.block_time == *walk.last_block_time);
    } else {
        Check(stamp.error == olvex::TimeStampError::kNoBlock);
    }
    static_cast<void>(olvex::IsDatFileValid(path));

    // The header totals count what the walk counts.
    const olvex::HeaderTotals totals = olvex::ReadHeaderTotals(Folder());
    if (walk.last_block_time) {
        Check(totals.block_count == walk.blocks - 1);
        Check(totals.data_version ==
              olvex::DataVersionFromFileTime(*walk.last_block_time).value_or(0));
        // The same bytes three times over, up to the largest 32-bit number.
        Check(totals.delta_bytes ==
              std::min<std::int64_t>(3 * walk.payload_bytes_after_first, 0x7FFFFFFF));
    } else {
        Check(totals.block_count == 0 && totals.data_version == 0 && totals.delta_bytes == 0);
    }

    // From a server: the time of the first header, when it is a block's.
    const olvex::CDatDatabase database;
    HeadOfFile server(file);
    const auto remote = database.GetBlockTime("http://127.0.0.1/defs/qzinfo.dat", &server);
    const auto time = olvex::LoadLe64(file, olvex::kHeaderTimeOffset);
    const bool block =
        olvex::LoadLe32(file, olvex::kHeaderMagicOffset) == olvex::kDefinitionMagic && time;
    Check(remote.has_value() == block);
    if (block)
        Check(*remote == *time);
    // And from the local copy, as the web load compares them.
    Check(database.GetBlockTime(path, nullptr) == walk.last_block_time);

    CheckCompositeVersion(
        olvex::CompositeVersion("5.6.7.4", "1.0.0.0", walk.last_block_time.value_or(0)));
    if (size >= 8)
        CheckCompositeVersion(
            olvex::CompositeVersion("65535.65535", "x.-1", *olvex::LoadLe64(file, size - 8)));
    return 0;
}
