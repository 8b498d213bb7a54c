// The install, uninstall and cleanup operations.
#pragma once

#include <cstdint>
#include <vector>

#include "setup/controller/setup_operation.h"

namespace olvex::setup {

class InstallOperation : public SetupOperation {
  public:
    explicit InstallOperation(const OperationContext& context);

    uint32_t Prepare() override;
    uint32_t SelectProducts() override;
    uint32_t Execute() override;
    void ClearProducts() override;
    void BuildProducts() override;

    // Selects every available product (all), or only those that passed
    // their checks, and tells the suite whether it runs several; 9005 when
    // none was selected.
    uint32_t SelectForInstall(bool all);
    int32_t available_count() const { return available_count_; }

  private:
    uint32_t ChooseProgramGroup();
    uint32_t ChooseDestinationAndGroup(DestinationChoice& choice);

    int32_t com_result_ = 0;
    bool com_initialized_ = false;
    int32_t available_count_ = 0;
};

class UninstallOperation : public SetupOperation {
  public:
    explicit UninstallOperation(const OperationContext& context);

    uint32_t Prepare() override;
    uint32_t SelectProducts() override;
    uint32_t Execute() override;
    void ClearProducts() override;
    void BuildProducts() override;

    int32_t installed_count() const { return installed_count_; }

  private:
    uint32_t ConfirmRemoval();

    int32_t installed_count_ = 0;
    // Members of a whole-suite package installed with version "0": only
    // their registration is removed.
    std::vector<Product*> registered_only_;
};

class CleanupOperation : public SetupOperation {
  public:
    explicit CleanupOperation(const OperationContext& context);

    uint32_t Prepare() override;
    uint32_t SelectProducts() override;
    uint32_t Execute() override;
    void ClearProducts() override;
    void BuildProducts() override;
};

// The package code of the setup source (string 22237), 140 when it has
// none.
uint32_t PackageCode(std::u16string_view text);

// An installed version that cannot be read or is empty counts as "0", the
// version of a product that is not installed.
bool IsVersionZero(Product& product);

}  // namespace olvex::setup
