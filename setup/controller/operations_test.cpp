// The install, uninstall and cleanup operations over fake products: which
// steps run in which order, what each failure becomes, and what the run
// exits with.
#include <gtest/gtest.h>

#include <algorithm>

#include "setup/controller/controller_test_support.h"
#include "setup/controller/operations.h"

namespace olvex::setup::testing {
namespace {

// One install scenario: members by kind, with what their checks and steps
// give; what the run must exit with and whether a restart was offered.
struct InstallCase {
    const char* name;
    std::vector<std::pair<ProductKind, fakes::ProductSpec>> members;
    uint32_t exit_code;
    std::vector<std::string> installs;  // "<name>:Install" calls expected
    bool reboot_offered;
};

fakes::ProductSpec Spec(ProductKind kind, const std::string& name, uint32_t checks = 0,
                        std::map<std::string, uint32_t> steps = {}) {
    fakes::ProductSpec spec;
    spec.name = name;
    spec.code = spec.package_code = SetupRun::CodeOf(kind);
    spec.checks = checks;
    spec.check_text = "check text";
    spec.steps = std::move(steps);
    return spec;
}

TEST(InstallOperation, ProductFailuresBecomeResultsWarningsOrExitCodes) {
    const std::vector<InstallCase> cases = {
        {"one failing its checks stops with its code",
         {{ProductKind::kAntiSpyware, Spec(ProductKind::kAntiSpyware, "QZ", 9009)}},
         9009,
         {},
         false},
        {"two, one failing its checks: a warning, the other installed",
         {{ProductKind::kAntiSpyware, Spec(ProductKind::kAntiSpyware, "QZ", 9011)},
          {ProductKind::kAntivirus, Spec(ProductKind::kAntivirus, "AV")}},
         9011,
         {"AV:Install"},
         true},
        {"three, the last failing: its code, no restart offered",
         {{ProductKind::kAntiSpyware, Spec(ProductKind::kAntiSpyware, "QZ")},
          {ProductKind::kAntiSpam, Spec(ProductKind::kAntiSpam, "AS")},
          {ProductKind::kAntivirus, Spec(ProductKind::kAntivirus, "AV", 0, {{"Install", 9026}})}},
         9026,
         {"QZ:Install", "AS:Install", "AV:Install"},
         false},
        {"three, the first failing: a warning, yet never exit 0",
         {{ProductKind::kAntiSpyware,
           Spec(ProductKind::kAntiSpyware, "QZ", 0, {{"Install", 9027}})},
          {ProductKind::kAntiSpam, Spec(ProductKind::kAntiSpam, "AS")},
          {ProductKind::kAntivirus, Spec(ProductKind::kAntivirus, "AV")}},
         9027,
         {"QZ:Install", "AS:Install", "AV:Install"},
         true},
        {"three, all passing",
         {{ProductKind::kAntiSpyware, Spec(ProductKind::kAntiSpyware, "QZ")},
          {ProductKind::kAntiSpam, Spec(ProductKind::kAntiSpam, "AS")},
          {ProductKind::kAntivirus, Spec(ProductKind::kAntivirus, "AV")}},
         0,
         {"QZ:Install", "AS:Install", "AV:Install"},
         true},
    };
    for (const InstallCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRun run;
        for (const auto& [kind, spec] : c.members) {
            // Every installer asks for a restart: only the run's result
            // decides.
            run.factory.members[kind] = spec;
            run.factory.members[kind].restart = true;
        }
        EXPECT_EQ(run.Go(), c.exit_code);
        std::vector<std::string> installs;
        for (const auto& call : run.calls) {
            if (call.size() > 8 && call.compare(call.size() - 8, 8, ":Install") == 0 &&
                call.rfind("Suite:", 0) != 0) {
                installs.push_back(call);
            }
        }
        EXPECT_EQ(installs, c.installs);
        EXPECT_EQ(run.Called("MessageBoxById 24007 20058 4"), c.reboot_offered);
    }
}

TEST(InstallOperation, RunsItsStepsInOrderAroundTheSuite) {
    SetupRun run;
    run.factory.members[ProductKind::kAntiSpyware] = Spec(ProductKind::kAntiSpyware, "QZ");
    run.factory.members[ProductKind::kAntiSpyware].restart = true;
    run.factory.members[ProductKind::kAntivirus] = Spec(ProductKind::kAntivirus, "AV");
    EXPECT_EQ(run.Go(), 0u);
    std::vector<std::string> steps;
    for (const auto& call : run.calls) {
        if (call.find(":CheckRequirements") == std::string::npos) {
            steps.push_back(call);
        }
    }
    const std::vector<std::string> expected_order = {"InitializeCom",
                                                     "InitializeFramework",
                                                     "LoadRichEdit",
                                                     "ShowAgreement",
                                                     "ShowDestinationDialog",
                                                     "ShowProductSelection",
                                                     "FreeRichEdit",
                                                     "StartProgress 7",
                                                     "Suite:PrepareInstall",
                                                     "Suite:Install",
                                                     "QZ:PrepareInstall",
                                                     "QZ:Install",
                                                     "QZ:FinishInstall",
                                                     "AV:PrepareInstall",
                                                     "AV:Install",
                                                     "AV:FinishInstall",
                                                     "Suite:FinishInstall",
                                                     "StopProgress",
                                                     "MakeTopmost",
                                                     "MessageBoxById 24007 20058 4",
                                                     "UnloadFramework",
                                                     "UninitializeCom"};
    std::vector<std::string> seen;
    for (const auto& step : steps) {
        if (std::find(expected_order.begin(), expected_order.end(), step) != expected_order.end()) {
            seen.push_back(step);
        }
    }
    EXPECT_EQ(seen, expected_order);
    EXPECT_EQ(run.options.GetGroup(), u"Kelvan Security Suite");
    EXPECT_EQ(run.options.GetPath(), u"C:\\Program Files\\Kelvan Suite Personal");
}

TEST(InstallOperation, FatalPreparationSkipsEveryLaterStep) {
    struct Case {
        const char* name;
        std::function<void(SetupRun&)> set_up;
        uint32_t exit_code;
    };
    const std::vector<Case> cases = {
        {"no framework", [](SetupRun& run) { run.host.framework = 9003; }, 9003},
        {"framework strings missing", [](SetupRun& run) { run.host.framework = 9004; }, 9004},
        {"COM failed", [](SetupRun& run) { run.host.com_result = -2147418113; }, 9002},
        {"nothing in the source", [](SetupRun&) {}, 9005},
        {"agreement refused",
         [](SetupRun& run) {
             run.factory.members[ProductKind::kAntiSpyware] = Spec(ProductKind::kAntiSpyware, "QZ");
             run.host.agreement = 9018;
         },
         9018},
        {"rich edit missing",
         [](SetupRun& run) {
             run.factory.members[ProductKind::kAntiSpyware] = Spec(ProductKind::kAntiSpyware, "QZ");
             run.host.rich_edit = 126;
         },
         9008},
        {"two available, none passing its checks",
         [](SetupRun& run) {
             run.factory.members[ProductKind::kAntiSpyware] =
                 Spec(ProductKind::kAntiSpyware, "QZ", 9009);
             run.factory.members[ProductKind::kAntivirus] =
                 Spec(ProductKind::kAntivirus, "AV", 9009);
         },
         9010},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRun run;
        c.set_up(run);
        EXPECT_EQ(run.Go(), c.exit_code);
        EXPECT_FALSE(run.Called("StartProgress 5")) << "no work after a fatal result";
        EXPECT_TRUE(run.Calls("Suite:Install").empty());
        EXPECT_FALSE(run.operation().reboot());
        EXPECT_TRUE(run.Called("StopProgress"));
    }
}

TEST(InstallOperation, AProgramGroupLeadingOutOfTheProgramsFolderIsRefused) {
    for (const char16_t* group :
         {u"..\\..\\..\\..\\..", u"C:\\Tools", u"\\Tools", u"NUL", u"Tools\\..\\..\\Documents"}) {
        SCOPED_TRACE(Utf8(group));
        SetupRun run;
        run.factory.members[ProductKind::kAntiSpyware] = Spec(ProductKind::kAntiSpyware, "QZ");
        run.logger.SetDisplayLevel(0);
        run.options.SetGroup(group);
        EXPECT_EQ(run.Go(), 9019u);
        EXPECT_TRUE(run.Calls("QZ:PrepareInstall").empty()) << "nothing installed";
        EXPECT_TRUE(run.Calls("Suite:PrepareInstall").empty());
        const std::string reason =
            "The program group must be a folder name below the Programs folder of the Start "
            "menu: " +
            Utf8(group);
        const std::vector<std::string> lines = run.LogLines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(reason) != std::string::npos;
        })) << "the log says why";
    }
    SetupRun good;
    good.factory.members[ProductKind::kAntiSpyware] = Spec(ProductKind::kAntiSpyware, "QZ");
    good.options.SetGroup(u"Tools\\Kelvan\\");
    EXPECT_EQ(good.Go(), 0u);
    EXPECT_EQ(good.options.GetGroup(), u"Tools\\Kelvan");
}

