#include "setup/core/setup_seams.h"

namespace olvex::setup {

SetupSeams& Seams() {
    static SetupSeams seams;
    return seams;
}

}  // namespace olvex::setup
