// Text files of the client programs (reports, histories): lines end in CR LF
// on disk. A failure names what went wrong and the file, so that the one
// file-error box (file_error_box.h) can tell the user both.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/file_io.h"

namespace olvex::ui {

enum class TextFileProblem {
    kNone,
    kCannotOpen,    // missing, protected or held by another program
    kCannotRead,    // opened, but reading failed
    kTooLarge,      // larger than the reader accepts
    kCannotCreate,  // the file cannot be made or emptied
    kCannotWrite,   // made, but the text could not all be written
};

struct TextFileError {
    TextFileProblem problem = TextFileProblem::kNone;
    std::string path;

    explicit operator bool() const { return problem != TextFileProblem::kNone; }
    // One sentence in the product's words, the path in quotes.
    std::string Describe() const;
};

struct TextFileLines {
    TextFileError error;
    std::vector<std::string> lines;
};

// The lines of a text file without their ends. A line ends at CR LF, or at a
// lone LF (files edited elsewhere); a last line without an end counts too.
// Files larger than max_bytes are refused rather than read in part.
TextFileLines ReadTextFileLines(const std::string& path,
                                std::uint64_t max_bytes = 64ull * 1024 * 1024);

// Splits text as ReadTextFileLines does.
std::vector<std::string> SplitTextLines(std::string_view text);

// Writes a text file from the start, as text mode does: every "\n" goes out
// as CR LF. The first error sticks: later writes do nothing and Close
// reports it, so a caller may write a whole report and look once.
class TextFileWriter {
  public:
    TextFileError Create(const std::string& path);
    void Write(std::string_view text);
    void WriteLine(std::string_view line) {
        Write(line);
        Write("\n");
    }
    // Writes what is left and closes; the first error of the file's life.
    TextFileError Close();
    const TextFileError& error() const { return error_; }

  private:
    void Fail(TextFileProblem problem);

    OutputFile file_;
    std::string path_;
    TextFileError error_;
};

}  // namespace olvex::ui