TEST(UninstallOperation, WithoutAPackageCodeRemovesTheWholeSuite) {
    SetupRun run(kModeUninstall);
    run.log.strings.erase(22237);
    run.log.strings[22237] = u"";
    auto& qz = run.Member(ProductKind::kAntiSpyware, "QZ");
    qz.installed = true;
    qz.restart = true;
    auto& av = run.Member(ProductKind::kAntivirus, "AV");
    av.installed = true;
    av.version = "0";  // registered only: its uninstaller is not run
    auto& as = run.Member(ProductKind::kAntiSpam, "AS");
    as.installed = true;
    as.package_code = 999;  // another package's member: left alone
    run.host.selection = 0;
    EXPECT_EQ(run.Go(), 0u);
    EXPECT_TRUE(run.factory.Suite().suite_active());
    EXPECT_TRUE(run.Called("ShowProductSelection"));
    EXPECT_TRUE(run.Called("QZ:Uninstall"));
    EXPECT_FALSE(run.Called("AV:Uninstall"));
    EXPECT_TRUE(run.Called("AV:FinishUninstall"));
    EXPECT_TRUE(run.Calls("AS:").size() == 0 ||
                (!run.Called("AS:Uninstall") && !run.Called("AS:FinishUninstall")));
    EXPECT_TRUE(run.Called("MessageBoxById 24008 20058 4"));
}

