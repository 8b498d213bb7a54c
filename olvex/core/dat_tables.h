// The in-memory pest definitions: six hash tables built from the decoded
// blocks of "qzinfo.dat", "qzfile.dat" and "qzloc.dat", and the lookups
// over them.
//
// A table is built once and never changes afterwards, so any number of
// threads read it without a lock. Each table keeps the chained layout that
// the definitions were designed around (an entry with key k lives in bucket
// k mod n; the first entry of a bucket stays its head, later ones go right
// behind the head), stored flat: the entries bucket by bucket, each bucket in
// chain order, their texts left where decoding put them. Walking the entries
// in storage order is the walk by bucket, then chain.
//
// Texts are multibyte in the ANSI code page. Lookups that ignore case also
// hash a case-folded text, so that "ADSERVER" finds "adserver" whatever the
// table's size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/definition_blocks.h"
#include "olvex/core/md5.h"
#include "olvex/core/multibyte_text.h"

namespace olvex {

// The definitions' string hash: h starts at 0; for each byte position i
// from start on, with c the byte sign-extended: even i: h ^= (h << 7) ^ (h >>
// 3) ^ c; odd i: h ^= ~((h << 11) ^ (h >> 5) ^ c). The parity is that of the
// position in the whole text. The key is h & 0x7FFFFFFF.
std::uint32_t DatStringHash(std::string_view text, std::size_t start = 0);
// The running form: continues h over text from start (positions counted
// from 0 of this text), without the final mask.
std::uint32_t DatStringHashContinue(std::uint32_t h, std::string_view text, std::size_t start);

// The same over the text case-folded as MultiByteText::Lower folds it,
// without making the folded copy.
std::uint32_t DatFoldedStringHashContinue(std::uint32_t h, std::string_view text, std::size_t start,
                                          const MultiByteText& mb);
// Whether two texts are equal ignoring case (MultiByteText::Lower of both).
bool DatTextEqualsFolded(std::string_view a, std::string_view b, const MultiByteText& mb);

// A pest as lookups report it. An entry whose pest id named no pest when it
// was loaded reports that id, with an empty name and category.
struct DatPestEntry {
    std::int32_t pest_id = -1;
    std::string name;
    std::string category;
    bool operator==(const DatPestEntry&) const = default;
};

// The same, pointing into the tables (valid while they are).
struct DatPestView {
    std::int32_t pest_id = -1;
    std::string_view name;
    std::string_view category;
    DatPestEntry Copy() const { return {pest_id, std::string(name), std::string(category)}; }
};

// One file signature: the CRC-32 of a file's first min(size, 2047) bytes, the
// whole file's MD5 (all zero: the CRC alone decides), and the pest.
struct DatSignatureEntry {
    std::uint32_t crc = 0;
    Md5Digest md5{};
    // The definition held no valid MD5: the signature never matches.
    bool md5_malformed = false;
    std::int32_t pest_id = -1;
    bool operator==(const DatSignatureEntry&) const = default;
};

struct DatCookieEntry {
    std::string name;
    std::int32_t pest_id = -1;
    bool operator==(const DatCookieEntry&) const = default;
};

struct DatKeyLocation {
    std::string key;
    std::string value;
    std::string data;
    std::int32_t pest_id = -1;
    bool operator==(const DatKeyLocation&) const = default;
};

struct DatPathLocation {
    std::string path;  // as defined, usually starting with a path macro
    std::int32_t pest_id = -1;
    bool is_folder = false;
    bool operator==(const DatPathLocation&) const = default;
};

// Supplies the MD5 of the file being matched, when a candidate signature
// needs it; nullopt when the file cannot be read. Called at most once per
// match, however many candidates share the file's head CRC.
using Md5Supplier = std::function<std::optional<Md5Digest>()>;

// --- Storage -------------------------------------------------------------

// A text of the tables: its offset over all payloads kept (in order) and
// its length. Like the rows below it is left unset when made without a
// value, so that a table's rows are not filled before they are written.
struct DatTextRef {
    std::uint32_t offset;
    std::uint32_t length;
};

// The texts of one file's tables: the decoded payloads themselves, kept
// whole, so that loading copies no text.
class DatTextStore {
  public:
    // Keeps the block's payload (where it is: the bytes do not move); Ref
    // then names texts inside it. Throws std::length_error past 4 GiB of
    // payloads (the loader reports it as memory it cannot allocate).
    std::span<const std::uint8_t> Keep(ByteBuffer payload);
    std::size_t PayloadCount() const { return payloads_.size(); }
    std::span<const std::uint8_t> Payload(std::size_t index) const { return payloads_[index]; }
    // A text inside the payload kept as number `payload` (from 0).
    DatTextRef Ref(std::size_t payload, std::string_view text) const;
    std::string_view View(DatTextRef ref) const;
    std::size_t MemoryBytes() const;

