#include "olvex/core/dat_tables.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "olvex/core/definition_records.h"
#include "olvex/core/run_together.h"

namespace olvex {
namespace {

constexpr std::uint32_t kHashMask = 0x7FFFFFFFu;

// Longer chains than this on average, and a table gets one bucket per entry
// instead of the count the definitions imply (a small base block followed by
// large deltas would otherwise put everything in a few buckets).
constexpr std::uint64_t kMaxAverageChain = 4;

inline std::uint32_t HashStep(std::uint32_t h, std::size_t position, unsigned char byte) {
    // The byte counts sign-extended: 0x80 to 0xFF are negative.
    const auto c =
        static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(byte)));
    if (position % 2 == 0)
        return h ^ ((h << 7) ^ (h >> 3) ^ c);
    return h ^ ~((h << 11) ^ (h >> 5) ^ c);
}

inline unsigned char FoldAscii(unsigned char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// The pest id a removal record names: the negation of its id, computed
// without overflow (the most negative id names no pest there can be).
std::int32_t RemovedPestId(std::int32_t id) {
    return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(id));
}

std::uint32_t BucketCount(std::int64_t implied, std::uint64_t additions) {
    std::uint64_t buckets = implied > 0 ? static_cast<std::uint64_t>(implied) : 1;
    if (additions > kMaxAverageChain * buckets)
        buckets = additions;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(buckets, std::numeric_limits<std::uint32_t>::max() - 1));
}

std::int32_t RecordCount(const DecodedBlock& block) {
    return static_cast<std::int32_t>(block.record_count);
}

// The additions and removals bound for one table, in the order they apply,
// then the table they make. The chained layout's rules (an addition goes
// into an empty bucket's head or right behind the head; a removal takes the
// first equal entry in chain order, the next node becoming head when it is
// the head) are played bucket by bucket, after the operations are sorted by
// bucket: every bucket's chain is short and its operations lie together.
template <typename Row>
class TableOps {
  public:
    void Reserve(std::size_t count) {
        rows_.reserve(count);
        adds_.reserve(count);
    }
    void Add(const Row& row) {
        rows_.push_back(row);
        adds_.push_back(true);
        ++additions_;
    }
    void Remove(const Row& row) {
        rows_.push_back(row);
        adds_.push_back(false);
        ++removals_;
    }
    std::uint64_t additions() const { return additions_; }
    std::uint64_t removals() const { return removals_; }

    // key(row) gives a row's hash key; same(a, b) tells whether a removal b
    // takes entry a. With removals_last, every addition applies before any
    // removal; otherwise all apply in the order given.
    template <typename Key, typename Same>
    DatHashTable<Row> Build(std::uint32_t buckets, bool removals_last, Key&& key, Same&& same) {
        DatHashTable<Row> table;
        buckets = std::max(buckets, 1u);
        // Counting sort by bucket, stable.
        std::vector<std::uint32_t> next(buckets + 1, 0);
        for (const Row& row : rows_)
            ++next[key(row) % buckets + 1];
        for (std::uint32_t b = 0; b < buckets; ++b)
            next[b + 1] += next[b];
        std::vector<std::uint32_t> start = next;
        table.rows.resize(rows_.size());
        std::vector<bool> adds(rows_.size());
        const auto place = [&](bool additions) {
            for (std::size_t i = 0; i < rows_.size(); ++i) {
                if (removals_last && adds_[i] != additions)
                    continue;
                const std::uint32_t at = next[key(rows_[i]) % buckets]++;
                table.rows[at] = rows_[i];
                adds[at] = adds_[i];
            }
        };
        place(true);
        if (removals_last)
            place(false);
        rows_ = {};
        adds_ = {};

        // Each bucket's chain, written back in place from the front.
        table.bucket_start.assign(buckets + 1, 0);
        std::vector<Row> chain;
        std::size_t write = 0;
        for (std::uint32_t b = 0; b < buckets; ++b) {
            const std::size_t begin = start[b];
            const std::size_t end = start[b + 1];
            table.bucket_start[b] = static_cast<std::uint32_t>(write);
            if (begin == end)
                continue;
            const bool only_adds = std::all_of(adds.begin() + static_cast<std::ptrdiff_t>(begin),
                                               adds.begin() + static_cast<std::ptrdiff_t>(end),
                                               [](bool a) { return a; });
            const auto first = table.rows.begin();
            if (only_adds) {
                // The first stays the head; the others follow, newest first.
                std::reverse(first + static_cast<std::ptrdiff_t>(begin + 1),
                             first + static_cast<std::ptrdiff_t>(end));
                std::copy(first + static_cast<std::ptrdiff_t>(begin),
                          first + static_cast<std::ptrdiff_t>(end),
                          first + static_cast<std::ptrdiff_t>(write));
                write += end - begin;
                continue;
            }
            chain.clear();
            for (std::size_t i = begin; i < end; ++i) {
                const Row& row = table.rows[i];
                if (adds[i]) {
                    chain.insert(chain.empty() ? chain.end() : chain.begin() + 1, row);
                    continue;
                }
                const auto gone = std::find_if(chain.begin(), chain.end(),
                                               [&](const Row& entry) { return same(entry, row); });
                if (gone != chain.end())
                    chain.erase(gone);
            }
            std::copy(chain.begin(), chain.end(), first + static_cast<std::ptrdiff_t>(write));
            write += chain.size();
        }
        table.bucket_start[buckets] = static_cast<std::uint32_t>(write);
        table.rows.resize(write);
        return table;
    }

