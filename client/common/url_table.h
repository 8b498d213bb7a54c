// The URL table "URLs.ini": a scrambled file (scrambled_file.h) whose text
// lines are a key, "=" and a web address. Every address a client program
// opens or posts to can be overridden in it; a caller whose key is missing
// uses its own built-in address.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace olvex {

inline constexpr std::string_view kUrlTableFileName = "URLs.ini";

// The address for key in the decoded table text: the first line whose key
// part (the text before its first "=", or the whole line when it has none)
// contains key, case mattering; the address is the text after that "=" (the
// whole line when there is none) with trailing white space removed. Lines end
// at a line feed, a carriage return before it is dropped. Nullopt when no line
// holds the key, or key is empty.
std::optional<std::string> FindUrlInTable(std::string_view table, std::string_view key);

// The address a link opens: the table's when it names a web page ("http://"
// or "https://", in any case), else the built-in one. Every program that
// hands a table address to the shell goes through this, so that an edited
// table can never make a menu item or link start a program or open a file.
std::string ChooseLinkAddress(const std::optional<std::string>& from_table,
                              std::string_view built_in);

struct UrlLookup {
    bool table_read = false;  // the table could be read, its check held and it is not empty
    std::optional<std::string> address;
};

// Reads the scrambled table at path, decodes it in memory (the file is never
// changed) and looks key up.
UrlLookup LookupUrl(const std::string& table_path, std::string_view key);

}  // namespace olvex
