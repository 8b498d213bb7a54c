#include "olvex/scan/autorun_scan.h"

#include <utility>

namespace olvex {
namespace {

constexpr std::string_view kClassesHiveMark = "_Classes";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Whether needle (lower-case ASCII) occurs in text, in any case, at a
// character start; where, or npos.
std::size_t FindNoCase(std::string_view text, std::string_view needle, const MultiByteText& mb) {
    const std::string lowered = mb.Lower(text);
    for (std::size_t at = 0; at + needle.size() <= lowered.size();
         at += mb.CharLength(lowered, at)) {
        if (std::string_view(lowered).substr(at, needle.size()) == needle)
            return at;
    }
    return std::string_view::npos;
}

bool HoldsNoCase(std::string_view text, std::string_view needle, const MultiByteText& mb) {
    return FindNoCase(text, needle, mb) != std::string_view::npos;
}

std::vector<std::string> Split(std::string_view text, char separator, const MultiByteText& mb) {
    std::vector<std::string> pieces;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t end = mb.Find(text, separator, from);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view piece = mb.Trim(text.substr(from, end - from));
        if (!piece.empty())
            pieces.emplace_back(piece);
        from = end + 1;
    }
    return pieces;
}

std::string WithoutTrailingBackslash(std::string folder, const MultiByteText& mb) {
    if (!folder.empty() && folder.back() == '\\' &&
        mb.EndsOnCharBoundary(std::string_view(folder).substr(0, folder.size() - 1)))
        folder.pop_back();
    return folder;
}

}  // namespace

std::string ProgramOfCommand(std::string_view command, const MultiByteText& mb) {
    std::string program;
    int quotes = 0;
    for (std::size_t at = 0; at < command.size();) {
        const std::size_t length = mb.CharLength(command, at);
        if (length == 1 && command[at] == '"') {
            if (++quotes == 2)
                break;
        } else {
            program.append(command.substr(at, length));
        }
        at += length;
    }
    constexpr std::string_view kExe = ".exe";
    const std::size_t exe = FindNoCase(program, kExe, mb);
    if (exe != std::string_view::npos)
        program.resize(exe + kExe.size());
    return program;
}

std::vector<std::string> ProgramsOfIniEntry(std::string_view key, std::string_view text,
                                            const MultiByteText& mb) {
    const std::string lowered = mb.Lower(key);
    if (lowered == "shell")
        return Split(text, ' ', mb);
    if (lowered == "run" || lowered == "load")
        return Split(text, ',', mb);
    const std::string_view whole = mb.Trim(text);
    if (whole.empty())
        return {};
    return {std::string(whole)};
}

std::optional<std::string> CommandOfBatchLine(std::string_view line, const MultiByteText& mb) {
    std::size_t from = 0;
    while (from < line.size() && IsBlank(line[from]))
        ++from;
    std::size_t end = from;
    while (end < line.size() && !IsBlank(line[end]) && line[end] != '\r' && line[end] != '\n')
        end += mb.CharLength(line, end);
    const std::string word(line.substr(from, end - from));
    if (word.empty())
        return std::nullopt;
    const std::string lowered = mb.Lower(word);
    if (lowered == "rem" || lowered == "echo" || lowered == "goto")
        return std::nullopt;
    return word;
}

AutorunScan::AutorunScan(AutorunSystem& system, FolderLister& lister, ScanReporter& reporter,
                         const MultiByteText& mb, ScanFile scan_file)
    : system_(system),
      lister_(lister),
      reporter_(reporter),
      mb_(mb),
      scan_file_(std::move(scan_file)) {}

void AutorunScan::ScanCurrentUser(const std::string& autoexec_path) {
    FillWindowsFolder();
    if (const auto folder = StartupFolder(AutorunRoot::kCurrentUser, {}))
        WalkStartupFolder(*folder);
    WalkRegistryRows(false);
    WalkIniEntries();
    WalkBatchFiles(autoexec_path);
}

void AutorunScan::ScanAllUsers(const std::string& autoexec_path) {
    FillWindowsFolder();
    const std::vector<std::string> hives = system_.UserHives();
    std::set<std::string> walked;
    for (const std::string& hive : hives) {
        const auto folder = StartupFolder(AutorunRoot::kUsers, hive + "\\");
        if (folder && walked.insert(*folder).second)
            WalkStartupFolder(*folder);
    }
    WalkRegistryRows(true);
    WalkIniEntries();
    WalkBatchFiles(autoexec_path);
}