  private:
    std::vector<Row> rows_;
    std::vector<bool> adds_;
    std::uint64_t additions_ = 0;
    std::uint64_t removals_ = 0;
};

// Reads every record of every block; on the first malformed one, its error.
template <typename Reader, typename Visit>
std::string VisitRecords(const std::vector<DecodedBlock>& blocks, Visit&& visit) {
    for (const DecodedBlock& block : blocks) {
        Reader reader(block.data, RecordCount(block));
        while (const auto record = reader.Next())
            visit(*record);
        if (!reader.error().empty())
            return reader.error();
    }
    return {};
}

template <typename Row>
const Row* FirstInBucket(const DatHashTable<Row>& table, std::uint32_t key, auto&& matches) {
    for (const Row& row : table.Bucket(key)) {
        if (matches(row))
            return &row;
    }
    return nullptr;
}

}  // namespace

std::uint32_t DatStringHashContinue(std::uint32_t h, std::string_view text, std::size_t start) {
    for (std::size_t i = start; i < text.size(); ++i)
        h = HashStep(h, i, static_cast<unsigned char>(text[i]));
    return h;
}

std::uint32_t DatStringHash(std::string_view text, std::size_t start) {
    return DatStringHashContinue(0, text, start) & kHashMask;
}

std::uint32_t DatFoldedStringHashContinue(std::uint32_t h, std::string_view text, std::size_t start,
                                          const MultiByteText& mb) {
    // Fold as Lower does: whole characters from the start of the text, so a
    // trail byte that looks like a letter stays as it is.
    bool trail = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        bool folded_char = false;
        if (trail) {
            trail = false;
        } else if (mb.IsLeadByte(byte) && i + 1 < text.size()) {
            trail = true;
        } else {
            folded_char = true;
        }
        if (folded_char)
            byte = FoldAscii(byte);
        if (i >= start)
            h = HashStep(h, i, byte);
    }
    return h;
}

bool DatTextEqualsFolded(std::string_view a, std::string_view b, const MultiByteText& mb) {
    if (a.size() != b.size())
        return false;
    bool trail = false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        // Lead bytes are never ASCII letters, so both texts agree on where
        // their characters start as long as they compare equal.
        if (trail) {
            trail = false;
            if (x != y)
                return false;
        } else if (mb.IsLeadByte(x) && i + 1 < a.size()) {
            trail = true;
            if (x != y)
                return false;
        } else if (FoldAscii(x) != FoldAscii(y)) {
            return false;
        }
    }
    return true;
}

std::optional<std::uint32_t> DatKeyLocationHash(std::string_view key, std::string_view value,
                                                const MultiByteText& mb) {
    const std::size_t slash = mb.Find(key, '\\');
    if (slash == std::string_view::npos)
        return std::nullopt;
    std::uint32_t h = DatFoldedStringHashContinue(0, key, slash, mb);
    if (!value.empty())
        h = DatFoldedStringHashContinue(h, value, 0, mb);
    return h & kHashMask;
}

