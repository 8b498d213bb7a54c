#include "olvex/core/dat_cursor.h"

#include <utility>

#include "olvex/core/location_builder.h"

namespace olvex {

DatCursor::DatCursor(std::shared_ptr<const DatTables> tables, DatTableKind kind)
    : tables_(std::move(tables)), kind_(kind) {}

std::size_t DatCursor::Size() const {
    if (!tables_)
        return 0;
    switch (kind_) {
        case DatTableKind::kPests:
            return tables_->PestCount();
        case DatTableKind::kCookies:
            return tables_->CookieCount();
        case DatTableKind::kKeyLocations:
            return tables_->KeyCount();
        case DatTableKind::kPathLocations:
            return tables_->PathCount();
    }
    return 0;
}

const void* DatCursor::TableIdentity() const {
    switch (kind_) {
        case DatTableKind::kPests:
            return &tables_->pest_tables()->pests;
        case DatTableKind::kCookies:
            return &tables_->location_tables()->cookies;
        case DatTableKind::kKeyLocations:
            return &tables_->location_tables()->keys;
        case DatTableKind::kPathLocations:
            return &tables_->location_tables()->paths;
    }
    return nullptr;
}

void DatCursor::Advance() {
    if (!AtEnd())
        ++index_;
}

std::optional<DatPestEntry> DatCursor::GetPest() const {
    if (AtEnd() || kind_ != DatTableKind::kPests)
        return std::nullopt;
    return tables_->PestAt(index_);
}

std::optional<DatCookieEntry> DatCursor::GetCookie() const {
    if (AtEnd() || kind_ != DatTableKind::kCookies)
        return std::nullopt;
    return tables_->CookieAt(index_);
}

std::optional<DatKeyLocation> DatCursor::GetKeyLocation() const {
    if (AtEnd() || kind_ != DatTableKind::kKeyLocations)
        return std::nullopt;
    return tables_->KeyAt(index_);
}

std::optional<DatPathLocation> DatCursor::GetPathLocation() const {
    if (AtEnd() || kind_ != DatTableKind::kPathLocations)
        return std::nullopt;
    return tables_->PathAt(index_);
}

std::optional<std::int32_t> DatCursor::GetPestId() const {
    if (AtEnd())
        return std::nullopt;
    switch (kind_) {
        case DatTableKind::kPests:
            return tables_->pest_tables()->pests.rows[index_].pest_id;
        case DatTableKind::kCookies:
            return tables_->location_tables()->cookies.rows[index_].pest_id;
        case DatTableKind::kKeyLocations:
            return tables_->location_tables()->keys.rows[index_].pest_id;
        case DatTableKind::kPathLocations:
            return tables_->location_tables()->paths.rows[index_].pest_id;
    }
    return std::nullopt;
}

bool operator==(const DatCursor& a, const DatCursor& b) {
    const bool a_end = a.AtEnd();
    const bool b_end = b.AtEnd();
    if (a_end || b_end)
        return a_end == b_end;
    return a.kind_ == b.kind_ && a.TableIdentity() == b.TableIdentity() && a.index_ == b.index_;
}

DatLocationWalk::DatLocationWalk(std::shared_ptr<const DatTables> tables)
    : tables_(std::move(tables)),
      cookies_(tables_, DatTableKind::kCookies),
      keys_(tables_, DatTableKind::kKeyLocations),
      paths_(tables_, DatTableKind::kPathLocations),
      stage_(1) {
    Settle();
}

DatCursor& DatLocationWalk::Current() {
    return stage_ == 1 ? cookies_ : stage_ == 2 ? keys_ : paths_;
}

std::optional<DatLocationWalk::Entry> DatLocationWalk::Value() const {
    if (stage_ == 0)
        return std::nullopt;
    const MultiByteText& mb = tables_->text();
    std::optional<std::string> location;
    std::optional<std::int32_t> pest_id;
    if (stage_ == 1) {
        const auto cookie = cookies_.GetCookie();
        location = BuildCookieLocation(cookie->name, mb);
        pest_id = cookie->pest_id;
    } else if (stage_ == 2) {
        const auto key = keys_.GetKeyLocation();
        location = BuildRegistryLocation(key->key, key->value, key->data, mb);
        pest_id = key->pest_id;
    } else {
        const auto path = paths_.GetPathLocation();
        location = path->is_folder ? BuildFolderLocation(path->path, mb)
                                   : BuildFileLocation(path->path, mb);
        pest_id = path->pest_id;
    }
    if (!location)
        return std::nullopt;
    return Entry{*pest_id, std::move(*location)};
}

void DatLocationWalk::Next() {
    if (stage_ == 0)
        return;
    Current().Advance();
    Settle();
}

void DatLocationWalk::Settle() {
    while (stage_ != 0) {
        if (Current().AtEnd()) {
            stage_ = stage_ == 3 ? 0 : stage_ + 1;
            continue;
        }
        if (Value())
            return;
        Current().Advance();
    }
}

}  // namespace olvex
