// What an operation needs of the machine and of the user, on Windows: COM,
// the dialog framework, the setup dialogs, the progress window, the
// destination check and the clean-up copy's own removal.
#pragma once

#include "setup/controller/setup_operation.h"

namespace olvex::setup {

class WindowsOperationHost : public OperationHost {
  public:
    int32_t InitializeCom() override;
    void UninitializeCom() override;
    uint32_t InitializeFramework() override;
    void UnloadFramework() override;
    uint32_t LoadRichEdit() override;
    void FreeRichEdit() override;
    uint32_t ShowAgreement(void* owner) override;
    uint32_t ShowProductSelection(void* owner) override;
    int32_t ShowDestinationDialog(void* owner, DestinationChoice& choice) override;
    void ShowComponentDownload(void* owner) override;
    void ShowWinsockDownload(void* owner, std::u16string_view product_name) override;
    int32_t MessageBoxById(void* owner, uint32_t text_id, uint32_t caption_id,
                           int32_t type) override;
    int32_t ShowMessageBox(void* owner, std::u16string_view text, std::u16string_view caption,
                           int32_t type) override;
    void MakeTopmost(void* window) override;
    void StartProgress(void* owner, int32_t steps) override;
    void StopProgress() override;
    std::u16string ProgramFilesFolder() override;
    DestinationCode ValidateDestination(std::u16string_view path, bool check_others,
                                        std::vector<std::u16string> installed_folders) override;
    std::u16string ModuleFileName() override;
    void RemoveCleanupCopies() override;
    std::vector<std::u16string> RestartWork() override;

  private:
    void* rich_edit_ = nullptr;
};

}  // namespace olvex::setup
