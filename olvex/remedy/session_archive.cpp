#include "olvex/remedy/session_archive.h"

#include "olvex/core/location.h"
#include "olvex/remedy/quarantine_paths.h"

namespace olvex {
namespace {

SessionRestoreStep Refused(std::size_t entry, std::string reason) {
    SessionRestoreStep step;
    step.entry = entry;
    step.reason = std::move(reason);
    return step;
}

// The root names the registry editor accepts for a root word of ours.
std::string CanonicalRoot(std::string_view root, const MultiByteText& mb) {
    const auto lower = mb.Lower(root);
    if (lower == "hkcu")
        return "hkey_current_user";
    if (lower == "hklm")
        return "hkey_local_machine";
    if (lower == "hkcr")
        return "hkey_classes_root";
    if (lower == "hku")
        return "hkey_users";
    return lower;
}

std::string TrimSeparators(std::string_view path, const MultiByteText& mb) {
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\' &&
           mb.EndsOnCharBoundary(path.substr(0, path.size() - 1)))
        path.remove_suffix(1);
    return mb.Lower(path);
}

}  // namespace

std::string SessionArchivePath(std::string_view quarantine_folder, std::string_view session_name) {
    std::string path(quarantine_folder);
    path += '\\';
    path += session_name;
    path += ".zip";
    return path;
}

std::string SessionEntryComment(std::int32_t pest_id, std::string_view location,
                                std::string_view added_file, const MultiByteText& mb) {
    Location parsed(mb);
    parsed.SetString(location);
    const auto file = parsed.GetAttributeValue(kAttrFile);
    std::string comment;
    if (!file || file->empty()) {
        comment += " File \"";
        comment += added_file;
        comment += '"';
    }
    comment += " PestId \"" + std::to_string(pest_id) + "\" ";
    comment += location;
    return comment;
}

std::optional<RegistryKeyText> SplitRegistryKeyText(std::string_view key_text,
                                                    const MultiByteText& mb) {
    const auto blank = mb.Find(key_text, ' ');
    if (blank == std::string_view::npos)
        return std::nullopt;
    RegistryKeyText key;
    key.root_word = std::string(key_text.substr(0, blank));
    auto path = key_text.substr(blank + 1);
    if (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    key.path = std::string(path);
    return key;
}

bool RegistryContainerStaysUnder(const Regedit4Parse& container, std::string_view key_text,
                                 const MultiByteText& mb) {
    const auto key = SplitRegistryKeyText(key_text, mb);
    if (!key)
        return container.keys.empty();
    const std::string root = CanonicalRoot(key->root_word, mb);
    const std::string path = TrimSeparators(key->path, mb);
    if (path.empty())
        return container.keys.empty();
    for (const auto& data : container.keys) {
        const std::string_view line = data.path;
        const auto slash = mb.Find(line, '\\');
        if (slash == std::string_view::npos || CanonicalRoot(line.substr(0, slash), mb) != root)
            return false;
        const std::string below = TrimSeparators(line.substr(slash + 1), mb);
        if (below != path &&
            !(below.size() > path.size() && below.compare(0, path.size(), path) == 0 &&
              below[path.size()] == '\\' &&
              mb.EndsOnCharBoundary(std::string_view(below).substr(0, path.size()))))
            return false;
    }
    return true;
}

SessionRestoreStep PlanSessionEntry(std::size_t entry, std::string_view comment,
                                    const MultiByteText& mb) {
    Location location(mb);
    location.SetString(comment);
    const auto key = location.GetAttributeValue(kAttrKey);
    if (key && !key->empty()) {
        if (!SplitRegistryKeyText(*key, mb))
            return Refused(entry, "The entry names no registry key: " + *key);
        SessionRestoreStep step;
        step.kind = SessionRestoreStep::Kind::kRegistry;
        step.entry = entry;
        step.key = *key;
        return step;
    }
    const auto file = location.GetAttributeValue(kAttrFile);
    const std::string target = file ? FilePartOfFileValue(*file, mb) : std::string();
    if (!IsAbsoluteLocalPath(target, mb))
        return Refused(entry, "The entry's target is not an absolute local path: " + target);
    SessionRestoreStep step;
    step.kind = SessionRestoreStep::Kind::kFile;
    step.entry = entry;
    step.target = target;
    return step;
}

std::vector<SessionRestoreStep> PlanSessionRestore(const ZipReader& archive,
                                                   const MultiByteText& mb) {
    std::vector<SessionRestoreStep> steps;
    for (std::size_t i = archive.EntryCount(); i-- > 0;) {
        const ZipEntryInfo* info = archive.Entry(i);
        steps.push_back(info ? PlanSessionEntry(i, info->comment, mb)
                             : Refused(i, "The entry cannot be read."));
    }
    return steps;
}

}  // namespace olvex
