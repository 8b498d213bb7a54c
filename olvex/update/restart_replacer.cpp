#include "olvex/update/restart_replacer.h"

#include <windows.h>

namespace olvex {
namespace {

// The NT family's delayed move. A move at restart cannot cross volumes, so
// a source on another drive is first copied beside the target.
class DelayedMoveReplacer final : public RestartReplacer {
  public:
    bool ReplaceFileAtReboot(const std::string& source, const std::string& target) override {
        const auto colon_source = source.find(':');
        const auto colon_target = target.find(':');
        if (colon_source == std::string::npos || colon_target == std::string::npos)
            return false;
        std::string moved = source;
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, source.c_str(),
                           static_cast<int>(colon_source), target.c_str(),
                           static_cast<int>(colon_target)) != CSTR_EQUAL) {
            const auto dot = target.rfind('.');
            const auto slash = target.find_last_of("\\/");
            moved = (dot != std::string::npos && (slash == std::string::npos || dot > slash)
                         ? target.substr(0, dot)
                         : target) +
                    ".qzu";
            if (!CopyFileA(source.c_str(), moved.c_str(), FALSE))
                return false;
            DeleteFileA(source.c_str());
        }
        return MoveFileExA(moved.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    }
};

}  // namespace

std::unique_ptr<RestartReplacer> MakeSystemRestartReplacer() {
    return std::make_unique<DelayedMoveReplacer>();
}

}  // namespace olvex
