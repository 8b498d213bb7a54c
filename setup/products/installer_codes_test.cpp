#include "setup/products/installer_codes.h"

#include <gtest/gtest.h>

namespace olvex::setup {
namespace {

TEST(PackProductCode, GivesTheInstallersKeyNames) {
    struct Case {
        std::u16string_view code;
        std::u16string_view packed;
    };
    const Case cases[] = {
        {u"{69383EC0-27AB-4173-A77C-2F2FB034E57F}", u"0CE38396BA7237147AC7F2F20B435EF7"},
        {u"{5505B83F-BE32-41F0-A245-8617E858F1BB}", u"F38B505523EB0F142A5468718E851FBB"},
        // Lower-case digits give the same key.
        {u"{69383ec0-27ab-4173-a77c-2f2fb034e57f}", u"0CE38396BA7237147AC7F2F20B435EF7"},
        {u"{01234567-89AB-CDEF-0123-456789ABCDEF}", u"76543210BA98FEDC1032547698BADCFE"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PackProductCode(c.code), std::u16string(c.packed));
    }
}

TEST(PackProductCode, RefusesWhatIsNoProductCode) {
    for (const std::u16string_view bad :
         {u"", u"69383EC0-27AB-4173-A77C-2F2FB034E57F", u"{69383EC0-27AB-4173-A77C-2F2FB034E57}",
          u"{69383EC0-27AB-4173-A77C-2F2FB034E57FF}", u"{69383EC0+27AB-4173-A77C-2F2FB034E57F}",
          u"{69383EC0-27AB-4173-A77C-2F2FB034E57G}", u"(69383EC0-27AB-4173-A77C-2F2FB034E57F)"}) {
        EXPECT_FALSE(PackProductCode(bad).has_value()) << std::string(bad.begin(), bad.end());
    }
}

TEST(ChooseUninstallCommand, TakesTheFirstSavedCommandInOrder) {
    struct Case {
        SavedUninstallCommands saved;
        std::optional<std::u16string> command;
    };
    const Case cases[] = {
        {{u"MsiExec.exe /I{A}", u"MsiExec.exe /I{B}", u"MsiExec.exe /I{C}"},
         u"MsiExec.exe /I{A} /qr"},
        {{u"", u"MsiExec.exe /I{B}", u"MsiExec.exe /I{C}"}, u"MsiExec.exe /I{B} /qr"},
        {{u"", u"", u"MsiExec.exe /I{C}"}, u"MsiExec.exe /I{C} /qr"},
        {{u"", u"", u""}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseUninstallCommand(c.saved), c.command);
    }
}

TEST(ChooseUninstallCommand, RefusesACommandWithoutRoomForItsSwitch) {
    SavedUninstallCommands saved;
    // 515 characters, " /qr" and the terminator fill 520.
    saved.own_uninstall_product = std::u16string(515, u'x');
    EXPECT_EQ(ChooseUninstallCommand(saved)->size(), 519u);
    saved.own_uninstall_product += u'x';
    EXPECT_FALSE(ChooseUninstallCommand(saved).has_value());
    // A later command does not stand in for one that is too long.
    saved.own_modify_path = u"MsiExec.exe /I{C}";
    EXPECT_FALSE(ChooseUninstallCommand(saved).has_value());
}

TEST(ChooseUninstallCommand, AppendsThePropertiesAfterTheSwitchWithinTheSize) {
    SavedUninstallCommands saved;
    saved.suite_uninstall_product = u"MsiExec.exe /I{B}";
    EXPECT_EQ(ChooseUninstallCommand(saved, 520, u" REMOVE=ALL"),
              u"MsiExec.exe /I{B} /qr REMOVE=ALL");
    // 504 + " /qr" + " REMOVE=ALL" + the terminator fill 520; one more does not fit.
    saved.suite_uninstall_product = std::u16string(504, u'x');
    EXPECT_EQ(ChooseUninstallCommand(saved, 520, u" REMOVE=ALL")->size(), 519u);
    saved.suite_uninstall_product += u'x';
    EXPECT_FALSE(ChooseUninstallCommand(saved, 520, u" REMOVE=ALL").has_value());
}

}  // namespace
}  // namespace olvex::setup