TEST(UninstallOperation, ASingleMemberPackageAsksBeforeRemoving) {
    struct Case {
        int32_t display_level;
        int32_t answer;
        uint32_t exit_code;
        bool asked;
    };
    for (const Case& c : {Case{2, 6, 0, true}, Case{2, 7, 9017, true}, Case{1, 7, 0, false}}) {
        SCOPED_TRACE(c.display_level * 10 + c.answer);
        SetupRun run(kModeUninstall);
        run.log.strings[22237] = u"137";
        run.logger.SetDisplayLevel(c.display_level);
        run.Member(ProductKind::kAntiSpyware, "QZ").installed = true;
        run.host.box_answer = c.answer;
        EXPECT_EQ(run.Go(), c.exit_code);
        bool asked = false;
        for (const auto& call : run.calls) {
            asked = asked || call.rfind("ShowMessageBox QZ | Do you want to remove QZ", 0) == 0;
        }
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(run.Called("QZ:Uninstall"), c.exit_code == 0);
    }
}

TEST(UninstallOperation, NothingInstalledIs9037) {
    SetupRun run(kModeUninstall);
    run.log.strings[22237] = u"137";
    run.Member(ProductKind::kAntiSpyware, "QZ");
    EXPECT_EQ(run.Go(), 9037u);
    EXPECT_FALSE(run.Called("QZ:Uninstall"));
}

