// The About box's texts: the program version, the mended file name and the
// report.
#include "client/common/version_report.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

TEST(VersionReportTest, ProgramVersionTurnsCommasToPoints) {
    EXPECT_EQ(ProgramVersionText("8, 0, 0, 6"), "8. 0. 0. 6");
    EXPECT_EQ(ProgramVersionText("5,6,7,4"), "5.6.7.4");
    EXPECT_EQ(ProgramVersionText("5.6.7.4"), "5.6.7.4");
    EXPECT_EQ(ProgramVersionText(""), "");
}

TEST(VersionReportTest, DoubledExtensionBecomesSingle) {
    struct Case {
        const char* chosen;
        const char* saved;
    };
    const Case cases[] = {
        {"C:\\Reports\\Report.txt.txt", "C:\\Reports\\Report.txt"},
        {"C:\\Reports\\Report.TXT.txt", "C:\\Reports\\Report.txt"},
        {"x.txt.txt", "x.txt"},
        {".txt.txt", ".txt.txt"},  // the doubled extension alone is used as it is
        {"C:\\Reports\\Report.txt", "C:\\Reports\\Report.txt"},
        {"C:\\Reports\\Report.txt.txt.txt", "C:\\Reports\\Report.txt.txt"},
        {"C:\\Reports\\Report.txt.csv", "C:\\Reports\\Report.txt.csv"},
        {"C:\\Reports\\Reporttxt.txt", "C:\\Reports\\Reporttxt.txt"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FixDoubledExtension(c.chosen, "txt"), c.saved) << c.chosen;
}

TEST(VersionReportTest, ReportHasItsEightLinesWithTheirBlankLines) {
    const VersionReport report{"Kelvan Gorsewatch Versions Report",
                               "This report was generated on: 12/11/2026-06:00:00",
                               "Kelvan Gorsewatch Version:  5. 6. 7. 4",
                               "SDK Version:  5.6.7.4",
                               "QZFILE.DAT Version:  1/2/2026-3:04:05",
                               "QZINFO.DAT Version:  1/2/2026-3:04:05",
                               "QZLOC.DAT Version:  1/2/2026-3:04:05",
                               "***End Report***"};
    EXPECT_EQ(FormatVersionReport(report),
              "Kelvan Gorsewatch Versions Report\n"
              "This report was generated on: 12/11/2026-06:00:00\n\n"
              "Kelvan Gorsewatch Version:  5. 6. 7. 4\n\n"
              "SDK Version:  5.6.7.4\n\n"
              "QZFILE.DAT Version:  1/2/2026-3:04:05\n\n"
              "QZINFO.DAT Version:  1/2/2026-3:04:05\n\n"
              "QZLOC.DAT Version:  1/2/2026-3:04:05\n\n"
              "***End Report***\n\n");
}

}  // namespace
}  // namespace olvex
