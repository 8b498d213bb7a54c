// A detected location as the command-line scanner's removal pass sees it on
// this machine: its kind and the place it names (for one removal per place),
// and whether anything is still there (a location found gone gets no removal
// and no log line). The location object of the engine parses the text.
#pragma once

#include <windows.h>

#include <string>

#include "client/common/removal_plan.h"
#include "olvex/olvex.h"

namespace olvex {

// The kind, tested in the order of the removal passes, and the place: a
// process by its id, a file, folder or cookie file by its full long path
// (the archive's path for an entry inside one), a registry item by its key
// and value; texts in one case.
LocationPlace PlaceOfLocation(ILocation& location, BSTR text);

// Whether anything is left at the location, as the engine judges it: a
// folder or file whose path cannot be found is gone, so is a key that does
// not exist or a value its key does not hold, and a process that has ended.
// Anything that cannot be judged counts as there (keys of other users'
// hives among them: the engine loads those hives itself).
bool IsLocationPresent(ILocation& location, BSTR text);

// A path as its full long form in lower case: two spellings of one file
// (short names, "..", another case) give one text.
std::string ComparablePath(const std::string& path);

}  // namespace olvex