std::optional<std::uint32_t> DatPathHash(std::string_view path, const MultiByteText& mb) {
    const std::size_t slash = mb.Find(path, '\\');
    if (slash == std::string_view::npos)
        return std::nullopt;
    return DatFoldedStringHashContinue(0, path, slash, mb) & kHashMask;
}

std::uint32_t DatCookieHash(std::string_view name, const MultiByteText& mb) {
    return DatFoldedStringHashContinue(0, name, 0, mb) & kHashMask;
}

std::span<const std::uint8_t> DatTextStore::Keep(ByteBuffer payload) {
    if (payload.size() > std::numeric_limits<std::uint32_t>::max() - total_)
        throw std::length_error("definition texts exceed 4 GiB");
    bases_.push_back(total_);
    total_ += payload.size();
    payloads_.push_back(std::move(payload));
    return payloads_.back();
}

DatTextRef DatTextStore::Ref(std::string_view text) const {
    if (text.empty())
        return {};
    const auto& payload = payloads_.back();
    const auto offset = static_cast<std::uint64_t>(
        reinterpret_cast<const std::uint8_t*>(text.data()) - payload.data());
    return {static_cast<std::uint32_t>(bases_.back() + offset),
            static_cast<std::uint32_t>(text.size())};
}

std::string_view DatTextStore::View(DatTextRef ref) const {
    if (ref.length == 0)
        return {};
    // Most texts sit in the base block; the others in one of a few deltas.
    std::size_t block = 0;
    if (payloads_.size() > 1 && ref.offset >= bases_[1]) {
        block = static_cast<std::size_t>(
            std::upper_bound(bases_.begin(), bases_.end(), std::uint64_t{ref.offset}) -
            bases_.begin() - 1);
    }
    const auto* data = payloads_[block].data() + (ref.offset - bases_[block]);
    return {reinterpret_cast<const char*>(data), ref.length};
}

std::size_t DatTextStore::MemoryBytes() const {
    std::size_t bytes = payloads_.capacity() * sizeof(payloads_[0]);
    for (const auto& payload : payloads_)
        bytes += payload.capacity();
    return bytes;
}

// --- Building ------------------------------------------------------------

DatBuildResult<DatPestTables> BuildPestTables(std::vector<DecodedBlock> blocks) {
    DatBuildResult<DatPestTables> result;
    std::size_t records = 0;
    result.error =
        VisitRecords<PestRecordReader>(blocks, [&](const PestInfoRecordView&) { ++records; });
    if (!result.error.empty())
        return result;

    auto tables = std::make_shared<DatPestTables>();
    TableOps<DatPestRow> ops;
    ops.Reserve(records);
    for (DecodedBlock& block : blocks) {
        // The records' texts stay in the payload, which the tables keep.
        const auto payload = tables->texts.Keep(std::move(block.data));
        PestRecordReader reader(payload, RecordCount(block));
        while (const auto record = reader.Next()) {
            const bool adds = record->pest_id > 0;
            const DatPestRow row{adds ? record->pest_id : RemovedPestId(record->pest_id),
                                 tables->texts.Ref(record->name),
                                 tables->texts.Ref(record->category)};
            adds ? ops.Add(row) : ops.Remove(row);
        }
    }
    // Sized by the first block's record count, as the definitions expect;
    // additions and removals apply in record order.
    const std::int64_t implied = blocks.empty() ? 0 : RecordCount(blocks.front());
    const DatTextStore& texts = tables->texts;
    tables->pests = ops.Build(
        BucketCount(implied, ops.additions()), false,
        [](const DatPestRow& row) { return static_cast<std::uint32_t>(row.pest_id); },
        [&](const DatPestRow& entry, const DatPestRow& removal) {
            return entry.pest_id == removal.pest_id &&
                   texts.View(entry.name) == texts.View(removal.name) &&
                   texts.View(entry.category) == texts.View(removal.category);
        });
    result.tables = std::move(tables);
    return result;
}

