// The destination folder of an install: what is offered, when the dialog
// is shown, and what a refusal does with and without a display.
#include <gtest/gtest.h>

#include "setup/controller/controller_test_support.h"
#include "setup/controller/destination_choice.h"
#include "setup/controller/operations.h"

namespace olvex::setup::testing {
namespace {

struct Chooser {
    explicit Chooser(int32_t display_level) {
        run.logger.SetDisplayLevel(display_level);
        run.Member(ProductKind::kAntiSpyware, "QZ");
        operation = CreateOperation(kModeInstall, run.context);
        // Refuses what the test names, accepts the rest.
        run.host.validate = [this](std::u16string_view path) {
            return path == refused || path.size() >= 1040 ? DestinationCode{8}
                                                          : kDestinationAccepted;
        };
    }
    uint32_t Choose() {
        DestinationChoice choice(*operation);
        const uint32_t computed = choice.ComputeDefault();
        if (computed != 0) {
            return computed;
        }
        offered = choice.destination();
        fixed_name = choice.fixed_name();
        return choice.Choose(nullptr);
    }
    bool DialogShown() const { return run.Called("ShowDestinationDialog"); }

    SetupRun run;
    SetupOperation* operation = nullptr;
    std::u16string refused = u"C:\\Program Files";
    std::u16string offered;
    std::u16string fixed_name;
};

TEST(DestinationChoice, SilentRunsTakeAnAcceptedFolderWithoutADialog) {
    struct Case {
        const char* name;
        int32_t display_level;
        std::u16string given;  // empty: no /Path=
        uint32_t result;
        std::u16string path;
    };
    const std::u16string too_long = u"C:\\" + std::u16string(1100, u'a');
    const std::vector<Case> cases = {
        {"no /Path=: the default under Program Files", 0, u"", 0,
         u"C:\\Program Files\\Kelvan Suite Personal"},
        {"an accepted /Path=", 0, u"C:\\Suite\\", 0, u"C:\\Suite"},
        {"a refused /Path=", 0, u"C:\\Program Files", 9019, u""},
        {"a refused /Path= at level 1", 1, u"C:\\Program Files", 9019, u""},
        {"a path too long is refused, never cut", 0, too_long, 9019, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Chooser chooser(c.display_level);
        if (!c.given.empty()) {
            chooser.run.options.destination_given = true;
            chooser.run.options.SetPath(c.given);
        }
        EXPECT_EQ(chooser.Choose(), c.result);
        EXPECT_FALSE(chooser.DialogShown());
        if (c.result == 0) {
            EXPECT_EQ(chooser.run.options.GetPath(), c.path);
        } else {
            ASSERT_FALSE(chooser.run.LogLines().empty());
        }
    }
}

TEST(DestinationChoice, TheDialogAppearsFromDisplayLevelTwo) {
    Chooser offered(2);
    EXPECT_EQ(offered.Choose(), 0u);
    EXPECT_TRUE(offered.DialogShown());
    EXPECT_EQ(offered.run.options.GetPath(), u"C:\\Program Files\\Kelvan Suite Personal");

    Chooser given(3);
    given.run.options.destination_given = true;
    given.run.options.SetPath(u"D:\\Elsewhere");
    EXPECT_EQ(given.Choose(), 0u);
    EXPECT_FALSE(given.DialogShown()) << "an accepted /Path= is not asked again";

    Chooser refused(2);
    refused.run.options.destination_given = true;
    refused.run.options.SetPath(u"C:\\Program Files");
    refused.run.host.on_destination_dialog = [](DestinationChoice&) { return 0; };
    EXPECT_EQ(refused.Choose(), 9017u) << "a refused /Path= is asked again; cancel is 9017";
    EXPECT_TRUE(refused.DialogShown());
}

TEST(DestinationChoice, TheDialogRefusesAFolderAndStays) {
    Chooser chooser(2);
    chooser.run.host.on_destination_dialog = [&](DestinationChoice& choice) {
        EXPECT_EQ(choice.AcceptFromDialog(u"C:\\Program Files"), 9019u);
        EXPECT_EQ(chooser.run.log.boxes.size(), 1u);
        EXPECT_EQ(choice.AcceptFromDialog(u"C:\\Suite  "), 0u);
        return 1;
    };
    EXPECT_EQ(chooser.Choose(), 0u);
    EXPECT_EQ(chooser.run.options.GetPath(), u"C:\\Suite");
    ASSERT_EQ(chooser.run.Boxes().size(), 1u);
    EXPECT_NE(chooser.run.Boxes()[0].find("C:\\Program Files"), std::string::npos);
}

TEST(DestinationChoice, AnInstalledSuiteOfTheSameVariantFixesTheFolder) {
    Chooser chooser(2);
    auto& suite = chooser.run.factory.fake_suite().spec();
    suite.installed_path = "D:\\Kept";
    suite.path_flag = 2;  // the same variant
    chooser.run.options.destination_given = true;
    chooser.run.options.SetPath(u"C:\\Other");
    EXPECT_EQ(chooser.Choose(), 0u);
    EXPECT_EQ(chooser.offered, u"D:\\Kept") << "/Path= does not move an installed suite";
    EXPECT_EQ(chooser.fixed_name, u"Suite");
    EXPECT_EQ(chooser.run.options.GetPath(), u"D:\\Kept");

    Chooser other_variant(0);
    auto& earlier = other_variant.run.factory.fake_suite().spec();
    earlier.installed_path = "D:\\Earlier";
    earlier.path_flag = 1;
    EXPECT_EQ(other_variant.Choose(), 0u);
    EXPECT_EQ(other_variant.run.options.GetPath(), u"C:\\Program Files\\Kelvan Suite Personal");
}

TEST(DestinationChoice, OtherInstalledMembersFoldersAreCheckedUnlessTheFolderIsFixed) {
    Chooser chooser(0);
    auto& av = chooser.run.Member(ProductKind::kAntivirus, "AV");
    av.installed = true;
    av.installed_path = "C:\\AV";
    chooser.operation = CreateOperation(kModeInstall, chooser.run.context);
    chooser.operation->BuildProducts();
    EXPECT_EQ(chooser.Choose(), 0u);
    EXPECT_TRUE(chooser.run.Called(
        "ValidateDestination C:\\Program Files\\Kelvan Suite Personal others C:\\AV"));
}

}  // namespace
}  // namespace olvex::setup::testing
