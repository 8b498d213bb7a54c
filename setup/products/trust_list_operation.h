// The trust-list run (mode 4): the programs of every installed member of
// the suite go onto the firewall's trust list; a copy running as
// "trustadd.exe" then removes itself.
#pragma once

#include "setup/controller/setup_operation.h"

namespace olvex::setup {

class TrustListOperation : public SetupOperation {
  public:
    explicit TrustListOperation(const OperationContext& context);

    uint32_t Prepare() override;
    uint32_t SelectProducts() override;
    uint32_t Execute() override;
    void ClearProducts() override;
    void BuildProducts() override;
};

}  // namespace olvex::setup
