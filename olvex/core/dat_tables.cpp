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

// Asks for the cache line at p ahead of a store to it: a hint, skipped by
// compilers that do not take it.
inline void PrefetchForWrite(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p, 1);
#else
    (void)p;
#endif
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

// One table built in place. The operations bound for it (additions and
// removals, in the order they apply) are noted first by their hash keys
// alone; once all are known, the table gets its final size and every
// addition is written once, straight to its bucket, in the same order. The
// chained layout's rules (an addition goes into an empty bucket's head or
// right behind the head; a removal takes the first equal entry in chain
// order, the next node becoming head when it is the head) are then played
// bucket by bucket: every chain is short, and only buckets that removals
// touch need more than turning their additions round.
template <typename Row>
class TableBuilder {
  public:
    // max_operations bounds the operations to be noted: room is set aside
    // for their keys, but only what is noted is ever touched.
    explicit TableBuilder(std::size_t max_operations) {
        keys_.reserve(max_operations);
        adds_.reserve(max_operations);
    }

    void NoteAdd(std::uint32_t key) {
        keys_.push_back(key);
        adds_.push_back(true);
        ++additions_;
    }
    void NoteRemove(std::uint32_t key) {
        keys_.push_back(key);
        adds_.push_back(false);
        ++removals_;
    }
    std::uint64_t additions() const { return additions_; }
    std::uint64_t removals() const { return removals_; }

    // Sizes the table once every operation is noted: its rows hold exactly
    // the additions, and each bucket's start is known.
    void Size(std::uint32_t buckets) {
        buckets_ = std::max(buckets, 1u);
        table_.rows.resize(additions_);  // left unfilled: every row is written below
        table_.bucket_start.assign(std::size_t{buckets_} + 1, 0);
        std::vector<std::uint32_t>& start = table_.bucket_start;
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (adds_[i])
                ++start[keys_[i] % buckets_ + 1];
        }
        for (std::uint32_t b = 0; b < buckets_; ++b)
            start[b + 1] += start[b];
        // From here on each start is the bucket's next free row; Finish puts
        // them back.
        removal_list_.reserve(removals_);
    }

    // The operations again, in the order noted, each with its row (the
    // noting decided which adds and which removes).
    void Add(const Row& row) { Queue(row); }
    void Remove(const Row& row) { Queue(row); }

    // same(entry, removal) tells whether a removal takes the entry. With
    // removals_last, every addition applies before any removal.
    template <typename Same>
    DatHashTable<Row> Finish(bool removals_last, Same&& same) {
        Place();
        keys_ = {};
        adds_ = {};
        std::vector<std::uint32_t>& start = table_.bucket_start;
        // Each start moved on to the next bucket's: shift them back.
        std::copy_backward(start.begin(), start.end() - 1, start.end());
        start[0] = 0;
        std::stable_sort(removal_list_.begin(), removal_list_.end(),
                         [](const Removal& x, const Removal& y) { return x.bucket < y.bucket; });

        auto rows = table_.rows.begin();
        auto removal = removal_list_.begin();
        std::vector<Row> chain;
        std::uint32_t write = 0;
        for (std::uint32_t b = 0; b < buckets_; ++b) {
            const std::uint32_t begin = start[b];
            const std::uint32_t end = start[b + 1];
            start[b] = write;
            if (removal == removal_list_.end() || removal->bucket != b) {
                // Additions only: the first stays the head, the others
                // follow, newest first.
                if (end - begin > 2)
                    std::reverse(rows + begin + 1, rows + end);
                if (write != begin)
                    std::copy(rows + begin, rows + end, rows + write);
                write += end - begin;
                continue;
            }
            chain.clear();
            std::uint32_t added = begin;
            const auto add_until = [&](std::uint32_t until) {
                for (; added < until; ++added)
                    chain.insert(chain.empty() ? chain.end() : chain.begin() + 1, rows[added]);
            };
            for (; removal != removal_list_.end() && removal->bucket == b; ++removal) {
                add_until(removals_last ? end : removal->after);
                const auto gone = std::find_if(chain.begin(), chain.end(), [&](const Row& entry) {
                    return same(entry, removal->row);
                });
                if (gone != chain.end())
                    chain.erase(gone);
            }
            add_until(end);
            std::copy(chain.begin(), chain.end(), rows + write);
            write += static_cast<std::uint32_t>(chain.size());
        }
        start[buckets_] = write;
        table_.rows.resize(write);
        removal_list_ = {};
        return std::move(table_);
    }

  private:
    struct Removal {
        std::uint32_t bucket;
        std::uint32_t after;  // the bucket's additions before it, as a row index
        Row row;
    };

    // Rows wait in a small batch that stays in the cache and are placed a
    // batch at a time. Each placement is a store to a row of its bucket,
    // scattered over a table far larger than the caches; placed in a tight
    // loop of their own those stores overlap, where placed between reading
    // one record and the next they stall the reading (the walk over a
    // million signatures took half as long again, over the locations twice
    // as long).
    static constexpr std::size_t kBatchRows = 512;

    void Queue(const Row& row) {
        batch_[batched_++] = row;
        if (batched_ == kBatchRows)
            Place();
    }

    // A row that keeps its key (a `hash` member) gets the one noted.
    void Place() {
        // The batch's buckets first, each bucket's next free row number
        // asked for from memory meanwhile.
        for (std::size_t i = 0; i < batched_; ++i) {
            buckets_of_batch_[i] = keys_[next_ + i] % buckets_;
            PrefetchForWrite(&table_.bucket_start[buckets_of_batch_[i]]);
        }
        for (std::size_t i = 0; i < batched_; ++i) {
            Row row = batch_[i];
            const std::size_t op = next_++;
            if constexpr (requires { row.hash; })
                row.hash = keys_[op];
            const std::uint32_t bucket = buckets_of_batch_[i];
            if (adds_[op]) {
                table_.rows[table_.bucket_start[bucket]++] = row;
            } else {
                // Where the bucket's additions stood when it came: it takes
                // effect after those before it.
                removal_list_.push_back({bucket, table_.bucket_start[bucket], row});
            }
        }
        batched_ = 0;
    }

    std::vector<std::uint32_t, DefaultInitAllocator<std::uint32_t>> keys_;
    std::vector<bool> adds_;
    std::uint64_t additions_ = 0;
    std::uint64_t removals_ = 0;
    std::uint32_t buckets_ = 1;
    std::size_t next_ = 0;
    // Left unfilled: only what is queued is read.
    std::array<Row, kBatchRows> batch_;
    std::array<std::uint32_t, kBatchRows> buckets_of_batch_;
    std::size_t batched_ = 0;
    DatHashTable<Row> table_;
    std::vector<Removal> removal_list_;
};

