// One run of the setup controller executes one operation: install,
// uninstall, cleanup or trust list. An operation owns the product handlers
// it works on, drives them through their operations in a fixed order, turns
// every failure code into what the log and the user see, and may end by
// asking to restart Windows. It runs whole on the worker thread; what it
// needs of the machine and of the user comes through an OperationHost.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/controller/product.h"
#include "setup/core/destination_path.h"

namespace olvex::setup {

class SetupLogger;
class SetupOptions;
class DestinationChoice;

inline constexpr uint32_t kResultComFailed = 9002;
inline constexpr uint32_t kResultNoFramework = 9003;
inline constexpr uint32_t kResultFrameworkStrings = 9004;
inline constexpr uint32_t kResultNothingSelected = 9005;
inline constexpr uint32_t kResultComponentMissing = 9006;
inline constexpr uint32_t kResultNoRichEdit = 9008;
inline constexpr uint32_t kResultNoneInstallable = 9010;
inline constexpr uint32_t kResultNoWinsock = 9014;
inline constexpr uint32_t kResultCancelled = 9017;
inline constexpr uint32_t kResultAgreementRefused = 9018;
inline constexpr uint32_t kResultDestinationRefused = 9019;
inline constexpr uint32_t kResultCompetitorKept = 9021;
inline constexpr uint32_t kResultTrustList = 9036;
inline constexpr uint32_t kResultNothingInstalled = 9037;
inline constexpr uint32_t kResultNoneRemovable = 9038;
inline constexpr uint32_t kResultOtherSetupRuns = 9044;

// Report levels of ReportResult: 1 fatal, 2 warning, 3 information, 0 and
// 4 nothing shown; any other value (callers use -1) counts as fatal.
inline constexpr int32_t kReportFatal = -1;

// What an operation needs of the machine and of the user. Dialogs and boxes
// are modal over the owner window (the main window).
class OperationHost {
  public:
    virtual ~OperationHost() = default;

    // The HRESULT of CoInitialize on the worker thread, and its undoing.
    virtual int32_t InitializeCom() = 0;
    virtual void UninitializeCom() = 0;
    // The dialog framework: 0, 9003 (no library or an entry missing) or 9004
    // (its resource DLLs lack the setup's strings).
    virtual uint32_t InitializeFramework() = 0;
    virtual void UnloadFramework() = 0;
    // RICHED20.DLL for the agreement: 0, or the Win32 error.
    virtual uint32_t LoadRichEdit() = 0;
    virtual void FreeRichEdit() = 0;

    // 0, or 9018 when the agreement was not accepted.
    virtual uint32_t ShowAgreement(void* owner) = 0;
    // 0, or 9017 when cancelled.
    virtual uint32_t ShowProductSelection(void* owner) = 0;
    // The destination dialog's result: above 0 when a folder was accepted.
    virtual int32_t ShowDestinationDialog(void* owner, DestinationChoice& choice) = 0;
    virtual void ShowComponentDownload(void* owner) = 0;
    virtual void ShowWinsockDownload(void* owner, std::u16string_view product_name) = 0;
    // A framework message box by string ids; the button pressed, -1 when
    // none could be shown.
    virtual int32_t MessageBoxById(void* owner, uint32_t text_id, uint32_t caption_id,
                                   int32_t type) = 0;
    virtual int32_t ShowMessageBox(void* owner, std::u16string_view text,
                                   std::u16string_view caption, int32_t type) = 0;
    virtual void MakeTopmost(void* window) = 0;

    virtual void StartProgress(void* owner, int32_t steps) = 0;
    virtual void StopProgress() = 0;

    // The Program Files folder; empty when it cannot be had.
    virtual std::u16string ProgramFilesFolder() = 0;
    // The destination check on this machine, a refusal reported (message
    // 25025 at level 3).
    virtual DestinationCode ValidateDestination(std::u16string_view path, bool check_others,
                                                std::vector<std::u16string> installed_folders) = 0;