  private:
    std::vector<ByteBuffer> payloads_;
    std::vector<std::uint64_t> bases_;  // offset of each payload over all of them
    std::uint64_t total_ = 0;
};

// A hash table in its flat form: rows bucket by bucket, each bucket in chain
// order; bucket b holds rows [bucket_start[b], bucket_start[b + 1]). A table
// always has at least one bucket.
template <typename Row>
struct DatHashTable {
    std::vector<std::uint32_t> bucket_start = {0, 0};
    std::vector<Row, DefaultInitAllocator<Row>> rows;

    std::uint32_t bucket_count() const {
        return static_cast<std::uint32_t>(bucket_start.size() - 1);
    }
    std::span<const Row> Bucket(std::uint32_t key) const {
        const std::uint32_t b = key % bucket_count();
        return std::span<const Row>(rows).subspan(bucket_start[b],
                                                  bucket_start[b + 1] - bucket_start[b]);
    }
    std::size_t MemoryBytes() const {
        return bucket_start.capacity() * sizeof(std::uint32_t) + rows.capacity() * sizeof(Row);
    }
};

// A bit per slot, set for the key of every row of a table: a lookup whose
// key finds its bit clear misses without reaching the table (a few percent of
// other keys find theirs set and go on to the table). Small enough to stay in
// the caches where the table does not.
class DatKeyFilter {
  public:
    DatKeyFilter() = default;  // no filter: every key may be there
    explicit DatKeyFilter(std::span<const std::uint32_t> keys);
    bool MayHold(std::uint32_t key) const {
        if (bits_.empty())
            return true;
        const std::uint32_t slot = Slot(key);
        return (bits_[slot / 64] >> (slot % 64) & 1) != 0;
    }
    std::size_t MemoryBytes() const { return bits_.capacity() * sizeof(std::uint64_t); }

  private:
    std::uint32_t Slot(std::uint32_t key) const {
        return static_cast<std::uint32_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    std::vector<std::uint64_t> bits_;
    unsigned shift_ = 63;
};

struct DatPestRow {
    std::int32_t pest_id;
    DatTextRef name;
    DatTextRef category;
};
struct DatSignatureRow {
    std::uint32_t crc;
    std::int32_t pest_id;
    Md5Digest md5;
    bool md5_malformed;
};
struct DatMemoryRow {
    std::uint32_t crc;
    std::int32_t pest_id;
};
struct DatCookieRow {
    std::uint32_t hash;  // the row's key, kept to pass over other keys of its bucket quickly
    std::int32_t pest_id;
    DatTextRef name;
};
struct DatKeyRow {
    std::uint32_t hash;
    std::int32_t pest_id;
    DatTextRef key;
    DatTextRef value;
    DatTextRef data;
};
struct DatPathRow {
    std::uint32_t hash;
    std::int32_t pest_id;
    DatTextRef path;
    bool is_folder;
};

// What each definition file gives.
struct DatPestTables {
    DatHashTable<DatPestRow> pests;  // key: pest id
    DatTextStore texts;
    std::size_t MemoryBytes() const { return pests.MemoryBytes() + texts.MemoryBytes(); }
};
struct DatSignatureTables {
    DatHashTable<DatSignatureRow> files;  // key: CRC-32 of a file's head
    DatHashTable<DatMemoryRow> memory;    // key: CRC-32 of a 4096-byte memory block
    std::size_t MemoryBytes() const { return files.MemoryBytes() + memory.MemoryBytes(); }
};
struct DatLocationTables {
    DatHashTable<DatKeyRow> keys;  // key: folded hash of key from its first backslash, and value
    DatHashTable<DatCookieRow> cookies;  // key: folded hash of the name
    DatHashTable<DatPathRow> paths;      // key: folded hash of the path from its first backslash
    DatKeyFilter path_filter;            // the keys of paths: every file a scan meets is looked up
    DatTextStore texts;
    std::size_t MemoryBytes() const {
        return keys.MemoryBytes() + cookies.MemoryBytes() + paths.MemoryBytes() +
               path_filter.MemoryBytes() + texts.MemoryBytes();
    }
};

// Building one file's tables from its decoded blocks, in file order (the
// payloads holding texts are kept by the tables). A malformed record gives
// an error text ("record 3 at offset 120: ...") and no tables. Running out of
// memory throws std::bad_alloc.
template <typename Tables>
struct DatBuildResult {
    std::shared_ptr<const Tables> tables;
    std::string error;
};

DatBuildResult<DatPestTables> BuildPestTables(std::vector<DecodedBlock> blocks);
DatBuildResult<DatSignatureTables> BuildSignatureTables(std::vector<DecodedBlock> blocks);
DatBuildResult<DatLocationTables> BuildLocationTables(std::vector<DecodedBlock> blocks,
                                                      const MultiByteText& mb);

// One complete definition set: what a load publishes. Immutable; shared by
// the database and every cursor that walks it.
class DatTables {
  public:
    // Missing parts count as empty tables.
    DatTables(std::shared_ptr<const DatPestTables> pests,
              std::shared_ptr<const DatSignatureTables> signatures,
              std::shared_ptr<const DatLocationTables> locations, const MultiByteText& mb);

