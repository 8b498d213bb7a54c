#include "olvex/core/dat_tables.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <unordered_map>

#include "olvex/core/definition_records.h"

namespace olvex {
namespace {

constexpr std::uint32_t kHashMask = 0x7FFFFFFFu;
constexpr std::uint32_t kNoNode = std::numeric_limits<std::uint32_t>::max();

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

// A table being built, in its chained form: insert behind the head, remove
// the first match in chain order. Freeze() gives the flat form.
template <typename Row>
class ChainBuilder {
  public:
    explicit ChainBuilder(std::uint32_t buckets) : heads_(std::max(buckets, 1u), kNoNode) {}

    void Reserve(std::size_t rows) { nodes_.reserve(rows); }

    void Insert(std::uint32_t key, const Row& row) {
        if (nodes_.size() >= kNoNode)
            throw std::bad_alloc();
        const auto node = static_cast<std::uint32_t>(nodes_.size());
        std::uint32_t& head = heads_[key % heads_.size()];
        if (head == kNoNode) {
            nodes_.push_back({row, kNoNode});
            head = node;
        } else {
            nodes_.push_back({row, nodes_[head].next});
            nodes_[head].next = node;
        }
        ++live_;
    }

    template <typename Matches>
    bool Remove(std::uint32_t key, Matches&& matches) {
        std::uint32_t* link = &heads_[key % heads_.size()];
        while (*link != kNoNode) {
            Node& node = nodes_[*link];
            if (matches(node.row)) {
                *link = node.next;
                --live_;
                return true;
            }
            link = &node.next;
        }
        return false;
    }

    DatHashTable<Row> Freeze() {
        DatHashTable<Row> table;
        table.bucket_start.assign(heads_.size() + 1, 0);
        table.rows.reserve(live_);
        for (std::size_t b = 0; b < heads_.size(); ++b) {
            table.bucket_start[b] = static_cast<std::uint32_t>(table.rows.size());
            for (std::uint32_t n = heads_[b]; n != kNoNode; n = nodes_[n].next)
                table.rows.push_back(nodes_[n].row);
        }
        table.bucket_start[heads_.size()] = static_cast<std::uint32_t>(table.rows.size());
        heads_ = {};
        nodes_ = {};
        return table;
    }