DatBuildResult<DatSignatureTables> BuildSignatureTables(std::vector<DecodedBlock> blocks) {
    DatBuildResult<DatSignatureTables> result;
    std::size_t file_records = 0;
    std::size_t memory_records = 0;
    result.error =
        VisitRecords<SignatureRecordReader>(blocks, [&](const SignatureRecordView& record) {
            file_records += record.file_crc != 0;
            memory_records += record.memory_crc != 0;
        });
    if (!result.error.empty())
        return result;

    TableOps<DatSignatureRow> files;
    TableOps<DatMemoryRow> memory;
    files.Reserve(file_records);
    memory.Reserve(memory_records);
    VisitRecords<SignatureRecordReader>(blocks, [&](const SignatureRecordView& record) {
        const bool adds = record.pest_id > 0;
        const std::int32_t pest = adds ? record.pest_id : RemovedPestId(record.pest_id);
        if (record.file_crc != 0) {
            const DatSignatureRow row{record.file_crc, pest, record.md5, record.md5_malformed};
            adds ? files.Add(row) : files.Remove(row);
        }
        if (record.memory_crc != 0) {
            const DatMemoryRow row{record.memory_crc, pest};
            adds ? memory.Add(row) : memory.Remove(row);
        }
    });
    // The file table is sized by the first block's record count, the memory
    // table by half of it; additions and removals apply in record order.
    const std::int64_t implied = blocks.empty() ? 0 : RecordCount(blocks.front());
    blocks = {};
    auto tables = std::make_shared<DatSignatureTables>();
    RunTogether({
        [&] {
            tables->files = files.Build(
                BucketCount(implied, files.additions()), false,
                [](const DatSignatureRow& row) { return row.crc; },
                [](const DatSignatureRow& entry, const DatSignatureRow& removal) {
                    return entry.crc == removal.crc && entry.pest_id == removal.pest_id &&
                           entry.md5 == removal.md5 && entry.md5_malformed == removal.md5_malformed;
                });
        },
        [&] {
            tables->memory = memory.Build(
                BucketCount(implied / 2, memory.additions()), false,
                [](const DatMemoryRow& row) { return row.crc; },
                [](const DatMemoryRow& entry, const DatMemoryRow& removal) {
                    return entry.crc == removal.crc && entry.pest_id == removal.pest_id;
                });
        },
    });
    result.tables = std::move(tables);
    return result;
}

namespace {

enum class EntryTable { kNone, kKeys, kCookies, kPaths };

EntryTable TableOf(LocationKind kind) {
    switch (kind) {
        case LocationKind::kKey:
            return EntryTable::kKeys;
        case LocationKind::kCookie:
            return EntryTable::kCookies;
        case LocationKind::kFile:
        case LocationKind::kFolder:
            return EntryTable::kPaths;
        default:
            // "exclude" entries and unknown kinds never reach a table.
            return EntryTable::kNone;
    }
}

}  // namespace

