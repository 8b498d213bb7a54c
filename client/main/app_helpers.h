// Helpers of the main program that its pages and dialogs share: texts and
// colours of the string table, BSTRs, the program and suite folders, the
// display text of a location, date and number formats, and the desktop
// shortcut.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "olvex/com/bstr.h"
#include "olvex/olvex.h"

namespace olvex {

// `ColorFromResource`: the colour a string table entry "r,g,b" names
// (text_values.h: missing parts 0).
COLORREF ColorFromResource(UINT id);
// A text of the string table in the ANSI code page.
std::string AnsiResourceText(UINT id);

// A BSTR of an ANSI text, and the ANSI text of a BSTR (null: empty).
com::UniqueBstr MakeBstr(std::string_view ansi);
std::string AnsiFromBstrText(const wchar_t* text);

// An engine object's bsLastError; empty without the object or the text.
template <typename Interface>
std::wstring LastErrorText(Interface* object) {
    com::UniqueBstr text;
    if (object == nullptr || FAILED(object->get_bsLastError(text.Put())) || text.Get() == nullptr)
        return {};
    return std::wstring(text.Get(), SysStringLen(text.Get()));
}

// `OpenProgramKey`: HKLM\Software\Vorandel\KelvanGorsewatch, opened for
// reading or created with all access; the registry's result (87 without a
// key pointer).
LONG OpenProgramKey(HKEY* key, bool read_only);
// `GetInstallFolder`: the program key's "InstallPath" when it is a string,
// else the application's install folder; ending in a backslash. Empty
// without an application.
std::string GetInstallFolder();
// `GetSuiteFolder`: the suite key's "Path" when it is a string, else the
// install folder's parent; ending in a backslash. Empty without an
// application.
std::string GetSuiteFolder();

// `DescribeLocation`: what a location string is ("Cookie", "Folder",
// "File", "Key", "Process", asked in that order) and the part of it a person
// reads (a cookie's or file's "File", a folder's "Folder", a registry item's
// "Key", a process's "File"); else "Unknown type" and the whole string. The
// location object is borrowed; without one the location is of no kind.
struct LocationDescription {
    std::wstring kind;
    std::wstring value;
};
LocationDescription DescribeLocation(BSTR location, ILocation* location_object);

// `GetLocationDisplayText`: the part of a location string a person reads
// (a cookie's or file's "File", a folder's "Folder", a registry item's
// "Key", a process's "File"), else the whole string. The location object is
// borrowed, never released; without one the whole string is given. The
// display text goes into *display (freed first), which the caller owns.
void GetLocationDisplayText(BSTR location, BSTR* display, ILocation* location_object);

// `FormatFileTime`: the time's date in the user's date format, "-", its
// time; the FILETIME is taken as it is, not converted to local time.
std::string FormatFileTime(const FILETIME& time);

// `GetSystemNumberFormat`: the system locale's number format with its
// grouping taken properly from the locale's text ("3;0" groups thousands);
// the separators live as long as this object.
class SystemNumberFormat {
  public:
    SystemNumberFormat();
    SystemNumberFormat(const SystemNumberFormat&) = delete;
    SystemNumberFormat& operator=(const SystemNumberFormat&) = delete;
    // The structure for GetNumberFormatA, pointing into this object; a
    // separator the system reports no length for stays null.
    NUMBERFMTA Format();

  private:
    NUMBERFMTA format_{};
    std::string decimal_;
    std::string thousand_;
    bool has_decimal_ = false;
    bool has_thousand_ = false;
};

// `UpdateDesktopShortcut`: a "Kelvan Gorsewatch.lnk" on the all-users (else
// the user's) desktop that starts the installed program is re-pointed to the
// suite's "trombo.exe /t3", when that program exists. Fails silently.
void UpdateDesktopShortcut();

}  // namespace olvex
