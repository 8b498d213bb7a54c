// Cursors over the pest database's tables, and the walk over its common
// locations (cookies, then registry keys, then files and folders) that the
// location iterators and GetFirstCommonLocation/GetNextCommonLocation serve.
//
// A cursor keeps the definition set it walks alive, so it stays valid
// whatever happens to the database meanwhile. Walks go by bucket, then
// chain. A cursor is a value: one thread at a time moves it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "olvex/core/dat_tables.h"

namespace olvex {

enum class DatTableKind { kPests, kCookies, kKeyLocations, kPathLocations };

class DatCursor {
  public:
    // The end cursor.
    DatCursor() = default;
    // On the first entry of that table of the set (the end cursor when the
    // table is empty or there is no set).
    DatCursor(std::shared_ptr<const DatTables> tables, DatTableKind kind);

    bool AtEnd() const { return !tables_ || index_ >= Size(); }
    // To the next entry; a cursor that runs off its table equals the end
    // cursor. The end cursor stays where it is.
    void Advance();

    // Copies of the entry under the cursor; nullopt at the end or when the
    // cursor walks another table.
    std::optional<DatPestEntry> GetPest() const;
    std::optional<DatCookieEntry> GetCookie() const;
    std::optional<DatKeyLocation> GetKeyLocation() const;
    std::optional<DatPathLocation> GetPathLocation() const;
    // The pest id of the entry under the cursor (the id it was loaded for).
    std::optional<std::int32_t> GetPestId() const;

    // Equal when both are at the end, or both stand on the same entry of the
    // same table.
    friend bool operator==(const DatCursor& a, const DatCursor& b);

  private:
    std::size_t Size() const;
    const void* TableIdentity() const;

    std::shared_ptr<const DatTables> tables_;
    DatTableKind kind_ = DatTableKind::kPests;
    std::size_t index_ = 0;
};

// The walk over common locations, in stages: 1 cookies, 2 registry keys,
// 3 files and folders, 0 the end. Entries whose location string cannot be
// written (a value holding a double quote, an empty cookie name) are passed
// over, so every entry the walk stops at has a location.
class DatLocationWalk {
  public:
    // The end walk: three end cursors, stage 0.
    DatLocationWalk() = default;
    // On the first entry of the first table that has one.
    explicit DatLocationWalk(std::shared_ptr<const DatTables> tables);

    int stage() const { return stage_; }
    bool AtEnd() const { return stage_ == 0; }

    struct Entry {
        std::int32_t pest_id = -1;
        std::string
            location;  // Cookie "...", Key "..." value "..." data "...", File or Folder "..."
    };
    // Nullopt at the end.
    std::optional<Entry> Value() const;
    // To the next entry; at the end nothing happens.
    void Next();

    // Equal when all three cursors are; the stage is not compared, so a walk
    // that went past its last entry equals the end walk.
    friend bool operator==(const DatLocationWalk& a, const DatLocationWalk& b) {
        return a.cookies_ == b.cookies_ && a.keys_ == b.keys_ && a.paths_ == b.paths_;
    }

  private:
    DatCursor& Current();
    // Moves on from a stage whose cursor reached the end, and past entries
    // without a location.
    void Settle();

    std::shared_ptr<const DatTables> tables_;
    DatCursor cookies_;
    DatCursor keys_;
    DatCursor paths_;
    int stage_ = 0;
};

}  // namespace olvex
