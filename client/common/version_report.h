// The facts of the About box as texts: the program's version as the box
// shows it, the version report that "Export Version Info" saves, and the
// file name the save dialog gave, mended when it doubled the extension.
#pragma once

#include <string>
#include <string_view>

namespace olvex {

// A product version in the comma form of the version resource ("5, 6, 7, 4")
// as shown: every comma a point, blanks kept ("5. 6. 7. 4").
std::string ProgramVersionText(std::string_view product_version);

// A path ending in the doubled extension (".txt.txt", in any case) ends in a
// single one; a path that is the doubled extension alone, or anything else,
// stays as it is.
std::string FixDoubledExtension(std::string_view path, std::string_view extension);

// The report's lines, each already with its caption.
struct VersionReport {
    std::string title;      // "Kelvan Gorsewatch Versions Report"
    std::string generated;  // "This report was generated on: " and the date and time
    std::string program;    // "Kelvan Gorsewatch Version:  " and the version
    std::string engine;     // "SDK Version:  " and the engine's version
    std::string qzfile;     // the definition lines as the box shows them
    std::string qzinfo;
    std::string qzloc;
    std::string end;  // "***End Report***"
};

// The report's text with "\n" line ends (written in text mode: CR LF on
// disk): the title followed by one line break, every other line by two.
std::string FormatVersionReport(const VersionReport& report);

}  // namespace olvex
