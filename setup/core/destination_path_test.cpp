#include "setup/core/destination_path.h"

#include <gtest/gtest.h>

#include "setup/core/setup_test_support.h"

namespace olvex::setup {
namespace {

// A machine like the product's own platform: Windows in C:\WINDOWS, the
// profiles under "Documents and Settings", a CD-ROM drive D:, a removable
// drive E: and no drive Q:.
DestinationContext MachineContext() {
    DestinationContext context;
    context.windows_folder = u"C:\\WINDOWS";
    context.program_files_folder = u"C:\\Program Files";
    context.common_documents_folder = u"%SystemDrive%\\Documents and Settings";
    context.user_documents_folder = u"C:\\Documents and Settings\\Tom\\My Documents";
    context.drive_type = [](char16_t letter) -> uint32_t {
        switch (FoldCase(letter)) {
            case u'c':
                return kDriveFixed;
            case u'd':
                return 5;
            case u'e':
                return 2;
            default:
                return 1;
        }
    };
    context.lookups.expand = [](std::u16string_view text) -> std::optional<std::u16string> {
        std::u16string out(text);
        for (const auto& [macro, value] :
             {std::pair<std::u16string, std::u16string>{u"%SystemDrive%", u"C:"},
              {u"%ProgramFiles%", u"C:\\Program Files"}}) {
            for (size_t at = out.find(macro); at != std::u16string::npos; at = out.find(macro)) {
                out.replace(at, macro.size(), value);
            }
        }
        return out;
    };
    context.lookups.short_form = [](std::u16string_view text) -> std::optional<std::u16string> {
        const std::pair<std::u16string, std::u16string> known[] = {
            {u"C:\\Program Files", u"C:\\PROGRA~1"},
            {u"C:\\Documents and Settings", u"C:\\DOCUME~1"},
        };
        for (const auto& [long_form, short_form] : known) {
            if (StartsWithNoCase(text, long_form)) {
                return short_form + std::u16string(text.substr(long_form.size()));
            }
        }
        return std::u16string(text);
    };
    context.installed_folders = {u"", u"C:\\Program Files\\Kelvan Suite Personal\\Antivirus"};
    return context;
}

TEST(DestinationPathTest, TheTableOfRefusals) {
    const DestinationContext context = MachineContext();
    struct Case {
        std::u16string path;
        uint32_t code;
    };
    const Case cases[] = {
        {u"", kDestinationEmpty},
        {u"\"\"", kDestinationEmpty},
        {u"\"", kDestinationSyntax},
        {u"\"\"x", kDestinationSyntax},
        {u"C:\\Program Files", kDestinationProgramFiles},
        {u"C:\\Program Files\\", kDestinationProgramFiles},
        {u"C:\\Program Files\\.", kDestinationProgramFiles},
        {u"c:\\PROGRAM FILES", kDestinationProgramFiles},
        {u"C:\\PROGRA~1", kDestinationProgramFiles},
        {u"C:\\Program Files\\Suite", kDestinationAccepted},
        {u"\"C:\\Suite\"", kDestinationAccepted},
        {u"\"C:\\Suite", kDestinationSyntax},
        {u"C:\\Suite\"", kDestinationSyntax},
        {u"\"C:\\Suite\"x", kDestinationSyntax},
        {u"\\\\server\\share\\Suite", kDestinationNotLocalFixed},
        {u"\\\\?\\C:\\Suite", kDestinationNotLocalFixed},
        {u"\\\\?\\c:\\Program Files\\Suite2", kDestinationNotLocalFixed},
        {u"\\\\.\\C:\\Suite", kDestinationSyntax},
        {u"\\\\?\\C:\\WINDOWS\\Suite", kDestinationInWindows},
        {u"\\\\?\\UNC\\server\\share", kDestinationNotLocalFixed},
        {u"\\\\?\\", kDestinationSyntax},
        {u"C:", kDestinationBareRoot},
        {u"C:\\", kDestinationBareRoot},
        {u"\\", kDestinationBareRoot},
        {u"\"C:\\\"", kDestinationBareRoot},
        {u"%ProgramFiles%\\X", kDestinationHasMacro},
        {u"C:\\%x%", kDestinationHasMacro},
        {u"C:\\WINDOWS\\Suite", kDestinationInWindows},
        {u"c:\\windows", kDestinationInWindows},
        {u"C:\\WINDOWSAPPS", kDestinationAccepted},
        {u"C:\\Documents and Settings\\All Users\\Suite", kDestinationInDocuments},
        {u"C:\\DOCUME~1\\x", kDestinationInDocuments},
        {u"C:\\Documents and Settings\\Tom\\My Documents\\Suite", kDestinationInDocuments},
        {u"C:\\Documents and SettingsX", kDestinationAccepted},
        {u"D:\\Suite", kDestinationNotLocalFixed},
        {u"e:\\Suite", kDestinationNotLocalFixed},
        {u"Q:\\Suite", kDestinationNotLocalFixed},
        // Relative paths would land wherever setup runs.
        {u"Suite\\X", kDestinationNotLocalFixed},
        {u"\\Suite", kDestinationNotLocalFixed},
        {u"C:\\a*b", kDestinationSyntax},
        {u"C:\\a/b", kDestinationSyntax},
        {u"C:\\a;b", kDestinationSyntax},
        {u"C:\\a<b", kDestinationSyntax},
        {u"C:\\a>b", kDestinationSyntax},
        {u"C:\\a|b", kDestinationSyntax},
        {u"C:\\a?b", kDestinationSyntax},
        {u"C:\\a:b", kDestinationSyntax},
        {u"C:\\\\a", kDestinationSyntax},
        {u"1:\\a", kDestinationSyntax},
        {u"C:\\Kelvan Suite Personal", kDestinationAccepted},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ValidateDestinationPath(c.path, false, context), c.code) << ToUtf8(c.path);
    }
    EXPECT_EQ(ValidateDestinationPath(std::nullopt, false, context), kDestinationEmpty);
}

TEST(DestinationPathTest, LengthLimits) {
    const DestinationContext context = MachineContext();
    const auto folder = [](size_t length) { return u"C:\\" + std::u16string(length - 3, u'a'); };
    // Room for a product's folder and file name within 260 characters.
    EXPECT_EQ(ValidateDestinationPath(folder(195), false, context), kDestinationAccepted);
    EXPECT_EQ(ValidateDestinationPath(folder(196), false, context), kDestinationTooLong);
    EXPECT_EQ(ValidateDestinationPath(u"\"" + folder(195) + u"\"", false, context),
              kDestinationAccepted);
    EXPECT_EQ(ValidateDestinationPath(folder(1039), false, context), kDestinationTooLong);
    // From 1040 characters on nothing else is looked at.
    EXPECT_EQ(ValidateDestinationPath(u"\\\\" + std::u16string(1038, u'*'), false, context),
              kDestinationTooLong);
    EXPECT_EQ(ValidateDestinationPath(u"\\\\" + std::u16string(1037, u'*'), false, context),
              kDestinationSyntax);
}

TEST(DestinationPathTest, AnotherProductsFolderOnlyWhenAsked) {
    const DestinationContext context = MachineContext();
    const std::u16string antivirus = u"c:\\program files\\kelvan suite personal\\antivirus";
    EXPECT_EQ(ValidateDestinationPath(antivirus, true, context), kDestinationOtherProduct);
    EXPECT_EQ(ValidateDestinationPath(antivirus, false, context), kDestinationAccepted);
    EXPECT_EQ(ValidateDestinationPath(antivirus + u"\\Sub", true, context), kDestinationAccepted);
}

TEST(DestinationPathTest, RefusalsAreReported) {
    testing::RecordingHost host;
    SetupLogger logger(host);
    logger.SetDisplayLevel(3);
    const DestinationContext context = MachineContext();
    EXPECT_EQ(ValidateDestinationPath(u"C:\\Suite", false, context, logger), kDestinationAccepted);
    EXPECT_TRUE(host.files.empty());
    EXPECT_EQ(ValidateDestinationPath(u"C:\\", false, context, logger), kDestinationBareRoot);
    const std::string text = "The folder cannot be used for the installation: C:\\ - Value = 6";
    EXPECT_EQ(host.Lines(logger.path()),
              std::vector<std::string>{"Monday, 1 January 2024, 10:00:00 (25025) " + text});
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(ToUtf8(host.boxes[0]), text);
}

}  // namespace
}  // namespace olvex::setup
