#include "olvex/update/restart_replacer.h"

#include "olvex/remedy/reboot_file_mover.h"

namespace olvex {
namespace {

// The engine's restart-time mover, made for each call so that it follows the
// platform the engine's OS-version source reports.
class RebootMoverReplacer final : public RestartReplacer {
  public:
    bool ReplaceFileAtReboot(const std::string& source, const std::string& target) override {
        return CRebootFileMover().ReplaceFileAtReboot(source, target);
    }
};

}  // namespace

std::unique_ptr<RestartReplacer> MakeSystemRestartReplacer() {
    return std::make_unique<RebootMoverReplacer>();
}

}  // namespace olvex
