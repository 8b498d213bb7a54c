#include "tools/publisher/update_set.h"

#include <filesystem>

#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "tools/publisher/definition_writer.h"

namespace olvex::tools {
namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kDeltaIndexPath[] = "incupdates.inf";

// The kinds in the order of the delta stems: "qzfile", "qzinfo", "qzloc".
constexpr DefinitionFileKind kStemKinds[] = {
    DefinitionFileKind::kSignatures, DefinitionFileKind::kPests, DefinitionFileKind::kLocations};

void Line(std::string& text, const std::string& line) {
    text += line;
    text += kLineEnd;
}

// Check values are printed as signed numbers.
std::string CheckText(std::uint32_t check) {
    return std::to_string(static_cast<std::int32_t>(check));
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

UpdateControlRecord Entry(const std::string& url_base, const std::string& path,
                          const std::string& name, std::int32_t type, std::int32_t version,
                          const std::vector<std::uint8_t>& bytes, const std::string& text) {
    UpdateControlRecord entry;
    entry.text = text;
    entry.file_name = name;
    entry.type = type;
    entry.version = version;
    entry.url = url_base + "/" + path;
    entry.check_value = UpdateCheckValue(bytes);
    entry.size = static_cast<std::uint32_t>(bytes.size());
    return entry;
}

std::string StemOf(DefinitionFileKind kind) {
    const std::string_view name = FileNameOf(kind);
    return std::string(name.substr(0, name.find('.')));
}

}  // namespace

std::string RenderControlFile(const std::vector<UpdateControlRecord>& entries) {
    std::string text;
    // Nine header lines; blank lines would not count, so none is empty.
    Line(text, std::string(kControlFileMarker));
    Line(text, "; olvex update control file");
    Line(text, "; nine lines per file: description, file name, -, type, version,");
    Line(text, "; address, -, check value (CRC-32 xor 0x5A3C9E61, signed), size");
    Line(text, "entries " + std::to_string(entries.size()));
    for (int filler = 6; filler <= 9; ++filler)
        Line(text, ";");
    for (const auto& entry : entries) {
        Line(text, entry.text.empty() ? "-" : entry.text);
        Line(text, entry.file_name);
        Line(text, "-");
        Line(text, std::to_string(entry.type));
        Line(text, std::to_string(entry.version));
        Line(text, entry.url);
        Line(text, "-");
        Line(text, CheckText(entry.check_value));
        Line(text, std::to_string(entry.size));
    }
    return text;
}

std::string RenderDeltaIndex(const std::vector<DeltaGroup>& groups) {
    std::string text;
    Line(text, "; olvex delta index");
    Line(text, "; twelve lines per group, newest first: base version, target version,");
    Line(text, "; group size, then address, check value and size of the qzfile,");
    Line(text, "; qzinfo and qzloc deltas");
    for (int filler = 5; filler <= 7; ++filler)
        Line(text, ";");
    Line(text, std::to_string(groups.size()));  // line 8: the number of groups
    Line(text, ";");
    for (const auto& group : groups) {
        Line(text, std::to_string(group.base_version));
        Line(text, std::to_string(group.target_version));
        Line(text, std::to_string(group.size));
        for (const auto& file : group.files) {
            Line(text, file.url);
            Line(text, CheckText(file.check_value));
            Line(text, std::to_string(file.size));
        }
    }
    return text;
}

std::optional<UpdateSet> BuildUpdateSet(const DefinitionSet& set, const UpdateSetOptions& options,
                                        std::string& error) {
    if (set.blocks.empty()) {
        error = "the definition set has no block";
        return std::nullopt;
    }
    std::vector<std::int32_t> versions;
    for (const auto& block : set.blocks) {
        const auto version = DataVersionFromFileTime(block.block_time);
        if (!version) {
            error = "a block time gives no data version";
            return std::nullopt;
        }
        versions.push_back(*version);
    }
    UpdateSet update;
    update.data_version = versions.back();

    // Whole files, then the delta packages of each delta block.
    std::vector<std::vector<BlockPayload>> payloads;
    for (const auto kind : kStemKinds) {
        auto encoded = EncodePayloads(set, kind, error);
        if (!encoded)
            return std::nullopt;
        const BuiltFile whole = BuildBlockFile(*encoded, kind);
        if (!whole.ok()) {
            error = whole.error;
            return std::nullopt;
        }
        const std::string name(FileNameOf(kind));
        update.control_entries.push_back(Entry(options.url_base, name, name, kUpdateCopyFile,
                                               update.data_version, whole.bytes,
                                               "Definitions " + name));
        update.files.push_back({name, whole.bytes});
        payloads.push_back(std::move(*encoded));
    }
    for (std::size_t block = set.blocks.size() - 1; block >= 1; --block) {
        DeltaGroup group;
        group.base_version = versions[block - 1];
        group.target_version = versions[block];
        for (std::size_t f = 0; f < std::size(kStemKinds); ++f) {
            const BuiltFile delta =
                BuildBlockFile(std::span(payloads[f]).subspan(block, 1), kStemKinds[f]);
            if (!delta.ok()) {
                error = delta.error;
                return std::nullopt;
            }
            const std::string path = "deltas/" + std::to_string(group.target_version) + "/" +
                                     StemOf(kStemKinds[f]) + ".qzu";
            group.files[f].url = options.url_base + "/" + path;
            group.files[f].check_value = UpdateCheckValue(delta.bytes);
            group.files[f].size = static_cast<std::uint32_t>(delta.bytes.size());
            group.size += group.files[f].size;
            update.files.push_back({path, delta.bytes});
        }
        update.delta_groups.push_back(std::move(group));
    }
    const auto index = Bytes(RenderDeltaIndex(update.delta_groups));
    update.control_entries.push_back(Entry(options.url_base, kDeltaIndexPath,
                                           std::string(kDeltaIndexEntryName), kUpdateCopyFile,
                                           update.data_version, index, "Definition deltas"));
    for (const auto& extra : options.extras) {
        update.control_entries.push_back(Entry(options.url_base, extra.name, extra.name, extra.type,
                                               extra.version, extra.bytes, "File " + extra.name));
        update.files.push_back({extra.name, extra.bytes});
    }
    return update;
}

std::vector<PublishedFile> UpdateSetFiles(const UpdateSet& set) {
    std::vector<PublishedFile> files;
    files.push_back({kControlFileName, Bytes(RenderControlFile(set.control_entries))});
    files.push_back({kDeltaIndexPath, Bytes(RenderDeltaIndex(set.delta_groups))});
    files.insert(files.end(), set.files.begin(), set.files.end());
    return files;
}

std::string WriteUpdateSet(const UpdateSet& set, const std::string& out_dir) {
    for (const auto& file : UpdateSetFiles(set)) {
        const auto path = std::filesystem::path(out_dir) / file.path;
        std::error_code ec;
        std::filesystem::create_directories(path.parent_path(), ec);
        if (ec)
            return path.parent_path().string() + ": cannot make the folder (" + ec.message() + ")";
        if (WriteWholeFile(path.string(), file.bytes, /*atomic=*/true) != FileError::kNone)
            return path.string() + ": cannot write the file";
    }
    return {};
}

}  // namespace olvex::tools
