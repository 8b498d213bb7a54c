// CDatDatabase: the whole pest definition set in memory, loaded from
// "qzinfo.dat", "qzfile.dat" and "qzloc.dat" in a data folder (or fetched
// from a web folder first), with its data folder, data version, header
// totals and last error.
//
// A load builds a complete new set of tables and publishes it at once; until
// then, and whenever a load fails, the set loaded before stays in place
// untouched. Published sets are immutable, so lookups read them without a
// lock. Every set published stays in memory as long as the database lives
// (a lookup running in another thread may still be reading an older one);
// the engine loads once per process, so that is one set.
//
// One process-wide instance serves every pest database and scanner object
// (the engine's TheDatDatabase()); tests and the updater make their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/dat_cursor.h"
#include "olvex/core/dat_tables.h"
#include "olvex/core/multibyte_text.h"
#include "olvex/core/path_macros.h"

namespace olvex {

inline constexpr std::string_view kPestsFileName = "qzinfo.dat";
inline constexpr std::string_view kSignaturesFileName = "qzfile.dat";
inline constexpr std::string_view kLocationsFileName = "qzloc.dat";

inline constexpr std::string_view kUrlTooLargeText = "URL is too large. Limit 4095 bytes.";
inline constexpr std::string_view kProtocolNotSupportedText = "Protocol is not supported.";
inline constexpr std::string_view kNoMemoryText = "Not enough memory to load the definitions.";
inline constexpr std::size_t kMaxSourceLength = 4095;
inline constexpr std::size_t kRemoteHeadBytes = 512;

// How definition files are fetched from a web folder (WinINet in the
// engine; tests may put in their own).
class DefinitionFetcher {
  public:
    virtual ~DefinitionFetcher() = default;
    // The first max_bytes bytes of the body at url; nullopt when the request
    // failed.
    virtual std::optional<std::vector<std::uint8_t>> ReadHead(const std::string& url,
                                                              std::size_t max_bytes) = 0;
    // Downloads url into path; path changes only when the whole body
    // arrived. False with the reason in error.
    virtual bool Download(const std::string& url, const std::string& path, std::string& error) = 0;
};

// Where a load from a web folder gets its files: the fetcher, and the local
// folder they are kept in (the engine's temporary folder).
struct RemoteSource {
    DefinitionFetcher* fetcher = nullptr;
    std::string download_folder;  // without a trailing separator
};

// True for a source that names a web folder: it contains "http://",
// "ftp://" or "https://" in any case ("HTTP://" is an address too). The
// scanner and the pest database both ask this one question.
bool IsRemoteDefinitionSource(std::string_view source);

class CDatDatabase {
  public:
    // folders: where the path macro table's folders come from (none: every
    // folder empty). mb: the lead bytes of the texts' code page.
    explicit CDatDatabase(const SpecialFolderSource* folders = nullptr,
                          const MultiByteText& mb = MultiByteText::SingleByte());
    ~CDatDatabase();
    CDatDatabase(const CDatDatabase&) = delete;
    CDatDatabase& operator=(const CDatDatabase&) = delete;

    // --- State --------------------------------------------------------------

    // Stores the folder without trailing path separators.
    void SetDatFolder(std::string_view folder);
    std::string GetDatFolder() const;
    // "Success" and 0 until something fails; codes and texts as the block
    // reader's, plus 4 for a missing folder. Every failure sets its text.
    std::string GetLastErrorText() const;
    int GetLastErrorCode() const;
    bool IsLoaded() const { return loaded_.load(std::memory_order_acquire); }
    // From ReadHeaderTotals.
    std::int32_t GetBlockCount() const;
    std::int32_t GetDeltaBytes() const;
    // From the last block of "qzinfo.dat": of the set loaded, or of the files
    // that ReadHeaderTotals walked, whichever came last.
    std::int32_t GetDatVersion() const;

    // --- Loading ------------------------------------------------------------