    const std::shared_ptr<const DatPestTables>& pest_tables() const { return pests_; }
    const std::shared_ptr<const DatSignatureTables>& signature_tables() const {
        return signatures_;
    }
    const std::shared_ptr<const DatLocationTables>& location_tables() const { return locations_; }
    const MultiByteText& text() const { return mb_; }

    // The pest with this id (the first of its bucket).
    std::optional<DatPestView> FindPest(std::int32_t pest_id) const;
    // What an entry loaded for pest_id reports: the pest, or the bare id.
    DatPestView PestOf(std::int32_t pest_id) const;

    // Every file signature with this head CRC, in chain order.
    std::vector<DatSignatureEntry> FindFileSignatures(std::uint32_t crc) const;
    // The pest of the first candidate with this head CRC that matches: a
    // candidate with an all-zero MD5 at once, one with an MD5 when the file's
    // MD5 (asked of md5 at most once) equals it; a malformed one never.
    std::optional<DatPestView> MatchFileSignature(std::uint32_t head_crc,
                                                  const Md5Supplier& md5) const;
    std::optional<DatPestView> FindPestByMemoryCrc(std::uint32_t crc) const;
    // The first cookie entry whose name equals name ignoring case.
    std::optional<DatPestView> FindCookie(std::string_view name) const;
    // The first file or folder entry whose path equals path ignoring case;
    // path is in macro form already (CDatDatabase::FindPathLocation rewrites
    // a real path). A path without a backslash finds nothing.
    std::optional<DatPestView> FindPathLocation(std::string_view macro_path) const;
    // The first registry entry whose key and value equal these ignoring case.
    std::optional<DatKeyLocation> FindKeyLocation(std::string_view key,
                                                  std::string_view value) const;

    // Entry copies by storage index (the cursors' view).
    std::size_t PestCount() const;
    std::size_t CookieCount() const;
    std::size_t KeyCount() const;
    std::size_t PathCount() const;
    DatPestEntry PestAt(std::size_t index) const;
    DatCookieEntry CookieAt(std::size_t index) const;
    DatKeyLocation KeyAt(std::size_t index) const;
    DatPathLocation PathAt(std::size_t index) const;

    // Bytes held by the tables and their texts.
    std::size_t MemoryBytes() const;

  private:
    std::shared_ptr<const DatPestTables> pests_;
    std::shared_ptr<const DatSignatureTables> signatures_;
    std::shared_ptr<const DatLocationTables> locations_;
    MultiByteText mb_;
};

// The hash key of a registry entry: the folded hash of key from its first
// backslash, continued over the whole value when there is one. Nullopt for a
// key without a backslash (such an entry is not stored).
std::optional<std::uint32_t> DatKeyLocationHash(std::string_view key, std::string_view value,
                                                const MultiByteText& mb);
// The hash key of a file or folder path: from its first backslash; nullopt
// without one.
std::optional<std::uint32_t> DatPathHash(std::string_view path, const MultiByteText& mb);
// The hash key of a cookie name.
std::uint32_t DatCookieHash(std::string_view name, const MultiByteText& mb);

}  // namespace olvex
