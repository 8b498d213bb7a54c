#include "olvex/scan/scan_test_support.h"

#include <gtest/gtest.h>

#include "olvex/core/dat_test_support.h"
#include "olvex/scan/scan_filter.h"

namespace olvex::scan_test {

std::vector<std::string> RecordingEvents::Only(
    std::initializer_list<std::string_view> prefixes) const {
    std::vector<std::string> kept;
    for (const auto& line : lines) {
        for (const auto prefix : prefixes) {
            if (std::string_view(line).starts_with(prefix)) {
                kept.push_back(line);
                break;
            }
        }
    }
    return kept;
}

void FakeTree::AddFolder(const std::string& path, bool reparse_point) {
    const std::string key = UpperCaseText(path, MultiByteText::SingleByte());
    nodes_[key] = {true, reparse_point};
    names_[key] = path;
}

void FakeTree::AddFile(const std::string& path, bool reparse_point) {
    const std::string key = UpperCaseText(path, MultiByteText::SingleByte());
    nodes_[key] = {false, reparse_point};
    names_[key] = path;
}

FolderLister::PathKind FakeTree::Kind(const std::string& path) {
    const auto found = nodes_.find(UpperCaseText(path, MultiByteText::SingleByte()));
    if (found == nodes_.end())
        return PathKind::kMissing;
    return found->second.is_folder ? PathKind::kFolder : PathKind::kFile;
}

bool FakeTree::List(const std::string& pattern, std::vector<FolderEntry>& entries) {
    listed.push_back(pattern);
    const auto& mb = MultiByteText::SingleByte();
    const std::string upper = UpperCaseText(pattern, mb);
    const std::size_t slash = upper.rfind('\\');
    const std::string folder = upper.substr(0, slash);
    const std::string name_pattern = upper.substr(slash + 1);
    const auto parent = nodes_.find(folder);
    if (parent == nodes_.end() || !parent->second.is_folder)
        return false;
    entries = {{".", true, false}, {"..", true, false}};
    for (const auto& [key, node] : nodes_) {
        if (key.size() <= folder.size() + 1 ||
            key.compare(0, folder.size() + 1, folder + "\\") != 0)
            continue;
        const std::string rest = key.substr(folder.size() + 1);
        if (rest.find('\\') != std::string::npos)
            continue;
        // "*.*" also matches names without a dot, as on Windows.
        if (name_pattern != "*.*" && !WildcardMatch(name_pattern, rest, mb))
            continue;
        const std::string& added = names_.at(key);
        entries.push_back(
            {added.substr(added.rfind('\\') + 1), node.is_folder, node.reparse_point});
    }
    return true;
}

std::unique_ptr<CDatDatabase> LoadDefinitions(const std::string& folder, std::string_view source) {
    testing::PublishSource(folder, source);
    auto database = std::make_unique<CDatDatabase>();
    database->SetDatFolder(folder);
    EXPECT_EQ(database->Load(), 0) << database->GetLastErrorText();
    return database;
}

}  // namespace olvex::scan_test