DatBuildResult<DatLocationTables> BuildLocationTables(std::vector<DecodedBlock> blocks,
                                                      const MultiByteText& mb) {
    DatBuildResult<DatLocationTables> result;
    std::size_t counts[4] = {};
    result.error =
        VisitRecords<LocationRecordReader>(blocks, [&](const LocationRecordView& record) {
            ++counts[static_cast<int>(TableOf(LocationKindOf(record.text)))];
        });
    if (!result.error.empty())
        return result;

    auto tables = std::make_shared<DatLocationTables>();
    TableOps<DatKeyRow> keys;
    TableOps<DatCookieRow> cookies;
    TableOps<DatPathRow> paths;
    keys.Reserve(counts[static_cast<int>(EntryTable::kKeys)]);
    cookies.Reserve(counts[static_cast<int>(EntryTable::kCookies)]);
    paths.Reserve(counts[static_cast<int>(EntryTable::kPaths)]);
    DatTextStore& texts = tables->texts;
    for (DecodedBlock& block : blocks) {
        const auto payload = texts.Keep(std::move(block.data));
        LocationRecordReader reader(payload, RecordCount(block));
        while (const auto record = reader.Next()) {
            const bool adds = record->pest_id > 0;
            const std::int32_t pest = adds ? record->pest_id : RemovedPestId(record->pest_id);
            const LocationKind kind = LocationKindOf(record->text);
            switch (TableOf(kind)) {
                case EntryTable::kKeys: {
                    // A key without a backslash is not stored.
                    const KeyEntryView entry = ParseKeyEntryView(record->text);
                    if (const auto hash = DatKeyLocationHash(entry.key, entry.value, mb)) {
                        const DatKeyRow row{*hash, pest, texts.Ref(entry.key),
                                            texts.Ref(entry.value), texts.Ref(entry.data)};
                        adds ? keys.Add(row) : keys.Remove(row);
                    }
                    break;
                }
                case EntryTable::kCookies: {
                    const std::string_view name = ParseQuotedEntryView(record->text);
                    const DatCookieRow row{DatCookieHash(name, mb), pest, texts.Ref(name)};
                    adds ? cookies.Add(row) : cookies.Remove(row);
                    break;
                }
                case EntryTable::kPaths: {
                    // Nor is a path without one.
                    const std::string_view path = ParseQuotedEntryView(record->text);
                    if (const auto hash = DatPathHash(path, mb)) {
                        const DatPathRow row{*hash, pest, texts.Ref(path),
                                             kind == LocationKind::kFolder};
                        adds ? paths.Add(row) : paths.Remove(row);
                    }
                    break;
                }
                case EntryTable::kNone:
                    break;
            }
        }
    }

    // Each table is sized by its net count. Every addition of every block
    // goes in before any removal.
    const auto buckets = [](const auto& ops) {
        return BucketCount(
            static_cast<std::int64_t>(ops.additions()) - static_cast<std::int64_t>(ops.removals()),
            ops.additions());
    };
    const auto same = [&](DatTextRef a, DatTextRef b) { return texts.View(a) == texts.View(b); };
    RunTogether({
        [&] {
            tables->keys = keys.Build(
                buckets(keys), true, [](const DatKeyRow& row) { return row.hash; },
                [&](const DatKeyRow& entry, const DatKeyRow& removal) {
                    return entry.pest_id == removal.pest_id && same(entry.key, removal.key) &&
                           same(entry.value, removal.value) && same(entry.data, removal.data);
                });
        },
        [&] {
            tables->cookies = cookies.Build(
                buckets(cookies), true, [](const DatCookieRow& row) { return row.hash; },
                [&](const DatCookieRow& entry, const DatCookieRow& removal) {
                    return entry.pest_id == removal.pest_id && same(entry.name, removal.name);
                });
        },
        [&] {
            tables->paths = paths.Build(
                buckets(paths), true, [](const DatPathRow& row) { return row.hash; },
                [&](const DatPathRow& entry, const DatPathRow& removal) {
                    return entry.pest_id == removal.pest_id && same(entry.path, removal.path);
                });
        },
    });
    result.tables = std::move(tables);
    return result;
}

// --- Lookups -------------------------------------------------------------

DatTables::DatTables(std::shared_ptr<const DatPestTables> pests,
                     std::shared_ptr<const DatSignatureTables> signatures,
                     std::shared_ptr<const DatLocationTables> locations, const MultiByteText& mb)
    : pests_(pests ? std::move(pests) : std::make_shared<const DatPestTables>()),
      signatures_(signatures ? std::move(signatures)
                             : std::make_shared<const DatSignatureTables>()),
      locations_(locations ? std::move(locations) : std::make_shared<const DatLocationTables>()),
      mb_(mb) {}

std::optional<DatPestView> DatTables::FindPest(std::int32_t pest_id) const {
    const DatPestRow* row =
        FirstInBucket(pests_->pests, static_cast<std::uint32_t>(pest_id),
                      [&](const DatPestRow& r) { return r.pest_id == pest_id; });
    if (!row)
        return std::nullopt;
    return DatPestView{row->pest_id, pests_->texts.View(row->name),
                       pests_->texts.View(row->category)};
}

DatPestView DatTables::PestOf(std::int32_t pest_id) const {
    if (auto pest = FindPest(pest_id))
        return *pest;
    return DatPestView{pest_id, {}, {}};
}

std::vector<DatSignatureEntry> DatTables::FindFileSignatures(std::uint32_t crc) const {
    std::vector<DatSignatureEntry> found;
    for (const DatSignatureRow& row : signatures_->files.Bucket(crc)) {
        if (row.crc == crc)
            found.push_back({row.crc, row.md5, row.md5_malformed, row.pest_id});
    }
    return found;
}

