// What this product leaves on a machine outside its package, taken away
// before the package is removed: its running programs, the start-up value
// of its background protection, its scheduled scans and its engine
// registration with the engine's shared copy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace olvex::setup::qz {

// The product's windowed programs, in the order they are asked to close:
// the update utility first (it would start the others again), then the
// main program, the background protection, the command-line scanner and
// the updater.
struct ProductProgram {
    std::u16string_view title;    // its main window's title
    std::u16string_view process;  // its file, as the process list names it
    int tries;                    // WM_CLOSE requests at most
};
inline constexpr ProductProgram kProductPrograms[] = {
    {u"Kelvan Gorsewatch Updates", u"dunmere.exe", 5},
    {u"Kelvan Gorsewatch by Brackwith", u"gorsewatch5.exe", 5},
    {u"Kelvan Gorsewatch -- Active Protection", u"wakenor.exe", 5},
    {u"Kelvan Gorsewatch -- Command Line Scanner", u"marvolt.exe", 5},
    {u"Kelvan Gorsewatch -- Updates", u"pellory.exe", 5},
};

// The Run value the Active Protection settings write.
inline constexpr char16_t kProtectionRunValue[] = u"KelvanQZAP";
// The scheduled scans the main program makes: "QZv5Scan_<what> as <account> at <time>".
inline constexpr char16_t kScanJobPrefix[] = u"QZv5Scan_";
// The key every program of this product registers under "olvex".
inline constexpr char kEngineVersionKeyName[] = "KelvanGorsewatch";

// Whether a work item the scheduler lists (with or without ".job") is one
// of this product's scans, and its name as Delete takes it.
bool IsProductScanJob(std::u16string_view listed_name);
std::u16string JobNameForDelete(std::u16string_view listed_name);

// Closes the product's programs and waits for them to end; 9023 (each one
// still running reported with 25526) when any is left.
uint32_t CloseProductPrograms();

// Deletes the Run value and the product's scheduled-scan jobs.
void RemoveStartUpEntries();

// Takes this product off the engine's registration: its version key goes;
// when no other product keeps the engine, the engine is unregistered and
// the shared copy in "<common files>\Scanner" deleted, so the package's own
// unregistration finds nothing left to refuse. When another product still
// uses the engine and it was registered from this product's folder, the
// shared copy is registered in its place. program_folder is the product's
// installed files folder.
void RemoveEngineRegistration(std::u16string_view program_folder);

}  // namespace olvex::setup::qz
