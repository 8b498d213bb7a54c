// The Log dialog of Gorsewatch5.exe opening a large activity log, timed
// from the click on the configuration page's Log link until the dialog is
// shown, its thread is idle again (the first rows drawn) and its list reports
// every entry; then a sort by Pest Name, timed from the column click until
// the thread is idle again. The log (whole lines of varied pests, about 20 MB by
// default) is written before each round, not timed. run.sh runs it on a
// display and in a Wine prefix of its own; it is no test and asserts no time.
//
//   OLVEX_BENCH_LOG_MB     size of the log in MB (default 20)
//   OLVEX_BENCH_ROUNDS     rounds (default 3)
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "client/main/main_test_support.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kLogTitle[] = L"Kelvan Gorsewatch -- Log";
constexpr int kLogLink = 1045;
constexpr int kList = 1089;

int FromEnvironment(const char* name, int fallback) {
    const char* text = std::getenv(name);
    const int value = text != nullptr ? std::atoi(text) : 0;
    return value > 0 ? value : fallback;
}

// Lines as the programs write them, with varied names, actions and
// locations so that sorting has work to do; about `bytes` in all.
std::size_t WriteLog(const fs::path& path, std::size_t bytes) {
    static const char* const kActions[] = {"Detected", "Quarantined", "Excluded", "Deleted"};
    static const char* const kCategories[] = {"Adware", "Trojan", "Dialer", "Spyware"};
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string text;
    std::size_t lines = 0;
    unsigned state = 12345;
    while (text.size() < bytes) {
        state = state * 1103515245u + 12345u;
        const unsigned pest = (state >> 8) % 5000;
        char line[256];
        const int length = std::snprintf(
            line, sizeof line,
            "12/10/2026-10:%02u,31295629,%d,%s,Pest %04u,%s,%u,C:\\Program Files\\Pest %04u\\"
            "file%u.exe,%u,\r\n",
            pest % 60, static_cast<int>(state >> 1), kActions[pest % 4], pest,
            kCategories[pest % 3], pest, pest, (state >> 4) % 100, pest % 7);
        text.append(line, static_cast<std::size_t>(length));
        ++lines;
    }
    out << text;
    return lines;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(LogDialogBench, OpenALargeLog) {
    const int megabytes = FromEnvironment("OLVEX_BENCH_LOG_MB", 20);
    const int rounds = FromEnvironment("OLVEX_BENCH_ROUNDS", 3);
    TestInstall install;
    std::vector<double> opens;
    std::vector<double> sorts;
    for (int round = 0; round < rounds; ++round) {
        const std::size_t lines = WriteLog(ProductDataFolder() / "QZv5Log.txt",
                                           static_cast<std::size_t>(megabytes) << 20);
        WriteText(SettingsFile(), "truncate=0\r\n");
        Gorsewatch5Process program;
        ASSERT_TRUE(program.Start(install));
        ASSERT_NE(program.WaitForMainWindow(), nullptr);
        ASSERT_TRUE(program.WaitUntilIdle());
        gui::SendWindowMessage(program.main_window(), 1028, 3, 0);
        const HWND link = program.PageControl(kLogLink);

        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(gui::ClickControl(link));
        const HWND dialog = FindShownWindow(kLogTitle, program.id(), 600000);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(gui::SendWindowMessage(dialog, WM_NULL, 0, 0, 600000).completed);
        const HWND list = GetDlgItem(dialog, kList);
        const auto count = static_cast<std::size_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        const double open = SecondsSince(start);
        EXPECT_EQ(count, lines);
        if (round == 0)
            ScreenshotWhenDrawn(dialog, "log-large");

        const auto sort_start = std::chrono::steady_clock::now();
        ASSERT_TRUE(gui::ClickListViewColumn(list, 2));
        ASSERT_TRUE(gui::SendWindowMessage(dialog, WM_NULL, 0, 0, 600000).completed);
        const double sort = SecondsSince(sort_start);

        opens.push_back(open);
        sorts.push_back(sort);
        std::printf("round %d: %d MB log, %zu entries: open %.2f s, sort by Pest Name %.2f s\n",
                    round + 1, megabytes, count, open, sort);
        std::fflush(stdout);
        gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(gui::WaitForWindowGone(dialog, 60000));
        ASSERT_TRUE(program.Close());
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    std::printf("median of %d: open %.2f s, sort %.2f s\n", rounds, median(opens), median(sorts));
}

}  // namespace
}  // namespace olvex::testing