TEST(CleanupOperation, WorksOnRemovedMembersAndRemovesItsOwnCopies) {
    SetupRun run(kModeCleanup);
    run.Member(ProductKind::kAntiSpyware, "QZ");
    run.Member(ProductKind::kAntivirus, "AV").installed = true;
    run.host.module_name = u"XJCU_002.EXE";
    EXPECT_EQ(run.Go(), 0u);
    EXPECT_TRUE(run.Called("QZ:RemoveLeftovers"));
    EXPECT_TRUE(run.Called("QZ:Cleanup"));
    EXPECT_FALSE(run.Called("AV:Cleanup"));
    // A member still installed keeps the suite's own files.
    EXPECT_FALSE(run.Called("Suite:Cleanup"));
    EXPECT_TRUE(run.Called("RemoveCleanupCopies"));

    SetupRun all_gone(kModeCleanup);
    all_gone.Member(ProductKind::kAntiSpyware, "QZ");
    all_gone.Member(ProductKind::kAntiSpam, "AS");
    all_gone.Member(ProductKind::kAntivirus, "AV");
    all_gone.Member(ProductKind::kFirewall, "FW");
    all_gone.Member(ProductKind::kFirewallUpgrade, "FWU");
    all_gone.factory.standalone_anti_spam = true;
    EXPECT_EQ(all_gone.Go(), 0u);
    EXPECT_FALSE(all_gone.Called("AS:Cleanup"));
    EXPECT_TRUE(all_gone.Called("FW:Cleanup"));
    EXPECT_TRUE(all_gone.Called("Suite:Cleanup"));
    EXPECT_FALSE(all_gone.Called("RemoveCleanupCopies")) << "Tramlet.exe is no cleanup copy";

    // A program with handlers for some members only: the others were never
    // installed by it, so the suite's leftovers go with the last member.
    SetupRun some_handlers(kModeCleanup);
    some_handlers.Member(ProductKind::kAntiSpyware, "QZ");
    EXPECT_EQ(some_handlers.Go(), 0u);
    EXPECT_TRUE(some_handlers.Called("QZ:Cleanup"));
    EXPECT_TRUE(some_handlers.Called("Suite:Cleanup"));
}

TEST(SetupOperation, ReportResultIgnoresCodesOutsideItsRangeAndLevelsDecide) {
    SetupRun run;
    SetupOperation* operation = CreateOperation(kModeInstall, run.context);
    operation->ReportResult(9044);
    operation->ReportResult(0);
    EXPECT_EQ(operation->result(), 0u);
    EXPECT_TRUE(run.Boxes().empty());
    operation->ReportResult(9013, std::nullopt, u"AV", 2);
    EXPECT_EQ(operation->result(), 0u);
    EXPECT_EQ(operation->ExitCode(), 9013u);
    operation->ReportResult(9036);
    EXPECT_EQ(operation->result(), 0u);
    operation->ReportResult(9019);
    EXPECT_EQ(operation->result(), 9019u);
    operation->ReportResult(9010);
    EXPECT_EQ(operation->result(), 9019u) << "the first fatal result stays";
}

// The restart question is a Yes/No box, asked only when the run left
// something for the restart; No (Escape and the close button give 2)
// declines it.
TEST(SetupOperation, RestartIsAskedOnlyWhenSomethingWaitsForIt) {
    enum class Left { kNothing, kOldWork, kNewWork, kRequest };
    struct Case {
        const char* name;
        int32_t display_level;
        bool reboot_switch;
        Left left;
        int32_t answer;
        bool asked;
        bool reboot;
    };
    const Case cases[] = {
        {"a new pending rename, Yes", 2, true, Left::kNewWork, 6, true, true},
        {"a new pending rename, No", 2, true, Left::kNewWork, 7, true, false},
        {"a new pending rename, Escape", 2, true, Left::kNewWork, 2, true, false},
        {"an installer asked, Yes", 2, true, Left::kRequest, 6, true, true},
        {"nothing left", 2, true, Left::kNothing, 6, false, false},
        {"only what waited before", 2, true, Left::kOldWork, 6, false, false},
        {"/NoReboot", 2, false, Left::kNewWork, 6, false, false},
        {"display level 1", 1, true, Left::kNewWork, 6, false, false},
        {"display level 0", 0, true, Left::kRequest, 6, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRun run;
        run.logger.SetDisplayLevel(c.display_level);
        run.options.reboot = c.reboot_switch;
        run.host.box_answer = c.answer;
        run.host.restart_work = {u"run once HKLM Other=other.exe"};
        SetupOperation* operation = CreateOperation(kModeInstall, run.context);
        if (c.left == Left::kNewWork) {
            run.host.restart_work.push_back(u"rename C:\\x.dll > ");
        } else if (c.left == Left::kRequest) {
            operation->RequestRestart();
        }
        operation->AskReboot(24007);
        EXPECT_EQ(run.Called("MessageBoxById 24007 20058 4"), c.asked);
        EXPECT_EQ(operation->reboot(), c.reboot);
    }
}

}  // namespace
}  // namespace olvex::setup::testing
