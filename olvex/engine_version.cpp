// The engine's version, from the build's project version. Alone in its file
// so that a build of the engine under another version (the engine update
// tests publish one) can link its own in place of this one.
#include "olvex/core/module_registration.h"
#include "olvex/version.h"

namespace olvex {

const char* EngineVersionText() {
    return OLVEX_VERSION_TEXT;
}

DottedVersion EngineVersion() {
    return {OLVEX_VERSION_MAJOR, OLVEX_VERSION_MINOR, OLVEX_VERSION_PATCH, OLVEX_VERSION_BUILD};
}

}  // namespace olvex
