// The stand-in's text rules, kept free of Windows calls so that they are
// tested natively: what it takes from its command line, how its ini values
// split into fields, and the placeholders its paths and data may carry.
// Text is UTF-16, as in the rest of setup's portable code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::standin {

// The value of `<name>="..."` or `<name>=...` (up to a blank) among the
// arguments; the name is compared without case. Nothing when missing.
std::optional<std::u16string> SwitchValue(std::u16string_view arguments, std::u16string_view name);

// The destination by a "dest=" rule: "switch:<name>" as SwitchValue,
// "after:<text>" the rest of the arguments after the text (compared
// without case), blanks around it trimmed and one pair of enclosing quotes
// removed. Empty when the rule or what it names is missing.
std::u16string DestinationByRule(std::u16string_view rule, std::u16string_view arguments);

// True when the last argument is "-k" or "/exit" (any case): the request
// to end the running copies.
bool IsStopRequest(std::u16string_view arguments);

// What the suite's launcher (trombo.exe) opens for a product's switch: the
// product's key under HKLM, the value naming its installed folder and its
// main program in that folder.
struct LaunchedProduct {
    std::u16string_view key;
    std::u16string_view folder_value;
    std::u16string_view program;
};
// The product a launcher switch among the arguments names ("/t3" or "-t3",
// any case, a whole argument); nothing for any other arguments. Only this
// system's own product is known.
std::optional<LaunchedProduct> ProductForLauncherSwitch(std::u16string_view arguments);

// The value split at "|" into at most `count` fields (the last one keeps
// any further "|"); nothing when it has fewer fields.
std::optional<std::vector<std::u16string>> SplitFields(std::u16string_view value, size_t count);

struct Placeholders {
    std::u16string dest;
    std::u16string self_dir;
    std::u16string system_dir;
};

// %DEST%, %SELFDIR% and %SYSDIR% (any case) replaced; the environment
// variables are left for the system to expand.
std::u16string ReplacePlaceholders(std::u16string_view text, const Placeholders& values);

// True when the text names %DEST% (any case) but no destination was found:
// a path made of it would point somewhere else.
bool NeedsMissingDestination(std::u16string_view text, const Placeholders& values);

// Which messages end a window of the stand-in.
enum WindowEnd : unsigned {
    kEndOnClose = 1,    // WM_CLOSE (16)
    kEndOnUser100 = 2,  // 1124
    kEndOnDestroy = 4,  // WM_DESTROY (2)
};
// "windowends=": a comma list of 16, 1124 and 2, "none", or empty for all
// three. Nothing when the list holds anything else.
std::optional<unsigned> ParseWindowEnds(std::u16string_view value);

// A registry dword in decimal or with "0x" in hex; nothing when it is not
// a number that fits 32 bits.
std::optional<uint32_t> ParseDword(std::u16string_view text);

}  // namespace olvex::standin
