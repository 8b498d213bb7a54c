// The main program's settings file "qzv5exe.ini" and its machine-id file
// "QZGUID.txt". The main program reads and writes both; the command-line
// scanner and the background protection read the settings file.
//
// qzv5exe.ini is a text of "key=value" lines. A line counts for the first
// key of errorsound, donesound, prevresearch, guid and truncate that occurs
// anywhere in it (so "errorsound ... truncate" counts for errorsound); its
// value is the text after the line's first "=" (the whole line without one)
// less trailing blanks, read like atol for the numbers. A later line for the
// same key wins; a line naming no key is passed over.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace olvex {

inline constexpr char kProgramSettingsFileName[] = "qzv5exe.ini";
inline constexpr char kMachineIdFileName[] = "QZGUID.txt";

struct ProgramSettings {
    int errorsound = 0;    // play a sound with warnings and errors
    int donesound = 0;     // play a sound when a task completes
    int prevresearch = 0;  // take part in prevalence research
    // The machine id; none until one is known. An empty value counts as none.
    std::optional<std::string> guid;
    int truncate = 0;  // keep the activity log short

    bool operator==(const ProgramSettings&) const = default;
};

// Applies the file's text to settings. A file without any line (new or
// empty) clears errorsound and donesound and leaves the rest.
void ApplyProgramSettingsText(std::string_view text, ProgramSettings& settings);

// Reads a settings file too large to be held whole (a damaged one), piece by
// piece, so that its machine id and settings outlive its replacement. The
// pieces fed in order read as ApplyProgramSettingsText reads the whole text,
// except that a line longer than kMaxProgramSettingsLine counts for nothing:
// no setting or id is that long.
class OversizedProgramSettingsReader {
  public:
    static constexpr std::size_t kMaxProgramSettingsLine = 4096;

    explicit OversizedProgramSettingsReader(ProgramSettings& settings) : settings_(settings) {}
    void Feed(std::string_view bytes);
    // Applies the last line, which has no line end.
    void Finish();

  private:
    ProgramSettings& settings_;
    std::string line_;
    bool line_too_long_ = false;
};

// The file's text: five lines in the order errorsound, donesound,
// prevresearch, guid, truncate, each ending in CR LF; a number is written
// "1" when it is not 0, else "0", the machine id as it is (empty for none).
std::string FormatProgramSettings(const ProgramSettings& settings);

// atol: leading blanks, a sign, digits; 0 when there is no number. Values
// beyond a long are cut to its range.
long ParseLeadingLong(std::string_view text);

// The machine id in the first line of QZGUID.txt: a line holding a double
// quote loses its last and then its first character. Nullopt for a file
// without a line or a line that is empty (after that), which counts as no
// id.
std::optional<std::string> ParseMachineIdText(std::string_view text);

}  // namespace olvex