    // The running program's file name.
    virtual std::u16string ModuleFileName() = 0;
    // A cleanup copy's own traces: its file (at the next restart when busy)
    // and every "xjcu_*.exe" beside it.
    virtual void RemoveCleanupCopies() = 0;
    // What waits for the next start of Windows, one text an item: files to
    // rename or delete then, programs to run once.
    virtual std::vector<std::u16string> RestartWork() = 0;
};

struct OperationContext {
    SetupOptions& options;
    SetupLogger& logger;
    OperationHost& host;
    ProductFactory& products;
};

class SetupOperation {
  public:
    SetupOperation(const OperationContext& context, int32_t mode);
    virtual ~SetupOperation();
    SetupOperation(const SetupOperation&) = delete;
    SetupOperation& operator=(const SetupOperation&) = delete;

    // The five slots. Each one does its work only while no result is set.
    virtual uint32_t Prepare() = 0;
    virtual uint32_t SelectProducts() = 0;
    virtual uint32_t Execute() = 0;
    virtual void ClearProducts() = 0;
    virtual void BuildProducts() = 0;

    // Reports a result code (9002-9043; others are ignored) with the text
    // the failing step left and the product's name, at a level; a fatal
    // report becomes the result when none is set yet.
    void ReportResult(uint32_t code, std::optional<std::u16string_view> text = std::nullopt,
                      std::optional<std::u16string_view> name = std::nullopt,
                      int32_t level = kReportFatal);
    // At display level 2 and above: the main window comes to the top, and
    // unless /NoReboot, when the run left something for the restart
    // (RestartNeeded), the user is asked (string text_id, Yes or No) whether
    // to restart now.
    void AskReboot(uint32_t text_id);
    // A product's installer or uninstaller asked for a restart.
    void RequestRestart() { restart_requested_ = true; }
    // Asked for, or work waiting for the restart that did not wait when the
    // operation began.
    bool RestartNeeded() const;

    int32_t mode() const { return mode_; }
    uint32_t result() const { return result_.load(); }
    // What the run exits with: the result, else the first product that
    // failed as a warning. A run in which a product failed never exits 0.
    uint32_t ExitCode() const;
    bool finished() const { return finished_.load(); }
    void SetFinished() { finished_.store(true); }
    bool reboot() const { return reboot_; }

    void* window() const { return window_; }
    void SetWindow(void* window) { window_ = window; }
    uint32_t main_thread_id() const { return main_thread_id_; }
    void SetMainThreadId(uint32_t id) { main_thread_id_ = id; }

    const std::vector<Product*>& products() const { return products_; }
    const OperationContext& context() const { return context_; }

    int32_t count = 0;           // products that passed their checks
    int32_t selected_count = 0;  // selected at the start of Execute
    int32_t done_count = 0;
    int32_t failed_count = 0;

  protected:
    // Sets the result unless one is set.
    void NoteResult(uint32_t code);
    // Adds a handler the list owns, or the suite object, which it never
    // owns.
    void AddProduct(std::unique_ptr<Product> product);
    void AddSuite(SuiteProduct& suite);
    // Deletes every product the list owns and empties the list.
    void DeleteProducts();
    int32_t CountSelected() const;
    // The suite's name, for its reports.
    std::u16string SuiteName();
    SuiteProduct& suite() { return context_.products.Suite(); }
    int32_t display_level() const;

  private:
    const OperationContext context_;
    const int32_t mode_;
    std::atomic<bool> finished_{false};
    std::atomic<uint32_t> result_{0};
    uint32_t first_product_failure_ = 0;
    bool reboot_ = false;
    bool restart_requested_ = false;
    const std::vector<std::u16string> restart_work_before_;
    void* window_ = nullptr;
    uint32_t main_thread_id_ = 0;
    std::vector<Product*> products_;
    std::vector<std::unique_ptr<Product>> owned_;
};

// The operation for the mode (uninstall 2, cleanup 3, trust list 4, install
// for any other); the earlier one is destroyed first. Null when none could
// be made.
SetupOperation* CreateOperation(int32_t mode, const OperationContext& context);
void DestroyOperation();
// The running operation; null when none.
SetupOperation* GetCurrentOperation();

}  // namespace olvex::setup