// Reads every record of every block, the block's index beside it; on the
// first malformed one, its error.
template <typename Reader, typename Visit>
std::string VisitRecords(const std::vector<DecodedBlock>& blocks, Visit&& visit) {
    for (std::size_t index = 0; index < blocks.size(); ++index) {
        const DecodedBlock& block = blocks[index];
        Reader reader(block.data, RecordCount(block));
        while (const auto record = reader.Next())
            visit(index, *record);
        if (!reader.error().empty())
            return reader.error();
    }
    return {};
}

// Below this many records a set builds its tables one after another: a thread
// costs more than the work it would take.
constexpr std::size_t kRecordsWorthAThread = 50'000;

// The jobs side by side when together, else one after another.
void RunJobs(bool together, std::initializer_list<std::function<void()>> jobs) {
    if (together) {
        RunTogether(jobs);
        return;
    }
    for (const auto& job : jobs)
        job();
}

// The most records the blocks can hold, each at least min_bytes long.
std::size_t MaxRecords(const std::vector<DecodedBlock>& blocks, std::size_t min_bytes) {
    std::size_t total = 0;
    for (const DecodedBlock& block : blocks) {
        const auto count = static_cast<std::size_t>(std::max(RecordCount(block), 0));
        total += std::min(count, block.data.size() / min_bytes);
    }
    return total;
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
    if (!mb.HasLeadBytes()) {
        // Two bytes a step, an even position then an odd one: no test of
        // the position's parity in the loop.
        std::size_t i = start;
        if (i % 2 == 1 && i < text.size()) {
            h = HashStep(h, i, FoldAscii(static_cast<unsigned char>(text[i])));
            ++i;
        }
        for (; i + 1 < text.size(); i += 2) {
            h = HashStep(h, 0, FoldAscii(static_cast<unsigned char>(text[i])));
            h = HashStep(h, 1, FoldAscii(static_cast<unsigned char>(text[i + 1])));
        }
        if (i < text.size())
            h = HashStep(h, i, FoldAscii(static_cast<unsigned char>(text[i])));
        return h;
    }
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
    if (!mb.HasLeadBytes()) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (FoldAscii(static_cast<unsigned char>(a[i])) !=
                FoldAscii(static_cast<unsigned char>(b[i])))
                return false;
        }
        return true;
    }
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

