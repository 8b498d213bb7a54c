// What the stand-in scripted remover (special_remover_standin.cpp) wrote:
// the lines of "qzcleanlog.csv" in the install folder above its own, in the
// activity log's format. The tests that start the stand-in read it through
// here, so that only this folder knows the client's log format.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "client/common/activity_log.h"

namespace olvex::testing {

inline std::vector<ActivityLogEntry> ReadSpecialRemoverLog(const std::filesystem::path& install) {
    std::ifstream in(install / "qzcleanlog.csv", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    int milliseconds = 0;
    return ParseActivityLog(text, milliseconds).entries;
}

}  // namespace olvex::testing
