// Whether a file or folder is there, as the cookie and common-location scans
// ask it: a path that refuses the caller is told apart from one that is
// missing, because those scans report a refusal as "Access denied.".
#pragma once

#include <string>

namespace olvex {

enum class PathState {
    kPresent,       // its attributes can be read
    kMissing,       // any other failure
    kAccessDenied,  // the system refused access to it
};

class PathProbe {
  public:
    virtual ~PathProbe() = default;
    virtual PathState Probe(const std::string& path) = 0;
};

}  // namespace olvex