    // Loads the three files of the data folder: 0, or the code of the first
    // file (in the order above) that failed. Nothing changes on failure. A
    // file without any block keeps its tables of the set loaded before.
    int Load();
    // Loads from a web folder: the three files are fetched into the download
    // folder when the remote "qzinfo.dat" has a later block time than the
    // local copy (or there is none), then loaded from there; on success the
    // download folder becomes the data folder. 0 or an error code.
    int LoadFrom(std::string_view source, const RemoteSource& remote);
    // The time of the last block of a local file, or of the first block of a
    // file at an http/https URL (the first 512 bytes are asked for). Nullopt
    // when it cannot be had. An ftp:// source counts as a local path.
    std::optional<std::uint64_t> GetBlockTime(std::string_view source,
                                              DefinitionFetcher* fetcher) const;
    // Downloads source + "/" + name into the download folder: 0, or 1 (no
    // web protocol, or the download failed; the fetcher's reason becomes the
    // last error text) or 5 (the source is longer than 4095 bytes).
    int FetchDefinitionFile(std::string_view source, std::string_view name,
                            const RemoteSource& remote);
    // Walks the headers of the folder's three files without decoding them:
    // sets the block count, the delta bytes and the data version.
    void ReadHeaderTotals();

    // What Initialize of the engine's objects does: unless a set is loaded
    // already, load one from source (a web folder through remote, otherwise
    // a data folder, which is stored as the data folder first). Callers
    // take turns, so threads that initialise together load once.
    struct InitialLoad {
        int code = 0;             // 0: a set is loaded
        bool loaded_now = false;  // this call loaded it
    };
    InitialLoad LoadUnlessLoaded(std::string_view source, const RemoteSource* remote);

    // --- Reading ------------------------------------------------------------

    // The set loaded now (null before the first successful load). Holding it
    // keeps it alive; the scanner takes it once and looks up in it directly.
    std::shared_ptr<const DatTables> Snapshot() const;

    // The lookups of the set loaded now; nothing is found before a load.
    // Copies, as the callers keep them.
    std::optional<DatPestEntry> FindPest(std::int32_t pest_id) const;
    std::vector<DatSignatureEntry> FindFileSignatures(std::uint32_t crc) const;
    std::optional<DatPestEntry> FindPestByMemoryCrc(std::uint32_t crc) const;
    std::optional<DatPestEntry> FindCookie(std::string_view name) const;
    // A real path, rewritten into macro form (PathMacroTable::ToMacroForm)
    // before it is looked up.
    std::optional<DatPestEntry> FindPathLocation(std::string_view path) const;
    std::optional<DatKeyLocation> FindKeyLocation(std::string_view key,
                                                  std::string_view value) const;
    // Matching a file by its signatures: head_crc is the CRC-32 of its first
    // min(size, 2047) bytes; md5 supplies its MD5 if a candidate needs it.
    std::optional<DatPestEntry> MatchFileSignature(std::uint32_t head_crc,
                                                   const Md5Supplier& md5) const;
    // The whole protocol for a file on disk: its signatures, then its path
    // among the file and folder locations.
    std::optional<DatPestEntry> MatchFile(const std::string& path) const;

    // Cursors on the first entry of each table (the end cursor when empty).
    DatCursor FirstPest() const;
    DatCursor FirstCookie() const;
    DatCursor FirstKeyLocation() const;
    DatCursor FirstPathLocation() const;
    static DatCursor GetEndCursor() { return {}; }
    DatLocationWalk FirstLocation() const;

    // --- Path macros --------------------------------------------------------

    // Built from the folder source on first use, once, whatever the threads.
    const PathMacroTable& MacroTable() const;
    // A real path in macro form, as the file and folder locations are kept.
    std::string ToMacroForm(std::string_view path) const;
    // A definition path as a real one (the scans' ExpandPathMacros).
    std::string ExpandPathMacros(std::string_view path) const;

    const MultiByteText& text() const { return mb_; }

  private:
    struct FileLoad;

    int LoadFolderLocked(const std::string& folder);
    int LoadFromLocked(std::string_view source, const RemoteSource& remote);
    int FetchDefinitionFiles(std::string_view source, const RemoteSource& remote);
    int Fail(int code, std::string_view text);
    void Publish(std::shared_ptr<const DatTables> tables, std::optional<std::int32_t> version);
    const DatTables* Current() const { return current_.load(std::memory_order_acquire); }

    const SpecialFolderSource* folders_;
    const MultiByteText mb_;

    // Loads take turns; the state lock guards what follows it.
    std::mutex load_mutex_;
    mutable std::mutex state_mutex_;
    std::string folder_;
    std::string last_error_text_ = "Success";
    int last_error_code_ = 0;
    std::int32_t block_count_ = 0;
    std::int32_t delta_bytes_ = 0;
    std::int32_t data_version_ = 0;
    std::vector<std::shared_ptr<const DatTables>> published_;

    std::atomic<const DatTables*> current_{nullptr};
    std::atomic<bool> loaded_{false};

    mutable std::once_flag macro_once_;
    mutable std::optional<PathMacroTable> macros_;
};

}  // namespace olvex
