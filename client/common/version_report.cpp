#include "client/common/version_report.h"

#include <algorithm>
#include <cctype>

namespace olvex {

std::string ProgramVersionText(std::string_view product_version) {
    std::string text(product_version);
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

std::string FixDoubledExtension(std::string_view path, std::string_view extension) {
    const std::string single = "." + std::string(extension);
    const std::string doubled = single + single;
    if (path.size() <= doubled.size())
        return std::string(path);
    const std::string_view ending = path.substr(path.size() - doubled.size());
    const bool same = std::equal(ending.begin(), ending.end(), doubled.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
    if (!same)
        return std::string(path);
    return std::string(path.substr(0, path.size() - doubled.size())) + single;
}

std::string FormatVersionReport(const VersionReport& report) {
    std::string text = report.title + "\n";
    for (const std::string* line : {&report.generated, &report.program, &report.engine,
                                    &report.qzfile, &report.qzinfo, &report.qzloc, &report.end})
        text += *line + "\n\n";
    return text;
}

}  // namespace olvex
