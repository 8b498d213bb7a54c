// What the operations' native tests share: an operation host that records
// what it was asked and answers as the test chooses, the fake products, and
// the logger and options of one test run.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "setup/controller/destination_choice.h"
#include "setup/controller/fake_products.h"
#include "setup/controller/setup_operation.h"
#include "setup/core/destination_path.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_test_support.h"

namespace olvex::setup::testing {

class RecordingOperationHost : public OperationHost {
  public:
    explicit RecordingOperationHost(std::vector<std::string>& calls) : calls_(calls) {}

    int32_t InitializeCom() override { return Call("InitializeCom", com_result); }
    void UninitializeCom() override { Call("UninitializeCom", 0); }
    uint32_t InitializeFramework() override { return Call("InitializeFramework", framework); }
    void UnloadFramework() override { Call("UnloadFramework", 0); }
    uint32_t LoadRichEdit() override { return Call("LoadRichEdit", rich_edit); }
    void FreeRichEdit() override { Call("FreeRichEdit", 0); }
    uint32_t ShowAgreement(void*) override { return Call("ShowAgreement", agreement); }
    uint32_t ShowProductSelection(void*) override {
        if (on_selection) {
            on_selection();
        }
        return Call("ShowProductSelection", selection);
    }
    int32_t ShowDestinationDialog(void*, DestinationChoice& choice) override {
        Call("ShowDestinationDialog", 0);
        // Without a test's own answer the user takes the folder offered.
        if (on_destination_dialog) {
            return on_destination_dialog(choice);
        }
        return choice.AcceptFromDialog(choice.destination()) == 0 ? 1 : 0;
    }
    void ShowComponentDownload(void*) override { Call("ShowComponentDownload", 0); }
    void ShowWinsockDownload(void*, std::u16string_view name) override {
        Call("ShowWinsockDownload " + Utf8(name), 0);
    }
    int32_t MessageBoxById(void*, uint32_t text_id, uint32_t caption_id, int32_t type) override {
        return Call("MessageBoxById " + std::to_string(text_id) + " " + std::to_string(caption_id) +
                        " " + std::to_string(type),
                    box_answer);
    }
    int32_t ShowMessageBox(void*, std::u16string_view text, std::u16string_view caption,
                           int32_t type) override {
        return Call(
            "ShowMessageBox " + Utf8(caption) + " | " + Utf8(text) + " | " + std::to_string(type),
            box_answer);
    }
    void MakeTopmost(void*) override { Call("MakeTopmost", 0); }
    void StartProgress(void*, int32_t steps) override {
        Call("StartProgress " + std::to_string(steps), 0);
    }
    void StopProgress() override { Call("StopProgress", 0); }
    std::u16string ProgramFilesFolder() override { return program_files; }
    DestinationCode ValidateDestination(std::u16string_view path, bool check_others,
                                        std::vector<std::u16string> installed_folders) override {
        std::string folders;
        for (const auto& folder : installed_folders) {
            folders += " " + Utf8(folder);
        }
        Call("ValidateDestination " + Utf8(path) + (check_others ? " others" : " alone") + folders,
             0);
        return validate ? validate(path) : kDestinationAccepted;
    }
    std::u16string ModuleFileName() override { return module_name; }
    void RemoveCleanupCopies() override { Call("RemoveCleanupCopies", 0); }
    std::vector<std::u16string> RestartWork() override { return restart_work; }

    int32_t com_result = 0;
    uint32_t framework = 0;
    uint32_t rich_edit = 0;
    uint32_t agreement = 0;
    uint32_t selection = 0;
    int32_t box_answer = 1;
    std::u16string program_files = u"C:\\Program Files";
    std::u16string module_name = u"Tramlet.exe";
    std::function<DestinationCode(std::u16string_view)> validate;
    std::function<int32_t(DestinationChoice&)> on_destination_dialog;
    std::function<void()> on_selection;
    std::vector<std::u16string> restart_work;  // what waits for the restart

  private:
    template <class T>
    T Call(const std::string& name, T answer) {
        calls_.push_back(name);
        return answer;
    }
    std::vector<std::string>& calls_;
};

// One run's world: options, a logger writing into memory, the host, the
// fake products (suite "Suite"), every call in one list.
struct SetupRun {
    explicit SetupRun(int32_t mode = kModeInstall) : options(u"Tramlet.exe") {
        options.mode = mode;
        log.strings[22237] = u"140";
    }
    ~SetupRun() { DestroyOperation(); }

    // Adds a member with a spec of its own (its codes set for the kind).
    fakes::ProductSpec& Member(ProductKind kind, const std::string& name) {
        fakes::ProductSpec spec;
        spec.name = name;
        spec.code = spec.package_code = CodeOf(kind);
        return factory.members[kind] = spec;
    }
    static uint32_t CodeOf(ProductKind kind) {
        switch (kind) {
            case ProductKind::kAntiSpyware:
                return kCodeAntiSpyware;
            case ProductKind::kAntiSpam:
                return kCodeAntiSpam;
            case ProductKind::kAntivirus:
                return kCodeAntivirus;
            case ProductKind::kFirewall:
                return kCodeFirewall;
            case ProductKind::kFirewallUpgrade:
                return kCodeFirewallUpgrade;
        }
        return 0;
    }

    // Runs the four slots as the worker thread does; the exit code.
    uint32_t Go() {
        SetupOperation* operation = CreateOperation(options.mode, context);
        if (!operation) {
            return 0;
        }
        operation->Prepare();
        operation->SelectProducts();
        operation->Execute();
        operation->ClearProducts();
        operation->SetFinished();
        return operation->ExitCode();
    }
    SetupOperation& operation() { return *GetCurrentOperation(); }

    // The calls that name a product's steps, and the rest.
    std::vector<std::string> Calls(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& call : calls) {
            if (call.rfind(prefix, 0) == 0) {
                found.push_back(call);
            }
        }
        return found;
    }
    bool Called(const std::string& call) const {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    std::vector<std::string> LogLines() const { return log.Lines(logger.path()); }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& box : log.boxes) {
            texts.push_back(Utf8(box));
        }
        return texts;
    }

    std::vector<std::string> calls;
    RecordingHost log;
    SetupLogger logger{log};
    SetupOptions options;
    RecordingOperationHost host{calls};
    fakes::FakeFactory factory{Suite(), [this](const std::string& line) { calls.push_back(line); }};
    OperationContext context{options, logger, host, factory};

  private:
    static fakes::ProductSpec Suite() {
        fakes::ProductSpec spec;
        spec.name = "Suite";
        spec.code = spec.package_code = kCodeSuite;
        spec.path_flag = 2;
        spec.strings = {{22013, "Kelvan Suite Personal"}, {20144, "Kelvan Security Suite"}};
        return spec;
    }
};

}  // namespace olvex::setup::testing