void AutorunScan::FillWindowsFolder() {
    std::optional<std::string> folder;
    for (const std::string_view key : {kWindowsNtCurrentVersionKey, kWindowsCurrentVersionKey}) {
        if (system_.KeyOpens(AutorunRoot::kLocalMachine, std::string(key))) {
            folder =
                system_.StringValue(AutorunRoot::kLocalMachine, std::string(key), "SystemRoot");
            break;
        }
    }
    windows_folder_ = folder && !folder->empty() ? WithoutTrailingBackslash(*folder, mb_)
                                                 : std::string(kDefaultWindowsFolder);
}

std::optional<std::string> AutorunScan::StartupFolder(AutorunRoot root, const std::string& prefix) {
    const std::string key = prefix + std::string(kAutorunShellFoldersKey);
    auto folder = system_.StringValue(root, key, "Startup");
    if (!folder)
        folder = system_.StringValue(root, key, "Common Startup");
    // An empty value names no folder (it would list the current drive's root).
    if (!folder || folder->empty())
        return std::nullopt;
    if (WithoutTrailingBackslash(*folder, mb_).size() == folder->size())
        folder->push_back('\\');
    return folder;
}

void AutorunScan::WalkStartupFolder(const std::string& folder) {
    const std::string pattern = folder + "*.*";
    std::vector<FolderEntry> entries;
    if (pattern.size() > kMaxSearchPatternLength || !lister_.List(pattern, entries))
        return;
    for (const FolderEntry& entry : entries) {
        if (!reporter_.ShouldScanContinue())
            return;
        if (!entry.is_folder)
            Scan(folder + entry.name);
    }
}

void AutorunScan::WalkRegistryRows(bool all_users) {
    std::vector<std::string> hives;
    if (all_users) {
        for (std::string& hive : system_.UserHives()) {
            if (hive.find(kClassesHiveMark) == std::string::npos)
                hives.push_back(std::move(hive));
        }
    }
    for (const AutorunRegistryRow& row : kAutorunRegistryRows) {
        if (!reporter_.ShouldScanContinue())
            return;
        const std::string key(row.key);
        if (all_users && row.root == AutorunRoot::kCurrentUser) {
            for (const std::string& hive : hives)
                WalkRunKey(AutorunRoot::kUsers, hive + "\\" + key);
        } else {
            WalkRunKey(row.root, key);
        }
    }
}

void AutorunScan::WalkRunKey(AutorunRoot root, const std::string& key) {
    const auto values = system_.Values(root, key);
    if (!values)
        return;
    for (const AutorunValue& value : *values) {
        if (!reporter_.ShouldScanContinue())
            return;
        std::optional<std::string> command;
        if (value.kind == AutorunValue::Kind::kString)
            command = value.data;
        else if (value.kind == AutorunValue::Kind::kExpandString)
            command = system_.ExpandEnvironment(value.data);
        if (!command)
            continue;
        if (const auto path = Resolve(ProgramOfCommand(*command, mb_)))
            Scan(*path);
    }
}

void AutorunScan::WalkIniEntries() {
    for (const AutorunIniRow& row : kAutorunIniRows) {
        if (!reporter_.ShouldScanContinue())
            return;
        const std::string text =
            system_.IniEntry(windows_folder_ + "\\" + std::string(row.file), row.section, row.key);
        for (const std::string& program : ProgramsOfIniEntry(row.key, text, mb_)) {
            if (const auto path = Resolve(program))
                Scan(*path);
        }
    }
}

void AutorunScan::WalkBatchFiles(const std::string& autoexec_path) {
    WalkBatchFile(windows_folder_ + "\\winstart.bat");
    WalkBatchFile(autoexec_path);
}

void AutorunScan::WalkBatchFile(const std::string& path) {
    if (!system_.Exists(path))
        return;
    system_.ReadLines(path, [&](std::string_view line) {
        if (!reporter_.ShouldScanContinue())
            return false;
        const auto word = CommandOfBatchLine(line, mb_);
        if (!word)
            return true;
        auto resolved = Resolve(*word);
        if (!resolved && !HoldsNoCase(*word, ".exe", mb_) && !HoldsNoCase(*word, ".com", mb_)) {
            resolved = Resolve(*word + ".exe");
            if (!resolved)
                resolved = Resolve(*word + ".com");
        }
        if (resolved)
            Scan(*resolved);
        return true;
    });
}

std::optional<std::string> AutorunScan::Resolve(const std::string& name) {
    if (name.empty())
        return std::nullopt;
    if (mb_.Find(name, '\\') != std::string::npos || mb_.Find(name, ':') != std::string::npos) {
        if (system_.Exists(name))
            return name;
        return std::nullopt;
    }
    return system_.FindOnSearchPath(name);
}

void AutorunScan::Scan(const std::string& path) {
    if (scanned_.insert(mb_.Lower(path)).second)
        scan_file_(path);
}

}  // namespace olvex
