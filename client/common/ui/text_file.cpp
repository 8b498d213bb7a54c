#include "client/common/ui/text_file.h"

#include <span>

namespace olvex::ui {

std::string TextFileError::Describe() const {
    const std::string quoted = "\"" + path + "\"";
    switch (problem) {
        case TextFileProblem::kNone:
            return {};
        case TextFileProblem::kCannotOpen:
            return "The file " + quoted +
                   " could not be opened. It may be missing, or another program may be using it.";
        case TextFileProblem::kCannotRead:
            return "The file " + quoted + " could not be read to its end.";
        case TextFileProblem::kTooLarge:
            return "The file " + quoted + " is too large to be read.";
        case TextFileProblem::kCannotCreate:
            return "The file " + quoted +
                   " could not be created. The folder may be missing or protected, or the file "
                   "may be read-only or in use by another program.";
        case TextFileProblem::kCannotWrite:
            return "The file " + quoted + " could not be written completely. The disk may be full.";
    }
    return {};
}

std::vector<std::string> SplitTextLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

TextFileLines ReadTextFileLines(const std::string& path, std::uint64_t max_bytes) {
    TextFileLines result;
    const FileBytes read = ReadWholeFile(path, max_bytes);
    if (!read) {
        const TextFileProblem problem =
            read.error == FileError::kTooLarge     ? TextFileProblem::kTooLarge
            : read.error == FileError::kReadFailed ? TextFileProblem::kCannotRead
                                                   : TextFileProblem::kCannotOpen;
        result.error = {problem, path};
        return result;
    }
    result.lines = SplitTextLines(
        std::string_view(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size()));
    return result;
}

TextFileError TextFileWriter::Create(const std::string& path) {
    path_ = path;
    error_ = {};
    if (file_.Create(path, CreateMode::kReplace) != FileError::kNone)
        Fail(TextFileProblem::kCannotCreate);
    return error_;
}

void TextFileWriter::Fail(TextFileProblem problem) {
    if (!error_)
        error_ = {problem, path_};
}

void TextFileWriter::Write(std::string_view text) {
    if (error_ || !file_.IsOpen())
        return;
    std::string out;
    out.reserve(text.size() + 16);
    for (const char c : text) {
        if (c == '\n')
            out.push_back('\r');
        out.push_back(c);
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(out.data());
    if (file_.Write(std::span(bytes, out.size())) != FileError::kNone)
        Fail(TextFileProblem::kCannotWrite);
}

TextFileError TextFileWriter::Close() {
    if (file_.IsOpen() && file_.Close() != FileError::kNone)
        Fail(TextFileProblem::kCannotWrite);
    return error_;
}

}  // namespace olvex::ui
