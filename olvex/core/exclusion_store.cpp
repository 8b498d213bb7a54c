#include "olvex/core/exclusion_store.h"

#include <chrono>
#include <thread>

#include "olvex/core/exclusion_file.h"
#include "olvex/core/file_io.h"
#include "olvex/core/locked_file.h"

namespace olvex {
namespace {

bool SameVersion(const FileStampResult& a, const FileStampResult& b) {
    return a.status == b.status && (a.status != FileStampStatus::kFound || a.stamp == b.stamp);
}

// Puts bytes in place as the file at path: written whole to a new file in
// the same folder, then renamed over the old one. written is the stamp of
// the version put in place.
ExclusionError WriteVersion(const std::string& path, std::span<const std::uint8_t> bytes,
                            FileStampResult& written) {
    OutputFile out;
    const auto sibling = CreateUniqueSibling(path, out);
    if (!sibling)
        return ExclusionError::kWriteOpenFailed;
    const std::string& temporary = *sibling;
    bool ok = out.Write(bytes) == FileError::kNone;
    ok = ok && out.Flush() == FileError::kNone;
    ok = out.Close() == FileError::kNone && ok;
    if (ok) {
        written = GetFileStamp(temporary);
        // A reader of the old version may hold it open for a moment.
        ok = false;
        for (int attempt = 0; attempt < 5 && !ok; ++attempt) {
            if (attempt > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(50 << attempt));
            ok = MoveFileReplacing(temporary, path);
        }
    }
    if (!ok) {
        RemoveFile(temporary);
        return ExclusionError::kWriteFailed;
    }
    return ExclusionError::kNone;
}

}  // namespace

std::string_view ExclusionErrorText(ExclusionError error) {
    switch (error) {
        case ExclusionError::kNone:
            return "Success";
        case ExclusionError::kOpenFailed:
            return "Error opening exclusions database.";
        case ExclusionError::kReadFailed:
            return "Error reading exclusions file.";
        case ExclusionError::kWriteOpenFailed:
            return "Error opening exclusions database for writing.";
        case ExclusionError::kWriteFailed:
            return "Error writing exclusions database.";
        case ExclusionError::kNotFound:
            return "Item requested for removal is not in exclusions database.";
        case ExclusionError::kUnstorable:
            return "Exclusion text is empty or holds a line break.";
    }
    return "Error writing exclusions database.";
}

ExclusionError ExclusionStore::Open(const std::string& path, const std::string& old_path) {
    path_ = path;
    old_path_ = old_path;
    reading_old_ = false;
    seen_.reset();
    last_check_.reset();
    exclusions_.clear();

    if (GetFileStamp(path_).status == FileStampStatus::kMissing &&
        GetFileStamp(old_path_).status == FileStampStatus::kFound) {
        FileBytes plain = ReadSharedFile(old_path_, kMaxExclusionFileBytes);
        FileStampResult written;
        if (plain && WriteVersion(path_, ConvertOldExclusionFile(plain.bytes), written) ==
                         ExclusionError::kNone) {
            // From now on the new file is the one read; an older file that
            // cannot be removed is merely left over.
            RemoveFile(old_path_);
        } else if (GetFileStamp(path_).status != FileStampStatus::kFound) {
            // (Unless another process has just converted it.)
            reading_old_ = true;
        }
    }
    if (!reading_old_ && GetFileStamp(path_).status == FileStampStatus::kMissing) {
        OutputFile empty;
        FileError created = empty.Create(path_, CreateMode::kNew);
        if (created == FileError::kNone)
            created = empty.Close();
        // Another process may have made it meanwhile.
        if (created != FileError::kNone && created != FileError::kExists)
            return ExclusionError::kOpenFailed;
    }
    const ExclusionError read = ReadCurrent();
    if (read != ExclusionError::kNone)
        exclusions_.clear();
    return read;
}

ExclusionError ExclusionStore::ReadCurrent() {
    const std::string& source = reading_old_ ? old_path_ : path_;
    // Stamped before reading: a change made after it is seen at the next look.
    const FileStampResult stamp = GetFileStamp(source);
    const FileBytes bytes = ReadSharedFile(source, kMaxExclusionFileBytes);
    if (!bytes) {
        return bytes.error == FileError::kNotFound ? ExclusionError::kOpenFailed
                                                   : ExclusionError::kReadFailed;
    }
    if (reading_old_) {
        Take(SplitExclusionLines(std::string_view(reinterpret_cast<const char*>(bytes.bytes.data()),
                                                  bytes.bytes.size())));
    } else {
        Take(DecodeExclusionFile(bytes.bytes));
    }
    seen_ = stamp;
    return ExclusionError::kNone;
}

ExclusionError ExclusionStore::ReloadIfChanged() {
    if (reading_old_ && GetFileStamp(path_).status == FileStampStatus::kFound) {
        // Another process converted the older file.
        reading_old_ = false;
        seen_.reset();
    }
    const FileStampResult now = GetFileStamp(reading_old_ ? old_path_ : path_);
    if (seen_ && SameVersion(now, *seen_))
        return ExclusionError::kNone;
    if (now.status == FileStampStatus::kMissing) {
        // Deleted by someone: no exclusions until one is added again.
        Take({});
        seen_ = now;
        return ExclusionError::kNone;
    }
    return ReadCurrent();
}

void ExclusionStore::Refresh(std::int64_t now) {
    if (last_check_ && now >= *last_check_ && now - *last_check_ < kExclusionFreshnessSeconds)
        return;
    last_check_ = now;
    // A version that cannot be read now is tried again at the next look.
    ReloadIfChanged();
}

ExclusionError ExclusionStore::Add(std::string_view text) {
    if (!IsStorableExclusion(text))
        return ExclusionError::kUnstorable;
    if (const ExclusionError error = ReloadIfChanged(); error != ExclusionError::kNone)
        return error;
    std::vector<std::string> texts = Texts();
    texts.emplace_back(text);
    if (const ExclusionError error = Store(texts); error != ExclusionError::kNone)
        return error;
    Take(texts);
    return ExclusionError::kNone;
}

ExclusionError ExclusionStore::Remove(std::string_view text) {
    if (const ExclusionError error = ReloadIfChanged(); error != ExclusionError::kNone)
        return error;
    const std::string lowered = mb_.Lower(text);
    std::vector<std::string> kept;
    for (const auto& exclusion : exclusions_) {
        if (mb_.Lower(exclusion.GetString()) != lowered)
            kept.push_back(exclusion.GetString());
    }
    if (kept.size() == exclusions_.size())
        return ExclusionError::kNotFound;
    if (const ExclusionError error = Store(kept); error != ExclusionError::kNone)
        return error;
    Take(kept);
    return ExclusionError::kNone;
}

ExclusionError ExclusionStore::RemoveAll() {
    // An empty file rather than none: other processes see the change, and an
    // older file left beside it can never come back in its place.
    if (const ExclusionError error = Store({}); error != ExclusionError::kNone)
        return error;
    Take({});
    return ExclusionError::kNone;
}

ExclusionError ExclusionStore::Store(const std::vector<std::string>& texts) {
    FileStampResult written;
    if (const ExclusionError error = WriteVersion(path_, EncodeExclusionFile(texts), written);
        error != ExclusionError::kNone)
        return error;
    seen_ = written;
    if (reading_old_) {
        // The new file now holds everything the older one did: the
        // conversion is complete.
        reading_old_ = false;
        RemoveFile(old_path_);
    }
    return ExclusionError::kNone;
}

void ExclusionStore::Take(const std::vector<std::string>& texts) {
    std::vector<AttributeList> exclusions;
    exclusions.reserve(texts.size());
    for (const auto& text : texts) {
        exclusions.emplace_back(mb_);
        exclusions.back().SetString(text);
    }
    exclusions_ = std::move(exclusions);
}

std::vector<std::string> ExclusionStore::Texts() const {
    std::vector<std::string> texts;
    texts.reserve(exclusions_.size());
    for (const auto& exclusion : exclusions_)
        texts.push_back(exclusion.GetString());
    return texts;
}

}  // namespace olvex
