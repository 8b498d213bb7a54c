// The place a logged or stored location names, in one case, as the tests
// count removals by it: a process by its id, a file (a cookie's too) or a
// folder by its path, a key with its value. An item of a session that keeps a
// key names the file it exported the key to, and one that keeps a folder each
// file of it: the key and the folder are the place.
#pragma once

#include <cctype>
#include <map>
#include <string>

#include "olvex/core/location_string.h"

namespace olvex::testing {

inline std::string PlaceOf(const std::string& location) {
    const auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    std::map<std::string, std::string> values;
    for (const auto& pair :
         ParseLocationString(location, MultiByteText::SingleByte(), kUnlimitedPairs).pairs)
        values[lower(pair.name)] = pair.value;
    if (values.count("processid"))
        return "process " + values["processid"];
    if (values.count("key"))
        return "key " + lower(values["key"]) + " value " + lower(values["value"]);
    if (values.count("folder"))
        return "folder " + lower(values["folder"]);
    return "file " + lower(values["file"]);
}

}  // namespace olvex::testing