std::optional<DatPestView> DatTables::MatchFileSignature(std::uint32_t head_crc,
                                                         const Md5Supplier& md5) const {
    static constexpr Md5Digest kNoMd5{};
    std::optional<std::optional<Md5Digest>> file_md5;  // asked for once, when first needed
    for (const DatSignatureRow& row : signatures_->files.Bucket(head_crc)) {
        if (row.crc != head_crc || row.md5_malformed)
            continue;
        if (row.md5 == kNoMd5)
            return PestOf(row.pest_id);
        if (!file_md5)
            file_md5 = md5 ? md5() : std::nullopt;
        if (*file_md5 && **file_md5 == row.md5)
            return PestOf(row.pest_id);
    }
    return std::nullopt;
}

std::optional<DatPestView> DatTables::FindPestByMemoryCrc(std::uint32_t crc) const {
    const DatMemoryRow* row = FirstInBucket(signatures_->memory, crc,
                                            [&](const DatMemoryRow& r) { return r.crc == crc; });
    if (!row)
        return std::nullopt;
    return PestOf(row->pest_id);
}

std::optional<DatPestView> DatTables::FindCookie(std::string_view name) const {
    const std::uint32_t hash = DatCookieHash(name, mb_);
    const DatCookieRow* row = FirstInBucket(locations_->cookies, hash, [&](const DatCookieRow& r) {
        return r.hash == hash && DatTextEqualsFolded(locations_->texts.View(r.name), name, mb_);
    });
    if (!row)
        return std::nullopt;
    return PestOf(row->pest_id);
}

std::optional<DatPestView> DatTables::FindPathLocation(std::string_view macro_path) const {
    const auto hash = DatPathHash(macro_path, mb_);
    if (!hash)
        return std::nullopt;
    const DatPathRow* row = FirstInBucket(locations_->paths, *hash, [&](const DatPathRow& r) {
        return r.hash == *hash && r.path.length == macro_path.size() &&
               DatTextEqualsFolded(locations_->texts.View(r.path), macro_path, mb_);
    });
    if (!row)
        return std::nullopt;
    return PestOf(row->pest_id);
}

std::optional<DatKeyLocation> DatTables::FindKeyLocation(std::string_view key,
                                                         std::string_view value) const {
    const auto hash = DatKeyLocationHash(key, value, mb_);
    if (!hash)
        return std::nullopt;
    const auto& texts = locations_->texts;
    const DatKeyRow* row = FirstInBucket(locations_->keys, *hash, [&](const DatKeyRow& r) {
        return r.hash == *hash && r.key.length == key.size() && r.value.length == value.size() &&
               DatTextEqualsFolded(texts.View(r.key), key, mb_) &&
               DatTextEqualsFolded(texts.View(r.value), value, mb_);
    });
    if (!row)
        return std::nullopt;
    return DatKeyLocation{std::string(texts.View(row->key)), std::string(texts.View(row->value)),
                          std::string(texts.View(row->data)), row->pest_id};
}

std::size_t DatTables::PestCount() const {
    return pests_->pests.rows.size();
}
std::size_t DatTables::CookieCount() const {
    return locations_->cookies.rows.size();
}
std::size_t DatTables::KeyCount() const {
    return locations_->keys.rows.size();
}
std::size_t DatTables::PathCount() const {
    return locations_->paths.rows.size();
}

DatPestEntry DatTables::PestAt(std::size_t index) const {
    const DatPestRow& row = pests_->pests.rows.at(index);
    return {row.pest_id, std::string(pests_->texts.View(row.name)),
            std::string(pests_->texts.View(row.category))};
}

DatCookieEntry DatTables::CookieAt(std::size_t index) const {
    const DatCookieRow& row = locations_->cookies.rows.at(index);
    return {std::string(locations_->texts.View(row.name)), row.pest_id};
}

DatKeyLocation DatTables::KeyAt(std::size_t index) const {
    const DatKeyRow& row = locations_->keys.rows.at(index);
    const auto& texts = locations_->texts;
    return {std::string(texts.View(row.key)), std::string(texts.View(row.value)),
            std::string(texts.View(row.data)), row.pest_id};
}

DatPathLocation DatTables::PathAt(std::size_t index) const {
    const DatPathRow& row = locations_->paths.rows.at(index);
    return {std::string(locations_->texts.View(row.path)), row.pest_id, row.is_folder};
}

std::size_t DatTables::MemoryBytes() const {
    return pests_->MemoryBytes() + signatures_->MemoryBytes() + locations_->MemoryBytes();
}

}  // namespace olvex
