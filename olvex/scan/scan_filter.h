// The scan filters of the file scans: which files (and archive entries) are
// looked at, by "*"/"?" patterns on the upper-cased path, each pattern
// optionally led by "!" to keep matching files out. Portable: texts only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/multibyte_text.h"

namespace olvex {

// Longest pattern a filter string may hold.
inline constexpr std::size_t kMaxScanFilterPattern = 259;
inline constexpr std::string_view kDefaultScanFilter = "*.*";

// ASCII letters raised; double-byte characters left alone.
std::string UpperCaseText(std::string_view text, const MultiByteText& mb);

// "?" matches any one character, "*" any run of characters (none included);
// every other character only itself. Both texts are compared as given (the
// callers upper-case them). Runs in time proportional to the product of the
// lengths at worst, never exponentially.
bool WildcardMatch(std::string_view pattern, std::string_view text, const MultiByteText& mb);

class ScanFilterList {
  public:
    explicit ScanFilterList(const MultiByteText& mb) : mb_(mb) {}

    // Replaces the list with the patterns of a filter string: pieces split
    // at ";" (empty pieces skipped), upper-cased. A piece longer than 259
    // characters adds "*.*" in its place and ends the parse with false; the
    // pieces before it stay. An empty string leaves the list empty.
    bool Parse(std::string_view filters);

    // Whether a path (or an archive entry name) passes: patterns in order;
    // a positive one that matches makes the answer true, a negative one
    // that matches ends it false. A path with no "." (or whose first "." is
    // its last character) passes at the first pattern holding ".*".
    bool Matches(std::string_view path) const;

    const std::vector<std::string>& Patterns() const { return patterns_; }

  private:
    MultiByteText mb_;
    std::vector<std::string> patterns_;
};

// A file name the file scans treat as a cookie: in lower case it holds "@"
// and ".txt".
bool IsCookieFileName(std::string_view name, const MultiByteText& mb);

// The text after the last backslash (the whole text when there is none).
std::string_view FileNameOfPath(std::string_view path, const MultiByteText& mb);

}  // namespace olvex
