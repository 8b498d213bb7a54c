#include "olvex/core/dat_database.h"

#include <new>
#include <stdexcept>
#include <utility>

#include "olvex/core/crc32.h"
#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "olvex/core/file_set_replace.h"
#include "olvex/core/little_endian.h"
#include "olvex/core/md5.h"
#include "olvex/core/run_together.h"

namespace olvex {
namespace {

std::string InFolder(std::string_view folder, std::string_view name) {
    std::string path(folder);
    path += kPathSeparator;
    path += name;
    return path;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string LowerAscii(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

// What reading and building one file's tables gave.
template <typename Tables>
struct PartLoad {
    int code = kBlockOk;
    std::string text;
    // Null with code 0: the file held no block, its tables stay as they were.
    std::shared_ptr<const Tables> tables;
    std::optional<std::int32_t> data_version;
};

template <typename Tables, typename Build>
PartLoad<Tables> LoadPart(const std::string& path, Build&& build) noexcept {
    PartLoad<Tables> part;
    try {
        BlockFileResult read = ReadBlockFile(path);
        if (!read.ok()) {
            part.code = read.code;
            part.text = std::move(read.text);
            return part;
        }
        part.data_version = read.data_version;
        if (read.blocks.empty())
            return part;
        auto built = build(std::move(read.blocks));
        if (!built.error.empty()) {
            // A malformed record is as bad as a block that fails its check.
            part.code = kBlockCorrupt;
            part.text = path + std::string(kCorruptSuffix);
            return part;
        }
        part.tables = std::move(built.tables);
    } catch (const std::bad_alloc&) {
        part = {};
        part.code = kBlockNoMemory;
        part.text = path + std::string(kTooLargeSuffix);
    } catch (const std::length_error&) {
        part = {};
        part.code = kBlockNoMemory;
        part.text = path + std::string(kTooLargeSuffix);
    }
    return part;
}

}  // namespace

bool IsRemoteDefinitionSource(std::string_view source) {
    const std::string lowered = LowerAscii(source);
    return Contains(lowered, "http://") || Contains(lowered, "ftp://") ||
           Contains(lowered, "https://");
}

CDatDatabase::CDatDatabase(const SpecialFolderSource* folders, const MultiByteText& mb)
    : folders_(folders), mb_(mb) {}

CDatDatabase::~CDatDatabase() = default;

void CDatDatabase::SetDatFolder(std::string_view folder) {
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == kPathSeparator))
        folder.remove_suffix(1);
    std::lock_guard lock(state_mutex_);
    folder_.assign(folder);
}

std::string CDatDatabase::GetDatFolder() const {
    std::lock_guard lock(state_mutex_);
    return folder_;
}

std::string CDatDatabase::GetLastErrorText() const {
    std::lock_guard lock(state_mutex_);
    return last_error_text_;
}

int CDatDatabase::GetLastErrorCode() const {
    std::lock_guard lock(state_mutex_);
    return last_error_code_;
}

std::int32_t CDatDatabase::GetBlockCount() const {
    std::lock_guard lock(state_mutex_);
    return block_count_;
}

std::int32_t CDatDatabase::GetDeltaBytes() const {
    std::lock_guard lock(state_mutex_);
    return delta_bytes_;
}

std::int32_t CDatDatabase::GetDatVersion() const {
    std::lock_guard lock(state_mutex_);
    return data_version_;
}

int CDatDatabase::Fail(int code, std::string_view text) {
    std::lock_guard lock(state_mutex_);
    last_error_code_ = code;
    last_error_text_.assign(text);
    return code;
}

int CDatDatabase::Load() {
    std::lock_guard load(load_mutex_);
    const std::string folder = GetDatFolder();
    if (folder.empty())
        return Fail(kBlockNoFolder, kDatPathNotSetText);
    return LoadFolderLocked(folder);
}

int CDatDatabase::LoadFolderLocked(const std::string& folder) {
    // An update killed while it replaced the three files is completed (or
    // undone) first, so the load sees the whole new set or the whole old one.
    FinishInterruptedReplace(InFolder(folder, kReplaceJournalName));
    PartLoad<DatPestTables> pests;
    PartLoad<DatSignatureTables> signatures;
    PartLoad<DatLocationTables> locations;
    // The three files are independent until they are published together.
    RunTogether({
        [&] {
            pests = LoadPart<DatPestTables>(InFolder(folder, kPestsFileName), [](auto blocks) {
                return BuildPestTables(std::move(blocks));
            });
        },
        [&] {
            signatures = LoadPart<DatSignatureTables>(
                InFolder(folder, kSignaturesFileName),
                [](auto blocks) { return BuildSignatureTables(std::move(blocks)); });
        },
        [&] {
            locations = LoadPart<DatLocationTables>(
                InFolder(folder, kLocationsFileName),
                [&](auto blocks) { return BuildLocationTables(std::move(blocks), mb_); });
        },
    });

    // The first file that failed, in file order, is the one reported.
    const auto failed = [&](const auto& part) {
        if (part.code == kBlockOk)
            return false;
        std::lock_guard lock(state_mutex_);
        last_error_code_ = part.code;
        last_error_text_ = part.text;
        return true;
    };
    if (failed(pests))
        return pests.code;
    if (failed(signatures))
        return signatures.code;
    if (failed(locations))
        return locations.code;

    try {
        const DatTables* now = Current();
        auto tables = std::make_shared<const DatTables>(
            pests.tables || !now ? pests.tables : now->pest_tables(),
            signatures.tables || !now ? signatures.tables : now->signature_tables(),
            locations.tables || !now ? locations.tables : now->location_tables(), mb_);
        Publish(std::move(tables), pests.data_version);
    } catch (const std::bad_alloc&) {
        return Fail(kBlockNoMemory, kNoMemoryText);
    }
    return kBlockOk;
}

void CDatDatabase::Publish(std::shared_ptr<const DatTables> tables,
                           std::optional<std::int32_t> version) {
    std::lock_guard lock(state_mutex_);
    published_.reserve(published_.size() + 1);
    const DatTables* raw = tables.get();
    published_.push_back(std::move(tables));
    current_.store(raw, std::memory_order_release);
    if (version)
        data_version_ = *version;
    loaded_.store(true, std::memory_order_release);
}

int CDatDatabase::LoadFrom(std::string_view source, const RemoteSource& remote) {
    std::lock_guard load(load_mutex_);
    return LoadFromLocked(source, remote);
}

int CDatDatabase::LoadFromLocked(std::string_view source, const RemoteSource& remote) {
    // Without a folder to keep them in, the files would land at the root of a drive.
    if (remote.download_folder.empty())
        return Fail(kBlockNoFolder, kDatPathNotSetText);
    const std::string local = InFolder(remote.download_folder, kPestsFileName);
    const auto local_time = GetBlockTime(local, nullptr);
    // A remote time that cannot be had counts as zero: then only a missing
    // local copy is fetched.
    const std::uint64_t remote_time =
        GetBlockTime(std::string(source) + "/" + std::string(kPestsFileName), remote.fetcher)
            .value_or(0);
    if (!local_time || remote_time > *local_time) {
        if (const int code = FetchDefinitionFiles(source, remote); code != kBlockOk)
            return code;
    }
    const int code = LoadFolderLocked(remote.download_folder);
    if (code == kBlockOk)
        SetDatFolder(remote.download_folder);
    return code;
}

int CDatDatabase::FetchDefinitionFiles(std::string_view source, const RemoteSource& remote) {
    for (const std::string_view name : {kPestsFileName, kSignaturesFileName, kLocationsFileName}) {
        const int code = FetchDefinitionFile(source, name, remote);
        if (code == kBlockOk)
            continue;
        // A new "qzinfo.dat" beside old other files would look current next
        // time and never be fetched again with them: drop it, so the next
        // load fetches the whole set.
        if (name != kPestsFileName)
            RemoveFile(InFolder(remote.download_folder, kPestsFileName));
        return code;
    }
    return kBlockOk;
}

int CDatDatabase::FetchDefinitionFile(std::string_view source, std::string_view name,
                                      const RemoteSource& remote) {
    if (source.size() > kMaxSourceLength)
        return Fail(kBlockNoMemory, kUrlTooLargeText);
    if (!IsRemoteDefinitionSource(source) || !remote.fetcher)
        return Fail(kBlockNotFound, kProtocolNotSupportedText);
    // The address keeps its case: servers may tell "Defs" from "defs".
    const std::string url = std::string(source) + "/" + std::string(name);
    std::string error;
    if (!remote.fetcher->Download(url, InFolder(remote.download_folder, name), error))
        return Fail(kBlockNotFound, error);
    return kBlockOk;
}

std::optional<std::uint64_t> CDatDatabase::GetBlockTime(std::string_view source,
                                                        DefinitionFetcher* fetcher) const {
    const std::string lowered = LowerAscii(source);
    if (Contains(lowered, "http://") || Contains(lowered, "https://")) {
        if (!fetcher)
            return std::nullopt;
        const auto head = fetcher->ReadHead(std::string(source), kRemoteHeadBytes);
        // A reply too short to hold the time, or not a definition block, gives
        // no time.
        if (!head || LoadLe32(*head, kHeaderMagicOffset) != kDefinitionMagic)
            return std::nullopt;
        return LoadLe64(*head, kHeaderTimeOffset);
    }
    const auto walk = WalkBlockHeaderFile(std::string(source));
    if (!walk)
        return std::nullopt;
    return walk->last_block_time;
}

void CDatDatabase::ReadHeaderTotals() {
    const HeaderTotals totals = olvex::ReadHeaderTotals(GetDatFolder());
    std::lock_guard lock(state_mutex_);
    block_count_ = totals.block_count;
    delta_bytes_ = totals.delta_bytes;
    data_version_ = totals.data_version;
}

CDatDatabase::InitialLoad CDatDatabase::LoadUnlessLoaded(std::string_view source,
                                                         const RemoteSource* remote) {
    std::lock_guard load(load_mutex_);
    if (IsLoaded())
        return {};
    int code = kBlockOk;
    if (IsRemoteDefinitionSource(source)) {
        code = remote ? LoadFromLocked(source, *remote)
                      : Fail(kBlockNotFound, kProtocolNotSupportedText);
    } else {
        SetDatFolder(source);
        const std::string folder = GetDatFolder();
        code = folder.empty() ? Fail(kBlockNoFolder, kDatPathNotSetText) : LoadFolderLocked(folder);
    }
    return {code, code == kBlockOk};
}

std::shared_ptr<const DatTables> CDatDatabase::Snapshot() const {
    std::lock_guard lock(state_mutex_);
    return published_.empty() ? nullptr : published_.back();
}

std::optional<DatPestEntry> CDatDatabase::FindPest(std::int32_t pest_id) const {
    const DatTables* tables = Current();
    if (!tables)
        return std::nullopt;
    const auto pest = tables->FindPest(pest_id);
    return pest ? std::optional(pest->Copy()) : std::nullopt;
}

std::vector<DatSignatureEntry> CDatDatabase::FindFileSignatures(std::uint32_t crc) const {
    const DatTables* tables = Current();
    return tables ? tables->FindFileSignatures(crc) : std::vector<DatSignatureEntry>{};
}

std::optional<DatPestEntry> CDatDatabase::FindPestByMemoryCrc(std::uint32_t crc) const {
    const DatTables* tables = Current();
    if (!tables)
        return std::nullopt;
    const auto pest = tables->FindPestByMemoryCrc(crc);
    return pest ? std::optional(pest->Copy()) : std::nullopt;
}

std::optional<DatPestEntry> CDatDatabase::FindCookie(std::string_view name) const {
    const DatTables* tables = Current();
    if (!tables)
        return std::nullopt;
    const auto pest = tables->FindCookie(name);
    return pest ? std::optional(pest->Copy()) : std::nullopt;
}

std::optional<DatPestEntry> CDatDatabase::FindPathLocation(std::string_view path) const {
    const DatTables* tables = Current();
    if (!tables)
        return std::nullopt;
    const auto pest = tables->FindPathLocation(ToMacroForm(path));
    return pest ? std::optional(pest->Copy()) : std::nullopt;
}

std::optional<DatKeyLocation> CDatDatabase::FindKeyLocation(std::string_view key,
                                                            std::string_view value) const {
    const DatTables* tables = Current();
    return tables ? tables->FindKeyLocation(key, value) : std::nullopt;
}

std::optional<DatPestEntry> CDatDatabase::MatchFileSignature(std::uint32_t head_crc,
                                                             const Md5Supplier& md5) const {
    const DatTables* tables = Current();
    if (!tables)
        return std::nullopt;
    const auto pest = tables->MatchFileSignature(head_crc, md5);
    return pest ? std::optional(pest->Copy()) : std::nullopt;
}

std::optional<DatPestEntry> CDatDatabase::MatchFile(const std::string& path) const {
    std::uint32_t head_crc = 0;
    if (GetFileHeadCrc32(path, head_crc)) {
        auto found = MatchFileSignature(head_crc, [&]() -> std::optional<Md5Digest> {
            Md5Digest digest{};
            if (CMD5Hasher().HashFileByName(path, digest))
                return digest;
            return std::nullopt;
        });
        if (found)
            return found;
    }
    return FindPathLocation(path);
}

DatCursor CDatDatabase::FirstPest() const {
    return DatCursor(Snapshot(), DatTableKind::kPests);
}

DatCursor CDatDatabase::FirstCookie() const {
    return DatCursor(Snapshot(), DatTableKind::kCookies);
}

DatCursor CDatDatabase::FirstKeyLocation() const {
    return DatCursor(Snapshot(), DatTableKind::kKeyLocations);
}

DatCursor CDatDatabase::FirstPathLocation() const {
    return DatCursor(Snapshot(), DatTableKind::kPathLocations);
}

DatLocationWalk CDatDatabase::FirstLocation() const {
    auto tables = Snapshot();
    return tables ? DatLocationWalk(std::move(tables)) : DatLocationWalk();
}

const PathMacroTable& CDatDatabase::MacroTable() const {
    std::call_once(macro_once_, [&] {
        if (folders_)
            macros_.emplace(*folders_, mb_);
        else
            macros_.emplace(mb_);
    });
    return *macros_;
}

std::string CDatDatabase::ToMacroForm(std::string_view path) const {
    return MacroTable().ToMacroForm(path);
}

std::string CDatDatabase::ExpandPathMacros(std::string_view path) const {
    return MacroTable().Expand(path);
}

}  // namespace olvex
