// What a test build of the main program adds for its GUI tests; the shipped
// program links no_test_hooks.cpp, whose InstallTestHooks does nothing.
//
// The test build records the sounds it would play, one file name per line,
// in the file that OLVEX_TEST_SOUND_LOG names, and what it would open with
// the shell (the help file), one target per line, in the file that
// OLVEX_TEST_SHELL_LOG names. The folder browser of Add File/Folder and the
// Save As dialog answer from the files that OLVEX_TEST_FOLDER_CHOICE and
// OLVEX_TEST_SAVE_CHOICE name, read at each question: an empty file is a
// cancel, its first line the path chosen ("?" a choice without a path); while
// the file does not exist the real dialog asks. It keeps a hidden window
// titled "Gorsewatch5 Test Hooks" that answers:
//   kTestShowMessage (wParam sound kind, lParam 0 or 1)  a Message dialog
//       with that sound kind, on the user-interface thread (0) or on a
//       worker thread of its own (1)
//   kTestOpenSoundOptions                                the Sound Options
//       dialog, whatever the page's link would allow
#pragma once

#include <windows.h>

#include <memory>

namespace olvex {

class CGorsewatch5App;
class TestHooks;

inline constexpr wchar_t kTestHooksTitle[] = L"Gorsewatch5 Test Hooks";
inline constexpr UINT kTestShowMessage = WM_APP + 1;
inline constexpr UINT kTestOpenSoundOptions = WM_APP + 2;
inline constexpr wchar_t kTestSoundLogVariable[] = L"OLVEX_TEST_SOUND_LOG";
inline constexpr wchar_t kTestShellLogVariable[] = L"OLVEX_TEST_SHELL_LOG";
inline constexpr wchar_t kTestFolderChoiceVariable[] = L"OLVEX_TEST_FOLDER_CHOICE";
inline constexpr wchar_t kTestSaveChoiceVariable[] = L"OLVEX_TEST_SAVE_CHOICE";
// The Schedule dialog: a Task Scheduler call that fails
// ("SetParameters:1:0x80004005", fake_scan_scheduler.h), the time picker's
// clock ("24" or "12") and the platform id the dialog sees ("1": Windows 9x).
inline constexpr wchar_t kTestSchedulerFaultVariable[] = L"OLVEX_TEST_SCHEDULER_FAULT";
inline constexpr wchar_t kTestClockVariable[] = L"OLVEX_TEST_CLOCK";
inline constexpr wchar_t kTestSchedulePlatformVariable[] = L"OLVEX_TEST_SCHEDULE_PLATFORM";

struct TestHooksDeleter {
    void operator()(TestHooks* hooks) const;
};
using TestHooksHandle = std::unique_ptr<TestHooks, TestHooksDeleter>;

// Installs the hooks before the application starts up; they live as long as
// the handle. Null in the shipped program.
TestHooksHandle InstallTestHooks(CGorsewatch5App& app);

}  // namespace olvex