  private:
    struct Node {
        Row row;
        std::uint32_t next;
    };
    std::vector<std::uint32_t> heads_;
    std::vector<Node> nodes_;
    std::size_t live_ = 0;
};

// Every record of every block, read once to check it and count what it
// adds, before any table is sized or filled.
template <typename Reader, typename Count>
std::string CheckRecords(std::span<const DecodedBlock> blocks, Count&& count) {
    for (const DecodedBlock& block : blocks) {
        Reader reader(block.data, RecordCount(block));
        while (const auto record = reader.Next())
            count(*record);
        if (!reader.error().empty())
            return reader.error();
    }
    return {};
}

template <typename Reader, typename Apply>
void ForEachRecord(std::span<const DecodedBlock> blocks, Apply&& apply) {
    for (const DecodedBlock& block : blocks) {
        Reader reader(block.data, RecordCount(block));
        while (const auto record = reader.Next())
            apply(*record);
    }
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

void DatTextArena::Reserve(std::uint64_t bytes) {
    bytes_.reserve(static_cast<std::size_t>(
        std::min<std::uint64_t>(bytes, std::numeric_limits<std::uint32_t>::max())));
}

DatTextRef DatTextArena::Add(std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max() - bytes_.size())
        throw std::length_error("definition texts exceed 4 GiB");
    const DatTextRef ref{static_cast<std::uint32_t>(bytes_.size()),
                         static_cast<std::uint32_t>(text.size())};
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return ref;
}

// --- Building ------------------------------------------------------------

DatBuildResult<DatPestTables> BuildPestTables(std::span<const DecodedBlock> blocks) {
    DatBuildResult<DatPestTables> result;
    std::uint64_t additions = 0;
    std::uint64_t text_bytes = 0;
    result.error = CheckRecords<PestRecordReader>(blocks, [&](const PestInfoRecordView& record) {
        if (record.pest_id > 0) {
            ++additions;
            text_bytes += record.name.size();
        }
    });
    if (!result.error.empty())
        return result;

    // Sized by the first block's record count, as the definitions expect.
    const std::int64_t implied = blocks.empty() ? 0 : RecordCount(blocks.front());
    ChainBuilder<DatPestRow> builder(BucketCount(implied, additions));
    builder.Reserve(additions);
    auto tables = std::make_shared<DatPestTables>();
    // Categories repeat: each is stored once.
    std::unordered_map<std::string_view, DatTextRef> categories;
    tables->texts.Reserve(text_bytes + 4096);  // names, and the few categories
    ForEachRecord<PestRecordReader>(blocks, [&](const PestInfoRecordView& record) {
        if (record.pest_id > 0) {
            auto [it, added] = categories.try_emplace(record.category);
            if (added)
                it->second = tables->texts.Add(record.category);
            builder.Insert(static_cast<std::uint32_t>(record.pest_id),
                           {record.pest_id, tables->texts.Add(record.name), it->second});
            return;
        }
        // A removal takes away the entry with the same id, name and category.
        const std::int32_t id = RemovedPestId(record.pest_id);
        builder.Remove(static_cast<std::uint32_t>(id), [&](const DatPestRow& row) {
            return row.pest_id == id && tables->texts.View(row.name) == record.name &&
                   tables->texts.View(row.category) == record.category;
        });
    });
    tables->pests = builder.Freeze();
    result.tables = std::move(tables);
    return result;
}

DatBuildResult<DatSignatureTables> BuildSignatureTables(std::span<const DecodedBlock> blocks) {
    DatBuildResult<DatSignatureTables> result;
    std::uint64_t file_additions = 0;
    std::uint64_t memory_additions = 0;
    result.error =
        CheckRecords<SignatureRecordReader>(blocks, [&](const SignatureRecordView& record) {
            if (record.pest_id > 0) {
                file_additions += record.file_crc != 0;
                memory_additions += record.memory_crc != 0;
            }
        });
    if (!result.error.empty())
        return result;

    // The file table is sized by the first block's record count, the memory
    // table by half of it.
    const std::int64_t implied = blocks.empty() ? 0 : RecordCount(blocks.front());
    ChainBuilder<DatSignatureRow> files(BucketCount(implied, file_additions));
    ChainBuilder<DatMemoryRow> memory(BucketCount(implied / 2, memory_additions));
    files.Reserve(file_additions);
    memory.Reserve(memory_additions);
    ForEachRecord<SignatureRecordReader>(blocks, [&](const SignatureRecordView& record) {
        const bool adds = record.pest_id > 0;
        const std::int32_t pest = adds ? record.pest_id : RemovedPestId(record.pest_id);
        if (record.file_crc != 0) {
            const DatSignatureRow row{record.file_crc, pest, record.md5, record.md5_malformed};
            if (adds) {
                files.Insert(row.crc, row);
            } else {
                files.Remove(row.crc, [&](const DatSignatureRow& other) {
                    return other.crc == row.crc && other.pest_id == row.pest_id &&
                           other.md5 == row.md5 && other.md5_malformed == row.md5_malformed;
                });
            }
        }
        if (record.memory_crc != 0) {
            const DatMemoryRow row{record.memory_crc, pest};
            if (adds) {
                memory.Insert(row.crc, row);
            } else {
                memory.Remove(row.crc, [&](const DatMemoryRow& other) {
                    return other.crc == row.crc && other.pest_id == row.pest_id;
                });
            }
        }
    });
    auto tables = std::make_shared<DatSignatureTables>();
    tables->files = files.Freeze();
    tables->memory = memory.Freeze();
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

struct KindCounts {
    std::uint64_t additions = 0;
    std::uint64_t removals = 0;
    std::int64_t Net() const {
        return static_cast<std::int64_t>(additions) - static_cast<std::int64_t>(removals);
    }
};

class LocationBuilder {
  public:
    LocationBuilder(const KindCounts& keys, const KindCounts& cookies, const KindCounts& paths,
                    std::uint64_t text_bytes, const MultiByteText& mb)
        : mb_(mb),
          tables_(std::make_shared<DatLocationTables>()),
          keys_(BucketCount(keys.Net(), keys.additions)),
          cookies_(BucketCount(cookies.Net(), cookies.additions)),
          paths_(BucketCount(paths.Net(), paths.additions)) {
        tables_->texts.Reserve(text_bytes);
        keys_.Reserve(keys.additions);
        cookies_.Reserve(cookies.additions);
        paths_.Reserve(paths.additions);
    }

    void Add(const LocationRecordView& record) {
        const LocationKind kind = LocationKindOf(record.text);
        switch (TableOf(kind)) {
            case EntryTable::kKeys: {
                const KeyEntryView entry = ParseKeyEntryView(record.text);
                if (const auto hash = DatKeyLocationHash(entry.key, entry.value, mb_)) {
                    keys_.Insert(*hash, {*hash, record.pest_id, Text(entry.key), Text(entry.value),
                                         Text(entry.data)});
                }
                break;
            }
            case EntryTable::kCookies: {
                const std::string_view name = ParseQuotedEntryView(record.text);
                const std::uint32_t hash = DatCookieHash(name, mb_);
                cookies_.Insert(hash, {hash, record.pest_id, Text(name)});
                break;
            }
            case EntryTable::kPaths: {
                const std::string_view path = ParseQuotedEntryView(record.text);
                if (const auto hash = DatPathHash(path, mb_)) {
                    paths_.Insert(
                        *hash, {*hash, record.pest_id, Text(path), kind == LocationKind::kFolder});
                }
                break;
            }
            case EntryTable::kNone:
                break;
        }
    }

    void Remove(const LocationRecordView& record) {
        const std::int32_t pest = RemovedPestId(record.pest_id);
        const auto& texts = tables_->texts;
        switch (TableOf(LocationKindOf(record.text))) {
            case EntryTable::kKeys: {
                const KeyEntryView entry = ParseKeyEntryView(record.text);
                if (const auto hash = DatKeyLocationHash(entry.key, entry.value, mb_)) {
                    keys_.Remove(*hash, [&](const DatKeyRow& row) {
                        return row.pest_id == pest && texts.View(row.key) == entry.key &&
                               texts.View(row.value) == entry.value &&
                               texts.View(row.data) == entry.data;
                    });
                }
                break;
            }
            case EntryTable::kCookies: {
                const std::string_view name = ParseQuotedEntryView(record.text);
                cookies_.Remove(DatCookieHash(name, mb_), [&](const DatCookieRow& row) {
                    return row.pest_id == pest && texts.View(row.name) == name;
                });
                break;
            }
            case EntryTable::kPaths: {
                const std::string_view path = ParseQuotedEntryView(record.text);
                if (const auto hash = DatPathHash(path, mb_)) {
                    paths_.Remove(*hash, [&](const DatPathRow& row) {
                        return row.pest_id == pest && texts.View(row.path) == path;
                    });
                }
                break;
            }
            case EntryTable::kNone:
                break;
        }
    }

    std::shared_ptr<const DatLocationTables> Finish() {
        tables_->keys = keys_.Freeze();
        tables_->cookies = cookies_.Freeze();
        tables_->paths = paths_.Freeze();
        return std::move(tables_);
    }

  private:
    DatTextRef Text(std::string_view text) { return tables_->texts.Add(text); }

    const MultiByteText& mb_;
    std::shared_ptr<DatLocationTables> tables_;
    ChainBuilder<DatKeyRow> keys_;
    ChainBuilder<DatCookieRow> cookies_;
    ChainBuilder<DatPathRow> paths_;
};

}  // namespace

DatBuildResult<DatLocationTables> BuildLocationTables(std::span<const DecodedBlock> blocks,
                                                      const MultiByteText& mb) {
    DatBuildResult<DatLocationTables> result;
    KindCounts counts[4];
    std::uint64_t text_bytes = 0;  // what the added entries' parts can take at most
    result.error =
        CheckRecords<LocationRecordReader>(blocks, [&](const LocationRecordView& record) {
            const EntryTable table = TableOf(LocationKindOf(record.text));
            KindCounts& kind = counts[static_cast<int>(table)];
            ++(record.pest_id > 0 ? kind.additions : kind.removals);
            if (record.pest_id > 0 && table != EntryTable::kNone)
                text_bytes += record.text.size();
        });
    if (!result.error.empty())
        return result;

    // Each table is sized by its net count. Every addition of every block
    // goes in before any removal is applied.
    LocationBuilder builder(counts[static_cast<int>(EntryTable::kKeys)],
                            counts[static_cast<int>(EntryTable::kCookies)],
                            counts[static_cast<int>(EntryTable::kPaths)], text_bytes, mb);
    ForEachRecord<LocationRecordReader>(blocks, [&](const LocationRecordView& record) {
        if (record.pest_id > 0)
            builder.Add(record);
    });
    ForEachRecord<LocationRecordReader>(blocks, [&](const LocationRecordView& record) {
        if (record.pest_id <= 0)
            builder.Remove(record);
    });
    result.tables = builder.Finish();
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
        return r.hash == *hash &&
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
        return r.hash == *hash && DatTextEqualsFolded(texts.View(r.key), key, mb_) &&
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