DatKeyFilter::DatKeyFilter(std::span<const std::uint32_t> keys) {
    // Eight bits a key: about one other key in nine finds its bit set.
    unsigned log2_bits = 6;
    while (log2_bits < 32 && (std::uint64_t{1} << log2_bits) < std::uint64_t{keys.size()} * 8)
        ++log2_bits;
    shift_ = 64 - log2_bits;
    bits_.assign(std::size_t{1} << (log2_bits - 6), 0);
    for (const std::uint32_t key : keys) {
        const std::uint32_t slot = Slot(key);
        bits_[slot / 64] |= std::uint64_t{1} << (slot % 64);
    }
}

std::span<const std::uint8_t> DatTextStore::Keep(ByteBuffer payload) {
    if (payload.size() > std::numeric_limits<std::uint32_t>::max() - total_)
        throw std::length_error("definition texts exceed 4 GiB");
    bases_.push_back(total_);
    total_ += payload.size();
    payloads_.push_back(std::move(payload));
    return payloads_.back();
}

DatTextRef DatTextStore::Ref(std::size_t payload, std::string_view text) const {
    if (text.empty())
        return {};
    const auto offset = static_cast<std::uint64_t>(
        reinterpret_cast<const std::uint8_t*>(text.data()) - payloads_[payload].data());
    return {static_cast<std::uint32_t>(bases_[payload] + offset),
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

namespace {

// Keeps every block's payload in the store (the records' texts stay where
// decoding put them) and hands back the blocks, their data now views.
void KeepPayloads(std::vector<DecodedBlock>& blocks, DatTextStore& texts) {
    for (DecodedBlock& block : blocks) {
        const auto kept = texts.Keep(std::move(block.data));
        block.data.clear();
        block.size = static_cast<std::uint32_t>(kept.size());
    }
}

}  // namespace

DatBuildResult<DatPestTables> BuildPestTables(std::vector<DecodedBlock> blocks) {
    DatBuildResult<DatPestTables> result;
    auto tables = std::make_shared<DatPestTables>();
    DatTextStore& texts = tables->texts;
    // Sized by the first block's record count, as the definitions expect;
    // additions and removals apply in record order.
    const std::int64_t implied = blocks.empty() ? 0 : RecordCount(blocks.front());
    TableBuilder<DatPestRow> pests(MaxRecords(blocks, kMinPestRecordBytes));
    KeepPayloads(blocks, texts);
    const auto visit = [&](auto&& each) {
        for (std::size_t index = 0; index < texts.PayloadCount(); ++index) {
            PestRecordReader reader(texts.Payload(index), RecordCount(blocks[index]));
            while (const auto record = reader.Next())
                each(index, *record);
            if (!reader.error().empty())
                return reader.error();
        }
        return std::string();
    };
    result.error = visit([&](std::size_t, const PestInfoRecordView& record) {
        const bool adds = record.pest_id > 0;
        const auto key =
            static_cast<std::uint32_t>(adds ? record.pest_id : RemovedPestId(record.pest_id));
        adds ? pests.NoteAdd(key) : pests.NoteRemove(key);
    });
    if (!result.error.empty())
        return result;
    pests.Size(BucketCount(implied, pests.additions()));
    visit([&](std::size_t index, const PestInfoRecordView& record) {
        const bool adds = record.pest_id > 0;
        const DatPestRow row{adds ? record.pest_id : RemovedPestId(record.pest_id),
                             texts.Ref(index, record.name), texts.Ref(index, record.category)};
        adds ? pests.Add(row) : pests.Remove(row);
    });
    tables->pests = pests.Finish(false, [&](const DatPestRow& entry, const DatPestRow& removal) {
        return entry.pest_id == removal.pest_id &&
               texts.View(entry.name) == texts.View(removal.name) &&
               texts.View(entry.category) == texts.View(removal.category);
    });
    result.tables = std::move(tables);
    return result;
}

namespace {

// Builds one of the signature tables from the records that carry its CRC.
template <typename Row, typename CrcOf, typename MakeRow, typename Same>
std::string BuildSignatureTable(const std::vector<DecodedBlock>& blocks, std::int64_t implied,
                                CrcOf&& crc_of, MakeRow&& make_row, Same&& same,
                                DatHashTable<Row>& out) {
    TableBuilder<Row> table(MaxRecords(blocks, kMinSignatureRecordBytes));
    std::string error =
        VisitRecords<SignatureRecordReader>(blocks, [&](std::size_t, const SignatureRecordView& r) {
            if (const std::uint32_t crc = crc_of(r); crc != 0)
                r.pest_id > 0 ? table.NoteAdd(crc) : table.NoteRemove(crc);
        });
    if (!error.empty())
        return error;
    table.Size(BucketCount(implied, table.additions()));
    VisitRecords<SignatureRecordReader>(blocks, [&](std::size_t, const SignatureRecordView& r) {
        if (crc_of(r) == 0)
            return;
        const bool adds = r.pest_id > 0;
        const Row row = make_row(r, adds ? r.pest_id : RemovedPestId(r.pest_id));
        adds ? table.Add(row) : table.Remove(row);
    });
    // Additions and removals apply in record order.
    out = table.Finish(false, same);
    return {};
}

}  // namespace

DatBuildResult<DatSignatureTables> BuildSignatureTables(std::vector<DecodedBlock> blocks) {
    DatBuildResult<DatSignatureTables> result;
    auto tables = std::make_shared<DatSignatureTables>();
    // The file table is sized by the first block's record count, the memory
    // table by half of it.
    const std::int64_t implied = blocks.empty() ? 0 : RecordCount(blocks.front());
    std::string errors[2];
    // The two tables are independent: each is built on a thread of its own.
    RunJobs(MaxRecords(blocks, kMinSignatureRecordBytes) >= kRecordsWorthAThread, {
        [&] {
            errors[0] = BuildSignatureTable(
                blocks, implied, [](const SignatureRecordView& r) { return r.file_crc; },
                [](const SignatureRecordView& r, std::int32_t pest) {
                    return DatSignatureRow{r.file_crc, pest, r.md5, r.md5_malformed};
                },
                [](const DatSignatureRow& entry, const DatSignatureRow& removal) {
                    return entry.crc == removal.crc && entry.pest_id == removal.pest_id &&
                           entry.md5 == removal.md5 && entry.md5_malformed == removal.md5_malformed;
                },
                tables->files);
        },
        [&] {
            errors[1] = BuildSignatureTable(
                blocks, implied / 2, [](const SignatureRecordView& r) { return r.memory_crc; },
                [](const SignatureRecordView& r, std::int32_t pest) {
                    return DatMemoryRow{r.memory_crc, pest};
                },
                [](const DatMemoryRow& entry, const DatMemoryRow& removal) {
                    return entry.crc == removal.crc && entry.pest_id == removal.pest_id;
                },
                tables->memory);
        },
    });
    for (std::string& error : errors) {
        if (!error.empty()) {
            result.error = std::move(error);
            return result;
        }
    }
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

// One "qzloc.dat" entry as its table keeps it: its texts and its hash key.
// Nullopt for an entry no table keeps: an "exclude", an unknown kind, and a
// key or path without a backslash.
struct LocationEntry {
    EntryTable table = EntryTable::kNone;
    std::uint32_t hash = 0;
    std::string_view first;   // key, cookie name or path
    std::string_view value;   // keys only
    std::string_view data;    // keys only
    bool is_folder = false;
};

std::optional<LocationEntry> ParseLocationEntry(std::string_view text, const MultiByteText& mb,
                                                bool with_hash) {
    LocationEntry entry;
    const LocationKind kind = LocationKindOf(text);
    entry.table = TableOf(kind);
    switch (entry.table) {
        case EntryTable::kKeys: {
            const KeyEntryView key = ParseKeyEntryView(text);
            if (mb.Find(key.key, '\\') == std::string_view::npos)
                return std::nullopt;
            if (with_hash)
                entry.hash = *DatKeyLocationHash(key.key, key.value, mb);
            entry.first = key.key;
            entry.value = key.value;
            entry.data = key.data;
            return entry;
        }
        case EntryTable::kCookies:
            entry.first = ParseQuotedEntryView(text);
            if (with_hash)
                entry.hash = DatCookieHash(entry.first, mb);
            return entry;
        case EntryTable::kPaths:
            entry.first = ParseQuotedEntryView(text);
            if (mb.Find(entry.first, '\\') == std::string_view::npos)
                return std::nullopt;
            if (with_hash)
                entry.hash = *DatPathHash(entry.first, mb);
            entry.is_folder = kind == LocationKind::kFolder;
            return entry;
        case EntryTable::kNone:
            break;
    }
    return std::nullopt;
}

}  // namespace

namespace {

// Builds one of the location tables: every record is walked twice, and only
// the entries of this table are parsed; their hash keys, the costly part,
// only in the first walk.
// checks: this build's first walk checks every record (one of the builds
// does; the others would only find the same faults).
template <typename Row, typename MakeRow, typename Same>
std::string BuildLocationTable(const std::vector<DecodedBlock>& blocks, const DatTextStore& texts,
                               const MultiByteText& mb, EntryTable wanted, std::size_t max_records,
                               bool checks, MakeRow&& make_row, Same&& same,
                               DatHashTable<Row>& out) {
    TableBuilder<Row> table(max_records);
    const auto visit = [&](bool with_hash, auto&& each) {
        for (std::size_t index = 0; index < texts.PayloadCount(); ++index) {
            LocationRecordReader reader(texts.Payload(index), RecordCount(blocks[index]),
                                        checks && with_hash);
            while (const auto record = reader.Next()) {
                if (TableOf(LocationKindOf(record->text)) != wanted)
                    continue;
                if (const auto entry = ParseLocationEntry(record->text, mb, with_hash))
                    each(index, record->pest_id, *entry);
            }
            if (!reader.error().empty())
                return reader.error();
        }
        return std::string();
    };
    std::string error =
        visit(true, [&](std::size_t, std::int32_t pest_id, const LocationEntry& entry) {
            pest_id > 0 ? table.NoteAdd(entry.hash) : table.NoteRemove(entry.hash);
        });
    if (!error.empty())
        return error;
    // Sized by its net count. Every addition of every block goes in before
    // any removal.
    table.Size(BucketCount(static_cast<std::int64_t>(table.additions()) -
                               static_cast<std::int64_t>(table.removals()),
                           table.additions()));
    visit(false, [&](std::size_t index, std::int32_t pest_id, const LocationEntry& entry) {
        const bool adds = pest_id > 0;
        const Row row = make_row(index, adds ? pest_id : RemovedPestId(pest_id), entry);
        adds ? table.Add(row) : table.Remove(row);
    });
    out = table.Finish(true, same);
    return {};
}

}  // namespace

DatBuildResult<DatLocationTables> BuildLocationTables(std::vector<DecodedBlock> blocks,
                                                      const MultiByteText& mb) {
    DatBuildResult<DatLocationTables> result;
    auto tables = std::make_shared<DatLocationTables>();
    const DatTextStore& texts = tables->texts;
    const std::size_t max_records = MaxRecords(blocks, kMinLocationRecordBytes);
    KeepPayloads(blocks, tables->texts);
    const auto same = [&](DatTextRef a, DatTextRef b) { return texts.View(a) == texts.View(b); };
    std::string errors[3];
    // The three tables are independent: each is built on a thread of its own.
    RunJobs(max_records >= kRecordsWorthAThread, {
        [&] {
            errors[0] = BuildLocationTable(
                blocks, texts, mb, EntryTable::kCookies, max_records, true,
                [&](std::size_t index, std::int32_t pest, const LocationEntry& entry) {
                    return DatCookieRow{0, pest, texts.Ref(index, entry.first)};
                },
                [&](const DatCookieRow& entry, const DatCookieRow& removal) {
                    return entry.pest_id == removal.pest_id && same(entry.name, removal.name);
                },
                tables->cookies);
        },
        [&] {
            errors[1] = BuildLocationTable(
                blocks, texts, mb, EntryTable::kKeys, max_records, false,
                [&](std::size_t index, std::int32_t pest, const LocationEntry& entry) {
                    return DatKeyRow{0, pest, texts.Ref(index, entry.first),
                                     texts.Ref(index, entry.value), texts.Ref(index, entry.data)};
                },
                [&](const DatKeyRow& entry, const DatKeyRow& removal) {
                    return entry.pest_id == removal.pest_id && same(entry.key, removal.key) &&
                           same(entry.value, removal.value) && same(entry.data, removal.data);
                },
                tables->keys);
        },
        [&] {
            errors[2] = BuildLocationTable(
                blocks, texts, mb, EntryTable::kPaths, max_records, false,
                [&](std::size_t index, std::int32_t pest, const LocationEntry& entry) {
                    return DatPathRow{0, pest, texts.Ref(index, entry.first), entry.is_folder};
                },
                [&](const DatPathRow& entry, const DatPathRow& removal) {
                    return entry.pest_id == removal.pest_id && same(entry.path, removal.path);
                },
                tables->paths);
        },
    });
    // Only the cookies' build checks texts for NUL bytes: it has the least
    // work of its own (keys and paths are most entries), and it meets the
    // first fault of any kind, as every walk checks the bounds.
    for (std::string& error : errors) {
        if (!error.empty()) {
            result.error = std::move(error);
            return result;
        }
    }
    std::vector<std::uint32_t> path_keys;
    path_keys.reserve(tables->paths.rows.size());
    for (const DatPathRow& row : tables->paths.rows)
        path_keys.push_back(row.hash);
    tables->path_filter = DatKeyFilter(path_keys);
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
    if (!hash || !locations_->path_filter.MayHold(*hash))
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
